// The packer: an LZ77 encoder (hash chains, one step of lazy matching)
// writing the method-2 stream exactly as the engine's decoder reads it:
// single bits most significant first, in bytes taken from the stream when
// the decoder's bit register runs empty, between whole bytes.
#include "zetools.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int MAX_DIST = 4096;
constexpr int MAX_DIST2 = 256;   // two-byte copies carry a one-byte offset
constexpr int MAX_LEN = 263;
constexpr int MAX_CHAIN = 96;
constexpr int HASH_BITS = 15;
constexpr int IN_PLACE_MARGIN = 252;  // the loader's stream ends 252 bytes past the output

struct Stream {
  std::vector<uint8_t> out;
  size_t reg = 0;
  int left = 0;

  Stream() {
    out.push_back(0);
    left = 6;  // the decoder skips the first two bits
  }
  void Bit(int b) {
    if (left == 0) {
      reg = out.size();
      out.push_back(0);
      left = 8;
    }
    left--;
    if (b) out[reg] = uint8_t(out[reg] | 1u << left);
  }
  void Bits(int v, int n) {
    for (int k = n - 1; k >= 0; k--) Bit((v >> k) & 1);
  }
  void Byte(int b) { out.push_back(uint8_t(b)); }

  void Offset(int dist) {
    int v = dist - 1, high = v >> 8;
    if (high == 0) {
      Bit(0);
    } else if (high == 1) {
      Bits(0b110, 3);
    } else if (high < 4) {
      Bits(0b100, 3);
      Bit(high - 2);
    } else if (high < 8) {
      Bit(1);
      Bit((high >> 1) & 1);
      Bit(1);
      Bit(high & 1);
      Bit(1);
    } else {
      int h = high >> 1;
      Bit(1);
      Bit((h >> 1) & 1);
      Bit(1);
      Bit(h & 1);
      Bit(0);
      Bit(high & 1);
    }
    Byte(v & 0xff);
  }

  void Copy(int len, int dist) {
    switch (len) {
      case 2: Bits(0b110, 3); Byte(dist - 1); return;
      case 3: Bits(0b1110, 4); break;
      case 4: Bits(0b1000, 4); break;
      case 5: Bits(0b1010, 4); break;
      case 6: Bits(0b10010, 5); break;
      case 7: Bits(0b10011, 5); break;
      case 8: Bits(0b10110, 5); break;
      default: Bits(0b1111, 4); Byte(len - 8); break;
    }
    Offset(dist);
  }
};

class Encoder {
 public:
  Encoder(const uint8_t* d, size_t n) : d_(d), n_(n), prev_(n, -1), head_(1 << HASH_BITS, -1), last2_(65536, -1) {}

  std::vector<uint8_t> Run(int* maxAhead) {
    size_t p = 0, lit = 0;
    while (p < n_) {
      Match m = Find(p);
      if (m.len >= 2 && p + 1 < n_ && m.len < 64) {
        Match next = Find(p + 1);
        if (next.len > m.len) m.len = 0;  // a literal here, the longer copy next
      }
      if (m.len < 2) {
        p++;
        continue;
      }
      Literals(lit, p - lit);
      s_.Copy(m.len, m.dist);
      p += size_t(m.len);
      lit = p;
      Track(p);
    }
    Literals(lit, p - lit);
    s_.Bits(0b1111, 4);
    s_.Byte(0);
    s_.Bit(0);
    *maxAhead = maxAhead_;
    return std::move(s_.out);
  }

 private:
  struct Match {
    int len, dist;
  };

  uint32_t Hash3(size_t p) const {
    uint32_t v = uint32_t(d_[p]) << 16 | uint32_t(d_[p + 1]) << 8 | d_[p + 2];
    return (v * 2654435761u) >> (32 - HASH_BITS);
  }

  void InsertUpTo(size_t p) {
    for (; inserted_ < p; inserted_++) {
      size_t q = inserted_;
      if (q + 1 < n_) last2_[size_t(d_[q]) << 8 | d_[q + 1]] = int32_t(q);
      if (q + 2 < n_) {
        uint32_t h = Hash3(q);
        prev_[q] = head_[h];
        head_[h] = int32_t(q);
      }
    }
  }

  int Common(size_t a, size_t b, int limit) const {
    int k = 0;
    while (k < limit && d_[a + size_t(k)] == d_[b + size_t(k)]) k++;
    return k;
  }

  Match Find(size_t p) {
    InsertUpTo(p);
    Match best{0, 0};
    int limit = int(std::min<size_t>(MAX_LEN, n_ - p));
    if (limit < 2) return best;
    int32_t q2 = last2_[size_t(d_[p]) << 8 | d_[p + 1]];
    if (q2 >= 0 && p - size_t(q2) <= MAX_DIST2) best = {Common(size_t(q2), p, limit), int(p - size_t(q2))};
    if (limit >= 3) {
      int chain = 0;
      for (int32_t q = head_[Hash3(p)]; q >= 0 && p - size_t(q) <= MAX_DIST && chain < MAX_CHAIN;
           q = prev_[size_t(q)], chain++) {
        int len = Common(size_t(q), p, limit);
        if (len >= 3 && len > best.len) {
          best = {len, int(p - size_t(q))};
          if (len == limit) break;
        }
      }
    }
    if (best.len == 2 && best.dist > MAX_DIST2) best.len = 0;
    return best;
  }

  // count literal bytes from start: runs of 12-72 (multiples of 4) where
  // they are cheaper, single bytes for the rest.
  void Literals(size_t start, size_t count) {
    while (count >= 12) {
      size_t run = std::min<size_t>(72, count & ~size_t(3));
      s_.Bits(0b10111, 5);
      s_.Bits(int(run - 12) / 4, 4);
      for (size_t k = 0; k < run; k++) s_.Byte(d_[start + k]);
      start += run;
      count -= run;
      Track(start);
    }
    for (; count; count--, start++) {
      s_.Bit(0);
      s_.Byte(d_[start]);
      Track(start + 1);
    }
  }

  // How far the output has run ahead of the stream read so far.
  void Track(size_t outPos) { maxAhead_ = std::max(maxAhead_, int(int64_t(outPos) - int64_t(s_.out.size()))); }

  const uint8_t* d_;
  size_t n_;
  std::vector<int32_t> prev_, head_, last2_;
  size_t inserted_ = 0;
  Stream s_;
  int maxAhead_ = 0;
};

void PutBe32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

}  // namespace

uint16_t RncCrc16(const uint8_t* data, size_t n) {
  uint16_t crc = 0;
  for (size_t i = 0; i < n; i++) {
    crc ^= data[i];
    for (int k = 0; k < 8; k++) crc = crc & 1 ? uint16_t(crc >> 1 ^ 0xA001) : uint16_t(crc >> 1);
  }
  return crc;
}

std::vector<uint8_t> RncPack(const uint8_t* data, size_t n, RncPackInfo* info) {
  int maxAhead = 0;
  std::vector<uint8_t> stream = Encoder(data, n).Run(&maxAhead);
  // In place, the stream ends margin bytes past the output: the output must
  // never run further ahead of the input than the sizes' difference allows.
  int64_t leeway = std::max<int64_t>(0, int64_t(maxAhead) - (int64_t(n) - int64_t(stream.size())));
  if (info) *info = {int(std::min<int64_t>(leeway, 0x7fffffff)), leeway <= IN_PLACE_MARGIN};
  std::vector<uint8_t> file(18 + stream.size());
  memcpy(file.data(), "RNC\2", 4);
  PutBe32(&file[4], uint32_t(n));
  PutBe32(&file[8], uint32_t(stream.size()));
  uint16_t cu = RncCrc16(data, n), cp = RncCrc16(stream.data(), stream.size());
  file[12] = uint8_t(cu >> 8);
  file[13] = uint8_t(cu);
  file[14] = uint8_t(cp >> 8);
  file[15] = uint8_t(cp);
  file[16] = uint8_t(std::min<int64_t>(leeway, 255));
  file[17] = 1;
  memcpy(file.data() + 18, stream.data(), stream.size());
  return file;
}
