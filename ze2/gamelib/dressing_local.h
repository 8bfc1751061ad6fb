// Shared by the bridges and the wind and fade-object groups: the object of
// a scene instance, bounds, the fade alpha and the burst that draws a group,
// the groups' tables and their stack pools.
#pragma once

#include <cstring>

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

// The first group of the table not in use, cleared and marked in use; null
// when all are.
template <class Group, size_t N>
Group* DressGroupAlloc(Group (&groups)[N]) {
  for (Group& g : groups)
    if (!g.inuse) {
      memset(&g, 0, sizeof g);
      g.inuse = 1;
      return &g;
    }
  return nullptr;
}
// The next n entries of a stack pool of size entries at *top (advanced);
// null when the pool is not made, n is negative or they do not fit.
template <class T>
T* DressPoolAlloc(T* pool, int size, int* top, int n) {
  if (!pool || n < 0 || *top + n > size) return nullptr;
  T* p = pool + *top;
  *top += n;
  return p;
}
// Gives back the n entries at p when they are the top of the stack; entries
// from elsewhere (a grass page's own) leave the pool alone.
template <class T>
void DressPoolFree(T* pool, int* top, const T* p, int n) {
  if (pool && n > 0 && n <= *top && p == pool + (*top - n)) *top -= n;
}
// Draws every group in use and in range as one burst through cb, with *cur
// naming the group meanwhile (the callback's fade reads it); a group's drawn
// notes whether any instance was accepted.
template <class Group, size_t N>
void DressDrawGroups(Group (&groups)[N], Group** cur, ZEBURSTFN* cb) {
  for (Group& g : groups) {
    if (!g.inuse || !g.inrange) continue;
    *cur = &g;
    g.drawn = char(DressBurst(g.object, cb, g.mtxs, g.count, g.fadestart, g.drawrange));
  }
  *cur = nullptr;
}
