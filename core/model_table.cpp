#include "core/model_table.h"

#include <algorithm>
#include <array>

namespace kordane {

namespace {

using enum OptionSet;
using enum CutKind;
using enum LogoCommand;
using enum MonoImageCommand;

constexpr bool Y = true;
constexpr bool N = false;

// Columns: model, option set, compression band, two-colour, mono, size
// reduction, fixed feed, page-end LF (PageCut 0), page-end LF before the cut
// (PageCut 2), cut, job-end LF (PageCut 0), page logo, text logo, mono image.
constexpr std::array<ModelInfo, 46> kModels{{
    {1,   All,        0,   Y, N, Y, 0, 2, 0, Full,    6, NvBitImage,      NvBitImage,      GraphicsBuffer},
    {6,   All,        0,   Y, N, Y, 0, 2, 0, Full,    6, NvBitImage,      NvBitImage,      GraphicsBuffer},
    {10,  MonoFixed,  0,   N, Y, N, 2, 2, 0, Full,    0, NvGraphicsKey31, NvGraphicsKey31, GraphicsBuffer},
    {11,  All,        0,   Y, N, Y, 0, 4, 2, Full,    6, NvBitImage,      NvBitImage,      GraphicsBuffer},
    {13,  All,        0,   N, Y, Y, 0, 2, 0, Full,    6, NvBitImage,      NvBitImage,      RasterBitImage},
    {22,  All,        0,   Y, N, Y, 0, 1, 0, Partial, 6, NvBitImage,      NvBitImage,      GraphicsBuffer},
    {29,  All,        246, Y, N, Y, 0, 2, 0, Full,    6, NvBitImage,      NvBitImage,      GraphicsBuffer},
    {30,  All,        246, Y, N, Y, 0, 4, 2, Full,    6, NvBitImage,      NvBitImage,      GraphicsBuffer},
    {31,  All,        246, Y, Y, Y, 0, 2, 0, Full,    6, NvBitImage,      NvBitImage,      GraphicsBuffer},
    {33,  MonoFixed,  64,  N, Y, Y, 0, 2, 0, Full,    1, NvGraphicsKey30, NvGraphicsKey30, GraphicsBuffer},
    {35,  All,        0,   Y, N, Y, 0, 1, 0, Partial, 6, NvBitImage,      NvBitImage,      GraphicsBuffer},
    {36,  All,        246, Y, Y, Y, 0, 2, 0, Full,    6, NvBitImage,      NvBitImage,      GraphicsBuffer},
    {40,  MonoFixed,  10,  N, Y, N, 2, 2, 0, Full,    0, NvGraphicsKey31, NvGraphicsKey31, GraphicsBuffer},
    {41,  MonoFixed,  246, N, Y, Y, 2, 2, 0, Full,    0, NvGraphicsKey30, NvGraphicsKey30, GraphicsBuffer},
    {42,  All,        246, Y, N, Y, 0, 3, 0, Full,    6, NvGraphicsKey30, NvGraphicsKey30, GraphicsBuffer},
    {43,  All,        246, Y, Y, Y, 0, 2, 0, Full,    6, NvBitImage,      NvBitImage,      GraphicsBuffer},
    {52,  All,        0,   N, Y, Y, 0, 2, 0, Full,    6, NvBitImage,      NvBitImage,      RasterBitImage},
    {60,  All,        246, Y, Y, Y, 0, 2, 0, Full,    6, NvBitImage,      NvBitImage,      GraphicsBuffer},
    {61,  All,        246, Y, Y, Y, 0, 3, 1, Full,    6, NvBitImage,      NvBitImage,      GraphicsBuffer},
    {63,  All,        246, Y, Y, Y, 0, 4, 2, Full,    6, NvBitImage,      NvBitImage,      GraphicsBuffer},
    {81,  MonoFixed,  10,  N, Y, N, 2, 2, 0, Full,    0, NvGraphicsKey31, NvGraphicsKey31, GraphicsBuffer},
    {82,  All,        246, Y, N, Y, 0, 2, 0, Full,    6, NvGraphicsKey30, NvBitImage,      GraphicsBuffer},
    {83,  DrawerOnly, 246, N, Y, N, 4, 4, 0, Full,    0, NvGraphicsKey30, NvGraphicsKey30, GraphicsBuffer},
    {87,  All,        246, Y, N, Y, 0, 1, 0, Full,    6, NvGraphicsKey30, NvBitImage,      GraphicsBuffer},
    {88,  All,        246, Y, N, Y, 0, 1, 0, Full,    6, NvGraphicsKey30, NvBitImage,      GraphicsBuffer},
    {90,  All,        246, Y, N, Y, 0, 1, 0, Full,    6, NvGraphicsKey30, NvBitImage,      GraphicsBuffer},
    {91,  MonoFixed,  246, N, Y, N, 2, 2, 0, Full,    0, NvGraphicsKey31, NvGraphicsKey31, GraphicsBuffer},
    {92,  MonoFixed,  246, N, Y, Y, 2, 2, 0, Full,    0, NvGraphicsKey30, NvGraphicsKey30, GraphicsBuffer},
    {96,  All,        246, Y, N, Y, 0, 2, 0, Full,    6, NvGraphicsKey30, NvBitImage,      GraphicsBuffer},
    {97,  All,        246, Y, N, Y, 0, 2, 0, Full,    6, NvGraphicsKey30, NvBitImage,      GraphicsBuffer},
    {105, MonoFixed,  246, N, Y, Y, 2, 2, 0, Full,    0, NvGraphicsKey30, NvGraphicsKey30, GraphicsBuffer},
    {110, All,        246, Y, Y, Y, 0, 3, 1, Full,    6, NvBitImage,      NvBitImage,      GraphicsBuffer},
    {111, All,        246, Y, Y, Y, 0, 4, 2, Full,    6, NvBitImage,      NvBitImage,      GraphicsBuffer},
    {114, All,        246, Y, Y, Y, 0, 2, 0, Full,    6, NvBitImage,      NvBitImage,      GraphicsBuffer},
    {115, All,        246, Y, Y, Y, 0, 2, 0, Full,    6, NvBitImage,      NvBitImage,      GraphicsBuffer},
    {116, MonoFixed,  10,  N, Y, N, 2, 2, 0, Full,    0, NvGraphicsKey31, NvGraphicsKey31, GraphicsBuffer},
    {117, MonoFixed,  246, N, Y, Y, 2, 2, 0, Full,    0, NvGraphicsKey30, NvGraphicsKey30, GraphicsBuffer},
    {134, All,        246, Y, N, Y, 0, 2, 0, Full,    6, NvGraphicsKey30, NvBitImage,      GraphicsBuffer},
    {137, All,        246, Y, N, Y, 0, 2, 0, Full,    6, NvGraphicsKey30, NvBitImage,      GraphicsBuffer},
    {147, MonoFixed,  246, N, Y, Y, 2, 2, 0, Full,    0, NvGraphicsKey30, NvGraphicsKey30, GraphicsBuffer},
    {152, All,        246, Y, Y, Y, 0, 3, 1, Full,    6, NvBitImage,      NvBitImage,      GraphicsBuffer},
    {153, All,        246, Y, N, Y, 0, 2, 0, Full,    6, NvGraphicsKey30, NvBitImage,      GraphicsBuffer},
    {154, All,        246, Y, N, Y, 0, 2, 0, Full,    6, NvGraphicsKey30, NvBitImage,      GraphicsBuffer},
    {156, All,        246, Y, Y, Y, 0, 4, 2, Full,    6, NvBitImage,      NvBitImage,      GraphicsBuffer},
    {257, All,        246, Y, Y, Y, 0, 3, 1, Full,    6, NvBitImage,      NvBitImage,      GraphicsBuffer},
    {273, All,        246, Y, Y, Y, 0, 4, 2, Full,    6, NvBitImage,      NvBitImage,      GraphicsBuffer},
}};

constexpr bool sortedByNumber()
{
    for (std::size_t i = 1; i < kModels.size(); ++i)
        if (kModels[i - 1].number >= kModels[i].number)
            return false;
    return true;
}
static_assert(sortedByNumber(), "the model table must stay sorted for lookup");

} // namespace

const ModelInfo* findModel(std::int32_t number)
{
    auto it = std::lower_bound(kModels.begin(), kModels.end(), number,
                               [](const ModelInfo& m, std::int32_t n) { return m.number < n; });
    return it != kModels.end() && it->number == number ? &*it : nullptr;
}

std::span<const ModelInfo> allModels() { return kModels; }

} // namespace kordane
