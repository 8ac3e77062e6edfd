// Fuzzes the robots' lines reader: any text is read for a track of a few segments without a
// crash, every line kept has points and statistics within their limits, and what was kept,
// written and read again, is kept the same.
#include "race/robot_lines.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {
void check_limits(const std::vector<line_segment>& segments) {
    for (const line_segment& s : segments)
        for (const racing_line& l : s.lines) {
            if (l.points.empty()) continue;
            if (l.uses < 0 || l.uses > k_line_count_limit || l.failures < 0 ||
                l.failures > k_line_count_limit || l.sum_a < 0 || l.sum_a > k_line_sum_limit ||
                l.sum_b < 0 || l.sum_b > k_line_sum_limit)
                abort();
        }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    for (int segments : {0, 1, 4}) {
        std::vector<line_segment> read;
        std::string why;
        if (!lines_parse(text, segments, &read, &why)) {
            if (why.empty()) abort();
            continue;
        }
        if (static_cast<int>(read.size()) != segments) abort();
        check_limits(read);
        std::string written = lines_format(read);
        std::vector<line_segment> again;
        if (!lines_parse(written, segments, &again, &why)) abort();
        if (lines_format(again) != written) abort();
    }
    return 0;
}
