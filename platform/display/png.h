// PNG files through libpng: the reader of pictures users bring (every colour
// type and bit depth, palettes, transparency chunks, interlace) and the
// reader of snapshots in tests. The writer, PngWrite, is declared with the
// snapshots in display.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The picture in the file as 0xAABBGGRR pixels, rows top to bottom: grey
// made RGB, palettes looked up, a transparency chunk made alpha (opaque
// without one), 16-bit channels rounded to 8 bits. Pictures wider or higher
// than maxSide are refused before anything is decoded. False with libpng's
// reason (the caller names the file).
bool PngRead(const char* path, int maxSide, std::vector<uint32_t>* pixels, int* width, int* height,
             std::string* error);
// The same from a picture's bytes in memory (a texture inside a model file).
bool PngReadMemory(const uint8_t* bytes, size_t size, int maxSide, std::vector<uint32_t>* pixels, int* width,
                   int* height, std::string* error);
