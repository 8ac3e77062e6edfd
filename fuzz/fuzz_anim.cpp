// Fuzzes the "ANIM1" sequence reader; named PNG frames come back as a small picture or fail.
#include "resources/anim.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    anim_sequence seq;
    auto read_png = [](const std::string& name, image* out) {
        if (name.empty() || name[0] == 'x') return false;
        return image_allocate(out, 1 + static_cast<int>(name.size() % 3), 2,
                              name.size() % 2 ? 4 : 3);
    };
    if (anim_decode(data, size, read_png, &seq)) {
        for (int tic = -3; tic < 200; tic += 7) {
            int step = anim_step_at(seq, 5, tic);
            if (step < 0 || step >= seq.length || seq.sequence[step] >= seq.frame_count)
                __builtin_trap();
        }
    }
    return 0;
}
