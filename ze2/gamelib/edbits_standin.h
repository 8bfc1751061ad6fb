// Stand-in for the in-game editors' support (edbits, edcam), which are not
// built yet: no scene object is found by name and the editor camera sits at
// the origin. Until the editors exist, a tool or test may name the scene's
// objects through edbits_lookup_hook (the index it gives is taken as a scene
// instance). The editors' library replaces this file.
#pragma once

#include "ze3d.h"
#include "zemath.h"

extern int edbits_editmode;  // non-zero while an in-game editor is active

// name (at most 19 characters compared), scene -> the scene instance, or -1.
extern int (*edbits_lookup_hook)(const char* name, const ZEGSCENE* scene);

inline int edbitsLookupInstance(const char* name, ZEGSCENE* scene) {
  return edbits_lookup_hook ? edbits_lookup_hook(name, scene) : -1;
}
inline void edcamGetPosAng(ZEVEC* pos, float* pitch, float* yaw) {
  if (pos) *pos = {0, 0, 0};
  if (pitch) *pitch = 0;
  if (yaw) *yaw = 0;
}
