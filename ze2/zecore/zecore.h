// zecore: the engine core's reporting, memory, lists, strings and files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform.h"

// ===================================================================
// Fatal errors, assertions and debug messages (zeerror)
// ===================================================================

using ZEMSGFN = void (*)(const char* format, ...);
using ZEMSGTTYFN = void (*)(int channel, const char* format, ...);

ZEMSGFN ZeErrorProlog(const char* file, int line);
ZEMSGFN ZeWarningProlog(const char* file, int line);
ZEMSGFN ZeDebugMsgProlog(const char* file, int line);
ZEMSGTTYFN ZeDebugMsgPrologTTY(const char* file, int line);
[[noreturn]] void ZeAssertMsg(const char* file, int line, const char* expression);
void ZeErrorCheck(const char* text);
void ttyInit();
void ttyPrintf(int channel, const char* format, ...) __attribute__((format(printf, 2, 3)));
void EventHandler(int event, int size, void* channel);

#define ZeError ZeErrorProlog(__FILE__, __LINE__)
#define ZeWarning ZeWarningProlog(__FILE__, __LINE__)
#define ZeDebugMsg ZeDebugMsgProlog(__FILE__, __LINE__)
#define ZeDebugMsgTTY ZeDebugMsgPrologTTY(__FILE__, __LINE__)
// An assertion is a fatal error whose message is "assert".
#define ZEASSERT(x) ((x) ? (void)0 : ZeErrorProlog(__FILE__, __LINE__)("assert"))

extern int errmsg_to_file;     // debug messages go to "ze2.err" (default 0)
extern int errmsg_to_console;  // print on the console (default 1)
extern int errmsg_disabled;    // drop debug messages (default 0)
extern int errmsg_trap;        // 2: a fatal error happened; 1: an assertion failed

constexpr int ZETTY_CHANNELS = 10;
constexpr int ZETTY_BUFSIZE = 1024;
constexpr int ZETTY_HEADER = 12;     // u16 length, u16 0, u16 protocol, 'E', 'H', u32 0
constexpr int ZETTY_MAXTEXT = 1011;  // text characters one packet carries
constexpr uint16_t ZETTY_PROTOCOL = 0x210;  // + channel

struct ZETTYCHANNEL {
  int socket;             // negative when the channel failed to open
  int bytes;              // still to send; -1 when the send finished or failed
  EePtr<char> sendptr;    // next byte to send
  char packet[ZETTY_BUFSIZE];
  char recv[ZETTY_BUFSIZE];
};
static_assert(sizeof(ZETTYCHANNEL) == 12 + 2 * ZETTY_BUFSIZE);
extern ZETTYCHANNEL opt[ZETTY_CHANNELS];

// ===================================================================
// Tagged heap, discardable buffers, block pools, high memory (zemem)
// ===================================================================

struct MEMBLKHEADER {
  EePtr<MEMBLKHEADER> next;  // next older live block (null: oldest)
  EePtr<MEMBLKHEADER> prev;  // next newer live block (null: newest)
  int line;
  int allocno;
  int size;                  // data bytes
  char guard[12];            // "MEMBLKHEADER", no terminator
};
static_assert(sizeof(MEMBLKHEADER) == 32);
static_assert(offsetof(MEMBLKHEADER, size) == 16 && offsetof(MEMBLKHEADER, guard) == 20);
// After the data: "MEMBLKTAIL01" (no terminator), the caller's path and 0.
constexpr int MEMBLKTAIL_LEN = 12;

struct ZEMEMDISCARD {
  int size;            // bytes in the area
  int remaining;       // bytes not yet handed out
  EePtr<char> current; // next address handed out
  int pad;
  // the area follows, 16-byte aligned
};
static_assert(sizeof(ZEMEMDISCARD) == 16);

struct ZEMEMBLK {
  EePtr<void> freehead;  // first free element; each free element's first word links the next
  int elsize;            // after rounding
  int count;
  int16_t flags;         // bit 0: the pool lives in caller memory
  int16_t freecount;
};
static_assert(sizeof(ZEMEMBLK) == 16);

void* ZeMemAllocFn(int size, const char* file, int line);
void ZeMemFreeFn(void* p, const char* file, int line);
void* ZeMemAlloc(int size);
void ZeMemFree(void* p);
void* ZeMemValidateFn();
void ZeMemDumpFn(int minimum);
void ZeMemFlushFn();
uintptr_t ZeMemGetPeakAllocAddr();
void ZeMemSetExternal(char** current, char** end);
ZEMEMDISCARD* ZeMemCreateDiscardable(int size);
ZEMEMDISCARD* ZeMemSetDiscardable(ZEMEMDISCARD* buffer);
void ZeMemFlushDiscardable(ZEMEMDISCARD* buffer);
void ZeMemDestroyDiscardable(ZEMEMDISCARD* buffer);

#define ZeMemAllocTagged(size) ZeMemAllocFn((size), __FILE__, __LINE__)
#define ZeMemFreeTagged(p) ZeMemFreeFn((p), __FILE__, __LINE__)

extern uintptr_t highallocaddr;
extern int zemem_debugstop;  // stop at this allocation number (0: off)

ZEMEMBLK* ZeMemBlkCreate(int elsize, int count, int mask);
ZEMEMBLK* ZeMemBlkCreateEx(int elsize, int count, int mask, void* memory);
ZEMEMBLK* ZeMemBlkCreateHigh(int elsize, int count, int mask);
int ZeMemBlkSize(int elsize, int count, int mask);
void* ZeMemBlkAlloc(ZEMEMBLK* pool);
void ZeMemBlkFree(ZEMEMBLK* pool, void* element);
void ZeMemBlkDestroy(ZEMEMBLK* pool);
int ZeMemBlkCheckFreeList(ZEMEMBLK* pool);

void ZeAllocHighInit(void* start, int size);
void* ZeAllocHigh(int bytes);
void ZeFreeHigh(void* p);

// ===================================================================
// Lists, element pools and strings (zelist)
// ===================================================================

struct ZELISTNODE {
  EePtr<ZELISTNODE> next;
  EePtr<ZELISTNODE> prev;
};
struct ZELIST {
  EePtr<ZELISTNODE> head;  // in the same place as a node's next
  EePtr<ZELISTNODE> tail;
};
static_assert(sizeof(ZELIST) == 8 && sizeof(ZELISTNODE) == 8);

void ZeListAppend(ZELIST* list, void* node);
void ZeListInsert(ZELIST* list, void* node);
void ZeListInsertBefore(ZELIST* list, void* before, void* node);
void ZeListInsertAfter(ZELIST* list, void* after, void* node);
void ZeListRemove(ZELIST* list, void* node);
void* ZeListGetHead(ZELIST* list);
void* ZeListGetTail(ZELIST* list);
void* ZeListGetNext(ZELIST* list, void* node);
void* ZeListGetPrev(ZELIST* list, void* node);
int ZeListCheck(ZELIST* list);

struct ZELST;
struct ZELSTNODE {
  EePtr<ZELST> pool;
  EePtr<ZELSTNODE> next;
  EePtr<ZELSTNODE> prev;
  uint32_t info;  // bits 0-15: index; bit 16: in use
};
static_assert(sizeof(ZELSTNODE) == 16);
constexpr uint32_t ZELST_INUSE = 0x10000;

struct ZELST {
  EePtr<ZELSTNODE> freehead, freetail;
  EePtr<ZELSTNODE> usedhead, usedtail;
  int16_t capacity;
  int16_t elsize;
  int16_t stride;   // node to node
  int16_t used;
  int pad[2];
  // nodes follow, each with its element
};
static_assert(sizeof(ZELST) == 32);

ZELST* ZeLstCreate(int count, int elsize);
ZELST* ZeLstCreateBuff(int count, int elsize, char** address, char* end, int align);
void ZeLstDestroy(ZELST* pool);
void* ZeLstAllocHead(ZELST* pool);
void* ZeLstAlloc(ZELST* pool);
void* ZeLstAllocTail(ZELST* pool);
void* ZeLstAllocBefore(void* element);
void* ZeLstAllocAfter(void* element);
int ZeLstFree(void* element);
void* ZeLstGetNext(ZELST* pool, void* element);
void* ZeLstGetPrev(ZELST* pool, void* element);
void* ZeLstGetByIdx(ZELST* pool, int index);

int ZeStrCpy(char* dst, const char* src);
void ZeStrCat(char* dst, const char* src);
int ZeStrLen(const char* s);
char* ZeStrStr(const char* haystack, const char* needle);
char* ZeStrIStr(const char* haystack, const char* needle);
int ZeStrICmp(const char* a, const char* b);

void ZeMemCopy128(void* dst, const void* src, int count);
void ZeMemSet128(void* dst, int value, int count);

// ===================================================================
// File layer (zefile)
// ===================================================================
// A ZEFILE is an int whose range says what stands behind it:
//   0            failure / no file
//   1-16         platform file, descriptor = handle - 1
//   18-33        sound-module file, descriptor = handle - 1 (17-32)
//   1024-1043    memory file, slot = handle - 1024
//   2048-2067    member of a data archive, slot = handle - 2048

using ZEFILE = int;

enum { ZEFILE_MEDIA_HOST = 0, ZEFILE_MEDIA_CD = 1, ZEFILE_MEDIA_HOST2 = 2, ZEFILE_MEDIA_DVD = 3 };
constexpr int ZEFILE_RECORDS = 33;          // descriptors 0-32 (16 never used)
constexpr int ZEFILE_MEMFILE_BASE = 1024;
constexpr int ZEFILE_MEMFILES = 20;
constexpr int ZEFILE_DATFILE_BASE = 2048;
constexpr int ZEFILE_DATFILES = 20;
constexpr int ZEFILE_BUFFERS = 4;           // read buffers shared by buffered files
constexpr int ZEFILE_BUFSIZE = 1024;
constexpr int ZEFILE_DIRSIZE = 256;         // each directory string
constexpr int ZEFILE_SECTOR = 2048;         // disc sector
constexpr int ZEFILE_RETRIES = 8;           // failed platform reads or seeks before a fatal error
constexpr const char* ZEFILE_IOP_IMAGE = "IOPRP250.IMG";

struct ZEFILEBUF;

// One per descriptor; cleared at open and at close.
struct ZEFILEREC {
  int fd;
  int pos;        // logical position (buffered files)
  int platpos;    // where the platform's own file position is
  int size;       // bytes, taken at open
  int bufstart;   // file position of the first byte held in the read buffer
  int buflen;     // bytes held
  int buffered;
  int sector;     // first disc sector (0: none found)
  EePtr<ZEFILEBUF> buf;
};
static_assert(sizeof(ZEFILEREC) == 36);

struct ZEFILEBUF {
  EePtr<ZEFILEREC> owner;  // null: free
  int stamp;               // from a counter incremented at each assignment
  uint8_t data[ZEFILE_BUFSIZE];
};
static_assert(sizeof(ZEFILEBUF) == 8 + ZEFILE_BUFSIZE);

struct ZEMEMFILE {
  EePtr<uint8_t> start;
  EePtr<uint8_t> last;     // start + size - 1
  EePtr<uint8_t> current;
  int mode;                // always 0
  int inuse;
};
static_assert(sizeof(ZEMEMFILE) == 20);

extern int zefile_validate_name;      // check names against 8.3 (default 0)
extern int zefile_buffering_enabled;  // buffer files opened for reading (default 0)
extern int zefile_try_packed;         // whole-file loads unpack packed files (default 1)

void ZeFileInit(int medium);
void ZeFileInitEx(int medium, int reboot, int swap);
int ZeFileGetMediaMode();
int SwapDisk();  // -1 failed, 0 busy, 1 tray cycled, 2 done
int ZeFileSifLoadModule(const char* name, int arglen, const char* args);

void ZeFileSetCurrentDirectory(const char* name);
void ZeFileSetCurrentDllDirectory(const char* name);
void ZeFileSetCurrentSysDirectory(const char* name);
void ZeFileGetCurrentPath(char* buffer);
void ZeFileGetCurrentSysPath(char* buffer);
void ZeFileGetCurrentDllPath(char* buffer);
void ZeFileGetCurrentDirectory(char* buffer);
int ZeFileAppendPath(char* dst, const char* dir, const char* name);
int ZeFileExtractPath(char* dst, const char* path);
int ZeFileExtractFilename(char* dst, const char* path);
int ZeFileExtractFile(char* dst, const char* path);
int ZeFileExtractExt(char* dst, const char* path);
// Upper-cases a path in place; with validate, '/' and names longer than
// 8.3 are fatal.
void ZeFileCheckName(char* path, int validate);

ZEFILE ZeFileOpen(const char* name, int mode);  // 0 read, 1 write, 2 append, 3 read without waiting
void ZeFileClose(ZEFILE handle);                 // 0 is accepted and does nothing
int ZeFileStatus(ZEFILE handle);
int ZeFileOpenSize(ZEFILE handle);
int ZeFileSize(const char* name);                // -1 when missing

int ZeFileRead(ZEFILE handle, void* data, int count);
int ZeFileSeek(ZEFILE handle, int offset, int whence);
int ZeFilePos(ZEFILE handle);
int ZeFileReadFrom(ZEFILE handle, void* data, int size, int position);
int ZeFileReadInt(ZEFILE handle);
unsigned ZeFileReadUnsignedInt(ZEFILE handle);
float ZeFileReadFloat(ZEFILE handle);
int16_t ZeFileReadShort(ZEFILE handle);
int8_t ZeFileReadChar(ZEFILE handle);

int ZeFileWrite(ZEFILE handle, const void* data, int count);
int ZeFileWriteInt(ZEFILE handle, int value);
int ZeFileWriteUnsignedInt(ZEFILE handle, unsigned value);
int ZeFileWriteFloat(ZEFILE handle, float value);
int ZeFileWriteShort(ZEFILE handle, int16_t value);
int ZeFileWriteChar(ZEFILE handle, int8_t value);
int ZeFileWriteString(ZEFILE handle, const char* text);
int ZeFileWriteStringV(ZEFILE handle, const char* format, ...) __attribute__((format(printf, 2, 3)));

int ZeFileLoadBuffer(const char* name, void* buffer, int size);  // 0: missing or does not fit
void* ZeFileLoad(const char* name);

ZEFILE ZeMemFileOpen(void* address, int size, int mode);
void ZeMemFileClose(ZEFILE handle);
int ZeMemFileRead(ZEFILE handle, void* data, int count);
int ZeMemFileSeek(ZEFILE handle, int offset, int whence);  // kept within the file
int ZeMemFilePos(ZEFILE handle);
void* ZeMemFileAddr(ZEFILE handle);
int ZeMemFileOpenSize(ZEFILE handle);

// Raw platform calls for relocatable modules.
int fsOpen(const char* name, int flags);
int fsClose(int fd);
int fsRead(int fd, void* data, int count);
int fsWrite(int fd, const void* data, int count);
int fsLseek(int fd, int offset, int whence);

// ===================================================================
// Block files and pointer patching (zeblk)
// ===================================================================
// A block: id (4 characters in file order), int32 size (the whole block
// from its id, a multiple of 16 as written; negated when written with the
// negative flag), contents, padding to 16 from the block's own start.
// Saved pointers are int32 fields holding target position - field
// position (0: null); after loading, field address + value is the target.

constexpr int ZeBlkId(char a, char b, char c, char d) {
  return int(uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
             uint32_t(uint8_t(d)) << 24);
}

constexpr int ZEBLK_STACK = 1024;  // entries of each stack; entry 0 is never used

struct ZEBLKENTRY {
  int id;
  int size;   // reading: the positive size; writing: the sign, -1 or 1
  int start;  // file position of the block's id
};
static_assert(sizeof(ZEBLKENTRY) == 12);

struct ZEFILEADDR {
  EePtr<const void> pointer;
  int pos;  // reference: where its field was written; target: where the object starts
};
static_assert(sizeof(ZEFILEADDR) == 8);

// The id, or 0 when the enclosing block is exhausted: fewer than 16 bytes
// left in it are its padding, unless they start with a header-only block
// (a non-zero id and size 8), which is returned.
int ZeFileBeginBlkRead(ZEFILE file, int id);
void ZeFileEndBlkRead(ZEFILE file);
int ZeFileGetBlkSize();
void ZeFileBeginBlkWrite(ZEFILE file, int id, int negative);
void ZeFileEndBlkWrite(ZEFILE file);
int ZeFileAlign(ZEFILE file, int mask);

void ZeFileInitAddress(int capacity);
void ZeFileTidyAddress();
void ZeFileWriteAddress(ZEFILE file, const void* pointer);
void ZeFileSetAddress(ZEFILE file, const void* pointer);
void ZeFilePatchAddress(ZEFILE file);

// Turns a loaded saved pointer into the address it names, in place.
template <class T>
inline void ZeFileFixAddress(EePtr<T>* field) {
  if (field->addr) field->addr += EeAddrOf(field);
}

// ===================================================================
// Data archives (zearc)
// ===================================================================
// Archive file (little-endian):
//   int32 directory offset, int32 directory size
//   directory: int32 first word (the builder's format version), int32 N,
//     N x ZEDATENTRY, int32 M, M x ZEDATNODE (node 0 is the root),
//     int32 name pool size, name pool (zero-terminated names)

constexpr int ZEDAT_MAXDEPTH = 128;  // path components: a 256-byte path holds no more

struct ZEDATENTRY {
  int offset;    // file position of the member's data
  int stored;    // bytes in the archive (a packed member: the whole packed file)
  int unpacked;  // bytes after unpacking
  int flags;     // bit 0: packed
};
static_assert(sizeof(ZEDATENTRY) == 16);

struct ZEDATNODE {
  int16_t child;    // > 0: directory, index of its first child; <= 0: file, -child is its index
  int16_t sibling;  // next node of the same directory (0: none)
  EePtr<char> name; // in the file: offset into the name pool
};
static_assert(sizeof(ZEDATNODE) == 8);

struct ZEDAT {
  int first;                 // the directory's first word
  int nfiles;
  EePtr<ZEDATENTRY> files;
  int nnodes;
  EePtr<ZEDATNODE> nodes;
  int poolsize;
  EePtr<char> pool;
  ZEFILE member;             // handle of the member open at present (0: none)
  ZEFILE file;               // the archive file
  int16_t heap;              // 1: this record lives on the tagged heap
  int16_t mode;
  int sector;                // first disc sector of the archive (0: not read by sectors)
  // the directory follows
};
static_assert(sizeof(ZEDAT) == 44);

struct ZEDATMEMBER {
  EePtr<ZEDAT> dat;
  int start;
  int stored;
  int unpacked;
  int inuse;
  int flags;
};
static_assert(sizeof(ZEDATMEMBER) == 24);

ZEDAT* ZeDatOpenEx(const char* name, char** buffer, int* used, int mode);
ZEDAT* ZeDatOpen(const char* name, char** buffer, int* used);
void ZeDatClose(ZEDAT* dat);
ZEDAT* ZeDatSet(ZEDAT* dat);  // the previous current archive
int ZeDatFind(ZEDAT* dat, const char* path);
int ZeDatGetFileInfo(ZEDAT* dat, const char* path, int* start, int* size);
ZEFILE ZeDatFileOpen(ZEDAT* dat, const char* path, int mode);
int ZeDatFileRead(ZEFILE handle, void* data, int count);
int ZeDatFileSeek(ZEFILE handle, int offset, int whence);
int ZeDatFilePos(ZEFILE handle);
int ZeDatFileOpenSize(ZEFILE handle);
void ZeDatFileClose(ZEFILE handle);
int ZeDatFileLoadBuffer(ZEDAT* dat, const char* path, void* buffer, int size);
int ZeDatFileLoadBufferLSN(ZEDAT* dat, const char* path, void* buffer, int size);

// ===================================================================
// Packed files (rnc)
// ===================================================================
// Header (multi-byte fields big-endian), then the packed stream: bits read
// most significant first, mixed with whole bytes.

struct ZEPPHEADER {
  char id[3];            // "RNC"
  uint8_t method;        // 2
  uint8_t unpacked[4];
  uint8_t packed[4];     // bytes of stream after the header
  uint8_t crcunpacked[2];
  uint8_t crcpacked[2];
  uint8_t leeway;
  uint8_t chunks;
};
static_assert(sizeof(ZEPPHEADER) == 18);

constexpr int ZEPP_MAGIC = 0x02434E52;  // 'R', 'N', 'C', 2 read little-endian
constexpr int ZEPP_MARGIN = 256;        // room kept behind the output for in-place unpacking

int ZePPLoadBuffer(ZEFILE file, void* buffer, int size);
// Decodes the stream behind the header into output (which holds the
// header's unpacked size); a damaged stream is a fatal error.
int ZePPUnpack(const void* header, void* output);
int ZePPGetSize(ZEFILE file);

// ===================================================================
// Relocatable modules (zedll)
// ===================================================================
// A module is loaded into the caller's buffer: the record first, the image
// at the next 128-byte boundary at least 76 bytes on. The platform's loader
// binds it: its needs resolved against the program's exports, the program's
// slots for its exports filled (and zeroed again when it is unloaded).

struct ZEDLL {
  uint32_t loader;     // the platform loader's word
  EePtr<void> image;   // load address, 128-byte aligned
  int size;            // loaded bytes
  char name[64];       // as passed to ZeDllLoad
};
static_assert(sizeof(ZEDLL) == 76 && offsetof(ZEDLL, name) == 12);
static_assert(offsetof(ZEDLL, image) == offsetof(SnDllHeader, image) &&
              offsetof(ZEDLL, size) == offsetof(SnDllHeader, size));

extern int zedll_loaded;  // modules loaded less modules unloaded

void ZeDllInit(ZEDAT* archive);
// Loads and binds a module ("@dll" in front of a name not starting with '@')
// at *address, which ends past the image rounded up to 128. Null when the
// file cannot be loaded; a loader error is fatal.
ZEDLL* ZeDllLoad(const char* name, int unused, char** address, char* end);
void ZeDllUnload(ZEDLL* dll);
void ZeDllReportError(int code, const char* file, int line);  // 0 does nothing; else fatal

// ===================================================================
// Text-file parser (zefpar)
// ===================================================================

struct ZEFPAR;
using ZEFPARFN = void (*)(ZEFPAR* parser);

struct ZEFPCMD {
  const char* word;  // null ends a table
  ZEFPARFN handler;
};

constexpr int ZEFPAR_SIZE = 5000;     // the parser's heap block
constexpr int ZEFPAR_READSIZE = 4096;
constexpr int ZEFPAR_LINE = 256;
constexpr int ZEFPAR_STACK = 8;

struct ZEFPAR {
  EePtr<char> buffer;   // the read buffer: 64-byte aligned, inside this block
  ZEFILE file;
  char name[256];       // empty for parsers made by ZeFParOpen
  char line[ZEFPAR_LINE];
  char word[ZEFPAR_LINE];
  int lineno;           // -1 at creation; counts every physical line
  int linepos;          // where the next word is looked for
  int filepos;          // file offset of the next character
  int bufstart, bufend; // file offsets of the first and last byte buffered
  EePtr<const ZEFPCMD> stack[ZEFPAR_STACK];
  int top;              // -1: empty
  int filesize;
  // the read buffer lies in the rest of the block
};
static_assert(sizeof(ZEFPAR) == 836);
static_assert(sizeof(ZEFPAR) + 63 + ZEFPAR_READSIZE <= ZEFPAR_SIZE);

struct ZEFPARPOS {
  int lineno, linepos, filepos, bufstart, bufend;
};

extern ZEFPARFN fnInterpreterError;

ZEFPAR* ZeFParCreate(const char* name);
ZEFPAR* ZeFParOpen(ZEFILE handle);
void ZeFParDestroy(ZEFPAR* parser);
void ZeFParClose(ZEFPAR* parser);
int ZeFParGetLine(ZEFPAR* parser);
int ZeFParGetWord(ZEFPAR* parser);
int ZeFParGetInt(ZEFPAR* parser);
float ZeFParGetFloat(ZEFPAR* parser);
void ZeFParUnGetWord(ZEFPAR* parser);
int ZeFParInterpretWord(ZEFPAR* parser);
int ZeFParPushCom(ZEFPAR* parser, const ZEFPCMD* table);
int ZeFParPopCom(ZEFPAR* parser);
ZEFPARFN ZeFParSetInterpreterErrorHandler(ZEFPARFN handler);
void ZeFParSuspend(ZEFPAR* parser);
void ZeFParResume(ZEFPAR* parser);
void ZeFParGetPos(ZEFPAR* parser, ZEFPARPOS* pos);
void ZeFParSetPos(ZEFPAR* parser, const ZEFPARPOS* pos);
int ZeGetChar(ZEFPAR* parser);
