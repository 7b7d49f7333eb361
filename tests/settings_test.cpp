// Print settings read through libcups from real PPD files and job options.
#include <gtest/gtest.h>

#include "filter/settings.h"
#include "pipeline/page_state.h"
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

void expectCommonOptions(const PrintSettings& s)
{
    EXPECT_EQ(s.PageSize, 94);
    EXPECT_EQ(s.PageType, 1);
    EXPECT_EQ(s.Rotation, 2);
    EXPECT_EQ(s.LogoPosition, 3);
    EXPECT_EQ(s.LogoJustification, 2);
    EXPECT_EQ(s.LogoImage, 1);
    EXPECT_EQ(s.LogoWidth, 3);
    EXPECT_EQ(s.LineFeed, 4);
}

TEST(Settings, Model10ReadsNoFocusCompressionCutOrDrawer)
{
    const Read r = readSettings(distinctPpd(10));
    ASSERT_EQ(r.result, SettingsResult::Supported);
    EXPECT_EQ(r.state.PrinterModel, 10);
    EXPECT_EQ(r.s.model_number, 10);
    expectCommonOptions(r.s);
    EXPECT_EQ(r.s.FocusArea, 0);
    EXPECT_EQ(r.s.CompPrinting, 0);
    EXPECT_EQ(r.s.ColorModel, 1);
    EXPECT_EQ(r.s.PageCut, 0);
    EXPECT_EQ(r.s.CashDrawer, 0);
    EXPECT_EQ(r.s.CashDrawerOpen, 0);
    EXPECT_EQ(r.s.CashDrawer1PulseWidth, 0);
    EXPECT_EQ(r.s.CashDrawer2PulseWidth, 0);
}

TEST(Settings, Model33ReadsFocusAndCompressionOnly)
{
    const Read r = readSettings(distinctPpd(33));
    ASSERT_EQ(r.result, SettingsResult::Supported);
    expectCommonOptions(r.s);
    EXPECT_EQ(r.s.FocusArea, 2);
    EXPECT_EQ(r.s.CompPrinting, 1);
    EXPECT_EQ(r.s.ColorModel, 1);
    EXPECT_EQ(r.s.PageCut, 0);
    EXPECT_EQ(r.s.CashDrawer, 0);
    EXPECT_EQ(r.s.CashDrawer2PulseWidth, 0);
}

TEST(Settings, Model83ReadsTheDrawerButNotColourOrCut)
{
    const Read r = readSettings(distinctPpd(83));
    ASSERT_EQ(r.result, SettingsResult::Supported);
    expectCommonOptions(r.s);
    EXPECT_EQ(r.s.FocusArea, 0);
    EXPECT_EQ(r.s.CompPrinting, 1);
    EXPECT_EQ(r.s.ColorModel, 0);
    EXPECT_EQ(r.s.PageCut, 0);
    EXPECT_EQ(r.s.CashDrawer, 3);
    EXPECT_EQ(r.s.CashDrawerOpen, 2);
    EXPECT_EQ(r.s.CashDrawer1PulseWidth, 255);
    EXPECT_EQ(r.s.CashDrawer2PulseWidth, 600);
}

TEST(Settings, Model42ReadsEverything)
{
    const Read r = readSettings(distinctPpd(42), "ColorModel=1");
    ASSERT_EQ(r.result, SettingsResult::Supported);
    expectCommonOptions(r.s);
    EXPECT_EQ(r.s.FocusArea, 2);
    EXPECT_EQ(r.s.CompPrinting, 1);
    EXPECT_EQ(r.s.ColorModel, 1) << "the job's choice";
    EXPECT_EQ(r.s.PageCut, 2);
    EXPECT_EQ(r.s.CashDrawer, 3);
    EXPECT_EQ(r.s.CashDrawerOpen, 2);
    EXPECT_EQ(r.s.CashDrawer1PulseWidth, 255);
    EXPECT_EQ(r.s.CashDrawer2PulseWidth, 600);
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

TEST(Settings, NoUsablePpd)
{
    Read r{};
    EXPECT_EQ(initializeSettings(nullptr, "", r.s, r.state), SettingsResult::Unsupported);
    EXPECT_EQ(initializeSettings("/nonexistent/file.ppd", "", r.s, r.state), SettingsResult::Unsupported);
    test::TempDir dir;
    EXPECT_EQ(initializeSettings(dir.write("garbage.ppd", "not a PPD at all\n").c_str(), "", r.s, r.state),
              SettingsResult::Unsupported);
    EXPECT_EQ(initializeSettings(dir.path().c_str(), "", r.s, r.state), SettingsResult::Unsupported);
}

} // namespace
} // namespace kordane
