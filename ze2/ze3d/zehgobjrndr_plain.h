// The plain form of the blended posing (ZeHGobjEvalAnimBlend2 without
// overrides), its products through the plain matrix routines in place of
// the vector-unit-0 ones: the reference the posing test checks the fast
// path against, and the benchmark's comparison.
#pragma once

#include "ze3d.h"

inline void HgoEvalBlend2Plain(const ZEHGOBJ* obj, const ZEANIMDATA2* a, const ZEANIMDATA2* b, ZEMTX* out, float fa,
                               float fb, float blend) {
  ZEVEC scale[256];
  scale[255] = {1, 1, 1};
  ZEANIMTIME ta, tb;
  ZeAnimData2CalcTime(a, &ta, fa);
  ZeAnimData2CalcTime(b, &tb, fb);
  for (int i = 0; i < obj->njoint; i++) {
    if (i >= a->nnodes || i >= b->nnodes) {
      ZeMtxSetIdentity(&out[i]);
      continue;
    }
    const int pa = i * a->ncurves, pb = i * b->ncurves, parent = obj->joints[i].parent;
    ZEMTX local;
    ZeAnimCurve2SetApplyBlendToJoint2(&a->words[pa], &a->keytypes[pa], a->nodeflags[i], &ta, &b->words[pb],
                                      &b->keytypes[pb], b->nodeflags[i], &tb, blend, &obj->joints[i], &scale[i],
                                      &scale[parent], &local, nullptr);
    if (parent == 255 && (a->nodeflags[i] & ZEANIMNODE_ROOTSCALE)) scale[i] = {1, 1, 1};
    if (parent == 255) out[i] = local;
    else ZeMtxMulH(&out[i], &local, &out[parent]);
  }
}
