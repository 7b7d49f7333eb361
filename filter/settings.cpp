#include "filter/settings.h"

#include <cerrno>
#include <cstdlib>

// libcups marks its PPD interface as deprecated; it is still the interface
// CUPS drivers read their PPD through.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/cups.h>
#include <cups/ppd.h>

#include "core/log.h"
#include "core/model_table.h"
#include "core/page_state.h"

namespace kordane {

namespace {

// The number at the start of a choice keyword, read the way atoi reads it:
// leading blanks, an optional sign, digits; anything else gives 0. A number
// too large for 64 bits saturates, and the result keeps the low 32 bits.
std::int32_t keywordValue(const char* keyword)
{
    errno = 0;
    long long value = std::strtoll(keyword, nullptr, 10);
    return static_cast<std::int32_t>(value);
}

// The value of an option: the marked choice (a job option or the PPD's
// default), or -1 when the PPD has no such option or no such default choice.
std::int32_t getOptionChoiceIndex(const char* keyword, ppd_file_t* ppd)
{
    ppd_choice_t* choice = ppdFindMarkedChoice(ppd, keyword);
    if (choice == nullptr) {
        ppd_option_t* option = ppdFindOption(ppd, keyword);
        if (option == nullptr)
            return -1;
        choice = ppdFindChoice(option, option->defchoice);
        if (choice == nullptr)
            return -1;
    }
    return keywordValue(choice->choice);
}

void readSettings(ppd_file_t* ppd, PrintSettings& s)
{
    const ModelInfo* model = findModel(s.model_number);
    const OptionSet options = model ? model->options : OptionSet::All;

    s.PageSize = getOptionChoiceIndex("PageSize", ppd);
    s.PageType = getOptionChoiceIndex("PageType", ppd);
    s.Rotation = getOptionChoiceIndex("Rotation", ppd);
    if (!(model && model->isFixedFeed()))
        s.FocusArea = getOptionChoiceIndex("FocusArea", ppd);
    if (model && model->compresses())
        s.CompPrinting = getOptionChoiceIndex("CompPrinting", ppd);
    s.LogoPosition = getOptionChoiceIndex("LogoPosition", ppd);
    s.LogoJustification = getOptionChoiceIndex("LogoJustification", ppd);
    s.LogoImage = getOptionChoiceIndex("LogoImage", ppd);
    s.LogoWidth = getOptionChoiceIndex("LogoWidth", ppd);
    s.LineFeed = getOptionChoiceIndex("LineFeed", ppd);

    if (options == OptionSet::MonoFixed) {
        s.ColorModel = 1;
        return;
    }
    if (options == OptionSet::All) {
        s.ColorModel = getOptionChoiceIndex("ColorModel", ppd);
        s.PageCut = getOptionChoiceIndex("PageCut", ppd);
        s.JobEndCut = getOptionChoiceIndex("JobEndCut", ppd);
    }
    s.CashDrawer = getOptionChoiceIndex("CashDrawer", ppd);
    s.CashDrawerOpen = getOptionChoiceIndex("CashDrawerOpen", ppd);
    s.CashDrawer1PulseWidth = getOptionChoiceIndex("CashDrawer1PulseWidth", ppd);
    s.CashDrawer2PulseWidth = getOptionChoiceIndex("CashDrawer2PulseWidth", ppd);
}

} // namespace

SettingsResult initializeSettings(const char* ppdPath, const char* jobOptions,
                                  PrintSettings& settings, PageState& state)
{
    settings = PrintSettings{};
    state.PrinterModel = 0;

    if (ppdPath == nullptr || *ppdPath == '\0') {
        logLine("ERROR: No PPD file given: the PPD environment variable is not set\n");
        return SettingsResult::Unsupported;
    }
    ppd_file_t* ppd = ppdOpenFile(ppdPath);
    if (ppd == nullptr) {
        int line = 0;
        ppd_status_t status = ppdLastError(&line);
        logLine("ERROR: Unable to read the PPD file \"%s\": %s (line %d)\n", ppdPath,
                ppdErrorString(status), line);
        return SettingsResult::Unsupported;
    }
    ppdMarkDefaults(ppd);

    // Job options are marked over the defaults, so every lookup below sees
    // the job's choice where it made one.
    cups_option_t* options = nullptr;
    int count = cupsParseOptions(jobOptions ? jobOptions : "", 0, &options);
    if (count > 0)
        cupsMarkOptions(ppd, count, options);
    cupsFreeOptions(count, options);

    settings.model_number = ppd->model_number;
    state.PrinterModel = ppd->model_number;
    readSettings(ppd, settings);
    ppdClose(ppd);

    if (findModel(settings.model_number) == nullptr)
        return SettingsResult::Unsupported;
    logLine("TQ4 DEBUG MSG: The Printer Model is : %d\n", settings.model_number);
    return SettingsResult::Supported;
}

} // namespace kordane
