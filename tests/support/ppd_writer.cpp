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

std::string TempDir::write(std::string_view name, std::string_view text) const
{
    const std::string path = file(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.write(text.data(), static_cast<std::streamsize>(text.size())).flush())
        throw std::runtime_error("cannot write " + path);
    return path;
}

std::string ppdText(const PpdSpec& desc)
{
    std::string ppd = "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
                      "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n*PCFileName: \"KORDTEST.PPD\"\n"
                      "*Manufacturer: \"Kordane\"\n*Product: \"(Kordane Test)\"\n*ModelName: \"Kordane Test\"\n"
                      "*ShortNickName: \"Kordane Test\"\n*NickName: \"Kordane Test\"\n*PSVersion: \"(3010.000) 0\"\n"
                      "*LanguageLevel: \"3\"\n*ColorDevice: True\n*DefaultColorSpace: Gray\n*cupsVersion: 2.4\n"
                      "*cupsFilter: \"application/vnd.cups-raster 0 rastertoKordane\"\n";
    if (desc.modelNumber != 0)
        ppd += "*cupsModelNumber: " + std::to_string(desc.modelNumber) + "\n";
    for (const PpdOption& o : desc.options) {
        const std::string& k = o.keyword;
        ppd += "*OpenUI *" + k + "/" + k + ": PickOne\n*OrderDependency: 10 AnySetup *" + k + "\n";
        if (!o.defaultChoice.empty())
            ppd += "*Default" + k + ": " + o.defaultChoice + "\n";
        for (const std::string& choice : o.choices)
            ppd += "*" + k + " " + choice + "/" + choice + ": \"\"\n";
        ppd += "*CloseUI: *" + k + "\n";
    }
    return ppd;
}

std::string writePpd(const TempDir& dir, const PpdSpec& desc)
{
    for (int n = 1;; ++n)
        if (const std::string name = "printer-" + std::to_string(n) + ".ppd"; !std::filesystem::exists(dir.file(name)))
            return dir.write(name, ppdText(desc));
}

PpdSpec standardPpd(int model)
{
    auto upTo = [](int last) {
        std::vector<std::string> out;
        for (int i = 0; i <= last; ++i)
            out.push_back(std::to_string(i));
        return out;
    };
    const std::vector<std::string> pulses = {"1", "100", "200", "255", "600"};
    return {model,
            {{"PageSize", "1", {"1", "2", "56", "75", "94", "95", "100", "139"}}, {"PageType", "0", upTo(2)},
             {"Rotation", "0", upTo(3)}, {"FocusArea", "0", upTo(2)}, {"ColorModel", "1", upTo(2)},
             {"CompPrinting", "0", upTo(2)}, {"LogoPosition", "0", upTo(4)}, {"LogoJustification", "0", upTo(2)},
             {"LogoImage", "0", upTo(2)}, {"LogoWidth", "0", upTo(3)}, {"LineFeed", "0", upTo(5)},
             {"PageCut", "0", upTo(2)}, {"CashDrawer", "0", upTo(3)}, {"CashDrawerOpen", "0", upTo(2)},
             {"CashDrawer1PulseWidth", "100", pulses}, {"CashDrawer2PulseWidth", "200", pulses}}};
}

PpdSpec& setDefault(PpdSpec& desc, std::string_view keyword, std::string_view choice)
{
    auto o = std::find_if(desc.options.begin(), desc.options.end(), [&](auto& o) { return o.keyword == keyword; });
    if (o == desc.options.end())
        o = desc.options.insert(desc.options.end(), {std::string(keyword), "", {}});
    o->defaultChoice = choice;
    if (std::find(o->choices.begin(), o->choices.end(), choice) == o->choices.end())
        o->choices.emplace_back(choice);
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
