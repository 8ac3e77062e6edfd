// Stand-ins for the object tools of modes 11 to 15 until they are built: they change nothing
// and say so in the log.
#include "editor/editor_tools.h"

#include "common/not_built.h"

bool tools_press(editor_tools_state&, int, const editor_pointer&, const editor_tool_settings&,
                 int* drag_target) {
    log_not_built(__func__);
    *drag_target = 0;
    return false;
}
bool tools_drag(editor_tools_state&, int, const editor_pointer&, const editor_tool_settings&, int) {
    log_not_built(__func__);
    return false;
}
bool tools_key(editor_tools_state&, int, int, const editor_pointer&, const editor_tool_settings&,
               std::string*, bool* consumed) {
    log_not_built(__func__);
    *consumed = false;
    return false;
}
bool tools_button(editor_tools_state&, int, const editor_tool_settings&, const editor_gradient*,
                  bool) {
    log_not_built(__func__);
    return false;
}
std::vector<std::string> tools_panel_lines(const editor_tools_state&, int,
                                           const editor_tool_settings&) {
    log_not_built(__func__);
    return {};
}
std::vector<editor_mark> tools_marks(const editor_tools_state&, int, const editor_pointer&,
                                     const editor_tool_settings&) {
    log_not_built(__func__);
    return {};
}
void tools_reset(editor_tools_state& tools) { tools = editor_tools_state{}; }
