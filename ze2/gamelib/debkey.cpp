// Live particle effects: the 512 keys and the chunks they own, starting,
// aiming and freeing effects, one-shot bursts into the types' shared keys,
// the particle generators and momentum adjusters, and bounce scheduling.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "debris_local.h"

DebrisKey debkeydata[DEB_KEYS];
int16_t freedebkeys[DEB_KEYS];
int freedebkeyptr = 0;
uint8_t** freedebchunks = nullptr;
int freedebchkptr = 0;
uint8_t** freedebchunksglass = nullptr;
int freedebchkptrg = 0;
int debrischunks = 0, debrischunksglass = DEB_GLASS_CHUNKS;
DebrisChunkRenderEntry* ParticleChunkRenderStack = nullptr;
const ZEVEC* CutoffCameraVec = nullptr;
int debris_render_group = 0;
int64_t debris_seed = 0;
float globaltime = 0.0f;
int globalframes = 0;

DebGenFn* const gensorttab[DEB_GENERATORS] = {
    GenDebIndex,           GenDebIndexSort,      GenDebIndexPos,          GenDebIndexWaterFall,
    GenDebIndexWaterFallSplash, GenDebIndexPosRandTime, GenDebIndexRadial, GenDebIndexRadialRotor,
    GenDebIndexSpheroid,   GenDebIndexBounceY,   GenDebIndexBounceXZ,     GenDebIndexImprovedRadial};
DebMomFn* const gencodetab[DEB_MOMENTUMS] = {nullptr,
                                             GenDebMomAdjFromPos,
                                             GenDebMomAdjFromPosRev,
                                             GenDebMomAdjFromSplash,
                                             GenDebMomAdjFromAshRock,
                                             GenDebMomAdjFromPosRevTree,
                                             GenDebMomAdjFromPosAll};

// ---- chunks, entries and controls -----------------------------------------------

int DebFadeFrames(const DebrisEffectType* t) {
  // A damaged type (negative or endless life) must not give a control a
  // negative wheel distance.
  const int frames = EeFtoi((t->life + float(t->ghosts) * t->ghost_sep) * 60.0f);
  return frames < 0 ? 0 : frames > (1 << 24) ? 1 << 24 : frames;
}

void DebMarkDead(uint8_t* chunk, int n, bool released) {
  DebrisParticle* p = DebrisChunkParticles(chunk);
  for (int i = 0; i < n; i++) {
    p[i].birth = released ? 1.0e10f : 0.0f;
    p[i].rate = released ? 128.0f : 32768.0f;
  }
}

void DebRelink(DebrisKey* k) {
  if (k->nchunks > 0) LinkDmaParticalSets(reinterpret_cast<void**>(k->chunks), k->nchunks);
  if (k->entry) k->entry->chunk = k->nchunks > 0 ? k->chunks[0] : nullptr;
}

DebrisChunkRenderEntry* DebTakeRenderEntry() {
  const int n = debrischunks + debrischunksglass;
  for (int i = 0; i < n; i++)
    if (!ParticleChunkRenderStack[i].chunk) return &ParticleChunkRenderStack[i];
  return nullptr;
}

int DebControlLimit() { return 2 * (debrischunks + debrischunksglass); }

DebrisChunkControl* DebTakeControl() {
  if (freechunkcontrolsptr >= DebControlLimit()) return nullptr;
  DebrisChunkControl* c = freechunkcontrols[freechunkcontrolsptr++];
  memset(c, 0, sizeof *c);
  return c;
}

void DebFreeControl(DebrisChunkControl* c, DebrisChunkControl** list) {
  if (list) RemoveChunkControlFromStack(c, list);
  c->chunk = nullptr;
  freechunkcontrols[--freechunkcontrolsptr] = c;
}

namespace {

uint8_t* PopChunk(bool glass) {
  if (glass) return freedebchkptrg < debrischunksglass ? freedebchunksglass[freedebchkptrg++] : nullptr;
  return freedebchkptr < debrischunks ? freedebchunks[freedebchkptr++] : nullptr;
}
int ChunksInUse(bool glass) { return glass ? freedebchkptrg : freedebchkptr; }
int ChunkPool(bool glass) { return glass ? debrischunksglass : debrischunks; }
int MaxParticles(const DebrisEffectType* t) { return DEB_KEY_CHUNKS * DebPerChunk(t); }

DebrisChunkControl** CurrentControls() { return &debris_chunk_control_stack[debris_chunk_control_stack_index]; }

// A control for a chunk on the list of this frame (ahead frames later).
DebrisChunkControl* ControlChunk(uint8_t* chunk, int timer, int kind, DebrisKey* key, int ahead) {
  DebrisChunkControl* c = DebTakeControl();
  if (!c) return nullptr;
  c->chunk = chunk, c->timer = timer, c->kind = kind, c->key = key;
  AddChunkControlToStack(c, &debris_chunk_control_stack[(debris_chunk_control_stack_index + ahead) % DEB_WHEEL]);
  return c;
}

// The next chunk of a DMA chain of chunk packets (null at its ret).
uint8_t* ChainNext(uint8_t* chunk) {
  const uint32_t* tag = reinterpret_cast<const uint32_t*>(chunk);
  if (((tag[0] >> 28) & 7) != DMATAG_NEXT) return nullptr;
  return static_cast<uint8_t*>(EeAddrToPtr(tag[1] & 0x7fffffffu));
}

// The last chunk of a shared key waits for the newest particles: its shot
// control is re-timed and moved to this frame's list.
void RetimeShot(uint8_t* last, int timer) {
  for (DebrisChunkControl*& head : debris_chunk_control_stack)
    for (DebrisChunkControl* c = head; c; c = c->next)
      if (c->chunk == last && c->kind == DEBCTL_SHOT) {
        RemoveChunkControlFromStack(c, &head);
        c->timer = timer;
        AddChunkControlToStack(c, CurrentControls());
        return;
      }
}

// An orphan entry holding a released chain, with the key's frame.
void MakeOrphan(DebrisChunkRenderEntry* e, DebrisKey* k) {
  e->key = nullptr;
  e->mtx = k->effect;
  e->pos = k->pos;
}

// The chunks of the entry's chain stop drawing now and return 4 frames on.
void FreeEntryInstantly(DebrisChunkRenderEntry* e) {
  const bool glass = DebIsGlass(e->type);
  for (uint8_t* c = e->chunk; c;) {
    uint8_t* next = ChainNext(c);
    RemoveAnyChunkControls(c);
    // With no control free the chunk goes back at once rather than being
    // lost: the host has drawn it at the kick.
    if (!ControlChunk(c, 0, glass ? DEBCTL_RETURN_GLASS : DEBCTL_RETURN, nullptr, 4)) PushChunk(c, glass);
    c = next;
  }
  *e = {};
}

void Identity(ZEMTX* m) { ZeMtxSetIdentity(m); }
void NoTranslation(ZEMTX* dst, const ZEMTX* src) {
  if (src) *dst = *src;
  else Identity(dst);
  dst->m[3][0] = dst->m[3][1] = dst->m[3][2] = 0.0f;
  dst->m[3][3] = 1.0f;
}

}  // namespace

void RemoveAnyChunkControls(uint8_t* chunk) {
  for (DebrisChunkControl*& head : debris_chunk_control_stack)
    for (DebrisChunkControl* c = head; c;) {
      DebrisChunkControl* next = c->next;
      if (c->chunk == chunk) DebFreeControl(c, &head);
      c = next;
    }
}

// ---- keys ------------------------------------------------------------------------

int DebAlloc() {
  if (freedebkeyptr >= DEB_KEYS) return -1;
  const int key = freedebkeys[freedebkeyptr++];
  DebrisKey* k = &debkeydata[key];
  k->nchunks = k->cursor = k->capacity = k->want_chunks = k->want_capacity = k->controlled = 0;
  k->chunks[0] = nullptr;
  k->portal = nullptr;
  k->entry = nullptr;
  k->room = -1;
  k->status = 1;
  return key;
}

namespace {

void PushFreeKey(int key) {
  if (freedebkeyptr > 0) freedebkeys[--freedebkeyptr] = int16_t(key);
}

void SetUpKey(int key, int type) {
  DebrisKey* k = &debkeydata[key];
  DebrisEffectType* t = debtab[type];
  k->type = int16_t(type);
  k->active = 0;
  DebrisStartOffset(key, t->start_offset);
  k->on_counter = int16_t(t->on_time + EeFtoi(ZeRandFloat() * float(t->rand_on_time)));
  k->gen = gensorttab[t->gen_kind];
  k->mom = gencodetab[t->mom_kind];
  k->finite = 0;
  k->rotor_y = k->rotor_z = 0;
  k->next_sphere = 0;
  k->sphere_countdown = 1;
  for (DebrisSphere& s : k->sphere) s.age = -1.0f;
  k->origin = k->velocity = {0, 0, 0};
  k->room = -1;
  k->cull_radius = 0.0f;
  k->portal = nullptr;
  k->has_sounds = 0;
  for (const DebSound& s : t->sounds)
    if (s.id != -1) k->has_sounds = 1;
  Identity(&k->effect);
  Identity(&k->emitter);
  k->refl_a = k->refl_b = 0;
  k->plane_offset = 0.0f;
  k->bounce = 0.9f;
  k->trigger_kind = 0;
  k->switch_id = -1;
  k->switch_value = 0.0f;
}

}  // namespace

int AddDebrisEffect(int* key, int type, float x, float y, float z) {
  if (!DebType(type)) return *key >= 0 && *key < DEB_KEYS ? *key : -1;
  // A variable outside the table, or naming a key that has been freed,
  // counts as empty: re-using a free key would give it two owners.
  if (*key < 0 || *key >= DEB_KEYS || debkeydata[*key].type == 0) {
    *key = DebAlloc();
    if (*key < 0) return -1;
  }
  SetUpKey(*key, type);
  DebrisKey* k = &debkeydata[*key];
  k->pos = {x, y, z};
  DebrisKey** current = &debris_emitter_stack[debris_emitter_stack_index];
  DebrisKey** on = FindDebrisEffectStack(k);
  if (on != current) {
    if (on) RemoveDebrisEffectFromStack(k, on);
    AddDebrisEffectToStack(k, current);
  }
  return *key;
}

int AddFiniteShotDebrisEffect(int* key, int type, const ZEVEC* pos, int count) {
  if (AddDebrisEffect(key, type, pos->x, pos->y, pos->z) < 0 || !DebType(type)) return -1;
  DebrisKey* k = &debkeydata[*key];
  k->finite = count;
  k->phase = 0;
  k->active = 1;
  return *key;
}

void DebReAlloc(int key, int particles) {
  DebrisKey* k = DebKey(key);
  DebrisEffectType* t = DebKeyType(k);
  if (!t) return;
  const int per = DebPerChunk(t);
  int chunks = (particles + per - 1) / per;
  if (particles < 0) chunks = particles = 0;
  if (chunks > DEB_KEY_CHUNKS) chunks = DEB_KEY_CHUNKS, particles = MaxParticles(t);
  k->want_capacity = int16_t(particles);
  k->want_chunks = int16_t(chunks);
  if (chunks != k->nchunks) DebReAlloc2(key);
  else k->capacity = k->want_capacity;
}

void DebWantTypeCount(DebrisKey* k, const DebrisEffectType* t) {
  const int per = DebPerChunk(t);
  int cap = t->particle_count, chunks = (cap + per - 1) / per;
  if (chunks > DEB_KEY_CHUNKS) chunks = DEB_KEY_CHUNKS, cap = MaxParticles(t);
  k->want_capacity = int16_t(cap);
  k->want_chunks = int16_t(chunks);
}

void DebReAlloc2(int key) {
  DebrisKey* k = DebKey(key);
  DebrisEffectType* t = DebKeyType(k);
  if (!t) return;
  const bool glass = DebIsGlass(t);
  const int diff = k->want_chunks - k->nchunks;
  if (diff > 0) {
    if (ChunksInUse(glass) + diff > ChunkPool(glass)) return;
    if (!k->entry) {
      k->entry = DebTakeRenderEntry();
      if (!k->entry) return;
      *k->entry = {nullptr, t, k, {}, {}};
    }
    for (int i = 0; i < diff; i++) {
      uint8_t* c = PopChunk(glass);
      DebMarkDead(c, DebPerChunk(t), false);
      k->chunks[k->nchunks++] = c;
    }
    k->capacity = k->want_capacity;
    DebRelink(k);
    return;
  }
  if (diff < 0) {
    const int released = -diff;
    if (freechunkcontrolsptr + released > DebControlLimit()) return;
    const int fade = DebFadeFrames(t);
    for (int i = k->want_chunks; i < k->nchunks; i++) {
      RemoveAnyChunkControls(k->chunks[i]);
      ControlChunk(k->chunks[i], fade, glass ? DEBCTL_FADE_GLASS : DEBCTL_FADE, nullptr, 0);
    }
    if (k->want_chunks == 0) {
      if (k->entry) MakeOrphan(k->entry, k);
      k->entry = nullptr;
    } else if (DebrisChunkRenderEntry* e = DebTakeRenderEntry()) {
      // The released tail fades out as a chain of its own.
      LinkDmaParticalSets(reinterpret_cast<void**>(&k->chunks[k->want_chunks]), released);
      *e = {k->chunks[k->want_chunks], t, nullptr, {}, {}};
      MakeOrphan(e, k);
    }
    k->nchunks = k->want_chunks;
    DebRelink(k);
  }
  k->capacity = k->want_capacity;
  if (k->nchunks == 0) k->chunks[0] = nullptr;
}

// Leaves the wheel and the type's shared slots; the key goes back free.
void DebReleaseKey(int key) {
  if (!DebKey(key)) return;
  DebrisKey* k = &debkeydata[key];
  if (DebrisKey** list = FindDebrisEffectStack(k)) RemoveDebrisEffectFromStack(k, list);
  if (DebrisEffectType* t = DebKeyType(k))
    for (int16_t& s : t->shared_keys)
      if (s == key) s = -1;
  k->type = 0;
  k->nchunks = 0;
  k->chunks[0] = nullptr;
  k->entry = nullptr;
  k->capacity = k->want_capacity = k->want_chunks = k->controlled = k->cursor = 0;
  PushFreeKey(key);
}

void DebFree(int* key) {
  DebrisKey* k = DebKey(*key);
  DebrisEffectType* t = DebKeyType(k);
  if (!t) return;
  const int fade = DebFadeFrames(t);
  const bool glass = DebIsGlass(t);
  for (int i = 0; i < k->nchunks; i++) {
    RemoveAnyChunkControls(k->chunks[i]);
    ControlChunk(k->chunks[i], fade, glass ? DEBCTL_FADE_GLASS : DEBCTL_FADE, nullptr, 0);
  }
  if (k->entry) MakeOrphan(k->entry, k);
  DebReleaseKey(*key);
  *key = -1;
}

void DebFreeInstantly(int* key) {
  DebrisKey* k = DebKey(*key);
  DebrisEffectType* t = DebKeyType(k);
  if (!t) return;
  if (k->entry) FreeEntryInstantly(k->entry);
  DebReleaseKey(*key);
  *key = -1;
}

void DebFreeOrphansInstantly(int type) {
  DebrisEffectType* t = DebType(type);
  if (!t || !ParticleChunkRenderStack) return;
  const int n = debrischunks + debrischunksglass;
  for (int i = 0; i < n; i++) {
    DebrisChunkRenderEntry* e = &ParticleChunkRenderStack[i];
    if (e->chunk && !e->key && e->type == t) FreeEntryInstantly(e);
  }
}

void DebFreeWithoutKey(DebrisKey* k) {
  if (k < debkeydata || k >= debkeydata + DEB_KEYS) return;
  int key = int(k - debkeydata);
  DebFree(&key);
}

// ---- setters ---------------------------------------------------------------------

void DebrisStartOffset(int key, int f) {
  DebrisKey* k = DebKey(key);
  DebrisEffectType* t = DebKeyType(k);
  if (!t) return;
  if (t->rand_on_time || t->rand_off_time) {
    k->phase = 0;
    return;
  }
  if (t->gen_kind == 7) {
    k->rotor_y = int16_t(EeFtoi(float(f) * t->var.y));
    k->rotor_z = int16_t(EeFtoi(float(f) * t->var.z));
    k->phase = 0;
    return;
  }
  const int period = t->on_time + t->off_time;
  k->on_counter = t->on_time;
  // On and off time both 0 (or a damaged negative period): no cycle.
  if (period <= 0) {
    k->phase = 0;
    return;
  }
  const int64_t r = int64_t(globalframes % period) - f;
  int64_t phase = r == 0 ? 0 : period - r;
  // An offset far outside the cycle (a damaged file) lands within one period.
  if (phase < 0 || phase > 32767) phase = (phase % period + period) % period;
  k->phase = int16_t(phase);
}

namespace {

DebrisKey* Live(int key) { return DebKeyType(DebKey(key)) ? &debkeydata[key] : nullptr; }

}  // namespace

void DebrisOrientation(int key, int16_t z, int16_t y) {
  if (DebrisKey* k = Live(key)) {
    Identity(&k->effect);
    ZeMtxRotateZ(&k->effect, z);
    ZeMtxRotateY(&k->effect, y);
    k->cull_radius = 0.0f;
  }
}

void DebrisOrientationMtx(int key, const ZEMTX* m) {
  if (DebrisKey* k = Live(key)) NoTranslation(&k->effect, m), k->cull_radius = 0.0f;
}

void DebrisPosOrientationMtx(int key, const ZEMTX* m) {
  if (DebrisKey* k = Live(key)) {
    k->pos = {m->m[3][0], m->m[3][1], m->m[3][2]};
    NoTranslation(&k->effect, m);
    k->cull_radius = 0.0f;
  }
}

void DebrisEmitterOrientation(int key, int16_t a, int16_t b, int16_t c) {
  if (DebrisKey* k = Live(key)) {
    Identity(&k->emitter);
    ZeMtxRotateZ(&k->emitter, a);
    ZeMtxRotateY(&k->emitter, b);
    ZeMtxRotateX(&k->emitter, c);
    k->cull_radius = 0.0f;
  }
}

void DebrisEmitterOrientationMtx(int key, const ZEMTX* m) {
  if (DebrisKey* k = Live(key)) NoTranslation(&k->emitter, m), k->cull_radius = 0.0f;
}

void DebrisEmiterPos(int key, float x, float y, float z) {
  if (DebrisKey* k = Live(key)) k->pos = {x, y, z}, k->cull_radius = 0.0f;
}

void DebrisReflectionOrientation(int key, int16_t a, int16_t b, float offset, float factor) {
  if (DebrisKey* k = Live(key)) k->refl_a = a, k->refl_b = b, k->plane_offset = offset, k->bounce = factor;
}

void DebrisSetTrigger(int key, int kind, int id, float value) {
  if (DebrisKey* k = Live(key)) k->trigger_kind = kind, k->switch_id = id, k->switch_value = value;
}

void DebrisSetGroupID(int key, int16_t group) {
  if (DebrisKey* k = Live(key)) k->group = group;
}

void DebrisSetRoomID(int key, const ZEGSCENE* scene) {
  DebrisKey* k = Live(key);
  if (!k) return;
  const ZEPORTALSET* ps = scene ? &scene->portals : nullptr;
  k->room = int16_t(ps ? ZePortalWhichRoom(ps, &k->pos) : -1);
  k->portal = k->room >= 0 ? ps : nullptr;
}

void DebrisStatusAlwaysOff(int* key) {
  if (DebrisKey* k = Live(*key)) k->status = 0;
}
void DebrisStatusNormal(int* key) {
  if (DebrisKey* k = Live(*key)) k->status = 1;
}
void DebrisStatusAlwaysOn(int* key) {
  if (DebrisKey* k = Live(*key)) k->status = 2;
}
void DebrisSetRenderGroup(int group) { debris_render_group = group; }
void DebrisSetSeed(int64_t seed) { debris_seed = seed; }
void DebrisRegisterCutoffCameraVec(const ZEVEC* pos) { CutoffCameraVec = pos; }

float CameraEmitterDistance(const ZEVEC* pos) {
  if (!CutoffCameraVec) return 0.0f;
  const float dx = pos->x - CutoffCameraVec->x, dy = pos->y - CutoffCameraVec->y, dz = pos->z - CutoffCameraVec->z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

int DebrisFindAllOfType(int type, ZEVEC* pos, int* keys, int max, int first, int withChunks) {
  int n = 0;
  for (int i = 0; i < DEB_KEYS; i++) {
    const DebrisKey& k = debkeydata[i];
    if (k.type == 0 || k.type != type || (withChunks && k.nchunks == 0)) continue;
    const int at = n - first;
    if (at >= 0 && at < max) {
      if (pos) pos[at] = k.pos;
      if (keys) keys[at] = i;
    }
    n++;
  }
  return n - first;
}

int DebrisGetRingProperties(int key, ZEVEC* centre, ZEVEC* axis, float* radius) {
  DebrisKey* k = Live(key);
  if (!k) return 0;
  const DebrisEffectType* t = debtab[k->type];
  *centre = k->pos;
  const ZEVEC a = t->gen_kind == 11 ? ZEVEC{0, 1, 0} : ZEVEC{0, 0, 1};
  ZeVecMtxRotate(axis, &a, &k->emitter);
  if (t->gen_kind == 6 || t->gen_kind == 7 || t->gen_kind == 11) {
    *radius = t->start.x;
    return 1;
  }
  *radius = 0.0f;
  return 0;
}

int SolveQuadratic(float a, float b, float c, float* t1, float* t2) {
  if (a == 0.0f) {
    if (b == 0.0f) return 0;
    *t1 = *t2 = -c / b;
    return 1;
  }
  const float d = b * b - 4.0f * a * c;
  if (d < 0.0f) return 0;
  if (d == 0.0f) {
    *t1 = *t2 = -b / (2.0f * a);
    return 1;
  }
  const float r = std::sqrt(d);
  *t1 = (-b - r) / (2.0f * a);
  *t2 = (-b + r) / (2.0f * a);
  return 1;
}

ZEMTL* CreateCopyMat(const ZEMTL* source, int uv, int blend, int zmode, int bits45) {
  return DebMaterial(source ? source->texture : 0, source ? source->sort_priority : 0x7fff, uv, blend, bits45, zmode,
                     -1);
}

// ---- bursts ----------------------------------------------------------------------

void AddVariableShotDebrisEffectMtx3(int type, const ZEVEC* pos, const ZEVEC* vel, int count, const ZEMTX* emit,
                                     const ZEMTX* frame) {
  DebrisEffectType* t = DebType(type);
  if (!t || count <= 0 || !ParticleChunkRenderStack) return;
  ZeRandSeed(debris_seed);
  struct SaveSeed {
    ~SaveSeed() { debris_seed = ZeRandReadSeed(); }
  } save;
  const float d = CameraEmitterDistance(pos);
  if (d < t->cut_on || (t->cut_off > 0.0f && d >= t->cut_off)) return;
  const int64_t needed = int64_t(count) * (int64_t(t->ghosts) + 1);
  if (needed <= 0) return;
  const bool glass = DebIsGlass(t);
  const int per = DebPerChunk(t), most = MaxParticles(t);
  DebrisKey* k = nullptr;
  for (int16_t& slot : t->shared_keys) {
    // A slot naming a key that is no longer this type's counts as empty.
    if (slot < 0 || slot >= DEB_KEYS || debkeydata[slot].type != type) slot = -1;
    if (slot == -1) {
      const int key = DebAlloc();
      if (key < 0) return;
      slot = int16_t(key);
      k = &debkeydata[key];
      k->type = int16_t(type);
      k->gen = gensorttab[t->gen_kind];
      k->mom = gencodetab[t->mom_kind];
      NoTranslation(&k->effect, frame);
      Identity(&k->emitter);
      k->pos = {0, 0, 0};
      k->cull_radius = 0.0f;
      break;
    }
    if (debkeydata[slot].capacity + needed <= most) {
      k = &debkeydata[slot];
      break;
    }
  }
  if (!k) return;
  if (k->capacity + needed > k->nchunks * per) {
    const int wanted = int((k->capacity + needed + per - 1) / per), extra = wanted - k->nchunks;
    if (wanted > DEB_KEY_CHUNKS || ChunksInUse(glass) + extra >= ChunkPool(glass)) return;
    if (!k->entry) {
      k->entry = DebTakeRenderEntry();
      if (!k->entry) return;
      *k->entry = {nullptr, t, k, {}, {}};
    }
    for (int i = 0; i < extra; i++) k->chunks[k->nchunks++] = PopChunk(glass);
    DebRelink(k);
  }
  k->capacity = int16_t(k->capacity + needed);
  k->origin = *pos;
  k->velocity = vel ? *vel : ZEVEC{0, 0, 0};
  NoTranslation(&k->emitter, emit);
  k->cull_radius = 0.0f;
  for (int i = 0; i < count; i++) k->gen(k, t, 0);
  const int timer = DebFadeFrames(t);
  while (k->controlled < k->nchunks && freechunkcontrolsptr < DebControlLimit()) {
    ControlChunk(k->chunks[k->controlled], timer, DEBCTL_SHOT, k, 0);
    k->controlled++;
  }
  if (k->controlled == k->nchunks && k->nchunks > 0) RetimeShot(k->chunks[k->nchunks - 1], timer);
  k->want_chunks = k->nchunks;
  k->want_capacity = k->capacity;
}

namespace {

ZEMTX AngleZY(int16_t z, int16_t y) {
  ZEMTX m;
  Identity(&m);
  ZeMtxRotateZ(&m, z);
  ZeMtxRotateY(&m, y);
  return m;
}

}  // namespace

void AddVariableShotDebrisEffect(int type, const ZEVEC* pos, int count, int16_t z, int16_t y) {
  const ZEMTX emit = AngleZY(z, y);
  AddVariableShotDebrisEffectMtx3(type, pos, nullptr, count, &emit, nullptr);
}

void AddVariableShotDebrisEffectMtx(int type, const ZEVEC* pos, int count, int16_t z, int16_t y, const ZEMTX* frame) {
  const ZEMTX emit = AngleZY(z, y);
  AddVariableShotDebrisEffectMtx3(type, pos, nullptr, count, &emit, frame);
}

void AddVariableShotDebrisEffectMtx2(int type, const ZEVEC* pos, int count, const ZEMTX* emit, const ZEMTX* frame) {
  AddVariableShotDebrisEffectMtx3(type, pos, nullptr, count, emit, frame);
}

void AddDebEff(int key, int extra, int count) {
  DebrisKey* k = Live(key);
  if (!k || k->finite == 0) return;
  DebrisEffectType* t = debtab[k->type];
  for (int i = 0; i < count; i++) k->gen(k, t, extra);
}
