// The planet of the surface tests and benchmark: "Terra", the tool's cube
// grid, and the plates its surface files cover (one with tile images and
// its four neighbours).
#pragma once

#include <vector>

#include "planettool.h"

namespace terra {

constexpr int TILED = 700;  // the plate with tile images

inline SystemPlanetDesc Desc() {
  SystemPlanetDesc d;
  d.name = "Terra";
  d.radius = 11000;
  d.height = 300;
  d.seafraction = 0.25f;
  d.platedepth = 4;
  return d;
}

inline const CubeModel& Model() {
  static const CubeModel m = CubeBuild(CUBE_LEVELS);
  return m;
}

inline std::vector<int> Own() {
  std::vector<int> own{TILED};
  for (int k = 0; k < 4; k++) own.push_back(Model().levels[4][TILED].neighbour[k]);
  return own;
}

}  // namespace terra
