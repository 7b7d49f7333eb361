// The printer application's drivers: one per model of the model table, each
// describing what the model can do, and the job's print settings taken from
// the printer's settings and the job's options.
#pragma once

#include <pappl/pappl.h>

#include <span>

#include "core/model_table.h"
#include "core/print_settings.h"

namespace kordane::app {

// kordane_NNN for every model, in the model table's order.
std::span<pappl_pr_driver_t> drivers();

// The model a driver name stands for, or nullptr.
const ModelInfo* modelForDriver(const char* driverName);

// Fills in the driver data and the vendor attributes of a new printer.
bool setUpDriver(pappl_system_t* system, const char* driverName, const char* deviceUri, const char* deviceId,
                 pappl_pr_driver_data_t* data, ipp_t** attributes, void* context);

// Roll widths and the dots printed across them.
constexpr int kWideRoll = 8000;   // hundredths of a millimetre
constexpr int kNarrowRoll = 5800;
constexpr unsigned kWideRollDots = 576;
constexpr unsigned kNarrowRollDots = 384;
unsigned printableDots(const pappl_media_col_t& media);

// The settings a job prints with: the vendor attributes (the job's, else
// the printer's defaults in `printerAttributes`), the media and whether the
// job prints in two colours.
PrintSettings jobSettings(const ModelInfo& model, const pappl_pr_options_t& options, ipp_t* printerAttributes,
                          bool twoColours);

} // namespace kordane::app
