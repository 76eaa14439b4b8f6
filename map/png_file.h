#pragma once
// Map pictures as PNG files, through libpng.
#include <string>

#include "map/map_raster.h"

namespace tarvik {

// Whether the file (a native path) starts with the PNG signature.
bool IsPngFile(const std::string& path);

// Writes the picture as an 8-bit RGB PNG to the native path, whole: the file is made beside
// it and takes its place only once complete, so a failure leaves what was there. On failure
// `error` says why.
bool WritePng(const std::string& path, const MapImage& image, std::string& error);

}  // namespace tarvik
