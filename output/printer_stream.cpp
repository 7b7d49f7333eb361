#include "output/printer_stream.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <new>
#include <unistd.h>

namespace kordane {

namespace {

// The stream SIGTERM cancels through. Set once the handler is installed.
std::atomic<PrinterStream*> gCancelStream{nullptr};

static_assert(std::atomic<PrinterStream*>::is_always_lock_free);
static_assert(std::atomic<std::size_t>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

// 720 bytes 00 (they complete whatever the printer was waiting for), then
// ESC @ to leave it initialised.
constexpr std::array<std::uint8_t, 722> kCancelTrailer = [] {
    std::array<std::uint8_t, 722> t{};
    t[720] = 0x1B;
    t[721] = 0x40;
    return t;
}();

// write(2) until done or failed; only async-signal-safe calls.
void writeAllRaw(int fd, const std::uint8_t* p, std::size_t n)
{
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (w == 0)
            return;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
}

} // namespace

PrinterStream::PrinterStream(int fd, std::size_t initialCapacity)
    : fd_(fd), data_(new std::uint8_t[std::max<std::size_t>(initialCapacity, 1)]),
      capacity_(std::max<std::size_t>(initialCapacity, 1))
{
}

PrinterStream::PrinterStream(WriteFunction write, void* context, std::size_t initialCapacity)
    : PrinterStream(-1, initialCapacity)
{
    write_ = write;
    writeContext_ = context;
}

PrinterStream::~PrinterStream()
{
    PrinterStream* self = this;
    if (gCancelStream.compare_exchange_strong(self, nullptr))
        ignoreCancel();
    delete[] data_.load();
}

void PrinterStream::begin() { open_ = true; }

void PrinterStream::end()
{
    open_ = false;
    committed_.store(size_);
    if (size_ - flushed_.load() >= kFlushThreshold)
        flush();
}

void PrinterStream::command(std::span<const std::uint8_t> bytes)
{
    begin();
    put(bytes);
    end();
}

std::uint8_t* PrinterStream::reserve(std::size_t n)
{
    if (capacity_ - size_ < n)
        grow(size_ + n);
    return data_.load() + size_;
}

void PrinterStream::advance(std::size_t n) { size_ += n; }

// A larger buffer replaces the old one in a single pointer store, after the
// bytes are copied, so the cancel handler sees a complete buffer either way.
void PrinterStream::grow(std::size_t needed)
{
    if (needed < size_)
        throw std::bad_alloc();
    std::size_t fresh = std::max(needed, capacity_ > SIZE_MAX / 2 ? needed : capacity_ * 2);
    auto* bytes = new std::uint8_t[fresh];
    std::memcpy(bytes, data_.load(), size_);
    std::uint8_t* old = data_.exchange(bytes);
    capacity_ = fresh;
    delete[] old;
}

void PrinterStream::writeOut(std::size_t from, std::size_t to)
{
    if (cancelled_) {
        flushed_.store(to);
        return;
    }
    if (write_ != nullptr) {
        // Bytes the printer side did not take are dropped, and so is the rest.
        if (to > from && writeError_ == 0 && !write_(writeContext_, data_.load() + from, to - from))
            writeError_ = EIO;
        flushed_.store(to);
        return;
    }
    if (fd_ < 0) {
        const std::uint8_t* p = data_.load();
        captured_.insert(captured_.end(), p + from, p + to);
        flushed_.store(to);
        return;
    }
    // The flushed position is advanced before the write is marked finished:
    // a SIGTERM during the write only leaves a note, and this loop finishes
    // the cancel itself once it knows how much went out.
    while (flushed_.load() < to && writeError_ == 0) {
        std::size_t done = flushed_.load();
        inWrite_.store(1);
        ssize_t w = ::write(fd_, data_.load() + done, to - done);
        int err = errno;
        if (w > 0)
            flushed_.store(done + static_cast<std::size_t>(w));
        inWrite_.store(0);
        if (cancelPending_.load())
            finishCancel();
        if (w == 0 || (w < 0 && err != EINTR))
            writeError_ = w == 0 ? EIO : err;
    }
    if (writeError_ != 0)
        flushed_.store(to); // the printer side is gone: the bytes are dropped
}

void PrinterStream::flush()
{
    std::size_t end = committed_.load();
    writeOut(flushed_.load(), end);

    // Move an open command's bytes to the front. The closed range is emptied
    // first, so a cancel at any point sends nothing twice.
    std::size_t tail = size_ - end;
    committed_.store(0);
    flushed_.store(0);
    if (tail > 0) {
        std::uint8_t* p = data_.load();
        std::memmove(p, p + end, tail);
    }
    size_ = tail;
}

void PrinterStream::endJob()
{
    flush();
    if (gCancelStream.load() == this)
        ignoreCancel();
}

// Only async-signal-safe calls.
void PrinterStream::finishCancel()
{
    if (fd_ >= 0) {
        std::size_t from = flushed_.load();
        std::size_t to = committed_.load();
        if (to > from)
            writeAllRaw(fd_, data_.load() + from, to - from);
        writeAllRaw(fd_, kCancelTrailer.data(), kCancelTrailer.size());
    }
    _exit(0);
}

void PrinterStream::cancel()
{
    if (!cancelled_) {
        // The open command, if any, lies past the committed end and is dropped.
        writeOut(flushed_.load(), committed_.load());
        size_ = 0;
        committed_.store(0);
        flushed_.store(0);
        open_ = false;
        begin();
        put(kCancelTrailer);
        end();
        writeOut(0, committed_.load());
        cancelled_ = true;
    }
    size_ = 0;
    committed_.store(0);
    flushed_.store(0);
}

void PrinterStream::onSigterm(int)
{
    PrinterStream* stream = gCancelStream.load();
    if (stream == nullptr)
        _exit(0);
    if (stream->inWrite_.load()) {
        stream->cancelPending_.store(1);
        return;
    }
    stream->finishCancel();
}

void PrinterStream::installCancelHandler()
{
    gCancelStream.store(this);
    struct sigaction action {};
    action.sa_handler = &PrinterStream::onSigterm;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a blocked write returns to its loop
    sigaction(SIGTERM, &action, nullptr);
}

void PrinterStream::ignoreCancel() { std::signal(SIGTERM, SIG_IGN); }

} // namespace kordane
