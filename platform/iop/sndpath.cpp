// Host paths of the sound module's files: the same resolution as the file
// I/O client's ("host0:" the host root, "cdrom0:" the disc root, each
// component matched without regard to case).
#include "sndmodule.h"
#include "iop_local.h"

#include <strings.h>

bool SndResolvePath(const char* path, std::string* hostPath) {
  if (!path) return false;
  if (strncasecmp(path, "host0:", 6) == 0) return IopResolvePath(PlatGetHostRoot(), path + 6, false, hostPath);
  if (strncasecmp(path, "cdrom0:", 7) == 0 && PlatGetDiscRoot() && *PlatGetDiscRoot()) {
    std::string rel = path + 7;
    size_t semi = rel.rfind(';');
    if (semi != std::string::npos) rel.erase(semi);
    return IopResolvePath(PlatGetDiscRoot(), rel, false, hostPath);
  }
  return false;
}
