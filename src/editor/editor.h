// The track editor.
#pragma once

// The editor sees an event first; true when it consumed it.
bool editor_key(int control, int pressed);
void editor_tic();
void editor_draw();
