// The one buffered byte stream to the printer.
//
// Bytes are written command by command: a command is opened with begin(),
// filled through the ByteSink interface and closed with end(). Only closed
// commands ever leave the buffer, so the stream on the wire always ends on a
// command boundary. That is what makes a cancel safe: the SIGTERM handler
// sends the closed commands that are still buffered, then the cancel trailer
// (720 bytes 00 and ESC @), and ends the process with status 0, whatever the
// main flow was doing at that moment. A stream that writes through a callback
// (the printer application's device) ends a cancelled job the same way from
// its own thread, with cancel().
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "output/byte_sink.h"

namespace kordane {

class PrinterStream final : public ByteSink {
public:
    // Writes all n bytes, or returns false when the printer side is gone.
    using WriteFunction = bool (*)(void* context, const std::uint8_t* bytes, std::size_t n);

    // fd >= 0: bytes go to that descriptor. fd < 0: bytes are kept in memory
    // and read back with captured() (tests, previews). The buffer starts at
    // initialCapacity bytes and doubles when a command needs more.
    explicit PrinterStream(int fd, std::size_t initialCapacity = kDefaultCapacity);
    // Bytes go to `write`. Such a stream takes no signal handler.
    PrinterStream(WriteFunction write, void* context, std::size_t initialCapacity = kDefaultCapacity);
    ~PrinterStream() override;
    PrinterStream(const PrinterStream&) = delete;
    PrinterStream& operator=(const PrinterStream&) = delete;

    void begin();
    void end();
    // One whole command made of the given bytes.
    void command(std::span<const std::uint8_t> bytes);

    std::uint8_t* reserve(std::size_t n) override;
    void advance(std::size_t n) override;

    // Sends every closed command. A write that fails (other than by an
    // interruption, which is retried) drops what was not written, and every
    // later flush drops its bytes too: writeError() tells why.
    void flush();
    // 0 while every write succeeded, else the errno of the first that failed.
    int writeError() const { return writeError_; }

    // The end of the job: sends everything written so far. A job cancelled
    // through SIGTERM can no longer be cancelled from here on.
    void endJob();

    // Makes SIGTERM cancel the job through this stream (a descriptor
    // stream), or be ignored.
    void installCancelHandler();
    static void ignoreCancel();

    // Memory mode: everything flushed so far.
    std::span<const std::uint8_t> captured() const { return captured_; }

    // Sends the closed commands not yet written, the cancel trailer, and ends
    // the process with status 0. Async-signal-safe.
    [[noreturn]] void finishCancel();
    // The same without ending the process: the closed commands not yet
    // written, then the cancel trailer. An open command is dropped, and so is
    // anything written afterwards.
    void cancel();

    static constexpr std::size_t kFlushThreshold = 256 * 1024;
    static constexpr std::size_t kDefaultCapacity = 512 * 1024;

private:
    void grow(std::size_t needed);
    void writeOut(std::size_t from, std::size_t to);
    static void onSigterm(int);

    const int fd_;
    WriteFunction write_ = nullptr;
    void* writeContext_ = nullptr;
    bool cancelled_ = false;
    std::atomic<std::uint8_t*> data_;
    std::size_t capacity_;
    std::size_t size_ = 0; // bytes in the buffer, closed or not
    std::atomic<std::size_t> committed_{0}; // end of the last closed command
    std::atomic<std::size_t> flushed_{0};   // bytes already handed to fd_
    bool open_ = false;
    std::atomic<int> inWrite_{0};       // a write(2) to fd_ is under way
    std::atomic<int> cancelPending_{0}; // SIGTERM came during that write
    int writeError_ = 0;
    std::vector<std::uint8_t> captured_;
};

} // namespace kordane
