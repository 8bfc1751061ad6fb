// ltdtool: load-trigger files (".ltd") through the game's own writer and
// reader.
//   ltdtool make DESC OUT.ltd          writes version 3 from a description
//   ltdtool list [--uni UNI] FILE.ltd  lists any version as the game reads it
// Description, one command a line, ';' starts a remark:
//   bound TYPE NAME        TYPE: NONE WORLD ISLAND LEVEL FLOWLABEL SEMAPHORE
//   centre X Y Z
//   top T                  (bottom defaults to -T)
//   bottom B
//   actions WORD...        LOAD HOLD PRELOAD VIEW
//   priority N             0-255, default 128
//   inhibit WORD...        CRAFT TRIKE GLIDER
//   point X Z              relative to the centre; the radius follows
// Bounds are written in the order given. A fatal error of the game ends
// the run with status 1 and its message.
#include "levcon.h"
#include "toolhalt.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

int Usage() {
  fprintf(stderr, "usage: ltdtool make DESC OUT.ltd\n       ltdtool list [--uni UNI] FILE.ltd\n");
  return 2;
}

const char* const TYPES[] = {"NONE", "WORLD", "ISLAND", "LEVEL", "FLOWLABEL", "SEMAPHORE"};
const char* const ACTIONS[] = {"LOAD", "HOLD", "PRELOAD", "VIEW"};
const char* const INHIBITS[] = {"CRAFT", "TRIKE", "GLIDER"};

int Word(const std::string& w, const char* const* table, int n) {
  for (int i = 0; i < n; i++)
    if (!strcasecmp(w.c_str(), table[i])) return i;
  return -1;
}

struct Desc {
  TriggerBound b{};
  std::vector<float> pts;
  bool bottomGiven = false;
};

int Make(const std::string& descPath, const std::string& out) {
  std::vector<Desc> bounds;
  auto command = [&](const std::string& cmd, std::istringstream& ss, const ToolDescLine& at) {
    if (cmd == "bound") {
      std::string type, name;
      if (!(ss >> type)) return at.Bad("bound needs a type");
      ss >> name;
      int t = Word(type, TYPES, 6);
      if (t < 0) return at.Bad("unknown bound type");
      if (name.size() > 31) return at.Bad("name longer than 31 characters");
      bounds.emplace_back();
      TriggerBound& b = bounds.back().b;
      b.type = uint8_t(t);
      b.priority = 128;
      b.created = 1;
      b.index = -1;
      memcpy(b.name, name.c_str(), name.size());
      return 0;
    }
    if (bounds.empty()) return at.Bad("command before the first bound");
    Desc& d = bounds.back();
    TriggerBound& b = d.b;
    std::string w;
    if (cmd == "centre") {
      if (!(ss >> b.centre.x >> b.centre.y >> b.centre.z)) return at.Bad("centre needs x y z");
    } else if (cmd == "top") {
      if (!(ss >> b.top)) return at.Bad("top needs a number");
      if (!d.bottomGiven) b.bottom = -b.top;
    } else if (cmd == "bottom") {
      if (!(ss >> b.bottom)) return at.Bad("bottom needs a number");
      d.bottomGiven = true;
    } else if (cmd == "actions") {
      while (ss >> w) {
        int a = Word(w, ACTIONS, 4);
        if (a < 0) return at.Bad("unknown action");
        b.actions |= uint8_t(1 << a);
      }
    } else if (cmd == "inhibit") {
      while (ss >> w) {
        int a = Word(w, INHIBITS, 3);
        if (a < 0) return at.Bad("unknown inhibition");
        b.inhibitions |= uint8_t(1 << a);
      }
    } else if (cmd == "priority") {
      int p;
      if (!(ss >> p) || p < 0 || p > 255) return at.Bad("priority needs 0-255");
      b.priority = uint8_t(p);
    } else if (cmd == "point") {
      float x, z;
      if (!(ss >> x >> z)) return at.Bad("point needs x z");
      d.pts.push_back(x);
      d.pts.push_back(z);
    } else {
      return at.Bad("unknown command");
    }
    return 0;
  };
  if (ToolReadCommands("ltdtool", descPath, command)) return 1;
  LoadTrigInit();
  loadtrig_edit_set = 0;
  TriggerBoundSet& s = loadtrig_sets[0];
  // The writer writes in list order and bounds go on at the front: add the
  // last first. Points go in the table in the order given.
  int used = 0;
  std::vector<int> first;
  for (Desc& d : bounds) {
    first.push_back(used);
    int n = int(d.pts.size() / 2);
    if (used + n > LOADTRIG_POINTS) {
      fprintf(stderr, "ltdtool: more than %d points\n", LOADTRIG_POINTS);
      return 1;
    }
    memcpy(&s.points[used * 2], d.pts.data(), d.pts.size() * sizeof(float));
    used += n;
  }
  s.npoints = used;
  for (size_t i = bounds.size(); i-- > 0;) {
    Desc& d = bounds[i];
    TriggerBound* b = LoadTrigNewBound(0);
    EePtr<TriggerBound> next = b->next, prev = b->prev;
    *b = d.b;
    b->next = next;
    b->prev = prev;
    b->npoints = int32_t(d.pts.size() / 2);
    b->points = &s.points[first[i] * 2];
    float r2 = 0;
    for (size_t k = 0; k + 1 < d.pts.size(); k += 2) r2 = std::max(r2, d.pts[k] * d.pts[k] + d.pts[k + 1] * d.pts[k + 1]);
    b->radius = std::sqrt(r2);
  }
  if (!ToolWriteThroughEngine(out, "LTDTOOL.TMP", [&](const char* name) {
        snprintf(s.filename, sizeof s.filename, "%s", name);
        if (!LoadTrigWrite()) toolhalt::Fail("nothing written");
      }))
    return 1;
  printf("%s: %zu bounds, %d points\n", out.c_str(), bounds.size(), used);
  return 0;
}

int List(const std::string& uni, const std::string& file) {
  if (!uni.empty()) {
    std::string u = ToolEngineName(uni);
    snprintf(levcon_uni_name, sizeof levcon_uni_name, "%s", u.c_str());
    LevConSysInit();
  }
  LoadTrigInit();
  std::string name = ToolEngineName(file);
  // The game takes a file it cannot read, or one larger than its buffer, as
  // no triggers at all: here that is an error.
  std::error_code ec;
  const uintmax_t size = fs::file_size(file, ec);
  if (ec) toolhalt::Fail("cannot be read");
  if (size == 0) toolhalt::Fail("is empty");
  if (size > uintmax_t(LOADTRIG_SCRATCH))
    toolhalt::Fail("is larger than the " + std::to_string(LOADTRIG_SCRATCH) + " bytes the game reads");
  uint32_t version = 0;
  if (FILE* f = fopen(file.c_str(), "rb")) {
    if (fread(&version, 4, 1, f) != 1) version = 0;
    fclose(f);
  }
  int key = LoadTrigRead(name.c_str(), nullptr);
  TriggerBoundSet& s = loadtrig_sets[key];
  printf("version %u points %d\n", version, s.npoints);
  for (TriggerBound* b = s.first; b; b = b->next) {
    printf("bound %s %s index %d priority %d actions", TYPES[b->type < 6 ? b->type : 0], b->name[0] ? b->name : "-",
           b->index, b->priority);
    for (int a = 0; a < 4; a++)
      if (b->actions & (1 << a)) printf(" %s", ACTIONS[a]);
    printf(" inhibit");
    for (int a = 0; a < 3; a++)
      if (b->inhibitions & (1 << a)) printf(" %s", INHIBITS[a]);
    printf("\n  centre %g %g %g top %g bottom %g radius %g points", double(b->centre.x), double(b->centre.y),
           double(b->centre.z), double(b->top), double(b->bottom), double(b->radius));
    for (int k = 0; k < b->npoints; k++) printf(" (%g %g)", double(b->points[2 * k]), double(b->points[2 * k + 1]));
    printf("\n");
  }
  return 0;
}

int Main(int argc, char** argv) {
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  if (argc == 4 && !strcmp(argv[1], "make")) return Make(argv[2], argv[3]);
  if (argc == 3 && !strcmp(argv[1], "list")) return List("", argv[2]);
  if (argc == 5 && !strcmp(argv[1], "list") && !strcmp(argv[2], "--uni")) return List(argv[3], argv[4]);
  return Usage();
}

}  // namespace

int main(int argc, char** argv) { return ToolRun("ltdtool", Main, argc, argv); }
