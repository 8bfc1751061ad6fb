// Object drawing: the packets it leaves in the streams, case by case.
#include "zerndrobj_test.h"

#include <functional>

namespace {

struct TagSeen {
  int id, marker, qwc;
  uint32_t addr;
  const uint32_t* tag;
};

// The tags of a stream's current segments, up to its open next tag.
std::vector<TagSeen> StreamTags(const ZERNDRSTREAM* s) {
  std::vector<TagSeen> out;
  const uint32_t* t = s->first.get();
  for (int n = 0; t && t != s->write.get() && n < 100000; n++) {
    const int id = int(t[0] >> 28) & 7, qwc = int(t[0] & 0xffff);
    if (id == DMATAG_NEXT) {
      t = static_cast<const uint32_t*>(EeAddrToPtr(t[1]));
      continue;
    }
    out.push_back({id, int(t[0] >> 16) & 0xff, qwc, t[1], t});
    t += 4 + (id == DMATAG_CNT || id == DMATAG_CALL ? qwc * 4 : 0);
  }
  return out;
}

int Calls(const ZERNDRSTREAM* s, const void* chain) {
  int n = 0;
  for (const TagSeen& t : StreamTags(s)) n += t.id == DMATAG_CALL && t.marker == DMAMK_GEOMCALL && t.addr == EeAddrOf(chain);
  return n;
}

// Translations x of the local matrices sent into a stream, in order.
std::vector<float> LocalXs(const ZERNDRSTREAM* s) {
  std::vector<float> out;
  for (const TagSeen& t : StreamTags(s))
    if (t.id == DMATAG_CNT && t.marker == DMAMK_MTXLOAD) out.push_back(BitsF(t.tag[4 + 12]));
  return out;
}

ZEMTX At(float x, float y, float z) {
  ZEMTX m;
  ZeMtxSetIdentity(&m);
  m.m[3][0] = x, m.m[3][1] = y, m.m[3][2] = z;
  return m;
}

}  // namespace

TEST_F(ObjDraw, EdgeCasesOfObjectDrawing) {
  ZEMTL* m1 = Material(0, true);
  ZEMTL* m2 = Material(2, false);
  ZEMTL* m3 = Material(3, false);
  uint32_t* chain = Block<uint32_t>(16);
  vpDmaTag_Ret(chain);
  auto* obj = Block<ZEGOBJ>(sizeof(ZEGOBJ));
  auto* g = Block<ZEGEOM>(sizeof(ZEGEOM));
  OneNodeObject(obj, g, m1, chain, {-1, -1, -1}, {1, 1, 1});
  const ZEMTX here = At(0, 0, 0), behind = At(0, 0, -100);

  const struct {
    const char* name;
    std::function<void()> run;
  } cases[] = {
      {"a two-material chain draws the geometry once in each material's stream",
       [&] {
         m1->chain = m2;
         EXPECT_EQ(ZeRndrGScnObj(obj, &here), 1);
         EXPECT_EQ(Calls(&m1->stream, chain), 1);
         EXPECT_EQ(Calls(&m2->stream, chain), 1);
         m1->chain = nullptr;
       }},
      {"linked objects, one culled and one inside, give 2; both culled give 0",
       [&] {
         auto* far = Block<ZEGOBJ>(sizeof(ZEGOBJ));
         auto* g2 = Block<ZEGEOM>(sizeof(ZEGEOM));
         OneNodeObject(far, g2, m2, chain, {-1, -1, -1}, {1, 1, 1});
         far->base = {0, 0, -100};  // placed behind the camera
         obj->chain = far;
         EXPECT_EQ(ZeRndrGobj(obj, &here), 2);
         EXPECT_EQ(Calls(&m1->stream, chain), 1);
         EXPECT_EQ(Calls(&m2->stream, chain), 0) << "the culled object draws nothing";
         EXPECT_EQ(ZeRndrGobj(obj, &behind), 0);
         obj->chain = nullptr;
       }},
      {"the 128th add draws the first 128 from the last added and leaves an open burst of 0",
       [&] {
         ZeRndrBurstObjBegin(obj, nullptr);
         for (int i = 0; i < max_burst_objs - 1; i++) {
           const ZEMTX m = At(float(i) / 1024.0f, 0, 0);
           EXPECT_EQ(ZeRndrBurstObjAddNoClip(&m), 1);
         }
         EXPECT_EQ(zerndr_burst.count, 127);
         EXPECT_EQ(Calls(&m1->stream, chain), 0);
         const ZEMTX m = At(127.0f / 1024.0f, 0, 0);
         EXPECT_EQ(ZeRndrBurstObjAdd(&m), 1);
         EXPECT_EQ(zerndr_burst.count, 0);
         EXPECT_EQ(zerndr_burst.obj, obj) << "still open";
         EXPECT_EQ(Calls(&m1->stream, chain), 128);
         const std::vector<float> xs = LocalXs(&m1->stream);
         ASSERT_EQ(xs.size(), 128u);
         for (int i = 0; i < 128; i++) EXPECT_EQ(xs[size_t(i)], float(127 - i) / 1024.0f) << i;
         ZeRndrBurstObjEnd();
         EXPECT_EQ(zerndr_burst.obj, nullptr) << "ending an empty burst only closes it";
         EXPECT_EQ(Calls(&m1->stream, chain), 128);
       }},
      {"culled burst instances are not added; the callback sees every instance",
       [&] {
         static int seen;
         seen = 0;
         ZeRndrBurstObjBegin(obj, [](ZERNDRSTREAM*, const ZEMTX*, int word) { seen += word; });
         EXPECT_EQ(ZeRndrBurstObjAdd(&behind), 0);
         EXPECT_EQ(ZeRndrBurstObjAdd(&here), 1);
         EXPECT_EQ(zerndr_burst.count, 1);
         ZeRndrBurstObjEnd();
         EXPECT_EQ(seen, 1);
       }},
      {"bursts refuse a second begin, and every add (AddOn too) refuses to run without one",
       [&] {
         EXPECT_HALT(ZeRndrBurstObjAddOn(&here), "ZeRndrBurstObjAdd without ZeRndrBurstObjBegin");
         EXPECT_HALT(ZeRndrBurstObjAdd(&here), "ZeRndrBurstObjAdd without ZeRndrBurstObjBegin");
         EXPECT_HALT(ZeRndrBurstObjAddNoClip(&here), "ZeRndrBurstObjAdd without ZeRndrBurstObjBegin");
         ZeRndrBurstObjBegin(obj, nullptr);
         EXPECT_HALT(ZeRndrBurstObjBegin(obj, nullptr), "Attempted to open more than one burst render stream");
         EXPECT_EQ(ZeRndrBurstObjAddOn(&here), 1);
         EXPECT_HALT(ZeRndrBurstObjEndCnt(max_burst_objs + 1), "129 instances");
         ZeRndrBurstObjEndCntNoClip(1);
         EXPECT_EQ(Calls(&m1->stream, chain), 1);
       }},
      {"LinkDmaParticalSets with n = 1 makes the only tag a ret tag, keeping IRQ, PCE, QWC and bit 31",
       [&] {
         void* p[3];
         for (void*& x : p) x = CreateDmaParticleSet(Block<uint32_t>(ZEPTL_CHUNK_BYTES), nullptr);
         uint32_t* t0 = static_cast<uint32_t*>(p[0]);
         t0[0] |= 0x84000000u;  // IRQ and a PCE bit
         t0[1] |= 0x80000000u;
         LinkDmaParticalSets(p, 1);
         EXPECT_EQ(t0[0], 0x84000000u | uint32_t(DMATAG_RET) << 28 | 66u);
         EXPECT_EQ(t0[1], 0x80000000u);
         LinkDmaParticalSets(p, 3);
         EXPECT_EQ((t0[0] >> 28) & 7, uint32_t(DMATAG_NEXT));
         EXPECT_EQ(t0[1], 0x80000000u | EeAddrOf(p[1]));
         EXPECT_EQ(static_cast<uint32_t*>(p[1])[1], EeAddrOf(p[2]));
         EXPECT_EQ(static_cast<uint32_t*>(p[2])[0] >> 28, uint32_t(DMATAG_RET));
       }},
      {"PartDebugHeader: type 9 writes nothing and keeps the start code; types 4 and 5 take 0x310 when debugging",
       [&] {
         auto* rec = static_cast<DebrisDmaTypeInfo*>(CreateDmaPartEffectList(Block<uint32_t>(ZEPTL_TYPE_BYTES), nullptr));
         EXPECT_EQ(rec->start[0], 0x14000302u);
         ZeRndrStreamLink(rndrstream_ptl);
         uint32_t* before = rndrstream_ptl->write;
         PartDebugHeader(rec, 9);
         EXPECT_EQ(rndrstream_ptl->write.get(), before);
         EXPECT_EQ(rec->start[0], 0x14000302u);
         PartDebugHeader(rec, 4);
         EXPECT_EQ(rndrstream_ptl->write.get(), before) << "type 4 has no header";
         EXPECT_EQ(rec->start[0], 0x1400030au);
         debugpart = 1;
         PartDebugHeader(rec, 5);
         EXPECT_EQ(rec->start[0], 0x14000310u);
         debugpart = 0;
         PartDebugHeader(rec, 2);
         EXPECT_EQ(rndrstream_ptl->write.get(), before + 8) << "a tag and the template";
         EXPECT_EQ(before[3], 0x6c018000u);
         EXPECT_EQ((before[5] >> 15) & 0x7ff, 6u);
         EXPECT_EQ(rec->start[0], 0x14000306u);
         rndrstream_free = vpDmaTag_Next(rndrstream_ptl->write, nullptr);
       }},
      {"the weight packet of 2 takes 3 quadwords and unpacks 3 words to 0x63",
       [&] {
         uint32_t* free0 = rndrstream_free;
         auto* w = static_cast<uint32_t*>(ZeRndrCreateBlendShapeDeformerWeightsArray(2));
         EXPECT_EQ(rndrstream_free - free0, 12);
         EXPECT_EQ(w[0] >> 28, uint32_t(DMATAG_RET));
         EXPECT_EQ(w[2], 0x13000000u);
         EXPECT_EQ(w[3], 0x01000101u);
         EXPECT_EQ(w[4], 0x60030063u);
         EXPECT_EQ(w[5], 2u);
         EXPECT_EQ(zerndr_skin_reset_packet[4], 0x60010063u) << "the start-up packet: one word 0";
         EXPECT_EQ(zerndr_skin_reset_packet[5], 0u);
       }},
      {"skins: ref records re-pointed at the joint matrices, the skip count, the ret not copied",
       [&] {
         uint32_t* inst = Block<uint32_t>(6 * 16);
         uint32_t* callee = Block<uint32_t>(16);
         vpDmaTag_Ret(callee);
         uint32_t* p = vpDmaTag_CntEx(inst, 0x01000108, 0);
         p = vpDmaTag_Close(p);
         p = vpDmaTag_Set(p, 4, DMATAG_REF, EeAddrToPtr(0x40));
         p = vpDmaTag_Set(p, 4, DMATAG_REF, EeAddrToPtr(0x80));
         p = vpDmaTag_Set(p, 0, DMATAG_CALL, callee);
         p = vpDmaTag_Set(p, 0, DMATAG_RET, nullptr);
         vpDmaTag_Set(p, 0, DMATAG_CNT, nullptr);  // past the ret: never read
         g->skininst = inst;
         g->dmalen = 5 * 16;
         g->dmastream = nullptr;
         zerndr_skinpalette = static_cast<ZEMTX*>(ZeRndrStreamAlloc(8));
         EXPECT_EQ(ZeRndrGobjSkin(obj, &here, 2, nullptr, nullptr, 0), 0);
         EXPECT_TRUE(StreamTags(&m1->stream).empty()) << "clip 0 draws nothing";
         EXPECT_EQ(ZeRndrGobjSkin(obj, &here, 2, nullptr, nullptr, 2), 2);
         std::vector<TagSeen> t = StreamTags(&m1->stream);
         size_t k = 0;
         while (k < t.size() && !(t[k].id == DMATAG_CALL && t[k].marker == DMAMK_GEOMCALL)) k++;
         ASSERT_EQ(t.size(), k + 5);
         EXPECT_EQ(t[k].addr, EeAddrOf(zerndr_skin_reset_packet)) << "no blend packet: the reset packet";
         EXPECT_EQ(t[k + 1].id, DMATAG_CNT);
         EXPECT_EQ(t[k + 2].addr, EeAddrOf(zerndr_skinpalette) + 0x40);
         EXPECT_EQ(t[k + 3].addr, EeAddrOf(zerndr_skinpalette) + 0x80);
         EXPECT_EQ(t[k + 4].id, DMATAG_CALL);
         EXPECT_EQ(skindebug_packet_cnt, 4);
         skindebug_skip_data_cnt = 2;
         void* blend = ZeRndrCreateBlendShapeDeformerWeightsArray(1);
         ZeRndrGobjSkin(obj, &here, 2, nullptr, blend, 2);
         t = StreamTags(&m1->stream);
         EXPECT_EQ(t[t.size() - 3].addr, EeAddrOf(blend));
         EXPECT_EQ(t[t.size() - 2].addr, EeAddrOf(zerndr_skinpalette) + 0x80);
         EXPECT_EQ(skindebug_packet_cnt, 2);
         skindebug_skip_data_cnt = 0;
         g->dmalen = 4 * 16;  // the ret lies past the geometry's instance
         EXPECT_HALT(ZeRndrGobjSkin(obj, &here, 2, nullptr, nullptr, 2), "has no ret record");
         g->skininst = nullptr;
         g->dmalen = 0;
         g->dmastream = chain;
       }},
      {"material substitution: the forced material, then the table by index byte",
       [&] {
         zerndr_forced_mtl = m2;
         ZeRndrGScnObj(obj, &here);
         EXPECT_EQ(Calls(&m2->stream, chain), 1);
         EXPECT_EQ(Calls(&m1->stream, chain), 0);
         zerndr_forced_mtl = nullptr;
         EePtr<ZEMTL>* table = Block<EePtr<ZEMTL>>(256 * 4);
         table[5] = m3;
         zerndr_forced_mtl_table = table;
         m1->table_index = 5;
         ZeRndrGScnObj(obj, &here);
         EXPECT_EQ(Calls(&m3->stream, chain), 1);
         m1->table_index = 6;  // a null entry keeps the material
         ZeRndrGScnObj(obj, &here);
         EXPECT_EQ(Calls(&m1->stream, chain), 1);
         m1->table_index = 0;
         zerndr_forced_mtl_table = nullptr;
       }},
      {"a node without a material draws nothing; the debug material filter skips others",
       [&] {
         g->mtl = nullptr;
         EXPECT_EQ(ZeRndrGScnObj(obj, &here), 1);
         EXPECT_EQ(Calls(&m1->stream, chain), 0);
         g->mtl = m1;
         geom_mtl_dbg = m2;
         ZeRndrGScnObj(obj, &here);
         EXPECT_EQ(Calls(&m1->stream, chain), 0);
         geom_mtl_dbg = nullptr;
       }},
      {"burst grass: instances in mode 2 (1 with testclipspeed), the sway table to 0x188, the debug start, the chain",
       [&] {
         uint32_t* grass = Block<uint32_t>(16);
         vpDmaTag_Ret(grass);
         ZeRndrBurstObjBegin(obj, nullptr);
         ZeRndrBurstObjAddNoClip(&here);
         debuggrass = 1;
         const ZEVEC v = {0, 0.75f, 0};
         ZeRndrBurstGrass(grass, &v, 0x4000, 0x100, 2.0f);
         debuggrass = 0;
         EXPECT_EQ(zerndr_burst.obj, nullptr);
         const std::vector<TagSeen> t = StreamTags(&m1->stream);
         ASSERT_GE(t.size(), 3u);
         const TagSeen& sway = t[t.size() - 3];
         EXPECT_EQ(sway.tag[3], 0x68400188u);
         EXPECT_EQ(sway.qwc, 48);
         // Entry 0: angle a quarter turn: (2 + 1 x sin, y, 2 + 1 x cos).
         EXPECT_FLOAT_EQ(BitsF(sway.tag[4]), 3.0f);
         EXPECT_FLOAT_EQ(BitsF(sway.tag[5]), 0.75f);
         EXPECT_NEAR(BitsF(sway.tag[6]), 2.0f, 1e-6f);
         EXPECT_EQ(t[t.size() - 2].tag[2], 0x1400030cu);
         EXPECT_EQ(t.back().addr, EeAddrOf(grass));
         // The instance went in clipped (mode 2): MSCAL at 2.
         bool mode2 = false;
         for (const TagSeen& x : t)
           if (x.marker == DMAMK_MTXLOAD) mode2 = x.tag[4 + 4 * 4 + 3] == 0x14000002u;
         EXPECT_TRUE(mode2);
       }},
      {"the particle packets' sizes and uploads",
       [&] {
         int size = 0;
         auto* c = static_cast<uint32_t*>(CreateDmaParticleSet(Block<uint32_t>(ZEPTL_CHUNK_BYTES), &size));
         EXPECT_EQ(size, ZEPTL_CHUNK_BYTES);
         EXPECT_EQ(c[3], 0x6c418000u);
         EXPECT_EQ(c[4 + 65 * 4], 0x17000000u) << "MSCNT";
         c = static_cast<uint32_t*>(CreateDmaParticleSetGlass(Block<uint32_t>(ZEPTL_GLASS_BYTES), &size));
         EXPECT_EQ(size, ZEPTL_GLASS_BYTES);
         EXPECT_EQ(c[3], 0x6c198000u);
         auto* e = static_cast<DebrisDmaTypeInfo*>(CreateDmaPartEffectList(Block<uint32_t>(ZEPTL_TYPE_BYTES), &size));
         EXPECT_EQ(size, ZEPTL_TYPE_BYTES);
         EXPECT_EQ(e->header_tag[2], 0x11000000u);
         EXPECT_EQ(e->header_tag[3], 0x6c02003bu);
         EXPECT_EQ(e->block_tag[3], 0x6c83003du);
         EXPECT_EQ(e->block_tag[0] & 0xffff, 132u);
       }},
      {"a scene object in a caller's stream: one view and local matrix, no end; a sorted batch re-links it",
       [&] {
         uint32_t* tris = Block<uint32_t>(16 + 160);
         tris[0] = 1;
         g->tribatch = tris;
         ZERNDRSTREAM* s = rndrstream_3d_l;
         ZeRndrStreamLink(s);
         EXPECT_EQ(ZeRndrGScnObjStream(obj, &here, s), 1);
         EXPECT_EQ(Calls(s, chain), 1);
         int locals = 0;
         for (const TagSeen& t : StreamTags(s)) locals += t.marker == DMAMK_MTXLOAD;
         EXPECT_EQ(locals, 1);
         EXPECT_EQ(s->write.get(), rndrstream_free) << "linked again after the sorter took its memory";
         g->tribatch = nullptr;
         rndrstream_free = vpDmaTag_Next(s->write, nullptr);
       }},
      {"a face-on node's word is its local matrix's kick",
       [&] {
         auto* f = Block<ZEFACEONGEOM>(sizeof(ZEFACEONGEOM));
         f->mtl = m2;
         f->dma = chain;
         f->mtlindex = 1;
         obj->faceons = f;
         ZeRndrGScnObj(obj, &here);
         bool kicked = false;
         for (const TagSeen& t : StreamTags(&m2->stream)) kicked |= t.id == DMATAG_CNT && t.tag[2] == 0x1400000au;
         EXPECT_TRUE(kicked);
         EXPECT_EQ(Calls(&m2->stream, chain), 1);
         obj->faceons = nullptr;
       }},
      {"an effect job sets XYOFFSET_1 to 0 and restores it without the half pixel",
       [&] {
         const uint32_t data[5] = {FBits(0), FBits(0), FBits(16), FBits(16), 7};
         ZeRndrFxCode(0x300, data, nullptr, m2);
         std::vector<uint64_t> offsets;
         for (const TagSeen& t : StreamTags(rndrstream_fx))
           if (t.id == DMATAG_CNT)
             for (int q = 1; q < t.qwc; q++)
               if (t.tag[4 + 4 * q + 2] == uint32_t(GS_XYOFFSET_1))
                 offsets.push_back(uint64_t(t.tag[4 + 4 * q]) | uint64_t(t.tag[4 + 4 * q + 1]) << 32);
         ASSERT_GE(offsets.size(), 2u);
         EXPECT_EQ(offsets[offsets.size() - 2], 0u);
         EXPECT_EQ(offsets.back(), uint64_t((2048 - 320) * 16) | uint64_t((2048 - 112) * 16) << 32);
         const size_t tags = StreamTags(rndrstream_fx).size();
         ZeRndrFxCode(0x30c, data, nullptr, m2);  // no such job: nothing
         EXPECT_EQ(StreamTags(rndrstream_fx).size(), tags);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Every case starts on an empty frame with empty material streams.
    ZeRndrSwapStreamBuffers();
    for (ZEMTL* m : {m1, m2, m3}) ZeRndrStreamResetStream(&m->stream, 1);
    c.run();
  }
}
