// The game-flow compiler's messages, labels and includes; the machine's
// slices, interrupts, stack and semaphores; the built-in commands; the log.
#include "gameflow_testutil.h"
#include "zetools.h"

namespace {

using FlowCompile = FlowTest;
using FlowRun = FlowTest;

std::string Repeat(const std::string& line, int n) {
  std::string s;
  for (int i = 0; i < n; i++) s += line;
  return s;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// ---- compiler ----------------------------------------------------------------

TEST_F(FlowCompile, BuiltinsAreRowsZeroTo26) {
  gfcInit();
  ASSERT_EQ(gfc_ncmdtypes, GFC_BUILTINS);
  EXPECT_STREQ(gfc_cmdtypes[0].name, "#Strict");
  EXPECT_STREQ(gfc_cmdtypes[9].name, "WaitSemMulti");
  EXPECT_STREQ(gfc_cmdtypes[18].name, "Wait");
  EXPECT_STREQ(gfc_cmdtypes[26].name, "DebugMsg");
}

TEST_F(FlowCompile, LabelsInstructionsAndOperands) {
  GfcProgram* prog = Compile("AddSem s 1 3\n"
                             "\n"
                             "start: SetSem S 7 ; remark\n"
                             "later:\n"
                             "GoTo Fwd\n"
                             "IfSemLT s -2 START\n"
                             "fwd: Wait 5\n");
  ASSERT_EQ(prog->ninstr, 4);
  EXPECT_EQ(prog->code[0].command, 5);
  EXPECT_EQ(prog->code[0].line, 2);
  EXPECT_EQ(gfcOperandFirst(&prog->code[0]), 0);
  EXPECT_EQ(gfcOperandSecond(&prog->code[0]), 7);
  int start = gfcFindLabel(prog, "start"), later = gfcFindLabel(prog, "LATER"), fwd = gfcFindLabel(prog, "fwd");
  EXPECT_EQ(prog->labels[start].pc, 0);
  EXPECT_EQ(prog->labels[later].pc, 1) << "a label alone stands before the next command";
  EXPECT_EQ(prog->labels[fwd].pc, 3);
  EXPECT_EQ(gfcOperandFirst(&prog->code[1]), fwd) << "the operand holds the label's index";
  const auto* rec = static_cast<const int16_t*>(gfcData(prog, prog->code[2].operand));
  EXPECT_EQ(rec[0], 0);
  EXPECT_EQ(rec[1], start);
  EXPECT_EQ(rec[2], -2);
  EXPECT_EQ(gfcOperandFirst(&prog->code[3]), 5);
  EXPECT_EQ(gfcFindLabel(prog, "none"), -1);
  EXPECT_EQ(prog->dataused % 4, 0);
}

TEST_F(FlowCompile, MessagesAsATable) {
  struct Case {
    std::string text;
    std::string message;
    bool fatal;
  } cases[] = {
      {"#Strict\nFoo 1\n", "Unknown gameflow command at line 1 - Foo 1", true},
      {"Foo 1\nHalt\n", "Unknown gameflow command at line 0 - Foo 1", false},
      {"a: b: Halt\nGoTo a\n", "Unknown gameflow command at line 0 - a: b: Halt", false},
      {"a: Halt\nb: Halt\nA:\n", "Multiple definition of label at 2 - A:", true},
      {"GoTo nowhere\n", "Undefined label \"nowhere\" in scripts - t.flo", true},
      {Repeat("l:\n", 1) + [] {
         std::string s;
         for (int i = 0; i < 256; i++) s += "l" + std::to_string(i) + ":\n";
         return s;
       }(),
       "Too many labels at line 256 - l255:", true},
      {"GoTo\n", "missing label at line 0 - GoTo", true},
      {"Halt\n:\n", "missing label at line 1 - :", true},
      {Repeat("DebugMsg " + std::string(250, 'x') + "\n", 17), "GameFlow Compiler - data buffer overrun at line 16", true},
      {"AddSem s 0 1\nAddSem t 0 1\nSignalSem u\n", "Unable to find semaphore at line 2 - SignalSem u", true},
      {"AddSem s 0 1\nWaitSemMulti ; none\n", "Missing Semaphores at line 1 - WaitSemMulti ; none", true},
      {"AddSem s 0 1\nAddSem s 0 1\nHalt\n", "Semaphore already exists at line 1 - AddSem s 0 1", false},
      {"AddSem s 0 1\nAddSem S 0 1\nHalt\n", "Warning - multiple definition of semaphore S", false},
      {"AddSem s 0 1\nAddSem s 0 2\n", "Multiple definition of semaphore s with different attributes", true},
      {"#include none.flo\n", "unable to open gameflow script none.flo", true},
      {"Wait -1\n", "Wait count out of range 0 to 32767 at line 0 - Wait -1", true},
      {"Wait 40000\n", "Wait count out of range 0 to 32767 at line 0 - Wait 40000", true},
      {Repeat("Break\n", 4097), "more than 4096 instructions in t.flo at line 4096 - Break", true},
  };
  for (const Case& c : cases) {
    std::string console;
    bool halted = RunExpectingHalt([&] { Compile(c.text); }, &console);
    ResetFiles();
    EXPECT_EQ(halted, c.fatal) << c.message;
    EXPECT_TRUE(Has(console, c.message)) << c.message << "\nconsole: " << console.substr(0, 2000);
  }
}

TEST_F(FlowCompile, GlobalAreaAndCommandTableLimits) {
  std::string sems;
  for (int i = 0; i < 20; i++) sems += "AddSem " + std::to_string(i) + std::string(200, 's') + " 0 1\n";
  EXPECT_FLOW_HALT(Compile(sems), "global data buffer overrun");
  gfcInit();
  EXPECT_FLOW_HALT(gfcAddCommandType("halt", nullptr, nullptr), "Command \"halt\" already exists");
  gfcInit();
  auto add = [] {
    for (int i = 0; i < GFC_MAX_CMDTYPES - GFC_BUILTINS; i++)
      gfcAddCommandType(("Cmd" + std::to_string(i)).c_str(), nullptr, nullptr);
  };
  add();
  EXPECT_EQ(gfc_ncmdtypes, 128);
  EXPECT_FLOW_HALT(gfcAddCommandType("Cmd129", nullptr, nullptr), "Too many command types");
}

TEST_F(FlowCompile, FullProgramStillTakesDirectivesAndLabels) {
  GfcProgram* prog = Compile(Repeat("Break\n", 4096) + "#Strict\nend:\nAddSem s 0 1\n");
  EXPECT_EQ(prog->ninstr, 4096);
  EXPECT_EQ(prog->labels[gfcFindLabel(prog, "end")].pc, 4096);
}

TEST_F(FlowCompile, WaitSemMultiTakesAtMost32) {
  std::string add, list;
  for (int i = 0; i < 33; i++) {
    add += "AddSem s" + std::to_string(i) + " 0 1\n";
    list += " s" + std::to_string(i);
  }
  ConsoleCaptureScope capture;
  GfcProgram* prog = Compile(add + "WaitSemMulti" + list + "\n");
  EXPECT_TRUE(Has(capture.text(), "Too many semaphores at line 33"));
  const auto* rec = static_cast<const int16_t*>(gfcData(prog, prog->code[0].operand));
  EXPECT_EQ(rec[0], 32);
  EXPECT_EQ(rec[32], 31);
}

TEST_F(FlowCompile, RecordThatDoesNotFitIsRefused) {
  Make("t.flo", "Halt\n");
  gfcInit();
  char* cursor = buffer;
  EXPECT_FLOW_HALT(gfcLoadProgram("t.flo", &cursor, buffer + sizeof(GfcProgram) - 1),
              "no room for the program of t.flo");
  cursor = buffer;
  GfcProgram* prog = gfcLoadProgram("t.flo", &cursor, buffer + sizeof(GfcProgram));
  EXPECT_EQ(reinterpret_cast<char*>(prog), buffer);
  EXPECT_EQ(cursor, buffer + sizeof(GfcProgram));
}

TEST_F(FlowCompile, IncludesShareLabelsAndStrictness) {
  Make("inc\\sub.flo", "DebugMsg in sub\nsubl: Return\n#Strict\n");
  GfcProgram* prog = Compile("before:\n#include inc\\sub.flo\nGoSub subl\nHalt\n");
  ASSERT_EQ(prog->ninstr, 4);
  EXPECT_EQ(prog->labels[gfcFindLabel(prog, "before")].pc, 0) << "stands before the included file's command";
  EXPECT_EQ(prog->labels[gfcFindLabel(prog, "subl")].pc, 1);
  EXPECT_EQ(prog->code[1].line, 1) << "lines count in their own file";
  EXPECT_EQ(prog->code[2].line, 2);
  EXPECT_EQ(gfc_strict, 1) << "the setting stays across included files";
}

TEST_F(FlowCompile, FileIncludingItselfIsRefused) {
  Make("a.flo", "Halt\n#include b.flo\n");
  Make("b.flo", "#include a.flo\n");
  EXPECT_FLOW_HALT(Compile("#include a.flo\n"), "more than 16 nested files at line 1 of a.flo - #include b.flo");
  // The next load closes what the stop left open and works.
  GfcProgram* prog = Compile("Halt\n");
  EXPECT_EQ(prog->ninstr, 1);
}

// Through an archive one member is open at a time: the includer's file is
// closed while the included one is read.
TEST_F(FlowCompile, IncludeThroughTheArchive) {
  Make("tree/torva.flo", "AddSem s 0 1\n#include flow\\inc.flo\nGoTo there\n");
  Make("tree/flow/inc.flo", "there: Halt\n");
  std::string error;
  ASSERT_TRUE(ArcBuild(dir + "/tree", dir + "/gblds.dat", ArcBuildOptions{}, &error)) << error;
  ZEDAT* dat = ZeDatOpen("gblds.dat", nullptr, nullptr);
  ASSERT_NE(dat, nullptr);
  ZeDatSet(dat);
  gfcInit();
  char* cursor = buffer;
  GfcProgram* prog = gfcLoadProgram("torva.flo", &cursor, buffer + BUFFER);
  EXPECT_EQ(prog->ninstr, 2);
  EXPECT_EQ(prog->labels[gfcFindLabel(prog, "there")].pc, 0);
  ZeDatSet(nullptr);
  ZeDatClose(dat);
}

// ---- machine ------------------------------------------------------------------------

TEST_F(FlowRun, InterruptsRunFirstQueuedFirstDuringWaitSem) {
  ConsoleCaptureScope capture;
  GfcProgram* prog = Compile("AddSem s 0 1\n"
                             "WaitSem s\nDebugMsg after\nHalt\n"
                             "A: DebugMsg handlerA\nReturn\n"
                             "B: DebugMsg handlerB\nReturn\n");
  gfcRunProgram(prog);
  EXPECT_EQ(prog->pc, 0);
  EXPECT_EQ(gfcGoSubLabel(prog, "A"), 1);
  EXPECT_EQ(gfcGoSubLabel(prog, "b"), 1) << "found without regard to case";
  capture.clear();
  gfcRunProgram(prog);  // the wait yields with result 1: both are taken
  EXPECT_EQ(prog->nints, 0);
  EXPECT_EQ(prog->sp, 2);
  gfcRunProgram(prog);
  std::string t = capture.text();
  size_t a = t.find("handlerA"), b = t.find("handlerB");
  ASSERT_NE(a, std::string::npos);
  ASSERT_NE(b, std::string::npos);
  EXPECT_LT(a, b);
  EXPECT_FALSE(Has(t, " after"));
  EXPECT_EQ(prog->pc, 0) << "the wait is tried again";
  EXPECT_EQ(prog->sp, 0);
  gfcSignalSemById(gfcFindSem("s"));
  gfcRunProgram(prog);
  EXPECT_TRUE(Has(capture.text(), "(GFS:0002)  after"));
  EXPECT_EQ(gfcGoSubLabel(prog, "none"), 0);
  EXPECT_TRUE(Has(capture.text(), "Attempted to Jump to unknow gameflow script label none"));
}

TEST_F(FlowRun, InterruptDuringWaitRunsAfterIt) {
  ConsoleCaptureScope capture;
  GfcProgram* prog = Compile("Wait 3\nDebugMsg next\nHalt\nA: DebugMsg handler\nReturn\n");
  gfcRunProgram(prog);
  gfcGoSubLabel(prog, "A");
  capture.clear();
  gfcRunProgram(prog);
  EXPECT_EQ(prog->nints, 1) << "held while the wait counts";
  EXPECT_EQ(prog->pc, 0);
  gfcRunProgram(prog);
  std::string t = capture.text();
  ASSERT_TRUE(Has(t, "handler"));
  EXPECT_LT(t.find("handler"), t.find(" next"));
  EXPECT_EQ(prog->pc, 2);
}

TEST_F(FlowRun, WaitCounts) {
  // Wait 0 and 1 pass at once; Wait 3 holds two further slices, and counts
  // from the start again when re-entered.
  GfcProgram* prog = Compile("AddSem n 0 100\nWait 0\nWait 1\nloop: Wait 3\nSignalSem n\nGoTo loop\n");
  gfcRunProgram(prog);
  EXPECT_EQ(prog->pc, 2);
  int n = gfcFindSem("n");
  for (int slice = 0; slice < 2; slice++) gfcRunProgram(prog);
  EXPECT_EQ(gfcInterrogateSemById(n), 1);
  EXPECT_EQ(prog->pc, 2) << "back on the Wait";
  gfcRunProgram(prog);
  EXPECT_EQ(gfcInterrogateSemById(n), 1);
  gfcRunProgram(prog);
  EXPECT_EQ(gfcInterrogateSemById(n), 2);
}

TEST_F(FlowRun, BudgetOf64AndNextSliceGoesOn) {
  ConsoleCaptureScope capture;
  GfcProgram* prog = Compile("AddSem n 0 1000\ntop: SignalSem n\nGoTo top\n");
  gfcRunProgram(prog);
  int n = gfcFindSem("n");
  EXPECT_EQ(gfcInterrogateSemById(n), 32);
  EXPECT_TRUE(Has(capture.text(), "Continuous Program Execution has exceeded 64 instructions"));
  gfcRunProgram(prog);
  EXPECT_EQ(gfcInterrogateSemById(n), 64);
}

TEST_F(FlowRun, SemaphoreClamps) {
  GfcProgram* prog = Compile("AddSem a 0 1\nAddSem b 0 5\nAddSem c 9 3\n"
                             "SignalSem a\nSignalSem a\nPollSem b\nSetSem b 9\nSetSem b -4\nHalt\n");
  int a = gfcFindSem("a"), b = gfcFindSem("b"), c = gfcFindSem("c");
  EXPECT_EQ(gfcInterrogateSemById(c), 3) << "declared above its maximum";
  gfcRunProgram(prog);
  EXPECT_EQ(gfcInterrogateSemById(a), 1);
  EXPECT_EQ(gfcInterrogateSemById(b), -4) << "setting keeps it at most the maximum, not at 0 or above";
  gfcSetSemById(b, -7);
  EXPECT_EQ(gfcInterrogateSemById(b), -7);
  gfcSignalSemById(b);
  EXPECT_EQ(gfcInterrogateSemById(b), -6);
  gfcPollSemById(b);
  EXPECT_EQ(gfcInterrogateSemById(b), 0) << "polling does not take it below 0";
  gfcSetSemById(b, 5);
  gfcSetSemById(c, 5);
  EXPECT_EQ(gfcInterrogateSemById(c), 3);
  gfcPollSemById(a);
  gfcPollSemById(a);
  EXPECT_EQ(gfcInterrogateSemById(a), 0);
  gfcSignalSemById(a);
  gfcSignalSemById(a);
  EXPECT_EQ(gfcInterrogateSemById(a), 1);
  gfcResetSemById(b);
  EXPECT_EQ(gfcInterrogateSemById(b), 0);
  EXPECT_STREQ(gfcGetSemNameById(c), "c");
  EXPECT_EQ(gfcGetSemNameById(3), nullptr);
  EXPECT_EQ(gfcGetSemNameById(-1), nullptr);
  ConsoleCaptureScope capture;
  gfcSetSemById(3, 1);
  gfcSignalSemById(-1);
  gfcPollSemById(99);
  gfcResetSemById(3);
  EXPECT_EQ(gfcInterrogateSemById(3), 0);
  for (const char* m : {"gfcSetSemById - invalid sem 3", "gfcSignalSemById - invalid sem -1", "gfcPollById - invalid sem 99",
                        "gfcResetSemById - invalid sem 3", "gfcInterrogateById - invalid sem 3"})
    EXPECT_TRUE(Has(capture.text(), m)) << m;
}

TEST_F(FlowRun, SemaphoreWaitsAndWaitSemMultiOrder) {
  GfcProgram* prog = Compile("AddSem a 1 1\nAddSem b 1 1\nAddSem z 0 3\n"
                             "WaitSemMulti a b ; remark\nWaitSemMulti a b\nWaitSemNE z\nWaitSemEQ z\n"
                             "WaitSemLT z\nWaitSemGT z\nWaitSemMulti a b\nHalt\n");
  int a = gfcFindSem("a"), b = gfcFindSem("b"), z = gfcFindSem("z");
  const auto* rec = static_cast<const int16_t*>(gfcData(prog, prog->code[0].operand));
  EXPECT_EQ(rec[0], 2) << "the list stops at the remark";
  prog->pc = 0;
  gfcRunProgram(prog);
  // The first takes b (listed last), the second a; WaitSemNE z passes at 0;
  // WaitSemEQ waits while z is 0.
  EXPECT_EQ(gfcInterrogateSemById(a), 0);
  EXPECT_EQ(gfcInterrogateSemById(b), 0);
  EXPECT_EQ(prog->pc, 3);
  gfcSetSemById(z, 2);
  gfcRunProgram(prog);
  EXPECT_EQ(prog->pc, 5) << "WaitSemGT waits while the value is above 0";
  EXPECT_EQ(gfcInterrogateSemById(z), 2) << "the comparing waits leave the value";
  gfcSetSemById(z, 0);
  gfcSetSemById(a, 1);
  gfcRunProgram(prog);
  EXPECT_EQ(prog->pc, 7);
  EXPECT_EQ(gfcInterrogateSemById(a), 0);
  // WaitSemLT waits while the value is below 0; WaitSem then takes a value
  // below 0 to 0 and goes on, as does WaitSemMulti.
  prog = Compile("AddSem n 0 3\nAddSem m -2 3\nWaitSemLT n\nWaitSem n\nWaitSemMulti m\nWaitSem n\nHalt\n");
  int nn = gfcFindSem("n"), mm = gfcFindSem("m");
  EXPECT_EQ(gfcInterrogateSemById(mm), -2) << "declared below 0";
  gfcSetSemById(nn, -4);
  gfcRunProgram(prog);
  EXPECT_EQ(prog->pc, 0) << "waits while below 0";
  EXPECT_EQ(gfcInterrogateSemById(nn), -4);
  gfcSetSemById(nn, 0);
  gfcRunProgram(prog);
  EXPECT_EQ(prog->pc, 1) << "WaitSem waits at 0";
  gfcSetSemById(nn, -3);
  gfcRunProgram(prog);
  EXPECT_EQ(prog->pc, 3) << "WaitSem and WaitSemMulti went on; the second WaitSem waits at 0";
  EXPECT_EQ(gfcInterrogateSemById(nn), 0);
  EXPECT_EQ(gfcInterrogateSemById(mm), 0);
  // WaitSem on a semaphore signalled twice (maximum 3) passes twice, then waits.
  prog = Compile("AddSem s 0 3\nWaitSem s\nWaitSem s\nWaitSem s\nHalt\n");
  int s = gfcFindSem("s");
  gfcSignalSemById(s);
  gfcSignalSemById(s);
  gfcRunProgram(prog);
  EXPECT_EQ(prog->pc, 2);
}

TEST_F(FlowRun, PopDropsTwoAndReturnGoesToTheBottom) {
  ConsoleCaptureScope capture;
  GfcProgram* prog = Compile("GoSub a\nDebugMsg bottom\nHalt\na: GoSub b\nb: GoSub c\nc: Pop\nReturn\n");
  gfcRunProgram(prog);
  EXPECT_TRUE(Has(capture.text(), " bottom"));
  EXPECT_EQ(prog->sp, 0);
  EXPECT_EQ(prog->pc, 2);
  EXPECT_FLOW_HALT(gfcRunProgram(Compile("Pop\n")), "Stack Underflow");
  EXPECT_FLOW_HALT(gfcRunProgram(Compile("GoSub a\na: Pop\n")), "Stack Underflow");
  EXPECT_FLOW_HALT(gfcRunProgram(Compile("Return\n")), "Stack Underflow");
  EXPECT_FLOW_HALT(gfcRunProgram(Compile("a: GoSub a\n")), "Stack Overflow");
  prog = Compile("GoSub a\na: GoSub b\nb: PopAll\nHalt\n");
  gfcRunProgram(prog);
  EXPECT_EQ(prog->sp, 0);
}

TEST_F(FlowRun, IfSemJumpsForwardAndBackward) {
  ConsoleCaptureScope capture;
  GfcProgram* prog = Compile("AddSem s 0 10\nstart: SignalSem s\nIfSemLT s 3 start\nIfSemLT s 10 fwd\n"
                             "DebugMsg skipped\nfwd: IfSemEQ s 3 eq\nHalt\neq: IfSemNE s 3 start\nIfSemGT s 2 done\n"
                             "Halt\ndone: Halt\n");
  gfcRunProgram(prog);
  EXPECT_EQ(gfcInterrogateSemById(gfcFindSem("s")), 3);
  EXPECT_FALSE(Has(capture.text(), "skipped"));
  EXPECT_EQ(prog->pc, prog->labels[gfcFindLabel(prog, "done")].pc);
}

TEST_F(FlowRun, BreakHaltAndInterruptsAtHalt) {
  ConsoleCaptureScope capture;
  GfcProgram* prog = Compile("Break\nHalt\nh: DebugMsg handler\nReturn\n");
  gfcRunProgram(prog);
  EXPECT_EQ(prog->pc, 1);
  gfcRunProgram(prog);
  gfcRunProgram(prog);
  EXPECT_EQ(prog->pc, 1) << "Halt stays";
  gfcGoSubLabel(prog, "h");
  gfcRunProgram(prog);
  gfcRunProgram(prog);
  EXPECT_TRUE(Has(capture.text(), " handler"));
  EXPECT_EQ(prog->pc, 1);
  EXPECT_EQ(gfcGoSubLabelById(prog, 5), 0);
  EXPECT_EQ(gfcGoSubLabelById(prog, -1), 0);
  EXPECT_EQ(gfcGoSubLabelById(prog, 0), 1);
  EXPECT_EQ(gfcGoToLabel(prog, "h"), 0);
  EXPECT_EQ(gfcGoToLabelById(prog, 0), 0);
}

TEST_F(FlowRun, QueueHolds32AndAProgramPastItsEndTakesNone) {
  GfcProgram* prog = Compile("GoTo end\nh: Return\nend:\n");
  for (int i = 0; i < 32; i++) EXPECT_EQ(gfcAddInterrupt(prog, 1), 1);
  EXPECT_EQ(gfcAddInterrupt(prog, 1), 0);
  prog->nints = 0;
  gfcRunProgram(prog);
  EXPECT_EQ(prog->pc, 2);
  gfcGoSubLabel(prog, "h");
  gfcRunProgram(prog);
  EXPECT_EQ(prog->nints, 1);
  EXPECT_EQ(prog->sp, 0);
  gfcResetProgram(prog);
  EXPECT_EQ(prog->pc, 0);
  EXPECT_EQ(prog->nints, 0);
  EXPECT_EQ(prog->lastrun.get(), nullptr);
}

TEST_F(FlowRun, DebugMsgKeepsTheSeparator) {
  ConsoleCaptureScope capture;
  GfcProgram* prog = Compile("\nDebugMsg  two spaces, \"quoted\"\nDebugMsg\nHalt\n");
  gfcRunProgram(prog);
  EXPECT_TRUE(Has(capture.text(), "(GFS:0001)   two spaces, \"quoted\""));
  EXPECT_TRUE(Has(capture.text(), "(GFS:0002) \r\n"));
}

TEST_F(FlowRun, BreakpointAndSingleStep) {
  GfcProgram* prog = Compile("AddSem n 0 100\nSignalSem n\nSignalSem n\nSignalSem n\nHalt\n");
  int n = gfcFindSem("n");
  gfc_breakpoint = 1;
  gfcRunProgram(prog);
  EXPECT_EQ(prog->pc, 1);
  EXPECT_EQ(gfc_singlestep, 1);
  EXPECT_EQ(gfcInterrogateSemById(n), 1);
  gfcRunProgram(prog);
  EXPECT_EQ(prog->pc, 1) << "stopped until a step is granted";
  gfc_step = 1;
  gfcRunProgram(prog);
  EXPECT_EQ(prog->pc, 2);
  EXPECT_EQ(gfcInterrogateSemById(n), 2);
  gfc_singlestep = 0;
  gfc_breakpoint = -1;
  gfc_tron = 1;
  gfcRunProgram(prog);
  EXPECT_EQ(prog->pc, 3) << "trace runs one instruction";
  EXPECT_EQ(gfc_tron, 0);
}

TEST_F(FlowRun, LogCollectsEveryReplay) {
  gameflowlog_enabled = 1;
  for (int replay = 0; replay < 2; replay++) {
    GfcProgram* prog = Compile("AddSem s 0 1\nWaitSem s\nHalt\n");
    gfcRunProgram(prog);
    gfcRunProgram(prog);
  }
  gfcLog("%s", std::string(400, 'x').c_str());
  gameflowlog_enabled = 0;
  std::string log = HostFile("GFLOW.LOG");  // host names as the file layer writes them
  size_t first = log.find("L0002 C0000 WaitSem\r\n");
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_NE(log.find("L0002 C0000 WaitSem\r\n", first + 1), std::string::npos) << "both replays are kept";
  int waits = 0;
  for (size_t at = log.find("WaitSem"); at != std::string::npos; at = log.find("WaitSem", at + 1)) waits++;
  EXPECT_EQ(waits, 2) << "a wait is logged once in each replay";
  EXPECT_EQ(log.substr(0, 2), "[F");
  size_t last = log.rfind("[F");
  EXPECT_EQ(log.size() - last, 255u) << "the long line is cut to 256 bytes";
  EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
}

}  // namespace

namespace {

// The demo's universe and program, read and run as the game does.
TEST_F(FlowRun, DemoProgramRunsItsMainPath) {
  PlatSetHostRoot(ZE_DEMO_DIR);
  strcpy(levcon_uni_name, "new.uni");
  LevConSysInit();
  ASSERT_NE(LevConFindLevelByName("hometown"), nullptr);
  ASSERT_NE(LevConFindLevelByName("volcspd"), nullptr);
  EXPECT_STREQ(texanimfilename, "anim\\texanim.lst");
  char* cursor = buffer;
  ConsoleCaptureScope capture;
  InitGameFlow("torva.flo", &cursor, buffer + BUFFER);
  ASSERT_NE(gameflow_prog, nullptr);
  EXPECT_GE(sem_gb_init_level, 0);
  EXPECT_GE(sem_ferry_loading, 0);
  EXPECT_GE(sem_in_craft_wasp, 0);
  EXPECT_EQ(gfcInterrogateSemById(sem_edit_mode), 0);
  for (int i = 0; i < levcon_num_levels; i++)
    for (const char* label : {levels[i].info.OnActivate, levels[i].info.OnDeactivate, levels[i].info.LoadScript})
      if (label) {
        EXPECT_GE(gfcFindLabel(gameflow_prog, label), 0) << label;
      }
  for (int frame = 0; frame < 40; frame++) gfcRunProgram(gameflow_prog);
  EXPECT_TRUE(Has(capture.text(), "main path done"));
  int active = gfcFindSem("levels_active");
  EXPECT_EQ(gfcGoSubLabel(gameflow_prog, "HometownOn"), 1);
  gfcRunProgram(gameflow_prog);
  gfcRunProgram(gameflow_prog);
  EXPECT_EQ(gfcInterrogateSemById(active), 1);
  EXPECT_EQ(gameflow_prog->code[gameflow_prog->pc].command, 25) << "the main path rests on Halt";
  PlatSetHostRoot(dir.c_str());
}

}  // namespace
