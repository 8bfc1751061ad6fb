// The DMA controller: channel registers, the one source-chain tag walker,
// normal transfers, scratchpad transfers, the interrupt status and the
// register accessors by EE address.
#include "platform.h"

#include <link.h>
#include <cstring>

namespace {

constexpr int CHANNELS = DMAC_COUNT;
constexpr uint32_t CHAN_BASE[CHANNELS] = {0x10008000, 0x10009000, 0x1000a000, 0x1000b000, 0x1000b400,
                                          0x1000c000, 0x1000c400, 0x1000c800, 0x1000d000, 0x1000d400};
// A chain that has not ended after this many tags is taken to loop forever.
constexpr uint64_t MAX_TAGS_PER_START = uint64_t(1) << 22;

sceDmaChan g_chan[CHANNELS];
bool g_pendingStart[CHANNELS];
uint32_t g_ctrl = 1;  // DMAE: the kernel leaves the controller enabled
uint32_t g_stat, g_pcr, g_sqwc, g_rbsr, g_rbor, g_stadr, g_enable;
uint64_t g_moved;
bool g_running;  // a transfer is being processed (starts from devices are not re-entered)

bool Modelled(int ch) { return ch == DMAC_VIF0 || ch == DMAC_VIF1 || ch == DMAC_GIF || ch == DMAC_FROM_SPR || ch == DMAC_TO_SPR; }

const char* ChanName(int ch) {
  static const char* const names[CHANNELS] = {"VIF0", "VIF1", "GIF", "fromIPU", "toIPU",
                                              "SIF0", "SIF1", "SIF2", "fromSPR", "toSPR"};
  return names[ch];
}

// ---- memory the DMA controller may read and write -------------------

struct Range {
  uintptr_t lo, hi;
};
Range g_image[16];
int g_imageCount = -1;

int CollectSegments(dl_phdr_info* info, size_t, void*) {
  // The first object is the program itself: its loaded segments are the
  // static data a chain may point into.
  for (int i = 0; i < info->dlpi_phnum && g_imageCount < 16; i++) {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_LOAD) continue;
    uintptr_t lo = info->dlpi_addr + ph.p_vaddr;
    g_image[g_imageCount++] = {lo, lo + ph.p_memsz};
  }
  return 1;
}

bool InProgramImage(uintptr_t lo, uintptr_t hi) {
  if (g_imageCount < 0) {
    g_imageCount = 0;
    dl_iterate_phdr(CollectSegments, nullptr);
  }
  for (int i = 0; i < g_imageCount; i++)
    if (lo >= g_image[i].lo && hi <= g_image[i].hi) return true;
  return false;
}

uint8_t* Scratchpad() { return static_cast<uint8_t*>(EeAddrToPtr(EE_SCRATCHPAD)); }

// The bytes at addr that a channel reads or writes: EE memory (the arena or
// the program's static data, through the uncached alias too) or, with spr,
// the scratchpad. Null for anything else.
uint8_t* Resolve(uint32_t addr, uint32_t bytes, bool spr) {
  if (spr) {
    uint32_t off = addr & (EE_SCRATCHPAD_SIZE - 1);
    return off + bytes <= EE_SCRATCHPAD_SIZE ? Scratchpad() + off : nullptr;
  }
  uint32_t a = EeStripAlias(addr);
  if (a >= EE_SCRATCHPAD && a - EE_SCRATCHPAD < EE_SCRATCHPAD_SIZE)
    return a - EE_SCRATCHPAD + bytes <= EE_SCRATCHPAD_SIZE ? Scratchpad() + (a - EE_SCRATCHPAD) : nullptr;
  uint8_t* p = static_cast<uint8_t*>(EeAddrToPtr(a));
  if (bytes == 0 || (EeArenaContains(p) && EeArenaContains(p + bytes - 1)) ||
      InProgramImage(uintptr_t(p), uintptr_t(p) + bytes))
    return p;
  return nullptr;
}

// As Resolve; anything else is a broken chain and fatal.
uint8_t* DmaMem(int ch, uint32_t addr, uint32_t bytes, bool spr, const char* what) {
  uint8_t* p = Resolve(addr, bytes, spr);
  if (!p) PlatFatal("DMA %s: %s at %08x (%u bytes) is outside EE memory", ChanName(ch), what, addr, bytes);
  return p;
}

// ---- devices -----------------------------------------------------------

// Quadwords from memory to the channel's device.
void ToDevice(int ch, const uint8_t* data, uint32_t qwc) {
  g_moved += qwc;
  if (qwc == 0) return;
  switch (ch) {
    case DMAC_VIF0:
    case DMAC_VIF1: {
      uint32_t words[256];
      // Copy in slices: the device may run programs that read memory the
      // chain also holds, and words must be aligned for the VIF.
      for (uint32_t done = 0; done < qwc;) {
        uint32_t n = qwc - done < 64 ? qwc - done : 64;
        memcpy(words, data + done * 16, n * 16);
        VifWrite(ch == DMAC_VIF0 ? 0 : 1, words, int(n * 4));
        done += n;
      }
      break;
    }
    case DMAC_GIF:
      GifWrite(GIF_PATH3, data, int(qwc));
      break;
    case DMAC_TO_SPR: {
      sceDmaChan& r = g_chan[ch];
      for (uint32_t i = 0; i < qwc; i++) {
        uint32_t off = (r.sadr + i * 16) & (EE_SCRATCHPAD_SIZE - 16);
        memcpy(Scratchpad() + off, data + i * 16, 16);
      }
      r.sadr = (r.sadr + qwc * 16) & (EE_SCRATCHPAD_SIZE - 16);
      break;
    }
    default:
      PlatFatal("DMA %s: channel is not modelled", ChanName(ch));
  }
}

// A block of qwc quadwords at addr (bit 31: scratchpad) to the device.
void Block(int ch, uint32_t addr, uint32_t qwc, bool spr) {
  const uint8_t* p = DmaMem(ch, addr, qwc * 16, spr || (addr & 0x80000000u), "data");
  ToDevice(ch, p, qwc);
}

// The channel has ended (or stopped at a tag interrupt).
void Finish(int ch) {
  sceDmaChan& r = g_chan[ch];
  r.chcr = uint32_t(DMA_CHCR::STR::set(r.chcr, 0));
  g_stat |= 1u << ch;
  DmacRaise(ch);
}

// The one tag walker: a source chain from TADR, as the controller runs it.
void RunChain(int ch) {
  sceDmaChan& r = g_chan[ch];
  const bool vif = ch == DMAC_VIF0 || ch == DMAC_VIF1;
  // A restart first finishes the block the last tag left (QWC non-zero),
  // and ends there when that tag ended the chain.
  if (r.qwc) {
    uint32_t n = r.qwc;
    Block(ch, r.madr, n, false);
    r.madr += n * 16;
    r.qwc = 0;
    uint32_t id = uint32_t(DMA_TAG::ID::get(uint64_t(r.chcr) & 0xffff0000u));
    if (id == DMA_REFE || id == DMA_END || (id == DMA_RET && DMA_CHCR::ASP::get(r.chcr) == 0)) {
      Finish(ch);
      return;
    }
  }
  for (uint64_t tags = 0;; tags++) {
    if (tags == MAX_TAGS_PER_START) PlatFatal("DMA %s: the chain has not ended after %llu tags (a loop?)", ChanName(ch), (unsigned long long)tags);
    if (r.tadr & 15) PlatFatal("DMA %s: tag address %08x is not quadword aligned", ChanName(ch), r.tadr);
    const uint8_t* tp = DmaMem(ch, r.tadr & 0x7fffffffu, 16, (r.tadr & 0x80000000u) != 0, "tag");
    uint64_t tag;
    uint32_t vifWords[2];
    memcpy(&tag, tp, 8);
    memcpy(vifWords, tp + 8, 8);
    g_moved++;
    uint32_t qwc = uint32_t(DMA_TAG::QWC::get(tag));
    uint32_t id = uint32_t(DMA_TAG::ID::get(tag));
    uint32_t addr = uint32_t(DMA_TAG::ADDR::get(tag));
    bool spr = DMA_TAG::SPR::get(tag) != 0;
    bool irq = DMA_TAG::IRQ::get(tag) != 0;
    uint32_t chcr = r.chcr;
    chcr = uint32_t(DMA_CHCR::TAG::set(chcr, tag >> 16));
    r.chcr = chcr;
    r.qwc = qwc;
    // Tag transfer: the tag's upper 64 bits (two VIF codes) go first.
    if (DMA_CHCR::TTE::get(chcr) && vif) VifWrite(ch == DMAC_VIF0 ? 0 : 1, vifWords, 2);
    uint32_t tagAddr = r.tadr;
    bool end = false;
    uint32_t asp = uint32_t(DMA_CHCR::ASP::get(chcr));
    switch (id) {
      case DMA_REFE:
      case DMA_REF:
      case DMA_REFS:
        r.madr = addr;
        Block(ch, addr, qwc, spr);
        r.madr = addr + qwc * 16;
        r.tadr = tagAddr + 16;
        end = id == DMA_REFE;
        break;
      case DMA_CNT:
      case DMA_NEXT:
      case DMA_CALL:
      case DMA_RET:
      case DMA_END: {
        r.madr = tagAddr + 16;
        Block(ch, r.madr, qwc, (tagAddr & 0x80000000u) != 0);
        r.madr = tagAddr + 16 + qwc * 16;
        if (id == DMA_CNT) {
          r.tadr = r.madr;
        } else if (id == DMA_NEXT) {
          r.tadr = addr;
        } else if (id == DMA_CALL) {
          if (asp >= 2) PlatFatal("DMA %s: call at %08x with the call stack full (two levels)", ChanName(ch), tagAddr);
          (asp == 0 ? r.asr0 : r.asr1) = r.madr;
          r.chcr = uint32_t(DMA_CHCR::ASP::set(r.chcr, asp + 1));
          r.tadr = addr;
        } else if (id == DMA_RET) {
          if (asp == 0) {
            // A ret with nothing to return to ends the transfer.
            r.tadr = r.madr;
            end = true;
          } else {
            r.tadr = asp == 2 ? r.asr1 : r.asr0;
            r.chcr = uint32_t(DMA_CHCR::ASP::set(r.chcr, asp - 1));
          }
        } else {
          r.tadr = r.madr;
          end = true;
        }
        break;
      }
    }
    r.qwc = 0;
    if (irq && DMA_CHCR::TIE::get(r.chcr)) end = true;
    if (end) break;
  }
  Finish(ch);
}

void RunNormal(int ch) {
  sceDmaChan& r = g_chan[ch];
  uint32_t n = r.qwc;
  if (ch == DMAC_FROM_SPR) {
    uint8_t* dst = DmaMem(ch, r.madr & 0x7fffffffu, n * 16, (r.madr & 0x80000000u) != 0, "destination");
    for (uint32_t i = 0; i < n; i++) {
      uint32_t off = (r.sadr + i * 16) & (EE_SCRATCHPAD_SIZE - 16);
      memcpy(dst + i * 16, Scratchpad() + off, 16);
    }
    g_moved += n;
    r.sadr = (r.sadr + n * 16) & (EE_SCRATCHPAD_SIZE - 16);
  } else {
    Block(ch, r.madr, n, false);
  }
  r.madr += n * 16;
  r.qwc = 0;
  Finish(ch);
}

void Run(int ch) {
  sceDmaChan& r = g_chan[ch];
  if (!Modelled(ch)) PlatFatal("DMA %s: channel is not modelled", ChanName(ch));
  if ((ch == DMAC_VIF0 || ch == DMAC_VIF1 || ch == DMAC_GIF) && !DMA_CHCR::DIR::get(r.chcr))
    PlatFatal("DMA %s: transfers to memory are not modelled", ChanName(ch));
  uint32_t mode = uint32_t(DMA_CHCR::MOD::get(r.chcr));
  struct Running {  // a fatal error in a test unwinds through here
    Running() { g_running = true; }
    ~Running() { g_running = false; }
  } running;
  if (mode == 0) RunNormal(ch);
  else if (mode == 1 && ch != DMAC_FROM_SPR) RunChain(ch);
  else PlatFatal("DMA %s: mode %u is not modelled", ChanName(ch), mode);
}

bool Held() { return !(g_ctrl & 1) || (g_enable & D_ENABLE_SUSPEND); }

// Runs the channels whose start waited (DMA held, or a start made while a
// transfer was being processed), in channel order.
void StartPending() {
  for (int ch = 0; ch < CHANNELS && !Held() && !g_running; ch++) {
    if (!g_pendingStart[ch]) continue;
    g_pendingStart[ch] = false;
    Run(ch);
    ch = -1;  // a transfer may have started others
  }
}

uint32_t* ChanReg(int ch, uint32_t off) {
  sceDmaChan& r = g_chan[ch];
  switch (off) {
    case 0x00: return &r.chcr;
    case 0x10: return &r.madr;
    case 0x20: return &r.qwc;
    case 0x30: return &r.tadr;
    case 0x40: return &r.asr0;
    case 0x50: return &r.asr1;
    case 0x80: return &r.sadr;
    default: return nullptr;
  }
}

int ChanOf(uint32_t addr, uint32_t* off) {
  for (int ch = 0; ch < CHANNELS; ch++) {
    if (addr >= CHAN_BASE[ch] && addr < CHAN_BASE[ch] + 0x100) {
      *off = addr - CHAN_BASE[ch];
      return ch;
    }
  }
  return -1;
}

void DmaWrite(uint32_t addr, uint32_t v) {
  uint32_t off;
  int ch = ChanOf(addr, &off);
  if (ch >= 0) {
    uint32_t* reg = ChanReg(ch, off);
    if (!reg) PlatFatal("register %08x is not modelled", addr);
    if (off == 0x20) v &= 0xffff;
    if (off == 0x80) v &= EE_SCRATCHPAD_SIZE - 16;
    *reg = v;
    if (off == 0x00 && DMA_CHCR::STR::get(v)) {
      g_pendingStart[ch] = true;
      if (!g_running) StartPending();
    }
    return;
  }
  switch (addr) {
    case D_CTRL: g_ctrl = v; StartPending(); return;
    case D_STAT:
      // Channel bits clear where 1 is written; mask bits toggle.
      g_stat = (g_stat & ~(v & 0xffff)) ^ (v & 0xffff0000u);
      return;
    case D_PCR: g_pcr = v; return;
    case D_SQWC: g_sqwc = v; return;
    case D_RBSR: g_rbsr = v; return;
    case D_RBOR: g_rbor = v; return;
    case D_STADR: g_stadr = v; return;
    case D_ENABLEW: g_enable = v; StartPending(); return;
    default: PlatFatal("register %08x is not modelled", addr);
  }
}

uint32_t DmaRead(uint32_t addr) {
  uint32_t off;
  int ch = ChanOf(addr, &off);
  if (ch >= 0) {
    uint32_t* reg = ChanReg(ch, off);
    if (!reg) PlatFatal("register %08x is not modelled", addr);
    uint32_t v = *reg;
    if (off == 0x00 && g_pendingStart[ch]) v |= uint32_t(DMA_CHCR::STR::MASK);
    return v;
  }
  switch (addr) {
    case D_CTRL: return g_ctrl;
    case D_STAT: return g_stat;
    case D_PCR: return g_pcr;
    case D_SQWC: return g_sqwc;
    case D_RBSR: return g_rbsr;
    case D_RBOR: return g_rbor;
    case D_STADR: return g_stadr;
    case D_ENABLER: return g_enable;
    default: PlatFatal("register %08x is not modelled", addr);
  }
}

// Timers: count and mode through the kernel's clocks; COMP and HOLD stored.
uint32_t g_timerComp[4], g_timerHold[4];

void TimerWrite(uint32_t addr, uint32_t v) {
  int n = int((addr >> 11) & 3);
  switch (addr & 0x7f0) {
    case 0x00: TimerSetCount(n, v & 0xffff); return;
    case 0x10: TimerSetMode(n, v); return;
    case 0x20: g_timerComp[n] = v & 0xffff; return;
    case 0x30: g_timerHold[n] = v & 0xffff; return;
    default: PlatFatal("register %08x is not modelled", addr);
  }
}

uint32_t TimerRead(uint32_t addr) {
  int n = int((addr >> 11) & 3);
  switch (addr & 0x7f0) {
    case 0x00: return TimerGetCount(n);
    case 0x10: return TimerGetMode(n);
    case 0x20: return g_timerComp[n];
    case 0x30: return g_timerHold[n];
    default: PlatFatal("register %08x is not modelled", addr);
  }
}

}  // namespace

void DmaReset() {
  memset(static_cast<void*>(g_chan), 0, sizeof g_chan);
  memset(g_pendingStart, 0, sizeof g_pendingStart);
  g_ctrl = 1;
  g_stat = g_pcr = g_sqwc = g_rbsr = g_rbor = g_stadr = g_enable = 0;
  g_running = false;
}

uint64_t DmaQwordsMoved() { return g_moved; }

void* DmaMemory(uint32_t addr, uint32_t bytes) {
  return Resolve(addr & 0x7fffffffu, bytes, (addr & 0x80000000u) != 0);
}

sceDmaChan* sceDmaGetChan(int id) {
  if (id < 0 || id >= CHANNELS) return nullptr;
  return &g_chan[id];
}

void sceDmaReset(int mode) {
  DmaReset();
  g_ctrl = mode ? 1 : 0;
}

uint32_t EeRegRead(uint32_t addr) {
  if (addr & 3) PlatFatal("register read at %08x is not word aligned", addr);
  if (addr >= 0x10000000 && addr < 0x10002000) return TimerRead(addr);
  if (addr >= 0x10003000 && addr < 0x10003800) return GifRegRead(addr);
  if (addr >= 0x10003800 && addr < 0x10004000) return VifRegRead(addr);
  if ((addr >= 0x10008000 && addr < 0x1000f000) || addr == D_ENABLER) return DmaRead(addr);
  PlatFatal("register %08x is not modelled", addr);
}

void EeRegWrite(uint32_t addr, uint32_t value) {
  if (addr & 3) PlatFatal("register write at %08x is not word aligned", addr);
  if (addr >= 0x10000000 && addr < 0x10002000) return TimerWrite(addr, value);
  if (addr >= 0x10003000 && addr < 0x10003800) return GifRegWrite(addr, value);
  if (addr >= 0x10003800 && addr < 0x10004000) return VifRegWrite(addr, value);
  if ((addr >= 0x10008000 && addr < 0x1000f000) || addr == D_ENABLEW) return DmaWrite(addr, value);
  PlatFatal("register %08x is not modelled", addr);
}
