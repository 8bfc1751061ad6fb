// The effects texture's shapes: soft discs and blobs, the flare sprite and
// its mask, the laser beam, the laser sprites' frames, the ripple ring and
// the rain drop with its trail.
#include "ptldraw.h"

#include <algorithm>
#include <cmath>

namespace {

uint32_t Rgba(int r, int g, int b, int a) {
  auto c = [](int v) { return uint32_t(std::clamp(v, 0, 255)); };
  return c(r) | c(g) << 8 | c(b) << 16 | c(a) << 24;
}

// Fills texels [u0, u1) x [v0, v1) with f(x, y), x and y from -1 to 1
// across the rectangle (texel centres); f returns alpha 0..1, white.
template <class F>
void Shape(uint32_t* px, int u0, int v0, int u1, int v1, F f, int r = 255, int g = 255, int b = 255) {
  for (int v = v0; v < v1; v++)
    for (int u = u0; u < u1; u++) {
      const float x = (float(u - u0) + 0.5f) / float(u1 - u0) * 2.0f - 1.0f;
      const float y = (float(v - v0) + 0.5f) / float(v1 - v0) * 2.0f - 1.0f;
      // Colour premultiplied by the coverage: additive and masking draws
      // read either.
      const float a = std::clamp(f(x, y), 0.0f, 1.0f);
      px[v * PTLTEX_SIZE + u] = Rgba(int(float(r) * a + 0.5f), int(float(g) * a + 0.5f), int(float(b) * a + 0.5f),
                                     int(a * 255.0f + 0.5f));
    }
}

float Soft(float x, float y) {
  const float d = std::sqrt(x * x + y * y);
  return d >= 1.0f ? 0.0f : (1.0f - d) * (1.0f - d);
}

}  // namespace

void PtlDrawParticleTexture(uint32_t* px) {
  for (int i = 0; i < PTLTEX_SIZE * PTLTEX_SIZE; i++) px[i] = 0;
  // Soft particle shapes: a soft disc, a hard disc, a ring of smoke, a spark.
  Shape(px, 0, 0, 32, 32, Soft);
  Shape(px, 32, 0, 64, 32, [](float x, float y) { return x * x + y * y < 0.8f ? 1.0f : 0.0f; });
  Shape(px, 64, 0, 96, 32, [](float x, float y) {
    const float d = std::sqrt(x * x + y * y);
    return d < 1.0f ? 0.6f * std::sin(d * 3.14159f) + 0.2f * std::cos(x * 7.0f) * (1.0f - d) : 0.0f;
  });
  Shape(px, 96, 0, 128, 32, [](float x, float y) {
    return std::max(0.0f, 1.0f - std::fabs(x) * 8.0f) * std::max(0.0f, 1.0f - std::fabs(y)) +
           std::max(0.0f, 1.0f - std::fabs(y) * 8.0f) * std::max(0.0f, 1.0f - std::fabs(x));
  });
  // The flare's mask (146-175 x 0-31): a solid disc.
  Shape(px, 146, 0, 176, 32, [](float x, float y) { return x * x + y * y < 1.0f ? 1.0f : 0.0f; });
  // The flare sprite (208.5-238.5 x 0.5-31.5): a bright core with four rays.
  Shape(px, 208, 0, 240, 32, [](float x, float y) {
    const float d = std::sqrt(x * x + y * y);
    const float core = d < 1.0f ? std::pow(1.0f - d, 1.5f) : 0.0f;
    const float rays = std::max(0.0f, 1.0f - std::fabs(x) * 10.0f) * std::max(0.0f, 1.0f - std::fabs(y)) +
                       std::max(0.0f, 1.0f - std::fabs(y) * 10.0f) * std::max(0.0f, 1.0f - std::fabs(x));
    return core + 0.5f * rays;
  });
  // The ripple ring (148-172 x 32-63).
  Shape(px, 148, 32, 172, 64, [](float x, float y) {
    const float d = std::sqrt(x * x + y * y);
    return std::max(0.0f, 1.0f - std::fabs(d - 0.8f) * 6.0f);
  });
  // The laser beam: bright along its middle, soft to its edges.
  // Drawn a little past its rectangle's far end, so that a piece's last
  // texel (u = U1) still samples the beam.
  Shape(px, PTLTEX_BEAM_U0, PTLTEX_BEAM_V0, PTLTEX_BEAM_U1 + 8, PTLTEX_BEAM_V1, [](float, float y) {
    return std::max(0.0f, 1.0f - y * y);
  });
  // The rain drop (186-192 x 44-53) and its trail to the right (192-198 x
  // 44-53): the rain draws them into its streak texture each frame.
  Shape(px, 186, 44, 192, 53, [](float x, float y) { return 1.0f - std::min(1.0f, x * x + y * y * 0.5f); });
  Shape(px, 192, 44, 198, 53, [](float x, float y) {
    return (1.0f - (x + 1.0f) * 0.5f) * std::max(0.0f, 1.0f - std::fabs(y));
  });
  // Laser-sprite frames: 16-texel rows from v = 128, u 0-64, a streak that
  // thins frame by frame.
  for (int k = 0; k < 8; k++)
    Shape(px, 0, 128 + 16 * k, 64, 144 + 16 * k, [k](float x, float y) {
      const float w = 1.0f - float(k) / 9.0f;
      return std::max(0.0f, 1.0f - std::fabs(y) / w) * (1.0f - std::fabs(x) * 0.5f);
    });
}

void PtlDrawParticleTexels(uint8_t* t) {
  static uint32_t px[PTLTEX_SIZE * PTLTEX_SIZE];
  PtlDrawParticleTexture(px);
  for (int i = 0; i < PTLTEX_SIZE * PTLTEX_SIZE; i++) {
    const uint32_t c = px[i];
    t[4 * i] = uint8_t(c >> 24), t[4 * i + 1] = uint8_t(c >> 16), t[4 * i + 2] = uint8_t(c >> 8), t[4 * i + 3] = uint8_t(c);
  }
}
