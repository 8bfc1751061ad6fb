// Portal visibility on hand-built rooms: room search, the walk with its
// narrowing, the depth limit, the frustum arena, and the sphere and box
// tests against a plain reference.
#include "ze3d_test.h"

#include <cmath>
#include <random>
#include <vector>

namespace {

// A portal set built by hand in EE memory (the records hold 4-byte pointers).
struct World {
  struct RoomDef {
    std::vector<ZEVEC4> planes;
    std::vector<int16_t> insts, portals;
  };
  struct PortalDef {
    std::vector<ZEVEC> corners;
    ZEVEC4 plane;
    int a, b, key;
  };
  std::vector<RoomDef> rooms;
  std::vector<PortalDef> portals;
  std::vector<ZEVEC4> spheres;  // one per instance
  std::vector<uint32_t> instFlags;
  uint8_t* mem = nullptr;
  size_t used = 0;
  ZEPORTALSET* set = nullptr;

  ~World() { EeFree(mem); }

  template <class T>
  T* Take(size_t n) {
    used = (used + 15) & ~size_t(15);
    T* p = reinterpret_cast<T*>(mem + used);
    used += sizeof(T) * (n ? n : 1);
    if (used > 256 * 1024) abort();
    return p;
  }

  // An axis-aligned box room, planes facing outwards.
  int Box(ZEVEC lo, ZEVEC hi) {
    RoomDef r;
    r.planes = {{1, 0, 0, -hi.x}, {-1, 0, 0, lo.x}, {0, 1, 0, -hi.y},
                {0, -1, 0, lo.y}, {0, 0, 1, -hi.z}, {0, 0, -1, lo.z}};
    rooms.push_back(r);
    return int(rooms.size()) - 1;
  }
  // A portal joining rooms a and b whose plane has a behind it.
  int Portal(int a, int b, std::vector<ZEVEC> corners, ZEVEC4 plane, int key = 0) {
    portals.push_back({corners, plane, a, b, key});
    const int i = int(portals.size()) - 1;
    rooms[a].portals.push_back(int16_t(i));
    rooms[b].portals.push_back(int16_t(i));
    return i;
  }
  // A regular n-gon of radius r in the plane z = z0 (normal +z).
  int PortalAtZ(int a, int b, float z0, int n = 4, float r = 1.0f) {
    std::vector<ZEVEC> c;
    for (int i = 0; i < n; i++) {
      const float t = 6.2831853f * (float(i) + 0.5f) / float(n);
      c.push_back({r * std::cos(t), r * std::sin(t), z0});
    }
    return Portal(a, b, c, {0, 0, 1, -z0});
  }
  int Instance(int room, ZEVEC4 sphere, uint32_t flags = 0) {
    spheres.push_back(sphere);
    instFlags.push_back(flags);
    rooms[room].insts.push_back(int16_t(spheres.size() - 1));
    return int(spheres.size()) - 1;
  }

  ZEPORTALSET* Build() {
    mem = static_cast<uint8_t*>(EeMalloc(256 * 1024));
    set = Take<ZEPORTALSET>(1);
    *set = {};
    const int ni = int(spheres.size());
    set->ninst = ni;
    set->insts = Take<ZEGSCNINST>(ni);
    set->spheres = Take<ZEVEC4>(ni);
    set->boxes = Take<ZEVEC4>(2 * ni);
    for (int i = 0; i < ni; i++) {
      ZEGSCNINST& inst = set->insts[i];
      inst = {};
      inst.flags = instFlags[i];
      const ZEVEC4 s = spheres[i];
      set->spheres[i] = s;
      // The box inside the sphere's cube.
      set->boxes[2 * i] = {s.x - s.w, s.y - s.w, s.z - s.w, 0};
      set->boxes[2 * i + 1] = {s.x + s.w, s.y + s.w, s.z + s.w, 0};
    }
    set->nbounds = set->nbounds2 = ni ? ni : 1;
    set->nportals = int(portals.size());
    set->portals = Take<ZEPORTAL>(portals.size());
    for (size_t i = 0; i < portals.size(); i++) {
      ZEPORTAL& p = set->portals[i];
      p = {};
      p.plane = portals[i].plane;
      ZEVEC* v = Take<ZEVEC>(portals[i].corners.size());
      for (size_t k = 0; k < portals[i].corners.size(); k++) v[k] = portals[i].corners[k];
      p.vertices = v;
      p.nvertices = int16_t(portals[i].corners.size());
      p.rooma = int16_t(portals[i].a);
      p.roomb = int16_t(portals[i].b);
      p.key = int8_t(portals[i].key);
    }
    set->nrooms = int(rooms.size());
    set->rooms = Take<ZEROOM>(rooms.size());
    for (size_t i = 0; i < rooms.size(); i++) {
      ZEROOM& r = set->rooms[i];
      const RoomDef& d = rooms[i];
      ZEVEC4* pl = Take<ZEVEC4>(d.planes.size());
      std::copy(d.planes.begin(), d.planes.end(), pl);
      int16_t* in = Take<int16_t>(d.insts.size());
      std::copy(d.insts.begin(), d.insts.end(), in);
      int16_t* po = Take<int16_t>(d.portals.size());
      std::copy(d.portals.begin(), d.portals.end(), po);
      r.planes = pl;
      r.instances = in;
      r.portals = po;
      r.nplanes = uint8_t(d.planes.size());
      r.ninstances = int16_t(d.insts.size());
      r.nportals = uint8_t(d.portals.size());
    }
    set->maxdepth = ZEPORTAL_DEFAULT_DEPTH;
    set->camroom = -1;
    return set;
  }
  bool Seen(int i) const { return (set->insts[i].flags & ZEGSCNINST_SEEN) != 0; }
  std::vector<int> FrustumRooms() const {
    std::vector<int> out;
    for (int i = 0; i < set->nfrustra; i++) out.push_back(set->frustra[i]->room);
    return out;
  }
};

struct Portals : testing::Test {
  ZECAMERA* cam = nullptr;
  void SetUp() override {
    ZeTrigInit();
    PS2_REZ_W = 640;
    PS2_REZ_H = 224;
    ZeVpInit();
    cam = ZeCameraCreate();
    Look({0, 0, 0});
    ZePortalInit();
  }
  void TearDown() override {
    ZePortalEnabled(1);
    ZePortalInit();
    ZeCameraDestroy(cam);
  }
  // The camera at p looking down +z.
  void Look(ZEVEC p) {
    ZeMtxSetIdentity(&cam->mtx);
    cam->mtx.m[3][0] = p.x;
    cam->mtx.m[3][1] = p.y;
    cam->mtx.m[3][2] = p.z;
    ZeCameraSet(cam);
  }
  int Run(ZEPORTALSET* s) {
    ZePortalInit();
    return ZePortalVisibility(s);
  }
};

// Room 0 holds the camera (z -5..5), room 1 lies beyond a square opening
// of half-width 1 at z = 5.
struct TwoRooms {
  World w;
  int r0, r1, p, near0, behind0, through, beside;
  TwoRooms() {
    r0 = w.Box({-5, -5, -5}, {5, 5, 5});
    r1 = w.Box({-5, -5, 5}, {5, 5, 15});
    p = w.PortalAtZ(r0, r1, 5.0f, 4, 1.4142135f);  // corners at (+-1, +-1)
    near0 = w.Instance(r0, {0, 0, 2, 0.5f});
    behind0 = w.Instance(r0, {0, 0, -3, 0.5f});  // behind the camera, in its room
    through = w.Instance(r1, {0, 0, 10, 0.5f});   // seen through the opening
    beside = w.Instance(r1, {4, 0, 10, 0.5f});    // hidden by the wall
    w.Build();
  }
};

}  // namespace

TEST_F(Portals, RoomSearch) {
  World w;
  const int a = w.Box({-5, -5, -5}, {5, 5, 6});   // overlaps b in z 4..6
  const int b = w.Box({-5, -5, 4}, {5, 5, 15});
  const int c = w.Box({20, -5, -5}, {30, 5, 5});  // overlaps d, no shared portal
  const int d = w.Box({25, -5, -5}, {35, 5, 5});
  w.PortalAtZ(a, b, 5.0f);
  ZEPORTALSET* s = w.Build();
  struct Case {
    const char* name;
    ZEVEC point;
    int room;
  } cases[] = {
      {"inside one room", {0, 0, 0}, a},
      {"on a room's plane", {-5, 0, 0}, a},
      {"overlap, behind the portal plane", {0, 0, 4.5f}, a},
      {"overlap, in front of the portal plane", {0, 0, 5.5f}, b},
      {"overlap, on the portal plane", {0, 0, 5.0f}, b},
      {"overlap without a shared portal", {27, 0, 0}, -1},
      {"only the second of a pair", {32, 0, 0}, d},
      {"in no room", {0, 100, 0}, -1},
  };
  for (const Case& k : cases) EXPECT_EQ(ZePortalWhichRoom(s, &k.point), k.room) << k.name;
  (void)c;
  const ZEVEC onPlane = {5, 0, 0};
  EXPECT_EQ(ZeRoomContainsPoint(&s->rooms[a], &onPlane), 1) << "distance 0 is inside";
  ZEROOM empty = {};
  const ZEVEC far = {1e6f, -1e6f, 3};
  EXPECT_EQ(ZeRoomContainsPoint(&empty, &far), 1) << "a room without planes holds every point";
}

TEST_F(Portals, TheWalkMarksWhatTheOpeningShows) {
  TwoRooms t;
  ZEPORTALSET* s = t.w.set;
  for (int i = 0; i < s->ninst; i++) s->insts[i].flags = ZEGSCNINST_SEEN;  // stale marks are cleared
  ASSERT_EQ(Run(s), 1);
  EXPECT_EQ(s->camroom, t.r0);
  EXPECT_TRUE(t.w.Seen(t.near0));
  EXPECT_TRUE(t.w.Seen(t.behind0)) << "every instance of the camera's room is seen";
  EXPECT_TRUE(t.w.Seen(t.through));
  EXPECT_FALSE(t.w.Seen(t.beside));
  // The root and the opening's frustum: the portal back is never followed.
  EXPECT_EQ(t.w.FrustumRooms(), (std::vector<int>{-2, t.r1}));

  const ZEVEC centre = {0, 0, -3};
  EXPECT_EQ(ZePortalClipTest(s, &centre, t.r0, 0.1f), 1) << "the camera's room needs no test";
  const ZEVEC inView = {0, 0, 10}, hidden = {4, 0, 10}, edge = {1.8f, 0, 10};
  EXPECT_EQ(ZePortalClipTest(s, &inView, t.r1, 0.5f), 1);
  EXPECT_EQ(ZePortalClipTest(s, &hidden, t.r1, 0.5f), 0);
  EXPECT_EQ(ZePortalClipTest(s, &edge, t.r1, 0.5f), 2);
  EXPECT_EQ(ZePortalRoomClipTest(s, t.r1), 1);
  EXPECT_EQ(ZePortalRoomClipTest(s, 7), 0);
  EXPECT_EQ(ZePortalRoomClipTest(nullptr, 7), 1);
  EXPECT_HALT(ZeFrustrumEnd(), "Error freeing frustrum memory.");
  ZePortalInit();
  ZeFrustrumEnd();
}

TEST_F(Portals, SwitchOffCameraOutsideAndEmptySets) {
  TwoRooms t;
  ZEPORTALSET* s = t.w.set;
  EXPECT_EQ(ZePortalEnabled(0), 1);
  EXPECT_EQ(Run(s), 0);
  for (int i = 0; i < s->ninst; i++) EXPECT_TRUE(t.w.Seen(i)) << "switch off: everything is seen";
  EXPECT_EQ(ZePortalEnabled(1), 0);

  Look({0, 100, 0});
  EXPECT_EQ(Run(s), 0);
  EXPECT_EQ(s->camroom, -1);
  for (int i = 0; i < s->ninst; i++) EXPECT_FALSE(t.w.Seen(i)) << "outside every room nothing is seen";

  Look({0, 0, 0});
  const int nb = s->nbounds2;
  s->nbounds2 = 0;
  EXPECT_EQ(Run(s), 0) << "no instance bounds";
  s->nbounds2 = nb;
  EXPECT_EQ(Run(s), 1);
}

TEST_F(Portals, AlwaysAndAnimatedInstancesAreSeenWithoutATest) {
  World w;
  const int r0 = w.Box({-5, -5, -5}, {5, 5, 5});
  const int r1 = w.Box({-5, -5, 5}, {5, 5, 15});
  w.PortalAtZ(r0, r1, 5.0f);
  const int always = w.Instance(r1, {40, 0, 10, 0.5f}, ZEGSCNINST_ALWAYS);
  const int animated = w.Instance(r1, {-40, 0, 10, 0.5f});
  const int plain = w.Instance(r1, {40, 0, 11, 0.5f});
  ZEPORTALSET* s = w.Build();
  s->insts[animated].anim = reinterpret_cast<ZEGSCNINSTANIM*>(s->insts.get());  // any record
  ASSERT_EQ(Run(s), 1);
  EXPECT_TRUE(w.Seen(always));
  EXPECT_TRUE(w.Seen(animated));
  EXPECT_FALSE(w.Seen(plain));
}

TEST_F(Portals, AStraddlingPortalHandsTheViewToTheNextRoom) {
  World w;
  const int r0 = w.Box({-5, -1, -5}, {5, 5, 5});
  const int r1 = w.Box({-5, -5, -5}, {5, -1, 5});  // below the floor
  // A hole in the floor reaching from behind the camera to in front of it.
  w.Portal(r0, r1, {{-3, -1, -1}, {3, -1, -1}, {3, -1, 3}, {-3, -1, 3}}, {0, -1, 0, -1});
  const int below = w.Instance(r1, {0, -2, 8, 0.5f});
  ZEPORTALSET* s = w.Build();
  ASSERT_EQ(Run(s), 1);
  // No new frustum: the root itself now names the room below.
  EXPECT_EQ(w.FrustumRooms(), (std::vector<int>{r1}));
  EXPECT_TRUE(w.Seen(below));
  const ZEVEC c = {0, -2, 8};
  EXPECT_EQ(ZePortalClipTest(s, &c, r1, 0.5f), 1);
  EXPECT_EQ(ZePortalRoomClipTest(s, r1), 1);
}

TEST_F(Portals, ACycleIsWalkedUntilTheDepthLimit) {
  // Rooms A (the camera's), B and C joined A-B, B-C, C-A by openings that
  // all stay in view: the walk goes round both ways, one frustum a level.
  World w;
  const int a = w.Box({-5, -5, -5}, {5, 5, 4});
  const int b = w.Box({-5, -5, 100}, {5, 5, 110});
  const int c = w.Box({-5, -5, 200}, {5, 5, 210});
  w.PortalAtZ(a, b, 5.0f);
  w.PortalAtZ(b, c, 6.0f);
  w.PortalAtZ(c, a, 7.0f);
  ZEPORTALSET* s = w.Build();
  struct Case {
    int depth;
    std::vector<int> rooms;
  } cases[] = {
      {0, {-2}},
      {1, {-2, b, c}},
      {2, {-2, b, c, c, b}},
      {4, {-2, b, c, a, b, c, b, a, c}},
      {7, {-2, b, c, a, b, c, a, b, c, b, a, c, b, a, c}},  // 15 frusta: the most a pass may have
  };
  for (const Case& k : cases) {
    ZePortalMaxDepth(s, k.depth);
    ASSERT_EQ(Run(s), 1);
    EXPECT_EQ(w.FrustumRooms(), k.rooms) << "depth " << k.depth;
  }
  ZePortalMaxDepth(s, 8);
  EXPECT_HALT(Run(s), "Portal max frustra exceeded.");
}

TEST_F(Portals, FifteenFrustaOfEightPlanesFitTheArena) {
  // A straight run of rooms behind octagonal openings, each seen whole
  // through the one before: the root and 14 frusta of 8 planes.
  World w;
  std::vector<int> r;
  r.push_back(w.Box({-5, -5, -5}, {5, 5, 4}));
  for (int i = 1; i < 16; i++) r.push_back(w.Box({100, -5, 0}, {110, 5, 10}));
  // Each opening 1.15 times farther than the one before: seen whole.
  float z = 5.0f;
  for (int i = 0; i < 15; i++, z *= 1.15f) w.PortalAtZ(r[i], r[i + 1], z, 8);
  ZEPORTALSET* s = w.Build();
  s->nportals = 14;  // the 15th opening is not yet part of the set
  s->rooms[14].nportals = 1;
  ASSERT_EQ(Run(s), 1);
  ASSERT_EQ(s->nfrustra, 15);
  for (int i = 1; i < 15; i++) EXPECT_EQ(s->frustra[i]->nplanes, 8);
  EXPECT_EQ(s->frustra[14]->room, 14);
  // With the 15th opening a 16th frustum is asked for.
  s->nportals = 15;
  s->rooms[14].nportals = 2;
  EXPECT_HALT(Run(s), "Portal max frustra exceeded.");
  // Outside a pass the arena's own end is the limit.
  ZePortalInit();
  EXPECT_HALT(
      {
        for (int i = 0; i < 16; i++) ZeFrustrumAllocate(8);
      },
      "Portal frustrum stack overflow.");
}

TEST_F(Portals, DamagedSetsAreRefused) {
  struct Case {
    const char* name;
    void (*damage)(ZEPORTALSET*);
    const char* message;
  } cases[] = {
      {"portal room", [](ZEPORTALSET* s) { s->portals[0].roomb = 9; }, "room 9 out of range"},
      {"room portal", [](ZEPORTALSET* s) { s->rooms[0].portals[0] = 3; }, "portal 3 out of range"},
      {"room instance", [](ZEPORTALSET* s) { s->rooms[1].instances[0] = -1; }, "instance -1 out of range"},
      {"bounds", [](ZEPORTALSET* s) { s->nbounds = 2; }, "instance bounds 2 out of range"},
      {"polygon", [](ZEPORTALSET* s) { s->portals[0].nvertices = 2; }, "portal 0 has no polygon"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    TwoRooms t;
    k.damage(t.w.set);
    EXPECT_HALT(Run(t.w.set), k.message);
  }
}

TEST_F(Portals, ActiveKeys) {
  World w;
  const int a = w.Box({-5, -5, -5}, {5, 5, 5});
  const int b = w.Box({-5, -5, 5}, {5, 5, 15});
  w.portals.push_back({{{0, 0, 5}, {1, 0, 5}, {0, 1, 5}}, {0, 0, 1, -5}, a, b, 3});
  w.portals.push_back({{{0, 0, 5}, {1, 0, 5}, {0, 1, 5}}, {0, 0, 1, -5}, a, b, 4});
  ZEPORTALSET* s = w.Build();
  ZePortalResetActive(s);
  EXPECT_EQ(s->portals[0].flags, 3u);
  ZePortalSetActive(s, 3, 0);
  EXPECT_EQ(s->portals[0].flags, 0u);
  EXPECT_EQ(s->portals[1].flags, 3u);
  ZePortalSetActive(s, 3, 1);
  EXPECT_EQ(s->portals[0].flags, 1u);
}

TEST(PortalTests, SphereAndBoxAgainstAPlainReference) {
  std::mt19937 rng(117);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  auto plane = [&] {
    ZEVEC n = {u(rng), u(rng), u(rng)};
    ZeVecNorm(&n, &n);
    return ZEVEC4{n.x, n.y, n.z, 2.0f * u(rng)};
  };
  int sphereSeen[3] = {}, boxSeen[3] = {};
  for (int t = 0; t < 4000; t++) {
    const int n = 1 + t % 8;
    ZEVEC4 planes[8];
    for (int k = 0; k < n; k++) planes[k] = plane();
    // Packed as the pass packs them, the spare columns repeating plane 0.
    ZEMTX packed[2];
    for (int k = 0; k < 8; k++) {
      const ZEVEC4& p = planes[k < n ? k : 0];
      packed[k / 4].m[0][k % 4] = p.x;
      packed[k / 4].m[1][k % 4] = p.y;
      packed[k / 4].m[2][k % 4] = p.z;
      packed[k / 4].m[3][k % 4] = p.w;
    }
    const ZEVEC4 sphere = {u(rng), u(rng), u(rng), 0.8f * std::fabs(u(rng))};
    int want = 1;
    for (int k = 0; k < n; k++) {
      const double e = double(planes[k].x) * sphere.x + double(planes[k].y) * sphere.y +
                       double(planes[k].z) * sphere.z + planes[k].w;
      if (e < -sphere.w) want = 0;
      if (want && !(e > sphere.w)) want = 2;
    }
    if (want == 0 || want == 2) {
      // Re-evaluate plainly: outside wins over crossing.
      bool out = false, cross = false;
      for (int k = 0; k < n; k++) {
        const double e = double(planes[k].x) * sphere.x + double(planes[k].y) * sphere.y +
                         double(planes[k].z) * sphere.z + planes[k].w;
        out |= e < -sphere.w;
        cross |= !(e > sphere.w);
      }
      want = out ? 0 : cross ? 2 : 1;
    }
    const int got = ZePortalClipVU0(&sphere, packed);
    ASSERT_EQ(got, want) << "sphere case " << t;
    sphereSeen[got]++;

    // The box against the same planes: its extreme corners decide.
    ZEVEC4 lo = {u(rng), u(rng), u(rng), 0}, hi = lo;
    hi.x += 0.6f * std::fabs(u(rng));
    hi.y += 0.6f * std::fabs(u(rng));
    hi.z += 0.6f * std::fabs(u(rng));
    int bwant = 1;
    for (int k = 0; k < n; k++) {
      const ZEVEC4& p = planes[k];
      const double mx = p.x * double(p.x > 0 ? hi.x : lo.x) + p.y * double(p.y > 0 ? hi.y : lo.y) +
                        p.z * double(p.z > 0 ? hi.z : lo.z) + p.w;
      const double mn = p.x * double(p.x > 0 ? lo.x : hi.x) + p.y * double(p.y > 0 ? lo.y : hi.y) +
                        p.z * double(p.z > 0 ? lo.z : hi.z) + p.w;
      if (mx < 0) {
        bwant = 0;
        break;
      }
      if (!(mn > 0)) bwant = 2;
    }
    const int bgot = ZePortalBoxClipVU0(planes, &lo, &hi, n);
    ASSERT_EQ(bgot, bwant) << "box case " << t;
    boxSeen[bgot]++;
  }
  for (int r = 0; r < 3; r++) {
    EXPECT_GT(sphereSeen[r], 100) << "sphere result " << r;
    EXPECT_GT(boxSeen[r], 100) << "box result " << r;
  }
}
