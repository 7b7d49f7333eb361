// Print settings read through libcups from real PPD files and job options.
#include <gtest/gtest.h>

#include "filter/settings.h"
#include "core/page_state.h"
#include "support/ppd_writer.h"

namespace kordane {
namespace {

using test::PpdSpec;

// Every option set to a distinct value, so each field shows where it came from.
PpdSpec distinctPpd(int model)
{
    PpdSpec desc = test::standardPpd(model);
    test::setDefault(desc, "PageSize", "94");
    test::setDefault(desc, "PageType", "1");
    test::setDefault(desc, "Rotation", "2");
    test::setDefault(desc, "FocusArea", "2");
    test::setDefault(desc, "ColorModel", "0");
    test::setDefault(desc, "CompPrinting", "1");
    test::setDefault(desc, "LogoPosition", "3");
    test::setDefault(desc, "LogoJustification", "2");
    test::setDefault(desc, "LogoImage", "1");
    test::setDefault(desc, "LogoWidth", "3");
    test::setDefault(desc, "LineFeed", "4");
    test::setDefault(desc, "PageCut", "2");
    test::setDefault(desc, "CashDrawer", "3");
    test::setDefault(desc, "CashDrawerOpen", "2");
    test::setDefault(desc, "CashDrawer1PulseWidth", "255");
    test::setDefault(desc, "CashDrawer2PulseWidth", "600");
    return desc;
}

struct Read {
    SettingsResult result;
    PrintSettings s;
    PageState state;
};

Read readSettings(const PpdSpec& desc, const char* options = "")
{
    test::TempDir dir;
    const std::string ppd = test::writePpd(dir, desc);
    Read r{};
    r.result = initializeSettings(ppd.c_str(), options, r.s, r.state);
    return r;
}

// Each model reads the options of its set; the others stay 0. Model 42
// reads everything, and the job's ColorModel=1 overrides the default 0.
TEST(Settings, EachModelReadsItsOptionSet)
{
    struct Case {
        int model;
        int focus, comp, colour, cut, drawer, open, pulse1, pulse2;
    };
    for (const Case& c : {Case{10, 0, 0, 1, 0, 0, 0, 0, 0}, Case{33, 2, 1, 1, 0, 0, 0, 0, 0},
                          Case{83, 0, 1, 0, 0, 3, 2, 255, 600}, Case{42, 2, 1, 1, 2, 3, 2, 255, 600}}) {
        SCOPED_TRACE("model " + std::to_string(c.model));
        const Read r = readSettings(distinctPpd(c.model), c.model == 42 ? "ColorModel=1" : "");
        ASSERT_EQ(r.result, SettingsResult::Supported);
        EXPECT_EQ(r.state.PrinterModel, c.model);
        EXPECT_EQ(r.s.model_number, c.model);
        const PrintSettings& s = r.s;
        EXPECT_EQ((std::vector{s.PageSize, s.PageType, s.Rotation, s.LogoPosition, s.LogoJustification, s.LogoImage,
                               s.LogoWidth, s.LineFeed}),
                  (std::vector{94, 1, 2, 3, 2, 1, 3, 4}));
        EXPECT_EQ((std::vector{s.FocusArea, s.CompPrinting, s.ColorModel, s.PageCut, s.CashDrawer, s.CashDrawerOpen,
                               s.CashDrawer1PulseWidth, s.CashDrawer2PulseWidth}),
                  (std::vector{c.focus, c.comp, c.colour, c.cut, c.drawer, c.open, c.pulse1, c.pulse2}));
    }
}

TEST(Settings, UnsupportedModelStillFillsTheRecord)
{
    const Read r = readSettings(distinctPpd(2));
    EXPECT_EQ(r.result, SettingsResult::Unsupported);
    EXPECT_EQ(r.state.PrinterModel, 2);
    EXPECT_EQ(r.s.LineFeed, 4);
    EXPECT_EQ(readSettings(distinctPpd(0)).result, SettingsResult::Unsupported);
}

TEST(Settings, JobOptionsOverrideDefaults)
{
    PpdSpec desc = test::standardPpd(42);
    EXPECT_EQ(readSettings(desc).s.LineFeed, 0);
    EXPECT_EQ(readSettings(desc, "LineFeed=3").s.LineFeed, 3);
    const Read r = readSettings(desc, "LineFeed=3 PageCut=2 unrelated=yes CashDrawer1PulseWidth=255");
    EXPECT_EQ(r.s.LineFeed, 3);
    EXPECT_EQ(r.s.PageCut, 2);
    EXPECT_EQ(r.s.CashDrawer1PulseWidth, 255);
    // A choice the PPD does not have leaves the default.
    EXPECT_EQ(readSettings(desc, "LineFeed=77").s.LineFeed, 0);
}

TEST(Settings, MissingOptionsAndOddKeywords)
{
    PpdSpec desc = test::standardPpd(42);
    test::removeOption(desc, "LogoPosition");
    test::setDefault(desc, "LineFeed", "x3");
    test::setDefault(desc, "LogoImage", "-2");
    test::setDefault(desc, "LogoWidth", "2mm");
    test::setDefault(desc, "CashDrawer1PulseWidth", "99999999999999999999");
    const Read r = readSettings(desc);
    EXPECT_EQ(r.s.LogoPosition, -1);
    EXPECT_EQ(r.s.LineFeed, 0) << "a keyword that does not start with a number";
    EXPECT_EQ(r.s.LogoImage, -2);
    EXPECT_EQ(r.s.LogoWidth, 2);
    EXPECT_EQ(r.s.CashDrawer1PulseWidth, -1) << "saturated, then its low 32 bits";

    // A default naming a choice that does not exist gives -1 as well.
    PpdSpec dangling = test::standardPpd(42);
    dangling.options[1].defaultChoice = "7"; // PageType
    dangling.options[1].choices = {"0", "1"};
    EXPECT_EQ(readSettings(dangling).s.PageType, -1);
}

} // namespace
} // namespace kordane
