// The settings reader: a PPD (built from the fuzzer's choices of model
// number, options, default and choice keywords, or taken raw) and a job
// option string go through libcups into the settings record. Whatever the
// text, the reader must not fail, and the record must keep the shape the
// model gives it: options a model does not read stay 0.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/model_table.h"
#include "filter/settings.h"
#include "fuzz/fuzz_input.h"
#include "core/page_state.h"

namespace {

constexpr const char* kOptions[] = {
    "PageSize",  "PageType", "Rotation",   "FocusArea", "CompPrinting", "LogoPosition",          "LogoJustification",
    "LogoImage", "LogoWidth", "LineFeed", "ColorModel", "PageCut",      "CashDrawer",            "CashDrawerOpen",
    "CashDrawer1PulseWidth", "CashDrawer2PulseWidth",
};
constexpr const char* kKeywords[] = {
    "0", "1", "2", "3", "95", "100", "94", "-1", "-7", "+5", "007", "2147483647", "-2147483648", "2147483648",
    "4294967296", "99999999999999999999999", "abc", "1x", "x1", "0x10", "1e3", "1.5", "Letter", "600", "255", "",
};
constexpr const char* kModelNumbers[] = {"1", "13", "33", "42", "83", "105", "273", "0", "-1", "2", "999999", "4294967297",
                                         "abc", ""};

std::string generatedPpd(kordane::fuzz::ByteCursor& in)
{
    std::string ppd = "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n*LanguageVersion: English\n"
                      "*LanguageEncoding: ISOLatin1\n*PCFileName: \"FUZZ.PPD\"\n*Manufacturer: \"Kordane\"\n"
                      "*Product: \"(Fuzz)\"\n*ModelName: \"Fuzz\"\n*ShortNickName: \"Fuzz\"\n*NickName: \"Fuzz\"\n"
                      "*PSVersion: \"(3010.000) 0\"\n*ColorDevice: True\n*DefaultColorSpace: Gray\n*FileSystem: False\n"
                      "*LandscapeOrientation: Plus90\n*TTRasterizer: Type42\n";
    if (in.next() % 8 != 0)
        ppd += std::string("*cupsModelNumber: ") + in.pick(kModelNumbers) + "\n";
    for (const std::string option : kOptions) {
        const std::uint8_t flags = in.next();
        if (flags & 1)
            continue; // left out
        ppd += "*OpenUI *" + option + "/" + option + ": PickOne\n";
        if (!(flags & 2))
            ppd += "*Default" + option + ": " + in.pick(kKeywords) + "\n";
        for (int i = 0; i < (flags >> 2) % 5; ++i)
            if (const std::string keyword = in.pick(kKeywords); !keyword.empty())
                ppd += "*" + option + " " + keyword + "/" + keyword + ": \"\"\n";
        ppd += "*CloseUI: *" + option + "\n";
    }
    return ppd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kordane;
    fuzz::ByteCursor in({data, size});
    std::string ppd, options;
    if (in.next() & 1) {
        // Raw: PPD text, a 00 byte, the option string.
        const std::string_view text(reinterpret_cast<const char*>(in.rest().data()), in.rest().size());
        ppd = text.substr(0, text.find('\0'));
        if (ppd.size() < text.size())
            options = text.substr(ppd.size() + 1);
    } else {
        ppd = generatedPpd(in);
        options.assign(reinterpret_cast<const char*>(in.rest().data()), in.rest().size());
    }
    options = options.substr(0, options.find('\0'));

    fuzz::MemoryFile file({reinterpret_cast<const std::uint8_t*>(ppd.data()), ppd.size()});
    if (file.fd() < 0)
        return 0;
    PrintSettings s;
    PageState state;
    const bool supported = initializeSettings(file.path().c_str(), options.c_str(), s, state) == SettingsResult::Supported;
    const ModelInfo* m = findModel(s.model_number);
    const char* fault = nullptr;
    if (supported != (m != nullptr) || state.PrinterModel != s.model_number)
        fault = "the supported models, the table and the page state disagree";
    else if (m && m->options == OptionSet::MonoFixed &&
             (s.ColorModel != 1 || s.PageCut || s.JobEndCut || s.CashDrawer || s.CashDrawerOpen || s.CashDrawer1PulseWidth ||
              s.CashDrawer2PulseWidth))
        fault = "a monochrome model without cut or drawer read colour, cut or drawer";
    else if (m && m->options == OptionSet::DrawerOnly && (s.ColorModel != 0 || s.PageCut != 0 || s.JobEndCut != 0))
        fault = "a drawer-only model read colour or cut";
    else if (m && ((!m->compresses() && s.CompPrinting != 0) || (m->isFixedFeed() && s.FocusArea != 0)))
        fault = "a model read CompPrinting or FocusArea it has no use for";
    if (fault) {
        std::fprintf(stderr, "settings fault for model %d: %s\n", s.model_number, fault);
        std::abort();
    }
    return 0;
}
