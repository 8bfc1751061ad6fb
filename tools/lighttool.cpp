// lighttool: light-set files ("level.lgt") through the engine's own writer
// and loader.
//   lighttool make DESC OUT.lgt   writes 256 records (free ones type -1)
//   lighttool list FILE.lgt       inserts the set as a level load does and
//                                 lists what went into the light table
// Description, one command a line, ';' starts a remark:
//   light TYPE          starts a light; TYPE: localambient globalambient
//                       directional point negative pointshadow flicker
//                       flickershadow
//   pos X Y Z           position (directional: the direction the light travels)
//   radius R            reaches objects closer than R
//   colour R G B        0-255 (flicker lights: the base colour)
//   group N             the light editor's group
//   gradient R G B      flicker: the colour at full level
//   flicker C R S       flicker: phase length C + random x R / 256 frames, S a frame
//   level L             flicker: start level 0-255
//   count N             flicker: frames left in the start phase (negative rising)
// Lights are written in the order given, at most 256. A fatal error of the
// engine ends the run with status 1 and its message.
#include "coblib.h"
#include "toolhalt.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

int Usage() {
  fprintf(stderr, "usage: lighttool make DESC OUT.lgt\n       lighttool list FILE.lgt\n");
  return 2;
}

const char* const TYPES[LEVLIGHT_TYPES] = {"localambient", "globalambient", "directional",   "point",
                                           "negative",     "pointshadow",   "flicker",       "flickershadow"};

const char* TypeName(int type) { return type >= 0 && type < LEVLIGHT_TYPES ? TYPES[type] : "?"; }

bool Bytes(std::istringstream& ss, uint8_t out[3]) {
  int v[3];
  if (!(ss >> v[0] >> v[1] >> v[2])) return false;
  for (int i = 0; i < 3; i++) {
    if (v[i] < 0 || v[i] > 255) return false;
    out[i] = uint8_t(v[i]);
  }
  return true;
}

int Make(const std::string& descPath, const std::string& out) {
  std::vector<LEVLIGHT> recs(LIGHTSET_RECORDS);
  for (LEVLIGHT& r : recs) {
    memset(&r, 0, sizeof r);
    r.type = LEVLIGHT_FREE;
  }
  int count = 0;
  auto command = [&](const std::string& cmd, std::istringstream& ss, const ToolDescLine& at) {
    if (cmd == "light") {
      std::string type;
      if (!(ss >> type)) return at.Bad("light needs a type");
      int t = -1;
      for (int i = 0; i < LEVLIGHT_TYPES; i++)
        if (!strcasecmp(type.c_str(), TYPES[i])) t = i;
      if (t < 0) return at.Bad("unknown light type");
      if (count == LIGHTSET_RECORDS) return at.Bad("more than 256 lights");
      recs[size_t(count++)].type = int8_t(t);
      return 0;
    }
    if (count == 0) return at.Bad("command before the first light");
    LEVLIGHT& l = recs[size_t(count - 1)];
    if (cmd == "pos") {
      if (!(ss >> l.pos.x >> l.pos.y >> l.pos.z)) return at.Bad("pos needs x y z");
    } else if (cmd == "radius") {
      if (!(ss >> l.radius) || l.radius < 0) return at.Bad("radius needs a number of 0 or more");
    } else if (cmd == "colour") {
      if (!Bytes(ss, l.col)) return at.Bad("colour needs r g b of 0-255");
      memcpy(l.basecol, l.col, 3);
    } else if (cmd == "gradient") {
      if (!Bytes(ss, l.gradcol)) return at.Bad("gradient needs r g b of 0-255");
    } else if (cmd == "group") {
      if (!(ss >> l.group)) return at.Bad("group needs a number");
    } else if (cmd == "flicker") {
      uint8_t f[3];
      if (!Bytes(ss, f)) return at.Bad("flicker needs constant, random and step of 0-255");
      l.flickconst = f[0], l.flickrand = f[1], l.flickstep = f[2];
    } else if (cmd == "level") {
      int v;
      if (!(ss >> v) || v < 0 || v > 255) return at.Bad("level needs 0-255");
      l.flicklevel = uint8_t(v);
    } else if (cmd == "count") {
      int v;
      if (!(ss >> v) || v < -32768 || v > 32767) return at.Bad("count needs a 16-bit number");
      l.flickcount = int16_t(v);
    } else {
      return at.Bad("unknown command");
    }
    std::string extra;
    if (ss >> extra) return at.Bad("too many words");
    return 0;
  };
  if (ToolReadCommands("lighttool", descPath, command)) return 1;
  const std::string name = ToolEngineName(out);
  if (!WriteLightSet(name.c_str(), recs.data())) {
    fprintf(stderr, "lighttool: cannot write %s\n", out.c_str());
    return 1;
  }
  // The host writes names in upper case, as the console's file system
  // does; the file takes the name asked for.
  const fs::path want = fs::absolute(out);
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(want.parent_path(), ec))
    if (!strcasecmp(e.path().filename().c_str(), name.c_str()) && e.path() != want) fs::rename(e.path(), want, ec);
  printf("%s: %d lights, %d free\n", out.c_str(), count, LIGHTSET_RECORDS - count);
  return 0;
}

void Print(const char* what, const LEVLIGHT& l) {
  printf("%s %s group %d radius %g pos %g %g %g colour %d %d %d", what, TypeName(l.type), l.group, double(l.radius),
         double(l.pos.x), double(l.pos.y), double(l.pos.z), l.basecol[0], l.basecol[1], l.basecol[2]);
  if (l.type == LEVLIGHT_FLICKER || l.type == LEVLIGHT_FLICKER_SHADOW)
    printf(" gradient %d %d %d flicker %d %d %d level %d count %d", l.gradcol[0], l.gradcol[1], l.gradcol[2],
           l.flickconst, l.flickrand, l.flickstep, l.flicklevel, l.flickcount);
  printf("\n");
}

int List(const std::string& file) {
  InitLights();
  const std::string name = ToolEngineName(file);
  // The writer writes every record; the game takes a shorter file's whole
  // records, but a file of another size is not one the writer made.
  std::error_code ec;
  const uintmax_t size = fs::file_size(file, ec);
  if (ec) toolhalt::Fail("cannot be read");
  if (size != uintmax_t(LIGHTSET_BYTES))
    toolhalt::Fail("is " + std::to_string(size) + " bytes, not the " + std::to_string(LIGHTSET_BYTES) +
                   " of a light set");
  const int key = InsertLightSet(name.c_str());
  if (key < 0) {
    fprintf(stderr, "lighttool: %s gave no light set\n", file.c_str());
    return 1;
  }
  int n = 0;
  for (int i = 2; i < LIGHTS_MAX; i++)
    if (Lights[i].type != LEVLIGHT_FREE) {
      char what[32];
      snprintf(what, sizeof what, "entry %d", i);
      Print(what, Lights[i]);
      n++;
    }
  // The inside lights the set brought: fade targets, not table entries.
  if (dirblend > 0) Print("inside", DirBlend1), n++;
  if (ambblend > 0) Print("inside", AmbBlend1), n++;
  printf("set key %d: %d lights\n", key, n);
  return 0;
}

int Main(int argc, char** argv) {
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  if (argc == 4 && !strcmp(argv[1], "make")) return Make(argv[2], argv[3]);
  if (argc == 3 && !strcmp(argv[1], "list")) return List(argv[2]);
  return Usage();
}

}  // namespace

int main(int argc, char** argv) { return ToolRun("lighttool", Main, argc, argv); }
