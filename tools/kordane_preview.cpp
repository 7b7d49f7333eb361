// Print preview of a printer stream: checks every byte against the printer's
// command set, prints a trace of the commands (one line each, with the
// offset of its first byte), and draws the printout as a PNG.
//
//   kordane_preview [-q] [-o PICTURE.png] [STREAM]
//
// STREAM is a file, or standard input when absent or "-". The picture goes
// to PICTURE.png, by default STREAM.png (preview.png for standard input).
// -q leaves out the trace.
//
// Exit status: 0 when the whole stream decodes; 1 when it does not (the
// error and its offset go to standard error, and the trace and picture show
// what came before it); 2 when the stream or the picture cannot be read or
// written, or the arguments are wrong.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "preview/decoder.h"
#include "preview/png_file.h"
#include "preview/render.h"

namespace {

using kordane::preview::Canvas;

constexpr std::size_t kMaxStream = std::size_t{256} << 20;
// Compressed blocks may decode to at most this many bytes in all.
constexpr std::uint64_t kMaxDecoded = std::uint64_t{1} << 30;

int usage()
{
    std::fputs("usage: kordane_preview [-q] [-o PICTURE.png] [STREAM]\n", stderr);
    return 2;
}

// Reads the whole stream, at most kMaxStream bytes. Returns false with a
// message in `error`.
bool readStream(std::FILE* in, std::vector<std::uint8_t>& out, std::string& error)
{
    std::uint8_t buf[65536];
    for (;;) {
        const std::size_t got = std::fread(buf, 1, sizeof buf, in);
        if (out.size() + got > kMaxStream) {
            error = "stream is larger than " + std::to_string(kMaxStream >> 20) + " MiB";
            return false;
        }
        out.insert(out.end(), buf, buf + got);
        if (got < sizeof buf) {
            if (std::ferror(in)) {
                error = std::strerror(errno);
                return false;
            }
            return true;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    bool trace = true;
    std::string input = "-";
    std::string picture;
    bool haveInput = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-q") {
            trace = false;
        } else if (arg == "-o") {
            if (++i == argc)
                return usage();
            picture = argv[i];
        } else if (arg == "-h" || arg == "--help") {
            usage();
            return 0;
        } else if (!haveInput && (arg == "-" || arg[0] != '-')) {
            input = arg;
            haveInput = true;
        } else {
            return usage();
        }
    }
    if (picture.empty())
        picture = input == "-" ? "preview.png" : input + ".png";

    std::vector<std::uint8_t> stream;
    std::string error;
    std::FILE* in = input == "-" ? stdin : std::fopen(input.c_str(), "rb");
    if (!in) {
        std::fprintf(stderr, "kordane_preview: %s: %s\n", input.c_str(), std::strerror(errno));
        return 2;
    }
    const bool read = readStream(in, stream, error);
    if (in != stdin)
        std::fclose(in);
    if (!read) {
        std::fprintf(stderr, "kordane_preview: %s: %s\n", input.c_str(), error.c_str());
        return 2;
    }

    const kordane::preview::DecodeResult decoded = kordane::preview::decodeStream(stream, kMaxDecoded);
    if (trace)
        for (const auto& c : decoded.commands)
            std::printf("%08zu  %s\n", c.offset, kordane::preview::traceLine(c).c_str());
    std::fflush(stdout);

    const kordane::preview::Preview preview = kordane::preview::renderPreview(decoded.commands);
    if (!writePng(picture, preview.canvas, error)) {
        std::fprintf(stderr, "kordane_preview: %s\n", error.c_str());
        return 2;
    }
    std::fprintf(stderr, "kordane_preview: %zu bytes, %zu commands, picture %u x %u in %s%s\n", stream.size(),
                 decoded.commands.size(), preview.canvas.width, preview.canvas.height, picture.c_str(),
                 preview.truncated ? " (cut to fit its size limits)" : "");
    if (!decoded.ok()) {
        std::fprintf(stderr, "kordane_preview: error at offset %zu: %s\n", decoded.error->offset,
                     decoded.error->message.c_str());
        return 1;
    }
    return 0;
}
