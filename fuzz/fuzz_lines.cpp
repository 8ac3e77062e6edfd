// Fuzzes the robots' lines reader: any text is read for a track of a few segments without a
// crash, every line kept has points and statistics within their limits, and what was kept,
// written and read again, is kept the same.
#include "race/robot_lines.h"

#include <cmath>
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

// The segment's lines that hold points, in slot order, as the file lists them.
std::vector<const racing_line*> held(const line_segment& s) {
    std::vector<const racing_line*> out;
    for (const racing_line& l : s.lines)
        if (!l.points.empty()) out.push_back(&l);
    return out;
}

// Whether the lines read again hold what was written: the same statistics and points, to the
// six decimals they were written with.
bool same_lines(const std::vector<line_segment>& a, const std::vector<line_segment>& b) {
    auto near = [](float x, float y) {
        return std::fabs(static_cast<double>(x) - y) <= 1e-6 + 1e-7 * std::fabs(x);
    };
    for (size_t s = 0; s < a.size(); s++) {
        std::vector<const racing_line*> la = held(a[s]), lb = held(b[s]);
        if (la.size() != lb.size()) return false;
        for (size_t i = 0; i < la.size(); i++) {
            const racing_line &p = *la[i], &q = *lb[i];
            if (p.points.size() != q.points.size() || p.time_a != q.time_a ||
                p.time_b != q.time_b || p.uses != q.uses || p.best_a != q.best_a ||
                p.best_b != q.best_b || p.sum_a != q.sum_a || p.sum_b != q.sum_b ||
                p.failures != q.failures)
                return false;
            for (size_t k = 0; k < p.points.size(); k++) {
                const line_point &m = p.points[k], &n = q.points[k];
                if (!near(m.x, n.x) || !near(m.y, n.y) || !near(m.z, n.z) ||
                    !near(m.speed, n.speed) || !near(m.lean, n.lean))
                    return false;
            }
        }
    }
    return true;
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
        if (!same_lines(read, again)) abort();
        if (lines_format(again) != written) abort();
    }
    return 0;
}
