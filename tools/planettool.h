// The planet tool's formats, shared with the tests that make their fixtures
// with it: the cube plate grid ("bin\cube.bin") and the planetary system
// ("bin\system.gb3").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "globular.h"

// ---- cube.bin ----

struct CubeModelPlate {
  int point[4];      // counter-clockwise seen from outside
  int uv[4];
  ZEVEC centre;
  float cone;
  ZEVEC4 plane;
  int neighbour[4];  // neighbour k lies across the edge from corner k to corner k + 1
};

struct CubeModel {
  std::vector<ZEVEC> points;
  std::vector<float> pairs;  // u, v
  std::vector<std::vector<CubeModelPlate>> levels;
};

constexpr int CUBE_LEVELS = 5;            // levels 0-4
constexpr float CUBE_CONE_MARGIN = 1e-5f; // cone cosines are a little wider than the corners

// The grid of `levels` levels (1-7) and its file image.
CubeModel CubeBuild(int levels);
std::vector<uint8_t> CubeImage(const CubeModel& model);

// ---- system.gb3 ----

struct SystemPlanetDesc {
  std::string name;
  float position[3] = {0, 0, 0};
  float daylength = 24.0f;   // minutes
  float height = 0.0f;
  float radius = 1000.0f;
  float seafraction = 0.0f;
  int platedepth = 4;
  std::vector<uint8_t> face[6];  // native texture images (empty: none)
};

struct SystemDesc {
  std::vector<SystemPlanetDesc> planets;
  int meshlevels = 2;  // the system mesh: each face split into 4^meshlevels quads
};

// The description's text (grammar in docs/globular.md), read through the
// engine's parser; false with a message naming the line.
bool SystemParse(const char* name, SystemDesc* out, std::string* error);
std::vector<uint8_t> SystemImage(const SystemDesc& desc);

// ---- files ----

// The engine parts the writers and loaders use: a texture table, a material
// pool and the render stream. Init once before, Close after.
void PlanetToolEngineInit();
void PlanetToolEngineClose();

bool PlanetToolWrite(const std::string& path, const std::vector<uint8_t>& bytes);
// The file as the engine loads it, listed: the cube grid or the system.
std::string PlanetToolInfo(const std::string& path);
