// gameflow: the game-flow language (compiler, command-type table, labels,
// data areas), its virtual machine (slices, interrupts, return stack,
// semaphores, log, debug view) and the built-in commands.
#pragma once

#include <cstring>

#include "zecore.h"
#include "zeps2.h"

// ===================================================================
// Language and compiler (gameflow)
// ===================================================================
// Program text grammar (one line each, names without regard to case, ';'
// first on a line makes a comment; see docs/gameflow.md):
//   line    := [label ':'] [command {operand}]
//   operand := word | number | "quoted words"

constexpr int GFC_MAX_CMDTYPES = 128;
constexpr int GFC_DATA = 4096;         // a program's data area
constexpr int GFC_GLOBAL_DATA = 4096;  // the shared area: command and semaphore names
constexpr int GFC_MAX_INSTR = 4096;
constexpr int GFC_MAX_LABELS = 256;
constexpr int GFC_STACK = 32;          // return stack
constexpr int GFC_MAX_INTS = 32;       // interrupt queue
constexpr int GFC_MAX_SEMS = 256;
constexpr int GFC_MAX_NESTING = 16;    // files open at once through #include
constexpr int GFC_LOG_LINE = 256;

struct GfcProgram;

struct GfcInstr {
  int16_t command;  // row of gfc_cmdtypes
  int16_t line;     // source line in its own file, from 0
  int32_t operand;  // a value, two int16s, or an offset into the data area
};
static_assert(sizeof(GfcInstr) == 8);

// compile(program, parser, slot): 1 keeps the instruction, 0 drops it.
using GfcCompileFn = int (*)(GfcProgram* prog, ZEFPAR* parser, GfcInstr* instr);
// run(program, instruction): the result code (GFC_*).
using GfcRunFn = int (*)(GfcProgram* prog, GfcInstr* instr);

// Run results: any nonzero value ends the slice; bit 1 holds interrupts.
enum { GFC_CONTINUE = 0, GFC_YIELD = 1, GFC_HOLD = 2, GFC_HOLD_WAIT = 3 };

struct GfcCmdType {
  const char* name;  // in the global data area
  GfcCompileFn compile;
  GfcRunFn run;
};

constexpr uint16_t GFC_LABEL_DEFINED = 1;

struct GfcLabel {
  EePtr<char> name;  // in the program's data area
  int16_t pc;
  uint16_t flags;    // GFC_LABEL_DEFINED
};
static_assert(sizeof(GfcLabel) == 8);

struct GfcProgram {
  char data[GFC_DATA];
  GfcInstr code[GFC_MAX_INSTR];
  GfcLabel labels[GFC_MAX_LABELS];
  int16_t stack[GFC_STACK];
  int16_t ints[GFC_MAX_INTS];
  int16_t dataused;
  int16_t ninstr;
  int16_t nlabels;
  int16_t pc;
  int16_t sp;
  int16_t nints;
  EePtr<GfcInstr> lastrun;
  EePtr<ZEFPAR> parser;  // the file being compiled; null outside compilation
};
static_assert(offsetof(GfcProgram, code) == 4096 && offsetof(GfcProgram, labels) == 4096 + 32768);
static_assert(offsetof(GfcProgram, dataused) == 39040 && sizeof(GfcProgram) == 39060);

extern GfcCmdType gfc_cmdtypes[GFC_MAX_CMDTYPES];
extern int gfc_ncmdtypes;
extern int gfc_strict;
extern GfcProgram* gfc_compiling;  // the program being compiled (null outside compilation)

// The operand's two int16 halves, first and second in memory order.
inline int16_t gfcOperandFirst(const GfcInstr* in) {
  int16_t h[2];
  memcpy(h, &in->operand, 4);
  return h[0];
}
inline int16_t gfcOperandSecond(const GfcInstr* in) {
  int16_t h[2];
  memcpy(h, &in->operand, 4);
  return h[1];
}
inline void gfcSetOperand(GfcInstr* in, int16_t first, int16_t second) {
  int16_t h[2] = {first, second};
  memcpy(&in->operand, h, 4);
}
// A record in the data area is referred to by its offset.
inline int32_t gfcDataRef(GfcProgram* prog, const void* record) {
  return int32_t(static_cast<const char*>(record) - prog->data);
}
inline void* gfcData(GfcProgram* prog, int32_t ref) { return prog->data + ref; }

void gfcInit();
int gfcAddCommandType(const char* name, GfcRunFn run, GfcCompileFn compile);
// Compiles a program into a record taken at *cursor (aligned to 16), which
// is advanced past it; a record that does not fit before end is fatal.
GfcProgram* gfcLoadProgram(const char* name, char** cursor, char* end);
int gfcAddLabel(GfcProgram* prog, const char* name);
int gfcFindLabel(GfcProgram* prog, const char* name);  // newest first; -1 when none
void* gfcAllocData(GfcProgram* prog, int size);
void* gfcAllocGlobalData(int size);
void gfcCompileFile(GfcProgram* prog, const char* name);
void gfcCompileLine(GfcProgram* prog);
// A label operand: the newest label of that name, else a forward reference.
int gfcLabelOperand(GfcProgram* prog, const char* name);

// ===================================================================
// Machine, semaphores and interrupts (gameflow)
// ===================================================================

struct GfcSem {
  const char* name;  // in the global data area
  int32_t value;     // 0..maximum
  int32_t maximum;
};

extern GfcSem gfc_sems[GFC_MAX_SEMS];
extern int gfc_nsems;
extern int gfc_maxexecution;  // 64
extern int gfc_tron;
extern int gfc_breakpoint;    // -1
extern int gfc_singlestep;
extern int gfc_step;
extern int gfc_follow;        // 1
extern int gfc_toprow;
extern int gameflowlog_enabled;

void gfcRunProgram(GfcProgram* prog);
void gfcResetProgram(GfcProgram* prog);
int gfcGoSubLabel(GfcProgram* prog, const char* name);
int gfcGoSubLabelById(GfcProgram* prog, int label);
int gfcAddInterrupt(GfcProgram* prog, int pc);
int gfcGoToLabel(GfcProgram* prog, const char* name);
int gfcGoToLabelById(GfcProgram* prog, int label);
void gfcPushPC(GfcProgram* prog);
void gfcPopPC(GfcProgram* prog);
void gfcPop(GfcProgram* prog);
int gfcAddSem(const char* name, int value, int maximum);
int gfcFindSem(const char* name);
const char* gfcGetSemNameById(int id);
void gfcSetSemById(int id, int value);
void gfcSignalSemById(int id);
void gfcPollSemById(int id);
void gfcResetSemById(int id);
int gfcInterrogateSemById(int id);
void gfcLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void gfcDisasm(GfcProgram* prog, ZEPAD* pad);

// ===================================================================
// Built-in commands (gfcbuiltin)
// ===================================================================
// Rows 0-26 in this order: #Strict #Sloppy #include AddSem ResetSem SetSem
// SignalSem PollSem WaitSem WaitSemMulti WaitSemEQ WaitSemLT WaitSemGT
// WaitSemNE IfSemEQ IfSemLT IfSemGT IfSemNE Wait GoTo GoSub Return Pop
// PopAll Break Halt DebugMsg.
constexpr int GFC_BUILTINS = 27;
void gfcAddBuiltinCommands();

// ===================================================================
// The game's program (gfsupp)
// ===================================================================

extern GfcProgram* gameflow_prog;
extern int sem_edit_mode, sem_gb_init_level, sem_in_craft_biplane, sem_in_craft_wasp, sem_ferry_loading;
extern const char* gameflow_enter_vehicle;
extern const char* gameflow_leave_vehicle;
extern int gameflow_pending_op;
extern int game_editmode;

// The game's command types (rows 27 on); the game tools register them too.
void InitGameFlowCommands();
void InitGameFlow(const char* name, char** cursor, char* end);
