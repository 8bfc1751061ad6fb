// The game-flow debug view in the running game: the "GameFlow" debug page
// shows the program, the pad sets a breakpoint, steps one instruction at a
// time and lets the program run again.
#include "game.h"
#include "game_test.h"
#include "platform_test.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace {

struct GameFlowView : testing::Test {
  GfcProgram* saved = nullptr;
  char* buffer = nullptr;
  void SetUp() override {
    GameTestStart();
    // The pad takes some frames to come up after the start.
    for (int i = 0; i < 20; i++) MainFrame();
    saved = gameflow_prog;
    // A program of the test's own, compiled from a disc of its own.
    const std::string dir = TestTempDir();
    std::filesystem::create_directories(dir + "/DATA");
    std::ofstream(dir + "/DATA/VIEW.FLO") << "AddSem n 0 100\nstart: SignalSem n\nSignalSem n\nSignalSem n\nHalt\n";
    ZEDAT* dat = ZeDatSet(nullptr);
    const std::string root = PlatGetDiscRoot();
    PlatSetDiscRoot(dir.c_str());
    const int size = int(sizeof(GfcProgram)) + 16;
    buffer = static_cast<char*>(EeMalloc(size_t(size)));
    char* cursor = buffer;
    gameflow_prog = gfcLoadProgram("view.flo", &cursor, buffer + size);
    PlatSetDiscRoot(root.c_str());
    ZeDatSet(dat);
    gfc_breakpoint = -1;
    gfc_singlestep = gfc_step = 0;
    gfc_follow = 1;
    gfc_toprow = 0;
    dbgfn_display = 1;
    dbgfn_selected = 5;  // "GameFlow"
    dbgfn_name_timer = 0;
  }
  void TearDown() override {
    dbgfn_display = 0;
    gfc_breakpoint = -1;
    gfc_singlestep = 0;
    gameflow_prog = saved;
    EeFree(buffer);
    SetPadScript(0, "-\n");
  }
};

enum Pen { BLUE, GREY };

// Pixels of text in one pen: the pen 0x80800000 draws blue alone, the pen
// 0x80808080 grey (the exact levels depend on the font's edges).
int Lit(const Picture& p, int x0, int x1, int y0, int y1, Pen pen) {
  int n = 0;
  for (int y = y0; y < y1; y++) {
    for (int x = x0; x < x1; x++) {
      const uint32_t c = p.at(x, y);
      const uint32_t r = c & 0xff, g = (c >> 8) & 0xff, b = (c >> 16) & 0xff;
      if (pen == BLUE ? r == 0 && g == 0 && b >= 0x40 : r >= 0x40 && r == g && g == b) n++;
    }
  }
  return n;
}

}  // namespace

TEST_F(GameFlowView, BreakpointAndSingleStepFromThePad) {
  const int n = gfcFindSem("n");
  // Left on the first frame sets the breakpoint at the top row (the PC):
  // the program stops before running it.
  SetPadScript(0, "LEFT\n-\n");
  MainFrame();
  EXPECT_EQ(gfc_breakpoint, 0);
  EXPECT_EQ(gfc_singlestep, 1);
  EXPECT_EQ(gameflow_prog->pc, 0);
  MainFrame();
  MainFrame();
  EXPECT_EQ(gameflow_prog->pc, 0) << "held at the breakpoint";
  const Picture p = Shown();
  // The PC's row in the pen 0x80800000 (blue) in the code column, the other
  // rows and the registers in 0x80808080 (white).
  const int blue = Lit(p, 80, 400, 32, 224, BLUE);
  EXPECT_GT(blue, 20) << "the PC's row";
  EXPECT_GT(Lit(p, 80, 400, 32, 224, GREY), blue) << "the other rows";
  const int status = Lit(p, 400, 640, 32, 224, GREY);
  EXPECT_GT(status, 20) << "PC, BP, SP, IP and the mode";

  // Each press of right runs one instruction.
  SetPadScript(0, "RIGHT\n-\n-\nRIGHT\n-\n");
  MainFrame();
  EXPECT_EQ(gameflow_prog->pc, 1);
  EXPECT_EQ(gfcInterrogateSemById(n), 1);
  MainFrame();
  MainFrame();
  EXPECT_EQ(gameflow_prog->pc, 1);
  MainFrame();
  EXPECT_EQ(gameflow_prog->pc, 2);
  EXPECT_EQ(gfcInterrogateSemById(n), 2);
  // Right with L2 held lets the program run again; "Running" is narrower
  // than "Single Step".
  SetPadScript(0, "L2\nL2 RIGHT\n-\n");
  MainFrame();
  MainFrame();
  EXPECT_EQ(gfc_singlestep, 0);
  EXPECT_EQ(gameflow_prog->pc, 3);
  MainFrame();
  MainFrame();
  EXPECT_EQ(gameflow_prog->pc, 3) << "on Halt";
  EXPECT_EQ(gfcInterrogateSemById(n), 3);
  const Picture running = Shown();
  EXPECT_LT(Lit(running, 400, 640, 32, 224, GREY), status);
  EXPECT_GT(Lit(running, 80, 400, 32, 224, BLUE), 20) << "the PC's row, now on Halt";
  // The view follows the PC only when it leaves the rows shown: up stops at
  // row 0, down moves the top row; left sets the breakpoint there, and a
  // second left clears it.
  SetPadScript(0, "UP\n-\nDOWN\n-\nLEFT\n-\nLEFT\n-\n");
  MainFrame();
  EXPECT_EQ(gfc_toprow, 0);
  MainFrame();
  MainFrame();
  EXPECT_EQ(gfc_toprow, 1);
  MainFrame();
  MainFrame();
  EXPECT_EQ(gfc_breakpoint, 1);
  MainFrame();
  MainFrame();
  EXPECT_EQ(gfc_breakpoint, -1);
}
