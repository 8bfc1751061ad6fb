#include "zesound2_testutil.h"
#include "vag.h"
#include "zecore.h"
#include "zemath.h"

#include <cmath>

using Words = std::vector<uint16_t>;

namespace {

std::vector<uint8_t> VagFile(int count, bool loop) {
  std::vector<int16_t> pcm(static_cast<size_t>(count));
  for (int i = 0; i < count; i++) pcm[size_t(i)] = int16_t(8000 * std::sin(i * 0.05));
  int data = VagEncodedSize(count);
  std::vector<uint8_t> out(size_t(VAG_HEADER_BYTES + data));
  VagWriteHeader(out.data(), VagHeader{VAG_VERSION, uint32_t(data), 48000, "T"});
  VagEncode(pcm.data(), count, loop ? 0 : -1, out.data() + VAG_HEADER_BYTES);
  return out;
}

ZESOUNDENTRY g_table[] = {
    {"SFX\\TONE.VAG", 48000, 0, 0x1000},  // 0: an effect
    {"SFX\\LOOP.VAG", 48000, 0, 0x1001},  // 1: a looping effect
    {"MUSIC\\L.VAG", 44100, 1, 7},        // 2, 3: a stereo pair
    {"MUSIC\\R.VAG", 44100, 1, 8},
    {nullptr, 0, 0, -1},
};

ZEMTX g_vpc;
const ZEMTX* TestVpc() { return &g_vpc; }
std::vector<ZESOUNDQUADVTX> g_quads;
void TestQuad(const ZESOUNDQUADVTX* q) { g_quads.insert(g_quads.end(), q, q + 4); }

struct SoundEngine : SoundClient {
  ZESOUNDRNDR saved = zesound_rndr;
  void SetUp() override {
    SoundClient::SetUp();
    Write("data/sfx/tone.vag", VagFile(4800, false));  // 0.1 s
    Write("data/sfx/loop.vag", VagFile(4800, true));
    Write("data/music/l.vag", VagFile(48000, false));
    Write("data/music/r.vag", VagFile(48000, false));
    ZeTrigInit();
    g_vpc = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    zesound_rndr.vpcmtx = TestVpc;
    ZeFileInit(0);  // the host medium
    ZeFileSetCurrentDirectory("data");
    zesound_irx_loaded = 1;
    ZeSoundInitEx(g_table, 500);
    ASSERT_EQ(zesound_enabled, 1);
  }
  void TearDown() override {
    zesound_enabled = zesound_irx_loaded = 0;
    zesound_rndr = saved;
    ZeSoundListenPos = nullptr;
    ZeSoundSetRequestTable(nullptr, 0);
    SChan = ZESOUND_FIRST_SFX_VOICE;
    ZeFileSetCurrentDirectory("");
    SoundClient::TearDown();
  }
};

}  // namespace

TEST_F(SoundEngine, StartUpSetsTheModuleUpAndRegistersEveryRow) {
  EXPECT_EQ(SOUND_LastStream, 4);
  EXPECT_EQ(SOUND_SPU_ADDR, ZESOUND_SFX_MEMORY);
  EXPECT_EQ(SOUND_FILE_COUNTER, 8u) << "the last row";
  EXPECT_EQ(SOUND_FILE_SIZE, uint32_t(VagFile(48000, false).size())) << "found as HOST0:DATA\\MUSIC\\R.VAG";
  SOUND_GetFileIDInfo(0x1000, 0);
  FlushIOPCommand(0);
  EXPECT_EQ(SOUND_FILE_SIZE, uint32_t(VagFile(4800, false).size()));
  EXPECT_EQ(SOUND_STREAM_IOP_BUFFER_ADDR[3] != 0, true) << "four stream buffers";
}

TEST(SoundEngineOff, WithoutTheModuleSoundStaysOffAndEveryCallDoesNothing) {
  zesound_irx_loaded = 0;
  ClearPacket();
  ZeSoundInitEx(g_table, 500);
  EXPECT_EQ(zesound_enabled, 0);
  ZeSoundPlay(0, 1, 1, 0x1000);
  ZeSoundUpdate();
  EXPECT_EQ(IOP_Cnt, 0);
  EXPECT_EQ(ZeSoundStopStream(0), -1);
  EXPECT_EQ(ZeSoundKeyStatus(6), 0);
}

TEST_F(SoundEngine, EffectsLoadIntoSoundMemoryAndPlayRoundRobin) {
  TransferSFXToSPU(0x1000, 0);
  TransferSFXToSPU(0x1001, 0);
  EXPECT_GT(SOUND_SPU_ADDR, ZESOUND_SFX_MEMORY + 2 * 2752) << "past both effects";
  ZeSoundPlay(0, 0x3FFF, 0x3FFF, 0x1000);
  ZeSoundUpdate();
  EXPECT_EQ(ZeSoundKeyStatus(6), 1) << "playing";
  EXPECT_EQ(SChan, 7);
  Fields(10);
  ZeSoundUpdate();
  EXPECT_EQ(ZeSoundKeyStatus(6), 0) << "over";

  // Nineteen in one frame with 6-23 free: 6 to 23 in turn, then 6 again.
  ClearPacket();
  SChan = 6;
  for (int i = 0; i < 19; i++) ZeSoundPlay(0, 0x100, 0x100, 0x1000);
  auto cmds = StagedCommands();
  ASSERT_EQ(cmds.size(), 19u);
  for (int i = 0; i < 18; i++) EXPECT_EQ(cmds[size_t(i)][2], 6 + i);
  EXPECT_EQ(cmds[18][2], 6) << "all busy: the oldest is cut off";
}

TEST_F(SoundEngine, VolumesAreClampedTo15Bits) {
  ClearPacket();
  ZeSoundPlay(0, -20000, 40000, 0x1000);
  EXPECT_EQ(LastStaged()[3], 0x4001);
  EXPECT_EQ(LastStaged()[4], 0x3FFF);
  ZeSoundPlay(2, -20000, 0, 0x1000);
  EXPECT_EQ(LastStaged()[0], 1);
  EXPECT_EQ(LastStaged()[3], 0xC001) << "a stream row: unmixed";
  ZeSoundPlay(99, 1, 1, 1);
  ZeSoundPlay(-1, 1, 1, 1);
  EXPECT_EQ(StagedCommands().size(), 2u) << "rows outside the table play nothing";
}

TEST_F(SoundEngine, ThreeDimensionalVolumeFadesWithDistanceAndPansAcrossTheView) {
  struct Case {
    ZEVEC pos;
    int played, left, right;
  } cases[] = {
      {{0, 0, 8.5f}, 1, 4095, 4095},   // straight ahead, half the fade: a quarter each
      {{0, 0, 15.0f}, 1, 0, 0},        // at the fade end: still played, silent
      {{0, 0, 15.01f}, 0, 0x3FFF, 0x3FFF},  // beyond: unchanged
      {{1, 0, 0}, 1, 0, 0x3FFF},       // the right edge of the view, inside the fade start
      {{-0.5f, 0, 1}, 1, 12287, 4095},  // a quarter to the left
  };
  for (const Case& c : cases) {
    int l = 0x3FFF, r = 0x3FFF;
    EXPECT_EQ(ZeSoundCalc3dVolume(&c.pos, &l, &r), c.played) << c.pos.x << " " << c.pos.z;
    EXPECT_EQ(l, c.left) << c.pos.x << " " << c.pos.z;
    EXPECT_EQ(r, c.right) << c.pos.x << " " << c.pos.z;
  }
  // Behind the camera (w < 0): x mirrored, the right channel phase-inverted.
  g_vpc.m[2][3] = 1;
  g_vpc.m[3][3] = 0;
  ZEVEC behind = {0.5f, 0, -1};
  int l = 0x3FFF, r = 0x3FFF;
  ASSERT_EQ(ZeSoundCalc3dVolume(&behind, &l, &r), 1);
  EXPECT_EQ(l, 4095);
  EXPECT_EQ(r, -12287);
  zesound_dpl_enabled = 0;
  l = r = 0x3FFF;
  ZeSoundCalc3dVolume(&behind, &l, &r);
  EXPECT_EQ(r, 12287);
  zesound_dpl_enabled = 1;
  // The listener defaults to the camera; another may be set.
  ZEVEC ear = {0, 0, 8.5f};
  ZeSoundListener(&ear);
  ZEVEC at = {0, 0, 8.5f};
  l = r = 0x3FFF;
  ZeSoundCalc3dVolume(&at, &l, &r);
  EXPECT_EQ(l, 8191);
  ClearPacket();
  ZEVEC far = {0, 0, 100};
  ZeSoundPlay3d(&far, 0, 0x3FFF, 0x3FFF, 0x1000);
  EXPECT_EQ(IOP_Cnt, 0) << "beyond the fade end nothing is staged";
}

// The commands of the packet last sent.
std::vector<Words> SentCommands() {
  std::vector<Words> out;
  int pos = 1;
  for (int c = 0; c < senddata[0]; c++) {
    Words w{senddata[pos]};
    for (int i = 0; i < senddata[pos + 1]; i++) w.push_back(senddata[pos + 2 + i]);
    out.push_back(w);
    pos += 2 + senddata[pos + 1];
  }
  return out;
}

TEST_F(SoundEngine, LoopsLiveWhileRefreshedThenWaitFadeAndStop) {
  TransferSFXToSPU(0x1001, 0);
  ZEVEC pos = {0, 0, 1};  // inside the fade start, straight ahead: half of each side
  for (int f = 0; f < 20; f++) {
    ZeSoundPlay3dLoopSfx(&pos, 1, 0x2000, 0x2000, 0x1000);
    ZeSoundUpdate();
  }
  EXPECT_EQ(ZeSoundKeyStatus(31), 1) << "refreshed every frame: never fades";
  ZeSoundPlay3dLoopSfx(&pos, 1, 0x2000, 0x2000, 0x1000);  // the last refresh
  EXPECT_EQ(ZeSndLoopInfo[7].countdown, 12);
  // After the last refresh: untouched for 4 frames, 7 lower steps, stopped on the 12th.
  std::vector<Words> expected[12];
  for (int f = 4; f < 11; f++) expected[f] = {{2, 31, uint16_t(0x1000 * (11 - f) / 8), uint16_t(0x1000 * (11 - f) / 8)}};
  expected[0] = {{2, 31, 0x1000, 0x1000}, {3, 31, 0x1000}};  // the refresh itself
  expected[11] = {{4, 31}, {2, 31, 0, 0}};
  for (int f = 0; f < 12; f++) {
    ZeSoundUpdate();
    std::vector<Words> sent = SentCommands();
    sent.pop_back();  // the status request
    EXPECT_EQ(sent, expected[f]) << "frame " << f + 1;
  }
  EXPECT_EQ(ZeSndLoopInfo[7].playing, 0);
  Fields(2);
  ZeSoundUpdate();
  EXPECT_EQ(ZeSoundKeyStatus(31), 0) << "stopped";
}

TEST_F(SoundEngine, NineLoopKeysInOneFrameLeaveTheNinthUnplayed) {
  ZEVEC keys[9];
  for (int i = 0; i < 9; i++) keys[i] = {float(i) * 0.1f, 0, 1};
  ClearPacket();
  for (int i = 0; i < 9; i++) ZeSoundPlay3dLoopSfx(&keys[i], 1, 0x3FFF, 0x3FFF, 0x1000);
  auto cmds = StagedCommands();
  ASSERT_EQ(cmds.size(), 8u);
  for (int i = 0; i < 8; i++) {
    EXPECT_EQ(cmds[size_t(i)][0], 0);
    EXPECT_EQ(cmds[size_t(i)][2], 31 - i) << "the last free slot is taken first";
  }
}

TEST_F(SoundEngine, StereoPairsStartTogetherAndChannelPitchPausesThem) {
  ClearPacket();
  ConsoleCaptureScope console;
  ZeSoundPlayStereo(2, 3, 0x3FFF, 0x3FFF, 3763);
  EXPECT_EQ(console.text(), "****** Playing Stereo ******\n");
  EXPECT_EQ(StagedCommands(), (std::vector<Words>{{1, 7, 0, 0x3FFF, 0, 0, 1, 16 << 8},
                                                  {1, 8, 257, 0, 0x3FFF, 0, 1, 16 << 8},
                                                  {17, 0, 1, 3763}}));
  ZeSoundUpdate();
  EXPECT_EQ(SOUND_STREAM_STATE[0], SOUND_STREAM_LISTED);
  EXPECT_EQ(SOUND_STREAM_STATE[1], SOUND_STREAM_LISTED);
  ClearPacket();
  EXPECT_EQ(ZeSoundSetChannelPitch(0, 0, 0), 0);
  EXPECT_EQ(ZeSoundSetChannelPitch(0, 3763, 1), 0);
  EXPECT_EQ(ZeSoundSetChannelPitch(48, 0, 0), -1);
  EXPECT_EQ(StagedCommands(), (std::vector<Words>{{3, 0, 0}})) << "stereo 1 stages nothing";
  ZeSoundPlayStereo(0, 3, 1, 1, 0x1000);
  EXPECT_EQ(StagedCommands().size(), 1u) << "an effect row is no stereo half";
  ZeSoundKillAllAudio();
  auto cmds = StagedCommands();
  ASSERT_EQ(cmds.size(), 1u + 4 + 43);
  EXPECT_EQ(cmds[1], (Words{5, 0}));
  EXPECT_EQ(cmds[5], (Words{4, 5}));
  EXPECT_EQ(cmds.back(), (Words{4, 47}));
}

TEST_F(SoundEngine, UpdateSendsTheRequestTableWhenThereIsRoom) {
  int16_t table[64] = {1, 2, 3};
  ZeSoundSetRequestTable(table, 64);
  ClearPacket();
  SOUND_PlaySFX(0x1000, 6, 0, 0, 0, 0, 0);
  ZeSoundUpdate();
  EXPECT_EQ(senddata[0], 3) << "the effect, the table, the status request";
  EXPECT_EQ(senddata[1 + 8], 256);
  EXPECT_EQ(senddata[1 + 8 + 1], 64);
  ZeSoundSetRequestTable(table, 128);
  ZeSoundUpdate();
  EXPECT_EQ(senddata[0], 1) << "a table of 128 is not sent";
}

TEST_F(SoundEngine, MemoryBarDrawsOneQuadPerBlock) {
  TransferSFXToSPU(0x1000, 0);
  zesound_rndr.quad2d = TestQuad;
  g_quads.clear();
  ZeSoundDrawMem();
  // free to the first buffer, four buffers, the effect, free to the end
  ASSERT_EQ(g_quads.size(), 4u * 7);
  EXPECT_EQ(g_quads[0].colour, 0x80FF0000u);
  EXPECT_EQ(g_quads[4].colour, 0x8000FF00u);
  EXPECT_FLOAT_EQ(g_quads[0].v[1], 0.05f);
  EXPECT_FLOAT_EQ(g_quads.back().v[1], 0.8f);
  EXPECT_FLOAT_EQ(g_quads[1].v[0], 0.925f);
}

TEST_F(SoundEngine, TransferWaitsForTheEffectButNotForEver) {
  ClearPacket();
  SndModuleUnload();  // nothing will ever list the stream
  EXPECT_HALT(TransferSFXToSPU(0x1000, 0), "TransferSFXToSPU - sound 4096 never arrived in sound memory");
  ASSERT_EQ(SndModuleLoad(PSOUND_NULL), 0);
}
