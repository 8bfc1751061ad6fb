// The scene converter: an intermediate scene (block "GSC0", or the old
// "ZE20" form) becomes a scene file laid out for loading in place. Textures
// become native images and geometry becomes packets, each on a 128-byte
// file boundary; blocks come out in the input's order.
#include <cfloat>
#include <cstdio>

#include "zegscn_local.h"

namespace {

struct CvtState {
  ZEFILE out, in;
  uint8_t* work;        // packet work buffer, 128-aligned
  uint8_t* workblock;   // its heap block
  ZEVEC bmin, bmax;     // the current object's box
  int last_vertex_count;
  int strips, striptris, tris, textures, texmem, colourrefmem;
  int objtris;          // triangles of the current object's writing pass
  ZEMTL* mtls;          // the current input's material images
  int nmtl;
};
CvtState g_cvt;

void ReadExact(void* dst, int64_t n, const char* what) {
  if (n < 0 || n > 0x7fffffff || ZeFileRead(g_cvt.in, dst, int(n)) != int(n))
    GSCN_FATAL("Scene converter: input %s cut short", what);
}
int ReadInt(const char* what) {
  int32_t v;
  ReadExact(&v, 4, what);
  return v;
}
int ReadCount(const char* what, int max) {
  const int n = ReadInt(what);
  if (n < 0 || n > max) GSCN_FATAL("Scene converter: input %s count %d", what, n);
  return n;
}
void* Alloc(int64_t bytes) {
  void* p = bytes >= 0 && bytes < 0x40000000 ? ZeMemAllocTagged(int(bytes) + 16) : nullptr;
  if (!p) GSCN_FATAL("Allocation error");
  return p;
}

void W32(int v) { ZeFileWriteInt(g_cvt.out, v); }
void WBytes(const void* p, int n) {
  if (n > 0) ZeFileWrite(g_cvt.out, p, n);
}
void WZeros(int n) {
  static const uint8_t zeros[256] = {};
  while (n > 0) {
    const int k = n < 256 ? n : 256;
    ZeFileWrite(g_cvt.out, zeros, k);
    n -= k;
  }
}
int Pos() { return ZeFilePos(g_cvt.out); }

// Copies the rest of the input block body.
void CopyRest(int end) {
  const int n = end - ZeFilePos(g_cvt.in);
  if (n <= 0) return;
  void* buf = Alloc(n);
  ReadExact(buf, n, "block");
  WBytes(buf, n);
  ZeMemFreeTagged(buf);
}

// ---- textures and materials ------------------------------------------------

void ConvertTexture(int, ZETEX* img, void*) {
  if (img->type == ZETEX_NRMMAP_SRC) GSCN_FATAL("Scene converter: normal-map sources are not converted here");
  if (img->type == ZETEX_PAL4 || img->type == ZETEX_PAL8) ZeTexSwizzelBits(img);
  const ZETEXID id = ZeTexCreate(img);
  constexpr int kMax = 1179648;
  auto* buf = static_cast<uint8_t*>(Alloc(kMax + 16));
  auto* native = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(buf) + 15) & ~uintptr_t(15));
  const int size = id ? ZeTexRecoverNativeData(id, native, kMax) : 0;
  if (size <= 0) GSCN_FATAL("Native Texture has no size");
  const int padded = (size + 15) & ~15;
  g_cvt.texmem += padded;
  g_cvt.textures++;
  W32(padded);
  // The pad word leads to the image on the next 128-byte boundary at least
  // 4 bytes on, so it never reads as 0 or a step back.
  const int q = Pos() + 4;
  const int p = ((q + 4 + ZEGSCN_ALIGN - 1) & ~(ZEGSCN_ALIGN - 1)) - q;
  W32(p);
  WZeros(p);
  WBytes(native, size);
  WZeros(padded - size);
  ZeMemFreeTagged(buf);
  ZeTexDestroy(id);
}

void ConvertTextures() {
  ZeDebugMsg("Reading texture set header...");
  const int n = ZeSceneReadTshCount(g_cvt.in);
  W32(n);
  W32(0);
  ZeSceneForEachTxm(g_cvt.in, n, ConvertTexture, nullptr);
}

void FreeMaterials() {
  if (g_cvt.mtls) ZeMemFreeTagged(g_cvt.mtls);
  g_cvt.mtls = nullptr;
  g_cvt.nmtl = 0;
}

void ConvertMaterials() {
  const int n = ReadCount("material set", 65535);
  W32(n);
  W32(0);
  FreeMaterials();
  g_cvt.mtls = static_cast<ZEMTL*>(Alloc(int64_t(n) * ZEGSCN_MTL_RECORD));
  g_cvt.nmtl = n;
  for (int i = 0; i < n; i++) {
    ZEMTL* m = ZeMtlRead(g_cvt.in);
    alignas(16) ZEMTL image = *m;
    ZeMtlDestroy(m);
    // Links into this program's lists mean nothing in a file.
    image.next = image.prev = nullptr;
    image.effect_block = nullptr;
    image.callback = nullptr;
    image.flags &= ~uint32_t(ZEMTL_INUSE | ZEMTL_POOL | ZEMTL_HEAP);
    WBytes(&image, sizeof image);
    g_cvt.mtls[i] = image;
  }
}

// The current input's material images, for the packet builders.
ZEMTL* Material(int index) {
  if (index < 0 || index >= g_cvt.nmtl) GSCN_FATAL("Scene converter: material %d of %d", index, g_cvt.nmtl);
  return g_cvt.mtls + index;
}

// ---- geometry ------------------------------------------------------------------

void Widen(const ZEVEC& p, float r) {
  g_cvt.bmin = {std::min(g_cvt.bmin.x, p.x - r), std::min(g_cvt.bmin.y, p.y - r), std::min(g_cvt.bmin.z, p.z - r)};
  g_cvt.bmax = {std::max(g_cvt.bmax.x, p.x + r), std::max(g_cvt.bmax.y, p.y + r), std::max(g_cvt.bmax.z, p.z + r)};
}

// Prelight sets: a count; when not 0, a word, the colour count c and c
// colours a set. Returns the second set's colours (or null) for the packets.
uint32_t* ReadPrelightSets(int* colours) {
  const int sets = ReadCount("prelight set", 4);
  *colours = 0;
  if (!sets) return nullptr;
  ReadInt("prelight");
  const int c = ReadCount("prelight colour", 0x100000);
  auto* data = static_cast<uint32_t*>(Alloc(int64_t(c) * sets * 4));
  ReadExact(data, int64_t(c) * sets * 4, "prelight colours");
  for (int i = 0; i < c; i++) data[i] = ZeSceneSwapRB(data[i]);
  *colours = c;
  return data;
}

// Turns the last batch's closing tag into a next tag to the work offset.
void LinkTo(uint32_t* tag, uint32_t offset, bool strip) {
  if (strip && (tag[0] >> 24) != 0x10) GSCN_FATAL("assert");
  tag[0] = (tag[0] & 0x00ffffffu) | 0x20000000u;
  tag[1] = offset;
}

// Builds one list's packets at *cursor; cut into batches of at most 6,000
// indices joined by next tags relative to the work buffer's start.
void BuildList(uint32_t** cursor, bool* first, int type, const int16_t* idx, int count, const ZEVTX* vtx, int nvtx,
               const uint32_t* colourB, ZEMTL* mtl) {
  auto batch = [&](const int16_t* b, int n, bool strip) {
    if (!*first) {
      auto* at = reinterpret_cast<uint8_t*>(*cursor);
      const int off = int(at - g_cvt.work);
      const int aligned = (off + ZEGSCN_ALIGN - 1) & ~(ZEGSCN_ALIGN - 1);
      memset(at, 0, size_t(aligned - off));
      *cursor = reinterpret_cast<uint32_t*>(g_cvt.work + aligned);
      LinkTo(zecvtgeo_lasttag, uint32_t(aligned), strip);
    }
    const int size = strip ? ZeCvtSizeDmaTriStripCFromIdx(b, n, mtl, nullptr) : ZeCvtSizeDmaTriCFromIdx(b, n, mtl, nullptr);
    if (reinterpret_cast<uint8_t*>(*cursor) - g_cvt.work + size + 16 > ZEGSCN_MAX_PACKETS) GSCN_FATAL("dmabuff overflow");
    if (strip) ZeCvtDmaTriStripCFromIdx(cursor, vtx, nvtx, colourB, b, n, mtl);
    else ZeCvtDmaTriCFromIdx(cursor, vtx, nvtx, colourB, b, n, mtl);
    *first = false;
  };
  if (type == ZEPRIM_IDXLIST) {
    for (int at = 0; at < count; at += ZEGSCN_MAX_CHAIN) {
      const int n = count - at < ZEGSCN_MAX_CHAIN ? count - at : ZEGSCN_MAX_CHAIN;
      if (n < 3 || n % 3) GSCN_FATAL("dodgy makecnt");
      batch(idx + at, n, false);
      g_cvt.tris += n / 3;
      g_cvt.objtris += n / 3;
    }
    return;
  }
  for (int at = 0; at < count;) {
    int end = at;
    while (end < count) {
      const int len = idx[end];
      if (len < 0 || end + 1 + len > count) GSCN_FATAL("Scene converter: a strip of %d runs past its list", len);
      if (end > at && end + 1 + len - at > ZEGSCN_MAX_CHAIN) break;
      if (len >= 3) {
        g_cvt.strips++;
        g_cvt.striptris += len - 2;
        g_cvt.objtris += len - 2;
      }
      end += 1 + len;
    }
    batch(idx + at, end - at, true);
    at = end;
  }
}

void SkipSkinsAndMorphs(int nvtx) {
  const int s = ReadCount("skin", 65535);
  if (s) {
    int8_t smooth;
    ReadExact(&smooth, 1, "skin");
    if (smooth) GSCN_FATAL("Skin in a scene !");
    for (int i = 0; i < s; i++) {
      ReadInt("skin");
      const int w = ReadCount("skin", 32767), m = ReadCount("skin", 64);
      ZeFileSeek(g_cvt.in, (m + w * m) * 4, SCE_SEEK_CUR);
    }
  }
  // Morph targets are not converted, but their data is passed over so the
  // next record is read in step.
  const int t = ReadCount("morph target", 256);
  if (t) {
    ZeFileSeek(g_cvt.in, t * 4, SCE_SEEK_CUR);
    const int d = ReadCount("morph data", 0x4000000);
    ZeFileSeek(g_cvt.in, d + t, SCE_SEEK_CUR);
  }
  (void)nvtx;
}

void ConvertGeometry(bool writing) {
  int p = 0;
  if (writing) {
    const int pos = Pos();
    p = ZeGScnGeomPad(pos);
    W32(0);
    W32(p);
  }
  const int mtlindex = ReadInt("geometry");
  if (writing) W32(mtlindex);
  const int nvtx = ReadCount("vertex", 32767);
  if (nvtx < 3) ZeDebugMsg("vtx cnt < 3");
  auto* vtx = static_cast<ZEVTX*>(Alloc(int64_t(nvtx) * 36));
  ReadExact(vtx, int64_t(nvtx) * 36, "vertices");
  for (int i = 0; i < nvtx; i++) {
    Widen(vtx[i].pos, 0.0f);
    vtx[i].colour = ZeSceneSwapRB(vtx[i].colour);
  }
  if (writing) {
    g_vertex_count += g_cvt.last_vertex_count;
    g_cvt.last_vertex_count = nvtx;
  }
  int ncolours = 0;
  uint32_t* colours = ReadPrelightSets(&ncolours);
  const uint32_t* colourB = ncolours >= nvtx && colours ? colours : nullptr;
  if (writing) WZeros(p);
  const int k = ReadCount("primitive list", 4096);
  ZEMTL* mtl = nullptr;
  auto* cursor = reinterpret_cast<uint32_t*>(g_cvt.work);
  bool first = true, tribatch = false;
  const int dataPos = writing ? Pos() + 4 : 0;
  if (writing) ZeCvtGeoSetColourRefOffset(dataPos - int(EeAddrOf(g_cvt.work)));
  for (int l = 0; l < k; l++) {
    const int type = ReadInt("primitive list");
    const int count = ReadCount("index", 0x1000000);
    if (type != ZEPRIM_IDXLIST && type != ZEPRIM_IDXSTRIP) GSCN_FATAL("Unknown primitive type");
    auto* idx = static_cast<int16_t*>(Alloc(int64_t(count) * 2));
    ReadExact(idx, int64_t(count) * 2, "indices");
    if (writing) {
      mtl = Material(mtlindex);
      ZeCvtCalcFastPoint(&g_cvt.bmin, &g_cvt.bmax, mtl);
      if (mtl->attributes & 8) {
        if (!tribatch) {
          memset(cursor, 0, 16);
          cursor += 4;
          tribatch = true;
        }
        auto* head = reinterpret_cast<uint32_t*>(g_cvt.work);
        head[0] += uint32_t(type == ZEPRIM_IDXLIST ? ZeCvtTriStreamCFromIdx(&cursor, vtx, idx, count, mtl)
                                                   : ZeCvtTriStripStreamCFromIdx(&cursor, vtx, idx, count, mtl));
      } else {
        BuildList(&cursor, &first, type, idx, count, vtx, nvtx, colourB, mtl);
      }
      const int64_t size = (reinterpret_cast<uint8_t*>(cursor) - g_cvt.work + 15) & ~15;
      if (size > ZEGSCN_MAX_PACKETS) GSCN_FATAL("dmabuff overflow");
    }
    ZeMemFreeTagged(idx);
  }
  if (writing) {
    // A geometry without lists still gets a chain: the loader reads one.
    cursor = vpDmaTag_Ret(cursor);
    const int size = int((reinterpret_cast<uint8_t*>(cursor) - g_cvt.work + 15) & ~15);
    if (size > ZEGSCN_MAX_PACKETS) GSCN_FATAL("dmabuff overflow");
    memset(cursor, 0, size_t(g_cvt.work + size - reinterpret_cast<uint8_t*>(cursor)));
    W32(size);
    WBytes(g_cvt.work, size);
  }
  SkipSkinsAndMorphs(nvtx);
  ZeMemFreeTagged(vtx);
  if (colours) ZeMemFreeTagged(colours);
}

void ConvertSpriteSet(int kind) {
  const int mtlindex = ReadInt("sprite set");
  W32(mtlindex);
  const int k = ReadCount("sprite", 0x100000);
  const int style = ReadInt("sprite set");
  W32(style);
  g_vertex_count += g_cvt.last_vertex_count;
  g_cvt.last_vertex_count = k;
  float size = 0.0f;
  if (kind == ZEGOBJ_SIZEDSPRITES) {
    float head[4];
    ReadExact(head, 16, "sprite set");
    size = head[0];
  }
  int ncolours = 0;
  uint32_t* colours = ReadPrelightSets(&ncolours);
  ZeFileWriteFloat(g_cvt.out, size);
  auto* sprites = static_cast<ZEFACEON*>(Alloc(int64_t(k) * 24));
  ReadExact(sprites, int64_t(k) * 24, "sprites");
  if (style != 0 && style != 1) GSCN_FATAL("Unknown faceon type");
  ZeCvtGeoSetColourRefOffset(Pos() + 4 - int(EeAddrOf(g_cvt.work)));
  auto* cursor = reinterpret_cast<uint32_t*>(g_cvt.work);
  for (int at = 0; at < k; at += ZECVT_CHUNK) {
    const int n = k - at < ZECVT_CHUNK ? k - at : ZECVT_CHUNK;
    const int need = style == 0 ? ZeCvtSizeDmaFaceOn(nullptr, n, 0, nullptr) : ZeCvtSizeDmaFaceY(nullptr, n, 0, nullptr);
    if (reinterpret_cast<uint8_t*>(cursor) - g_cvt.work + need + 16 > ZEGSCN_MAX_PACKETS) GSCN_FATAL("dmabuff overflow");
    if (style == 0) ZeCvtDmaFaceOn(&cursor, sprites + at, n, nprelight_sets, nullptr);
    else ZeCvtDmaFaceY(&cursor, sprites + at, n, nprelight_sets, nullptr);
  }
  cursor = vpDmaTag_Ret(cursor);
  const int bytes = int((reinterpret_cast<uint8_t*>(cursor) - g_cvt.work + 15) & ~15);
  memset(cursor, 0, size_t(g_cvt.work + bytes - reinterpret_cast<uint8_t*>(cursor)));
  W32(bytes);
  WBytes(g_cvt.work, bytes);
  for (int i = 0; i < k; i++) Widen(sprites[i].pos, std::max(sprites[i].width, sprites[i].height));
  ZeMemFreeTagged(sprites);
  if (colours) ZeMemFreeTagged(colours);
}

void ConvertObject() {
  W32(ReadInt("object"));
  WZeros(12);
  uint8_t* refs = nullptr;
  if (zegscn_generate_colourref) {
    refs = static_cast<uint8_t*>(Alloc(ZEGSCN_COLOURREF_BUFF));
    ZeCvtGeoBeginColourRef(refs);
  }
  const int kind = ReadInt("object");
  W32(kind);
  g_cvt.bmin = {FLT_MAX, FLT_MAX, FLT_MAX};
  g_cvt.bmax = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
  if (kind == ZEGOBJ_MESH) {
    ZEVEC base;
    ReadExact(&base, 12, "object");
    const int g = ReadCount("geometry", 4096);
    W32(g);
    WBytes(&base, 12);
    const int placeholder = Pos();
    WZeros(12);
    // A first pass completes the box the packets are compressed in.
    const int start = ZeFilePos(g_cvt.in);
    for (int i = 0; i < g; i++) ConvertGeometry(false);
    ZeFileSeek(g_cvt.in, start, SCE_SEEK_SET);
    g_cvt.objtris = 0;
    for (int i = 0; i < g; i++) ConvertGeometry(true);
    const int end = Pos();
    ZeFileSeek(g_cvt.out, placeholder, SCE_SEEK_SET);
    W32(g_cvt.objtris);
    ZeFileSeek(g_cvt.out, end, SCE_SEEK_SET);
  } else if (kind == ZEGOBJ_SPRITES || kind == ZEGOBJ_SIZEDSPRITES) {
    const int f = ReadCount("sprite set", 256);
    W32(f);
    WZeros(8);
    for (int i = 0; i < f; i++) ConvertSpriteSet(kind);
  } else {
    // Kind 3 (mesh and sprites) and anything else would be read out of step.
    GSCN_FATAL("Scene converter: object kind %d cannot be converted", kind);
  }
  if (g_cvt.bmin.x > g_cvt.bmax.x) g_cvt.bmin = g_cvt.bmax = {0, 0, 0};
  WBytes(&g_cvt.bmin, 12);
  WBytes(&g_cvt.bmax, 12);
  WZeros(8);
  if (refs) {
    auto* end = static_cast<uint8_t*>(ZeCvtGeoEndColourRef(2));
    const int used = end ? int(end - refs) : 0;
    const int size = (used + 15) & ~15;
    memset(refs + used, 0, size_t(size - used));
    W32(size);
    WZeros(12);
    WBytes(refs, size);
    g_cvt.colourrefmem += size;
    ZeMemFreeTagged(refs);
  }
}

void ConvertObjects() {
  ZeDebugMsg("Reading geometry set header...");
  const int n = ReadCount("object set", 65535);
  W32(n);
  W32(zegscn_generate_colourref ? 1 : 0);
  g_vertex_count = 0;
  g_cvt.last_vertex_count = 0;
  for (int i = 0; i < n; i++) ConvertObject();
}

// ---- the rest --------------------------------------------------------------------

void ConvertCounted(int recsize, bool skipEmpty, const char* what) {
  const int n = ReadCount(what, 0x1000000);
  if (!n && skipEmpty) return;
  W32(n);
  W32(0);
  void* buf = Alloc(int64_t(n) * recsize);
  ReadExact(buf, int64_t(n) * recsize, what);
  WBytes(buf, n * recsize);
  ZeMemFreeTagged(buf);
}

// One input block to its output block (nothing for blocks not converted).
void ConvertBlock(int id, int end, bool oldform) {
  auto is = [&](const char (&s)[5]) { return id == GscnBlkId(s); };
  auto open = [&](const char (&s)[5]) { ZeFileBeginBlkWrite(g_cvt.out, GscnBlkId(s), 0); };
  auto close = [&] { ZeFileEndBlkWrite(g_cvt.out); };
  if (is("TST0")) {
    open("TST0"), ConvertTextures(), close();
  } else if (is("MS00")) {
    open("MS00"), ConvertMaterials(), close();
  } else if (is("GST0")) {
    open("OBJ0"), ConvertObjects(), close();
  } else if (oldform) {
    return;
  } else if (is("TAS0") || is("NTBL") || is("PORT") || is("BNDS")) {
    ZeFileBeginBlkWrite(g_cvt.out, id, 0);
    CopyRest(end);
    close();
  } else if (is("SST0")) {
    ZeDebugMsg("Converting Spline set...");
    open("SST0"), CopyRest(end), close();
  } else if (is("ALIB")) {
    open("ALIB"), GscnConvertAnimLib(g_cvt.in, g_cvt.out), close();
  } else if (is("SPEC")) {
    const int at = ZeFilePos(g_cvt.in);
    if (ReadInt("special set") == 0) return;
    ZeFileSeek(g_cvt.in, at, SCE_SEEK_SET);
    open("SPEC"), ConvertCounted(80, true, "special set"), close();
  } else if (is("INID")) {
    open("INID"), ConvertCounted(2, false, "instance ids"), close();
  } else if (is("INST")) {
    open("INST"), ConvertCounted(80, false, "instance set"), close();
    const int at = ZeFilePos(g_cvt.in);
    if (ReadInt("instance animation") == 0) return;
    ZeFileSeek(g_cvt.in, at, SCE_SEEK_SET);
    open("IABL"), ConvertCounted(96, false, "instance animation"), close();
  }
}

}  // namespace

int ZeGScnConvertScene(const char* outname, const char* inname) {
  g_cvt = {};
  g_cvt.workblock = static_cast<uint8_t*>(Alloc(ZEGSCN_WORKBUFF + ZEGSCN_ALIGN));
  g_cvt.work = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(g_cvt.workblock) + ZEGSCN_ALIGN - 1) &
                                          ~uintptr_t(ZEGSCN_ALIGN - 1));
  g_cvt.out = ZeFileOpen(outname, 1);
  if (g_cvt.out) {
    ZeFileBeginBlkWrite(g_cvt.out, GscnBlkId("ZE20"), 1);
    W32(ZEGSCN_VERSION);
    W32(0);
    g_cvt.in = ZeFileOpen(inname, 0);
    if (g_cvt.in) {
      const int outer = ZeFileBeginBlkRead(g_cvt.in, 0);
      const bool oldform = outer == GscnBlkId("ZE20");
      if (oldform || outer == GscnBlkId("GSC0")) {
        for (int id; (id = ZeFileBeginBlkRead(g_cvt.in, 0)) != 0;) {
          const int end = ZeFilePos(g_cvt.in) - 8 + ZeFileGetBlkSize();
          ConvertBlock(id, end, oldform);
          ZeFileEndBlkRead(g_cvt.in);
        }
      }
      ZeFileEndBlkRead(g_cvt.in);
      ZeFileClose(g_cvt.in);
    }
    ZeFileEndBlkWrite(g_cvt.out);
    ZeFileClose(g_cvt.out);
  }
  FreeMaterials();
  ZeMemFreeTagged(g_cvt.workblock);
  const char* stars = "***************************************************************";
  ZeDebugMsg("%s", stars);
  ZeDebugMsg("Total strips in scene: %d", g_cvt.strips);
  ZeDebugMsg("Total triangles in strips in scene: %d", g_cvt.striptris);
  ZeDebugMsg("Total individual triangles in scene: %d", g_cvt.tris);
  ZeDebugMsg("Total textures in scene: %d", g_cvt.textures);
  ZeDebugMsg("Total texture memory used by scene: %d", g_cvt.texmem);
  ZeDebugMsg("Total memory used by colourrefs: %d", g_cvt.colourrefmem);
  ZeDebugMsg("%s", stars);
  return 1;
}
