// Surface texture images: the class materials, the colour textures whose
// levels point straight into the streamed blocks (no texel is copied), and
// the planet's noise texture with its material.
#include "globular.h"

#include <cstdio>
#include <cstring>

ZETEXID noise_tid = 0;
ZEMTL* frsurf_mtl[FRSURF_CLASSES];

namespace {

constexpr int PSM_T8 = 19;
constexpr uint32_t REG_TEX1_1 = 0x14, REG_TEX1_2 = 0x15;
void* noise_image = nullptr;
alignas(16) char empty_region[16];  // marks colour textures as not owning their packets

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24); }

// The TEX1 value in the material's state packet.
void SetTex1(ZEMTL* m, uint64_t value) {
  for (int q = 1; q < ZEMTL_STATE_BLOCK / 16; q++) {
    uint32_t* w = &m->state[4 * q];
    if ((w[2] == REG_TEX1_1 || w[2] == REG_TEX1_2) && w[3] == 0) {
      w[0] = uint32_t(value);
      w[1] = uint32_t(value >> 32);
    }
  }
}

uint64_t Tex1(int k, int K) {
  uint64_t low = k <= 2 ? 0x20 : k <= 5 ? 0x120 + 4 * uint64_t(k - 3) : 0x164;
  return uint64_t(uint32_t(K) & 0xfff) << 32 | 1u << 19 | low;
}

int RecordOf(const FRSURFNODE* n, const FRSURFTEX* r) {
  int plate = n->block ? n->block->id / frsurf_class[n->cls].bpp : int(r->key & 0xffff);
  int e = ndx_tab[plate];
  if (e == FRSURF_NOINDEX) e = ndx_tab[FRSURF_DEFAULT];
  return e & 0x7fff;
}

// Palette and texel offsets of a node's image, checked against the image's
// bytes: a damaged header never points a texture outside its block.
void Offsets(FRSURFNODE* n, const FRSURFTEX* r) {
  const uint8_t* img = n->image;
  const int bytes = frsurf_class[n->cls].image;
  const bool pal = n->cls == 0 || n->cls == 3;
  const int file = n->block ? frsurf_class[n->cls].resolution : 4;  // plate images live in tex004's blocks
  int section = 16;
  if (pal) {
    uint32_t off = U32(img + 16);
    if (off < 16 + 1024 || off > uint32_t(bytes - 40))
      ZeError("tex%.3d.gb3 record %d: damaged image (palette %u)", file, RecordOf(n, r), off);
    section = 16 + int(off);
    n->paloff = 32;
  }
  uint32_t size = U32(img + section);
  uint32_t L = U16(img + section + 16);
  uint32_t tex = uint32_t(section) + 20 + L;
  if (size < 20 || tex >= uint32_t(bytes) || size - 20 > uint32_t(bytes) - tex)
    ZeError("tex%.3d.gb3 record %d: damaged image (texels %u)", file, RecordOf(n, r), tex);
  ZEASSERT((tex & 15) == 0);
  n->texoff = uint16_t(tex);
  if (reinterpret_cast<uintptr_t>(img + tex) & 127) {
    if (frsurf_misaligned == 0)
      ZeDebugMsg("FrSurfaceUpdateColourTexture : texture palette not 128 byte aligned");
    else if (frsurf_misaligned % 100 == 0)
      ZeDebugMsg("FrSurfaceUpdateColourTexture : another 100 texture palettes not 128 byte aligned");
    frsurf_misaligned++;
  }
}

// The level block of a node's image (its texel section).
int Section(const FRSURFNODE* n) { return n->cls == 0 || n->cls == 3 ? 16 + int(U32(n->image.get() + 16)) : 16; }

bool Present(const FRSURFNODE* n) { return !n->block || n->block->req == ASYNCFILE_DONE; }

}  // namespace

void FrSurfaceInitClassMaterials() {
  for (int k = 0; k < FRSURF_CLASSES; k++) {
    if (frsurf_mtl[k]) continue;
    ZEMTL* m = ZeMtlCreate(1);
    m->diffuse[0] = m->diffuse[1] = m->diffuse[2] = 1.0f;
    m->texture = 1;
    m->mip_l = 1;
    m->mip_k = int16_t(-362 + 16 * k);
    m->attributes &= ~0xf00u;
    m->attributes = (m->attributes & ~0x30u) | (k <= 2 ? 1u : 2u) << 4;
    if (k <= 5) {
      m->attributes = (m->attributes & ~0xfu) | 1u << 19;
      m->context = 0;
      m->frame_mask = 0;
    } else {
      m->attributes = (m->attributes & ~0xfu) | 6u;
      m->context = 1;
    }
    ZeMtlUpdate(m);
    SetTex1(m, Tex1(k, m->mip_k));
    frsurf_mtl[k] = m;
  }
}

void FrSurfaceDestroyClassMaterials() {
  for (ZEMTL*& m : frsurf_mtl) {
    if (m) ZeMtlDestroy(m);
    m = nullptr;
  }
}

void FrSurfaceInitColourTexture(FRSURFTEX* r) {
  r->tid = int16_t(ZeTexCreateEx(nullptr, empty_region, empty_region + sizeof empty_region));
  ZETEXSLOT* s;
  ZEPS2TEX* t;
  ZeTexGetPointers(r->tid, &s, &t);
  s->tex = ZETEX{ZETEX_PAL8, 128, 128, 3, nullptr, nullptr};
  memset(t, 0, sizeof *t);
  t->tw = t->th = 7;
  t->levels = 3;
  t->psm = t->xfer_psm = PSM_T8;
  t->tcc = 1;
  t->texa_mode = 0;
  t->vram_size = 0;
}

void FrSurfaceUpdateColourTexture(FRSURFTEX* r) {
  auto* top = static_cast<FRSURFNODE*>(ZeListGetHead(&r->chain));
  while (top && top->cls > 5) top = top->next;
  if (!top || !Present(top)) return;
  const int t = top->cls;
  const int lowest = t <= 2 ? 0 : 3;
  const int levels = t - lowest + 1;
  ZETEXSLOT* s;
  ZEPS2TEX* x;
  ZeTexGetPointers(r->tid, &s, &x);
  const FRSURFCLASS& tc = frsurf_class[t];
  s->tex = ZETEX{ZETEX_PAL8, tc.width, tc.width, levels, nullptr, nullptr};
  memset(x, 0, sizeof *x);
  x->tw = x->th = uint16_t(Ps2TxValToPowerOfTwo(tc.width));
  x->levels = uint8_t(levels);
  x->psm = x->xfer_psm = PSM_T8;
  x->tcc = 1;
  int filled = 0;
  FRSURFNODE* n = top;
  for (int c = t; c >= lowest; c--, filled++) {
    const int i = t - c;
    while (n && n->cls > c) n = n->next;
    if (!n || n->cls != c || !Present(n)) continue;  // a missing class leaves the level empty
    if (!n->texoff) Offsets(n, r);
    const FRSURFCLASS& k = frsurf_class[c];
    uint8_t* texels = n->image.get() + n->texoff;
    ZEASSERT((reinterpret_cast<uintptr_t>(texels) & 15) == 0);
    x->level_packet[i] = reinterpret_cast<uint32_t*>(texels);
    x->level_size[i] = U32(n->image.get() + Section(n)) - 20;
    x->level_tbw[i] = x->level_dbw[i] = uint16_t(k.bufw);
    x->vram_size = uint16_t(x->vram_size + (i == 0 ? k.levelblocks : k.lowerblocks));
    x->level_vram[i] = uint32_t(i == 0 ? k.level : k.lower);
    if (c == 0 || c == 3) {
      const uint8_t* img = n->image;
      x->pal_packet = reinterpret_cast<uint32_t*>(n->image.get() + 32);
      x->clut_vram = U16(img + 20);
      x->cbw = U16(img + 24);
      x->pal_size = uint16_t(U32(img + 16) - 16);
      x->vram_size = uint16_t(x->vram_size + x->clut_vram / 256);
    }
    n = n->next;
  }
  ZEASSERT(filled == levels);
  r->mtl = frsurf_mtl[t];
  r->flags &= uint8_t(~FRSURFTEX_REBUILD);
}

int FrSurfaceLoadNoise(char** position, char* end) {
  if (noise_image) return 1;
  ZEDAT* previous = ZeDatSet(nullptr);
  char name[160];
  snprintf(name, sizeof name, "%s\\%s\\noise.pnt", "bin", g_planet_path);
  char* pos = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(*position) + 15) & ~uintptr_t(15));
  int size = ZeFileSize(name);
  int loaded = 0;
  if (size > 0) {
    ZEASSERT(pos + size < end);
    loaded = ZeFileLoadBuffer(name, pos, size);
  }
  if (size > 0 && loaded == size && (noise_tid = ZeTexCreateNative(pos))) {
    *position = pos + size;
    noise_image = pos;
    if (!frsurf_mtl[7]) frsurf_mtl[7] = ZeMtlCreate(1);
    ZEMTL* m = frsurf_mtl[7];
    m->texture = noise_tid;
    m->mip_k = -250;
    m->mip_l = 1;
    m->diffuse[0] = m->diffuse[1] = m->diffuse[2] = 1.0f;
    m->context = 1;
    m->attributes = (m->attributes & ~0xf3fu) | 2u << 4 | 6u;
    m->render_flags |= 0x60;
    ZETEXSLOT* s;
    ZEPS2TEX* t;
    ZeTexGetPointers(noise_tid, &s, &t);
    t->levels = 2;
    t->level_packet[1] = nullptr;
    t->level_addr[1] = 0;
    ZeMtlUpdate(m);
  } else {
    noise_tid = 0;
    ZeDebugMsg("Failed to open file gfx\\noise.pnt\n");
  }
  ZeDatSet(previous);
  return 1;
}

void FrSurfaceFreeNoise() {
  noise_image = nullptr;
  noise_tid = 0;
}

int FrSurfacePreRender(const FRSURFTEX* r) { return r && r->mtl ? 1 : 0; }
