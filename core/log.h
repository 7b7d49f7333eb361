// Lines for the print system's job log on standard error. Each line goes out
// in a single write so that lines from different sources never interleave.
#pragma once

namespace kordane {

[[gnu::format(printf, 1, 2)]] void logLine(const char* format, ...);

} // namespace kordane
