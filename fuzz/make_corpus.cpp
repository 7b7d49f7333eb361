// Writes the seed corpora of the fuzz targets, one file per seed, into
// DIR/<target>/ (usage: make_fuzz_corpus DIR). The raster streams and PPDs
// come from the test support writers, so the seeds are the shapes the print
// system really sends.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/ppd_writer.h"
#include "support/raster_writer.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using namespace kordane::test;

void save(const fs::path& dir, const std::string& name, const Bytes& bytes)
{
    fs::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes join(Bytes head, const Bytes& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

Bytes text(const std::string& s) { return {s.begin(), s.end()}; }

RasterPage inkedTwoColourPage(std::uint32_t width, std::uint32_t height, std::uint32_t seed)
{
    RasterPage page = twoColorPage(width, height);
    std::mt19937 random(seed);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; x += 3)
            if (random() % 2)
                setDot(page, x, y, random() % 2 ? 3 : 1);
    return page;
}

// Raster job seeds: a model index, 16 setting selectors (see the target),
// then a stream.
void rasterJobSeeds(const fs::path& dir)
{
    const Bytes mono = rasterStream({randomPage(576, 12, 1, 0.2)});
    const Bytes narrow = rasterStream({randomPage(100, 9, 2), randomPage(384, 5, 3)});
    const Bytes colour = rasterStream({inkedTwoColourPage(576, 10, 4)});
    const Bytes compressed = rasterStream({randomPage(576, 20, 5, 0.05), blankPage(576, 4)},
                                          CUPS_RASTER_WRITE_COMPRESSED);
    const Bytes deep = rasterStream({deepPage(40, 3, 8), deepPage(20, 2, 24)});
    RawRasterPage zero = rawPage(blankPage(576, 2));
    zero.header.cupsHeight = 0;
    RawRasterPage huge = rawPage(randomPage(64, 2, 6));
    huge.header.cupsHeight = 0x10000001;
    huge.header.cupsBytesPerLine = 0x100;
    const Bytes hostile = rawRasterStream({rawPage(randomPage(64, 3, 7)), huge, zero});
    const Bytes empty = rasterStream({});

    struct Seed {
        const char* name;
        Bytes settings; // model index and the 16 selectors
        const Bytes& stream;
    };
    const Seed seeds[] = {
        {"mono-model13", {4, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, mono},
        {"mono-reduced-turned", {14, 1, 0, 1, 0, 1, 1, 3, 1, 1, 1, 1, 2, 1, 1, 2, 1}, mono},
        {"halved-focus", {17, 2, 0, 3, 2, 1, 0, 3, 0, 0, 0, 0, 2, 2, 1, 0, 0}, mono},
        {"narrow-pages", {9, 0, 1, 2, 1, 1, 1, 1, 2, 2, 2, 2, 0, 3, 2, 4, 4}, narrow},
        {"two-colour", {0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 0, 0}, colour},
        {"two-colour-turned", {19, 1, 0, 1, 0, 0, 0, 1, 1, 1, 3, 0, 2, 3, 2, 1, 1}, colour},
        {"compressed-stream", {21, 2, 1, 3, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, compressed},
        {"deep-pages", {7, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, deep},
        {"hostile-headers", {30, 0, 1, 1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, hostile},
        {"empty-stream", {22, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 2, 4, 4}, empty},
    };
    for (const Seed& seed : seeds)
        save(dir, seed.name, join(seed.settings, seed.stream));
}

void settingsSeeds(const fs::path& dir)
{
    // Raw PPD text, 00, option string.
    for (int model : {1, 13, 33, 83, 105}) {
        PpdSpec desc = standardPpd(model);
        const std::string ppd = ppdText(desc);
        save(dir, "ppd-model" + std::to_string(model),
             join(join({1}, text(ppd)), join({0}, text("PageSize=95 ColorModel=0 LineFeed=2 Rotation=3"))));
    }
    PpdSpec odd = standardPpd(42);
    setDefault(odd, "LineFeed", "-3");
    setDefault(odd, "PageSize", "2147483648");
    setDefault(odd, "Rotation", "abc");
    removeOption(odd, "ColorModel");
    save(dir, "ppd-odd-keywords", join(join({1}, text(ppdText(odd))), join({0}, text("PageCut=\"2\" {x}"))));
    // Generated PPDs: model selector, 16 option flags and keyword picks.
    save(dir, "generated-all", join({0, 1, 3, 0, 1, 0, 2, 0, 3, 0, 1, 0, 0, 0, 5, 0, 4, 0, 9, 0, 0, 0, 1, 0, 0, 0, 0},
                                    text("Rotation=1 LineFeed=3")));
    save(dir, "generated-sparse", join({0, 1, 8, 1, 3, 2, 1, 5, 1, 1, 1, 0, 12, 1}, text("")));
}

void transformSeeds(const fs::path& dir)
{
    std::mt19937 random(11);
    const std::uint8_t shapes[][2] = {{8, 8}, {13, 5}, {24, 72}, {7, 130}, {1, 200}, {72, 1}};
    for (std::uint8_t op = 0; op < 8; ++op)
        for (const auto& shape : shapes) {
            Bytes seed = {op, shape[0], shape[1]};
            for (std::size_t i = 0; i < std::size_t{shape[0]} * shape[1]; ++i)
                seed.push_back(random() % 3 == 0 ? static_cast<std::uint8_t>(random()) : 0);
            if (op >= 6)
                seed.insert(seed.begin() + 3, static_cast<std::uint8_t>(op - 5));
            save(dir, "op" + std::to_string(op) + "-" + std::to_string(shape[0]) + "x" + std::to_string(shape[1]),
                 seed);
        }
}

void compressSeeds(const fs::path& dir)
{
    std::mt19937 random(12);
    Bytes mixed;
    for (int i = 0; i < 600; ++i) {
        const unsigned r = random() % 6;
        mixed.push_back(r == 0 ? 0x00 : r == 1 ? 0xFF : static_cast<std::uint8_t>(random()));
    }
    save(dir, "mixed", mixed);
    save(dir, "zeros-300", Bytes(300, 0x00));
    save(dir, "ones-255", Bytes(255, 0xFF));
    save(dir, "literal", text("literal bytes, no runs at all"));
    save(dir, "alternating", join(Bytes(9, 0x00), join(Bytes(9, 0xFF), Bytes(9, 0x00))));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_corpus DIR\n");
        return 1;
    }
    const fs::path root = argv[1];
    rasterJobSeeds(root / "raster_job");
    settingsSeeds(root / "settings");
    transformSeeds(root / "transforms");
    compressSeeds(root / "compress");
    return 0;
}
