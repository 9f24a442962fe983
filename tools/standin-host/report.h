#pragma once
// The end of a stand-in host run: the summary lines on stdout (the draw slot's times beside the
// empty draw's, the state check, the times by repaint, the machine) and draw-stats.json.
#include <string>

#include "measured_run.h"
#include "options.h"

namespace standin {

// Prints the summary of `run`, writes draw-stats.json into the folder `out` and says where the PNG
// frames went; false when the file could not be written.
bool report(const Options& options, const std::wstring& out, const MeasuredRun& run);

}  // namespace standin
