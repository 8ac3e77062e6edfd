// The track editor. Not built yet: it consumes no event and draws nothing, and says so in the
// log.
#include "editor/editor.h"

#include "common/not_built.h"

bool editor_key(int, int) {
    log_not_built(__func__);
    return false;
}
void editor_tic() { log_not_built(__func__); }
void editor_draw() { log_not_built(__func__); }
