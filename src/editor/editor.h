// The track editor: a top-down editing view of the loaded track.
#pragma once

// The editor sees an event first (pressed 1, released 0); true when it consumed it. Tab never
// is.
bool editor_key(int control, int pressed);
void editor_tic();
void editor_draw();
// The window the view is drawn in, px; the frame loop tells it before every frame.
void editor_set_window(int width, int height);
// After a track load: a fresh editor over the track, with the gradients of its "edinfo".
void editor_load();
// At the track's unload: everything the editor held for it goes.
void editor_unload();
// The track has edits that are not saved.
bool editor_modified();
// The message line (the last editor message).
const char* editor_message_line();
