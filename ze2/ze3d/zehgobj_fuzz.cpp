// Fuzz target: a damaged model memory image (.ghg) read in place, posed at
// rest, queried, relocated and released.
#include "ze3d_fuzz.h"

namespace {

constexpr int BUFFER = 1 << 20;
char* g_buffer;
char* g_moved;

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  if (!g_buffer) {
    g_buffer = static_cast<char*>(EeMalloc(BUFFER));
    g_moved = static_cast<char*>(EeMalloc(BUFFER * 2));
  }
  ze3dfuzz::Begin("FUZZ.GHG", data, size);
  char* pos = g_buffer;
  ZEHGOBJ* o = ZeGHGRead("FUZZ.GHG", &pos, g_buffer + BUFFER);
  if (!o) return;
  static ZEMTX joints[256];
  ZeHGobjEval(o, 0, nullptr, joints);
  ZEMTX at, out;
  ZeMtxSetIdentity(&at);
  for (int id = 0; id < 256; id++) {
    ZeHGobjJointMtxWithCheck(o, id, &at, joints, &out);
    ZeHGobjPOIMtxWithCheck(o, id, &at, joints, &out);
  }
  const ZEVEC c = {0, 1, 0};
  ZeHGobjCollideSphere(o, &at, joints, &c, nullptr, 0.5f);
  char* to = g_moved;
  ZEHGOBJ* moved = ZeGHGRelocate(o, &to);
  ZeHGobjDestroy(o);
  ZeHGobjEval(moved, 0, nullptr, joints);
  ZeHGobjDestroy(moved);
}

void FuzzReset() { ze3dfuzz::Reset(); }
