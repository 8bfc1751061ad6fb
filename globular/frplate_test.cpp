// Plates and levels on plates: residency, fades, release, ranking, the
// visibility list, the geometry table and its rebuild; level capture,
// remaps, transient levels, time of day and conversions.
#include "planet_fixture.h"

#include <cmath>
#include <fstream>

namespace {

using Plates = PlanetWorld;

std::vector<int> Order() {
  std::vector<int> ids;
  for (int i = 0; i < plate_array_size; i++) ids.push_back(plate_array[i]->id);
  return ids;
}

TEST_F(Plates, ResidencyFadesAndRelease) {
  FRPLATE* p = FrPlateFind(5, 1);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(FrPlateFind(5, 0), p);
  EXPECT_EQ(FrPlateSearch(5), p);
  EXPECT_EQ(p->flags, FRPLATE_SHOWN | FRPLATE_RESIDENT);
  EXPECT_EQ(p->fade, 0.0f);
  EXPECT_EQ(p->frame->parent, planet.frame);
  // The planet centre in the plate's frame lies one radius below it.
  EXPECT_NEAR(ZeVecMag(&p->centre), 11000.0f * 0.98f, 11000.0f * 0.03f);
  p->refs = 1;
  FrPlateUpdate(0);
  EXPECT_FLOAT_EQ(p->fade, 0.002f);
  FrPlateUpdate(1);
  EXPECT_EQ(p->fade, 1.0f);
  // Unreferenced: fades out, but is freed as soon as no pass uses it.
  p->refs = 0;
  p->use[FRPASS_PLATE] = 2;
  FrPlateUpdate(0);
  EXPECT_FLOAT_EQ(p->fade, 0.99f);
  EXPECT_EQ(p->use[FRPASS_PLATE], 1);
  FrPlateUpdate(0);
  EXPECT_EQ(FrPlateCount(), 1);
  FrPlateUpdate(0);
  EXPECT_EQ(FrPlateCount(), 0);
  EXPECT_EQ(plate_ref[5], 0);
  EXPECT_EQ(FrPlateFind(5, 0), nullptr);
}

TEST_F(Plates, WithoutAsynchronousReadsAResidentPlateIsAtOnceFadedIn) {
  asyncfileload = 0;
  FRPLATE* p = FrPlateFind(9, 1);
  EXPECT_EQ(p->fade, 1.0f);
  p->refs = 1;
  p->fade = 0.5f;
  FrPlateUpdate(0);
  EXPECT_EQ(p->fade, 1.0f);
}

TEST_F(Plates, RankingByDistanceKeepsTheOrderOfEqualDistances) {
  const int ids[] = {40, 10, 30, 20};
  for (int id : ids) FrPlateFind(id, 1)->refs = 1;
  Camera(Above(10, 11100));
  FrPlateUpdate(0);
  // Bounds centres at the viewer plus a chosen distance.
  struct Case {
    float d[4];
    std::vector<int> order;
  } cases[] = {
      {{0, 0, 0, 0}, {}},  // ties: the order of the previous frame
      {{4, 1, 3, 2}, {10, 20, 30, 40}},
      {{1, 1, 1, 1}, {10, 20, 30, 40}},
      {{1, 2, 1, 0}, {20, 30, 40, 10}},
  };
  for (const Case& c : cases) {
    std::vector<int> before = Order();
    for (int i = 0; i < 4; i++) {
      FRPLATE* p = FrPlateFind(ids[i], 0);
      p->bcentre = p->viewer;
      p->bcentre.x += c.d[i];
    }
    FrPlateUpdate(0);
    EXPECT_EQ(Order(), c.order.empty() ? before : c.order);
    for (int i = 0; i < plate_array_size; i++) EXPECT_EQ(plate_array[i]->rank, i);
  }
}

TEST_F(Plates, VisibilityListAndIdsPastTheTable) {
  FRPLATE* p = FrPlateFind(3, 1);
  const int ids[] = {3, 7};
  FrPlateApplyPVS(ids, 2);
  EXPECT_GE(plate_ref[3], 0);
  EXPECT_EQ(plate_ref[7], 0);
  EXPECT_LT(plate_ref[4], 0);
  EXPECT_EQ(FrPlateFind(3, 0), p);
  FrPlateApplyPVS(nullptr, 0);
  for (int r : plate_ref) ASSERT_GE(r, 0);
  // An id past the 1,536-word table is refused before anything is written.
  const int bad[] = {2, 1536};
  EXPECT_HALT(FrPlateApplyPVS(bad, 2), "FrPlateApplyPVS: plate 1536 out of range");
  for (int r : plate_ref) ASSERT_GE(r, 0);
  EXPECT_HALT(FrPlateFind(4000, 1), "plate 4000 out of range");
  EXPECT_HALT(FrPlateFind(-1, 0), "out of range");
  ZEVEC zero{0, 0, 0};
  EXPECT_HALT(GBLevRegisterLevel(1600, &zero, 0, nullptr, 10), "GBLevRegister : Plate 1600 out of range");
  EXPECT_EQ(FrPlateCount(), 1);  // nothing loaded for the bad id
  EXPECT_HALT(FrPlateAlloc(3), "assert");
}

TEST_F(Plates, FullPoolsAndLevelErrors) {
  ZEVEC zero{0, 0, 0};
  for (int i = 0; i < FRLEVEL_POOL; i++) EXPECT_EQ(GBLevRegisterLevel(i, &zero, 0, nullptr, 10), 1);
  EXPECT_HALT(GBLevRegisterLevel(100, &zero, 0, nullptr, 10), "no level record free for plate 100");
  EXPECT_HALT(GBLevRegisterLevel(3, &zero, 0, nullptr, 10), "GBLevRegister : Plate 3 alread has registered level");
  EXPECT_HALT(GBLevReleaseLevel(200), "assert");  // not resident
  FrPlateFind(200, 1);
  EXPECT_HALT(GBLevReleaseLevel(200), "GBLevRelease : Plate 200 has no registered level");
  EXPECT_EQ(GBLevReleaseLevel(3), 0);
  EXPECT_EQ(FrLevelCount(), FRLEVEL_POOL - 1);
}

TEST_F(Plates, FullPlatePool) {
  ZEVEC zero{0, 0, 0};
  for (int id = 300; FrPlateCount() < FRPLATE_POOL; id++) ASSERT_NE(FrPlateFind(id, 1), nullptr);
  EXPECT_EQ(FrPlateAlloc(1000), nullptr);
  EXPECT_EQ(FrPlateFind(1000, 1), nullptr);
  EXPECT_HALT(GBLevRegisterLevel(1000, &zero, 0, nullptr, 10), "no plate record free for plate 1000");
}

// ---- the geometry table ----

std::vector<uint8_t> PatchRecords(int n) {
  std::vector<uint8_t> out(size_t(n) * FRPLATE_PATCHRECORD);
  for (size_t i = 0; i < out.size(); i += 4) {
    float f = float(i % 9973) * 0.25f;
    memcpy(&out[i], &f, 4);
  }
  return out;
}

std::vector<uint8_t> Derived(const std::vector<uint8_t>& patches, int n) {
  std::vector<uint8_t> out(size_t(n) * FRPLATE_RECORD);
  for (int i = 0; i < n; i++) {
    const uint8_t* r = &patches[size_t(i) * FRPLATE_PATCHRECORD];
    uint8_t* o = &out[size_t(i) * FRPLATE_RECORD];
    memcpy(o, r + 64, 64);
    for (int k = 0; k < 4; k++) memcpy(o + 16 * k + 12, r + 128 + 16 * k + 12, 4);
    memcpy(o + 64, r + 192, 64);
    memcpy(o + 128, r + 272, 324);
  }
  return out;
}

// The host file system keeps the engine's upper-cased names.
std::vector<uint8_t> ReadFile(std::string path) {
  if (!std::filesystem::exists(path)) {
    size_t slash = path.rfind('/');
    for (size_t i = slash + 1; i < path.size(); i++) path[i] = char(toupper(path[i]));
  }
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

TEST_F(Plates, GeometryTableRebuiltFromThePatchesAndWrittenBack) {
  const auto patches = PatchRecords(FRCUBE_PLATES);
  PlanetToolWrite(dir + "/bin/terra/patches.gb3", patches);
  char* before = pos;
  FrPlateLoadPatchData(&pos, buffer + SIZE);
  ASSERT_NE(gplt_data, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(gplt_data) & 15, 0u);
  EXPECT_LE(pos - before, FRCUBE_PLATES * FRPLATE_RECORD + 16);
  const auto want = Derived(patches, FRCUBE_PLATES);
  EXPECT_EQ(memcmp(gplt_data, want.data(), want.size()), 0);
  EXPECT_EQ(ReadFile(dir + "/bin/terra/heights.gb3"), want);
  // Loaded once; then from the written table.
  float* first = gplt_data;
  FrPlateLoadPatchData(&pos, buffer + SIZE);
  EXPECT_EQ(gplt_data, first);
  FrPlateFreePatchData();
  std::filesystem::remove(dir + "/bin/terra/patches.gb3");
  FrPlateLoadPatchData(&pos, buffer + SIZE);
  ASSERT_NE(gplt_data, nullptr);
  EXPECT_EQ(memcmp(gplt_data, want.data(), want.size()), 0);
}

TEST_F(Plates, GeometryTableFailures) {
  // Neither file: no table at all.
  FrPlateLoadPatchData(&pos, buffer + SIZE);
  EXPECT_EQ(gplt_data, nullptr);
  // No room for the patch record the rebuild reads beyond the table.
  PlanetToolWrite(dir + "/bin/terra/patches.gb3", PatchRecords(FRCUBE_PLATES));
  char* end = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(pos) + 15) & ~uintptr_t(15)) +
              FRCUBE_PLATES * FRPLATE_RECORD + 100;
  char* p = pos;
  EXPECT_HALT(FrPlateLoadPatchData(&p, end), "assert");
  EXPECT_EQ(gplt_data, nullptr);
  // A short patches file.
  PlanetToolWrite(dir + "/bin/terra/patches.gb3", PatchRecords(FRCUBE_PLATES - 1));
  p = pos;
  EXPECT_HALT(FrPlateLoadPatchData(&p, buffer + SIZE), "assert");
  // A table that cannot be written back is still used.
  PlanetToolWrite(dir + "/bin/terra/patches.gb3", PatchRecords(FRCUBE_PLATES));
  std::filesystem::create_directories(dir + "/bin/terra/HEIGHTS.GB3");
  FrPlateLoadPatchData(&pos, buffer + SIZE);
  EXPECT_NE(gplt_data, nullptr);
}

// ---- levels ----

using Levels = PlanetWorld;

void Same(const ZEVEC& a, const ZEVEC& b, float tol = 0.05f) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

// The point p of level a's frame in level b's frame.
ZEVEC Between(int b, int a, const ZEVEC& p) {
  ZEVEC out{};
  FrameRemapPos(FrPlateFind(b, 0)->level->frame, &out, FrPlateFind(a, 0)->level->frame, &p);
  return out;
}

TEST_F(Levels, CaptureNearestFirstRegisteredOnTiesStrictRadius) {
  ZEVEC zero{0, 0, 0};
  int data[3];
  GBLevRegisterLevel(100, &zero, 1, &data[0], 50000);
  GBLevRegisterLevel(101, &zero, 1, &data[1], 50000);
  GBLevRegisterLevel(102, &zero, 1, &data[2], 10);
  GBLevSetCurrentLevel(100);
  EXPECT_EQ(GBLevGetCurrentLevel(), &data[0]);
  EXPECT_EQ(GBLevGetRemapMtx(), nullptr);  // the first level chosen: no remap
  // Near plate 101's origin: it is nearer than 100's, and 102's radius is too small.
  ZEVEC o101, o102;
  ASSERT_EQ(GBLevGetWorldOrigin(&o101, 101), 1);
  ASSERT_EQ(GBLevGetWorldOrigin(&o102, 102), 1);
  ZEVEC at = Between(100, 101, zero);
  GBLevUpdateFrame(&at);
  EXPECT_EQ(GBLevGetCurrentLevel(), &data[1]);
  ZEMTX* r = GBLevGetRemapMtx();
  ASSERT_NE(r, nullptr);
  ZEVEC moved;
  ZeVecMtxTransform(&moved, &at, r);
  Same(moved, zero, 0.05f);
  EXPECT_EQ(GBLevGetRemapMtx(), nullptr);
  // Exactly at the capture radius of 102 (10 units): not captured.
  ZEVEC edge{10, 0, 0};
  ZEVEC e101 = Between(101, 102, edge);
  FRLEVEL* l102 = FrPlateFind(102, 0)->level;
  ZEVEC w, o;
  GBLevGetWorldPos(&w, &e101);
  ZeMtxGetTranslation(&l102->frame->mtx, &o);
  l102->radius2 = ZeVecDistSqr(&w, &o, nullptr);
  GBLevUpdateFrame(&e101);
  EXPECT_NE(GBLevGetCurrentLevel(), &data[2]);
  l102->radius2 *= 1.001f;
  GBLevUpdateFrame(&e101);
  EXPECT_EQ(GBLevGetCurrentLevel(), &data[2]);
}

TEST_F(Levels, EqualDistancesGoToTheLevelRegisteredFirst) {
  ZEVEC zero{0, 0, 0};
  int a, b;
  GBLevRegisterLevel(100, &zero, 0, &a, 20000);
  GBLevRegisterLevel(101, &zero, 0, &b, 20000);
  GBLevSetCurrentLevel(101);
  // Both records at one origin: the same distance.
  FRLEVEL* la = FrPlateFind(100, 0)->level;
  FRLEVEL* lb = FrPlateFind(101, 0)->level;
  la->frame->mtx = lb->frame->mtx;
  ZEVEC p{1, 2, 3};
  GBLevUpdateFrame(&p);
  EXPECT_EQ(GBLevGetCurrentLevel(), &a);
}

TEST_F(Levels, RemapAccumulatesAcrossSwitchesUntilRead) {
  ZEVEC zero{0, 0, 0};
  GBLevRegisterLevel(10, &zero, 0, nullptr, 1);
  GBLevRegisterLevel(11, &zero, 0, nullptr, 1);
  GBLevRegisterLevel(12, &zero, 0, nullptr, 1);
  GBLevSetCurrentLevel(10);
  GBLevGetRemapMtx();
  GBLevSetCurrentLevel(11);
  GBLevSetCurrentLevel(12);
  ZEMTX* r = GBLevGetRemapMtx();
  ASSERT_NE(r, nullptr);
  ZEVEC p{5, 6, 7}, got;
  ZeVecMtxTransform(&got, &p, r);
  Same(got, Between(12, 10, p), 0.05f);
  EXPECT_EQ(GBLevGetRemapMtx(), nullptr);
  // Conversions between levels; the matrix form takes its input first.
  ZEVEC v;
  ASSERT_EQ(GBLevVecFromPlate(&v, &p, 10), 1);
  Same(v, Between(12, 10, p));
  ASSERT_EQ(GBLevVecToPlate(&v, &p, 10), 1);
  Same(v, Between(10, 12, p));
  ZEMTX m, in;
  ZeMtxSetIdentity(&in);
  ZeMtxSetTranslation(&in, &p);
  ASSERT_EQ(GBLevMtxToPlate(&in, &m, 10), 1);
  ZEVEC t;
  ZeMtxGetTranslation(&m, &t);
  Same(t, Between(10, 12, p));
  ASSERT_EQ(GBLevMtxFromPlate(&m, nullptr, 10), 1);
  ZeVecMtxTransform(&t, &p, &m);
  Same(t, Between(12, 10, p));
  EXPECT_EQ(GBLevVecFromPlate(&v, &p, 13), 0);
  EXPECT_EQ(GBLevVecFromPlate(&v, &p, 5000), 0);
  EXPECT_EQ(GBLevGetWorldPosEx(&v, 4096, &p), 0);
}

TEST_F(Levels, AtmosphereAndSpaceLevels) {
  ZEVEC zero{0, 0, 0};
  GBLevRegisterLevel(700, &zero, 1, nullptr, 100);
  GBLevSetCurrentLevel(700);
  GBLevGetRemapMtx();
  FRLEVEL* home = GBLevGetCurrent();
  // In the atmosphere, out of range: a coarse plate at depth 2.
  ZEVEC up{0, 200, 0};
  GBLevUpdateFrame(&up);
  FRLEVEL* a = GBLevGetCurrent();
  ASSERT_NE(a, home);
  EXPECT_GE(a->plate, 4096);
  EXPECT_EQ(a->frame->parent, planet.frame);
  EXPECT_TRUE(gb_lev_inatmos);
  ASSERT_NE(GBLevGetRemapMtx(), nullptr);
  // Straight up out of the atmosphere: a space level at the camera.
  ZEVEC high{0, 2000, 0};
  ZEVEC wa;
  GBLevGetWorldPos(&wa, &zero);
  ZEVEC dir;
  ZeVecNorm(&dir, &wa);
  ZEVEC out;
  ZeVecScale(&out, &dir, 11000 + 2 * 300 + 500);
  ZEVEC cam;
  FrameRemapPos(a->frame, &cam, planet.frame, &out);
  (void)high;
  GBLevUpdateFrame(&cam);
  FRLEVEL* s1 = GBLevGetCurrent();
  EXPECT_EQ(s1->plate, -1);
  EXPECT_EQ(s1->frame->parent, FrameGetRoot());
  EXPECT_FALSE(gb_lev_inatmos);
  ZEMTX* r = GBLevGetRemapMtx();
  ASSERT_NE(r, nullptr);
  ZEVEC there;
  ZeVecMtxTransform(&there, &cam, r);
  Same(there, zero, 0.1f);
  // Within 4000 units nothing changes; beyond, the other record; then the first again.
  ZEVEC near{0, 3999, 0};
  GBLevUpdateFrame(&near);
  EXPECT_EQ(GBLevGetCurrent(), s1);
  ZEVEC far{0, 4001, 0};
  GBLevUpdateFrame(&far);
  FRLEVEL* s2 = GBLevGetCurrent();
  EXPECT_NE(s2, s1);
  EXPECT_EQ(s2->plate, -1);
  GBLevUpdateFrame(&far);
  EXPECT_EQ(GBLevGetCurrent(), s1);
}

TEST_F(Levels, TimeOfDay) {
  ZEVEC p{0, 0, 0};
  // Without a level: 0, and setting changes nothing.
  EXPECT_EQ(GBLevGetTimeEx(&p, 0), 0.0f);
  planet.dayphase = 0.3f;
  GBLevSetTime(0.5f, &p);
  EXPECT_EQ(planet.dayphase, 0.3f);
  ZEVEC zero{0, 0, 0};
  GBLevRegisterLevel(900, &zero, 1, nullptr, 10);
  GBLevSetCurrentLevel(900);
  for (float t : {0.0f, 0.1f, 0.25f, 0.5f, 0.75f, 0.999f, 1.0f}) {
    GBLevSetTime(t, &p);
    float got = GBLevGetTime(&p);
    EXPECT_GT(got, 0.0f);
    EXPECT_LE(got, 1.0f);
    EXPECT_NEAR(got, t == 0.0f ? 1.0f : t, 1e-4f) << t;
  }
  // The exact point where the sum is 0 gives 1.
  ZEVEC w;
  GBLevGetWorldPos(&w, &p);
  float a = float(ZeAtan2D(w.x, w.z));
  while (a < 0) a += 65536.0f;
  planet.orbit = 0.0f;
  planet.dayphase = 1.0f - a / 65536.0f;
  if (a == 0.0f) planet.dayphase = 0.0f;
  float got = GBLevGetTimeEx(&p, 0.0f);
  EXPECT_TRUE(got == 1.0f || got < 1e-6f || got > 0.99999f);
  EXPECT_GT(got, 0.0f);
}

TEST_F(Levels, ShadowCastFallsBackToTheSeaSphere) {
  ZEVEC zero{0, 0, 0};
  GBLevRegisterLevel(400, &zero, 1, nullptr, 1000);
  GBLevSetCurrentLevel(400);
  ZEVEC cam{0, 50, 0};
  GBLevUpdateFrame(&cam);
  ZEVEC point, normal;
  float d;
  int cache[2] = {-1, -1};
  // The plate's data is still streaming: the sea-level sphere, the plate in the cache.
  EXPECT_EQ(GBLevShadowCast(&point, &d, &cam, cache, &normal), 1);
  ZEVEC w;
  GBLevGetWorldPos(&w, &cam);
  EXPECT_EQ(cache[0], FrCubeLocatePlateAccurate(&w, 4));
  EXPECT_EQ(FrCubeLocate(&w, 4), 400);
  const float R = 11000 + 300 * 0.25f;
  ZEVEC v;
  ZeVecSub(&v, &point, &gb_lev_cntr);
  EXPECT_NEAR(ZeVecMag(&v), R, 0.05f);
  EXPECT_NEAR(ZeVecMag(&normal), 1.0f, 1e-5f);
  // At the planet's centre: the level's up vector, no division by zero.
  EXPECT_EQ(GBLevShadowCast(&point, &d, &gb_lev_cntr, nullptr, &normal), 1);
  Same(normal, gb_lev_up, 1e-5f);
  EXPECT_NEAR(d, -R, 0.01f);
  EXPECT_TRUE(std::isfinite(point.x));
}

}  // namespace
