// The I/O processor's module loader as a registry: the modules the system
// loads are known by file name and "load" at once; the sound module only
// while sound is enabled. Tests make a load fail with a chosen code.
#include "platform.h"

#include <string>
#include <vector>

namespace {

const char* const KNOWN[] = {"SIO2MAN.IRX", "PADMAN.IRX", "MCMAN.IRX", "MCSERV.IRX",
                             "LIBSD.IRX",   "SDRDRV.IRX", "ZESOUND2.IRX"};
constexpr const char* SOUND_MODULE = "ZESOUND2.IRX";

bool g_sound = true;
int g_nextId = 1;
std::vector<std::string> g_loaded;
struct Failure {
  std::string name;
  int code;
};
std::vector<Failure> g_fail;

// The file name of a module path: after the last '\', '/' or ':', without ";1".
std::string FileName(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; p++)
    if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
  std::string s = name;
  size_t semi = s.find(';');
  if (semi != std::string::npos) s.erase(semi);
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return s;
}

}  // namespace

int sceSifLoadModule(const char* path, int argLength, const char* args) {
  if (!path) return SIF_ERR_NOFILE;
  std::string name = FileName(path);
  for (const Failure& f : g_fail)
    if (f.name == name) return f.code;
  bool known = false;
  for (const char* k : KNOWN) known = known || name == k;
  if (!known) return SIF_ERR_NOFILE;
  // Without sound the module's file is not there to load.
  if (name == SOUND_MODULE && !g_sound) return SIF_ERR_NOFILE;
  g_loaded.push_back(name);
  return g_nextId++;
}

int sceSifInitIopHeap() { return 0; }
int sceSdRemoteInit() { return 0; }

void PlatIopSetSoundEnabled(bool enabled) { g_sound = enabled; }

void PlatIopFailModule(const char* name, int code) {
  std::string n = FileName(name);
  for (size_t i = 0; i < g_fail.size(); i++) {
    if (g_fail[i].name == n) {
      g_fail.erase(g_fail.begin() + long(i));
      break;
    }
  }
  if (code != 0) g_fail.push_back({n, code});
}

bool PlatIopModuleLoaded(const char* name) {
  std::string n = FileName(name);
  for (const std::string& l : g_loaded)
    if (l == n) return true;
  return false;
}

void PlatIopReset() {
  g_loaded.clear();
  g_fail.clear();
  g_sound = true;
}
