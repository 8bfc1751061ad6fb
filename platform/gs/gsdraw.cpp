// Drawing: the vertex queue and the kick rules of XYZ2/XYZ3, the drawing
// environment decoded from the registers of the primitive's context, the
// set-up of each primitive's interpolants, points and lines, and the
// choice between the fast and the reference rasteriser.
#include <algorithm>
#include <cmath>

#include "gs_local.h"

namespace {

GsDrawEnv g_env;

void BuildEnv() {
  GsDrawEnv& e = g_env;
  const uint64_t* reg = g_gs.reg;
  // PRMODECONT.AC picks the attributes: PRIM's own or PRMODE's.
  GsPRMODE attr = GsAs<GsPRMODE>(GsAs<GsPRMODECONT>(reg[GS_PRMODECONT]).AC ? reg[GS_PRIM]
                                                                           : reg[GS_PRMODE]);
  e.ctxt = int(attr.CTXT);
  e.iip = attr.IIP;
  e.tme = attr.TME;
  e.abe = attr.ABE;
  e.fst = attr.FST;
  const int c = e.ctxt;

  GsXYOFFSET ofs = GsAs<GsXYOFFSET>(reg[GS_XYOFFSET_1 + c]);
  e.ofx = int(ofs.OFX);
  e.ofy = int(ofs.OFY);
  GsSCISSOR sc = GsAs<GsSCISSOR>(reg[GS_SCISSOR_1 + c]);
  e.scx0 = int(sc.SCAX0);
  e.scx1 = int(sc.SCAX1);
  e.scy0 = int(sc.SCAY0);
  e.scy1 = int(sc.SCAY1);

  GsFRAME fr = GsAs<GsFRAME>(reg[GS_FRAME_1 + c]);
  e.fpsm = &GsPsm(uint32_t(fr.PSM));
  switch (e.fpsm->store) {
    case GS_ST_32: e.ffmt = GS_FB_32; break;
    case GS_ST_24: e.ffmt = GS_FB_24; break;
    case GS_ST_16: e.ffmt = GS_FB_16; break;
    default: e.ffmt = GS_FB_NONE; break;  // not a format a frame can hold
  }
  e.fbp = uint32_t(fr.FBP) * 32;
  e.fbw = uint32_t(fr.FBW);
  e.fbmsk = uint32_t(fr.FBMSK);

  // ZBUF's format is four bits: the Z layouts, whatever a caller meant.
  GsZBUF zb = GsAs<GsZBUF>(reg[GS_ZBUF_1 + c]);
  e.zpsm = &GsPsm(0x30 | uint32_t(zb.PSM));
  e.zbp = uint32_t(zb.ZBP) * 32;
  e.zmsk = zb.ZMSK || e.zpsm->store == GS_ST_NONE;
  e.zmax = e.zpsm->store == GS_ST_24 ? 0xffffff : e.zpsm->store == GS_ST_16 ? 0xffff : 0xffffffff;

  GsTEST t = GsAs<GsTEST>(reg[GS_TEST_1 + c]);
  e.ate = t.ATE;
  e.atst = int(t.ATST);
  e.aref = int(t.AREF);
  e.afail = int(t.AFAIL);
  // Destination alpha exists in 32- and 16-bit frames only.
  e.date = t.DATE && (e.ffmt == GS_FB_32 || e.ffmt == GS_FB_16);
  e.datm = t.DATM;
  // ZTE 0 is not a defined mode: taken as a test that always passes.
  e.zte = t.ZTE;
  e.ztst = t.ZTE ? int(t.ZTST) : 1;

  GsALPHA al = GsAs<GsALPHA>(reg[GS_ALPHA_1 + c]);
  e.ba = int(al.A);
  e.bb = int(al.B);
  e.bc = int(al.C);
  e.bd = int(al.D);
  e.bfix = uint32_t(al.FIX);
  e.colclamp = GsAs<GsCOLCLAMP>(reg[GS_COLCLAMP]).CLAMP;

  if (e.tme)
    GsTexEnvBuild(&e.tex, GsAs<GsTEX0>(reg[GS_TEX0_1 + c]), GsAs<GsTEX1>(reg[GS_TEX1_1 + c]),
                  GsAs<GsCLAMP>(reg[GS_CLAMP_1 + c]), reg[GS_MIPTBP1_1 + c],
                  reg[GS_MIPTBP2_1 + c], GsAs<GsTEXA>(reg[GS_TEXA]));

  uint32_t fmask = e.ffmt == GS_FB_32 ? e.fbmsk : e.ffmt == GS_FB_24 ? e.fbmsk | 0xff000000
                   : e.ffmt == GS_FB_16 ? GsPack16(e.fbmsk) | 0xffff0000 : 0xffffffff;
  bool frameOff = e.ffmt == GS_FB_NONE || fmask == 0xffffffff;
  e.drawsNothing = (frameOff && e.zmsk) || e.ztst == 0;
  GsPageSet frame, depth;
  frame.Clear();
  depth.Clear();
  if (e.ffmt != GS_FB_NONE)
    GsMemRectPages(*e.fpsm, e.fbp, e.fbw, e.scx0, e.scy0, e.scx1, e.scy1, &frame);
  if (e.ztst != 1 || !e.zmsk)
    GsMemRectPages(*e.zpsm, e.zbp, e.fbw, e.scx0, e.scy0, e.scx1, e.scy1, &depth);
  e.areaAlias = frame.Intersects(depth);
  e.area = frame;
  for (int i = 0; i < int(GS_PAGES / 64); i++) e.area.w[i] |= depth.w[i];
  g_gs.envDirty = false;
  g_gs.envSerial++;
}

// A double to 16.16 fixed point, rounded; far-out values (only
// slivers produce them) saturate rather than overflow.
int64_t Fix16(double v) {
  double f = std::min(std::max(v * 65536.0, -4.0e18), 4.0e18);
  return int64_t(f + std::copysign(0.5, f));  // to nearest, halves away from 0
}

// Plane of one attribute through three vertices: per-pixel gradients and
// the value at the origin pixel (xo, yo).
struct Plane {
  double gx, gy, at;
};
struct TriGeom {
  double x0, y0, dx1, dy1, dx2, dy2, inv;  // inv: 1 / the doubled area
  double ox, oy;  // origin minus vertex 0, in 1/16 pixel
};
Plane PlaneOf(const TriGeom& g, double a0, double a1, double a2) {
  double d1 = a1 - a0, d2 = a2 - a0;
  double gx = (d1 * g.dy2 - d2 * g.dy1) * g.inv;  // per 1/16 pixel
  double gy = (d2 * g.dx1 - d1 * g.dx2) * g.inv;
  return Plane{gx * 16, gy * 16, a0 + gx * g.ox + gy * g.oy};
}

void SetFixed(const Plane& p, uint32_t* v, uint32_t* dx, uint32_t* dy) {
  *v = uint32_t(Fix16(p.at));
  *dx = uint32_t(Fix16(p.gx));
  *dy = uint32_t(Fix16(p.gy));
}

void FlatColour(GsSetup* s, uint32_t rgba) {
  for (int k = 0; k < 4; k++) {
    s->c[k] = ((rgba >> (8 * k)) & 0xff) << 16;
    s->dcdx[k] = s->dcdy[k] = 0;
  }
}

// Interpolants of a triangle from its (oriented) vertices; colour from the
// last vertex when flat.
void SetupTriangle(const GsDrawEnv& e, const GsTri& t, const GsVertex* const v[3],
                   const GsVertex& last, int xo, int yo, GsSetup* s) {
  TriGeom g;
  g.x0 = t.x[0];
  g.y0 = t.y[0];
  g.dx1 = t.x[1] - t.x[0];
  g.dy1 = t.y[1] - t.y[0];
  g.dx2 = t.x[2] - t.x[0];
  g.dy2 = t.y[2] - t.y[0];
  g.inv = 1.0 / (g.dx1 * g.dy2 - g.dx2 * g.dy1);
  g.ox = xo * 16.0 - t.x[0];
  g.oy = yo * 16.0 - t.y[0];
  s->xo = xo;
  s->yo = yo;
  if (e.iip) {
    for (int k = 0; k < 4; k++) {
      auto ch = [&](int i) { return double((v[i]->rgba >> (8 * k)) & 0xff); };
      SetFixed(PlaneOf(g, ch(0), ch(1), ch(2)), &s->c[k], &s->dcdx[k], &s->dcdy[k]);
    }
  } else {
    FlatColour(s, last.rgba);
  }
  Plane z = PlaneOf(g, v[0]->z, v[1]->z, v[2]->z);
  s->z = Fix16(z.at);
  s->dzdx = Fix16(z.gx);
  s->dzdy = Fix16(z.gy);
  if (!e.tme) return;
  Plane q = PlaneOf(g, v[0]->q, v[1]->q, v[2]->q);
  s->q = float(q.at);
  s->dqdx = float(q.gx);
  s->dqdy = float(q.gy);
  if (e.fst) {
    SetFixed(PlaneOf(g, v[0]->u, v[1]->u, v[2]->u), &s->u, &s->dudx, &s->dudy);
    SetFixed(PlaneOf(g, v[0]->v, v[1]->v, v[2]->v), &s->v, &s->dvdx, &s->dvdy);
  } else {
    Plane ps = PlaneOf(g, v[0]->s, v[1]->s, v[2]->s);
    Plane pt = PlaneOf(g, v[0]->t, v[1]->t, v[2]->t);
    s->s = float(ps.at);
    s->dsdx = float(ps.gx);
    s->dsdy = float(ps.gy);
    s->t = float(pt.at);
    s->dtdx = float(pt.gx);
    s->dtdy = float(pt.gy);
  }
}

// A primitive's rectangle; its page sets are filled when first asked for.
GsWrites WritesOf(int x0, int y0, int x1, int y1) {
  GsWrites w;
  w.x0 = x0;
  w.y0 = y0;
  w.x1 = x1;
  w.y1 = y1;
  w.exact = false;
  return w;
}

// Does the scissor area hold pages that decoded texels came from? Kept
// per environment and growth of the decoded set.
bool AreaHoldsDecoded(const GsDrawEnv& e) {
  static uint64_t envSerial = ~uint64_t(0), gen = ~uint64_t(0);
  static bool holds = true;
  if (envSerial != g_gs.envSerial || gen != g_gsDecodedGen) {
    envSerial = g_gs.envSerial;
    gen = g_gsDecodedGen;
    holds = e.area.Intersects(g_gsDecoded);
  }
  return holds;
}

// After a primitive: stamps the pages it may have written, when decoded
// texels could depend on them.
void StampWrites(const GsDrawEnv& e, GsWrites* w) {
  if (!AreaHoldsDecoded(e)) return;
  GsWritesExact(e, w);
  GsPageSet set = w->frame;
  if (!e.zmsk)
    for (int i = 0; i < int(GS_PAGES / 64); i++) set.w[i] |= w->depth.w[i];
  GsMemStampPages(set);
}
void StampWrites(const GsDrawEnv& e, int x0, int y0, int x1, int y1) {
  GsWrites w = WritesOf(x0, y0, x1, y1);
  StampWrites(e, &w);
}

inline int CeilDiv16(int v) { return (v + 15) >> 4; }

// Counts a primitive drawn since the pixel counter stood at `before`: on
// the fast path, or on the reference path for `reason`.
void Counted(bool fast, GsRefReason reason, uint64_t before) {
  GsStats& st = g_gs.stats;
  const uint64_t n = st.pixels - before;
  if (fast) {
    st.fastPrims++;
    st.fastPixels += n;
    return;
  }
  if (g_gs.path != GS_PATH_FAST) reason = GS_REF_CHOSEN;
  st.refPixels += n;
  st.refPrims[reason]++;
  st.refReasonPixels[reason] += n;
}

void DrawTriangle(const GsDrawEnv& e, const GsVertex* a, const GsVertex* b, const GsVertex* c) {
  const GsVertex* v[3] = {a, b, c};
  GsTri t;
  for (int i = 0; i < 3; i++) {
    t.x[i] = int(v[i]->x) - e.ofx;
    t.y[i] = int(v[i]->y) - e.ofy;
  }
  int64_t area = int64_t(t.x[1] - t.x[0]) * (t.y[2] - t.y[0]) -
                 int64_t(t.x[2] - t.x[0]) * (t.y[1] - t.y[0]);
  if (area == 0) return;
  if (area < 0) {
    std::swap(t.x[1], t.x[2]);
    std::swap(t.y[1], t.y[2]);
    std::swap(v[1], v[2]);
  }
  int x0 = std::max(CeilDiv16(std::min({t.x[0], t.x[1], t.x[2]})), e.scx0);
  int x1 = std::min(CeilDiv16(std::max({t.x[0], t.x[1], t.x[2]})), e.scx1 + 1);
  int y0 = std::max(CeilDiv16(std::min({t.y[0], t.y[1], t.y[2]})), e.scy0);
  int y1 = std::min(CeilDiv16(std::max({t.y[0], t.y[1], t.y[2]})), e.scy1 + 1);
  if (x0 >= x1 || y0 >= y1) return;
  GsSetup s;
  SetupTriangle(e, t, v, *c, x0, y0, &s);
  g_gs.stats.prims++;
  GsWrites w = WritesOf(x0, y0, x1 - 1, y1 - 1);
  const uint64_t before = g_gs.stats.pixels;
  const bool fast = g_gs.path == GS_PATH_FAST && GsFastTriangle(e, t, s, &w);
  if (!fast) GsRefTriangle(e, t, s);
  Counted(fast, g_gs.declined, before);
  StampWrites(e, &w);
}

// Sprites: the rectangle between the two vertices, flat with the second
// vertex's colour and depth; texture coordinates run from the first
// vertex's to the second's, S and U along x, T and V along y.
void DrawSprite(const GsDrawEnv& e, const GsVertex& a, const GsVertex& b) {
  int ax = int(a.x) - e.ofx, ay = int(a.y) - e.ofy;
  int bx = int(b.x) - e.ofx, by = int(b.y) - e.ofy;
  int x0 = std::max(CeilDiv16(std::min(ax, bx)), e.scx0);
  int x1 = std::min(CeilDiv16(std::max(ax, bx)), e.scx1 + 1);
  int y0 = std::max(CeilDiv16(std::min(ay, by)), e.scy0);
  int y1 = std::min(CeilDiv16(std::max(ay, by)), e.scy1 + 1);
  if (x0 >= x1 || y0 >= y1) return;
  GsSetup s{};
  s.xo = x0;
  s.yo = y0;
  FlatColour(&s, b.rgba);
  s.z = int64_t(b.z) << 16;
  if (e.tme) {
    // Linear from (X_a, a) to (X_b, b): per-pixel gradient and origin value.
    double gxn = 16.0 / (bx - ax), gyn = 16.0 / (by - ay);
    auto alongX = [&](double va, double vb, double* at, double* d) {
      *d = (vb - va) * gxn;
      *at = va + (vb - va) * (x0 * 16.0 - ax) / (bx - ax);
    };
    auto alongY = [&](double va, double vb, double* at, double* d) {
      *d = (vb - va) * gyn;
      *at = va + (vb - va) * (y0 * 16.0 - ay) / (by - ay);
    };
    double at, d;
    s.q = b.q;
    if (e.fst) {
      alongX(a.u, b.u, &at, &d);
      s.u = uint32_t(Fix16(at));
      s.dudx = uint32_t(Fix16(d));
      alongY(a.v, b.v, &at, &d);
      s.v = uint32_t(Fix16(at));
      s.dvdy = uint32_t(Fix16(d));
    } else {
      alongX(a.s, b.s, &at, &d);
      s.s = float(at);
      s.dsdx = float(d);
      alongY(a.t, b.t, &at, &d);
      s.t = float(at);
      s.dtdy = float(d);
    }
  }
  g_gs.stats.prims++;
  GsWrites w = WritesOf(x0, y0, x1 - 1, y1 - 1);
  const uint64_t before = g_gs.stats.pixels;
  const bool fast = g_gs.path == GS_PATH_FAST && GsFastSprite(e, x0, y0, x1, y1, s, &w);
  if (!fast) GsRefSprite(e, x0, y0, x1, y1, s);
  Counted(fast, g_gs.declined, before);
  StampWrites(e, &w);
}

inline bool InScissor(const GsDrawEnv& e, int x, int y) {
  return x >= e.scx0 && x <= e.scx1 && y >= e.scy0 && y <= e.scy1;
}

int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
  int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}

// Lines step along their major axis over the pixels whose centre lies in
// [start, end) (so a strip draws each joint once); the minor coordinate
// rounds to the nearest pixel. Attributes follow the major axis.
void DrawLine(const GsDrawEnv& e, const GsVertex& a, const GsVertex& b) {
  int ax = int(a.x) - e.ofx, ay = int(a.y) - e.ofy;
  int bx = int(b.x) - e.ofx, by = int(b.y) - e.ofy;
  int dx = bx - ax, dy = by - ay;
  if (dx == 0 && dy == 0) return;
  bool xMajor = std::abs(dx) >= std::abs(dy);
  int pa = xMajor ? ax : ay, pb = xMajor ? bx : by;  // major axis
  int ma = xMajor ? ay : ax, dmaj = pb - pa, dmin = xMajor ? dy : dx;
  int p0 = CeilDiv16(std::min(pa, pb)), p1 = CeilDiv16(std::max(pa, pb));
  if (p0 >= p1) return;
  GsSetup s{};
  s.xo = xMajor ? p0 : 0;
  s.yo = xMajor ? 0 : p0;
  double gn = 16.0 / dmaj, off = (p0 * 16.0 - pa) / dmaj;
  auto along = [&](double va, double vb, double* at, double* d) {
    *d = (vb - va) * gn;
    *at = va + (vb - va) * off;
  };
  double at, d;
  auto fixed = [&](double va, double vb, uint32_t* v, uint32_t* dxo, uint32_t* dyo) {
    along(va, vb, &at, &d);
    *v = uint32_t(Fix16(at));
    *(xMajor ? dxo : dyo) = uint32_t(Fix16(d));
  };
  if (e.iip) {
    for (int k = 0; k < 4; k++)
      fixed((a.rgba >> (8 * k)) & 0xff, (b.rgba >> (8 * k)) & 0xff, &s.c[k], &s.dcdx[k],
            &s.dcdy[k]);
  } else {
    FlatColour(&s, b.rgba);
  }
  along(a.z, b.z, &at, &d);
  s.z = Fix16(at);
  (xMajor ? s.dzdx : s.dzdy) = Fix16(d);
  if (e.tme) {
    auto flt = [&](float va, float vb, float* v, float* dxo, float* dyo) {
      along(va, vb, &at, &d);
      *v = float(at);
      *(xMajor ? dxo : dyo) = float(d);
    };
    flt(a.q, b.q, &s.q, &s.dqdx, &s.dqdy);
    if (e.fst) {
      fixed(a.u, b.u, &s.u, &s.dudx, &s.dudy);
      fixed(a.v, b.v, &s.v, &s.dvdx, &s.dvdy);
    } else {
      flt(a.s, b.s, &s.s, &s.dsdx, &s.dsdy);
      flt(a.t, b.t, &s.t, &s.dtdx, &s.dtdy);
    }
  }
  g_gs.stats.prims++;
  const uint64_t before = g_gs.stats.pixels;
  int den = 16 * std::abs(dmaj), sgn = dmaj > 0 ? 1 : -1;
  int lo = INT32_MAX, hi = INT32_MIN;
  for (int p = p0; p < p1; p++) {
    // The minor coordinate at the pixel centre, rounded (half up).
    int64_t num = int64_t(ma) * dmaj + int64_t(dmin) * (p * 16 - pa);
    int m = int(FloorDiv((num + 8LL * dmaj) * sgn, den));
    int x = xMajor ? p : m, y = xMajor ? m : p;
    if (!InScissor(e, x, y)) continue;
    GsFrag f;
    GsSetupFrag(e, s, x, y, &f);
    GsRefPixel(e, x, y, f);
    g_gs.stats.pixels++;
    lo = std::min(lo, m);
    hi = std::max(hi, m);
  }
  Counted(false, GS_REF_POINT_LINE, before);
  if (lo <= hi)
    StampWrites(e, xMajor ? p0 : lo, xMajor ? lo : p0, xMajor ? p1 - 1 : hi,
                xMajor ? hi : p1 - 1);
}

// A point lights the pixel a 1 x 1 sprite at the vertex would cover.
void DrawPoint(const GsDrawEnv& e, const GsVertex& a) {
  int x = CeilDiv16(int(a.x) - e.ofx), y = CeilDiv16(int(a.y) - e.ofy);
  if (!InScissor(e, x, y)) return;
  GsSetup s{};
  s.xo = x;
  s.yo = y;
  FlatColour(&s, a.rgba);
  s.z = int64_t(a.z) << 16;
  s.q = a.q;
  s.s = a.s;
  s.t = a.t;
  s.u = a.u << 16;
  s.v = a.v << 16;
  g_gs.stats.prims++;
  GsFrag f;
  GsSetupFrag(e, s, x, y, &f);
  GsRefPixel(e, x, y, f);
  g_gs.stats.pixels++;
  Counted(false, GS_REF_POINT_LINE, g_gs.stats.pixels - 1);
  StampWrites(e, x, y, x, y);
}

void Draw(int type) {
  const GsDrawEnv& e = GsEnvGet();
  if (e.drawsNothing) return;
  const GsVertex* q = g_gs.vq;
  switch (type) {
    case 0: DrawPoint(e, q[0]); break;
    case 1:
    case 2: DrawLine(e, q[0], q[1]); break;
    case 3:
    case 4:
    case 5: DrawTriangle(e, &q[0], &q[1], &q[2]); break;
    case 6: DrawSprite(e, q[0], q[1]); break;
    default: break;  // 7 is not a primitive
  }
}

}  // namespace

const GsWrites& GsWritesExact(const GsDrawEnv& e, GsWrites* w) {
  if (w->exact) return *w;
  w->frame.Clear();
  w->depth.Clear();
  if (e.ffmt != GS_FB_NONE)
    GsMemRectPages(*e.fpsm, e.fbp, e.fbw, w->x0, w->y0, w->x1, w->y1, &w->frame);
  if (e.ztst != 1 || !e.zmsk)
    GsMemRectPages(*e.zpsm, e.zbp, e.fbw, w->x0, w->y0, w->x1, w->y1, &w->depth);
  w->exact = true;
  return *w;
}

const GsDrawEnv& GsEnvGet() {
  if (g_gs.envDirty) BuildEnv();
  return g_env;
}

void GsSetupFrag(const GsDrawEnv& e, const GsSetup& s, int x, int y, GsFrag* f) {
  const int dx = x - s.xo, dy = y - s.yo;
  const uint32_t ux = uint32_t(dx), uy = uint32_t(dy);
  uint32_t rgba = 0;
  for (int k = 0; k < 4; k++) {
    int32_t c = int32_t(s.c[k] + s.dcdy[k] * uy + s.dcdx[k] * ux) >> 16;
    rgba |= uint32_t(std::clamp(c, 0, 255)) << (8 * k);
  }
  f->rgba = rgba;
  uint64_t z = uint64_t(s.z) + uint64_t(s.dzdy) * uint64_t(int64_t(dy)) +
               uint64_t(s.dzdx) * uint64_t(int64_t(dx));
  f->z = GsClampZ(int64_t(z), 0xffffffff);
  f->u = f->v = 0;
  f->q = 1.0f;
  if (!e.tme) return;
  f->q = (s.q + s.dqdy * float(dy)) + s.dqdx * float(dx);
  if (e.fst) {
    f->u = int32_t(s.u + s.dudy * uy + s.dudx * ux) >> 16;
    f->v = int32_t(s.v + s.dvdy * uy + s.dvdx * ux) >> 16;
  } else {
    float sv = (s.s + s.dsdy * float(dy)) + s.dsdx * float(dx);
    float tv = (s.t + s.dtdy * float(dy)) + s.dtdx * float(dx);
    float rq = 1.0f / f->q;
    f->u = GsStqToCoord(sv, rq, e.tex.lv[0].tw);
    f->v = GsStqToCoord(tv, rq, e.tex.lv[0].th);
  }
}

void GsKickVertex(bool kick) {
  static constexpr int kNeed[8] = {1, 2, 2, 3, 3, 3, 2, 1};
  const int type = int(GsAs<GsPRIM>(g_gs.reg[GS_PRIM]).PRIM);
  g_gs.vq[g_gs.vqn++] = g_gs.cur;
  if (g_gs.vqn < kNeed[type]) return;
  if (kick) Draw(type);
  // XYZ3 advances the queue like XYZ2, without drawing.
  switch (type) {
    case 2:  // line strip
      g_gs.vq[0] = g_gs.vq[1];
      g_gs.vqn = 1;
      break;
    case 4:  // triangle strip
      g_gs.vq[0] = g_gs.vq[1];
      g_gs.vq[1] = g_gs.vq[2];
      g_gs.vqn = 2;
      break;
    case 5:  // triangle fan: the first vertex stays
      g_gs.vq[1] = g_gs.vq[2];
      g_gs.vqn = 2;
      break;
    default: g_gs.vqn = 0; break;
  }
}
