// The texture tool's conversions, shared with the tests that make their
// textures with it: pictures in, images of every texture type out, and
// textures read back through the GS model. PNG files are read and written
// through libpng (display/png.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ze3d.h"

// A picture of 0xAABBGGRR pixels, rows top to bottom.
struct RgbaImage {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
};

// An image as the BMP readers make it (types 2-5, one level) as a picture;
// false for other types. A palette's fourth bytes are alpha (0x80 opaque)
// unless all are 0 (opaque).
bool ImageToRgba(const ZETEX* image, RgbaImage* out);

// An image of the type (ZETEX_RGB16 ... ZETEX_PAL8_SWZ) in EE memory, with
// `levels` box-filtered levels. Palettised types take the picture's colours,
// fewer bits of each channel while there are too many. The rearranged types
// need sizes the rearrangement takes (error otherwise). Null with the reason.
ZETEX* TexFromRgba(const RgbaImage& picture, int type, int levels, std::string* error);

// A level of a live texture as the GS model holds it after an upload:
// uploaded through VIF1 and read back in its sampling format with its CLUT.
bool TexToRgba(ZETEXID id, int level, RgbaImage* out, std::string* error);

// A picture of 16 colours in 4 x 4 blocks whose channels survive 16-bit
// texels (0x00, 0x40, 0x80, 0xc0, 0xf8).
RgbaImage TestPattern(int width, int height);
