// The particle system's own helpers, shared by its modules only.
#pragma once

#include <cstring>

#include "edtools.h"
#include "gamelib.h"

// Values through the open editor file in one direction: one description of
// a record serves the reader and the writer.
struct DebIo {
  bool write;
  void Bytes(void* p, int n) {
    if (write) EdFileWrite(p, n);
    else EdFileRead(p, n);
  }
  void I8(int8_t& v) { Bytes(&v, 1); }
  void I16(int16_t& v) { Bytes(&v, 2); }
  void I32(int32_t& v) { Bytes(&v, 4); }
  void F(float& v) { Bytes(&v, 4); }
  void Vec(ZEVEC& v) { F(v.x), F(v.y), F(v.z); }
  void Env(DebEnvKey* e) {
    for (int i = 0; i < 8; i++) F(e[i].time), F(e[i].value);
  }
  // Bytes a version stores and nobody reads: zeros written, skipped read.
  void Skip(int n) {
    uint8_t z[16] = {};
    while (n > 0) {
      const int k = n < 16 ? n : 16;
      Bytes(z, k);
      n -= k;
    }
  }
};

// Names of 16 bytes need not end in a zero: compare within the field.
bool DebNameIs(const char* field, const char* name);

// Glass types draw 12 particles to a chunk from the glass pool.
inline bool DebIsGlass(const DebrisEffectType* t) { return t->blend == DEB_BLEND_GLASS; }
inline int DebPerChunk(const DebrisEffectType* t) { return DebIsGlass(t) ? DEB_GLASS_PARTS : DEB_CHUNK_PARTS; }
inline DebrisEffectType* DebType(int index) {
  return index > 0 && index < DEB_TYPES ? debtab[index].get() : nullptr;
}
// The key's record, null for -1 and anything outside 0..511.
inline DebrisKey* DebKey(int key) { return key >= 0 && key < DEB_KEYS ? &debkeydata[key] : nullptr; }
// A live key's type, null when the key is free.
inline DebrisEffectType* DebKeyType(const DebrisKey* k) { return k ? DebType(k->type) : nullptr; }

// Gives a live key back to the free pool (off its wheel list and the
// type's shared slots, no type, no chunks): also a key that never got a type.
void DebReleaseKey(int key);
// Frames a released chunk stays drawn: (life + ghosts x separation) x 60.
int DebFadeFrames(const DebrisEffectType* t);
// Marks a chunk's slots dead: new (birth 0, rate 32768) or released
// (birth 1e10, rate 128).
void DebMarkDead(uint8_t* chunk, int n, bool released);
// Marks a chunk dead and puts it back on its free list.
void PushChunk(uint8_t* chunk, bool glass);
// Re-links the key's chunk packets into one chain (none: nothing).
void DebRelink(DebrisKey* k);
DebrisChunkRenderEntry* DebTakeRenderEntry();
DebrisChunkControl* DebTakeControl();  // null when none is free
void DebFreeControl(DebrisChunkControl* c, DebrisChunkControl** list);
int DebControlLimit();  // 2 x (chunks + glass chunks)
// Counts generated particles for the editor's display.
void DebCountGenerated(int n);
// Rebuilds the key's wanted chunks for its type's particle count.
void DebWantTypeCount(DebrisKey* k, const DebrisEffectType* t);

// The shared sine table: 65536 to a turn.
inline float DebSin(int a) { return ZeTrigTable[(a >> 1) & 0x7fff]; }
inline float DebCos(int a) { return ZeTrigTable[((a >> 1) + 0x2000) & 0x7fff]; }
// A particle material: texture, sort priority, UV flag (texels, no
// Gouraud), blend mode, attribute bits 4-5, z mode and bits 16-18.
ZEMTL* DebMaterial(ZETEXID tex, int priority, int uv, int blend, int bits45, int zmode, int bits16);
// The wall of a bounce: (1, 0, 0) turned about Y.
ZEVEC DebWallNormal(int angle);

// A float of the renderer block whose low byte keeps the colour of old.
inline float DebKeepLowByte(float v, float old) {
  uint32_t a, b;
  memcpy(&a, &v, 4);
  memcpy(&b, &old, 4);
  a = (a & ~0xffu) | (b & 0xffu);
  memcpy(&v, &a, 4);
  return v;
}

// The rain's streak surface, made and destroyed with the glass pass, and its
// state cleared when the particle pools are carved anew.
void ZeRainSurfaceInit();
void ZeRainSurfaceClose();
void ZeRainReset();
