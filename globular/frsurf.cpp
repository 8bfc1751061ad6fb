// Asynchronous file reads: a pool of requests queued in eight priorities,
// handed one at a time to the background loader's planet-data slot, and
// the transfer rates of the reads.
#include "globular.h"

int asyncfileload = 1;
int asyncfile_lastrate = 0, asyncfile_maxrate = 0, asyncfile_avgrate = 0;

namespace {

ZEMEMBLK* req_pool = nullptr;
ASYNCFILEREQ* req_first = nullptr;  // pool index = (request - first)
ZELIST req_list[ASYNCFILE_PRIORITIES];
int req_pending = 0;
ASYNCFILEREQ* req_inflight = nullptr;
int req_inflight_pri = 0;
uint32_t req_start = 0;

int Index(ASYNCFILEREQ* r) { return int(r - req_first); }

void Finish(ASYNCFILEREQ* r) {
  if (r->done) *r->done = ASYNCFILE_DONE;
  ZeMemBlkFree(req_pool, r);
  req_pending--;
}

void Unlink(ASYNCFILEREQ* r) {
  ZeListRemove(r->list, r);
  r->list = nullptr;
  r->next = r->prev = nullptr;
}

}  // namespace

void AsyncFileInit(char** position, char* end) {
  char* pos = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(*position) + 15) & ~uintptr_t(15));
  int size = ZeMemBlkSize(sizeof(ASYNCFILEREQ), ASYNCFILE_POOL, 15);
  ZEASSERT(pos + size < end);
  req_pool = ZeMemBlkCreateEx(sizeof(ASYNCFILEREQ), ASYNCFILE_POOL, 15, pos);
  req_first = static_cast<ASYNCFILEREQ*>(req_pool->freehead.get());  // the chain starts in memory order
  *position = pos + size;
  for (ZELIST& l : req_list) l = ZELIST{};
  req_pending = 0;
  req_inflight = nullptr;
}

void AsyncFileRead(ZEFILE file, int position, void* buffer, int size, uint8_t* done, int priority) {
  ZEASSERT(req_pool);
  // A priority past the lists would append to memory that is not a list.
  if (priority < 0 || priority >= ASYNCFILE_PRIORITIES) ZeError("AsyncFileRead: priority %d", priority);
  auto* r = static_cast<ASYNCFILEREQ*>(ZeMemBlkAlloc(req_pool));
  ZEASSERT(r);
  r->next = r->prev = nullptr;
  ZeListAppend(&req_list[priority], r);
  req_pending++;
  r->list = &req_list[priority];
  r->file = file;
  r->position = position;
  r->size = size;
  r->buffer = buffer;
  r->done = done;
  if (done) *done = uint8_t(Index(r));
  if (!asyncfileload) AsyncFileProcessAll();
}

void AsyncFileServe(ASYNCFILEREQ* r) {
  ZEASSERT(r->file);
  int got = ZeFileReadFrom(r->file, r->buffer, r->size, r->position);
  // A short read must not pass for loaded data.
  if (got != r->size)
    ZeError("Asynchronous read of file %d at %d: %d of %d bytes", r->file, r->position, got, r->size);
}

void AsyncFileProcess() {
  if (!asyncfileload) AsyncFileProcessAll();
  if (bgload_pending || bgload_next_gb_data) return;
  if (ASYNCFILEREQ* r = req_inflight) {
    req_inflight = nullptr;
    uint32_t elapsed = (TimerGetCount(0) - req_start) & 0xffff;
    int rate = 0;
    if (elapsed) rate = EeFtoi(float(r->size) / (float(elapsed) / float(zerndr_pixel_height)));
    asyncfile_lastrate = rate;
    if (rate > asyncfile_maxrate) asyncfile_maxrate = rate;
    asyncfile_avgrate = int((unsigned(asyncfile_avgrate) * 15 + unsigned(rate)) / 16);
    Finish(r);
  }
  if (!req_pending) return;
  for (int p = 0; p < ASYNCFILE_PRIORITIES; p++) {
    auto* r = static_cast<ASYNCFILEREQ*>(ZeListGetHead(&req_list[p]));
    if (!r) continue;
    // A file that failed to open: the request waits (and holds up the queue)
    // rather than showing its block as loaded.
    if (!r->file) return;
    Unlink(r);
    req_inflight_pri = p;
    req_inflight = r;
    bgload_next_gb_data = r;
    req_start = TimerGetCount(0);
    return;
  }
}

void AsyncFileProcessAll() {
  for (ZELIST& l : req_list) {
    auto* r = static_cast<ASYNCFILEREQ*>(ZeListGetHead(&l));
    while (r) {
      auto* next = static_cast<ASYNCFILEREQ*>(r->next.get());
      if (r->file) {  // requests without a file wait, as in the queue
        Unlink(r);
        AsyncFileServe(r);
        Finish(r);
      }
      r = next;
    }
  }
}

int AsyncFilePending() { return req_pending; }

int AsyncFileCancel(uint8_t* done) {
  if (!req_pool || *done >= ASYNCFILE_POOL) return 0;
  ASYNCFILEREQ* r = req_first + *done;
  // Only a queued request that belongs to this byte; one in flight finishes.
  if (!r->list || r->done.get() != done) return 0;
  Unlink(r);
  Finish(r);
  return 1;
}
