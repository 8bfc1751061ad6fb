// Object drawing's tests: a renderer started as the program starts it, and
// small objects built through the packet layouts the converters write
// (meshes, sprites, Bezier triangles, skins), until the converters exist.
#pragma once

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "ze3d_test.h"

struct ObjDraw : testing::Test {
  void SetUp() override {
    StartRenderer(&texBuf, &mtlBuf, 64);
    Camera(0);
  }
  void TearDown() override {
    for (void* b : blocks) ZeMemFree(b);
    zerndr_forced_mtl = nullptr;
    zerndr_forced_mtl_table = nullptr;
    geom_mtl_dbg = nullptr;
    skinskipix = -1;
    skindebug_skip_data_cnt = 0;
    testforcepart = nullptr;
    testclipspeed = debuggrass = debugpart = 0;
    zerndr_burst = {};
    StopRenderer(texBuf, mtlBuf);
  }
  // A camera 10 back from the origin looking along +z, turned by yaw.
  void Camera(ZEANG yaw) {
    ZECAMERA* cam = ZeCameraCreate();
    const float a = float(yaw) * 6.28318531f / 65536.0f;
    cam->mtx.m[0][0] = std::cos(a), cam->mtx.m[0][2] = -std::sin(a);
    cam->mtx.m[2][0] = std::sin(a), cam->mtx.m[2][2] = std::cos(a);
    cam->mtx.m[3][0] = -10.0f * std::sin(a);
    cam->mtx.m[3][2] = -10.0f * std::cos(a);
    ZeCameraSet(cam);
    ZeCameraDestroy(cam);
  }
  template <class T>
  T* Block(size_t bytes) {
    void* b = ZeMemAlloc(int(bytes + 16));
    memset(b, 0, bytes + 16);
    blocks.push_back(b);
    return static_cast<T*>(b);
  }
  ZEMTL* Material(int lighting, bool vtxcol, float r = 1, float g = 1, float b = 1) {
    ZEMTL* m = ZeMtlCreate(1);
    m->attributes = (m->attributes & ~(3u << ZEMTLATTR_LIGHTING)) | uint32_t(lighting) << ZEMTLATTR_LIGHTING;
    if (vtxcol) m->attributes |= 1u << ZEMTLATTR_VTXCOL;
    m->diffuse[0] = r, m->diffuse[1] = g, m->diffuse[2] = b;
    m->alpha = 1.0f;
    ZeMtlUpdate(m);
    return m;
  }
  // A frame: begin, clear, draw, end, kick; the back buffer it drew into.
  template <class F>
  uint64_t Frame(F draw, uint32_t clear = 0x00202020) {
    uint64_t frame;
    ZePs2GetCurrentBackBuffer(&frame);
    ZeRndrBeginScene(-1);
    ZeRndrClear(0x700, clear, 1.0f);
    draw();
    ZeRndrEndScene();
    ZePs2ScreenSwap(1);
    ZeRndrVu1Draw();
    KernelYield();
    ZeRndrSwapStreamBuffers();
    return frame;
  }
  char* texBuf = nullptr;
  char* mtlBuf = nullptr;
  std::vector<void*> blocks;
};

// ---- pictures ----------------------------------------------------------------

// A crop of the frame drawn into (0xBBGGRR pixels), written as a PNG into
// the build directory for a person to look at.
struct Picture {
  int x0, y0, w, h;
  std::vector<uint32_t> px;
  uint32_t at(int x, int y) const { return px[size_t((y - y0) * w + (x - x0))] & 0xffffff; }
  int Count(uint32_t colour) const {
    int n = 0;
    for (uint32_t p : px) n += (p & 0xffffff) == colour;
    return n;
  }
};
inline Picture Grab(uint64_t frame, int x0, int y0, int w, int h, const char* name) {
  Picture pic{x0, y0, w, h, {}};
  const uint32_t fbp = uint32_t(frame & 0x1ff) * 32, fbw = uint32_t(frame >> 16 & 0x3f);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) pic.px.push_back(GsMemReadPixel(PSMCT32, fbp, fbw, x0 + x, y0 + y) | 0xff000000u);
  PngWrite((std::string(ZE_PICTURE_DIR "/") + name + ".png").c_str(), pic.px.data(), w, h);
  return pic;
}

// ---- packets as the converters write them -------------------------------------

inline uint32_t FBits(float f) {
  uint32_t w;
  memcpy(&w, &f, 4);
  return w;
}
inline float BitsF(uint32_t w) {
  float f;
  memcpy(&f, &w, 4);
  return f;
}
inline int16_t Fix12(float f) { return int16_t(int32_t(f * 4096.0f)); }

// A writer of words into EE memory.
struct Words {
  uint32_t* p;
  void w(uint32_t v) { *p++ = v; }
  void f(float v) { w(FBits(v)); }
  void h2(int a, int b) { w((uint32_t(a) & 0xffff) | uint32_t(b) << 16); }
  void q(uint32_t a, uint32_t b, uint32_t c, uint32_t d) { w(a), w(b), w(c), w(d); }
};

// The position compression of a box: span magic and middle per axis.
struct Compression {
  float span[3], mid[3];
};
inline Compression CompressionOf(const ZEVEC& mn, const ZEVEC& mx) {
  Compression c;
  const float lo[3] = {mn.x, mn.y, mn.z}, hi[3] = {mx.x, mx.y, mx.z};
  for (int i = 0; i < 3; i++) {
    c.span[i] = BitsF((FBits(hi[i] - lo[i]) & 0x7f800000u) + 0x05008000u);
    c.mid[i] = (lo[i] + hi[i]) * 0.5f;
  }
  return c;
}

// A mesh packet of an indexed triangle list (vertices in triangle order),
// batches of 42, ended by a ret tag: the converter's layout, lit (float
// positions, normals) or unlit compressed (16-bit positions, u and v only).
inline uint32_t* MeshPacket(uint32_t* at, const std::vector<ZEVTX>& v, const Compression* comp) {
  uint32_t* tag = at;
  Words o{vpDmaTag_Cnt(at)};
  tag[0] |= 5u << 16;
  if (comp) o.w(0x30000000), o.f(comp->span[0]), o.f(comp->span[1]), o.f(comp->span[2]), o.w(0);
  o.w(0x6C010056), o.q(0x00008000, 0x3002C000, 0x512, 0);
  for (size_t done = 0; done < v.size();) {
    const int n = int(v.size() - done < 42 ? v.size() - done : 42);
    o.w(0x6C0180D2), o.q(0x8000u + uint32_t(n), 0x30024000, 0x512, 0);
    if (comp) {
      o.w(0x6C018002), o.w(uint32_t(3 * n));
      for (int i = 0; i < 3; i++) o.f(comp->span[i] - comp->mid[i]);
    } else {
      o.w(0x6D018002), o.h2(3 * n, 0), o.h2(0, 0);
    }
    o.w(0x01000103);
    if (comp) {
      o.w(0x05000001), o.w(0x6D008003 + (uint32_t(n) << 16));
      for (int i = 0; i < n; i++) {
        const ZEVTX& x = v[done + size_t(i)];
        const float p[3] = {x.pos.x, x.pos.y, x.pos.z};
        int d[3];
        for (int k = 0; k < 3; k++) {
          const float s = comp->span[k] + (p[k] - comp->mid[k]);
          d[k] = int(int32_t(FBits(s)) - int32_t(FBits(comp->span[k])));
        }
        const int flags = i % 3 < 2 ? 0x8001 : 0;
        o.h2(d[0], d[1]), o.h2(d[2], flags);
      }
      o.w(0x05000000);
      o.w(0x65008004 + (uint32_t(n) << 16));
      for (int i = 0; i < n; i++) o.h2(Fix12(v[done + size_t(i)].u), Fix12(v[done + size_t(i)].v));
    } else {
      o.w(0x6C008003 + (uint32_t(n) << 16));
      for (int i = 0; i < n; i++) {
        const ZEVTX& x = v[done + size_t(i)];
        o.f(x.pos.x), o.f(x.pos.y), o.f(x.pos.z);
        o.w((FBits(x.normal.x) & 0xffff0000u) | (i % 3 < 2 ? 0x8001u : 0u));
      }
      o.w(0x6D008004 + (uint32_t(n) << 16));
      for (int i = 0; i < n; i++) {
        const ZEVTX& x = v[done + size_t(i)];
        o.h2(Fix12(x.u), Fix12(x.v)), o.h2(Fix12(x.normal.y), Fix12(x.normal.z));
      }
    }
    o.w(0x6E00C005 + (uint32_t(n) << 16));
    for (int i = 0; i < n; i++) o.w(v[done + size_t(i)].colour);
    o.w(0x01000101), o.w(0x14000300);
    done += size_t(n);
  }
  uint32_t* end = vpDmaTag_Close(o.p);
  return vpDmaTag_Ret(end);
}

// A geometry object of one geometry node with the given chain.
inline ZEGOBJ* OneNodeObject(ZEGOBJ* obj, ZEGEOM* g, ZEMTL* mtl, uint32_t* chain, ZEVEC mn, ZEVEC mx) {
  memset(obj, 0, sizeof *obj);
  memset(g, 0, sizeof *g);
  obj->geometries = g;
  obj->min = mn;
  obj->max = mx;
  g->mtl = mtl;
  g->dmastream = chain;
  return obj;
}
