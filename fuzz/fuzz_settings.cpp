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

using kordane::fuzz::ByteCursor;

constexpr const char* kOptions[] = {
    "PageSize",     "PageType",          "Rotation",  "FocusArea", "CompPrinting", "LogoPosition",
    "LogoJustification", "LogoImage",    "LogoWidth", "LineFeed",  "ColorModel",   "PageCut",
    "CashDrawer",   "CashDrawerOpen",    "CashDrawer1PulseWidth", "CashDrawer2PulseWidth",
};

constexpr const char* kKeywords[] = {
    "0", "1", "2", "3", "95", "100", "94", "-1", "-7", "+5", "007", "2147483647", "-2147483648",
    "2147483648", "4294967296", "99999999999999999999999", "abc", "1x", "x1", "0x10", "1e3", "1.5",
    "Letter", "600", "255", "",
};

constexpr const char* kModelNumbers[] = {
    "1", "13", "33", "42", "83", "105", "273", "0", "-1", "2", "999999", "4294967297", "abc", "",
};

[[noreturn]] void fail(const char* what, const char* option, int value)
{
    std::fprintf(stderr, "settings fault: %s (%s = %d)\n", what, option, value);
    std::abort();
}

std::string generatedPpd(ByteCursor& in)
{
    std::string ppd = "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
                      "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n"
                      "*PCFileName: \"FUZZ.PPD\"\n*Manufacturer: \"Kordane\"\n*Product: \"(Fuzz)\"\n"
                      "*ModelName: \"Fuzz\"\n*ShortNickName: \"Fuzz\"\n*NickName: \"Fuzz\"\n"
                      "*PSVersion: \"(3010.000) 0\"\n*ColorDevice: True\n*DefaultColorSpace: Gray\n"
                      "*FileSystem: False\n*LandscapeOrientation: Plus90\n*TTRasterizer: Type42\n";
    if (const std::uint8_t m = in.next(); m % 8 != 0)
        ppd += std::string("*cupsModelNumber: ") + in.pick(kModelNumbers) + "\n";
    for (const char* option : kOptions) {
        const std::uint8_t flags = in.next();
        if (flags & 1)
            continue; // option left out
        ppd += std::string("*OpenUI *") + option + "/" + option + ": PickOne\n";
        if (!(flags & 2))
            ppd += std::string("*Default") + option + ": " + in.pick(kKeywords) + "\n";
        const int choices = (flags >> 2) % 5;
        for (int i = 0; i < choices; ++i) {
            const char* keyword = in.pick(kKeywords);
            if (*keyword != '\0')
                ppd += std::string("*") + option + " " + keyword + "/" + keyword + ": \"\"\n";
        }
        ppd += std::string("*CloseUI: *") + option + "\n";
    }
    return ppd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kordane;
    ByteCursor in({data, size});
    std::string ppd;
    std::string options;
    if (in.next() & 1) {
        // Raw: PPD text, a 00 byte, the option string.
        const auto rest = in.rest();
        const std::string_view text(reinterpret_cast<const char*>(rest.data()), rest.size());
        const std::size_t cut = text.find('\0');
        ppd = text.substr(0, cut);
        if (cut != std::string_view::npos)
            options = text.substr(cut + 1);
    } else {
        ppd = generatedPpd(in);
        const auto rest = in.rest();
        options.assign(reinterpret_cast<const char*>(rest.data()), rest.size());
    }
    options = options.substr(0, options.find('\0'));

    fuzz::MemoryFile file({reinterpret_cast<const std::uint8_t*>(ppd.data()), ppd.size()});
    if (file.fd() < 0)
        return 0;
    PrintSettings s;
    PageState state;
    const SettingsResult result = initializeSettings(file.path().c_str(), options.c_str(), s, state);

    const ModelInfo* model = findModel(s.model_number);
    if ((result == SettingsResult::Supported) != (model != nullptr))
        fail("supported models and the model table disagree", "model", s.model_number);
    if (state.PrinterModel != s.model_number)
        fail("the page state holds another model", "model", state.PrinterModel);
    if (model == nullptr)
        return 0;
    if (model->options == OptionSet::MonoFixed) {
        if (s.ColorModel != 1)
            fail("a monochrome-only model is not monochrome", "ColorModel", s.ColorModel);
        if (s.PageCut != 0 || s.CashDrawer != 0 || s.CashDrawerOpen != 0 || s.CashDrawer1PulseWidth != 0 ||
            s.CashDrawer2PulseWidth != 0)
            fail("a model without cut or drawer read their options", "PageCut", s.PageCut);
    }
    if (model->options == OptionSet::DrawerOnly && (s.ColorModel != 0 || s.PageCut != 0))
        fail("a drawer-only model read colour or cut", "ColorModel", s.ColorModel);
    if (!model->compresses() && s.CompPrinting != 0)
        fail("a model without compression read CompPrinting", "CompPrinting", s.CompPrinting);
    if (model->isFixedFeed() && s.FocusArea != 0)
        fail("a fixed-feed model read FocusArea", "FocusArea", s.FocusArea);
    return 0;
}
