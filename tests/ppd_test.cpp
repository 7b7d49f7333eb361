// The PPDs that ppdc builds from ppd/kordane.drv: one per supported model,
// each passing cupstestppd, naming its model number, offering exactly the
// options the filter reads for that model (checked against the model table
// and through the filter's own settings reader), with numeric choices,
// defaults that trim and compress, the raster format each colour choice
// asks for, and page sizes of their own dimensions.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

// libcups marks its PPD interface as deprecated; the filter reads its
// settings through it, so the tests read the PPDs the same way.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/cups.h>
#include <cups/ppd.h>
#include <cups/raster.h>

#include "core/model_table.h"
#include "filter/settings.h"
#include "core/page_state.h"
#include "support/ppd_writer.h"

namespace kordane {
namespace {

namespace fs = std::filesystem;

// Every option the filter reads from a PPD.
const std::vector<std::string> kFilterOptions = {
    "PageSize",     "PageType",          "Rotation",     "FocusArea",
    "CompPrinting", "LogoPosition",      "LogoJustification",
    "LogoImage",    "LogoWidth",         "LineFeed",     "ColorModel",
    "PageCut",      "CashDrawer",        "CashDrawerOpen",
    "CashDrawer1PulseWidth",             "CashDrawer2PulseWidth",
};

// The options the filter reads for a model, from its row of the table.
std::set<std::string> expectedOptions(const ModelInfo& m)
{
    std::set<std::string> names = {"PageSize",          "PageType",  "Rotation",
                                   "LogoPosition",      "LogoImage", "LogoWidth",
                                   "LogoJustification", "LineFeed"};
    if (!m.isFixedFeed())
        names.insert("FocusArea");
    if (m.compresses())
        names.insert("CompPrinting");
    if (m.options == OptionSet::All)
        names.insert({"ColorModel", "PageCut"});
    if (m.options != OptionSet::MonoFixed)
        names.insert({"CashDrawer", "CashDrawerOpen", "CashDrawer1PulseWidth",
                      "CashDrawer2PulseWidth"});
    return names;
}

// Page sizes: the imageable width in dots at 203 dpi, by size number.
const std::map<std::string, int> kSizeWidths = {
    {"1", 576},   {"2", 576},   {"3", 384},   {"4", 384},   {"56", 576},
    {"75", 576},  {"94", 576},  {"110", 576}, {"111", 384}, {"112", 384},
    {"138", 384}, {"139", 384}, {"95", 1728}, {"100", 1152},
};
// Sizes on which the filter never turns a page a quarter turn.
const std::set<std::string> kQuarterTurnLocked = {"56",  "75",  "94",  "110",
                                                  "111", "112", "138", "139"};
// Sizes that only the models reducing wide pages offer.
const std::set<std::string> kReducedSizes = {"95", "100"};

std::string ppdName(int model)
{
    char name[32];
    std::snprintf(name, sizeof name, "krd%03d.ppd", model);
    return name;
}

std::string ppdPath(int model) { return std::string(KORDANE_PPD_DIR) + "/" + ppdName(model); }

// An open PPD, closed when the object goes away.
class Ppd {
public:
    explicit Ppd(const std::string& path) : ppd_(ppdOpenFile(path.c_str())) {}
    ~Ppd()
    {
        if (ppd_ != nullptr)
            ppdClose(ppd_);
    }
    Ppd(const Ppd&) = delete;
    Ppd& operator=(const Ppd&) = delete;
    ppd_file_t* get() const { return ppd_; }
    ppd_file_t* operator->() const { return ppd_; }

private:
    ppd_file_t* ppd_;
};

// The raster page header that the PPD's marked choices ask for, as a raster
// driver interprets them: defaults plus the given options.
cups_page_header2_t headerFor(ppd_file_t* ppd, const std::string& options)
{
    ppdMarkDefaults(ppd);
    cups_option_t* opts = nullptr;
    const int n = cupsParseOptions(options.c_str(), 0, &opts);
    cupsMarkOptions(ppd, n, opts);
    cups_page_header2_t header{};
    EXPECT_EQ(cupsRasterInterpretPPD(&header, ppd, n, opts, nullptr), 0)
        << options << ": " << cupsLastErrorString();
    cupsFreeOptions(n, opts);
    return header;
}

// Runs a shell command and returns its exit status and combined output.
struct CommandResult {
    int status = -1;
    std::string output;
};

CommandResult runCommand(const std::string& command)
{
    CommandResult r;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (p == nullptr)
        return r;
    char buf[4096];
    size_t got = 0;
    while ((got = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.output.append(buf, got);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string quoted(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Parameterised by model number, so a failure names the model.
class ModelPpd : public ::testing::TestWithParam<int> {
protected:
    const ModelInfo& model() const { return *findModel(GetParam()); }
};

std::vector<int> modelNumbers()
{
    std::vector<int> numbers;
    for (const ModelInfo& m : allModels())
        numbers.push_back(m.number);
    return numbers;
}

std::string modelTestName(const ::testing::TestParamInfo<int>& info)
{
    return "Model" + std::to_string(info.param);
}

INSTANTIATE_TEST_SUITE_P(AllModels, ModelPpd, ::testing::ValuesIn(modelNumbers()), modelTestName);

TEST(PpdFiles, ExactlyOnePerSupportedModel)
{
    std::set<std::string> expected;
    for (const ModelInfo& m : allModels())
        expected.insert(ppdName(m.number));
    std::set<std::string> found;
    for (const auto& entry : fs::directory_iterator(KORDANE_PPD_DIR))
        if (entry.path().extension() == ".ppd")
            found.insert(entry.path().filename().string());
    EXPECT_EQ(found.size(), 46u);
    EXPECT_EQ(found, expected);
}

// cupstestppd with the built filter installed under a private root, so the
// cupsFilter lines are checked too. Its only warnings are the accepted ones:
// numeric size names and the CashDrawer option-name prefix.
TEST_P(ModelPpd, PassesCupstestppd)
{
    const std::string cupstestppd = KORDANE_CUPSTESTPPD;
    ASSERT_FALSE(cupstestppd.empty()) << "cupstestppd not found (package cups-client)";
    test::TempDir root;
    const fs::path filterDir = fs::path(root.path()) / fs::path(KORDANE_CUPS_SERVERBIN).relative_path() / "filter";
    fs::create_directories(filterDir);
    fs::create_symlink(KORDANE_FILTER_PATH, filterDir / "rastertoKordane");

    const CommandResult r = runCommand("CUPS_SERVERBIN=" + quoted(KORDANE_CUPS_SERVERBIN) + " " +
                                       quoted(cupstestppd) + " -R " + quoted(root.path()) + " " +
                                       quoted(ppdPath(GetParam())));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find(": PASS"), std::string::npos) << r.output;
    std::size_t pos = 0;
    while ((pos = r.output.find("WARN", pos)) != std::string::npos) {
        const std::size_t end = r.output.find('\n', pos);
        const std::string line = r.output.substr(pos, end - pos);
        const bool accepted = line.find("should be the Adobe standard name") != std::string::npos ||
                              line.find("CashDrawer shares a common prefix with") != std::string::npos;
        EXPECT_TRUE(accepted) << line;
        pos = end;
    }
}

TEST_P(ModelPpd, NamesItsModelAndOffersExactlyTheFilterOptions)
{
    const ModelInfo& m = model();
    Ppd ppd(ppdPath(m.number));
    ASSERT_NE(ppd.get(), nullptr) << ppdPath(m.number);
    EXPECT_EQ(ppd->model_number, m.number);
    EXPECT_STREQ(ppd->manufacturer, "Kordane");
    const std::string prefix = "Kordane " + std::to_string(m.number) + " ";
    EXPECT_EQ(std::string(ppd->modelname).rfind(prefix, 0), 0u) << ppd->modelname;
    EXPECT_EQ(std::string(ppd->nickname).rfind(prefix, 0), 0u) << ppd->nickname;
    EXPECT_EQ(ppd->color_device != 0, m.twoColour);

    std::set<std::string> filters(ppd->filters, ppd->filters + ppd->num_filters);
    EXPECT_EQ(filters, (std::set<std::string>{"application/vnd.cups-raster 0 rastertoKordane",
                                              "text/plain 0 rastertoKordane"}));

    // Exactly the options the filter reads for the model. Every choice
    // keyword is the number the filter takes from it; every text is readable
    // (not the bare keyword, no colon); every default exists.
    const std::set<std::string> expected = expectedOptions(m);
    for (const std::string& name : kFilterOptions) {
        ppd_option_t* option = ppdFindOption(ppd.get(), name.c_str());
        EXPECT_EQ(option != nullptr, expected.count(name) == 1) << name;
        if (option == nullptr)
            continue;
        EXPECT_NE(ppdFindChoice(option, option->defchoice), nullptr) << name;
        std::set<std::string> texts;
        for (int i = 0; i < option->num_choices; ++i) {
            const ppd_choice_t& c = option->choices[i];
            const std::string keyword = c.choice;
            const std::string text = c.text;
            EXPECT_FALSE(keyword.empty()) << name;
            EXPECT_TRUE(std::all_of(keyword.begin(), keyword.end(),
                                    [](char ch) { return ch >= '0' && ch <= '9'; }))
                << name << " " << keyword;
            EXPECT_NE(text, keyword) << name;
            EXPECT_EQ(text.find(':'), std::string::npos) << name << " " << text;
            EXPECT_TRUE(texts.insert(text).second) << name << " repeats " << text;
        }
    }
}

// The defaults, as the filter's own settings reader takes them from the PPD
// with an empty job option string, then with job options.
TEST_P(ModelPpd, DefaultsTrimCompressAndWasteNoPaperAndJobOptionsOverrideThem)
{
    const ModelInfo& m = model();
    PrintSettings s{};
    PageState state{};
    ASSERT_EQ(initializeSettings(ppdPath(m.number).c_str(), "", s, state),
              SettingsResult::Supported);
    EXPECT_EQ(s.model_number, m.number);
    EXPECT_EQ(s.PageSize, 94);
    EXPECT_EQ(s.PageType, 0);
    EXPECT_EQ(s.Rotation, 0);
    EXPECT_EQ(s.FocusArea, 0);
    EXPECT_EQ(s.CompPrinting, m.compresses() ? 1 : 0);
    EXPECT_EQ(s.ColorModel, m.options == OptionSet::DrawerOnly ? 0 : 1);
    EXPECT_EQ(s.LogoPosition, 0);
    EXPECT_EQ(s.LogoJustification, 1);
    EXPECT_EQ(s.LogoImage, 0);
    EXPECT_EQ(s.LogoWidth, 0);
    EXPECT_EQ(s.LineFeed, 0);
    EXPECT_EQ(s.PageCut, m.options == OptionSet::All ? 2 : 0);
    EXPECT_EQ(s.CashDrawer, 0);
    EXPECT_EQ(s.CashDrawerOpen, 0);
    const int pulse = m.options == OptionSet::MonoFixed ? 0 : 100;
    EXPECT_EQ(s.CashDrawer1PulseWidth, pulse);
    EXPECT_EQ(s.CashDrawer2PulseWidth, pulse);

    // Job options name choices the filter then reads.
    const std::string options = "PageSize=138 Rotation=3 LogoPosition=3 LineFeed=3"
                                " CompPrinting=0 PageCut=1 CashDrawer=3 CashDrawer2PulseWidth=500";
    ASSERT_EQ(initializeSettings(ppdPath(m.number).c_str(), options.c_str(), s, state),
              SettingsResult::Supported);
    EXPECT_EQ(s.PageSize, 138);
    EXPECT_EQ(s.Rotation, 3);
    EXPECT_EQ(s.LogoPosition, 3);
    EXPECT_EQ(s.LineFeed, 3);
    EXPECT_EQ(s.CompPrinting, 0);
    EXPECT_EQ(s.PageCut, m.options == OptionSet::All ? 1 : 0);
    EXPECT_EQ(s.CashDrawer, m.options == OptionSet::MonoFixed ? 0 : 3);
    EXPECT_EQ(s.CashDrawer2PulseWidth, m.options == OptionSet::MonoFixed ? 0 : 500);
}

// ColorModel 0 gives the two-colour models the four-band CMYK raster of one
// bit per colour; every other choice, and every model without two colours,
// gets a one-bit black raster. Always 203 dpi.
TEST_P(ModelPpd, ColourChoicesGiveTheRasterTheFilterReads)
{
    const ModelInfo& m = model();
    Ppd ppd(ppdPath(m.number));
    ASSERT_NE(ppd.get(), nullptr);
    std::vector<std::string> choices = {""};
    if (ppd_option_t* option = ppdFindOption(ppd.get(), "ColorModel"))
        for (int i = 0; i < option->num_choices; ++i)
            choices.push_back(option->choices[i].choice);
    if (m.twoColour) {
        EXPECT_NE(std::find(choices.begin(), choices.end(), "0"), choices.end());
    }

    for (const std::string& choice : choices) {
        const bool twoColour = m.twoColour && choice == "0";
        const cups_page_header2_t h =
            headerFor(ppd.get(), choice.empty() ? "" : "ColorModel=" + choice);
        SCOPED_TRACE("ColorModel " + (choice.empty() ? std::string("default") : choice));
        EXPECT_EQ(h.HWResolution[0], 203u);
        EXPECT_EQ(h.HWResolution[1], 203u);
        EXPECT_EQ(h.cupsBitsPerColor, 1u);
        EXPECT_EQ(h.cupsCompression, 0u);
        if (twoColour) {
            EXPECT_EQ(h.cupsColorSpace, CUPS_CSPACE_CMYK);
            EXPECT_EQ(h.cupsColorOrder, CUPS_ORDER_BANDED);
            EXPECT_EQ(h.cupsBytesPerLine, 4 * 72u);
        } else {
            EXPECT_EQ(h.cupsColorSpace, CUPS_CSPACE_K);
            EXPECT_EQ(h.cupsColorOrder, CUPS_ORDER_CHUNKED);
            EXPECT_EQ(h.cupsBitsPerPixel, 1u);
            EXPECT_EQ(h.cupsBytesPerLine, 72u);
        }
        EXPECT_EQ(h.cupsWidth, 576u);
    }
}

// The sizes: 80 mm and 58 mm rolls at 576 and 384 dots, the wide pages that
// the reducing models print at a third and a half, the sizes that lock
// quarter turns, each with dimensions of its own.
TEST_P(ModelPpd, PageSizesHaveTheirWidthsAndOwnDimensions)
{
    const ModelInfo& m = model();
    Ppd ppd(ppdPath(m.number));
    ASSERT_NE(ppd.get(), nullptr);

    std::set<std::string> expected;
    for (const auto& [name, width] : kSizeWidths)
        if (m.sizeReduction || kReducedSizes.count(name) == 0)
            expected.insert(name);
    std::set<std::string> found;
    std::set<std::pair<long, long>> dimensions;
    for (int i = 0; i < ppd->num_sizes; ++i) {
        const ppd_size_t& size = ppd->sizes[i];
        found.insert(size.name);
        EXPECT_TRUE(dimensions.insert({std::lround(size.width * 100), std::lround(size.length * 100)})
                        .second)
            << size.name << " repeats the dimensions of another size";
    }
    EXPECT_EQ(found, expected);
    for (const std::string& name : kQuarterTurnLocked)
        EXPECT_EQ(found.count(name), 1u) << name;

    for (const std::string& name : found) {
        SCOPED_TRACE("PageSize " + name);
        const cups_page_header2_t h = headerFor(ppd.get(), "PageSize=" + name);
        EXPECT_EQ(h.cupsWidth, static_cast<unsigned>(kSizeWidths.at(name)));
        EXPECT_STREQ(h.cupsPageSizeName, name.c_str());
        const ppd_size_t* size = ppdPageSize(ppd.get(), name.c_str());
        ASSERT_NE(size, nullptr);
        const double lengthDots = (size->top - size->bottom) * 203.0 / 72.0;
        // A quarter turn makes the page's length its width: the turnable
        // sizes are no longer than the roll's dot width.
        if (kQuarterTurnLocked.count(name) == 0 && kReducedSizes.count(name) == 0) {
            EXPECT_LE(std::lround(lengthDots), kSizeWidths.at(name));
        }
    }
}

} // namespace
} // namespace kordane
