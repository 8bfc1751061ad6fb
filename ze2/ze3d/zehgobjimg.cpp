// Model memory images (".ghg"): the writer that lays a hierarchical
// object out as one block of pieces at offsets from its start, the reader
// that fixes an image in place in the caller's buffer, relocation into
// another buffer, and the debug duplicate and compare. Every offset, count
// and index of an image is checked against the image before anything is
// made from it: a damaged file is a fatal error naming it.
#include <cstdio>
#include <initializer_list>

#include "zegscn_local.h"

#define GHG_FATAL(...) GSCN_FATAL(__VA_ARGS__)

namespace {

constexpr int kHeader = int(sizeof(ZEGHGHEADER));
constexpr int kMaxTex = 4096, kMaxMtl = 4096, kMaxTexAnim = 4096;

int Up(int v, int a) { return (v + a - 1) & ~(a - 1); }
char* UpPtr(char* p, int a) { return reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(p) + uintptr_t(a - 1)) & ~uintptr_t(a - 1)); }

uint32_t& WordAt(void* base, int byte) { return *reinterpret_cast<uint32_t*>(static_cast<char*>(base) + byte); }

// ---- writing -----------------------------------------------------------------

// The working buffer's end while an image is written.
char* g_writeEnd = nullptr;

char* Room(char* image, char* at, int align, int64_t bytes) {
  char* p = image + Up(int(at - image), align);
  if (bytes < 0 || (g_writeEnd && bytes > g_writeEnd - p))
    GHG_FATAL("ZeGHGWrite - the working buffer is too small (%lld more bytes at %d)", static_cast<long long>(bytes),
              int(p - image));
  return p;
}

int32_t Off(const char* image, const void* p) { return p ? int32_t(static_cast<const char*>(p) - image) : 0; }

// Bytes of a sprite set's packets: its chunks and the closing ret tag.
int FaceOnBytes(const ZEFACEONGEOM* f) {
  int bytes = 16;
  for (int at = 0; at < f->count; at += ZECVT_CHUNK) {
    const int n = f->count - at < ZECVT_CHUNK ? f->count - at : ZECVT_CHUNK;
    if (f->style == 0) bytes += ZeCvtSizeDmaFaceOn(nullptr, n, 0, nullptr);
    else if (f->style == 1) bytes += ZeCvtSizeDmaFaceY(nullptr, n, 0, nullptr);
  }
  return bytes;
}

int IndexOfMtl(const ZEHGOBJ* obj, const ZEMTL* m) {
  for (int i = 0; i < obj->nmtl; i++)
    if (obj->mtls[i].get() == m) return i;
  return -1;
}

int IndexOfTex(const ZEHGOBJ* obj, ZETEXID id) {
  for (int i = 0; i < obj->ntex; i++)
    if (obj->texids[i] == id) return i;
  return -1;
}

int32_t NameOff(const ZEHGOBJ* obj, const char* name, int32_t names) {
  if (!name) return 0;
  const int64_t at = name - obj->names.get();
  if (!obj->names || at < 0 || at >= obj->namesize) GHG_FATAL("ZeGHGWrite - a name outside the name block");
  return names + int32_t(at);
}

char* WriteJointObjects(char* image, char* w, const ZEHGOBJ* obj, const EePtr<ZEGOBJ>* objs, int32_t* field) {
  if (!objs) return w;
  w = Room(image, w, 4, int64_t(obj->njoint) * 4);
  *field = Off(image, w);
  auto* table = reinterpret_cast<int32_t*>(w);
  w += obj->njoint * 4;
  for (int j = 0; j < obj->njoint; j++) w = ZeGHGWriteGobj(image, w, obj, objs[j], &table[j]);
  return w;
}

// ---- checking ----------------------------------------------------------------

struct Check {
  const char* image;
  int size;
  const char* name;
  const ZEGHGHEADER* h;
  mutable int64_t lastEnd = kHeader;

  [[noreturn]] void Fail(const char* what, int64_t v) const {
    GHG_FATAL("GHG file %s damaged: %s (%lld)", name, what, static_cast<long long>(v));
  }
  // A piece of bytes at off, aligned; off 0 is allowed only when bytes is 0.
  const char* Span(int64_t off, int64_t bytes, int align, const char* what) const {
    if (bytes < 0 || off < kHeader || off > size || bytes > size - off || (off & (align - 1))) Fail(what, off);
    return image + off;
  }
  template <class T>
  const T* Rec(int64_t off, int64_t n, int align, const char* what) const {
    return reinterpret_cast<const T*>(Span(off, n * int64_t(sizeof(T)), align, what));
  }
  void Count(int64_t n, int64_t max, const char* what) const {
    if (n < 0 || n > max) Fail(what, n);
  }
  void Index(int64_t v, int64_t n, const char* what) const {
    if (v < 0 || v >= n) Fail(what, v);
  }
  // A name: 0, or inside the name block with its terminating zero there.
  void Name(uint32_t off, const char* what) const {
    if (!off) return;
    if (off < uint32_t(h->names) || off >= uint32_t(h->names) + uint32_t(h->namesize)) Fail(what, off);
    if (!memchr(image + off, 0, size_t(h->names + h->namesize - int64_t(off)))) Fail(what, off);
  }
  void Text(uint32_t off, const char* what) const {
    if (!off) return;
    Span(off, 1, 1, what);
    const void* zero = memchr(image + off, 0, size_t(size - int64_t(off)));
    if (!zero) Fail(what, off);
    Claim(off, static_cast<const char*>(zero) + 1 - (image + off), what);
  }
  // A packet chain: cnt tags with their data, ended by a ret tag, in the image.
  int64_t Packets(int64_t off, const char* what) const {
    for (int64_t at = off;;) {
      const uint32_t* t = reinterpret_cast<const uint32_t*>(Span(at, 16, 16, what));
      const uint32_t id = (t[0] >> 28) & 7, qwc = t[0] & 0xffff;
      if (id == 6) return at + 16 - off;
      if (id != 1) Fail(what, at);
      at += 16 + int64_t(qwc) * 16;
    }
  }
  // Pieces the fix-up writes to are claimed in the order the writer lays
  // them down: each must start after the end of the one before, so that no
  // piece is fixed twice or through another.
  void Claim(int64_t off, int64_t bytes, const char* what) const {
    if (off < lastEnd) Fail(what, off);
    lastEnd = off + bytes;
  }
  const char* Piece(int64_t off, int64_t bytes, int align, const char* what) const {
    const char* p = Span(off, bytes, align, what);
    Claim(off, bytes, what);
    return p;
  }
  // A skin instance: tags up to its ret; calls land inside the image.
  // Returns its bytes.
  int64_t SkinInst(int64_t off) const {
    for (int64_t at = off;; at += 16) {
      const uint32_t* t = reinterpret_cast<const uint32_t*>(Span(at, 16, 16, "skin instance"));
      const uint32_t kind = t[0] >> 24;
      if (kind == 0x60) return at + 16 - off;
      if (kind == 0x50) {
        const int64_t target = off + int64_t(int32_t(t[1]));
        Span(target, 16, 16, "skin instance call");
      }
    }
  }
  void Chain(uint32_t off) const {
    char* img = const_cast<char*>(image);
    for (; off; off = WordAt(img, int(off) + 76)) {
      Span(off, ZEGOBJ_IMAGE_BYTES, 4, "object");
      Claim(off, ZEGOBJ_IMAGE_BYTES, "object chain");
      for (uint32_t g = WordAt(img, int(off) + 12); g; g = Rec<ZEGHGGEOM>(g, 1, 4, "geometry")->next) {
        const ZEGHGGEOM* s = Rec<ZEGHGGEOM>(g, 1, 4, "geometry");
        Claim(g, 16, "geometry chain");
        Index(s->mtl, h->nmtl, "geometry material");
        if (s->packets) Claim(s->packets, Packets(s->packets, "geometry packets"), "geometry packets");
        if (s->skininst) Claim(s->skininst, SkinInst(s->skininst), "skin instance");
      }
      for (uint32_t f = WordAt(img, int(off) + 16); f; f = WordAt(img, int(f))) {
        Span(f, ZEGHG_FACEON_BYTES, 4, "sprite set");
        Claim(f, ZEGHG_FACEON_BYTES, "sprite set chain");
        Index(WordAt(img, int(f) + 8), h->nmtl, "sprite set material");
        if (const uint32_t p = WordAt(img, int(f) + 28)) Claim(p, Packets(p, "sprite packets"), "sprite packets");
      }
    }
  }
  void JointObjects(uint32_t off) const {
    if (!off) return;
    const uint32_t* t = Rec<uint32_t>(off, h->njoint, 4, "joint objects");
    Claim(off, int64_t(h->njoint) * 4, "joint objects");
    for (int j = 0; j < h->njoint; j++) Chain(t[j]);
  }
  // The records, then their pools in the writer's order: all ellipsoids,
  // all cylinders, all mesh records, all mesh arrays.
  void Shadows() const {
    const int64_t limit = (size - h->shadows) / 16;
    int64_t n = 0;
    while (true) {
      if (n >= limit) Fail("shadow records without an end", n);
      if (Rec<ZEHGOBJSHADOW>(h->shadows + n * 16, 1, 16, "shadow record")->joint == ZEHGOBJ_NOJOINT) break;
      n++;
    }
    const ZEHGOBJSHADOW* r = Rec<ZEHGOBJSHADOW>(h->shadows, n + 1, 16, "shadow record");
    Claim(h->shadows, (n + 1) * 16, "shadow records");
    for (int64_t i = 0; i < n; i++) {
      Index(r[i].joint, h->njoint, "shadow joint");
      if (r[i].nellipsoid) Piece(r[i].ellipsoids.addr, int64_t(r[i].nellipsoid) * ZEHGOBJ_ELLIPSOID, 16, "shadow ellipsoids");
    }
    for (int64_t i = 0; i < n; i++)
      if (r[i].ncylinder) Piece(r[i].cylinders.addr, int64_t(r[i].ncylinder) * ZEHGOBJ_CYLINDER, 16, "shadow cylinders");
    for (int64_t i = 0; i < n; i++)
      if (r[i].nmesh) Piece(r[i].meshes.addr, int64_t(r[i].nmesh) * 8, 16, "shadow meshes");
    for (int64_t i = 0; i < n; i++) {
      const auto* m = reinterpret_cast<const ZESHADMESH*>(image + r[i].meshes.addr);
      for (int k = 0; k < r[i].nmesh; k++) {
        // The first vertex's w counts the polygons, each polygon its vertices.
        const uint32_t* v = Rec<uint32_t>(m[k].vertices.addr, 4, 16, "shadow mesh");
        const int64_t np = v[3];
        Count(np, size / 16, "shadow mesh records");
        const uint32_t* poly = reinterpret_cast<const uint32_t*>(Piece(m[k].polygons.addr, np * 16, 16, "shadow mesh"));
        int64_t nv = 0;
        for (int64_t j = 0; j < np; j++) nv += poly[j * 4 + 3];
        Count(nv, size / 16, "shadow mesh records");
        Piece(m[k].vertices.addr, nv * 16, 16, "shadow mesh");
      }
    }
  }

  void All() const {
    Count(h->ntex, kMaxTex, "texture count");
    if (h->ntex) {
      const int32_t* t = Rec<int32_t>(h->textable, h->ntex, 4, "texture table");
      Claim(h->textable, int64_t(h->ntex) * 4, "texture table");
      for (int i = 0; i < h->ntex; i++) Span(t[i], 16, 16, "texture");
    }
    Count(h->nmtl, kMaxMtl, "material count");
    if (h->nmtl) {
      const int32_t* t = Rec<int32_t>(h->mtltable, h->nmtl, 4, "material table");
      Claim(h->mtltable, int64_t(h->nmtl) * 4, "material table");
      for (int i = 0; i < h->nmtl; i++) {
        char* m = const_cast<char*>(Span(t[i], ZEGHG_MTL_BYTES, 16, "material"));
        Claim(t[i], ZEGHG_MTL_BYTES, "material");
        Count(int32_t(WordAt(m, ZEGHG_MTL_TEXTURE)), h->ntex, "material texture");
        const int32_t chain = int32_t(WordAt(m, ZEGHG_MTL_CHAIN));
        if (chain != -1) Count(chain, h->nmtl, "material chain");
      }
    }
    Count(h->namesize, size, "name block size");
    if (h->namesize) Piece(h->names, h->namesize, 1, "name block");
    Count(h->njoint, 255, "joint count");
    Count(h->jointmapsize, 255, "joint map size");
    Count(h->pointmapsize, 255, "point map size");
    Count(h->npoint, 255, "point count");
    Count(h->nlayer, 255, "layer count");
    if (h->njoint) {
      const ZEJOINT* j = Rec<ZEJOINT>(h->joints, h->njoint, 16, "joints");
      Claim(h->joints, int64_t(h->njoint) * 96, "joints");
      Piece(h->restmtx, int64_t(h->njoint) * 64, 16, "rest matrices");
      Piece(h->skinmtx, int64_t(h->njoint) * 64, 16, "skin offset matrices");
      for (int i = 0; i < h->njoint; i++) {
        if (j[i].parent != ZEHGOBJ_NOJOINT && j[i].parent >= i) Fail("joint parent", j[i].parent);
        Name(j[i].name.addr, "joint name");
      }
    }
    if (h->jointmapsize) {
      const uint8_t* m = reinterpret_cast<const uint8_t*>(Piece(h->jointmap, h->jointmapsize, 1, "joint map"));
      for (int i = 0; i < h->jointmapsize; i++)
        if (m[i] != ZEHGOBJ_NOJOINT) Index(m[i], h->njoint, "joint map entry");
    }
    if (h->pointmapsize) {
      const uint8_t* m = reinterpret_cast<const uint8_t*>(Piece(h->pointmap, h->pointmapsize, 1, "point map"));
      for (int i = 0; i < h->pointmapsize; i++)
        if (m[i] != ZEHGOBJ_NOJOINT) Index(m[i], h->npoint, "point map entry");
    }
    if (h->npoint) {
      const ZEPOI* p = Rec<ZEPOI>(h->points, h->npoint, 16, "points");
      Claim(h->points, int64_t(h->npoint) * 80, "points");
      for (int i = 0; i < h->npoint; i++) {
        Index(p[i].joint, h->njoint, "point joint");
        Name(p[i].name.addr, "point name");
      }
    }
    if (h->nlayer) {
      const ZEHGOBJLAYER* l = Rec<ZEHGOBJLAYER>(h->layers, h->nlayer, 4, "layers");
      Claim(h->layers, int64_t(h->nlayer) * 20, "layers");
      for (int i = 0; i < h->nlayer; i++) {
        Text(l[i].name.addr, "layer name");
        JointObjects(l[i].objects.addr);
        JointObjects(l[i].objects2.addr);
        Chain(l[i].skin.addr);
        Chain(l[i].skin2.addr);
      }
    }
    if (h->collision) {
      const ZEHGOBJCOLL* c = Rec<ZEHGOBJCOLL>(h->collision, 1, 4, "collision");
      Claim(h->collision, 8, "collision");
      Count(c->count, size / 8, "collision entries");
      if (c->count) {
        const ZEHGOBJCOLLENTRY* e = Rec<ZEHGOBJCOLLENTRY>(c->entries.addr, c->count, 4, "collision entries");
        Claim(c->entries.addr, int64_t(c->count) * 8, "collision entries");
        for (uint32_t i = 0; i < c->count; i++) {
          if (!e[i].shape) continue;
          const auto* s = reinterpret_cast<const ZEHGOBJCOLLSPHERE*>(Piece(e[i].shape.addr, 20, 4, "collision shape"));
          if (e[i].type == ZEHGOBJCOLL_SPHERE) Index(s->joint, h->njoint, "collision joint");
        }
      } else if (c->entries) {
        Fail("collision entries", c->entries.addr);
      }
    }
    Count(h->ntexanim, kMaxTexAnim, "texture animation count");
    if (h->ntexanim) {
      const char* a = Span(h->texanims, int64_t(h->ntexanim) * ZEGHG_TEXANIM_BYTES, 16, "texture animations");
      Claim(h->texanims, int64_t(h->ntexanim) * ZEGHG_TEXANIM_BYTES, "texture animations");
      for (int i = 0; i < h->ntexanim; i++) {
        char* r = const_cast<char*>(a) + i * ZEGHG_TEXANIM_BYTES;
        const int n = *reinterpret_cast<int16_t*>(r + 12);
        Count(n, 32767, "texture animation list");
        const uint16_t* list = Rec<uint16_t>(WordAt(r, 8), n, 2, "texture animation list");
        if (n) Claim(WordAt(r, 8), int64_t(n) * 2, "texture animation list");
        for (int k = 0; k < n; k++) Index(list[k], h->ntex, "texture animation frame");
        Index(int32_t(WordAt(r, 16)), h->nmtl, "texture animation material");
        Name(WordAt(r, 24), "texture animation name");
        Name(WordAt(r, 28), "texture animation program");
      }
    }
    if (h->shadows) Shadows();
  }
};

// ---- fixing --------------------------------------------------------------------

// One pass over every link of an image, for reading (old == 0: links are
// offsets from the image start) and for relocation (links are pointers into
// the old extent at old).
struct Fix {
  char* image;
  uint32_t old;
  const ZEHGOBJ* obj;
  const ZETEXID* oldids;  // relocation: the old texture ids by position

  uint32_t At(uint32_t v) const { return old ? v - old : v; }
  void Link(uint32_t& f) const {
    if (f) f = EeAddrOf(image) + At(f);
  }
  template <class T>
  void Link(EePtr<T>& p) const {
    Link(p.addr);
  }
  ZETEXID NewTex(int32_t word) const {
    if (!old) return word ? obj->texids[word - 1] : 0;
    for (int i = 0; i < obj->ntex; i++)
      if (oldids[i] == word && word) return obj->texids[i];
    return 0;
  }

  void Chain(EePtr<ZEGOBJ>& first) const {
    Link(first);
    for (ZEGOBJ* o = first; o; o = o->chain) {
      Link(o->geometries);
      for (ZEGEOM* g = o->geometries; g; g = g->next) {
        auto* s = reinterpret_cast<ZEGHGGEOM*>(g);
        if (old) Link(WordAt(s, 4));
        else s->mtl = int32_t(obj->mtls[s->mtl].addr);
        Link(WordAt(s, 8));
        if (s->skininst) {
          Link(WordAt(s, 12));
          if (old) ZeCvtSknInstRelocate(reinterpret_cast<void*>(uintptr_t(uint32_t(s->skininst))), int(EeAddrOf(image) - old));
          else ZeCvtSknInstFix(reinterpret_cast<void*>(uintptr_t(uint32_t(s->skininst))));
        }
        Link(WordAt(s, 0));
      }
      Link(o->faceons);
      for (ZEFACEONGEOM* f = o->faceons; f; f = f->next) {
        if (old) Link(f->mtl);
        else f->mtl = obj->mtls[f->mtlindex];
        Link(f->dma);
        Link(f->next);
      }
      Link(o->chain);
    }
  }
  void JointObjects(EePtr<EePtr<ZEGOBJ>>& arr) const {
    Link(arr);
    for (int j = 0; arr && j < obj->njoint; j++) Chain(arr[j]);
  }
};

ZEHGOBJ* PlaceRecord(char** cursor) {
  *cursor = UpPtr(*cursor, 16);
  auto* obj = reinterpret_cast<ZEHGOBJ*>(*cursor);
  memset(static_cast<void*>(obj), 0, sizeof(ZEHGOBJ));
  obj->imagetag = ZEHGOBJ_TAG_IMAGE;
  *cursor += sizeof(ZEHGOBJ);
  return obj;
}

template <class T>
T* Carve(char** cursor, int n) {
  *cursor = UpPtr(*cursor, 4);
  auto* p = reinterpret_cast<T*>(*cursor);
  memset(static_cast<void*>(p), 0, size_t(n) * sizeof(T));
  *cursor += size_t(n) * sizeof(T);
  return p;
}

// The room behind an image of size bytes at image: the record, the id and
// material arrays and the texture-animation environments.
int64_t Behind(const ZEGHGHEADER* h) {
  int64_t r = 16 + int64_t(sizeof(ZEHGOBJ)) + 4 + int64_t(h->ntex) * 4 + 4 + int64_t(h->nmtl) * 4;
  r += int64_t(h->ntexanim) * (16 + Up(int(sizeof(ZETEXANIMENV)), 4)) + 16;
  return r;
}

// Builds the record, textures, materials and links of an image at image,
// whose links are offsets (old 0) or pointers into the old extent.
ZEHGOBJ* Build(char* image, char** cursor, uint32_t old, const ZETEXID* oldids) {
  const auto* h = reinterpret_cast<const ZEGHGHEADER*>(image);
  ZEHGOBJ* obj = PlaceRecord(cursor);
  Fix fx = {image, old, obj, oldids};
  obj->ntex = h->ntex;
  if (h->ntex) {
    auto* ids = Carve<ZETEXID>(cursor, h->ntex);
    obj->texids = ids;
    const auto* table = reinterpret_cast<const int32_t*>(image + h->textable);
    for (int i = 0; i < h->ntex; i++) {
      ids[i] = ZeTexCreateNativeEx(image + table[i], h->size - table[i]);
      if (!ids[i]) GHG_FATAL("GHG image: texture %d could not be made", i);
    }
  }
  obj->nmtl = h->nmtl;
  if (h->nmtl) {
    auto* mtls = Carve<EePtr<ZEMTL>>(cursor, h->nmtl);
    obj->mtls = mtls;
    const auto* table = reinterpret_cast<const int32_t*>(image + h->mtltable);
    for (int i = 0; i < h->nmtl; i++) mtls[i] = reinterpret_cast<ZEMTL*>(image + table[i]);
    for (int i = 0; i < h->nmtl; i++) {
      ZEMTL* m = mtls[i];
      m->texture = fx.NewTex(int32_t(m->texture));
      ZeDisableVBlank();
      const uint32_t keep = m->chain.addr;
      ZeMtlAddEx(m, 0);
      m->chain.addr = keep;
      if (!ZeMtlReadEvent || ZeMtlReadEvent(m) == 0) ZeMtlUpdate(m);
      ZeEnableVBlank();
    }
    for (int i = 0; i < h->nmtl; i++) {
      ZEMTL* m = mtls[i];
      const int32_t v = int32_t(m->chain.addr);
      if (old) fx.Link(m->chain);
      else m->chain = v >= 1 && v <= 65535 ? mtls[v - 1].get() : nullptr;
    }
  }
  *cursor = UpPtr(*cursor, 16);
  obj->njoint = uint8_t(h->njoint);
  obj->jointmapsize = uint8_t(h->jointmapsize);
  obj->nlayer = uint8_t(h->nlayer);
  obj->npoint = uint8_t(h->npoint);
  obj->pointmapsize = uint8_t(h->pointmapsize);
  obj->namesize = h->namesize;
  obj->sphere_radius = h->sphere_radius;
  obj->sphere_height = h->sphere_height;
  obj->boxmin = h->boxmin;
  obj->boxmax = h->boxmax;
  obj->cyl_base = h->cyl_base;
  obj->cyl_height = h->cyl_height;
  obj->cyl_radius = h->cyl_radius;
  obj->extra = h->extra;
  auto at = [&](int32_t off) { return off ? image + off : nullptr; };
  obj->names = at(h->names);
  obj->joints = reinterpret_cast<ZEJOINT*>(at(h->joints));
  obj->restmtx = reinterpret_cast<ZEMTX*>(at(h->restmtx));
  obj->skinmtx = reinterpret_cast<ZEMTX*>(at(h->skinmtx));
  obj->jointmap = reinterpret_cast<uint8_t*>(at(h->jointmap));
  for (int j = 0; j < h->njoint; j++) fx.Link(obj->joints[j].name);
  if (h->pointmapsize) obj->pointmap = reinterpret_cast<uint8_t*>(at(h->pointmap));
  if (h->npoint) {
    obj->points = reinterpret_cast<ZEPOI*>(at(h->points));
    for (int p = 0; p < h->npoint; p++) fx.Link(obj->points[p].name);
  }
  obj->layers = reinterpret_cast<ZEHGOBJLAYER*>(at(h->layers));
  for (int l = 0; l < h->nlayer; l++) {
    ZEHGOBJLAYER& layer = obj->layers[l];
    fx.Link(layer.name);
    fx.JointObjects(layer.objects);
    fx.JointObjects(layer.objects2);
    fx.Chain(layer.skin);
    fx.Chain(layer.skin2);
  }
  if (h->collision) {
    auto* c = reinterpret_cast<ZEHGOBJCOLL*>(image + h->collision);
    obj->collision = c;
    fx.Link(c->entries);
    for (uint32_t i = 0; i < c->count; i++) fx.Link(c->entries[i].shape);
  }
  if (h->ntexanim) {
    auto* recs = reinterpret_cast<ZETEXANIM*>(image + h->texanims);
    for (int i = 0; i < h->ntexanim; i++) {
      ZETEXANIM& a = recs[i];
      a.next = a.prev = nullptr;
      fx.Link(a.texids);
      for (int k = 0; k < a.ntex; k++) a.texids[k] = int16_t(old ? fx.NewTex(a.texids[k]) : obj->texids[uint16_t(a.texids[k])]);
      if (old) fx.Link(a.mtl);
      else a.mtl = obj->mtls[a.mtl.addr];
      fx.Link(a.name);
      fx.Link(a.progname);
      ZETEXANIMPROG* prog = a.progname ? ZeTexAnimProgFind(a.progname) : nullptr;
      *cursor = UpPtr(*cursor, 16);
      a.env = ZeTexAnimEnvCreate(cursor, a.mtl, a.texids, prog, a.ntex);
    }
    for (int i = 0; i < h->ntexanim; i++) {
      recs[i].prev = i ? recs + i - 1 : nullptr;
      recs[i].next = i + 1 < h->ntexanim ? recs + i + 1 : nullptr;
    }
    obj->texanims = recs;
    obj->ntexanim = h->ntexanim;
    ZeTexAnimAddList(recs);
  }
  if (h->shadows) {
    auto* s = reinterpret_cast<ZEHGOBJSHADOW*>(image + h->shadows);
    obj->shadows = s;
    for (; s->joint != ZEHGOBJ_NOJOINT; s++) {
      if (s->nellipsoid) fx.Link(s->ellipsoids);
      if (s->ncylinder) fx.Link(s->cylinders);
      if (s->nmesh) {
        fx.Link(s->meshes);
        for (int m = 0; m < s->nmesh; m++) {
          fx.Link(s->meshes[m].polygons);
          fx.Link(s->meshes[m].vertices);
        }
      }
    }
  }
  *cursor = UpPtr(*cursor, 16);
  return obj;
}

}  // namespace

// ---- the object chains ---------------------------------------------------------

char* ZeGHGWriteGobj(char* image, char* w, const ZEHGOBJ* obj, ZEGOBJ* chain, int32_t* offset) {
  *offset = 0;
  int32_t* link = offset;
  for (ZEGOBJ* o = chain; o; o = o->chain) {
    w = Room(image, w, 4, ZEGOBJ_IMAGE_BYTES);
    char* rec = w;
    memcpy(rec, o, ZEGOBJ_IMAGE_BYTES);
    *link = Off(image, rec);
    w += ZEGOBJ_IMAGE_BYTES;
    WordAt(rec, 12) = WordAt(rec, 16) = WordAt(rec, 76) = 0;
    int32_t* glink = reinterpret_cast<int32_t*>(rec + 12);
    for (ZEGEOM* g = o->geometries; g; g = g->next) {
      w = Room(image, w, 4, 16);
      auto* s = reinterpret_cast<ZEGHGGEOM*>(w);
      *s = {0, g->mtl ? IndexOfMtl(obj, g->mtl) : g->mtlindex, 0, 0};
      if (s->mtl < 0) GHG_FATAL("ZeGHGWrite - a geometry's material is not the object's");
      *glink = Off(image, s);
      glink = &s->next;
      w += 16;
      if (g->dmastream) {
        w = Room(image, w, 16, g->dmalen);
        memcpy(w, g->dmastream.get(), size_t(g->dmalen));
        s->packets = Off(image, w);
        w += g->dmalen;
      }
      if (g->skininst) {
        w = Room(image, w, 16, g->dmalen);
        ZeCvtSknInstUnFix(g->skininst);
        memcpy(w, g->skininst.get(), size_t(g->dmalen));
        ZeCvtSknInstFix(g->skininst);
        s->skininst = Off(image, w);
        w += g->dmalen;
      }
    }
    int32_t* flink = reinterpret_cast<int32_t*>(rec + 16);
    for (ZEFACEONGEOM* f = o->faceons; f; f = f->next) {
      w = Room(image, w, 4, ZEGHG_FACEON_BYTES);
      char* c = w;
      memcpy(c, f, ZEGHG_FACEON_BYTES);
      WordAt(c, 0) = WordAt(c, 28) = 0;
      WordAt(c, 8) = uint32_t(f->mtl ? IndexOfMtl(obj, f->mtl) : f->mtlindex);
      *flink = Off(image, c);
      flink = reinterpret_cast<int32_t*>(c);
      w += ZEGHG_FACEON_BYTES;
      if (f->dma) {
        // Each set's own length: the packet builder's table holds only the
        // last object built.
        const int bytes = FaceOnBytes(f);
        w = Room(image, w, 16, bytes);
        memcpy(w, f->dma.get(), size_t(bytes));
        WordAt(c, 28) = uint32_t(Off(image, w));
        w += bytes;
      }
    }
    link = reinterpret_cast<int32_t*>(rec + 76);
  }
  return w;
}

void ZeGHGFixupGobj(char* image, ZEGOBJ* chain, const ZEHGOBJ* obj) {
  if (!image || !chain) return;
  Fix fx = {image, 0, obj, nullptr};
  // The chain's first object is already a pointer: fix from its links on.
  EePtr<ZEGOBJ> first;
  first.addr = uint32_t(reinterpret_cast<char*>(chain) - image);
  fx.Chain(first);
}

void ZeGHGRelocateGobj(char* newstart, char* oldstart, ZEGOBJ* chain) {
  if (!chain) return;
  Fix fx = {newstart, EeAddrOf(oldstart), nullptr, nullptr};
  EePtr<ZEGOBJ> first;
  first.addr = EeAddrOf(oldstart) + uint32_t(reinterpret_cast<char*>(chain) - newstart);
  fx.Chain(first);
}

// ---- writing ---------------------------------------------------------------------

void ZeGHGWrite(const ZEHGOBJ* obj, const char* name, int worksize) {
  if (worksize < kHeader) return;
  auto* image = static_cast<char*>(ZeMemAllocTagged(worksize));
  if (!image) return;
  memset(image, 0, size_t(worksize));
  g_writeEnd = image + worksize;
  auto* h = reinterpret_cast<ZEGHGHEADER*>(image);
  char* w = image + kHeader;
  h->version = ZEGHG_VERSION;
  h->ntex = obj->ntex;
  if (obj->ntex) {
    w = Room(image, w, 4, int64_t(obj->ntex) * 4);
    h->textable = Off(image, w);
    w += obj->ntex * 4;
    for (int i = 0; i < obj->ntex; i++) {
      w = Room(image, w, 16, 16);
      const int n = ZeTexRecoverNativeData(obj->texids[i], w, int(g_writeEnd - w));
      if (n <= 0) GHG_FATAL("ZeGHGWrite - texture %d could not be recovered", i);
      WordAt(image, h->textable + i * 4) = uint32_t(Off(image, w));
      w += n;
    }
  }
  ZeDebugMsg("Written Textures %d", int(w - image));
  h->nmtl = obj->nmtl;
  if (obj->nmtl) {
    w = Room(image, w, 4, int64_t(obj->nmtl) * 4);
    h->mtltable = Off(image, w);
    w += obj->nmtl * 4;
    for (int i = 0; i < obj->nmtl; i++) {
      w = Room(image, w, 16, ZEGHG_MTL_BYTES);
      const ZEMTL* m = obj->mtls[i];
      memcpy(w, m, ZEGHG_MTL_BYTES);
      memset(w, 0, ZEGHG_MTL_STATE);
      WordAt(w, ZEGHG_MTL_NEXT) = WordAt(w, ZEGHG_MTL_PREV) = WordAt(w, ZEGHG_MTL_WORD448) = 0;
      WordAt(w, ZEGHG_MTL_CHAIN) = m->chain ? uint32_t(IndexOfMtl(obj, m->chain) + 1) : 0;
      WordAt(w, ZEGHG_MTL_TEXTURE) = m->texture ? uint32_t(IndexOfTex(obj, m->texture) + 1) : 0;
      WordAt(image, h->mtltable + i * 4) = uint32_t(Off(image, w));
      w += ZEGHG_MTL_BYTES;
    }
  }
  ZeDebugMsg("Written Materials %d", int(w - image));
  h->namesize = obj->namesize;
  if (obj->namesize) {
    w = Room(image, w, 1, obj->namesize);
    memcpy(w, obj->names.get(), size_t(obj->namesize));
    h->names = Off(image, w);
    w += obj->namesize;
  }
  ZeDebugMsg("Written String %d", int(w - image));
  h->njoint = obj->njoint;
  if (obj->njoint) {
    w = Room(image, w, 16, int64_t(obj->njoint) * 96);
    h->joints = Off(image, w);
    for (int j = 0; j < obj->njoint; j++, w += 96) {
      auto* jr = reinterpret_cast<ZEJOINT*>(w);
      memcpy(w, &obj->joints[j], 82);
      jr->name.addr = uint32_t(NameOff(obj, obj->joints[j].name, h->names));
    }
    for (const ZEMTX* src : {obj->restmtx.get(), obj->skinmtx.get()}) {
      w = Room(image, w, 16, int64_t(obj->njoint) * 64);
      (src == obj->restmtx.get() ? h->restmtx : h->skinmtx) = Off(image, w);
      memcpy(w, src, size_t(obj->njoint) * 64);
      w += obj->njoint * 64;
    }
  }
  h->jointmapsize = obj->jointmapsize;
  if (obj->jointmapsize) {
    w = Room(image, w, 1, obj->jointmapsize);
    memcpy(w, obj->jointmap.get(), obj->jointmapsize);
    h->jointmap = Off(image, w);
    w += obj->jointmapsize;
  }
  ZeDebugMsg("Written Joints %d", int(w - image));
  h->pointmapsize = obj->pointmapsize;
  if (obj->pointmapsize) {
    w = Room(image, w, 1, obj->pointmapsize);
    memcpy(w, obj->pointmap.get(), obj->pointmapsize);
    h->pointmap = Off(image, w);
    w += obj->pointmapsize;
  }
  h->npoint = obj->npoint;
  if (obj->npoint) {
    w = Room(image, w, 16, int64_t(obj->npoint) * 80);
    h->points = Off(image, w);
    for (int p = 0; p < obj->npoint; p++, w += 80) {
      memcpy(w, &obj->points[p], 69);
      reinterpret_cast<ZEPOI*>(w)->name.addr = uint32_t(NameOff(obj, obj->points[p].name, h->names));
    }
  }
  ZeDebugMsg("Written Points of interest %d", int(w - image));
  h->nlayer = obj->nlayer;
  if (obj->nlayer) {
    w = Room(image, w, 4, int64_t(obj->nlayer) * 20);
    h->layers = Off(image, w);
    w += obj->nlayer * 20;
    for (int l = 0; l < obj->nlayer; l++) {
      const ZEHGOBJLAYER& layer = obj->layers[l];
      auto* rec = reinterpret_cast<int32_t*>(image + h->layers + l * 20);
      if (layer.name) {
        const int64_t n = int64_t(strlen(layer.name)) + 1;
        w = Room(image, w, 1, n);
        memcpy(w, layer.name.get(), size_t(n));
        rec[0] = Off(image, w);
        w += n;
      }
      w = WriteJointObjects(image, w, obj, layer.objects, &rec[1]);
      w = WriteJointObjects(image, w, obj, layer.objects2, &rec[3]);
      w = ZeGHGWriteGobj(image, w, obj, layer.skin, &rec[2]);
      w = ZeGHGWriteGobj(image, w, obj, layer.skin2, &rec[4]);
      ZeDebugMsg("Written Layer(%d) %d", l, int(w - image));
    }
  }
  if (const ZEHGOBJCOLL* c = obj->collision) {
    w = Room(image, w, 4, 8 + int64_t(c->count) * 8);
    h->collision = Off(image, w);
    auto* head = reinterpret_cast<ZEHGOBJCOLL*>(w);
    head->count = c->count;
    w += 8;
    auto* e = reinterpret_cast<ZEHGOBJCOLLENTRY*>(w);
    head->entries.addr = c->count ? uint32_t(Off(image, e)) : 0;
    w += c->count * 8;
    for (uint32_t i = 0; i < c->count; i++) {
      e[i].type = c->entries[i].type;
      e[i].shape = nullptr;
      if (c->entries[i].type != ZEHGOBJCOLL_SPHERE || !c->entries[i].shape) continue;
      w = Room(image, w, 4, 20);
      memcpy(w, c->entries[i].shape.get(), 20);
      e[i].shape.addr = uint32_t(Off(image, w));
      w += 20;
    }
  }
  h->ntexanim = obj->ntexanim;
  if (obj->ntexanim) {
    w = Room(image, w, 16, int64_t(obj->ntexanim) * 32);
    h->texanims = Off(image, w);
    char* recs = w;
    w += obj->ntexanim * 32;
    for (int i = 0; i < obj->ntexanim; i++) {
      const ZETEXANIM& a = obj->texanims[i];
      char* r = recs + i * 32;
      w = Room(image, w, 2, int64_t(a.ntex) * 2);
      WordAt(r, 8) = uint32_t(Off(image, w));
      *reinterpret_cast<int16_t*>(r + 12) = a.ntex;
      for (int k = 0; k < a.ntex; k++) {
        const int ix = IndexOfTex(obj, a.texids[k]);
        if (ix < 0) GHG_FATAL("ZeGHGWrite - a texture animation frame is not the object's");
        reinterpret_cast<uint16_t*>(w)[k] = uint16_t(ix);
      }
      w += a.ntex * 2;
      const int m = IndexOfMtl(obj, a.mtl);
      if (m < 0) GHG_FATAL("ZeGHGWrite - a texture animation's material is not the object's");
      WordAt(r, 16) = uint32_t(m);
      WordAt(r, 24) = uint32_t(NameOff(obj, a.name, h->names));
      WordAt(r, 28) = uint32_t(NameOff(obj, a.progname, h->names));
    }
  }
  ZeDebugMsg("Written animated textures %d", int(w - image));
  if (const ZEHGOBJSHADOW* s = obj->shadows) {
    int n = 0;
    while (s[n].joint != ZEHGOBJ_NOJOINT) n++;
    w = Room(image, w, 16, int64_t(n + 1) * 16);
    h->shadows = Off(image, w);
    auto* out = reinterpret_cast<ZEHGOBJSHADOW*>(w);
    memcpy(out, s, size_t(n + 1) * 16);
    w += (n + 1) * 16;
    for (int i = 0; i <= n; i++) out[i].ellipsoids.addr = out[i].cylinders.addr = out[i].meshes.addr = 0;
    auto pool = [&](int align) { w = Room(image, w, align, 0); };
    pool(16);
    for (int i = 0; i < n; i++)
      if (s[i].nellipsoid) {
        w = Room(image, w, 16, s[i].nellipsoid * ZEHGOBJ_ELLIPSOID);
        memcpy(w, s[i].ellipsoids.get(), size_t(s[i].nellipsoid) * ZEHGOBJ_ELLIPSOID);
        out[i].ellipsoids.addr = uint32_t(Off(image, w));
        w += s[i].nellipsoid * ZEHGOBJ_ELLIPSOID;
      }
    pool(16);
    for (int i = 0; i < n; i++)
      if (s[i].ncylinder) {
        w = Room(image, w, 16, s[i].ncylinder * ZEHGOBJ_CYLINDER);
        memcpy(w, s[i].cylinders.get(), size_t(s[i].ncylinder) * ZEHGOBJ_CYLINDER);
        out[i].cylinders.addr = uint32_t(Off(image, w));
        w += s[i].ncylinder * ZEHGOBJ_CYLINDER;
      }
    pool(16);
    for (int i = 0; i < n; i++)
      if (s[i].nmesh) {
        w = Room(image, w, 16, s[i].nmesh * 8);
        out[i].meshes.addr = uint32_t(Off(image, w));
        w += s[i].nmesh * 8;
      }
    pool(16);
    for (int i = 0; i < n; i++)
      for (int m = 0; m < s[i].nmesh; m++) {
        const ZESHADMESH& src = s[i].meshes[m];
        // The counts the meshes carry give each array's length.
        const int64_t np = src.vertices ? WordAt(src.vertices.get(), 12) : 0;
        int64_t nv = 0;
        for (int64_t k = 0; k < np; k++) nv += WordAt(src.polygons.get(), int(k * 16 + 12));
        auto* dst = reinterpret_cast<ZESHADMESH*>(image + out[i].meshes.addr) + m;
        w = Room(image, w, 16, np * 16);
        memcpy(w, src.polygons.get(), size_t(np) * 16);
        dst->polygons.addr = uint32_t(Off(image, w));
        w += np * 16;
        w = Room(image, w, 16, nv * 16);
        memcpy(w, src.vertices.get(), size_t(nv) * 16);
        dst->vertices.addr = uint32_t(Off(image, w));
        w += nv * 16;
      }
  }
  ZeDebugMsg("Written shadow data %d", int(w - image));
  h->sphere_radius = obj->sphere_radius;
  h->sphere_height = obj->sphere_height;
  h->boxmin = obj->boxmin;
  h->boxmax = obj->boxmax;
  h->cyl_base = obj->cyl_base;
  h->cyl_height = obj->cyl_height;
  h->cyl_radius = obj->cyl_radius;
  h->extra = obj->extra;
  h->size = int32_t(w - image);
  g_writeEnd = nullptr;
  const ZEFILE f = ZeFileOpen(name, 1);
  if (f) {
    ZeFileWrite(f, image, h->size);
    ZeFileClose(f);
  }
  ZeMemFreeTagged(image);
}

// ---- reading and relocating ---------------------------------------------------------

ZEHGOBJ* ZeGHGRead(const char* name, char** position, char* end) {
  char* image = UpPtr(*position, 16);
  if (image >= end) return nullptr;
  const int size = ZeFileLoadBuffer(name, image, int(end - image));
  if (size <= 0) return nullptr;
  if (size < kHeader) GHG_FATAL("GHG file %s damaged: %d bytes", name, size);
  const auto* h = reinterpret_cast<const ZEGHGHEADER*>(image);
  if (h->version < ZEGHG_VERSION)
    GHG_FATAL("GHG file is out of date - needs to be reconverted (FILE VER:%d SYS VER:%d)", h->version, ZEGHG_VERSION);
  if (h->version > ZEGHG_VERSION)
    GHG_FATAL("GHG loader is out of date - need newer 3d system (FILE VER:%d SYS VER:%d)", h->version, ZEGHG_VERSION);
  if (h->size != size) GHG_FATAL("GHG file %s damaged: size word %d for %d bytes", name, h->size, size);
  ZeDebugMsg("Reading %s", name);
  Check{image, size, name, h}.All();
  // The room behind the image, from the header, before anything is placed.
  const int64_t need = int64_t(Up(size, 16)) + Behind(h);
  if (need > end - image) GHG_FATAL("ZeGHGReadEx - buffer overflow by %d bytes", int(need - (end - image)));
  char* cursor = image + size;
  ZEHGOBJ* obj = Build(image, &cursor, 0, nullptr);
  ZeDebugMsg("Read %s Used %d bytes", name, int(cursor - *position));
  *position = cursor;
  obj->imagestart = image;
  obj->imageend = cursor;
  return obj;
}

ZEHGOBJ* ZeGHGRelocate(ZEHGOBJ* obj, char** position) {
  if ((obj->imagetag & ZEHGOBJ_TAG_MASK) != ZEHGOBJ_TAG_IMAGE) GHG_FATAL("Attempted to relocate a dynamically allocated HGO");
  char* old = obj->imagestart;
  char* image = UpPtr(*position, 16);
  const auto* h = reinterpret_cast<const ZEGHGHEADER*>(old);
  memmove(image, old, size_t(obj->imageend.get() - old));
  char* cursor = image + h->size;
  ZEHGOBJ* out = Build(image, &cursor, EeAddrOf(old), obj->texids);
  ZeDebugMsg("Used %d bytes", int(cursor - *position));
  *position = cursor;
  out->imagestart = image;
  out->imageend = cursor;
  return out;
}

// ---- the debug duplicate --------------------------------------------------------------

void HGobjHiDupe(ZEHGOBJ* obj) {
  const int bytes = int(obj->imageend.get() - obj->imagestart.get());
  auto* copy = static_cast<char*>(ZeMemAllocTagged(bytes > 0 ? bytes : 4));
  if (!copy) GHG_FATAL("HGobjHiDupe - no room for a copy of %d bytes", bytes);
  // The tag word lies inside the extent: set before the copy is taken.
  obj->imagetag = (obj->imagetag & ZEHGOBJ_TAG_MASK) | EeAddrOf(copy);
  memcpy(copy, obj->imagestart.get(), size_t(bytes));
}

int HGobjFindChange(const ZEHGOBJ* obj, int tolerance) {
  const uint32_t dup = obj->imagetag & ~uint32_t(ZEHGOBJ_TAG_MASK);
  if (!dup) return 0;
  const auto* a = reinterpret_cast<const uint32_t*>(obj->imagestart.get());
  const auto* b = reinterpret_cast<const uint32_t*>(uintptr_t(dup));
  const auto* mlo = obj->nmtl ? reinterpret_cast<const char*>(obj->mtls[0].get()) : nullptr;
  const auto* mhi = obj->nmtl ? reinterpret_cast<const char*>(obj->mtls[obj->nmtl - 1].get()) + ZEGHG_MTL_BYTES : nullptr;
  const int64_t words = (obj->imageend.get() - obj->imagestart.get()) / 4;
  int count = 0;
  for (int64_t i = 0; i < words; i++) {
    if (a[i] == b[i]) continue;
    const auto* at = reinterpret_cast<const char*>(a + i);
    if (mlo && at >= mlo && at < mhi) continue;
    if (++count > tolerance) {
      ZeDebugMsg("HGO @ %08x differs from copy at addr %08x (is %08x was %08x)", EeAddrOf(obj), EeAddrOf(a + i), a[i],
                 b[i]);
      return 1;
    }
  }
  return 0;
}
