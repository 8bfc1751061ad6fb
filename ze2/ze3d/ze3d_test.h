// Helpers shared by ze3d's tests: packets written by the writer's
// protocol and a reader of the frame chain.
#pragma once

#include <string>
#include <vector>

#include "gfx_test.h"
#include "platform_test.h"
#include "ze3d.h"

// The graphics machine started as the program starts it (video, VU1,
// angles, the viewport, stream rows); StopMachine ends what it leaves.
inline void StartMachine(int width = 640, int height = 224) {
  ZePs2Init();
  ZePs2InitVideo(width, height, PSMCT32, PSMZ24, 2);
  ZePs2InitVU();
  KernelYield();
  ZeTrigInit();
  ZeVpInit();
  ZeRndrStreamMtlIfReset();
}

inline void StopMachine() {
  ZeIntRemoveAllHandlers();
  tbsetDestroy(tb_default_set);
  tb_default_set = nullptr;
}

// The renderer started as the program starts it (the machine, then the
// texture table, the renderer and the material pool, slots each) in heap
// buffers that StopRenderer gives back.
inline void StartRenderer(char** texBuf, char** mtlBuf, int slots, int width = 640, int height = 224) {
  StartMachine(width, height);
  ZeRndrStreamClearZBState();
  *texBuf = static_cast<char*>(ZeMemAlloc(ZeTexGetSysBuffSize(slots) + 16));
  char* p = *texBuf;
  ZeTexInitEx(&p, slots);
  no_default_font = 1;  // the renderer starts before the materials
  ZeRndrInitEx(ZERNDRSTREAM_DEFAULT_BUFFER);
  no_default_font = 0;
  *mtlBuf = static_cast<char*>(ZeMemAlloc(ZeMtlGetSysBuffSize(slots) + 16));
  p = *mtlBuf;
  ZeMtlInitEx(&p, slots);
}

inline void StopRenderer(char* texBuf, char* mtlBuf) {
  ZeRndrOTClose();
  ZeMtlClose();
  ZeMemFree(mtlBuf);
  ZeTexClose();
  ZeMemFree(texBuf);
  StopMachine();
}

// One cnt packet of n quadwords into s, its first word mark, by the
// writer's protocol (link, write, open next tag). Returns the packet's tag.
inline uint32_t* WritePacket(ZERNDRSTREAM* s, uint32_t mark, int qwords = 1) {
  ZeRndrStreamLink(s);
  uint32_t* tag = s->write;
  uint32_t* p = vpDmaTag_Cnt(tag);
  for (int i = 0; i < qwords * 4; i++) p[i] = i == 0 ? mark : 0;
  p = vpDmaTag_Close(p + qwords * 4);
  s->write = p;
  rndrstream_free = vpDmaTag_Next(p, nullptr);
  return tag;
}

inline const char* ProgramName(uint32_t addr) {
  for (int i = 0; i < vu1_program_table_count; i++)
    if (EeAddrOf(vu1_program_table[i].chain) == addr) return vu1_program_table[i].name;
  return "?";
}

// The frame chain as the DMA controller reads it: "call:<program>" for a
// program call, the first data word of every cnt packet in hex, "end" at
// the end tag.
inline std::vector<std::string> ReadChain(const uint32_t* tag) {
  std::vector<std::string> out;
  for (int n = 0; tag && n < 10000; n++) {
    const uint32_t id = (tag[0] >> 28) & 7, qwc = tag[0] & 0xffff;
    const uint32_t* next = tag + 4 + qwc * 4;
    char buf[32];
    switch (id) {
      case DMATAG_CNT:
        snprintf(buf, sizeof buf, "%x", qwc ? tag[4] : 0u);
        if (qwc) out.push_back(buf);
        tag = next;
        break;
      case DMATAG_NEXT:
        tag = static_cast<const uint32_t*>(EeAddrToPtr(tag[1]));
        break;
      case DMATAG_CALL:
        out.push_back(std::string("call:") + ProgramName(tag[1]));
        tag = next;
        break;
      case DMATAG_END:
        out.push_back("end");
        return out;
      default:
        snprintf(buf, sizeof buf, "tag%u", id);
        out.push_back(buf);
        tag = next;
        break;
    }
  }
  out.push_back("runaway");
  return out;
}
