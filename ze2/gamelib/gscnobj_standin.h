// Stand-in for the scene runtime's object table, which is not built yet:
// the object (gobj) a scene instance draws. None until the scene runtime
// exists, so bridges and dressing groups draw nothing. The scene library
// replaces this file.
#pragma once

#include "gscene_standin.h"

inline ZEGOBJ* ZeGScnInstObject(const ZEGSCENE*, const ZEGSCNINST*) { return nullptr; }
