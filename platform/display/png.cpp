// PNG files through libpng: snapshots written as compressed 8-bit RGB
// (libpng's simplified interface), pictures of any kind read as 8-bit RGBA.
#include "display/png.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "platform.h"

bool PngWrite(const char* path, const uint32_t* pixels, int width, int height) {
  if (width <= 0 || height <= 0) return false;
  std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
  for (size_t i = 0, n = size_t(width) * size_t(height); i < n; i++) {
    rgb[3 * i] = uint8_t(pixels[i]);
    rgb[3 * i + 1] = uint8_t(pixels[i] >> 8);
    rgb[3 * i + 2] = uint8_t(pixels[i] >> 16);
  }
  png_image image;
  memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = uint32_t(width);
  image.height = uint32_t(height);
  image.format = PNG_FORMAT_RGB;
  const bool ok = png_image_write_to_file(&image, path, 0, rgb.data(), 0, nullptr) != 0;
  png_image_free(&image);
  return ok;
}

namespace {

// What a read owns, kept by the caller so that libpng's long jump out of an
// error leaves nothing half-built on the stack.
struct PngReader {
  FILE* file = nullptr;
  const uint8_t* bytes = nullptr;  // or a picture in memory
  size_t size = 0, at = 0;
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::vector<uint8_t> rgba;
  std::vector<png_bytep> rows;
  std::string message;
};

[[noreturn]] void PngError(png_structp png, png_const_charp message) {
  static_cast<PngReader*>(png_get_error_ptr(png))->message = message;
  png_longjmp(png, 1);
}
void PngWarning(png_structp, png_const_charp) {}

void PngReadBytes(png_structp png, png_bytep out, size_t n) {
  auto* r = static_cast<PngReader*>(png_get_io_ptr(png));
  if (n > r->size - r->at) png_error(png, "the picture ends early");
  memcpy(out, r->bytes + r->at, n);
  r->at += n;
}

// Decodes r->file into r->rgba; false with r->message set.
bool PngDecode(PngReader* r, int maxSide, int* width, int* height) {
  if (setjmp(png_jmpbuf(r->png))) return false;
  if (r->file) png_init_io(r->png, r->file);
  else png_set_read_fn(r->png, r, PngReadBytes);
  png_read_info(r->png, r->info);
  const png_uint_32 w = png_get_image_width(r->png, r->info), h = png_get_image_height(r->png, r->info);
  if (w > png_uint_32(maxSide) || h > png_uint_32(maxSide)) {
    r->message = "size out of range (at most " + std::to_string(maxSide) + " pixels a side)";
    return false;
  }
  // Everything to 8-bit RGBA: 16-bit channels rounded, small depths and
  // palettes expanded, a transparency chunk made alpha, opaque otherwise.
  png_set_scale_16(r->png);
  png_set_packing(r->png);
  png_set_expand(r->png);
  png_set_gray_to_rgb(r->png);
  png_set_add_alpha(r->png, 0xff, PNG_FILLER_AFTER);
  png_set_interlace_handling(r->png);
  png_read_update_info(r->png, r->info);
  if (png_get_rowbytes(r->png, r->info) != size_t(w) * 4) png_error(r->png, "unexpected row layout");
  r->rgba.resize(size_t(w) * size_t(h) * 4);
  r->rows.resize(h);
  for (png_uint_32 y = 0; y < h; y++) r->rows[y] = &r->rgba[size_t(y) * size_t(w) * 4];
  png_read_image(r->png, r->rows.data());
  png_read_end(r->png, nullptr);
  *width = int(w);
  *height = int(h);
  return true;
}

// Decodes what r holds (a file or bytes) into pixels.
bool PngFinish(PngReader& r, int maxSide, std::vector<uint32_t>* pixels, int* width, int* height,
               std::string* error) {
  r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r, PngError, PngWarning);
  r.info = r.png ? png_create_info_struct(r.png) : nullptr;
  int w = 0, h = 0;
  const bool ok = r.info && PngDecode(&r, maxSide, &w, &h);
  png_destroy_read_struct(&r.png, &r.info, nullptr);
  if (!ok) {
    *error = r.message.empty() ? "out of memory" : r.message;
    return false;
  }
  *width = w;
  *height = h;
  pixels->resize(size_t(w) * size_t(h));
  for (size_t i = 0; i < pixels->size(); i++) {
    const uint8_t* p = &r.rgba[4 * i];
    (*pixels)[i] = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  }
  return true;
}

}  // namespace

bool PngRead(const char* path, int maxSide, std::vector<uint32_t>* pixels, int* width, int* height,
             std::string* error) {
  PngReader r;
  r.file = fopen(path, "rb");
  if (!r.file) {
    *error = strerror(errno);
    return false;
  }
  const bool ok = PngFinish(r, maxSide, pixels, width, height, error);
  fclose(r.file);
  return ok;
}

bool PngReadMemory(const uint8_t* bytes, size_t size, int maxSide, std::vector<uint32_t>* pixels, int* width,
                   int* height, std::string* error) {
  PngReader r;
  r.bytes = bytes;
  r.size = size;
  return PngFinish(r, maxSide, pixels, width, height, error);
}
