// Texture animation: the assembler's code, labels, conditions and limits;
// the program file; and the processor's passes over materials, with
// signals, cross references, the active list and damaged programs.
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform_test.h"
#include "ze3d.h"
#include "zetexanm_local.h"

namespace {

struct TexAnim : testing::Test {
  std::string dir = TestTempDir();
  int scripts = 0;
  std::vector<void*> blocks;  // EE memory freed at the end (declared first: the members below take from it)
  // Records the environments point at live in EE memory.
  ZEMTL& mtl = *static_cast<ZEMTL*>(Ee(sizeof(ZEMTL)));
  int16_t* ids = static_cast<int16_t*>(Ee(8));

  void* Ee(size_t n) {
    void* p = EeMalloc(n);
    memset(p, 0, n);
    blocks.push_back(p);
    return p;
  }

  void SetUp() override {
    PlatSetHostRoot(dir.c_str());
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    errmsg_disabled = 1;
    ZeTexAnimProgSysInit();
    for (int i = 0; i < 4; i++) ids[i] = int16_t(101 + i);
  }
  void TearDown() override {
    ZeTexAnimProgSysInit();
    ZeFParSetInterpreterErrorHandler(nullptr);  // a halted script leaves its handler
    PlatSetHostRoot(nullptr);
    errmsg_disabled = 0;
    for (void* p : blocks) EeFree(p);
  }
  std::string Write(const std::string& text) {
    const std::string name = "S" + std::to_string(scripts++) + ".TXT";
    std::ofstream(dir + "/" + name) << text;
    return name;
  }
  ZETEXANIMPROG* Assemble(const std::string& text) { return ZeTexAnimProgReadScript(nullptr, Write(text).c_str()); }
  std::vector<int> Code(const ZETEXANIMPROG* p) { return std::vector<int>(ZeTexAnimCode(p), ZeTexAnimCode(p) + p->codelen); }

  // An environment on the material running the script.
  ZETEXANIMENV* Env(const std::string& text, int ntex = 4) {
    return ZeTexAnimEnvCreate(nullptr, &mtl, ids, Assemble(text), ntex);
  }
  // The material's texture after each of n passes.
  std::vector<int> Run(ZETEXANIMENV* e, int n) {
    std::vector<int> out;
    for (int i = 0; i < n; i++) {
      ZeTexAnimEnvProc(e);
      out.push_back(mtl.texture);
    }
    return out;
  }
};

using V = std::vector<int>;


}  // namespace

TEST_F(TexAnim, AssemblesTheFourLineScript) {
  ZETEXANIMPROG* p = Assemble("top:\ntex 0\nwait 5 0\ngoto top\n");
  EXPECT_EQ(Code(p), (V{0, 0, 2, 5, 0, 7, 0}));
  EXPECT_EQ(p->codelen, 7);
  EXPECT_EQ(ztap_first, p);
  EXPECT_EQ(p->flags & 1, 1);
}

TEST_F(TexAnim, OperandsConditionsAndLabels) {
  ZETEXANIMPROG* p = Assemble(
      "; comment\n"
      "Loop:\n  repeat 0 0\n"
      "  btex <= 3 LOOP\n"
      "  btex <> 1 loop\n"
      "  btex !anything 1 Loop\n"
      "  BTEX = 2 later\n"
      "  untiltex >= 7\n"
      "  untiltex > 1, extra words\n"
      "  untiltex < 4\n"
      "repend\n"
      "label later\n"
      "xref far\n"
      "on 3\n"
      "off 31\n"
      "ret\n"
      "end\n"
      "nonsense 1 2 3\n"
      "scriptname AVeryLongScriptNameThatGoesOnAndOn\n");
  EXPECT_EQ(Code(p), (V{11, -1, 0, 9, 3, 3, 0, 9, 5, 1, 0, 9, 5, 1, 0, 9, 0, 2, 29, 13, 4, 7, 13, 2, 1, 13, 1, 4, 12,
                        15, 0, 10, 14}));
  EXPECT_EQ(p->on[3], 31);
  EXPECT_EQ(p->off[31], 31);
  EXPECT_EQ(p->onmask, 1u << 3);
  EXPECT_EQ(p->offmask, 1u << 31);
  EXPECT_EQ(p->on[0], -1);
  EXPECT_STREQ(p->name, "AVeryLongScriptNameThatGoesOnAn");  // cut to 31
  // A 21-character label is kept to 20.
  Assemble("abcdefghijklmnopqrstu:\ngoto abcdefghijklmnopqrstuvwxyz\n");
  EXPECT_STREQ(zta_labelnames[0], "abcdefghijklmnopqrst");
}

TEST_F(TexAnim, GlobalIdsAreSharedAcrossScripts) {
  ZETEXANIMPROG* a = Assemble("xdef one\ntex 0\nxdef two\nend\n");
  ZETEXANIMPROG* b = Assemble("xref TWO\nxref one\nxdef three\nend\n");
  EXPECT_EQ(a->xdefcount, 2);
  EXPECT_EQ(a->xdefid[0], 0);
  EXPECT_EQ(a->xdefid[1], 1);
  EXPECT_EQ(a->xdefoff[1], 2);
  EXPECT_EQ(Code(b), (V{15, 1, 15, 0, 14}));
  EXPECT_EQ(b->xdefid[0], 2);
}

TEST_F(TexAnim, AssemblerLimitsAreErrorsWithTheLine) {
  std::string longScript;
  for (int i = 0; i < 147; i++) longScript += "tex 1\n";  // 294 words: two past the block
  std::string xdefs;
  for (int i = 0; i < 33; i++) xdefs += "xdef g" + std::to_string(i) + "\n";
  std::string labels;
  for (int i = 0; i < 65; i++) labels += "l" + std::to_string(i) + ":\n";
  struct Case {
    std::string script;
    const char* message;
  } cases[] = {
      {longScript, "more than 292 code words at line 146"},
      {xdefs, "more than 32 xdefs at line 32"},
      {"on 32\n", "signal 32 out of range at line 0"},
      {"tex 0\noff -1\n", "signal -1 out of range at line 1"},
      {"tex 0\ngoto nowhere\nend\n", "undefined label 'nowhere' at line 1"},
      {"btex ? 1 x\n", "unknown condition '?' at line 0"},
      {labels, "Tex Anim Assembler Fatal Error: too many labels"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script.substr(0, 20));
    const std::string name = Write(c.script);
    EXPECT_HALT(ZeTexAnimProgReadScript(nullptr, name.c_str()), c.message);
  }
  // 292 words fit, at a caller's cursor too.
  std::string full;
  for (int i = 0; i < 146; i++) full += "tex 1\n";
  char* area = static_cast<char*>(Ee(1200));
  char* cursor = area + 1;
  ZETEXANIMPROG* p = ZeTexAnimProgReadScript(&cursor, Write(full).c_str());
  EXPECT_EQ(reinterpret_cast<char*>(p), area + 4);
  EXPECT_EQ(p->codelen, 292);
  EXPECT_EQ(cursor, reinterpret_cast<char*>(ZeTexAnimCode(p) + 292));
  EXPECT_EQ(p->flags & 1, 0);
  EXPECT_EQ(ZeTexAnimProgReadScript(nullptr, "MISSING.TXT"), nullptr);
}

TEST_F(TexAnim, ProgramFilesRoundTrip) {
  ZETEXANIMPROG* p = Assemble("scriptname Flicker\nxdef go\ntop:\ntex 0\ntex 1\nwait 2 0\ngoto top\n");
  ASSERT_EQ(p->codelen, 9);
  ZeTexAnimCode(p)[p->codelen] = 0x5555;  // what lies past the code is not written
  EXPECT_EQ(ZeTexAnimProgWrite("FLICKER.TAP", p), 1);
  EXPECT_EQ(ZeFileSize("FLICKER.TAP"), 440 + 2 * 9 + 4);
  ZeTexAnimProgRelease();
  ZETEXANIMPROG* q = ZeTexAnimProgRead(nullptr, "FLICKER.TAP");
  ASSERT_TRUE(q);
  EXPECT_EQ(ztap_first, q);
  EXPECT_EQ(ZeTexAnimProgFind("fLiCkEr"), q);
  EXPECT_EQ(Code(q), Code(p));
  EXPECT_EQ(ZeTexAnimCode(q)[9], 0);
  EXPECT_EQ(q->xdefcount, 1);
  EXPECT_EQ(q->flags & 1, 1);

  // Ten code words: a file of 464 bytes.
  ZETEXANIMPROG* ten = ZeTexAnimProgCreate(nullptr, 20, "ten");
  ten->codelen = 10;
  EXPECT_EQ(ZeTexAnimProgWrite("TEN.TAP", ten), 1);
  EXPECT_EQ(ZeFileSize("TEN.TAP"), 464);
  EXPECT_EQ(ZeTexAnimProgFind("ten"), nullptr);  // made, not listed

  // Failure reads as failure.
  EXPECT_EQ(ZeTexAnimProgWrite("NODIR\\X.TAP", ten), 0);
  // A file shorter than its code, or than a header, is refused.
  std::vector<char> bytes(464);
  std::ifstream(dir + "/TEN.TAP", std::ios::binary).read(bytes.data(), 464);
  std::ofstream(dir + "/CUT.TAP", std::ios::binary).write(bytes.data(), 440 + 18);
  std::ofstream(dir + "/TINY.TAP", std::ios::binary).write(bytes.data(), 100);
  char* area = static_cast<char*>(Ee(600));
  char* cursor = area;
  EXPECT_EQ(ZeTexAnimProgRead(&cursor, "CUT.TAP"), nullptr);
  EXPECT_EQ(cursor, area);
  EXPECT_EQ(ZeTexAnimProgRead(nullptr, "TINY.TAP"), nullptr);
  EXPECT_EQ(ZeTexAnimProgRead(nullptr, "MISSING.TAP"), nullptr);
  ZeTexAnimProgDestroy(q);
  EXPECT_EQ(ZeTexAnimProgFind("flicker"), nullptr);
  ZeTexAnimProgDestroy(ten);
}

TEST_F(TexAnim, PassesOverTheMaterial) {
  struct Case {
    const char* what;
    const char* script;
    int passes;
    V textures;
  } cases[] = {
      {"alternating", "top:\ntex 0\ntex 1\ngoto top\n", 5, {101, 102, 101, 102, 101}},
      {"rate 3", "rate 3 0\ntop:\ntex 0\ntex 1\ngoto top\n", 9, {101, 101, 101, 101, 102, 102, 102, 102, 101}},
      {"wait 2", "tex 0\nwait 2 0\ntex 2\nend\n", 5, {101, 101, 101, 101, 103}},
      {"texadj up", "top:\ntexadj 1 0 3\ngoto top\n", 5, {102, 103, 104, 104, 104}},
      {"texadj down", "top:\ntexadj -1 0 3\ngoto top\n", 3, {101, 101, 101}},
      {"repeat 2 runs three times", "repeat 2 0\ntexadj 1 0 3\nrepend\ntex 0\nend\n", 5, {102, 103, 104, 101, 101}},
      {"repeat 0 never ends", "repeat 0 0\ntex 1\ntex 2\nrepend\ntex 3\n", 6, {102, 103, 102, 103, 102, 103}},
      {"untiltex", "repeat 9 0\ntexadj 1 0 3\nuntiltex = 2\ntex 0\nend\n", 4, {102, 103, 101, 101}},
      {"btex and gosub", "gosub sub\nbtex = 3 done\ntex 0\nend\ndone:\ntex 1\nend\nsub:\ntex 3\nret\n", 3,
       {104, 102, 102}},
      {"end holds", "tex 2\nend\n", 3, {103, 103, 103}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    mtl.texture = 0;
    EXPECT_EQ(Run(Env(c.script), c.passes), c.textures);
  }
}

TEST_F(TexAnim, SignalsRestartHandlersEvenDuringAWait) {
  ZETEXANIMENV* e = Env("tex 0\nwait 100 0\nend\non 2\ntex 1\nwait 100 0\noff 2\ntex 2\nwait 100 0\n");
  EXPECT_EQ(Run(e, 2), (V{101, 101}));
  ZeTexAnimSetSignals(1u << 2);
  EXPECT_EQ(Run(e, 1), (V{102}));
  EXPECT_EQ(ztsig_on, 1u << 2);
  // The edge stays until the signals are set again: each pass restarts it.
  EXPECT_EQ(Run(e, 1), (V{102}));
  ZeTexAnimSetSignals(1u << 2);
  EXPECT_EQ(ztsig_on, 0u);
  mtl.texture = 0;
  EXPECT_EQ(Run(e, 1), (V{0}));  // waiting
  ZeTexAnimSetSignals(0);
  EXPECT_EQ(ztsig_off, 1u << 2);
  EXPECT_EQ(Run(e, 1), (V{103}));
  ZeTexAnimSetSignals(0);
}

TEST_F(TexAnim, ProcessorAlerts) {
  std::string deep;
  for (int i = 0; i < 17; i++) deep += "gosub s" + std::to_string(i) + "\ns" + std::to_string(i) + ":\n";
  struct Case {
    std::string script;
    const char* message;
  } cases[] = {
      {deep, "TexAnim Processor Alert: Call Stack Overflow at (32)"},
      {"tex 0\nwait 0 0\nret\n", "TexAnim Processor Alert: Call Stack Underflow at (5)"},
      {"repend\n", "TexAnim Processor Alert: REPEND without REPEAT at (0)"},
      {"untiltex = 1\n", "TexAnim Processor Alert: UNTILTEX without REPEAT at (0)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    ZETEXANIMENV* e = Env(c.script);
    EXPECT_HALT(Run(e, 3), c.message);
  }
  std::string nested;
  for (int i = 0; i < 17; i++) nested += "repeat 1 0\n";
  EXPECT_HALT(Run(Env(nested), 1), "Too Many Nested Repeat Loops at (48)");
  ZETEXANIMENV* e = Env("btex = 0 x\nx:\nend\n");
  ZeTexAnimCode(e->prog.get())[1] = 6;
  EXPECT_HALT(Run(e, 1), "unknown condition code 6");
}

TEST_F(TexAnim, DamagedProgramsEndThePassAndNeverHang) {
  ZETEXANIMPROG* p = Assemble("tex 1\nend\n");
  ZETEXANIMENV* e = ZeTexAnimEnvCreate(nullptr, &mtl, ids, p, 4);
  struct Case {
    const char* what;
    V code;
    int texture;  // after one pass
  } cases[] = {
      {"opcode 3", {3, 0}, 0},
      {"opcode 4", {4}, 0},
      {"opcode 6", {6}, 0},
      {"opcode 16", {16}, 0},
      {"negative opcode", {-2}, 0},
      {"a loop without an ending instruction", {7, 0}, 0},
      {"a jump past the code", {7, 500}, 0},
      {"an instruction cut by the end", {1, 1}, 0},
      {"a texture index past the list", {0, 4, 14}, 0},
      {"a negative texture index", {0, -1, 14}, 0},
      {"then a good one", {0, 3, 14}, 104},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (size_t i = 0; i < c.code.size(); i++) ZeTexAnimCode(p)[i] = int16_t(c.code[i]);
    p->codelen = int16_t(c.code.size());
    ZeTexAnimEnvReset(e);
    mtl.texture = 0;
    ZeTexAnimEnvProc(e);
    EXPECT_EQ(mtl.texture, c.texture);
  }
}

TEST_F(TexAnim, CrossReferencesRedirectOtherEnvironments) {
  ZEMTL& other = *static_cast<ZEMTL*>(Ee(sizeof(ZEMTL)));
  ZETEXANIMPROG* sender = Assemble("tex 0\nwait 3 0\nxref jump\ntex 1\nend\n");
  ZETEXANIMPROG* receiver = Assemble("tex 0\nwait 50 0\nxdef jump\ntex 3\nend\n");
  ZETEXANIM* a = ZeTexAnimCreate(nullptr, sender, &mtl, ids, 4);
  ZETEXANIM* b = ZeTexAnimCreate(nullptr, receiver, &other, ids, 4);
  a->next = b;
  ZeTexAnimAddList(a);
  for (int i = 0; i < 5; i++) ZeTexAnimProcess();  // the sender waits three passes
  EXPECT_EQ(mtl.texture, 101);
  EXPECT_EQ(other.texture, 101);
  ZeTexAnimProcess();  // the sender's xref, then its tex 1; the receiver jumps and runs tex 3
  EXPECT_EQ(mtl.texture, 102);
  EXPECT_EQ(other.texture, 104);
  EXPECT_EQ(a->env->repdepth, 0);
  EXPECT_EQ(b->env->wait, 0);
  ZeTexAnimRemoveList(a);
  EXPECT_EQ(ztal_first, nullptr);
  // Heap records are marked, so destroying frees them.
  EXPECT_EQ(a->flags & 1, 1);
  EXPECT_EQ(a->env->flags & 1, 1);
  EXPECT_EQ(a->ntex, 4);
  EXPECT_EQ(a->texids[3], 104);
  ZeTexAnimDestroy(a);
  ZeTexAnimDestroy(b);
}

TEST_F(TexAnim, TheActiveListHoldsSixtyFour) {
  std::vector<ZETEXANIM*> anims;
  ZETEXANIMPROG* p = Assemble("texadj 1 0 3\nend\n");
  char* cursor = static_cast<char*>(Ee(65 * 512));
  for (int i = 0; i < 65; i++) {
    anims.push_back(ZeTexAnimCreate(&cursor, p, &mtl, ids, 4));
    EXPECT_EQ(anims.back()->flags & 1, 0);
    ZeTexAnimAddList(anims.back());
  }
  int active = 0;
  for (ZETEXANIMLIST* n = ztal_first; n; n = n->next) active++;
  EXPECT_EQ(active, 64);
  EXPECT_EQ(ztal_first->chain, anims[63]);  // the 65th was ignored
  ZeTexAnimProcess();
  EXPECT_EQ(anims[0]->env->curtex, 1);
  EXPECT_EQ(anims[64]->env->curtex, 0);
  ZeTexAnimRestart();
  EXPECT_EQ(anims[0]->env->curtex, 0);
  anims[5]->name = const_cast<char*>("Sign");
  anims[4]->next = anims[5];
  EXPECT_EQ(ZeTexAnimFind(anims[4], "SIGN"), anims[5]);
  EXPECT_EQ(ZeTexAnimFind(anims[4], "other"), nullptr);
  ZeTexAnimRemoveList(anims[10]);
  ZeTexAnimAddList(anims[64]);
  EXPECT_EQ(ztal_first->chain, anims[64]);
}
