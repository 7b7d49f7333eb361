// The job's print settings: the printer model from the PPD and the options
// the filter reads, with the job's own options applied over the PPD defaults.
#pragma once

#include "core/print_settings.h"

namespace kordane {

struct PageState;

// Result of reading the settings.
enum class SettingsResult : int {
    Supported = 0,   // the model is one the filter drives
    Unsupported = 1, // unknown model, or no PPD could be read
};

// Reads the PPD at `ppdPath` (nullptr: none given) and the job's option
// string into `settings`, and sets state.PrinterModel. Writes the model line
// for a supported model and an "ERROR:" line when the PPD is missing or
// unreadable.
SettingsResult initializeSettings(const char* ppdPath, const char* jobOptions,
                                  PrintSettings& settings, PageState& state);

} // namespace kordane
