// Parts of the program that are not built yet say so in the log instead of pretending to work.
#pragma once

// Logs "<what> is not built yet" the first time a run calls it with that text, so a part that
// runs every frame says so once rather than every frame. Callers pass their own name.
void log_not_built(const char* what);
// Forgets what was logged, so the next run in the same process says it again.
void not_built_reset();
