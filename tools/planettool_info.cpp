// Files of the planet tool: written from host memory, and listed as the
// engine loads them (the loaders read fixed names under "bin", so the file
// is read from a copy in a scratch root).
#include "planettool.h"
#include "toolhalt.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {
char* engine_tex = nullptr;
char* engine_mtl = nullptr;
}  // namespace

void PlanetToolEngineInit() {
  static bool stream = false;
  ZeTrigInit();
  if (!stream) {  // once: the stream buffers live for the program
    ZeRndrStreamClearZBState();
    ZeRndrStreamInit(ZERNDRSTREAM_DEFAULT_BUFFER);
    stream = true;
  }
  engine_tex = static_cast<char*>(EeMalloc(size_t(ZeTexGetSysBuffSize(64)) + 16));
  char* p = engine_tex;
  ZeTexInitEx(&p, 64);
  engine_mtl = static_cast<char*>(EeMalloc(size_t(ZeMtlGetSysBuffSize(64)) + 16));
  p = engine_mtl;
  ZeMtlInitEx(&p, 64);
}

void PlanetToolEngineClose() {
  ZeMtlClose();
  EeFree(engine_mtl);
  ZeTexClose();
  EeFree(engine_tex);
  ZeMtlSetCurrentRenderPlane(0);
}

namespace {

std::string Fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Fmt(const char* format, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, format);
  vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  return buf;
}

std::string V(const ZEVEC& v) { return Fmt("(%.7g, %.7g, %.7g)", double(v.x), double(v.y), double(v.z)); }

std::string CubeListing() {
  std::string s;
  int levels = FrCubeGetNumLevels();
  s += Fmt("cube: %d levels\n", levels);
  for (int l = 0; l < levels; l++) s += Fmt("level %d: %d plates\n", l, FrCubeGetNumFaces(l));
  for (int l = 0; l < levels && l < 2; l++)
    for (int i = 0; i < FrCubeGetNumFaces(l); i++) {
      ZEVEC c[4];
      float uv[4][2];
      int nb[4];
      FrCubeGetPoints(i, l, &c[0], &c[1], &c[2], &c[3]);
      FrCubeGetUVs(i, l, uv[0], uv[1], uv[2], uv[3]);
      FrCubeGetNeighbours(i, l, nb);
      const ZEVEC* m = FrCubeGetMidpoint(i, l);
      s += Fmt("plate %d.%d centre %s cone %.7g neighbours %d %d %d %d\n", l, i, V(*m).c_str(),
               double(reinterpret_cast<const float*>(m)[3]), nb[0], nb[1], nb[2], nb[3]);
      for (int k = 0; k < 4; k++)
        s += Fmt("  corner %d %s uv (%g, %g)\n", k, V(c[k]).c_str(), double(uv[k][0]), double(uv[k][1]));
    }
  return s;
}

std::string SystemListing() {
  std::string s;
  PLANETSYS* root = PlanetSysGetRoot();
  s += Fmt("system: %d planets\n", PlanetSysGetCount());
  int nodes = 0;
  auto* mesh = static_cast<uint8_t*>(EeAddrToPtr(uint32_t(root->mesh)));
  for (auto* n = reinterpret_cast<PLANETMESHNODE*>(EeAddrToPtr(*reinterpret_cast<uint32_t*>(mesh + 12))); n;
       n = reinterpret_cast<PLANETMESHNODE*>(EeAddrToPtr(uint32_t(n->next)))) {
    int blocks = 0;
    for (auto* b = static_cast<uint8_t*>(EeAddrToPtr(uint32_t(n->blocks))); b;
         b = static_cast<uint8_t*>(EeAddrToPtr(*reinterpret_cast<uint32_t*>(b + 4))))
      blocks++;
    s += Fmt("mesh node %d: material %d, %d blocks\n", nodes++, n->mtl ? int(n->mtl->table_index) : -1, blocks);
  }
  for (int i = 0; i < PlanetSysGetCount(); i++) {
    PLANET* p = PlanetSysGetPlanet(i);
    s += Fmt("planet %d \"%s\" at %s day %g height %g radius %g sea %g depth %d orbit %.6f\n", i, p->name,
             V(p->position).c_str(), double(p->daylength), double(p->height), double(p->radius),
             double(p->seafraction), p->platedepth, double(p->orbit));
    for (int k = 0; k < 6; k++)
      s += Fmt("  face %d texture %s\n", k,
               p->texture[k] ? Fmt("%dx%d", ZeTexWidth(p->texture[k]), ZeTexHeight(p->texture[k])).c_str() : "none");
  }
  return s;
}

}  // namespace

bool PlanetToolInfo(const std::string& path, std::string* listing) {
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    *listing = "planettool: " + path + ": cannot read\n";
    return false;
  }
  std::stringstream ss;
  ss << f.rdbuf();
  std::string bytes = ss.str();
  uint32_t first = 0;
  if (bytes.size() >= 4) memcpy(&first, bytes.data(), 4);
  const bool system = first == PLANETSYS_VERSION;
  fs::path root = fs::temp_directory_path() / Fmt("planettool.%d", int(getpid()));
  fs::create_directories(root / "bin");
  std::ofstream(root / "bin" / (system ? "system.gb3" : "cube.bin"), std::ios::binary) << bytes;
  // The engine reads its own name for the file: its errors name the user's.
  ToolRemoveOnFailure(root.string());
  ToolSetFile(path);
  ToolSetHostRoot(root.c_str());
  const int size = int(bytes.size()) * 2 + (1 << 20);
  char* buffer = static_cast<char*>(EeMalloc(size_t(size)));
  char* pos = buffer;
  std::string out;
  if (system) {
    FrameInit(&pos, buffer + size);
    PlanetSysInit(&pos, buffer + size);
    PlanetSysLoadData(&pos, buffer + size);
    out = SystemListing();
    PlanetSysClose();
    FrameClose();
  } else {
    FrCubeInit(&pos, buffer + size);
    out = CubeListing();
    FrCubeClose();
  }
  EeFree(buffer);
  PlatSetHostRoot(nullptr);
  fs::remove_all(root);
  *listing = out;
  return true;
}
