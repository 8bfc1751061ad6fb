// The background loader's planet-data slot and busy flag, which the planet
// world writes and reads: the game's loader (game/bgload.cpp) takes one
// request a turn from the slot. BGLoadServeGbData serves the slot at once,
// for the planet world's own tests, which run without the game's loader.
// The callback ring here is weak: the game's loader defines the ring its
// thread serves, and its definitions take the place of these.
#include "globular.h"

int bgload_pending = 0;
EePtr<ASYNCFILEREQ> bgload_next_gb_data;

void BGLoadServeGbData() {
  ASYNCFILEREQ* r = bgload_next_gb_data;
  if (!r) return;
  bgload_next_gb_data = nullptr;
  bgload_pending = 1;
  AsyncFileServe(r);
  bgload_pending = 0;
}

namespace {
struct BgCallback {
  BGLOADFN fn;
  void* arg;
  int handle;
  int queued;
};
BgCallback bg_ring[BGLOAD_CALLBACKS];
unsigned bg_write = 0, bg_read = 0;
}  // namespace

[[gnu::weak]] int BGLoadPostCallback(BGLOADFN function, void* argument) {
  if (bg_write - bg_read >= unsigned(BGLOAD_CALLBACKS)) return -1;
  int handle = int(bg_write & 0x7fffffffu);
  bg_ring[bg_write % BGLOAD_CALLBACKS] = BgCallback{function, argument, handle, 1};
  bg_write++;
  return handle;
}

[[gnu::weak]] int BGLoadCancelCallback(int handle) {
  for (unsigned i = bg_read; i != bg_write; i++) {
    BgCallback& c = bg_ring[i % BGLOAD_CALLBACKS];
    if (c.queued && c.handle == handle) {
      c.queued = 0;
      return 0;
    }
  }
  return -5;
}

[[gnu::weak]] void BGLoadServeCallbacks() {
  while (bg_read != bg_write) {
    BgCallback c = bg_ring[bg_read % BGLOAD_CALLBACKS];
    bg_ring[bg_read % BGLOAD_CALLBACKS].queued = 0;
    bg_read++;
    if (c.queued) c.fn(c.arg, c.handle);
  }
}
