// zeviewport: the one current viewport: the rectangle of GS coordinate space
// the camera's image fills (1/16 pixel units), its depth range, centre and
// clip window; the scaling matrix from homogeneous clip space to the screen
// and the factors of the camera's two clip volumes.
#include "ze3d.h"

#include <cstring>

namespace {

ZEVIEWPORT g_default;
ZEVIEWPORT g_current;
ZEMTX g_scaling;
int g_dirty = 0;

// The guard band: the GS draws up to 2048 pixels either side of the
// centre; at this factor the volume reaches about 1800 pixels out.
constexpr float GUARD_UNITS = 57600.0f;

void SetDefaultWindow(ZEVIEWPORT* vp) {
  vp->centrex = vp->centrey = 0.5f;
  vp->clipx0 = vp->clipy0 = 0.0f;
  vp->clipx1 = vp->clipy1 = 1.0f;
  vp->vpclipx = vp->vpclipy = 1.0f;
  vp->guardx = float(vp->width) / GUARD_UNITS;
  vp->guardy = float(vp->height) / GUARD_UNITS;
}

}  // namespace

void ZeVpInit() {
  ZePs2GetViewport(&g_default);
  SetDefaultWindow(&g_default);
  g_current = g_default;
  g_dirty = 1;
  ZeVpUpdate();
}

void ZeVpRestore() {
  g_current = g_default;
  g_dirty = 1;
}

void ZeVpSetPosition(float x, float y) {
  g_current.x = EeFtoi(x);
  g_current.y = EeFtoi(y);
  g_dirty = 1;
}

void ZeVpSetSize(float width, float height) {
  g_current.width = EeFtoi(width);
  g_current.height = EeFtoi(height);
  g_dirty = 1;
}

void ZeVpSetZRange(float zmin, float zmax) {
  g_current.zmin = zmin;
  g_current.zmax = zmax;
  g_dirty = 1;
}

void ZeVpSetCentre(float cx, float cy) {
  g_current.centrex = cx;
  g_current.centrey = cy;
  g_dirty = 1;
}

void ZeVpSetClipping(float x0, float y0, float x1, float y1) {
  // The clamps also take NaN to the window's edge.
  x0 = x0 > 0.0f ? x0 : 0.0f;
  y0 = y0 > 0.0f ? y0 : 0.0f;
  x1 = x1 < 1.0f ? x1 : 1.0f;
  y1 = y1 < 1.0f ? y1 : 1.0f;
  // An empty or inverted window would give infinite or negative clip
  // factors.
  if (x1 <= x0 || y1 <= y0)
    ZeError("ZeVpSetClipping: empty clip window (%f, %f)-(%f, %f)", double(x0), double(y0), double(x1), double(y1));
  g_current.clipx0 = x0;
  g_current.clipy0 = y0;
  g_current.clipx1 = x1;
  g_current.clipy1 = y1;
  g_dirty = 1;
}

ZEVIEWPORT* ZeVpUpdate() {
  if (!g_dirty) return nullptr;
  g_dirty = 0;
  ZEVIEWPORT& vp = g_current;
  // One pixel added on every side: clip-space -1 and +1 land a pixel
  // outside the viewport.
  const float W = float(vp.width + 32), H = float(vp.height + 32);
  ZeMtxSetZero(&g_scaling);
  g_scaling.m[0][0] = W / 2.0f;
  g_scaling.m[1][1] = -H / 2.0f;
  g_scaling.m[2][2] = vp.zmax - vp.zmin;
  g_scaling.m[3][0] = float(vp.x - 16) + W * vp.centrex;
  g_scaling.m[3][1] = float(vp.y - 16) + H * vp.centrey;
  g_scaling.m[3][2] = vp.zmin;
  g_scaling.m[3][3] = 1.0f;
  if (vp.clipx0 == 0.0f && vp.clipx1 == 1.0f) {
    vp.vpclipx = 1.0f;
    vp.guardx = float(vp.width) / GUARD_UNITS;
  } else {
    vp.vpclipx = vp.guardx = 1.0f / (vp.clipx1 - vp.clipx0);
  }
  if (vp.clipy0 == 0.0f && vp.clipy1 == 1.0f) {
    vp.vpclipy = 1.0f;
    vp.guardy = float(vp.height) / GUARD_UNITS;
  } else {
    vp.vpclipy = vp.guardy = 1.0f / (vp.clipy1 - vp.clipy0);
  }
  return &vp;
}

void ZeVpGetScalingMtx(ZEMTX* out) {
  if (out) *out = g_scaling;
}

ZEVIEWPORT* ZeVpGetCurrentViewport() { return &g_current; }

float ZeVpVirtualWidth(float v) { return v / float(g_current.width); }
float ZeVpVirtualHeight(float v) { return v / float(g_current.height); }
float ZeVpPixelWidth(float f) { return f * float(g_current.width) + float(g_current.x); }
float ZeVpPixelHeight(float f) { return f * float(g_current.height) + float(g_current.y); }
