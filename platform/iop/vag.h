// The console's ADPCM sample format (".VAG"): 16-byte blocks of 28 samples,
// each with a shift, one of five predictors and loop flags. One codec for the
// sound module stand-in and the tools.
#pragma once

#include <cstdint>

constexpr int VAG_BLOCK_BYTES = 16;
constexpr int VAG_BLOCK_SAMPLES = 28;
constexpr int VAG_HEADER_BYTES = 48;
constexpr int VAG_PREDICTORS = 5;

// Byte 1 of a block. After a block with END the voice continues at the loop
// address when REPEAT is set too, else it ends. START marks the loop address.
enum { VAG_FLAG_END = 1, VAG_FLAG_REPEAT = 2, VAG_FLAG_START = 4 };

// Decoder history: the last two samples.
struct VagHistory {
  int32_t s1, s2;
};

// Decodes one block into 28 samples, advancing the history.
void VagDecodeBlock(const uint8_t* block, int16_t* out, VagHistory* history);

// Bytes of ADPCM data VagEncode writes for count samples.
int VagEncodedSize(int count);

// Encodes count samples into VagEncodedSize(count) bytes, choosing for each
// block the predictor and shift with the least error. loopStart < 0: played
// once (the last block carries END); otherwise the sound loops from the block
// holding loopStart (rounded down to a block) to its end. The last block is
// padded with silence.
void VagEncode(const int16_t* pcm, int count, int loopStart, uint8_t* out);

// The 48-byte file header, stored big-endian: "VAGp", version, 4 reserved
// bytes, data size, sample rate, 12 reserved bytes, a 16-character name.
struct VagHeader {
  uint32_t version;
  uint32_t dataSize;     // bytes of ADPCM data after the header
  uint32_t sampleRate;   // Hz
  char name[16];         // not necessarily terminated
};
constexpr uint32_t VAG_VERSION = 0x20;

// False when the bytes do not start with "VAGp" or size is below a header.
bool VagReadHeader(const uint8_t* data, int size, VagHeader* header);
void VagWriteHeader(uint8_t* data, const VagHeader& header);
