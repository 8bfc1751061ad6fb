// Fuzz target: a damaged scene file (.gsc image) read whole and fixed up,
// then updated, cross-faded, searched and removed. The loader takes nothing
// from the heap.
#include "ze3d_fuzz.h"

namespace {

constexpr int BUFFER = 1 << 20;
char* g_buffer;

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  if (!g_buffer) g_buffer = static_cast<char*>(EeMalloc(BUFFER));
  ze3dfuzz::Begin("FUZZ.GSC", data, size);
  char* pos = g_buffer;
  ZEGSCENE* s = ZeGScnRead(&pos, g_buffer + BUFFER, "FUZZ.GSC");
  if (!s) return;
  ZeGScnUpdate(s, 1.0f);
  ZeGSceneSetCrossFade(s, 100, 50);
  ZeGSceneProcessCrossFade(s);
  ZESPECIAL h;
  if (s->nspec) ZeSpecialFind(s, &h, s->specs[0].name);
  ZESPLINE* found[4];
  ZeSplineFindAllSub(s, "a", found, 4);
  ZEVEC p;
  for (int i = 0; i < s->nspline; i++) ZeSplineGetRandomPoint(s->splines + i, &p);
  ZeGScnRemove(s);
}

void FuzzReset() { ze3dfuzz::Reset(); }
