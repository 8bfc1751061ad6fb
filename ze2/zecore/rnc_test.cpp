#include "zefile_testutil.h"
#include "zetools.h"

#include <cstring>

namespace {

using Packed = FileTest;

// Hand-built streams: bits and bytes interleaved as the decoder takes them
// (a new bit byte is taken from the stream when the register runs empty).
struct Hand {
  std::vector<uint8_t> s{0};
  size_t reg = 0;
  int left = 6;

  Hand& Bits(const char* b) {
    for (; *b; b++) {
      if (*b == ' ') continue;
      if (left == 0) {
        reg = s.size();
        s.push_back(0);
        left = 8;
      }
      left--;
      if (*b == '1') s[reg] = uint8_t(s[reg] | 1u << left);
    }
    return *this;
  }
  Hand& Byte(int v) {
    s.push_back(uint8_t(v));
    return *this;
  }
  Hand& Bytes(const std::string& b) {
    for (char c : b) Byte(uint8_t(c));
    return *this;
  }
  Hand& End() { return Bits("1111").Byte(0).Bits("0"); }
  // The whole packed file; packedSize < 0: the stream's own size.
  std::vector<uint8_t> File(uint32_t unpacked, int64_t packedSize = -1) const {
    uint32_t p = packedSize < 0 ? uint32_t(s.size()) : uint32_t(packedSize);
    std::vector<uint8_t> f = {'R', 'N', 'C', 2, uint8_t(unpacked >> 24), uint8_t(unpacked >> 16), uint8_t(unpacked >> 8),
                              uint8_t(unpacked), uint8_t(p >> 24), uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p),
                              0, 0, 0, 0, 0, 1};
    f.insert(f.end(), s.begin(), s.end());
    return f;
  }
};

// Unpacks a packed file held in EE memory into an exact-size output.
std::string Unpack(const std::vector<uint8_t>& file, uint32_t unpacked) {
  EeBuf in(file.size()), out(unpacked);
  memcpy(in.p, file.data(), file.size());
  EXPECT_EQ(ZePPUnpack(in.p, out.p), 0);
  return out.str(unpacked);
}

// Loads a file through ZePPLoadBuffer from a memory file, into a buffer of
// size bytes with guard bytes on both sides.
std::string Load(const std::vector<uint8_t>& file, int size, int* result) {
  EeBuf src(file.size()), buf(size_t(size) + 128, 0xab);
  memcpy(src.p, file.data(), file.size());
  ZEFILE h = ZeMemFileOpen(src.p, int(file.size()), 0);
  *result = ZePPLoadBuffer(h, buf.p + 64, size);
  ZeFileClose(h);
  for (int i = 0; i < 64; i++) {
    EXPECT_EQ(buf.p[i], 0xab) << "written before the buffer at " << i - 64;
    EXPECT_EQ(buf.p[64 + size + i], 0xab) << "written past the buffer at " << i;
  }
  return buf.str(size_t(size) + 64).substr(64, size_t(*result > 0 ? *result : 0));
}

}  // namespace

TEST_F(Packed, HandBuiltStreamsDecodeEachCode) {
  struct Case { const char* what; Hand h; std::string out; } cases[] = {
      {"one literal", Hand().Bits("0").Byte('Z').End(), "Z"},
      {"offset 1 count 5", Hand().Bits("0").Byte(0x41).Bits("1010 0").Byte(0).End(), "AAAAAA"},
      {"count 2 with a byte offset", Hand().Bits("0").Byte('a').Bits("0").Byte('b').Bits("110").Byte(1).End(), "abab"},
      {"count 3", Hand().Bits("0").Byte('x').Bits("1110 0").Byte(0).End(), "xxxx"},
      {"count 4, 6, 7, 8",
       Hand().Bits("0").Byte('q').Bits("1000 0").Byte(0).Bits("10010 0").Byte(0).Bits("10011 0").Byte(0)
           .Bits("10110 0").Byte(0).End(),
       std::string(26, 'q')},
      {"count byte + 8", Hand().Bits("0").Byte('m').Bits("1111").Byte(1).Bits("0").Byte(0).End(), std::string(10, 'm')},
      {"literal run n = 0", Hand().Bits("10111 0000").Bytes("0123456789ab").End(), "0123456789ab"},
      {"literal run n = 15", Hand().Bits("10111 1111").Bytes(std::string(72, 'r')).End(), std::string(72, 'r')},
      {"a zero count byte and a 1 bit continue", Hand().Bits("0").Byte('a').Bits("1111").Byte(0).Bits("1 0").Byte('b').End(),
       "ab"},
  };
  for (const Case& c : cases) EXPECT_EQ(Unpack(c.h.File(uint32_t(c.out.size())), uint32_t(c.out.size())), c.out) << c.what;

  // Offsets of every length class: high parts 1, 2, 3, 4-7 and 8-15.
  struct Far { const char* bits; int low; int dist; } fars[] = {
      {"110", 0x00, 0x101}, {"1000", 0x10, 0x211}, {"1001", 0xff, 0x400}, {"10111", 0x00, 0x501}, {"11101", 0x22, 0x623},
      {"11111", 0xff, 0x800}, {"101000", 0x00, 0x801}, {"111101", 0xff, 0x1000},
  };
  std::string base(4096, 0);
  for (size_t i = 0; i < base.size(); i++) base[i] = char(i * 7 + i / 256);
  for (const Far& f : fars) {
    Hand h;
    size_t out = (base.size() + 71) / 72 * 72;
    std::string expect = base;
    expect.resize(out, 0);
    for (size_t i = 0; i < out; i += 72) h.Bits("10111 1111").Bytes(expect.substr(i, 72));
    h.Bits("1110").Bits(f.bits).Byte(f.low).End();
    for (int k = 0; k < 3; k++) expect += expect[out - size_t(f.dist) + size_t(k)];
    EXPECT_EQ(Unpack(h.File(uint32_t(expect.size())), uint32_t(expect.size())), expect) << "distance " << f.dist;
  }
}

TEST_F(Packed, ThePackerRoundTripsThroughTheDecoder) {
  std::vector<std::vector<uint8_t>> inputs = {{}, {42}, TestBytes(20000, 1, 10), TestBytes(5000, 2, 100),
                                              std::vector<uint8_t>(100000, 0)};
  std::vector<uint8_t> far = TestBytes(4096, 3, 100);  // repeated at exactly the farthest distance
  far.insert(far.end(), far.begin(), far.end());
  far.insert(far.end(), 600, 'z');  // copies longer than the longest code
  inputs.push_back(far);
  for (const std::vector<uint8_t>& in : inputs) {
    RncPackInfo info;
    std::vector<uint8_t> file = RncPack(in.data(), in.size(), &info);
    ASSERT_EQ(Unpack(file, uint32_t(in.size())), std::string(in.begin(), in.end())) << in.size();
    ASSERT_TRUE(info.inPlace);
    int result;
    std::string loaded = Load(file, int(in.size()) + 252, &result);
    EXPECT_EQ(result, int(in.size()));
    EXPECT_EQ(loaded, std::string(in.begin(), in.end()));
  }
  std::vector<uint8_t> text = TestBytes(20000, 1, 10);
  EXPECT_LT(RncPack(text.data(), text.size()).size(), text.size() / 2);
  std::vector<uint8_t> zeros(100000, 0);
  EXPECT_LT(RncPack(zeros.data(), zeros.size()).size(), 1100u);  // 263 bytes a copy at most
  // A file whose start packs far better than its end cannot unpack in place.
  std::vector<uint8_t> lopsided(200000, 0);
  std::vector<uint8_t> noise = TestBytes(40000, 9, 100);
  lopsided.insert(lopsided.end(), noise.begin(), noise.end());
  RncPackInfo info;
  RncPack(lopsided.data(), lopsided.size(), &info);
  EXPECT_FALSE(info.inPlace);
  EXPECT_GT(info.leeway, 252);
}

TEST_F(Packed, DamagedStreamsAreFatal) {
  Hand lit = Hand().Bits("0").Byte('a').Bits("0").Byte('b').End();
  std::vector<uint8_t> good = lit.File(2);
  EXPECT_EQ(Unpack(good, 2), "ab");
  EXPECT_HALT(Unpack(lit.File(2, 3), 2), "the stream ends early");
  EXPECT_HALT(Unpack(Hand().Bits("0").Byte('a').Bits("0").File(2), 2), "the stream ends early");
  EXPECT_HALT(Unpack(Hand().Bits("0").Byte('a').Bits("110").Byte(1).End().File(3), 3), "a copy reaches before the output");
  EXPECT_HALT(Unpack(lit.File(1), 1), "the output overflows");
  EXPECT_HALT(Unpack(lit.File(3), 3), "2 of 3 bytes");
  EXPECT_HALT(Unpack(Hand().Bits("10111 1111").Bytes("abc").File(72), 72), "the stream ends early");
  // Unpacked in place, a stream that gains early and loses later catches
  // up with its own unread input.
  Hand h;
  h.Bits("0").Byte('A');
  for (int k = 0; k < 8; k++) h.Bits("1111").Byte(255).Bits("0").Byte(0);
  std::string expect(1 + 8 * 263, 'A');
  for (int k = 0; k < 2400; k++) {
    h.Bits("0").Byte(k);
    expect += char(k);
  }
  h.End();
  std::vector<uint8_t> file = h.File(uint32_t(expect.size()));
  EXPECT_EQ(Unpack(file, uint32_t(expect.size())), expect) << "fine with separate buffers";
  int result;
  EXPECT_HALT(Load(file, int(expect.size()) + 252, &result), "the output overtakes the input");
}

TEST_F(Packed, TheLoaderChecksTheBufferAndTheFile) {
  std::vector<uint8_t> plain(100, 'p');
  int result;
  EXPECT_EQ(Load(plain, 100, &result), std::string(100, 'p'));
  EXPECT_EQ(result, 100);
  EXPECT_HALT(Load(plain, 99, &result), "given buffer (99) too small for (100)");
  std::vector<uint8_t> tiny = {'R', 'N', 'C'};
  EXPECT_EQ(Load(tiny, 3, &result), "RNC") << "shorter than a header: a plain file";

  std::vector<uint8_t> text = TestBytes(3000, 4, 20);
  std::vector<uint8_t> file = RncPack(text.data(), text.size());
  EXPECT_HALT(Load(file, 3000 + 251, &result), "given buffer (3251) too small");
  std::vector<uint8_t> cut(file.begin(), file.end() - 10);
  EXPECT_HALT(Load(cut, 4000, &result), "damaged packed file");
  std::vector<uint8_t> huge = file;
  huge[4] = 0x7f;
  EXPECT_HALT(Load(huge, 4000, &result), "too small");
  huge[4] = 0xff;
  EXPECT_HALT(Load(huge, 4000, &result), "damaged packed file");

  // A packed file larger than its output plus the margin starts at the
  // buffer itself, never before it.
  Hand pad;
  for (int k = 0; k < 10; k++) pad.Bits("0").Byte('0' + k);
  for (int k = 0; k < 300; k++) pad.Bits("1111").Byte(0).Bits("1");
  pad.End();
  std::vector<uint8_t> big = pad.File(10);
  ASSERT_GT(big.size(), 10u + 256);
  EXPECT_EQ(Load(big, int(big.size()) - 4, &result), "0123456789");
  EXPECT_EQ(result, 10);
  EXPECT_HALT(Load(big, int(big.size()) - 5, &result), "too small");

  EeBuf src(file.size());
  memcpy(src.p, file.data(), file.size());
  ZEFILE h = ZeMemFileOpen(src.p, int(file.size()), 0);
  ZeFileSeek(h, 7, 0);
  EXPECT_EQ(ZePPGetSize(h), 3000);
  EXPECT_EQ(ZeFilePos(h), 7);
  ZeFileClose(h);
  h = ZeMemFileOpen(src.p + 1, 50, 0);
  EXPECT_EQ(ZePPGetSize(h), 50);
  ZeFileClose(h);
}
