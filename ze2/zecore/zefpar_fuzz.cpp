// Fuzz target: a text file read by the parser through command tables whose
// handlers read words and numbers, push and pop tables and move about.
// The parser does what its handlers ask, and "back" to an earlier mark
// makes a loop: the harness bounds an input's work (lines, words and
// returns to the mark) so that every input ends in about the time of a few
// passes over its bytes.
#include "fuzz.h"
#include "zecore.h"
#include "zecore_local.h"

namespace {

ZEFPARPOS g_mark;
int g_budget;  // lines and words read
int g_backs;   // returns to the mark
constexpr int BUDGET = 4096, BACKS = 8;

void Words(ZEFPAR* p) {
  while (ZeFParGetWord(p) && --g_budget > 0) {
  }
}
void Numbers(ZEFPAR* p) {
  ZeFParGetInt(p);
  ZeFParGetFloat(p);
  ZeFParUnGetWord(p);
  ZeFParGetWord(p);
}
void Mark(ZEFPAR* p) { ZeFParGetPos(p, &g_mark); }
void Back(ZEFPAR* p) {
  if (g_backs-- > 0) ZeFParSetPos(p, &g_mark);
}
void Chars(ZEFPAR* p) {
  for (int i = 0; i < 10; i++) ZeGetChar(p);
}
void Pop(ZEFPAR* p) { ZeFParPopCom(p); }
void Push(ZEFPAR* p);
const ZEFPCMD g_table[] = {{"w", Words}, {"n", Numbers}, {"mark", Mark}, {"back", Back}, {"c", Chars},
                           {"push", Push}, {"pop", Pop}, {nullptr, nullptr}};
void Push(ZEFPAR* p) { ZeFParPushCom(p, g_table); }

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  errmsg_disabled = 1;
  errmsg_to_console = 0;
  ZEFILE f = ZeMemFileOpen(const_cast<uint8_t*>(data), int(size), 0);
  if (!f) return;
  ZEFPAR* p = ZeFParOpen(f);
  ZeFParPushCom(p, g_table);
  g_mark = {};
  g_budget = BUDGET;
  g_backs = BACKS;
  while (--g_budget > 0 && ZeFParGetLine(p)) {
    ZeFParGetWord(p);
    ZeFParInterpretWord(p);
  }
  ZeFParClose(p);
  ZeFileClose(f);
}

void FuzzReset() {
  ZeFileReset();
  errmsg_trap = 0;
}
