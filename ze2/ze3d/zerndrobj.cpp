// Object drawing: converted geometry objects drawn by DMA calls of their
// chains in the streams of their materials (one call a geometry and
// material pass), skinned geometry whose instance chains are copied and
// re-pointed at this draw's joint matrices, bursts of one object, burst
// grass, and the blend-shape weight packet. Particles and effect jobs are
// zerndrptl.cpp.
#include "zerndr_local.h"
#include "zestream_local.h"

ZERNDRBURST zerndr_burst = {};
ZEMTL* zerndr_forced_mtl = nullptr;
EePtr<ZEMTL>* zerndr_forced_mtl_table = nullptr;
ZEMTX* zerndr_skinpalette = nullptr;
int zerndr_image_gobjs = 0;
alignas(16) uint32_t zerndr_skin_reset_packet[8];

ZEMTL* geom_mtl_dbg = nullptr;
int skinskipix = -1;
int skindebug_skip_data_cnt = 0;
int skindebug_packet_cnt = 0;
int testclipspeed = 0;
int debuggrass = 0;

namespace {

constexpr uint32_t VIFCODE_STCYCL11 = 0x01000101;
constexpr uint32_t UNPACK_WEIGHTS = 0x60000063;  // S-32 to 0x63; count in bits 16-23
constexpr uint32_t UNPACK_SWAY = 0x68400188;     // V3-32, 64 vectors to 0x188
constexpr uint8_t TAG_CNT = 0x10, TAG_REF = 0x30, TAG_RET = 0x60;

alignas(16) ZEMTX g_burstMtx[max_burst_objs];
int32_t g_burstWords[max_burst_objs];

// A DMA call of chain at p with the geometry-call marker.
uint32_t* GeomCall(uint32_t* p, const void* chain) {
  uint32_t* tag = p;
  p = vpDmaTag_Call(p, chain);
  tag[0] |= uint32_t(DMAMK_GEOMCALL) << 16;
  return p;
}

// The material a geometry draws with: the forced one, else its own; then
// the table's replacement for its index byte, when there is one.
ZEMTL* Substitute(ZEMTL* mtl, bool table) {
  if (zerndr_forced_mtl) mtl = zerndr_forced_mtl;
  if (table && mtl && zerndr_forced_mtl_table) {
    const int ix = mtl->table_index;
    if (ix != 0 && zerndr_forced_mtl_table[ix]) mtl = zerndr_forced_mtl_table[ix].get();
  }
  return mtl;
}

// The stream switching of one object draw: the stream in use, ended with an
// open next tag when another one takes over or the draw ends.
struct Draw {
  ZERNDRSTREAM* fixed;  // a caller's stream (never linked, switched or ended here), or null
  ZERNDRSTREAM* cur = nullptr;
  ZEMTL* lastMtl = nullptr;
  bool stateSent = false;
  enum View { VIEW, SCISSOR_CLIP } view = VIEW;

  // Makes mtl's stream the one written; kick: the local matrix's kick.
  ZERNDRSTREAM* Use(ZEMTL* mtl, int kick) {
    if (fixed) {
      if (!stateSent) {
        ZeRndrStreamSetViewMtx(fixed);
        ZeRndrStreamSetLocalMtxEx(fixed, kick);
        stateSent = true;
      }
      return fixed;
    }
    if (mtl != lastMtl) {
      lastMtl = mtl;
      rndrstream_3d = &mtl->stream;
      if (rndrstream_3d != cur) {
        End();
        cur = rndrstream_3d;
        ZeRndrStreamLink(cur);
        ZeRndrStreamSetMisc(cur);
        if (view == SCISSOR_CLIP) ZeRndrStreamSetViewMtxScissorClip(cur);
        else ZeRndrStreamSetViewMtx(cur);
        ZeRndrStreamSetLocalMtxEx(cur, kick);
      }
    }
    return cur;
  }
  void End() {
    if (cur && !fixed) rndrstream_free = vpDmaTag_Next(cur->write, nullptr);
    if (!fixed) cur = nullptr;
    lastMtl = nullptr;
  }
  // Room for one more tag, checked before it is written.
  void Room(int bytes) const {
    ZERNDRSTREAM* s = fixed ? fixed : cur;
    ZeRndrStreamCheckSpace(s->write, bytes + 16);
  }
};

// The ordering-table batch of a geometry: the segment ends (the sorter
// takes stream memory), the batch is inserted and the stream linked again.
void OrderingTable(ZERNDRSTREAM* s, const ZEMTX* m, int r, ZEMTL* mtl, const uint32_t* batch) {
  rndrstream_free = vpDmaTag_Next(s->write, nullptr);
  ZeRndrOTInsertTriBatch(m, r, mtl, batch + 4, int(batch[0]));
  ZeRndrStreamLink(s);
}

// The geometry and face-on nodes of one object (steps common to the scene
// and linked-object draws).
void DrawNodes(Draw& d, ZEGOBJ* obj, const ZEMTX* m, int r, bool otBatches) {
  for (ZEGEOM* g = obj->geometries.get(); g; g = g->next.get()) {
    if (geom_mtl_dbg && g->mtl.get() != geom_mtl_dbg) continue;
    ZEMTL* mtl = Substitute(g->mtl.get(), true);
    if (!mtl) {
      // Nothing is drawn for a node without a material.
      ZeDebugMsg("Warning - geom has no material");
      continue;
    }
    for (ZEMTL* pass = mtl; pass; pass = pass->chain.get()) {
      ZERNDRSTREAM* s = d.Use(pass, 0);
      if (g->dmastream) {
        d.Room(16);
        s->write = GeomCall(s->write, g->dmastream.get());
      }
      if (otBatches && !zerndr_image_gobjs && g->tribatch) OrderingTable(s, m, r, pass, g->tribatch.get());
    }
  }
  for (ZEFACEONGEOM* f = obj->faceons.get(); f; f = f->next.get()) {
    ZEMTL* mtl = Substitute(f->mtl.get(), false);
    if (!mtl) {
      ZeDebugMsg("Warning - fgeom has no material");
      continue;
    }
    // The node's word reaches the local matrix as its kick: non-zero turns
    // the object's axes toward the camera before the sprites.
    ZERNDRSTREAM* s = d.Use(mtl, f->mtlindex);
    if (f->dma) {
      d.Room(16);
      s->write = GeomCall(s->write, f->dma.get());
    }
  }
}

int SceneObj(ZEGOBJ* obj, const ZEMTX* m, ZERNDRSTREAM* fixed) {
  const int r = ZeCameraClipTestExtents(&obj->min, &obj->max, m);
  if (r == 0) return 0;
  if (!zerndr_image_gobjs) zerndr_tritot_this_frame += obj->tricount;
  ZeRndrSetLocalMtx(m, r);
  Draw d{fixed};
  DrawNodes(d, obj, m, r, true);
  d.End();
  return r;
}

int Combine(int result, int r, bool first) {
  if (first || result == 2) return first ? r : 2;
  return result == r ? r : 2;
}

int LinkedObjs(ZEGOBJ* gobj, const ZEMTX* m, ZERNDRSTREAM* fixed) {
  int result = 0;
  bool first = true;
  for (ZEGOBJ* o = gobj; o; o = o->chain.get()) {
    ZEMTX placed;
    const ZEMTX* use = m;
    if (gobj->chain) {
      ZEMTX t;
      ZeMtxSetIdentity(&t);
      ZeMtxSetTranslation(&t, &o->base);
      ZeMtxMul(&placed, &t, m);
      use = &placed;
    }
    const int r = ZeCameraClipTestExtents(&o->min, &o->max, use);
    result = Combine(result, r, first);
    first = false;
    if (r == 0) continue;
    ZeRndrSetLocalMtx(use, r);
    Draw d{fixed};
    DrawNodes(d, o, use, r, false);
    d.End();
  }
  return result;
}

}  // namespace

int ZeRndrGScnObj(ZEGOBJ* gobj, const ZEMTX* m) { return SceneObj(gobj, m, nullptr); }
int ZeRndrGScnObjStream(ZEGOBJ* gobj, const ZEMTX* m, ZERNDRSTREAM* s) { return SceneObj(gobj, m, s); }
int ZeRndrGobj(ZEGOBJ* gobj, const ZEMTX* m) { return LinkedObjs(gobj, m, nullptr); }
int ZeRndrGobjStream(ZEGOBJ* gobj, const ZEMTX* m, ZERNDRSTREAM* s) { return LinkedObjs(gobj, m, s); }

// ---- skins -------------------------------------------------------------------

namespace {

// Copies a geometry's skin instance records up to its ret record, leaving
// out the first skindebug_skip_data_cnt. The list is bounded by the
// geometry's length: a list without its ret record is refused.
void CopySkinRecords(Draw& d, ZERNDRSTREAM* s, const ZEGEOM* g) {
  const uint32_t* rec = g->skininst.get();
  if (!rec) return;
  // A memory image's geometry is a 16-byte stub without a length: its
  // instance was checked to end in a ret record when the image was read.
  const int records = zerndr_image_gobjs ? 0x7fffffff : g->dmalen / 16;
  const uint32_t palette = EeAddrOf(zerndr_skinpalette);
  skindebug_packet_cnt = 0;
  for (int i = 0;; i++, rec += 4) {
    if (i >= records) ZeError("skin packet list of %d records has no ret record", records);
    const uint8_t id = uint8_t(rec[0] >> 24);
    if (id == TAG_RET) break;
    if (i < skindebug_skip_data_cnt) continue;
    d.Room(16);
    if (id == TAG_REF) s->write = vpDmaTag_RepointCopy(s->write, rec, EeAddrToPtr(palette + rec[1]));
    else s->write = vpDmaTag_Copy(s->write, rec);
    skindebug_packet_cnt++;
  }
}

}  // namespace

int ZeRndrGobjSkin(ZEGOBJ* skin, const ZEMTX* m, int, const ZEMTX*, void* blend, int clip) {
  if (clip == 0) return 0;
  ZeRndrSetLocalMtx(m, clip);
  Draw d{nullptr};
  d.view = Draw::SCISSOR_CLIP;
  int index = 0;
  for (ZEGEOM* g = skin->geometries.get(); g; g = g->next.get(), index++) {
    if (skinskipix != -1 && index != skinskipix) continue;
    ZEMTL* mtl = Substitute(g->mtl.get(), true);
    if (!mtl) {
      ZeDebugMsg("No Material!!!");
      continue;
    }
    for (ZEMTL* pass = mtl; pass; pass = pass->chain.get()) {
      ZERNDRSTREAM* s = d.Use(pass, 0);
      // The weights first: this draw's, or none.
      d.Room(16);
      uint32_t* tag = s->write;
      s->write = vpDmaTag_CallEx(s->write, blend ? blend : static_cast<void*>(zerndr_skin_reset_packet), 0, 0);
      tag[0] |= uint32_t(DMAMK_GEOMCALL) << 16;
      CopySkinRecords(d, s, g);
    }
  }
  d.End();
  return clip;
}

// ---- blend shapes ------------------------------------------------------------

namespace {

// The weight packet of n weights at p (the caller fills the weights).
uint32_t* WeightPacket(uint32_t* p, int n) {
  uint32_t* q = vpDmaTag_RetEx(p, VIFCODE_FLUSHA, VIFCODE_STCYCL11);
  q[0] = UNPACK_WEIGHTS | uint32_t((n + 1) & 0xff) << 16;
  q[1] = uint32_t(n);
  for (int i = 0; i < n; i++) q[2 + i] = 0;
  return vpDmaTag_Close(q + 2 + n);
}

}  // namespace

void* ZeRndrCreateBlendShapeDeformerWeightsArray(int n) {
  if (n < 0 || n > 254) ZeError("ZeRndrCreateBlendShapeDeformerWeightsArray: %d weights", n);
  uint32_t* p = static_cast<uint32_t*>(ZeRndrStreamAlloc((n + 10) / 4));
  if (!p) return nullptr;
  WeightPacket(p, n);
  return p;
}

void ZeRndrBuildSkinResetPacket() { WeightPacket(zerndr_skin_reset_packet, 0); }

// ---- bursts ------------------------------------------------------------------

namespace {

void Open(ZEGOBJ* obj, ZEBURSTFN* cb, ZEMTX* mtx, int32_t* words, bool builtin) {
  if (zerndr_burst.obj) ZeError("Attempted to open more than one burst render stream");
  zerndr_burst = {obj, cb, mtx, mtx, words, words, 0, builtin};
}

void RequireOpen() {
  if (!zerndr_burst.obj) ZeError("ZeRndrBurstObjAdd without ZeRndrBurstObjBegin");
}

int Add(const ZEMTX* m, int word) {
  ZERNDRBURST& b = zerndr_burst;
  *b.word_write++ = word;
  *b.mtx_write++ = *m;
  if (++b.count == max_burst_objs) {
    // A full burst is drawn and opened again on the built-in buffers.
    ZEGOBJ* obj = b.obj;
    ZEBURSTFN* cb = b.callback;
    ZeRndrBurstObjEnd();
    ZeRndrBurstObjBegin(obj, cb);
  }
  return word;
}

// Draws the open burst's instances, last added first. mode 0: each
// instance's word; else that mode for all. Returns the last stream
// written (null: none).
ZERNDRSTREAM* EndBurst(int mode, bool callback, bool wordAtWrite) {
  ZERNDRBURST& b = zerndr_burst;
  ZERNDRSTREAM* last = nullptr;
  if (b.count > 0 && b.obj) {
    for (ZEGEOM* g = b.obj->geometries.get(); g; g = g->next.get()) {
      if (!g->dmastream || !g->mtl) continue;
      alignas(16) uint32_t call[4];
      GeomCall(call, g->dmastream.get());
      for (ZEMTL* pass = g->mtl.get(); pass; pass = pass->chain.get()) {
        ZERNDRSTREAM* s = &pass->stream;
        ZeRndrStreamLink(s);
        ZeRndrStreamSetMisc(s);
        ZeRndrStreamSetViewMtx(s);
        for (int k = b.count - 1; k >= 0; k--) {
          const ZEMTX* m = &b.mtx_base[k];
          const int word = mode ? mode : b.word_base[k];
          ZeRndrSetLocalMtx(m, word);
          // A local matrix, the kick and the call tag for every instance.
          ZeRndrStreamCheckSpace(s->write, 8 * 16 + 16 + 16);
          ZeRndrStreamSetLocalMtx(s);
          if (callback && b.callback) b.callback(s, m, wordAtWrite ? *b.word_write : word);
          s->write = vpDmaTag_Copy(s->write, call);
        }
        rndrstream_free = vpDmaTag_Next(s->write, nullptr);
        last = s;
      }
    }
  }
  b = {};
  return last;
}

void SetCount(int n) {
  ZERNDRBURST& b = zerndr_burst;
  if (n < 0) n = 0;
  // The built-in buffers hold max_burst_objs instances; more would be read
  // from past their end.
  if (b.builtin && n > max_burst_objs) ZeError("ZeRndrBurstObjEndCnt: %d instances in a burst of %d", n, max_burst_objs);
  b.count = n;
}

}  // namespace

int ZeRndrBurstObjBegin(ZEGOBJ* gobj, ZEBURSTFN* cb) {
  Open(gobj, cb, g_burstMtx, g_burstWords, true);
  return 1;
}
int ZeRndrBurstObjBeginEx(ZEGOBJ* gobj, ZEBURSTFN* cb, ZEMTX* mtx, int32_t* words) {
  Open(gobj, cb, mtx, words, false);
  return 1;
}

int ZeRndrBurstObjAdd(const ZEMTX* m) {
  RequireOpen();
  const int r = ZeCameraClipTestExtents(&zerndr_burst.obj->min, &zerndr_burst.obj->max, m);
  if (r == 0) return 0;
  return Add(m, r);
}
int ZeRndrBurstObjAddNoClip(const ZEMTX* m) {
  RequireOpen();
  return Add(m, 1);
}
// Refused like the others without an open burst: its buffers are not set.
int ZeRndrBurstObjAddOn(const ZEMTX* m) {
  RequireOpen();
  return Add(m, 1);
}

void ZeRndrBurstObjEnd() { EndBurst(0, true, false); }
void ZeRndrBurstObjEndNoClip() { EndBurst(1, true, true); }
void ZeRndrBurstObjEndCnt(int n) {
  SetCount(n);
  ZeRndrBurstObjEnd();
}
void ZeRndrBurstObjEndCntNoClip(int n) {
  SetCount(n);
  ZeRndrBurstObjEndNoClip();
}

void ZeRndrBurstGrass(void* chain, const ZEVEC* v, ZEANG angle, ZEANG step, float amplitude) {
  ZERNDRSTREAM* s = EndBurst(testclipspeed ? 1 : 2, false, false);
  if (!s) return;
  ZeRndrStreamLink(s);
  // The sway table: 64 vectors to 0x188.
  ZeRndrStreamCheckSpace(s->write, 16 + 64 * 12 + 16 + 16 + 32);
  uint32_t* p = vpDmaTag_CntEx(s->write, VIFCODE_FLUSHA, UNPACK_SWAY);
  float* f = reinterpret_cast<float*>(p);
  for (int i = 0; i < 64; i++) {
    const int a = (angle + i * step) & 0xffff;
    const float sn = ZeTrigTable[(a >> 1) & 0x7fff], cs = ZeTrigTable[((a >> 1) + 0x2000) & 0x7fff];
    f[3 * i] = amplitude + 0.5f * amplitude * sn;
    f[3 * i + 1] = v->y;
    f[3 * i + 2] = amplitude + 0.5f * amplitude * cs;
  }
  p = vpDmaTag_Close(p + 64 * 3);
  if (debuggrass) p = vpDmaTag_Close(vpDmaTag_CntEx(p, VIFCODE_MSCAL | 0x30c, 0));
  p = vpDmaTag_Call(p, chain);
  s->write = p;
  rndrstream_free = vpDmaTag_Next(s->write, nullptr);
}
