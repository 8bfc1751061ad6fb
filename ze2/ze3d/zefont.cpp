// Bitmap fonts: proportional glyphs of one texture printed as GS sprites in
// the 2-D stream, printf-style, at a pen position and colour that escapes
// in the text can change, at an integer scale; the built-in font is made at
// build time (zefontmake) and compiled in.
#include <cstdio>

#include "zerndr_local.h"
#include "zestream_local.h"

ZEFNT* ZeFntCur = nullptr;
ZEFNT* system_font = nullptr;
int zefnt_upcase = 0, no_default_font = 0;
int ZeFntHeight = 0, ZeFntBase = 0, ZeFntPrintLength = 0, ZeFntPrintHeight = 0;
ZECOLOUR32 zefnt_colours[ZEFNT_COLOURS];
int zefnt_colour_count = 0;

namespace {

int g_init = 0;
int g_scaleX = 16, g_scaleY = 16;
int g_penX = 0x8000, g_penY = 0x8000;
int g_pen[4] = {0x80, 0x80, 0x80, 0x80};

int OffX() { return (PS2_VCNTR_X - PS2_REZ_W / 2) * 16; }
int OffY() { return (PS2_VCNTR_Y - PS2_REZ_H / 2) * 16; }

void Metrics() {
  if (!ZeFntCur) return;
  ZeFntHeight = (ZeFntCur->height * 8 * g_scaleY) >> 4;
  ZeFntBase = (ZeFntCur->base * 8 * g_scaleY) >> 4;
}

// A font record of size bytes is sound: its glyphs are all there, glyph 0
// exists (missing characters advance by it), and the cell height and the
// baseline are texel counts a glyph can have (at most 255), so that the
// scaled metrics cannot overflow.
bool RecordSound(const ZEFNT* f, int size) {
  return size >= ZEFNT_HEADER + 20 && f->count >= 1 && f->count <= 255 && f->height > 0 && f->height <= 255 &&
         f->base >= -255 && f->base <= 255 && ZEFNT_HEADER + 20 * f->count <= size;
}

// The glyph of character c, or null: map entries past the glyph count are
// no glyph.
const ZEFNTGLYPH* Glyph(const ZEFNT* f, int c) {
  const int g = f->map[c & 0xff];
  return g < f->count ? &f->glyphs[g] : nullptr;
}

int Advance(const ZEFNTGLYPH* g) { return ((g->width - 1) * 16 * g_scaleX) >> 4; }

bool GiveMaterial(ZEFNT* f, ZETEXID tex, bool nearest) {
  ZEMTL* m = ZeMtlCreate(1);
  if (!m) return false;
  m->diffuse[0] = m->diffuse[1] = m->diffuse[2] = 1.0f;
  m->alpha = 1.0f;
  m->texture = tex;
  uint32_t a = m->attributes;
  a = (a & ~0xfu) | 1;                                // blend (Cs - Cd) * As + Cd
  a = (a & ~(3u << 12)) | 2u << 12;                   // as the default 2-D material
  a = (a & ~(3u << ZEMTLATTR_DEPTH)) | 3u << ZEMTLATTR_DEPTH;  // always pass, no write
  a |= 1u << ZEMTLATTR_VTXCOL;
  if (nearest) a &= ~(3u << ZEMTLATTR_FILTER);
  m->attributes = a;
  ZeMtlUpdate(m);
  f->mtl = m;
  return true;
}

ZETEXID TexFromBitmap(ZETEX* img) {
  if (!img) return 0;
  const ZETEXID id = ZeTexCreate(img);
  ZeMemFree(img->texels.get());
  ZeMemFree(img);
  return id;
}

// Skips a colour escape starting at s ('#'): returns the position after
// its closing mark, or null when there is none. n, h and d receive its
// parts.
const char* Escape(const char* s, unsigned* n, bool* h, bool* d) {
  const char* p = s + 1;
  *h = *d = false;
  if (*p == 'h' || *p == 'H') {
    *h = true;
    p++;
  }
  if (*p == 'd' || *p == 'D') {
    *d = true;
    p++;
  }
  unsigned v = 0;
  bool big = false;
  while (*p >= '0' && *p <= '9') {
    v = v * 10 + unsigned(*p - '0');
    if (v >= 1000000) big = true, v = 1000000;
    p++;
  }
  if (*p != '#') return nullptr;
  *n = big ? 1000000u : v;
  return p + 1;
}

int Upcase(int c) { return zefnt_upcase && c >= 'a' && c <= 'z' ? c - 32 : c; }

// Measures text: the widest line (1/16 pixel); lines counted in *breaks.
int Measure(const char* text, int* breaks) {
  int widest = 0, line = 0;
  *breaks = 0;
  for (const char* s = text; *s;) {
    const int c = uint8_t(*s);
    if (c == '\n' || c == '\r') {
      if (line > widest) widest = line;
      line = 0;
      ++*breaks;
      s++;
    } else if (c == '\t') {
      s++;
    } else if (c == '#') {
      unsigned n;
      bool h, d;
      const char* after = Escape(s, &n, &h, &d);
      if (after) {
        s = after;
        continue;
      }
      const ZEFNTGLYPH* g = Glyph(ZeFntCur, c);
      line += Advance(g ? g : &ZeFntCur->glyphs[0]);
      s++;
    } else {
      const ZEFNTGLYPH* g = Glyph(ZeFntCur, Upcase(c));
      line += Advance(g ? g : &ZeFntCur->glyphs[0]);
      s++;
    }
  }
  return line > widest ? line : widest;
}

uint32_t* PenColour(uint32_t* p) {
  p = gsBeginGifPacket(p, 1, 1, 0, 0, GIF_FLG_PACKED, 1, GSR_RGBAQ);
  return ZeRndrPutQ(p, uint32_t(g_pen[0]), uint32_t(g_pen[1]), uint32_t(g_pen[2]), uint32_t(g_pen[3]));
}
uint32_t* OpenGlyphs(uint32_t* p) {
  return gsBeginGifPacket(p, 0, 1, 1, GS_PRIM_SPRITE, GIF_FLG_PACKED, 2, GSR_ST, GSR_XYZ2);
}

// Draws character c at the pen; returns its advance.
uint32_t* DrawChar(uint32_t* p, int c, int* advance) {
  const ZEFNTGLYPH* g = Glyph(ZeFntCur, c);
  if (!g) {
    *advance = Advance(&ZeFntCur->glyphs[0]);
    return p;
  }
  const int w = ((g->width - 1) * 16 * g_scaleX) >> 4, h = ((g->height - 1) * 8 * g_scaleY) >> 4;
  p = ZeRndrPutSt(p, g->left, g->top, 1.0f);
  p = ZeRndrPutXyz(p, g_penX, g_penY, 0);
  p = ZeRndrPutSt(p, g->right, g->bottom, 1.0f);
  p = ZeRndrPutXyz(p, g_penX + w, g_penY + h, 0);
  *advance = w;
  return p;
}

}  // namespace

// ---- loading -----------------------------------------------------------------

ZEFNT* ZeFntLoadMem(const void* font, int size, const void* bmp) {
  ZEFNT* f = size >= ZEFNT_HEADER ? static_cast<ZEFNT*>(ZeMemAlloc(size)) : nullptr;
  if (!f) ZeError("unable to create memfont");
  memcpy(f, font, size_t(size));
  if (!RecordSound(f, size)) ZeError("unable to create memfont");
  const ZETEXID tex = TexFromBitmap(ZeTexReadBitmapMem(bmp));
  if (tex <= 0 || !GiveMaterial(f, tex, true)) ZeError("unable to create memfont");
  return f;
}

ZEFNT* ZeFntLoad(const char* name) {
  char path[256];
  snprintf(path, sizeof path, "%s.fnt", name);
  const int size = ZeFileSize(path);
  ZEFNT* f = size >= ZEFNT_HEADER ? static_cast<ZEFNT*>(ZeMemAlloc(size)) : nullptr;
  if (!f) ZeError("unable to create font %s", name);
  const ZEFILE h = ZeFileOpen(path, 0);
  if (!h || ZeFileRead(h, f, size) != size) ZeError("unable to create font %s", name);
  ZeFileClose(h);
  if (!RecordSound(f, size)) ZeError("unable to create font %s", name);
  snprintf(path, sizeof path, "%s.bmp", name);
  const ZETEXID tex = TexFromBitmap(ZeTexReadBitmap(path));
  if (tex <= 0 || !GiveMaterial(f, tex, false)) ZeError("unable to create font %s", name);
  return f;
}

ZEFNT* ZeFntLoadPtr(const char* name, char** position, char* end) {
  char* const entry = *position;
  char path[256];
  auto fail = [&]() -> ZEFNT* {
    ZeDebugMsg("unable to create font %s", name);
    *position = entry;
    return nullptr;
  };
  char* p = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(*position) + 15) & ~uintptr_t(15));
  if (p >= end) return fail();
  snprintf(path, sizeof path, "%s.fnt", name);
  const int size = ZeFileLoadBuffer(path, p, int(end - p));
  ZEFNT* f = reinterpret_cast<ZEFNT*>(p);
  if (size <= 0 || !RecordSound(f, size)) return fail();
  p = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(p + size) + 127) & ~uintptr_t(127));
  if (p >= end) return fail();
  snprintf(path, sizeof path, "%s.pnt", name);
  const int tsize = ZeFileLoadBuffer(path, p, int(end - p));
  if (tsize <= 0) return fail();
  const ZETEXID tex = ZeTexCreateNativeEx(p, tsize);
  if (tex <= 0 || !GiveMaterial(f, tex, false)) return fail();
  *position = p + tsize;
  for (int c = 'a'; c <= 'z'; c++)
    if (f->map[c] == 255) f->map[c] = f->map[c - 32];
  return f;
}

void ZeFntDestroy(ZEFNT* f) {
  if (!f) return;
  if (ZEMTL* m = f->mtl.get()) {
    if (m->texture > 0) ZeTexDestroy(m->texture);
    ZeMtlDestroy(m);
  }
  ZeMemFree(f);
}

void ZeFntInit() {
  if (no_default_font || g_init) return;
  g_init = 1;
  system_font = ZeFntLoadMem(ariel16_fnt, int(sizeof ariel16_fnt), ariel16_bmp);
  ZeFntCur = system_font;
  Metrics();
}

void ZeFntClose() {
  ZeFntDestroy(system_font);
  system_font = nullptr;
  g_init = 0;
}

int ZeFntLoadColours(const char* name) {
  char path[256];
  snprintf(path, sizeof path, "%s.col", name);
  if (ZeFileSize(path) < 0) return 0;
  ZEFPAR* fp = ZeFParCreate(path);
  if (!fp) return 0;
  zefnt_colour_count = 0;
  while (ZeFParGetLine(fp)) {
    if (!ZeFParGetWord(fp) || strcasecmp(fp->word, "col") != 0) continue;
    const int r = ZeFParGetInt(fp), g = ZeFParGetInt(fp), b = ZeFParGetInt(fp), a = ZeFParGetInt(fp);
    if (zefnt_colour_count >= ZEFNT_COLOURS) {
      // The table is full: later lines are ignored.
      ZeDebugMsg("%s: more than %d colours, line ignored", path, ZEFNT_COLOURS);
      continue;
    }
    zefnt_colours[zefnt_colour_count++] =
        uint32_t(r & 0xff) | uint32_t(g & 0xff) << 8 | uint32_t(b & 0xff) << 16 | uint32_t(a) << 24;
  }
  ZeFParDestroy(fp);
  return 1;
}

// ---- state -------------------------------------------------------------------

void ZeFntSet(ZEFNT* f) {
  ZeFntCur = f ? f : system_font;
  Metrics();
}
void ZeFntScale(int sx, int sy) {
  g_scaleX = sx;
  g_scaleY = sy;
  Metrics();
}
void ZeFntSetPen(ZECOLOUR32 c) {
  g_pen[0] = int(c & 0xff);
  g_pen[1] = int((c >> 8) & 0xff);
  g_pen[2] = int((c >> 16) & 0xff);
  g_pen[3] = int(c >> 24);
}
void ZeFntMoveAbs(int x, int y) {
  g_penX = x + OffX();
  g_penY = y - ZeFntBase + OffY();
}
void ZeFntMoveRel(int dx, int dy) {
  g_penX += dx;
  g_penY += dy;
}
void ZeFntPos(int* x, int* y) {
  if (x) *x = g_penX - OffX();
  if (y) *y = g_penY - OffY();
}

// ---- printing ----------------------------------------------------------------

int ZeFntPrintV(const char* format, va_list args) {
  char text[ZEFNT_TEXT];
  vsnprintf(text, sizeof text, format, args);  // cut to the buffer
  ZeFntPrintLength = 0;
  if (!ZeFntCur) return 0;
  ZERNDRSTREAM* s = rndrstream_2d;
  ZeRndrStreamLink(s);
  ZeRndrStreamAddMtl(s, ZeFntCur->mtl.get());
  // Two quadwords a glyph, a short tag for each colour change.
  ZeRndrStreamCheckSpace(s->write, 128 + int(strlen(text)) * 48);
  uint32_t* tag = s->write;
  uint32_t* p = vpDmaTag_CntEx(tag, VIFCODE_FLUSHE, 0);
  tag[0] |= uint32_t(DMAMK_TEXTPRINT) << 16;
  vtBeginDirect(tag + 3, 0);
  p = gsCloseGifPacket(PenColour(p));
  p = OpenGlyphs(p);
  const int startX = g_penX;
  int line = 0;
  for (const char* c = text; *c;) {
    const int ch = uint8_t(*c);
    if (ch == '\n' || ch == '\r') {
      // A carriage return also goes back to the call's start x.
      if (line > ZeFntPrintLength) ZeFntPrintLength = line;
      line = 0;
      g_penX = startX;
      g_penY += ZeFntHeight;
      ZeFntPrintHeight += ZeFntHeight;
      c++;
      continue;
    }
    if (ch == '\t') {
      c++;
      continue;
    }
    if (ch == '#') {
      unsigned n;
      bool h, d;
      if (const char* after = Escape(c, &n, &h, &d)) {
        if (n < unsigned(zefnt_colour_count)) {
          const ZECOLOUR32 col = zefnt_colours[n];
          ZeFntSetPen(col);
          for (int& v : g_pen) {
            if (h) v >>= 1;
            if (d) v <<= 1;
          }
          p = gsCloseGifPacket(p);
          p = gsCloseGifPacket(PenColour(p));
          p = OpenGlyphs(p);
        }
        c = after;
        continue;
      }
    }
    int adv;
    p = DrawChar(p, Upcase(ch), &adv);
    g_penX += adv;
    line += adv;
    if (line > ZeFntPrintLength) ZeFntPrintLength = line;
    c++;
  }
  p = vpDmaTag_Close(vtCloseDirect(gsCloseGifPacket(p)));
  ZeRndrEndSegment(s, p);
  return ZeFntPrintLength;
}

int ZeFntPrint(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int r = ZeFntPrintV(format, ap);
  va_end(ap);
  return r;
}

int ZeFntPrintLenV(const char* format, va_list args) {
  char text[ZEFNT_TEXT];
  vsnprintf(text, sizeof text, format, args);
  ZeFntPrintLength = 0;
  if (!ZeFntCur) return 0;
  int breaks;
  ZeFntPrintLength = Measure(text, &breaks);
  ZeFntPrintHeight = ZeFntHeight + breaks * ZeFntHeight;
  return ZeFntPrintLength;
}

int ZeFntPrintLen(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int r = ZeFntPrintLenV(format, ap);
  va_end(ap);
  return r;
}

int ZeFntPrintEx(int x, int y, int justify, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  va_list again;
  va_copy(again, ap);
  const int width = ZeFntPrintLenV(format, ap);
  va_end(ap);
  switch (justify) {
    case 0: ZeFntMoveAbs(x, y); break;
    case 1: ZeFntMoveAbs(x - width, y); break;
    case 2: ZeFntMoveAbs(x - (width >> 1), y); break;
    default: break;
  }
  const int r = ZeFntPrintV(format, again);
  va_end(again);
  return r;
}

// ---- making fonts (tools) ----------------------------------------------------

ZEFNT* ZeFntCreate(const char* bitmap, int cell, int base, int key, const char* chars) {
  ZETEX* img = ZeTexReadBitmap(bitmap);
  if (!img || img->type != ZETEX_PAL8) ZeError("Can only create fonts from 8 bit palettized");
  const int W = img->width, H = img->height;
  uint8_t* pal = img->palette.get();
  for (int i = 0; i < 256; i++) pal[i * 4 + 3] = i == key ? 0 : 0x7f;
  const uint8_t* tx = img->texels.get();
  auto blank = [&](int col, int row) {
    for (int y = row; y < row + cell && y < H; y++)
      if (tx[y * W + col] != key) return false;
    return true;
  };
  if (cell <= 0 || cell > 255) ZeError("font %s: cell height %d", bitmap, cell);
  ZEFNTGLYPH glyphs[256] = {};
  uint8_t map[256];
  memset(map, 255, sizeof map);
  int n = 0, col = 0, row = 0;
  for (const char* c = chars; *c; c++) {
    if (n >= 255) ZeError("font %s: more than 255 characters", bitmap);
    ZEFNTGLYPH& g = glyphs[n];
    if (*c == ' ') {
      g.width = uint8_t(cell >> 2);
      g.height = uint8_t(cell);
    } else {
      // Past the blank columns, wrapping to the next band at the right edge.
      for (;;) {
        if (col >= W) {
          col = 0;
          row += cell;
        }
        if (row + cell > H) ZeError("Off end of map guvnor");
        if (!blank(col, row)) break;
        col++;
      }
      const int start = col;
      while (col < W && !blank(col, row)) col++;
      if (col - start > 255) ZeError("font %s: glyph wider than 255 texels", bitmap);
      g.left = float(start) / float(W);
      g.top = float(row) / float(H);
      g.right = float(col) / float(W);
      g.bottom = float(row + cell - 1) / float(H);
      g.width = uint8_t(col - start);
      g.height = uint8_t(cell);
    }
    map[uint8_t(*c)] = uint8_t(n);
    n++;
  }
  const int size = ZEFNT_HEADER + 20 * (n > 0 ? n : 1);
  ZEFNT* f = static_cast<ZEFNT*>(ZeMemAlloc(size));
  if (!f) ZeError("could not allocate font");
  memset(f, 0, size_t(size));
  memcpy(f->map, map, sizeof map);
  memcpy(f->glyphs, glyphs, size_t(n) * sizeof(ZEFNTGLYPH));
  f->height = cell;
  f->base = base;
  f->count = n;
  const ZETEXID tex = ZeTexCreate(img);
  if (tex <= 0) ZeError("could not create font texture");
  if (!GiveMaterial(f, tex, false)) ZeError("could not create font material");
  ZeMemFree(img->texels.get());
  ZeMemFree(img);
  return f;
}

void ZeFntWrite(const char* name, ZEFNT* f) {
  constexpr int WORK = 256 * 1024;
  char path[256];
  snprintf(path, sizeof path, "%s.fnt", name);
  ZEFILE h = ZeFileOpen(path, 1);
  if (h) {
    ZeFileWrite(h, f, ZEFNT_HEADER + 20 * f->count);
    ZeFileClose(h);
  }
  void* work = ZeMemAlloc(WORK);
  if (!work) ZeError("ZeFntWrite Could not allocate buffer");
  const ZEMTL* m = f->mtl.get();
  const int bytes = m && m->texture > 0 ? ZeTexRecoverNativeData(m->texture, work, WORK) : 0;
  snprintf(path, sizeof path, "%s.pnt", name);
  h = bytes > 0 ? ZeFileOpen(path, 1) : 0;
  if (h) {
    ZeFileWrite(h, work, bytes);
    ZeFileClose(h);
  }
  ZeMemFree(work);
}
