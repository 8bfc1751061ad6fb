// The GS beside the CPU. With more than one drawing thread, general register
// writes and image data go, in the order they come, through a queue to a
// worker thread that runs them exactly as the synchronous model does; a
// call that reads local memory or registers drains the queue first
// (GsSync). The worker splits a fast primitive's spans into bands of rows
// that it and its helpers draw together. Rows of a fast primitive never
// share memory, and a primitive is finished before the next one starts, so
// the pictures are the same for every thread count.
//
// The CPU side (the GIF and whoever calls the GS) never waits for drawing
// except in GsSync, and nothing the worker does reaches the kernel:
// SIGNAL and FINISH, the only writes that interrupt, are run by the caller
// after a drain (gsregs.cpp).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "gsfast_local.h"

bool g_gsQueued;

namespace {

constexpr int kMaxThreads = 8;
constexpr uint64_t kRingBytes = uint64_t(8) << 20;
constexpr int kImageChunk = 256 * 1024;  // image data per record
constexpr int kBandRows = 8;             // rows a helper takes at once (a block row)
constexpr int kMaxBands = 2048 / kBandRows + 2;
constexpr auto kSpin = std::chrono::microseconds(100);  // before a thread sleeps

// A record in the ring: a head, then (image data) the bytes padded to 16.
enum RecKind : uint32_t { REC_REG, REC_IMAGE, REC_WRAP };
struct RecHead {
  uint32_t kind;
  uint32_t arg;  // the register, or the image bytes
  uint64_t value;
};
static_assert(sizeof(RecHead) == 16);

inline void Pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

// Spins on `ready` for a while; false when it never became true.
template <typename Fn>
bool SpinFor(Fn ready) {
  const auto end = std::chrono::steady_clock::now() + kSpin;
  for (;;) {
    for (int i = 0; i < 64; i++) {
      if (ready()) return true;
      Pause();
    }
    if (std::chrono::steady_clock::now() > end) return false;
  }
}

int g_want;     // threads asked for; 0 until GsSetThreads or the first use
int g_running;  // threads started (the worker and its helpers), 0 when none
thread_local bool t_gsThread;  // this thread is the worker or a helper

// ---- the queue: one producer (the CPU side), one consumer (the worker) ----

uint8_t* g_ring;
uint64_t g_head;                          // the producer's next byte
alignas(64) std::atomic<uint64_t> g_pub;  // bytes published
alignas(64) std::atomic<uint64_t> g_tail; // bytes the worker has run
std::atomic<bool> g_stop;
std::atomic<bool> g_workerSleeps, g_drainWaits;
std::mutex g_mu;
std::condition_variable g_cvWork, g_cvIdle;
std::thread* g_threads[kMaxThreads];

// ---- bands: the worker hands out chunks of one primitive's spans ----

struct BandJob {
  GsSpanFn fn;
  const GsFastEnv* f;
  const GsSetup* s;
  const GsFastTex* t;
  const GsSpan* spans;
  int bounds[kMaxBands + 1];  // first span of each chunk
};
BandJob g_job;
// serial << 32 | chunks << 16 | next chunk: a claim is a fetch_add, and
// the value it returns says which job and chunk it got.
alignas(64) std::atomic<uint64_t> g_claim;
alignas(64) std::atomic<int> g_done;
std::atomic<uint32_t> g_jobBell;  // moves when sleeping helpers must look
std::atomic<int> g_helpersAsleep;
uint32_t g_jobSerial;
int g_bandMin = 1024;  // pixels below which a primitive is not split

inline int ChunksOf(uint64_t c) { return int((c >> 16) & 0xffff); }
inline int NextOf(uint64_t c) { return int(c & 0xffff); }

void RunChunk(int i) {
  const BandJob& j = g_job;
  j.fn(*j.f, *j.s, j.t, j.spans + j.bounds[i], j.bounds[i + 1] - j.bounds[i]);
}

// Claims and draws chunks of the current job until none is left.
void DrawChunks() {
  for (;;) {
    const uint64_t old = g_claim.fetch_add(1, std::memory_order_acq_rel);
    if (NextOf(old) >= ChunksOf(old)) return;
    RunChunk(NextOf(old));
    g_done.fetch_add(1, std::memory_order_release);
  }
}

void Helper() {
  t_gsThread = true;
  for (;;) {
    // Sequentially consistent: the worker stores the claim, then counts
    // sleepers; a helper counts itself, then looks at the claim.
    auto work = [] {
      const uint64_t c = g_claim.load();
      return NextOf(c) < ChunksOf(c) || g_stop.load();
    };
    if (!SpinFor(work)) {
      const uint32_t bell = g_jobBell.load();
      g_helpersAsleep.fetch_add(1);
      if (!work()) g_jobBell.wait(bell);
      g_helpersAsleep.fetch_sub(1);
    }
    if (g_stop.load()) return;
    DrawChunks();
  }
}

void RunRecord(const RecHead& r) {
  switch (r.kind) {
    case REC_REG: GsExecReg(int(r.arg), r.value); break;
    case REC_IMAGE: GsXferWriteImage(&r + 1, int(r.arg)); break;
    default: break;
  }
}

inline uint64_t RecBytes(const RecHead& r) {
  if (r.kind == REC_WRAP) return kRingBytes - (reinterpret_cast<const uint8_t*>(&r) - g_ring);
  return sizeof(RecHead) + (r.kind == REC_IMAGE ? (uint64_t(r.arg) + 15) & ~uint64_t(15) : 0);
}

void Worker() {
  t_gsThread = true;
  uint64_t tail = g_tail.load();
  for (;;) {
    uint64_t head = g_pub.load(std::memory_order_acquire);
    if (head == tail) {
      if (!SpinFor([&] { return g_pub.load(std::memory_order_acquire) != tail || g_stop.load(); })) {
        std::unique_lock<std::mutex> lk(g_mu);
        g_workerSleeps.store(true);
        while (g_pub.load() == tail && !g_stop.load()) g_cvWork.wait(lk);
        g_workerSleeps.store(false);
      }
      if (g_stop.load() && g_pub.load() == tail) return;
      continue;
    }
    while (tail != head) {
      const RecHead& r = *reinterpret_cast<const RecHead*>(g_ring + tail % kRingBytes);
      RunRecord(r);
      tail += RecBytes(r);
      g_tail.store(tail, std::memory_order_release);
    }
    // Seen by a drain that went to sleep before this batch ended.
    g_tail.store(tail);
    if (g_drainWaits.load()) {
      std::lock_guard<std::mutex> lk(g_mu);
      g_cvIdle.notify_all();
    }
  }
}

void StopThreads() {
  if (!g_running) return;
  GsSync();
  {
    std::lock_guard<std::mutex> lk(g_mu);
    g_stop.store(true);
    g_cvWork.notify_all();
  }
  g_jobBell.fetch_add(1);
  g_jobBell.notify_all();
  for (int i = 0; i < g_running; i++) {
    g_threads[i]->join();
    delete g_threads[i];
    g_threads[i] = nullptr;
  }
  g_running = 0;
  g_stop.store(false);
  g_gsQueued = false;
}

int WantFromEnvironment() {
  const char* v = getenv("ZE_GS_THREADS");
  int n = v ? atoi(v) : 1;
  return n < 1 ? 1 : n > kMaxThreads ? kMaxThreads : n;
}

void StartThreads() {
  static bool atExit = false;
  if (!atExit) {
    // Before the static records the worker uses go away.
    atexit(StopThreads);
    atExit = true;
  }
  if (!g_ring) g_ring = static_cast<uint8_t*>(aligned_alloc(64, kRingBytes));
  g_head = 0;
  g_pub.store(0);
  g_tail.store(0);
  g_claim.store(0);
  g_running = g_want;
  g_threads[0] = new std::thread(Worker);
  for (int i = 1; i < g_running; i++) g_threads[i] = new std::thread(Helper);
}

// Room for `bytes` at the head without overtaking the worker.
void WaitForRoom(uint64_t bytes) {
  auto room = [&] { return g_head + bytes - g_tail.load(std::memory_order_acquire) <= kRingBytes; };
  while (!room())
    if (!SpinFor(room)) std::this_thread::yield();
}

void Publish() {
  g_pub.store(g_head);
  if (g_workerSleeps.load()) {
    std::lock_guard<std::mutex> lk(g_mu);
    g_cvWork.notify_one();
  }
}

// A record of `payload` bytes at the head, contiguous in the ring.
RecHead* Reserve(uint64_t payload) {
  if (!g_running) StartThreads();
  const uint64_t need = sizeof(RecHead) + ((payload + 15) & ~uint64_t(15));
  const uint64_t pos = g_head % kRingBytes;
  if (pos + need > kRingBytes) {
    WaitForRoom(kRingBytes - pos);
    reinterpret_cast<RecHead*>(g_ring + pos)->kind = REC_WRAP;
    g_head += kRingBytes - pos;
  }
  WaitForRoom(need);
  RecHead* r = reinterpret_cast<RecHead*>(g_ring + g_head % kRingBytes);
  g_head += need;
  return r;
}

}  // namespace

void GsQueuePushReg(int reg, uint64_t value) {
  RecHead* r = Reserve(0);
  *r = RecHead{REC_REG, uint32_t(reg), value};
  Publish();
}

void GsQueuePushImage(const void* data, int bytes) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  while (bytes > 0) {
    const int n = bytes < kImageChunk ? bytes : kImageChunk;
    RecHead* r = Reserve(uint64_t(n));
    *r = RecHead{REC_IMAGE, uint32_t(n), 0};
    memcpy(r + 1, p, size_t(n));
    Publish();
    p += n;
    bytes -= n;
  }
}

void GsSyncWait() {
  if (t_gsThread) return;  // the GS itself never waits for its own queue
  auto idle = [] { return g_tail.load(std::memory_order_acquire) == g_head; };
  if (idle() || SpinFor(idle)) return;
  std::unique_lock<std::mutex> lk(g_mu);
  g_drainWaits.store(true);
  while (g_tail.load() != g_head) g_cvIdle.wait(lk);
  g_drainWaits.store(false);
}

void GsBandSpans(GsSpanFn fn, const GsFastEnv& f, const GsSetup& s, const GsFastTex* t,
                 const GsSpan* spans, int n, uint64_t pixels) {
  // A frame and depth buffer sharing words are drawn in the reference
  // path's order, row after row: such a primitive is never split.
  if (g_running < 2 || !t_gsThread || n < 2 || pixels < uint64_t(g_bandMin) || f.alias) {
    fn(f, s, t, spans, n);
    return;
  }
  BandJob& j = g_job;
  j.fn = fn;
  j.f = &f;
  j.s = &s;
  j.t = t;
  j.spans = spans;
  // Chunks of whole block rows: spans come in rising rows.
  int chunks = 0;
  int row = -1;
  for (int i = 0; i < n; i++) {
    const int r = spans[i].y / kBandRows;
    if (r != row) {
      j.bounds[chunks++] = i;
      row = r;
    }
  }
  j.bounds[chunks] = n;
  g_done.store(0, std::memory_order_relaxed);
  g_claim.store(uint64_t(++g_jobSerial) << 32 | uint64_t(chunks) << 16);
  if (g_helpersAsleep.load() > 0) {
    g_jobBell.fetch_add(1);
    g_jobBell.notify_all();
  }
  DrawChunks();
  while (g_done.load(std::memory_order_acquire) != chunks) Pause();
}

void GsSetThreads(int n) {
  n = n < 1 ? 1 : n > kMaxThreads ? kMaxThreads : n;
  if (n == g_want) return;
  StopThreads();
  g_want = n;
  g_gsQueued = n > 1;
}

int GsGetThreads() {
  if (!g_want) GsSetThreads(WantFromEnvironment());
  return g_want;
}

void GsThreadsInit() {
  if (!g_want) GsSetThreads(WantFromEnvironment());
}

void GsSetBandMin(int pixels) { g_bandMin = pixels; }
