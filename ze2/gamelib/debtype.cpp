// Particle effect types: the type table, the effect file's type records
// (reader and writer of every version), the derived particle count, the
// renderer block each type hands the particle program, look-up by name and
// page, and the one-off set-up of the particle system's pools and materials.
#include <cstring>

#include "debris_local.h"

DebrisEffectType effecttypes[DEB_TYPES];
EePtr<DebrisEffectType> debtab[DEB_TYPES];
int edpp_types_used = 1;
DebrisDmaTypeInfo* DmaDebTypes = nullptr;
int freeDmaDebType = 0;
ZEMTL* DebMat[DEB_MATERIALS];
float timeincrement = 1.0f / 60.0f;
int debris_initialised = 0;

bool DebNameIs(const char* field, const char* name) { return strncmp(field, name, 16) == 0; }

// ---- the type record ------------------------------------------------------------

void DebrisDefaultEffectType(DebrisEffectType* t) {
  memset(t, 0, sizeof *t);
  t->cut_off = 25.0f;
  t->rparam[0] = t->rparam[1] = 0.125f;
  for (int16_t& k : t->shared_keys) k = -1;
  for (DebSound& s : t->sounds) s = {-1, 0, 0};
}

namespace {

// One type record of the given version, in either direction. Fields the
// version lacks keep the defaults the caller set.
void TypeIo(DebIo& io, DebrisEffectType* t, int v) {
  io.Bytes(t->name, 16);
  io.I16(t->gen_rate);
  io.I16(t->particle_count);
  io.I16(t->start_offset);
  io.I16(t->on_time), io.I16(t->rand_on_time), io.I16(t->off_time), io.I16(t->rand_off_time);
  io.I8(t->gen_kind), io.I8(t->mom_kind), io.I8(t->blend), io.I8(t->byte4);
  io.F(t->reserved0);
  if (v >= 6) io.F(t->cut_on), io.F(t->cut_off);
  if (v >= 10) io.F(t->draw_cut_off);
  if (v < 7) io.Skip(8);
  io.F(t->base_speed);
  io.Vec(t->var);
  if (v < 18) io.Skip(12);
  io.Vec(t->start);
  if (v < 18) io.Skip(12);
  io.Vec(t->pos_scale), io.Vec(t->pos_base), io.Vec(t->vel_scale), io.Vec(t->vel_base);
  io.F(t->gravity), io.F(t->life);
  io.I16(t->res_short), io.I8(t->res_byte0), io.I8(t->res_byte1);
  io.F(t->res_float);
  io.F(t->jib_xf), io.F(t->jib_xa), io.F(t->jib_yf), io.F(t->jib_ya);
  for (DebColKey& k : t->colour) io.F(k.time), io.F(k.r), io.F(k.g), io.F(k.b);
  io.Env(t->alpha);
  if (v >= 21) io.F(t->rparam[0]), io.F(t->rparam[1]);
  io.F(t->min_size), io.F(t->max_size);
  io.Env(t->width), io.Env(t->height);
  io.F(t->min_rot), io.F(t->max_rot);
  io.Env(t->rotation);
  io.Env(t->reserved_env[0]), io.Env(t->reserved_env[1]);
  io.F(t->umin), io.F(t->vmin), io.F(t->umax), io.F(t->vmax);
  io.Env(t->collision);
  io.I8(t->spheres);
  if (v >= 17) io.I8(t->draw_flag);
  if (v >= 11)
    for (DebSound& s : t->sounds) io.I32(s.id), io.I32(s.control), io.I32(s.delay);
  if (v >= 16) {
    int32_t ghosts = t->ghosts;  // an int32 in the file
    io.I32(ghosts);
    t->ghosts = int16_t(ghosts);
    io.F(t->ghost_sep);
  }
}

}  // namespace

void FileLoadSingleEffectType(DebrisEffectType* t, int version, int list) {
  DebrisDefaultEffectType(t);
  DebIo io{false};
  TypeIo(io, t, version);
  t->list = int8_t(list);
  t->info = nullptr;
  for (int16_t& k : t->shared_keys) k = -1;
  // Versions 18 and 19 stored half the radial spread and angle.
  if ((version == 18 || version == 19) && t->gen_kind == 6) {
    t->var.z *= 2.0f;
    t->start.z *= 2.0f;
  }
}

void FileSaveSingleEffectType(const DebrisEffectType* t, int version) {
  DebrisEffectType copy = *t;
  DebIo io{true};
  TypeIo(io, &copy, version);
}

void DebrisCheckEffectType(const DebrisEffectType* t, const char* file) {
  // Each of these indexes a table: a damaged file must not reach past one.
  const struct {
    int value, count;
    const char* what;
  } checks[] = {{t->gen_kind, DEB_GENERATORS, "generator kind"},
                {t->mom_kind, DEB_MOMENTUMS, "momentum kind"},
                {t->blend, DEB_MATERIALS, "blend mode"},
                {t->spheres, DEB_SPHERES + 1, "sphere count"}};
  for (const auto& c : checks)
    if (c.value < 0 || c.value >= c.count)
      ZeError("%s: effect type \"%.16s\": %s %d out of range 0..%d", file, t->name, c.what, c.value, c.count - 1);
}

// ---- the particle count ----------------------------------------------------------

int DebrisCalcParticleCount(const DebrisEffectType* t) {
  // Longer lives than this (18 minutes) are counted as this long: the count
  // has long saturated by then for any type that emits often.
  constexpr int FRAMES_MAX = 1 << 16;
  int frames = EeFtoi(t->life * 60.0f);
  if (frames > FRAMES_MAX) frames = FRAMES_MAX;
  const int on = t->on_time + t->rand_on_time;
  int remaining = t->off_time == 0 ? frames : on;
  int wait = 1, step = 0;
  int64_t count = 0;
  for (int f = 0; f < frames && count < DEB_COUNT_MAX && t->gen_rate != 0; f++) {
    if (remaining == 0) {
      if (--wait == 0) step = 0, remaining = on;
      else if (wait < 0) break;  // the off period never ends
      continue;
    }
    if (t->gen_rate > 0) count += t->gen_rate;
    else if (step % -t->gen_rate == 0) count += 1;
    remaining -= 1;
    step += 1;
    if (remaining == 0) wait = t->off_time;
  }
  if (count < 1) count = 1;
  count *= int64_t(t->ghosts) + 1;
  // Saturate: a long, fast type must not wrap to a small or negative count.
  return count < 1 ? 1 : count > DEB_COUNT_MAX ? DEB_COUNT_MAX : int(count);
}

void edppCalcEffectParticleCount(DebrisEffectType* t) {
  t->particle_count = int16_t(DebrisCalcParticleCount(t));
  int index = -1;
  for (int i = 1; i < DEB_TYPES; i++)
    if (debtab[i].get() == t) index = i;
  if (index < 0) return;
  for (const PlacedEmitter& e : edpp_ptls)
    if (e.key >= 0 && e.key < DEB_KEYS && debkeydata[e.key].type == index) DebReAlloc(e.key, t->particle_count);
}

// ---- the renderer block ----------------------------------------------------------

float DebrisEnvelope(const DebEnvKey* env, float s) {
  for (int j = 0; j < 7; j++) {
    const float t0 = env[j].time, t1 = env[j + 1].time;
    if (t0 <= s && s <= t1) {
      if (t1 == t0) return env[j].value;
      return env[j].value + (env[j + 1].value - env[j].value) * (s - t0) / (t1 - t0);
    }
  }
  return 0.0f;
}

float DebrisColourEnvelope(const DebColKey* env, int channel, float s) {
  DebEnvKey e[8];
  for (int j = 0; j < 8; j++) e[j] = {env[j].time, channel == 0 ? env[j].r : channel == 1 ? env[j].g : env[j].b};
  return DebrisEnvelope(e, s);
}

namespace {

uint32_t Bits(float f) {
  uint32_t w;
  memcpy(&w, &f, 4);
  return w;
}
float FromBits(uint32_t w) {
  float f;
  memcpy(&f, &w, 4);
  return f;
}

}  // namespace

void GenericDebinfoDmaTypeUpdate(DebrisEffectType* t) {
  if (!t->info) {
    if (!DmaDebTypes || freeDmaDebType >= DEB_TYPES) return;  // no blocks (not set up): nothing to build into
    t->info = &DmaDebTypes[freeDmaDebType++];
  }
  DebrisDmaTypeInfo* d = t->info;
  d->gravity = t->gravity;
  const float u0 = 16.0f * t->umin, v0 = 16.0f * t->vmin, u1 = 16.0f * t->umax, v1 = 16.0f * t->vmax;
  const int32_t corners[8] = {EeFtoi(u0), EeFtoi(v0), EeFtoi(u1), EeFtoi(v0),
                              EeFtoi(u0), EeFtoi(v1), EeFtoi(u1), EeFtoi(v1)};
  memcpy(d->corners, corners, sizeof corners);
  for (int i = 0; i < 64; i++) {
    const float s = float(i) / 64.0f;
    const float w = DebrisEnvelope(t->width, s), h = DebrisEnvelope(t->height, s);
    const int a = EeFtoi(DebrisEnvelope(t->rotation, s));
    const float jx = t->jib_xa * DebSin(EeFtoi(t->jib_xf * s * 65536.0f));
    const float jy = t->jib_ya * DebSin(EeFtoi(t->jib_yf * s * 65536.0f));
    const float p = w / 2.0f, q = h / 2.0f, c = DebCos(a), n = DebSin(a);
    float* f = d->steps[i].corner;
    f[0] = (-p * c - q * n + jx) * 2.5f;
    f[1] = p * n - q * c + jy;
    f[2] = h * n * 2.5f;
    f[3] = h * c;
    f[4] = (p * c - q * n + jx) * 2.5f + h * n * 2.5f;
    f[5] = (-p * n - q * c + jy) + h * c;
    // The colour rides in the low bytes of the first four words.
    const int rgba[4] = {EeFtoi(DebrisColourEnvelope(t->colour, 0, s)), EeFtoi(DebrisColourEnvelope(t->colour, 1, s)),
                         EeFtoi(DebrisColourEnvelope(t->colour, 2, s)), EeFtoi(DebrisEnvelope(t->alpha, s))};
    for (int k = 0; k < 4; k++) f[k] = FromBits((Bits(f[k]) & ~0xffu) | (uint32_t(rgba[k]) & 0xff));
  }
  if (DebIsGlass(t)) {
    // A glass shard has no texture: its corner words hold the hexagon's
    // first four corners (0, 60, 120 and 180 degrees); the program draws
    // the whole hexagon from each step's height (docs/vu1.md).
    float hex[8];
    for (int k = 0; k < 4; k++) {
      hex[2 * k] = 0.5f * DebCos(k * 65536 / 6);
      hex[2 * k + 1] = 0.5f * DebSin(k * 65536 / 6);
    }
    memcpy(d->corners, hex, sizeof hex);
  }
}

void DebrisReleaseTypeInfo(DebrisEffectType* t) {
  if (!t->info || freeDmaDebType <= 0) return;
  // Blocks are a stack: the returned one goes just below the free index.
  DebrisDmaTypeInfo* block = t->info;
  freeDmaDebType -= 1;
  if (block != &DmaDebTypes[freeDmaDebType]) {
    // Swap with the block that lay there, re-pointing its owner.
    DebrisDmaTypeInfo tmp;
    memcpy(&tmp, &DmaDebTypes[freeDmaDebType], sizeof tmp);
    memcpy(&DmaDebTypes[freeDmaDebType], block, sizeof tmp);
    memcpy(block, &tmp, sizeof tmp);
    for (DebrisEffectType& o : effecttypes)
      if (o.info.get() == &DmaDebTypes[freeDmaDebType] && &o != t) o.info = block;
  }
  t->info = nullptr;
}

// ---- look-up ---------------------------------------------------------------------

namespace {

int Find(const char* name, int page, bool anyPage) {
  for (int i = 1; i < DEB_TYPES; i++)
    if (debtab[i] && (anyPage || debtab[i]->page == page) && DebNameIs(debtab[i]->name, name)) return i;
  return -1;
}

}  // namespace

int LookupDebrisEffectPageOnly(const char* name, int page) {
  int i = Find(name, page, false);
  return i >= 0 ? i : Find(name, 0, false);
}

int LookupDebrisEffectPage(const char* name, int page) {
  int i = LookupDebrisEffectPageOnly(name, page);
  return i >= 0 ? i : Find(name, 0, true);
}

int LookupDebrisEffect(const char* name) { return LookupDebrisEffectPage(name, 1); }

void edppDestroyAllEffects() {
  for (int i = 1; i < DEB_TYPES; i++) debtab[i] = nullptr;
  edpp_types_used = 1;
}

// ---- set-up ----------------------------------------------------------------------

ZEMTL* DebMaterial(ZETEXID tex, int priority, int uv, int blend, int bits45, int zmode, int bits16) {
  ZEMTL* m = ZeMtlCreate(1);
  m->diffuse[0] = m->diffuse[1] = m->diffuse[2] = 1.0f;
  m->alpha = 0.999f;
  uint32_t a = m->attributes;
  a = (a & ~0xfu) | uint32_t(blend & 15);
  if (bits45 >= 0) a = (a & ~0x30u) | uint32_t(bits45 & 3) << 4;
  a = (a & ~0x3f00u) | 1u << 8 | 1u << 10 | 2u << 12;
  a = (a & ~0xc000u) | uint32_t(zmode & 3) << 14;
  if (bits16 >= 0) a = (a & ~0x70000u) | uint32_t(bits16 & 7) << 16;
  m->attributes = a;
  if (uv) m->render_flags = (m->render_flags | ZEMTLRF_FST) & ~ZEMTLRF_IIP;
  m->render_flags = (m->render_flags & ~ZEMTLRF_AFAIL) | 1u;
  m->texture = tex;
  m->sort_priority = int16_t(priority);
  ZeMtlUpdate(m);
  return m;
}

namespace {

// Each block on a 16-byte boundary: the caller's cursor may lie anywhere.
char* Carve(char** cursor, size_t bytes) {
  char* p = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(*cursor) + 15) & ~uintptr_t(15));
  memset(p, 0, bytes);
  *cursor = p + ((bytes + 15) & ~size_t(15));
  return p;
}

}  // namespace

void DebrisSetup(char** cursor, const char* texture, int chunks) {
  debris_initialised = 1;
  debrischunks = chunks;
  debrischunksglass = DEB_GLASS_CHUNKS;
  const int total = chunks + DEB_GLASS_CHUNKS, controls = 2 * total;
  debris_chunk_controls = reinterpret_cast<DebrisChunkControl*>(Carve(cursor, sizeof(DebrisChunkControl) * controls));
  freechunkcontrols = reinterpret_cast<DebrisChunkControl**>(Carve(cursor, sizeof(void*) * controls));
  freedebchunks = reinterpret_cast<uint8_t**>(Carve(cursor, sizeof(void*) * chunks));
  freedebchunksglass = reinterpret_cast<uint8_t**>(Carve(cursor, sizeof(void*) * DEB_GLASS_CHUNKS));
  ParticleChunkRenderStack =
      reinterpret_cast<DebrisChunkRenderEntry*>(Carve(cursor, sizeof(DebrisChunkRenderEntry) * total));
  memset(debkeydata, 0, sizeof debkeydata);
  ZeRainReset();  // every key is free again: the rain holds none
  timeincrement = ps2_video_fmt == 3 ? 1.0f / 50.0f : 1.0f / 60.0f;

  // The particle texture's additive material, then the other seven.
  DebMat[0] = CreateAlphaBlendTexture(cursor, texture, 1, 2, 256, 0);
  const ZETEXID tex = DebMat[0]->texture;
  const int pri = DebMat[0]->sort_priority;
  DebMat[1] = DebMaterial(tex, pri, 0, 0, 0, 3, -1);
  DebMat[2] = DebMaterial(tex, pri, 1, 1, 1, 1, -1);
  DebMat[3] = DebMaterial(tex, pri, 1, 3, 1, 1, -1);
  DebMat[4] = DebMaterial(tex, pri, 0, 1, 1, 1, -1);
  DebMat[5] = DebMaterial(tex, pri, 0, 2, 1, 1, -1);
  DebMat[6] = DebMaterial(tex, pri, 0, 0, 1, 0, -1);
  DebMat[7] = DebMaterial(0, 128, 0, 1, 0, 1, 6);
  // The screen copy's texel scale: the render size over its power of two.
  int w = 1, h = 1;
  while (w < PS2_REZ_W) w <<= 1;
  while (h < PS2_REZ_H) h <<= 1;
  debris_glass_scale_u = float(PS2_REZ_W) / float(w);
  debris_glass_scale_v = float(PS2_REZ_H) / float(h);

  // The keys are new: no type keeps a renderer block or a shared key.
  for (DebrisEffectType& t : effecttypes) {
    t.info = nullptr;
    for (int16_t& k : t.shared_keys) k = -1;
  }
  *cursor = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(*cursor) + 15) & ~uintptr_t(15));
  for (int i = 0; i < chunks; i++) {
    int size = 0;
    CreateDmaParticleSet(*cursor, &size);
    freedebchunks[i] = reinterpret_cast<uint8_t*>(*cursor);
    DebMarkDead(freedebchunks[i], DEB_CHUNK_PARTS, true);
    *cursor += (size + 15) & ~15;
  }
  for (int i = 0; i < DEB_GLASS_CHUNKS; i++) {
    int size = 0;
    CreateDmaParticleSetGlass(*cursor, &size);
    freedebchunksglass[i] = reinterpret_cast<uint8_t*>(*cursor);
    DebMarkDead(freedebchunksglass[i], DEB_GLASS_PARTS, true);
    *cursor += (size + 15) & ~15;
  }
  freedebchkptr = freedebchkptrg = 0;
  for (int i = 0; i < DEB_KEYS; i++) {
    freedebkeys[i] = int16_t(i);
    debkeydata[i].type = 0;
    debkeydata[i].nchunks = 0;
  }
  freedebkeyptr = 0;
  for (int i = 0; i < DEB_WHEEL; i++) debris_emitter_stack[i] = nullptr, debris_chunk_control_stack[i] = nullptr;
  debris_emitter_stack_index = debris_chunk_control_stack_index = 0;
  for (int i = 0; i < controls; i++) freechunkcontrols[i] = &debris_chunk_controls[i];
  freechunkcontrolsptr = 0;
  DmaDebTypes = reinterpret_cast<DebrisDmaTypeInfo*>(*cursor);
  for (int i = 0; i < DEB_TYPES; i++) CreateDmaPartEffectList(&DmaDebTypes[i], nullptr);
  *cursor += sizeof(DebrisDmaTypeInfo) * DEB_TYPES;
  freeDmaDebType = 0;
  memset(ParticleChunkRenderStack, 0, sizeof(DebrisChunkRenderEntry) * total);
}
