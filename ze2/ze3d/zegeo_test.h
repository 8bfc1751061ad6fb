// Helpers shared by the geometry, packet and skin tests: materials and
// meshes in EE memory, a reader of VIF codes, and a walk of a packet through
// the platform's DMA and VIF models into VU1 data memory.
#pragma once

#include <cstring>
#include <vector>

#include "ze3d_test.h"
#include "zecvtgeo_local.h"

// A material record as the builders read it (not registered anywhere).
inline ZEMTL* TestMtl(int lighting, int vtxcol, int effect = 0, int uvanim = 0) {
  static std::vector<ZEMTL*> made;
  auto* m = static_cast<ZEMTL*>(EeMalloc(sizeof(ZEMTL)));
  memset(static_cast<void*>(m), 0, sizeof *m);
  m->attributes = uint32_t(lighting) << ZEMTLATTR_LIGHTING | uint32_t(vtxcol) << ZEMTLATTR_VTXCOL | 3;
  m->diffuse[0] = 0.5f, m->diffuse[1] = 0.25f, m->diffuse[2] = 1.0f;
  m->alpha = 1.0f;
  m->effect_id = uint8_t(effect);
  m->uv_anim = uint8_t(uvanim);
  made.push_back(m);
  return m;
}

// One VIF code of a packet with its data words.
struct VifOp {
  uint32_t code;
  const uint32_t* data;
  int words;
  uint32_t cmd() const { return code >> 24 & 0x7f; }
};

inline int VifDataWords(uint32_t code) {
  const uint32_t cmd = code >> 24 & 0x7f;
  const uint32_t num = (code >> 16 & 0xff) ? (code >> 16 & 0xff) : 256;
  if (cmd >= 0x60) {
    const uint32_t vn = cmd >> 2 & 3, vl = cmd & 3;
    return int((num * (vn + 1) * (32u >> vl) + 31) / 32);
  }
  if (cmd == 0x30 || cmd == 0x31) return 4;
  if (cmd == 0x20) return 1;
  return 0;
}

// The VIF codes of words [p, end).
inline std::vector<VifOp> ParseVif(const uint32_t* p, const uint32_t* end) {
  std::vector<VifOp> ops;
  while (p < end) {
    const int n = VifDataWords(*p);
    ops.push_back({*p, p + 1, n});
    p += 1 + n;
  }
  return ops;
}

// The VIF codes of a cnt or ret packet: its tag's two words, then its data.
inline std::vector<VifOp> ParsePacket(const uint32_t* tag) {
  std::vector<VifOp> ops = {{tag[2], tag + 3, 0}, {tag[3], tag + 4, 0}};
  auto rest = ParseVif(tag + 4, tag + 4 + (tag[0] & 0xffff) * 4);
  ops.insert(ops.end(), rest.begin(), rest.end());
  return ops;
}

// NLOOP of every batch's strip GIF tag unpacked to +0xd2.
inline std::vector<int> BatchSizes(const std::vector<VifOp>& ops) {
  std::vector<int> n;
  for (auto& o : ops)
    if (o.code == 0x6c0180d2u) n.push_back(int(o.data[0] & 0x7fff));
  return n;
}

// The ops of one kind (UNPACK codes compared without their count).
inline std::vector<VifOp> Unpacks(const std::vector<VifOp>& ops, uint32_t code) {
  std::vector<VifOp> out;
  for (auto& o : ops)
    if ((o.code & 0xff00ffffu) == (code & 0xff00ffffu)) out.push_back(o);
  return out;
}

// A copy of a packet in EE memory whose program starts (MSCAL, MSCNT) are
// VIF MARKs, sent through DMA channel 1 behind BASE 0x100 / OFFSET 0x180.
// With no program run the double buffer never flips: everything unpacked
// lands in buffer 0 (quadword 0x100 on) and in the absolute tables. Returns
// VU1 data memory as quadwords. tagBytes: the packet's extent to copy.
struct VuLanding {
  uint32_t* qw(int a) { return reinterpret_cast<uint32_t*>(Vu1DataMem() + 16 * a); }
  float* f(int a) { return reinterpret_cast<float*>(qw(a)); }
  std::vector<uint32_t> starts;  // the program starts met, in order
};

inline void MarkStarts(uint32_t* p, uint32_t* end, std::vector<uint32_t>* starts) {
  while (p < end) {
    const uint32_t cmd = *p >> 24 & 0x7f;
    if (cmd == 0x14 || cmd == 0x15 || cmd == 0x17) {
      starts->push_back(*p);
      *p = 0x07000000u | (*p & 0xffff);
    }
    p += 1 + VifDataWords(*p);
  }
}

inline VuLanding LandPacket(const uint32_t* packet, int bytes) {
  VuLanding land;
  memset(Vu1DataMem(), 0, VU1_MEM_SIZE);
  VifReset(1);
  EeQwords buf(bytes / 16 + 4);
  uint32_t* w = buf.w;
  // A cnt packet that sets the double buffer, then the packet, then an end.
  PutTag(w, 1, DMA_CNT, 0, 0, 0);
  w[4] = 0x03000100u;  // BASE
  w[5] = 0x02000180u;  // OFFSET
  w[6] = w[7] = 0;
  memcpy(w + 8, packet, size_t(bytes));
  // Patch the starts tag by tag (cnt and ret packets carry their data).
  for (uint32_t* t = w + 8; t < w + 8 + bytes / 4;) {
    const uint32_t qwc = t[0] & 0xffff, id = t[0] >> 28 & 7;
    MarkStarts(t + 2, t + 4, &land.starts);
    if (id == DMA_CNT || id == DMA_RET) MarkStarts(t + 4, t + 4 + qwc * 4, &land.starts);
    t += 4 + (id == DMA_CNT || id == DMA_RET ? qwc * 4 : 0);
  }
  PutTag(w + 8 + bytes / 4, 0, DMA_END, 0);
  // The packet ends in a ret tag or runs into the end tag.
  VU1_DmaWrite(w);
  vu1_dma_status = 0;
  return land;
}
