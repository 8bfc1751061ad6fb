// Animation data: time, curve values of every key type, images of both
// versions made by the animation writer and loaded, relocated and checked,
// the stream and tagged forms, and the faults of damaged input.
#include "zeanim_test.h"

#include <cmath>
#include <cstring>

namespace {

// A channel of every key type, a constant and a weight-free transform node.
const char* kAllTypes = R"(; every key type
end 70
node body 0x0b
channel tx hermite
key 1 0 0.5
key 10 4
key 40 -2 0
key 70 6
channel ty packed
key 1 1
key 20 3 0.1
key 60 -1
channel tz step
key 1 5
key 12 7
key 50 -3
channel rx boolean
key 1 0
key 5 1
key 36 0
key 40 1
channel ry const 0.25
channel sy hermite
key 1 1
key 33 2
key 66 1.5
)";

}  // namespace

TEST_F(AnimFiles, TimeTable) {
  // end frame, chunks, asked frame -> frame, chunk, slot, time within chunk
  struct Case {
    float end;
    int chunks;
    float asked, frame;
    int chunk, slot;
    float tchunk;
  } cases[] = {
      {70, 3, 0.5f, 1, 0, 0, 1},           // below 1: frame 1
      {70, 3, -100, 1, 0, 0, 1},
      {70, 3, 70, 69.99f, 2, 4, 5.99f},    // at the end: E - 0.01
      {70, 3, 500, 69.99f, 2, 4, 5.99f},
      {70, 3, 33, 33, 1, 0, 1},            // a chunk's first frame
      {70, 3, 32.5f, 32.5f, 0, 31, 32.5f},  // the last slot of a chunk
      {1, 1, 7, 1, 0, 0, 1},               // end frame 1: always frame 1
      {1, 1, 0, 1, 0, 0, 1},
      {1.005f, 1, 5, 1, 0, 0, 1},          // end just above 1: clamped to frame 1, not chunk -1
      {0.5f, 1, 5, 1, 0, 0, 1},
      {200, 2, 150, 150, 1, 31, 118},      // past the last chunk: the last chunk, slot kept in the mask
  };
  for (const Case& c : cases) {
    ZEANIMDATA* a = ZeAnimDataCreate(c.chunks);
    a->end = c.end;
    ZEANIMTIME t;
    ZeAnimDataCalcTime(a, &t, c.asked);
    SCOPED_TRACE(testing::Message() << "end " << c.end << " frame " << c.asked);
    EXPECT_FLOAT_EQ(t.frame, c.frame);
    EXPECT_EQ(t.chunk, c.chunk);
    EXPECT_EQ(t.slot, c.slot);
    EXPECT_FLOAT_EQ(t.tchunk, c.tchunk);
    EXPECT_EQ(t.maskbyte, uint32_t(c.slot / 8));
    EXPECT_EQ(t.keymask, ((1u << (c.slot % 8 + 1)) - 1) & 0xff);
    ZeAnimDataDestroy(a);
  }
}

TEST_F(AnimFiles, CurvesBuiltInMemoryEvaluateBeforeAnyLoad) {
  // The bit-count table exists before any reader or loader has run.
  EXPECT_EQ(bitCountTableBuilt, 1);
  for (int v = 0; v < 256; v++) EXPECT_EQ(bitCountTable[v], __builtin_popcount(v)) << v;
  ZEANIMCURVE* c = ZeAnimCurveCreate(3);
  c->mask[0] = 0x01;
  c->mask[1] = 0x01;  // keys at frames 1 and 9, then 33
  c->keys[0] = {1, 1.0f / 8, 0, 10};
  c->keys[1] = {9, 1.0f / 24, 0, 20};
  c->keys[2] = {33, 0, 0, 30};
  ZEANIMDATA* a = ZeAnimDataCreate(1);
  a->end = 33;
  ZEANIMTIME t;
  ZeAnimDataCalcTime(a, &t, 9);
  EXPECT_EQ(ZeAnimCurveCalcVal2(c, &t), 20.0f);  // on a key: its value
  ZeAnimDataCalcTime(a, &t, 5);
  EXPECT_FLOAT_EQ(ZeAnimCurveCalcVal2(c, &t), 15.0f);  // flat tangents: the middle is the mean
  c->flags = 1;                                        // step: the previous key holds
  EXPECT_EQ(ZeAnimCurveCalcVal2(c, &t), 10.0f);
  ZeAnimCurveDestroy(c);
  ZeAnimDataDestroy(a);
}

TEST_F(AnimFiles, Version2RoundTripGivesTheDescriptionBack) {
  AniDesc desc = Describe(kAllTypes);
  ZEANIMDATA2* a = LoadV2(desc, "ALL.ANI");
  ASSERT_EQ(a->nnodes, 1);
  ASSERT_EQ(a->ncurves, 9);
  EXPECT_EQ(a->nchunks, 3);
  EXPECT_EQ(a->nodeflags[0], 0x0b);
  const AniNode& n = desc.nodes[0];
  for (float f = 1; f < 70; f += 0.25f) {
    ZEANIMTIME t;
    ZeAnimData2CalcTime(a, &t, f);
    SCOPED_TRACE(testing::Message() << "frame " << f);
    // Stored in the animation tool's space: tz, rx and ry change sign.
    EXPECT_NEAR(Value(a, 0, 0, t), AniChannelValue(n.channels[0], f), 2e-4f);
    EXPECT_NEAR(Value(a, 0, 1, t), AniChannelValue(n.channels[1], f), 3e-3f);  // packed: quantised
    EXPECT_EQ(Value(a, 0, 2, t), -AniChannelValue(n.channels[2], f));
    const bool on = AniChannelValue(n.channels[3], float(int(f))) != 0;
    EXPECT_EQ(Value(a, 0, 3, t), on ? std::ldexp(1.0f, t.slot) : 0.0f);
    EXPECT_EQ(Value(a, 0, 4, t), -0.25f);
    EXPECT_NEAR(Value(a, 0, 7, t), AniChannelValue(n.channels[7], f), 2e-4f);
    EXPECT_EQ(Value(a, 0, 8, t), 1.0f);
  }
  // On the keys the values are exact.
  for (auto [frame, value] : {std::pair{1, 0.0f}, {10, 4.0f}, {40, -2.0f}}) {
    ZEANIMTIME t;
    ZeAnimData2CalcTime(a, &t, float(frame));
    EXPECT_EQ(Value(a, 0, 0, t), value) << frame;
  }
}

TEST_F(AnimFiles, BooleanSlot31IsTwoToThe31) {
  // A weight animation of one boolean channel, set from frame 32 (slot 31).
  ZEANIMDATA2* a = LoadV2(Describe("end 40\ncurves 1\nnode n 0\nchannel 0 boolean\nkey 1 0\nkey 32 1\n"), "BOOL.ANI");
  ASSERT_EQ(a->ncurves, 1);
  ZEANIMTIME t;
  ZeAnimData2CalcTime(a, &t, 32.5f);
  EXPECT_EQ(ZeAnimCurve2CalcValEx(&a->words[0], &t, ZEANIMKEYTYPE_BOOLEAN), 2147483648.0f);
  ZeAnimData2CalcTime(a, &t, 31);
  EXPECT_EQ(ZeAnimCurve2CalcValEx(&a->words[0], &t, ZEANIMKEYTYPE_BOOLEAN), 0.0f);
}

TEST_F(AnimFiles, KeyTypesFiveAndUpGiveZeroAndTypeZeroIsFatal) {
  ZEANIMDATA2* a = LoadV2(Describe(kAllTypes), "ALL.ANI");
  ZEANIMTIME t;
  ZeAnimData2CalcTime(a, &t, 12);
  for (int type : {5, 6, 127}) EXPECT_EQ(ZeAnimCurve2CalcValEx(&a->words[0], &t, type), 0.0f);
  EXPECT_HALT(ZeAnimCurve2CalcValEx(&a->words[0], &t, 0),
              "ZeAnimCurve2CalcVal: should have already evaluated ZEANIMKEYTYPE_NONE");
}

TEST_F(AnimFiles, RelocationAndASecondLoadGiveIdenticalValues) {
  AniDesc desc = Describe(kAllTypes);
  Save("ALL.ANI", Build(desc, 2));
  char* image = nullptr;
  char* pos = buffer;
  ZEANIMDATA2* a = ZeAnimData2LoadBuffEx("ALL.ANI", &pos, buffer + BUFFER, &image);
  EXPECT_EQ(image, buffer);
  const int size = reinterpret_cast<ZEANIMFILEHDR*>(image)->version;
  EXPECT_EQ(size, int(Build(desc, 2).size()));
  EXPECT_EQ(pos, buffer + size);
  const std::vector<float> first = AllValues(a);
  char* second = pos + 5;  // rounded up to 16
  ZEANIMDATA2* b = ZeAnimData2Relocate(&image, &second);
  EXPECT_EQ(uintptr_t(image) % 16, 0u);
  EXPECT_GT(image, pos);
  EXPECT_EQ(second, image + size);
  EXPECT_EQ(reinterpret_cast<ZEANIMFILEHDR*>(image)->base, int(EeAddrOf(image)));
  memset(buffer, 0xee, size_t(size));  // the old copy is gone
  EXPECT_EQ(AllValues(b), first);
  char* third = second;
  ZEANIMDATA2* c = ZeAnimData2LoadBuff("ALL.ANI", &third, buffer + BUFFER);
  EXPECT_EQ(AllValues(c), first);
}

TEST_F(AnimFiles, Version1LoadsToTheSameValuesAsVersion2) {
  const char* text = "end 80\nnode a 0x09\nchannel tx hermite\nkey 1 2\nkey 30 5 0.1\nkey 75 -1\n"
                     "channel ty step\nkey 1 1\nkey 34 2\nchannel sx const 3\n"
                     "node b 0\nchannel rz hermite\nkey 1 0\nkey 80 3\n";
  AniDesc desc = Describe(text);
  ZEANIMDATA2* a2 = LoadV2(desc, "V2.ANI");
  ZEANIMDATA* a1 = LoadV1(desc, "V1.ANI");
  EXPECT_EQ(a1->nchunks, 3);
  for (float f = 0; f < 82; f += 0.5f) {
    ZEANIMTIME t1, t2;
    ZeAnimDataCalcTime(a1, &t1, f);
    ZeAnimData2CalcTime(a2, &t2, f);
    for (int n = 0; n < 2; n++) {
      const ZEANIMCURVESET* s = a1->chunks[t1.chunk]->sets[n];
      for (int k = 0; k < 9; k++) {
        const float v1 = s->curves[k] ? ZeAnimCurveCalcVal2(s->curves[k], &t1) : s->consts[k];
        EXPECT_EQ(v1, Value(a2, n, k, t2)) << "frame " << f << " node " << n << " slot " << k;
      }
    }
  }
  // Packed and boolean channels have no old form.
  std::string error;
  EXPECT_TRUE(AniBuildV1(Describe(kAllTypes), &error).empty());
}

TEST_F(AnimFiles, StreamWriteThenReadGivesTheSameRecords) {
  ZEANIMDATA* img = LoadV1(Describe("end 50\nnode a 0x0b\nchannel tx hermite\nkey 1 0\nkey 20 1\nkey 50 0\n"
                                    "channel rz step\nkey 1 1\nkey 40 2\nchannel sz const 2\nnode b 0\n"),
                           "S.ANI");
  img->names = static_cast<char*>(ZeMemAlloc(8));
  strcpy(img->names, "a\nb");
  ZEFILE f = ZeFileOpen("STREAM.BIN", 1);
  ZeAnimDataWrite(f, img);
  ZeFileClose(f);
  f = ZeFileOpen("STREAM.BIN", 0);
  ZEANIMDATA* back = ZeAnimDataRead(f);
  EXPECT_EQ(ZeFilePos(f), ZeFileOpenSize(f));
  ZeFileClose(f);
  EXPECT_STREQ(back->names, "a\nb");
  EXPECT_EQ(back->end, img->end);
  ASSERT_EQ(back->nchunks, img->nchunks);
  for (int c = 0; c < img->nchunks; c++) {
    const ZEANIMCHUNK* x = img->chunks[c];
    const ZEANIMCHUNK* y = back->chunks[c];
    ASSERT_EQ(y->nnodes, x->nnodes);
    EXPECT_EQ(y->nlinked, 2);
    for (int n = 0; n < x->nnodes; n++) {
      const ZEANIMCURVESET* s = x->sets[n];
      const ZEANIMCURVESET* r = y->sets[n];
      ASSERT_TRUE(r);
      EXPECT_EQ(r->flags, s->flags);
      EXPECT_EQ(r->nslots, 9);
      for (int k = 0; k < 9; k++) {
        EXPECT_EQ(r->consts[k], s->consts[k]);
        ASSERT_EQ(!r->curves[k], !s->curves[k]);
        if (!s->curves[k]) continue;
        const ZEANIMCURVE* a = s->curves[k];
        const ZEANIMCURVE* b = r->curves[k];
        EXPECT_EQ(memcmp(a->mask, b->mask, 4), 0);
        EXPECT_EQ(a->nkeys, b->nkeys);
        EXPECT_EQ(a->flags, b->flags);
        EXPECT_EQ(memcmp(a->keys, b->keys, size_t(a->nkeys) * 16), 0);
      }
    }
  }
  img->names = nullptr;
  ZeAnimDataDestroy(back);
}

TEST_F(AnimFiles, TaggedCurvesAndKeys) {
  ZEANIMCURVE* c = ZeAnimCurveCreate(2);
  c->mask[0] = 1;
  c->keys[0] = {1, 0.5f, 0.25f, 3};
  c->keys[1] = {3, 0, -1, 4};
  c->flags = 1;
  ZEANIMCURVESET* s = ZeAnimCurveSetCreate(9);
  s->flags = 9;
  for (int k = 0; k < 9; k++) s->consts[k] = float(k);
  s->curves[4] = c;
  s->consts[4] = ZEANIM_FLTMAX;
  ZEFILE f = ZeFileOpen("TAGGED.BIN", 1);
  ZeAnimCurveWrite(f, c);
  ZeAnimCurveWrite(f, nullptr);
  ZeAnimKeyWrite(f, nullptr);  // nothing
  ZeAnimKeyWrite(f, &c->keys[1]);
  ZeAnimCurveSetWrite(f, s);
  ZeAnimCurveSetWrite(f, nullptr);
  ZeFileClose(f);
  EXPECT_EQ(ZeFileSize("TAGGED.BIN"), (4 + 4 + 4 + 32 + 4) + 4 + 16 + (4 + 4 + 36 + 8 * 4 + 48) + 4);

  f = ZeFileOpen("TAGGED.BIN", 0);
  ZEANIMCURVE* back = ZeAnimCurveRead(f);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->nkeys, 2);
  EXPECT_EQ(back->flags, 1);
  EXPECT_EQ(back->mask[0], 1);
  EXPECT_EQ(memcmp(back->keys, c->keys, 32), 0);
  const int before = ZeFilePos(f);
  EXPECT_EQ(ZeAnimCurveRead(f), nullptr);
  EXPECT_EQ(ZeFilePos(f), before + 4);  // the tag only
  ZEANIMKEY key;
  EXPECT_EQ(ZeAnimKeyRead(f, &key), 1);
  EXPECT_EQ(memcmp(&key, &c->keys[1], 16), 0);
  // A set: tag, flags, nine constants, nine curves (no set reader).
  EXPECT_EQ(ZeFileReadInt(f), 1);
  EXPECT_EQ(ZeFileReadInt(f), 9);
  for (int k = 0; k < 9; k++) EXPECT_EQ(ZeFileReadFloat(f), s->consts[k]);
  for (int k = 0; k < 9; k++) {
    ZEANIMCURVE* r = ZeAnimCurveRead(f);
    EXPECT_EQ(!r, k != 4);
    if (r) ZeAnimCurveDestroy(r);
  }
  EXPECT_EQ(ZeFileReadInt(f), 0);
  ZeFileClose(f);
  ZeAnimCurveDestroy(back);
  ZeAnimCurveSetDestroy(s, 1);
}

TEST_F(AnimFiles, CreatorsAndVersions) {
  EXPECT_EQ(ZeAnimCurveSetCreate(0), nullptr);
  ZeAnimCurveSetDestroy(nullptr, 1);
  EXPECT_HALT(ZeAnimCurveCreate(0), "assert");
  EXPECT_HALT(ZeAnimDataChunkCreate(0), "assert");
  EXPECT_HALT(ZeAnimDataLoad("X.ANI"), "Obsolete - do not use!!!");
  ZEANIMCURVE* c = ZeAnimCurveCreate(2);
  c->keys[0] = {1, 0.5f, 2, 0};
  c->keys[1] = {3, 0.25f, 4, 0};
  ZeAnimCurveScale(c, 2, 1);
  EXPECT_EQ(c->keys[1].time, 7);
  EXPECT_EQ(c->keys[1].invint, 0.125f);
  EXPECT_EQ(c->keys[1].tangent, 2);
  ZeAnimCurveDestroy(c);

  Save("EMPTY.ANI", {});
  Save("V2.ANI", Build(Describe(kAllTypes), 2));
  EXPECT_EQ(ZeAnimDataFindVersion("EMPTY.ANI"), 0);
  EXPECT_EQ(ZeAnimDataFindVersion("MISSING.ANI"), -1);
  EXPECT_EQ(ZeAnimDataFindVersion("V2.ANI"), 2);
}

TEST_F(AnimFiles, LoadFailuresAreFatal) {
  const std::vector<uint8_t> v2 = Build(Describe(kAllTypes), 2);
  Save("V2.ANI", v2);
  Save("V1.ANI", Build(Describe("end 5\nnode a 0\n"), 1));
  Save("EMPTY.ANI", {});
  char* pos = buffer;
  const char* missing = "Could not read from <MISSING.ANI>, either file is not there or the buffer may be full";
  EXPECT_HALT(ZeAnimData2LoadBuff("MISSING.ANI", &pos, buffer + BUFFER), missing);
  EXPECT_HALT(ZeAnimDataLoadBuff("EMPTY.ANI", &pos, buffer + BUFFER), "Could not read from <EMPTY.ANI>");
  EXPECT_HALT(ZeAnimData2LoadBuff("V2.ANI", &pos, buffer + v2.size() - 1), "Could not read from <V2.ANI>");
  EXPECT_HALT(ZeAnimDataLoadBuff("V2.ANI", &pos, buffer + BUFFER), "Is in new format, expecting old format.");
  EXPECT_HALT(ZeAnimData2LoadBuff("V1.ANI", &pos, buffer + BUFFER), "Is in old format, expecting new format.");
}
