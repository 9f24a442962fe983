#pragma once
// Per-frame draw-slot times and their summary.
#include <string>
#include <vector>

namespace standin {

struct DrawSummary {
    size_t count = 0;
    double mean = 0, p50 = 0, p95 = 0, max = 0;  // milliseconds
};

// Nearest-rank percentiles over the recorded times; all zero when nothing was recorded.
DrawSummary summarise(std::vector<double> milliseconds);

// Escapes a text for a JSON string (quotes not included).
std::string jsonText(const std::string& text);

}  // namespace standin
