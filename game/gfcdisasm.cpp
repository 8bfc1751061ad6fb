// The game-flow debug view: the code around the top row with labels, the
// breakpoint and the PC, the return stack and interrupt queue, and the pad
// controls for breakpoint and single step.
#include "gameflow.h"

#include "ze3d.h"

namespace {

constexpr uint32_t PEN = 0x80808080u;
constexpr uint32_t PEN_PC = 0x80800000u;
constexpr int ROWS = 6;
constexpr int TOP_Y = 512;

constexpr uint32_t PAD_UP = 0x1000, PAD_DOWN = 0x4000, PAD_LEFT = 0x8000, PAD_RIGHT = 0x2000, PAD_L2 = 0x1;

const char* LabelAt(GfcProgram* prog, int pc) {
  for (int i = 0; i < prog->nlabels; i++)
    if (prog->labels[i].pc == pc) return prog->labels[i].name.get();
  return nullptr;
}

}  // namespace

void gfcDisasm(GfcProgram* prog, ZEPAD* pad) {
  gfc_tron = 1;
  ZeFntSet(nullptr);  // font 0, the built-in one
  ZeFntScale(32, 32);
  ZeFntSetPen(PEN);
  int y = TOP_Y;
  for (int row = 0, i = gfc_toprow; row < ROWS && i < prog->ninstr; row++, i++) {
    if (const char* label = LabelAt(prog, i)) ZeFntPrintEx(160, y, 0, "%s", label);
    y += ZeFntHeight;
    const GfcInstr& in = prog->code[i];
    if (i == prog->pc) {
      ZeFntSetPen(PEN_PC);
      gfc_follow = 0;
    }
    if (i == gfc_breakpoint) ZeFntPrintEx(480, y, 0, "BRK");
    else ZeFntPrintEx(480, y, 0, "%04x", i);
    const char* name = in.command >= 0 && in.command < gfc_ncmdtypes ? gfc_cmdtypes[in.command].name : "????";
    ZeFntPrintEx(1280, y, 0, "%s %08x", name, unsigned(in.operand));
    ZeFntSetPen(PEN);
    y += ZeFntHeight;
  }

  y = TOP_Y;
  ZeFntPrintEx(6400, y, 0, "PC %04x", unsigned(prog->pc) & 0xffff);
  ZeFntPrintEx(6400, y += ZeFntHeight, 0, "BP %04x", unsigned(gfc_breakpoint) & 0xffff);
  ZeFntPrintEx(6400, y += ZeFntHeight, 0, "SP %04x", unsigned(prog->sp) & 0xffff);
  for (int k = 0; k < prog->sp; k++) ZeFntPrintEx(6400, y += ZeFntHeight, 0, "%02x:%04x", k, unsigned(prog->stack[k]) & 0xffff);
  ZeFntPrintEx(7680, y += ZeFntHeight, 0, "IP %04x", unsigned(prog->nints) & 0xffff);
  for (int k = 0; k < prog->nints; k++) ZeFntPrintEx(7680, y += ZeFntHeight, 0, "%02x:%04x", k, unsigned(prog->ints[k]) & 0xffff);
  ZeFntPrintEx(6400, y + ZeFntHeight, 0, gfc_singlestep ? "Single Step" : "Running");

  if (gfc_follow) gfc_toprow = prog->pc;

  if (!pad) return;
  uint32_t pressed = pad->pressed;
  if ((pressed & PAD_UP) && gfc_toprow > 0) gfc_toprow--;
  if ((pressed & PAD_DOWN) && gfc_toprow < prog->ninstr - 1) gfc_toprow++;
  if (pressed & PAD_LEFT) gfc_breakpoint = gfc_breakpoint == gfc_toprow ? -1 : gfc_toprow;
  if (pressed & PAD_RIGHT) {
    gfc_step = 1;
    gfc_follow = 1;
    if (pad->buttons & PAD_L2) gfc_singlestep = 0;
  }
}
