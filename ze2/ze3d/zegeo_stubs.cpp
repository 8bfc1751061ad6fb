// Geometry objects, their packets and skins that are not built yet: each is
// a fatal error when called.
#include "ze3d.h"

#define NOT_BUILT(name) ZeError("%s: not built yet", name)

ZEGOBJ* zegobj_list = nullptr;
int zegobj_initialised = 0;
int zegeom_serial = 0;
uint8_t* skinbuffer_base = nullptr;
int skinbuffer_size = 0;
uint8_t* skinbuffer_free = nullptr;
int skin_reuse_limit = 100;
int32_t packet_unique[ZESKN_POINTS];

void ZeGobjInit() { NOT_BUILT("ZeGobjInit"); }
void ZeGobjClose() { NOT_BUILT("ZeGobjClose"); }
ZEGOBJ* ZeGobjCreate() { NOT_BUILT("ZeGobjCreate"); return nullptr; }
void ZeGobjDestroy(ZEGOBJ*) { NOT_BUILT("ZeGobjDestroy"); }
void ZeGobjAddGeom(ZEGOBJ*, ZEGEOM*) { NOT_BUILT("ZeGobjAddGeom"); }
void ZeGobjAddFaceOnGeom(ZEGOBJ*, ZEFACEONGEOM*) { NOT_BUILT("ZeGobjAddFaceOnGeom"); }
ZEGEOM* ZeGeomCreate() { NOT_BUILT("ZeGeomCreate"); return nullptr; }
ZEFACEONGEOM* ZeFaceOnGeomCreate() { NOT_BUILT("ZeFaceOnGeomCreate"); return nullptr; }
void ZeGeomDestroy(ZEGEOM*) { NOT_BUILT("ZeGeomDestroy"); }
void ZeFaceOnGeomDestroy(ZEFACEONGEOM*) { NOT_BUILT("ZeFaceOnGeomDestroy"); }
void ZeGeomAddPrim(ZEGEOM*, ZEPRIM*) { NOT_BUILT("ZeGeomAddPrim"); }
void ZeGeomAddSkin(ZEGEOM*, ZESKIN*) { NOT_BUILT("ZeGeomAddSkin"); }
ZEPRIM* ZePrimCreate(int, int) { NOT_BUILT("ZePrimCreate"); return nullptr; }
void ZePrimDestroy(ZEPRIM*) { NOT_BUILT("ZePrimDestroy"); }
int ZeVtxStride(int) { NOT_BUILT("ZeVtxStride"); return 0; }
int ZePrimStride(int) { NOT_BUILT("ZePrimStride"); return 0; }
float ZeGobjCalcDims(ZEGOBJ*) { NOT_BUILT("ZeGobjCalcDims"); return 0; }
float ZeGobjCalcFaceOnDims(ZEGOBJ*) { NOT_BUILT("ZeGobjCalcFaceOnDims"); return 0; }
void ZeGobjCalcPlanes(ZEGOBJ*) { NOT_BUILT("ZeGobjCalcPlanes"); }
void ZeGeomCalcPlanes(ZEGEOM*) { NOT_BUILT("ZeGeomCalcPlanes"); }
void ZePrimCalcPlanes(ZEPRIM*, ZEGEOM*) { NOT_BUILT("ZePrimCalcPlanes"); }
void ZeGobjSetRenderPlane(ZEGOBJ*, int) { NOT_BUILT("ZeGobjSetRenderPlane"); }
int ZeGobjApplyCrossFade(ZEGOBJ*, int, int, ZECOLOURREF**) { NOT_BUILT("ZeGobjApplyCrossFade"); return 0; }
uint32_t ZeGobjColourBlend(uint32_t, uint32_t, int) { NOT_BUILT("ZeGobjColourBlend"); return 0; }
int ZeGobjColourBlendGobj(ZECOLOURREF*, int, int, ZECOLOURREF**) { NOT_BUILT("ZeGobjColourBlendGobj"); return 0; }
void* ZeCreateStarfield(int, float) { NOT_BUILT("ZeCreateStarfield"); return nullptr; }

void ZePs2CreateRenderStream(ZEGOBJ*) { NOT_BUILT("ZePs2CreateRenderStream"); }
void ZePs2CreateFaceOn(ZEGOBJ*) { NOT_BUILT("ZePs2CreateFaceOn"); }
void ZePs2DestroyRenderStream(ZEGOBJ*) { NOT_BUILT("ZePs2DestroyRenderStream"); }
uint32_t* ZeCvtDmaTriCFromIdx(uint32_t**, const ZEVTX*, int, const uint32_t*, const int16_t*, int, ZEMTL*) {
  NOT_BUILT("ZeCvtDmaTriCFromIdx");
  return nullptr;
}
uint32_t* ZeCvtDmaTriStripCFromIdx(uint32_t**, const ZEVTX*, int, const uint32_t*, const int16_t*, int, ZEMTL*) {
  NOT_BUILT("ZeCvtDmaTriStripCFromIdx");
  return nullptr;
}
int ZeCvtSizeDmaTriCFromIdx(const int16_t*, int, ZEMTL*, int*) { NOT_BUILT("ZeCvtSizeDmaTriCFromIdx"); return 0; }
int ZeCvtSizeDmaTriStripCFromIdx(const int16_t*, int, ZEMTL*, int*) {
  NOT_BUILT("ZeCvtSizeDmaTriStripCFromIdx");
  return 0;
}
uint32_t* ZeCvtDmaFaceOn(uint32_t**, const ZEFACEON*, int, int, const uint32_t*) {
  NOT_BUILT("ZeCvtDmaFaceOn");
  return nullptr;
}
uint32_t* ZeCvtDmaFaceY(uint32_t**, const ZEFACEON*, int, int, const uint32_t*) {
  NOT_BUILT("ZeCvtDmaFaceY");
  return nullptr;
}
int ZeCvtSizeDmaFaceOn(const ZEFACEON*, int, int, int*) { NOT_BUILT("ZeCvtSizeDmaFaceOn"); return 0; }
int ZeCvtSizeDmaFaceY(const ZEFACEON*, int, int, int*) { NOT_BUILT("ZeCvtSizeDmaFaceY"); return 0; }
uint32_t* ZeCvtDmaBezTriCFromIdx(uint32_t**, const ZEVTX*, const int16_t*, int) {
  NOT_BUILT("ZeCvtDmaBezTriCFromIdx");
  return nullptr;
}
int ZeCvtSizeDmaBezTriCFromIdx(const int16_t*, int) { NOT_BUILT("ZeCvtSizeDmaBezTriCFromIdx"); return 0; }
int ZeCvtTriStreamCFromIdx(uint32_t**, const ZEVTX*, const int16_t*, int, ZEMTL*) {
  NOT_BUILT("ZeCvtTriStreamCFromIdx");
  return 0;
}
int ZeCvtTriStripStreamCFromIdx(uint32_t**, const ZEVTX*, const int16_t*, int, ZEMTL*) {
  NOT_BUILT("ZeCvtTriStripStreamCFromIdx");
  return 0;
}

void InitSkinning(int) { NOT_BUILT("InitSkinning"); }
void ResetSkinning() { NOT_BUILT("ResetSkinning"); }
void CloseSkinning() { NOT_BUILT("CloseSkinning"); }
void ZePs2SetTempSkinBuffer(void*, int) { NOT_BUILT("ZePs2SetTempSkinBuffer"); }
void ZePs2CreateSkin(ZEGOBJ*) { NOT_BUILT("ZePs2CreateSkin"); }
void ZePs2CreateSkinNorm(ZEGOBJ*) { NOT_BUILT("ZePs2CreateSkinNorm"); }
void ZePs2CreateSkinSmooth(ZEGOBJ*) { NOT_BUILT("ZePs2CreateSkinSmooth"); }
void ZePs2CreateSkinSmoothOld(ZEGOBJ*) { NOT_BUILT("ZePs2CreateSkinSmoothOld"); }
void ZePs2DestroySkin(ZEGOBJ*) { NOT_BUILT("ZePs2DestroySkin"); }
void ZeCvtSknInstFix(void*) { NOT_BUILT("ZeCvtSknInstFix"); }
void ZeCvtSknInstUnFix(void*) { NOT_BUILT("ZeCvtSknInstUnFix"); }
void ZeCvtSknInstRelocate(void*, int) { NOT_BUILT("ZeCvtSknInstRelocate"); }
int PrevPktIdx(int) { NOT_BUILT("PrevPktIdx"); return -1; }
