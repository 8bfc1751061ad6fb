// Time-based rendering, the cob's side: the off-screen pass over the
// frame's queued cobs, each cob's classification, and the rendering of a
// posed model into its slot through the image matrix.
#include "coblib_local.h"
#include "tbr_local.h"

namespace {

// The pose of an image: as DrawCobs poses an animated cob whatever its
// animated flag, else the rest pose; override matrices are not used.
void PoseImage(COB* cob, ZEHGOBJ* model, ZEMTX* joints, void*** weights) {
  if (!CobPoseAnimated(cob, joints, weights)) ZeHGobjEval(model, 0, nullptr, joints);
}

// Steps b-g for one node: the sprite follows the cob; a requested image is
// drawn into its slot.
void RenderNode(TBRNODE* n, int began, const ZEMTX* camera) {
  COB* cob = n->cob;
  COBTYPE* t = cob->type;
  TBROBJ* o = n->obj;
  o->mtx.m[3][0] = cob->mtx.m[3][0] + t->centre.x;
  o->mtx.m[3][1] = cob->mtx.m[3][1] + t->centre.y;
  o->mtx.m[3][2] = cob->mtx.m[3][2] + t->centre.z;
  if (!began) return;
  cob->flags |= COB_DRAWN;
  ZEHGOBJ* model = t->hgobj;
  ZEMTX image;
  const ZEVEC v = {n->x, n->y, n->z};
  TBRImageMtx(&image, &cob->mtx, &t->centre, camera, &v, o->orientation, tbr_zdist[o->slot->cls] * t->radius);
  alignas(16) static ZEMTX joints[COB_MAXJOINTS];
  void** weights = nullptr;
  PoseImage(cob, model, joints, &weights);
  cob_array_dwa = weights;
  CheckLocators(cob, &cob->mtx, &image, joints);
  const ZEVEC pos = {cob->mtx.m[3][0], cob->mtx.m[3][1], cob->mtx.m[3][2]};
  const COBINFO* info = t->info;
  if (info && (info->flags & COBINFO_FULLLIGHTS)) SearchLights(camera, &pos, cob->lights, 1);
  else SearchLightsBasic(camera, &pos, nullptr);
  if (o->orientation == 1) ZeRndrSetDirectionalLightsLandscape();
  // The cob's material table or its slot material, for this call only.
  EePtr<ZEMTL>* savedTable = zerndr_forced_mtl_table;
  if (cob->mtltable) zerndr_forced_mtl_table = cob->mtltable;
  else if (cob->slotmtl) {
    HackMtl[1] = cob->slotmtl;
    zerndr_forced_mtl_table = HackMtl;
  }
  ZeHGobjRndrMtxDwa(model, &image, 2, cob->layers, joints, weights);
  zerndr_forced_mtl_table = savedTable;
  cobrndr++;
  o->rendered = 0;
}

}  // namespace

int TBRDrawCob(COB* cob) {
  cob->flags &= ~uint32_t(COB_DRAWN);
  COBTYPE* t = cob->type;
  ZEHGOBJ* model = t ? static_cast<ZEHGOBJ*>(t->hgobj) : nullptr;
  if (!model) return 0;
  const float minz = tbr_minz * t->radius;
  // Against the view itself: the renderer's extents test answers "inside"
  // for a box that only keeps within the band drawn without clipping, and a
  // distant cob on the view's edge must be drawn neither way.
  ZeCameraInitClipTestVU0(ZeCameraGetVPCMtx(), ZeCameraGetVPCMtx(), &cob->mtx);
  const int codes = ZeCameraClipTestExtentsVU0(&model->boxmin, &model->boxmax);
  cob->visible = (codes & 0x3f) ? 0 : ((codes & 0x3f00) ? 2 : 1);
  ZEVEC v;
  const ZEVEC at = {cob->mtx.m[3][0], cob->mtx.m[3][1], cob->mtx.m[3][2]};
  ZeCameraTransformView(&v, &at, 1, nullptr);
  const float z = v.z;
  cob->depth = z;
  const int result = z > minz ? TBR_DISTANT : 0;
  if (!cob->tbr) {
    cob->tbr = TimeBasedRenderAlloc(t->orientation);
    if (!cob->tbr) ZeError("unable to allocate TimeBasedRenderObject - total exceeds 256");
  }
  TBROBJ* o = TBRObj(cob->tbr);
  // Always a model, wherever it stands: a cob so flagged must not vanish
  // on the view's edge when it is far.
  if (cob->flags & COB_TBR) {
    o->shown = o->rendered = o->request = 0;
    o->depth = z;
    return 0;
  }
  if (cob->visible != 1) {
    // Crossing the view's edge: a distant cob is drawn neither way.
    o->shown = 0;
    o->request = 0;
    return result + TBR_NOTSHOWN;
  }
  if (z <= minz) {
    o->shown = o->rendered = o->request = 0;
    o->depth = z;
    return TBR_NOTSHOWN;
  }
  // Just come from near: its image is rendered now, budget or not.
  if (o->depth <= minz && !o->request) {
    o->request = 1;
    if (tbr_frame.budget > 0) tbr_frame.budget--;
  }
  o->depth = z;
  o->shown = 1;
  const int cls = TBRInsert(cob, o, v.x, v.y, z, t->radius);
  if (cls < 0) {
    o->shown = 0;
    return result + TBR_NOTSHOWN;
  }
  return TBR_DISTANT + (TBR_CLASS0 << cls);
}

void TBRDrawCobs(ZEMTL* mtl, int budget) {
  TBRBeginFrame(budget);
  TBRDrawBegin(mtl);
  for (int i = 0; i < cobpt && i < COB_MAXDRAW; i++) {
    COB* cob = coblist[i];
    if (cob && cob->type) cob->tbrresult = TBRDrawCob(cob);
  }
  TBRDrawEnd();
}

void TBRRenderImages() {
  const ZEMTX* camera = ZeCameraGetMtx();
  for (TBRNODE* n = tbr_chain; n; n = n->next) {
    COBTYPE* t = n->cob->type;
    if (!t || !t->hgobj) continue;
    TBROBJ* o = n->obj;
    int began = 0;
    if (o->request) {
      o->request = 0;
      TBRPrepareSlot(o, camera, t->radius);
      began = 1;
    }
    RenderNode(n, began, camera);
  }
  SetDefaultLights(1);
}
