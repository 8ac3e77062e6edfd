// What the console's own files share.
#pragma once

// "log": trail markers of the local bike every `spacing` feet.
struct trail_logging {
    bool on = false;
    int flags = 0;       // 1: engine speed and gear in each marker
    float spacing = 10;  // ft
    bool placed = false; // a marker stands at `last`
    float last[3] = {};  // ft
};
trail_logging& console_trail();
