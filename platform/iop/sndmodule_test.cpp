#include "sndmodule.h"
#include "vag.h"
#include "platform_test.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

// A command packet as the client lays it out.
struct Packet {
  uint16_t w[1024] = {};
  int pos = 1;
  Packet& Cmd(int id, std::initializer_list<uint32_t> words, const char* text = nullptr) {
    w[0]++;
    w[pos++] = uint16_t(id);
    int countAt = pos++;
    int n = 0;
    for (uint32_t v : words) w[pos + n++] = uint16_t(v);
    if (text) {
      int len = int(strlen(text));
      memcpy(&w[pos + n], text, size_t(len) + 1);
      n += (len + 2) / 2;
    }
    w[countAt] = uint16_t(n);
    pos += n;
    return *this;
  }
};
uint32_t Hi(uint32_t v) { return v >> 16; }
uint32_t Lo(uint32_t v) { return v & 0xFFFF; }

struct Reply {
  uint32_t r[512];
  int B() const { return 6 * int(r[0]); }
  uint32_t at(int k) const { return r[B() + k]; }
  int Key(int v) const { return (at(6 + v / 16) >> (30 - 2 * (v % 16))) & 3; }
  const uint32_t* Stream(int n) const {
    for (uint32_t i = 0; i < r[0]; i++)
      if (((r[1 + 6 * i] >> 4) & 63) == uint32_t(n)) return &r[1 + 6 * i];
    return nullptr;
  }
};

// A sound of count samples of a tone, optionally looping from its start.
std::vector<uint8_t> VagFile(int count, bool loop) {
  std::vector<int16_t> pcm(static_cast<size_t>(count));
  for (int i = 0; i < count; i++) pcm[size_t(i)] = int16_t(8000 * std::sin(i * 0.05));
  int data = VagEncodedSize(count);
  std::vector<uint8_t> out(size_t(VAG_HEADER_BYTES + data));
  VagHeader h{VAG_VERSION, uint32_t(data), 48000, "T"};
  VagWriteHeader(out.data(), h);
  VagEncode(pcm.data(), count, loop ? 0 : -1, out.data() + VAG_HEADER_BYTES);
  return out;
}

struct SoundModule : testing::Test {
  std::string root;
  sceSifClientData cd{};
  Reply reply{};
  void SetUp() override {
    root = TestTempDir();
    PlatSetHostRoot(root.c_str());
    PlatSetDiscRoot(root.c_str());
    ASSERT_EQ(SndModuleLoad(PSOUND_NULL), 0);
    ASSERT_STREQ(SndBackendName(), "null");
    ASSERT_EQ(sceSifBindRpc(&cd, SND_RPC_SERVER, 0), 0);
    ASSERT_NE(cd.serve, nullptr);
  }
  void TearDown() override {
    SndModuleUnload();
    PlatSetHostRoot(".");
    PlatSetDiscRoot(nullptr);
  }
  void Write(const std::string& rel, const std::vector<uint8_t>& bytes) {
    std::filesystem::path p = root + "/" + rel;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  const Reply& Send(Packet p) {
    EXPECT_EQ(sceSifCallRpc(&cd, 0, 0, p.w, 2048, reply.r, 2048, nullptr, nullptr), 0);
    return reply;
  }
  const Reply& Status() { return Send(Packet().Cmd(9, {0xFFFF, 0})); }
  void Fields(int n) {
    for (int i = 0; i < n; i++) KernelWaitVSync();
  }
  // Loads a file into sound memory as effect id at addr.
  void LoadEffect(int id, const char* path, uint32_t addr) {
    Send(Packet().Cmd(31, {uint32_t(id), 0, 48}, path).Cmd(14, {Hi(addr), Lo(addr)}).Cmd(1, {uint32_t(id), 5 << 8, 0, 0, 0, 127, 0}));
    Fields(1);
    Status();
    ASSERT_EQ(reply.Stream(5), nullptr);
  }
};

}  // namespace

TEST_F(SoundModule, RegistersFilesWithoutRegardToCaseEachOnASectorOfItsOwn) {
  Write("sfx/tone.vag", std::vector<uint8_t>(5000, 1));
  Write("Music/Track1.VAG", std::vector<uint8_t>(100, 2));
  PlatSetDiscRoot(root.c_str());  // the disc's sector map, with these files
  const Reply& r = Send(Packet().Cmd(31, {5, 0, 48}, "host0:SFX\\TONE.VAG"));
  EXPECT_EQ(r.at(51), 5u << 8) << "source 0 (host), id 5";
  EXPECT_EQ(r.at(52), 5000u);
  uint32_t toneLsn = r.at(53);
  EXPECT_NE(toneLsn, 0u);
  Send(Packet().Cmd(31, {6, 0, 48}, "cdrom0:\\MUSIC\\TRACK1.VAG;1").Cmd(9, {0xFFFF, 0}));
  EXPECT_EQ(reply.at(51), 1u | 6u << 8) << "source 1 (disc), id 6";
  EXPECT_EQ(reply.at(52), 100u);
  sceCdlFILE disc;
  ASSERT_EQ(sceCdSearchFile(&disc, "\\MUSIC\\TRACK1.VAG;1"), 1);
  EXPECT_EQ(reply.at(53), disc.lsn) << "a disc file's own sector";
  Write("sfx/other.vag", std::vector<uint8_t>(10, 1));
  Send(Packet().Cmd(31, {10, 0, 48}, "host0:SFX\\OTHER.VAG"));
  EXPECT_GE(reply.at(53), toneLsn + 3) << "5000 bytes take three sectors";
  Send(Packet().Cmd(31, {7, 0, 48}, "host0:sfx\\tone.vag"));
  EXPECT_EQ(reply.at(53), toneLsn) << "the same file keeps its sector";
  Send(Packet().Cmd(31, {8, 0, 48}, "host0:NOPE.VAG"));
  EXPECT_EQ(reply.at(52), 0u) << "a missing file has size 0";
  Send(Packet().Cmd(31, {9, 0, 48}, "host0:..\\escape"));
  EXPECT_EQ(reply.at(52), 0u) << "paths stay under the device root";
}

TEST_F(SoundModule, ADirectoryIsNoFile) {
  std::filesystem::create_directories(root + "/sfx/dir");
  Send(Packet().Cmd(31, {5, 0, 48}, "host0:SFX\\DIR"));
  EXPECT_EQ(reply.at(52), 0u) << "a directory has no size (as a missing file)";
  // Named by host name, as a stream: over before it began, nothing read.
  Send(Packet().Cmd(34, {6}, "host0:sfx").Cmd(51, {6, 0}));
  EXPECT_EQ(reply.at(52), 0u);
  Send(Packet().Cmd(1, {6, 2 << 8 | 4, 0x3fff, 0x3fff, 0x1000, 1, 0}));
  const uint32_t* s = reply.Stream(2);
  ASSERT_NE(s, nullptr) << "an ended stream is listed once";
  EXPECT_EQ(s[2] & 0x80000000u, 0u) << "not running";
  EXPECT_EQ(SndVoiceKey(4), SND_KEY_OFF);
}

TEST_F(SoundModule, EveryReplyChangesItsCounter) {
  uint32_t a = Status().at(1);
  uint32_t b = Status().at(1);
  EXPECT_NE(a, b);
  EXPECT_EQ(reply.at(2), 0xFFFFFFFFu) << "no load request";
}

TEST_F(SoundModule, MainMemoryLoadIsListedOnceThenGoneWithItsBytesInPlace) {
  std::vector<uint8_t> file(4000);
  for (size_t i = 0; i < file.size(); i++) file[i] = uint8_t(i * 7);
  Write("DATA.BIN", file);
  Send(Packet().Cmd(31, {1024, 0, 0}, "cdrom0:\\DATA.BIN;1"));
  uint32_t lsn = reply.at(53);
  auto* buf = static_cast<uint8_t*>(EeMalloc(256));
  memset(buf, 0xEE, 256);
  uint32_t ee = EeAddrOf(buf);
  // Bytes 10-110 of the file by its sector, as the file service asks.
  Send(Packet()
           .Cmd(32, {1030})
           .Cmd(30, {1030, Hi(lsn), Lo(lsn), 0, 110, 1, 0, 10})
           .Cmd(49, {Hi(ee), Lo(ee)})
           .Cmd(1, {1030, 2 << 8, 0, 0, 0, 126, 0}));
  const uint32_t* rec = reply.Stream(2);
  ASSERT_NE(rec, nullptr) << "listed in the reply of the packet that started it";
  EXPECT_EQ(rec[2], 0x80000000u | 1030) << "active, file id";
  EXPECT_EQ(rec[3] & 0xFF, 126u);
  EXPECT_EQ(reply.at(62), 0u);
  Fields(1);
  Status();
  EXPECT_EQ(reply.Stream(2), nullptr) << "ended: no longer listed";
  EXPECT_EQ(reply.at(62), 1u);
  EXPECT_EQ(reply.at(61), 128u) << "whole 64-byte units";
  EXPECT_EQ(memcmp(buf, &file[10], 128), 0) << "the range and the file's next bytes up to the unit";
  EXPECT_EQ(buf[128], 0xEE);
  EeFree(buf);
}

TEST_F(SoundModule, StoppedLoadEndsPartWayAndSaysHowMuchArrived) {
  Write("BIG.BIN", std::vector<uint8_t>(64 * 1024, 3));
  auto* buf = static_cast<uint8_t*>(EeMalloc(64 * 1024));
  memset(buf, 0, 64 * 1024);
  uint32_t ee = EeAddrOf(buf);
  SndModuleSetLoadRate(64);
  Send(Packet().Cmd(31, {1024, 0, 0}, "host0:BIG.BIN").Cmd(49, {Hi(ee), Lo(ee)}).Cmd(1, {1024, 2 << 8, 0, 0, 0, 126, 0}));
  ASSERT_NE(reply.Stream(2), nullptr);
  Fields(1);  // 262 lines at 64 bytes a line
  Status();
  ASSERT_NE(reply.Stream(2), nullptr) << "still loading";
  EXPECT_EQ(reply.Stream(2)[0] & 3, 1u) << "reading the disc";
  Send(Packet().Cmd(5, {2}));
  EXPECT_EQ(reply.Stream(2), nullptr) << "shown before: gone at once";
  EXPECT_EQ(reply.at(62), 1u);
  uint32_t arrived = reply.at(61);
  EXPECT_GE(arrived, 262u * 64);
  EXPECT_LT(arrived, 64u * 1024);
  EXPECT_EQ(buf[arrived - 1], 3);
  EXPECT_EQ(buf[arrived], 0) << "nothing past what arrived";
  EeFree(buf);
}

TEST_F(SoundModule, EffectVoicesReportKeyStatesUntilTheirSoundEnds) {
  Write("SFX/ONCE.VAG", VagFile(4800, false));  // 0.1 s
  Write("SFX/LOOP.VAG", VagFile(4800, true));
  LoadEffect(0x1000, "host0:SFX\\ONCE.VAG", 0xA6400);
  uint32_t next = reply.at(4);
  EXPECT_EQ(next % 64, 0u);
  EXPECT_GT(next, 0xA6400u + 4800 / 28 * 16) << "past the first effect";
  LoadEffect(0x1001, "host0:SFX\\LOOP.VAG", next);
  Send(Packet().Cmd(0, {0x1000, 6, 0x3FFF, 0x3FFF, 0x1000, 16 << 8}).Cmd(0, {0x1001, 7, 0x3FFF, 0x3FFF, 0x1000, 16 << 8}));
  EXPECT_EQ(reply.Key(6), 1);
  EXPECT_EQ(reply.Key(7), 1);
  EXPECT_EQ(reply.Key(8), 0);
  Fields(10);
  Status();
  EXPECT_EQ(reply.Key(6), 0) << "played once, then off";
  EXPECT_EQ(reply.Key(7), 1) << "looping";
  Send(Packet().Cmd(4, {7}));
  EXPECT_EQ(reply.Key(7), 2) << "releasing";
  Fields(2);
  Status();
  EXPECT_EQ(reply.Key(7), 0);
  // An effect at half the pitch lasts twice as long.
  Send(Packet().Cmd(0, {0x1000, 6, 0x3FFF, 0x3FFF, 0x800, 0}));
  Fields(9);
  EXPECT_EQ(Status().Key(6), 1);
  Fields(5);
  EXPECT_EQ(Status().Key(6), 0);
  // Voice 47 is the last; an unknown effect keys nothing.
  Send(Packet().Cmd(0, {0x1001, 47, 1, 1, 0x1000, 0}).Cmd(0, {0x1999, 46, 1, 1, 0x1000, 0}));
  EXPECT_EQ(reply.Key(47), 1);
  EXPECT_EQ(reply.Key(46), 0);
}

TEST_F(SoundModule, AudioStreamsPlayTheirFileOnceOrLoopAndPitchZeroFreezes) {
  Write("MUSIC/A.VAG", VagFile(4800, false));
  Send(Packet()
           .Cmd(31, {7, 0, 48}, "host0:MUSIC\\A.VAG")
           .Cmd(13, {0, 0, 0x5010, 2, 0x8500})
           .Cmd(1, {7, 0 << 8 | 0, 0x3FFF, 0, 0x1000, 1, 0})    // once, stream 0 voice 0
           .Cmd(1, {7, 1 << 8 | 1, 0, 0x3FFF, 0x1000, 0, 0})    // looping, stream 1 voice 1
           .Cmd(1, {7, 3 << 8 | 3, 0x3FFF, 0x3FFF, 0, 1, 0}));  // pitch 0
  ASSERT_NE(reply.Stream(0), nullptr);
  EXPECT_EQ(reply.Stream(0)[1], 0x5010u) << "its sound-memory buffer";
  EXPECT_EQ((reply.Stream(1)[0] >> 10) & 63, 1u) << "its voice";
  EXPECT_EQ(reply.at(67), 1u) << "one stream buffer";
  Fields(10);
  Status();
  EXPECT_EQ(reply.Stream(0), nullptr) << "played once";
  EXPECT_NE(reply.Stream(1), nullptr) << "looping";
  EXPECT_NE(reply.Stream(3), nullptr) << "frozen";
  Send(Packet().Cmd(17, {3, 3, 0x1000}));
  Fields(10);
  Status();
  EXPECT_EQ(reply.Stream(3), nullptr) << "started by the stereo start, then over";
  Send(Packet().Cmd(5, {1}));
  Fields(2);
  Status();
  EXPECT_EQ(reply.Stream(1), nullptr) << "stopped";
}

TEST_F(SoundModule, UpdateWordChangesOnEveryCycleUntilTurnedOff) {
  auto* word = static_cast<uint32_t*>(EeMalloc(16));
  *word = 0;
  uint32_t a = EeAddrOf(word);
  Send(Packet().Cmd(73, {Hi(a), Lo(a)}));
  uint32_t first = *word;
  Status();
  EXPECT_NE(*word, first);
  Send(Packet().Cmd(73, {0, 0}));
  uint32_t last = *word;
  Status();
  EXPECT_EQ(*word, last);
  EeFree(word);
}

TEST_F(SoundModule, DiscErrorPausesLoadsUntilTheClientRestarts) {
  Write("BIG.BIN", std::vector<uint8_t>(64 * 1024, 3));
  auto* buf = static_cast<uint8_t*>(EeMalloc(64 * 1024));
  uint32_t ee = EeAddrOf(buf);
  Send(Packet().Cmd(31, {1024, 0, 0}, "host0:BIG.BIN").Cmd(49, {Hi(ee), Lo(ee)}).Cmd(1, {1024, 2 << 8, 0, 0, 0, 126, 0}));
  SndModuleSetDiscError(true);
  Fields(1);
  EXPECT_EQ(Status().at(58), 7u) << "error, data outstanding, not readable";
  EXPECT_NE(reply.Stream(2), nullptr) << "paused";
  SndModuleSetDiscError(false);
  EXPECT_EQ(Send(Packet().Cmd(55, {})).at(58), 3u) << "readable; the error holds until restarted";
  Send(Packet().Cmd(53, {}));
  Fields(1);
  EXPECT_EQ(Status().at(58), 0u);
  EXPECT_EQ(reply.Stream(2), nullptr) << "the load went on and ended";
  EeFree(buf);
}

TEST_F(SoundModule, MemoryMapListsUsedAndFreeBlocks) {
  Send(Packet().Cmd(13, {0, 0, 0x5010, 2, 0x8500}).Cmd(28, {0x1005, 0x10, 0x0000}));
  int at = reply.B() + 69 + int(reply.at(67));
  std::vector<int32_t> map;
  for (int i = at; i < 512 && reply.r[i]; i++) map.push_back(int32_t(reply.r[i]));
  ASSERT_EQ(map.size(), 4u);
  EXPECT_EQ(map[0], -0x5010);
  EXPECT_EQ(map[1], 0x28500) << "the stream buffer";
  EXPECT_EQ(map[2], -int32_t(0x100000 - 0x2D510));
  EXPECT_EQ(map[3], 0x100000) << "the effect, to the end of sound memory";
}

TEST_F(SoundModule, DamagedPacketsAreFatal) {
  Packet p;
  p.Cmd(9, {0xFFFF, 0});
  p.w[2] = 2000;  // the parameter count runs past the packet
  EXPECT_HALT(Send(p), "runs past the packet");
  Packet q;
  q.Cmd(0, {1, 2});
  EXPECT_HALT(Send(q), "needs 6");
  Status();  // the module still answers
}

TEST(SoundVoices, MixFollowsVolumePhaseAndPitch) {
  std::vector<uint8_t> file = VagFile(2800, false);
  const uint8_t* data = file.data() + VAG_HEADER_BYTES;
  uint32_t size = uint32_t(file.size()) - VAG_HEADER_BYTES;
  std::vector<int16_t> ref(2800);
  VagHistory h{0, 0};
  for (int b = 0; b < 100; b++) VagDecodeBlock(data + 16 * b, &ref[size_t(28 * b)], &h);
  std::vector<int16_t> out(2 * 4000);
  SndLock();
  SndVoicesReset();
  SndVoiceSetVolume(0, 0x3FFF, 0x4001);  // full left, inverted right
  SndVoiceKeyOn(0, data, size, 0, SND_LOOP_FLAGS, 0, false);
  SndMix(out.data(), 4000);
  int keyAfter = SndVoiceKey(0);
  SndUnlock();
  EXPECT_EQ(keyAfter, SND_KEY_OFF) << "2800 samples end within 4000 frames";
  for (int i = 100; i < 2700; i += 97) {
    EXPECT_NEAR(out[size_t(2 * i)], ref[size_t(i - 1)], 2) << i;  // one sample of latency
    EXPECT_NEAR(out[size_t(2 * i + 1)], -ref[size_t(i - 1)], 2) << i;
  }
  EXPECT_EQ(out[2 * 3000], 0);
  // Half the pitch: twice the frames.
  SndLock();
  SndVoiceSetPitch(1, 0x800);
  SndVoiceSetVolume(1, 0x3FFF, 0x3FFF);
  SndVoiceKeyOn(1, data, size, 0, SND_LOOP_FLAGS, 0, false);
  SndMix(out.data(), 4000);
  int keyMid = SndVoiceKey(1);
  SndMix(out.data(), 2000);
  int keyEnd = SndVoiceKey(1);
  SndUnlock();
  EXPECT_EQ(keyMid, SND_KEY_ON);
  EXPECT_EQ(keyEnd, SND_KEY_OFF);
}
