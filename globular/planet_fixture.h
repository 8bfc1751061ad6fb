// Test fixture of the planet world: frames, the tool's cube grid, one planet
// made current, the plate module and the levels.
#pragma once

#include "globular.h"
#include "planettool.h"
#include "platform_test.h"

#include <cstring>
#include <filesystem>

struct PlanetWorld : testing::Test {
  static constexpr int SIZE = 16 << 20;
  std::string dir = TestTempDir();
  char* buffer = nullptr;
  char* pos = nullptr;
  char* texslots = nullptr;
  PLANET planet{};
  static const std::vector<uint8_t>& Cube() {
    static const std::vector<uint8_t> image = CubeImage(CubeBuild(CUBE_LEVELS));
    return image;
  }
  void SetUp() override {
    ZeTrigInit();
    errmsg_disabled = 1;
    PlatSetHostRoot(dir.c_str());
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    PlanetToolEngineInit();
    // Room for every surface texture record's texture.
    texslots = static_cast<char*>(EeMalloc(ZeTexGetSysBuffSize(2200) + 16));
    char* t = texslots;
    ZeTexInitEx(&t, 2200);
    buffer = static_cast<char*>(EeMalloc(SIZE));
    pos = buffer;
    FrameInit(&pos, buffer + SIZE);
    std::filesystem::create_directories(dir + "/bin/terra");
    PlanetToolWrite(dir + "/bin/cube.bin", Cube());
    FrCubeInit(&pos, buffer + SIZE);
    strcpy(planet.name, "Terra");
    planet.radius = 11000;
    planet.height = 300;
    planet.seafraction = 0.25f;
    planet.platedepth = 4;
    planet.daylength = 24;
    planet.frame = FrameCreate(FrameGetRoot());
    ZEVEC at{0, 0, -10000};
    ZeMtxSetTranslation(&planet.frame->mtx, &at);
    FrPlanetSetNextPlanet(&planet);
    strcpy(g_planet_path, "terra");
    FrPlateInit(&pos, buffer + SIZE);
    GBLevInit();
    g_cam_frm = nullptr;
    g_cam_mtx = zemtx_identity;
    asyncfileload = 1;
  }
  void TearDown() override {
    GBLevClose();
    FrPlateFreePatchData();
    FrPlateClose();
    FrPlanetSetNextPlanet(nullptr);
    FrCubeClose();
    FrameClose();
    g_cam_frm = nullptr;
    memset(plate_ref, 0, sizeof plate_ref);
    memset(ndx_tab, 0, sizeof ndx_tab);
    EeFree(buffer);
    PlanetToolEngineClose();
    EeFree(texslots);
    PlatSetHostRoot(nullptr);
    errmsg_disabled = 0;
    asyncfileload = 1;
  }
  // The camera at a point of the planet's frame.
  void Camera(const ZEVEC& p) {
    g_cam_frm = planet.frame;
    ZeMtxSetIdentity(&g_cam_mtx);
    ZeMtxSetTranslation(&g_cam_mtx, &p);
  }
  // A point at an altitude above the middle of a plate, planet frame.
  ZEVEC Above(int plate, float altitude) {
    ZEVEC v;
    ZeVecScale(&v, FrCubeGetMidpoint(plate, 4), altitude);
    return v;
  }
};
