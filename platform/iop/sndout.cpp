// Audio back ends of the sound module: a run-time table. SDL2 plays the mix
// on the host's audio device; the null back end mixes into nothing, paced
// by the kernel clock, so that voices end after their length in tests and
// headless runs alike.
#include "sndmodule.h"

#include <SDL.h>

#include <cstring>

namespace {

const SndBackend* g_backend = nullptr;

// ---- null ------------------------------------------------------------------

uint64_t g_framesDone = 0;
constexpr uint64_t MAX_CATCH_UP = 10 * SND_RATE;  // a long stall skips, not mixes, the rest

bool NullOpen() {
  g_framesDone = SndFramesAt(KernelLines());
  return true;
}

void NullClose() {}

void NullAdvance() {
  static int16_t discard[2 * 1024];
  uint64_t due = SndFramesAt(KernelLines());
  if (due > g_framesDone + MAX_CATCH_UP) g_framesDone = due - MAX_CATCH_UP;
  while (g_framesDone < due) {
    uint64_t n = due - g_framesDone < 1024 ? due - g_framesDone : 1024;
    SndMix(discard, int(n));
    g_framesDone += n;
  }
}

// ---- SDL2 ------------------------------------------------------------------

SDL_AudioDeviceID g_device = 0;

void SdlCallback(void*, Uint8* stream, int len) {
  SndLock();
  SndMix(reinterpret_cast<int16_t*>(stream), len / 4);
  SndUnlock();
}

bool SdlOpen() {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  // The dummy driver plays nothing: no device.
  const char* driver = SDL_GetCurrentAudioDriver();
  if (!driver || strcmp(driver, "dummy") == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  SDL_AudioSpec want{}, have{};
  want.freq = SND_RATE;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 1024;
  want.callback = SdlCallback;
  g_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (g_device == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  SDL_PauseAudioDevice(g_device, 0);
  return true;
}

void SdlClose() {
  if (g_device) SDL_CloseAudioDevice(g_device);
  g_device = 0;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SdlAdvance() {}

const SndBackend g_backends[] = {
    {"sdl2", SdlOpen, SdlClose, SdlAdvance},
    {"null", NullOpen, NullClose, NullAdvance},
};

}  // namespace

uint64_t SndFramesAt(uint64_t lines) {
  // 48000 frames a second over 262 x 60000/1001 lines a second.
  return lines * 4004 / 1310;
}

const SndBackend* SndBackendOpen(PlatSoundMode mode) {
  SndBackendClose();
  if (mode == PSOUND_OFF) return nullptr;
  for (const SndBackend& b : g_backends) {
    if (mode == PSOUND_NULL && strcmp(b.name, "null") != 0) continue;
    if (b.open()) {
      g_backend = &b;
      return g_backend;
    }
  }
  return nullptr;
}

void SndBackendClose() {
  if (g_backend) g_backend->close();
  g_backend = nullptr;
}

void SndBackendAdvance() {
  if (g_backend) g_backend->advance();
}

const char* SndBackendName() { return g_backend ? g_backend->name : ""; }
