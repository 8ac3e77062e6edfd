// Fuzzes the ".jm" model reader, then writes back and exports what it accepted.
#include "resources/model.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    model_mesh mesh;
    if (!model_jm_decode(data, size, &mesh)) return 0;
    for (const model_part& part : mesh.parts)
        for (int32_t index : part.triangles)
            if (index < 0 || index >= part.vertex_count) __builtin_trap();
    model_jm_encode(mesh);
    model_pov_text(mesh);
    std::vector<model_bone> bones(static_cast<size_t>(mesh.file_bone_count) + 1, model_bone{});
    for (model_part& part : mesh.parts)
        model_part_skin(&part, model_pose{part.bone_count, bones.data()});
    return 0;
}
