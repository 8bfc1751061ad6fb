// Prelighting and fractal noise: the light model's edge cases, the light
// choice, live editing, packing with its checks, the "LIFE" block, noise
// and the cube root.
#include "ze3d_test.h"
#include "zefile_testutil.h"

#include <cmath>
#include <cstring>
#include <set>

namespace {

ZEPRELIGHTSURFACE Plain() {
  ZEPRELIGHTSURFACE s;
  memset(&s, 0, sizeof s);
  s.diffuse = 1.0f;
  s.base = {1, 1, 1};
  s.ambient = {0.5f, 0.25f, 1.0f};
  return s;
}

ZEPRELIGHTLIGHT Light(int type, ZEVEC dirOrPos, int falloff = 0, float intensity = 1.0f) {
  ZEPRELIGHTLIGHT l;
  memset(&l, 0, sizeof l);
  l.type = type;
  l.direction = dirOrPos;
  l.position = dirOrPos;
  l.colour = {1, 1, 1};
  l.intensity = intensity;
  l.falloff = uint8_t(falloff);
  return l;
}

ZEMTX Identity() {
  ZEMTX m;
  ZeMtxSetIdentity(&m);
  return m;
}

// A scene of nv vertices in a row along x, all normals +y, owned by one
// object that one instance places with the identity; one colour block
// covers them all (stride 2, the vertex index last).
struct Scene {
  EeBuf mem{1 << 20, 0};
  size_t used = 0;
  ZEPRELIGHTDATA* d;
  ZEPRELIGHTCOLOURBLOCK* block;
  int32_t* entries;
  ZECOLOUR32* colours;

  template <class T>
  T* Take(size_t n) {
    used = (used + 15) & ~size_t(15);
    T* p = reinterpret_cast<T*>(mem.p + used);
    used += sizeof(T) * n;
    return p;
  }

  explicit Scene(int nv, std::vector<ZEPRELIGHTLIGHT> set0 = {}, std::vector<ZEPRELIGHTLIGHT> set1 = {}) {
    d = Take<ZEPRELIGHTDATA>(1);
    memset(d, 0, sizeof *d);
    d->nverts = nv;
    ZEPRELIGHTVERTEX* v = Take<ZEPRELIGHTVERTEX>(nv);
    for (int i = 0; i < nv; i++) {
      v[i] = {};
      v[i].position = {float(i) * 0.25f, 0, float(i % 7) * 0.5f};
      v[i].normal = {0, 1, 0};
      v[i].colour = 0xff7f7f7f;
    }
    d->verts = v;
    d->nobjects = 1;
    int32_t* starts = Take<int32_t>(2);
    starts[0] = 0;
    starts[1] = nv;
    d->starts = starts;
    block = reinterpret_cast<ZEPRELIGHTCOLOURBLOCK*>(Take<uint8_t>(8 + 8 * nv + 8));
    colours = Take<ZECOLOUR32>(nv);
    block->colours = colours;
    block->count = nv;
    entries = reinterpret_cast<int32_t*>(block + 1);
    for (int i = 0; i < nv; i++) {
      entries[2 * i] = 0x7777;  // the first word of an entry is not an index
      entries[2 * i + 1] = i;
    }
    auto* end = reinterpret_cast<ZEPRELIGHTCOLOURBLOCK*>(entries + 2 * nv);
    end->colours = nullptr;
    end->count = 0;
    auto* blocks = Take<EePtr<ZEPRELIGHTCOLOURBLOCK>>(1);
    blocks[0] = block;
    d->blocks = blocks;
    std::vector<ZEPRELIGHTLIGHT>* sets[2] = {&set0, &set1};
    d->nsets = 2;
    for (int s = 0; s < 2; s++) {
      ZEPRELIGHTLIGHT* l = Take<ZEPRELIGHTLIGHT>(sets[s]->size() + 1);
      std::copy(sets[s]->begin(), sets[s]->end(), l);
      d->lights[s] = l;
      d->nlights[s] = int(sets[s]->size());
    }
    d->nsurfaces = 1;
    ZEPRELIGHTSURFACE* surf = Take<ZEPRELIGHTSURFACE>(1);
    *surf = Plain();
    surf->ambient_add = {0.01f, 0.02f, 0.03f};
    d->surfaces = surf;
    d->gamma = d->brightness = 1.0f;
    d->ambient = 0.0f;
    d->ninst = 1;
    ZEGSCNINST* inst = Take<ZEGSCNINST>(1);
    *inst = {};
    inst->mtx = Identity();
    d->insts = inst;
    ZEVEC4* sphere = Take<ZEVEC4>(1);
    *sphere = {0, 0, 0, 10};
    d->spheres = sphere;
  }
};

struct Prelight : testing::Test {
  void SetUp() override {
    GenerateGammaTable(1.0f, 1.0f);
    ambient_correction = 0;
  }
  void TearDown() override { ambient_correction = 0; }
};

}  // namespace

TEST_F(Prelight, OneLightAtOneVertex) {
  const ZEPRELIGHTSURFACE s = Plain();
  const ZEMTX m = Identity();
  const ZEVEC pos = {0, 0, 0}, up = {0, 1, 0};
  const float c60 = 0.5f, s60 = 0.8660254f;
  struct Case {
    const char* name;
    ZEPRELIGHTLIGHT light;
    ZECOLOUR3 want;
  } cases[] = {
      {"point at 0.5 lights as at 1", Light(1, {0, 0.5f, 0}, 2), {1, 1, 1}},
      {"point at 1", Light(1, {0, 1, 0}, 2), {1, 1, 1}},
      {"point at 2, quadratic", Light(1, {0, 2, 0}, 2), {0.25f, 0.25f, 0.25f}},
      {"point at 2, linear", Light(1, {0, 2, 0}, 1), {0.5f, 0.5f, 0.5f}},
      {"point at 2, cubic", Light(1, {0, 2, 0}, 3), {0.125f, 0.125f, 0.125f}},
      {"point at 2, no falloff", Light(1, {0, 2, 0}, 7, 0.5f), {0.5f, 0.5f, 0.5f}},
      {"point below the surface", Light(1, {0, -2, 0}, 0), {0, 0, 0}},
      {"point at the vertex itself", Light(1, {0, 0, 0}, 2), {0, 0, 0}},
      {"directional at 60 degrees", Light(0, {s60, c60, 0}), {c60, c60, c60}},
      {"directional from behind", Light(0, {0, -1, 0}), {0, 0, 0}},
      {"ambient", Light(3, {0, -1, 0}, 0, 2.0f), {1.0f, 0.5f, 2.0f}},
      {"unknown type", Light(2, {0, 1, 0}), {0, 0, 0}},
  };
  for (const Case& k : cases) {
    ZECOLOUR3 out;
    prelight(&out, &k.light, &pos, &up, &m, &s);
    EXPECT_NEAR(out.r, k.want.r, 1e-6f) << k.name;
    EXPECT_NEAR(out.g, k.want.g, 1e-6f) << k.name;
    EXPECT_NEAR(out.b, k.want.b, 1e-6f) << k.name;
  }
  // Specular: g^(power x 10) of the specular colour.
  ZEPRELIGHTSURFACE spec = Plain();
  spec.flags = ZEPRELIGHTSURF_SPECULAR;
  spec.specular = {1, 0, 0};
  spec.specular_power = 0.2f;
  const ZEPRELIGHTLIGHT l = Light(0, {s60, c60, 0});
  ZECOLOUR3 out;
  prelight(&out, &l, &pos, &up, &m, &spec);
  EXPECT_NEAR(out.r, c60 + 0.25f, 1e-6f);
  EXPECT_NEAR(out.g, c60, 1e-6f);
}

TEST_F(Prelight, AuthoredColourBytesBlendTheSum) {
  ZEPRELIGHTSURFACE s = Plain();
  s.ambient_add = {0.4f, 0.4f, 0.4f};  // no lights: the sum is the ambient add
  const ZEMTX m = Identity();
  ZEPRELIGHTVERTEX v = {};
  v.normal = {0, 1, 0};
  v.colour = 0x12ff7f80;  // red 0x80, green 0x7f, blue 0xff
  ZECOLOUR3 out;
  EXPECT_EQ(lightVertex(0, nullptr, &v, &m, &s, &out), 0x80);
  const float u = (128 * 0.0039215686f - 0.5f) * 2.0f;
  EXPECT_NEAR(out.r, (0.4f * (1 - u) + u) * 255.0f, 1e-3f) << "0x80 moves the channel slightly towards 1";
  EXPECT_GT(out.r, 0.4f * 255.0f);
  EXPECT_NEAR(out.g, 0.4f * 254.0f, 1e-3f) << "0x7f scales it by 254/255";
  EXPECT_NEAR(out.b, 255.0f, 1e-3f);
  v.colour = 0;
  lightVertex(0, nullptr, &v, &m, &s, &out);
  EXPECT_EQ(out.r, 0.0f);
}

TEST_F(Prelight, PointLightsReachInstancesWithinRange) {
  // The instance's sphere: centre 0, radius 10; a vertex lit from +y.
  struct Case {
    const char* name;
    ZEPRELIGHTLIGHT light;
    bool lit;
  } cases[] = {
      {"point 999 beyond the sphere", Light(1, {0, 1009, 0}), true},
      {"point 1001 beyond the sphere", Light(1, {0, 1011, 0}), false},
      {"directional, any distance", Light(0, {0, 1, 0}), true},
  };
  for (const Case& k : cases) {
    Scene sc(1, {k.light});
    ZECOLOUR3 buf = {-1, -1, -1};
    const ZEPRELIGHTLIGHT* l = sc.d->lights[0];
    ZePrelightSceneToBuffer(sc.d, 1, l, 1, &buf, 2, 0);
    // Unlit, the vertex keeps the ambient add through the authored 0x7f.
    const float base = 0.01f * 2.0f * 127 * 0.0039215686f * 255.0f;
    if (k.lit)
      EXPECT_GT(buf.r, base + 1.0f) << k.name;
    else
      EXPECT_NEAR(buf.r, base, 1e-4f) << k.name;
  }
}

TEST_F(Prelight, TheLightListStopsAt1024) {
  std::vector<ZEPRELIGHTLIGHT> many(1030, Light(0, {0, 1, 0}, 0, 0.0001f));
  Scene sc(1, many);
  ZECOLOUR3 buf;
  errmsg_disabled = 0;
  ConsoleCaptureScope capture;
  ZePrelightSceneToBuffer(sc.d, 1030, sc.d->lights[0], 1, &buf, 2, 0);
  EXPECT_NE(capture.text().find("more than 1024 lights"), std::string::npos) << capture.text();
  const float f = 2.0f * 127 * 0.0039215686f * 255.0f;
  EXPECT_NEAR(buf.r, (1024 * 0.0001f + 0.01f) * f, 1e-3f);
}

TEST_F(Prelight, EditingALightLeavesTheTotalAndThePackedColours) {
  std::vector<ZEPRELIGHTLIGHT> lights = {Light(0, {0, 0.6f, 0.8f}, 0, 0.3f), Light(1, {2, 3, 1}, 1, 0.9f),
                                         Light(3, {0, 0, 0}, 0, 0.2f)};
  Scene sc(50, lights);
  ZEPRELIGHTSURFACE* surf = sc.d->surfaces;
  surf->flags = ZEPRELIGHTSURF_NOISE;
  surf->cnoise_amount = 0.5f;
  surf->cnoise_freq = 0.7f;
  surf->cnoise_octaves = 3;
  surf->bnoise_amount = 0.3f;
  surf->bnoise_freq = 1.3f;
  surf->bnoise_octaves = 3;
  surf->low = {0, 0, 1};
  surf->high = {1, 0, 0};
  ZEPRELIGHTSCENE st;
  ZePrelightSceneBegin(&st, sc.d, 2, 0);
  EXPECT_EQ(st.light, -1);
  EXPECT_EQ(ZePrelightSceneNumLights(sc.d, 0), 3);
  EXPECT_EQ(ZePrelightSceneGetLight(sc.d, 1, 0), &sc.d->lights[0][1]);
  EXPECT_EQ(ZePrelightSceneUpdateLight(&st), -1);
  EXPECT_EQ(ZePrelightSceneEndEditLight(&st), -1);
  std::vector<ZECOLOUR3> before(st.total.get(), st.total.get() + 50);
  ZePrelightSceneUpdate(&st);
  std::vector<ZECOLOUR32> packed(sc.colours, sc.colours + 50);
  EXPECT_NE(packed[3], 0u);
  EXPECT_EQ(packed[3] >> 24, 0x7fu) << "alpha halved";

  EXPECT_EQ(ZePrelightSceneBeginEditLight(&st, 1), &sc.d->lights[0][1]);
  EXPECT_EQ(ZePrelightSceneUpdateLight(&st), 0);
  for (int i = 0; i < 50; i++)
    for (int c = 0; c < 3; c++) {
      const int a = int((packed[i] >> (8 * c)) & 0xff), b = int((sc.colours[i] >> (8 * c)) & 0xff);
      EXPECT_LE(std::abs(a - b), 1) << "vertex " << i;
    }
  EXPECT_EQ(ZePrelightSceneEndEditLight(&st), 0);
  EXPECT_EQ(st.light, 1) << "the edited light stays set";
  for (int i = 0; i < 50; i++) {
    EXPECT_NEAR(st.total[i].r, before[i].r, 1e-3f);
    EXPECT_NEAR(st.total[i].g, before[i].g, 1e-3f);
    EXPECT_NEAR(st.total[i].b, before[i].b, 1e-3f);
  }

  // Gamma, brightness and ambient: the ambient becomes the correction.
  ZePrelightSceneSetGammaBrightAmbient(&st, 2.0f, 1.0f, 0.1f);
  EXPECT_EQ(ambient_correction, 25);
  float g, b, a;
  ZePrelightSceneGetGammaBrightAmbient(&st, &g, &b, &a);
  EXPECT_EQ(g, 2.0f);
  EXPECT_EQ(a, 0.1f);
  EXPECT_EQ(gamma_table[64], uint8_t(EeFtoi(float(255.0 / std::pow(255.0, 0.5) * std::pow(64.0, 0.5)))));
  ZePrelightSceneEnd(&st);
}

TEST_F(Prelight, DamagedIndicesAreRefused) {
  struct Case {
    const char* name;
    void (*damage)(Scene&);
    const char* message;
  } cases[] = {
      {"colour-block vertex index", [](Scene& s) { s.entries[2 * 3 + 1] = 4; }, "Prelight overflow."},
      {"negative vertex index", [](Scene& s) { s.entries[1] = -1; }, "Prelight overflow."},
      {"surface index", [](Scene& s) { s.d->verts[2].surface = 1; }, "Prelight overflow."},
      {"object vertex range", [](Scene& s) { s.d->starts[1] = 5; }, "Prelight overflow."},
      {"instance object", [](Scene& s) { s.d->insts[0].object = 1; }, "Prelight overflow."},
      {"light set", [](Scene& s) { s.d->nsets = 0; }, "Prelight set 0 out of range."},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Scene sc(4, {Light(0, {0, 1, 0})});
    ZEPRELIGHTSCENE st;
    k.damage(sc);
    EXPECT_HALT(
        {
          ZePrelightSceneBegin(&st, sc.d, 2, 0);
          ZePrelightSceneUpdate(&st);
        },
        k.message);
  }
}

TEST_F(Prelight, Colour3To32) {
  const ZECOLOUR3 c = {-5.0f, 127.9f, 300.0f};
  EXPECT_EQ(ZeColour3To32(&c, 0x40, 0), 0x40ff7f00u);
  EXPECT_EQ(ZeColour3To32(&c, 0x40, 1), 0x407f3f00u);
  ambient_correction = 10;
  EXPECT_EQ(ZeColour3To32(&c, 0x40, 0), 0x40ff890au) << "ambient added to every channel of a colour that is not black";
}

using LifeBlock = FileTest;

TEST_F(LifeBlock, SetsOfThreeAndNoLightsReadBackThroughTheBlockReader) {
  GenerateGammaTable(1.0f, 1.0f);
  std::vector<ZEPRELIGHTLIGHT> three = {Light(0, {0, 1, 0}), Light(1, {1, 2, 3}, 2), Light(3, {0, 0, 0})};
  Scene sc(1, three, {});
  ZEPRELIGHTSCENE st;
  ZePrelightSceneBegin(&st, sc.d, 2, 0);
  ZePrelightSceneSetGammaBrightAmbient(&st, 1.5f, 0.75f, 0.0f);
  ZEFILE w = ZeFileOpen("room.lit", 1);
  ASSERT_NE(w, 0);
  ZePrelightSceneSave(&st, w);
  ZeFileClose(w);
  ZePrelightSceneEnd(&st);

  const std::string bytes = HostFile("ROOM.LIT");
  ASSERT_EQ(bytes.size(), 224u) << "8 + 204 bytes, padded to 16";
  ZEFILE r = ZeFileOpen("room.lit", 0);
  ASSERT_EQ(ZeFileBeginBlkRead(r, ZeBlkId('L', 'I', 'F', 'E')), ZeBlkId('L', 'I', 'F', 'E'));
  EXPECT_EQ(ZeFileGetBlkSize(), 224);
  EXPECT_EQ(ZeFileReadInt(r), 2);
  for (int i = 0; i < 3; i++) EXPECT_EQ(ZeFileReadInt(r), 0);
  EXPECT_EQ(ZeFileReadInt(r), 3);
  for (int i = 0; i < 3; i++) EXPECT_EQ(ZeFileReadInt(r), 0);
  ZEPRELIGHTLIGHT back[3];
  ASSERT_EQ(ZeFileRead(r, back, sizeof back), int(sizeof back));
  EXPECT_EQ(0, memcmp(back, three.data(), sizeof back));
  EXPECT_EQ(ZeFileReadInt(r), 0);
  for (int i = 0; i < 3; i++) EXPECT_EQ(ZeFileReadInt(r), 0);
  EXPECT_EQ(ZeFileReadFloat(r), 1.5f);
  EXPECT_EQ(ZeFileReadFloat(r), 0.75f);
  EXPECT_EQ(ZeFileReadFloat(r), 0.0f);
  EXPECT_EQ(ZeFilePos(r), 8 + 204);
  ZeFileEndBlkRead(r);
  ZeFileClose(r);
}

TEST(FNoise, TablesSeedsAndTypes) {
  std::set<int> seen(zeprelit_permtab, zeprelit_permtab + 256);
  EXPECT_EQ(seen.size(), 256u) << "a permutation of 0-255";
  EXPECT_EQ(FNoiseInit(1, 4242), 1);
  EXPECT_EQ(FNoiseInit(1, 4242), 0) << "the same seed twice builds once";
  EXPECT_EQ(FNoiseInit(1, 17), 1);
  EXPECT_EQ(FNoiseInit(0, 17), 1) << "each table keeps its own seed";
  // The generator after seeding 17: a = 0, b = 17; draws 17, 51, 85 ...
  EXPECT_FLOAT_EQ(zefnoise_value[0], 1.0f - 2.0f * 17.0f / 65535.0f);
  EXPECT_FLOAT_EQ(zefnoise_value[1], 1.0f - 2.0f * 51.0f / 65535.0f);
  for (const ZEVEC& g : zefnoise_gradient) EXPECT_NEAR(std::sqrt(g.x * g.x + g.y * g.y + g.z * g.z), 1.0f, 1e-5f);
  const ZEVEC p = {0.5f, 0.5f, 0.5f};
  EXPECT_HALT(FNoiseInit(2, 1), "FNoiseInit : Invalid noise type 2");
  EXPECT_HALT(FNoise(3, &p), "FNoise : Invalid noise type 3");
}

TEST(FNoise, LatticePointsAndContinuity) {
  FNoiseInit(0, 99);
  FNoiseInit(1, 99);
  const uint8_t* P = zeprelit_permtab;
  auto hash = [&](int x, int y, int z) { return P[(x + P[(y + P[z & 255]) & 255]) & 255]; };
  for (int x = -3; x <= 3; x++)
    for (int y = -2; y <= 2; y++)
      for (int z = -2; z <= 2; z++) {
        const ZEVEC p = {float(x), float(y), float(z)};
        EXPECT_NEAR(FNoise(0, &p), zefnoise_value[hash(x, y, z)], 1e-6f) << "value noise is the lattice value";
        EXPECT_EQ(FNoise(1, &p), 0.0f) << "gradient noise is 0 on the lattice";
      }
  // Crossing lattice planes (negative coordinates included) the noise has
  // no jump, and between them it moves smoothly.
  for (int type = 0; type < 2; type++)
    for (float x = -3.0f; x <= 3.0f; x += 1.0f) {
      const float eps = 1e-4f;
      const ZEVEC a = {x - eps, 0.3f, -1.7f}, b = {x + eps, 0.3f, -1.7f};
      EXPECT_NEAR(FNoise(type, &a), FNoise(type, &b), 2e-3f) << "type " << type << " at x " << x;
      const ZEVEC c = {0.6f, x - eps, x * 0.5f + 0.25f}, d = {0.6f, x + eps, x * 0.5f + 0.25f};
      EXPECT_NEAR(FNoise(type, &c), FNoise(type, &d), 2e-3f) << "type " << type << " at y " << x;
    }
  float lo = 0, hi = 0;
  for (int i = 0; i < 2000; i++) {
    const ZEVEC p = {float(i) * 0.0137f - 9.0f, float(i % 37) * 0.11f, float(i % 13) * -0.31f};
    const float v = FNoise(1, &p);
    lo = std::fmin(lo, v);
    hi = std::fmax(hi, v);
  }
  EXPECT_LT(lo, -0.1f);
  EXPECT_GT(hi, 0.1f);
  EXPECT_LT(std::fmax(-lo, hi), 1.5f);
}

TEST(FNoise, CubeRootAgainstCbrt) {
  double worst = 0;
  for (float x = 1e-30f; x < 1e30f; x *= 1.0137f) {
    const double want = std::cbrt(double(x));
    worst = std::fmax(worst, std::fabs(double(CubeRoot(x)) - want) / want);
  }
  RecordProperty("max_relative_error", std::to_string(worst));
  printf("CubeRoot: largest relative error %.3g over 1e-30 .. 1e30\n", worst);
  EXPECT_LT(worst, 1e-6);
  EXPECT_EQ(CubeRoot(0.0f), 0.0f);
  EXPECT_NEAR(CubeRoot(-27.0f), -3.0f, 1e-3f);
  EXPECT_NEAR(CubeRoot(8.0f), 2.0f, 1e-3f);
}
