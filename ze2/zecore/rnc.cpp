// Packed files (RNC method 2): the loader that reads a packed file into the
// far end of the caller's buffer and unpacks it towards the start, and the
// decoder. The decoder checks every step against its input, its output and
// the unread input it may be overtaking, so a damaged file ends in a fatal
// error and never in a write outside the buffer.
#include "zecore.h"
#include "zecore_local.h"
#include "zeps2.h"

#include <cstring>

namespace {

constexpr int HEADER = int(sizeof(ZEPPHEADER));
constexpr int TAIL_GAP = 4;  // the stream's end stays ZEPP_MARGIN - TAIL_GAP bytes past the output

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

[[noreturn]] void Damaged(const char* what) {
  ZeError("ZePPUnpack - damaged packed data: %s", what);
  KernelHalt();  // not reached: a fatal error does not return
}

uintptr_t A(const void* p) { return reinterpret_cast<uintptr_t>(p); }

// Decodes the stream [in, inEnd) into [out, outEnd); returns the bytes
// written. Input and output may share a buffer: a write that would reach
// input not yet read is damage.
int Decode(const uint8_t* in, const uint8_t* inEnd, uint8_t* out, uint8_t* outEnd) {
  const uint8_t* i = in;
  uint8_t* o = out;
  uint32_t reg = 0;
  int left = 0;

  auto needInput = [&](size_t n) {
    if (size_t(inEnd - i) < n) Damaged("the stream ends early");
  };
  auto bit = [&]() -> int {
    if (left == 0) {
      needInput(1);
      reg = *i++;
      left = 8;
    }
    left--;
    return int(reg >> left) & 1;
  };
  auto byte = [&]() -> int {
    needInput(1);
    return *i++;
  };
  // A write of n bytes at o: inside the output, and not over unread input
  // (for literals the byte is read before it is written, so o == i is fine).
  auto checkWrite = [&](size_t n, uintptr_t unread) {
    if (size_t(outEnd - o) < n) Damaged("the output overflows");
    if (A(o) + n > unread && A(o) < A(inEnd)) Damaged("the output overtakes the input");
  };
  auto offset = [&]() -> int {
    int high = 0;
    if (bit()) {
      high = bit();
      if (bit()) {
        high = (high * 2 + bit()) | 4;
        if (!bit()) high = high * 2 + bit();
      } else if (high == 0) {
        high = bit() + 2;
      }
    }
    return high * 256 + byte() + 1;
  };

  needInput(1);
  reg = *i++;
  left = 6;  // the first two bits carry nothing
  for (;;) {
    if (!bit()) {
      needInput(1);
      checkWrite(1, A(i) + 1);
      *o++ = *i++;
      continue;
    }
    int count, dist;
    if (!bit()) {
      count = 4 + bit();
      if (bit()) count = (count - 1) * 2 + bit();
      if (count == 9) {
        int n = bit();
        n = n * 2 + bit();
        n = n * 2 + bit();
        n = n * 2 + bit();
        size_t run = size_t(n) * 4 + 12;
        needInput(run);
        checkWrite(run, A(i) + run);
        memmove(o, i, run);
        o += run;
        i += run;
        continue;
      }
      dist = offset();
    } else if (!bit()) {
      count = 2;
      dist = byte() + 1;
    } else if (!bit()) {
      count = 3;
      dist = offset();
    } else {
      int b = byte();
      if (b == 0) {
        if (bit()) continue;  // the next chunk follows
        break;
      }
      count = b + 8;
      dist = offset();
    }
    if (dist > o - out) Damaged("a copy reaches before the output");
    checkWrite(size_t(count), A(i));
    const uint8_t* s = o - dist;
    if (dist >= count) {
      memcpy(o, s, size_t(count));
    } else {
      for (int k = 0; k < count; k++) o[k] = s[k];  // repeats the recent output
    }
    o += count;
  }
  return int(o - out);
}

// Seeks to pos and reads count bytes, retrying both after a platform
// failure a bounded number of times; the bytes read.
int SeekRead(ZEFILE file, int pos, void* dst, int count, const char* seekMsg, const char* readMsg) {
  for (int tries = 1;; tries++) {
    ZeFileSeekRetry(file, pos, SCE_SEEK_SET, seekMsg);
    int n = ZeFileRead(file, dst, count);
    if (n >= 0) return n;
    ZeDebugMsg(readMsg, n);
    if (tries == ZEFILE_RETRIES) ZeError("ZePPLoadBuffer - read failed %d times (%d)", tries, n);
  }
}

}  // namespace

void ZePPCheckHeader(const void* header, int stored, int unpacked, const char* what) {
  const uint8_t* h = static_cast<const uint8_t*>(header);
  if (Le32(h) != uint32_t(ZEPP_MAGIC) || Be32(h + 4) != uint32_t(unpacked) ||
      int64_t(Be32(h + 8)) + HEADER != stored)
    ZeError("%s: damaged packed data (header)", what);
}

int ZePPUnpack(const void* header, void* output) {
  const uint8_t* h = static_cast<const uint8_t*>(header);
  uint32_t unpacked = Be32(h + 4), packed = Be32(h + 8);
  if (unpacked > 0x7fffffffu || packed > 0x7fffffffu) Damaged("sizes out of range");
  uint8_t* out = static_cast<uint8_t*>(output);
  int n = Decode(h + HEADER, h + HEADER + packed, out, out + unpacked);
  if (uint32_t(n) != unpacked) ZeError("ZePPUnpack - damaged packed data: %d of %u bytes", n, unpacked);
  return 0;
}

int ZePPLoad(ZEFILE file, void* buffer, int size, int fatal) {
  uint8_t hdr[12] = {};
  int got = SeekRead(file, 0, hdr, 12, "ZePPLoadBuffer1 - recoverable seek failure, retrying",
                     "ZePPLoadBuffer2 - recoverable read failure, retrying");
  uint8_t* buf = static_cast<uint8_t*>(buffer);
  if (got >= 4 && Le32(hdr) == uint32_t(ZEPP_MAGIC)) {
    int64_t u = Be32(hdr + 4), t = int64_t(Be32(hdr + 8)) + HEADER;
    if (got < 12 || u > 0x7fffffff || t > ZeFileOpenSize(file))
      ZeError("ZePPLoadBuffer - damaged packed file (header %d bytes, unpacked %d, packed file %d of %d bytes)", got,
              int(u), int(t > 0x7fffffff ? -1 : t), ZeFileOpenSize(file));
    // The header's byte 4 goes to buffer + U + 256 - T, so the stream ends
    // 252 bytes past the output; a file larger than that starts at the
    // buffer itself.
    int64_t at = u + ZEPP_MARGIN - t;
    if (at < 0) at = 0;
    int64_t need = u + ZEPP_MARGIN - TAIL_GAP > at + t - 4 ? u + ZEPP_MARGIN - TAIL_GAP : at + t - 4;
    if (need > size) {
      if (!fatal) return -1;
      ZeError("given buffer (%d) too small for (%d)", size, int(need));
    }
    timeUserReset();
    int n;
    for (int tries = 1;; tries++) {
      ZeDebugMsg("Seeking");
      ZeFileSeekRetry(file, 4, SCE_SEEK_SET, "ZePPLoadBuffer3 - recoverable seek failure, retrying");
      ZeDebugMsg("Reading");
      n = ZeFileRead(file, buf + at, int(t - 4));
      if (n >= 0) break;
      ZeDebugMsg("ZePPLoadBuffer4 - recoverable read failure, retrying (err%d)", n);
      if (tries == ZEFILE_RETRIES) ZeError("ZePPLoadBuffer - read failed %d times (%d)", tries, n);
    }
    if (n != t - 4) ZeError("ZePPLoadBuffer - packed file truncated (%d of %d bytes)", n + 4, int(t));
    int out = Decode(buf + at + HEADER - 4, buf + at + t - 4, buf, buf + u);
    if (out != u) ZeError("ZePPUnpack - damaged packed data: %d of %d bytes", out, int(u));
    ZeDebugMsg("Loaded %d bytes and unpacked to %d bytes in %d ticks", int(t), int(u), timeUserRead());
    return int(u);
  }
  int fileSize = ZeFileOpenSize(file);
  if (fileSize > size) {
    if (!fatal) return -1;
    ZeError("given buffer (%d) too small for (%d)", size, fileSize);
  }
  return SeekRead(file, 0, buf, fileSize, "ZePPLoadBuffer5 - recoverable seek failure, retrying",
                  "ZePPLoadBuffer6 - recoverable read failure, retrying");
}

int ZePPLoadBuffer(ZEFILE file, void* buffer, int size) { return ZePPLoad(file, buffer, size, 1); }

int ZePPGetSize(ZEFILE file) {
  int pos = ZeFilePos(file);
  uint8_t hdr[12] = {};
  int got = SeekRead(file, 0, hdr, 12, "ZePPGetSize - recoverable seek failure, retrying",
                     "ZePPGetSize - recoverable read failure, retrying");
  int size = got >= 12 && Le32(hdr) == uint32_t(ZEPP_MAGIC) ? int(Be32(hdr + 4) & 0x7fffffff) : ZeFileOpenSize(file);
  ZeFileSeekRetry(file, pos, SCE_SEEK_SET, "ZePPGetSize - recoverable seek failure, retrying");
  return size;
}
