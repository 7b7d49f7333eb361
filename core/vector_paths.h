// Whether the bitmap and compression code may use the processor's vector
// instructions. Setting the environment variable KORDANE_PORTABLE to anything
// but "0" makes them take their plain loops instead: the loops that builds
// for processors without those instructions (ARM among them) always run, so
// that they can be tested and compared on any machine.
#pragma once

namespace kordane {

// Read once per process.
bool vectorPathsAllowed();

} // namespace kordane
