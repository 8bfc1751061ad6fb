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

// ---- pictures users bring (textool, and the scene and model importers) ----

// The type textool makes without --type, and the importers' textures.
constexpr int TEXTOOL_DEFAULT_TYPE = ZETEX_RGBA32;
// The largest picture made into a texture, a side.
constexpr int TEXTOOL_MAX_SIDE = 4096;

// A picture's bytes: PNG (libpng, any kind) or JPEG (libjpeg-turbo, grey,
// RGB or CMYK), told apart by their signatures. False with the reason.
bool PictureDecode(const uint8_t* bytes, size_t size, RgbaImage* out, std::string* error);
// A picture file: BMP through the engine's reader, else as PictureDecode.
bool PictureRead(const std::string& path, RgbaImage* out, std::string* error);
// The picture with each side at the nearest power of two within 8-1024 (a
// tie goes up): shrunk by a box filter (each texel the area-weighted mean
// of the pixels it covers), enlarged bilinearly (pixel centres), alpha-
// weighted so that clear pixels lend no colour. Unchanged when it fits.
RgbaImage PictureFit(const RgbaImage& picture);
// A picture as a texture image of a scene or model: fitted, of textool's
// default type, one level.
ZETEX* TexFromPicture(const RgbaImage& picture, std::string* error);
