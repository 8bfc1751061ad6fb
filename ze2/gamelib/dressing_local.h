// Shared by the bridges and the wind and fade-object groups: the object of
// a scene instance, bounds, the fade alpha and the burst that draws a group.
#pragma once

#include "gamelib.h"

ZEVEC DressCamPos();
// The object (gobj) a scene instance draws, or null.
inline ZEGOBJ* ZeGScnInstObject(const ZEGSCENE* scene, const ZEGSCNINST* inst) {
  if (!scene || !inst || !scene->gobjs || inst->object < 0 || inst->object >= scene->ngobj) return nullptr;
  return scene->gobjs.get()[inst->object];
}
// The centre and squared radius (half extents squared, plus extra) of the
// matrices' translations; heights of 2,000,000 and more are ignored.
void DressGroupBounds(ZEVEC* centre, float* radsq, const ZEMTX* m, int count, float extra);
// 1 for a matrix without a fade marker, else the linear fade between the
// fade start and the draw range by camera distance.
float DressFadeAlpha(const ZEMTX* m, float drawrange, float fadelen);
// Draws the matrices within the draw range as one burst of the object with
// [3][3] = 1 and [2][3] = the fade marker (0 within the fade start), both
// restored after each add. 1 when any instance was accepted.
int DressBurst(ZEGOBJ* obj, ZEBURSTFN* cb, ZEMTX* mtxs, int count, float fadestart, float drawrange);
