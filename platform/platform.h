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
// capture it.
void PlatConsoleWrite(const char* text);
int scePrintf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
using ConsoleCapture = void (*)(const char* text);
void PlatSetConsoleCapture(ConsoleCapture capture);  // null: none
void PlatFlushLogs();

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
// File I/O client (host0: a host directory)
// ===================================================================
enum { SCE_RDONLY = 0x0001, SCE_WRONLY = 0x0002, SCE_RDWR = 0x0003, SCE_NOWAIT = 0x8000,
       SCE_APPEND = 0x0100, SCE_CREAT = 0x0200, SCE_TRUNC = 0x0400, SCE_EXCL = 0x0800 };
enum { SCE_SEEK_SET = 0, SCE_SEEK_CUR = 1, SCE_SEEK_END = 2 };
constexpr int SCE_MAX_FILES = 16;
void PlatSetHostRoot(const char* dir);  // the directory "host0:" names
const char* PlatGetHostRoot();
int sceOpen(const char* path, int flags, ...);  // descriptor 0-15, or < 0
int sceClose(int fd);
int sceRead(int fd, void* buf, int count);
int sceWrite(int fd, const void* buf, int count);
int sceLseek(int fd, int offset, int whence);

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
void sceSifInitRpc(int mode);
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
void PlatSetSound(PlatSoundMode mode);  // --sound, --sound=null, --sound=off
PlatSoundMode PlatGetSound();
// Loads the module for the module registry ("ZESOUND2.IRX"): starts a back
// end and registers the server; 0, or negative while sound is off. The
// mode argument overrides the host option (tests pass PSOUND_NULL).
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
// --host0=DIR (the host root), --tty=DIR (debug channel files),
// --sound[=null|off] (the sound module and its back end).
void PlatParseHostOptions(int* argc, char** argv);
constexpr int MAIN_THREAD_PRIORITY = 0;

// ===================================================================
// The graphics machine: DMA controller, VIFs, VU1, GIF and the display
// ===================================================================
#include "dma/dma.h"
#include "vif/vif.h"
#include "vu1/vu1.h"
#include "gif/gif.h"
#include "display/display.h"
