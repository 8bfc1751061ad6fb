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
