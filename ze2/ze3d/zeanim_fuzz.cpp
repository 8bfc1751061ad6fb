// Fuzz target: animation input. The first byte chooses the form: an image
// of version 1 or 2 (loaded, every curve evaluated at several frames, node
// and joint matrices built, a version 2 image relocated), or the old
// stream form (read, evaluated, written back).
#include "fuzz.h"
#include "ze3d.h"
#include "zecore_local.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#include <string>

namespace {

std::string g_dir;
constexpr int BUFFER = 1 << 18;
char* g_buffer;
const float kFrames[] = {-3, 1, 2.5f, 17, 32.99f, 33, 64.5f, 1000};

void EvalV2(const ZEANIMDATA2* a) {
  for (float f : kFrames) {
    ZEANIMTIME t;
    ZeAnimData2CalcTime(a, &t, f);
    for (int n = 0; n < a->nnodes; n++) {
      const uint32_t* w = a->words + n * a->ncurves;
      const int8_t* k = a->keytypes + n * a->ncurves;
      for (int i = 0; i < a->ncurves; i++)
        if (k[i] != ZEANIMKEYTYPE_NONE) ZeAnimCurve2CalcValEx(&w[i], &t, k[i]);
      if (a->ncurves < ZEANIM_SLOTS) continue;
      ZEMTX m;
      ZEVEC s;
      const ZEVEC one = {1, 1, 1};
      ZEJOINT j{};
      ZeAnimCurve2SetApplyToMatrix(w, k, a->nodeflags[n], &t, &m);
      ZeAnimCurve2SetApplyToJoint(w, k, int8_t(a->nodeflags[n]), &t, &j, &s, &one, &m, nullptr);
    }
  }
}

void EvalV1(const ZEANIMDATA* a) {
  for (float f : kFrames) {
    ZEANIMTIME t;
    ZeAnimDataCalcTime(a, &t, f);
    const ZEANIMCHUNK* c = a->chunks[t.chunk];
    for (int n = 0; n < c->nnodes; n++) {
      const ZEANIMCURVESET* s = c->sets[n];
      if (!s) continue;
      for (int k = 0; k < s->nslots; k++)
        if (s->curves[k]) ZeAnimCurveCalcVal2(s->curves[k], &t);
      ZEMTX m;
      ZeAnimCurveSetApplyToMatrix(s, &t, &m);
    }
  }
}

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  if (g_dir.empty()) {
    g_dir = FuzzDir();
    g_buffer = static_cast<char*>(EeMalloc(BUFFER));
    errmsg_disabled = 1;
    errmsg_to_console = 0;
    ZeTrigInit();
  }
  if (size < 1) return;
  const int form = data[0] % 3;
  data++, size--;
  FuzzWriteFile("FUZZ.ANI", data, size);
  PlatSetHostRoot(g_dir.c_str());
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  zefile_try_packed = 0;
  char* pos = g_buffer;
  if (form == 0) {
    EvalV1(ZeAnimDataLoadBuff("FUZZ.ANI", &pos, g_buffer + BUFFER / 2));
  } else if (form == 1) {
    char* image = nullptr;
    EvalV2(ZeAnimData2LoadBuffEx("FUZZ.ANI", &pos, g_buffer + BUFFER / 2, &image));
    pos = g_buffer + BUFFER / 2 + 3;
    EvalV2(ZeAnimData2Relocate(&image, &pos));
  } else {
    ZEFILE f = ZeFileOpen("FUZZ.ANI", 0);
    ZEANIMDATA* a = ZeAnimDataRead(f);
    ZeFileClose(f);
    EvalV1(a);
    f = ZeFileOpen("BACK.BIN", 1);
    ZeAnimDataWrite(f, a);
    ZeFileClose(f);
    ZeAnimDataDestroy(a);
  }
}

void FuzzReset() {
  ZeFileReset();
  ZeMemFlushFn();  // records a fatal error abandoned
  errmsg_trap = 0;
}
