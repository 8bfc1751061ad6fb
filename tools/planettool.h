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
bool PlanetToolInfo(const std::string& path, std::string* listing);  // false: *listing is the error

// ---- the planet surface ----
// heights.gb3, patches.gb3, texndx.gb3, tex004/032/064/128.gb3, noise.pnt
// and six face images of one planet, from one height function of the
// direction (grammar in docs/globular.md).

struct SurfaceFiles {
  std::vector<uint8_t> heights, patches, texndx, noise;
  std::vector<uint8_t> tex[4];      // tex004, tex032, tex064, tex128
  std::vector<uint8_t> face[6];     // native images of the cube faces
  std::vector<int> records;         // the plate of each texture record
  int tiled = 0;                    // records 0 .. tiled - 1 carry tile images
};

// own: plates given their own texture records (each plate with a level needs
// one); tiled: those of them that also get tile images. Record 0 is the
// default (entry 2047).
SurfaceFiles SurfaceBuild(const SystemPlanetDesc& planet, const CubeModel& cube, const std::vector<int>& own,
                          const std::vector<int>& tiled);
// One plate's patch (in the plate's frame) and height table.
void SurfacePatch(const SystemPlanetDesc& planet, const CubeModel& cube, int plate, ZEFPATCH* patch,
                  float heights[ZEFPATCH_HEIGHTS]);
// The plate's frame as the engine stands it on the plate (rows x, y, z, origin).
ZEMTX SurfacePlateFrame(const CubeModel& cube, int plate, int level, float radius);
// The colour indices and palette of one image: the plate's (tile -1) or a
// tile's, at a width of 32, 64 or 128.
struct SurfacePicture {
  int width = 0;
  std::vector<uint8_t> index;
  uint32_t palette[256] = {};
};
void SurfaceChain(const SystemPlanetDesc& planet, const CubeModel& cube, int plate, int tile, SurfacePicture out[3]);
bool SurfaceWriteAll(const std::string& dir, const SurfaceFiles& files);
