// The built-in game-flow commands: directives, semaphore declaration,
// operations, waits and conditional jumps, timed waits, jumps and
// subroutines, yielding, halting and the debug print.
#include "gameflow.h"

namespace {

// ---- operand readers -----------------------------------------------------------

// A declared semaphore named by the next word; an unknown one stops the load.
int16_t SemOperand(GfcProgram* prog, ZEFPAR* p) {
  ZeFParGetWord(p);
  int id = gfcFindSem(p->word);
  if (id < 0) ZeError("Unable to find semaphore at line %d - %s", p->lineno, p->line);
  (void)prog;
  return int16_t(id);
}

int16_t LabelOperand(GfcProgram* prog, ZEFPAR* p) {
  ZeFParGetWord(p);
  return int16_t(gfcLabelOperand(prog, p->word));
}

GfcSem& SemOf(const GfcInstr* in) { return gfc_sems[gfcOperandFirst(in)]; }

// Steps back onto this instruction so that it runs again at the next slice.
int Again(GfcProgram* prog, int result) {
  prog->pc--;
  return result;
}

// ---- directives and declaration ---------------------------------------------------

int CompileStrict(GfcProgram*, ZEFPAR*, GfcInstr*) {
  gfc_strict = 1;
  return 0;
}

int CompileSloppy(GfcProgram*, ZEFPAR*, GfcInstr*) {
  gfc_strict = 0;
  return 0;
}

// Through an archive one member is open at a time: the includer's file is
// closed while the included one is read.
int CompileInclude(GfcProgram* prog, ZEFPAR* p, GfcInstr*) {
  ZeFParGetWord(p);
  char name[ZEFPAR_LINE];
  strcpy(name, p->word);
  ZeFParSuspend(p);
  gfcCompileFile(prog, name);
  ZeFParResume(p);
  return 0;
}

int CompileAddSem(GfcProgram*, ZEFPAR* p, GfcInstr*) {
  ZeFParGetWord(p);
  char name[ZEFPAR_LINE];
  strcpy(name, p->word);
  int value = ZeFParGetInt(p);
  int maximum = ZeFParGetInt(p);
  for (int i = gfc_nsems - 1; i >= 0; i--) {
    if (ZeStrICmp(gfc_sems[i].name, name) == 0) {
      ZeDebugMsg("Semaphore already exists at line %d - %s", p->lineno, p->line);
      break;
    }
  }
  gfcAddSem(name, value, maximum);
  return 0;
}

// ---- semaphore operations -------------------------------------------------------

int CompileSem(GfcProgram* prog, ZEFPAR* p, GfcInstr* in) {
  gfcSetOperand(in, SemOperand(prog, p), 0);
  return 1;
}

int CompileSetSem(GfcProgram* prog, ZEFPAR* p, GfcInstr* in) {
  int16_t id = SemOperand(prog, p);
  gfcSetOperand(in, id, int16_t(ZeFParGetInt(p)));
  return 1;
}

int RunResetSem(GfcProgram*, GfcInstr* in) {
  gfcResetSemById(gfcOperandFirst(in));
  return GFC_CONTINUE;
}
int RunSetSem(GfcProgram*, GfcInstr* in) {
  gfcSetSemById(gfcOperandFirst(in), gfcOperandSecond(in));
  return GFC_CONTINUE;
}
int RunSignalSem(GfcProgram*, GfcInstr* in) {
  gfcSignalSemById(gfcOperandFirst(in));
  return GFC_CONTINUE;
}
int RunPollSem(GfcProgram*, GfcInstr* in) {
  gfcPollSemById(gfcOperandFirst(in));
  return GFC_CONTINUE;
}

// A value other than 0 is taken down by one, not below 0 (a value set
// below 0 goes to 0).
int RunWaitSem(GfcProgram* prog, GfcInstr* in) {
  if (SemOf(in).value == 0) return Again(prog, GFC_YIELD);
  gfcPollSemById(gfcOperandFirst(in));
  return GFC_CONTINUE;
}

// Record: int16 count, then count semaphore ids.
int CompileWaitSemMulti(GfcProgram* prog, ZEFPAR* p, GfcInstr* in) {
  int16_t ids[32];
  int n = 0;
  while (ZeFParGetWord(p) && p->word[0] != ';') {
    if (n == 32) {
      ZeDebugMsg("Too many semaphores at line %d", p->lineno);
      break;
    }
    int id = gfcFindSem(p->word);
    if (id < 0) ZeError("Unable to find semaphore at line %d - %s", p->lineno, p->line);
    ids[n++] = int16_t(id);
  }
  if (n == 0) ZeError("Missing Semaphores at line %d - %s", p->lineno, p->line);
  auto* rec = static_cast<int16_t*>(gfcAllocData(prog, 2 + 2 * n));
  rec[0] = int16_t(n);
  memcpy(rec + 1, ids, size_t(n) * 2);
  in->operand = gfcDataRef(prog, rec);
  return 1;
}

// The last listed semaphore that is set is taken.
int RunWaitSemMulti(GfcProgram* prog, GfcInstr* in) {
  const auto* rec = static_cast<const int16_t*>(gfcData(prog, in->operand));
  for (int k = rec[0]; k >= 1; k--) {
    if (gfc_sems[rec[k]].value != 0) {
      gfcPollSemById(rec[k]);
      return GFC_CONTINUE;
    }
  }
  return Again(prog, GFC_YIELD);
}

// The comparison value is the operand's second half, always 0.
int RunWaitSemEQ(GfcProgram* prog, GfcInstr* in) {
  return SemOf(in).value == gfcOperandSecond(in) ? Again(prog, GFC_YIELD) : GFC_CONTINUE;
}
int RunWaitSemLT(GfcProgram* prog, GfcInstr* in) {
  return SemOf(in).value < gfcOperandSecond(in) ? Again(prog, GFC_YIELD) : GFC_CONTINUE;
}
int RunWaitSemGT(GfcProgram* prog, GfcInstr* in) {
  return SemOf(in).value > gfcOperandSecond(in) ? Again(prog, GFC_YIELD) : GFC_CONTINUE;
}
int RunWaitSemNE(GfcProgram* prog, GfcInstr* in) {
  return SemOf(in).value != gfcOperandSecond(in) ? Again(prog, GFC_YIELD) : GFC_CONTINUE;
}

// ---- conditional jumps -------------------------------------------------------------

struct IfSemRecord {
  int16_t sem;
  int16_t label;
  int16_t value;
  int16_t pad;
};
static_assert(sizeof(IfSemRecord) == 8);

int CompileIfSem(GfcProgram* prog, ZEFPAR* p, GfcInstr* in) {
  int16_t sem = SemOperand(prog, p);
  int16_t value = int16_t(ZeFParGetInt(p));
  int16_t label = LabelOperand(prog, p);
  auto* rec = static_cast<IfSemRecord*>(gfcAllocData(prog, sizeof(IfSemRecord)));
  *rec = {sem, label, value, 0};
  in->operand = gfcDataRef(prog, rec);
  return 1;
}

template <class Test>
int IfSem(GfcProgram* prog, GfcInstr* in, Test test) {
  const auto* rec = static_cast<const IfSemRecord*>(gfcData(prog, in->operand));
  if (test(gfc_sems[rec->sem].value, int(rec->value))) prog->pc = prog->labels[rec->label].pc;
  return GFC_CONTINUE;
}
int RunIfSemEQ(GfcProgram* prog, GfcInstr* in) { return IfSem(prog, in, [](int v, int x) { return v == x; }); }
int RunIfSemLT(GfcProgram* prog, GfcInstr* in) { return IfSem(prog, in, [](int v, int x) { return v < x; }); }
int RunIfSemGT(GfcProgram* prog, GfcInstr* in) { return IfSem(prog, in, [](int v, int x) { return v > x; }); }
int RunIfSemNE(GfcProgram* prog, GfcInstr* in) { return IfSem(prog, in, [](int v, int x) { return v != x; }); }

// ---- timed wait ---------------------------------------------------------------------

// A count outside 0..32767 is refused: cut to a negative int16 it would
// never reach 0 and would hold the program and its interrupts for good.
int CompileWait(GfcProgram*, ZEFPAR* p, GfcInstr* in) {
  int n = ZeFParGetInt(p);
  if (n < 0 || n > INT16_MAX) ZeError("Wait count out of range 0 to %d at line %d - %s", INT16_MAX, p->lineno, p->line);
  gfcSetOperand(in, int16_t(n), 0);
  return 1;
}

int RunWait(GfcProgram* prog, GfcInstr* in) {
  int16_t count = gfcOperandSecond(in);
  if (prog->lastrun.get() != in) count = gfcOperandFirst(in);
  if (count > 0) count--;
  gfcSetOperand(in, gfcOperandFirst(in), count);
  return count == 0 ? GFC_CONTINUE : Again(prog, GFC_HOLD_WAIT);
}

// ---- jumps and subroutines ------------------------------------------------------------

int CompileLabel(GfcProgram* prog, ZEFPAR* p, GfcInstr* in) {
  gfcSetOperand(in, LabelOperand(prog, p), 0);
  return 1;
}

int CompileNothing(GfcProgram*, ZEFPAR*, GfcInstr*) { return 1; }

int RunGoTo(GfcProgram* prog, GfcInstr* in) {
  prog->pc = prog->labels[gfcOperandFirst(in)].pc;
  return GFC_CONTINUE;
}
int RunGoSub(GfcProgram* prog, GfcInstr* in) {
  gfcPushPC(prog);
  prog->pc = prog->labels[gfcOperandFirst(in)].pc;
  return GFC_CONTINUE;
}
int RunReturn(GfcProgram* prog, GfcInstr*) {
  gfcPopPC(prog);
  return GFC_CONTINUE;
}
int RunPop(GfcProgram* prog, GfcInstr*) {
  gfcPop(prog);
  return GFC_CONTINUE;
}
int RunPopAll(GfcProgram* prog, GfcInstr*) {
  prog->sp = 0;
  return GFC_CONTINUE;
}
int RunBreak(GfcProgram*, GfcInstr*) { return GFC_YIELD; }
int RunHalt(GfcProgram* prog, GfcInstr*) { return Again(prog, GFC_YIELD); }

// ---- debug print ------------------------------------------------------------------------

// The rest of the line from just after the command word, separator included.
int CompileDebugMsg(GfcProgram* prog, ZEFPAR* p, GfcInstr* in) {
  const char* rest = p->line + p->linepos;
  char* copy = static_cast<char*>(gfcAllocData(prog, int(strlen(rest)) + 1));
  strcpy(copy, rest);
  in->operand = gfcDataRef(prog, copy);
  return 1;
}

int RunDebugMsg(GfcProgram* prog, GfcInstr* in) {
  ZeDebugMsg("(GFS:%04d) %s", in->line, static_cast<const char*>(gfcData(prog, in->operand)));
  return GFC_CONTINUE;
}

struct Builtin {
  const char* name;
  GfcRunFn run;
  GfcCompileFn compile;
};

constexpr Builtin BUILTINS[GFC_BUILTINS] = {
    {"#Strict", nullptr, CompileStrict},
    {"#Sloppy", nullptr, CompileSloppy},
    {"#include", nullptr, CompileInclude},
    {"AddSem", nullptr, CompileAddSem},
    {"ResetSem", RunResetSem, CompileSem},
    {"SetSem", RunSetSem, CompileSetSem},
    {"SignalSem", RunSignalSem, CompileSem},
    {"PollSem", RunPollSem, CompileSem},
    {"WaitSem", RunWaitSem, CompileSem},
    {"WaitSemMulti", RunWaitSemMulti, CompileWaitSemMulti},
    {"WaitSemEQ", RunWaitSemEQ, CompileSem},
    {"WaitSemLT", RunWaitSemLT, CompileSem},
    {"WaitSemGT", RunWaitSemGT, CompileSem},
    {"WaitSemNE", RunWaitSemNE, CompileSem},
    {"IfSemEQ", RunIfSemEQ, CompileIfSem},
    {"IfSemLT", RunIfSemLT, CompileIfSem},
    {"IfSemGT", RunIfSemGT, CompileIfSem},
    {"IfSemNE", RunIfSemNE, CompileIfSem},
    {"Wait", RunWait, CompileWait},
    {"GoTo", RunGoTo, CompileLabel},
    {"GoSub", RunGoSub, CompileLabel},
    {"Return", RunReturn, CompileNothing},
    {"Pop", RunPop, CompileNothing},
    {"PopAll", RunPopAll, CompileNothing},
    {"Break", RunBreak, CompileNothing},
    {"Halt", RunHalt, CompileNothing},
    {"DebugMsg", RunDebugMsg, CompileDebugMsg},
};

}  // namespace

void gfcAddBuiltinCommands() {
  for (const Builtin& b : BUILTINS) gfcAddCommandType(b.name, b.run, b.compile);
}
