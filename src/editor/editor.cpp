// Track editor; filled in with the editor.
#include "editor/editor.h"

bool editor_key(int, int) { return false; }
void editor_tic() {}
void editor_draw() {}
