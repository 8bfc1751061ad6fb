// zesound2: the sound client. For now only the sound module's file service,
// the door through which every read-only file is read while the sound
// module runs; the module itself is a service table installed by whoever
// stands in for it (tests install a fake).
#pragma once

#include <cstdint>

#include "platform.h"

// ===================================================================
// File service of the sound module
// ===================================================================

extern int zesound_enabled;  // non-zero while the sound module runs

constexpr int ZESOUND_FILES = 16;     // file slots of the service
constexpr int ZESOUND_FD_FIRST = 17;  // descriptor of slot 0; slots give 17-32
constexpr int ZESOUND_ALIGN = 64;     // destinations of reads

// What the sound module does for the client, one request at a time.
struct ZESOUNDFILESERVICE {
  // The file's start sector and size in bytes; size 0 when it is missing.
  void (*find)(const char* path, int* sector, int* size);
  // Reads count bytes at byte position pos of the file starting at sector;
  // returns the bytes read.
  int (*read)(int sector, int pos, void* dest, int count);
};

// Installs the service (null: none); returns the previous one.
const ZESOUNDFILESERVICE* ZeSoundSetFileService(const ZESOUNDFILESERVICE* service);

int ZeSoundFOpen(const char* path, int flags);  // 17-32, or -1 when missing
int ZeSoundFOpenSize(int fd);
int ZeSoundFRead(int fd, void* dest, int count);  // dest 64-byte aligned
int ZeSoundFSeek(int fd, int offset, int whence);
int ZeSoundFClose(int fd);
