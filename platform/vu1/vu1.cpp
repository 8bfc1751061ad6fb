// Vector units 0 and 1 as memories, and VU1's native programs: the micro
// memory map built from program signatures, MSCAL/MSCNT dispatch, the
// registers a program keeps, and XGKICK to GIF path 1.
#include "platform.h"

#include <cstring>

namespace {

alignas(16) uint8_t g_vu0Mem[VU0_MEM_SIZE];
alignas(16) uint8_t g_vu0Micro[VU0_MICRO_SIZE];
alignas(16) uint8_t g_vu1Mem[VU1_MEM_SIZE];
alignas(16) uint8_t g_vu1Micro[VU1_MICRO_SIZE];

// Map of micro memory: for every instruction, the load address of the
// program whose signature covers it (-1: none).
int16_t g_owner[VU1_MICRO_INSTRS];
bool g_mapReady = false;

float g_vf[32][4] = {{0, 0, 0, 1}};  // vf00 is (0, 0, 0, 1)
uint16_t g_vi[16];
int g_pc = -1;  // where the last run stopped (-1: nothing ran)

void MapInit() {
  if (g_mapReady) return;
  for (int16_t& o : g_owner) o = -1;
  g_mapReady = true;
}

const Vu1Signature* SignatureAt(int instr) {
  return reinterpret_cast<const Vu1Signature*>(g_vu1Micro + instr * 8);
}

bool ValidSignature(const Vu1Signature* s, int at) {
  return s->magic == VU1_SIG_MAGIC && s->size >= 4 && at + int(s->size) <= VU1_MICRO_INSTRS &&
         memchr(s->name, 0, VU1_SIG_NAME) != nullptr && s->name[0] != 0;
}

const Vu1ProgramRow* FindProgram(const char* name) {
  for (int i = 0; i < vu1_program_count; i++)
    if (strcmp(vu1_programs[i].name, name) == 0) return &vu1_programs[i];
  return nullptr;
}

// Runs the program covering instruction pc.
void Run(int pc, int top, int itop) {
  MapInit();
  pc &= VU1_MICRO_INSTRS - 1;
  int base = g_owner[pc];
  if (base < 0) PlatFatal("VU1: no program is loaded at instruction %03x", pc);
  const Vu1Signature* s = SignatureAt(base);
  if (!ValidSignature(s, base))
    PlatFatal("VU1: the program loaded at instruction %03x has been overwritten (entered at %03x)", base, pc);
  if (pc - base >= int(s->size)) PlatFatal("VU1: no program is loaded at instruction %03x", pc);
  const Vu1ProgramRow* row = FindProgram(s->name);
  if (!row) PlatFatal("VU1: no native program named \"%s\" (loaded at %03x, entered at %03x)", s->name, base, pc);
  Vu1Run run{g_vu1Mem, base, pc, top, itop};
  g_pc = row->run(run) & (VU1_MICRO_INSTRS - 1);
}

}  // namespace

uint8_t* Vu0DataMem() { return g_vu0Mem; }
uint8_t* Vu0MicroMem() { return g_vu0Micro; }
uint8_t* Vu1DataMem() { return g_vu1Mem; }
uint8_t* Vu1MicroMem() { return g_vu1Micro; }

void Vu0MicroWrite(int instr, const uint32_t* words, int count) {
  for (int i = 0; i < count; i++)
    memcpy(g_vu0Micro + ((instr + i) & (VU0_MICRO_SIZE / 8 - 1)) * 8, words + i * 2, 8);
}

void Vu1MicroWrite(int instr, const uint32_t* words, int count) {
  MapInit();
  for (int i = 0; i < count; i++) memcpy(g_vu1Micro + ((instr + i) & (VU1_MICRO_INSTRS - 1)) * 8, words + i * 2, 8);
  // A signature that arrived whole in this write claims the instructions
  // it covers; the rest of the map stays as it was.
  for (int i = 0; i + 4 <= count; i++) {
    int at = instr + i;
    if (at >= VU1_MICRO_INSTRS) break;
    if (words[i * 2] != VU1_SIG_MAGIC) continue;
    const Vu1Signature* s = SignatureAt(at);
    if (!ValidSignature(s, at)) PlatFatal("VU1: a damaged program signature was uploaded at instruction %03x", at);
    for (uint32_t k = 0; k < s->size; k++) g_owner[at + int(k)] = int16_t(at);
  }
}

void Vu1Start(int instr, int top, int itop) { Run(instr, top, itop); }

void Vu1Continue(int top, int itop) {
  if (g_pc < 0) PlatFatal("VU1: MSCNT with no program stopped");
  Run(g_pc, top, itop);
}

void Vu1Reset() {
  memset(g_vf, 0, sizeof g_vf);
  g_vf[0][3] = 1.0f;  // vf00 is (0, 0, 0, 1)
  memset(g_vi, 0, sizeof g_vi);
  g_pc = -1;
}

uint32_t* Vu1Quad(int qwAddr) {
  return reinterpret_cast<uint32_t*>(g_vu1Mem + (qwAddr & (VU1_MEM_QWORDS - 1)) * 16);
}

float* Vu1Vf(int n) { return g_vf[n & 31]; }
uint16_t* Vu1Vi(int n) { return &g_vi[n & 15]; }

int Vu1Xgkick(int qwAddr) {
  // Path 1 reads quadwords from data memory until the packet whose tag
  // has EOP is complete (wrapping at the end of memory).
  int n = 0;
  do {
    if (n == VU1_MEM_QWORDS * 4) PlatFatal("VU1: XGKICK at %03x found no end of packet", qwAddr);
    GifWrite(GIF_PATH1, Vu1Quad(qwAddr + n), 1);
    n++;
  } while (!GifPathIdle(GIF_PATH1));
  return n;
}

const char* Vu1ProgramAt(int instr) {
  MapInit();
  instr &= VU1_MICRO_INSTRS - 1;
  int base = g_owner[instr];
  if (base < 0 || !ValidSignature(SignatureAt(base), base) || instr - base >= int(SignatureAt(base)->size))
    return nullptr;
  return SignatureAt(base)->name;
}

void Vu0ViewRead(int qwAddr, uint32_t out[4]) {
  memset(out, 0, 16);
  if (qwAddr >= 0 && qwAddr < VU0_MEM_SIZE / 16) memcpy(out, g_vu0Mem + qwAddr * 16, 16);
  else if (qwAddr >= 0x400 && qwAddr < 0x420) memcpy(out, g_vf[qwAddr - 0x400], 16);
  else if (qwAddr >= 0x420 && qwAddr < 0x430) out[0] = g_vi[qwAddr - 0x420];
}

void sceDevVu0Reset() {}
void sceDevVu1Reset() { Vu1Reset(); }
