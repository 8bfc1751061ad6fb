// Placeholder GS model: registers are stored, memory is linear 32-bit words.
// Replaced by the full model (swizzled layouts, drawing, transfers).
#include "gs.h"

#include <cstring>

namespace {
alignas(64) uint8_t g_mem[GS_MEMORY_SIZE];
uint64_t g_reg[GS_REG_COUNT];
uint64_t g_priv[0x200];
GsRegHook g_hook = nullptr;

uint32_t PrivIndex(uint32_t addr) { return ((addr & 0x1000) ? 0x100 : 0) + ((addr & 0xff0) >> 4); }
uint32_t Offset(uint32_t bp, uint32_t bw, int x, int y) {
  return (bp * 256 + (uint32_t(y) * bw * 64 + uint32_t(x)) * 4) & (GS_MEMORY_SIZE - 4);
}
}  // namespace

void GsReset() {
  memset(g_mem, 0, sizeof g_mem);
  memset(g_reg, 0, sizeof g_reg);
  memset(g_priv, 0, sizeof g_priv);
}

uint8_t* GsMemory() { return g_mem; }

void GsWriteReg(int reg, uint64_t value) {
  if (g_hook) g_hook(reg, value);
  if (reg >= 0 && reg < GS_REG_COUNT) g_reg[reg] = value;
}

void GsSetRegHook(GsRegHook hook) { g_hook = hook; }

uint64_t GsGetReg(int reg) { return reg >= 0 && reg < GS_REG_COUNT ? g_reg[reg] : 0; }

void GsWriteImage(const void*, int) {}
int GsReadImage(void*, int) { return 0; }

void GsPrivWrite(uint32_t addr, uint64_t value) { g_priv[PrivIndex(addr)] = value; }
uint64_t GsPrivRead(uint32_t addr) { return g_priv[PrivIndex(addr)]; }

uint32_t GsMemReadPixel(int, uint32_t bp, uint32_t bw, int x, int y) {
  uint32_t v;
  memcpy(&v, g_mem + Offset(bp, bw, x, y), 4);
  return v;
}

void GsMemWritePixel(int, uint32_t bp, uint32_t bw, int x, int y, uint32_t value) {
  memcpy(g_mem + Offset(bp, bw, x, y), &value, 4);
}

bool GsReadDisplay(int, uint32_t*, int, int* width, int* height) {
  *width = *height = 0;
  return false;
}
