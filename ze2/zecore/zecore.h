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

using ZEFILE = int;

ZEFILE ZeFileOpen(const char* name, int mode);  // 0 read, 1 write, 2 append, 3 read without waiting
void ZeFileClose(ZEFILE handle);
int ZeFileRead(ZEFILE handle, void* data, int count);
int ZeFileWrite(ZEFILE handle, const void* data, int count);
int ZeFileSeek(ZEFILE handle, int offset, int whence);
