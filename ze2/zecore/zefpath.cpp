// Path names of the file layer (the medium's prefix, the current, system
// and module directories, the @ prefixes, upper case and the 8.3 rule),
// the start-up of the medium and the I/O processor, the disc swap and the
// loading of I/O-processor modules.
#include "zecore.h"
#include "zecore_local.h"
#include "zesound2.h"

#include <cstdio>
#include <cstring>

int zefile_media = ZEFILE_MEDIA_HOST;

namespace {

char g_curDir[ZEFILE_DIRSIZE] = "";
char g_sysDir[ZEFILE_DIRSIZE] = "sys\\";
char g_dllDir[ZEFILE_DIRSIZE] = "";
int g_swapState = 0;

const char* const HOST_PREFIX = "host0:";
const char* const DISC_PREFIX = "cdrom0:\\";

// dir = name + "\" (empty name: empty directory), cut to fit.
void SetDir(char* dir, const char* name) {
  if (!name || !*name) {
    dir[0] = 0;
    return;
  }
  snprintf(dir, ZEFILE_DIRSIZE, "%.*s\\", ZEFILE_DIRSIZE - 2, name);
}

void GetPath(char* buffer, const char* dir) {
  const char* prefix = ZeFileMediaPrefix();
  size_t n = strlen(prefix);
  strcpy(buffer, prefix);
  strcpy(buffer + n, dir);
  ZeFileCheckName(buffer + n, zefile_validate_name);
}

void Upper(char* s) {
  for (; *s; s++)
    if (*s >= 'a' && *s <= 'z') *s = char(*s - 'a' + 'A');
}

}  // namespace

bool ZeFileIsDisc() { return zefile_media == ZEFILE_MEDIA_CD || zefile_media == ZEFILE_MEDIA_DVD; }
const char* ZeFileMediaPrefix() { return ZeFileIsDisc() ? DISC_PREFIX : HOST_PREFIX; }

// ---- directories and names -------------------------------------------------

void ZeFileSetCurrentDirectory(const char* name) { SetDir(g_curDir, name); }
void ZeFileSetCurrentDllDirectory(const char* name) { SetDir(g_dllDir, name); }

void ZeFileSetCurrentSysDirectory(const char* name) {
  if (name && *name) {
    SetDir(g_sysDir, name);
  } else {
    // SYS and the image name's version: "SYS250\" for IOPRP250.IMG.
    const char* v = ZEFILE_IOP_IMAGE + 5;
    int len = int(strcspn(v, "."));
    snprintf(g_sysDir, sizeof g_sysDir, "SYS%.*s\\", len, v);
  }
  Upper(g_sysDir);
}

void ZeFileGetCurrentPath(char* buffer) { GetPath(buffer, g_curDir); }
void ZeFileGetCurrentSysPath(char* buffer) { GetPath(buffer, g_sysDir); }
void ZeFileGetCurrentDllPath(char* buffer) { GetPath(buffer, g_dllDir); }

void ZeFileGetCurrentDirectory(char* buffer) {
  strcpy(buffer, g_curDir);
  size_t n = strlen(buffer);
  if (n && buffer[n - 1] == '\\') buffer[n - 1] = 0;
}

int ZeFileAppendPath(char* dst, const char* dir, const char* name) {
  size_t n = strlen(dir);
  memmove(dst, dir, n);
  if (n == 0 || dir[n - 1] != '\\') dst[n++] = '\\';
  strcpy(dst + n, name);
  return int(strlen(dst));
}

int ZeFileExtractPath(char* dst, const char* path) {
  const char* slash = strrchr(path, '\\');
  size_t n = slash ? size_t(slash - path + 1) : 0;
  memmove(dst, path, n);
  dst[n] = 0;
  return int(n);
}

int ZeFileExtractFilename(char* dst, const char* path) {
  const char* slash = strrchr(path, '\\');
  const char* name = slash ? slash + 1 : path;
  memmove(dst, name, strlen(name) + 1);
  return int(strlen(dst));
}

int ZeFileExtractFile(char* dst, const char* path) {
  const char* slash = strrchr(path, '\\');
  const char* name = slash ? slash + 1 : path;
  const char* dot = strrchr(name, '.');
  size_t n = dot ? size_t(dot - name) : strlen(name);
  memmove(dst, name, n);
  dst[n] = 0;
  return int(n);
}

int ZeFileExtractExt(char* dst, const char* path) {
  const char* dot = strrchr(path, '.');
  const char* ext = dot ? dot + 1 : path;
  memmove(dst, ext, strlen(ext) + 1);
  return int(strlen(dst));
}

void ZeFileCheckName(char* path, int validate) {
  int lastDot = -1, nameStart = 0, i = 0;
  for (; path[i]; i++) {
    char c = path[i];
    if (validate && c == '/') ZeError("File names or paths must not contain '/', use '\\' instead (%s)", path);
    if (c == '.') lastDot = i;
    if (c == '\\') nameStart = i + 1;
  }
  Upper(path);
  if (!validate) return;
  if (lastDot >= 0 && lastDot - nameStart >= 9) ZeError("File name must not be longer than 8.3 characters (%s)", path);
  if (lastDot < 0 && i - nameStart >= 9) ZeError("File name must not be longer than 8.3 characters(%s)", path);
}

bool ZeFileBuildPath(char* out, int outsize, const char* name, int mode) {
  const char* prefix;
  const char* dir;
  const char* rest = name;
  if (mode == 1 || mode == 2) {
    // Writes go to the host, and no @ prefix is interpreted.
    prefix = HOST_PREFIX;
    dir = g_curDir;
  } else {
    prefix = ZeFileMediaPrefix();
    dir = g_curDir;
    if (name[0] == '@') {
      if (strncmp(name, "@sys", 4) == 0) dir = g_sysDir;
      else if (strncmp(name, "@dll", 4) == 0) dir = g_dllDir;
      else if (strncmp(name, "@loc", 4) == 0) dir = "";
      else {
        ZeDebugMsg("Invalid @path for file open \"%s\"", name);
        return false;
      }
      rest = name + 4;
    }
  }
  bool disc = ZeFileIsDisc() && mode != 1 && mode != 2;
  int n = snprintf(out, size_t(outsize), "%s%s%s%s", prefix, dir, rest, disc ? ";1" : "");
  if (n < 0 || n >= outsize) {
    ZeDebugMsg("Path too long for file open \"%s\"", name);
    return false;
  }
  if (disc) out[n - 2] = 0;  // the name check sees the path without its suffix
  ZeFileCheckName(out + strlen(prefix), zefile_validate_name);
  if (disc) out[n - 2] = ';';
  return true;
}

// ---- start-up --------------------------------------------------------------

void ZeFileInit(int medium) { ZeFileInitEx(medium, 1, 0); }

void ZeFileInitEx(int medium, int reboot, int swap) {
  zefile_media = medium;
  if (ZeFileIsDisc()) {
    int mmode = medium == ZEFILE_MEDIA_CD ? SCECdCD : SCECdDVD;
    sceSifInitRpc(0);
    sceCdInit(0);
    if (swap) {
      sceFsReset();
      sceCdDiskReady(0);
      int r;
      do r = SwapDisk();
      while (r != 2 && r != -1);
    }
    if (reboot) {
      sceCdMmode(mmode);
      sceFsReset();
      sceCdDiskReady(0);
      char image[2 * ZEFILE_DIRSIZE];
      snprintf(image, sizeof image, "%s%s%s;1", DISC_PREFIX, g_sysDir, ZEFILE_IOP_IMAGE);
      Upper(image + strlen(DISC_PREFIX));
      while (!sceSifRebootIop(image)) KernelYield();
      while (!sceSifSyncIop()) KernelYield();
      sceSifInitRpc(0);
      sceCdInit(0);
    }
    sceCdMmode(mmode);
    sceFsReset();
    sceCdDiskReady(0);
  }
  for (ZEMEMFILE& m : zefile_mem) m = {};
  for (ZEDATMEMBER& m : zedat_member) m = {};
}

int ZeFileGetMediaMode() { return zefile_media; }

int SwapDisk() {
  uint32_t tray = 0;
  switch (g_swapState) {
    case 0:
      if (sceCdStop()) {
        g_swapState = 1;
        return 0;
      }
      return -1;
    case 1:
      if (sceCdSync(1) == 0) g_swapState = 2;
      return 0;
    case 2:
      if (!sceCdTrayReq(SCECdTrayOpen, &tray)) {
        g_swapState = 0;
        return -1;
      }
      g_swapState = 3;
      return 0;
    case 3:
      if (!sceCdTrayReq(SCECdTrayCheck, &tray)) {
        g_swapState = 0;
        return -1;
      }
      if (tray == 1) {
        g_swapState = 4;
        return 1;
      }
      return 0;
    case 4:
      if (sceCdDiskReady(1) == SCECdComplete) g_swapState = 5;
      return 1;
    default:
      g_swapState = 0;
      return 2;
  }
}

int ZeFileSifLoadModule(const char* name, int arglen, const char* args) {
  int err = 0;
  for (int attempt = 0; attempt < 4; attempt++) {
    char path[2 * ZEFILE_DIRSIZE + 64];
    if (attempt < 2) {
      const char* prefix = ZeFileMediaPrefix();
      snprintf(path, sizeof path, "%s%s%s", prefix, g_sysDir, name);
      if (ZeFileIsDisc()) {
        Upper(path + strlen(prefix));
        size_t n = strlen(path);
        if (n + 3 <= sizeof path) memcpy(path + n, ";1", 3);
      }
    } else {
      snprintf(path, sizeof path, "%s/usr/local/sce/iop/modules/%s", attempt == 3 ? "host0:" : "", name);
    }
    err = sceSifLoadModule(path, arglen, args);
    if (err >= 0) {
      ZeDebugMsg("Successfully loaded IRX Module: %s", path);
      return err;
    }
    ZeDebugMsg("Unable to load SIF module \"%s\" on try %d because;", path, attempt);
    switch (err) {
      case -65536: ZeDebugMsg("Binding the IOP module failed"); break;
      case -65537: ZeDebugMsg("RPC to the IOP mailed"); break;
      case -65540: ZeDebugMsg("The IOP module version does not match"); break;
      default: ZeDebugMsg("Unknown error code %d", err); break;
    }
  }
  return err;
}
