// Job control: the start and end of the printer stream, cancel, and the
// filter's entry flow.
#pragma once

#include "output/printer_stream.h"

namespace kordane {

// Makes SIGTERM cancel the job, then initialises the printer (ESC @).
void jobSetup(PrinterStream& out);

// The whole filter: CUPS filter arguments in, exit status out. Printer bytes
// go to standard output, the job log to standard error, the PPD path comes
// from the PPD environment variable. The printer stream's buffer starts at
// `streamCapacity` bytes (a run in process, as under the fuzzer, takes a
// small one).
int runFilter(int argc, char* argv[], std::size_t streamCapacity = PrinterStream::kDefaultCapacity);

} // namespace kordane
