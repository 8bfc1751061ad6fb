// The effects texture "gfx\particle.pnt" (256 x 256, 32-bit) drawn from
// shapes: the parts the light unit samples by fixed coordinates.
#pragma once

#include <cstdint>

constexpr int PTLTEX_SIZE = 256;
// The laser beam's rectangle (texels), for ZeLgtSetArcMat.
constexpr int PTLTEX_BEAM_U0 = 0, PTLTEX_BEAM_V0 = 96, PTLTEX_BEAM_U1 = 128, PTLTEX_BEAM_V1 = 112;

// 256 x 256 pixels, 0xAABBGGRR, rows from the top.
void PtlDrawParticleTexture(uint32_t* pixels);
// The same as a 32-bit texture image's texels (bytes A, B, G, R).
void PtlDrawParticleTexels(uint8_t* texels);
