// Fuzz target: ".VAG" sounds and the sound module's command packets. The
// input holds a sound file and command packets (each up to 2048 bytes, as
// the client sends them), joined by separators. The sound's blocks go
// through the decoder; the file is then the module's "host0:S.VAG" and the
// packets are sent over SIF one by one, with fields of virtual time between
// them in which loads arrive and voices play (mixed by the null back end).
#include "fuzz.h"
#include "platform.h"
#include "sndmodule.h"
#include "vag.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

namespace {

constexpr size_t MAX_PACKETS = 6;

void Decode(const uint8_t* data, size_t size) {
  VagHeader h;
  const uint8_t* blocks = data;
  size_t bytes = size;
  if (VagReadHeader(data, int(size), &h)) {
    blocks += VAG_HEADER_BYTES;
    bytes = std::min<size_t>(size - VAG_HEADER_BYTES, h.dataSize);
  }
  VagHistory history{0, 0};
  int16_t pcm[VAG_BLOCK_SAMPLES];
  for (size_t at = 0; bytes - at >= VAG_BLOCK_BYTES; at += VAG_BLOCK_BYTES) VagDecodeBlock(blocks + at, pcm, &history);
}

// Main-memory destinations (commands 49 and 73) name any EE address, as
// the console's DMA would take one: here they are moved into a buffer of
// the target's, large enough for any load of an input's file.
constexpr uint32_t EE_ROOM = 0x10000;
void Confine(uint8_t* packet, uint32_t ee) {
  auto* w = reinterpret_cast<uint16_t*>(packet);
  const int words = SND_PACKET_BYTES / 2;
  for (int c = 0, pos = 1; c < w[0] && pos + 2 <= words; c++) {
    const int id = w[pos], n = w[pos + 1];
    if ((id == 49 || id == 73) && n >= 2 && pos + 4 <= words) {
      const uint32_t a = ee + ((uint32_t(w[pos + 2]) << 16 | w[pos + 3]) % EE_ROOM & ~3u);
      w[pos + 2] = uint16_t(a >> 16);
      w[pos + 3] = uint16_t(a);
    }
    pos += 2 + n;
  }
}

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  FuzzDir();
  if (size < 1) return;
  const int fields = data[0] & 7;
  const std::vector<FuzzPart> parts = FuzzSplit(data + 1, size - 1, MAX_PACKETS + 1);
  Decode(parts[0].data, parts[0].size);
  FuzzWriteHostFile("S.VAG", parts[0].data, parts[0].size);
  if (SndModuleLoad(PSOUND_NULL) != 0) abort();
  sceSifClientData cd{};
  sceSifBindRpc(&cd, SND_RPC_SERVER, 0);
  auto* reply = FuzzEeCopy(nullptr, 0, SND_PACKET_BYTES);
  const uint32_t ee = EeAddrOf(FuzzEeCopy(nullptr, 0, 2 * EE_ROOM + 64));
  for (size_t i = 1; i < parts.size(); i++) {
    const size_t n = std::min<size_t>(parts[i].size, SND_PACKET_BYTES);
    uint8_t* packet = FuzzEeCopy(parts[i].data, n, SND_PACKET_BYTES - n);
    Confine(packet, ee);
    sceSifCallRpc(&cd, 0, 0, packet, SND_PACKET_BYTES, reply, SND_PACKET_BYTES, nullptr, nullptr);
    for (int f = 0; f < fields; f++) KernelWaitVSync();
  }
  // Loads and voices run on for a moment more.
  for (int f = 0; f < 8; f++) KernelWaitVSync();
  sceSifCallRpc(&cd, 1, 0, nullptr, 0, reply, SND_PACKET_BYTES, nullptr, nullptr);
}

void FuzzReset() { SndModuleUnload(); }

namespace {

// A command packet as the client lays it out: a count, then for each
// command its id, its word count and its words (text ends with a 0 byte).
struct Packet {
  std::vector<uint16_t> w{0};
  Packet& Cmd(int id, std::initializer_list<uint32_t> words, const char* text = nullptr) {
    w[0]++;
    w.push_back(uint16_t(id));
    const size_t count = w.size();
    w.push_back(0);
    for (uint32_t v : words) w.push_back(uint16_t(v));
    if (text) {
      const size_t len = strlen(text) + 1, at = w.size();
      w.resize(at + (len + 1) / 2);
      memcpy(&w[at], text, len);
    }
    w[count] = uint16_t(w.size() - count - 1);
    return *this;
  }
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> b(w.size() * 2);
    memcpy(b.data(), w.data(), b.size());
    return b;
  }
};

}  // namespace

// Seeds: a sound with packets that register it, play it as a stream, load
// it into sound memory and play it as an effect, change voices and stop.
// The sound is "tone.vag" in dir when there is one (vagtool, see
// scripts/fuzz.sh), else a short looping one made here.
void FuzzSeeds(const char* dir) {
  std::vector<uint8_t> vag{2};  // two fields between packets
  if (FILE* f = fopen((std::string(dir) + "/tone.vag").c_str(), "rb")) {
    for (int c; (c = fgetc(f)) != EOF;) vag.push_back(uint8_t(c));
    fclose(f);
  } else {
    std::vector<int16_t> pcm(600);
    for (size_t i = 0; i < pcm.size(); i++) pcm[i] = int16_t((i * 977 % 2000) * 8 - 8000);
    const int bytes = VagEncodedSize(int(pcm.size()));
    vag.resize(1 + size_t(VAG_HEADER_BYTES + bytes));
    VagWriteHeader(vag.data() + 1, VagHeader{VAG_VERSION, uint32_t(bytes), 48000, "seed"});
    VagEncode(pcm.data(), int(pcm.size()), 0, vag.data() + 1 + VAG_HEADER_BYTES);
  }
  const std::vector<uint8_t> reg = Packet().Cmd(31, {1, 0, 48}, "host0:S.VAG").Cmd(51, {1, 0}).Bytes();
  const std::vector<uint8_t> stream = Packet().Cmd(1, {1, 3 << 8 | 4, 0x3fff, 0x3fff, 0x1000, 1, 0}).Bytes();
  const std::vector<uint8_t> effect = Packet()
                                          .Cmd(14, {0, 0x1000})
                                          .Cmd(1, {1, 5 << 8, 0, 0, 0, 127, 0})
                                          .Bytes();
  const std::vector<uint8_t> play = Packet()
                                        .Cmd(0, {1, 7, 0x3000, 0x5000, 0x800, 3})
                                        .Cmd(57, {1, 8, 0x3000, 0x3000, 0x1000, 0, 1})
                                        .Cmd(2, {7, 0x100, 0x7000})
                                        .Cmd(3, {8, 0x2000})
                                        .Bytes();
  const std::vector<uint8_t> stop = Packet().Cmd(4, {7}).Cmd(5, {3}).Cmd(74, {3, 0, 64}).Cmd(32, {1}).Bytes();
  const std::vector<uint8_t> ranged =
      Packet().Cmd(30, {2, 0, 0, 0, 400, 0, 0, 16}).Cmd(34, {2}, "host0:S.VAG").Cmd(49, {0x0100, 0}).Bytes();
  const std::vector<uint8_t> eeLoad = Packet().Cmd(1, {2, 6 << 8 | 9, 0, 0, 0, 126, 0}).Cmd(73, {0x0100, 0x40}).Bytes();
  FuzzWriteSeed(dir, "stream", {vag, reg, stream, stop});
  FuzzWriteSeed(dir, "effect", {vag, reg, effect, play, stop});
  FuzzWriteSeed(dir, "ranged", {vag, ranged, eeLoad, play});
}
