// Model memory images: written from heap objects, read in place, relocated,
// refused when damaged; the debug duplicate and compare.
#include "zehgobj_test.h"

namespace {

struct Ghg : Hgo {
  // A model written as an image file; its bytes.
  std::vector<uint8_t> Image(const HgoModel& m, const std::vector<Bytes>& coll = {}, const char* name = "M.GHG") {
    ZEHGOBJ* o = LoadModel(HgoFile(HgoInner(m, coll)));
    EXPECT_NE(o, nullptr);
    ZeGHGWrite(o, name, 1 << 20);
    return Get(name);
  }
  ZEHGOBJ* Read(const std::vector<uint8_t>& bytes, char** pos, char* end, const char* name = "R.GHG") {
    Put(name, bytes);
    ZEHGOBJ* o = ZeGHGRead(name, pos, end);
    if (o) objs.push_back(o);
    return o;
  }
  ZEHGOBJ* ReadFresh(const std::vector<uint8_t>& bytes, const char* name = "R.GHG") {
    char* end;
    char* pos = Buffer(bytes.size() + 65536, &end);
    return Read(bytes, &pos, end, name);
  }
};

void ExpectSameModel(const ZEHGOBJ* a, const ZEHGOBJ* b) {
  ASSERT_EQ(a->njoint, b->njoint);
  for (int j = 0; j < a->njoint; j++) {
    EXPECT_EQ(a->joints[j].parent, b->joints[j].parent);
    EXPECT_EQ(memcmp(&a->restmtx[j], &b->restmtx[j], 64), 0);
    EXPECT_EQ(memcmp(&a->skinmtx[j], &b->skinmtx[j], 64), 0);
    EXPECT_STREQ(a->joints[j].name ? a->joints[j].name.get() : "-", b->joints[j].name ? b->joints[j].name.get() : "-");
  }
  ASSERT_EQ(a->jointmapsize, b->jointmapsize);
  EXPECT_EQ(memcmp(a->jointmap, b->jointmap, a->jointmapsize), 0);
  ASSERT_EQ(a->npoint, b->npoint);
  for (int p = 0; p < a->npoint; p++) EXPECT_EQ(a->points[p].joint, b->points[p].joint);
  ASSERT_EQ(a->nlayer, b->nlayer);
  for (int l = 0; l < a->nlayer; l++) {
    for (auto field : {&ZEHGOBJLAYER::objects, &ZEHGOBJLAYER::objects2}) {
      const EePtr<ZEGOBJ>* x = a->layers[l].*field;
      const EePtr<ZEGOBJ>* y = b->layers[l].*field;
      ASSERT_EQ(x == nullptr, y == nullptr);
      for (int j = 0; x && j < a->njoint; j++) {
        ASSERT_EQ(x[j] == nullptr, y[j] == nullptr);
        if (!x[j]) continue;
        const ZEGEOM* g = x[j]->geometries;
        const ZEGEOM* h = y[j]->geometries;
        for (; g; g = g->next, h = h->next) {
          ASSERT_NE(h, nullptr);
          EXPECT_EQ(memcmp(g->dmastream.get(), h->dmastream.get(), size_t(g->dmalen)), 0);
        }
        const ZEFACEONGEOM* f = x[j]->faceons;
        const ZEFACEONGEOM* e = y[j]->faceons;
        for (; f; f = f->next, e = e->next) {
          ASSERT_NE(e, nullptr);
          EXPECT_EQ(e->count, f->count);
          EXPECT_EQ(memcmp(f->dma.get(), e->dma.get(), size_t(f->count) * 16), 0);
        }
      }
    }
  }
  EXPECT_EQ(a->sphere_radius, b->sphere_radius);
  EXPECT_EQ(memcmp(&a->boxmin, &b->boxmin, 24), 0);
  EXPECT_EQ(a->cyl_radius, b->cyl_radius);
  EXPECT_EQ(a->nmtl, b->nmtl);
}

TEST_F(Ghg, AnImageReadsBackAsTheObjectAndRelocatesIndependentlyOfItsOldBuffer) {
  HgoModel m = HgoTwoJoints();
  ZEHGOBJ* heap = LoadModel(HgoFile(HgoInner(m, {HgoCollSphere({0, 0, 0}, 0.25f, 1)})));
  ZeGHGWrite(heap, "A.GHG", 1 << 20);
  const std::vector<uint8_t> bytes = Get("A.GHG");
  ASSERT_GE(bytes.size(), sizeof(ZEGHGHEADER));
  char* end;
  char* start = Buffer(bytes.size() + 65536, &end);
  char* pos = start + 4;
  ZEHGOBJ* img = Read(bytes, &pos, end);
  ASSERT_NE(img, nullptr);
  EXPECT_EQ(img->imagetag, uint32_t(ZEHGOBJ_TAG_IMAGE));
  EXPECT_EQ(img->imagestart.get(), start + 16);
  EXPECT_EQ(img->imageend.get(), pos);
  EXPECT_EQ(uintptr_t(pos) % 16, 0u);
  ExpectSameModel(heap, img);
  EXPECT_EQ(img->points[0].name.get(), nullptr);  // unnamed reads back as null
  ASSERT_NE(img->collision.get(), nullptr);
  EXPECT_EQ(img->collision->entries[0].shape->joint, 1);
  EXPECT_EQ(img->collision->entries[0].shape->radius, 0.25f);
  EXPECT_EQ(img->shadows[0].nellipsoid, 1);
  EXPECT_EQ(img->shadows[1].joint, 255);
  EXPECT_EQ(img->layers[0].objects[1]->geometries->mtl.get(), img->mtls[0].get());

  char* end2;
  char* pos2 = Buffer(bytes.size() + 65536, &end2);
  ZEHGOBJ* moved = ZeGHGRelocate(img, &pos2);
  objs.push_back(moved);
  // The old copy goes: its materials first, then its buffer.
  objs.erase(std::find(objs.begin(), objs.end(), img));
  ZeHGobjDestroy(img);
  memset(start, 0xcd, size_t(end - start));
  ExpectSameModel(heap, moved);
  EXPECT_EQ(moved->layers[0].objects[1]->geometries->mtl.get(), moved->mtls[0].get());
  EXPECT_EQ(moved->collision->entries[0].shape->joint, 1);
  EXPECT_STREQ(moved->joints[1].name.get(), "arm");
}

TEST_F(Ghg, SpritePacketsKeepTheirOwnLengths) {
  // Sets of very different sizes: each copied with its own length.
  HgoModel m = HgoTwoJoints();
  m.sprites = {40, 2};
  ZEHGOBJ* heap = LoadModel(HgoFile(HgoInner(m)));
  ZeGHGWrite(heap, "S.GHG", 1 << 20);
  ZEHGOBJ* img = ReadFresh(Get("S.GHG"));
  ASSERT_NE(img, nullptr);
  ExpectSameModel(heap, img);
  for (int j = 0; j < 2; j++) {
    const ZEFACEONGEOM* f = heap->layers[0].objects2[j]->faceons;
    const ZEFACEONGEOM* e = img->layers[0].objects2[j]->faceons;
    int bytes = 16;
    for (const uint32_t* t = f->dma; (t[0] >> 28 & 7) != 6; t += 4 + (t[0] & 0xffff) * 4) bytes += 16 + int(t[0] & 0xffff) * 16;
    EXPECT_EQ(memcmp(f->dma.get(), e->dma.get(), size_t(bytes)), 0) << j;
  }
}

TEST_F(Ghg, AnImageWithNothingOptionalLoadsEmpty) {
  HgoModel m;
  m.joints.clear();
  ZEHGOBJ* img = ReadFresh(Image(m));
  ASSERT_NE(img, nullptr);
  EXPECT_EQ(img->ntex, 0);
  EXPECT_EQ(img->texids.get(), nullptr);
  EXPECT_EQ(img->njoint, 0);
  EXPECT_EQ(img->points.get(), nullptr);
  EXPECT_EQ(img->collision.get(), nullptr);
  EXPECT_EQ(img->shadows.get(), nullptr);
  EXPECT_EQ(img->texanims.get(), nullptr);
  EXPECT_EQ(img->nmtl, 1);
  EXPECT_EQ(img->mtls[0]->chain.get(), nullptr);
  EXPECT_EQ(img->mtls[0]->texture, 0);
  EXPECT_EQ(img->sphere_radius, 2.0f);
  EXPECT_EQ(img->extra, 1.0f);
}

TEST_F(Ghg, VersionsOtherThanZeroStopWithTheirOwnMessages) {
  std::vector<uint8_t> bytes = Image(HgoTwoJoints());
  const struct {
    int32_t version;
    const char* message;
  } cases[] = {{-1, "GHG file is out of date - needs to be reconverted (FILE VER:-1 SYS VER:0)"},
               {1, "GHG loader is out of date - need newer 3d system (FILE VER:1 SYS VER:0)"}};
  for (const auto& c : cases) {
    memcpy(&bytes[4], &c.version, 4);
    EXPECT_SCENE_HALT(ReadFresh(bytes), c.message);
  }
}

TEST_F(Ghg, TheRoomIsCheckedBeforeAnythingIsPlacedBehindTheImage) {
  const std::vector<uint8_t> bytes = Image(HgoTwoJoints());
  char* end;
  char* start = Buffer(bytes.size() + 4096, &end);
  // Room for the image and a little: not for the record and its arrays.
  char* limit = start + ((bytes.size() + 15) & ~size_t(15)) + 32;
  memset(start, 0x5a, size_t(end - start));
  char* pos = start;
  EXPECT_SCENE_HALT(Read(bytes, &pos, limit), "ZeGHGReadEx - buffer overflow by");
  for (char* p = limit; p < end; p++) ASSERT_EQ(*p, 0x5a) << "written past the end at " << (p - limit);
  // Too small for the file itself: null, position unchanged.
  pos = start;
  EXPECT_EQ(Read(bytes, &pos, start + 64), nullptr);
  EXPECT_EQ(pos, start);
}

TEST_F(Ghg, RelocatingAHeapObjectStops) {
  ZEHGOBJ* heap = LoadModel(HgoFile(HgoInner(HgoTwoJoints())));
  char* end;
  char* pos = Buffer(4096, &end);
  EXPECT_SCENE_HALT(ZeGHGRelocate(heap, &pos), "Attempted to relocate a dynamically allocated HGO");
}

TEST_F(Ghg, DestroyingAnImageObjectKeepsItsRecord) {
  ZEHGOBJ* img = ReadFresh(Image(HgoTwoJoints()));
  objs.pop_back();
  EXPECT_EQ(ZeHGobjDestroy(img), 1);
  EXPECT_EQ(img->imagetag, uint32_t(ZEHGOBJ_TAG_IMAGE));
  EXPECT_EQ(img->njoint, 2);
}

TEST_F(Ghg, DamagedImagesStopNamingTheFile) {
  const std::vector<uint8_t> good = Image(HgoTwoJoints(), {HgoCollSphere({0, 0, 0}, 0.25f, 1)});
  ZEGHGHEADER h;
  memcpy(&h, good.data(), sizeof h);
  auto word = [&](int at) { return int32_t(good[size_t(at)] | good[size_t(at) + 1] << 8 | good[size_t(at) + 2] << 16 | good[size_t(at) + 3] << 24); };
  const int layer0 = h.layers;
  const int objects = word(layer0 + 4);
  const int obj1 = word(objects + 4);
  const int stub = word(obj1 + 12);
  const int coll = h.collision;
  const struct {
    int at;
    int32_t value;
    const char* what;
  } cases[] = {
      {0, int32_t(good.size()) + 4, "size word"},
      {24, 300, "joint count"},
      {28, int32_t(good.size()) - 16, "joints"},
      {28, 8, "joints"},
      {44, 1 << 30, "joint map"},
      {h.jointmap, 7, "joint map entry"},
      {h.joints + 80, 1, "joint parent"},
      {h.joints + 96 + 76, h.names + h.namesize, "joint name"},
      {h.points + 68, 2, "point joint"},
      {h.mtltable, -16, "material"},
      {word(h.mtltable) + ZEGHG_MTL_CHAIN, 2, "material chain"},
      {word(h.mtltable) + ZEGHG_MTL_TEXTURE, 1, "material texture"},
      {layer0 + 4, 3, "joint objects"},
      {objects + 4, obj1 + 2, "object"},
      {obj1 + 76, obj1, "object chain"},
      {stub, stub, "geometry chain"},
      {stub + 4, 1, "geometry material"},
      {stub + 8, word(stub + 8) + 4, "geometry packets"},
      {coll, 1000000, "collision entries"},
      {word(coll + 4) + 4, int32_t(good.size()), "collision shape"},
      {word(word(coll + 4) + 4) + 16, 9, "collision joint"},
      {h.shadows, 0, "shadow ellipsoids"},
      {h.shadows + 12, 0x05000001, "shadow joint"},
      {h.shadows + 16 + 12, 0x00000001, "shadow"},
      {objects, obj1, "object chain"},  // one object on two joints
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bad = good;
    memcpy(&bad[size_t(c.at) & ~size_t(0)], &c.value, 4);
    SCOPED_TRACE(c.what);
    EXPECT_SCENE_HALT(ReadFresh(bad, "BAD.GHG"), c.what);
  }
}

TEST_F(Ghg, TheDuplicateFindsChangesOutsideTheMaterialsOnly) {
  ZEHGOBJ* img = ReadFresh(Image(HgoTwoJoints()));
  HGobjHiDupe(img);
  EXPECT_EQ(img->imagetag & 3u, uint32_t(ZEHGOBJ_TAG_IMAGE));
  EXPECT_NE(img->imagetag & ~3u, 0u);
  EXPECT_EQ(HGobjFindChange(img, 0), 0);
  img->mtls[0]->u_value += 1.0f;  // drawn materials change
  EXPECT_EQ(HGobjFindChange(img, 0), 0);
  img->restmtx[1].m[3][0] = 5;
  EXPECT_EQ(HGobjFindChange(img, 1), 0);
  EXPECT_EQ(HGobjFindChange(img, 0), 1);
  ZeMemFreeTagged(reinterpret_cast<void*>(uintptr_t(img->imagetag & ~3u)));
}

}  // namespace
