// Test helpers for the graphics machine: a recorder of GS register writes
// and quadword buffers in EE memory for chains and packets.
#pragma once

#include <cstring>
#include <utility>
#include <vector>

#include "platform.h"

// Records every GS register write (GsSetRegHook) while it lives.
struct GsCapture {
  std::vector<std::pair<int, uint64_t>> writes;

  GsCapture() {
    current() = this;
    GsSetRegHook([](int reg, uint64_t v) { current()->writes.emplace_back(reg, v); });
  }
  ~GsCapture() {
    GsSetRegHook(nullptr);
    current() = nullptr;
  }
  std::vector<uint64_t> Values(int reg) const {
    std::vector<uint64_t> out;
    for (auto& w : writes)
      if (w.first == reg) out.push_back(w.second);
    return out;
  }
  std::vector<int> Regs() const {
    std::vector<int> out;
    for (auto& w : writes) out.push_back(w.first);
    return out;
  }
  static GsCapture*& current() {
    static GsCapture* c = nullptr;
    return c;
  }
};

// Zeroed quadwords in EE memory, freed at the end of the test.
struct EeQwords {
  uint32_t* w;
  explicit EeQwords(int qwords) : w(static_cast<uint32_t*>(EeMalloc(size_t(qwords) * 16))) {
    memset(w, 0, size_t(qwords) * 16);
  }
  ~EeQwords() { EeFree(w); }
  EeQwords(const EeQwords&) = delete;
  EeQwords& operator=(const EeQwords&) = delete;
  uint32_t* qw(int i) const { return w + i * 4; }
  uint32_t addr(int i) const { return EeAddrOf(qw(i)); }
};

// Writers for hand-built chains and packets.
inline void PutTag(uint32_t* p, uint32_t qwc, uint32_t id, uint32_t addr, uint32_t vif0 = 0, uint32_t vif1 = 0,
                   bool irq = false, uint32_t marker = 0) {
  p[0] = qwc | marker << 16 | id << 28 | (irq ? 0x80000000u : 0);
  p[1] = addr;
  p[2] = vif0;
  p[3] = vif1;
}
inline void PutGifTag(uint32_t* p, uint32_t nloop, bool eop, uint32_t flg, uint32_t nreg, uint64_t regs,
                      bool pre = false, uint32_t prim = 0) {
  uint64_t lo = GIF_TAG::NLOOP::make(nloop) | GIF_TAG::EOP::make(eop) | GIF_TAG::PRE::make(pre) |
                GIF_TAG::PRIM::make(prim) | GIF_TAG::FLG::make(flg) | GIF_TAG::NREG::make(nreg);
  memcpy(p, &lo, 8);
  memcpy(p + 2, &regs, 8);
}
inline void PutAd(uint32_t* p, int reg, uint64_t value) {
  uint64_t r = uint64_t(reg);
  memcpy(p, &value, 8);
  memcpy(p + 2, &r, 8);
}
// A whole GIF packet of one A+D write: two quadwords.
inline void PutAdPacket(uint32_t* p, int reg, uint64_t value) {
  PutGifTag(p, 1, true, GIF_PACKED, 1, GIF_DESC_AD);
  PutAd(p + 4, reg, value);
}
constexpr uint32_t VifCode(uint32_t cmd, uint32_t imm = 0, uint32_t num = 0) { return cmd << 24 | num << 16 | imm; }
