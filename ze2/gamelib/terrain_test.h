// Test fixtures of the collision modules: levels described in code, written
// through the engine's writer into a temporary directory and loaded back
// into EE memory; a scene of instances for platforms and special terrain.
#pragma once

#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "gamelib.h"
#include "platform_test.h"
#include "zecore.h"
#include "zecore_local.h"
#include "ze3d.h"
#include "zeps2.h"

// A triangle or quad with the normals the gathering recomputes for turned
// copies: A = (v2 - v0) x (v1 - v0), B = (v1 - v3) x (v2 - v3).
inline TerrWritePoly TPoly(ZEVEC a, ZEVEC b, ZEVEC c, uint8_t surface = 1, uint8_t group = 0) {
  TerrWritePoly p{};
  p.v[0] = a, p.v[1] = b, p.v[2] = c, p.v[3] = c;
  ZEVEC e1, e2;
  ZeVecSub(&e1, &c, &a);
  ZeVecSub(&e2, &b, &a);
  ZeVecCross(&p.na, &e1, &e2);
  ZeVecNorm(&p.na, &p.na);
  p.surface = surface, p.group = group;
  return p;
}
inline TerrWritePoly QPoly(ZEVEC a, ZEVEC b, ZEVEC c, ZEVEC d, uint8_t surface = 1, uint8_t group = 0) {
  TerrWritePoly p = TPoly(a, b, c, surface, group);
  p.quad = 1;
  p.v[3] = d;
  ZEVEC e1, e2;
  ZeVecSub(&e1, &b, &d);
  ZeVecSub(&e2, &c, &d);
  ZeVecCross(&p.nb, &e1, &e2);
  ZeVecNorm(&p.nb, &p.nb);
  return p;
}
// A horizontal square floor (facing up) of half-size h at height y around
// (cx, cz), item-relative.
inline TerrWritePoly Floor(float cx, float cz, float h, float y = 0, uint8_t surface = 1, uint8_t group = 0) {
  return QPoly({cx - h, y, cz - h}, {cx + h, y, cz - h}, {cx - h, y, cz + h}, {cx + h, y, cz + h}, surface, group);
}

struct TestItem {
  int kind = 0;
  ZEVEC pos{};
  int instance = 0;
  uint32_t platword = 0;
  int shapeid = 0;
  std::vector<std::vector<TerrWritePoly>> groups;
  std::vector<ZEVEC> points;
  std::vector<uint8_t> data;
};

struct TerrainTest : testing::Test {
  std::string dir = TestTempDir();
  uint8_t* buf = nullptr;
  int bufsize = 8 << 20;
  uint8_t* bufpos = nullptr;
  ZEGSCNINST* insts = nullptr;
  ZEGSCENE* scene = nullptr;

  void SetUp() override {
    PlatSetHostRoot(dir.c_str());
    ZeFileReset();
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    errmsg_disabled = 1;
    ZeTrigInit();
    ZeScratchReset();
    buf = static_cast<uint8_t*>(EeMalloc(size_t(bufsize)));
    bufpos = buf;
    insts = static_cast<ZEGSCNINST*>(EeMalloc(sizeof(ZEGSCNINST) * 8));
    scene = static_cast<ZEGSCENE*>(EeMalloc(sizeof(ZEGSCENE)));
    memset(insts, 0, sizeof(ZEGSCNINST) * 8);
    for (int i = 0; i < 8; i++) {
      ZeMtxSetIdentity(&insts[i].mtx);
      insts[i].flags = 5;
    }
    scene->ninst = 8;
    scene->insts = insts;
  }
  void TearDown() override {
    noterraininit();
    PickupTerr = nullptr;
    SpecialTerrainSetCur(nullptr);
    wallover = 0;
    TerrWallDeflectYScale = 0;
    EeFree(buf);
    EeFree(insts);
    EeFree(scene);
    ZeFileReset();
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    PlatSetHostRoot(nullptr);
    errmsg_disabled = 0;
  }

  // Writes the items as "<name>.ter" through the engine's writer.
  void Write(const char* name, const std::vector<TestItem>& items, int flagsword = 0) {
    std::vector<TerrWriteSection> sec(items.size());
    std::vector<std::vector<TerrWriteGroup>> groups(items.size());
    for (size_t i = 0; i < items.size(); i++) {
      const TestItem& it = items[i];
      for (auto& g : it.groups) groups[i].push_back({g.data(), int(g.size())});
      TerrWriteSection& s = sec[i];
      s = {};
      s.kind = it.kind, s.pos = it.pos, s.instance = it.instance, s.platword = it.platword, s.shapeid = it.shapeid;
      s.groups = groups[i].data(), s.ngroups = int(groups[i].size());
      s.points = it.points.data(), s.npoints = int(it.points.size());
      s.data = it.data.data(), s.datasize = int(it.data.size());
    }
    std::string file = std::string(name) + ".ter";
    ASSERT_EQ(TerrWriteFile(file.c_str(), sec.data(), int(sec.size()), flagsword), 1);
  }
  TerrSet* Load(const char* name, uint8_t* end = nullptr) {
    TerrSet* s = terraininit(0, &bufpos, end ? end : buf + bufsize, 0, name, scene, 0);
    TerrainSetCur(s);
    return s;
  }
  // The host path of a file the engine wrote (the file layer upper-cases
  // names); names not written yet are given as they are.
  std::string Path(const char* name) {
    std::string up = name;
    for (char& c : up) c = char(toupper(c));
    if (std::filesystem::exists(dir + "/" + up)) return dir + "/" + up;
    return dir + "/" + name;
  }
};

inline TestItem StaticItem(ZEVEC pos, std::vector<TerrWritePoly> polys) {
  TestItem it;
  it.pos = pos;
  it.groups.push_back(std::move(polys));
  return it;
}
