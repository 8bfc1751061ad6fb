// Timing bars: the slots of a timing set drawn as coloured bars with their
// values in digits, the peak and the label underneath.
#include "ze3d.h"

int tb_peak_reset = 0;

void tbRender(TBSET* given) {
  TBSET* set = given ? given : tb_default_set;
  if (!set) return;
  const bool font = system_font != nullptr;
  if (font) ZeFntSet(system_font);
  const float H = float(PS2_REZ_H);
  const float w = float(PS2_REZ_W) * 0.025f;
  for (int slot = 0; slot < TB_SLOTS; slot++) {
    const int v = tbslotLastValue(set, slot);
    if (v != 0) {
      if (v > set->peak[slot]) set->peak[slot] = v;
      const float x0 = 0.075f * float(slot + 1), x1 = x0 + 0.025f;
      const float y0 = 0.05f, y1 = 0.05f + float(v) / H;
      const ZECOLOUR32 c = set->colour[slot];
      const ZEVTX2D quad[4] = {
          {x0, y0, 0.0f, 1.0f, c, 0.0f, 0.0f},
          {x1, y0, 0.0f, 1.0f, c, 0.0f, 0.0f},
          {x0, y1, 0.0f, 1.0f, c, 0.0f, 0.0f},
          {x1, y1, 0.0f, 1.0f, c, 0.0f, 0.0f},
      };
      ZeRndrQuad2d(quad, nullptr);
      if (font) {
        // A column of digits centred under the bar, the units lowest.
        const int x = int((float(int(w)) * float(slot + 1) * 3.0f + w * 0.5f) * 16.0f);
        const int units = int(0.05f * H * 16.0f) + 3 * ZeFntHeight;
        ZeFntPrintEx(x, units - 2 * ZeFntHeight, 2, "%d", v / 100 % 10);
        ZeFntPrintEx(x, units - ZeFntHeight, 2, "%d", v / 10 % 10);
        ZeFntPrintEx(x, units, 2, "%d", v % 10);
        const int bottom = PS2_REZ_H * 16;
        ZeFntPrintEx(x, bottom - 2 * ZeFntHeight + ZeFntBase, 2, "%d", set->peak[slot]);
        if (const char* label = set->label[slot]) ZeFntPrintEx(x, bottom - ZeFntHeight + ZeFntBase, 2, "%s", label);
      }
    }
    if (given) tbslotReset(set, slot);
    if (tb_peak_reset) set->peak[slot] = 0;
  }
  tb_peak_reset = 0;
}
