// Shared by the geometry and skin converters only.
#pragma once

#include "ze3d.h"

// Words a vertex the colour-reference table has room for (the size
// functions reserve two).
constexpr int ZECVT_COLOURREF_WORDS = 2;

// The gamma step on a packed R, G, B, A word (alpha untouched).
uint32_t ZeCvtGammaWord(uint32_t rgba);
// Lighting mode 2 (unlit) and no effect.
int ZeCvtMtlUnlit(const ZEMTL* mtl);
int ZeCvtMtlVtxCol(const ZEMTL* mtl);
// One compressed coordinate: bits(S + (p - mid)) - bits(S).
int16_t ZeCvtCompress(float p, float span, float mid);

// ---- skins ----------------------------------------------------------------

// Work record of one triangle (or patch) of a skinned geometry.
struct ZEPRIMDEF {
  ZEVTX vtx[6];                        // corners 0-2, a patch's edge points 3-5
  int32_t vid[6];
  int32_t nbr[3];                      // across corner edges (0,1), (1,2), (2,0); -1 none
  float weight[3][ZESKN_PALETTE];      // corner k, palette slot s
  int32_t palette[ZESKN_PALETTE];      // matrix ids; -1 empty
  int32_t npalette;
  int32_t grouped;
  int32_t group;
  int32_t serial;
};
static_assert(sizeof(ZEPRIMDEF) == 396);

// The steps of the skin converter, for tests.
int AddMtxToPrimDef(ZEPRIMDEF* rec, int mtx);  // the palette slot
void ZeCvtSknAddVtxToPrimDef(ZEPRIMDEF* rec, int slot, const ZEVTX* vtx, int index, const ZEGEOM* geom);
// Sorts records in place by palette size and writes the grouped copy to out;
// returns the matrices uploaded.
int ZeCvtSknSortPrimDefs(ZEPRIMDEF* recs, int n, ZEPRIMDEF* out);
// Writes the instance and packets at the cursor (bounded by end).
void ZeCvtSknBuildInstance(uint8_t** cursor, uint8_t* end, ZEGEOM* geom, ZEPRIMDEF* recs, int n);
// A point's weight words in packet order: largest magnitude first, equal
// magnitudes by descending matrix id; each word's low 3 bits the slot.
int ZeCvtSknPointWeights(const ZEPRIMDEF* rec, int corner, uint32_t out[ZESKN_PALETTE]);
