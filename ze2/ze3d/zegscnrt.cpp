// Scene runtime: animated and swaying instances, drawing with visibility
// bits, the budgeted cross-fade, specials (lookups, attributes, the ring of
// extension copies), splines and removal.
#include <cmath>
#include <cstdarg>
#include <cstdlib>

#include "zegscn_local.h"

float global_windscale = 1.0f, global_windspeed = 1.0f;
int gscn_showsplines = 0;
int gscn_dbg = 0;

namespace {

const ZESPLINEPTSIZE* g_ptsizes = nullptr;
int g_splinecounter = 0;

bool Active(const ZEGSCNINST& inst) {
  return (inst.flags & ZEGSCNINST_SHOWN) && (inst.flags & (ZEGSCNINST_SEEN | ZEGSCNINST_NOCULL));
}

// Advances one animated instance and poses it.
void AnimateInstance(ZEGSCENE* scene, ZEGSCNINST& inst, float dt) {
  ZEGSCNINSTANIM& a = *inst.anim;
  const ZEANIMDATA* anim = GscnAnim(scene, a.anim);
  const float E = GscnAnimEnd(anim);
  float f = 1.0f;  // a waiting instance is posed at its first frame
  if (a.flags & ZEGSCNANIM_PLAYING) {
    a.time += dt * a.rate;
    bool waiting = (a.flags & ZEGSCNANIM_WAITING) != 0;
    if (waiting && a.time >= a.delay) {
      a.flags &= ~ZEGSCNANIM_WAITING;
      a.time -= a.delay - 1.0f;
      waiting = false;
    }
    if (!waiting) {
      const float L = E + a.extra;
      if (a.time >= L) {
        if ((a.flags & ZEGSCNANIM_LOOP) && L > 1.0f) {
          a.time -= std::floor((a.time - 1.0f) / (L - 1.0f)) * (L - 1.0f);
          f = a.time;
        } else {
          a.flags &= ~ZEGSCNANIM_PLAYING;
          a.time = f = E;
        }
      } else {
        f = a.time < E ? a.time : E;
      }
      if (a.flags & ZEGSCNANIM_REVERSE) f = E + 1.0f - f;
    }
  } else {
    f = a.time;
  }
  GscnPose(anim, f, &a.mtx);
  const ZEVEC t = {inst.mtx.m[3][0], inst.mtx.m[3][1], inst.mtx.m[3][2]};
  ZeMtxTranslate(&a.mtx, &t);
}

bool Animated(const ZEGSCENE* scene, const ZEGSCNINST& inst) {
  return inst.anim && GscnAnim(scene, inst.anim->anim);
}

// The matrix an instance is drawn at: its animation's, its own, or its
// own swayed by the wind.
const ZEMTX* DrawMatrix(const ZEGSCNINST& inst, ZEMTX* tmp) {
  if (inst.anim) return &inst.anim->mtx;
  if (inst.wind_amplitude == 0) return &inst.mtx;
  float x, z;
  ZeGScnInstWind(&x, &z, &inst);
  *tmp = inst.mtx;
  for (int c = 0; c < 4; c++) tmp->m[1][c] += x * inst.mtx.m[0][c] + z * inst.mtx.m[2][c];
  return tmp;
}

int DrawObject(const ZEGSCENE* scene, const ZEGSCNINST* inst, const ZEMTX* m) {
  return ZeRndrGScnObj(scene->gobjs[inst->object], m);
}

void DrawExts(ZEGSCENE* scene) {
  for (int i = scene->nexts - 1; i >= 0; i--) {
    ZESPECIALOBJ& s = scene->exts[i];
    if ((s.flags & (ZESPECIAL_OWNMTX | ZESPECIAL_SHOWN)) != (ZESPECIAL_OWNMTX | ZESPECIAL_SHOWN)) continue;
    const int r = DrawObject(scene, s.inst, &s.mtx);
    s.flags = (s.flags & ~ZESPECIAL_DRAWN) | (r ? uint32_t(ZESPECIAL_DRAWN) : 0u);
  }
}

// The renderer answers 0 culled, 1 inside, 2 clipped: both of the last
// two were drawn.
void SetDrawn(ZEGSCNINST& inst, int r) { inst.flags = (inst.flags & ~ZEGSCNINST_DRAWN) | (r ? uint32_t(ZEGSCNINST_DRAWN) : 0u); }

float TableSin(float u) { return ZeTrigTable[(uint32_t(EeFtoi(u * 10430.378f)) >> 1) & 0x7fff]; }
float TableCos(float u) { return ZeTrigTable[((uint32_t(EeFtoi(u * 10430.378f)) + 0x4000u) >> 1) & 0x7fff]; }

}  // namespace

// ---- update and drawing ----------------------------------------------------

void ZeGScnUpdate(ZEGSCENE* scene, float dt) {
  for (int i = scene->ninst - 1; i >= 0; i--) {
    if (gscn_dbg && i != gscn_dbg) continue;
    ZEGSCNINST& inst = scene->insts[i];
    if (!Active(inst) || !Animated(scene, inst)) continue;
    AnimateInstance(scene, inst, dt);
  }
  ZeGSceneProcessCrossFade(scene);
}

void ZeGScnInstWind(float* x, float* z, const ZEGSCNINST* inst) {
  const float a = (float(inst->wind_amplitude) / 65535.0f) * global_windscale;
  const float s = (float(inst->wind_speed) / 65535.0f) * global_windspeed;
  // The phase comes from a generator of its own seeded as the shared one
  // would be, so drawing leaves the shared sequence alone.
  uint32_t seed = uint32_t(int32_t(inst->wind_speed)) * 1664525u + 1013904223u;
  const uint32_t bits = 0x3f800000u | (seed & 0x7fffffu);
  float r;
  memcpy(&r, &bits, 4);
  const float phase = (r - 1.0f) * 3.142f * 2.0f;
  const float t = float(uint32_t(ZeRndrGlobalFrameCount())) * s + phase;
  *x = a * (TableSin(t) + 0.5f * TableSin(2.1f * t) + 0.25f * TableSin(4.2f * t));
  *z = a * (TableCos(1.1f * t) + 0.5f * TableCos(2.3f * t) + 0.25f * TableCos(4.4f * t));
}

void ZeGScnRndr3(ZEGSCENE* scene) {
  for (int i = scene->ninst - 1; i >= 0; i--) {
    if (gscn_dbg && i != gscn_dbg) continue;
    ZEGSCNINST& inst = scene->insts[i];
    if (!Active(inst)) continue;
    ZEMTX tmp;
    SetDrawn(inst, DrawObject(scene, &inst, DrawMatrix(inst, &tmp)));
  }
  DrawExts(scene);
  if (gscn_showsplines) ZeGScnDrawSplines(scene);
}

void ZeGScnRndr2(ZEGSCENE* scene, float dt) {
  for (int i = scene->ninst - 1; i >= 0; i--) {
    if (gscn_dbg && i != gscn_dbg) continue;
    ZEGSCNINST& inst = scene->insts[i];
    if (!Active(inst)) continue;
    if (Animated(scene, inst)) {
      AnimateInstance(scene, inst, dt);
      DrawObject(scene, &inst, &inst.anim->mtx);
      continue;
    }
    ZEMTX tmp;
    SetDrawn(inst, DrawObject(scene, &inst, inst.anim ? &inst.mtx : DrawMatrix(inst, &tmp)));
  }
  DrawExts(scene);
  if (gscn_showsplines) ZeGScnDrawSplines(scene);
}

void ZeGScnRndr(ZEGSCENE* scene) {
  for (int i = scene->ninst - 1; i >= 0; i--) {
    if (gscn_dbg && i != gscn_dbg) continue;
    ZEGSCNINST& inst = scene->insts[i];
    if (inst.flags & ZEGSCNINST_SHOWN) SetDrawn(inst, DrawObject(scene, &inst, &inst.mtx));
  }
  DrawExts(scene);
  if (gscn_showsplines) ZeGScnDrawSplines(scene);
}

void ZeGScnDrawSplines(ZEGSCENE* scene) {
  static const ZECOLOUR32 pattern[8] = {0xffffffffu, 0xffffffffu, 0xffffffffu, 0xffffffffu,
                                        0xff000000u, 0xff000000u, 0xff000000u, 0xff000000u};
  g_splinecounter--;
  for (int i = scene->nspline - 1; i >= 0; i--) {
    const ZESPLINE& s = scene->splines[i];
    for (int p = 0; p + 1 < s.count; p++) {
      ZEVEC a, b;
      memcpy(&a, s.points.get() + p * s.ptsize, 12);
      memcpy(&b, s.points.get() + (p + 1) * s.ptsize, 12);
      const ZECOLOUR32 c =
          p == 0 ? 0xffff0000u : pattern[gscn_showsplines >= 2 ? (g_splinecounter + p) & 7 : 0];
      ZeRndrLine3dDbg(c, a.x, a.y, a.z, b.x, b.y, b.z);
    }
  }
}

// ---- cross-fade --------------------------------------------------------------

void ZeGSceneSetCrossFade(ZEGSCENE* scene, int16_t level, int16_t budget) {
  if (level == scene->fadelevel) return;
  scene->fadelevel = level;
  scene->fadebudget = budget;
  scene->fadestop = scene->fadeindex;
  scene->fadeactive = 1;
}

void ZeGSceneProcessCrossFade(ZEGSCENE* scene) {
  if (scene->ngobj <= 0 || !scene->gobjs[0]->colourref || !scene->fadeactive) return;
  int budget = scene->fadebudget;
  for (;;) {
    ZEGOBJ* obj = scene->gobjs[scene->fadeindex];
    ZECOLOURREF* resume = scene->faderesume;
    budget = ZeGobjApplyCrossFade(obj, scene->fadelevel, budget, &resume);
    scene->faderesume = resume;
    const bool done = budget > 0 || !resume || resume->count == 0;
    if (done) {
      scene->faderesume = nullptr;
      scene->fadeindex = scene->fadeindex + 1 >= scene->ngobj ? 0 : scene->fadeindex + 1;
      if (scene->fadeindex == scene->fadestop) {
        scene->fadeactive = 0;
        return;
      }
    }
    if (budget <= 0) return;
  }
}

// ---- specials ------------------------------------------------------------------

int ZeSpecialFind(ZEGSCENE* scene, ZESPECIAL* handle, const char* name) {
  for (int i = 0; i < scene->nspec; i++) {
    if (ZeStrICmp(scene->specs[i].name, name) == 0) {
      handle->scene = scene;
      handle->obj = scene->specs + i;
      return 1;
    }
  }
  ZeDebugMsg("ZeSpecialFind: Unable to find special object <%s>", name);
  return 0;
}

int ZeSpecialFindMulti(ZEGSCENE* scene, ZESPECIAL* handles, const char* text) {
  int n = 0;
  for (int i = 0; i < scene->nspec; i++) {
    if (!ZeStrIStr(scene->specs[i].name, text)) continue;
    handles[n].scene = scene;
    handles[n++].obj = scene->specs + i;
  }
  return n;
}

namespace {

ZEMTX* Target(const ZESPECIAL* h) {
  ZESPECIALOBJ* s = h->obj;
  return (s->flags & ZESPECIAL_OWNMTX) ? &s->mtx : &s->inst->mtx;
}

}  // namespace

void ZeSpecialGetMtx(const ZESPECIAL* handle, ZEMTX* out) { *out = *Target(handle); }

void ZeSpecialGetPos(const ZESPECIAL* handle, ZEVEC* out) {
  const ZEMTX* m = Target(handle);
  *out = {m->m[3][0], m->m[3][1], m->m[3][2]};
}

int ZeSpecialDrawAt(const ZESPECIAL* handle, const ZEMTX* mtx) {
  return DrawObject(handle->scene, handle->obj->inst, mtx);
}

void ZeSpecialSetAttr(const ZESPECIAL* handle, ...) {
  ZESPECIALOBJ* s = handle->obj;
  ZEMTX* t = Target(handle);
  const ZEMTX& stored = s->mtx;
  va_list ap;
  va_start(ap, handle);
  for (;;) {
    const int code = va_arg(ap, int);
    if (code < 0 || code >= ZESPA_END) break;
    switch (code) {
      case ZESPA_VISIBLE: {
        const int v = va_arg(ap, int) & 1;
        if (s->flags & ZESPECIAL_OWNMTX) s->flags = (s->flags & ~ZESPECIAL_SHOWN) | (v ? uint32_t(ZESPECIAL_SHOWN) : 0u);
        else s->inst->flags = (s->inst->flags & ~ZEGSCNINST_SHOWN) | (v ? uint32_t(ZEGSCNINST_SHOWN) : 0u);
        break;
      }
      case ZESPA_MTX_STORED: *t = stored; break;
      case ZESPA_MTX: *t = *va_arg(ap, const ZEMTX*); break;
      case ZESPA_MTX_PRE: {
        const ZEMTX given = *va_arg(ap, const ZEMTX*), inst = s->inst->mtx;
        ZeMtxMul(t, &given, &inst);
        break;
      }
      case ZESPA_MTX_POST: {
        const ZEMTX given = *va_arg(ap, const ZEMTX*), inst = s->inst->mtx;
        ZeMtxMul(t, &inst, &given);
        break;
      }
      case ZESPA_POS_STORED:
        for (int c = 0; c < 3; c++) t->m[3][c] = stored.m[3][c];
        break;
      case ZESPA_POS: {
        const ZEVEC* v = va_arg(ap, const ZEVEC*);
        t->m[3][0] = v->x, t->m[3][1] = v->y, t->m[3][2] = v->z;
        break;
      }
      case ZESPA_TRANSLATE: ZeMtxTranslate(t, va_arg(ap, const ZEVEC*)); break;
      case ZESPA_POS_LOCAL: {
        const ZEVEC* v = va_arg(ap, const ZEVEC*);
        t->m[3][0] = t->m[3][1] = t->m[3][2] = 0.0f;
        ZeMtxPreTranslate(t, v);
        break;
      }
      case ZESPA_TRANSLATE_LOCAL: ZeMtxPreTranslate(t, va_arg(ap, const ZEVEC*)); break;
      case ZESPA_AXES_STORED:
        for (int r = 0; r < 3; r++)
          for (int c = 0; c < 3; c++) t->m[r][c] = stored.m[r][c];
        break;
      case ZESPA_ROT_X:
      case ZESPA_ROT_Y:
      case ZESPA_ROT_Z: {
        const int a = va_arg(ap, int);
        const ZEVEC keep = {t->m[3][0], t->m[3][1], t->m[3][2]};
        if (code == ZESPA_ROT_X) ZeMtxSetRotationX(t, a);
        else if (code == ZESPA_ROT_Y) ZeMtxSetRotationY(t, a);
        else ZeMtxSetRotationZ(t, a);
        t->m[3][0] = keep.x, t->m[3][1] = keep.y, t->m[3][2] = keep.z;
        break;
      }
      case ZESPA_ROTATE_X: ZeMtxRotateX(t, va_arg(ap, int)); break;
      case ZESPA_ROTATE_Y: ZeMtxRotateY(t, va_arg(ap, int)); break;
      case ZESPA_ROTATE_Z: ZeMtxRotateZ(t, va_arg(ap, int)); break;
      case ZESPA_PREROTATE_X: ZeMtxPreRotateX(t, va_arg(ap, int)); break;
      case ZESPA_PREROTATE_Y: ZeMtxPreRotateY(t, va_arg(ap, int)); break;
      case ZESPA_PREROTATE_Z: ZeMtxPreRotateZ(t, va_arg(ap, int)); break;
      case ZESPA_SCALE_SET: ZeMtxSetScale(t, va_arg(ap, const ZEVEC*)); break;
      case ZESPA_SCALE: ZeMtxScale(t, va_arg(ap, const ZEVEC*)); break;
      default: break;
    }
  }
  va_end(ap);
}

void ZeSpecialList(const ZEGSCENE* scene) {
  for (int i = 0; i < scene->nspec; i++) ZeDebugMsg("Obj %d) <%s>", i, scene->specs[i].name.get());
}

void ZeGScnAddExt(ZEGSCENE* scene, int n, ZESPECIALOBJ* slots) {
  scene->nexts = n;
  scene->exts = slots;
  scene->extcursor = 0;
  if (n > 0) memset(static_cast<void*>(slots), 0, size_t(n) * sizeof(ZESPECIALOBJ));
}

int ZeExtSpecialDuplicate(ZESPECIAL* out, const ZESPECIAL* source) {
  ZEGSCENE* scene = source->scene;
  const int n = scene->nexts;
  if (n <= 0 || !scene->exts) return 0;
  const int start = scene->extcursor;
  int c = start;
  do {
    c = c + 1 >= n ? 0 : c + 1;
    ZESPECIALOBJ& slot = scene->exts[c];
    if (!(slot.flags & ZESPECIAL_OWNMTX)) {
      slot = *source->obj;
      slot.flags |= ZESPECIAL_OWNMTX | ZESPECIAL_SHOWN;
      scene->extcursor = c;
      out->scene = scene;
      out->obj = &slot;
      return 1;
    }
  } while (c != start);
  return 0;
}

void ZeExtSpecialDelete(const ZESPECIAL* handle) { handle->obj->flags &= ~ZESPECIAL_OWNMTX; }

// ---- splines -------------------------------------------------------------------

ZESPLINE* ZeSplineFind(ZEGSCENE* scene, const char* name) {
  if (!scene) return nullptr;
  for (int i = 0; i < scene->nspline; i++)
    if (ZeStrICmp(scene->splines[i].name, name) == 0) return scene->splines + i;
  return nullptr;
}

int ZeSplineFindAllSub(ZEGSCENE* scene, const char* text, ZESPLINE** out, int n) {
  int found = 0;
  for (int i = 0; i < scene->nspline && found < n; i++)
    if (ZeStrIStr(scene->splines[i].name, text)) out[found++] = scene->splines + i;
  return found;
}

int ZeSplineGetRandomPoint(const ZESPLINE* spline, ZEVEC* out) {
  if (spline->count <= 0) return 0;
  const int i = rand() % spline->count;
  const int j = (i + 1) % spline->count;
  ZEVEC a, b;
  memcpy(&a, spline->points.get() + i * spline->ptsize, 12);
  memcpy(&b, spline->points.get() + j * spline->ptsize, 12);
  const float t = float(rand() & 0x7fff) * (1.0f / 32768.0f);
  ZeVecLerp(out, &a, &b, t);
  return 1;
}

void ZeSplineList(const ZEGSCENE* scene) {
  if (!scene) return;
  for (int i = 0; i < scene->nspline; i++) ZeDebugMsg("Spline %d) <%s>", i, scene->splines[i].name.get());
}

int FindSplinePtSize(const char* name) {
  for (const ZESPLINEPTSIZE* r = g_ptsizes; r && r->text; r++)
    if (strstr(name, r->text)) return r->size < 12 ? 12 : r->size;
  return 12;
}

void ZeGScnSetCfg(const ZESPLINEPTSIZE* table) { g_ptsizes = table; }

// ---- removal and the rest ---------------------------------------------------

void ZeGScnRemove(ZEGSCENE* scene) {
  GscnRemoveTexAnims(scene);
  // Its stencil splines leave the shadow pass's list: they go with the buffer.
  ZeRndrSplineForget(scene);
  for (int i = 0; i < scene->nmtl; i++) {
    ZEMTL* m = scene->mtls[i];
    while (m->chain) ZeMtlDetachMtl(m);
    ZeMtlDestroy(m);
  }
  ZeDebugMsg("Removed %d scene materials", scene->nmtl);
  for (int i = 0; i < scene->ntex; i++)
    if (scene->texids[i]) ZeTexDestroy(scene->texids[i]);
  scene->nmtl = 0;
  scene->ntex = 0;
}

void ZeGScnTranslate(ZEGSCENE* scene, const ZEVEC* v) {
  for (int i = 0; i < scene->ninst; i++) ZeMtxTranslate(&scene->insts[i].mtx, v);
}

void ZeGScnMtlUpdate() {}
