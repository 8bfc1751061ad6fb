// planettool: the planet world's data files. "cube" writes the cube plate
// grid, "system" the planetary system from a text description, "info"
// lists either as the engine loads it.
#include "planettool.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int Usage() {
  fprintf(stderr,
          "usage: planettool cube <out.bin> [--levels=N]\n"
          "       planettool system <description.txt> <out.gb3>\n"
          "       planettool info <file>\n");
  return 2;
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
    return PlanetToolWrite(argv[2], CubeImage(CubeBuild(levels))) ? 0 : 1;
  }
  if (argc == 4 && !strcmp(argv[1], "system")) {
    SystemDesc desc;
    std::string error;
    if (!SystemParse(argv[2], &desc, &error)) {
      fprintf(stderr, "planettool: %s\n", error.c_str());
      return 1;
    }
    return PlanetToolWrite(argv[3], SystemImage(desc)) ? 0 : 1;
  }
  if (argc == 3 && !strcmp(argv[1], "info")) {
    fputs(PlanetToolInfo(argv[2]).c_str(), stdout);
    return 0;
  }
  return Usage();
}

}  // namespace

int main(int argc, char** argv) {
  PlatParseHostOptions(&argc, argv);
  return PlatformRun(Main, argc, argv);
}
