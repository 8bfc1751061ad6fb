// Stand-in for animation data and texture animation until they are built:
// scenes hold no animations and no texture animations.
#include "zegscn_local.h"

const ZEANIMDATA* GscnAnim(const ZEGSCENE*, int) { return nullptr; }
float GscnAnimEnd(const ZEANIMDATA*) { return 0.0f; }
void GscnPose(const ZEANIMDATA*, float, ZEMTX*) {}
void GscnRemoveTexAnims(ZEGSCENE*) {}
void GscnFixTexAnims(GscnRd&, ZEGSCENE*) {}
void GscnFixAnimLib(GscnRd&, ZEGSCENE*) {}
void GscnConvertAnimLib(ZEFILE, ZEFILE) {}
void ZeSceneReadAnimLib(ZEFILE, ZEGSCENE*) {}
void ZeSceneFreeAnimLib(ZEGSCENE*) {}
void ReadZeIFFTexAnimSet(ZEFILE, ZEGSCENE*, const int16_t*) {}
void ZeSceneReAssignTexAnims(ZETEXANIM*, int) {}
