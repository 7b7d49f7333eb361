// rastertoKordane: the last filter of a CUPS queue for the receipt and label
// printers of the family. See filter/job_control.h.
#include "filter/job_control.h"

int main(int argc, char* argv[]) { return kordane::runFilter(argc, argv); }
