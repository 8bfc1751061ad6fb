// vu1man: the VU1 microprogram chains and their upload. Each chain is a
// DMA ret tag whose data uploads the program image with MPG commands of at
// most 256 instructions, then sets BASE 0x100 and OFFSET 0x180. The image
// starts with the program's signature (docs/vu1.md); the native program of
// that name does the work when MSCAL enters it.
#include "zeps2.h"
#include "zecore.h"

#include <cstring>

alignas(16) uint32_t vu_load_xform_mpg[Vu1ProgramChainQwords(0x0000, 0x13f0) * 4];
alignas(16) uint32_t vu_load_tric_mpg[Vu1ProgramChainQwords(0x1800, 0x2920) * 4];

// The programs of the system: the render streams add theirs here.
const VU1PROGRAM vu1_program_table[] = {
    {"xform", 0x0000, 0x13f0, vu_load_xform_mpg},
    {"tric", 0x1800, 0x2920, vu_load_tric_mpg},
};
const int vu1_program_table_count = int(sizeof vu1_program_table / sizeof vu1_program_table[0]);

namespace {

constexpr uint32_t VIF_MPG_CODE = 0x4a000000;
constexpr uint32_t VIF_BASE_0x100 = 0x03000100;
constexpr uint32_t VIF_OFFSET_0x180 = 0x02000180;

void BuildChain(const VU1PROGRAM& p) {
  const int instrs = (p.end - p.start) / 8;
  const int first = p.start / 8;
  uint32_t* c = p.chain;
  memset(c, 0, size_t(Vu1ProgramChainQwords(p.start, p.end)) * 16);
  Vu1Signature sig{VU1_SIG_MAGIC, uint32_t(instrs), {}};
  strncpy(sig.name, p.name, VU1_SIG_NAME - 1);
  uint32_t* w = c + 3;  // the first MPG rides in the tag's second VIF word
  for (int done = 0; done < instrs;) {
    int n = instrs - done < 256 ? instrs - done : 256;
    if (done) *w++ = 0;  // NOP: keeps the MPG data on a 64-bit boundary
    *w++ = VIF_MPG_CODE | uint32_t(n & 0xff) << 16 | uint32_t(first + done);
    if (done == 0) memcpy(w, &sig, sizeof sig);  // the rest of the image is zero
    w += n * 2;
    done += n;
  }
  *w++ = VIF_BASE_0x100;
  *w++ = VIF_OFFSET_0x180;
  while ((w - c) & 3) *w++ = 0;
  c[0] = uint32_t((w - c) / 4 - 1) | uint32_t(DMATAG_RET) << 28;
}

// The chains are fixed data: built once, before anything runs.
struct BuildAll {
  BuildAll() {
    for (int i = 0; i < vu1_program_table_count; i++) BuildChain(vu1_program_table[i]);
  }
} g_buildAll;

}  // namespace

void ZePs2InitVU() {
  FlushCache(0);
  VU1_DmaWrite(vu_load_xform_mpg);
  VU1_DmaWrite(vu_load_tric_mpg);
  ZeDebugMsg("Loaded default mpg");
}

void VU1_LoadXD() { ZePs2InitVU(); }

void VU1_DisplayFRegs() {
  for (int i = 0; i < 32; i++) {
    uint32_t q[4];
    Vu0ViewRead(0x400 + i, q);
    float f[4];
    memcpy(f, q, 16);
    ZeDebugMsg("vf%02d:%f %f %f %f", i, double(f[0]), double(f[1]), double(f[2]), double(f[3]));
  }
}

void VU1_DisplaySRegs() {
  for (int i = 0; i < 16; i++) {
    uint32_t q[4];
    Vu0ViewRead(0x420 + i, q);
    ZeDebugMsg("vs%02d : %08x %08x %08x %08x", i, q[0], q[1], q[2], q[3]);
  }
}
