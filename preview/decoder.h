// Reads a printer command stream back into its commands: the inverse of the
// command writer, for checking what a job sent and for previewing it.
//
// A command is recognised by its leading bytes (1B 40, 1B 61, 1B 70, 1C 70,
// 1D 28 4C, 1D 76, 1D 56, 0A, 08 43 52). From there on the command must be
// well formed and complete, or decoding stops with an error. Bytes that start
// no command are text; a run of them becomes one Text command. An image's
// data may hold any byte value: only its counts say where it ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kordane::preview {

enum class CommandKind : std::uint8_t {
    Initialize,      // ESC @
    Justify,         // ESC a n
    NvBitImage,      // FS p n m
    NvGraphics,      // GS ( L function 69
    LineFeed,        // LF
    StoreGraphics,   // GS ( L function 112
    PrintGraphics,   // GS ( L function 50
    RasterBitImage,  // GS v 0
    CompressedBlock, // start record, run-length code, end record
    Pulse,           // ESC p m t1 t2
    Cut,             // GS V m n
    Text,            // bytes that start no command
};

enum class CutMode : std::uint8_t { Full, Partial };

// One decoded command. Only the fields of its kind are set; the rest keep
// their zero defaults.
struct Command {
    CommandKind kind = CommandKind::Text;
    std::size_t offset = 0; // first byte in the stream
    std::size_t length = 0; // bytes in the stream, data and records included

    std::uint8_t n = 0; // ESC a: justification; FS p: image number; GS V: feed units
    std::uint8_t m = 0; // FS p: size mode

    std::uint8_t kc1 = 0, kc2 = 0, x = 0, y = 0; // function 69: key, magnification

    std::uint8_t colour = 0;       // function 112: 0x31 first colour, 0x32 second
    std::uint32_t width = 0;       // dots per line (GS v 0: 8 × bytesPerLine)
    std::uint32_t lines = 0;       // function 112, GS v 0, compressed block
    std::uint32_t bytesPerLine = 0; // GS v 0: x; otherwise ceil(width / 8)

    std::uint8_t drawer = 0, t1 = 0, t2 = 0; // ESC p

    CutMode cut = CutMode::Full; // GS V

    // Image lines (lines × bytesPerLine bytes; for a compressed block the
    // decoded bytes) or the bytes of a text run.
    std::vector<std::uint8_t> data;
};

// Where and why decoding stopped. For a command cut short by the end of the
// stream the offset is the command's first byte; for a bad field, a bad run
// or a misplaced end record it is the offending byte.
struct DecodeError {
    std::size_t offset = 0;
    std::string message;
};

struct DecodeResult {
    std::vector<Command> commands; // every command before the error, complete
    std::optional<DecodeError> error;
    bool ok() const { return !error.has_value(); }
};

// maxDecodedBytes bounds the total of the compressed blocks' decoded data
// (which can be over a hundred times their coded size): a block that would
// pass it ends decoding with an error at the block.
DecodeResult decodeStream(std::span<const std::uint8_t> stream,
                          std::uint64_t maxDecodedBytes = UINT64_MAX);

// "ESC @", "GS ( L function 112", ... for messages.
std::string_view commandName(CommandKind kind);

} // namespace kordane::preview
