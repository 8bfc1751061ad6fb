// Fuzz target: texture files. Byte 0 chooses the reader: a BMP file through
// the file reader (mip levels from byte 1; from the heap or from a caller's
// buffer), a BMP in memory (whose extent a caller checks first), native
// data in memory, or a ".pnt" file read into a caller's buffer. What a
// reader accepts goes into the texture table and is uploaded to the GS
// through VIF1, with its drawing state.
#include "zetex_fuzz.h"
#include "zeps2.h"

#include <cstring>
#include <string>
#include <utility>

namespace {

void Upload(ZETEXID id) {
  if (id <= 0) return;
  auto* chain = reinterpret_cast<uint32_t*>(FuzzEeCopy(nullptr, 0, 1024));
  gs_ptr = gs_top;
  uint32_t* p = ZeTexAccomodate(chain, id, 0);
  p = ZeTexSet(p, id, 0);
  vpDmaTag_End(p);
  VU1_DmaWrite(chain);
  vu1_dma_status = 0;  // the transfer ends inside the call; no handler runs here
  // A palette is rewritten in place.
  static const uint32_t colours[256] = {0x80ffffff};
  if (ZeTexType(id) >= ZETEX_PAL4 && ZeTexType(id) <= ZETEX_PAL8_SWZ) ZeTexPalChange(id, colours);
}

// A heap image made a texture; the image is the caller's to free.
void FromImage(ZETEX* img, bool heap) {
  if (!img) return;
  Upload(ZeTexCreate(img));
  if (heap) {
    ZeMemFree(img->texels.get());
    ZeMemFree(img);
  }
}

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  FuzzTexStart();
  if (size < 2) return;
  const int mode = data[0] & 7, option = data[1];
  const uint8_t* file = data + 2;
  const size_t bytes = size - 2;
  switch (mode) {
    case 0:
    case 1: {
      FuzzWriteFile("T.BMP", file, bytes);
      const int levels = option & 3;
      if (option & 4) {
        // A caller's buffer of a size the input chooses.
        const int room = (option >> 3) * 512;
        char* buf = reinterpret_cast<char*>(FuzzEeCopy(nullptr, 0, size_t(room)));
        char* cursor = buf;
        FromImage(ZeTexReadBitmapMMEx("@locT.BMP", levels, &cursor, buf + room), false);
      } else {
        FromImage(ZeTexReadBitmapMM("@locT.BMP", levels), true);
      }
      break;
    }
    case 2:
      if (FuzzBmpInside(file, bytes)) FromImage(ZeTexReadBitmapMem(FuzzEeCopy(file, bytes)), true);
      break;
    case 3:
    case 4:
      Upload(ZeTexCreateNativeEx(FuzzEeCopy(file, bytes), int(bytes)));
      break;
    default: {
      FuzzWriteFile("T.PNT", file, bytes);
      const int room = int(bytes) + (option & 0x7f) * 4 - 256;
      char* buf = reinterpret_cast<char*>(FuzzEeCopy(nullptr, 0, size_t(room > 0 ? room : 0) + 15));
      int used = 0;
      Upload(ZeTexReadNative("@locT.PNT", buf + (option >> 7), room, &used));
      break;
    }
  }
}

// Seeds: small BMP files of every bit count the readers take, for each
// BMP mode (native seeds come from textool).
void FuzzSeeds(const char* dir) {
  for (int bits : {4, 8, 24, 32}) {
    const int w = 6, h = 5, row = (w * bits + 31) / 32 * 4, pal = bits == 4 ? 64 : bits == 8 ? 1024 : 0;
    std::vector<uint8_t> bmp(size_t(54 + pal + row * h));
    auto put = [&](int at, uint32_t v, int n) {
      for (int i = 0; i < n; i++) bmp[size_t(at + i)] = uint8_t(v >> (8 * i));
    };
    bmp[0] = 'B', bmp[1] = 'M';
    put(2, uint32_t(bmp.size()), 4);
    put(10, uint32_t(54 + pal), 4);
    put(14, 40, 4);
    put(18, w, 4);
    put(22, h, 4);
    put(26, 1, 2);
    put(28, uint32_t(bits), 2);
    for (size_t i = 54; i < bmp.size(); i++) bmp[i] = uint8_t(i * 37);
    for (const auto& [mode, option] : {std::pair{0, 2}, std::pair{1, 4 | 20 << 3}, std::pair{2, 0}}) {
      std::vector<uint8_t> input{uint8_t(mode), uint8_t(option)};
      input.insert(input.end(), bmp.begin(), bmp.end());
      const std::string name = "bmp" + std::to_string(bits) + "-" + std::to_string(mode);
      FuzzWriteSeed(dir, name.c_str(), {input});
    }
  }
}

void FuzzReset() {
  // A fatal error inside a transfer leaves the channel and paths busy.
  sceDmaReset(1);
  sceGsResetPath();
  vu1_dma_status = 0;
  ZeTexClose();
  ZeFileReset();
  errmsg_trap = 0;
}
