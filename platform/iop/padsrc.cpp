// Pad sources without a device: none (nothing plugged in) and a script, one
// frame a line (see docs/platform.md for the grammar), for tests and demos.
#include "platform.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

void NoneFrame(void*, int, PadFrame* out) { out->kind = PAD_NONE; }

struct Script {
  std::vector<PadFrame> frames;
  size_t next;
  PadKind after;  // what stays plugged in once the script has ended
};
std::vector<std::unique_ptr<Script>> g_scripts;  // sources live as long as the program

void ScriptFrame(void* context, int, PadFrame* out) {
  Script* s = static_cast<Script*>(context);
  if (s->next < s->frames.size()) {
    *out = s->frames[s->next++];
    return;
  }
  out->kind = s->after;
}

struct ButtonName {
  const char* name;
  uint32_t bit;
  int pressure;  // index into the pressures, -1 when the button has none
};
const ButtonName BUTTONS[] = {
    {"UP", SCE_PADLup, PAD_PRESS_UP},       {"DOWN", SCE_PADLdown, PAD_PRESS_DOWN},
    {"LEFT", SCE_PADLleft, PAD_PRESS_LEFT}, {"RIGHT", SCE_PADLright, PAD_PRESS_RIGHT},
    {"TRIANGLE", SCE_PADRup, PAD_PRESS_TRIANGLE}, {"CIRCLE", SCE_PADRright, PAD_PRESS_CIRCLE},
    {"CROSS", SCE_PADRdown, PAD_PRESS_CROSS},     {"SQUARE", SCE_PADRleft, PAD_PRESS_SQUARE},
    {"L1", SCE_PADL1, PAD_PRESS_L1}, {"R1", SCE_PADR1, PAD_PRESS_R1},
    {"L2", SCE_PADL2, PAD_PRESS_L2}, {"R2", SCE_PADR2, PAD_PRESS_R2},
    {"L3", SCE_PADi, -1}, {"R3", SCE_PADj, -1}, {"START", SCE_PADstart, -1}, {"SELECT", SCE_PADselect, -1},
};
const char* const STICKS[4] = {"RX", "RY", "LX", "LY"};

bool ParseByte(const std::string& text, int* out) {
  if (text.empty()) return false;
  char* end;
  long v = strtol(text.c_str(), &end, 0);
  if (*end || v < 0 || v > 255) return false;
  *out = int(v);
  return true;
}

bool Fail(int line, const std::string& token, const char* why) {
  scePrintf("pad script line %d: %s \"%s\"\n", line, why, token.c_str());
  return false;
}

// One line: its frame and how many times it repeats.
bool ParseLine(int lineNo, const std::string& line, PadKind* kind, PadFrame* f, int* repeat) {
  *f = PadFrame{};
  f->stick[0] = f->stick[1] = f->stick[2] = f->stick[3] = 128;
  *repeat = 1;
  std::string text = line;
  for (char& c : text)
    if (c == ',' || c == '\t' || c == '\r') c = ' ';
  std::istringstream words(text);
  std::string tok;
  while (words >> tok) {
    if (tok == "-") continue;
    std::string name = tok, value;
    size_t eq = tok.find('=');
    if (eq != std::string::npos) {
      name = tok.substr(0, eq);
      value = tok.substr(eq + 1);
    }
    for (char& c : name) c = char(toupper(static_cast<unsigned char>(c)));
    if (eq == std::string::npos && name.size() > 1 && name[0] == 'X') {
      char* end;
      long n = strtol(name.c_str() + 1, &end, 10);
      if (*end || n < 1 || n > 1000000) return Fail(lineNo, tok, "bad repeat");
      *repeat = int(n);
      continue;
    }
    if (name == "DS2") { *kind = PAD_DUALSHOCK2; continue; }
    if (name == "DIGITAL") { *kind = PAD_DIGITAL; continue; }
    if (name == "UNPLUG") { *kind = PAD_NONE; continue; }
    if (name == "MODE") { f->modeButton = true; continue; }
    if (name == "NODATA") { f->noData = true; continue; }
    bool known = false;
    for (int i = 0; i < 4 && !known; i++) {
      if (name != STICKS[i]) continue;
      int v;
      if (!ParseByte(value, &v)) return Fail(lineNo, tok, "stick value must be 0-255");
      f->stick[i] = uint8_t(v);
      known = true;
    }
    for (const ButtonName& b : BUTTONS) {
      if (known || name != b.name) continue;
      int pressure = 255;
      if (eq != std::string::npos && (b.pressure < 0 || !ParseByte(value, &pressure)))
        return Fail(lineNo, tok, "pressure must be 0-255 on a pressure button");
      if (pressure > 0) f->buttons |= b.bit;
      if (b.pressure >= 0) f->pressure[b.pressure] = uint8_t(pressure);
      known = true;
    }
    if (!known) return Fail(lineNo, tok, "unknown word");
  }
  f->kind = *kind;
  return true;
}

}  // namespace

PadSource PadSourceNone() { return PadSource{NoneFrame, nullptr}; }

bool PadSourceScript(const char* text, PadSource* out) {
  auto s = std::make_unique<Script>();
  PadKind kind = PAD_DUALSHOCK2;
  std::istringstream lines(text ? text : "");
  std::string line;
  int lineNo = 0;
  while (std::getline(lines, line)) {
    lineNo++;
    size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    if (line.find_first_not_of(" \t\r,") == std::string::npos) continue;
    PadFrame f;
    int repeat;
    if (!ParseLine(lineNo, line, &kind, &f, &repeat)) return false;
    for (int i = 0; i < repeat; i++) {
      s->frames.push_back(f);
      f.modeButton = false;  // a press, not a hold
    }
  }
  s->after = kind;
  *out = PadSource{ScriptFrame, s.get()};
  g_scripts.push_back(std::move(s));
  return true;
}

bool PadSourceScriptFile(const char* path, PadSource* out) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    scePrintf("pad script: cannot read \"%s\"\n", path);
    return false;
  }
  std::stringstream text;
  text << file.rdbuf();
  return PadSourceScript(text.str().c_str(), out);
}

bool PlatPadSetSourceByName(int port, const char* spec) {
  PadSource src;
  if (strcmp(spec, "none") == 0) src = PadSourceNone();
  else if (strcmp(spec, "sdl") == 0) src = PadSourceSdl(nullptr);
  else if (strncmp(spec, "script:", 7) == 0) {
    if (!PadSourceScriptFile(spec + 7, &src)) return false;
  } else {
    return false;
  }
  PlatPadSetSource(port, src);
  return true;
}
