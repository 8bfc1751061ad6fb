// The sound module stand-in's own interfaces: the voices and their mixer,
// the audio back ends and the host paths of the module's files. Platform
// only; the system sees the module through SIF (platform.h).
#pragma once

#include <cstdint>
#include <string>

#include "platform.h"

constexpr int SND_VOICES = 48;
constexpr int SND_STREAMS = 48;
constexpr int SND_RATE = 48000;                 // output frames a second
constexpr uint32_t SND_SPU_MEMORY = 0x200000;   // sound memory, 2 MB
constexpr int SND_PACKET_BYTES = 2048;

// ---- host paths (to be shared with the file I/O client) ----------------
// "host0:" names the host root, "cdrom0:" the disc root (for now the same
// directory); '\' separates, ";1" ends disc names, and each component is
// matched without regard to case. False for any other device.
bool SndResolvePath(const char* path, std::string* hostPath);
// EE addresses the module may write: the arena, the scratchpad and static data.
bool IopEeVisible(uint32_t addr, int size);

// ---- voices (sndvoice.cpp) ----------------------------------------------
// Callers hold the sound lock. A voice plays 16-byte ADPCM blocks from a
// source (sound memory or a stream's data), resampled by its pitch
// (0x1000 = 48 kHz, 0 freezes it), scaled by two 15-bit volumes (0x4000 and
// above phase-inverted) and a short attack and release ramp.
enum SndLoopMode {
  SND_LOOP_FLAGS = 0,   // follow the blocks' loop flags
  SND_LOOP_ALWAYS = 1,  // restart at the source's start after the last block
  SND_LOOP_NEVER = 2,   // end at the first END flag
};
enum SndKey { SND_KEY_OFF = 0, SND_KEY_ON = 1, SND_KEY_RELEASE = 2, SND_KEY_HELD = 3 };

void SndLock();
void SndUnlock();
void SndVoicesReset();
// Starts a voice at byte offset start of a source of size bytes. held: the
// voice waits (key state 3) until SndVoiceStart.
void SndVoiceKeyOn(int voice, const uint8_t* source, uint32_t size, uint32_t start, int loopMode,
                   uint16_t envelope, bool held);
void SndVoiceStart(int voice);
void SndVoiceKeyOff(int voice);     // release ramp, then off
void SndVoiceKill(int voice);       // off at once
void SndVoiceSetVolume(int voice, uint16_t left, uint16_t right);
void SndVoiceSetPitch(int voice, uint16_t pitch);
int SndVoiceKey(int voice);
uint32_t SndVoicePosition(int voice);  // byte offset of the block being played
const uint8_t* SndVoiceSource(int voice);
void SndVoicesPause(bool paused);
// Mixes frames stereo frames (interleaved) and advances every voice.
void SndMix(int16_t* out, int frames);
uint8_t* SndSpuMemory();

// ---- back ends (sndout.cpp) ---------------------------------------------
// A run-time table; the chosen one feeds the mixer. Advance brings the
// voices up to the kernel clock (the null back end mixes into nothing;
// SDL2 is driven by the device and does nothing here).
struct SndBackend {
  const char* name;
  bool (*open)();
  void (*close)();
  void (*advance)();
};
const SndBackend* SndBackendOpen(PlatSoundMode mode);
void SndBackendClose();
void SndBackendAdvance();
// Output frames due by the kernel clock (fields at 60000/1001 Hz, 262 lines).
uint64_t SndFramesAt(uint64_t lines);
