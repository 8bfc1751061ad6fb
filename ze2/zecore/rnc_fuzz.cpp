// Fuzz target: packed data. Even first bytes: the input is a packed file
// decoded into a separate buffer of its stated size; odd: the input is a
// file loaded in place by the loader into a buffer it says it needs.
#include "fuzz.h"
#include "zecore.h"
#include "zecore_local.h"

namespace {
uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
constexpr uint32_t MAX_OUT = 1 << 20;
}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  errmsg_disabled = 1;
  errmsg_to_console = 0;
  if (size < 19) return;
  uint8_t* d = const_cast<uint8_t*>(data);
  bool inPlace = d[17] & 1;
  d[0] = 'R';
  d[1] = 'N';
  d[2] = 'C';
  d[3] = 2;
  uint32_t unpacked = Be32(d + 4) % MAX_OUT;
  d[4] = uint8_t(unpacked >> 24);
  d[5] = uint8_t(unpacked >> 16);
  d[6] = uint8_t(unpacked >> 8);
  d[7] = uint8_t(unpacked);
  if (!inPlace) {
    // The decoder trusts its header's packed size: make it the input's.
    uint32_t packed = uint32_t(size - 18);
    d[8] = uint8_t(packed >> 24);
    d[9] = uint8_t(packed >> 16);
    d[10] = uint8_t(packed >> 8);
    d[11] = uint8_t(packed);
    auto* out = static_cast<uint8_t*>(EeMalloc(unpacked ? unpacked : 1));
    struct Free {
      uint8_t* p;
      ~Free() { EeFree(p); }
    } guard{out};
    ZePPUnpack(d, out);
    return;
  }
  int bufSize = int(unpacked + ZEPP_MARGIN + (d[12] & 15) * 64) - 16;
  auto* buf = static_cast<uint8_t*>(EeMalloc(size_t(bufSize)));
  struct Free {
    uint8_t* p;
    ~Free() { EeFree(p); }
  } guard{buf};
  ZEFILE f = ZeMemFileOpen(d, int(size), 0);
  ZePPLoadBuffer(f, buf, bufSize);
  ZePPGetSize(f);
  ZeFileClose(f);
}

void FuzzReset() {
  ZeFileReset();
  errmsg_trap = 0;
}
