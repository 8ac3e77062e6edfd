// The generator's bike step: the fixed collision shapes every catalogue bike uses.
#include "forge.h"
#include "forge_shapes.h"

bool forge_shapes(const std::string& out) {
    for (const forge_shape_file& file : forge_shape_files())
        if (!forge_write_file(out + file.name, file.bytes)) return false;
    return true;
}
