// vu1man: the VU1 microprogram chains and their upload. Each chain is a
// DMA ret tag whose data uploads the program image with MPG commands of at
// most 256 instructions, then sets BASE and OFFSET (0x100 and 0x180 for all
// but the fractal-patch program). The image
// starts with the program's signature (docs/vu1.md); the native program of
// that name does the work when MSCAL enters it.
#include "zeps2.h"
#include "zecore.h"

#include <cstring>

alignas(16) uint32_t vu_load_xform_mpg[Vu1ProgramChainQwords(0x0000, 0x13f0) * 4];
alignas(16) uint32_t vu_load_patch_vu0_mpg[Vu1ProgramChainQwords(0x0000, 0x2360) * 4];
alignas(16) uint32_t vu_load_tri_mpg[Vu1ProgramChainQwords(0x1800, 0x2d28) * 4];
alignas(16) uint32_t vu_load_tric_mpg[Vu1ProgramChainQwords(0x1800, 0x2920) * 4];
alignas(16) uint32_t vu_load_tricu_mpg[Vu1ProgramChainQwords(0x1800, 0x2928) * 4];
alignas(16) uint32_t vu_load_trica_mpg[Vu1ProgramChainQwords(0x1800, 0x28c8) * 4];
alignas(16) uint32_t vu_load_xformuv_mpg[Vu1ProgramChainQwords(0x1800, 0x2dd8) * 4];
alignas(16) uint32_t vu_load_faceon_mpg[Vu1ProgramChainQwords(0x1800, 0x1b20) * 4];
alignas(16) uint32_t vu_load_ptl_mpg[Vu1ProgramChainQwords(0x1800, 0x30f0) * 4];
alignas(16) uint32_t vu_load_fx_mpg[Vu1ProgramChainQwords(0x1800, 0x3520) * 4];
alignas(16) uint32_t vu_load_fx2_mpg[Vu1ProgramChainQwords(0x1800, 0x3aa8) * 4];
alignas(16) uint32_t vu_load_fx3_mpg[Vu1ProgramChainQwords(0x1800, 0x2638) * 4];
alignas(16) uint32_t vu_load_fog_mpg[Vu1ProgramChainQwords(0x1800, 0x2940) * 4];
alignas(16) uint32_t vu_load_water_mpg[Vu1ProgramChainQwords(0x1800, 0x2bc8) * 4];
alignas(16) uint32_t vu_load_wateruv_mpg[Vu1ProgramChainQwords(0x1800, 0x2b38) * 4];
alignas(16) uint32_t vu_load_nrmmap_mpg[Vu1ProgramChainQwords(0x1800, 0x2148) * 4];
alignas(16) uint32_t vu_load_triglass_mpg[Vu1ProgramChainQwords(0x1800, 0x2e48) * 4];
alignas(16) uint32_t vu_load_patchsphere_mpg[Vu1ProgramChainQwords(0x1800, 0x3da8) * 4];
alignas(16) uint32_t vu_load_tricuf_mpg[Vu1ProgramChainQwords(0x1800, 0x2998) * 4];
alignas(16) uint32_t vu_load_tricma_mpg[Vu1ProgramChainQwords(0x1800, 0x2818) * 4];
alignas(16) uint32_t vu_load_cloud_mpg[Vu1ProgramChainQwords(0x1800, 0x1db8) * 4];
alignas(16) uint32_t vu_load_starblobs_mpg[Vu1ProgramChainQwords(0x1800, 0x1c20) * 4];

// The programs of the system: the resident transform program at 0, the
// fractal-patch program that replaces it, and the overlays from 0x1800.
const VU1PROGRAM vu1_program_table[] = {
    {"xform", 0x0000, 0x13f0, 0x100, 0x180, vu_load_xform_mpg},
    {"patch_vu0", 0x0000, 0x2360, 0x200, 0x042, vu_load_patch_vu0_mpg},
    {"tri", 0x1800, 0x2d28, 0x100, 0x180, vu_load_tri_mpg},
    {"tric", 0x1800, 0x2920, 0x100, 0x180, vu_load_tric_mpg},
    {"tricu", 0x1800, 0x2928, 0x100, 0x180, vu_load_tricu_mpg},
    {"trica", 0x1800, 0x28c8, 0x100, 0x180, vu_load_trica_mpg},
    {"xformuv", 0x1800, 0x2dd8, 0x100, 0x180, vu_load_xformuv_mpg},
    {"faceon", 0x1800, 0x1b20, 0x100, 0x180, vu_load_faceon_mpg},
    {"ptl", 0x1800, 0x30f0, 0x100, 0x180, vu_load_ptl_mpg},
    {"fx", 0x1800, 0x3520, 0x100, 0x180, vu_load_fx_mpg},
    {"fx2", 0x1800, 0x3aa8, 0x100, 0x180, vu_load_fx2_mpg},
    {"fx3", 0x1800, 0x2638, 0x100, 0x180, vu_load_fx3_mpg},
    {"fog", 0x1800, 0x2940, 0x100, 0x180, vu_load_fog_mpg},
    {"water", 0x1800, 0x2bc8, 0x100, 0x180, vu_load_water_mpg},
    {"wateruv", 0x1800, 0x2b38, 0x100, 0x180, vu_load_wateruv_mpg},
    {"nrmmap", 0x1800, 0x2148, 0x100, 0x180, vu_load_nrmmap_mpg},
    {"triglass", 0x1800, 0x2e48, 0x100, 0x180, vu_load_triglass_mpg},
    {"patchsphere", 0x1800, 0x3da8, 0x100, 0x180, vu_load_patchsphere_mpg},
    {"tricuf", 0x1800, 0x2998, 0x100, 0x180, vu_load_tricuf_mpg},
    {"tricma", 0x1800, 0x2818, 0x100, 0x180, vu_load_tricma_mpg},
    {"cloud", 0x1800, 0x1db8, 0x100, 0x180, vu_load_cloud_mpg},
    {"starblobs", 0x1800, 0x1c20, 0x100, 0x180, vu_load_starblobs_mpg},
};
const int vu1_program_table_count = int(sizeof vu1_program_table / sizeof vu1_program_table[0]);

namespace {

constexpr uint32_t VIF_MPG_CODE = 0x4a000000;
constexpr uint32_t VIF_BASE = 0x03000000;
constexpr uint32_t VIF_OFFSET = 0x02000000;

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
  *w++ = VIF_BASE | uint32_t(p.base);
  *w++ = VIF_OFFSET | uint32_t(p.offset);
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
