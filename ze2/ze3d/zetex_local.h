// Records and helpers shared by the texture modules (zetex, zetexps2,
// zetexfile, bitconv) only.
#pragma once

#include <cstdint>

#include "ze3d.h"

// GS formats chosen for the ordinary texture types 0-7.
struct ZETEXFMT {
  uint8_t psm;        // sampling format
  uint8_t xfer_psm;   // transfer format
  uint8_t vrambits;   // bits a texel takes in video memory
  uint8_t srcbits;    // bits a texel takes in the image and the upload
  uint8_t tcc;
  uint8_t texa;       // TEXA mode
  uint8_t pagew, pageh;
  uint16_t palentries;
};
extern const ZETEXFMT zetex_fmt[8];

// Upload bytes of a level of an ordinary type (types 6 and 7 count 32 bits).
int ZeTexLevelBytes(int type, int w, int h);
// Palette entries in the order the CLUT upload sends them (CSM1 for 256).
void ZeTexWritePalEntries(uint8_t* dst, const uint8_t* colours, int entries);

// Packet words written directly (prebuilt packets use no open-tag state).
uint32_t* ZeTexPutTag(uint32_t* p, int qwc, int id, const void* addr, uint32_t vif0, uint32_t vif1, int marker);
uint32_t* ZeTexPutGifTag(uint32_t* p, int nloop, int eop, int flg, int nreg, uint64_t regs);
uint32_t* ZeTexPutAd(uint32_t* p, uint64_t value, int reg);

// The 8- and 4-bit rearrangements of ZeTexSwizzelBits, in place.
void Conv8to32(uint8_t* texels, int w, int h);
void Conv4to32(uint8_t* texels, int w, int h);

// The GS layouts the rearrangement follows.
extern const uint16_t BITCONV_BLOCK32[4][8];
extern const uint16_t BITCONV_BLOCK16[8][4];
extern const uint16_t BITCONV_COLUMN32[8][8];
extern const uint16_t BITCONV_COLUMN8[16][16];
extern const uint16_t BITCONV_COLUMN4[16][32];

// The slot of an id (null for 0, negative ids and ids past the table), the
// same only when in use, and the block address a texture is used at: its
// level-0 upload address, else its fixed address, else the bottom of free
// video memory.
ZETEXSLOT* ZeTexSlotOf(ZETEXID id);
ZETEXSLOT* ZeTexLiveSlot(ZETEXID id);
int ZeTexAddr(const ZETEXSLOT* slot);
int ZeTexPalEntries(const ZEPS2TEX* record);  // 16 for 4-bit formats, else 256
// A free slot found from the cursor and cleared (null when the table is
// full), and the same slot made live with extra flags.
ZETEXSLOT* ZeTexTakeSlot();
void ZeTexCommitSlot(ZETEXSLOT* slot, uint16_t flags);
