// Stand-ins for renderer services not built yet: they do nothing. Weak, so
// that the renderer's own definitions take their place as they land.
#include "standins.h"

#define STANDIN [[gnu::weak]]

STANDIN void ZeRndrFPatchClose() {}
