// Light sets: the shared table of level lights, the sets inserted into it
// by key, the per-frame active list with its distance fade and flicker, the
// global entries blended between outside and inside light, and the light
// searches that choose an object's hardware lights.
#include <cstring>

#include "coblib.h"
#include "gamelib.h"

LEVLIGHT Lights[LIGHTS_MAX];
LEVLIGHT templights[LIGHTSET_RECORDS];
EePtr<LEVLIGHT> ActiveLights[ACTIVELIGHTS_MAX];
int16_t ActiveLightsNum[ACTIVELIGHTS_MAX];
int alightcount;
int lightkey;
int lighttrap = -1;
LEVLIGHT DirInside, AmbInside, DirBlend1, AmbBlend1, DirBlend2, AmbBlend2;
float dirblend, ambblend;
ZEVEC thesun;
int16_t thesuncolr, thesuncolg, thesuncolb;
int16_t thesunambr, thesunambg, thesunambb;
int outlighton;
float outlightblend;
int shadowwobx, shadowwoby;
ZEVEC defamb;
ZEVEC defdirs[3];
ZEVEC4 defcols[3];
ZEVEC4 defblank;
COBLIGHTS coblights;

namespace {

constexpr float GLOBAL_RADIUS = 100000.0f;
constexpr int SLOT_FADE_STEP = 5, SHADOW_FADE_STEP = 2;

// The next byte of the shared random table; 0 when no table is loaded.
int RandomByte() { return randtab_ptr ? *randtab_ptr++ : 0; }

uint8_t ClampByte(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

ZEVEC RefPos(const ZEMTX* ref) { return {ref->m[3][0], ref->m[3][1], ref->m[3][2]}; }

// The inside light fading from DirBlend2/AmbBlend2 to DirBlend1/AmbBlend1.
void BlendInside(LEVLIGHT* inside, const LEVLIGHT& to, const LEVLIGHT& from, float* blend, int type) {
  if (!(*blend > 0.0f)) return;
  *blend -= 0.05f;
  if (*blend < 0.0f) *blend = 0.0f;
  *inside = to;
  inside->type = int8_t(type);
  inside->radius = GLOBAL_RADIUS;
  for (int c = 0; c < 3; c++)
    inside->col[c] = ClampByte(to.col[c] - EeFtoi(float(to.col[c] - from.col[c]) * *blend));
  inside->pos.x = to.pos.x - (to.pos.x - from.pos.x) * *blend;
  inside->pos.y = to.pos.y - (to.pos.y - from.pos.y) * *blend;
  inside->pos.z = to.pos.z - (to.pos.z - from.pos.z) * *blend;
}

// outside - (outside - inside) x outlightblend, per integer channel.
uint8_t BlendChannel(int outside, int inside) {
  return ClampByte(outside - EeFtoi(float(outside - inside) * outlightblend));
}

void GlobalEntries() {
  LEVLIGHT& amb = Lights[0];
  memset(&amb, 0, sizeof amb);
  amb.type = LEVLIGHT_GLOBAL_AMBIENT;
  amb.key = -1;  // never a set's key
  amb.col[0] = BlendChannel(thesunambr, AmbInside.col[0]);
  amb.col[1] = BlendChannel(thesunambg, AmbInside.col[1]);
  amb.col[2] = BlendChannel(thesunambb, AmbInside.col[2]);
  memcpy(amb.basecol, amb.col, 3);

  LEVLIGHT& dir = Lights[1];
  memset(&dir, 0, sizeof dir);
  dir.type = LEVLIGHT_DIRECTIONAL;
  dir.key = -1;
  dir.radius = GLOBAL_RADIUS;
  dir.pos.x = thesun.x - (thesun.x - DirInside.pos.x) * outlightblend;
  dir.pos.y = thesun.y - (thesun.y - DirInside.pos.y) * outlightblend;
  dir.pos.z = thesun.z - (thesun.z - DirInside.pos.z) * outlightblend;
  dir.col[0] = BlendChannel(thesuncolr, DirInside.col[0]);
  dir.col[1] = BlendChannel(thesuncolg, DirInside.col[1]);
  dir.col[2] = BlendChannel(thesuncolb, DirInside.col[2]);
  memcpy(dir.basecol, dir.col, 3);
}

// One frame of a flicker light's level, and a new phase when one ends.
void Flicker(LEVLIGHT* l) {
  int c = l->flickcount, level = l->flicklevel;
  if (c < 0) {
    c = c + 1 < 0 ? c + 1 : 0;
    level = level + l->flickstep < 255 ? level + l->flickstep : 255;
  } else {
    c = c - 1 > 0 ? c - 1 : 0;
    level = level - l->flickstep > 0 ? level - l->flickstep : 0;
  }
  if (c == 0) {
    const int n = l->flickconst + RandomByte() * l->flickrand / 256;
    if (level == 0)
      c = -n;
    else if (level == 255)
      c = n;
    else
      c = (RandomByte() & 1) ? -n : n;
  }
  l->flickcount = int16_t(c);
  l->flicklevel = uint8_t(level);
  for (int k = 0; k < 3; k++) l->col[k] = uint8_t(l->basecol[k] + (l->gradcol[k] - l->basecol[k]) * level / 256);
}

// ---- scoring ------------------------------------------------------------------

// A listed light in reach of p: its table index, score and distance.
struct Scored {
  int index;
  float score, dist;
};

// The light's position for a search: the global directional entry stands
// at p - its direction of travel, so the direction to it is the reverse.
ZEVEC LightPos(int index, const ZEVEC& p) {
  const LEVLIGHT& l = Lights[index];
  if (index == 1 && l.type == LEVLIGHT_DIRECTIONAL) return {p.x - l.pos.x, p.y - l.pos.y, p.z - l.pos.z};
  return l.pos;
}

bool Score(int index, const ZEVEC& p, Scored* out) {
  const LEVLIGHT& l = Lights[index];
  const ZEVEC at = LightPos(index, p);
  const float d = ZeVecDist(&at, &p, nullptr);
  if (!(l.radius > d)) return false;
  float near = (l.radius - d) * 0.5f;
  if (near > 1.0f) near = 1.0f;
  *out = {index, near * float(l.basecol[0] + l.basecol[1] + l.basecol[2]), d};
  return true;
}

// Normalised direction from p toward the light; zero when the light sits at p.
ZEVEC DirTo(int index, const ZEVEC& p) {
  const ZEVEC at = LightPos(index, p);
  ZEVEC v;
  ZeVecSub(&v, &at, &p);
  if (!(ZeVecMagSqr(&v) > 0.0f)) return {0, 0, 0};
  ZeVecNorm(&v, &v);
  return v;
}

// The colour handed to the renderer: current colour x min(1/128, score / 24576).
ZEVEC ColourOf(int index, float score) {
  float s = score / 24576.0f;
  if (s > 1.0f / 128.0f) s = 1.0f / 128.0f;
  const LEVLIGHT& l = Lights[index];
  return {float(l.col[0]) * s, float(l.col[1]) * s, float(l.col[2]) * s};
}

ZEVEC Byte128(const uint8_t c[3]) { return {float(c[0]) / 128.0f, float(c[1]) / 128.0f, float(c[2]) / 128.0f}; }

bool Directional(int type) {
  return type == LEVLIGHT_DIRECTIONAL || type == LEVLIGHT_POINT || type == LEVLIGHT_POINT_SHADOW ||
         type == LEVLIGHT_FLICKER || type == LEVLIGHT_FLICKER_SHADOW;
}

// The three directional places, kept sorted by score: a light enters before
// the first place whose score it exceeds (an empty place scores 0, so a
// light of score 0 never enters); equal scores keep the earlier one.
void Place(Scored places[3], const Scored& s) {
  for (int i = 0; i < 3; i++) {
    if (s.score > places[i].score) {
      for (int k = 2; k > i; k--) places[k] = places[k - 1];
      places[i] = s;
      return;
    }
  }
}

// What the search found among the listed lights.
struct Choice {
  Scored places[3];
  Scored ambient;   // the local ambient light: nearest (basic) or best (smoothed)
  Scored specular;  // the shadow or specular light
};

void Choose(const ZEVEC& p, bool smoothed, Choice* c) {
  for (Scored* s : {&c->places[0], &c->places[1], &c->places[2], &c->ambient, &c->specular}) *s = {-1, 0, 0};
  for (int i = 0; i < alightcount; i++) {
    const int index = ActiveLightsNum[i];
    if (index < 0 || index >= LIGHTS_MAX) continue;
    Scored s;
    if (!Score(index, p, &s)) continue;
    const int type = Lights[index].type;
    if (type == LEVLIGHT_LOCAL_AMBIENT) {
      // The basic search takes the nearest, the smoothed one the best.
      if (smoothed ? s.score > c->ambient.score : (c->ambient.index < 0 || s.dist < c->ambient.dist)) c->ambient = s;
      continue;
    }
    if (!Directional(type)) continue;
    Place(c->places, s);
    const bool shadow = type == LEVLIGHT_POINT_SHADOW || type == LEVLIGHT_FLICKER_SHADOW ||
                        (smoothed && type == LEVLIGHT_DIRECTIONAL && outlighton);
    if (shadow && s.score > c->specular.score) c->specular = s;
  }
}

ZEVEC GlobalAmbient() {
  if (Lights[0].type == LEVLIGHT_GLOBAL_AMBIENT) return Byte128(Lights[0].col);
  return {0, 0, 0};
}

// value - (value - memory) x counter / 100
ZEVEC FadeToward(const ZEVEC& v, const ZEVEC& mem, int counter) {
  const float t = float(counter) / 100.0f;
  return {v.x - (v.x - mem.x) * t, v.y - (v.y - mem.y) * t, v.z - (v.z - mem.z) * t};
}

void SetRenderer(const ZEVEC dirs[3], const ZEVEC cols[3], const ZEVEC& amb) {
  ZeRndrSetAmbientLight(&amb);
  ZeRndrSetDirectionalLights(&dirs[0], &cols[0], &dirs[1], &cols[1], &dirs[2], &cols[2]);
}

// A light value x 128, truncated, as a sample keeps it.
void Sample128(uint8_t out[3], const ZEVEC& v) {
  out[0] = ClampByte(EeFtoi(v.x * 128.0f));
  out[1] = ClampByte(EeFtoi(v.y * 128.0f));
  out[2] = ClampByte(EeFtoi(v.z * 128.0f));
}

void WriteSample(LIGHTSAMPLE* sample, const ZEVEC dirs[3], const ZEVEC cols[3], const ZEVEC& amb) {
  for (int i = 0; i < 3; i++) {
    sample->dirs[i] = dirs[i];
    Sample128(sample->cols[i], cols[i]);
  }
  Sample128(sample->amb, amb);
}

// The default lights as SetDefaultLights (0) sets them, written into a
// sample instead when one is given.
void DefaultLights(LIGHTSAMPLE* sample) {
  if (!sample) {
    SetDefaultLights(0);
    return;
  }
  const ZEVEC cols[3] = {{defcols[0].x, defcols[0].y, defcols[0].z}, {0, 0, 0}, {0, 0, 0}};
  WriteSample(sample, defdirs, cols, defamb);
}

bool TooFar(const ZEMTX* ref, const ZEVEC* pos) {
  const ZEVEC r = RefPos(ref);
  return ZeVecDistSqr(pos, &r, nullptr) > LIGHT_SEARCH_RANGE * LIGHT_SEARCH_RANGE;
}

// A remembered light is forgotten when its set is held back or its entry
// has been freed (its set removed): the index must not light the object
// with whatever fills the entry next.
void Forget(int16_t* index) {
  if (*index < 0) return;
  if (*index >= LIGHTS_MAX || Lights[*index].type == LEVLIGHT_FREE || Lights[*index].key == lightkey) *index = -1;
}

}  // namespace

void InitLight(COBLIGHTS* lights) {
  memset(lights, 0, sizeof *lights);
  lights->slot[0] = lights->slot[1] = lights->slot[2] = -1;
  lights->shadowlight = lights->amblight = -1;
  lights->shadowbright = 12;
  lights->shadowdir = {0, -1, 0};
}

void InitLights() {
  InitLight(&coblights);
  lighttrap = -1;
  lightkey = 0;
  shadowwobx = shadowwoby = 0;
  dirblend = ambblend = 0.0f;
  alightcount = 0;
  outlighton = 1;
  outlightblend = 0.0f;
  defamb = {0, 0, 0};
  defdirs[0] = {0, 0, 0};
  defdirs[1] = {1, 0.5f, 0};
  defdirs[2] = {0, 0, 0};
  defcols[0] = {0, 0, 0, 0};
  defcols[1] = {1, 1, 1, 1};
  defcols[2] = {0, 0, 0, 0};
  defblank = {0, 0, 0, 0};
  for (LEVLIGHT* l : {&DirInside, &AmbInside, &DirBlend1, &AmbBlend1, &DirBlend2, &AmbBlend2}) {
    memset(l, 0, sizeof *l);
    l->type = LEVLIGHT_FREE;
  }
  for (LEVLIGHT& l : Lights) {
    memset(&l, 0, sizeof l);
    l.type = LEVLIGHT_FREE;
  }
}

int InsertLightSet(const char* path) {
  if (lighttrap != -1) return -1;
  // The buffer starts free every time, so that a short file never brings
  // back the records of the set read before it.
  memset(templights, 0, sizeof templights);
  for (LEVLIGHT& l : templights) l.type = LEVLIGHT_FREE;
  ZEFILE f = ZeFileOpen(path, 0);
  if (!f) return -1;
  const int got = ZeFileRead(f, templights, LIGHTSET_BYTES);
  ZeFileClose(f);
  const int whole = got > 0 ? got / int(sizeof(LEVLIGHT)) : 0;
  if (whole == 0) {
    ZeDebugMsg("InsertLightSet: %s holds no light", path);
    return -1;
  }
  if (whole < LIGHTSET_RECORDS) {
    ZeDebugMsg("InsertLightSet: %s is short (%d bytes)", path, got);
    // A partly read record is not a light.
    memset(&templights[whole], 0, sizeof(LEVLIGHT));
    templights[whole].type = LEVLIGHT_FREE;
  }
  int next = 2;
  for (int i = 0; i < whole; i++) {
    LEVLIGHT& t = templights[i];
    if (t.type < 0) continue;
    if (t.type >= LEVLIGHT_TYPES) {
      ZeDebugMsg("InsertLightSet: %s record %d has unknown type %d", path, i, t.type);
      continue;
    }
    if (t.type == LEVLIGHT_FLICKER || t.type == LEVLIGHT_FLICKER_SHADOW) memcpy(t.basecol, t.col, 3);
    if (t.type == LEVLIGHT_DIRECTIONAL || t.type == LEVLIGHT_GLOBAL_AMBIENT) {
      // The level's inside light: faded in from the current one over 20
      // frames, or taken over at the next update when there is none.
      const bool dir = t.type == LEVLIGHT_DIRECTIONAL;
      LEVLIGHT& inside = dir ? DirInside : AmbInside;
      (dir ? DirBlend1 : AmbBlend1) = t;
      float& blend = dir ? dirblend : ambblend;
      if (inside.type == t.type) {
        (dir ? DirBlend2 : AmbBlend2) = inside;
        blend = 1.0f;
      } else {
        blend = 0.00001f;
      }
      continue;
    }
    t.key = lightkey;
    while (next < LIGHTS_MAX && Lights[next].type != LEVLIGHT_FREE) next++;
    if (next >= LIGHTS_MAX) {
      // The set does not fit: keep what went in, never write past the table.
      ZeDebugMsg("InsertLightSet: %s: light table full at record %d", path, i);
      break;
    }
    Lights[next++] = t;
  }
  const int key = lightkey;
  lightkey = (lightkey + 1) & 0x7fff;
  return key;
}

int RemoveLightSet(int key) {
  if (lighttrap != -1) return -1;
  for (int i = 2; i < LIGHTS_MAX; i++)
    if (Lights[i].type != LEVLIGHT_FREE && Lights[i].key == key) Lights[i].type = LEVLIGHT_FREE;
  return 0;
}

int DisableLightSet(int key) {
  if (lighttrap != -1) return -1;
  lighttrap = lightkey;
  lightkey = key;
  return 0;
}

int EnableLightSet() {
  if (lighttrap == -1) return -1;
  lightkey = lighttrap;
  lighttrap = -1;
  return 0;
}

void SetOutsideLights(int on) { outlighton = on; }

void ProcessFlicker(const ZEMTX* ref, int paused, int outdoors, int editor) {
  if (paused && !editor) return;
  outlighton = outdoors;
  outlightblend += outdoors ? -0.01f : 0.01f;
  if (outlightblend < 0.0f) outlightblend = 0.0f;
  if (outlightblend > 1.0f) outlightblend = 1.0f;
  BlendInside(&DirInside, DirBlend1, DirBlend2, &dirblend, LEVLIGHT_DIRECTIONAL);
  BlendInside(&AmbInside, AmbBlend1, AmbBlend2, &ambblend, LEVLIGHT_GLOBAL_AMBIENT);
  if (!editor) GlobalEntries();
  if (Lights[0].type == LEVLIGHT_GLOBAL_AMBIENT) defamb = Byte128(Lights[0].col);
  if (Lights[1].type == LEVLIGHT_DIRECTIONAL) {
    defdirs[0] = {-Lights[1].pos.x, -Lights[1].pos.y, -Lights[1].pos.z};
    const ZEVEC c = Byte128(Lights[1].col);
    defcols[0].x = c.x, defcols[0].y = c.y, defcols[0].z = c.z;
  }
  const int r1 = RandomByte(), r2 = RandomByte();
  shadowwobx = (shadowwobx + r1 * 32) & 0xffff;
  shadowwoby = (shadowwoby + r2 * 4 + 2048) & 0xffff;

  const ZEVEC at = RefPos(ref);
  alightcount = 0;
  for (int i = 0; i < LIGHTS_MAX && alightcount < ACTIVELIGHTS_MAX; i++) {
    LEVLIGHT& l = Lights[i];
    float fade = 1.0f;
    bool faded = false;
    if (i >= 2) {
      if (l.type == LEVLIGHT_FREE || l.key == lightkey || l.type == LEVLIGHT_GLOBAL_AMBIENT ||
          l.type == LEVLIGHT_DIRECTIONAL)
        continue;
      const float d2 = ZeVecDistSqr(&l.pos, &at, nullptr);
      if (!(d2 < LIGHT_ACTIVE_RANGE * LIGHT_ACTIVE_RANGE)) continue;
      if (!editor && d2 > LIGHT_FADE_RANGE * LIGHT_FADE_RANGE) {
        fade = (LIGHT_ACTIVE_RANGE - ZeFsqrt(d2)) * 0.5f;
        faded = true;
      }
    }
    ActiveLights[alightcount] = &l;
    ActiveLightsNum[alightcount] = int16_t(i);
    alightcount++;
    if (l.type == LEVLIGHT_FLICKER || l.type == LEVLIGHT_FLICKER_SHADOW)
      Flicker(&l);
    else
      memcpy(l.col, l.basecol, 3);
    if (faded)
      for (uint8_t& c : l.col) c = ClampByte(EeFtoi(float(c) * fade));
  }
}

void SetDefaultLights(int withcolours) {
  ZeRndrSetAmbientLight(&defamb);
  if (withcolours)
    ZeRndrSetDirectionalLights4(&defdirs[0], &defcols[0], &defdirs[1], &defcols[1], &defdirs[2], &defcols[2]);
  else
    ZeRndrSetDirectionalLights4(&defdirs[0], &defcols[0], &defdirs[1], &defblank, &defdirs[2], &defblank);
  const ZEVEC spec = {defdirs[0].x, -defdirs[0].y, defdirs[0].z};
  ZeRndrSetSpecularLight(&spec, nullptr);
}

void SearchLightsBasic(const ZEMTX* ref, const ZEVEC* pos, LIGHTSAMPLE* sample) {
  if (TooFar(ref, pos)) {
    DefaultLights(sample);
    return;
  }
  const ZEVEC p = {pos->x, pos->y + 0.5f, pos->z};
  Choice c;
  Choose(p, false, &c);
  ZEVEC dirs[3], cols[3];
  for (int i = 0; i < 3; i++) {
    const Scored& s = c.places[i];
    dirs[i] = s.index < 0 ? ZEVEC{0, 0, 0} : DirTo(s.index, p);
    cols[i] = s.index < 0 ? ZEVEC{0, 0, 0} : ColourOf(s.index, s.score);
  }
  ZEVEC amb = GlobalAmbient();
  if (c.ambient.index >= 0) {
    const float f = c.ambient.dist / Lights[c.ambient.index].radius;
    const ZEVEC local = Byte128(Lights[c.ambient.index].col);
    amb = {amb.x * f + local.x * (1 - f), amb.y * f + local.y * (1 - f), amb.z * f + local.z * (1 - f)};
  }
  if (!sample) {
    if (c.specular.index >= 0) {
      const ZEVEC toward = DirTo(c.specular.index, p);
      ZeRndrSetSpecularLight(&toward, nullptr);
    }
    SetRenderer(dirs, cols, amb);
    return;
  }
  WriteSample(sample, dirs, cols, amb);
}

void SearchLights(const ZEMTX* ref, const ZEVEC* pos, COBLIGHTS* r, int reset) {
  if (reset) {
    InitLight(r);
    SearchLightsBasic(ref, pos, nullptr);
    return;
  }
  if (TooFar(ref, pos)) {
    DefaultLights(nullptr);
    return;
  }
  const ZEVEC p = {pos->x, pos->y + 0.5f, pos->z};
  Choice c;
  Choose(p, true, &c);
  for (int i = 0; i < 3; i++) Forget(&r->slot[i]);
  Forget(&r->shadowlight);
  Forget(&r->amblight);

  // Directional slots: a light already in a slot keeps it; a new one takes
  // the next free slot, fading from the look of the light it replaces.
  bool kept[3] = {false, false, false};
  bool isnew[3] = {false, false, false};
  for (int k = 0; k < 3; k++) {
    const Scored& s = c.places[k];
    if (s.index < 0) continue;
    isnew[k] = true;
    for (int j = 0; j < 3; j++)
      if (!kept[j] && r->slot[j] == s.index) {
        kept[j] = true;
        r->slotscore[j] = s.score;
        isnew[k] = false;
        break;
      }
  }
  bool taken[3] = {kept[0], kept[1], kept[2]};
  for (int k = 0; k < 3; k++) {
    if (!isnew[k]) continue;
    int j = 0;
    while (j < 3 && taken[j]) j++;
    if (j == 3) break;
    taken[j] = true;
    if (r->slot[j] >= 0) {
      const ZEVEC dir = DirTo(r->slot[j], p), col = ColourOf(r->slot[j], r->slotscore[j]);
      r->slotdirmem[j] = FadeToward(dir, r->slotdirmem[j], r->slotfade[j]);
      r->slotcolmem[j] = FadeToward(col, r->slotcolmem[j], r->slotfade[j]);
      r->slotfade[j] = 100;
    } else {
      r->slotfade[j] = 0;
    }
    r->slot[j] = int16_t(c.places[k].index);
    r->slotscore[j] = c.places[k].score;
  }
  ZEVEC dirs[3], cols[3];
  for (int j = 0; j < 3; j++) {
    if (!taken[j]) r->slot[j] = -1;
    if (r->slot[j] < 0) {
      dirs[j] = cols[j] = {0, 0, 0};
      continue;
    }
    dirs[j] = DirTo(r->slot[j], p);
    cols[j] = ColourOf(r->slot[j], r->slotscore[j]);
    if (r->slotfade[j] > 0) {
      r->slotfade[j] = int8_t(r->slotfade[j] > SLOT_FADE_STEP ? r->slotfade[j] - SLOT_FADE_STEP : 0);
      dirs[j] = FadeToward(dirs[j], r->slotdirmem[j], r->slotfade[j]);
      cols[j] = FadeToward(cols[j], r->slotcolmem[j], r->slotfade[j]);
    }
  }

  // Shadow: from the remembered light, which then follows the choice.
  ZEVEC sv = {0, 0, 0};
  float strength = 0.0f;
  if (r->shadowlight >= 0) {
    strength = r->shadowscore;
    const ZEVEC toward = DirTo(r->shadowlight, p);
    sv = {-toward.x, -toward.y, -toward.z};
    const int type = Lights[r->shadowlight].type;
    if (type == LEVLIGHT_FLICKER || type == LEVLIGHT_FLICKER_SHADOW) {
      const float sx = ZeTrigTable[(shadowwobx >> 1) & 0x7fff], sy = ZeTrigTable[(shadowwoby >> 1) & 0x7fff];
      const float cx = ZeTrigTable[((shadowwobx >> 1) + 0x2000) & 0x7fff];
      sv = {sv.x * (1 - sx / 32), sv.y * (1 - sy / 32), sv.z * (1 - cx / 32)};
    }
  }
  if (c.specular.index < 0) {
    if (r->shadowfade <= 0) r->shadowlight = -1;
  } else {
    if (r->shadowlight >= 0 && r->shadowlight != c.specular.index) {
      r->shadowdirmem = FadeToward(sv, r->shadowdirmem, r->shadowfade);
      r->shadowmem = strength - (strength - r->shadowmem) * float(r->shadowfade) / 100.0f;
      r->shadowfade = 100;
    }
    r->shadowlight = int16_t(c.specular.index);
    r->shadowscore = c.specular.score / 6.0f;
  }
  if (r->shadowfade > 0) {
    r->shadowfade = int8_t(r->shadowfade > SHADOW_FADE_STEP ? r->shadowfade - SHADOW_FADE_STEP : 0);
    sv = FadeToward(sv, r->shadowdirmem, r->shadowfade);
    strength = strength - (strength - r->shadowmem) * float(r->shadowfade) / 100.0f;
  }
  // A weak shadow leans toward straight down.
  if (strength < 8.0f) {
    sv = {0, -1, 0};
  } else if (strength < 16.0f) {
    const float t = (16.0f - strength) / 8.0f;
    sv = {sv.x * (1 - t), sv.y * (1 - t) - t, sv.z * (1 - t)};
  }
  r->shadowbright = 12;
  r->shadowdir = sv;
  const ZEVEC spec = {-sv.x, sv.y, -sv.z};
  ZeRndrSetSpecularLight(&spec, nullptr);

  // Ambient: the remembered local ambient light, following the choice one
  // call late, over the global ambient.
  ZEVEC local = {0, 0, 0};
  if (r->amblight >= 0) local = ColourOf(r->amblight, r->ambscore);
  if (c.ambient.index < 0) {
    if (r->ambfade <= 0) r->amblight = -1;
  } else {
    if (r->amblight >= 0 && r->amblight != c.ambient.index) {
      r->ambcolmem = FadeToward(local, r->ambcolmem, r->ambfade);
      r->ambfade = 100;
    }
    r->amblight = int16_t(c.ambient.index);
    r->ambscore = c.ambient.score;
  }
  if (r->ambfade > 0) {
    r->ambfade = int8_t(r->ambfade > SHADOW_FADE_STEP ? r->ambfade - SHADOW_FADE_STEP : 0);
    local = FadeToward(local, r->ambcolmem, r->ambfade);
  }
  ZEVEC amb = local;
  if (Lights[0].type == LEVLIGHT_GLOBAL_AMBIENT) {
    const ZEVEC g = GlobalAmbient();
    if (c.ambient.index < 0) {
      amb = g;
    } else {
      const float f = c.ambient.dist / Lights[c.ambient.index].radius;
      amb = {local.x * (1 - f) + g.x * f, local.y * (1 - f) + g.y * f, local.z * (1 - f) + g.z * f};
    }
  }
  SetRenderer(dirs, cols, amb);
}

int WriteLightSet(const char* path, const LEVLIGHT* records) {
  ZEFILE f = ZeFileOpen(path, 1);
  if (!f) return 0;
  const int put = ZeFileWrite(f, records, LIGHTSET_BYTES);
  ZeFileClose(f);
  return put == LIGHTSET_BYTES;
}

int CobLightsShadow(const COBLIGHTS* lights, ZEVEC* dir) {
  *dir = lights->shadowdir;
  return lights->shadowbright;
}

void CobLightsSetShadowBright(COBLIGHTS* lights, int brightness) { lights->shadowbright = uint8_t(brightness); }
