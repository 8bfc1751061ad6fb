// The check program's snapshots read back for the picture tests: a PNG file
// as 0x00BBGGRR pixels (empty when it cannot be read).
#pragma once

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

struct Png {
  int w = 0, h = 0;
  std::vector<uint32_t> px;  // 0x00BBGGRR
  uint32_t at(int x, int y) const { return px[size_t(y) * size_t(w) + size_t(x)]; }
};

inline Png Read(const std::string& path) {
  Png p;
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str())) return p;
  img.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> bytes(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, bytes.data(), 0, nullptr)) return p;
  p.w = int(img.width), p.h = int(img.height);
  for (size_t i = 0; i < bytes.size(); i += 4)
    p.px.push_back(uint32_t(bytes[i]) | uint32_t(bytes[i + 1]) << 8 | uint32_t(bytes[i + 2]) << 16);
  return p;
}
