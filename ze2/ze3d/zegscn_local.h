// Scene modules' shared helpers: fatal errors the compiler knows do not
// return, and a reader that refuses to step outside the bytes it was given.
#pragma once

#include <cstring>

#include "ze3d.h"

// ZeError ends the program (tests unwind out of it).
#define GSCN_FATAL(...)            \
  do {                             \
    ZeError(__VA_ARGS__);          \
    __builtin_unreachable();       \
  } while (0)

constexpr int GscnBlkId(const char (&s)[5]) { return ZeBlkId(s[0], s[1], s[2], s[3]); }

// A cursor over one block body: every take past its end is a fatal error
// naming the block.
struct GscnRd {
  uint8_t* base;
  uint8_t* p;
  uint8_t* end;
  const char* block;

  uint8_t* Take(int64_t n) {
    if (n < 0 || n > end - p) GSCN_FATAL("GSC file damaged: %s block too short (%lld bytes wanted, %lld left)", block,
                                         static_cast<long long>(n), static_cast<long long>(end - p));
    uint8_t* r = p;
    p += n;
    return r;
  }
  int32_t I32() {
    int32_t v;
    memcpy(&v, Take(4), 4);
    return v;
  }
  float F32() {
    float v;
    memcpy(&v, Take(4), 4);
    return v;
  }
  // n records of T, which must lie on T's alignment.
  template <class T>
  T* Records(int64_t n) {
    if (n < 0) GSCN_FATAL("GSC file damaged: %s block has a count of %lld", block, static_cast<long long>(n));
    uint8_t* r = Take(n * int64_t(sizeof(T)));
    if (reinterpret_cast<uintptr_t>(r) % alignof(T))
      GSCN_FATAL("GSC file damaged: %s records not aligned", block);
    return reinterpret_cast<T*>(r);
  }
  int Pos() const { return int(p - base); }
};

// The pad of a geometry record written at file position pos: its packet
// data then starts on the next 128-byte boundary at least 16 bytes on.
constexpr int ZeGScnGeomPad(int pos) { return ((pos + 143) & ~(ZEGSCN_ALIGN - 1)) - (pos + 16); }
static_assert(ZeGScnGeomPad(1000) == 8);

// Intermediate-file helpers shared by the reader and the converter.
void ZeSceneReadPalette(uint8_t* palette, int entries);  // A, B, G, R to R, G, B, A, alpha halved
inline uint32_t ZeSceneSwapRB(uint32_t c) { return (c & 0xff00ff00u) | (c >> 16 & 0xff) | (c & 0xff) << 16; }

// The scene loader's buffer (zegscn): allocations behind the image, the
// temporary allocation from the top, the image of the load in progress.
void* ZeGScnBufferAllocAligned(int64_t size, int align);
void* GscnTempAlloc(int size, int align);
void GscnTempRelease(char* end);
char* GscnAllocEnd();
char* GscnImage();
int GscnImageSize();

// Block fix-ups (zegscnfix); the whole-scene checks once every block is in.
void GscnFixBlock(int id, GscnRd& rd, ZEGSCENE* scene, uint32_t* seen);
void GscnCheckScene(ZEGSCENE* scene);
// Texture animations and the animation library (zegscnanim).
void GscnFixTexAnims(GscnRd& rd, ZEGSCENE* scene);
void GscnFixAnimLib(GscnRd& rd, ZEGSCENE* scene);
// The library's animation of an index; null when the scene has no library
// or the slot is empty.
const ZEANIMDATA* GscnAnim(const ZEGSCENE* scene, int index);
float GscnAnimEnd(const ZEANIMDATA* anim);
void GscnPose(const ZEANIMDATA* anim, float frame, ZEMTX* out);
void GscnRemoveTexAnims(ZEGSCENE* scene);
// Spline records to headers and point copies from alloc (zegscnfix).
void GscnSplines(const uint8_t* data, int s, int n, ZEGSCENE* scene, ZESPLINE* headers, void* (*alloc)(int64_t));
// A name-table offset as the name's address; a fatal error outside the table.
char* GscnName(const ZEGSCENE* scene, uint32_t offset, const char* what, int index);

// Intermediate-file pieces the converter shares with the reader (zescene).
ZETEX* ZeSceneReadTxm(ZEFILE f);
void ZeSceneFreeTxm(ZETEX* img);
int ZeSceneReadTshCount(ZEFILE f);
void ZeSceneForEachTxm(ZEFILE f, int n, void (*each)(int, ZETEX*, void*), void* ctx);
// The intermediate animation library (zegscnanim).
void ZeSceneReadAnimLib(ZEFILE f, ZEGSCENE* scene);
void ZeSceneFreeAnimLib(ZEGSCENE* scene);
// The converter's animation library: the stream form in, self-relative
// images out (zegscnanim).
void GscnConvertAnimLib(ZEFILE in, ZEFILE out);
void ZeSceneFreeTexAnims(ZEGSCENE* scene);
