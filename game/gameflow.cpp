// The game-flow compiler and machine: the command-type table, labels and
// data areas, compilation of files and lines, the slice with its
// interrupts and return stack, semaphores and the execution log.
#include "gameflow.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "ze3d.h"

GfcCmdType gfc_cmdtypes[GFC_MAX_CMDTYPES];
int gfc_ncmdtypes;
int gfc_strict;
GfcProgram* gfc_compiling;
GfcSem gfc_sems[GFC_MAX_SEMS];
int gfc_nsems;
int gfc_maxexecution = 64;
int gfc_tron;
int gfc_breakpoint = -1;
int gfc_singlestep;
int gfc_step;
int gfc_follow = 1;
int gfc_toprow;
int gameflowlog_enabled;

namespace {

char g_globalData[GFC_GLOBAL_DATA];
int g_globalUsed;
int g_logFirst = 1;
const GfcInstr* g_lastLogged;
// Files being compiled, outermost first. A fatal stop leaves them to the
// next load, which frees their blocks (their files went with the file
// layer's reset; tools and tests go on after a fatal stop).
ZEFPAR* g_open[GFC_MAX_NESTING];
int g_nopen;

int Round4(int size) { return (size + 3) & ~3; }

int LineNo(GfcProgram* prog) { return prog->parser ? prog->parser->lineno : -1; }
const char* LineText(GfcProgram* prog) { return prog->parser ? prog->parser->line : ""; }

int NothingRun(GfcProgram*, GfcInstr*) { return GFC_CONTINUE; }

void CloseOpenFiles() {
  while (g_nopen > 0) ZeFParClose(g_open[--g_nopen]);
}

}  // namespace

// ---- command types and data areas ------------------------------------------

void gfcInit() {
  gfc_ncmdtypes = 0;
  gfc_nsems = 0;
  g_globalUsed = 0;
  gfcAddBuiltinCommands();
}

int gfcAddCommandType(const char* name, GfcRunFn run, GfcCompileFn compile) {
  if (gfc_ncmdtypes >= GFC_MAX_CMDTYPES) ZeError("Too many command types");
  for (int i = 0; i < gfc_ncmdtypes; i++)
    if (ZeStrICmp(gfc_cmdtypes[i].name, name) == 0) ZeError("Command \"%s\" already exists", name);
  char* copy = static_cast<char*>(gfcAllocGlobalData(int(strlen(name)) + 1));
  strcpy(copy, name);
  // A type that never emits has no run function; one that does gets at
  // least a "nothing" run, so the slice never calls a null.
  gfc_cmdtypes[gfc_ncmdtypes++] = {copy, compile, run ? run : NothingRun};
  return 0;
}

void* gfcAllocGlobalData(int size) {
  int n = Round4(size);
  if (size < 0 || g_globalUsed + n > GFC_GLOBAL_DATA) ZeError("global data buffer overrun");
  void* p = g_globalData + g_globalUsed;
  g_globalUsed += n;
  return p;
}

void* gfcAllocData(GfcProgram* prog, int size) {
  int n = Round4(size);
  if (size < 0 || prog->dataused + n > GFC_DATA)
    ZeError("GameFlow Compiler - data buffer overrun at line %d - %s", LineNo(prog), LineText(prog));
  void* p = prog->data + prog->dataused;
  prog->dataused = int16_t(prog->dataused + n);
  return p;
}

// ---- labels -----------------------------------------------------------------

int gfcAddLabel(GfcProgram* prog, const char* name) {
  if (prog->nlabels >= GFC_MAX_LABELS)
    ZeError("Too many labels at line %d - %s", LineNo(prog), LineText(prog));
  if (!name || !name[0]) ZeError("missing label at line %d - %s", LineNo(prog), LineText(prog));
  char* copy = static_cast<char*>(gfcAllocData(prog, int(strlen(name)) + 1));
  strcpy(copy, name);
  GfcLabel& l = prog->labels[prog->nlabels];
  l.name = copy;
  l.pc = 0;
  l.flags = 0;
  return prog->nlabels++;
}

int gfcFindLabel(GfcProgram* prog, const char* name) {
  for (int i = prog->nlabels - 1; i >= 0; i--)
    if (ZeStrICmp(prog->labels[i].name.get(), name) == 0) return i;
  return -1;
}

int gfcLabelOperand(GfcProgram* prog, const char* name) {
  int i = gfcFindLabel(prog, name);
  return i >= 0 ? i : gfcAddLabel(prog, name);
}

// ---- compilation ------------------------------------------------------------

GfcProgram* gfcLoadProgram(const char* name, char** cursor, char* end) {
  CloseOpenFiles();
  uintptr_t at = (reinterpret_cast<uintptr_t>(*cursor) + 15) & ~uintptr_t(15);
  // The record must lie inside the caller's buffer: past its end it would
  // overwrite whatever follows.
  if (!end || at > reinterpret_cast<uintptr_t>(end) || reinterpret_cast<uintptr_t>(end) - at < sizeof(GfcProgram))
    ZeError("GameFlow Compiler - no room for the program of %s (%d bytes needed)", name, int(sizeof(GfcProgram)));
  auto* prog = reinterpret_cast<GfcProgram*>(at);
  *cursor = reinterpret_cast<char*>(at + sizeof(GfcProgram));
  memset(static_cast<void*>(prog), 0, sizeof(GfcProgram));
  gfc_strict = 0;
  g_lastLogged = nullptr;
  gfc_compiling = prog;
  gfcCompileFile(prog, name);
  for (int i = prog->nlabels - 1; i >= 0; i--)
    if (!(prog->labels[i].flags & GFC_LABEL_DEFINED))
      ZeError("Undefined label \"%s\" in scripts - %s", prog->labels[i].name.get(), name);
  gfc_compiling = nullptr;
  return prog;
}

void gfcCompileFile(GfcProgram* prog, const char* name) {
  ZEFPAR* outer = prog->parser;
  // A file that includes itself, directly or through others, would recurse
  // for good: the nesting is limited.
  if (g_nopen >= GFC_MAX_NESTING)
    ZeError("GameFlow Compiler - more than %d nested files at line %d of %s - %s", GFC_MAX_NESTING, LineNo(prog),
            outer ? outer->name : "", LineText(prog));
  ZeDebugMsg("GameFlow Compiler - Compiling %s", name);
  ZEFPAR* p = ZeFParCreate(name);
  if (!p) ZeError("unable to open gameflow script %s", name);
  g_open[g_nopen++] = p;
  prog->parser = p;
  while (ZeFParGetLine(p)) {
    int len = ZeFParGetWord(p);
    if (len == 0) continue;
    if (p->word[len - 1] == ':') {
      p->word[len - 1] = 0;
      int i = gfcFindLabel(prog, p->word);
      if (i >= 0 && (prog->labels[i].flags & GFC_LABEL_DEFINED))
        ZeError("Multiple definition of label at %d - %s", p->lineno, p->line);
      if (i < 0) i = gfcAddLabel(prog, p->word);
      prog->labels[i].pc = prog->ninstr;
      prog->labels[i].flags |= GFC_LABEL_DEFINED;
      if (!ZeFParGetWord(p)) continue;
    }
    gfcCompileLine(prog);
  }
  g_nopen--;
  ZeFParDestroy(p);
  prog->parser = outer;
  ZeDebugMsg("GameFlow Compiler - Finished");
}

void gfcCompileLine(GfcProgram* prog) {
  ZEFPAR* p = prog->parser;
  int r = gfc_ncmdtypes - 1;
  while (r >= 0 && ZeStrICmp(gfc_cmdtypes[r].name, p->word) != 0) r--;
  if (r < 0) {
    if (gfc_strict) ZeError("Unknown gameflow command at line %d - %s", p->lineno, p->line);
    ZeDebugMsg("Unknown gameflow command at line %d - %s", p->lineno, p->line);
    return;
  }
  // A full program still takes directives; a 4,097th instruction is refused.
  GfcInstr spare;
  GfcInstr* slot = prog->ninstr < GFC_MAX_INSTR ? &prog->code[prog->ninstr] : &spare;
  slot->command = int16_t(r);
  slot->line = int16_t(p->lineno < INT16_MAX ? p->lineno : INT16_MAX);
  slot->operand = 0;
  int kept = gfc_cmdtypes[r].compile(prog, p, slot);
  if (kept && slot == &spare)
    ZeError("GameFlow Compiler - more than %d instructions in %s at line %d - %s", GFC_MAX_INSTR, p->name, p->lineno,
            p->line);
  prog->ninstr = int16_t(prog->ninstr + kept);
}

// ---- the slice ----------------------------------------------------------------

void gfcRunProgram(GfcProgram* prog) {
  int budget = gfc_maxexecution;
  while (prog->pc >= 0 && prog->pc < prog->ninstr) {
    if (gfc_breakpoint == prog->pc && !gfc_singlestep) {
      gfc_step = 0;
      gfc_singlestep = 1;
      gfc_follow = 1;
    }
    if (gfc_singlestep) {
      if (!gfc_step) break;
      gfc_step = 0;
    }
    GfcInstr* in = &prog->code[prog->pc];
    if (in != g_lastLogged) {
      // A waiting instruction is logged once, not at every try.
      gfcLog("L%04d C%04d %s", in->line + 1, prog->pc, gfc_cmdtypes[in->command].name);
      g_lastLogged = in;
    }
    prog->pc++;
    int result = gfc_cmdtypes[in->command].run(prog, in);
    prog->lastrun = in;
    if (!(result & GFC_HOLD) && prog->nints > 0) {
      // Newest removed first: the first queued handler runs first and each
      // returns into the next.
      while (prog->nints > 0) {
        int16_t target = prog->ints[--prog->nints];
        gfcPushPC(prog);
        prog->pc = target;
      }
      prog->lastrun = nullptr;
    }
    if (result || gfc_tron) break;
    if (--budget <= 0) {
      ZeDebugMsg("Continuous Program Execution has exceeded %d instructions", gfc_maxexecution);
      break;
    }
  }
  gfc_tron = 0;
}

void gfcResetProgram(GfcProgram* prog) {
  prog->pc = 0;
  prog->sp = 0;
  prog->nints = 0;
  prog->lastrun = nullptr;
}

// ---- interrupts and the return stack -------------------------------------------

int gfcAddInterrupt(GfcProgram* prog, int pc) {
  if (prog->nints >= GFC_MAX_INTS) return 0;
  prog->ints[prog->nints++] = int16_t(pc);
  return 1;
}

int gfcGoSubLabel(GfcProgram* prog, const char* name) {
  int i = gfcFindLabel(prog, name);
  if (i < 0) {
    ZeDebugMsg("Attempted to Jump to unknow gameflow script label %s", name);
    return 0;
  }
  ZeDebugMsg("gfcGosubLabel -> %s", name);
  return gfcAddInterrupt(prog, prog->labels[i].pc);
}

int gfcGoSubLabelById(GfcProgram* prog, int label) {
  if (label < 0 || label >= prog->nlabels) return 0;
  return gfcAddInterrupt(prog, prog->labels[label].pc);
}

int gfcGoToLabel(GfcProgram*, const char*) { return 0; }
int gfcGoToLabelById(GfcProgram*, int) { return 0; }

void gfcPushPC(GfcProgram* prog) {
  if (prog->sp >= GFC_STACK) ZeError("Stack Overflow");
  prog->stack[prog->sp++] = prog->pc;
}

void gfcPopPC(GfcProgram* prog) {
  if (prog->sp <= 0) ZeError("Stack Underflow");
  prog->pc = prog->stack[--prog->sp];
}

void gfcPop(GfcProgram* prog) {
  if (prog->sp < 2) ZeError("Stack Underflow");
  prog->sp = int16_t(prog->sp - 2);
}

// ---- semaphores -----------------------------------------------------------------

namespace {

// Every change keeps a value at most the maximum; only polling (and the
// waits, which poll) keeps it at 0 or above: a value set below 0 stays.
int32_t AtMost(int64_t value, int32_t maximum) { return value > maximum ? maximum : int32_t(value); }

bool ValidSem(int id) { return id >= 0 && id < gfc_nsems; }

}  // namespace

int gfcAddSem(const char* name, int value, int maximum) {
  if (gfc_nsems >= GFC_MAX_SEMS) ZeError("Too Many semaphores");
  int id = gfcFindSem(name);
  if (id >= 0) {
    // A repetition alike (the same maximum, the value still as declared)
    // only warns.
    if (gfc_sems[id].maximum == maximum && gfc_sems[id].value == AtMost(value, maximum)) {
      ZeDebugMsg("Warning - multiple definition of semaphore %s", name);
      return id;
    }
    ZeError("Multiple definition of semaphore %s with different attributes", name);
  }
  char* copy = static_cast<char*>(gfcAllocGlobalData(int(strlen(name)) + 1));
  strcpy(copy, name);
  gfc_sems[gfc_nsems] = {copy, AtMost(value, maximum), maximum};
  return gfc_nsems++;
}

int gfcFindSem(const char* name) {
  for (int i = gfc_nsems - 1; i >= 0; i--)
    if (ZeStrICmp(gfc_sems[i].name, name) == 0) return i;
  ZeDebugMsg("gfcFindSem - sem not found %s", name);
  return -1;
}

const char* gfcGetSemNameById(int id) { return ValidSem(id) ? gfc_sems[id].name : nullptr; }

void gfcSetSemById(int id, int value) {
  if (!ValidSem(id)) {
    ZeDebugMsg("gfcSetSemById - invalid sem %d", id);
    return;
  }
  gfc_sems[id].value = AtMost(value, gfc_sems[id].maximum);
}

void gfcSignalSemById(int id) {
  if (!ValidSem(id)) {
    ZeDebugMsg("gfcSignalSemById - invalid sem %d", id);
    return;
  }
  gfc_sems[id].value = AtMost(int64_t(gfc_sems[id].value) + 1, gfc_sems[id].maximum);
}

void gfcPollSemById(int id) {
  if (!ValidSem(id)) {
    ZeDebugMsg("gfcPollById - invalid sem %d", id);
    return;
  }
  gfc_sems[id].value = std::max(AtMost(int64_t(gfc_sems[id].value) - 1, gfc_sems[id].maximum), 0);
}

void gfcResetSemById(int id) {
  if (!ValidSem(id)) {
    ZeDebugMsg("gfcResetSemById - invalid sem %d", id);
    return;
  }
  gfc_sems[id].value = 0;
}

int gfcInterrogateSemById(int id) {
  if (!ValidSem(id)) {
    ZeDebugMsg("gfcInterrogateById - invalid sem %d", id);
    return 0;
  }
  return gfc_sems[id].value;
}

// ---- the log ----------------------------------------------------------------------

void gfcLog(const char* format, ...) {
  char line[GFC_LOG_LINE];
  int n = snprintf(line, sizeof line, "[F%06d] ", ZeRndrGlobalFrameCount());
  va_list ap;
  va_start(ap, format);
  // The message is cut so that the line and its "\r\n" fit in 256 bytes.
  vsnprintf(line + n, sizeof line - size_t(n) - 2, format, ap);
  va_end(ap);
  ZeDebugMsg("%s", line);
  if (!gameflowlog_enabled) return;
  strcat(line, "\r\n");
  ZEFILE f;
  if (g_logFirst) {
    g_logFirst = 0;
    f = ZeFileOpen("gflow.log", 1);
  } else {
    f = ZeFileOpen("gflow.log", 2);
    if (f) ZeFileSeek(f, 0, SCE_SEEK_END);
    else f = ZeFileOpen("gflow.log", 1);
  }
  if (!f) return;  // a line that cannot be written is lost
  ZeFileWrite(f, line, int(strlen(line)));
  ZeFileClose(f);
}
