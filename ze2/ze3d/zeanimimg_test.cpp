// Damaged animation input: images whose pointers or key masks leave the
// file, and streams that promise more than they hold, end in a clear fatal
// error naming the fault, never a read outside the data.
#include "zeanim_test.h"

#include <cstring>
#include <functional>

namespace {

const char* kImage = "end 70\nnode a 0x0b\nchannel tx hermite\nkey 1 0\nkey 10 4\nkey 60 2\n"
                     "channel rx boolean\nkey 1 0\nkey 5 1\nchannel sy packed\nkey 1 1\nkey 40 2\n"
                     "channel tz step\nkey 1 1\nkey 50 2\n";

uint32_t Get(const std::vector<uint8_t>& b, size_t at) {
  uint32_t v;
  memcpy(&v, b.data() + at, 4);
  return v;
}
void Set(std::vector<uint8_t>* b, size_t at, uint32_t v) { memcpy(b->data() + at, &v, 4); }

struct Damage {
  const char* what;
  std::function<void(std::vector<uint8_t>*)> damage;
  const char* message;
};

// A little-endian stream written field by field.
struct Stream {
  std::vector<uint8_t> b;
  Stream& Int(int v) { return Raw(&v, 4); }
  Stream& Float(float v) { return Raw(&v, 4); }
  Stream& Byte(uint8_t v) { return Raw(&v, 1); }
  Stream& Raw(const void* p, size_t n) {
    b.insert(b.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
    return *this;
  }
  // One chunk of one node: keys, curve records (mask, keys), and the node
  // with `marked` slots carrying the curve marker.
  Stream& Chunk(int nkeys, std::vector<std::pair<uint32_t, int>> curves, int marked) {
    Int(1).Int(nkeys);
    for (int k = 0; k < nkeys; k++) Float(float(1 + k)).Float(1).Float(0).Float(float(k));
    Int(int(curves.size()));
    for (auto [mask, keys] : curves) Int(int(mask)).Int(0).Int(keys).Int(0);
    Byte(9).Int(1);
    for (int k = 0; k < 9; k++) Float(k < marked ? ZEANIM_FLTMAX : 0.0f);
    return *this;
  }
};

struct Damaged : AnimFiles {
  // Each damage to a good image ends its load with the fault's message.
  template <size_t N>
  void ExpectDamaged(const std::vector<uint8_t>& good, const Damage (&cases)[N], int version) {
    for (const Damage& c : cases) {
      SCOPED_TRACE(c.what);
      std::vector<uint8_t> bad = good;
      c.damage(&bad);
      Save("BAD.ANI", bad);
      char* pos = buffer;
      const std::string message = std::string("<BAD.ANI> is damaged: ") + c.message;
      if (version == 1) EXPECT_HALT(ZeAnimDataLoadBuff("BAD.ANI", &pos, buffer + BUFFER), message);
      else EXPECT_HALT(ZeAnimData2LoadBuff("BAD.ANI", &pos, buffer + BUFFER), message);
    }
  }
};

}  // namespace

TEST_F(Damaged, DamagedVersion2ImagesAreFatal) {
  const std::vector<uint8_t> good = Build(Describe(kImage), 2);
  const size_t rec = Get(good, 8), words = Get(good, rec + 12);
  const size_t tx = Get(good, words), rx = Get(good, words + 12), sy = Get(good, words + 28);
  const Damage cases[] = {
      {"words past the end", [&](auto* b) { Set(b, rec + 12, uint32_t(b->size()) - 8); }, "a pointer outside the image"},
      {"record misaligned", [&](auto* b) { Set(b, 8, uint32_t(rec + 2)); }, "a pointer outside the image"},
      {"curve record past the end", [&](auto* b) { Set(b, words, 0x100000); }, "a pointer outside the image"},
      {"negative addresses", [&](auto* b) { Set(b, words, 0xfffffff0u); }, "a pointer outside the image"},
      {"no key at a chunk's first frame", [&](auto* b) { Set(b, Get(*b, tx), Get(*b, Get(*b, tx)) & ~1u); },
       "a chunk without a key at its first frame"},
      {"first key index past the keys", [&](auto* b) {
         const uint32_t firsts = Get(*b, tx + 4);
         (*b)[firsts] = 0xff, (*b)[firsts + 1] = 0xff;
       }, "a key mask reaching past the image"},
      {"packed mask reaching past", [&](auto* b) { Set(b, Get(*b, sy) + 8, 0xffffffffu); },
       "a key mask reaching past the image"},
      {"hermite without keys", [&](auto* b) { Set(b, tx + 8, 0); }, "a null pointer"},
      {"boolean masks outside", [&](auto* b) { Set(b, rx, uint32_t(b->size())); }, "a pointer outside the image"},
      {"negative node count", [&](auto* b) { (*b)[rec + 5] = 0x80; }, "a negative node or curve count"},
      {"too few chunks", [&](auto* b) { (*b)[rec + 8] = 1; }, "too few chunks for the end frame"},
      {"no record", [&](auto* b) { Set(b, 8, 0); }, "no animation record"},
      {"cut short", [&](auto* b) { b->resize(b->size() - 4); }, "a key mask reaching past the image"},
      {"header cut", [&](auto* b) { b->resize(8); }, "shorter than its header"},
  };
  ExpectDamaged(good, cases, 2);
  // The undamaged image loads.
  Save("GOOD.ANI", good);
  char* pos = buffer;
  EXPECT_NE(ZeAnimData2LoadBuff("GOOD.ANI", &pos, buffer + BUFFER), nullptr);
}

TEST_F(Damaged, DamagedVersion1ImagesAreFatal) {
  const std::vector<uint8_t> good =
      Build(Describe("end 40\nnode a 0x01\nchannel rx hermite\nkey 1 0\nkey 20 1\nkey 40 0\n"), 1);
  const size_t rec = Get(good, 8), chunks = Get(good, rec + 12), chunk0 = Get(good, chunks);
  const size_t set0 = Get(good, Get(good, chunk0 + 8)), curve = Get(good, Get(good, set0 + 8) + 12);
  const Damage cases[] = {
      {"keys outside", [&](auto* b) { Set(b, curve + 4, uint32_t(b->size()) + 64); }, "a pointer outside the image"},
      {"mask reaching past", [&](auto* b) { Set(b, curve, 0xffffffffu); }, "a key mask reaching past the image"},
      {"no first key", [&](auto* b) { Set(b, curve, 2); }, "a chunk without a key at its first frame"},
      {"negative slot count", [&](auto* b) { (*b)[set0 + 12] = 0xff; }, "a negative slot count"},
      {"no chunks", [&](auto* b) { Set(b, rec + 8, 0); }, "too few chunks for the end frame"},
      {"null chunk", [&](auto* b) { Set(b, chunks, 0); }, "a null pointer"},
      {"names without an end", [&](auto* b) {
         b->push_back('x');
         Set(b, rec + 4, uint32_t(b->size()) - 1);
       }, "node names without an end"},
  };
  ExpectDamaged(good, cases, 1);
}

// What no evaluation reads is not asked of an image: a curve whose last
// masked key lies at the end frame needs no key after it (frames from the
// end frame on read the time just before it). Such images load and
// evaluate as the images they were made from.
TEST_F(Damaged, LastMaskedKeyAtTheEndFrameNeedsNoKeyAfterIt) {
  const char* text = "end 10\nnode a 0x01\nchannel rx hermite\nkey 1 0\nkey 10 4\n";
  // Version 1: the one curve's keys end the image.
  std::vector<uint8_t> v1 = Build(Describe(text), 1);
  const size_t rec = Get(v1, 8), chunk0 = Get(v1, Get(v1, rec + 12));
  const size_t curve = Get(v1, Get(v1, Get(v1, Get(v1, chunk0 + 8)) + 8) + 12);
  ASSERT_EQ(Get(v1, curve), 1u) << "the key at frame 10 follows the mask";
  ASSERT_EQ(Get(v1, curve + 4) + 32, v1.size()) << "two keys end the image";
  auto values1 = [&](const std::vector<uint8_t>& image, const char* name) {
    Save(name, image);
    const ZEANIMDATA* a = ZeAnimDataLoadBuff(name, &cursor, buffer + BUFFER);
    std::vector<float> v;
    for (float f = 0; f <= 11; f += 0.25f) {
      ZEANIMTIME t;
      ZeAnimDataCalcTime(a, &t, f);
      v.push_back(ZeAnimCurveCalcVal2(a->chunks[t.chunk]->sets[0]->curves[3], &t));
    }
    return v;
  };
  const std::vector<float> want1 = values1(v1, "GOOD1.ANI");
  Set(&v1, curve, 1u | 1u << 9);
  EXPECT_EQ(values1(v1, "ATEND1.ANI"), want1);
  // Version 2: the same with the hermite curve's mask.
  std::vector<uint8_t> v2 = Build(Describe(text), 2);
  const size_t rx = Get(v2, Get(v2, Get(v2, 8) + 12) + 12);
  Save("GOOD2.ANI", v2);
  const std::vector<float> want2 = AllValues(ZeAnimData2LoadBuff("GOOD2.ANI", &cursor, buffer + BUFFER));
  Set(&v2, Get(v2, rx), 1u | 1u << 9);
  Save("ATEND2.ANI", v2);
  EXPECT_EQ(AllValues(ZeAnimData2LoadBuff("ATEND2.ANI", &cursor, buffer + BUFFER)), want2);
}

// A boolean curve reads its masks alone: without first keys it loads and
// evaluates as before.
TEST_F(Damaged, BooleanCurveNeedsNoFirstKeys) {
  std::vector<uint8_t> flags = Build(Describe(kImage), 2);
  const size_t rxb = Get(flags, Get(flags, Get(flags, 8) + 12) + 12);
  Save("GOOD3.ANI", flags);
  const std::vector<float> want3 = AllValues(ZeAnimData2LoadBuff("GOOD3.ANI", &cursor, buffer + BUFFER));
  Set(&flags, rxb + 4, 0);
  Save("NOFIRST.ANI", flags);
  EXPECT_EQ(AllValues(ZeAnimData2LoadBuff("NOFIRST.ANI", &cursor, buffer + BUFFER)), want3);
}

TEST_F(AnimFiles, StreamsThatPromiseMoreThanTheyHoldAreFatal) {
  auto head = [] { return Stream().Int(0).Float(20).Int(1); };
  struct Case {
    const char* what;
    Stream s;
    const char* message;  // null: reads
  } cases[] = {
      {"one curve for one marked slot", head().Chunk(2, {{1, 2}}, 1), nullptr},
      {"two marked slots, one curve", head().Chunk(2, {{1, 2}}, 2), "more animated slots than curves"},
      {"keys past the key block", head().Chunk(2, {{1, 5}}, 1), "curve keys past the key block"},
      {"mask past the key block", head().Chunk(2, {{0xff, 2}}, 1), "a curve's mask reaches past the key block"},
      {"mask without a first key", head().Chunk(2, {{2, 2}}, 1), "a curve's mask reaches past the key block"},
      {"negative key count", head().Chunk(2, {{1, -1}}, 1), "curve keys past the key block"},
      {"a chunk of no nodes", head().Int(0), "assert"},
      {"a negative chunk count", Stream().Int(0).Float(20).Int(-1), "count -1 out of range"},
      {"no chunks at all", Stream().Int(0).Float(20).Int(0), "count 0 out of range"},
      {"names past the end", Stream().Int(100).Int(0), "the animation ends early"},
      {"keys cut short", head().Int(1).Int(3).Int(0), "the animation ends early"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Save("STREAM.BIN", c.s.b);
    ZEFILE f = ZeFileOpen("STREAM.BIN", 0);
    if (c.message) {
      EXPECT_HALT(ZeAnimDataRead(f), c.message);
    } else {
      ZEANIMDATA* a = ZeAnimDataRead(f);
      ZEANIMTIME t;
      ZeAnimDataCalcTime(a, &t, 1.5f);
      EXPECT_EQ(a->chunks[0]->nlinked, 1);
      EXPECT_EQ(ZeAnimCurveCalcVal2(a->chunks[0]->sets[0]->curves[0], &t), 0.5f);  // halfway from 0 to 1
      ZeAnimDataDestroy(a);
    }
    ZeFileClose(f);
  }
}
