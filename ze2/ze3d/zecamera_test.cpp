#include "ze3d_test.h"

#include <cstring>

namespace {

struct Camera : testing::Test {
  ZECAMERA* cam = nullptr;
  void SetUp() override {
    ZeTrigInit();
    PS2_REZ_W = 640;
    PS2_REZ_H = 224;
    ZeVpInit();
    cam = ZeCameraCreate();
    ZeCameraSet(cam);
  }
  void TearDown() override {
    ZeCameraLock(0);
    ZeCameraClearStateBuffer();
    ZeCameraDestroy(cam);
  }
};

bool SameMtx(const ZEMTX* a, const ZEMTX* b) { return memcmp(a, b, sizeof *a) == 0; }

}  // namespace

TEST_F(Camera, DefaultLensGivesTheTableProjection) {
  const ZEMTX* p = ZeCameraGetProjectionMtx();
  EXPECT_NEAR(p->m[1][1], 2.5415f, 1e-4f) << "the cotangent of the table's half angle 3911";
  EXPECT_NEAR(p->m[0][0], 0.75f * p->m[1][1], 1e-6f);
  EXPECT_NEAR(p->m[0][0], 1.9061f, 1e-4f);
  EXPECT_NEAR(p->m[2][2], 10000.0f / 9999.85f, 1e-6f);
  EXPECT_NEAR(p->m[3][2], -0.15f * p->m[2][2], 1e-6f);
  EXPECT_EQ(p->m[2][3], 1.0f);
  EXPECT_EQ(p->m[3][3], 0.0f);
  float xr, yr;
  ZeCameraGetClippingRatios(&xr, &yr);
  EXPECT_NEAR(yr, 1.0f / p->m[1][1], 1e-6f);
  EXPECT_NEAR(xr, yr / 0.75f, 1e-6f);

  // World to screen: the view axis lands on the screen centre, the near
  // plane at the near depth and the far plane at the far one.
  const ZEVEC in[3] = {{0, 0, 10}, {0, 0, 0.15f}, {0, 0, 10000}};
  ZEVEC out[3];
  ZeCameraTransformScreen(out, in, 3, nullptr);
  EXPECT_NEAR(out[0].x, 32768.0f, 0.01f);
  EXPECT_NEAR(out[0].y, 32768.0f, 0.01f);
  EXPECT_NEAR(out[1].z, 8388607.0f, 2.0f);
  EXPECT_NEAR(out[2].z, 0.0f, 2.0f);
  // A point on the top edge of the view is a pixel inside the scaled edge.
  const ZEVEC top = {0, yr * 10, 10};
  ZeCameraTransformScreen(out, &top, 1, nullptr);
  EXPECT_NEAR(out[0].y, 32768.0f - 1808.0f, 0.05f);

  ZEMTX m;
  EXPECT_HALT(ZeCameraSetProjectionMtx(&m, 0.75f, 1, 5, 5.005f), "assert");
  EXPECT_HALT(ZeCameraSetProjectionMtx(&m, 0.0f, 1, 0.1f, 100), "assert");
}

TEST_F(Camera, KeepingTheLensRebuildsOnlyTheViewAndTheProducts) {
  const ZEMTX p = *ZeCameraGetProjectionMtx(), cv = *ZeCameraGetPCMtx(), planes = *ZeCameraGetClipPlanes();
  ZEMTX vcv0, vcs0;
  ZeCameraGetClipMtx(&vcv0, &vcs0);
  float xr0, yr0;
  ZeCameraGetClippingRatios(&xr0, &yr0);
  cam->fov = 1.2f;
  cam->mtx.m[3][0] = 50.0f;
  ZeCameraSetEx(cam, 1);
  EXPECT_TRUE(SameMtx(&p, ZeCameraGetProjectionMtx()));
  EXPECT_TRUE(SameMtx(&cv, ZeCameraGetPCMtx()));
  EXPECT_TRUE(SameMtx(&planes, ZeCameraGetClipPlanes()));
  float xr, yr;
  ZeCameraGetClippingRatios(&xr, &yr);
  EXPECT_EQ(xr, xr0);
  EXPECT_EQ(ZeCameraGetViewMtx()->m[3][0], -50.0f);
  ZEMTX vcv, vcs;
  ZeCameraGetClipMtx(&vcv, &vcs);
  EXPECT_FALSE(SameMtx(&vcv, &vcv0));
  EXPECT_FALSE(SameMtx(&vcs, &vcs0));
  ZEVEC t;
  ZeCameraGetTrans(&t);
  EXPECT_EQ(t.x, 50.0f);
  EXPECT_EQ(ZeCameraDist(&zevec_zero), 50.0f);
  ZeCameraSet(cam);
  EXPECT_FALSE(SameMtx(&p, ZeCameraGetProjectionMtx())) << "without keep the new lens is used";
}

TEST_F(Camera, PointAndSphereTests) {
  EXPECT_EQ(ZeCameraClipTestPoints(nullptr, 0, nullptr), -1);
  const ZEVEC nearPoint = {0, 0, 0.1f}, behind = {0, 0, -5}, inside = {0, 0, 10}, right = {100, 0, 10};
  EXPECT_EQ(ZeCameraClipTestPoints(&nearPoint, 1, nullptr), 0x20);
  EXPECT_EQ(ZeCameraClipTestPoints(&behind, 1, nullptr), 0x2f) << "behind the eye every side plane fails too";
  EXPECT_EQ(ZeCameraClipTestPoints(&inside, 1, nullptr), 0);
  EXPECT_EQ(ZeCameraClipTestPoints(&right, 1, nullptr), 0x02);
  const ZEVEC two[2] = {right, inside};
  EXPECT_EQ(ZeCameraClipTestPoints(two, 2, nullptr), 0) << "not all outside one plane";
  ZEMTX local;
  ZeMtxSetIdentity(&local);
  local.m[3][0] = -100.0f;
  EXPECT_EQ(ZeCameraClipTestPoints(&right, 1, &local), 0) << "the local matrix moves it into view";

  const ZEVEC c = {0, 0, 0.15f - 1.0f};
  EXPECT_EQ(ZeCameraClipTestSphere(&c, nullptr, 2.0f), 0);
  EXPECT_EQ(ZeCameraClipTestSphere(&c, nullptr, 0.5f), 1);
  const ZEVEC side = {30, 0, 10};
  EXPECT_EQ(ZeCameraClipTestSphere(&side, nullptr, 1.0f), 1);
  EXPECT_EQ(ZeCameraClipTestSphere(&side, nullptr, 25.0f), 0);
  local.m[3][0] = -30.0f;
  EXPECT_EQ(ZeCameraClipTestSphere(&side, &local, 1.0f), 0) << "moved back onto the view axis";
  const ZEVEC farAway = {0, 0, 10002};
  EXPECT_EQ(ZeCameraClipTestSphere(&farAway, nullptr, 1.0f), 1);

  EXPECT_EQ(ZeCameraClipTestPointVport(&inside), 1);
  EXPECT_EQ(ZeCameraClipTestPointVport(&side), 0);
  EXPECT_EQ(ZeCameraClipTestPointScissor(&side), 0);
  const ZEVEC guard = {25, 0, 10};
  EXPECT_EQ(ZeCameraClipTestPointVport(&guard), 0);
  EXPECT_EQ(ZeCameraClipTestPointScissor(&guard), 1) << "inside the guard band";
}

TEST_F(Camera, BoxTestCullsDrawsOrClips) {
  struct Case {
    ZEVEC min, max;
    int result;
    const char* what;
  } cases[] = {
      {{-1, -1, -10}, {1, 1, -5}, 0, "behind the camera"},
      {{-1, -1, 9}, {1, 1, 11}, 1, "small, in the middle"},
      {{5, -1, 9}, {40, 1, 11}, 2, "straddling the guard band"},
      {{-1, -1, -1}, {1, 1, 1}, 2, "through the near plane"},
      {{20, -1, 9}, {25, 1, 11}, 0, "right of the view, inside the guard band"},
  };
  for (const Case& c : cases) EXPECT_EQ(ZeCameraClipTestExtents(&c.min, &c.max, nullptr), c.result) << c.what;
  ZEMTX local;
  ZeMtxSetIdentity(&local);
  local.m[3][2] = 20.0f;
  EXPECT_EQ(ZeCameraClipTestExtents(&cases[0].min, &cases[0].max, &local), 1) << "moved in front";

  // Batch point tests: OR in bits 8-13, AND in bits 0-5.
  ZEMTX vcv, vcs;
  ZeCameraGetClipMtx(&vcv, &vcs);
  ZeCameraInitClipTestVU0(&vcv, &vcs, nullptr);
  const ZEVEC4 pts[2] = {{0, 0, 10, 1}, {25, 0, 10, 1}};  // the second in the guard band only
  EXPECT_EQ(ZeCameraScreenTestPointsVU0(pts, 2), 0x0100);
  EXPECT_EQ(ZeCameraScreenTestPointsVU0(pts + 1, 1), 0x0101);
  EXPECT_EQ(ZeCameraScissorTestPointsVU0(pts, 2), 0);
  EXPECT_EQ(ZeCameraClipTestPointsVU0(pts + 1, 1), 0x0001);
}

TEST_F(Camera, TheStateStackHolds16AndRestoresWithoutPopping) {
  for (int i = 1; i <= 16; i++) {
    cam->mtx.m[3][1] = float(i);
    ZeCameraSet(cam);
    EXPECT_EQ(ZeCameraSaveState(), i);
  }
  EXPECT_EQ(ZeCameraSaveState(), 0) << "full: nothing saved";
  ZeCameraRestoreState(3);
  EXPECT_EQ(ZeCameraGetCam()->mtx.m[3][1], 3.0f);
  EXPECT_EQ(ZeCameraGetViewMtx()->m[3][1], -3.0f);
  ZeCameraRestoreState(17);
  ZeCameraRestoreState(0);
  EXPECT_EQ(ZeCameraGetCam()->mtx.m[3][1], 3.0f) << "depths outside the stack change nothing";
  ZeCameraRestoreState(16);
  EXPECT_EQ(ZeCameraGetCam()->mtx.m[3][1], 16.0f) << "restoring does not pop";
  ZeCameraClearStateBuffer();
  EXPECT_EQ(ZeCameraSaveState(), 1);
}

TEST_F(Camera, TheLockFreezesTheCullingCamera) {
  ZECAMERA a = *ZeCameraGetCam(), b = a;
  b.mtx.m[3][0] = 7.0f;
  ZeCameraLock(1);
  ZeCameraSet(&b);
  ZeCameraLock(1);
  EXPECT_EQ(ZeCameraGetCam()->mtx.m[3][0], 0.0f) << "the first capture is applied again";
  ZeCameraUnlock();
  EXPECT_EQ(ZeCameraGetCam()->mtx.m[3][0], 7.0f) << "the live view comes back";
  ZeCameraLock(0);
  ZeCameraSet(&a);
  ZeCameraUnlock();
  EXPECT_EQ(ZeCameraGetCam()->mtx.m[3][0], 0.0f) << "unlocked: nothing happens";

  ZECAMERAREFLECT r = {};
  r.word = 42;
  r.mtx[0].m[1][1] = 3.0f;
  ZeCameraSetReflect(&b, &r);
  EXPECT_EQ(r.word, 42);
  EXPECT_EQ(r.mtx[0].m[1][1], 3.0f);
  EXPECT_TRUE(SameMtx(&r.mtx[1], ZeCameraGetVPCMtx()));

  ZEVEC ray;
  ZeCameraRayCast(&ray, 1.0f, 0.0f);
  float xr, yr;
  ZeCameraGetClippingRatios(&xr, &yr);
  EXPECT_EQ(ray.x, xr);
  EXPECT_EQ(ray.z, 1.0f);
}
