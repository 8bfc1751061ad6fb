// The particle frame: the particle clock, the emitter wheel (triggers,
// collision spheres, re-allocation, emission, on/off timing), the chunk
// control wheel (fading, cutting and returning chunks, bounces), drawing by
// render pass, re-origining, the collision-sphere test and the glass pass.
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "debris_local.h"

DebrisKey* debris_emitter_stack[DEB_WHEEL];
int debris_emitter_stack_index = 0;
DebrisChunkControl* debris_chunk_control_stack[DEB_WHEEL];
int debris_chunk_control_stack_index = 0;
DebrisChunkControl* debris_chunk_controls = nullptr;
DebrisChunkControl** freechunkcontrols = nullptr;
int freechunkcontrolsptr = 0;
int debris_generated_total = 0, debris_drawn_total = 0;
ZEVEC debris_collide_pt;
ZETEXID debris_glass_tid = 0;
ZEMTL* debris_glass_mtl = nullptr;
int debris_glass_ready = 0;
float debris_glass_scale_u = 1.0f, debris_glass_scale_v = 1.0f;

namespace {

constexpr int RING = 60;
int g_generated[RING], g_drawn[RING], g_genIndex, g_drawIndex;
ZETEXID g_frameTid;  // the frame being drawn, read as a texture by the copy

int Sum(const int* ring) {
  int s = 0;
  for (int i = 0; i < RING; i++) s += ring[i];
  return s;
}

DebrisKey* Detach(DebrisKey** list) {
  DebrisKey* k = *list;
  *list = nullptr;
  return k;
}

template <class F>
void ForCurrent(F f) {
  for (DebrisKey* k = debris_emitter_stack[debris_emitter_stack_index]; k;) {
    DebrisKey* next = k->next;
    if (DebrisEffectType* t = DebKeyType(k)) f(k, t);
    k = next;
  }
}

bool InGroup(const DebrisKey* k) {
  return debris_render_group == 0 || k->group == 0 || k->group == debris_render_group;
}

}  // namespace

void DebCountGenerated(int n) { g_generated[g_genIndex] += n; }

// ---- wheel lists -----------------------------------------------------------------

void AddDebrisEffectToStack(DebrisKey* key, DebrisKey** list) {
  DebrisKey** at = list;
  while (*at) {
    if (*at == key) return;
    at = &(*at)->next;
  }
  key->next = nullptr;
  *at = key;
}

void RemoveDebrisEffectFromStack(DebrisKey* key, DebrisKey** list) {
  for (DebrisKey** at = list; *at; at = &(*at)->next)
    if (*at == key) {
      *at = key->next;
      key->next = nullptr;
      return;
    }
}

DebrisKey** FindDebrisEffectStack(DebrisKey* key) {
  for (DebrisKey*& head : debris_emitter_stack)
    for (DebrisKey* k = head; k; k = k->next)
      if (k == key) return &head;
  return nullptr;
}

void AddChunkControlToStack(DebrisChunkControl* c, DebrisChunkControl** list) {
  DebrisChunkControl** at = list;
  while (*at) at = &(*at)->next;
  c->next = nullptr;
  *at = c;
}

void RemoveChunkControlFromStack(DebrisChunkControl* c, DebrisChunkControl** list) {
  for (DebrisChunkControl** at = list; *at; at = &(*at)->next)
    if (*at == c) {
      *at = c->next;
      c->next = nullptr;
      return;
    }
}

// ---- the emitter wheel -----------------------------------------------------------

void DebrisProcessTriggers() {
  ForCurrent([](DebrisKey* k, DebrisEffectType*) {
    if (k->trigger_kind != 1 || k->switch_id == -1) return;
    // A switch id past the table is a switch that is never on.
    const bool known = k->switch_id >= 0 && k->switch_id < int(sizeof object_switches);
    k->active = int16_t(known ? object_switches[k->switch_id] : 0);
  });
}

void DebrisProcessSpheres() {
  ForCurrent([](DebrisKey* k, DebrisEffectType* t) {
    if (t->spheres <= 0) return;
    for (int i = 0; i < t->spheres && i < DEB_SPHERES; i++) {
      DebrisSphere& s = k->sphere[i];
      if (s.age < 0.0f) continue;
      s.age += timeincrement;
      if (s.age > t->life) s.age = -1.0f;
    }
    k->sphere_countdown -= 1;
    if (k->phase == 0 && k->active && k->sphere_countdown <= 0) {
      const int n = k->next_sphere % t->spheres;
      DebrisSphere& s = k->sphere[n];
      s.age = 0.0f;
      const ZEVEC up = {0, t->base_speed, 0};
      ZeVecMtxRotate(&s.vel, &up, &k->emitter);
      k->next_sphere = int16_t((n + 1) % t->spheres);
      k->sphere_countdown = int16_t(EeFtoi(t->life * 60.0f / float(t->spheres)));
    }
  });
}

void DebrisProcessAllocation() {
  ForCurrent([](DebrisKey* k, DebrisEffectType*) {
    if (k->want_capacity != k->capacity) DebReAlloc2(int(k - debkeydata));
  });
}

void DebrisProcessGeneration() {
  ForCurrent([](DebrisKey* k, DebrisEffectType* t) {
    if (k->phase != 0) return;
    const int key = int(k - debkeydata);
    const float d = CameraEmitterDistance(&k->pos);
    const bool inRange = t->cut_on <= d && (t->cut_off == 0.0f || d <= t->cut_off) && InGroup(k);
    if (k->active && (d < t->cut_on || (t->cut_off > 0.0f && d > t->cut_off) || !InGroup(k))) k->active = 0;
    if (k->status == 0) k->active = 0;
    if (k->status == 2) k->active = 1;
    if (k->active) {
      if (k->want_chunks == 0) {
        DebWantTypeCount(k, t);
        if (k->nchunks != k->want_chunks) DebReAlloc2(key);
        else k->capacity = k->want_capacity;
      }
      if (k->nchunks > 0) {
        if (t->gen_rate > 0)
          for (int i = 0; i < t->gen_rate; i++) k->gen(k, t, 0);
        else if (t->gen_rate < 0 && globalframes % -t->gen_rate == 0)
          k->gen(k, t, 0);
      }
    } else if (inRange) {
      k->active = 1;  // emits from its next visit
    } else if (k->want_chunks != 0) {
      k->want_capacity = k->want_chunks = 0;
      DebReAlloc2(key);  // its chunks fade out
    }
  });
}

void DebrisProcessTimings() {
  ForCurrent([](DebrisKey* k, DebrisEffectType* t) {
    if (k->phase != 0) return;
    k->on_counter -= 1;
    if (k->active) k->phase = 1;
    else if (t->off_time == 0 || t->rand_off_time != 0) k->phase = int16_t(50 + ZeRand(nullptr) % 8);
    else k->phase = 1;
    if (k->on_counter != 0) return;
    int phase = k->phase + t->off_time;
    if (t->rand_off_time > 0) phase += 1 + ZeRand(nullptr) % t->rand_off_time;
    int on = t->on_time;
    if (t->rand_on_time > 0) on += 1 + ZeRand(nullptr) % t->rand_on_time;
    k->phase = int16_t(phase);
    k->on_counter = int16_t(on);
    for (int i = 0; i < 4; i++) {
      if (t->sounds[i].control == 1) k->sound_count[i] = k->phase;
      if (t->sounds[i].control == 2) k->sound_count[i] = int16_t(k->phase + k->on_counter - 1);
    }
    if (k->finite != 0 && --k->finite == 0) {
      int key = int(k - debkeydata);
      DebFree(&key);
      k->phase = 33;
    }
  });
}

void DebrisProcessStackUpdate() {
  const int index = debris_emitter_stack_index;
  for (DebrisKey* k = Detach(&debris_emitter_stack[index]); k;) {
    DebrisKey* next = k->next;
    const DebrisEffectType* t = DebKeyType(k);
    int move;
    if (t && t->spheres > 0) {
      move = 1;
      k->phase -= 1;
    } else if (k->phase >= DEB_WHEEL) {
      move = 0;
      k->phase -= DEB_WHEEL;
    } else {
      // A phase below 1 (damaged offsets) waits one frame rather than
      // landing back on the list being worked.
      move = k->phase < 1 ? 1 : k->phase;
      k->phase = 0;
    }
    for (int16_t& c : k->sound_count) c = int16_t(c - (move == 0 ? DEB_WHEEL : move));
    AddDebrisEffectToStack(k, &debris_emitter_stack[(index + move) % DEB_WHEEL]);
    k = next;
  }
  debris_emitter_stack_index = (index + 1) % DEB_WHEEL;
}

// ---- the control wheel -----------------------------------------------------------

namespace {

void File(DebrisChunkControl* c, int delay) {
  const int index = debris_chunk_control_stack_index;
  if (delay < 0) delay = 0;
  if (delay >= DEB_WHEEL) {
    c->timer = delay - DEB_WHEEL;
    AddChunkControlToStack(c, &debris_chunk_control_stack[index]);
  } else {
    c->timer = 0;
    AddChunkControlToStack(c, &debris_chunk_control_stack[(index + delay) % DEB_WHEEL]);
  }
}

void EmptyEntryOf(uint8_t* chunk) {
  const int n = debrischunks + debrischunksglass;
  for (int i = 0; i < n; i++)
    if (ParticleChunkRenderStack[i].chunk == chunk) ParticleChunkRenderStack[i] = {};
}

// A shot chunk's time is up: it leaves its key.
void LeaveKey(DebrisChunkControl* c) {
  DebrisKey* k = c->key;
  const DebrisEffectType* t = DebKeyType(k);
  if (!t) return;
  int at = -1;
  for (int i = 0; i < k->nchunks; i++)
    if (k->chunks[i] == c->chunk) at = i;
  if (at < 0) return;
  const int per = DebPerChunk(t);
  for (int i = at; i + 1 < k->nchunks; i++) k->chunks[i] = k->chunks[i + 1];
  k->nchunks -= 1;
  k->want_chunks = int16_t(k->want_chunks > 0 ? k->want_chunks - 1 : 0);
  k->controlled = int16_t(k->controlled > 0 ? k->controlled - 1 : 0);
  if (k->nchunks == 0) {
    k->capacity = k->want_capacity = 0;
  } else {
    k->capacity = int16_t(k->capacity > per ? k->capacity - per : 0);
    k->want_capacity = int16_t(k->want_capacity > per ? k->want_capacity - per : 0);
  }
  if (k->cursor >= (at + 1) * per) k->cursor = int16_t(k->cursor - per);
  if (k->nchunks == 0) {
    k->chunks[0] = nullptr;
    if (k->entry) *k->entry = {};
    k->entry = nullptr;
  } else {
    DebRelink(k);
  }
}


// The next impact of a particle's path with its plane after t, or -1.
float NextImpact(const DebrisParticle* p, float g, float plane) {
  float t1, t2;
  if (g == 0.0f) {
    if (p->vy == 0.0f) return -1.0f;
    return -(p->y - plane) / p->vy;
  }
  if (!SolveQuadratic(g, p->vy, p->y - plane, &t1, &t2)) return -1.0f;
  return t1 > t2 ? t1 : t2;
}

// Returns true when the control lives on (re-filed).
bool Floor(DebrisChunkControl* c) {
  const DebrisEffectType* t = DebType(c->type);
  if (!t || !c->chunk) return false;
  DebrisParticle* p = DebrisChunkParticles(c->chunk) + c->slot;
  const float g = t->gravity, f = c->bounce, tt = c->t;
  const float vy = p->vy, vy2 = -f * (vy + 2.0f * g * tt) - 2.0f * g * tt;
  p->vy = vy2;
  p->y -= (vy2 - vy) * tt;
  const float next = NextImpact(p, g, c->plane_offset);
  if (!(next < t->life) || !(next > tt)) return false;
  const int timer = EeFtoi((next - tt) * 60.0f);
  c->t = next;
  if (timer == 0) {
    p->vy = 0.0f;
    p->y = c->plane_offset;
    return false;
  }
  File(c, timer);
  return true;
}

void Wall(DebrisChunkControl* c) {
  if (!c->chunk) return;
  DebrisParticle* p = DebrisChunkParticles(c->chunk) + c->slot;
  const ZEVEC n = DebWallNormal(c->wall_angle);
  const float vn = p->vx * n.x + p->vz * n.z;
  const float vx = p->vx - (1.0f + c->bounce) * vn * n.x, vz = p->vz - (1.0f + c->bounce) * vn * n.z;
  p->x -= (vx - p->vx) * c->t;
  p->z -= (vz - p->vz) * c->t;
  p->vx = vx, p->vz = vz;
}

}  // namespace

void PushChunk(uint8_t* chunk, bool glass) {
  DebMarkDead(chunk, glass ? DEB_GLASS_PARTS : DEB_CHUNK_PARTS, true);
  if (glass) {
    if (freedebchkptrg > 0) freedebchunksglass[--freedebchkptrg] = chunk;
  } else if (freedebchkptr > 0) {
    freedebchunks[--freedebchkptr] = chunk;
  }
}

void DebrisProcessControlChunks() {
  const int index = debris_chunk_control_stack_index;
  DebrisChunkControl* c = debris_chunk_control_stack[index];
  debris_chunk_control_stack[index] = nullptr;
  while (c) {
    DebrisChunkControl* next = c->next;
    c->next = nullptr;
    if (c->timer != 0) {
      File(c, c->timer);
      c = next;
      continue;
    }
    auto ahead = [&](int kind) {
      c->kind = kind;
      File(c, 4);
    };
    switch (c->kind) {
      case DEBCTL_FADE: EmptyEntryOf(c->chunk), ahead(DEBCTL_CUT); break;
      case DEBCTL_FADE_GLASS: EmptyEntryOf(c->chunk), ahead(DEBCTL_CUT_GLASS); break;
      case DEBCTL_SHOT: {
        const DebrisEffectType* t = DebKeyType(c->key);
        const bool glass = t && DebIsGlass(t);
        LeaveKey(c);
        c->key = nullptr;
        ahead(glass ? DEBCTL_CUT_GLASS : DEBCTL_CUT);
        break;
      }
      case DEBCTL_CUT:
      case DEBCTL_CUT_GLASS: {
        void* one[1] = {c->chunk};
        LinkDmaParticalSets(one, 1);
        ahead(c->kind == DEBCTL_CUT ? DEBCTL_RETURN : DEBCTL_RETURN_GLASS);
        break;
      }
      case DEBCTL_RETURN:
      case DEBCTL_RETURN_GLASS: PushChunk(c->chunk, c->kind == DEBCTL_RETURN_GLASS), DebFreeControl(c, nullptr); break;
      case DEBCTL_FLOOR:
        if (!Floor(c)) DebFreeControl(c, nullptr);
        break;
      case DEBCTL_WALL: Wall(c), DebFreeControl(c, nullptr); break;
      default: DebFreeControl(c, nullptr); break;
    }
    c = next;
  }
  debris_chunk_control_stack_index = (index + 1) % DEB_WHEEL;
}

// ---- the frame -------------------------------------------------------------------

void Debris(int paused) {
  if (paused) return;
  if (tb_default_set) tbslotBeginExFn(tb_default_set, 12, "deb");
  globaltime += timeincrement;
  globalframes += 1;
  ZeRandSeed(debris_seed);
  DebrisProcessTriggers();
  DebrisProcessSpheres();
  DebrisProcessAllocation();
  g_genIndex = (g_genIndex + 1) % RING;
  g_generated[g_genIndex] = 0;
  DebrisProcessGeneration();
  debris_generated_total = Sum(g_generated);
  DebrisProcessTimings();
  DebrisProcessStackUpdate();
  DebrisProcessControlChunks();
  if (tb_default_set) tbslotEndFn(tb_default_set, 12);
  debris_seed = ZeRandReadSeed();
}

void DebrisDoSounds() {}

// ---- drawing ---------------------------------------------------------------------

namespace {

bool IsSharedKey(const DebrisKey* k, const DebrisEffectType* t) {
  const int key = int(k - debkeydata);
  for (int16_t s : t->shared_keys)
    if (s == key) return true;
  return false;
}

void CullBox(DebrisKey* k, const DebrisEffectType* t) {
  const float life = t->life;
  const ZEVEC e0 = {std::fabs((t->base_speed + t->var.x) * life + t->start.x),
                    std::fabs((t->base_speed + t->var.y) * life + t->start.y),
                    std::fabs((t->base_speed + t->var.z) * life + t->start.z)};
  ZEVEC e;
  ZeVecMtxRotate(&e, &e0, &k->emitter);
  const float pad = t->max_size / 10000.0f + 0.2f;
  e = {std::fabs(e.x) + pad, std::fabs(e.y) + pad, std::fabs(e.z) + pad};
  k->cull_min = {-e.x, -e.y, -e.z};
  k->cull_max = e;
  if (t->gravity > 0.0f) k->cull_max.y += t->gravity * life * life;
  if (t->gravity < 0.0f) k->cull_min.y += t->gravity * life * life;
  float r = 0.0f;
  for (float v : {k->cull_min.x, k->cull_min.y, k->cull_min.z, k->cull_max.x, k->cull_max.y, k->cull_max.z})
    r = std::fmax(r, std::fabs(v));
  k->cull_radius = r;
}

ZEMTX MovedTo(const ZEMTX& m, const ZEVEC& p) {
  ZEMTX d = m;
  d.m[3][0] = p.x, d.m[3][1] = p.y, d.m[3][2] = p.z, d.m[3][3] = 1.0f;
  return d;
}

}  // namespace

void DebrisDraw(int, int pass) {
  if (!debris_initialised || !ParticleChunkRenderStack) return;
  g_drawIndex = (g_drawIndex + 1) % RING;
  g_drawn[g_drawIndex] = 0;
  const int n = debrischunks + debrischunksglass;
  for (int i = 0; i < n; i++) {
    DebrisChunkRenderEntry* e = &ParticleChunkRenderStack[i];
    const DebrisEffectType* t = e->type;
    if (!e->chunk || !t || !t->info) continue;
    if (DebIsGlass(t) ? pass != 2 : t->draw_flag != pass) continue;
    ZEMTX m;
    if (DebrisKey* k = e->key) {
      if (t->draw_cut_off > 0.0f && CameraEmitterDistance(&k->pos) > t->draw_cut_off) continue;
      m = MovedTo(k->effect, k->pos);
      if (t->gen_kind == 0 && !IsSharedKey(k, t)) {
        if (edbits_editmode || k->cull_radius == 0.0f) CullBox(k, t);
        if (k->room >= 0 && k->portal && !ZePortalClipTest(k->portal, &k->pos, k->room, k->cull_radius)) continue;
        if (!ZeCameraClipTestExtents(&k->cull_min, &k->cull_max, &m)) continue;
      }
      g_drawn[g_drawIndex] += k->capacity;
    } else {
      if (t->draw_cut_off > 0.0f && CameraEmitterDistance(&e->pos) > t->draw_cut_off) continue;
      m = MovedTo(e->mtx, e->pos);
      g_drawn[g_drawIndex] += 16;
    }
    ZeRndrParticleGroup(e->chunk, t->info, DebMat[t->blend], &m, DebIsGlass(t) ? 4 : 0, globaltime, t->rparam[0],
                        t->rparam[1], t->cut_off);
  }
  debris_drawn_total = Sum(g_drawn);
}

void DebrisShift(const ZEMTX* m) {
  for (int i = 0; i < DEB_KEYS; i++) {
    DebrisKey* k = &debkeydata[i];
    DebrisEffectType* t = DebKeyType(k);
    if (!t) continue;
    if (IsSharedKey(k, t)) {
      for (int c = 0; c < k->nchunks; c++) RemoveAnyChunkControls(k->chunks[c]);
      k->controlled = 0;
      k->want_capacity = k->want_chunks = 0;
      DebReAlloc2(i);
    } else {
      ZeMtxMulR(&k->effect, &k->effect, m);
      ZeVecMtxTransform(&k->pos, &k->pos, m);
      k->cull_radius = 0.0f;
    }
  }
  const int n = debrischunks + debrischunksglass;
  for (int i = 0; ParticleChunkRenderStack && i < n; i++) {
    DebrisChunkRenderEntry* e = &ParticleChunkRenderStack[i];
    if (!e->chunk || e->key) continue;
    ZeMtxMulR(&e->mtx, &e->mtx, m);
    ZeVecMtxTransform(&e->pos, &e->pos, m);
  }
}

int DebrisCollisionCheck(const ZEVEC* p, float r) {
  for (int i = 0; i < DEB_KEYS; i++) {
    const DebrisKey* k = &debkeydata[i];
    const DebrisEffectType* t = DebKeyType(k);
    if (!t || t->spheres <= 0) continue;
    for (int j = 0; j < t->spheres && j < DEB_SPHERES; j++) {
      const DebrisSphere& s = k->sphere[j];
      if (!(s.age >= 0.0f)) continue;
      const float a = s.age;
      debris_collide_pt = {k->pos.x + s.vel.x * a, k->pos.y + s.vel.y * a + t->gravity * a * a, k->pos.z + s.vel.z * a};
      const float rad = DebrisEnvelope(t->collision, a / t->life);
      const float dx = p->x - debris_collide_pt.x, dy = p->y - debris_collide_pt.y, dz = p->z - debris_collide_pt.z;
      if (dx * dx + dy * dy + dz * dz < (r + rad) * (r + rad)) return i;
    }
  }
  return -1;
}

// ---- glass -----------------------------------------------------------------------

void DebrisGlassInit() {
  // Started again without a close: what the first start made serves on.
  if (debris_glass_ready) return;
  // The screen copy (a 24-bit render target as wide and high as the powers
  // of two over the screen) and the frame read back as a texture.
  int w = 1, h = 1;
  while (w < PS2_REZ_W) w <<= 1;
  while (h < PS2_REZ_H) h <<= 1;
  ZETEX copy = {ZETEX_RT_CT24, w, h, 1, nullptr, nullptr};
  debris_glass_tid = ZeTexCreate(&copy);
  ZETEX frame = {ZETEX_RT_CT32, PS2_REZ_W, PS2_REZ_H, 1, nullptr, nullptr};  // the frame's own row width
  g_frameTid = ZeTexCreate(&frame);
  debris_glass_mtl = DebMaterial(g_frameTid, 128, 0, 0, 0, 3, -1);
  // Glass shards show the copy (ST from the particle program).
  if (DebMat[DEB_BLEND_GLASS]) {
    DebMat[DEB_BLEND_GLASS]->texture = debris_glass_tid;
    ZeMtlUpdate(DebMat[DEB_BLEND_GLASS]);
  }
  ZeRainSurfaceInit();
  debris_glass_ready = 1;
}

void DebrisGlassClose() {
  if (!debris_glass_ready) return;
  if (DebMat[DEB_BLEND_GLASS]) DebMat[DEB_BLEND_GLASS]->texture = 0;
  ZeMtlDestroy(debris_glass_mtl);
  ZeTexDestroy(debris_glass_tid);
  ZeTexDestroy(g_frameTid);
  ZeRainSurfaceClose();
  debris_glass_mtl = nullptr;
  debris_glass_tid = g_frameTid = 0;
  debris_glass_ready = 0;
}

int DebrisGlassParticlesActive() { return freedebchkptrg > 0 ? 1 : 0; }

void DebrisDrawGlass() {
  if (!debris_glass_ready) return;
  const int addr = ZeTexReserve(ZeTexGetReqSize(debris_glass_tid, 0));
  const int active = DebrisGlassParticlesActive();
  if (active) {
    uint64_t frame;
    ZePs2GetCurrentBackBuffer(&frame);
    ZeTexAssignAddr(g_frameTid, int(frame & 0x1ff) * 32);
    ZeTexAssignAddr(debris_glass_tid, addr);
    if (ZeRndrBeginScene(debris_glass_tid)) {
      ZeRndrRectUV2di(0, 0, PS2_REZ_W * 16, PS2_REZ_H * 16, 0x80808080u, debris_glass_mtl, 0.0f, 0.0f,
                      debris_glass_scale_u, debris_glass_scale_v);
      ZeRndrEndScene();
    }
  }
  if (ZeRndrBeginSceneEx(-1, -2, 1)) {
    if (active) DebrisDraw(0, 2);
    ZeRainDraw(addr);
    ZeRndrEndScene();
  }
  ZeTexUnReserve();
}
