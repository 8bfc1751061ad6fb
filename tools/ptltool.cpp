// ptltool: particle effect files from line-based descriptions (the engine's
// effect-file writer), and what the engine's own loader reads back.
//   ptltool make DESC OUT     write the file (the description's version)
//   ptltool show FILE [KIND]  the file as loaded into a page (kind 0 types
//                             only, 1 with the placed emitters), printed in
//                             the description's grammar (docs/particles.md)
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "edtools.h"
#include "gamelib.h"
#include "toolhalt.h"

namespace fs = std::filesystem;

namespace {

// One keyword of the description: values of one kind at an offset of the
// record; entries > 1 takes an index first (0..entries-1), stride bytes apart.
enum Kind { I8, I16, I32, F32 };
struct Field {
  const char* key;
  Kind kind;
  size_t offset;
  int values, entries, stride;
};

#define T_(f) offsetof(DebrisEffectType, f)
#define E_(f) offsetof(PlacedEmitter, f)
const Field kTypeFields[] = {
    {"genrate", I16, T_(gen_rate), 1, 1, 0},
    {"startoffset", I16, T_(start_offset), 1, 1, 0},
    {"ontime", I16, T_(on_time), 4, 1, 0},  // on, random on, off, random off
    {"generator", I8, T_(gen_kind), 1, 1, 0},
    {"momentum", I8, T_(mom_kind), 1, 1, 0},
    {"blend", I8, T_(blend), 1, 1, 0},
    {"byte4", I8, T_(byte4), 1, 1, 0},
    {"reserved", F32, T_(reserved0), 1, 1, 0},
    {"cut", F32, T_(cut_on), 3, 1, 0},  // cut-on, cut-off, draw cut-off
    {"speed", F32, T_(base_speed), 1, 1, 0},
    {"var", F32, T_(var), 3, 1, 0},
    {"start", F32, T_(start), 3, 1, 0},
    {"posscale", F32, T_(pos_scale), 3, 1, 0},
    {"posbase", F32, T_(pos_base), 3, 1, 0},
    {"velscale", F32, T_(vel_scale), 3, 1, 0},
    {"velbase", F32, T_(vel_base), 3, 1, 0},
    {"gravity", F32, T_(gravity), 1, 1, 0},
    {"life", F32, T_(life), 1, 1, 0},
    {"resshort", I16, T_(res_short), 1, 1, 0},
    {"resbytes", I8, T_(res_byte0), 2, 1, 0},
    {"resfloat", F32, T_(res_float), 1, 1, 0},
    {"jibber", F32, T_(jib_xf), 4, 1, 0},
    {"colour", F32, T_(colour), 4, 8, sizeof(DebColKey)},
    {"alpha", F32, T_(alpha), 2, 8, sizeof(DebEnvKey)},
    {"rparams", F32, T_(rparam), 2, 1, 0},
    {"size", F32, T_(min_size), 2, 1, 0},
    {"width", F32, T_(width), 2, 8, sizeof(DebEnvKey)},
    {"height", F32, T_(height), 2, 8, sizeof(DebEnvKey)},
    {"rotlimits", F32, T_(min_rot), 2, 1, 0},
    {"rotation", F32, T_(rotation), 2, 8, sizeof(DebEnvKey)},
    {"resenv0", F32, T_(reserved_env[0]), 2, 8, sizeof(DebEnvKey)},
    {"resenv1", F32, T_(reserved_env[1]), 2, 8, sizeof(DebEnvKey)},
    {"uv", F32, T_(umin), 4, 1, 0},
    {"collision", F32, T_(collision), 2, 8, sizeof(DebEnvKey)},
    {"spheres", I8, T_(spheres), 1, 1, 0},
    {"drawflag", I8, T_(draw_flag), 1, 1, 0},
    {"sound", I32, T_(sounds), 3, 4, sizeof(DebSound)},
    {"ghosts", I16, T_(ghosts), 1, 1, 0},
    {"ghostsep", F32, T_(ghost_sep), 1, 1, 0},
};
const Field kEmitterFields[] = {
    {"pos", F32, E_(pos), 3, 1, 0},
    {"orient", I16, E_(orient_z), 2, 1, 0},
    {"emit", I16, E_(emit_a), 3, 1, 0},
    {"offset", I32, E_(start_offset), 1, 1, 0},
    {"trigger", I32, E_(trigger_kind), 2, 1, 0},
    {"switchvalue", F32, E_(switch_value), 1, 1, 0},
    {"reflect", I16, E_(refl_a), 2, 1, 0},
    {"plane", F32, E_(plane_offset), 2, 1, 0},  // offset, bounce factor
    {"group", I16, E_(group), 1, 1, 0},
};
#undef T_
#undef E_

int Size(Kind k) { return k == I8 ? 1 : k == I16 ? 2 : 4; }

template <size_t N>
const Field* FindField(const Field (&table)[N], const std::string& key) {
  for (const Field& f : table)
    if (key == f.key) return &f;
  return nullptr;
}

bool Set(void* rec, const Field& f, std::istringstream& in, std::string* error) {
  int index = 0;
  if (f.entries > 1 && (!(in >> index) || index < 0 || index >= f.entries)) {
    *error = std::string(f.key) + ": index 0.." + std::to_string(f.entries - 1) + " expected";
    return false;
  }
  uint8_t* p = static_cast<uint8_t*>(rec) + f.offset + size_t(index) * size_t(f.stride);
  for (int i = 0; i < f.values; i++, p += Size(f.kind)) {
    double v;
    if (!(in >> v)) {
      *error = std::string(f.key) + ": " + std::to_string(f.values) + " values expected";
      return false;
    }
    switch (f.kind) {
      case I8: *reinterpret_cast<int8_t*>(p) = int8_t(v); break;
      case I16: *reinterpret_cast<int16_t*>(p) = int16_t(v); break;
      case I32: *reinterpret_cast<int32_t*>(p) = int32_t(v); break;
      case F32: *reinterpret_cast<float*>(p) = float(v); break;
    }
  }
  std::string extra;
  if (in >> extra) {
    *error = std::string(f.key) + ": unexpected \"" + extra + "\"";
    return false;
  }
  return true;
}

template <size_t N>
void Print(const void* rec, const Field (&table)[N]) {
  for (const Field& f : table)
    for (int e = 0; e < f.entries; e++) {
      const uint8_t* p = static_cast<const uint8_t*>(rec) + f.offset + size_t(e) * size_t(f.stride);
      printf("  %s", f.key);
      if (f.entries > 1) printf(" %d", e);
      for (int i = 0; i < f.values; i++, p += Size(f.kind)) {
        switch (f.kind) {
          case I8: printf(" %d", *reinterpret_cast<const int8_t*>(p)); break;
          case I16: printf(" %d", *reinterpret_cast<const int16_t*>(p)); break;
          case I32: printf(" %d", *reinterpret_cast<const int32_t*>(p)); break;
          case F32: printf(" %.9g", double(*reinterpret_cast<const float*>(p))); break;
        }
      }
      printf("\n");
    }
}

// A host path as the engine names it: its directory becomes the host root.
std::string EngineName(const std::string& path) {
  const fs::path a = fs::absolute(path);
  ToolSetHostRoot(a.parent_path().c_str());
  return a.filename().string();
}

void Name(char* field, const std::string& name) {
  memset(field, 0, 16);
  memcpy(field, name.data(), name.size() < 16 ? name.size() : 16);
}

int Make(const std::string& in, const std::string& out) {
  std::ifstream file(in);
  if (!file) {
    fprintf(stderr, "ptltool: %s: cannot read\n", in.c_str());
    return 1;
  }
  int version = DEBRIS_FILE_VERSION;
  bool level = false;
  std::vector<DebrisEffectType> types;
  std::vector<PlacedEmitter> emitters;
  void* current = nullptr;
  bool currentIsType = false;
  std::string line, error;
  for (int n = 1; std::getline(file, line); n++) {
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    std::istringstream words(line);
    std::string key;
    if (!(words >> key)) continue;
    if (key == "version") {
      if (!(words >> version) || version < DEBRIS_FILE_OLDEST || version > DEBRIS_FILE_VERSION)
        error = "version: 5..22 expected";
    } else if (key == "level") {
      level = true;
    } else if (key == "type" || key == "emitter") {
      std::string name;
      if (!(words >> name) || name.size() > 16) {
        error = key + ": a name of 1..16 characters expected";
      } else if (key == "type") {
        types.emplace_back();
        DebrisDefaultEffectType(&types.back());
        Name(types.back().name, name);
        current = &types.back(), currentIsType = true;
      } else {
        level = true;
        emitters.emplace_back();
        PlacedEmitter& e = emitters.back();
        memset(&e, 0, sizeof e);
        e.switch_id = -1;
        e.bounce = 0.9f;
        Name(e.name, name);
        current = &e, currentIsType = false;
      }
    } else if (!current) {
      error = key + ": no type or emitter open";
    } else {
      const Field* f = currentIsType ? FindField(kTypeFields, key) : FindField(kEmitterFields, key);
      if (!f) error = "unknown keyword \"" + key + "\"";
      else Set(current, *f, words, &error);
    }
    if (!error.empty()) {
      fprintf(stderr, "ptltool: %s: line %d: %s\n", in.c_str(), n, error.c_str());
      return 1;
    }
  }
  for (DebrisEffectType& t : types) {
    DebrisCheckEffectType(&t, in.c_str());
    t.particle_count = int16_t(DebrisCalcParticleCount(&t));
  }
  if (!edppSaveFile(EngineName(out).c_str(), version, types.data(), int(types.size()),
                    level ? emitters.data() : nullptr, int(emitters.size()))) {
    fprintf(stderr, "ptltool: %s: cannot write\n", out.c_str());
    return 1;
  }
  // The file layer writes upper-case names: give the file the name asked for.
  const fs::path want = fs::absolute(out);
  for (const auto& entry : fs::directory_iterator(want.parent_path())) {
    const std::string have = entry.path().filename().string();
    if (have != want.filename().string() && strcasecmp(have.c_str(), want.filename().c_str()) == 0)
      fs::rename(entry.path(), want);
  }
  printf("%s: version %d, %zu types, %zu emitters\n", out.c_str(), version, types.size(), emitters.size());
  return 0;
}

int Show(const std::string& path, int kind) {
  const std::string name = ToolEngineName(path);
  EdFileSetMedia(EDFILE_MEDIA_HOST);
  if (!EdFileOpen(name.c_str(), 0)) {
    fprintf(stderr, "ptltool: %s: cannot open\n", path.c_str());
    return 1;
  }
  const int version = EdFileReadInt();
  EdFileClose();
  const int page = edppLoadPage(name.c_str(), kind, nullptr);
  if (page < 0) {
    fprintf(stderr, "ptltool: %s: not an effect file of version 5..22\n", path.c_str());
    return 1;
  }
  // The loader reads past a file's end as zeros.
  if (edfile_past_end) toolhalt::Fail("ends before the effects the loader reads");
  printf("version %d\n", version);
  if (kind == 1 || kind == 2) printf("level\n");
  for (int i = 1; i < DEB_TYPES; i++) {
    const DebrisEffectType* t = debtab[i];
    if (!t || t->page != page) continue;
    printf("type %.16s  # slot %d, count %d\n", t->name, i, t->particle_count);
    Print(t, kTypeFields);
  }
  for (const PlacedEmitter& e : edpp_ptls) {
    if (e.key == -1 || e.page != page) continue;
    printf("emitter %.16s  # type %d\n", e.name, e.type);
    Print(&e, kEmitterFields);
  }
  return 0;
}

int Main(int argc, char** argv) {
  errmsg_disabled = 1;
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  ZeTrigInit();
  ParticleReset();
  if (argc == 4 && !strcmp(argv[1], "make")) return Make(argv[2], argv[3]);
  if ((argc == 3 || argc == 4) && !strcmp(argv[1], "show")) return Show(argv[2], argc == 4 ? atoi(argv[3]) : 0);
  fprintf(stderr,
          "usage: ptltool make DESC OUT\n"
          "       ptltool show FILE [KIND]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) { return ToolRun("ptltool", Main, argc, argv); }
