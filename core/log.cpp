#include "core/log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace kordane {

void logLine(const char* format, ...)
{
    char small[512];
    std::string large;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0)
        return;
    const char* text = small;
    if (static_cast<std::size_t>(n) >= sizeof small) {
        large.resize(static_cast<std::size_t>(n) + 1);
        va_start(args, format);
        std::vsnprintf(large.data(), large.size(), format, args);
        va_end(args);
        text = large.data();
    }
    std::size_t left = static_cast<std::size_t>(n);
    while (left > 0) {
        ssize_t w = ::write(STDERR_FILENO, text, left);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return;
        text += w;
        left -= static_cast<std::size_t>(w);
    }
}

} // namespace kordane
