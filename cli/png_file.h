// PNG writing for the command-line tool's charts.
#pragma once

#include <string>

#include "core/dib.h"
#include "core/result.h"

namespace fw::cli {

// Writes an 8-bit (grey) or 24-bit picture as a PNG, upright whatever its row order. The file
// is written under a temporary name and renamed when complete.
Result SavePng(const Dib& image, const std::string& path);

}  // namespace fw::cli
