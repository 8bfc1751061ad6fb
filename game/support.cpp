// Game support helpers.
#include "support.h"

#include "game.h"

int8_t frames[FRAMES_ENTRIES];

void IncFrames() {
  if (paused) return;
  static constexpr int kPeriod[FRAMES_ENTRIES] = {1, 1, 2, 3, 4, 5, 6, 7, 8, 16, 32, 64, 128};
  for (int i = 2; i < FRAMES_ENTRIES; i++) frames[i] = int8_t((frames[i] + 1) % kPeriod[i]);
}

int AngDiff(int a, int b) {
  int d = (a - b) & 0xffff;
  return d > 0x7fff ? d - 0x10000 : d;
}

void FastRotateX(int yaw, ZEVEC* out, float length) {
  out->x = ZeTrigSin(yaw) * length;
  out->z = ZeTrigCos(yaw) * length;
}

void FastRotateXY(int yaw, int tilt, ZEVEC* out, float length) {
  const float st = ZeTrigSin(tilt);
  *out = {ZeTrigSin(yaw) * st * length, ZeTrigCos(tilt) * length, ZeTrigCos(yaw) * st * length};
}

void Clamp(int* value, int limit) {
  if (*value > limit) *value = limit;
  if (*value < -limit) *value = -limit;
}

void ClampF(float* value, float limit) {
  if (*value > limit) *value = limit;
  if (*value < -limit) *value = -limit;
}

int TargetShot(const ZEVEC* delta, ZEVEC* velocity, float gravity, float speed) {
  const float h = ZeFsqrt(delta->x * delta->x + delta->z * delta->z);
  int n = int(h / speed);
  if (n < 1) n = 1;
  const float t = float(n);
  *velocity = {delta->x / t, delta->y / t - gravity * t * 0.5f, delta->z / t};
  return n;
}

void ProcessAnim(COB* cob) {
  if (paused)
    ProcessAnimCobPaused(cob);
  else
    ProcessAnimCob(cob);
}

void KaelSFX(int, const ZEVEC*) {}
