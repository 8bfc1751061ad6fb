// Host paths of the I/O processor's devices: "host0:" and "cdrom0:" name
// host directories; each path component is matched without regard to case,
// since the system upper-cases its paths.
#include "sndmodule.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <cstring>

namespace {

// The entry of dir whose name equals name without regard to case; the name
// itself when there is none (the path then names a missing file).
std::string MatchComponent(const std::string& dir, const std::string& name) {
  std::string exact = dir + "/" + name;
  struct stat st;
  if (stat(exact.c_str(), &st) == 0) return exact;
  DIR* d = opendir(dir.c_str());
  if (!d) return exact;
  std::string found = exact;
  while (dirent* e = readdir(d)) {
    if (strcasecmp(e->d_name, name.c_str()) == 0) {
      found = dir + "/" + e->d_name;
      break;
    }
  }
  closedir(d);
  return found;
}

}  // namespace

bool SndResolvePath(const char* path, std::string* hostPath) {
  if (!path) return false;
  const char* rest;
  bool disc = false;
  if (strncasecmp(path, "host0:", 6) == 0) rest = path + 6;
  else if (strncasecmp(path, "cdrom0:", 7) == 0) rest = path + 7, disc = true;
  else return false;
  std::string p = rest;
  if (disc) {
    size_t semi = p.rfind(';');
    if (semi != std::string::npos) p.erase(semi);
  }
  std::string out = PlatGetHostRoot();
  size_t i = 0;
  while (i < p.size()) {
    while (i < p.size() && (p[i] == '\\' || p[i] == '/')) i++;
    size_t j = i;
    while (j < p.size() && p[j] != '\\' && p[j] != '/') j++;
    if (j > i) {
      std::string comp = p.substr(i, j - i);
      if (comp == "..") return false;  // stay under the device's root
      if (comp != ".") out = MatchComponent(out, comp);
    }
    i = j;
  }
  *hostPath = out;
  return true;
}
