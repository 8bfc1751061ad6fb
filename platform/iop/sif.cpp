// SIF as the system uses it: the I/O processor is in-process, so reboot
// and sync answer "done" at once; modules load by file name from a
// registry that starts with the required drivers.
#include "platform.h"
#include "iop_local.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {
std::vector<std::string> g_modules = {"SIO2MAN.IRX", "PADMAN.IRX", "MCMAN.IRX",
                                      "MCSERV.IRX", "LIBSD.IRX", "SDRDRV.IRX"};
int g_nextModuleId = 1;
}  // namespace

void sceSifInitRpc(int) {}
int sceSifRebootIop(const char*) { return 1; }
int sceSifSyncIop() { return 1; }
int sceFsReset() { return 0; }

void PlatSifAddModule(const char* name) {
  if (name && *name) g_modules.push_back(IopUpper(name));
}

int sceSifLoadModule(const char* path, int, const char*) {
  if (!path) return -2;
  std::string name = path;
  size_t cut = name.find_last_of("\\/:");
  if (cut != std::string::npos) name.erase(0, cut + 1);
  size_t semi = name.rfind(';');
  if (semi != std::string::npos) name.erase(semi);
  name = IopUpper(name);
  // The engine's sound module loads while sound is on.
  if (name == "ZESOUND2.IRX") return SndModuleLoad(PlatGetSound()) == 0 ? g_nextModuleId++ : -2;
  if (std::find(g_modules.begin(), g_modules.end(), name) == g_modules.end()) return -2;  // no such file
  return g_nextModuleId++;
}
