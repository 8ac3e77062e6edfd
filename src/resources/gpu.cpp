// The gpu table the caches use, and its null entry.
#include "resources/gpu.h"

namespace {
bool never() { return false; }
uint32_t no_texture(const image&, bool, bool, bool, int64_t* memory) {
    *memory = 0;
    return 0;
}
void no_replace(uint32_t, const image&) {}
void no_delete(uint32_t) {}
void no_mesh(model_mesh*) {}
void no_draw(model_mesh*, const float*, const model_camera&, const float*, const model_pose*, bool,
             bool, int*, int*) {}

struct gpu_state {
    const resources_gpu* gpu = &k_resources_gpu_null;
};
gpu_state g_gpu;
} // namespace

const resources_gpu k_resources_gpu_null = {"null",    never,   no_texture, no_replace,
                                            no_delete, no_mesh, no_mesh,    no_draw};

void resources_set_gpu(const resources_gpu* gpu) { g_gpu.gpu = gpu ? gpu : &k_resources_gpu_null; }
const resources_gpu& resources_gpu_current() { return *g_gpu.gpu; }
