// Procedural blend textures: blended materials made from native images,
// converted .raw images and bitmaps.
#include <algorithm>
#include <cstring>

#include "gamelib.h"
#include "zecore.h"
#include "ze3d.h"

uint8_t* glutils_raw_buffer;
int glutils_raw_disabled;
int glutils_high_count;

namespace {

constexpr int kWorkOffset = 65536;    // High: working colour copy
constexpr int kSourceOffset = 131072; // High: the source file
constexpr int kRawLimit = 262144;

// The common material: white, alpha 0.999, the blend and z modes, texel
// coordinates on request.
ZEMTL* Material(ZETEXID tex, int uv, int blend, int pri, int zmode) {
  ZEMTL* m = ZeMtlCreate(1);
  m->diffuse[0] = m->diffuse[1] = m->diffuse[2] = 1.0f;
  m->alpha = 0.999f;
  m->attributes = (m->attributes & ~0xf00fu) | 2u << ZEMTLATTR_MISC | (uint32_t(blend) & 15u);
  m->attributes = (m->attributes & ~(3u << ZEMTLATTR_DEPTH)) | (uint32_t(zmode) & 3u) << ZEMTLATTR_DEPTH;
  if (uv) m->render_flags |= ZEMTLRF_FST;
  m->texture = tex;
  m->sort_priority = int16_t(pri);
  return m;
}

ZETEXID Create(int w, int h, int mip, bool overbright) {
  ZETEX img = {ZETEX_RGBA32, w, h, mip, glutils_raw_buffer, nullptr};
  int was = zetex_force_overbrighten;
  if (overbright) zetex_force_overbrighten = 1;
  ZETEXID id = ZeTexCreate(&img);
  zetex_force_overbrighten = was;
  return id;
}

inline void Put(uint8_t* t, int a, int b, int g, int r) {
  t[0] = uint8_t(a), t[1] = uint8_t(b), t[2] = uint8_t(g), t[3] = uint8_t(r);
}

// The file at the buffer's start, its texels' bytes reversed (the file is
// R, G, B, A; a texel A, B, G, R).
void Reverse(uint8_t* buf, int texels) {
  for (int i = 0; i < texels; i++) std::reverse(buf + 4 * i, buf + 4 * i + 4);
}

void CheckArea(const char* fn, const char* name, int w, int h, int most) {
  if (w <= 0 || h <= 0 || int64_t(w) * h > most)
    ZeError("%s (%s): %d x %d texels do not fit the work buffer (%d at most)", fn, name, w, h, most);
}

ZEMTL* Finish(ZETEXID tex, int uv, int blend, int pri, int zmode) {
  ZEMTL* m = Material(tex, uv, blend, pri, zmode);
  ZeMtlUpdate(m);
  return m;
}

}  // namespace

uint8_t* GetRawBuffer() {
  if (glutils_raw_disabled) ZeError("You have attempted to load a .raw file - this feature has been disabled");
  if (glutils_raw_buffer) return glutils_raw_buffer;
  glutils_raw_buffer = static_cast<uint8_t*>(ZeMemAllocTagged(GLUTILS_RAW_BYTES));
  static const char kLine[] =
      "+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+";
  static_assert(sizeof kLine - 1 == 91);
  ZeDebugMsg("%s", kLine);
  ZeDebugMsg("%s", kLine);
  ZeDebugMsg("+ You can avoid this by;");
  ZeDebugMsg("+ 1. Convert your .raws to .pnt files");
  ZeDebugMsg("+ 2. Call SetBalls and tell it where it can temporarily get the memory from");
  for (int i = 0; i < 4; i++) ZeDebugMsg("%s", kLine);
  return glutils_raw_buffer;
}

void SetBalls(char** cursor) {
  if (!cursor) {
    glutils_raw_disabled = 1;
    return;
  }
  glutils_raw_buffer = reinterpret_cast<uint8_t*>(*cursor);
  *cursor += GLUTILS_RAW_BYTES;
}

ZEMTL* CreateAlphaBlendTexture(char** cursor, const char* name, int uv, int blend, int pri, int zmode) {
  int size = ZeFileLoadBuffer(name, *cursor, 1048576);
  // A texture made from the unread buffer would be whatever lay there.
  if (size <= 0) ZeError("CreateAlphaBlendTexture: %s can't be loaded", name);
  ZETEXID tex = ZeTexCreateNative(*cursor);
  *cursor += size;
  return Finish(tex, uv, blend, pri, zmode);
}

ZEMTL* CreateAlphaBlendTexture256(const char* name, int uv, int blend) {
  uint8_t* b = GetRawBuffer();
  ZeFileLoadBuffer(name, b, GLUTILS_RAW_BYTES);
  // Expanded from the last texel down, so no word is overwritten unread.
  for (int i = 65535; i >= 0; i--) {
    int w = b[2 * i] << 8 | b[2 * i + 1];
    if (w == 0x03e0) w = 0;
    auto f = [w](int shift) { return ((w >> shift) & 31) * 255 / 31; };
    Put(b + 4 * i, 128, f(10), f(5), f(0));
  }
  ZEMTL* m = Material(Create(256, 256, 0, false), uv, blend, 256, 1);
  m->attributes = (m->attributes & ~0xf00u) | 1u << ZEMTLATTR_UWRAP | 1u << ZEMTLATTR_VWRAP;
  if (uv) m->render_flags &= ~ZEMTLRF_IIP;
  m->render_flags = (m->render_flags & ~3u) | 1u;
  ZeMtlUpdate(m);
  return m;
}

ZEMTL* CreateAlphaBlendTexture256_32(const char* name, int uv, int blend, int pri, int zmode) {
  uint8_t* b = GetRawBuffer();
  ZeFileLoadBuffer(name, b, kRawLimit);
  Reverse(b, 65536);
  return Finish(Create(256, 256, 1, false), uv, blend, pri, zmode);
}

ZEMTL* CreateAlphaBlendTexture64(const char* name, int uv, int blend, int pri) {
  uint8_t* b = GetRawBuffer();
  ZeFileLoadBuffer(name, b, 16384);
  Reverse(b, 4096);
  return Finish(Create(64, 64, 0, false), uv, blend, pri, 1);
}

ZEMTL* CreateAlphaBlendTexturewh_32(const char* name, int uv, int blend, int pri, int zmode, int w, int h) {
  uint8_t* b = GetRawBuffer();
  CheckArea("CreateAlphaBlendTexturewh_32", name, w, h, 65536);
  ZeFileLoadBuffer(name, b, kRawLimit);
  for (int i = 0; i < w * h; i++) {
    uint8_t* t = b + 4 * i;
    Put(t, 255, t[2], t[1], t[0]);
  }
  return Finish(Create(w, h, 1, false), uv, blend, pri, zmode);
}

ZEMTL* CreateAlphaBlendTexturewhNoise_32(const char* name, int uv, int blend, int pri, int zmode, int w, int h) {
  uint8_t* b = GetRawBuffer();
  CheckArea("CreateAlphaBlendTexturewhNoise_32", name, w, h, 65536);
  ZeFileLoadBuffer(name, b, kRawLimit);
  for (int i = 0; i < w * h; i++) {
    int r = 0;
    if (randtab_ptr) r = *randtab_ptr++, CheckRandomTable();
    int a = r & 1 ? 255 : 128;
    uint8_t* t = b + 4 * i;
    auto c = [a](int v) { return std::min(255, v * 128 / a); };
    Put(t, a, c(t[2]), c(t[1]), c(t[0]));
  }
  return Finish(Create(w, h, 1, true), uv, blend, pri, zmode);
}

ZEMTL* CreateAlphaBlendTexturewhHigh_32(const char* name, int uv, int blend, int pri, int zmode, int w, int h) {
  uint8_t* b = GetRawBuffer();
  CheckArea("CreateAlphaBlendTexturewhHigh_32", name, w, h, 16384);
  if (w & (w - 1)) ZeError("CreateAlphaBlendTexturewhHigh_32 (%s): width %d is not a power of two", name, w);
  ZeFileLoadBuffer(name, b + kSourceOffset, kRawLimit);
  uint8_t* out = b;
  uint8_t* work = b + kWorkOffset;
  uint8_t* src = b + kSourceOffset;
  const int sw = 2 * w;
  auto S = [&](int x, int y) { return src + 4 * (y * sw + x); };  // R, G, B, unused
  // 1. Point-sampled copy.
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      const uint8_t* s = S(2 * x, 2 * y);
      Put(out + 4 * (y * w + x), 128, s[2], s[1], s[0]);
      Put(work + 4 * (y * w + x), 128, s[2], s[1], s[0]);
    }
  // 2. Contrast: source texels far from their quad's average are pushed
  // further out.
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      uint8_t* q[4] = {S(2 * x, 2 * y), S(2 * x + 1, 2 * y), S(2 * x, 2 * y + 1), S(2 * x + 1, 2 * y + 1)};
      int avg[3];
      for (int c = 0; c < 3; c++) avg[c] = (q[0][c] + q[1][c] + q[2][c] + q[3][c]) / 4;
      for (int k = 0; k < 4; k++) {
        int d[3];
        bool far = false;
        for (int c = 0; c < 3; c++) {
          d[c] = ((q[k][c] - avg[c]) * 200) >> 7;
          if (std::abs(d[c]) > (k == 0 ? 48 : 32)) far = true;
        }
        if (far)
          for (int c = 0; c < 3; c++) q[k][c] = uint8_t(std::clamp(avg[c] + d[c], 0, 255));
      }
    }
  // 3. Refinement (the first call only): alpha brightness chosen so that
  // neighbouring pairs approach the detail of the source.
  if (glutils_high_count == 0) {
    for (int p = 0; p < 128; p++)
      for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
          uint8_t* o = out + 4 * (y * w + x);
          uint8_t* wk = work + 4 * (y * w + x);
          const int a = o[0];
          // Channels in R, G, B order: texel bytes 3, 2, 1.
          int s = 0;
          for (int c = 3; c >= 1; c--) s += a * o[c] / 128;
          const int nx[3] = {(x + 1) & (w - 1), x, (x + 1) & (w - 1)};
          const int ny[3] = {y, (y + 1) % h, (y + 1) % h};
          const uint8_t* ts[3] = {S(2 * x + 1, 2 * y), S(2 * x, 2 * y + 1), S(2 * x + 1, 2 * y + 1)};
          int bestv = 0, bestt = 0, pick = -1;
          for (int k = 0; k < 3; k++) {
            const uint8_t* n = out + 4 * (ny[k] * w + nx[k]);
            int v = s;
            for (int c = 3; c >= 1; c--) v += a * n[c] / 128;
            int t = 2 * (ts[k][0] + ts[k][1] + ts[k][2]);
            if (pick < 0 || std::abs(v - t) > std::abs(bestv - bestt)) bestv = v, bestt = t, pick = k;
          }
          if (std::abs(bestv - bestt) > 64 && p > 64 && p < 100)
            for (int c = 0; c < 3; c++) wk[3 - c] = uint8_t(wk[3 - c] + (ts[pick][c] - wk[3 - c]) / 2);
          int m = bestv < bestt ? a + 16 : bestv > bestt ? a - 16 : a;
          if (m >= 128) {
            int al = std::min(m, 255);
            o[0] = uint8_t(al);
            for (int c = 1; c <= 3; c++) o[c] = uint8_t(wk[c] * 128 / al);
          } else {
            int k = std::max(m - 8, 56);
            do k += 8;
            while (wk[1] * 128 / k > 300 || wk[2] * 128 / k > 300 || wk[3] * 128 / k > 300);
            o[0] = uint8_t(k);
            for (int c = 1; c <= 3; c++) o[c] = uint8_t(std::min(255, wk[c] * 128 / k));
          }
        }
  }
  glutils_high_count++;
  return Finish(Create(w, h, 1, true), uv, blend, pri, zmode);
}

ZEMTL* CreateSubtractiveTexture(const char* name) {
  ZETEXID tex = 0;
  if (ZETEX* img = ZeTexReadBitmap(name)) {
    tex = ZeTexCreate(img);
    ZeMemFree(img->texels.get());
    ZeMemFree(img);
  }
  ZEMTL* m = Material(tex, 0, 3, 32767, 1);
  ZeMtlUpdate(m);
  return m;
}
