// Shared between the character modules only.
#pragma once

#include "coblib.h"

// InitCobs' resets of the frame lists and the locator and override pools.
void CobResetFrame();
void CobLocReset();
// Takes the model's locator matrices for a freshly cleared cob (InitCob);
// refuses with a debug message when the shared matrices run short.
void CobLocTake(COB* cob);
// Drops a removed cob from the override lists of both pools (RemoveCob).
void CobJointAnimForget(COB* cob);
// The point-of-interest index of a locator id on the model, -1 when it has none.
int CobPointIndex(const ZEHGOBJ* hgobj, int locator);
// Poses the cob's model from its animation into joints (cross-blend, joint
// overrides; the blend-shape weights, or null): false, posing nothing, when
// the cob has no such animation.
bool CobPoseAnimated(const COB* cob, ZEMTX* joints, void*** weights);
