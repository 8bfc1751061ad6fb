// Intermediate scene files (outer block "GSC0"): block readers that turn
// plain textures, materials, geometry, instances, names and splines into
// heap objects, and ZeSceneLoad built on them. A short read is a fatal
// error; indices are checked against the tables they name.
#include <cstdio>
#include <initializer_list>

#include "zegscn_local.h"

namespace {

void ReadExact(ZEFILE f, void* dst, int64_t n, const char* what) {
  if (n < 0 || n > 0x7fffffff || ZeFileRead(f, dst, int(n)) != int(n))
    GSCN_FATAL("Scene file damaged: %s cut short", what);
}

int ReadInt(ZEFILE f, const char* what) {
  int32_t v;
  ReadExact(f, &v, 4, what);
  return v;
}

int ReadCount(ZEFILE f, const char* what, int max = 0x7fffffff) {
  const int n = ReadInt(f, what);
  if (n < 0 || n > max) GSCN_FATAL("Scene file damaged: %s count %d", what, n);
  return n;
}

template <class T>
T* HeapArray(int64_t n) {
  const int64_t bytes = n * int64_t(sizeof(T));
  if (bytes > 0x40000000) GSCN_FATAL("Allocation error");
  auto* p = static_cast<T*>(ZeMemAllocTagged(bytes > 0 ? int(bytes) : 4));
  if (!p) GSCN_FATAL("Allocation error");
  memset(static_cast<void*>(p), 0, size_t(bytes > 0 ? bytes : 4));
  return p;
}

}  // namespace

void ZeSceneReadPalette(uint8_t* pal, int entries) {
  for (int i = 0; i < entries; i++) {
    uint8_t* e = pal + i * 4;
    const uint8_t a = e[0], b = e[1], g = e[2], r = e[3];
    e[0] = r, e[1] = g, e[2] = b, e[3] = uint8_t(a >> 1);
  }
}

// One "TXM0" body as an image in EE memory (free with ZeSceneFreeTxm).
ZETEX* ZeSceneReadTxm(ZEFILE f) {
  auto* img = HeapArray<ZETEX>(1);
  img->type = ReadInt(f, "texture");
  img->width = ReadInt(f, "texture");
  img->height = ReadInt(f, "texture");
  img->mipcount = ReadInt(f, "texture");
  if (img->mipcount == 1) img->mipcount = 0;
  if (img->type < 0 || img->type >= ZETEX_TYPE_COUNT || img->width < 1 || img->width > 1024 || img->height < 1 ||
      img->height > 1024 || img->mipcount < 0 || img->mipcount > ZEPS2TEX_LEVELS)
    GSCN_FATAL("Scene file damaged: texture of type %d, %d x %d, %d levels", img->type, img->width, img->height,
               img->mipcount);
  const int size = ZeTexImgSizeMM(img->type, img->width, img->height, img->mipcount);
  img->texels = HeapArray<uint8_t>(size);
  ReadExact(f, img->texels, size, "texture image");
  if (const int pal = ZeTexPalSize(img->type)) {
    img->palette = HeapArray<uint8_t>(pal);
    ReadExact(f, img->palette, pal, "texture palette");
    ZeSceneReadPalette(img->palette, pal / 4);
  }
  return img;
}

void ZeSceneFreeTxm(ZETEX* img) {
  if (img->texels) ZeMemFreeTagged(img->texels.get());
  if (img->palette) ZeMemFreeTagged(img->palette.get());
  ZeMemFreeTagged(img);
}

// The texture set: "TSH0" with the count, then the "TXM0" blocks.
int ZeSceneReadTshCount(ZEFILE f) {
  ZeFileBeginBlkRead(f, GscnBlkId("TSH0"));
  const int n = ReadCount(f, "texture set", 4096);
  ZeFileEndBlkRead(f);
  return n;
}

void ZeSceneForEachTxm(ZEFILE f, int n, void (*each)(int, ZETEX*, void*), void* ctx) {
  for (int i = 0; i < n; i++) {
    ZeFileBeginBlkRead(f, GscnBlkId("TXM0"));
    ZETEX* img = ZeSceneReadTxm(f);
    each(i, img, ctx);
    ZeSceneFreeTxm(img);
    ZeFileEndBlkRead(f);
  }
}

void ReadZeIFFTextureSet(ZEFILE file, ZESCENE* scene) {
  ZeDebugMsg("Reading texture set header...");
  const int n = ZeSceneReadTshCount(file);
  if (n == 0) return;
  scene->texids = HeapArray<int16_t>(n);
  scene->ntex = 0;
  ZeSceneForEachTxm(file, n, [](int i, ZETEX* img, void* ctx) {
    auto* sc = static_cast<ZESCENE*>(ctx);
    if (img->type == ZETEX_PAL4 || img->type == ZETEX_PAL8) ZeTexSwizzelBits(img);
    const ZETEXID id = ZeTexCreate(img);
    if (!id) GSCN_FATAL("Scene file: texture %d could not be made", i);
    sc->texids[i] = int16_t(id);
    sc->ntex = i + 1;
  }, scene);
}

void ZeSceneMtlUpdate(ZESCENE* scene) {
  for (int i = 0; i < scene->nmtl; i++) {
    ZEMTL* m = scene->mtls[i];
    const int t = int(m->texture);
    if (t < -1 || t >= scene->ntex) GSCN_FATAL("Scene file damaged: material %d names texture %d of %d", i, t, scene->ntex);
    m->texture = t == -1 ? 0 : scene->texids[t];
    const uint32_t chain = m->chain.addr;
    if (chain > uint32_t(scene->nmtl)) GSCN_FATAL("Scene file damaged: material %d chains to %u of %d", i, chain, scene->nmtl);
    m->chain = chain ? scene->mtls[chain - 1].get() : nullptr;
    if (!ZeMtlReadEvent || ZeMtlReadEvent(m) == 0) ZeMtlUpdate(m);
  }
}

void ReadZeIFFMaterialSet(ZEFILE file, ZESCENE* scene) {
  ZeDebugMsg("Reading Material set...");
  const int n = ReadCount(file, "material set", 65535);
  if (n == 0) return;
  auto* mtls = HeapArray<EePtr<ZEMTL>>(n);
  for (int i = 0; i < n; i++) mtls[i] = ZeMtlRead(file);
  scene->mtls = mtls;
  scene->nmtl = n;
  ZeSceneMtlUpdate(scene);
}

// ---- geometry ----------------------------------------------------------------

namespace {

ZEMTL* TableMtl(EePtr<ZEMTL>* mtls, int nmtl, int index) {
  if (index < 0 || (nmtl >= 0 && index >= nmtl) || !mtls)
    GSCN_FATAL("Scene file damaged: material %d of %d", index, nmtl);
  return mtls[index];
}

void ReadZeIFFGeomVtx(ZEFILE f, ZEGEOM* g) {
  const int v = ReadCount(f, "vertex", 32767);
  auto* vtx = static_cast<ZEVTX*>(ZeMemAllocTagged(v * int(sizeof(ZEVTX)) + 4));
  if (!vtx) GSCN_FATAL("ReadZeIFFGeomVtx : Lock VB failed!");
  ReadExact(f, vtx, int64_t(v) * 36, "vertices");
  for (int i = 0; i < v; i++) vtx[i].colour = ZeSceneSwapRB(vtx[i].colour);
  g->vtx = vtx;
  g->vtxcount = g->vtxmax = v;
  g->vtxkind = 0;
}

void ReadPrims(ZEFILE f, ZEGEOM* g) {
  const int k = ReadCount(f, "primitive list", 4096);
  for (int i = 0; i < k; i++) {
    const int type = ReadInt(f, "primitive list");
    const int c = ReadCount(f, "index", 0x1000000);
    if (type != ZEPRIM_IDXLIST && type != ZEPRIM_IDXSTRIP && type != ZEPRIM_PATCH6) GSCN_FATAL("Unknown primitive type");
    ZEPRIM* p = ZePrimCreate(c, type);
    ZeGeomAddPrim(g, p);
    ReadExact(f, p->idx, int64_t(c) * 2, "indices");
  }
}

void ReadSkins(ZEFILE f, ZEGEOM* g) {
  const int s = ReadCount(f, "skin", 65535);
  if (!s) return;
  int8_t smooth;
  ReadExact(f, &smooth, 1, "skin");
  if (smooth) {
    auto* sk = HeapArray<ZESMOOTHSKIN>(g->vtxcount);
    ReadExact(f, sk, int64_t(g->vtxcount) * 16, "skin data");
    g->smoothskin = sk;
    return;
  }
  for (int i = 0; i < s; i++) {
    auto* rec = HeapArray<ZESKIN>(1);
    rec->first = ReadInt(f, "skin");
    rec->count = ReadCount(f, "skin", 32767);
    rec->nmtx = ReadCount(f, "skin", 64);
    ZeGeomAddSkin(g, rec);
    rec->mtxids = HeapArray<int32_t>(rec->nmtx);
    ReadExact(f, rec->mtxids, int64_t(rec->nmtx) * 4, "skin");
    rec->weights = HeapArray<float>(int64_t(rec->count) * rec->nmtx);
    ReadExact(f, rec->weights, int64_t(rec->count) * rec->nmtx * 4, "skin weights");
  }
}

void ReadMorph(ZEFILE f, ZEGEOM* g) {
  const int t = ReadCount(f, "morph target", 256);
  if (!t) return;
  auto* m = HeapArray<ZEMORPH>(1);
  g->morph = m;
  m->count = t;
  m->values = HeapArray<int32_t>(t);
  ReadExact(f, m->values, int64_t(t) * 4, "morph values");
  const int d = ReadCount(f, "morph data", 0x4000000);
  m->data = HeapArray<uint8_t>(d);
  ReadExact(f, m->data, d, "morph data");
  uint8_t present[256];
  ReadExact(f, present, t, "morph targets");
  m->offsets = HeapArray<EePtr<ZEVEC>>(t);
  int64_t at = 0;
  const int64_t run = int64_t(g->vtxcount) * 12;
  for (int i = 0; i < t; i++) {
    if (!present[i]) continue;
    if (at + run > d) GSCN_FATAL("Scene file damaged: morph target %d past its %d bytes", i, d);
    m->offsets[i] = reinterpret_cast<ZEVEC*>(m->data.get() + at);
    at += run;
  }
}

void ReadZeIFFFaceOnGeom(ZEFILE f, ZEFACEONGEOM* set, int kind) {
  const int k = ReadCount(f, "sprite", 0x100000);
  set->style = ReadInt(f, "sprite set");
  if (kind >= ZEGOBJ_SIZEDSPRITES) {
    float head[4];
    ReadExact(f, head, 16, "sprite set");
    set->size = head[0];
  }
  if (ReadInt(f, "sprite set") != 0) GSCN_FATAL("Cannot have prelight sets on characters (you fool).");
  auto* sprites = HeapArray<ZEFACEON>(k);
  ReadExact(f, sprites, int64_t(k) * 24, "sprites");
  set->sprites = sprites;
  set->count = k;
}

}  // namespace

ZEGOBJ* ReadZeIFFGeom(ZEFILE file, EePtr<ZEMTL>* mtls, int nmtl) {
  const int tag = ReadInt(file, "object");
  ZEGOBJ* obj = ZeGobjCreate();
  obj->tag = tag;
  obj->kind = ReadInt(file, "object");
  if (obj->kind < ZEGOBJ_MESH || obj->kind > ZEGOBJ_MESHSPRITES) GSCN_FATAL("Unknown geom type");
  if (obj->kind == ZEGOBJ_MESH || obj->kind == ZEGOBJ_MESHSPRITES) {
    ReadExact(file, &obj->base, 12, "object");
    const int g = ReadCount(file, "geometry", 4096);
    for (int i = 0; i < g; i++) {
      ZEGEOM* geom = ZeGeomCreate();
      ZeGobjAddGeom(obj, geom);
      geom->mtlindex = ReadInt(file, "geometry");
      geom->mtl = TableMtl(mtls, nmtl, geom->mtlindex);
      ReadZeIFFGeomVtx(file, geom);
      const int p = ReadCount(file, "prelight", 0x100000);
      if (p) {
        geom->prelight = HeapArray<uint8_t>(int64_t(p) * 12);
        ReadExact(file, geom->prelight, int64_t(p) * 12, "prelight");
      }
      geom->nprelight = p;
      ReadPrims(file, geom);
      ReadSkins(file, geom);
      ReadMorph(file, geom);
    }
  }
  if (obj->kind != ZEGOBJ_MESH) {
    const int f = ReadCount(file, "sprite set", 256);
    for (int i = 0; i < f; i++) {
      ZEFACEONGEOM* set = ZeFaceOnGeomCreate();
      ZeGobjAddFaceOnGeom(obj, set);
      set->mtlindex = ReadInt(file, "sprite set");
      set->mtl = TableMtl(mtls, nmtl, set->mtlindex);
      obj->base = {0, 0, 0};
      ReadZeIFFFaceOnGeom(file, set, obj->kind);
    }
  }
  ZeGobjCalcDims(obj);
  // Sprite packets are built whatever the first geometry is: the renderer
  // draws every sprite chain.
  if (obj->geometries && !obj->geometries->skins) {
    const int before = info_tricount;
    ZePs2CreateRenderStream(obj);
    ZePs2CreateFaceOn(obj);
    obj->tricount = info_tricount - before;
  } else {
    ZePs2CreateFaceOn(obj);
  }
  ZePs2CreateSkin(obj);
  return obj;
}

void ReadZeIFFGobjSet(ZEFILE file, ZESCENE* scene) {
  if (scene->gobjs) GSCN_FATAL("ReadZeIFFGobjSet : Object already defined!");
  const int n = ReadCount(file, "object set", 65535);
  auto* objs = HeapArray<EePtr<ZEGOBJ>>(n);
  scene->gobjs = objs;
  for (int i = 0; i < n; i++) {
    objs[i] = ReadZeIFFGeom(file, scene->mtls, scene->nmtl);
    scene->ngobj = i + 1;
  }
}

// ---- instances, names, splines -------------------------------------------------

int ReadZeIFFInstSet(ZEFILE file, ZEGSCNINST** insts, ZEGSCNINSTANIM** anims) {
  const int n = ReadCount(file, "instance set", 65535);
  auto* in = HeapArray<ZEGSCNINST>(n);
  ReadExact(file, in, int64_t(n) * 80, "instances");
  const int m = ReadCount(file, "instance animation", 65535);
  auto* an = HeapArray<ZEGSCNINSTANIM>(m);
  ReadExact(file, an, int64_t(m) * 96, "instance animations");
  int next = 0;
  for (int i = 0; i < n; i++) {
    if (!in[i].anim) continue;
    if (next >= m) GSCN_FATAL("Scene file damaged: %d animation records for more animated instances", m);
    in[i].anim = an + next;
    an[next++].mtx = in[i].mtx;
  }
  *insts = in;
  if (anims) *anims = an;
  else ZeMemFreeTagged(an);
  return n;
}

char* ReadZeIFFNameTable(ZEFILE file, int* size) {
  const int n = ReadCount(file, "name table", 0x1000000);
  auto* names = HeapArray<char>(n + 1);
  ReadExact(file, names, n, "name table");
  if (n > 0 && names[n - 1] != 0) GSCN_FATAL("Scene file damaged: the name table does not end its last name");
  if (size) *size = n;
  return names;
}

void ReadZeIFFSplineSet(ZEFILE file, ZEGSCENE* scene) {
  ZeDebugMsg("Reading Spline set...");
  const int n = ReadCount(file, "spline set", 65535);
  const int s = ReadCount(file, "spline data", 0x4000000);
  scene->nspline = n;
  if (n == 0) return;
  auto* data = HeapArray<uint8_t>(s);
  ReadExact(file, data, s, "spline data");
  scene->splinedata = data;
  auto* headers = HeapArray<ZESPLINE>(n);
  scene->splines = headers;
  scene->nspline = 0;
  GscnSplines(data, s, n, scene, headers, [](int64_t bytes) { return static_cast<void*>(HeapArray<uint8_t>(bytes)); });
}

void ReadZeIFFUnknown(ZEFILE, int id) {
  ZeDebugMsg("Unknown block type %c%c%c%c", char(id), char(id >> 8), char(id >> 16), char(id >> 24));
}

// ---- the whole scene -----------------------------------------------------------

ZESCENE* ZeSceneLoad(const char* name) {
  // The name is lower-cased for the messages in a copy of its own.
  char lower[256];
  snprintf(lower, sizeof lower, "%s", name);
  for (char* c = lower; *c; c++)
    if (*c >= 'A' && *c <= 'Z') *c = char(*c - 'A' + 'a');
  const ZEFILE f = ZeFileOpen(name, 0);
  if (!f) {
    ZeDebugMsg("Failed to open scene file %s!", lower);
    return nullptr;
  }
  ZeDebugMsg("Reading scene file %s...", lower);
  const int outer = ZeFileBeginBlkRead(f, 0);
  auto* scene = HeapArray<ZESCENE>(1);
  if (outer == GscnBlkId("ZE20")) GSCN_FATAL("ZeScene no longer supported.");
  if (outer == GscnBlkId("GSC0")) {
    ZEGSCENE* body = HeapArray<ZEGSCENE>(1);
    body->portals.camroom = -1;
    scene->body = body;
    for (int id; (id = ZeFileBeginBlkRead(f, 0)) != 0; ZeFileEndBlkRead(f)) {
      if (id == GscnBlkId("MS00")) {
        ReadZeIFFMaterialSet(f, scene);
        body->mtls = scene->mtls;
        body->nmtl = scene->nmtl;
      } else if (id == GscnBlkId("TAS0")) {
        ReadZeIFFTexAnimSet(f, body, scene->texids);
      } else if (id == GscnBlkId("GST0")) {
        ReadZeIFFGobjSet(f, scene);
      } else if (id == GscnBlkId("SST0")) {
        ReadZeIFFSplineSet(f, body);
      } else if (id == GscnBlkId("TST0")) {
        ReadZeIFFTextureSet(f, scene);
        if (scene->ntex) {
          auto* ids = HeapArray<ZETEXID>(scene->ntex);
          for (int i = 0; i < scene->ntex; i++) ids[i] = scene->texids[i];
          body->texids = ids;
          body->ntex = scene->ntex;
        }
      } else if (id == GscnBlkId("ALIB")) {
        ZeSceneReadAnimLib(f, body);
      } else if (id == GscnBlkId("INID")) {
        body->nids = ReadCount(f, "instance ids", 65535);
        body->ids = HeapArray<int16_t>(body->nids);
        ReadExact(f, body->ids, int64_t(body->nids) * 2, "instance ids");
      } else if (id == GscnBlkId("NTBL")) {
        body->names = ReadZeIFFNameTable(f, &body->namesize);
      } else if (id == GscnBlkId("INST")) {
        ZEGSCNINST* insts;
        ZEGSCNINSTANIM* anims;
        body->ninst = ReadZeIFFInstSet(f, &insts, &anims);
        body->insts = insts;
        body->instanims = anims;
      } else {
        ReadZeIFFUnknown(f, id);
      }
    }
    if (scene->texids) ZeMemFreeTagged(scene->texids.get());
    scene->texids = nullptr;
    scene->ntex = 0;
    body->ngobj = scene->ngobj;
    body->gobjs = scene->gobjs;
    for (int i = 0; i < body->ninst; i++) {
      const ZEGSCNINST& inst = body->insts[i];
      if (inst.object < 0 || inst.object >= body->ngobj)
        GSCN_FATAL("Scene file damaged: instance %d names object %d of %d", i, inst.object, body->ngobj);
      if (inst.anim && body->animlib && inst.anim->anim >= body->nanimlib)
        GSCN_FATAL("Scene file damaged: instance %d names animation %d of %d", i, inst.anim->anim, body->nanimlib);
      body->insts[i].flags |= ZEGSCNINST_SEEN;
    }
    body->portals.ninst = body->ninst;
    body->portals.insts = body->insts;
  }
  ZeFileClose(f);
  return scene;
}

void ZeGSceneDestroy(ZEGSCENE* s) {
  ZeSceneFreeTexAnims(s);
  for (int i = 0; i < s->ntex; i++) ZeTexDestroy(s->texids[i]);
  for (int i = 0; i < s->nmtl; i++) ZeMtlDestroy(s->mtls[i]);
  for (int i = 0; i < s->ngobj; i++) ZeGobjDestroy(s->gobjs[i]);
  ZeSceneFreeAnimLib(s);
  for (void* p : {static_cast<void*>(s->texids.get()), static_cast<void*>(s->mtls.get()),
                  static_cast<void*>(s->gobjs.get()), static_cast<void*>(s->insts.get()),
                  static_cast<void*>(s->instanims.get()), static_cast<void*>(s->ids.get()),
                  static_cast<void*>(s->names.get()), static_cast<void*>(s->splinedata.get())})
    if (p) ZeMemFreeTagged(p);
  for (int i = 0; i < s->nspline && s->splines; i++)
    if (s->splines[i].points) ZeMemFreeTagged(s->splines[i].points.get());
  if (s->splines) ZeMemFreeTagged(s->splines.get());
  ZeMemFreeTagged(s);
}

void ZeSceneDestroy(ZESCENE* scene) {
  // The body owns the textures, materials and objects the working record
  // also lists: they are released once, through it.
  if (ZEGSCENE* body = scene->body) {
    ZeGSceneDestroy(body);
  } else {
    for (int i = 0; i < scene->ntex; i++) ZeTexDestroy(scene->texids[i]);
    for (int i = 0; i < scene->nmtl; i++) ZeMtlDestroy(scene->mtls[i]);
    for (int i = 0; i < scene->ngobj; i++) ZeGobjDestroy(scene->gobjs[i]);
    if (scene->mtls) ZeMemFreeTagged(scene->mtls.get());
    if (scene->gobjs) ZeMemFreeTagged(scene->gobjs.get());
  }
  if (scene->texids) ZeMemFreeTagged(scene->texids.get());
  ZeMemFreeTagged(scene);
}
