// zecamera: the one current camera and the matrices derived from it (view,
// projection, viewport scaling, the viewport and guard-band clip volumes and
// their products), handed to the render streams when a camera is applied;
// point, sphere and box visibility tests; a stack of saved camera states and
// a debug lock that freezes the culling camera.
#include "ze3d.h"

#include <cstring>

ZECAMERA global_camera = {{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}},
                          0.75f, 0.75f, 0.15f, 10000.0f, 0, {1, 1, 1}};
float zecamera_farclip_hack = 0.1f;

namespace {

ZEMTX g_view, g_proj, g_scaling, g_vpClip, g_scClip, g_vp, g_vps, g_ps, g_vcv, g_vcs;
float g_xr = 1.0f, g_yr = 1.0f;
ZEMTX g_planes;
ZEVEC g_axes = {1, 1, 1};
ZECAMERAREFLECT g_reflect;

struct SavedState {
  ZECAMERA camera;
  ZEMTX view, proj, scaling, vp, vcs, vcv, vpClip, vps, ps;
  float xr, yr;
};
SavedState g_stack[ZECAMERA_STACK_SIZE];
int g_stackCount = 0;

int g_lock = 0;
ZECAMERA g_captured, g_live;

// The two clip matrices of the batch tests (vector-unit-0 registers 1-4
// and 5-8 on the console).
ZEMTX g_test1, g_test2;

// sin and cos of half the field of view from the sine table, as a 16-bit
// angle (truncated).
void HalfAngle(float fov, float* s, float* c) {
  const uint32_t a = uint32_t(EeFtoi(fov * 0.5f * 10430.378f));
  *s = ZeTrigTable[(a >> 1) & 0x7fff];
  *c = ZeTrigTable[((a + 0x4000u) >> 1) & 0x7fff];
}

// Camera space to a clip volume of -w..w, the x and y extents scaled by
// fx and fy.
void BuildClip(ZEMTX* out, const ZECAMERA* cam, float fx, float fy) {
  float s, c;
  HalfAngle(cam->fov, &s, &c);
  const float cot = c / s;
  const float f = cam->farclip - zecamera_farclip_hack, n = cam->nearclip;
  ZeMtxSetZero(out);
  out->m[0][0] = fx * cam->aspect * cot;
  out->m[1][1] = fy * cot;
  out->m[2][2] = (f + n) / (f - n);
  out->m[2][3] = 1.0f;
  out->m[3][2] = -2.0f * f * n / (f - n);
}

void BuildRatiosAndPlanes(const ZECAMERA* cam) {
  float s, c;
  HalfAngle(cam->fov, &s, &c);
  const float t = s / c;
  g_xr = t / cam->aspect;
  g_yr = t;
  const float k = 1.0f / ZeFsqrt(1.0f + g_xr * g_xr);
  ZeMtxSetZero(&g_planes);
  // Columns: right, left, lower, upper; each (normal, 0), positive inside.
  g_planes.m[0][0] = -k;
  g_planes.m[2][0] = g_xr * k;
  g_planes.m[0][1] = k;
  g_planes.m[2][1] = g_xr * k;
  g_planes.m[1][2] = c;
  g_planes.m[2][2] = s;
  g_planes.m[1][3] = -c;
  g_planes.m[2][3] = s;
}

void SendYaw() {
  const auto& z = global_camera.mtx.m[2];
  FaceYDirStream(ZeAtan2D(-z[0], -z[2]));
}

// Clip judgement of a homogeneous point against its own w.
int Judge(const ZEVEC4& v) {
  const float w = ZeFabs(v.w);
  int code = 0;
  if (v.x > w) code |= 0x01;
  if (v.x < -w) code |= 0x02;
  if (v.y > w) code |= 0x04;
  if (v.y < -w) code |= 0x08;
  if (v.z > w) code |= 0x10;
  if (v.z < -w) code |= 0x20;
  return code;
}

int JudgeBy(const ZEMTX* m, const ZEVEC4* p) {
  ZEVEC4 r;
  ZeVec4MtxTransformH(&r, p, m);
  return Judge(r);
}

// The local matrix (when given) in front of M.
const ZEMTX* WithLocal(ZEMTX* tmp, const ZEMTX* local, const ZEMTX* M) {
  if (!local) return M;
  ZeMtxMulVU0(tmp, local, M);
  return tmp;
}

void TransformDivided(ZEVEC* out, const ZEVEC* in, int n, const ZEMTX* local, const ZEMTX* M) {
  ZEMTX tmp;
  const ZEMTX* m = WithLocal(&tmp, local, M);
  for (int i = 0; i < n; i++) ZeVecMtxTransformH(&out[i], &in[i], m);
}

}  // namespace

// ---- camera records ----------------------------------------------------------

ZECAMERA* ZeCameraCreate() {
  auto* cam = static_cast<ZECAMERA*>(ZeMemAllocFn(int(sizeof(ZECAMERA)), __FILE__, __LINE__));
  memset(cam, 0, sizeof *cam);
  ZeMtxSetIdentity(&cam->mtx);
  cam->fov = 0.75f;
  cam->aspect = 0.75f;
  cam->nearclip = 0.15f;
  cam->farclip = 10000.0f;
  cam->scale = {1.0f, 1.0f, 1.0f};
  return cam;
}

void ZeCameraDestroy(ZECAMERA* camera) {
  if (camera) ZeMemFreeFn(camera, __FILE__, __LINE__);
}

// ---- applying a camera ---------------------------------------------------------

void ZeCameraSetEx(const ZECAMERA* camera, int keep) {
  memmove(&global_camera, camera, sizeof global_camera);
  SendYaw();
  if (!keep) ZeVpUpdate();
  ZeMtxInvVU0(&g_view, &global_camera.mtx);
  ZeMtxScaleVU0(&g_view, &global_camera.scale);
  const ZEVIEWPORT* vp = ZeVpGetCurrentViewport();
  if (!keep) {
    ZeCameraSetProjectionMtx(&g_proj, global_camera.fov, global_camera.aspect, global_camera.nearclip,
                             global_camera.farclip);
    BuildClip(&g_vpClip, &global_camera, vp->vpclipx, vp->vpclipy);
  }
  ZeMtxMulVU0(&g_vcv, &g_view, &g_vpClip);
  if (!keep) BuildClip(&g_scClip, &global_camera, vp->guardx, vp->guardy);
  ZeMtxMulVU0(&g_vcs, &g_view, &g_scClip);
  ZeVpGetScalingMtx(&g_scaling);
  ZeMtxMulVU0(&g_vp, &g_view, &g_proj);
  ZeMtxMulVU0(&g_vps, &g_vp, &g_scaling);
  ZeMtxMulVU0(&g_ps, &g_proj, &g_scaling);
  g_reflect.mtx[1] = g_vcv;
  if (!keep) BuildRatiosAndPlanes(&global_camera);
  ZeRndrSetViewMtx(&g_vps, &g_vcv, &g_vcs);
  ZeRndrSetSpecularLight(nullptr, nullptr);
}

void ZeCameraSet(const ZECAMERA* camera) { ZeCameraSetEx(camera, 0); }

void ZeCameraSetReflect(const ZECAMERA* camera, ZECAMERAREFLECT* record) {
  g_reflect = *record;
  ZeCameraSet(camera);
  *record = g_reflect;
}

void ZeCameraSetAxes(const ZEVEC* v) { g_axes = *v; }
void ZeCameraGetAxes(ZEVEC* out) { *out = g_axes; }

// ---- getters -------------------------------------------------------------------

ZECAMERA* ZeCameraGetCam() { return &global_camera; }
ZEMTX* ZeCameraGetMtx() { return &global_camera.mtx; }
ZEMTX* ZeCameraGetViewMtx() { return &g_view; }
ZEMTX* ZeCameraGetProjectionMtx() { return &g_proj; }
ZEMTX* ZeCameraGetScalingMtx() { return &g_scaling; }
ZEMTX* ZeCameraGetPCMtx() { return &g_vpClip; }
ZEMTX* ZeCameraGetVPCSMtx() { return &g_vps; }
ZEMTX* ZeCameraGetPCSMtx() { return &g_ps; }
ZEMTX* ZeCameraGetVPCMtx() { return &g_vcv; }
ZEMTX* ZeCameraGetClipPlanes() { return &g_planes; }

void ZeCameraGetClipMtx(ZEMTX* outVCv, ZEMTX* outVCs) {
  if (outVCv) *outVCv = g_vcv;
  if (outVCs) *outVCs = g_vcs;
}

void ZeCameraGet(ZECAMERA* out) { memmove(out, &global_camera, sizeof *out); }

void ZeCameraGetTrans(ZEVEC* out) { ZeMtxGetTranslation(&global_camera.mtx, out); }

void ZeCameraGetClippingRatios(float* outx, float* outy) {
  *outx = g_xr;
  *outy = g_yr;
}

float ZeCameraDistSqr(const ZEVEC* p) {
  ZEVEC t;
  ZeMtxGetTranslation(&global_camera.mtx, &t);
  return ZeVecDistSqr(p, &t, nullptr);
}

float ZeCameraDist(const ZEVEC* p) { return ZeFsqrt(ZeCameraDistSqr(p)); }

// ---- matrix builders -------------------------------------------------------------

void ZeCameraSetProjectionMtx(ZEMTX* out, float fov, float aspect, float nearclip, float farclip) {
  float s, c;
  HalfAngle(fov, &s, &c);
  ZEASSERT(ZeFabs(farclip - nearclip) > 0.01f);
  ZEASSERT(ZeFabs(s) > 0.01f);
  const float cot = c / s;
  ZeMtxSetZero(out);
  out->m[0][0] = aspect * cot;
  out->m[1][1] = cot;
  out->m[2][2] = farclip / (farclip - nearclip);
  out->m[2][3] = 1.0f;
  out->m[3][2] = -nearclip * farclip / (farclip - nearclip);
}

void ZeCameraSetVPortClipMtx(ZEMTX* out, const ZEMTX* view, const ZECAMERA* camera, int keep) {
  if (!keep) {
    const ZEVIEWPORT* vp = ZeVpGetCurrentViewport();
    BuildClip(&g_vpClip, camera, vp->vpclipx, vp->vpclipy);
  }
  ZeMtxMulVU0(out, view, &g_vpClip);
}

void ZeCameraSetScissorClipMtx(ZEMTX* out, const ZEMTX* view, const ZECAMERA* camera, int keep) {
  if (!keep) {
    const ZEVIEWPORT* vp = ZeVpGetCurrentViewport();
    BuildClip(&g_scClip, camera, vp->guardx, vp->guardy);
  }
  ZeMtxMulVU0(out, view, &g_scClip);
}

// ---- point transforms --------------------------------------------------------------

void ZeCameraTransformView(ZEVEC* out, const ZEVEC* in, int n, const ZEMTX* local) {
  ZEMTX tmp;
  const ZEMTX* m = &g_view;
  if (local) {
    ZeMtxMul(&tmp, local, &g_view);
    m = &tmp;
  }
  for (int i = 0; i < n; i++) ZeVecMtxTransform(&out[i], &in[i], m);
}

void ZeCameraTransformPerspective(ZEVEC* out, const ZEVEC* in, int n, const ZEMTX* local) {
  TransformDivided(out, in, n, local, &g_vp);
}

void ZeCameraTransformScreen(ZEVEC* out, const ZEVEC* in, int n, const ZEMTX* local) {
  TransformDivided(out, in, n, local, &g_vps);
}

void ZeCameraTransformScreenClip(ZEVEC* out, const ZEVEC* in, int n, const ZEMTX* local) {
  TransformDivided(out, in, n, local, &g_vcv);
}

void ZeCameraTransformScissorClip(ZEVEC* out, const ZEVEC* in, int n, const ZEMTX* local) {
  TransformDivided(out, in, n, local, &g_vcs);
}

void ZeCameraTransformScreenVU0(ZEVEC4* out, const ZEVEC4* in, int n, const ZEMTX* local) {
  ZEMTX tmp;
  const ZEMTX* m = WithLocal(&tmp, local, &g_vps);
  for (int i = 0; i < n; i++) ZeVec4MtxTransformHVU0(&out[i], &in[i], m);
}

// ---- visibility tests ------------------------------------------------------------------

int ZeCameraClipTestPoints(const ZEVEC* points, int n, const ZEMTX* local) {
  ZEMTX tmp;
  const ZEMTX* m = &g_view;
  if (local) {
    ZeMtxMul(&tmp, local, &g_view);
    m = &tmp;
  }
  int result = -1;
  for (int i = 0; i < n; i++) {
    ZEVEC p;
    ZeVecMtxTransform(&p, &points[i], m);
    int code = 0;
    if (p.x < -g_xr * p.z) code |= 0x01;
    if (p.x > g_xr * p.z) code |= 0x02;
    if (p.y > g_yr * p.z) code |= 0x04;
    if (p.y < -g_yr * p.z) code |= 0x08;
    if (p.z > global_camera.farclip) code |= 0x10;
    if (p.z < global_camera.nearclip) code |= 0x20;
    result &= code;
  }
  return result;
}

int ZeCameraClipTestSphere(const ZEVEC* centre, const ZEMTX* matrix, float radius) {
  ZEVEC p = *centre;
  if (matrix) ZeVecMtxTransform(&p, &p, matrix);
  ZeVecMtxTransform(&p, &p, &g_view);
  if (p.z - global_camera.nearclip + radius < 0.0f || global_camera.farclip - p.z + radius < 0.0f) return 1;
  const ZEVEC4 q = {p.x, p.y, p.z, 1.0f};
  ZEVEC4 d;
  ZeVec4MtxTransformH(&d, &q, &g_planes);
  return (d.x < -radius || d.y < -radius || d.z < -radius || d.w < -radius) ? 1 : 0;
}

int ZeCameraClipTestExtents(const ZEVEC* min, const ZEVEC* max, const ZEMTX* local) {
  ZeCameraInitClipTestVU0(&g_vcv, &g_vcs, local);
  const int r = ZeCameraClipTestExtentsVU0(min, max);
  if (r & 0x3f) return 0;          // every corner outside one plane of the viewport volume
  return (r & 0x3f00) ? 2 : 1;     // some corner outside the guard band: clip
}

int ZeCameraClipTestPointVport(const ZEVEC* p) { return ZeVecClipTestPointVU0(p, &g_vcv) == 0 ? 1 : 0; }
int ZeCameraClipTestPointScissor(const ZEVEC* p) { return ZeVecClipTestPointVU0(p, &g_vcs) == 0 ? 1 : 0; }

void ZeCameraRayCast(ZEVEC* out, float sx, float sy) {
  const ZEVEC d = {sx * g_xr, sy * g_yr, 1.0f};
  ZeVecMtxRotate(out, &d, &global_camera.mtx);
}

// ---- batch tests ----------------------------------------------------------------------------

void ZeCameraInitClipTestVU0(const ZEMTX* m1, const ZEMTX* m2, const ZEMTX* local) {
  if (m1) {
    if (local) ZeMtxMulVU0(&g_test1, local, m1);
    else g_test1 = *m1;
  }
  if (m2) {
    if (local) ZeMtxMulVU0(&g_test2, local, m2);
    else g_test2 = *m2;
  }
}

namespace {

int TestPoints(const ZEMTX* m, const ZEVEC4* points, int n) {
  int orCodes = 0, andCodes = 0x3f;
  for (int i = 0; i < n; i++) {
    const int code = JudgeBy(m, &points[i]);
    orCodes |= code;
    andCodes &= code;
  }
  return (orCodes << 8 | andCodes) & 0x3f3f;
}

// m2's OR in bits 8-13, m1's AND in bits 0-5.
int TestBoth(const ZEVEC4* points, int n) {
  int orCodes = 0, andCodes = 0x3f;
  for (int i = 0; i < n; i++) {
    andCodes &= JudgeBy(&g_test1, &points[i]);
    orCodes |= JudgeBy(&g_test2, &points[i]);
  }
  return (orCodes << 8 | andCodes) & 0x3f3f;
}

}  // namespace

int ZeCameraScreenTestPointsVU0(const ZEVEC4* points, int n) { return TestPoints(&g_test1, points, n); }
int ZeCameraScissorTestPointsVU0(const ZEVEC4* points, int n) { return TestPoints(&g_test2, points, n); }
int ZeCameraClipTestPointsVU0(const ZEVEC4* points, int n) { return TestBoth(points, n); }

int ZeCameraClipTestExtentsVU0(const ZEVEC* min, const ZEVEC* max) {
  // Corners read by floats: they need not be aligned.
  const float lo[3] = {min->x, min->y, min->z}, hi[3] = {max->x, max->y, max->z};
  ZEVEC4 corners[8];
  for (int i = 0; i < 8; i++)
    corners[i] = {(i & 1) ? hi[0] : lo[0], (i & 2) ? hi[1] : lo[1], (i & 4) ? hi[2] : lo[2], 1.0f};
  return TestBoth(corners, 8);
}

// ---- the state stack and the lock --------------------------------------------------------------

int ZeCameraSaveState() {
  if (g_stackCount == ZECAMERA_STACK_SIZE) return 0;
  SavedState& e = g_stack[g_stackCount];
  e.camera = global_camera;
  e.view = g_view;
  e.proj = g_proj;
  e.scaling = g_scaling;
  e.vp = g_vp;
  e.vcs = g_vcs;
  e.vcv = g_vcv;
  e.vpClip = g_vpClip;
  e.vps = g_vps;
  e.ps = g_ps;
  e.xr = g_xr;
  e.yr = g_yr;
  return ++g_stackCount;
}

void ZeCameraRestoreState(int depth) {
  // The stack has no entry 0: a depth outside 1..count changes nothing.
  if (depth < 1 || depth > g_stackCount) return;
  const SavedState& e = g_stack[depth - 1];
  global_camera = e.camera;
  g_view = e.view;
  g_proj = e.proj;
  g_scaling = e.scaling;
  g_vp = e.vp;
  g_vcs = e.vcs;
  g_vcv = e.vcv;
  g_vpClip = e.vpClip;
  g_vps = e.vps;
  g_ps = e.ps;
  g_xr = e.xr;
  g_yr = e.yr;
  SendYaw();
  ZeRndrSetViewMtx(&g_vps, &g_vcv, &g_vcs);
}

void ZeCameraClearStateBuffer() { g_stackCount = 0; }

void ZeCameraLock(int flag) {
  if (flag && !g_lock) g_captured = global_camera;
  if (flag) {
    g_live = global_camera;
    ZeCameraSetEx(&g_captured, 0);
  }
  g_lock = flag;
}

void ZeCameraUnlock() {
  if (g_lock == 1) ZeCameraSetEx(&g_live, 0);
}
