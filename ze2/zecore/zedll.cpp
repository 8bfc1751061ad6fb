// Relocatable modules: read from the module archive (or the module
// directory) into the caller's buffer and bound by the platform's loader.
// Nothing is allocated: the record and the image live in the caller's buffer.
#include "zecore.h"

#include <cstdio>
#include <cstring>

int zedll_loaded = 0;

namespace {

ZEDAT* g_archive = nullptr;
bool g_started = false;

constexpr int DLL_ALIGN = 128;

uintptr_t RoundUp(uintptr_t a, uintptr_t n) { return (a + n - 1) & ~(n - 1); }

}  // namespace

void ZeDllInit(ZEDAT* archive) {
  g_archive = archive;
  if (!g_started) {
    snInitDllSystem(nullptr);
    g_started = true;
  }
  zedll_loaded = 0;
}

ZEDLL* ZeDllLoad(const char* name, int unused, char** address, char* end) {
  uintptr_t rec = RoundUp(reinterpret_cast<uintptr_t>(*address), 4);
  // The first 128-byte boundary at least sizeof(ZEDLL) past the record.
  uintptr_t image = (rec + sizeof(ZEDLL) + DLL_ALIGN - 1) & ~uintptr_t(DLL_ALIGN - 1);
  *address = reinterpret_cast<char*>(image);
  if (strlen(name) >= sizeof(ZEDLL::name)) {
    ZeDebugMsg("Could not load DLL %s - the name is longer than 63 characters", name);
    return nullptr;
  }
  // A buffer without room for the record and an image loads nothing.
  if (image >= reinterpret_cast<uintptr_t>(end)) {
    ZeDebugMsg("Could not load DLL %s", name);
    return nullptr;
  }
  ZEDLL* dll = reinterpret_cast<ZEDLL*>(rec);
  memset(dll, 0, sizeof *dll);
  dll->image = reinterpret_cast<void*>(image);

  char path[80];
  if (name[0] == '@') snprintf(path, sizeof path, "%s", name);
  else snprintf(path, sizeof path, "@dll%s", name);
  int validate = zefile_validate_name;
  zefile_validate_name = 0;
  ZEDAT* previous = ZeDatSet(g_archive);
  int size = ZeFileLoadBuffer(path, reinterpret_cast<void*>(image), int(reinterpret_cast<uintptr_t>(end) - image));
  ZeDatSet(previous);
  zefile_validate_name = validate;
  if (size == 0) {
    ZeDebugMsg("Could not load DLL %s", name);
    return nullptr;
  }

  dll->size = size;
  ZeDllReportError(snDllLoaded(reinterpret_cast<void*>(image), dll), __FILE__, __LINE__);
  strcpy(dll->name, name);
  *address = reinterpret_cast<char*>(RoundUp(image + uintptr_t(size), DLL_ALIGN));
  zedll_loaded++;
  return dll;
}

void ZeDllUnload(ZEDLL* dll) {
  ZeDebugMsg("Releasing DLL - %s", dll->name);
  ZeDllReportError(snDllUnload(dll->image), __FILE__, __LINE__);
  ZeDebugMsg("Released DLL - %s - OK", dll->name);
  zedll_loaded--;
}

void ZeDllReportError(int code, const char* file, int line) {
  switch (code) {
    case 0: return;
    case SN_DLL_NOT_DLL: ZeError("SNError - DLL not a DLL in %s at %d", file, line); break;
    case SN_DLL_BAD_VERSION: ZeError("SNError - DLL bad version in %s at %d", file, line); break;
    case SN_DLL_INVALID: ZeError("SNError - DLL invalid in %s at %d", file, line); break;
    case SN_DLL_BAD_ALIGN: ZeError("SNError - DLL bad align in %s at %d", file, line); break;
    case SN_DLL_NOT_LOADED: ZeError("SNError - DLL not loaded in %s at %d", file, line); break;
    case SN_DLL_TOO_MANY: ZeError("SNError - DLL too many modules in %s at %d", file, line); break;
    default: ZeError("SNError - unknown error in %s at %d", file, line); break;
  }
}
