// The one-CPU kernel: engine threads are host threads that run one at a
// time, handing a baton (g_cur) between them. Semaphores, sleep and wake,
// suspend and resume, interrupt sources with masks and pending latches,
// the real and the virtual clock, the hardware timers and halting.
#include "platform.h"

#include <pthread.h>
#include <setjmp.h>
#include <time.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace {

// ---- threads ---------------------------------------------------------

struct KThread {
  bool used;
  bool dormant;
  bool halted;
  bool suspended;
  int waitType;  // WT_*
  int waitSema;
  int wakeupCount;
  int prio, initPrio;
  int64_t seq;   // order among ready threads of one priority
  void (*func)(void*);
  void* arg;
  void* userStack;
  int userStackSize;
  void* hostStack;
  bool hostStarted;
  bool resetPending;  // return to the entry point when next given the CPU
  bool deleteReq;
  pthread_t host;
  pthread_cond_t cv;
  jmp_buf entry;
};

enum { WT_NONE = 0, WT_SEMA, WT_SLEEP, WT_VSYNC };

struct KSema {
  bool used;
  int count, maxCount, initCount;
  int waiters[MAX_THREADS];  // FIFO of thread ids
  int nwait;
  uint32_t attr, option;
};

pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t g_mainDone = PTHREAD_COND_INITIALIZER;
KThread g_th[MAX_THREADS];  // index = thread id; 0 unused
KSema g_sema[MAX_SEMAS];
int g_cur = 0;               // thread holding the CPU (0: kernel not started)
int g_mainId = 0;
bool g_mainFinished = false;
int g_mainResult = 0;
int64_t g_seqBack = 1, g_seqFront = 0;
HaltHook g_haltHook = nullptr;

// ---- interrupts ------------------------------------------------------

constexpr int MAX_HANDLERS = 8;
struct KSource {
  bool enabled;
  bool pending;
  uint64_t raised;  // order of raising, for delivery in time order
  IntcHandler handler[MAX_HANDLERS];
  int id[MAX_HANDLERS];
  int count;
};
KSource g_intc[INTC_COUNT];
KSource g_dmac[DMAC_COUNT];
int g_nextHandlerId = 1;
uint64_t g_raiseCount = 0;

// Latches an interrupt (one deep: a second raise before delivery is lost).
void Raise(KSource& s) {
  if (s.pending) return;
  s.pending = true;
  s.raised = ++g_raiseCount;
}
bool g_inInterrupt = false;

// ---- time ------------------------------------------------------------
// Time is kept in 1/256 of a horizontal blank. A field is FIELD_LINES
// lines; its vertical-blank start opens it and its end follows
// VBLANK_LINES later.

constexpr uint64_t UNIT = 256;
constexpr uint64_t FIELD_UNITS = FIELD_LINES * UNIT;
constexpr double FIELD_RATE = 59.94;
constexpr double LINE_RATE = FIELD_LINES * FIELD_RATE;  // horizontal blanks a second
constexpr double BUS_CLOCK = 147456000.0;

KernelClock g_clock = KCLOCK_REAL;
uint64_t g_vt = 0;                  // virtual time
uint64_t g_spCost = VBLANK_LINES * UNIT / 64;  // virtual cost of one safe point
timespec g_realStart;
uint64_t g_evField = 1;             // field of the next vertical-blank event
bool g_evIsEnd = false;             // next event is that field's end
uint64_t g_fields = 0;
int g_idleFields = 0;               // fields passed with no thread able to run
constexpr int DEADLOCK_FIELDS = 600;

struct KTimer {
  uint32_t mode;
  uint32_t base;    // count at origin
  uint64_t origin;  // time the count was base
};
KTimer g_timer[4];

void Lock() { pthread_mutex_lock(&g_lock); }
void Unlock() { pthread_mutex_unlock(&g_lock); }

// Fatal error from inside the kernel: the lock must be let go first.
[[noreturn]] void KFatal(const char* msg, long a = 0) {
  char text[256];
  snprintf(text, sizeof text, msg, a);
  Unlock();
  PlatFatal("%s", text);
}

uint64_t RealNow() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  double s = double(ts.tv_sec - g_realStart.tv_sec) + double(ts.tv_nsec - g_realStart.tv_nsec) * 1e-9;
  return uint64_t(s * LINE_RATE * UNIT);
}

uint64_t Now() { return g_clock == KCLOCK_VIRTUAL ? g_vt : RealNow(); }

uint64_t NextEventTime() { return g_evField * FIELD_UNITS + (g_evIsEnd ? VBLANK_LINES * UNIT : 0); }

bool Runnable(const KThread& t) {
  return t.used && !t.dormant && !t.halted && !t.suspended && t.waitType == WT_NONE;
}

void MakeReady(KThread& t) { t.seq = g_seqBack++; }

// Raises the vertical-blank events whose time has come.
void RaiseDue() {
  uint64_t now = Now();
  while (now >= NextEventTime()) {
    if (!g_evIsEnd) {
      g_fields++;
      Raise(g_intc[INTC_VBLANK_S]);
      for (int i = 1; i < MAX_THREADS; i++) {
        if (g_th[i].used && g_th[i].waitType == WT_VSYNC) {
          g_th[i].waitType = WT_NONE;
          MakeReady(g_th[i]);
        }
      }
      g_evIsEnd = true;
    } else {
      Raise(g_intc[INTC_VBLANK_E]);
      g_evIsEnd = false;
      g_evField++;
    }
  }
}

// Calls the handlers of every pending, unmasked source, on this thread.
void DeliverPending() {
  if (g_inInterrupt || g_cur == 0) return;
  for (;;) {
    KSource* src = nullptr;
    int num = 0;
    // The earliest raised first: a DMA end raised at a kick comes before a
    // vertical blank that came due later.
    for (int c = 0; c < INTC_COUNT; c++)
      if (g_intc[c].pending && g_intc[c].enabled && (!src || g_intc[c].raised < src->raised)) { src = &g_intc[c]; num = c; }
    for (int c = 0; c < DMAC_COUNT; c++)
      if (g_dmac[c].pending && g_dmac[c].enabled && (!src || g_dmac[c].raised < src->raised)) { src = &g_dmac[c]; num = c; }
    if (!src) return;
    src->pending = false;
    IntcHandler list[MAX_HANDLERS];
    int n = src->count;
    memcpy(list, src->handler, sizeof list);
    g_inInterrupt = true;
    Unlock();
    struct Restore {  // a test's halt hook may unwind out of a handler
      ~Restore() {
        if (std::uncaught_exceptions() == 0) Lock();
        g_inInterrupt = false;
      }
    } restore;
    for (int i = 0; i < n; i++) list[i](num);
  }
}

// The best thread to hold the CPU now; 0 when none can run.
int PickBest(bool preferCur) {
  int best = 0;
  for (int i = 1; i < MAX_THREADS; i++) {
    const KThread& t = g_th[i];
    if (!Runnable(t)) continue;
    if (!best || t.prio < g_th[best].prio || (t.prio == g_th[best].prio && t.seq < g_th[best].seq)) best = i;
  }
  if (preferCur && g_cur && Runnable(g_th[g_cur]) && best && g_th[best].prio == g_th[g_cur].prio)
    return g_cur;
  return best;
}

void WaitForCpu(KThread& me);

// Hands the CPU to thread next and waits until it comes back.
void SwitchTo(int next) {
  KThread& me = g_th[g_cur];
  g_cur = next;
  pthread_cond_signal(&g_th[next].cv);
  WaitForCpu(me);
}

// With nobody able to run, this thread lets time pass and delivers the
// interrupts that come due until some thread is ready.
void IdleUntilReady() {
  KThread& me = g_th[g_cur];
  for (;;) {
    int best = PickBest(true);
    if (best) {
      g_idleFields = 0;
      if (best != g_cur) SwitchTo(best);
      return;
    }
    uint64_t when = NextEventTime();
    if (g_clock == KCLOCK_VIRTUAL) {
      if (g_vt < when) g_vt = when;
    } else {
      double s = double(when) / (LINE_RATE * UNIT);
      timespec ts = g_realStart;
      // The idle wait uses the monotonic clock of g_realStart.
      ts.tv_sec += time_t(s);
      ts.tv_nsec += long((s - double(time_t(s))) * 1e9);
      if (ts.tv_nsec >= 1000000000L) { ts.tv_sec++; ts.tv_nsec -= 1000000000L; }
      while (RealNow() < when) pthread_cond_timedwait(&me.cv, &g_lock, &ts);
    }
    uint64_t before = g_fields;
    RaiseDue();
    g_idleFields += int(g_fields - before);
    if (g_idleFields > DEADLOCK_FIELDS) KFatal("kernel: no engine thread can run (deadlock)");
    DeliverPending();
  }
}

// The running thread re-examines who should hold the CPU (a safe point,
// or a change of thread state).
void Reschedule(bool preferCur = true) {
  if (g_cur == 0 || g_inInterrupt) return;
  int best = PickBest(preferCur);
  if (best == g_cur) return;
  if (Runnable(g_th[g_cur])) g_th[g_cur].seq = preferCur ? g_seqFront-- : g_seqBack++;
  if (best == 0) IdleUntilReady();
  else SwitchTo(best);
}

// Blocks the host thread of me until it holds the CPU again; a thread
// that was terminated or exited restarts from its entry point.
void WaitForCpu(KThread& me) {
  while (g_cur != (&me - g_th) && !me.deleteReq) pthread_cond_wait(&me.cv, &g_lock);
  if (me.resetPending || me.deleteReq) {
    me.resetPending = false;
    longjmp(me.entry, 1);
  }
}

int HostStackSize(int requested) {
#if defined(__SANITIZE_ADDRESS__)
  int minimum = 4 << 20;
#else
  int minimum = 1 << 20;
#endif
  return requested > minimum ? (requested + 4095) & ~4095 : minimum;
}

void* Trampoline(void* p) {
  KThread& me = *static_cast<KThread*>(p);
  Lock();
  while (g_cur != (&me - g_th) && !me.deleteReq) pthread_cond_wait(&me.cv, &g_lock);
  setjmp(me.entry);
  while (!me.deleteReq) {
    void (*fn)(void*) = me.func;
    void* arg = me.arg;
    Unlock();
    fn(arg);
    Lock();
    // Returning from the thread function is ExitThread.
    me.dormant = true;
    me.resetPending = true;
    Reschedule();
  }
  Unlock();
  return nullptr;
}

KThread* ThreadOf(int id) {
  if (id == 0) id = g_cur;
  if (id <= 0 || id >= MAX_THREADS || !g_th[id].used) return nullptr;
  return &g_th[id];
}

KSema* SemaOf(int id) {
  if (id < 0 || id >= MAX_SEMAS || !g_sema[id].used) return nullptr;
  return &g_sema[id];
}

void RequireNotInInterrupt(const char* what) {
  if (g_inInterrupt) {
    Unlock();
    PlatFatal("kernel: %s called from an interrupt handler", what);
  }
}

void StartHost(KThread& t) {
  int size = HostStackSize(t.userStackSize);
  t.hostStack = EeMallocStack(size);
  if (!t.hostStack) KFatal("kernel: no EE memory for a thread stack of %ld bytes", long(size));
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstack(&attr, t.hostStack, size);
  if (pthread_create(&t.host, &attr, Trampoline, &t) != 0) KFatal("kernel: cannot create a host thread");
  pthread_attr_destroy(&attr);
  t.hostStarted = true;
}

int CreateThreadLocked(void (*func)(void*), int prio, int stackSize, void* stack) {
  for (int i = 1; i < MAX_THREADS; i++) {
    KThread& t = g_th[i];
    if (t.used || t.hostStarted) continue;
    memset(static_cast<void*>(&t), 0, sizeof t);
    pthread_condattr_t ca;  // idle waits in real time use the monotonic clock
    pthread_condattr_init(&ca);
    pthread_condattr_setclock(&ca, CLOCK_MONOTONIC);
    pthread_cond_init(&t.cv, &ca);
    pthread_condattr_destroy(&ca);
    t.used = true;
    t.dormant = true;
    t.func = func;
    t.prio = t.initPrio = prio;
    t.userStack = stack;
    t.userStackSize = stackSize;
    return i;
  }
  return KE_ERROR;
}

void SetSourceEnabled(KSource* table, int count, int n, bool on, int* changed) {
  *changed = 0;
  if (n < 0 || n >= count) return;
  *changed = table[n].enabled != on;
  table[n].enabled = on;
}

int AddHandler(KSource* table, int count, int n, IntcHandler h, int next) {
  if (n < 0 || n >= count || !h) return KE_ERROR;
  Lock();
  KSource& s = table[n];
  if (s.count == MAX_HANDLERS) { Unlock(); return KE_ERROR; }
  int id = g_nextHandlerId++;
  if (next < 0) {  // -1: first; otherwise last
    memmove(&s.handler[1], &s.handler[0], s.count * sizeof s.handler[0]);
    memmove(&s.id[1], &s.id[0], s.count * sizeof s.id[0]);
    s.handler[0] = h;
    s.id[0] = id;
  } else {
    s.handler[s.count] = h;
    s.id[s.count] = id;
  }
  s.count++;
  Unlock();
  return id;
}

int RemoveHandler(KSource* table, int count, int n, int id) {
  if (n < 0 || n >= count) return KE_ERROR;
  Lock();
  KSource& s = table[n];
  for (int i = 0; i < s.count; i++) {
    if (s.id[i] != id) continue;
    memmove(&s.handler[i], &s.handler[i + 1], (s.count - i - 1) * sizeof s.handler[0]);
    memmove(&s.id[i], &s.id[i + 1], (s.count - i - 1) * sizeof s.id[0]);
    s.count--;
    Unlock();
    return 0;
  }
  Unlock();
  return KE_ERROR;
}

// Mask change from a thread: enabling delivers what is pending at once.
int MaskChange(KSource* table, int count, int n, bool on, bool fromInterrupt) {
  Lock();
  int changed;
  SetSourceEnabled(table, count, n, on, &changed);
  if (on && !fromInterrupt && !g_inInterrupt) {
    DeliverPending();
    Reschedule();
  }
  Unlock();
  return changed;
}

uint64_t TimerTicks(uint32_t mode, uint64_t units) {
  switch (mode & 3) {
    case 3: return units / UNIT;
    case 0: return uint64_t(double(units) / (LINE_RATE * UNIT) * BUS_CLOCK);
    case 1: return uint64_t(double(units) / (LINE_RATE * UNIT) * (BUS_CLOCK / 16));
    default: return uint64_t(double(units) / (LINE_RATE * UNIT) * (BUS_CLOCK / 256));
  }
}

uint32_t TimerCountLocked(int n) {
  const KTimer& t = g_timer[n];
  if (!(t.mode & 0x80)) return t.base & 0xffff;
  return uint32_t(t.base + TimerTicks(t.mode, Now() - t.origin)) & 0xffff;
}

}  // namespace

// ---- threads ---------------------------------------------------------

int CreateThread(ThreadParam* p) {
  if (!p || !p->func) return KE_ERROR;
  Lock();
  int id = CreateThreadLocked(p->func, p->initPriority, p->stackSize, p->stack);
  Unlock();
  return id;
}

int DeleteThread(int id) {
  Lock();
  KThread* t = ThreadOf(id);
  if (!t || !t->dormant || t - g_th == g_cur) { Unlock(); return KE_ERROR; }
  t->used = false;
  if (t->hostStarted) {
    t->deleteReq = true;
    pthread_cond_signal(&t->cv);
    Unlock();
    pthread_join(t->host, nullptr);
    Lock();
    EeFreeStack(t->hostStack);
    t->hostStack = nullptr;
    t->hostStarted = false;
    t->deleteReq = false;
  }
  Unlock();
  return 0;
}

int StartThread(int id, void* arg) {
  Lock();
  KThread* t = ThreadOf(id);
  if (!t || !t->dormant) { Unlock(); return KE_ERROR; }
  t->dormant = false;
  t->arg = arg;
  t->prio = t->initPrio;
  t->waitType = WT_NONE;
  t->suspended = false;
  t->wakeupCount = 0;
  MakeReady(*t);
  if (!t->hostStarted) StartHost(*t);
  Reschedule();
  Unlock();
  return id;
}

void ExitThread() {
  Lock();
  RequireNotInInterrupt("ExitThread");
  KThread& me = g_th[g_cur];
  me.dormant = true;
  me.resetPending = true;
  Reschedule();
  Unlock();
}

void ExitDeleteThread() {
  // The host thread cannot free its own stack; it stays dormant for reuse.
  ExitThread();
}

int TerminateThread(int id) {
  Lock();
  KThread* t = ThreadOf(id);
  if (!t || t - g_th == g_cur || t->dormant) { Unlock(); return KE_ERROR; }
  for (int i = 0; i < MAX_SEMAS; i++) {  // leave any semaphore queue
    KSema& s = g_sema[i];
    for (int w = 0; w < s.nwait; w++)
      if (s.waiters[w] == t - g_th) { memmove(&s.waiters[w], &s.waiters[w + 1], (s.nwait - w - 1) * sizeof(int)); s.nwait--; break; }
  }
  t->dormant = true;
  t->waitType = WT_NONE;
  t->suspended = false;
  t->resetPending = true;
  Unlock();
  return 0;
}

int GetThreadId() { return g_cur; }

int ReferThreadStatus(int id, ThreadParam* out) {
  Lock();
  KThread* t = ThreadOf(id);
  if (!t) { Unlock(); return KE_ERROR; }
  int st = t->dormant || t->halted ? THS_DORMANT
           : (t - g_th == g_cur)   ? THS_RUN
                                   : ((t->waitType ? THS_WAIT : 0) | (t->suspended ? THS_SUSPEND : 0));
  if (!st) st = THS_READY;
  if (out) {
    memset(out, 0, sizeof *out);
    out->status = st;
    out->func = t->func;
    out->stack = t->userStack;
    out->stackSize = t->userStackSize;
    out->initPriority = t->initPrio;
    out->currentPriority = t->prio;
  }
  Unlock();
  return st;
}

int ChangeThreadPriority(int id, int prio) {
  Lock();
  KThread* t = ThreadOf(id);
  if (!t || prio < 0 || prio > 127) { Unlock(); return KE_ERROR; }
  int old = t->prio;
  t->prio = prio;
  Reschedule();
  Unlock();
  return old;
}

int RotateThreadReadyQueue(int prio) {
  Lock();
  if (g_cur && g_th[g_cur].prio == prio) Reschedule(false);
  Unlock();
  return prio;
}

static int SuspendLocked(int id) {
  KThread* t = ThreadOf(id);
  if (!t || t->dormant) return KE_ERROR;
  t->suspended = true;
  return id ? id : g_cur;
}

int SuspendThread(int id) {
  Lock();
  int r = SuspendLocked(id);
  if (r >= 0) Reschedule();
  Unlock();
  return r;
}

int iSuspendThread(int id) {
  Lock();
  int r = SuspendLocked(id);
  Unlock();
  return r;
}

static int ResumeLocked(int id) {
  KThread* t = ThreadOf(id);
  if (!t || t->dormant || !t->suspended) return KE_ERROR;
  t->suspended = false;
  if (Runnable(*t)) MakeReady(*t);
  return id;
}

int ResumeThread(int id) {
  Lock();
  int r = ResumeLocked(id);
  if (r >= 0) Reschedule();
  Unlock();
  return r;
}

int iResumeThread(int id) {
  Lock();
  int r = ResumeLocked(id);
  Unlock();
  return r;
}

int SleepThread() {
  Lock();
  RequireNotInInterrupt("SleepThread");
  KThread& me = g_th[g_cur];
  if (me.wakeupCount > 0) {
    me.wakeupCount--;
  } else {
    me.waitType = WT_SLEEP;
    Reschedule();
  }
  Unlock();
  return 0;
}

static int WakeupLocked(int id) {
  KThread* t = ThreadOf(id);
  if (!t || t->dormant || t - g_th == g_cur) return KE_ERROR;
  if (t->waitType == WT_SLEEP) {
    t->waitType = WT_NONE;
    if (Runnable(*t)) MakeReady(*t);
  } else {
    t->wakeupCount++;
  }
  return id;
}

int WakeupThread(int id) {
  Lock();
  int r = WakeupLocked(id);
  if (r >= 0) Reschedule();
  Unlock();
  return r;
}

int iWakeupThread(int id) {
  Lock();
  int r = WakeupLocked(id);
  Unlock();
  return r;
}

// ---- semaphores ------------------------------------------------------

int CreateSema(SemaParam* p) {
  if (!p || p->initCount < 0) return KE_ERROR;
  Lock();
  for (int i = 0; i < MAX_SEMAS; i++) {
    if (g_sema[i].used) continue;
    KSema& s = g_sema[i];
    memset(static_cast<void*>(&s), 0, sizeof s);
    s.used = true;
    s.count = s.initCount = p->initCount;
    s.maxCount = p->maxCount > 0 ? p->maxCount : 0x7fffffff;
    s.attr = p->attr;
    s.option = p->option;
    Unlock();
    return i;
  }
  Unlock();
  return KE_ERROR;
}

int DeleteSema(int id) {
  Lock();
  KSema* s = SemaOf(id);
  if (!s) { Unlock(); return KE_ERROR; }
  // Waiters are released, as the console does (their wait fails).
  for (int w = 0; w < s->nwait; w++) {
    KThread& t = g_th[s->waiters[w]];
    t.waitType = WT_NONE;
    if (Runnable(t)) MakeReady(t);
  }
  s->used = false;
  Reschedule();
  Unlock();
  return id;
}

static int SignalLocked(int id) {
  KSema* s = SemaOf(id);
  if (!s) return KE_ERROR;
  if (s->nwait > 0) {
    KThread& t = g_th[s->waiters[0]];
    memmove(&s->waiters[0], &s->waiters[1], (s->nwait - 1) * sizeof(int));
    s->nwait--;
    t.waitType = WT_NONE;
    if (Runnable(t)) MakeReady(t);
  } else if (s->count < s->maxCount) {
    s->count++;
  } else {
    return KE_ERROR;
  }
  return id;
}

int SignalSema(int id) {
  Lock();
  int r = SignalLocked(id);
  if (r >= 0) Reschedule();
  Unlock();
  return r;
}

int iSignalSema(int id) {
  Lock();
  int r = SignalLocked(id);
  Unlock();
  return r;
}

int WaitSema(int id) {
  Lock();
  RequireNotInInterrupt("WaitSema");
  KSema* s = SemaOf(id);
  if (!s) { Unlock(); return KE_ERROR; }
  if (s->count > 0) {
    s->count--;
  } else {
    s->waiters[s->nwait++] = g_cur;
    g_th[g_cur].waitType = WT_SEMA;
    g_th[g_cur].waitSema = id;
    Reschedule();
    if (!SemaOf(id)) { Unlock(); return KE_ERROR; }
  }
  Unlock();
  return id;
}

int PollSema(int id) {
  Lock();
  KSema* s = SemaOf(id);
  int r = KE_ERROR;
  if (s && s->count > 0) {
    s->count--;
    r = id;
  }
  Unlock();
  return r;
}

int iPollSema(int id) { return PollSema(id); }

int ReferSemaStatus(int id, SemaParam* out) {
  Lock();
  KSema* s = SemaOf(id);
  if (!s) { Unlock(); return KE_ERROR; }
  if (out) {
    out->count = s->count;
    out->maxCount = s->maxCount;
    out->initCount = s->initCount;
    out->numWaitThreads = s->nwait;
    out->attr = s->attr;
    out->option = s->option;
  }
  Unlock();
  return id;
}

// ---- interrupts ------------------------------------------------------

int AddIntcHandler(int cause, IntcHandler h, int next) { return AddHandler(g_intc, INTC_COUNT, cause, h, next); }
int RemoveIntcHandler(int cause, int id) { return RemoveHandler(g_intc, INTC_COUNT, cause, id); }
int AddDmacHandler(int ch, IntcHandler h, int next) { return AddHandler(g_dmac, DMAC_COUNT, ch, h, next); }
int RemoveDmacHandler(int ch, int id) { return RemoveHandler(g_dmac, DMAC_COUNT, ch, id); }
int EnableIntc(int cause) { return MaskChange(g_intc, INTC_COUNT, cause, true, false); }
int DisableIntc(int cause) { return MaskChange(g_intc, INTC_COUNT, cause, false, false); }
int iEnableIntc(int cause) { return MaskChange(g_intc, INTC_COUNT, cause, true, true); }
int iDisableIntc(int cause) { return MaskChange(g_intc, INTC_COUNT, cause, false, true); }
int EnableDmac(int ch) { return MaskChange(g_dmac, DMAC_COUNT, ch, true, false); }
int DisableDmac(int ch) { return MaskChange(g_dmac, DMAC_COUNT, ch, false, false); }
int iEnableDmac(int ch) { return MaskChange(g_dmac, DMAC_COUNT, ch, true, true); }
int iDisableDmac(int ch) { return MaskChange(g_dmac, DMAC_COUNT, ch, false, true); }

void IntcRaise(int cause) {
  if (cause < 0 || cause >= INTC_COUNT) return;
  Lock();
  Raise(g_intc[cause]);
  Unlock();
}

void DmacRaise(int ch) {
  if (ch < 0 || ch >= DMAC_COUNT) return;
  Lock();
  Raise(g_dmac[ch]);
  Unlock();
}

bool KernelInInterrupt() { return g_inInterrupt; }

void KernelYield() {
  Lock();
  if (g_cur && !g_inInterrupt) {
    if (g_clock == KCLOCK_VIRTUAL) g_vt += g_spCost;
    RaiseDue();
    DeliverPending();
    Reschedule();
  }
  Unlock();
}

// ---- clocks and timers ------------------------------------------------

void KernelSetClock(KernelClock c) {
  Lock();
  g_clock = c;
  Unlock();
}

KernelClock KernelGetClock() { return g_clock; }

void KernelSetVirtualQuantum(int safePoints) {
  if (safePoints < 1) safePoints = 1;
  Lock();
  g_spCost = VBLANK_LINES * UNIT / uint64_t(safePoints);
  if (g_spCost == 0) g_spCost = 1;
  Unlock();
}

uint64_t KernelLines() {
  Lock();
  uint64_t l = Now() / UNIT;
  Unlock();
  return l;
}

uint64_t KernelFields() { return g_fields; }

void KernelWaitVSync() {
  Lock();
  RequireNotInInterrupt("KernelWaitVSync");
  if (g_cur) {
    g_th[g_cur].waitType = WT_VSYNC;
    RaiseDue();
    Reschedule();
  }
  Unlock();
}

void TimerSetMode(int n, uint32_t mode) {
  if (n < 0 || n > 3) return;
  Lock();
  KTimer& t = g_timer[n];
  t.base = TimerCountLocked(n);
  t.origin = Now();
  t.mode = mode;
  Unlock();
}

uint32_t TimerGetMode(int n) { return n >= 0 && n <= 3 ? g_timer[n].mode : 0; }

void TimerSetCount(int n, uint32_t count) {
  if (n < 0 || n > 3) return;
  Lock();
  g_timer[n].base = count & 0xffff;
  g_timer[n].origin = Now();
  Unlock();
}

uint32_t TimerGetCount(int n) {
  if (n < 0 || n > 3) return 0;
  Lock();
  uint32_t c = TimerCountLocked(n);
  Unlock();
  return c;
}

void FlushCache(int) {}
void iFlushCache(int) {}
void SyncDCache(void*, void*) {}
void iSyncDCache(void*, void*) {}

// ---- halting ---------------------------------------------------------

void KernelSetHaltHook(HaltHook hook) { g_haltHook = hook; }
HaltHook KernelGetHaltHook() { return g_haltHook; }

void KernelHalt() {
  if (g_haltHook) g_haltHook();
  PlatFlushLogs();
  Lock();
  if (g_cur == 0 || g_cur == g_mainId) {
    Unlock();
    _exit(EXIT_FATAL);
  }
  // Any other thread hands the CPU back and is parked for good.
  g_inInterrupt = false;
  KThread& me = g_th[g_cur];
  me.halted = true;
  Reschedule();
  for (;;) pthread_cond_wait(&me.cv, &g_lock);
}

// ---- start-up --------------------------------------------------------

namespace {
int (*g_mainFn)(int, char**);
int g_argc;
char** g_argv;

void MainThreadEntry(void*) {
  int r = g_mainFn(g_argc, g_argv);
  Lock();
  g_mainResult = r;
  g_mainFinished = true;
  pthread_cond_signal(&g_mainDone);
  // The process ends with main: this thread never runs engine code again.
  for (;;) pthread_cond_wait(&g_th[g_mainId].cv, &g_lock);
}
}  // namespace

int PlatformRun(int (*mainFn)(int, char**), int argc, char** argv) {
  EeArenaInit();
  clock_gettime(CLOCK_MONOTONIC, &g_realStart);
  g_mainFn = mainFn;
  g_argc = argc;
  g_argv = argv;
  Lock();
  g_mainId = CreateThreadLocked(MainThreadEntry, MAIN_THREAD_PRIORITY, 16 << 20, nullptr);
  KThread& t = g_th[g_mainId];
  t.dormant = false;
  MakeReady(t);
  g_cur = g_mainId;
  StartHost(t);
  while (!g_mainFinished) pthread_cond_wait(&g_mainDone, &g_lock);
  Unlock();
  PlatPrintGsStats();
  PlatReportEnd();
  PlatFlushLogs();
  return g_mainResult;
}
