// vagtool: the console's ADPCM sound files (".VAG") from and to the sound
// files users have, on the same codec as the sound module stand-in.
//
//   vagtool encode IN OUT.VAG [--loop=SAMPLE] [--name=NAME] [--rate=HZ]
//   vagtool decode IN.VAG OUT.WAV
//   vagtool tone OUT.(WAV|VAG) HZ MILLISECONDS [--rate=HZ] [--loop=SAMPLE]
//   vagtool info IN.VAG
//
// encode reads what libsndfile reads (WAV of 8-, 16-, 24- or 32-bit integer
// or float samples, FLAC, Ogg Vorbis, AIFF...), mixes the channels to mono
// and keeps the file's sample rate, or resamples to --rate through
// libsamplerate. decode writes a 16-bit mono WAV through libsndfile,
// following the blocks once to the first END.
#include "vag.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The longest sound encoded: a VAG's data size must fit its int counts.
constexpr long MAX_SAMPLES = 1L << 26;

[[noreturn]] __attribute__((format(printf, 1, 2))) void Fail(const char* fmt, ...) {
  fprintf(stderr, "vagtool: ");
  va_list args;
  va_start(args, fmt);
  vfprintf(stderr, fmt, args);
  va_end(args);
  fprintf(stderr, "\n");
  exit(1);
}

std::vector<uint8_t> ReadFile(const char* path) {
  FILE* f = fopen(path, "rb");
  if (!f) Fail("%s: %s", path, strerror(errno));
  std::vector<uint8_t> data;
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
  fclose(f);
  return data;
}

void WriteFile(const char* path, const std::vector<uint8_t>& data) {
  FILE* f = fopen(path, "wb");
  if (!f) Fail("%s: %s", path, strerror(errno));
  if (fwrite(data.data(), 1, data.size(), f) != data.size() || fclose(f)) Fail("%s: cannot write", path);
}

struct Pcm {
  std::vector<int16_t> samples;
  uint32_t rate;
};

// A sound file through libsndfile, its channels mixed to mono, resampled to
// rate (0: the file's own).
Pcm ReadSound(const char* path, uint32_t rate) {
  SF_INFO info;
  memset(&info, 0, sizeof info);
  SNDFILE* f = sf_open(path, SFM_READ, &info);
  if (!f) Fail("%s: %s", path, sf_strerror(nullptr));
  if (info.channels <= 0 || info.samplerate <= 0) Fail("%s: no channels or no sample rate", path);
  std::vector<float> mono, block(size_t(info.channels) * 4096);
  sf_count_t n;
  while ((n = sf_readf_float(f, block.data(), 4096)) > 0) {
    for (sf_count_t i = 0; i < n; i++) {
      float sum = 0;
      for (int c = 0; c < info.channels; c++) sum += block[size_t(i) * size_t(info.channels) + size_t(c)];
      mono.push_back(sum / float(info.channels));
    }
    if (long(mono.size()) > MAX_SAMPLES) Fail("%s: longer than %ld samples", path, MAX_SAMPLES);
  }
  if (sf_error(f) != SF_ERR_NO_ERROR) Fail("%s: %s", path, sf_strerror(f));
  sf_close(f);

  const uint32_t from = uint32_t(info.samplerate);
  if (rate && rate != from && !mono.empty()) {
    const double ratio = double(rate) / from;
    if (!src_is_valid_ratio(ratio) || double(mono.size()) * ratio > double(MAX_SAMPLES))
      Fail("%s: cannot resample %zu samples at %u Hz to %u Hz", path, mono.size(), from, rate);
    std::vector<float> out(size_t(std::ceil(double(mono.size()) * ratio)) + 1);
    SRC_DATA d;
    memset(&d, 0, sizeof d);
    d.data_in = mono.data();
    d.input_frames = long(mono.size());
    d.data_out = out.data();
    d.output_frames = long(out.size());
    d.src_ratio = ratio;
    if (int e = src_simple(&d, SRC_SINC_MEDIUM_QUALITY, 1)) Fail("%s: resampling: %s", path, src_strerror(e));
    out.resize(size_t(d.output_frames_gen));
    mono.swap(out);
  }
  Pcm pcm{{}, rate ? rate : from};
  pcm.samples.reserve(mono.size());
  for (float v : mono) pcm.samples.push_back(int16_t(std::clamp(std::lrint(double(v) * 32768.0), -32768L, 32767L)));
  return pcm;
}

// A 16-bit mono WAV through libsndfile.
void WriteWav(const char* path, const Pcm& pcm) {
  SF_INFO info;
  memset(&info, 0, sizeof info);
  info.samplerate = int(pcm.rate);
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(path, SFM_WRITE, &info);
  if (!f) Fail("%s: %s", path, sf_strerror(nullptr));
  const sf_count_t n = sf_count_t(pcm.samples.size());
  if (sf_writef_short(f, pcm.samples.data(), n) != n) Fail("%s: %s", path, sf_strerror(f));
  if (sf_close(f)) Fail("%s: cannot write", path);
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
    if (h.dataSize > d.size() - start)
      Fail("%s: cut short: the header gives %u bytes of blocks, the file holds %zu", path, unsigned(h.dataSize),
           d.size() - start);
    size = h.dataSize;
    *rate = h.sampleRate;
  }
  size = size / VAG_BLOCK_BYTES * VAG_BLOCK_BYTES;
  if (size == 0) Fail("%s: no sound blocks", path);
  // Each block: a predictor 0-4 and the shift in its first byte, the
  // loop flags in its second.
  for (size_t b = start; b < start + size; b += VAG_BLOCK_BYTES)
    if ((d[b] >> 4) > 4 || d[b + 1] > 7)
      Fail("%s: block %zu is not sound (predictor %d, flags %02x)", path, (b - start) / VAG_BLOCK_BYTES, d[b] >> 4,
           d[b + 1]);
  return std::vector<uint8_t>(d.begin() + long(start), d.begin() + long(start + size));
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

// --rate=HZ, or fallback when not given.
uint32_t RateOption(int argc, char** argv, uint32_t fallback) {
  const char* arg = Option(argc, argv, "--rate=");
  if (!arg) return fallback;
  char* end;
  const long hz = strtol(arg, &end, 10);
  if (*end || hz < 1000 || hz > 192000) Fail("--rate=%s: the rate must be 1000-192000 Hz", arg);
  return uint32_t(hz);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) Fail("usage: vagtool encode|decode|tone|info ...");
  std::string cmd = argv[1];
  const char* loopArg = Option(argc, argv, "--loop=");
  int loop = loopArg ? atoi(loopArg) : -1;
  if (cmd == "encode" && argc >= 4) {
    const char* name = Option(argc, argv, "--name=");
    WriteVag(argv[3], ReadSound(argv[2], RateOption(argc, argv, 0)), loop, name ? name : "");
  } else if (cmd == "decode" && argc >= 4) {
    Pcm pcm;
    std::vector<uint8_t> blocks = VagBlocks(argv[2], &pcm.rate);
    if (pcm.rate == 0) Fail("%s: the header gives a sample rate of 0", argv[2]);
    VagHistory h{0, 0};
    for (size_t b = 0; b < blocks.size(); b += VAG_BLOCK_BYTES) {
      int16_t out[VAG_BLOCK_SAMPLES];
      VagDecodeBlock(&blocks[b], out, &h);
      pcm.samples.insert(pcm.samples.end(), out, out + VAG_BLOCK_SAMPLES);
      if (blocks[b + 1] & VAG_FLAG_END) break;
    }
    WriteWav(argv[3], pcm);
  } else if (cmd == "tone" && argc >= 5) {
    Pcm pcm{{}, RateOption(argc, argv, 48000)};
    double hz = atof(argv[3]);
    const double length = std::floor(double(pcm.rate) * atof(argv[4]) / 1000.0);
    if (!(length > 0 && length <= double(MAX_SAMPLES))) Fail("tone: needs a length of 1-%ld samples", MAX_SAMPLES);
    for (int i = 0, count = int(length); i < count; i++)
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
