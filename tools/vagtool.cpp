// vagtool: the console's ADPCM sound files (".VAG") from and to WAV, on the
// same codec as the sound module stand-in.
//
//   vagtool encode IN.WAV OUT.VAG [--loop=SAMPLE] [--name=NAME]
//   vagtool decode IN.VAG OUT.WAV
//   vagtool tone OUT.(WAV|VAG) HZ MILLISECONDS [--rate=HZ] [--loop=SAMPLE]
//   vagtool info IN.VAG
//
// WAV input is 16-bit PCM, mono or stereo (stereo is mixed down); the VAG
// keeps its sample rate. decode follows the blocks once to the first END.
#include "vag.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* fmt, const char* arg = "") {
  fprintf(stderr, "vagtool: ");
  fprintf(stderr, fmt, arg);
  fprintf(stderr, "\n");
  exit(1);
}

std::vector<uint8_t> ReadFile(const char* path) {
  FILE* f = fopen(path, "rb");
  if (!f) Fail("cannot open %s", path);
  std::vector<uint8_t> data;
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
  fclose(f);
  return data;
}

void WriteFile(const char* path, const std::vector<uint8_t>& data) {
  FILE* f = fopen(path, "wb");
  if (!f || fwrite(data.data(), 1, data.size(), f) != data.size()) Fail("cannot write %s", path);
  fclose(f);
}

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; i++) v.push_back(uint8_t(x >> (8 * i)));
}
void Put16(std::vector<uint8_t>& v, uint16_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}

struct Pcm {
  std::vector<int16_t> samples;
  uint32_t rate;
};

// The chunks of a RIFF WAVE file: "fmt " must say PCM, 16 bits.
Pcm ReadWav(const char* path) {
  std::vector<uint8_t> d = ReadFile(path);
  if (d.size() < 12 || memcmp(d.data(), "RIFF", 4) || memcmp(d.data() + 8, "WAVE", 4)) Fail("%s is not a WAV file", path);
  int channels = 0, bits = 0;
  uint32_t rate = 0;
  const uint8_t* data = nullptr;
  uint32_t dataSize = 0;
  for (size_t at = 12; at + 8 <= d.size();) {
    uint32_t size = Le32(&d[at + 4]);
    if (size > d.size() - at - 8) Fail("%s: a chunk runs past the file", path);
    const uint8_t* body = &d[at + 8];
    if (!memcmp(&d[at], "fmt ", 4) && size >= 16) {
      if (Le16(body) != 1) Fail("%s: not PCM", path);
      channels = Le16(body + 2);
      rate = Le32(body + 4);
      bits = Le16(body + 14);
    } else if (!memcmp(&d[at], "data", 4)) {
      data = body;
      dataSize = size;
    }
    at += 8 + size + (size & 1);
  }
  if (!data || bits != 16 || (channels != 1 && channels != 2))
    Fail("%s: needs 16-bit mono or stereo PCM", path);
  Pcm pcm{{}, rate};
  size_t frames = dataSize / (2 * size_t(channels));
  for (size_t i = 0; i < frames; i++) {
    int s = int16_t(Le16(data + 2 * channels * i));
    if (channels == 2) s = (s + int16_t(Le16(data + 4 * i + 2))) / 2;
    pcm.samples.push_back(int16_t(s));
  }
  return pcm;
}

void WriteWav(const char* path, const Pcm& pcm) {
  std::vector<uint8_t> d;
  uint32_t bytes = uint32_t(pcm.samples.size() * 2);
  d.insert(d.end(), {'R', 'I', 'F', 'F'});
  Put32(d, 36 + bytes);
  d.insert(d.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put32(d, 16);
  Put16(d, 1);
  Put16(d, 1);
  Put32(d, pcm.rate);
  Put32(d, pcm.rate * 2);
  Put16(d, 2);
  Put16(d, 16);
  d.insert(d.end(), {'d', 'a', 't', 'a'});
  Put32(d, bytes);
  for (int16_t s : pcm.samples) Put16(d, uint16_t(s));
  WriteFile(path, d);
}

void WriteVag(const char* path, const Pcm& pcm, int loop, const char* name) {
  int count = int(pcm.samples.size());
  int size = VagEncodedSize(count);
  std::vector<uint8_t> out(size_t(VAG_HEADER_BYTES + size));
  VagHeader h{VAG_VERSION, uint32_t(size), pcm.rate, {}};
  memcpy(h.name, name, std::min(strlen(name), sizeof h.name));
  VagWriteHeader(out.data(), h);
  VagEncode(pcm.samples.data(), count, loop, out.data() + VAG_HEADER_BYTES);
  WriteFile(path, out);
}

// The blocks of a VAG file after its header (all of them when it has none).
std::vector<uint8_t> VagBlocks(const char* path, uint32_t* rate) {
  std::vector<uint8_t> d = ReadFile(path);
  VagHeader h;
  size_t start = 0, size = d.size();
  *rate = 48000;
  if (VagReadHeader(d.data(), int(d.size()), &h)) {
    start = VAG_HEADER_BYTES;
    size = std::min<size_t>(h.dataSize, d.size() - start);
    *rate = h.sampleRate;
  }
  return std::vector<uint8_t>(d.begin() + long(start), d.begin() + long(start + size / VAG_BLOCK_BYTES * VAG_BLOCK_BYTES));
}

bool HasSuffix(const std::string& s, const char* suffix) {
  size_t n = strlen(suffix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; i++)
    if (tolower(s[s.size() - n + i]) != suffix[i]) return false;
  return true;
}

const char* Option(int argc, char** argv, const char* name) {
  size_t n = strlen(name);
  for (int i = 1; i < argc; i++)
    if (!strncmp(argv[i], name, n)) return argv[i] + n;
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) Fail("usage: vagtool encode|decode|tone|info ...");
  std::string cmd = argv[1];
  const char* loopArg = Option(argc, argv, "--loop=");
  int loop = loopArg ? atoi(loopArg) : -1;
  if (cmd == "encode" && argc >= 4) {
    const char* name = Option(argc, argv, "--name=");
    WriteVag(argv[3], ReadWav(argv[2]), loop, name ? name : "");
  } else if (cmd == "decode" && argc >= 4) {
    Pcm pcm;
    std::vector<uint8_t> blocks = VagBlocks(argv[2], &pcm.rate);
    VagHistory h{0, 0};
    for (size_t b = 0; b < blocks.size(); b += VAG_BLOCK_BYTES) {
      int16_t out[VAG_BLOCK_SAMPLES];
      VagDecodeBlock(&blocks[b], out, &h);
      pcm.samples.insert(pcm.samples.end(), out, out + VAG_BLOCK_SAMPLES);
      if (blocks[b + 1] & VAG_FLAG_END) break;
    }
    WriteWav(argv[3], pcm);
  } else if (cmd == "tone" && argc >= 5) {
    const char* rateArg = Option(argc, argv, "--rate=");
    Pcm pcm{{}, rateArg ? uint32_t(atoi(rateArg)) : 48000u};
    double hz = atof(argv[3]);
    int count = int(double(pcm.rate) * atof(argv[4]) / 1000.0);
    if (count <= 0 || pcm.rate == 0) Fail("tone: needs a length and a rate");
    for (int i = 0; i < count; i++)
      pcm.samples.push_back(int16_t(12000 * std::sin(2 * M_PI * hz * i / pcm.rate)));
    if (HasSuffix(argv[2], ".vag")) WriteVag(argv[2], pcm, loop, "tone");
    else WriteWav(argv[2], pcm);
  } else if (cmd == "info") {
    uint32_t rate;
    std::vector<uint8_t> blocks = VagBlocks(argv[2], &rate);
    int loopStart = -1, end = -1;
    bool repeat = false;
    for (size_t b = 0; b < blocks.size(); b += VAG_BLOCK_BYTES) {
      uint8_t f = blocks[b + 1];
      if ((f & VAG_FLAG_START) && loopStart < 0) loopStart = int(b / VAG_BLOCK_BYTES);
      if (f & VAG_FLAG_END) {
        end = int(b / VAG_BLOCK_BYTES);
        repeat = f & VAG_FLAG_REPEAT;
        break;
      }
    }
    printf("%s: %d Hz, %zu blocks (%zu samples), end at block %d, %s", argv[2], rate,
           blocks.size() / VAG_BLOCK_BYTES, blocks.size() / VAG_BLOCK_BYTES * VAG_BLOCK_SAMPLES, end,
           repeat ? "loops" : "plays once");
    if (repeat) printf(" from block %d", loopStart < 0 ? 0 : loopStart);
    printf("\n");
  } else {
    Fail("usage: vagtool encode|decode|tone|info ...");
  }
  return 0;
}
