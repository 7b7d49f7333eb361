// Printing a text file: its bytes passed through unchanged, framed by the
// stored logo.
#pragma once

#include "core/input_source.h"
#include "core/model_table.h"
#include "core/print_settings.h"
#include "output/printer_stream.h"

namespace kordane {

// Copies every byte of the input to the printer between the logo blocks that
// LogoPosition asks for. Returns false when the input could not be read to
// its end (the copy stops there; the closing logo still goes out).
bool printText(InputSource& input, const PrintSettings& settings, const ModelInfo& model,
               PrinterStream& out);

} // namespace kordane
