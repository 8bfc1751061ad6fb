// The ADPCM codec of the console's sound processor.
#include "vag.h"

#include <cstring>

namespace {

// Predictor coefficients in 64ths: sample += (s1 * K0 + s2 * K1 + 32) >> 6.
// Filters 5-15 do not exist; a damaged block naming one predicts nothing.
constexpr int K0[16] = {0, 60, 115, 98, 122};
constexpr int K1[16] = {0, 0, -52, -55, -60};

int32_t Clamp16(int32_t v) { return v < -32768 ? -32768 : v > 32767 ? 32767 : v; }

// Shifts 13-15 are reserved and behave as 9 on the hardware.
int EffectiveShift(int shift) { return shift > 12 ? 9 : shift; }

int32_t Expand(int nibble, int shift) {
  int32_t v = int32_t(int16_t(uint16_t(nibble << 12)));
  return v >> shift;
}

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
void PutBe32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

// Quantises one block with a given predictor and shift from a given history;
// returns the squared error and, when out is set, the nibbles.
int64_t TryBlock(const int32_t* x, int predictor, int shift, VagHistory h, uint8_t* nibbles,
                 VagHistory* after) {
  int64_t err = 0;
  for (int i = 0; i < VAG_BLOCK_SAMPLES; i++) {
    int32_t pred = (h.s1 * K0[predictor] + h.s2 * K1[predictor] + 32) >> 6;
    int32_t r = x[i] - pred;
    // nibble n stands for (n << 12) >> shift; round to the nearest step
    int32_t scaled = r * (1 << shift);
    int32_t n = scaled >= 0 ? (scaled + 2048) >> 12 : -((-scaled + 2048) >> 12);
    if (n > 7) n = 7;
    if (n < -8) n = -8;
    int32_t y = Clamp16(Expand(n & 15, shift) + pred);
    int64_t d = x[i] - y;
    err += d * d;
    if (nibbles) nibbles[i] = uint8_t(n & 15);
    h.s2 = h.s1;
    h.s1 = y;
  }
  if (after) *after = h;
  return err;
}

}  // namespace

void VagDecodeBlock(const uint8_t* block, int16_t* out, VagHistory* h) {
  int shift = EffectiveShift(block[0] & 15);
  int predictor = block[0] >> 4;
  for (int i = 0; i < VAG_BLOCK_SAMPLES; i++) {
    int nibble = (block[2 + i / 2] >> ((i & 1) * 4)) & 15;
    int32_t pred = (h->s1 * K0[predictor] + h->s2 * K1[predictor] + 32) >> 6;
    int32_t y = Clamp16(Expand(nibble, shift) + pred);
    out[i] = int16_t(y);
    h->s2 = h->s1;
    h->s1 = y;
  }
}

int VagEncodedSize(int count) {
  int blocks = count <= 0 ? 1 : (count + VAG_BLOCK_SAMPLES - 1) / VAG_BLOCK_SAMPLES;
  return blocks * VAG_BLOCK_BYTES;
}

void VagEncode(const int16_t* pcm, int count, int loopStart, uint8_t* out) {
  int blocks = VagEncodedSize(count) / VAG_BLOCK_BYTES;
  int loopBlock = loopStart < 0 ? -1 : loopStart / VAG_BLOCK_SAMPLES;
  if (loopBlock >= blocks) loopBlock = blocks - 1;
  VagHistory h{0, 0};
  for (int b = 0; b < blocks; b++) {
    int32_t x[VAG_BLOCK_SAMPLES];
    for (int i = 0; i < VAG_BLOCK_SAMPLES; i++) {
      int s = b * VAG_BLOCK_SAMPLES + i;
      x[i] = s < count ? pcm[s] : 0;
    }
    int bestP = 0, bestS = 0;
    int64_t best = -1;
    for (int p = 0; p < VAG_PREDICTORS; p++)
      for (int s = 0; s <= 12; s++) {
        int64_t e = TryBlock(x, p, s, h, nullptr, nullptr);
        if (best < 0 || e < best) {
          best = e;
          bestP = p;
          bestS = s;
        }
      }
    uint8_t nib[VAG_BLOCK_SAMPLES];
    TryBlock(x, bestP, bestS, h, nib, &h);
    uint8_t* o = out + b * VAG_BLOCK_BYTES;
    o[0] = uint8_t(bestP << 4 | bestS);
    uint8_t flags = 0;
    if (loopBlock >= 0 && b >= loopBlock) flags |= VAG_FLAG_REPEAT;
    if (b == loopBlock) flags |= VAG_FLAG_START;
    if (b == blocks - 1) flags |= VAG_FLAG_END;
    o[1] = flags;
    for (int i = 0; i < VAG_BLOCK_SAMPLES / 2; i++) o[2 + i] = uint8_t(nib[2 * i] | nib[2 * i + 1] << 4);
  }
}

bool VagReadHeader(const uint8_t* data, int size, VagHeader* header) {
  if (size < VAG_HEADER_BYTES || memcmp(data, "VAGp", 4) != 0) return false;
  header->version = Be32(data + 4);
  header->dataSize = Be32(data + 12);
  header->sampleRate = Be32(data + 16);
  memcpy(header->name, data + 32, 16);
  return true;
}

void VagWriteHeader(uint8_t* data, const VagHeader& header) {
  memset(data, 0, VAG_HEADER_BYTES);
  memcpy(data, "VAGp", 4);
  PutBe32(data + 4, header.version);
  PutBe32(data + 12, header.dataSize);
  PutBe32(data + 16, header.sampleRate);
  memcpy(data + 32, header.name, 16);
}
