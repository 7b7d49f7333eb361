// The preview picture written as an 8-bit palette PNG.
#pragma once

#include <string>

#include "preview/render.h"

namespace kordane::preview {

// Writes `canvas` to `path`. Returns false with a message in `error`.
bool writePng(const std::string& path, const Canvas& canvas, std::string& error);

} // namespace kordane::preview
