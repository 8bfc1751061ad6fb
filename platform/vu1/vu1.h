// The vector units as the VIFs see them: data and micro memory, the micro
// memory map of native programs, and the contract a native program is
// written against (docs/vu1.md). Included from platform.h.
#pragma once

#include <cstdint>

constexpr int VU0_MEM_SIZE = 0x1000;    // data memory, bytes
constexpr int VU0_MICRO_SIZE = 0x1000;  // micro memory, bytes
constexpr int VU1_MEM_SIZE = 0x4000;
constexpr int VU1_MICRO_SIZE = 0x4000;
constexpr int VU1_MEM_QWORDS = VU1_MEM_SIZE / 16;       // 1024
constexpr int VU1_MICRO_INSTRS = VU1_MICRO_SIZE / 8;    // 2048

uint8_t* Vu0DataMem();
uint8_t* Vu0MicroMem();
uint8_t* Vu1DataMem();
uint8_t* Vu1MicroMem();

// ---- program signature ------------------------------------------------
// The first 32 bytes (four instructions) of every program image uploaded
// with MPG: magic, size in instructions (the micro memory the program
// covers from its load address) and its name, zero-padded.
constexpr uint32_t VU1_SIG_MAGIC = 0x3155565a;  // "ZVU1" in memory order
constexpr int VU1_SIG_NAME = 24;
struct Vu1Signature {
  uint32_t magic;
  uint32_t size;
  char name[VU1_SIG_NAME];
};
static_assert(sizeof(Vu1Signature) == 32);

// ---- what the VIF does ------------------------------------------------
// MPG: count 64-bit instructions (2 words each) at instruction address
// instr (wrapping). Writes to VU1 update the micro memory map.
void Vu0MicroWrite(int instr, const uint32_t* words, int count);
void Vu1MicroWrite(int instr, const uint32_t* words, int count);
// MSCAL/MSCALF: run the program covering instruction instr, from there,
// with the VIF's TOP and ITOP. MSCNT: continue where the last run stopped.
// Both run to the program's stop before returning.
void Vu1Start(int instr, int top, int itop);
void Vu1Continue(int top, int itop);
void Vu1Reset();  // registers and the continue point; memory and map stay

// ---- native programs ---------------------------------------------------
struct Vu1Run {
  uint8_t* mem;  // data memory (16 KB)
  int base;      // load address of the program, in instructions
  int pc;        // entry, in instructions (absolute)
  int top;       // VIF1 TOP at the start (quadwords)
  int itop;      // VIF1 ITOP at the start
};
// Returns the instruction address where the program stopped: the next
// MSCNT enters there.
using Vu1Program = int (*)(Vu1Run& run);
struct Vu1ProgramRow {
  const char* name;  // as in the signature
  Vu1Program run;
};
// The table of native programs (vu1progs.cpp), searched by signature name.
extern const Vu1ProgramRow vu1_programs[];
extern const int vu1_program_count;

// What a program may use: its data memory by quadword address (wrapping),
// the registers (kept between runs; VU0 can read them, see Vu0ViewRead)
// and path 1 to the GIF.
uint32_t* Vu1Quad(int qwAddr);
float* Vu1Vf(int n);       // vf00-vf31, four floats each
uint16_t* Vu1Vi(int n);    // vi00-vi15
// XGKICK: sends the GIF packet at qwAddr (up to and including the tag with
// EOP) on path 1. Returns the quadwords read.
int Vu1Xgkick(int qwAddr);

// The name of the program covering instruction instr (null: none).
const char* Vu1ProgramAt(int instr);

// VU0's view of memory (quadword addresses): 0x000-0x0ff VU0 data memory,
// 0x400-0x41f VU1's vf registers, 0x420-0x42f VU1's vi registers (low word).
void Vu0ViewRead(int qwAddr, uint32_t out[4]);

// libdev resets.
void sceDevVu0Reset();
void sceDevVu1Reset();
