// The planetary system: "bin\system.gb3" loaded, checked and fixed up in
// place, its planets created with their textures and materials, turned each
// frame, the nearest planet chosen and planets found by name.
#include "globular.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <initializer_list>

char g_planet_path[PLANETSYS_PATH];

namespace {

constexpr const char* SYSTEM_NAME = "bin\\system.gb3";

PLANETSYS* sys_root = nullptr;
int sys_count = 0;
PLANET* sys_planets[PLANETSYS_MAXPLANETS];
void* sys_data[PLANETSYS_MAXPLANETS];
char sys_path[PLANETSYS_MAXPLANETS][PLANETSYS_PATH];
PLANET* sys_nearest = nullptr;
int sys_nearest_index = -1;
int sys_initialised = 0;
int sys_process = 0;

// The loaded image, for the checks of the fix-up.
uint8_t* img_base = nullptr;
uint8_t* img_end = nullptr;

[[noreturn]] void Damaged(const char* what, long value) {
  ZeError("%s: damaged file (%s %ld)", SYSTEM_NAME, what, value);
  __builtin_unreachable();
}

// Turns the link in *field into an address, refusing one that leaves the
// image, leaves no room for `need` bytes there or is not on a word. Null
// stays null.
uint8_t* Relocate(int32_t* field, int need, const char* what) {
  const int32_t off = *field;
  if (!off) return nullptr;
  const intptr_t at = reinterpret_cast<intptr_t>(field) + off;
  if (at < reinterpret_cast<intptr_t>(img_base) || at > reinterpret_cast<intptr_t>(img_end) - need)
    Damaged(what, off);
  if (at & 3) Damaged(what, off);
  auto* p = reinterpret_cast<uint8_t*>(at);
  *reinterpret_cast<uint32_t*>(field) = EeAddrOf(p);
  return p;
}

uint8_t* Need(int32_t* field, int need, const char* what) {
  uint8_t* p = Relocate(field, need, what);
  if (!p) Damaged(what, 0);
  return p;
}

uint32_t Attributes(uint32_t a, uint32_t blend, uint32_t framealpha) {
  auto set = [](uint32_t v, int shift, int width, uint32_t x) {
    const uint32_t m = ((1u << width) - 1) << shift;
    return (v & ~m) | (x << shift & m);
  };
  a = set(a, ZEMTLATTR_BLEND, 4, blend);
  a = set(a, ZEMTLATTR_UWRAP, 2, 1);
  a = set(a, ZEMTLATTR_VWRAP, 2, 1);
  a = set(a, ZEMTLATTR_DEPTH, 2, 0);
  a = set(a, ZEMTLATTR_LIGHTING, 2, 0);
  a = set(a, ZEMTLATTR_VTXCOL, 1, 1);
  a = set(a, ZEMTLATTR_FRAMEALPHA, 1, framealpha);
  return a;
}

void Colours(ZEMTL* m) {
  for (int c = 0; c < 3; c++) {
    m->ambient[c] = 0.0f;
    m->diffuse[c] = 1.0f;
  }
  m->sort_priority = 0;
}

const int* PlanetPlane(int i) {
  static const int* const PLANES[PLANETSYS_MAXPLANETS] = {&gb_renderplane_otplanet1, &gb_renderplane_otplanet2,
                                                          &gb_renderplane_otplanet3, &gb_renderplane_otplanet4,
                                                          &gb_renderplane_otplanet5, &gb_renderplane_otplanet6};
  return PLANES[i];
}

uint32_t Word(const uint8_t* p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}

// A native texture image lies wholly inside the file: header, palette
// block and level blocks (the texture code reads them where they lie).
bool NativeFits(const uint8_t* h, const uint8_t* end) {
  if (end - h < 16) return false;
  const uint32_t version = Word(h) >> 16;
  if (version > 1) return false;
  const uint32_t width = version ? Word(h) & 0xffff : Word(h);
  const uint32_t height = version ? Word(h + 4) & 0xffff : Word(h + 4);
  const int type = h[12], levels = version ? (h[15] & 0x7f) : h[14];
  if (width < 1 || width > 1024 || height < 1 || height > 1024 || levels > 7) return false;
  const uint8_t* block = h + 16;
  if (type >= ZETEX_PAL4 && type <= ZETEX_PAL8_SWZ) {
    if (end - block < 16 || Word(block) > uint32_t(end - block)) return false;
    block += Word(block);
  }
  const int head = version ? 20 : 16;
  for (int i = 0; i < levels; i++) {
    if (end - block < head) return false;
    if (uint64_t(Word(block)) + Word(block + head - 4) > uint64_t(end - block)) return false;
    block += Word(block) + Word(block + head - 4);
  }
  return true;
}

void FixMesh(int32_t* field) {
  uint8_t* mesh = Need(field, 16, "mesh offset");
  auto* first = reinterpret_cast<int32_t*>(mesh + 12);
  auto* node = reinterpret_cast<PLANETMESHNODE*>(Relocate(first, sizeof(PLANETMESHNODE), "mesh node"));
  // Exactly six nodes, one a cube face: a seventh would take a seventh
  // material slot.
  for (int k = 0; k < PLANETSYS_MESHNODES; k++) {
    if (!node) Damaged("mesh nodes", k);
    auto* next = reinterpret_cast<PLANETMESHNODE*>(Relocate(&node->next, sizeof(PLANETMESHNODE), "mesh node"));
    uint8_t* block = Relocate(&node->blocks, 16, "primitive block");
    while (block) {
      ZEASSERT((reinterpret_cast<uintptr_t>(block) & 15) == 0);
      auto* link = reinterpret_cast<int32_t*>(block + 4);
      // Blocks follow one another: a link back would loop for ever.
      if (*link < 0) Damaged("primitive block link", *link);
      block = Relocate(link, 16, "primitive block");
    }
    if (k == PLANETSYS_MESHNODES - 1 && next) Damaged("mesh nodes", k + 2);
    node = next;
  }
}

void FixPlanet(int i, int32_t* link) {
  auto* p = reinterpret_cast<PLANET*>(Need(link, sizeof(PLANET), "planet offset"));
  if (!memchr(p->name, 0, sizeof p->name)) Damaged("unterminated planet name", i);
  for (const float f : {p->position.x, p->position.y, p->position.z, p->daylength, p->height, p->radius, p->seafraction})
    if (!std::isfinite(f)) Damaged("planet value", i);
  const int levels = FrCubeGetNumLevels();
  if (p->platedepth < 0 || p->platedepth > 4 || (levels && p->platedepth >= levels))
    Damaged("plate depth", p->platedepth);
  for (int k = 0; k < 6; k++) {
    uint8_t* data = Relocate(&p->texture[k], 16, "texture offset");
    if (!data) {
      p->texture[k] = 0;
      continue;
    }
    if (reinterpret_cast<uintptr_t>(data) & 15) Damaged("texture alignment", k);
    if (!NativeFits(data, img_end)) ZeError("%s: planet %d face %d: damaged texture", SYSTEM_NAME, i, k);
    ZETEXID id = ZeTexCreateNative(data);
    if (!id) ZeError("%s: planet %d face %d: unreadable texture", SYSTEM_NAME, i, k);
    p->texture[k] = id;
  }
  p->nomtl = nullptr;
  for (int k = 0; k < 6; k++) {
    ZEMTL* m = ZeMtlCreateEx(1, *PlanetPlane(i));
    Colours(m);
    m->alpha = 0.99f;
    m->texture = p->texture[k];
    m->frame_mask = 0;
    m->attributes = Attributes(m->attributes, 1, 1) & ~(0xffu << ZEMTLATTR_AREF);
    ZeMtlUpdate(m);
    m->stream.program = vu_load_tricma_mpg;
    p->mtl[k] = m;
  }
  sys_planets[i] = p;
  FrPlanetCreate(p);
}

void Fix(uint8_t* base, int size) {
  img_base = base;
  img_end = base + size;
  auto* root = reinterpret_cast<PLANETSYS*>(base + 16);
  if (size < 16 + int(offsetof(PLANETSYS, planet))) Damaged("size", size);
  // The slots are the loader's: whatever the file holds there is no material.
  for (auto& m : root->mtl) m = nullptr;
  if (root->count < 1 || root->count > PLANETSYS_MAXPLANETS) Damaged("planet count", root->count);
  if (size < 16 + int(offsetof(PLANETSYS, planet)) + 4 * root->count) Damaged("size", size);
  sys_root = root;
  // Check the mesh before anything is created.
  FixMesh(&root->mesh);
  Relocate(&root->other, 4, "second offset");
  for (int k = 0; k < 6; k++) {
    ZEMTL* m = ZeMtlCreateEx(1, gb_renderplane_space);
    Colours(m);
    m->texture = 0;
    m->table_index = uint8_t(k + 1);
    m->attributes = Attributes(m->attributes, 0, 0);
    ZeMtlUpdate(m);
    root->mtl[k] = m;
  }
  auto* mesh = static_cast<uint8_t*>(EeAddrToPtr(uint32_t(root->mesh)));
  auto* node = static_cast<PLANETMESHNODE*>(EeAddrToPtr(*reinterpret_cast<uint32_t*>(mesh + 12)));
  for (int k = 0; node; k++, node = static_cast<PLANETMESHNODE*>(EeAddrToPtr(uint32_t(node->next))))
    node->mtl = root->mtl[k];
  for (int i = 0; i < root->count; i++) {
    FixPlanet(i, &root->planet[i]);
    sys_count = i + 1;
  }
}

}  // namespace

int PlanetSysInit(char** position, char* end) {
  sys_initialised = 1;
  return 1;
}

void PlanetSysLoadData(char** position, char* end) {
  ZEDAT* previous = ZeDatSet(nullptr);
  char* pos = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(*position) + 15) & ~uintptr_t(15));
  int size = ZeFileSize(SYSTEM_NAME);
  if (size < 0) ZeError("%s: missing", SYSTEM_NAME);
  ZEASSERT(pos + size < end);
  int loaded = ZeFileLoadBuffer(SYSTEM_NAME, pos, int(end - pos));
  if (loaded != size) ZeError("%s: read %d of %d bytes", SYSTEM_NAME, loaded, size);
  uint32_t version = 0;
  if (size >= 4) memcpy(&version, pos, 4);
  if (version != PLANETSYS_VERSION) ZeError("Incorrect file version in system.bin\n");
  *position = pos + 16 + size;
  Fix(reinterpret_cast<uint8_t*>(pos), size);
  ZeDatSet(previous);
  // Loaded: the planets turn from now on.
  sys_process = 1;
}

void PlanetSysClose() {
  if (!sys_initialised) return;
  PlanetSysReset();
  // The placeholder materials go with the system, or every reload leaks six.
  if (sys_root)
    for (auto& m : sys_root->mtl) {
      if (m) ZeMtlDestroy(m);
      m = nullptr;
    }
  sys_root = nullptr;
  sys_nearest = nullptr;
  sys_nearest_index = -1;
  sys_initialised = 0;
  sys_process = 0;
}

void PlanetSysDestroy() { ZEASSERT(sys_initialised); }

void PlanetSysReset() {
  ZEASSERT(sys_initialised);
  for (int i = 0; i < sys_count; i++) FrPlanetDestroy(sys_planets[i]);
  sys_count = 0;
  sys_nearest = nullptr;
  sys_nearest_index = -1;
}

void PlanetSysProcess() {
  if (!sys_process) return;
  for (int i = 0; i < sys_count; i++) {
    PLANET* p = sys_planets[i];
    p->dayphase += 1.0f / (p->daylength * 3600.0f);
    if (p->dayphase >= 1.0f) p->dayphase = 0.0f;
    FRAME* f = p->frame;
    ZeMtxSetRotationY(&f->mtx, EeFtoi(p->dayphase * 65536.0f));
    f->mtx.m[3][0] = p->position.x;
    f->mtx.m[3][1] = p->position.y;
    f->mtx.m[3][2] = p->position.z;
  }
}

void PlanetSysSetNearest(FRAME* frame, const ZEVEC* position) {
  float best = FLT_MAX;
  for (int i = 0; i < sys_count; i++) {
    if (!sys_data[i]) continue;
    PLANET* p = sys_planets[i];
    ZEVEC v = *position;
    if (frame != p->frame) FrameRemapPos(p->frame, &v, frame, position);
    const float d = ZeVecMagSqr(&v);
    if (d < best) {
      best = d;
      sys_nearest = p;
      sys_nearest_index = i;
    }
  }
  FrPlanetSetWldFade(sys_nearest != g_current_planet ? -1.0f / 300.0f : 1.0f / 300.0f);
}

void PlanetSysSetByName(const char* name) {
  ZEASSERT(init_level < 4);
  if (!name) return;
  for (int i = 0; i < sys_count; i++) {
    PLANET* p = sys_planets[i];
    if (!sys_data[i] || strcmp(p->name, name)) continue;
    sys_nearest = p;
    sys_nearest_index = i;
    strcpy(g_planet_path, sys_path[i]);
    FrPlanetSetNextPlanet(p);
    FrPlanetSetWldFade(1.0f / 300.0f);
    if (gb_time != 0.0f) {
      p->dayphase = gb_time;
      gb_time = 0.0f;
    }
    if (gb_time_step != 0.0f) {
      p->daylength = gb_time_step;
      gb_time_step = 0.0f;
    }
  }
}

PLANET* PlanetSysGetByName(const char* name) {
  if (!name) return nullptr;
  for (int i = 0; i < sys_count; i++)
    if (!ZeStrICmp(sys_planets[i]->name, name)) return sys_planets[i];
  return nullptr;
}

void PlanetSysSetData(const char* name, const char* path, void* data) {
  // The slot holds 64 characters with the terminator.
  if (strlen(path) >= PLANETSYS_PATH) ZeError("PlanetSysSetData: world path too long: %s", path);
  for (int i = 0; i < sys_count; i++)
    if (!strcmp(sys_planets[i]->name, name)) {
      sys_data[i] = data;
      strcpy(sys_path[i], path);
      return;
    }
}

void* PlanetSysGetData() {
  if (wld_wait > 0 && g_current_planet)
    for (int i = 0; i < sys_count; i++)
      if (!strcmp(sys_planets[i]->name, g_current_planet->name)) return sys_data[i];
  return sys_nearest_index >= 0 ? sys_data[sys_nearest_index] : nullptr;
}

PLANETSYS* PlanetSysGetRoot() { return sys_root; }
int PlanetSysGetCount() { return sys_count; }
PLANET* PlanetSysGetPlanet(int index) { return index >= 0 && index < sys_count ? sys_planets[index] : nullptr; }
PLANET* PlanetSysGetNearest() { return sys_nearest; }
