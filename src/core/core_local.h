// What the program core's own files write: the settings, the graphics values derived from them,
// the program-wide state and the control bindings. Everything else reads them through the const
// accessors of config.h, program.h and bindings.h.
#pragma once

#include "core/bindings.h"
#include "core/config.h"
#include "core/program.h"

settings& config_edit();
graphics_working& graphics_edit();
program_state& program_edit();
binding* bindings_edit();
binding& special_edit(special_binding which);
binding* binding_for_key_edit(const char* key);
