// Fuzz target: the planet world's loaders on damaged files. The first byte
// chooses the file: even, "bin\cube.bin" (then a location or two); odd,
// "bin\system.gb3" (then a turn of the planets). The rest is the file.
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "fuzz.h"
#include "globular.h"
#include "planettool.h"

namespace {

constexpr int SIZE = 1 << 20;
char* buffer = nullptr;
std::string root;

void Up() {
  if (buffer) return;
  errmsg_disabled = 1;
  errmsg_to_console = 0;
  // A scratch host root in the working directory (the fuzz build's).
  root = (std::filesystem::current_path() / ("globular_fuzz." + std::to_string(getpid()))).string();
  std::filesystem::create_directories(root + "/bin");
  PlatSetHostRoot(root.c_str());
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  PlanetToolEngineInit();
  buffer = static_cast<char*>(EeMalloc(SIZE));
}

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  Up();
  if (size < 1 || size > SIZE / 2) return;
  const bool system = data[0] & 1;
  FuzzWriteFile(system ? "bin/system.gb3" : "bin/cube.bin", data + 1, size - 1);
  char* pos = buffer;
  FrameInit(&pos, buffer + SIZE);
  if (system) {
    PlanetSysInit(&pos, buffer + SIZE);
    PlanetSysLoadData(&pos, buffer + SIZE);
    PlanetSysProcess();
    PlanetSysClose();
  } else {
    FrCubeInit(&pos, buffer + SIZE);
    const ZEVEC p = {0.3f, -0.8f, 0.5f};
    const int levels = FrCubeGetNumLevels();
    FrCubeLocatePlateAccurate(&p, levels - 1);
    FrCubeLocatePlate(&p, levels - 1);
    FrCubeLocate(&p, levels - 1);
    int out[48], count = 0;
    FrCubeGetVisiblePlates(out, levels - 1, &count, 48, &p, 0, 0.5f);
    FrCubeClose();
  }
  FrameClose();
}

void FuzzReset() {
  // What an abandoned load made goes with the engine parts it lives in.
  PlanetSysClose();
  FrCubeClose();
  FrameClose();
  PlanetToolEngineClose();
  PlanetToolEngineInit();
  errmsg_trap = 0;
}
