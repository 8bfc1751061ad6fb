#include "zeps2.h"
#include "zecore.h"
#include "platform_test.h"

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Pads : testing::Test {
  ZEPAD* pad = nullptr;
  void SetUp() override {
    PlatPadReset();
    PadRecInfo = nullptr;
    PadDemoEnd = 0;
    PadDemoEndButtons = 0xffff;
  }
  void TearDown() override {
    if (pad) ZePs2ClosePad(pad);
    PadRecInfo = nullptr;
    PlatPadReset();
  }
  void Open(const char* script, int port = 0) {
    PadSource src;
    ASSERT_TRUE(PadSourceScript(script, &src));
    PlatPadSetSource(port, src);
    pad = ZePs2OpenPad(port, 0);
    ASSERT_NE(pad, nullptr);
  }
  // Reads until the pad delivers valid data; the number of reads taken.
  int ReadUntilValid(int limit = 40) {
    for (int n = 1; n <= limit; n++)
      if (ZePs2ReadPad(pad) != 0) return n;
    return -1;
  }
};

// Frames a DualShock 2 takes from being plugged in to its first valid read.
constexpr int DS2_SETUP_READS = 12;

}  // namespace

TEST_F(Pads, AnalogPadIsSetUpOneRequestAFrame) {
  Open("- x11\nLX=0 LY=0 RX=255 CROSS=200 R1\n-\n");
  // Set-up states after each read: probing until the pad is found, the
  // digital pad's modes, analog mode requested and waited for, probed again
  // as analog, motors aligned, pressure mode asked for, requested, waited for.
  const int states[] = {0, 1, 2, 3, 0, 4, 5, 6, 7, 8, 9};
  for (int expected : states) {
    EXPECT_EQ(ZePs2ReadPad(pad), 0);
    EXPECT_EQ(pad->state, expected);
  }
  EXPECT_EQ(pad->termid, PAD_ID_ANALOG);
  EXPECT_EQ(pad->flags, ZEPAD_ANALOG | ZEPAD_PRESSURE);
  EXPECT_EQ(ZePs2ReadPad(pad), -1);
  EXPECT_EQ(pad->flags, ZEPAD_ANALOG | ZEPAD_PRESSURE | ZEPAD_VALID);
  EXPECT_EQ(pad->raw[1], 0x79);
  EXPECT_EQ(pad->buttons, uint32_t(SCE_PADRdown | SCE_PADR1));
  EXPECT_EQ(pad->pressed, pad->buttons);
  EXPECT_EQ(pad->raw[8 + PAD_PRESS_CROSS], 200);
  EXPECT_EQ(pad->raw[8 + PAD_PRESS_R1], 255);
  EXPECT_EQ(pad->lx, -128);
  EXPECT_EQ(pad->ly, 128);
  EXPECT_EQ(pad->rx, 127);
  EXPECT_EQ(pad->ry, 0);
  EXPECT_EQ(pad->flx, -1.0f) << "full left";
  EXPECT_EQ(pad->fly, 1.0f) << "full up";
  EXPECT_NEAR(pad->frx, 127.0 / 128 * 1.1 - 0.1, 1e-6);
  EXPECT_EQ(pad->fry, 0.0f);

  EXPECT_EQ(ZePs2ReadPad(pad), -1);
  EXPECT_EQ(pad->buttons, 0u);
  EXPECT_EQ(pad->pressed, 0u);
  EXPECT_EQ(pad->released, uint32_t(SCE_PADRdown | SCE_PADR1));

  unsigned char motors[6];
  EXPECT_EQ(ZePs2PadSetMotors(pad, 3, 0x1ff), 1);
  PlatPadMotors(0, motors);
  EXPECT_EQ(motors[0], 1);
  EXPECT_EQ(motors[1], 0xff);
}

TEST_F(Pads, ModeSwitchSetsThePadUpAgainAndUnplugClearsIt) {
  Open("- x12\nMODE\n- x30\nCROSS UP\nUNPLUG\n");
  ASSERT_EQ(ReadUntilValid(), DS2_SETUP_READS);
  EXPECT_EQ(ZePs2ReadPad(pad), 0) << "the terminal byte changed";
  EXPECT_EQ(pad->state, 0);
  EXPECT_EQ(pad->flags & (ZEPAD_ANALOG | ZEPAD_PRESSURE), 0u);
  int reads = ReadUntilValid();
  ASSERT_GT(reads, 0);
  EXPECT_EQ(pad->flags, ZEPAD_ANALOG | ZEPAD_PRESSURE | ZEPAD_VALID) << "back in analog mode with pressures";
  EXPECT_EQ(pad->raw[1], 0x79);
  for (int i = DS2_SETUP_READS + 1 + reads; i < DS2_SETUP_READS + 1 + 30; i++) EXPECT_NE(ZePs2ReadPad(pad), 0);
  EXPECT_EQ(ZePs2ReadPad(pad), -1);
  EXPECT_EQ(pad->pressed, uint32_t(SCE_PADRdown | SCE_PADLup));

  EXPECT_EQ(ZePs2ReadPad(pad), 0) << "unplugged";
  EXPECT_EQ(pad->state, 0);
  EXPECT_EQ(pad->buttons, 0u);
  EXPECT_EQ(pad->released, 0u) << "no edges from an unplugged pad";
  EXPECT_EQ(pad->raw[4], 128);
  EXPECT_EQ(pad->raw[8 + PAD_PRESS_CROSS], 0);
  EXPECT_EQ(pad->flags, 0u);
}

TEST_F(Pads, DigitalPadHasNoSticksOrMotors) {
  Open("DIGITAL x3\nDIGITAL CROSS LX=0\n");
  EXPECT_EQ(ReadUntilValid(), 4);
  EXPECT_EQ(pad->termid, PAD_ID_DIGITAL);
  EXPECT_EQ(pad->flags, ZEPAD_VALID);
  EXPECT_EQ(pad->buttons, uint32_t(SCE_PADRdown));
  EXPECT_EQ(pad->raw[6], 128);
  EXPECT_EQ(pad->lx, 0);
  EXPECT_EQ(ZePs2PadSetMotors(pad, 1, 255), 0);
  unsigned char motors[6];
  PlatPadMotors(0, motors);
  EXPECT_EQ(motors[0] | motors[1], 0) << "nothing sent";
}

TEST_F(Pads, ReadsWithoutDataAreNotValid) {
  // A read that delivers nothing; a pad changed for another (found again,
  // while the record is ready); a failed request.
  Open("- x12\nCROSS\nNODATA CROSS\nCROSS\nDIGITAL CROSS\n");
  ASSERT_EQ(ReadUntilValid(), DS2_SETUP_READS);
  EXPECT_EQ(ZePs2ReadPad(pad), -1);
  EXPECT_EQ(pad->pressed, uint32_t(SCE_PADRdown));
  EXPECT_EQ(ZePs2ReadPad(pad), 0) << "no data is not every button held";
  EXPECT_EQ(pad->buttons, 0u);
  EXPECT_EQ(pad->pressed, 0u);
  EXPECT_EQ(pad->released, 0u);
  EXPECT_EQ(ZePs2ReadPad(pad), -1);
  EXPECT_EQ(pad->pressed, uint32_t(SCE_PADRdown));
  EXPECT_EQ(ZePs2ReadPad(pad), 0) << "being found again: not read, not valid";
  EXPECT_EQ(pad->buttons, 0u);
  EXPECT_EQ(pad->pressed, 0u);

  ZePs2ClosePad(pad);
  pad = nullptr;
  PlatPadReset();
  Open("");
  for (int i = 0; i < 3; i++) ZePs2ReadPad(pad);
  EXPECT_EQ(pad->state, 2);
  PlatPadFailNextRequest(0);
  ZePs2ReadPad(pad);
  EXPECT_EQ(pad->state, 3);
  ZePs2ReadPad(pad);
  EXPECT_EQ(pad->state, 2) << "a failed request is made again";
  EXPECT_EQ(ReadUntilValid(), 9);
}

TEST_F(Pads, OpeningAndClosingPorts) {
  EXPECT_EQ(ZePs2OpenPad(2, 0), nullptr) << "no such port";
  Open("UNPLUG");
  EXPECT_EQ(ZePs2OpenPad(0, 0), nullptr) << "open already";
  EXPECT_EQ(reinterpret_cast<uintptr_t>(pad->padarea) % 16, 0u);
  EXPECT_EQ(pad->lscalex, 1.0f);
  EXPECT_EQ(pad->rdzy, 0.1f);
  EXPECT_EQ(pad->actalign[1], 1);
  EXPECT_EQ(pad->actalign[2], 0xff);
  EXPECT_EQ(ZePs2ReadPad(pad), 0);
}

TEST(PadDeadZones, IntegerMaps) {
  struct { int v, out; } values[] = {{0, 0}, {32, 0}, {-32, 0}, {33, 1}, {-33, -1}, {127, 108}, {-128, -109}};
  for (auto c : values) EXPECT_EQ(DeadZoneValue(c.v), c.out) << c.v;
  struct { int raw, dz, out; } applied[] = {
      {128, 0, 0}, {128, 40, 0}, {255, 0, 127}, {0, 0, -128}, {140, 12, 0}, {141, 12, 1},
      {116, 12, 0}, {115, 12, -1}, {255, 20, 116}, {0, 20, -117},
  };
  for (auto c : applied) EXPECT_EQ(ZePs2ApplyDeadZone(c.raw, c.dz), c.out) << c.raw << " " << c.dz;
}

TEST_F(Pads, StickDeadZoneAndMapping) {
  Open("- x11\nLY=117 LX=140\nLY=116 LX=0\n");
  ASSERT_EQ(ReadUntilValid(), DS2_SETUP_READS);
  EXPECT_EQ(pad->ly, 11);
  EXPECT_EQ(pad->fly, 0.0f) << "within 11 of the centre";
  EXPECT_NEAR(pad->flx, 12 * 1.1 / 128 - 0.1, 1e-6) << "12 from the centre";
  pad->flags |= ZEPAD_STICKMAP;
  ZePs2ReadPad(pad);
  EXPECT_EQ(pad->ly, 0) << "12 through the fixed map";
  EXPECT_EQ(pad->lx, -109);
}

// ---- recording -------------------------------------------------------

namespace {

struct Seen {
  int valid;
  uint32_t buttons, pressed, released;
  int lx, ly;
};
bool operator==(const Seen& a, const Seen& b) {
  return a.valid == b.valid && a.buttons == b.buttons && a.pressed == b.pressed && a.released == b.released &&
         a.lx == b.lx && a.ly == b.ly;
}

struct PadRecording : Pads {
  std::string dir;
  // The recording buffer, in EE memory as the program's is; one word past
  // its frames shows whether anything was written beyond it.
  struct Words {
    int32_t* words = nullptr;
    size_t count = 0;
    int32_t& operator[](size_t i) { return words[i]; }
    int32_t& back() { return words[count - 1]; }
    int32_t* data() { return words; }
  } buffer;
  void SetUp() override {
    Pads::SetUp();
    dir = TestTempDir();
    PlatSetHostRoot(dir.c_str());
  }
  void TearDown() override {
    Pads::TearDown();
    PlatSetHostRoot(nullptr);
    EeFree(buffer.words);
  }
  void* Buffer(int frames) {
    EeFree(buffer.words);
    buffer.count = size_t(frames) * ZEPADREC_FRAME / 4 + 1;
    buffer.words = static_cast<int32_t*>(EeMalloc(buffer.count * 4));
    for (size_t i = 0; i < buffer.count; i++) buffer.words[i] = 0x5a5a5a5a;
    return buffer.words;
  }
  Seen Read() {
    int r = ZePs2ReadPad(pad);
    return Seen{r, pad->buttons, pad->pressed, pad->released, pad->lx, pad->ly};
  }
  long FileSize(const char* name) {
    std::ifstream f(dir + "/" + name, std::ios::binary | std::ios::ate);
    return f ? long(f.tellg()) : -1;
  }
};

}  // namespace

TEST_F(PadRecording, RecordSaveAndPlayBack) {
  Open("- x12\nCROSS LX=0\nCROSS\nNODATA\nSQUARE LY=0\n-\nTRIANGLE\n- x40\nCIRCLE\n");
  InitPadPlayRecord(nullptr, 1, 100, Buffer(100));
  EXPECT_EQ(PadRecInfo->limit, 98);
  std::vector<Seen> live;
  for (int i = 0; i < 18; i++) live.push_back(Read());
  EXPECT_EQ(PadRecPtr(), 18);
  SavePadRecord("PAD.BIN");
  EXPECT_EQ(PadRecPtr(), 18) << "recording goes on";
  EXPECT_EQ(FileSize("PAD.BIN"), 18 * ZEPADREC_FRAME) << "(count + 2) x 20 bytes, count = 16";

  // Play back on a pad that presses nothing: frames 0 .. count - 2 are applied.
  ZePs2ClosePad(pad);
  pad = nullptr;
  Open("- x40");
  InitPadPlayRecord("PAD.BIN", 2, 100, Buffer(100));
  EXPECT_EQ(PadDemoEnd, 0);
  EXPECT_EQ(PadRecInfo->count, 16);
  EXPECT_EQ(PadRecInfo->limit, 98);
  for (int i = 0; i <= 14; i++) {
    EXPECT_EQ(Read(), live[size_t(i)]) << "frame " << i;
    EXPECT_EQ(PadDemoEnd, i == 14 ? 1 : 0) << "frame " << i;
  }
  EXPECT_EQ(PadRecInfo->mode, 0) << "the play-back ended";
  EXPECT_EQ(Read().valid, -1) << "live again: the pad being set up";
}

TEST_F(PadRecording, LivePressEndsPlayBackAndBadFilesAreRefused) {
  Open("- x12\nCROSS\n- x17\n");
  InitPadPlayRecord(nullptr, 1, 100, Buffer(100));
  for (int i = 0; i < 30; i++) Read();
  SavePadRecord("PAD.BIN");
  ZePs2ClosePad(pad);
  pad = nullptr;

  Open("- x12\nSTART\n");
  InitPadPlayRecord("PAD.BIN", 2, 100, Buffer(100));
  ZeSetPadDemoEndButtons(SCE_PADRdown);
  for (int i = 0; i < 13; i++) Read();
  EXPECT_EQ(PadDemoEnd, 0) << "start is not a demo-end button";
  ZeSetPadDemoEndButtons(0xffff);
  ZePs2ClosePad(pad);
  pad = nullptr;
  Open("- x12\nSTART\n");
  InitPadPlayRecord("PAD.BIN", 2, 100, Buffer(100));
  for (int i = 0; i < 12; i++) Read();
  EXPECT_EQ(PadDemoEnd, 0);
  Read();
  EXPECT_EQ(PadDemoEnd, 1) << "a live press ends it in the same frame";
  EXPECT_EQ(PadRecInfo->mode, 0);

  // Larger than the buffer: refused, nothing written past it.
  InitPadPlayRecord("PAD.BIN", 2, 10, Buffer(10));
  EXPECT_EQ(PadDemoEnd, 1);
  EXPECT_EQ(buffer.back(), 0x5a5a5a5a);
  // Missing.
  InitPadPlayRecord("NONE.BIN", 2, 100, Buffer(100));
  EXPECT_EQ(PadDemoEnd, 1);
  // A frame count beyond the frames the file holds is cut down.
  {
    std::ofstream f(dir + "/BIG.BIN", std::ios::binary);
    int32_t header[4] = {0, 1, 1000, 98};
    f.write(reinterpret_cast<char*>(header), 16);
    f.write(std::string(5 * ZEPADREC_FRAME, '\x01').data(), 5 * ZEPADREC_FRAME);
  }
  InitPadPlayRecord("BIG.BIN", 2, 100, Buffer(100));
  EXPECT_EQ(PadDemoEnd, 0);
  EXPECT_EQ(PadRecInfo->count, 6) << "frames 0-4 can be played";
}

TEST_F(PadRecording, BuffersLimitsAndOff) {
  EXPECT_EQ(PadRecPtr(), 0);
  Open("- x20");
  int32_t* first = static_cast<int32_t*>(EeMalloc(160));
  InitPadPlayRecord(nullptr, 1, 6, first);
  EeFree(first);  // its owner let it go: the next buffer must replace it
  InitPadPlayRecord(nullptr, 1, 6, Buffer(6));
  EXPECT_EQ(PadRecInfo, reinterpret_cast<ZEPADREC*>(buffer.data())) << "the new buffer is taken";
  for (int i = 0; i < 10; i++) Read();
  EXPECT_EQ(PadRecPtr(), 4) << "the frame limit is frames - 2";
  EXPECT_EQ(buffer[(16 + 4 * ZEPADREC_FRAME) / 4], 0) << "nothing recorded past the limit";
  EXPECT_EQ(buffer.back(), 0x5a5a5a5a);
  PadPlayOff();
  EXPECT_EQ(PadRecInfo, nullptr);
  EXPECT_EQ(PadRecPtr(), 0);
  SavePadRecord("PAD.BIN");
  EXPECT_EQ(FileSize("PAD.BIN"), -1) << "nothing to save";
  EXPECT_HALT(InitPadPlayRecord(nullptr, 1, 1, Buffer(1)), "too small");
  PadRecInfo = nullptr;
}
