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

std::string ppdText(int model, const PpdDefaults& defaults)
{
    struct Option {
        std::string keyword, choice;
        std::vector<std::string> choices;
    };
    const auto upTo = [](int last) {
        std::vector<std::string> out;
        for (int i = 0; i <= last; ++i)
            out.push_back(std::to_string(i));
        return out;
    };
    const std::vector<std::string> pulses = {"1", "100", "200", "255", "600"};
    std::vector<Option> options = {
        {"PageSize", "1", {"1", "2", "56", "75", "94", "95", "100", "139"}}, {"PageType", "0", upTo(2)},
        {"Rotation", "0", upTo(3)}, {"FocusArea", "0", upTo(2)}, {"ColorModel", "1", upTo(2)},
        {"CompPrinting", "0", upTo(2)}, {"LogoPosition", "0", upTo(4)}, {"LogoJustification", "0", upTo(2)},
        {"LogoImage", "0", upTo(2)}, {"LogoWidth", "0", upTo(3)}, {"LineFeed", "0", upTo(5)},
        {"PageCut", "0", upTo(2)}, {"CashDrawer", "0", upTo(3)}, {"CashDrawerOpen", "0", upTo(2)},
        {"CashDrawer1PulseWidth", "100", pulses}, {"CashDrawer2PulseWidth", "200", pulses}};
    for (const auto& [keyword, choice] : defaults) {
        auto o = std::find_if(options.begin(), options.end(), [&k = keyword](const Option& o) { return o.keyword == k; });
        if (choice.empty()) {
            if (o != options.end())
                options.erase(o);
            continue;
        }
        if (o == options.end())
            o = options.insert(options.end(), {keyword, "", {}});
        o->choice = choice;
        if (std::find(o->choices.begin(), o->choices.end(), choice) == o->choices.end())
            o->choices.push_back(choice);
    }
    std::string ppd = "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
                      "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n*PCFileName: \"KORDTEST.PPD\"\n"
                      "*Manufacturer: \"Kordane\"\n*Product: \"(Kordane Test)\"\n*ModelName: \"Kordane Test\"\n"
                      "*ShortNickName: \"Kordane Test\"\n*NickName: \"Kordane Test\"\n*PSVersion: \"(3010.000) 0\"\n"
                      "*LanguageLevel: \"3\"\n*ColorDevice: True\n*DefaultColorSpace: Gray\n*cupsVersion: 2.4\n"
                      "*cupsFilter: \"application/vnd.cups-raster 0 rastertoKordane\"\n";
    if (model != 0)
        ppd += "*cupsModelNumber: " + std::to_string(model) + "\n";
    for (const auto& [k, choice, choices] : options) {
        ppd += "*OpenUI *" + k + "/" + k + ": PickOne\n*OrderDependency: 10 AnySetup *" + k + "\n*Default" + k + ": " +
               choice + "\n";
        for (const std::string& c : choices)
            ppd += "*" + k + " " + c + "/" + c + ": \"\"\n";
        ppd += "*CloseUI: *" + k + "\n";
    }
    return ppd;
}

std::string writePpd(const TempDir& dir, int model, const PpdDefaults& defaults)
{
    for (int n = 1;; ++n)
        if (const std::string name = "printer-" + std::to_string(n) + ".ppd"; !std::filesystem::exists(dir.file(name)))
            return dir.write(name, ppdText(model, defaults));
}

} // namespace kordane::test
