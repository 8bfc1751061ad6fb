// The surface files of the generator through the engine: round trips of
// patch blocks, heights, trees and images; cracks between neighbouring
// plates; the streaming edge cases; a scripted flight in virtual time.
#include "planet_fixture.h"
#include "planet_terra.h"
#include "textool.h"

#include <cmath>
#include <fstream>
#include <set>

namespace {

using terra::Desc;
using terra::Model;
using terra::Own;
using terra::TILED;

const SurfaceFiles& Files() {
  static const SurfaceFiles f = SurfaceBuild(Desc(), Model(), Own(), {TILED});
  return f;
}

struct Surface : PlanetWorld {
  void SetUp() override {
    PlanetWorld::SetUp();
    Files();
    SurfaceWriteAll(dir + "/bin/terra", Files());
    frsurf_frame = 0;
  }
  void TearDown() override {
    FrPlanetClose();
    for (int i = 0; i < 50 && FrSurfaceIsInit() && !FrSurfaceClose(); i++) Frame();
    FrSurfaceCloseFiles();
    FrSurfaceFreeNoise();
    PlanetWorld::TearDown();
  }
  void Start(int hidetail = 1) {
    FrPlateLoadPatchData(&pos, buffer + SIZE);
    FrSurfaceInit(&pos, buffer + SIZE, hidetail);
    FrSurfaceOpenFiles("bin");
  }
  // One frame: the main thread's updates, then the loader's turn.
  void Frame() {
    frsurf_frame++;
    FrPlateUpdate(0);
    FrSurfaceUpdate();
    AsyncFileProcess();
    BGLoadServeGbData();
    BGLoadServeCallbacks();
  }
  const uint8_t* Block(int record) { return &Files().tex[0][size_t(record) * FRSURF_PATCHBLOCK]; }
  int RecordOf(int plate) {
    for (size_t r = 0; r < Files().records.size(); r++)
      if (Files().records[r] == plate) return int(r);
    return 0;
  }
};

TEST_F(Surface, FilesComeBackThroughTheEngine) {
  // Two runs, the same bytes.
  SurfaceFiles again = SurfaceBuild(Desc(), Model(), Own(), {TILED});
  EXPECT_EQ(again.heights, Files().heights);
  EXPECT_EQ(again.patches, Files().patches);
  EXPECT_EQ(again.texndx, Files().texndx);
  for (int k = 0; k < 4; k++) {
    EXPECT_EQ(again.tex[k], Files().tex[k]);
  }
  EXPECT_EQ(again.noise, Files().noise);
  asyncfileload = 0;
  Start();
  ASSERT_NE(gplt_data, nullptr);
  EXPECT_EQ(memcmp(gplt_data, Files().heights.data(), Files().heights.size()), 0);
  // The index: own records round the tiled plate, the default valid.
  EXPECT_EQ(ndx_tab[TILED], 0);
  EXPECT_EQ(ndx_tab[Own()[1]] & FRSURF_NOTILES, FRSURF_NOTILES);
  EXPECT_EQ(ndx_tab[3], 0xffff);
  EXPECT_EQ(ndx_tab[FRSURF_DEFAULT], 0);
  for (int id : Own()) {
    FRPLATE* p = FrPlateFind(id, 1);
    p->refs = 1;
    ASSERT_TRUE(FrSurfaceInitPlateData(p));
    ASSERT_TRUE(FrSurfaceInitPatchData(p)) << id;
    const uint8_t* want = Block(RecordOf(id));
    ZEFPATCH patch;
    float heights[ZEFPATCH_HEIGHTS];
    SurfacePatch(Desc(), Model(), id, &patch, heights);
    EXPECT_EQ(memcmp(p->patch.get(), &patch, sizeof patch), 0);
    EXPECT_EQ(memcmp(p->heights.get(), heights, sizeof heights), 0);
    EXPECT_EQ(p->heights.get(), reinterpret_cast<float*>(p->patch.get() + FRSURF_HEIGHTS));
    int trees = 0;
    for (int t = 0; t < FRPLATE_TILES; t++) {
      uint32_t off;
      int32_t n;
      memcpy(&off, want + FRSURF_TREES + 8 * t, 4);
      memcpy(&n, want + FRSURF_TREES + 8 * t + 4, 4);
      EXPECT_EQ(p->trees[t].count, n);
      EXPECT_EQ(reinterpret_cast<uint8_t*>(p->trees[t].positions.get()), p->patch.get() + FRSURF_TREES + off);
      trees += n;
    }
    EXPECT_GT(trees, 0);
    // The plate texture: 3 levels pointing into the patch block, class 0's palette.
    FRSURFTEX* r = p->texture;
    ASSERT_NE(r, nullptr);
    ZETEXSLOT* s;
    ZEPS2TEX* x;
    ZeTexGetPointers(r->tid, &s, &x);
    EXPECT_EQ(x->levels, 3);
    EXPECT_EQ(s->tex.width, 128);
    uint8_t* b = p->patch;
    EXPECT_GT(reinterpret_cast<uint8_t*>(x->level_packet[0].get()), b + FRSURF_IMAGE2);
    EXPECT_LT(reinterpret_cast<uint8_t*>(x->level_packet[0].get()), b + FRSURF_IMAGE2 + 16768);
    EXPECT_GT(reinterpret_cast<uint8_t*>(x->level_packet[2].get()), b + FRSURF_IMAGE0);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(x->pal_packet.get()), b + FRSURF_IMAGE0 + 32);
    EXPECT_EQ(x->level_tbw[0], 2);
    EXPECT_EQ(r->mtl.get(), frsurf_mtl[2]);
    EXPECT_EQ(FrSurfacePreRender(r), 1);
  }
  // The geometry table rebuilt from the patches equals the generated one.
  FrPlateFreePatchData();
  std::filesystem::remove(dir + "/bin/terra/HEIGHTS.GB3");
  FrPlateLoadPatchData(&pos, buffer + SIZE);
  std::ifstream f(dir + "/bin/terra/HEIGHTS.GB3", std::ios::binary);
  std::vector<uint8_t> rebuilt((std::istreambuf_iterator<char>(f)), {});
  EXPECT_EQ(rebuilt, Files().heights);
}

TEST_F(Surface, TileTextureDrawnByTheGsModelIsTheGeneratorsImage) {
  asyncfileload = 0;
  Start();
  FRPLATE* p = FrPlateFind(TILED, 1);
  p->refs = 1;
  ASSERT_TRUE(FrSurfaceInitPlateData(p) && FrSurfaceInitPatchData(p));
  FrSurfaceCreateTileTextures(p);
  const int tile = 27;
  FRSURFTEX* r = p->tiles[tile];
  ZEVEC at = r->centre;  // at the tile: the finest class
  FrSurfaceUpdateTexture(r, FrSurfaceKey(TILED, tile / 8, tile % 8), 3, 5, &at);
  ASSERT_EQ(static_cast<FRSURFNODE*>(ZeListGetHead(&r->chain))->cls, 5);
  ZETEXSLOT* s;
  ZEPS2TEX* x;
  ZeTexGetPointers(r->tid, &s, &x);
  EXPECT_EQ(x->levels, 3);
  SurfacePicture chain[3];
  SurfaceChain(Desc(), Model(), TILED, tile, chain);
  for (int level = 0; level < 3; level++) {
    RgbaImage got;
    std::string error;
    ASSERT_TRUE(TexToRgba(r->tid, level, &got, &error)) << error;
    const int w = 128 >> level;
    ASSERT_EQ(got.width, w);
    int wrong = 0;
    for (int i = 0; i < w * w; i++) {
      uint32_t want = chain[level].palette[chain[level].index[size_t(i)]];
      if ((got.pixels[size_t(i)] & 0xffffff) != (want & 0xffffff)) wrong++;
    }
    EXPECT_EQ(wrong, 0) << "level " << level;
  }
}

// Shared edges: bit-identical heights and along-edge slopes; positions in
// the planet's frame agree, also after splitting both patches three times.
ZEVEC ToPlanet(int plate, const ZEVEC& p) {
  ZEMTX m = SurfacePlateFrame(Model(), plate, 4, 11000);
  ZEVEC out;
  ZeVecMtxTransform(&out, &p, &m);
  return out;
}

uint32_t Bits(float f) {
  uint32_t b;
  memcpy(&b, &f, 4);
  return b;
}

// The corners of a patch's leaves after `depth` splits (only those on its
// edges, u or v at the first or last texel centre, when asked), with their
// heights and seeds, positions in the planet's frame.
struct LeafVertex {
  ZEVEC at;
  uint32_t h, seed;
};
void Leaves(const ZEFPATCH& p, int depth, int plate, std::vector<LeafVertex>* out, bool edges = false) {
  if (!depth) {
    static constexpr int H[4][2] = {{0, 1}, {0, 3}, {3, 1}, {3, 3}};
    for (int k = 0; k < 4; k++) {
      const float u = p.attr[k].x, v = p.attr[k].y;
      if (edges && u != 1 / 32.0f && u != 31 / 32.0f && v != 1 / 32.0f && v != 31 / 32.0f) continue;
      ZEVEC b{p.base[k].x, p.base[k].y, p.base[k].z}, d{p.disp[k].x, p.disp[k].y, p.disp[k].z};
      const float h = p.h[H[k][0]][H[k][1]];
      ZeVecScaleAccum(&b, &d, h);
      out->push_back({ToPlanet(plate, b), Bits(h), Bits(p.attr[k].w)});
    }
    return;
  }
  ZEFPATCH c[4];
  ZeFPatchSplit(&p, c, 1.0f);
  for (auto& q : c) Leaves(q, depth - 1, plate, out, edges);
}

TEST(SurfaceCracks, NeighbouringPlatesMatchOnTheirEdges) {
  ZeTrigInit();
  const CubeModel& m = Model();
  const SystemPlanetDesc d = Desc();
  const int n = int(m.levels[4].size());
  std::vector<ZEFPATCH> patch(static_cast<size_t>(n));
  std::vector<std::array<float, ZEFPATCH_HEIGHTS>> table(static_cast<size_t>(n));
  for (int i = 0; i < n; i++) SurfacePatch(d, m, i, &patch[size_t(i)], table[size_t(i)].data());
  // Grid points of a plate on its edges, keyed by their position.
  auto edgePoints = [&](int id) {
    std::vector<std::pair<ZEVEC, float>> out;
    const ZEFPATCH& p = patch[size_t(id)];
    for (int j = 0; j < 9; j++)
      for (int i = 0; i < 9; i++) {
        if (i && i != 8 && j && j != 8) continue;
        float u = i / 8.0f, v = j / 8.0f, h = table[size_t(id)][size_t(j * 9 + i)];
        ZEVEC b{0, 0, 0}, dd{0, 0, 0};
        const float w[4] = {(1 - u) * (1 - v), u * (1 - v), (1 - u) * v, u * v};
        for (int k = 0; k < 4; k++) {
          ZEVEC bk{p.base[k].x, p.base[k].y, p.base[k].z}, dk{p.disp[k].x, p.disp[k].y, p.disp[k].z};
          ZeVecScaleAccum(&b, &bk, w[k]);
          ZeVecScaleAccum(&dd, &dk, w[k]);
        }
        ZeVecScaleAccum(&b, &dd, h);
        out.push_back({ToPlanet(id, b), h});
      }
    return out;
  };
  int pairs = 0, shared = 0;
  for (int a = 0; a < n; a++)
    for (int k = 0; k < 4; k++) {
      const int b = m.levels[4][size_t(a)].neighbour[k];
      if (b < a) continue;
      pairs++;
      auto pa = edgePoints(a), pb = edgePoints(b);
      int matched = 0;
      for (auto& [x, h] : pa)
        for (auto& [y, g] : pb)
          if (ZeVecDist(&x, &y, nullptr) < 0.05f) {
            matched++;
            ASSERT_EQ(h, g) << a << " " << b;  // bit-identical heights
          }
      ASSERT_GE(matched, 9) << a << " " << b;
      shared += matched;
    }
  EXPECT_EQ(pairs, n * 2);
  // Three splits of both patches, for a sample of pairs across faces.
  for (int a = 0; a < n; a += 97)
    for (int k = 0; k < 4; k++) {
      const int b = m.levels[4][size_t(a)].neighbour[k];
      std::vector<LeafVertex> la, lb;
      Leaves(patch[size_t(a)], 3, a, &la);
      Leaves(patch[size_t(b)], 3, b, &lb);
      // Points of a's leaves that lie on b's side within a hair: all on the
      // shared edge, each matched by one of b's.
      int on = 0;
      for (const LeafVertex& x : la) {
        float best = 1e30f;
        for (const LeafVertex& y : lb) best = std::min(best, ZeVecDist(&x.at, &y.at, nullptr));
        if (best < 1.0f) {
          on++;
          EXPECT_LT(best, 0.05f) << a << " " << b;
        }
      }
      EXPECT_GE(on, 9) << a << " " << b;
    }
}

// Seeds: each plate's corner seeds are those the engine's sphere generator
// gives by splitting the cube faces from the corners' seeds; every grid
// point two neighbours share, across faces too, holds the same bits in both
// (so their splits add the same noise), and the noise indices vary.
TEST(SurfaceSeeds, MidpointRuleFromTheCubeCornersSharedByNeighbours) {
  ZeTrigInit();
  const CubeModel& m = Model();
  const int n = int(m.levels[4].size());
  std::vector<ZEFPATCH> patch(static_cast<size_t>(n));
  float heights[ZEFPATCH_HEIGHTS];
  for (int i = 0; i < n; i++) SurfacePatch(Desc(), m, i, &patch[size_t(i)], heights);
  // The engine's four splits of each face, the leaves' corners placed on
  // the face's 17 x 17 grid: child k takes u bit k >> 1 and v bit k & 1.
  int count = 0;
  ZEFPATCH* world = ZeFPatchGenerateWorld(5, &count, 1);
  ASSERT_EQ(count, n);
  std::vector<std::array<uint32_t, 17 * 17>> grid(6);
  for (int f = 0; f < 6; f++)
    for (int leaf = 0; leaf < 256; leaf++) {
      int u = 0, v = 0;
      for (int d = 3; d >= 0; d--) {
        const int k = leaf >> (2 * d) & 3;
        u |= (k >> 1) << d;
        v |= (k & 1) << d;
      }
      for (int k = 0; k < 4; k++)
        grid[size_t(f)][size_t((v + (k >> 1)) * 17 + u + (k & 1))] = Bits(world[f * 256 + leaf].attr[k].w);
    }
  ZeMemFreeTagged(world);
  static constexpr int ORDER[4] = {0, 1, 3, 2};  // patch corner k is plate corner ORDER[k]
  for (int id = 0; id < n; id++)
    for (int k = 0; k < 4; k++) {
      const size_t uv = size_t(m.levels[4][size_t(id)].uv[ORDER[k]]);
      const int u = int(m.pairs[2 * uv] * 16), v = int(m.pairs[2 * uv + 1] * 16);
      ASSERT_EQ(Bits(patch[size_t(id)].attr[k].w), grid[size_t(id / 256)][size_t(v * 17 + u)]) << id << " " << k;
    }
  // Neighbours: the seeds of the height-field grid points on a shared edge.
  std::vector<ZEFPATCHHF> hf(81);
  auto edge = [&](int id) {
    std::vector<std::pair<ZEVEC, uint32_t>> out;
    ZeFPatchMakeHeightFieldBuffer(&patch[size_t(id)], hf.data());
    for (int j = 0; j < 9; j++)
      for (int i = 0; i < 9; i++) {
        if (i && i != 8 && j && j != 8) continue;
        const ZEFPATCHHF& e = hf[size_t(j * 9 + i)];
        out.push_back({ToPlanet(id, {e.base.x, e.base.y, e.base.z}), Bits(e.attr.w)});
      }
    return out;
  };
  std::set<int> noise;
  for (int a = 0; a < n; a++)
    for (int k = 0; k < 4; k++) {
      const int b = m.levels[4][size_t(a)].neighbour[k];
      if (b < a) continue;
      auto ea = edge(a), eb = edge(b);
      int matched = 0;
      for (auto& [x, s] : ea)
        for (auto& [y, t] : eb)
          if (ZeVecDist(&x, &y, nullptr) < 0.05f) {
            matched++;
            ASSERT_EQ(s, t) << a << " " << b;
            noise.insert(int(s & 0xff));
          }
      ASSERT_EQ(matched, 9) << a << " " << b;
    }
  EXPECT_GE(noise.size(), 200u) << "the seeds' low bytes pick most of the noise table";
  // Both patches of every pair split three times, with noise: the leaves'
  // corners on the shared edge hold the same height and seed bits.
  std::vector<std::vector<LeafVertex>> leaves(static_cast<size_t>(n));
  for (int id = 0; id < n; id++) Leaves(patch[size_t(id)], 3, id, &leaves[size_t(id)], true);
  for (int a = 0; a < n; a++)
    for (int k = 0; k < 4; k++) {
      const int b = m.levels[4][size_t(a)].neighbour[k];
      if (b < a) continue;
      int matched = 0;
      for (const LeafVertex& x : leaves[size_t(a)])
        for (const LeafVertex& y : leaves[size_t(b)])
          if (ZeVecDist(&x.at, &y.at, nullptr) < 0.05f) {
            matched++;
            ASSERT_EQ(x.h, y.h) << a << " " << b;
            ASSERT_EQ(x.seed, y.seed) << a << " " << b;
          }
      ASSERT_EQ(matched, 2 + 7 * 4) << a << " " << b;  // 9 points, the inner 7 in two leaves each side
    }
}

TEST_F(Surface, SwitchDistancesAndClassesByDistance) {
  Start();
  const float d[8] = {224.8f, 317.9f, 449.6f, 635.8f, 899.2f, 1271.7f, 1798.4f, 2543.3f};
  for (int i = 0; i < 8; i++) {
    EXPECT_NEAR(frsurf_dist[i], d[i], 0.05f);
    EXPECT_EQ(frsurf_dist[i], float(std::exp2((i + 15.625) / 2)));
  }
  EXPECT_EQ(frsurf_far[0], 10000000.0f);
  EXPECT_EQ(frsurf_near[7], 0.0f);
  EXPECT_EQ(frsurf_near[3], frsurf_dist[3]);
  // Block sizes and strides.
  const int block[4][3] = {{0, 43008, 43008}, {3, 163840, 163840}, {4, 71680, 286720}, {5, 67584, 1081344}};
  for (auto& b : block) {
    EXPECT_EQ(frsurf_class[b[0]].block, b[1]);
    EXPECT_EQ(frsurf_class[b[0]].stride, b[2]);
  }
  // GS layout.
  const int gs[8][5] = {{2, 8192, 32, 16, 0},       {2, 8192, 32, 8192, 32},   {2, 16384, 64, 16384, 64},
                        {2, 8192, 32, 16, 0},       {2, 8192, 32, 8192, 32},   {2, 16384, 64, 16384, 64},
                        {4, 32768, 128, 32768, 128}, {8, 131072, 512, 131072, 512}};
  for (int k = 0; k < 8; k++) {
    const FRSURFCLASS& c = frsurf_class[k];
    EXPECT_EQ(c.bufw, gs[k][0]) << k;
    EXPECT_EQ(c.level, gs[k][1]) << k;
    EXPECT_EQ(c.levelblocks, gs[k][2]) << k;
    EXPECT_EQ(c.lower, gs[k][3]) << k;
    EXPECT_EQ(c.lowerblocks, gs[k][4]) << k;
  }
  // Wanted class by distance (record radius 0): 635.8 is class 3, below it 4.
  // The colour texture's slot is taken without an image and described here:
  // no complaint about a size of 0.
  FRSURFTEX rec{};
  {
    ConsoleCaptureScope console;
    errmsg_disabled = 0;
    FrSurfaceInitColourTexture(&rec);
    errmsg_disabled = 1;
    EXPECT_EQ(console.text().find("power of two"), std::string::npos) << console.text();
  }
  EXPECT_EQ(ZeTexWidth(rec.tid), 128);
  EXPECT_EQ(ZeTexType(rec.tid), ZETEX_PAL8);
  struct Case {
    float distance;
    int cls;
  } cases[] = {{frsurf_near[3], 3}, {std::nextafter(frsurf_near[3], 0.0f), 4}, {frsurf_near[4], 4},
               {100.0f, 5}, {5000.0f, 3}};
  asyncfileload = 0;
  for (const Case& c : cases) {
    ZEVEC v{c.distance, 0, 0};
    FrSurfaceUpdateTexture(&rec, FrSurfaceKey(TILED, 0, 0), 3, 5, &v);
    auto* head = static_cast<FRSURFNODE*>(ZeListGetHead(&rec.chain));
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->cls, c.cls) << c.distance;
  }
  // Class materials: TEX1 K and L, filters.
  for (int k = 0; k < 8; k++) {
    ZEMTL* mtl = frsurf_mtl[k];
    ASSERT_NE(mtl, nullptr);
    EXPECT_EQ(mtl->mip_k, -362 + 16 * k);
    EXPECT_EQ(mtl->mip_l, 1);
    EXPECT_EQ(mtl->attributes >> 4 & 3, k <= 2 ? 1u : 2u);
    EXPECT_EQ(mtl->attributes & 0xf, k <= 5 ? 0u : 6u);
    EXPECT_EQ(mtl->context, k <= 5 ? 0 : 1);
  }
  while (auto* n = static_cast<FRSURFNODE*>(ZeListGetHead(&rec.chain))) {
    ZeListRemove(&rec.chain, n);
    FrSurfaceReleaseTexNode(n);
  }
  ZeTexDestroy(rec.tid);
}

TEST_F(Surface, SharedBlocksCancelledAndDeferredReads) {
  Start();
  // Two tiles of one class-5 block: one read, one block.
  FRSURFNODE* a = FrSurfaceGetTexNode(FrSurfaceKey(TILED, 0, 0), 5);
  FRSURFNODE* b = FrSurfaceGetTexNode(FrSurfaceKey(TILED, 1, 1), 5);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->block, b->block);
  EXPECT_EQ(b->image.get() - a->image.get(), 3 * 16768);
  EXPECT_EQ(AsyncFilePending(), 1);
  EXPECT_EQ(FrSurfaceFreeBlocks(5), 23);
  // Released while queued: the read is cancelled and never reaches the loader.
  FrSurfaceReleaseTexNode(a);
  EXPECT_EQ(AsyncFilePending(), 1);
  FrSurfaceReleaseTexNode(b);
  EXPECT_EQ(AsyncFilePending(), 0);
  // The block returns two frames after release.
  FrSurfaceProcessReleased();
  FrSurfaceProcessReleased();
  EXPECT_EQ(FrSurfaceReleasedBlocks(), 1);
  EXPECT_EQ(FrSurfaceFreeBlocks(5), 23);
  FrSurfaceProcessReleased();
  EXPECT_EQ(FrSurfaceFreeBlocks(5), 24);
  // Released while being read: kept until the read is done.
  FRSURFNODE* c = FrSurfaceGetTexNode(FrSurfaceKey(TILED, 2, 2), 4);
  AsyncFileProcess();  // handed to the loader's slot
  ASSERT_NE(bgload_next_gb_data.get(), nullptr);
  FrSurfaceReleaseTexNode(c);
  int deferred = frsurf_deferred;
  for (int i = 0; i < 4; i++) FrSurfaceProcessReleased();
  EXPECT_GT(frsurf_deferred, deferred);
  EXPECT_EQ(FrSurfaceFreeBlocks(4), 12);
  BGLoadServeGbData();
  AsyncFileProcess();  // the read completes
  FrSurfaceProcessReleased();
  EXPECT_EQ(FrSurfaceFreeBlocks(4), 13);
  // A plate whose entry is 0xFFFF reads the default record.
  FRSURFNODE* d = FrSurfaceGetTexNode(FrSurfaceKey(3, 0, 0), 3);
  ASSERT_NE(d, nullptr);
  FRSURFBLOCK* blk = d->block;
  EXPECT_EQ(blk->id, 3);
  FrSurfaceReleaseTexNode(d);
  EXPECT_HALT(FrSurfaceGetTexNode(FrSurfaceKey(3, 0, 0), 8), "assert");
}

TEST_F(Surface, HighDetailOffKeepsOnlyThePatchPool) {
  Start(0);
  for (int k = 1; k < 8; k++) EXPECT_EQ(FrSurfaceFreeBlocks(k), 0);
  EXPECT_EQ(FrSurfaceFreeBlocks(0), 45);
  EXPECT_EQ(FrSurfaceGetTexNode(FrSurfaceKey(TILED, 0, 0), 3), nullptr);
}

TEST_F(Surface, DamagedTreeWordsAndImageHeadersAreRefused) {
  struct Case {
    int at;
    uint32_t value;
    const char* message;
  } cases[] = {
      {FRSURF_TREES + 8 * 5, 40000, "tex004.gb3 record 0 tile 5: damaged tree table"},      // positions past the area
      {FRSURF_TREES + 8 * 5, 520, "tex004.gb3 record 0 tile 5: damaged tree table"},        // not 16-aligned
      {FRSURF_TREES + 8 * 6 + 4, 2000, "tex004.gb3 record 0 tile 6: damaged tree table"},   // too many trees
      {FRSURF_IMAGE0 + 16, 60000, "tex004.gb3 record 0: damaged image"},                    // palette block past the image
      {FRSURF_IMAGE1 + 16, 60000, "tex004.gb3 record 0: damaged image"},                    // level block past the image
  };
  asyncfileload = 0;
  Start();
  for (const Case& c : cases) {
    std::vector<uint8_t> tex = Files().tex[0];
    memcpy(&tex[size_t(c.at)], &c.value, 4);
    PlanetToolWrite(dir + "/bin/terra/TEX004.GB3", tex);
    FrSurfaceCloseFiles();
    FrSurfaceOpenFiles("bin");
    FRPLATE* p = FrPlateFind(TILED, 1);
    p->refs = 1;
    FrSurfaceInitPlateData(p);
    EXPECT_HALT(FrSurfaceInitPatchData(p), c.message);
    // Start the plate over: its block goes back, its texture record too.
    p->surf &= uint8_t(~FRSURF_PATCH);
    p->req[0] = ASYNCFILE_DONE;
    FrSurfaceDestroyPlateTextures(p);
    FrSurfaceDestroyPatchData(p);
  }
}

// The full shadow cast on streamed plates: positions above and below grid
// points of the level's plate and of a neighbour (a frame of its own). The
// cast point is the generator's ground there (B + hD of its height table)
// in the level's frame, the distance the signed altitude, the cache the
// plate and cell; with the level on the neighbour the same places give the
// same points and normals.
TEST_F(Surface, ShadowCastProjectsOntoTheStreamedSurface) {
  asyncfileload = 0;
  Start();
  const int other = Own()[1];
  for (int id : {TILED, other}) {
    FRPLATE* p = FrPlateFind(id, 1);
    p->refs = 1;
    ASSERT_TRUE(FrSurfaceInitPlateData(p));
    ASSERT_TRUE(FrSurfaceInitPatchData(p));
  }
  ZEVEC zero{0, 0, 0};
  {
    // No current level: no plate is looked for, 0.
    ZEVEC point, normal;
    float dist;
    int cache[2] = {7, 7};
    EXPECT_EQ(GBLevShadowCast(&point, &dist, &zero, cache, &normal), 0);
    EXPECT_EQ(cache[0], -1);
  }
  GBLevRegisterLevel(TILED, &zero, 1, nullptr, 1000);
  GBLevRegisterLevel(other, &zero, 1, nullptr, 1000);
  GBLevSetCurrentLevel(TILED);
  struct Case {
    int plate, i, j;  // the grid point; the position lies just inside cell i + 8j
    float altitude;
  };
  const Case cases[] = {{TILED, 0, 0, 40},  {TILED, 7, 0, 40},  {TILED, 0, 7, 40},  {TILED, 7, 7, 40},
                        {TILED, 3, 4, 0.5f}, {TILED, 5, 2, -12}, {other, 2, 6, 25},  {other, 6, 1, -8}};
  FRAME* planetFrame = g_current_planet->frame;
  struct Result {
    ZEVEC point, normal;  // planet frame
    float distance;
  };
  std::vector<Result> first;
  for (int pass = 0; pass < 2; pass++) {
    for (const Case& c : cases) {
      ZEFPATCH patch;
      float heights[ZEFPATCH_HEIGHTS];
      SurfacePatch(Desc(), Model(), c.plate, &patch, heights);
      const float s = (float(c.i) + 1 / 1024.0f) / 8, t = (float(c.j) + 1 / 1024.0f) / 8;
      const float w[4] = {(1 - s) * (1 - t), s * (1 - t), (1 - s) * t, s * t};
      ZEVEC b{0, 0, 0}, d{0, 0, 0}, up, ground, at;
      for (int k = 0; k < 4; k++) {
        ZEVEC bk{patch.base[k].x, patch.base[k].y, patch.base[k].z}, dk{patch.disp[k].x, patch.disp[k].y, patch.disp[k].z};
        ZeVecScaleAccum(&b, &bk, w[k]);
        ZeVecScaleAccum(&d, &dk, w[k]);
      }
      ZeVecNorm(&up, &d);
      ground = b;
      ZeVecScaleAccum(&ground, &d, heights[c.j * 9 + c.i]);
      at = ground;
      ZeVecScaleAccum(&at, &up, c.altitude);
      FRAME* plate = FrPlateFind(c.plate, 0)->frame;
      FRAME* level = GBLevGetCurrent()->frame;
      ZEVEC pos, want, point, normal;
      FrameRemapPos(level, &pos, plate, &at);
      FrameRemapPos(level, &want, plate, &ground);
      float dist = 0;
      int cache[2] = {-1, -1};
      const std::string label = std::to_string(c.plate) + " " + std::to_string(c.i) + "," + std::to_string(c.j);
      ZEVEC again;
      float dist2;
      ASSERT_EQ(GBLevShadowCast(&again, &dist2, &pos, nullptr, &normal), 1) << label << ": without a cache";
      ASSERT_EQ(GBLevShadowCast(&point, &dist, &pos, cache, &normal), 1) << label;
      EXPECT_EQ(Bits(again.x), Bits(point.x)) << label;
      EXPECT_EQ(Bits(dist2), Bits(dist)) << label;
      EXPECT_EQ(cache[0], c.plate) << label;
      EXPECT_EQ(cache[1], c.i + 8 * c.j) << label;
      EXPECT_LT(ZeVecDist(&point, &want, nullptr), 0.15f) << label;
      EXPECT_NEAR(dist, c.altitude, 0.15f) << label;
      EXPECT_NEAR(ZeVecMag(&normal), 1.0f, 1e-5f) << label;
      Result r{};
      FrameRemapPos(planetFrame, &r.point, level, &point);
      FrameRemapDir(planetFrame, &r.normal, level, &normal);
      r.distance = dist;
      if (pass == 0) {
        first.push_back(r);
        continue;
      }
      const Result& f = first[size_t(&c - cases)];
      EXPECT_LT(ZeVecDist(&r.point, &f.point, nullptr), 0.01f) << label;
      EXPECT_LT(ZeVecDist(&r.normal, &f.normal, nullptr), 1e-4f) << label;
      EXPECT_NEAR(r.distance, f.distance, 1e-3f) << label;
    }
    GBLevSetCurrentLevel(other);
  }
  // A patch with every corner at one point: the parameters cannot be found
  // (NaN); the first cell is taken and nothing is read past the table.
  auto* patch = reinterpret_cast<ZEFPATCH*>(FrPlateFind(other, 0)->patch.get());
  for (int k = 0; k < 4; k++) patch->base[k] = patch->base[0];
  ZEVEC pos{0, 30, 0}, point, normal;
  float dist;
  int cache[2] = {-1, -1};
  EXPECT_EQ(GBLevShadowCast(&point, &dist, &pos, cache, &normal), 1);
  EXPECT_EQ(cache[0], other);
  EXPECT_EQ(cache[1], 0);
}

TEST_F(Surface, TileTexturesByChainAndPlatesWithoutTileImages) {
  Start();
  FRPLATE* p = FrPlateFind(TILED, 1);
  p->refs = 1;
  asyncfileload = 0;
  ASSERT_TRUE(FrSurfaceInitPlateData(p) && FrSurfaceInitPatchData(p));
  FrSurfaceCreateTileTextures(p);
  FRSURFTEX* r = p->tiles[9];
  const uint32_t key = FrSurfaceKey(TILED, 1, 1);
  ZETEXSLOT* s;
  ZEPS2TEX* x;
  ZeTexGetPointers(r->tid, &s, &x);
  // Images that never arrived: no colour material, skipped by the renderer.
  asyncfileload = 1;
  ZEVEC mid{r->centre.x + 500 + 1.8f * r->radius, r->centre.y, r->centre.z};
  FrSurfaceUpdateTexture(r, key, 3, 5, &mid);
  EXPECT_EQ(FrSurfacePreRender(r), 0);
  EXPECT_EQ(FrSurfacePreRender(nullptr), 0);
  AsyncFileProcessAll();
  // Classes 4 and 3: 64 x 64, two levels; adding 5: 128 x 128, three.
  FrSurfaceUpdateColourTexture(r);
  EXPECT_EQ(s->tex.width, 64);
  EXPECT_EQ(x->levels, 2);
  EXPECT_EQ(r->mtl.get(), frsurf_mtl[4]);
  EXPECT_EQ(FrSurfacePreRender(r), 1);
  FrSurfaceUpdateTexture(r, key, 3, 5, &r->centre);
  AsyncFileProcessAll();
  FrSurfaceUpdateColourTexture(r);
  EXPECT_EQ(s->tex.width, 128);
  EXPECT_EQ(x->levels, 3);
  EXPECT_FALSE(r->flags & FRSURFTEX_LOWEST);
  // A plate whose entry has bit 15 set gets tile records but no tile images.
  FRPLATE* q = FrPlateFind(Own()[1], 1);
  q->refs = 1;
  asyncfileload = 0;
  FrPlateUpdate(0);
  Camera(Above(Own()[1], 11000 + 300));
  FrPlateUpdate(0);
  FrSurfaceUpdate();
  EXPECT_NE(q->tiles[0], nullptr);
  EXPECT_TRUE(q->surf & FRSURF_TILES);
  for (auto& t : q->tiles) ASSERT_EQ(ZeListGetHead(&t->chain), nullptr);
}

// A plate that gets its tile records is evaluated at once; after that it is refreshed from the list.
TEST_F(Surface, NewTilesAtOnceThenFromTheRefreshList) {
  asyncfileload = 0;
  Start();
  FRPLATE* p = FrPlateFind(TILED, 1);
  p->refs = 1;
  Camera(Above(TILED, 11000 + 300));
  FrPlateUpdate(0);
  frsurf_frame = 5;
  FrSurfaceUpdate();
  ASSERT_NE(p->tiles[0], nullptr);
  EXPECT_EQ(p->refresh, 5);
  frsurf_frame = 6;
  FrSurfaceUpdate();
  EXPECT_EQ(p->refresh, 6);  // listed and refreshed
  // Its tiles made again: evaluated at once, in that frame's stamp.
  FrSurfaceDestroyTileTextures(p);
  frsurf_frame = 7;
  FrSurfaceUpdate();
  EXPECT_NE(p->tiles[0], nullptr);
  EXPECT_EQ(p->refresh, 7);
}

// Ground, space, back: plates join and fade, blocks and tiles follow
// distance, everything returns to the pools, and closing waits for reads.
TEST_F(Surface, ScriptedFlight) {
  Start();
  ZEVEC zero{0, 0, 0};
  GBLevRegisterLevel(TILED, &zero, 1, nullptr, 2000);
  GBLevSetCurrentLevel(TILED);
  GBLevGetRemapMtx();
  FRPLATE* home = FrPlateFind(TILED, 0);
  auto fly = [&](float altitude, int frames) {
    ZEVEC at = Above(TILED, altitude);
    for (int i = 0; i < frames; i++) {
      Camera(at);
      FrPlanetUpdatePlates(planet.frame, &at);
      Frame();
    }
  };
  fly(11000 + 300, 40);
  EXPECT_GE(FrPlateCount(), 2);
  EXPECT_GT(home->fade, 0.05f);
  EXPECT_TRUE(home->surf & FRSURF_PATCH);
  EXPECT_TRUE(home->surf & FRSURF_TILES);
  EXPECT_NE(home->tiles[0], nullptr);
  EXPECT_LT(FrSurfaceFreeBlocks(3), 13);
  EXPECT_LT(FrSurfaceFreeBlocks(0), 45);
  // The nearest tile holds the finest class the distance asks.
  int finest = 0;
  for (auto& t : home->tiles)
    if (auto* n = static_cast<FRSURFNODE*>(ZeListGetHead(&t->chain))) finest = std::max(finest, int(n->cls));
  EXPECT_EQ(finest, 5);
  // Out to space: tiles and patch blocks go; the pools fill again.
  fly(11000 + 40000, 40);
  EXPECT_EQ(home->tiles[0], nullptr);
  EXPECT_FALSE(home->surf & FRSURF_PATCH);
  for (int i = 0; i < 5; i++) Frame();
  EXPECT_EQ(FrSurfaceFreeBlocks(3), 13);
  EXPECT_EQ(FrSurfaceFreeBlocks(4), 13);
  EXPECT_EQ(FrSurfaceFreeBlocks(5), 24);
  EXPECT_EQ(FrSurfaceFreeBlocks(0), 45);
  EXPECT_EQ(FrSurfaceRecordsUsed(), 0);
  EXPECT_EQ(FrSurfaceNodesUsed(), 0);
  // And back down.
  fly(11000 + 300, 40);
  EXPECT_TRUE(home->surf & FRSURF_TILES);
  // Closing: 0 while reads are pending, then nonzero once all is back.
  FRSURFNODE* n = FrSurfaceGetTexNode(FrSurfaceKey(3, 0, 0), 3);
  ASSERT_NE(n, nullptr);
  EXPECT_GT(AsyncFilePending(), 0);
  FrPlanetClose();
  EXPECT_EQ(FrSurfaceClose(), 0);
  FrSurfaceReleaseTexNode(n);
  int frames = 0;
  int done = 0;
  while (!done && frames < 50) {
    Frame();
    frames++;
    done = FrSurfaceClose();
  }
  EXPECT_TRUE(done);
  EXPECT_GT(frames, 1);
}

}  // namespace
