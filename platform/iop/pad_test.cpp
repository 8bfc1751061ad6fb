#include "platform.h"
#include "platform_test.h"

#include <SDL.h>

#include <cstring>

namespace {

alignas(64) unsigned char g_dma[256];

struct Pads : testing::Test {
  void SetUp() override { PlatPadReset(); }
  void TearDown() override { PlatPadReset(); }
  void Script(const char* text, int port = 0) {
    PadSource src;
    ASSERT_TRUE(PadSourceScript(text, &src));
    PlatPadSetSource(port, src);
  }
  // Brings the port's DualShock 2 to analog mode with pressures, as a program would.
  void ToPressureMode() {
    ASSERT_EQ(scePadPortOpen(0, 0, g_dma), 1);
    EXPECT_EQ(scePadGetState(0, 0), scePadStateFindPad);
    EXPECT_EQ(scePadInfoMode(0, 0, InfoModeCurID, 0), 0) << "not identified yet";
    EXPECT_EQ(scePadGetState(0, 0), scePadStateFindCTP1);
    EXPECT_EQ(scePadInfoMode(0, 0, InfoModeCurID, 0), PAD_ID_DIGITAL);
    EXPECT_EQ(scePadInfoMode(0, 0, InfoModeIdTable, -1), 2);
    EXPECT_EQ(scePadSetMainMode(0, 0, 1, 3), 1);
    EXPECT_EQ(scePadGetReqState(0, 0), scePadReqStateBusy);
    EXPECT_EQ(scePadGetState(0, 0), scePadStateStable);
    EXPECT_EQ(scePadGetReqState(0, 0), scePadReqStateComplete);
    EXPECT_EQ(scePadInfoMode(0, 0, InfoModeCurID, 0), PAD_ID_ANALOG);
    EXPECT_EQ(scePadInfoAct(0, 0, -1, 0), 2) << "two motors";
    EXPECT_EQ(scePadEnterPressMode(0, 0), 1);
    scePadGetState(0, 0);
  }
};

}  // namespace

TEST_F(Pads, ScriptFramesBecomeReports) {
  Script("# set-up frames\n- x4\nCROSS=100 UP LX=0 LY=255 START\nUNPLUG\nDS2 NODATA\n");
  ToPressureMode();
  unsigned char r[PAD_REPORT_BYTES];
  EXPECT_EQ(scePadGetState(0, 0), scePadStateStable);
  ASSERT_EQ(scePadRead(0, 0, r), 20);
  EXPECT_EQ(r[0], 0);
  EXPECT_EQ(r[1], 0x79);
  uint32_t held = ~((r[2] << 8) | r[3]) & 0xffff;
  EXPECT_EQ(held, uint32_t(SCE_PADRdown | SCE_PADLup | SCE_PADstart));
  EXPECT_EQ(r[4], 128);
  EXPECT_EQ(r[6], 0);
  EXPECT_EQ(r[7], 255);
  EXPECT_EQ(r[8 + PAD_PRESS_CROSS], 100);
  EXPECT_EQ(r[8 + PAD_PRESS_UP], 255);
  EXPECT_EQ(scePadGetState(0, 0), scePadStateDiscon);
  EXPECT_EQ(scePadRead(0, 0, r), 0);
  EXPECT_EQ(scePadGetState(0, 0), scePadStateFindPad) << "plugged in again";
  EXPECT_EQ(scePadGetState(0, 0), scePadStateFindCTP1);
  EXPECT_EQ(scePadGetState(0, 0), scePadStateStable) << "the script ended: the pad stays";
  ASSERT_EQ(scePadRead(0, 0, r), 4);
  EXPECT_EQ(r[1], 0x41) << "a pad plugged in starts digital";
}

TEST_F(Pads, ModeButtonFailedRequestsAndBadScripts) {
  Script("- x4\n- x5\nMODE x2\n");
  ToPressureMode();
  unsigned char r[PAD_REPORT_BYTES];
  for (int i = 0; i < 5; i++) {
    scePadGetState(0, 0);
    scePadRead(0, 0, r);
    EXPECT_EQ(r[1], 0x79) << "stable while in pressure mode";
  }
  scePadGetState(0, 0);
  scePadRead(0, 0, r);
  EXPECT_EQ(r[1], 0x41);
  scePadGetState(0, 0);
  scePadRead(0, 0, r);
  EXPECT_EQ(r[1], 0x41) << "held, not pressed twice";

  PlatPadFailNextRequest(0);
  EXPECT_EQ(scePadSetMainMode(0, 0, 1, 3), 1);
  EXPECT_EQ(scePadSetMainMode(0, 0, 1, 3), 0) << "one request at a time";
  scePadGetState(0, 0);
  EXPECT_EQ(scePadGetReqState(0, 0), scePadReqStateFaild);
  EXPECT_EQ(scePadInfoMode(0, 0, InfoModeCurID, 0), PAD_ID_DIGITAL);

  PadSource src;
  ConsoleCaptureScope capture;
  EXPECT_FALSE(PadSourceScript("CROSS\nJUMP\n", &src));
  EXPECT_NE(capture.text().find("line 2: unknown word \"JUMP\""), std::string::npos);
  EXPECT_FALSE(PadSourceScript("LX=256", &src));
  EXPECT_FALSE(PadSourceScript("START=3", &src)) << "start has no pressure";
}

TEST_F(Pads, DigitalPadsAndClosedPorts) {
  Script("DIGITAL CROSS x4");
  EXPECT_EQ(scePadGetState(0, 0), scePadStateDiscon) << "not opened";
  EXPECT_EQ(scePadPortOpen(0, 0, g_dma + 8), 0) << "the DMA buffer is 64-byte aligned";
  ASSERT_EQ(scePadPortOpen(0, 0, g_dma), 1);
  EXPECT_EQ(scePadPortOpen(0, 0, g_dma), 0) << "open already";
  scePadGetState(0, 0);
  scePadGetState(0, 0);
  EXPECT_EQ(scePadInfoMode(0, 0, InfoModeCurID, 0), PAD_ID_DIGITAL);
  EXPECT_EQ(scePadInfoMode(0, 0, InfoModeIdTable, -1), 0) << "no other modes";
  EXPECT_EQ(scePadSetMainMode(0, 0, 1, 3), 0);
  EXPECT_EQ(scePadInfoAct(0, 0, -1, 0), 0);
  EXPECT_EQ(scePadInfoPressMode(0, 0), 0);
  EXPECT_EQ(scePadPortClose(0, 0), 1);
  EXPECT_EQ(scePadGetState(0, 0), scePadStateDiscon);
}

namespace {
uint8_t g_keys[SDL_NUM_SCANCODES];
int g_buttons[SDL_CONTROLLER_BUTTON_MAX];
int g_axes[SDL_CONTROLLER_AXIS_MAX];
int g_controllers;
const uint8_t* FakeKeys(int* n) {
  *n = SDL_NUM_SCANCODES;
  return g_keys;
}
int FakeCount() { return g_controllers; }
int FakeButton(int index, int b) { return index == 0 ? g_buttons[b] : 0; }
int FakeAxis(int index, int a) { return index == 0 ? g_axes[a] : 0; }
}  // namespace

TEST_F(Pads, SdlKeyMapAndController) {
  PadSdlApi api{FakeKeys, FakeCount, FakeButton, FakeAxis};
  PadSource src = PadSourceSdl(&api);
  memset(g_keys, 0, sizeof g_keys);
  g_controllers = 0;
  PadFrame f{};
  src.frame(src.context, 1, &f);
  EXPECT_EQ(f.kind, PAD_NONE) << "port 1 needs a second controller";

  struct Case { SDL_Scancode key; uint32_t bit; int pressure; } keys[] = {
      {SDL_SCANCODE_UP, SCE_PADLup, PAD_PRESS_UP}, {SDL_SCANCODE_K, SCE_PADRdown, PAD_PRESS_CROSS},
      {SDL_SCANCODE_L, SCE_PADRright, PAD_PRESS_CIRCLE}, {SDL_SCANCODE_J, SCE_PADRleft, PAD_PRESS_SQUARE},
      {SDL_SCANCODE_I, SCE_PADRup, PAD_PRESS_TRIANGLE}, {SDL_SCANCODE_1, SCE_PADL2, PAD_PRESS_L2},
      {SDL_SCANCODE_RETURN, SCE_PADstart, -1}, {SDL_SCANCODE_BACKSPACE, SCE_PADselect, -1},
  };
  for (const Case& c : keys) {
    memset(g_keys, 0, sizeof g_keys);
    g_keys[c.key] = 1;
    f = PadFrame{};
    src.frame(src.context, 0, &f);
    EXPECT_EQ(f.kind, PAD_DUALSHOCK2);
    EXPECT_EQ(f.buttons, c.bit) << SDL_GetScancodeName(c.key);
    if (c.pressure >= 0) {
      EXPECT_EQ(f.pressure[c.pressure], 255);
    }
  }
  memset(g_keys, 0, sizeof g_keys);
  g_keys[SDL_SCANCODE_A] = g_keys[SDL_SCANCODE_W] = 1;
  g_keys[SDL_SCANCODE_F12] = 1;
  f = PadFrame{};
  f.stick[0] = f.stick[1] = f.stick[2] = f.stick[3] = 128;
  src.frame(src.context, 0, &f);
  EXPECT_EQ(f.stick[2], 0);
  EXPECT_EQ(f.stick[3], 0);
  EXPECT_EQ(f.stick[0], 128);
  EXPECT_TRUE(f.modeButton);
  src.frame(src.context, 0, &f);
  EXPECT_FALSE(f.modeButton) << "held: pressed once";

  memset(g_keys, 0, sizeof g_keys);
  g_controllers = 1;
  g_buttons[SDL_CONTROLLER_BUTTON_A] = 1;
  g_axes[SDL_CONTROLLER_AXIS_TRIGGERRIGHT] = 32767;
  g_axes[SDL_CONTROLLER_AXIS_LEFTX] = 32767;
  f = PadFrame{};
  f.stick[0] = f.stick[1] = f.stick[2] = f.stick[3] = 128;
  src.frame(src.context, 0, &f);
  EXPECT_EQ(f.buttons, uint32_t(SCE_PADRdown | SCE_PADR2));
  EXPECT_EQ(f.pressure[PAD_PRESS_R2], 255);
  EXPECT_EQ(f.stick[2], 255);
  EXPECT_EQ(f.stick[3], 128);
}
