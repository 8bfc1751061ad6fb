// State shared by the file modules of zecore (files, archives, blocks,
// packed files); not part of the library's interface.
#pragma once

#include "zecore.h"

extern ZEFILEREC zefile_rec[ZEFILE_RECORDS];
extern ZEFILEBUF zefile_buf[ZEFILE_BUFFERS];
extern ZEMEMFILE zefile_mem[ZEFILE_MEMFILES];
extern ZEDATMEMBER zedat_member[ZEFILE_DATFILES];
extern ZEDAT* zedat_current;
extern int zefile_media;

bool ZeFileIsDisc();
const char* ZeFileMediaPrefix();
// The platform path of a name opened in a mode (prefix, directories, upper
// case, the disc's ";1"); false for an unknown @ prefix or a path too long.
bool ZeFileBuildPath(char* out, int outsize, const char* name, int mode);
// Gives a buffered file a read buffer, restoring the block it held.
void ZeFileRefillBuffer(ZEFILEREC* rec);
// The record of a platform or sound-module handle, or null.
ZEFILEREC* ZeFileRecOf(ZEFILE handle);

// Platform reads and seeks that fail are retried a bounded number of times
// (each failure reported with msg), then fatal. Short reads are results.
int ZeFileReadRetry(ZEFILE handle, void* data, int count, const char* msg);
int ZeFileSeekRetry(ZEFILE handle, int offset, int whence, const char* msg);

// Loads a packed or plain file into a buffer; with fatal 0 a file that
// does not fit gives -1 instead of the fatal error.
int ZePPLoad(ZEFILE file, void* buffer, int size, int fatal);
// A packed member's header must agree with its directory entry (stored
// bytes, unpacked size) before it is unpacked; fatal, naming what, if not.
void ZePPCheckHeader(const void* header, int stored, int unpacked, const char* what);

// Forgets every open file, archive member, block stack and current
// archive, closing platform files (harnesses that end inputs with a fatal
// error).
void ZeFileReset();
void ZeFileBlkReset();
