// The model table against the model sets the printers are grouped in: every
// decision must give, for every supported model, the group's answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "core/model_table.h"

namespace kordane {
namespace {

using ModelSet = std::set<int>;

const ModelSet kSupported{1,  6,  10, 11, 13, 22, 29, 30,  31,  33,  35,  36,  40,  41,  42,  43,
                          52, 60, 61, 63, 81, 82, 83, 87,  88,  90,  91,  92,  96,  97,  105, 110,
                          111, 114, 115, 116, 117, 134, 137, 147, 152, 153, 154, 156, 257, 273};

// The rows whose column satisfies `has`, as a set of model numbers.
ModelSet modelsWhere(const std::function<bool(const ModelInfo&)>& has)
{
    ModelSet out;
    for (const ModelInfo& m : allModels())
        if (has(m))
            out.insert(m.number);
    return out;
}

TEST(ModelTable, HoldsExactlyTheSupportedModels)
{
    EXPECT_EQ(modelsWhere([](const ModelInfo&) { return true; }), kSupported);
    for (int n = -1; n <= 300; ++n) {
        const ModelInfo* m = findModel(n);
        EXPECT_EQ(m != nullptr, kSupported.count(n) == 1) << "model " << n;
        if (m) {
            EXPECT_EQ(m->number, n);
        }
    }
}

TEST(ModelTable, OptionSetsAndFixedFeed)
{
    const ModelSet fixedFeed{10, 40, 41, 81, 83, 91, 92, 105, 116, 117, 147};
    EXPECT_EQ(modelsWhere([](auto& m) { return m.isFixedFeed(); }), fixedFeed);
    EXPECT_EQ(modelsWhere([](auto& m) { return m.options == OptionSet::MonoFixed; }),
              (ModelSet{10, 33, 40, 41, 81, 91, 92, 105, 116, 117, 147}));
    EXPECT_EQ(modelsWhere([](auto& m) { return m.options == OptionSet::DrawerOnly; }), ModelSet{83});
    EXPECT_EQ(modelsWhere([](auto& m) { return m.fixedFeed == 4; }), ModelSet{83});
    EXPECT_EQ(modelsWhere([](auto& m) { return m.fixedFeed == 2; }),
              (ModelSet{10, 40, 41, 81, 91, 92, 105, 116, 117, 147}));
}

TEST(ModelTable, CompressionBands)
{
    const ModelSet compressing{29,  30,  31,  33,  36,  40,  41,  42,  43,  60,  61,  63,  81,
                               82,  83,  87,  88,  90,  91,  92,  96,  97,  105, 110, 111, 114,
                               115, 116, 117, 134, 137, 147, 152, 153, 154, 156, 257, 273};
    EXPECT_EQ(modelsWhere([](auto& m) { return m.compresses(); }), compressing);
    EXPECT_EQ(modelsWhere([](auto& m) { return m.compressionBand == 64; }), ModelSet{33});
    EXPECT_EQ(modelsWhere([](auto& m) { return m.compressionBand == 10; }), (ModelSet{40, 81, 116}));
    EXPECT_EQ(modelsWhere([](auto& m) { return m.compressionBand == 246; }).size(), 34u);
}

TEST(ModelTable, ColourMonoAndReduction)
{
    EXPECT_EQ(modelsWhere([](auto& m) { return m.twoColour; }),
              (ModelSet{1,  6,  11, 22,  29,  30,  31,  35,  36,  42,  43,  60,  61,  63,  82,  87,
                        88, 90, 96, 97, 110, 111, 114, 115, 134, 137, 152, 153, 154, 156, 257, 273}));
    EXPECT_EQ(modelsWhere([](auto& m) { return m.mono; }),
              (ModelSet{10, 13, 31, 33,  36,  40,  41,  43,  52,  60,  61,  63,  81,  83,
                        91, 92, 105, 110, 111, 114, 115, 116, 117, 147, 152, 156, 257, 273}));
    EXPECT_EQ(modelsWhere([](auto& m) { return !m.sizeReduction; }), (ModelSet{10, 40, 81, 83, 91, 116}));
    EXPECT_EQ(modelsWhere([](auto& m) { return m.monoImage == MonoImageCommand::RasterBitImage; }),
              (ModelSet{13, 52}));
}

// The page and job end feeds are checked byte for byte for every model by
// the page loop test.
TEST(ModelTable, LogoCommands)
{
    const ModelSet key31{10, 40, 81, 91, 116};
    EXPECT_EQ(modelsWhere([](auto& m) { return m.pageLogo != LogoCommand::NvBitImage; }),
              (ModelSet{10, 33, 40, 41, 42, 81, 82, 83, 87, 88, 90, 91, 92, 96, 97, 105, 116, 117, 134,
                        137, 147, 153, 154}));
    EXPECT_EQ(modelsWhere([](auto& m) { return m.textLogo != LogoCommand::NvBitImage; }),
              (ModelSet{10, 33, 40, 41, 42, 81, 83, 91, 92, 105, 116, 117, 147}));
    EXPECT_EQ(modelsWhere([](auto& m) { return m.pageLogo == LogoCommand::NvGraphicsKey31; }), key31);
    EXPECT_EQ(modelsWhere([](auto& m) { return m.textLogo == LogoCommand::NvGraphicsKey31; }), key31);
}

} // namespace
} // namespace kordane
