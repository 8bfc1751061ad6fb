// The sound processor's 48 voices and the mixer: ADPCM blocks decoded as
// they are reached, with their loop flags, resampled by pitch, scaled by
// 15-bit volumes and short attack and release ramps, summed into 48 kHz
// stereo. The lock is shared by the module (RPC calls on engine threads)
// and the audio device's callback.
#include "sndmodule.h"
#include "vag.h"

#include <cstring>
#include <mutex>

namespace {

struct Voice {
  int key;                 // SndKey
  const uint8_t* src;
  uint32_t size;
  uint32_t start;          // where the voice was keyed on
  uint32_t next;           // the block decoded next
  uint32_t cur;            // the block being played
  uint32_t loop;           // loop address (the last START block, else start)
  int loopMode;
  bool lastBlock;          // the block being played ends the sound
  VagHistory hist;
  int16_t block[VAG_BLOCK_SAMPLES];
  int index;               // next sample of block; VAG_BLOCK_SAMPLES: none left
  int32_t s0, s1;          // interpolation pair
  uint32_t frac;           // 12-bit fraction between s0 and s1
  uint16_t pitch;
  float gainL, gainR;
  float env, attackStep, releaseStep;
  bool releasing;
};

std::mutex g_lock;
Voice g_voice[SND_VOICES];
bool g_paused = false;
alignas(64) uint8_t g_spu[SND_SPU_MEMORY];

// A 15-bit volume is a signed 15-bit number: 0x4000-0x7FFF are the
// phase-inverted (negative) half.
float Gain(uint16_t v) {
  int s = v & 0x7FFF;
  if (s & 0x4000) s -= 0x8000;
  return float(s) / 16383.0f;
}

// One unit of attack or release is a millisecond, plus one so that even 0
// ramps instead of clicking.
float RampStep(int units) { return 1.0f / float((units + 1) * (SND_RATE / 1000)); }

// Decodes the next block; false when the sound has ended.
bool FetchBlock(Voice& v) {
  if (v.lastBlock) return false;
  if (uint64_t(v.next) + VAG_BLOCK_BYTES > v.size) {
    if (v.loopMode != SND_LOOP_ALWAYS || v.next == v.start) return false;
    v.next = v.start;  // a stream without an END flag loops at its data end
  }
  const uint8_t* b = v.src + v.next;
  VagDecodeBlock(b, v.block, &v.hist);
  v.cur = v.next;
  v.index = 0;
  uint8_t flags = b[1];
  if (flags & VAG_FLAG_START) v.loop = v.cur;
  if (flags & VAG_FLAG_END) {
    if (v.loopMode == SND_LOOP_ALWAYS) v.next = v.start;
    else if (v.loopMode == SND_LOOP_FLAGS && (flags & VAG_FLAG_REPEAT)) v.next = v.loop;
    else v.lastBlock = true;
  } else {
    v.next = v.cur + VAG_BLOCK_BYTES;
  }
  return true;
}

bool NextSample(Voice& v, int32_t* out) {
  if (v.index >= VAG_BLOCK_SAMPLES && !FetchBlock(v)) return false;
  *out = v.block[v.index++];
  return true;
}

void Off(Voice& v) {
  v.key = SND_KEY_OFF;
  v.src = nullptr;
}

bool ValidVoice(int voice) { return voice >= 0 && voice < SND_VOICES; }

}  // namespace

void SndLock() { g_lock.lock(); }
void SndUnlock() { g_lock.unlock(); }
uint8_t* SndSpuMemory() { return g_spu; }

void SndVoicesReset() {
  for (Voice& v : g_voice) {
    v = Voice{};
    v.pitch = 0x1000;
  }
  g_paused = false;
}

void SndVoiceKeyOn(int voice, const uint8_t* source, uint32_t size, uint32_t start, int loopMode,
                   uint16_t envelope, bool held) {
  if (!ValidVoice(voice)) return;
  Voice& v = g_voice[voice];
  uint16_t pitch = v.pitch;
  float gl = v.gainL, gr = v.gainR;
  v = Voice{};
  v.pitch = pitch;
  v.gainL = gl;
  v.gainR = gr;
  if (!source || start >= size) return;
  v.src = source;
  v.size = size;
  v.start = v.next = v.cur = v.loop = start & ~uint32_t(VAG_BLOCK_BYTES - 1);
  v.loopMode = loopMode;
  v.index = VAG_BLOCK_SAMPLES;
  v.attackStep = RampStep(envelope & 0xFF);
  v.releaseStep = RampStep(envelope >> 8);
  v.key = held ? SND_KEY_HELD : SND_KEY_ON;
  int32_t first;
  if (!NextSample(v, &first)) {
    Off(v);
    return;
  }
  v.s0 = 0;
  v.s1 = first;
}

void SndVoiceStart(int voice) {
  if (ValidVoice(voice) && g_voice[voice].key == SND_KEY_HELD) g_voice[voice].key = SND_KEY_ON;
}

void SndVoiceKeyOff(int voice) {
  if (!ValidVoice(voice)) return;
  Voice& v = g_voice[voice];
  if (v.key == SND_KEY_HELD) Off(v);
  else if (v.key == SND_KEY_ON) v.key = SND_KEY_RELEASE, v.releasing = true;
}

void SndVoiceKill(int voice) {
  if (ValidVoice(voice)) Off(g_voice[voice]);
}

void SndVoiceSetVolume(int voice, uint16_t left, uint16_t right) {
  if (!ValidVoice(voice)) return;
  g_voice[voice].gainL = Gain(left);
  g_voice[voice].gainR = Gain(right);
}

void SndVoiceSetPitch(int voice, uint16_t pitch) {
  if (ValidVoice(voice)) g_voice[voice].pitch = pitch > 0x3FFF ? 0x3FFF : pitch;
}

int SndVoiceKey(int voice) { return ValidVoice(voice) ? g_voice[voice].key : SND_KEY_OFF; }
uint32_t SndVoicePosition(int voice) { return ValidVoice(voice) ? g_voice[voice].cur : 0; }
const uint8_t* SndVoiceSource(int voice) { return ValidVoice(voice) ? g_voice[voice].src : nullptr; }
void SndVoicesPause(bool paused) { g_paused = paused; }

void SndMix(int16_t* out, int frames) {
  static float acc[2 * 1024];
  while (frames > 0) {
    int n = frames < 1024 ? frames : 1024;
    memset(acc, 0, sizeof(float) * 2 * size_t(n));
    if (!g_paused) {
      for (Voice& v : g_voice) {
        if (v.key != SND_KEY_ON && v.key != SND_KEY_RELEASE) continue;
        if (v.pitch == 0) continue;  // frozen: silent and not moving
        for (int i = 0; i < n; i++) {
          if (v.releasing) {
            v.env -= v.releaseStep;
            if (v.env <= 0) {
              Off(v);
              break;
            }
          } else if (v.env < 1.0f) {
            v.env += v.attackStep;
            if (v.env > 1.0f) v.env = 1.0f;
          }
          float s = float(v.s0) + float(v.s1 - v.s0) * float(v.frac) * (1.0f / 4096.0f);
          s *= v.env;
          acc[2 * i] += s * v.gainL;
          acc[2 * i + 1] += s * v.gainR;
          v.frac += v.pitch;
          bool ended = false;
          while (v.frac >= 4096) {
            v.frac -= 4096;
            v.s0 = v.s1;
            if (!NextSample(v, &v.s1)) {
              ended = true;
              break;
            }
          }
          if (ended) {
            Off(v);
            break;
          }
        }
      }
    }
    for (int i = 0; i < 2 * n; i++) {
      float s = acc[i];
      out[i] = int16_t(s > 32767.0f ? 32767 : s < -32768.0f ? -32768 : int(s));
    }
    out += 2 * n;
    frames -= n;
  }
}
