// The host platform: what stands in for the console's hardware and system
// libraries. The system's code calls these by the console's names; nothing
// host-specific leaks through this header (only standard headers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdarg>
#include <type_traits>

// ===================================================================
// EE memory
// ===================================================================
// One arena at a fixed address below 256 MB. An address in it *is* its
// EE address. Everything the system allocates lives there, including the
// stacks of the engine's threads, so every pointer it stores fits 32 bits.

constexpr uint32_t EE_ARENA_BASE = 0x08000000;
constexpr uint32_t EE_ARENA_SIZE = 0x08000000;  // 128 MB, ends at 0x10000000
constexpr uint32_t EE_UNCACHED_BIT = 0x20000000;  // OR-ed in for the uncached alias
constexpr uint32_t EE_SCRATCHPAD = 0x70000000;    // 16 KB scratchpad
constexpr uint32_t EE_SCRATCHPAD_SIZE = 0x4000;

// Reserves and verifies the arena (idempotent). Fatal when the range is taken.
void EeArenaInit();
bool EeArenaContains(const void* p);

// The platform's allocator on the arena: 16-byte aligned blocks, null when
// the arena is exhausted. EeFree(nullptr) does nothing; freeing anything
// that is not a live block of this allocator is fatal.
void* EeMalloc(size_t size);
void EeFree(void* p);
size_t EeArenaBytesFree();  // total free bytes (not necessarily contiguous)
// The host thread stacks the kernel takes from the arena (no console
// counterpart) come from its top and are left out of the peak: the most bytes the system held at
// once since EeArenaInit, block headers included.
void* EeMallocStack(size_t size);
void EeFreeStack(void* p);
size_t EeArenaPeakBytes();

// The 32-bit address of a host pointer; fatal when it does not fit.
uint32_t EeAddrOf(const void* p);
inline void* EeAddrToPtr(uint32_t a) { return reinterpret_cast<void*>(static_cast<uintptr_t>(a)); }

// The 4-byte pointer: every record whose layout is fixed (sizes, offsets,
// bytes read from files and memory images) stores its pointers as this.
// Trivial, so records stay plain data; converts to and from T*.
template <class T>
struct EePtr {
  uint32_t addr;

  EePtr() = default;
  EePtr(std::nullptr_t) : addr(0) {}
  EePtr(T* p) : addr(EeAddrOf(reinterpret_cast<const void*>(p))) {}
  EePtr& operator=(T* p) { addr = EeAddrOf(reinterpret_cast<const void*>(p)); return *this; }
  EePtr& operator=(std::nullptr_t) { addr = 0; return *this; }

  T* get() const { return reinterpret_cast<T*>(static_cast<uintptr_t>(addr)); }
  operator T*() const { return get(); }
  T* operator->() const requires(!std::is_void_v<T> && !std::is_function_v<T>) { return get(); }
  explicit operator bool() const { return addr != 0; }
};
static_assert(sizeof(EePtr<int>) == 4 && std::is_trivial_v<EePtr<int>>);

// The uncached alias of an address reads the same memory.
template <class T>
inline T* EeUncached(T* p) { return p; }
// An address with the uncached bit (below the scratchpad) names the same byte.
inline uint32_t EeStripAlias(uint32_t a) { return a < 0x40000000u ? a & ~EE_UNCACHED_BIT : a; }

// Float to int, truncating toward zero, as the EE's conversion does:
// values out of range saturate, NaN saturates by its sign.
int32_t EeFtoi(float f);

// ===================================================================
// Kernel: one CPU
// ===================================================================
// Engine threads run one at a time. A thread gives the CPU up only by
// waiting, ending, or at a safe point when a higher-priority thread is
// ready. Interrupts are delivered at safe points on the thread holding
// the CPU, only while unmasked. Lower priority numbers run first.

enum {
  THS_RUN = 0x01, THS_READY = 0x02, THS_WAIT = 0x04, THS_SUSPEND = 0x08,
  THS_WAITSUSPEND = 0x0c, THS_DORMANT = 0x10,
};
constexpr int KE_ERROR = -1;
constexpr int MAX_THREADS = 32;
constexpr int MAX_SEMAS = 64;

struct ThreadParam {
  int status;
  void (*func)(void*);
  void* stack;          // the caller's stack memory (EE memory)
  int stackSize;
  void* gpReg;
  int initPriority;
  int currentPriority;
  uint32_t attr;
  uint32_t option;
};

struct SemaParam {
  int count;
  int maxCount;
  int initCount;
  int numWaitThreads;
  uint32_t attr;
  uint32_t option;
};

int CreateThread(ThreadParam* param);
int DeleteThread(int id);  // dormant threads only
int StartThread(int id, void* arg);
void ExitThread();
void ExitDeleteThread();
int TerminateThread(int id);  // another thread: back to dormant
int GetThreadId();
int ReferThreadStatus(int id, ThreadParam* out);
int ChangeThreadPriority(int id, int priority);
int RotateThreadReadyQueue(int priority);
int SuspendThread(int id);
int iSuspendThread(int id);
int ResumeThread(int id);
int iResumeThread(int id);
int SleepThread();
int WakeupThread(int id);
int iWakeupThread(int id);

int CreateSema(SemaParam* param);
int DeleteSema(int id);
int SignalSema(int id);
int iSignalSema(int id);
int WaitSema(int id);
int PollSema(int id);   // id when taken, KE_ERROR when the count is 0
int iPollSema(int id);
int ReferSemaStatus(int id, SemaParam* out);

// Interrupt controller causes and DMA channels the system uses.
enum { INTC_GS = 0, INTC_SBUS = 1, INTC_VBLANK_S = 2, INTC_VBLANK_E = 3, INTC_VIF0 = 4,
       INTC_VIF1 = 5, INTC_VU0 = 6, INTC_VU1 = 7, INTC_IPU = 8, INTC_TIM0 = 9, INTC_TIM1 = 10,
       INTC_COUNT = 15 };
enum { DMAC_VIF0 = 0, DMAC_VIF1 = 1, DMAC_GIF = 2, DMAC_FROM_IPU = 3, DMAC_TO_IPU = 4,
       DMAC_SIF0 = 5, DMAC_SIF1 = 6, DMAC_SIF2 = 7, DMAC_FROM_SPR = 8, DMAC_TO_SPR = 9,
       DMAC_COUNT = 10 };

// Handlers take the cause or channel; the result is kept for the console's
// sake and ignored (every handler of a source is called, in order added).
using IntcHandler = int (*)(int cause);
int AddIntcHandler(int cause, IntcHandler handler, int next);  // handler id
int RemoveIntcHandler(int cause, int id);
int AddDmacHandler(int channel, IntcHandler handler, int next);
int RemoveDmacHandler(int channel, int id);
// Mask operations return 1 when they changed the mask, 0 otherwise.
// Enabling a source with an interrupt pending delivers it at once.
int EnableIntc(int cause);
int DisableIntc(int cause);
int iEnableIntc(int cause);
int iDisableIntc(int cause);
int EnableDmac(int channel);
int DisableDmac(int channel);
int iEnableDmac(int channel);
int iDisableDmac(int channel);

// Device models raise interrupts; they are delivered at the next safe point.
void IntcRaise(int cause);
void DmacRaise(int channel);

// A safe point: lets time pass, delivers pending interrupts and gives the
// CPU to a higher-priority ready thread. Spin-waits call this.
void KernelYield();
bool KernelInInterrupt();  // true while a handler runs

// Clocks. Real time: fields at 59.94 Hz. Virtual time: fields pass only at
// safe points, vsync waits and when no thread can run; reproducible.
enum KernelClock { KCLOCK_REAL = 0, KCLOCK_VIRTUAL = 1 };
void KernelSetClock(KernelClock clock);  // before any thread starts
KernelClock KernelGetClock();
// Virtual time: how many safe points fit between a vertical-blank start
// and its end (the slice the loader thread gets each frame).
void KernelSetVirtualQuantum(int safePoints);
constexpr int FIELD_LINES = 262;      // horizontal blanks per field
constexpr int VBLANK_LINES = 22;      // from vertical-blank start to end
uint64_t KernelLines();               // horizontal blanks since start-up
uint64_t KernelFields();              // vertical-blank starts since start-up
void KernelWaitVSync();               // wait for the next vertical-blank start

// Hardware timers 0-3: mode and 16-bit count. Mode bits 0-1 select the
// clock (0 bus, 1 bus/16, 2 bus/256, 3 horizontal blank), bit 7 counts.
void TimerSetMode(int timer, uint32_t mode);
uint32_t TimerGetMode(int timer);
void TimerSetCount(int timer, uint32_t count);
uint32_t TimerGetCount(int timer);

// Cache operations are no-ops on the host (memory is coherent).
void FlushCache(int op);
void iFlushCache(int op);
void SyncDCache(void* start, void* end);
void iSyncDCache(void* start, void* end);

// ===================================================================
// Halting
// ===================================================================
// A fatal error stops the calling thread. In the main thread the process
// ends with a non-zero status after the logs are flushed; any other thread
// hands the CPU back and is parked for good. Tests install a hook that is
// called first (it may not return).
using HaltHook = void (*)();
void KernelSetHaltHook(HaltHook hook);
HaltHook KernelGetHaltHook();
[[noreturn]] void KernelHalt();
constexpr int EXIT_FATAL = 3;

// The platform's own fatal error (a broken platform contract).
[[noreturn]] void PlatFatal(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// ===================================================================
// Console and the host debug link
// ===================================================================
// The console: plain text on the host's standard output. Tests may
// capture it. Error text (fatal errors, failed asserts) goes through
// PlatConsoleError: to the console and, when a program's log holds the
// console, to standard error as well.
void PlatConsoleWrite(const char* text);
void PlatConsoleError(const char* text);
int scePrintf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
using ConsoleCapture = void (*)(const char* text);
void PlatSetConsoleCapture(ConsoleCapture capture);  // null: none
void PlatFlushLogs();
// A program's log (torva, torva_check): set before PlatParseHostOptions, the
// directory where the console goes ("console.txt") with debug channels 1-9,
// unless --tty=DIR names another or --verbose keeps everything on the
// terminal. PlatParseHostOptions starts it and prints the one start line;
// the terminal then gets only error text. PlatReportEnd (at the program's
// end, not at a fatal error) writes the peak EE memory to the console.
void PlatSetProgramLog(const char* dir);
void PlatSetVerbose(bool on);
void PlatStartProgramLog(const char* program);
void PlatReportEnd();

// The debug link: ten text channels, protocols 0x210-0x219. Channel 0 is
// the console; channels 1-9 go to files "tty<n>.txt" in the directory set
// here, or to the console with a "tty<n>: " prefix when none is set.
using Deci2Handler = void (*)(int event, int param, void* opt);
int sceDeci2Open(uint16_t protocol, void* opt, Deci2Handler handler);
int sceDeci2Close(int socket);
int sceDeci2ReqSend(int socket, char dest);
int sceDeci2ExSend(int socket, void* buf, uint16_t len);
int sceDeci2ExRecv(int socket, void* buf, uint16_t len);
void PlatSetTtyDirectory(const char* dir);  // null: prefixed console lines

// ===================================================================
// File I/O client (host0: a host directory, cdrom0: the disc root)
// ===================================================================
// Paths arrive as the console writes them ('\' separators, upper case,
// ";1" after disc names); every component is matched without regard to
// case, so a data tree in any case is found. A write creates a missing
// file with the name as given. The disc is read-only.
enum { SCE_RDONLY = 0x0001, SCE_WRONLY = 0x0002, SCE_RDWR = 0x0003, SCE_NOWAIT = 0x8000,
       SCE_APPEND = 0x0100, SCE_CREAT = 0x0200, SCE_TRUNC = 0x0400, SCE_EXCL = 0x0800 };
enum { SCE_SEEK_SET = 0, SCE_SEEK_CUR = 1, SCE_SEEK_END = 2 };
constexpr int SCE_MAX_FILES = 16;
constexpr int SCE_FS_EXECUTING = 1;  // sceIoctl request: 1 while a no-wait request runs, else 0
void PlatSetHostRoot(const char* dir);  // the directory "host0:" names
const char* PlatGetHostRoot();
void PlatSetDiscRoot(const char* dir);  // the directory "cdrom0:" names (null: no disc)
const char* PlatGetDiscRoot();
int sceOpen(const char* path, int flags, ...);  // descriptor 0-15, or < 0
int sceClose(int fd);
int sceRead(int fd, void* buf, int count);
int sceWrite(int fd, const void* buf, int count);
int sceLseek(int fd, int offset, int whence);
int sceIoctl(int fd, int request, void* arg);  // < 0 on failure
// Memory files under "host0:" (fuzz targets, tests). A file set here (a
// copy of the bytes; null data removes it) is found by its path from the
// host root, any case and separator, ahead of the host file of that path,
// and is read, written and grown in memory. With memory writes on, a
// "host0:" open that may create its file (SCE_CREAT) opens it in memory.
void PlatHostMemFile(const char* path, const void* data, size_t size);
void PlatHostMemWrites(bool on);
// The bytes of a memory file (null when there is none); *size its length.
const uint8_t* PlatHostMemFileData(const char* path, size_t* size);
// Test hook: the next count reads (PLAT_FAULT_READ) or seeks
// (PLAT_FAULT_SEEK) of the file I/O client fail with an I/O error.
enum { PLAT_FAULT_READ = 0, PLAT_FAULT_SEEK = 1 };
void PlatFileInjectFault(int kind, int count);

// ===================================================================
// CD/DVD library: the virtual disc
// ===================================================================
// Every file under the disc root has a start sector (2048-byte sectors,
// each file starting on its own sector, in the order of the upper-cased
// paths), so sector reads see the files as a disc image would. The map is
// made when the disc root is set and again at sceCdInit. Requests finish
// at once; reads are safe points.
constexpr int SCECdSectorSize = 2048;
enum { SCECdCD = 1, SCECdDVD = 2 };                         // sceCdMmode
enum { SCECdComplete = 0x02, SCECdNotReady = 0x06 };        // sceCdDiskReady
enum { SCECdTrayOpen = 0, SCECdTrayClose = 1, SCECdTrayCheck = 2 };
struct sceCdlFILE {
  uint32_t lsn;   // first sector
  uint32_t size;  // bytes
  char name[16];
  uint8_t date[8];
};
struct sceCdRMode {
  uint8_t trycount;
  uint8_t spindlctrl;
  uint8_t datapattern;  // 0: 2048-byte sectors
  uint8_t pad;
};
int sceCdInit(int mode);
int sceCdMmode(int media);
int sceCdDiskReady(int mode);                          // SCECdComplete when a disc is there
int sceCdSearchFile(sceCdlFILE* file, const char* name);  // 1 found, 0 not
int sceCdRead(uint32_t lsn, uint32_t sectors, void* buf, sceCdRMode* mode);  // 1 accepted
int sceCdSync(int mode);                               // 0: done (idle)
int sceCdStop();
int sceCdTrayReq(int mode, uint32_t* traycnt);         // check: 1 once the tray was opened
int sceCdGetError();
uint64_t PlatCdSectorsRead();  // sectors read since start-up (tests)

// ===================================================================
// SIF: I/O-processor reboot and modules
// ===================================================================
// The I/O processor is in-process: reboot and sync answer "done" at once.
// Modules load by file name from a registry, matched in any directory and
// case (";1" ignored): the required drivers always load; the sound module
// "ZESOUND2.IRX" only while sound is enabled.
constexpr int SIF_ERR_NOFILE = -2;      // no such module
constexpr int SIF_ERR_BIND = -65536;    // binding the module failed
void sceSifInitRpc(int mode);
int sceSifRebootIop(const char* image);  // non-zero when done
int sceSifSyncIop();                     // non-zero when done
int sceFsReset();
int sceSifLoadModule(const char* path, int arglen, const char* args);  // id >= 0, or < 0
void PlatSifAddModule(const char* name);  // a module file name that loads from now on
int sceSifInitIopHeap();
int sceSdRemoteInit();
void PlatIopSetSoundEnabled(bool enabled);  // default on; --nosound turns it off
// Test hooks: loads of the named module fail with code (0: load again);
// which modules loaded; forget every load and failure.
void PlatIopFailModule(const char* name, int code);
bool PlatIopModuleLoaded(const char* name);
void PlatIopReset();

// ===================================================================
// SIF: remote procedure calls to the I/O processor, DMA to its memory
// ===================================================================
// Servers run in-process. A call runs the server's function at once,
// copies its reply into the receive buffer and calls the end function
// before it returns, whatever the mode: a call is never in flight.
struct sceSifClientData {
  uint32_t server;             // id bound
  uint32_t command;            // the last function number called
  void* buff;                  // the receive buffer of the last call
  void (*end_function)(void*);
  void* end_param;
  void* serve;                 // set by a successful bind, null before
};
enum { SIF_RPCM_NOWAIT = 0x01 };
// 0 when bound (serve set); negative when the arguments are unusable.
// Binding a server that is not registered succeeds with serve left null,
// as on the console while the module is still starting.
int sceSifBindRpc(sceSifClientData* cd, uint32_t id, int mode);
// 0, or negative when the client is not bound.
int sceSifCallRpc(sceSifClientData* cd, int fno, int mode, void* send, int ssize, void* recv,
                  int rsize, void (*end)(void*), void* param);
int sceSifCheckStatRpc(sceSifClientData* cd);  // 0: no call in flight

// The I/O processor's 2 MB of memory, addressed from 0.
constexpr uint32_t IOP_MEMORY_SIZE = 0x200000;
uint8_t* SifIopMemory();
struct sceSifDmaData {
  uint32_t data;  // EE source address
  uint32_t addr;  // IOP destination address
  int size;       // bytes
  int mode;
};
// Copies at once; the id is never 0. 0 when a record lies outside EE or
// IOP memory (nothing is copied then).
unsigned sceSifSetDma(sceSifDmaData* sdd, int len);
int sceSifDmaStat(unsigned id);  // negative: done

// Server side (the platform's own modules): the server's function takes
// the function number and the sent bytes and returns its reply.
using SifRpcFunc = const void* (*)(int fno, const void* data, int size, int* replySize);
void SifRegisterServer(uint32_t id, SifRpcFunc func);
void SifRemoveServer(uint32_t id);

// ===================================================================
// The sound module stand-in (ZESOUND2.IRX) and its audio back ends
// ===================================================================
// The module serves RPC server 0x12345 (see docs/platform.md). Back ends:
// SDL2 audio (48 kHz stereo) when sound is asked for and a device opens,
// else the null back end, which plays the voices silently on the kernel
// clock. Tests always get the null back end.
constexpr uint32_t SND_RPC_SERVER = 0x12345;
enum PlatSoundMode { PSOUND_OFF = 0, PSOUND_NULL = 1, PSOUND_AUTO = 2 };
// The back end the module starts with when it loads: --sound asks for SDL2
// (PSOUND_AUTO), the default is the null back end (PSOUND_NULL).
void PlatSetSound(PlatSoundMode mode);
PlatSoundMode PlatGetSound();
// Loads the module (the module registry does for "ZESOUND2.IRX"): starts a
// back end and registers the server; 0, or negative for PSOUND_OFF.
int SndModuleLoad(PlatSoundMode mode);
void SndModuleUnload();
const char* SndBackendName();  // "sdl2", "null", or "" when not loaded
// Test hooks: a disc error as the console reports it (set: the disc is not
// readable and loads pause; cleared: readable again, until the client
// restarts the module), and the rate at which file loads arrive.
void SndModuleSetDiscError(bool on);
void SndModuleSetLoadRate(int bytesPerLine);
constexpr int SND_LOAD_RATE = 2048;  // bytes a horizontal blank (about 32 MB/s)

// ===================================================================
// Running the system
// ===================================================================
// Reserves EE memory, starts the kernel and runs main on the engine's main
// thread (priority 0, stack in EE memory). Returns main's result; a fatal
// error in the main thread ends the process with EXIT_FATAL instead.
int PlatformRun(int (*main)(int argc, char** argv), int argc, char** argv);
// Takes the host's own options out of argv: --clock=real|virtual,
// --host0=DIR (the host root), --cdrom0=DIR (the disc root), --tty=DIR
// (debug channel files; a program's log, above), --verbose (a program's
// messages on the terminal), --memcard=DIR (the memory cards), --pad0= and
// --pad1=none|sdl|script:FILE (pad sources), --nosound (the sound module
// does not load), --sound[=null] (its back end: SDL2 when a device opens),
// --args="WORDS" and --frames=N (run control, below), --gs-stats (the GS's
// drawing counters printed when the program ends).
void PlatParseHostOptions(int* argc, char** argv);
void PlatPrintGsStats();  // at the program's end: the counters, when asked for
const char* PlatHostOptionsHelp();  // one line an option, for a program's --help
constexpr int MAIN_THREAD_PRIORITY = 0;
// Run control. --args="WORDS" gives words (split at spaces and tabs, at
// most PLAT_ARG_WORDS) that the program adds to its own command line;
// --frames=N ends the run with status 0 after swap N (0: no limit). The
// swap hook is called after every swap with its number (from 1); a nonzero
// answer ends the run with status 0 (tests catch the end through the halt
// hook). A program that ends its own run may take the limit over and clear it.
constexpr int PLAT_ARG_WORDS = 64;
using PlatSwapHook = int (*)(int swap);
void PlatSetArgs(const char* text);  // null: none
int PlatArgWords(const char* const** words);
void PlatSetFrameLimit(int swaps);
int PlatFrameLimit();
void PlatSetSwapHook(PlatSwapHook hook);
void PlatAfterSwap(int swap);  // the display calls it at the end of every swap


// The kernel's program end: flushes the logs and ends the process with the
// status. Tests' halt hook is called first (it may not return).
[[noreturn]] void Exit(int status);

// ===================================================================
// Memory card (libmc): one host directory per port and slot
// ===================================================================
// Card (port p, slot s) is the directory "mc<p>-<s>" under the memory-card
// root (--memcard=DIR, default "memcard"): it exists when the card is
// formatted. Slot 0 of both ports holds a card at start; other slots are
// empty until a card is inserted. Every request starts one command and
// returns 0, or a negative code when it is refused (another command still
// runs, a bad port or slot); the command runs when sceMcSync collects it,
// and its result is the command's result.
enum {
  sceMcFuncNoCardInfo = 0x01, sceMcFuncNoOpen = 0x02, sceMcFuncNoClose = 0x03, sceMcFuncNoSeek = 0x04,
  sceMcFuncNoRead = 0x05, sceMcFuncNoWrite = 0x06, sceMcFuncNoMkdir = 0x0b, sceMcFuncNoChDir = 0x0c,
  sceMcFuncNoGetDir = 0x0d, sceMcFuncNoDelete = 0x0f, sceMcFuncNoFormat = 0x10, sceMcFuncNoUnformat = 0x11,
};
enum { sceMcExecIdle = -1, sceMcExecRun = 0, sceMcExecFinish = 1 };  // sceMcSync
enum {
  sceMcResSucceed = 0,
  sceMcResChangedCard = -1,   // info: a different, formatted card
  sceMcResNoFormat = -2,      // info: a different, unformatted card; others: card not formatted
  sceMcResFullDevice = -3,
  sceMcResNoEntry = -4,       // no such file or directory
  sceMcResDeniedPermit = -5,  // wrong kind of entry, name taken, bad or stale descriptor, wrong access
  sceMcResNotEmpty = -6,      // deleting a directory that holds entries
  sceMcResUpLimitHandle = -7, // every descriptor in use
  sceMcResNoCard = -10,       // no card in the slot
  sceMcResRefused = -100,     // the request was not started: another command runs, or bad arguments
};
enum { sceMcTypeNoCard = 0, sceMcTypePS2 = 2 };
constexpr int MC_CAPACITY_CLUSTERS = 8000;  // free space is counted in 1 KB clusters
constexpr int MC_MAX_NAME = 31;

struct sceMcStDateTime {
  uint8_t Resv2, Sec, Min, Hour, Day, Month;
  uint16_t Year;
};
struct sceMcTblGetDir {
  sceMcStDateTime _Create;
  sceMcStDateTime _Modify;
  uint32_t FileSizeByte;
  uint16_t AttrFile;  // sceMcFileAttr* bits
  uint16_t Reserve1;
  uint32_t Reserve2;
  uint32_t PdaAplNo;
  unsigned char EntryName[32];
};
static_assert(sizeof(sceMcTblGetDir) == 64);
enum { sceMcFileAttrReadable = 0x0001, sceMcFileAttrWriteable = 0x0002, sceMcFileAttrExecutable = 0x0004,
       sceMcFileAttrFile = 0x0010, sceMcFileAttrSubdir = 0x0020, sceMcFileAttrClosed = 0x0080,
       sceMcFileAttrExists = 0x8000 };

int sceMcInit();
// type: sceMcTypePS2 or sceMcTypeNoCard; free: clusters; format: 1 formatted. Any may be null.
// Result: 0 the same card as at the last call, -1 / -2 a new card (formatted / not), -10 no card.
int sceMcGetInfo(int port, int slot, int* type, int* free, int* format);
// mode: SCE_RDONLY, SCE_WRONLY, SCE_RDWR, with SCE_CREAT and SCE_TRUNC; SCE_CREAT alone opens for
// reading and writing. Result: a descriptor.
int sceMcOpen(int port, int slot, const char* name, int mode);
int sceMcClose(int fd);
int sceMcRead(int fd, void* buffer, int size);         // result: bytes read
int sceMcWrite(int fd, const void* buffer, int size);  // bytes taken at once; result: bytes written
int sceMcSeek(int fd, int offset, int origin);         // SCE_SEEK_*; result: the new position
int sceMcMkdir(int port, int slot, const char* name);
int sceMcChdir(int port, int slot, const char* newDir, char* oldDir);  // oldDir: 1024 bytes or null
// Lists the entries matching name ('*' and '?' in its last component); mode 0 starts a listing,
// any other mode continues the last one. Result: entries written (at most maxEntries).
int sceMcGetDir(int port, int slot, const char* name, unsigned mode, int maxEntries, sceMcTblGetDir* table);
int sceMcDelete(int port, int slot, const char* name);
int sceMcFormat(int port, int slot);
int sceMcUnformat(int port, int slot);
// mode 0 waits for the running command, 1 only asks. Result: sceMcExecIdle when no command was
// started, sceMcExecRun while it runs (mode 1), sceMcExecFinish when it ended (cmd and result,
// when not null, receive its function number and result).
int sceMcSync(int mode, int* cmd, int* result);

void PlatSetMemCardRoot(const char* dir);  // closes every card file and resets every slot
const char* PlatGetMemCardRoot();
// Test hooks.
void PlatMcPullCard(int port, int slot);
void PlatMcInsertCard(int port, int slot);  // a new card (its files are the slot's directory)
void PlatMcSetLatency(int polls);           // commands run for this many polls (default 0)
void PlatMcRefuseNext(int code);            // the next request returns code, starting nothing
void PlatMcFailNext(int result);            // the next command ends with result, doing nothing
void PlatMcReset();                         // cards back to start, every file closed, hooks off

// ===================================================================
// Pads (libpad)
// ===================================================================
// Ports 0 and 1, slot 0 (no multitap). Each port's pad comes from a pad
// source: the SDL2 keyboard and game controllers, a script, or none.
// A source is sampled once a frame, at the frame's scePadGetState.
enum { scePadStateDiscon = 0, scePadStateFindPad = 1, scePadStateFindCTP1 = 2, scePadStateExecCmd = 4,
       scePadStateStable = 6, scePadStateError = 7 };
enum { scePadReqStateComplete = 0, scePadReqStateFaild = 1, scePadReqStateBusy = 2 };
enum { InfoModeCurID = 1, InfoModeCurExID = 2, InfoModeCurExOffs = 3, InfoModeIdTable = 4 };
enum { InfoActFunc = 1, InfoActSub = 2, InfoActSize = 3, InfoActCurr = 4 };
constexpr int scePadDmaBufferMax = 16;  // quadwords the library's DMA buffer takes (64-byte aligned)
constexpr int PAD_ID_DIGITAL = 4;
constexpr int PAD_ID_ANALOG = 7;
// Button bits of the held-button word (the report's bytes 2 and 3, inverted).
enum : uint32_t {
  SCE_PADLup = 0x1000, SCE_PADLdown = 0x4000, SCE_PADLleft = 0x8000, SCE_PADLright = 0x2000,
  SCE_PADRup = 0x0010, SCE_PADRdown = 0x0040, SCE_PADRleft = 0x0080, SCE_PADRright = 0x0020,
  SCE_PADL1 = 0x0004, SCE_PADL2 = 0x0001, SCE_PADR1 = 0x0008, SCE_PADR2 = 0x0002,
  SCE_PADstart = 0x0800, SCE_PADselect = 0x0100, SCE_PADi = 0x0200, SCE_PADj = 0x0400,
};
// The 20-byte report: 0 result (0 success); 1 terminal type (high nibble: 4 digital, 7 analog)
// and halfwords of data (low nibble): 0x41 digital, 0x73 analog, 0x79 analog with pressures;
// 2-3 buttons active low (byte 2 the high byte); 4-7 right x, right y, left x, left y (centre
// 128); 8-19 pressures: right, left, up, down, triangle, circle, cross, square, L1, R1, L2, R2.
constexpr int PAD_REPORT_BYTES = 20;
enum { PAD_PRESS_RIGHT, PAD_PRESS_LEFT, PAD_PRESS_UP, PAD_PRESS_DOWN, PAD_PRESS_TRIANGLE, PAD_PRESS_CIRCLE,
       PAD_PRESS_CROSS, PAD_PRESS_SQUARE, PAD_PRESS_L1, PAD_PRESS_R1, PAD_PRESS_L2, PAD_PRESS_R2,
       PAD_PRESSURES };

int scePadInit(int mode);
int scePadPortOpen(int port, int slot, void* dmaBuffer);  // 1, or 0 when refused
int scePadPortClose(int port, int slot);
int scePadGetState(int port, int slot);
int scePadGetReqState(int port, int slot);
int scePadInfoMode(int port, int slot, int term, int offs);
int scePadSetMainMode(int port, int slot, int offs, int lock);  // 1 when the request started
int scePadInfoAct(int port, int slot, int actno, int term);
int scePadSetActAlign(int port, int slot, const unsigned char* data);
int scePadSetActDirect(int port, int slot, const unsigned char* data);
int scePadInfoPressMode(int port, int slot);
int scePadEnterPressMode(int port, int slot);
int scePadExitPressMode(int port, int slot);
int scePadRead(int port, int slot, unsigned char* data);  // bytes of the report delivered, 0 none

// One frame of a pad as a source gives it.
enum PadKind { PAD_NONE = 0, PAD_DIGITAL = 1, PAD_DUALSHOCK2 = 2 };
struct PadFrame {
  PadKind kind;           // PAD_NONE: nothing plugged in
  uint32_t buttons;       // held, SCE_PAD* bits
  uint8_t stick[4];       // right x, right y, left x, left y
  uint8_t pressure[PAD_PRESSURES];
  bool modeButton;        // the analog-mode button went down this frame
  bool noData;            // the read delivers nothing this frame
};
// A pad source: called once a frame for its port.
struct PadSource {
  void (*frame)(void* context, int port, PadFrame* out);
  void* context;
};
void PlatPadSetSource(int port, const PadSource& source);
// Sources the platform has: none, a script (text or file), SDL2.
PadSource PadSourceNone();
// Script: one frame a line; see docs/platform.md. False (and a message) on a bad line.
bool PadSourceScript(const char* text, PadSource* out);
bool PadSourceScriptFile(const char* path, PadSource* out);
// SDL2: the keyboard (port 0) and game controller n (port n), read through this table; the
// window's event pump keeps SDL's state current. Null entries: the real SDL2 functions.
struct PadSdlApi {
  const uint8_t* (*keyboardState)(int* numKeys);   // indexed by SDL scancode
  int (*controllerCount)();
  int (*controllerButton)(int index, int button);  // SDL_CONTROLLER_BUTTON_*, 1 held
  int (*controllerAxis)(int index, int axis);      // SDL_CONTROLLER_AXIS_*, -32768..32767
};
PadSource PadSourceSdl(const PadSdlApi* api);
// "none", "sdl" or "script:FILE" (--pad0= and --pad1=); false when not understood.
bool PlatPadSetSourceByName(int port, const char* spec);
// Test hooks.
void PlatPadFailNextRequest(int port);           // the next request of the port fails
void PlatPadMotors(int port, unsigned char out[6]);  // the last actuator data sent
void PlatPadReset();                             // ports closed, sources none

// ===================================================================
// Relocatable modules (the compiler run-time's loader)
// ===================================================================
// A module is a shared object built by the project, read into EE memory and
// bound: its needs are resolved against the program's exported symbols, and
// each symbol it exports is written into every program slot registered
// under its name. Slots hold native pointers (modules load high).
enum { SN_DLL_NOT_DLL = 1, SN_DLL_BAD_VERSION = 2, SN_DLL_INVALID = 3, SN_DLL_BAD_ALIGN = 4,
       SN_DLL_NOT_LOADED = 5, SN_DLL_TOO_MANY = 6 };
constexpr int SN_DLL_MAX = 8;  // modules loaded at once
// The start of the record passed with a module image: the loader's word,
// the image's address and its size in bytes.
struct SnDllHeader {
  uint32_t loader;
  uint32_t image;
  int32_t size;
};
struct SnExport {
  const char* name;     // for messages
  const void* address;  // a function or global of the program
};
struct SnSlot {
  const char* name;     // the module symbol that fills it
  void** slot;
};
void snInitDllSystem(void* unused);
int snDllLoaded(void* image, void* record);  // 0 or SN_DLL_*
int snDllUnload(void* image);                // 0 or SN_DLL_*
// The program's tables (kept by the caller for as long as modules load).
void SnSetExports(const SnExport* table, int count);
void SnSetSlots(const SnSlot* table, int count);
// Test hook (the fuzz target): loads stop after every check, before the
// bytes reach the host's dynamic loader, and load nothing.
void PlatDllCheckOnly(bool on);

// ===================================================================
// The graphics machine: DMA controller, VIFs, VU1, GIF and the display
// ===================================================================
#include "dma/dma.h"
#include "vif/vif.h"
#include "vu1/vu1.h"
#include "gif/gif.h"
#include "display/display.h"
