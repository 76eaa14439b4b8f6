#pragma once
// Map pictures as PNG files, through libpng.
#include <atomic>
#include <cstdint>
#include <string>

#include "map/map_raster.h"

namespace tarvik {

// Whether the file (a native path) starts with the PNG signature.
bool IsPngFile(const std::string& path);

// How a picture is written: whether it may replace a file, and a flag that cancels it.
struct PngTarget {
  bool replace = false;  // else a file there (now or by the end) stays and the write fails
  const std::atomic<std::uint32_t>* cancel = nullptr;  // once non-zero: stop, keep nothing
};

// Writes the picture as an 8-bit RGB PNG to the native path, whole, as the export writes its
// file (platform::ReplacingFile): made beside it, taking its place only once complete, so a
// failure or a cancel leaves what was there and no temporary; a device or pipe is written as
// it is. 0 on success, else the reason (EEXIST: the name was taken and not to be replaced,
// ECANCELED), with `error` saying it in words.
int WritePng(const std::string& path, const MapImage& image, const PngTarget& target,
             std::string& error);

}  // namespace tarvik
