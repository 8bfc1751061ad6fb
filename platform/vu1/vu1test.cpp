// vu1test: a tiny program that exercises the framework (entries, TOP and
// ITOP, registers kept between runs, MSCNT, path 1). Image: 8 instructions.
//   +0  XGKICK the packet at TOP; stops at +2
//   +2  TOP+2 = TOP+0 + TOP+1 (four floats); vf01 = the sum, vi01 = TOP; stops at +4
//   +4  XGKICK the packet at ITOP; stops at +0
#include "platform.h"

#include <cstring>

int Vu1TestProgram(Vu1Run& run) {
  switch (run.pc - run.base) {
    case 0:
      Vu1Xgkick(run.top);
      return run.base + 2;
    case 2: {
      float a[4], b[4];
      memcpy(a, Vu1Quad(run.top), 16);
      memcpy(b, Vu1Quad(run.top + 1), 16);
      float* sum = Vu1Vf(1);
      for (int i = 0; i < 4; i++) sum[i] = a[i] + b[i];
      memcpy(Vu1Quad(run.top + 2), sum, 16);
      *Vu1Vi(1) = uint16_t(run.top);
      return run.base + 4;
    }
    case 4:
      Vu1Xgkick(run.itop);
      return run.base;
    default:
      PlatFatal("vu1test: no entry at +%d", run.pc - run.base);
  }
}
