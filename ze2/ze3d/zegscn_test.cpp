// Scene files and their converter: a described scene converted and read
// back, files built byte by byte for the loader's edge cases, and every
// damaged index refused with a message that names it.
#include "zegscn_test.h"
#include "zegscn_local.h"

#include <cmath>

namespace {

// Two textures, three materials (textured, plain, chained), a square, a
// box-like pair of squares, sprites; instances, specials, splines.
SceneDesc Basic() {
  SceneDesc d;
  d.textures = {SceneTexture(32, 32), SceneTexture(16, 16, ZETEX_PAL8)};
  SceneMaterial textured;
  textured.texture = 0;
  textured.vtxcol = 1;
  SceneMaterial plain;
  plain.vtxcol = 1;
  SceneMaterial chained = plain;
  chained.texture = 1;
  chained.chain = 2;
  d.materials = {textured, plain, chained};
  SceneObject quad;
  quad.geoms = {Square(0, 2, 0xffffffff)};
  SceneObject pair;
  pair.geoms = {Square(1, 1, 0xff0000ff), Square(2, 3, 0xff00ff00)};
  SceneObject sprites;
  sprites.kind = ZEGOBJ_SPRITES;
  SceneSpriteSet set;
  set.material = 1;
  set.sprites = {{{0, 1, 0}, 1, 2, 0xff00ff00}, {{2, 0, 0}, 0.5f, 0.5f, 0xffffffff}};
  sprites.sets = {set};
  d.objects = {quad, pair, sprites};
  for (int i = 0; i < 4; i++) {
    SceneInstance in;
    in.object = i % 3;
    in.mtx = Translation(float(i), 0, 2);
    d.instances.push_back(in);
  }
  d.specials = {{"Pillar_One", 1}, {"pillar_two", 2}, {"Lamp", 3}};
  d.splines = {{"Flight_Path", {{0, 0, 0}, {1, 2, 3}, {4, 5, 6}}}, {"Edge", {{7, 8, 9}}}};
  d.ids = {11, 12, 13, 14};
  return d;
}

struct Gscn : Scene {
  SceneDesc desc = Basic();
  void TearDown() override {
    SceneDescFree(&desc);
    Scene::TearDown();
  }
  // The file offset of the first block with this id (-1 none).
  static int Find(const std::vector<uint8_t>& f, const char* id) {
    for (size_t at = 16; at + 8 <= f.size();) {
      if (!memcmp(&f[at], id, 4)) return int(at);
      int32_t size;
      memcpy(&size, &f[at + 4], 4);
      at += size_t(std::abs(size));
      if (size == 0) break;
    }
    return -1;
  }
};

}  // namespace

TEST_F(Gscn, ADescribedSceneConvertsAndLoadsInPlace) {
  const std::vector<uint8_t> file = Make(desc);
  ZEGSCENE* s = Load(file);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->ntex, 2);
  EXPECT_EQ(s->nmtl, 3);
  EXPECT_EQ(s->ngobj, 3);
  EXPECT_EQ(s->ninst, 4);
  EXPECT_EQ(s->nspec, 3);
  EXPECT_EQ(s->nspline, 2);
  EXPECT_EQ(s->nids, 4);
  EXPECT_EQ(s->ids[3], 14);
  // Textures are live; materials lie in the image with their textures and chains.
  for (int i = 0; i < 2; i++) EXPECT_GT(s->texids[i], 0);
  EXPECT_EQ(s->mtls[0]->texture, s->texids[0]);
  EXPECT_EQ(s->mtls[1]->texture, 0);
  EXPECT_EQ(s->mtls[2]->chain.get(), s->mtls[1].get());
  EXPECT_EQ(s->mtls[0]->chain.get(), nullptr);
  const char* image = reinterpret_cast<const char*>(s->mtls[0].get());
  EXPECT_EQ(EeAddrOf(image) % 16, 0u);
  // Packets lie on 128-byte addresses; the pair's two geometries are linked.
  const ZEGOBJ* pair = s->gobjs[1];
  ASSERT_NE(pair->geometries.get(), nullptr);
  EXPECT_EQ(EeAddrOf(pair->geometries->dmastream.get()) % 128, 0u);
  ASSERT_NE(pair->geometries->next.get(), nullptr);
  EXPECT_EQ(EeAddrOf(pair->geometries->next->dmastream.get()) % 128, 0u);
  EXPECT_EQ(pair->geometries->next->mtl.get(), s->mtls[2].get());
  EXPECT_EQ(s->gobjs[0]->tricount, 2);
  EXPECT_EQ(pair->tricount, 4);
  // Bounds from the box: the pair's box is the larger square's.
  EXPECT_FLOAT_EQ(pair->max.x, 1.5f);
  EXPECT_FLOAT_EQ(pair->centre_radius, std::sqrt(1.5f * 1.5f * 2));
  // Sprites: one set, its packets on a 16-byte address; the box widened by the size.
  const ZEGOBJ* spr = s->gobjs[2];
  ASSERT_NE(spr->faceons.get(), nullptr);
  EXPECT_EQ(EeAddrOf(spr->faceons->dma.get()) % 16, 0u);
  EXPECT_FLOAT_EQ(spr->max.y, 3.0f);
  // Instances are seen through the portals until the pass says otherwise.
  for (int i = 0; i < 4; i++) EXPECT_EQ(s->insts[i].flags, uint32_t(ZEGSCNINST_SHOWN | ZEGSCNINST_SEEN));
  // Specials take their instance's matrix and a lower-cased name.
  EXPECT_STREQ(s->specs[0].name.get(), "pillar_one");
  EXPECT_EQ(s->specs[0].inst.get(), s->insts + 1);
  EXPECT_EQ(s->specs[0].mtx.m[3][0], 1.0f);
  // Splines are copied out of the image.
  EXPECT_STREQ(s->splines[0].name.get(), "flight_path");
  EXPECT_EQ(s->splines[0].count, 3);
  EXPECT_EQ(s->splines[0].ptsize, 12);
  ZEVEC p;
  memcpy(&p, s->splines[0].points.get() + 24, 12);
  EXPECT_EQ(p.z, 6.0f);
  // The portal set and the prelight data see the instances.
  EXPECT_EQ(s->portals.ninst, 4);
  EXPECT_EQ(s->portals.insts.get(), s->insts.get());
  EXPECT_EQ(s->prelight.insts.get(), s->insts.get());
}

TEST_F(Gscn, ChainsAreJoinedByNextTagsMadeAbsolute) {
  // A list of 6,003 indices: batches of 6,000 and 3, the first packet's tag
  // a next tag to the second on a 128-byte boundary.
  SceneGeom g = Square(1, 1, 0xffffffff);
  g.idx.clear();
  for (int i = 0; i < 2001; i++) g.idx.insert(g.idx.end(), {0, 1, 2});
  desc.objects[0].geoms = {g};
  ZEGSCENE* s = Load(Make(desc));
  ASSERT_NE(s, nullptr);
  const uint32_t* tag = s->gobjs[0]->geometries->dmastream;
  EXPECT_EQ(tag[0] >> 24, 0x20u);
  const uint32_t next = tag[1];
  EXPECT_EQ(next % 128, 0u);
  EXPECT_GT(next, EeAddrOf(tag));
  EXPECT_LT(next, EeAddrOf(tag) + uint32_t(s->gobjs[0]->geometries->dmalen));
  const auto* second = static_cast<const uint32_t*>(EeAddrToPtr(next));
  EXPECT_EQ(second[0] >> 24, 0x10u);  // the last batch stays a cnt packet, followed by the ret tag
  EXPECT_EQ(s->gobjs[0]->tricount, 2001);
}

TEST_F(Gscn, TheConverterRefusesWhatItWouldReadOutOfStep) {
  SceneGeom g = Square(1, 1, 0xffffffff);
  g.idx.clear();
  for (int i = 0; i < 6001; i++) g.idx.push_back(0);
  desc.objects[0].geoms = {g};
  std::string error;
  ASSERT_TRUE(SceneWriteGsc0(desc, "BAD.GS0", &error));
  EXPECT_SCENE_HALT(ZeGScnConvertScene("BAD.GSC", "BAD.GS0"), "dodgy makecnt");
  // A geometry at 1,000 gets a pad of 8: its packets at 1,024.
  const struct {
    int pos, pad;
  } pads[] = {{1000, 8}, {0, 112}, {112, 0}, {113, 127}, {1008, 0}};
  for (const auto& c : pads) {
    EXPECT_EQ(ZeGScnGeomPad(c.pos), c.pad) << c.pos;
    EXPECT_EQ((c.pos + 16 + ZeGScnGeomPad(c.pos)) % 128, 0) << c.pos;
  }
}

TEST_F(Gscn, TexturePadsLeadToImagesOn128ByteBoundaries) {
  // Sizes that put the pad word everywhere relative to a boundary.
  for (int w : {8, 16, 32, 64}) desc.textures.push_back(SceneTexture(w, 8, ZETEX_RGB16));
  const std::vector<uint8_t> f = Make(desc);
  const int tst = Find(f, "TST0");
  ASSERT_GE(tst, 0);
  int32_t n;
  memcpy(&n, &f[size_t(tst) + 8], 4);
  EXPECT_EQ(n, 6);
  size_t at = size_t(tst) + 16;
  for (int i = 0; i < n; i++) {
    int32_t s, p;
    memcpy(&s, &f[at], 4);
    memcpy(&p, &f[at + 4], 4);
    EXPECT_GE(p, 4) << i;
    at += 8 + size_t(p);
    EXPECT_EQ(at % 128, 0u) << i;
    at += size_t(s);
  }
  ZEGSCENE* sc = Load(f);
  ASSERT_NE(sc, nullptr);
  for (int i = 0; i < 6; i++) EXPECT_GT(sc->texids[i], 0) << i;
}

TEST_F(Gscn, NoSpecialsNoSpecBlock) {
  desc.specials.clear();
  const std::vector<uint8_t> f = Make(desc);
  EXPECT_EQ(Find(f, "SPEC"), -1);
  EXPECT_GE(Find(f, "INST"), 0);
  ZEGSCENE* s = Load(f);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->nspec, 0);
}

TEST_F(Gscn, BlocksComeOutInTheInputsOrder) {
  const std::vector<uint8_t> f = Make(desc);
  const char* order[] = {"TST0", "MS00", "OBJ0", "NTBL", "INST", "INID", "SPEC", "SST0"};
  int last = -1;
  for (const char* id : order) {
    const int at = Find(f, id);
    EXPECT_GT(at, last) << id;
    last = at;
  }
}

TEST_F(Gscn, VersionsOtherThanSixAreRefused) {
  const struct {
    int version;
    const char* message;
  } cases[] = {{5, "GSC File out of date - need newer \"V.GSC\" file"}, {7, "Loader out of date - need newer 3D"}};
  for (const auto& c : cases) {
    Put("V.GSC", GscImage(Bytes(), c.version));
    char* end;
    char* pos = Buffer(65536, &end);
    EXPECT_SCENE_HALT(ZeGScnRead(&pos, end, "V.GSC"), c.message);
  }
  // An outer block longer than the file is refused.
  std::vector<uint8_t> longer = GscImage(Bytes().Block("INID", Bytes().I32(0).I32(0)));
  const int32_t size = -int32_t(longer.size() + 64);
  memcpy(&longer[4], &size, 4);
  Put("LONG.GSC", longer);
  char* end;
  char* pos = Buffer(65536, &end);
  EXPECT_SCENE_HALT(ZeGScnRead(&pos, end, "LONG.GSC"), "its outer block");
  // Version 6 with nothing in it is an empty scene.
  ZEGSCENE* s = Load(GscImage(Bytes()));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->ninst, 0);
}

TEST_F(Gscn, UnknownBlocksAreSkippedAndAMissingFileReadsNothing) {
  Bytes inner;
  inner.Block("XYZW", Bytes().I32(1).I32(2).I32(3));
  inner.Block("INID", Bytes().I32(2).I32(0).I16(5).I16(6));
  ZEGSCENE* s = Load(GscImage(inner));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->nids, 2);
  EXPECT_EQ(s->ids[1], 6);
  char* end;
  char* pos = Buffer(4096, &end);
  char* const start = pos;
  EXPECT_EQ(ZeGScnRead(&pos, end, "NONE.GSC"), nullptr);
  EXPECT_EQ(ZeGScnLoadFix(), nullptr);
  EXPECT_LE(pos - start, 128);
}

// A second block of a kind would replace the tables the first one sized
// (a material table of none under a count of two): refused, MS00 and MS02
// being one kind.
TEST_F(Gscn, ASecondBlockOfAKindIsRefused) {
  const struct {
    const char *first, *second, *message;
  } cases[] = {{"INID", "INID", "a second INID block"}, {"MS00", "MS02", "a second MS02 block"}};
  for (const auto& c : cases) {
    Bytes inner;
    inner.Block(c.first, Bytes().I32(0).I32(0));
    inner.Block(c.second, Bytes().I32(0).I32(0));
    const std::vector<uint8_t> f = GscImage(inner);
    Put("D.GSC", f);
    char* end;
    char* pos = Buffer(f.size() * 2 + 65536, &end);
    EXPECT_SCENE_HALT(ZeGScnRead(&pos, end, "D.GSC"), c.message);
  }
}

namespace {

// A native texture image of the pattern (16-aligned bytes).
std::vector<uint8_t> NativeImage(int w, int h) {
  std::string error;
  ZETEX* img = TexFromRgba(TestPattern(w, h), ZETEX_RGB16, 1, &error);
  const ZETEXID id = ZeTexCreate(img);
  auto* buf = static_cast<uint8_t*>(EeMalloc(65536 + 16));
  auto* at = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(buf) + 15) & ~uintptr_t(15));
  const int n = ZeTexRecoverNativeData(id, at, 65536);
  std::vector<uint8_t> out(at, at + n);
  out.resize((out.size() + 15) & ~size_t(15));
  EeFree(buf);
  ZeTexDestroy(id);
  ZeMemFree(img->texels.get());
  ZeMemFree(img);
  return out;
}

}  // namespace

TEST_F(Gscn, TexturePadWordsZeroAndTwelve) {
  // Pad 0: the image 8 bytes after the pad word; pad 12: 12 bytes after it.
  // The first record's size leaves the second pad word 4 bytes past a
  // 16-byte boundary, so that 12 bytes on is one.
  const std::vector<uint8_t> img = NativeImage(16, 16);
  Bytes tst;
  tst.I32(2).I32(0);
  tst.I32(int32_t(img.size()) + 12).I32(0).Zeros(8).Raw(img.data(), img.size()).Zeros(12);
  tst.I32(int32_t(img.size())).I32(12).Zeros(12).Raw(img.data(), img.size());
  Bytes inner;
  inner.Block("TST0", tst);
  ZEGSCENE* s = Load(GscImage(inner));
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->ntex, 2);
  EXPECT_GT(s->texids[0], 0);
  EXPECT_GT(s->texids[1], 0);
  EXPECT_EQ(ZeTexWidth(s->texids[1]), 16);
  // A pad that leads outside the block is refused.
  Bytes far;
  far.I32(1).I32(0).I32(int32_t(img.size())).I32(4096).Raw(img.data(), img.size());
  Bytes bad;
  bad.Block("TST0", far);
  Put("P.GSC", GscImage(bad));
  char* end;
  char* pos = Buffer(65536, &end);
  EXPECT_SCENE_HALT(ZeGScnRead(&pos, end, "P.GSC"), "lies outside its block");
}

TEST_F(Gscn, MaterialChainValues) {
  // 0 stays none; 1 is the first material; a value naming no material of
  // the table (past the count, or 65,536 and up) is refused as damage.
  const struct {
    int chain;
    int expect;  // index of the chained material, -1 none, -2 refused
  } cases[] = {{0, -1}, {1, 0}, {3, 2}, {4, -2}, {65536, -2}, {-2, -2}};
  for (const auto& c : cases) {
    desc.materials[2].chain = c.chain;
    const std::vector<uint8_t> f = Make(desc, "C" + std::to_string(c.chain < 0 ? 9 : c.chain % 10));
    if (c.expect == -2) {
      Put("CH.GSC", f);
      char* end;
      char* pos = Buffer(f.size() * 2 + 65536, &end);
      EXPECT_SCENE_HALT(ZeGScnRead(&pos, end, "CH.GSC"), "chain");
      continue;
    }
    ZEGSCENE* s = Load(f);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->mtls[2]->chain.get(), c.expect < 0 ? nullptr : s->mtls[c.expect].get()) << c.chain;
    ZeGScnRemove(s);
    loaded.pop_back();
  }
}

TEST_F(Gscn, CrossFadeFlagWithSizeZeroAndTheTriangleCountAsRead) {
  Bytes obj;
  obj.I32(1).I32(1);  // one object, cross-fade records follow
  obj.I32(77).Zeros(12).I32(ZEGOBJ_SPRITES).I32(0).Zeros(8);
  obj.F32(-1).F32(-2).F32(-3).F32(1).F32(2).F32(3).Zeros(8);
  obj.I32(0).Zeros(12);
  Bytes inner;
  inner.Block("OBJ0", obj);
  ZEGSCENE* s = Load(GscImage(inner));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->gobjs[0]->colourref.get(), nullptr);
  EXPECT_EQ(s->gobjs[0]->tag, 77);
  EXPECT_FLOAT_EQ(s->gobjs[0]->radius, std::sqrt(14.0f));
  // With cross-fade data on, the objects carry runs whose colours lie in the image.
  zegscn_generate_colourref = 1;
  ZEGSCENE* f = Load(Make(desc, "F"), "F2.GSC");
  ASSERT_NE(f, nullptr);
  ASSERT_NE(f->gobjs[0]->colourref.get(), nullptr);
  const auto* run = reinterpret_cast<const ZECOLOURREF*>(f->gobjs[0]->colourref.get());
  EXPECT_GT(run->count, 0);
  const uint32_t lo = EeAddrOf(f->gobjs[0]->geometries->dmastream.get());
  EXPECT_GE(run->addr, lo);
  EXPECT_LT(run->addr, lo + uint32_t(f->gobjs[0]->geometries->dmalen));
  EXPECT_EQ(f->gobjs[0]->tricount, 2);
}

TEST_F(Gscn, CrossFadeRunsMustNameTheirObjectsPackets) {
  // One material (no texture), one sprite object of 16 bytes of packets,
  // cross-fade data of one run of one colour at the given file offset.
  auto image = [](int32_t target) {
    alignas(16) ZEMTL m = {};
    m.texture = -1;
    Bytes ms;
    ms.I32(1).I32(0).Raw(&m, sizeof m);
    Bytes obj;
    obj.I32(1).I32(1);
    obj.I32(0).Zeros(12).I32(ZEGOBJ_SPRITES).I32(1).Zeros(8);
    obj.I32(0).I32(0).F32(0).I32(16).Zeros(16);  // the set and its packets
    obj.Zeros(32);                               // box and reserved
    obj.I32(32).Zeros(12).I32(target).I32(1).I32(0x11223344).I32(0x55667788).I32(0).I32(0).Zeros(8);
    Bytes inner;
    inner.Block("MS00", ms).Block("OBJ0", obj);
    return GscImage(inner);
  };
  // The packets: behind the outer header and version (16), MS00 (480), the
  // OBJ0 header and counts (16), the object's head (32) and the set's (16).
  const int packets = 16 + 480 + 16 + 32 + 16;
  ZEGSCENE* s = Load(image(packets));
  ASSERT_NE(s, nullptr);
  ASSERT_NE(s->gobjs[0]->colourref.get(), nullptr);
  EXPECT_EQ(s->gobjs[0]->colourref[0], EeAddrOf(s->gobjs[0]->faceons->dma.get()));
  for (int32_t bad : {0, 16, packets + 16, packets - 4}) {
    Put("X.GSC", image(bad));
    char* end;
    char* pos = Buffer(65536, &end);
    EXPECT_SCENE_HALT(ZeGScnRead(&pos, end, "X.GSC"), "cross-fade run of 1 colours");
  }
}

TEST_F(Gscn, AnimationRecordsAreHandedOutInInstanceOrder) {
  desc.instances[1].animated = true;
  desc.instances[1].anim.rate = 1;
  desc.instances[3].animated = true;
  desc.instances[3].anim.rate = 3;
  ZEGSCENE* s = Load(Make(desc));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->insts[0].anim.get(), nullptr);
  EXPECT_EQ(s->insts[1].anim.get(), s->instanims.get());
  EXPECT_EQ(s->insts[3].anim.get(), s->instanims + 1);
  EXPECT_EQ(s->instanims[1].rate, 3.0f);
  EXPECT_EQ(s->instanims[1].mtx.m[3][0], 3.0f);  // the instance's matrix
}

TEST_F(Gscn, NamesAreLowerCasedAndThePointSizeTableMatchesThem) {
  static const ZESPLINEPTSIZE rows[] = {{"Path", 40}, {"path", 20}, {nullptr, 0}};
  ZeGScnSetCfg(rows);
  EXPECT_EQ(FindSplinePtSize("Flight_Path"), 40);
  EXPECT_EQ(FindSplinePtSize("edge"), 12);
  ZEGSCENE* s = Load(Make(desc));
  ASSERT_NE(s, nullptr);
  // "Path" never matches a lower-cased name; "path" does.
  EXPECT_EQ(s->splines[0].ptsize, 20);
  EXPECT_EQ(s->splines[1].ptsize, 12);
  ZEVEC p;
  memcpy(&p, s->splines[0].points.get() + 2 * 20, 12);
  EXPECT_EQ(p.x, 4.0f);
  ZESPECIAL h;
  EXPECT_EQ(ZeSpecialFind(s, &h, "PILLAR_one"), 1);
  EXPECT_EQ(h.obj.get(), s->specs.get());
  ZeGScnSetCfg(nullptr);
}

TEST_F(Gscn, AStaggeredLoadReadsWholeStepsAndChecksRoomFirst) {
  Bytes inner;
  Bytes big;
  big.Zeros(2500000);
  inner.Block("FILL", big);
  const std::vector<uint8_t> f = GscImage(inner);
  Put("BIG.GSC", f);
  const int total = int(f.size());
  char* end;
  char* pos = Buffer(size_t(total) + 65536, &end);
  EXPECT_EQ(ZeGScnStaggeredLoad(&pos, end, "BIG.GSC", 1000000), total - 1048576);
  EXPECT_EQ(ZeGScnStaggeredLoad(&pos, end, "BIG.GSC", 1000000), total - 2097152);
  EXPECT_EQ(ZeGScnStaggeredLoad(&pos, end, "BIG.GSC", 1000000), 0);
  ZEGSCENE* s = ZeGScnLoadFix();
  ASSERT_NE(s, nullptr);
  EXPECT_GE(reinterpret_cast<char*>(s), pos - int(sizeof(ZEGSCENE)) - 16);
  // Too small a buffer: refused before a byte is written.
  char* small = Buffer(1 << 20, &end);
  pos = small;
  EXPECT_SCENE_HALT(ZeGScnStaggeredLoad(&pos, end, "BIG.GSC", 65536), "GSC File too large, \"BIG.GSC\"");
  for (int i = 0; i < (1 << 20); i += 4093) EXPECT_EQ(uint8_t(small[i]), 0xaa) << i;
}

TEST_F(Gscn, ObjectKindThreeIsRefusedAndMorphDataIsPassedOver) {
  // Hand-made GSC0: a mesh whose geometry has two morph targets, then a
  // second mesh; the converter must read the second in step.
  auto geom = [](Bytes& b, bool morph) {
    b.I32(0).I32(3);
    for (int i = 0; i < 3; i++) {
      ZEVTX v = {};
      v.pos = {float(i), float(i == 2), 0};
      v.colour = 0xffffffff;
      b.Raw(&v, 36);
    }
    b.I32(0).I32(1).I32(ZEPRIM_IDXLIST).I32(3).I16(0).I16(1).I16(2);
    b.I32(0);
    if (morph) b.I32(2).I32(5).I32(6).I32(36).Zeros(36).Raw("\1\0", 2);
    else b.I32(0);
  };
  auto gsc0 = [&](int secondKind) {
    Bytes ms;
    uint8_t rec[ZEMTL_FILE_RECORD];
    SceneMaterial m;
    m.vtxcol = 1;
    SceneMaterialRecord(m, rec);
    ms.I32(1).Raw(rec, sizeof rec);
    Bytes gst;
    gst.I32(2);
    gst.I32(1).I32(0).Zeros(12).I32(1);
    geom(gst, true);
    gst.I32(2).I32(secondKind).Zeros(12).I32(1);
    geom(gst, false);
    if (secondKind == 3) gst.I32(0);
    Bytes inner;
    inner.Block("MS00", ms).Block("GST0", gst);
    Bytes out;
    out.Block("GSC0", inner);
    return out.b;
  };
  Put("M.GS0", gsc0(0));
  ZeGScnConvertScene("M.GSC", "M.GS0");
  ZEGSCENE* s = Load(Get("M.GSC"));
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->ngobj, 2);
  EXPECT_EQ(s->gobjs[1]->tag, 2);
  EXPECT_EQ(s->gobjs[1]->tricount, 1);
  Put("K.GS0", gsc0(3));
  EXPECT_SCENE_HALT(ZeGScnConvertScene("K.GSC", "K.GS0"), "object kind 3 cannot be converted");
}

// Each damaged index of a good file is refused with a message naming it.
TEST_F(Gscn, DamagedIndicesAreFatalErrorsNamingThem) {
  desc.instances[2].animated = true;
  const std::vector<uint8_t> good = Make(desc);
  auto at = [&](const char* id) { return size_t(Find(good, id)) + 8; };
  const size_t mtl = at("MS00") + 8, inst = at("INST") + 8, spec = at("SPEC") + 8, sst = at("SST0");
  const size_t iabl = at("IABL");
  const struct {
    size_t offset;
    int32_t value;
    const char* message;
  } cases[] = {
      {mtl + offsetof(ZEMTL, texture), 9, "material 0 names texture 9 of 2"},
      {mtl + offsetof(ZEMTL, texture), -3, "material 0 names texture -3"},
      {inst + 64, 3, "instance 0 names object 3 of 3"},
      {inst + 64, -1, "instance 0 names object -1"},
      {spec + 64, 4, "special 0 names instance 4 of 4"},
      {spec + 68, 100000, "special 0 names offset 100000"},
      {sst + 8 + 4, 99999, "spline 0 names offset 99999"},
      {sst + 8, 0x7fff, "SST0 block too short"},
      {iabl, 0, "animation records for more animated instances"},
      {at("INST"), 1000, "INST block too short"},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> f = good;
    if (c.offset == sst + 8) {
      const uint16_t k = 0x7fff;
      memcpy(&f[c.offset], &k, 2);
    } else {
      memcpy(&f[c.offset], &c.value, 4);
    }
    Put("D.GSC", f);
    char* end;
    char* pos = Buffer(f.size() * 2 + 65536, &end);
    EXPECT_SCENE_HALT(ZeGScnRead(&pos, end, "D.GSC"), c.message);
  }
}

TEST_F(Gscn, DuplicateCopiesInstancesAndSpecials) {
  ZEGSCENE* s = Load(Make(desc));
  ASSERT_NE(s, nullptr);
  char* end;
  char* pos = Buffer(65536, &end);
  ZEGSCENE* c = ZeGScnDuplicate(s, &pos);
  EXPECT_NE(c->insts.get(), s->insts.get());
  EXPECT_EQ(c->specs[1].inst.get(), c->insts + 2);
  EXPECT_EQ(c->gobjs.get(), s->gobjs.get());
  c->insts[2].mtx.m[3][0] = 50;
  ZESPECIAL h;
  ASSERT_EQ(ZeSpecialFind(c, &h, "pillar_two"), 1);
  ZEVEC p;
  ZeSpecialGetPos(&h, &p);
  EXPECT_EQ(p.x, 50.0f);
  EXPECT_EQ(s->insts[2].mtx.m[3][0], 2.0f);
}

TEST_F(Gscn, RemovalReleasesMaterialsAndTextures) {
  ZEGSCENE* s = Load(Make(desc));
  ASSERT_NE(s, nullptr);
  const ZETEXID t = s->texids[0];
  EXPECT_TRUE(zetex_slots[t - 1].flags & ZETEXSLOT_INUSE);
  auto inScene = [&] {
    int n = 0;
    for (ZEMTL* m = ZeMtlIterate(1); m; m = ZeMtlIterate(0))
      n += m == s->mtls[0].get() || m == s->mtls[1].get() || m == s->mtls[2].get();
    return n;
  };
  EXPECT_EQ(inScene(), 3);
  ZeGScnRemove(s);
  loaded.clear();
  EXPECT_EQ(inScene(), 0);
  EXPECT_FALSE(zetex_slots[t - 1].flags & ZETEXSLOT_INUSE);
}

TEST_F(Gscn, PortalsPrelightingAndBoundsFillTheSetsTheRendererReads) {
  desc.instances.resize(2);
  desc.specials = {{"Pillar_One", 1}};
  const std::vector<uint8_t> base = Make(desc);
  // Two rooms, one portal, four vertices; bounds for both instances; one
  // light set of one light, one surface, two prelight vertices.
  auto extra = [](int16_t roomInstance, int16_t portalVertex) {
    Bytes port;
    // Lists of two entries each keep the rooms and portals 4-byte aligned.
    port.I16(1).I16(2).I16(2).I16(2).I16(4).I16(2).I16(0).I16(0);
    port.I16(0).I16(roomInstance);                                   // first room list: instances
    port.F32(0).F32(0).F32(1).F32(-5).F32(0).F32(0).F32(-1).F32(5);  // planes
    port.I16(0).I16(0);                                              // second room list: portals
    for (int v = 0; v < 4; v++) port.F32(float(v & 1)).F32(float(v >> 1)).F32(5);
    port.I32(0).I32(0).I32(0).I16(1).I16(0x0101);  // room 0: instance 0, plane 0, portal 0
    port.I32(1).I32(1).I32(0).I16(1).I16(0x0001);  // room 1: instance 1, plane 1
    ZEPORTAL p = {};
    p.vertices.addr = uint32_t(portalVertex);
    p.nvertices = 4;
    p.rooma = 0, p.roomb = 1;
    port.Raw(&p, sizeof p);
    Bytes plgt;
    plgt.I32(2).I32(1).I32(0).I32(0);
    ZEPRELIGHTVERTEX v = {};
    plgt.Raw(&v, sizeof v).Raw(&v, sizeof v).I32(0);
    plgt.I32(0).I32(1).I32(0).I32(0);
    ZEPRELIGHTLIGHT light = {};
    plgt.I32(1).Zeros(12).Raw(&light, sizeof light);
    ZEPRELIGHTSURFACE surface = {};
    plgt.I32(1).Zeros(12).Raw(&surface, sizeof surface).F32(2.2f).F32(1).F32(0.5f);
    Bytes bnds;
    bnds.I32(0).I32(2).I32(0).I32(0).Zeros(2 * 16 + 2 * 32);
    Bytes out;
    out.Block("PORT", port).Block("PLGT", plgt).Block("BNDS", bnds);
    return out;
  };
  auto with = [&](const Bytes& blocks) {
    // The blocks go in before the outer block's end.
    std::vector<uint8_t> f = base;
    f.insert(f.end(), blocks.b.begin(), blocks.b.end());
    const int32_t size = -int32_t(f.size());
    memcpy(&f[4], &size, 4);
    return f;
  };
  ZEGSCENE* s = Load(with(extra(1, 0)));
  ASSERT_NE(s, nullptr);
  const ZEPORTALSET& ps = s->portals;
  EXPECT_EQ(ps.nportals, 1);
  EXPECT_EQ(ps.nrooms, 2);
  EXPECT_EQ(ps.maxdepth, 256);
  EXPECT_EQ(ps.rooms[1].instances[0], 1);
  EXPECT_EQ(ps.rooms[1].planes->w, 5.0f);
  EXPECT_EQ(ps.portals[0].vertices[3].y, 1.0f);
  EXPECT_EQ(ps.nbounds, 2);
  EXPECT_EQ(ps.nbounds2, 2);
  EXPECT_EQ(s->prelight.nverts, 2);
  EXPECT_EQ(s->prelight.nsets, 1);
  EXPECT_EQ(s->prelight.nlights[0], 1);
  EXPECT_EQ(s->prelight.gamma, 2.2f);
  EXPECT_EQ(s->prelight.spheres.get(), ps.spheres.get());
  // A room naming an instance the scene lacks, a portal whose vertices run
  // past the list: refused.
  const struct {
    int16_t inst, vert;
    const char* message;
  } bad[] = {{2, 0, "a room lists instance 2"}, {1, 1, "portal 0's vertices or rooms"}};
  for (const auto& c : bad) {
    Put("PB.GSC", with(extra(c.inst, c.vert)));
    char* end;
    char* pos = Buffer(base.size() * 2 + 65536, &end);
    EXPECT_SCENE_HALT(ZeGScnRead(&pos, end, "PB.GSC"), c.message);
  }
}

TEST_F(Gscn, TheTemporaryWorkspaceBoundsTheSplineCopy) {
  const std::vector<uint8_t> f = Make(desc);
  Put("W.GSC", f);
  char* end;
  char* pos = Buffer(f.size() * 2 + 65536, &end);
  // A workspace too small for the spline data: its start is the floor.
  ZeGScnSetTmpWkspc(end - 16, end);
  EXPECT_SCENE_HALT(ZeGScnRead(&pos, end, "W.GSC"), "Temp buffer underrun");
  ZeGScnSetTmpWkspc(nullptr, nullptr);
  pos = Buffer(f.size() * 2 + 65536, &end);
  char* const start = pos;
  ZEGSCENE* s = ZeGScnRead(&pos, end, "W.GSC");
  ASSERT_NE(s, nullptr);
  loaded.push_back(s);
  // The copy was released: everything placed lies below the caller's position.
  EXPECT_LT(reinterpret_cast<char*>(s->splines[1].points.get()), pos);
  EXPECT_GE(reinterpret_cast<char*>(s->splines[1].points.get()), start);
  EXPECT_EQ(EeAddrOf(pos) % 16, 0u);
}

TEST_F(Gscn, TheOldFormKeepsItsTexturesMaterialsAndObjectsOnly) {
  // The old form's names and splines are read and not written; a missing
  // input or another outer id gives an outer block with only its header.
  std::string error;
  ASSERT_TRUE(SceneWriteGsc0(desc, "NEW.GS0", &error));
  std::vector<uint8_t> f = Get("NEW.GS0");
  memcpy(f.data(), "ZE20", 4);
  Put("OLD.GS0", f);
  ZeGScnConvertScene("OLD.GSC", "OLD.GS0");
  const std::vector<uint8_t> out = Get("OLD.GSC");
  EXPECT_GE(Find(out, "TST0"), 0);
  EXPECT_GE(Find(out, "OBJ0"), 0);
  EXPECT_EQ(Find(out, "INST"), -1);
  EXPECT_EQ(Find(out, "NTBL"), -1);
  ZEGSCENE* s = Load(out);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->ngobj, 3);
  EXPECT_EQ(s->ninst, 0);
  ZeGScnConvertScene("NONE.GSC", "MISSING.GS0");
  EXPECT_EQ(Get("NONE.GSC").size(), 16u);
  memcpy(f.data(), "XXXX", 4);
  Put("ODD.GS0", f);
  ZeGScnConvertScene("ODD.GSC", "ODD.GS0");
  EXPECT_EQ(Get("ODD.GSC").size(), 16u);
}
