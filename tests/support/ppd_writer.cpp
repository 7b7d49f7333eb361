#include "support/ppd_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace kordane::test {

// ---------------------------------------------------------------- TempDir

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kordane-test-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(std::string_view name) const
{
    return path_ + "/" + std::string(name);
}

std::string TempDir::write(std::string_view name, const std::vector<std::uint8_t>& data) const
{
    return write(name, std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

std::string TempDir::write(std::string_view name, std::string_view text) const
{
    const std::string path = file(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
    return path;
}

// ---------------------------------------------------------------- PPD text

namespace {

// A PPD number in points, two decimals.
std::string pt(double value)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", value);
    return buf;
}

void writeOption(std::string& ppd, const PpdOption& option, const std::string& code = {})
{
    const std::string& k = option.keyword;
    ppd += "*OpenUI *" + k + "/" + k + ": PickOne\n";
    ppd += "*OrderDependency: 10 AnySetup *" + k + "\n";
    if (!option.defaultChoice.empty())
        ppd += "*Default" + k + ": " + option.defaultChoice + "\n";
    for (const std::string& choice : option.choices)
        ppd += "*" + k + " " + choice + "/" + choice + ": \"" + code + "\"\n";
    ppd += "*CloseUI: *" + k + "\n";
}

// Page sizes: 80 mm paper with side margins that leave 576 dots at 203 dpi;
// each size a different length so no two collapse into one.
void writePageSize(std::string& ppd, const PpdOption& option)
{
    constexpr double width = 226.77, left = 11.2, right = 215.57;
    auto length = [](std::size_t i) { return 566.93 + 28.35 * static_cast<double>(i); };
    const std::string& dflt = option.defaultChoice;

    for (const char* keyword : {"PageSize", "PageRegion"}) {
        ppd += std::string("*OpenUI *") + keyword + "/Media Size: PickOne\n";
        ppd += std::string("*OrderDependency: 10 AnySetup *") + keyword + "\n";
        if (!dflt.empty())
            ppd += std::string("*Default") + keyword + ": " + dflt + "\n";
        for (std::size_t i = 0; i < option.choices.size(); ++i)
            ppd += std::string("*") + keyword + " " + option.choices[i] + "/" + option.choices[i]
                + ": \"<</PageSize[" + pt(width) + " " + pt(length(i))
                + "]/ImagingBBox null>>setpagedevice\"\n";
        ppd += std::string("*CloseUI: *") + keyword + "\n";
    }
    if (!dflt.empty())
        ppd += "*DefaultImageableArea: " + dflt + "\n";
    for (std::size_t i = 0; i < option.choices.size(); ++i)
        ppd += "*ImageableArea " + option.choices[i] + "/" + option.choices[i] + ": \""
            + pt(left) + " 0.00 " + pt(right) + " " + pt(length(i)) + "\"\n";
    if (!dflt.empty())
        ppd += "*DefaultPaperDimension: " + dflt + "\n";
    for (std::size_t i = 0; i < option.choices.size(); ++i)
        ppd += "*PaperDimension " + option.choices[i] + "/" + option.choices[i] + ": \""
            + pt(width) + " " + pt(length(i)) + "\"\n";
}

std::vector<std::string> numbers(int first, int last)
{
    std::vector<std::string> out;
    for (int i = first; i <= last; ++i)
        out.push_back(std::to_string(i));
    return out;
}

} // namespace

std::string ppdText(const PpdSpec& desc)
{
    std::string ppd =
        "*PPD-Adobe: \"4.3\"\n"
        "*FormatVersion: \"4.3\"\n"
        "*FileVersion: \"1.0\"\n"
        "*LanguageVersion: English\n"
        "*LanguageEncoding: ISOLatin1\n"
        "*PCFileName: \"KORDTEST.PPD\"\n"
        "*Manufacturer: \"Kordane\"\n"
        "*Product: \"(Kordane Test Printer)\"\n"
        "*ModelName: \"Kordane Test Printer\"\n"
        "*ShortNickName: \"Kordane Test Printer\"\n"
        "*NickName: \"Kordane Test Printer\"\n"
        "*PSVersion: \"(3010.000) 0\"\n"
        "*LanguageLevel: \"3\"\n"
        "*ColorDevice: True\n"
        "*DefaultColorSpace: Gray\n"
        "*cupsVersion: 2.4\n";
    if (desc.modelNumber != 0)
        ppd += "*cupsModelNumber: " + std::to_string(desc.modelNumber) + "\n";
    ppd += "*cupsFilter: \"application/vnd.cups-raster 0 rastertoKordane\"\n";

    for (const PpdOption& option : desc.options) {
        if (option.keyword == "PageSize")
            writePageSize(ppd, option);
        else
            writeOption(ppd, option);
    }
    return ppd;
}

std::string writePpd(const TempDir& dir, const PpdSpec& desc)
{
    for (int n = 1;; ++n) {
        const std::string name = "printer-" + std::to_string(n) + ".ppd";
        if (!std::filesystem::exists(dir.file(name)))
            return dir.write(name, ppdText(desc));
    }
}

// ---------------------------------------------------------------- editing

PpdSpec standardPpd(int model)
{
    const std::vector<std::string> pulses = {"1", "100", "200", "255", "600"};
    PpdSpec desc;
    desc.modelNumber = model;
    desc.options = {
        {"PageSize", "1", {"1", "56", "94", "95", "100"}},
        {"PageType", "0", numbers(0, 2)},
        {"Rotation", "0", numbers(0, 3)},
        {"FocusArea", "0", numbers(0, 2)},
        {"ColorModel", "1", numbers(0, 2)},
        {"CompPrinting", "0", numbers(0, 2)},
        {"LogoPosition", "0", numbers(0, 4)},
        {"LogoJustification", "0", numbers(0, 2)},
        {"LogoImage", "0", numbers(0, 2)},
        {"LogoWidth", "0", numbers(0, 3)},
        {"LineFeed", "0", numbers(0, 5)},
        {"PageCut", "0", numbers(0, 2)},
        {"CashDrawer", "0", numbers(0, 3)},
        {"CashDrawerOpen", "0", numbers(0, 2)},
        {"CashDrawer1PulseWidth", "100", pulses},
        {"CashDrawer2PulseWidth", "200", pulses},
    };
    return desc;
}

PpdSpec& setDefault(PpdSpec& desc, std::string_view keyword, std::string_view choice)
{
    auto option = std::find_if(desc.options.begin(), desc.options.end(),
                               [&](const PpdOption& o) { return o.keyword == keyword; });
    if (option == desc.options.end()) {
        desc.options.push_back({std::string(keyword), std::string(choice), {std::string(choice)}});
        return desc;
    }
    option->defaultChoice = choice;
    if (std::find(option->choices.begin(), option->choices.end(), choice) == option->choices.end())
        option->choices.emplace_back(choice);
    return desc;
}

PpdSpec& removeOption(PpdSpec& desc, std::string_view keyword)
{
    std::erase_if(desc.options, [&](const PpdOption& o) { return o.keyword == keyword; });
    return desc;
}

std::string writeStandardPpd(const TempDir& dir, int model,
                             std::initializer_list<std::pair<const char*, const char*>> defaults)
{
    PpdSpec desc = standardPpd(model);
    for (auto [keyword, choice] : defaults)
        setDefault(desc, keyword, choice);
    return writePpd(dir, desc);
}

} // namespace kordane::test
