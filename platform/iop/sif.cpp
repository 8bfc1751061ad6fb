// SIF as the system uses it: the I/O processor is in-process, so reboot
// and sync answer "done" at once; modules load by file name from a
// registry: the required drivers, the sound module while sound is enabled,
// and what PlatSifAddModule adds. Tests make a load fail with a chosen code.
#include "platform.h"
#include "iop_local.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char* const REQUIRED[] = {"SIO2MAN.IRX", "PADMAN.IRX", "MCMAN.IRX", "MCSERV.IRX", "LIBSD.IRX", "SDRDRV.IRX"};
constexpr const char* SOUND_MODULE = "ZESOUND2.IRX";

std::vector<std::string> g_added;   // PlatSifAddModule
std::vector<std::string> g_loaded;
struct Failure {
  std::string name;
  int code;
};
std::vector<Failure> g_fail;
bool g_sound = true;
int g_nextModuleId = 1;

// The file name of a module path: after the last '\', '/' or ':', without ";1", upper case.
std::string FileName(const char* path) {
  std::string name = path;
  size_t cut = name.find_last_of("\\/:");
  if (cut != std::string::npos) name.erase(0, cut + 1);
  size_t semi = name.rfind(';');
  if (semi != std::string::npos) name.erase(semi);
  return IopUpper(name);
}

bool Known(const std::string& name) {
  for (const char* r : REQUIRED)
    if (name == r) return true;
  // Without sound the module's file is not there to load.
  if (name == SOUND_MODULE) return g_sound;
  return std::find(g_added.begin(), g_added.end(), name) != g_added.end();
}

}  // namespace

void sceSifInitRpc(int) {}
int sceSifRebootIop(const char*) { return 1; }
int sceSifSyncIop() { return 1; }
int sceFsReset() { return 0; }
int sceSifInitIopHeap() { return 0; }
int sceSdRemoteInit() { return 0; }

void PlatSifAddModule(const char* name) {
  if (name && *name) g_added.push_back(IopUpper(name));
}

int sceSifLoadModule(const char* path, int, const char*) {
  if (!path) return SIF_ERR_NOFILE;
  std::string name = FileName(path);
  for (const Failure& f : g_fail)
    if (f.name == name) return f.code;
  if (!Known(name)) return SIF_ERR_NOFILE;
  g_loaded.push_back(name);
  return g_nextModuleId++;
}

void PlatIopSetSoundEnabled(bool enabled) { g_sound = enabled; }

void PlatIopFailModule(const char* name, int code) {
  std::string n = FileName(name);
  g_fail.erase(std::remove_if(g_fail.begin(), g_fail.end(), [&](const Failure& f) { return f.name == n; }),
               g_fail.end());
  if (code != 0) g_fail.push_back({n, code});
}

bool PlatIopModuleLoaded(const char* name) {
  return std::find(g_loaded.begin(), g_loaded.end(), FileName(name)) != g_loaded.end();
}

void PlatIopReset() {
  g_loaded.clear();
  g_fail.clear();
  g_sound = true;
}
