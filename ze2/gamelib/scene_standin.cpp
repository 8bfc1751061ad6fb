// Stand-in for loaded scenes until they are built: a scene has no portal set.
#include "gamelib.h"

const ZEPORTALSET* ZeGScnPortalSet(const ZEGSCENE*) { return nullptr; }
