// Stand-ins for renderer services not built yet: they do nothing. Weak, so
// that the renderer's own definitions take their place as they land.
#include "standins.h"

#define STANDIN [[gnu::weak]]

STANDIN int zerndr_shadowson = 1;

STANDIN void ZeLightInit() {}
STANDIN void ZeLightMatInit() {}
STANDIN void ZeRndrShadowInit(const uint8_t*) {}
STANDIN void ZeGlassInit(int) {}
STANDIN void ZeGlassClose() {}
STANDIN void ZeWaterInit() {}
STANDIN void InstInit() {}
STANDIN void InstClose() {}
STANDIN void ZeNormalMapInit() {}
STANDIN void ZeNormalMapClose() {}
STANDIN void ZeRndrFPatchClose() {}
STANDIN void ZeLgtSetArcMat(float, float, ZEMTL*) {}
STANDIN void ZeRndrFx(int, const ZEVEC*) {}
STANDIN void ZeLightFog(float, int, int, int) {}
STANDIN void ZeRndrDrawShadedPols(int) {}
STANDIN void ZeRndrWaterRippleUpdate(int) {}
STANDIN void ZeRndrWaterRip(ZEMTL*) {}
