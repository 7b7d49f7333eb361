#include "preview/decoder.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <initializer_list>
#include <utility>

namespace kordane::preview {
namespace {

constexpr std::array<std::uint8_t, 8> kStartRecord{0x08, 0x43, 0x52, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr std::array<std::uint8_t, 5> kEndRecord{0x08, 0x43, 0x52, 0xFF, 0x00};

std::string hexByte(std::uint8_t b)
{
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned>(b));
    return buf;
}

std::uint32_t bytesForDots(std::uint32_t dots) { return (dots + 7) / 8; }

enum class Outcome { NotCommand, Parsed, Failed };

class Decoder {
public:
    Decoder(std::span<const std::uint8_t> s, std::uint64_t maxDecoded) : s_(s), decodeBudget_(maxDecoded) {}

    DecodeResult run()
    {
        while (pos_ < s_.size()) {
            Command c;
            c.offset = pos_;
            const Outcome o = command(c);
            if (o == Outcome::NotCommand) {
                if (!textStart_)
                    textStart_ = pos_;
                ++pos_;
                continue;
            }
            flushText();
            if (o == Outcome::Failed)
                break;
            pos_ += c.length;
            result_.commands.push_back(std::move(c));
        }
        flushText();
        return std::move(result_);
    }

private:
    std::size_t left(std::size_t at) const { return at < s_.size() ? s_.size() - at : 0; }
    std::uint8_t at(std::size_t i) const { return s_[i]; }
    std::uint16_t word(std::size_t i) const
    {
        return static_cast<std::uint16_t>(s_[i] | (s_[i + 1] << 8));
    }

    bool matches(std::size_t i, std::span<const std::uint8_t> bytes) const
    {
        return left(i) >= bytes.size() && std::equal(bytes.begin(), bytes.end(), s_.begin() + static_cast<std::ptrdiff_t>(i));
    }

    Outcome fail(std::size_t offset, std::string message)
    {
        result_.error = DecodeError{offset, std::move(message)};
        return Outcome::Failed;
    }

    // The command starting at c.offset needs `total` bytes.
    bool complete(const Command& c, std::uint64_t total)
    {
        if (left(c.offset) >= total)
            return true;
        fail(c.offset, std::string(commandName(c.kind)) + " at offset " + std::to_string(c.offset) +
                           " is cut short: it needs " + std::to_string(total) + " bytes, the stream has " +
                           std::to_string(left(c.offset)) + " left");
        return false;
    }

    bool fixed(std::size_t i, std::uint8_t expected, const Command& c, std::string_view field)
    {
        if (at(i) == expected)
            return true;
        fail(i, std::string(commandName(c.kind)) + ": " + std::string(field) + " must be " + hexByte(expected) +
                    ", found " + hexByte(at(i)));
        return false;
    }

    void copyData(Command& c, std::size_t from, std::size_t count)
    {
        const auto first = s_.begin() + static_cast<std::ptrdiff_t>(from);
        c.data.assign(first, first + static_cast<std::ptrdiff_t>(count));
    }

    void flushText()
    {
        if (!textStart_)
            return;
        Command t;
        t.kind = CommandKind::Text;
        t.offset = *textStart_;
        t.length = pos_ - *textStart_;
        copyData(t, t.offset, t.length);
        result_.commands.push_back(std::move(t));
        textStart_.reset();
    }

    Outcome command(Command& c)
    {
        const std::size_t p = c.offset;
        const std::size_t avail = left(p);
        const std::uint8_t b0 = at(p);
        const std::uint8_t b1 = avail >= 2 ? at(p + 1) : 0;
        const std::uint8_t b2 = avail >= 3 ? at(p + 2) : 0;

        if (b0 == 0x0A)
            return simple(c, CommandKind::LineFeed, 1);
        if (avail < 2)
            return Outcome::NotCommand;
        if (b0 == 0x1B && b1 == 0x40)
            return simple(c, CommandKind::Initialize, 2);
        if (b0 == 0x1B && b1 == 0x61)
            return justify(c);
        if (b0 == 0x1B && b1 == 0x70)
            return pulse(c);
        if (b0 == 0x1C && b1 == 0x70)
            return nvBitImage(c);
        if (b0 == 0x1D && b1 == 0x76)
            return rasterBitImage(c);
        if (b0 == 0x1D && b1 == 0x56)
            return cut(c);
        if (avail < 3)
            return Outcome::NotCommand;
        if (b0 == 0x1D && b1 == 0x28 && b2 == 0x4C)
            return graphics(c);
        if (b0 == 0x08 && b1 == 0x43 && b2 == 0x52)
            return compressedBlock(c);
        return Outcome::NotCommand;
    }

    Outcome simple(Command& c, CommandKind kind, std::size_t length)
    {
        c.kind = kind;
        c.length = length;
        return Outcome::Parsed;
    }

    Outcome justify(Command& c)
    {
        c.kind = CommandKind::Justify;
        if (!complete(c, 3))
            return Outcome::Failed;
        c.n = at(c.offset + 2);
        c.length = 3;
        return Outcome::Parsed;
    }

    Outcome pulse(Command& c)
    {
        c.kind = CommandKind::Pulse;
        if (!complete(c, 5))
            return Outcome::Failed;
        c.drawer = at(c.offset + 2);
        c.t1 = at(c.offset + 3);
        c.t2 = at(c.offset + 4);
        c.length = 5;
        return Outcome::Parsed;
    }

    Outcome nvBitImage(Command& c)
    {
        c.kind = CommandKind::NvBitImage;
        if (!complete(c, 4))
            return Outcome::Failed;
        c.n = at(c.offset + 2);
        c.m = at(c.offset + 3);
        c.length = 4;
        return Outcome::Parsed;
    }

    Outcome cut(Command& c)
    {
        c.kind = CommandKind::Cut;
        if (!complete(c, 4))
            return Outcome::Failed;
        const std::uint8_t m = at(c.offset + 2);
        if (m != 0x41 && m != 0x42)
            return fail(c.offset + 2, "GS V: cut mode must be 41 or 42, found " + hexByte(m));
        c.cut = m == 0x41 ? CutMode::Full : CutMode::Partial;
        c.n = at(c.offset + 3);
        c.length = 4;
        return Outcome::Parsed;
    }

    Outcome rasterBitImage(Command& c)
    {
        c.kind = CommandKind::RasterBitImage;
        if (!complete(c, 8))
            return Outcome::Failed;
        if (!fixed(c.offset + 2, 0x30, c, "function byte") || !fixed(c.offset + 3, 0x00, c, "size mode"))
            return Outcome::Failed;
        c.bytesPerLine = word(c.offset + 4);
        c.lines = word(c.offset + 6);
        c.width = 8 * c.bytesPerLine;
        const std::uint64_t k = std::uint64_t{c.bytesPerLine} * c.lines;
        if (!complete(c, 8 + k))
            return Outcome::Failed;
        copyData(c, c.offset + 8, static_cast<std::size_t>(k));
        c.length = static_cast<std::size_t>(8 + k);
        return Outcome::Parsed;
    }

    Outcome graphics(Command& c)
    {
        const std::size_t p = c.offset;
        c.kind = CommandKind::StoreGraphics; // named in messages until the function is known
        if (left(p) < 7)
            return fail(p, "GS ( L at offset " + std::to_string(p) + " is cut short before its function byte");
        const std::uint16_t count = word(p + 3);
        if (at(p + 5) != 0x30)
            return fail(p + 5, "GS ( L: m must be 30, found " + hexByte(at(p + 5)));
        switch (at(p + 6)) {
        case 0x45:
            c.kind = CommandKind::NvGraphics;
            if (count != 6)
                return fail(p + 3, "GS ( L function 69: parameter count must be 6, found " + std::to_string(count));
            if (!complete(c, 11))
                return Outcome::Failed;
            c.kc1 = at(p + 7);
            c.kc2 = at(p + 8);
            c.x = at(p + 9);
            c.y = at(p + 10);
            c.length = 11;
            return Outcome::Parsed;
        case 0x32:
            c.kind = CommandKind::PrintGraphics;
            if (count != 2)
                return fail(p + 3, "GS ( L function 50: parameter count must be 2, found " + std::to_string(count));
            c.length = 7;
            return Outcome::Parsed;
        case 0x70:
            return storeGraphics(c, count);
        default:
            return fail(p + 6, "GS ( L: unknown function " + hexByte(at(p + 6)));
        }
    }

    Outcome storeGraphics(Command& c, std::uint16_t count)
    {
        const std::size_t p = c.offset;
        c.kind = CommandKind::StoreGraphics;
        if (count < 10)
            return fail(p + 3, "GS ( L function 112: parameter count " + std::to_string(count) +
                                   " is below the 10 header bytes");
        if (!complete(c, 15))
            return Outcome::Failed;
        if (!fixed(p + 7, 0x30, c, "tone") || !fixed(p + 8, 0x01, c, "horizontal magnification") ||
            !fixed(p + 9, 0x01, c, "vertical magnification"))
            return Outcome::Failed;
        c.colour = at(p + 10);
        if (c.colour != 0x31 && c.colour != 0x32)
            return fail(p + 10, "GS ( L function 112: colour must be 31 or 32, found " + hexByte(c.colour));
        c.width = word(p + 11);
        c.lines = word(p + 13);
        c.bytesPerLine = bytesForDots(c.width);
        const std::uint32_t k = count - 10u;
        const std::uint64_t expected = std::uint64_t{c.lines} * c.bytesPerLine;
        if (k != expected)
            return fail(p + 3, "GS ( L function 112: " + std::to_string(k) + " data bytes, but " +
                                   std::to_string(c.lines) + " lines of " + std::to_string(c.bytesPerLine) +
                                   " bytes need " + std::to_string(expected));
        if (!complete(c, 15 + std::uint64_t{k}))
            return Outcome::Failed;
        copyData(c, p + 15, k);
        c.length = 15 + k;
        return Outcome::Parsed;
    }

    Outcome compressedBlock(Command& c)
    {
        const std::size_t p = c.offset;
        c.kind = CommandKind::CompressedBlock;
        if (matches(p, kEndRecord))
            return fail(p, "end record of a compressed block without its start record");
        if (!complete(c, 12))
            return Outcome::Failed;
        for (std::size_t i = 3; i < kStartRecord.size(); ++i)
            if (!fixed(p + i, kStartRecord[i], c, "start record byte " + std::to_string(i)))
                return Outcome::Failed;
        c.width = word(p + 8);
        c.lines = word(p + 10);
        c.bytesPerLine = bytesForDots(c.width);
        const std::uint64_t expected = std::uint64_t{c.lines} * c.bytesPerLine;
        if (expected > decodeBudget_)
            return fail(p, "compressed block at offset " + std::to_string(p) + ": its " + std::to_string(expected) +
                               " bytes pass the limit on decoded image data");
        decodeBudget_ -= expected;
        // Never reserve more than the stream could possibly hold.
        c.data.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(expected, left(p))));

        std::size_t q = p + 12;
        for (;;) {
            const std::uint64_t produced = c.data.size();
            // 08 43 52 FF 00 can never be data: its FF 00 would be a run of
            // length 0. So where an item would start, it always ends the block.
            if (matches(q, kEndRecord)) {
                if (produced != expected)
                    return fail(q, "compressed block: end record after " + std::to_string(produced) + " of " +
                                       std::to_string(expected) + " bytes (" + std::to_string(c.lines) +
                                       " lines of " + std::to_string(c.bytesPerLine) + ")");
                c.length = q + kEndRecord.size() - p;
                return Outcome::Parsed;
            }
            if (produced == expected) {
                const bool endCutShort =
                    left(q) < kEndRecord.size() &&
                    std::equal(s_.begin() + static_cast<std::ptrdiff_t>(q), s_.end(), kEndRecord.begin());
                if (!endCutShort)
                    return fail(q, "compressed block: " + std::to_string(expected) +
                                       " bytes decoded, end record 08 43 52 FF 00 expected, found " + hexByte(at(q)));
            }
            const bool runCutShort = q < s_.size() && (at(q) == 0x00 || at(q) == 0xFF) && q + 1 >= s_.size();
            if (q >= s_.size() || runCutShort || produced == expected)
                return fail(p, "compressed block at offset " + std::to_string(p) + " is cut short after " +
                                   std::to_string(produced) + " of " + std::to_string(expected) +
                                   " bytes and before its end record");
            const std::uint8_t b = at(q);
            if (b != 0x00 && b != 0xFF) {
                c.data.push_back(b);
                ++q;
                continue;
            }
            const std::uint8_t run = at(q + 1);
            if (run == 0)
                return fail(q, "compressed block: run of " + hexByte(b) + " with count 0");
            if (produced + run > expected)
                return fail(q, "compressed block: run of " + std::to_string(run) + " passes the block's " +
                                   std::to_string(expected) + " bytes");
            c.data.insert(c.data.end(), run, b);
            q += 2;
        }
    }

    std::span<const std::uint8_t> s_;
    std::size_t pos_ = 0;
    std::optional<std::size_t> textStart_;
    DecodeResult result_;
    std::uint64_t decodeBudget_; // decoded bytes the compressed blocks may still produce
};

} // namespace

DecodeResult decodeStream(std::span<const std::uint8_t> stream, std::uint64_t maxDecodedBytes)
{
    return Decoder(stream, maxDecodedBytes).run();
}

std::string_view commandName(CommandKind kind)
{
    switch (kind) {
    case CommandKind::Initialize: return "ESC @";
    case CommandKind::Justify: return "ESC a";
    case CommandKind::NvBitImage: return "FS p";
    case CommandKind::NvGraphics: return "GS ( L function 69";
    case CommandKind::LineFeed: return "LF";
    case CommandKind::StoreGraphics: return "GS ( L function 112";
    case CommandKind::PrintGraphics: return "GS ( L function 50";
    case CommandKind::RasterBitImage: return "GS v 0";
    case CommandKind::CompressedBlock: return "compressed block";
    case CommandKind::Pulse: return "ESC p";
    case CommandKind::Cut: return "GS V";
    case CommandKind::Text: return "text";
    }
    return "unknown command";
}

} // namespace kordane::preview
