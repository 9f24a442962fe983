#include "draw_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace standin {

DrawSummary summarise(std::vector<double> ms) {
    DrawSummary s;
    if (ms.empty()) return s;
    std::sort(ms.begin(), ms.end());
    s.count = ms.size();
    s.mean = std::accumulate(ms.begin(), ms.end(), 0.0) / static_cast<double>(ms.size());
    auto rank = [&](double p) {
        const size_t r = static_cast<size_t>(std::ceil(p * static_cast<double>(ms.size())));
        return ms[std::min(std::max<size_t>(r, 1), ms.size()) - 1];
    };
    s.p50 = rank(0.50);
    s.p95 = rank(0.95);
    s.max = ms.back();
    return s;
}

std::string jsonText(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace standin
