// The particle generators (one per generator kind) and momentum adjusters:
// each generator writes one particle (and its ghosts) into the slot at the
// key's cursor, from the type's vectors, the emitter orientation and the
// shared random generators; bouncing kinds schedule their first bounce.
#include <cmath>
#include <cstdlib>

#include "debris_local.h"

namespace {

// U(a): uniform in -a..a from the shared float generator.
float U(float a) { return (2.0f * ZeRandFloat() - 1.0f) * a; }
// R(): the C library's generator, 0..2^31 - 1.
float R() { return float(std::rand()); }
float T(int i) { return ZeTrigTable[i & 0x7fff]; }

struct Slot {
  uint8_t* chunk;
  int index;
  DebrisParticle* p;
};

// The slot at the cursor (glass chunks hold 12), the cursor advanced.
bool Take(DebrisKey* k, const DebrisEffectType* t, Slot* s) {
  if (k->capacity <= 0 || k->nchunks <= 0) return false;
  if (k->cursor >= k->capacity || k->cursor < 0) k->cursor = 0;
  const int per = DebPerChunk(t), c = k->cursor / per;
  if (c >= k->nchunks) {
    k->cursor = 0;
    return false;
  }
  s->chunk = k->chunks[c];
  s->index = k->cursor % per;
  s->p = DebrisChunkParticles(s->chunk) + s->index;
  k->cursor++;
  return true;
}

ZEVEC Rot(const ZEVEC& v, const ZEMTX& m) {
  ZEVEC r;
  ZeVecMtxRotate(&r, &v, &m);
  return r;
}

void Put(DebrisParticle* p, const ZEVEC& pos, float birth, const ZEVEC& vel, float rate) {
  p->x = pos.x, p->y = pos.y, p->z = pos.z, p->birth = birth;
  p->vx = vel.x, p->vy = vel.y, p->vz = vel.z, p->rate = rate;
}

// After the particle is written: momentum, origin and velocity, ghosts,
// the type's renderer block, and the generated counter.
void Finish(DebrisKey* k, DebrisEffectType* t, DebrisParticle* p, bool added, bool ghosts) {
  if (k->mom) k->mom(k, t, p);
  if (added) {
    p->x += k->origin.x, p->y += k->origin.y, p->z += k->origin.z;
    p->vx += k->velocity.x, p->vy += k->velocity.y, p->vz += k->velocity.z;
  }
  int copies = 0;
  if (ghosts)
    for (int i = 1; i <= t->ghosts; i++) {
      Slot g;
      if (!Take(k, t, &g)) break;
      *g.p = *p;
      g.p->birth = p->birth + float(i) * t->ghost_sep;
      copies++;
    }
  if (!t->info) GenericDebinfoDmaTypeUpdate(t);
  DebCountGenerated(1 + copies);
}

float Rate(const DebrisEffectType* t) { return 64.0f / t->life; }

// Kinds 0, 1, 9 and 10: a box of start positions and velocities.
void Box(DebrisKey* k, const DebrisEffectType* t, ZEVEC* pos, ZEVEC* vel) {
  *pos = Rot({U(t->start.x), U(t->start.y), U(t->start.z)}, k->emitter);
  *vel = Rot({U(t->var.x), t->base_speed + U(t->var.y), U(t->var.z)}, k->emitter);
}

// Kinds 2-5: position and velocity from the twelve scale and base floats.
void PosVel(const DebrisEffectType* t, ZEVEC* pos, ZEVEC* vel) {
  *pos = {R() * t->pos_scale.x + t->pos_base.x, R() * t->pos_scale.y + t->pos_base.y,
          R() * t->pos_scale.z + t->pos_base.z};
  *vel = {R() * t->vel_scale.x + t->vel_base.x, R() * t->vel_scale.y + t->vel_base.y,
          R() * t->vel_scale.z + t->vel_base.z};
}

// A vector turned about Z, then Y, then by the emitter.
ZEVEC Turn(const ZEVEC& v, int z, int y, const ZEMTX& e) {
  ZEMTX m;
  ZeMtxSetIdentity(&m);
  ZeMtxRotateZ(&m, z);
  ZeMtxRotateY(&m, y);
  ZeMtxMulR(&m, &m, &e);
  return Rot(v, m);
}

// Floor and wall bounces, from the position before the origin is added.
void ScheduleFloor(DebrisKey* k, const DebrisEffectType* t, const Slot& s) {
  if (freechunkcontrolsptr >= debrischunks + debrischunksglass) return;
  const float h = s.p->y - k->plane_offset, vy = s.p->vy, g = t->gravity;
  float tt;
  if (g == 0.0f) {
    if (vy == 0.0f) return;
    tt = -h / vy;
  } else {
    float t1, t2;
    if (!SolveQuadratic(g, vy, h, &t1, &t2)) return;
    tt = t1 > t2 ? t1 : t2;
  }
  if (!(tt > 0.0f && tt < t->life)) return;
  DebrisChunkControl* c = DebTakeControl();
  if (!c) return;
  c->chunk = s.chunk, c->timer = EeFtoi(tt * 60.0f), c->kind = DEBCTL_FLOOR, c->slot = s.index, c->t = tt;
  c->type = k->type, c->plane_offset = k->plane_offset, c->bounce = k->bounce;
  AddChunkControlToStack(c, &debris_chunk_control_stack[debris_chunk_control_stack_index]);
}

void ScheduleWall(DebrisKey* k, const DebrisEffectType* t, const Slot& s) {
  if (freechunkcontrolsptr >= debrischunks + debrischunksglass) return;
  const ZEVEC n = DebWallNormal(k->refl_b);
  const float nx = n.x, nz = n.z;
  const float wx = k->plane_offset * nx, wz = k->plane_offset * nz;
  const float x0 = s.p->x, z0 = s.p->z, x1 = x0 + t->life * s.p->vx, z1 = z0 + t->life * s.p->vz;
  const float F = (wx - x0) * nx + (wz - z0) * nz, G = (wx - x1) * nx + (wz - z1) * nz;
  if (!((F < 0.0f && G > 0.0f) || (F > 0.0f && G < 0.0f))) return;
  const float tt = t->life * -F / (G - F);
  DebrisChunkControl* c = DebTakeControl();
  if (!c) return;
  c->chunk = s.chunk, c->timer = EeFtoi(tt * 60.0f), c->kind = DEBCTL_WALL, c->slot = s.index, c->t = tt;
  c->type = k->type, c->wall_angle = k->refl_b, c->plane_offset = k->plane_offset, c->bounce = k->bounce;
  AddChunkControlToStack(c, &debris_chunk_control_stack[debris_chunk_control_stack_index]);
}

void BoxKind(DebrisKey* k, DebrisEffectType* t, int bounce) {
  Slot s;
  if ((bounce && DebIsGlass(t)) || !Take(k, t, &s)) return;
  ZEVEC pos, vel;
  Box(k, t, &pos, &vel);
  Put(s.p, pos, globaltime + timeincrement, vel, Rate(t));
  if (bounce == 1) ScheduleFloor(k, t, s);
  if (bounce == 2) ScheduleWall(k, t, s);
  Finish(k, t, s.p, true, bounce == 0);
}

}  // namespace

ZEVEC DebWallNormal(int angle) {
  ZEMTX m;
  ZeMtxSetRotationY(&m, angle);
  return Rot({1, 0, 0}, m);
}

void GenDebIndex(DebrisKey* k, DebrisEffectType* t, int) { BoxKind(k, t, 0); }
void GenDebIndexSort(DebrisKey* k, DebrisEffectType* t, int) { BoxKind(k, t, 0); }
void GenDebIndexBounceY(DebrisKey* k, DebrisEffectType* t, int) { BoxKind(k, t, 1); }
void GenDebIndexBounceXZ(DebrisKey* k, DebrisEffectType* t, int) { BoxKind(k, t, 2); }

void GenDebIndexPos(DebrisKey* k, DebrisEffectType* t, int) {
  Slot s;
  if (!Take(k, t, &s)) return;
  ZEVEC pos, vel;
  PosVel(t, &pos, &vel);
  Put(s.p, pos, globaltime, vel, Rate(t));
  Finish(k, t, s.p, false, false);
}

void GenDebIndexPosRandTime(DebrisKey* k, DebrisEffectType* t, int) {
  Slot s;
  if (!Take(k, t, &s)) return;
  ZEVEC pos, vel;
  PosVel(t, &pos, &vel);
  Put(s.p, pos, globaltime, vel, 64.0f / (t->life + t->life * R() / 1503238528.0f));
  Finish(k, t, s.p, false, false);
}

void GenDebIndexWaterFall(DebrisKey* k, DebrisEffectType* t, int) {
  Slot s;
  if (!Take(k, t, &s)) return;
  const float r = R() * 0.6f / 2147483648.0f - 0.3f;
  ZEVEC pos = {r * T(7000), R() * t->pos_scale.y + t->pos_base.y, r * T(15192)};
  const float sp = R() * 1.5f / 2147483648.0f + 1.0f;
  ZEVEC vel = {1.5f * pos.x + sp * T(15000), R() * t->vel_scale.y + t->vel_base.y, 1.5f * pos.z + sp * T(23192)};
  Put(s.p, pos, globaltime, vel, Rate(t));
  Finish(k, t, s.p, false, false);
}

void GenDebIndexWaterFallSplash(DebrisKey* k, DebrisEffectType* t, int) {
  Slot s;
  if (!Take(k, t, &s)) return;
  // The slot keeps its horizontal place; three draws of the generator are
  // spent as the kind-2 rows would spend them.
  const float y = R() * t->pos_scale.y + t->pos_base.y;
  (void)R(), (void)R(), (void)R();
  const float vy = R() * t->vel_scale.y + t->vel_base.y;
  const ZEVEC pos = {s.p->x, y, s.p->z}, vel = {2.0f * s.p->x, vy, 2.0f * s.p->z};
  Put(s.p, pos, globaltime, vel, Rate(t));
  Finish(k, t, s.p, false, false);
}

void GenDebIndexRadial(DebrisKey* k, DebrisEffectType* t, int) {
  Slot s;
  if (DebIsGlass(t) || !Take(k, t, &s)) return;
  const int z = EeFtoi(U(t->var.z) + t->start.z), y = EeFtoi(U(t->var.y) + t->start.y);
  const ZEVEC pos = Turn({0, t->start.x, 0}, z, y, k->emitter);
  const ZEVEC vel = Turn({0, t->base_speed + U(t->var.x), 0}, z, y, k->emitter);
  Put(s.p, pos, globaltime + timeincrement, vel, Rate(t));
  Finish(k, t, s.p, true, true);
}

void GenDebIndexRadialRotor(DebrisKey* k, DebrisEffectType* t, int) {
  Slot s;
  if (DebIsGlass(t) || !Take(k, t, &s)) return;
  const int z = k->rotor_z + EeFtoi(t->start.z), y = k->rotor_y + EeFtoi(t->start.y);
  const ZEVEC pos = Turn({0, t->start.x, 0}, z, y, k->emitter);
  const ZEVEC vel = Turn({0, t->base_speed + U(t->var.x), 0}, z, y, k->emitter);
  Put(s.p, pos, globaltime + timeincrement, vel, Rate(t));
  Finish(k, t, s.p, true, true);
  k->rotor_y = int16_t(t->var.y == 0.0f ? 0 : k->rotor_y + EeFtoi(t->var.y));
  k->rotor_z = int16_t(t->var.z == 0.0f ? 0 : k->rotor_z + EeFtoi(t->var.z));
}

void GenDebIndexSpheroid(DebrisKey* k, DebrisEffectType* t, int) {
  Slot s;
  if (DebIsGlass(t) || !Take(k, t, &s)) return;
  const float r = std::sqrt(ZeRandFloat());
  const int z = ZeASin(2.0f * ZeRandFloat() - 1.0f), y = EeFtoi(ZeRandFloat() * 65536.0f);
  ZEVEC p = Turn({r, 0, 0}, z, y, zemtx_identity);
  p = Rot({p.x * t->start.x, p.y * t->start.y, p.z * t->start.z}, k->emitter);
  const ZEVEC vel = Rot({U(t->var.x), t->base_speed + U(t->var.y), U(t->var.z)}, k->emitter);
  Put(s.p, p, globaltime + timeincrement, vel, Rate(t));
  Finish(k, t, s.p, true, true);
}

void GenDebIndexImprovedRadial(DebrisKey* k, DebrisEffectType* t, int) {
  Slot s;
  if (DebIsGlass(t) || !Take(k, t, &s)) return;
  const float lo = DebSin(EeFtoi(t->start.z - t->var.z)), hi = DebSin(EeFtoi(t->start.z + t->var.z));
  const int z = ZeASin(lo + ZeRandFloat() * (hi - lo));
  // An angle: the sum wraps round the circle (a file's huge start or spread
  // must not overflow).
  const int y = int(unsigned(EeFtoi(float(EeFtoi(ZeRandFloat() * 65536.0f - 32768.0f)) * t->var.y / 32768.0f)) +
                    unsigned(EeFtoi(t->start.y)));
  const ZEVEC pos = Turn({t->start.x, 0, 0}, z, y, k->emitter);
  const ZEVEC vel = Turn({t->base_speed + U(t->var.x), 0, 0}, z, y, k->emitter);
  Put(s.p, pos, globaltime + timeincrement, vel, Rate(t));
  Finish(k, t, s.p, true, true);
}

// ---- momentum adjusters ----------------------------------------------------------

void GenDebMomAdjFromPos(DebrisKey*, DebrisEffectType*, DebrisParticle* p) { p->vx = 2 * p->x, p->vz = 2 * p->z; }
void GenDebMomAdjFromPosRev(DebrisKey*, DebrisEffectType*, DebrisParticle* p) { p->vx = -p->x, p->vz = -p->z; }
void GenDebMomAdjFromSplash(DebrisKey*, DebrisEffectType*, DebrisParticle* p) { p->vx = 4 * p->x, p->vz = 4 * p->z; }
void GenDebMomAdjFromAshRock(DebrisKey*, DebrisEffectType*, DebrisParticle* p) {
  p->vx = 16 * p->x, p->vz = 16 * p->z;
}
void GenDebMomAdjFromPosRevTree(DebrisKey*, DebrisEffectType* t, DebrisParticle* p) {
  p->vx += -0.6f * p->x;
  p->vz += -0.6f * p->z;
  p->vy -= 0.4f * std::sqrt(p->x * p->x + p->z * p->z);
  p->rate = 64.0f / (t->life + t->life * R() / 1503238528.0f);
}
void GenDebMomAdjFromPosAll(DebrisKey*, DebrisEffectType*, DebrisParticle* p) {
  p->vx = 5.4f * p->x, p->vy = 5.4f * p->y, p->vz = 5.4f * p->z;
}
