#include "core/input_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace kordane {

ssize_t InputSource::read(std::span<std::uint8_t> buffer)
{
    if (buffer.empty())
        return 0;
    if (peekedPos_ < peekedSize_) {
        std::size_t n = std::min(buffer.size(), peekedSize_ - peekedPos_);
        std::memcpy(buffer.data(), peeked_.data() + peekedPos_, n);
        peekedPos_ += n;
        return static_cast<ssize_t>(n);
    }
    for (;;) {
        ssize_t n = ::read(fd_, buffer.data(), buffer.size());
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

bool InputSource::startsWithRasterSyncWord()
{
    while (peekedSize_ < peeked_.size()) {
        ssize_t n = ::read(fd_, peeked_.data() + peekedSize_, peeked_.size() - peekedSize_);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        peekedSize_ += static_cast<std::size_t>(n);
    }
    if (peekedSize_ < 4)
        return false;
    static constexpr const char* kSyncWords[] = {"RaS2", "RaS3", "RaSt", "2SaR", "3SaR", "tSaR"};
    return std::any_of(std::begin(kSyncWords), std::end(kSyncWords), [&](const char* word) {
        return std::memcmp(peeked_.data(), word, 4) == 0;
    });
}

} // namespace kordane
