#include "vag.h"
#include "platform_test.h"

#include <cmath>
#include <vector>

namespace {

std::vector<int16_t> Decode(const std::vector<uint8_t>& adpcm, int count) {
  std::vector<int16_t> out(adpcm.size() / VAG_BLOCK_BYTES * VAG_BLOCK_SAMPLES);
  VagHistory h{0, 0};
  for (size_t b = 0; b * VAG_BLOCK_BYTES < adpcm.size(); b++)
    VagDecodeBlock(&adpcm[b * VAG_BLOCK_BYTES], &out[b * VAG_BLOCK_SAMPLES], &h);
  out.resize(size_t(count));
  return out;
}

double SnrDb(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  double sig = 0, err = 0;
  for (size_t i = 0; i < a.size(); i++) {
    sig += double(a[i]) * a[i];
    err += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
  }
  return 10 * std::log10(sig / (err + 1e-9));
}

}  // namespace

TEST(VagCodec, RoundTripKeepsTonesChirpsAndNoiseWithinTolerance) {
  const int n = 48000;
  std::vector<int16_t> tone(n), chirp(n), noise(n);
  uint32_t seed = 12345;
  for (int i = 0; i < n; i++) {
    double t = i / 48000.0;
    tone[i] = int16_t(12000 * std::sin(2 * M_PI * 440 * t));
    chirp[i] = int16_t(30000 * std::sin(2 * M_PI * (100 + 4000 * t) * t));
    seed = seed * 1664525 + 1013904223;
    noise[i] = int16_t(int(seed >> 16) - 32768) / 4;
  }
  struct Case {
    const char* name;
    std::vector<int16_t>* pcm;
    double minDb;
  } cases[] = {{"tone", &tone, 50}, {"chirp", &chirp, 30}, {"noise", &noise, 20}};
  for (const Case& c : cases) {
    std::vector<uint8_t> adpcm(size_t(VagEncodedSize(n)));
    VagEncode(c.pcm->data(), n, -1, adpcm.data());
    EXPECT_GT(SnrDb(*c.pcm, Decode(adpcm, n)), c.minDb) << c.name;
  }
}

TEST(VagCodec, SilenceStaysSilentAndShortInputsPadToABlock) {
  std::vector<int16_t> pcm(5, 0);
  std::vector<uint8_t> adpcm(size_t(VagEncodedSize(5)));
  ASSERT_EQ(adpcm.size(), size_t(VAG_BLOCK_BYTES));
  VagEncode(pcm.data(), 5, -1, adpcm.data());
  for (int16_t s : Decode(adpcm, VAG_BLOCK_SAMPLES)) EXPECT_EQ(s, 0);
  EXPECT_EQ(VagEncodedSize(0), VAG_BLOCK_BYTES);
  EXPECT_EQ(VagEncodedSize(29), 2 * VAG_BLOCK_BYTES);
}

TEST(VagCodec, LoopFlagsMarkTheLoopStartBlockTheLoopAndTheEnd) {
  std::vector<int16_t> pcm(280, 1000);
  std::vector<uint8_t> adpcm(size_t(VagEncodedSize(280)));
  ASSERT_EQ(adpcm.size(), 10u * VAG_BLOCK_BYTES);
  VagEncode(pcm.data(), 280, 100, adpcm.data());  // sample 100 lies in block 3
  const uint8_t looped[10] = {0, 0, 0, 6, 2, 2, 2, 2, 2, 3};
  for (int b = 0; b < 10; b++) EXPECT_EQ(adpcm[b * VAG_BLOCK_BYTES + 1], looped[b]) << "block " << b;
  VagEncode(pcm.data(), 280, -1, adpcm.data());
  for (int b = 0; b < 10; b++) EXPECT_EQ(adpcm[b * VAG_BLOCK_BYTES + 1], b == 9 ? 1 : 0) << "block " << b;
  VagEncode(pcm.data(), 280, 5000, adpcm.data());  // past the end: the last block loops
  EXPECT_EQ(adpcm[9 * VAG_BLOCK_BYTES + 1], 7);
}

TEST(VagCodec, HeaderIsBigEndianAndChecked) {
  VagHeader h{VAG_VERSION, 0x1234, 44100, "TONE"};
  uint8_t bytes[VAG_HEADER_BYTES];
  VagWriteHeader(bytes, h);
  EXPECT_EQ(bytes[0], 'V');
  EXPECT_EQ(bytes[14], 0x12);
  EXPECT_EQ(bytes[15], 0x34);
  VagHeader back{};
  ASSERT_TRUE(VagReadHeader(bytes, VAG_HEADER_BYTES, &back));
  EXPECT_EQ(back.dataSize, 0x1234u);
  EXPECT_EQ(back.sampleRate, 44100u);
  EXPECT_STREQ(back.name, "TONE");
  EXPECT_FALSE(VagReadHeader(bytes, VAG_HEADER_BYTES - 1, &back));
  bytes[3] = 'q';
  EXPECT_FALSE(VagReadHeader(bytes, VAG_HEADER_BYTES, &back));
}
