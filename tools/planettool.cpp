// planettool: the planet world's data files. "cube" writes the cube plate
// grid, "system" the planetary system from a text description, "info"
// lists either as the engine loads it.
#include "planettool.h"
#include "toolhalt.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

int Usage() {
  fprintf(stderr,
          "usage: planettool cube <out.bin> [--levels=N]\n"
          "       planettool system <description.txt> <out.gb3>\n"
          "       planettool surface <description.txt> <planet> <out dir> [--own=ID,...] [--tiled=ID,...]\n"
          "       planettool info <file>\n");
  return 2;
}

// The status of a write, with "planettool: PATH: cannot be written" when it failed.
int Written(const char* path, bool ok) {
  if (!ok) fprintf(stderr, "planettool: %s: cannot be written\n", path);
  return ok ? 0 : 1;
}

std::vector<int> Ids(const char* list) {
  std::vector<int> out;
  for (const char* p = list; *p;) {
    char* end;
    long v = strtol(p, &end, 10);
    if (end == p || v < 0 || v >= FRCUBE_PLATES) return {};
    out.push_back(int(v));
    p = *end == ',' ? end + 1 : end;
  }
  return out;
}

// The surface files of one planet of the description. Own records for the
// listed plates (default: plate 0 and its neighbours), tile images for the
// tiled ones (default: plate 0).
int Surface(int argc, char** argv) {
  SystemDesc desc;
  std::string error;
  if (!SystemParse(argv[2], &desc, &error)) {
    fprintf(stderr, "planettool: %s\n", error.c_str());
    return 1;
  }
  const SystemPlanetDesc* planet = nullptr;
  for (const auto& p : desc.planets)
    if (p.name == argv[3]) planet = &p;
  if (!planet || planet->platedepth != 4) {
    fprintf(stderr, "planettool: no planet %s of plate depth 4\n", argv[3]);
    return 1;
  }
  const CubeModel cube = CubeBuild(CUBE_LEVELS);
  std::vector<int> tiled{0}, own{0};
  for (int k = 0; k < 4; k++) own.push_back(cube.levels[4][0].neighbour[k]);
  for (int i = 5; i < argc; i++) {
    if (!strncmp(argv[i], "--own=", 6)) own = Ids(argv[i] + 6);
    else if (!strncmp(argv[i], "--tiled=", 8)) tiled = Ids(argv[i] + 8);
    else return Usage();
  }
  if (own.empty() && tiled.empty()) return Usage();
  return Written(argv[4], SurfaceWriteAll(argv[4], SurfaceBuild(*planet, cube, own, tiled)));
}

int Main(int argc, char** argv) {
  errmsg_disabled = 1;
  ZeTrigInit();
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  PlanetToolEngineInit();
  if (argc >= 3 && !strcmp(argv[1], "cube")) {
    int levels = CUBE_LEVELS;
    if (argc == 4 && !strncmp(argv[3], "--levels=", 9)) levels = atoi(argv[3] + 9);
    if (levels < 1 || levels > FRCUBE_MAXLEVELS) return Usage();
    return Written(argv[2], PlanetToolWrite(argv[2], CubeImage(CubeBuild(levels))));
  }
  if (argc == 4 && !strcmp(argv[1], "system")) {
    SystemDesc desc;
    std::string error;
    if (!SystemParse(argv[2], &desc, &error)) {
      fprintf(stderr, "planettool: %s\n", error.c_str());
      return 1;
    }
    return Written(argv[3], PlanetToolWrite(argv[3], SystemImage(desc)));
  }
  if (argc >= 5 && !strcmp(argv[1], "surface")) return Surface(argc, argv);
  if (argc == 3 && !strcmp(argv[1], "info")) {
    std::string listing;
    const bool ok = PlanetToolInfo(argv[2], &listing);
    fputs(listing.c_str(), ok ? stdout : stderr);
    return ok ? 0 : 1;
  }
  return Usage();
}

}  // namespace

int main(int argc, char** argv) { return ToolRun("planettool", Main, argc, argv); }
