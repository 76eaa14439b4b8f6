#include "map/png_file.h"

#include <png.h>

#include <bit>
#include <cerrno>
#include <csetjmp>
#include <cstdio>

#include "core/platform.h"
#include "core/platform_files.h"

namespace tarvik {
namespace {

// Where libpng's bytes go and how it went.
struct Sink {
  platform::ReplacingFile* file;
  const std::atomic<std::uint32_t>* cancel;
  int err = 0;                   // of the file
  char message[256] = "libpng";  // of libpng
};

// libpng reports an error by a long jump: nothing with a destructor lives in this frame.
bool WriteRows(Sink* sink, const MapImage& image) {
  png_structp png = png_create_write_struct(
      PNG_LIBPNG_VER_STRING, sink,
      [](png_structp p, png_const_charp text) {
        std::snprintf(static_cast<Sink*>(png_get_error_ptr(p))->message, 256, "%s", text);
        png_longjmp(p, 1);
      },
      nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(
      png, sink,
      [](png_structp p, png_bytep data, png_size_t size) {
        auto* s = static_cast<Sink*>(png_get_io_ptr(p));
        if (s->err == 0) s->err = s->file->Write(data, size);
        if (s->err != 0) png_error(p, "write");
      },
      [](png_structp) {});
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.Width()),
               static_cast<png_uint_32>(image.Height()), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  // Pixels are 0xAARRGGBB words: in memory B, G, R, A on this machine's byte order, or
  // A, R, G, B on the other.
  if constexpr (std::endian::native == std::endian::little) {
    png_set_bgr(png);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
  } else {
    png_set_filler(png, 0, PNG_FILLER_BEFORE);
  }
  for (int y = 0; y < image.Height(); ++y) {
    if (sink->cancel && sink->cancel->load(std::memory_order_relaxed)) {
      sink->err = ECANCELED;
      png_error(png, "cancelled");
    }
    png_write_row(png, reinterpret_cast<png_const_bytep>(image.Row(y)));
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool IsPngFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  unsigned char head[8] = {};
  const bool png = std::fread(head, 1, 8, f) == 8 && png_sig_cmp(head, 0, 8) == 0;
  std::fclose(f);
  return png;
}

int WritePng(const std::string& path, const MapImage& image, const PngTarget& target,
             std::string& error) {
  platform::ReplacingFile file;
  file.CancelWith(target.cancel);
  int err = file.Open(path, target.replace);
  if (err == 0) {
    Sink sink{&file, target.cancel};
    if (!WriteRows(&sink, image)) {
      // The new file goes with `file`.
      err = sink.err ? sink.err : EIO;
      error = sink.err ? platform::ErrorText(sink.err) : sink.message;
      return err;
    }
    err = file.Commit();
  }
  if (err != 0) error = platform::ErrorText(err);
  return err;
}

}  // namespace tarvik
