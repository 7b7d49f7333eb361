// Print settings read through libcups from real PPD files and job options.
#include <gtest/gtest.h>

#include "filter/settings.h"
#include "core/page_state.h"
#include "support/ppd_writer.h"

namespace kordane {
namespace {

struct Read {
    SettingsResult result;
    PrintSettings s;
    PageState state;
};

Read readSettings(const test::PpdSpec& desc, const char* options = "")
{
    test::TempDir dir;
    const std::string ppd = test::writePpd(dir, desc);
    Read r{};
    r.result = initializeSettings(ppd.c_str(), options, r.s, r.state);
    return r;
}

std::vector<int> fields(const PrintSettings& s)
{
    return {s.PageSize, s.PageType, s.Rotation, s.FocusArea, s.ColorModel, s.CompPrinting, s.LogoPosition,
            s.LogoJustification, s.LogoImage, s.LogoWidth, s.LineFeed, s.PageCut, s.CashDrawer, s.CashDrawerOpen,
            s.CashDrawer1PulseWidth, s.CashDrawer2PulseWidth};
}

TEST(Settings, EachModelReadsItsOptionsAndJobOptionsWin)
{
    // Every option a distinct default, in the order of fields().
    test::PpdSpec desc = test::standardPpd(0);
    const char* defaults[][2] = {{"PageSize", "94"},      {"PageType", "1"},          {"Rotation", "2"},
                                 {"FocusArea", "2"},      {"ColorModel", "0"},        {"CompPrinting", "1"},
                                 {"LogoPosition", "3"},   {"LogoJustification", "2"}, {"LogoImage", "1"},
                                 {"LogoWidth", "3"},      {"LineFeed", "4"},          {"PageCut", "2"},
                                 {"CashDrawer", "3"},     {"CashDrawerOpen", "2"},    {"CashDrawer1PulseWidth", "255"},
                                 {"CashDrawer2PulseWidth", "600"}};
    for (auto [keyword, choice] : defaults)
        test::setDefault(desc, keyword, choice);
    struct Case {
        int model;
        const char* options;
        std::vector<int> expected;
    };
    for (const Case& c : {
             // No cut, no drawer, always monochrome; model 10 reads no focus area, 33 no compression either.
             Case{10, "", {94, 1, 2, 0, 1, 0, 3, 2, 1, 3, 4, 0, 0, 0, 0, 0}},
             Case{33, "", {94, 1, 2, 2, 1, 1, 3, 2, 1, 3, 4, 0, 0, 0, 0, 0}},
             // The drawer but neither colour nor cut.
             Case{83, "", {94, 1, 2, 0, 0, 1, 3, 2, 1, 3, 4, 0, 3, 2, 255, 600}},
             // Everything, with job options over the defaults; a choice the
             // PPD lacks and options it does not know change nothing.
             Case{42, "ColorModel=1 LineFeed=77 PageCut=0 unrelated=yes CashDrawer1PulseWidth=1",
                  {94, 1, 2, 2, 1, 1, 3, 2, 1, 3, 4, 0, 3, 2, 1, 600}},
             Case{1, "", {94, 1, 2, 2, 0, 0, 3, 2, 1, 3, 4, 2, 3, 2, 255, 600}},
         }) {
        desc.modelNumber = c.model;
        const Read r = readSettings(desc, c.options);
        ASSERT_EQ(r.result, SettingsResult::Supported) << c.model;
        EXPECT_EQ(r.state.PrinterModel, c.model);
        EXPECT_EQ(r.s.model_number, c.model);
        EXPECT_EQ(fields(r.s), c.expected) << "model " << c.model;
    }
    // An unknown model is refused, its record filled all the same.
    desc.modelNumber = 2;
    const Read unknown = readSettings(desc);
    EXPECT_EQ(unknown.result, SettingsResult::Unsupported);
    EXPECT_EQ(unknown.state.PrinterModel, 2);
    EXPECT_EQ(unknown.s.LineFeed, 4);
    desc.modelNumber = 0;
    EXPECT_EQ(readSettings(desc).result, SettingsResult::Unsupported);
}

TEST(Settings, MissingOptionsAndKeywordsThatAreNotPlainNumbers)
{
    test::PpdSpec desc = test::standardPpd(42);
    test::removeOption(desc, "LogoPosition");
    test::setDefault(desc, "LineFeed", "x3");
    test::setDefault(desc, "LogoImage", "-2");
    test::setDefault(desc, "LogoWidth", "2mm");
    test::setDefault(desc, "CashDrawer1PulseWidth", "99999999999999999999");
    desc.options[1] = {"PageType", "7", {"0", "1"}}; // a default that is not a choice
    const Read r = readSettings(desc);
    EXPECT_EQ(r.s.LogoPosition, -1);
    EXPECT_EQ(r.s.PageType, -1);
    EXPECT_EQ(r.s.LineFeed, 0);
    EXPECT_EQ(r.s.LogoImage, -2);
    EXPECT_EQ(r.s.LogoWidth, 2);
    EXPECT_EQ(r.s.CashDrawer1PulseWidth, -1) << "saturated, then its low 32 bits";
}

} // namespace
} // namespace kordane
