// Stand-in for the time-based rendering until its module lands: no cob
// holds an image object, so there is nothing to release.
#include "coblib.h"

void TimeBasedRenderRelease(int) {}
