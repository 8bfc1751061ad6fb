// Intermediate scene files: the GSC0 readers and ZeSceneLoad.
#include "zegscn_test.h"
#include "zegscn_local.h"

namespace {

struct IScene : Scene {
  void SetUp() override {
    Scene::SetUp();
    InitSkinning(1 << 20);
  }
  void TearDown() override {
    CloseSkinning();
    Scene::TearDown();
  }
  // An intermediate file of these blocks.
  void PutGsc0(const char* name, const Bytes& inner) {
    Bytes out;
    out.Block("GSC0", inner);
    Put(name, out.b);
  }
  static Bytes Materials(int n) {
    Bytes ms;
    ms.I32(n);
    for (int i = 0; i < n; i++) {
      SceneMaterial m;
      m.vtxcol = 1;
      uint8_t rec[ZEMTL_FILE_RECORD];
      SceneMaterialRecord(m, rec);
      ms.Raw(rec, sizeof rec);
    }
    return ms;
  }
  // A geometry of three vertices and one triangle; skins and morphs as given.
  static void Geometry(Bytes& b, const Bytes& skins, const Bytes& morphs) {
    b.I32(0).I32(3);
    for (int i = 0; i < 3; i++) {
      ZEVTX v = {};
      v.pos = {float(i), float(i == 2), 0};
      v.colour = 0xff0000ffu;  // blue in the low byte: red once read
      b.Raw(&v, 36);
    }
    b.I32(0).I32(1).I32(ZEPRIM_IDXLIST).I32(3).I16(0).I16(1).I16(2);
    b.Raw(skins.b.data(), skins.b.size()).Raw(morphs.b.data(), morphs.b.size());
  }
  static Bytes NoSkins() { return Bytes().I32(0); }
  static Bytes NoMorphs() { return Bytes().I32(0); }
};

}  // namespace

TEST_F(IScene, PalettesBecomeRgbaWithHalfAlpha) {
  uint8_t e[8] = {255, 10, 20, 30, 0, 1, 2, 3};
  ZeSceneReadPalette(e, 2);
  const uint8_t want[8] = {30, 20, 10, 127, 3, 2, 1, 0};
  EXPECT_EQ(memcmp(e, want, 8), 0);
  EXPECT_EQ(ZeSceneSwapRB(0x11223344u), 0x11443322u);
}

TEST_F(IScene, ADescribedSceneLoadsOntoTheHeapAndIsReleased) {
  SceneDesc d;
  d.textures = {SceneTexture(16, 16), SceneTexture(16, 16, ZETEX_PAL4)};
  SceneMaterial a, b;
  a.texture = 1;
  a.vtxcol = b.vtxcol = 1;
  b.texture = -1;
  b.chain = 1;
  d.materials = {a, b};
  SceneObject o;
  o.geoms = {Square(0, 2, 0xff0000ffu)};
  SceneObject sp;
  sp.kind = ZEGOBJ_SIZEDSPRITES;
  SceneSpriteSet set;
  set.material = 1;
  set.size = 2.5f;
  set.sprites = {{{0, 1, 0}, 1, 1, 0xffffffffu}};
  sp.sets = {set};
  d.objects = {o, sp};
  SceneInstance in;
  in.object = 1;
  in.mtx = Translation(1, 2, 3);
  in.animated = true;
  in.anim.rate = 2;
  d.instances = {in};
  d.splines = {{"Path", {{1, 2, 3}, {4, 5, 6}}}};
  d.ids = {42};
  std::string error;
  ASSERT_TRUE(SceneWriteGsc0(d, "S.GS0", &error)) << error;
  SceneDescFree(&d);
  ZESCENE* s = ZeSceneLoad("S.GS0");
  ASSERT_NE(s, nullptr);
  ZEGSCENE* g = s->body;
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(s->texids.get(), nullptr);  // the 16-bit table is freed; the body keeps 32-bit copies
  ASSERT_EQ(g->ntex, 2);
  EXPECT_GT(g->texids[1], 0);
  EXPECT_EQ(g->nmtl, 2);
  EXPECT_EQ(g->mtls[0]->texture, g->texids[1]);
  EXPECT_EQ(g->mtls[1]->texture, 0);
  EXPECT_EQ(g->mtls[1]->chain.get(), g->mtls[0].get());
  ASSERT_EQ(g->ngobj, 2);
  const ZEGEOM* geom = g->gobjs[0]->geometries;
  ASSERT_NE(geom, nullptr);
  EXPECT_NE(geom->dmastream.get(), nullptr);
  EXPECT_EQ(geom->vtx[0].colour, 0xff0000ffu);  // stored blue-low by the writer, red-low again once read
  EXPECT_EQ(g->gobjs[0]->tricount, 2);
  ASSERT_NE(g->gobjs[1]->faceons.get(), nullptr);
  EXPECT_EQ(g->gobjs[1]->faceons->size, 2.5f);
  EXPECT_NE(g->gobjs[1]->faceons->dma.get(), nullptr);
  ASSERT_EQ(g->ninst, 1);
  EXPECT_EQ(g->insts[0].anim.get(), g->instanims.get());
  EXPECT_EQ(g->instanims[0].mtx.m[3][2], 3.0f);
  EXPECT_EQ(g->instanims[0].rate, 2.0f);
  ASSERT_EQ(g->nspline, 1);
  EXPECT_STREQ(g->splines[0].name.get(), "Path");  // the intermediate form keeps the case
  EXPECT_NE(g->splinedata.get(), nullptr);
  EXPECT_EQ(g->nids, 1);
  ZeSceneDestroy(s);
  EXPECT_EQ(zegobj_list, nullptr);
}

TEST_F(IScene, EmptyTextureSetsAndUnknownBlocks) {
  Bytes tst;
  tst.Block("TSH0", Bytes().I32(0));
  Bytes inner;
  inner.Block("TST0", tst).Block("ABCD", Bytes().I32(1));
  PutGsc0("E.GS0", inner);
  ZESCENE* s = ZeSceneLoad("E.GS0");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->body->ntex, 0);
  EXPECT_EQ(s->body->texids.get(), nullptr);
  ZeSceneDestroy(s);
}

TEST_F(IScene, ALiteralNameIsNeverWrittenTo) {
  // Lower-casing the caller's string in place would fault on a literal.
  EXPECT_EQ(ZeSceneLoad("NO_SUCH_FILE.GS0"), nullptr);
}

TEST_F(IScene, RefusedForms) {
  Bytes old;
  old.Block("ZE20", Bytes().I32(6));
  Put("OLD.GS0", old.b);
  EXPECT_SCENE_HALT(ZeSceneLoad("OLD.GS0"), "ZeScene no longer supported.");
  Bytes gst;
  gst.I32(0);
  Bytes twice;
  twice.Block("GST0", gst).Block("GST0", gst);
  PutGsc0("TWO.GS0", twice);
  EXPECT_SCENE_HALT(ZeSceneLoad("TWO.GS0"), "ReadZeIFFGobjSet : Object already defined!");
  Bytes prim;
  prim.I32(1).I32(1).I32(0).Zeros(12).I32(1).I32(0).I32(3).Zeros(108).I32(0).I32(1).I32(9).I32(0);
  Bytes bad;
  bad.Block("MS00", Materials(1)).Block("GST0", prim);
  PutGsc0("PRIM.GS0", bad);
  EXPECT_SCENE_HALT(ZeSceneLoad("PRIM.GS0"), "Unknown primitive type");
  Bytes spr;
  spr.I32(1).I32(1).I32(ZEGOBJ_SPRITES).I32(1).I32(0).I32(0).I32(0).I32(2);
  Bytes lit;
  lit.Block("MS00", Materials(1)).Block("GST0", spr);
  PutGsc0("LIT.GS0", lit);
  EXPECT_SCENE_HALT(ZeSceneLoad("LIT.GS0"), "Cannot have prelight sets on characters (you fool).");
}

TEST_F(IScene, MorphTargetsTakeRunsForThePresentOnes) {
  Bytes morph;
  morph.I32(3).I32(10).I32(20).I32(30).I32(72).Zeros(72).Raw("\1\0\1", 3);
  Bytes gst;
  gst.I32(1).I32(5).I32(ZEGOBJ_MESH).Zeros(12).I32(1);
  Geometry(gst, NoSkins(), morph);
  Bytes inner;
  inner.Block("MS00", Materials(1)).Block("GST0", gst);
  PutGsc0("MO.GS0", inner);
  ZESCENE* s = ZeSceneLoad("MO.GS0");
  ASSERT_NE(s, nullptr);
  const ZEMORPH* m = s->body->gobjs[0]->geometries->morph;
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->count, 3);
  EXPECT_EQ(m->values[2], 30);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(m->offsets[0].get()), m->data.get());
  EXPECT_EQ(m->offsets[1].get(), nullptr);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(m->offsets[2].get()), m->data.get() + 3 * 12);
  ZeSceneDestroy(s);
}

TEST_F(IScene, SpritesOfAnObjectWhoseFirstGeometryIsSkinnedAreBuilt) {
  // A skin record: first vertex 0, 3 vertices, one matrix (id 0), weights 1.
  Bytes skin;
  skin.I32(1).Raw("\0", 1).I32(0).I32(3).I32(1).I32(0).F32(1).F32(1).F32(1);
  Bytes gst;
  gst.I32(1).I32(9).I32(ZEGOBJ_MESHSPRITES).Zeros(12).I32(1);
  Geometry(gst, skin, NoMorphs());
  gst.I32(1).I32(0).I32(1).I32(0).F32(1).Zeros(12).I32(0);
  ZEFACEON sprite = {{0, 0, 0}, 1, 1, 0xffffffffu};
  gst.Raw(&sprite, 24);
  Bytes inner;
  inner.Block("MS00", Materials(1)).Block("GST0", gst);
  PutGsc0("SK.GS0", inner);
  ZESCENE* s = ZeSceneLoad("SK.GS0");
  ASSERT_NE(s, nullptr);
  const ZEGOBJ* o = s->body->gobjs[0];
  ASSERT_NE(o->geometries->skins.get(), nullptr);
  EXPECT_EQ(o->geometries->dmastream.get(), nullptr);  // no mesh packets for a skinned geometry
  ASSERT_NE(o->faceons.get(), nullptr);
  EXPECT_NE(o->faceons->dma.get(), nullptr);
  ZeSceneDestroy(s);
}
