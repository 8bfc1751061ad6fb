// Terrain sets: the writer and loader round trip, the load fix-ups, the
// grid, wall spline runs, platform binding, the pickup set and stamping,
// track records, and every check of a damaged or oversized file.
#include "terrain_test.h"

#include <filesystem>
#include <fstream>

namespace {

using Terrain = TerrainTest;

TerrItem* Items(TerrSet* s) { return s->items.get(); }
const TerrPolygon* FirstPoly(const TerrItem* it) {
  return reinterpret_cast<const TerrPolygon*>(it->groups.get() + sizeof(TerrGroupHeader));
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}
void WriteAll(const std::string& path, const std::vector<uint8_t>& b) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

std::vector<uint8_t> CrashBlock(const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& entries) {
  std::vector<uint8_t> out(4);
  uint32_t n = uint32_t(entries.size());
  memcpy(out.data(), &n, 4);
  for (auto& [inst, shapes] : entries) {
    std::vector<uint8_t> e(16);
    uint32_t size = uint32_t(16 + shapes.size());
    memcpy(e.data(), &inst, 4);
    memcpy(e.data() + 12, &size, 4);
    e[4] = shapes.empty() ? 0 : 1;  // one shape
    e.insert(e.end(), shapes.begin(), shapes.end());
    out.insert(out.end(), e.begin(), e.end());
  }
  return out;
}

}  // namespace

TEST_F(Terrain, RoundTripFixUpsSplinesAndPlatforms) {
  TestItem a = StaticItem({10, 0, 10}, {Floor(0, 0, 1)});
  TerrWritePoly odd = TPoly({0, 0, 0}, {1, 0, 0}, {0, 0, 1}, 0xFF, 7);  // surface from the group byte
  TerrWritePoly flagged = TPoly({0, 0, 0}, {1, 0, 0}, {0, 0, 1}, 0x85);
  TerrWritePoly wallclass = TPoly({0, 0, 0}, {0, 1, 0}, {0, 0, 1}, 3, 0xF0);
  a.groups.push_back({odd, flagged, wallclass});
  TestItem skipped;
  skipped.kind = 2;
  skipped.points = {{0, 0, 0}, {1, 0, 0}};
  TestItem shortsp, longsp;
  shortsp.kind = longsp.kind = 2;
  for (int i = 0; i <= 5; i++) shortsp.points.push_back({float(i), 0, 0});
  for (int i = 0; i <= 20; i++) longsp.points.push_back({float(i), 0, float(i % 3)});
  TestItem plat = StaticItem({0, 1, 0}, {Floor(0, 0, 1)});
  plat.kind = 1, plat.instance = 2, plat.platword = 1;
  TestItem lost = plat;
  lost.instance = 8;  // not below the scene's instance count
  TestItem b = StaticItem({-5, 0, 3}, {Floor(0, 0, 2)});
  Write("lev", {a, skipped, shortsp, longsp, plat, lost, b});
  // Damage the skipped spline's marker: the section is ignored, the ones
  // after it still start in the right place.
  auto bytes = ReadAll(Path("lev.ter"));
  uint32_t groupsA = 2 * 20 + 4 * 100 + 4;
  bytes[4 + groupsA] ^= 0xFF;
  WriteAll(Path("lev.ter"), bytes);

  TerrSet* s = Load("lev");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->nitems, 4);
  TerrItem* it = Items(s);
  EXPECT_EQ(it[0].kind, 0);
  EXPECT_FLOAT_EQ(it[0].bmin.x, 9) << "static bounds are world bounds";
  EXPECT_FLOAT_EQ(it[0].radsq, 2) << "largest squared vertex distance (all four measured)";
  auto* g2 = reinterpret_cast<const TerrPolygon*>(it[0].groups.get() + 20 + 100 + 20);
  EXPECT_EQ(g2[0].surface, 7);
  EXPECT_EQ(g2[0].group, 0);
  EXPECT_EQ(g2[0].flags, 0x80);
  EXPECT_EQ(g2[1].surface, 5);
  EXPECT_EQ(g2[1].flags, 0x40);
  EXPECT_EQ(g2[2].group, 0);
  EXPECT_EQ(g2[2].steep & 0x7C, 4) << "group 0xF0 is wall class 1";
  EXPECT_EQ(g2[2].steep & 1, 1) << "a vertical triangle is steep";
  EXPECT_EQ(FirstPoly(&it[0])->steep & 3, 0) << "a floor is not";
  // Platforms: bound by scene instance; the unbindable one is off but in
  // the platform bucket.
  EXPECT_EQ(it[1].kind, 1);
  EXPECT_EQ(it[1].link, 0);
  EXPECT_FLOAT_EQ(it[1].bmin.x, -1) << "platform bounds stay relative";
  EXPECT_EQ(s->plat[0].item, 1);
  EXPECT_EQ(s->plat[0].sceneid, 2);
  EXPECT_EQ(s->plat[0].flags, 1u);
  EXPECT_EQ(s->plat[0].live.get(), &insts[2].mtx);
  EXPECT_EQ(it[2].kind, -1);
  EXPECT_FALSE(s->plat[1].live);
  EXPECT_EQ(s->buckets[TERR_PLAT_BUCKET].count, 2);
  EXPECT_EQ(s->index[s->buckets[TERR_PLAT_BUCKET].first], 1);
  // Splines: the last read first; the short one unbounded, the long one
  // with bounds in its first run.
  ASSERT_TRUE(s->splines);
  uint8_t* first = s->splines;
  uint16_t segs;
  memcpy(&segs, first + 4, 2);
  EXPECT_EQ(segs, 20);
  auto* pt = reinterpret_cast<ZEVEC*>(first + 8);
  EXPECT_FLOAT_EQ(pt[0].y, 0);
  EXPECT_FLOAT_EQ(pt[1].y, 16);
  EXPECT_FLOAT_EQ(pt[2].y, 0);
  EXPECT_FLOAT_EQ(pt[3].y, 2);
  EXPECT_EQ(pt[16].y, TERR_RUN_UNBOUNDED) << "the shorter last run";
  EePtr<uint8_t> next;
  memcpy(&next, first, 4);
  ASSERT_TRUE(next);
  memcpy(&segs, next.get() + 4, 2);
  EXPECT_EQ(segs, 5);
  EXPECT_EQ(reinterpret_cast<ZEVEC*>(next.get() + 8)[0].y, TERR_RUN_UNBOUNDED);
  EePtr<uint8_t> end;
  memcpy(&end, next.get(), 4);
  EXPECT_FALSE(end) << "the unmarked section was not linked";
  EXPECT_EQ(s->nbuckets, 2);
}

TEST_F(Terrain, GridOneCellAndZeroWidth) {
  // All items on one x: a zero-wide extent puts them in column 0 (no
  // division by zero); and they share one cell.
  Write("line", {StaticItem({0, 0, 0}, {Floor(0, 0, 0)}), StaticItem({0, 0, 0}, {Floor(0, 0, 0)})});
  TerrSet* s = Load("line");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->nbuckets, 1);
  EXPECT_EQ(s->buckets[0].count, 2);
  // Items spread: every static item lands in exactly one bucket.
  std::vector<TestItem> many;
  for (int i = 0; i < 60; i++) many.push_back(StaticItem({float(i % 9) * 7, 0, float(i / 9) * 5}, {Floor(0, 0, 1)}));
  Write("grid", many);
  bufpos = buf;
  s = Load("grid");
  int total = 0;
  for (int b = 0; b < s->nbuckets; b++) total += s->buckets[b].count;
  EXPECT_EQ(total, 60);
  EXPECT_GT(s->nbuckets, 1);
  EXPECT_LE(s->nbuckets, 49);
}

TEST_F(Terrain, MissingFileGivesNullAndClearsLastCrashData) {
  TestItem crash;
  crash.kind = 3;
  crash.data = CrashBlock({});
  Write("withcrash", {StaticItem({}, {Floor(0, 0, 1)}), crash});
  ASSERT_NE(Load("withcrash"), nullptr);
  EXPECT_NE(CrashDataPtr(), nullptr);
  uint8_t* before = bufpos;
  EXPECT_EQ(Load("nothing"), nullptr);
  EXPECT_EQ(bufpos, before) << "buffer position set back";
  EXPECT_EQ(CrashDataPtr(), nullptr) << "no special terrain from the last level's buffer";
  EXPECT_EQ(CreateSpecialTerrainData(scene, &bufpos, buf + bufsize), nullptr);
}

TEST_F(Terrain, FileLargerThanTheBufferIsFatal) {
  std::vector<TerrWritePoly> polys;
  for (int i = 0; i < 200; i++) polys.push_back(Floor(float(i), 0, 0.5f));
  Write("big", {StaticItem({}, polys)});
  uint8_t* end = buf + sizeof(TerrSet) + sizeof(TerrItem) * TERR_SLOTS + 1000;
  EXPECT_HALT(Load("big", end), "Terrain (big.ter) has overflowed the level buffer");
  uint8_t* tiny = buf + 100;
  EXPECT_HALT(Load("big", tiny), "has overflowed the level buffer");
}

TEST_F(Terrain, DamagedFilesAreFatalNamingTheFile) {
  Write("good", {StaticItem({}, {Floor(0, 0, 1), Floor(3, 0, 1)}), StaticItem({}, {Floor(0, 0, 1)})});
  auto good = ReadAll(Path("good.ter"));
  uint32_t T;
  memcpy(&T, good.data(), 4);
  size_t table = size_t(T) * 2;
  struct Case {
    const char* what;
    size_t at;
    std::vector<uint8_t> bytes;
    const char* expect;
  };
  auto u32 = [](uint32_t v) { return std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; };
  auto u16 = [](uint16_t v) { return std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8)}; };
  const Case cases[] = {
      {"table past the end", 0, u32(uint32_t(good.size())), "bad section table"},
      {"table odd", 0, u32(T + 1), "bad section table"},
      {"count past the end", table, u16(500), "bad section count"},
      {"count zero", table, u16(0), "bad section count"},
      {"section past the table", table + 4, u32(T), "past the section table"},
      {"group count past the section", 4 + 2, u16(3), "past their section"},
      {"negative group count", 4 + 2, u16(0xFFFF), "negative polygon count"},
  };
  for (const Case& c : cases) {
    auto b = good;
    std::copy(c.bytes.begin(), c.bytes.end(), b.begin() + long(c.at));
    WriteAll(Path("bad.ter"), b);
    bufpos = buf;
    SCOPED_TRACE(c.what);
    EXPECT_HALT(Load("bad"), c.expect);
  }
  // A section length that is not a whole number of words puts the next
  // section off its boundary.
  auto b = good;
  uint32_t len;
  memcpy(&len, &b[table + 4], 4);
  len -= 1;
  memcpy(&b[table + 4], &len, 4);
  WriteAll(Path("bad.ter"), b);
  bufpos = buf;
  EXPECT_HALT(Load("bad"), "bad.ter");
  // Truncated file: the table is cut off.
  b.resize(good.size() - 10);
  WriteAll(Path("bad.ter"), b);
  bufpos = buf;
  EXPECT_HALT(Load("bad"), "is damaged");
  WriteAll(Path("bad.ter"), {});
  bufpos = buf;
  EXPECT_HALT(Load("bad"), "is damaged: empty file");
}

TEST_F(Terrain, SplineAndCrashChecks) {
  TestItem sp;
  sp.kind = 2;
  sp.points = {{0, 0, 0}, {1, 0, 0}};
  Write("sp", {sp});
  auto good = ReadAll(Path("sp.ter"));
  auto b = good;
  b[8] = b[9] = 0;  // 0 points would wrap to 65,535 segments
  WriteAll(Path("bad.ter"), b);
  EXPECT_HALT(Load("bad"), "wall spline without points");
  b = good;
  b[8] = 3;  // three points in room for two
  WriteAll(Path("bad.ter"), b);
  bufpos = buf;
  EXPECT_HALT(Load("bad"), "points run past their section");

  std::vector<uint8_t> sphere(24);
  uint32_t one = 1;
  memcpy(sphere.data(), &one, 4);
  struct Case {
    const char* what;
    std::vector<uint8_t> data;
    const char* expect;
  };
  auto entries = CrashBlock({{0, sphere}});
  auto manyentries = entries;
  manyentries[0] = 2;
  auto badsize = entries;
  badsize[4 + 12] = 200;
  auto typezero = entries;
  typezero[4 + 16] = 0;
  auto shapes = entries;
  shapes[4 + 4] = 2;  // two shapes in room for one
  const Case cases[] = {{"entries", manyentries, "crash entries run past"},
                        {"entry size", badsize, "bad crash entry size"},
                        {"type 0", typezero, "type 0"},
                        {"shapes", shapes, "crash shapes run past"}};
  for (const Case& c : cases) {
    TestItem cr;
    cr.kind = 3;
    cr.data = c.data;
    Write("cr", {cr});
    bufpos = buf;
    SCOPED_TRACE(c.what);
    EXPECT_HALT(Load("cr"), c.expect);
  }
}

TEST_F(Terrain, MoreThan2048ItemsIsFatal) {
  std::vector<TestItem> items(2049, StaticItem({}, {}));
  Write("huge", items);
  EXPECT_HALT(Load("huge"), "Terrain (huge.ter) holds more than 2048 items");
}

TEST_F(Terrain, PickupSetMapStampingAndTracks) {
  uint8_t* p = buf;
  terrainpickupinit("generic\\pickups", &p, buf + bufsize);  // missing: empty set
  ASSERT_NE(PickupTerr, nullptr);
  EXPECT_EQ(PickupTerr->nitems, 0);
  for (int16_t m : PickupTerr->map) ASSERT_EQ(m, -1);

  std::vector<TestItem> shapes;
  for (int i = 0; i < 3; i++) {
    TestItem s = StaticItem({}, {TPoly({-1, 0, -1}, {1, 0, -1}, {-1, 0, 1}, 0xFF, uint8_t(9 + i))});
    s.shapeid = i == 2 ? 200 : 5 + i;  // 200 is no shape id
    shapes.push_back(s);
  }
  std::filesystem::create_directories(Path("generic"));
  Write("generic/pickups", shapes);
  p = buf;
  terrainpickupinit("generic\\pickups", &p, buf + bufsize);
  EXPECT_EQ(PickupTerr->nitems, 3);
  EXPECT_EQ(PickupTerr->map[5], 0);
  EXPECT_EQ(PickupTerr->map[6], 1);
  EXPECT_EQ(PickupTerr->items.get()[1].link, 1);
  EXPECT_EQ(FirstPoly(PickupTerr->items.get() + 1)->surface, 10) << "the 0xFF rule";
  std::vector<TestItem> toomany(33, shapes[0]);
  Write("many", toomany);
  uint8_t* q = p;
  EXPECT_HALT(terrainpickupinit("many", &q, buf + bufsize), "more than 32 items");

  // No current set: nothing is stamped.
  noterraininit();
  ZEVEC at = {1, 2, 3};
  AddPickupTerr(5, &at);
  EXPECT_EQ(curPickInst, 0);
  ZEMTX m;
  ZeMtxSetIdentity(&m);
  EXPECT_EQ(AddPickupTerrRot(5, &m, nullptr, 1), -1);
  ReassignPickupInst(0, 5);

  bufpos = p;
  Write("lev", {StaticItem({}, {Floor(0, 0, 1)})});
  TerrSet* s = Load("lev");
  ASSERT_NE(s, nullptr);
  for (int i = 0; i < 130; i++) AddPickupTerr(i % 2 ? 5 : 6, &at);
  EXPECT_EQ(curPickInst, 128) << "128 statics a frame";
  AddPickupTerr(7, &at);
  AddPickupTerr(-1, &at);
  AddPickupTerr(128, &at);
  EXPECT_EQ(curPickInst, 128);
  EXPECT_FLOAT_EQ(Items(s)[TERR_ITEMS].pos.y, 2);
  EXPECT_EQ(Items(s)[TERR_ITEMS].groups.get(), PickupTerr->items.get()[1].groups.get());

  uint8_t owner[4][2] = {}, other[2] = {};
  for (auto& o : owner) {
    TerrTrack* t = AllocTerrId();
    ASSERT_NE(t, nullptr);
    t->owner = o;
  }
  EXPECT_EQ(AllocTerrId(), nullptr);
  EXPECT_EQ(ScanTerrId(owner[2]), &s->track[2]);
  EXPECT_EQ(ScanTerrId(other), nullptr);
  TerrainTrackFlush();
  EXPECT_NE(AllocTerrId(), nullptr);
}
