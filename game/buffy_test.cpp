#include "game.h"
#include "platform_test.h"

#include <cstring>
#include <vector>

namespace {

// A small level buffer: 1 MB, with a world area of 64 KB at its start.
struct Buffy : testing::Test {
  char* base = nullptr;
  void SetUp() override {
    MainResetSettings();
    LEVELBUFFERSIZE = 0x100000;
    BuffyInit();
    base = bigbuffer->block_start;
    bigbuffer->world_top = base + 0x10000;
    events.clear();
  }
  void TearDown() override { BuffyClose(); }

  struct Event {
    int owner;
    int index;
    int event;
  };
  static inline std::vector<Event> events;
  static void Owner(BuffyDesc* d, int event, void* data) {
    events.push_back({int(reinterpret_cast<intptr_t>(data)), d->index, event});
  }
  static void* Who(int n) { return reinterpret_cast<void*>(intptr_t(n)); }
  BuffyDesc* Take(int size, int type, int owner) { return BuffyAllocate(size, type, Owner, Who(owner)); }
  uint64_t Off(const char* p) const { return uint64_t(p - base); }
};

}  // namespace

TEST_F(Buffy, FreeSlotLocksBeforeReturningAndRoundsTo128) {
  BuffyDesc* d = Take(1, BUFFY_LOW, 7);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->size, 128u);
  EXPECT_EQ(d->lockstate, BUFFY_LOCKED);
  EXPECT_EQ(d->start.get(), base + 0x10000) << "LOW starts at the world top";
  EXPECT_EQ(d->current.get(), d->start.get());
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].owner, 7);
  EXPECT_EQ(events[0].event, 1);
  EXPECT_EQ(d->lockcount, 1);
}

// Automatic SUB beside LOW and HI: above LOW when HI is not larger, else
// below HI.
TEST_F(Buffy, AutomaticSubGoesBesideTheLargerOfLowAndHi) {
  struct Case {
    int low, hi;
    bool aboveLow;
  } cases[] = {{0x20000, 0x10000, true}, {0x20000, 0x20000, true}, {0x10000, 0x20000, false}};
  for (const Case& c : cases) {
    BuffyReset();
    bigbuffer->world_top = base + 0x10000;
    BuffyDesc* low = Take(c.low, BUFFY_LOW, 1);
    BuffyDesc* hi = Take(c.hi, BUFFY_HIGH, 2);
    BuffyDesc* sub = Take(0x8000, BUFFY_SUB, 3);
    ASSERT_EQ(sub->lockstate, BUFFY_LOCKED);
    EXPECT_EQ(hi->end.get(), bigbuffer->block_end.get());
    if (c.aboveLow) EXPECT_EQ(sub->start.get(), low->end.get()) << c.low << " " << c.hi;
    else EXPECT_EQ(sub->end.get(), hi->start.get()) << c.low << " " << c.hi;
  }
  // SUB alone goes to the top; with LOW only, right above LOW.
  BuffyReset();
  bigbuffer->world_top = base + 0x10000;
  EXPECT_EQ(Take(0x8000, BUFFY_SUB, 3)->end.get(), bigbuffer->block_end.get());
}

// SUBAT types as the universe makes them: the offset with its low 8 bits
// cleared, plus 8.
TEST_F(Buffy, SubAtOffsetAndInsideLow) {
  BuffyDesc* sub = Take(0x8000, 0x40000 + BUFFY_SUBAT, 1);
  ASSERT_EQ(sub->lockstate, BUFFY_LOCKED);
  EXPECT_EQ(Off(sub->start), 0x10000u + 0x40000u);
  BuffyUnlock(sub);
  BuffyRelease(sub);
  // With LOW holding 0x80000 bytes, an offset inside LOW does not fit: the
  // request stays pending and nobody hears event 1.
  Take(0x80000, BUFFY_LOW, 2);
  events.clear();
  ConsoleCaptureScope console;
  sub = Take(0x8000, 0x40000 + BUFFY_SUBAT, 3);
  EXPECT_EQ(sub->lockstate, BUFFY_FREE);
  EXPECT_TRUE(events.empty());
  EXPECT_NE(console.text().find("insufficent buffer space"), std::string::npos);
  // "BUFFER SUBAT 1048576" with LOW holding the first 1 MB above the world
  // top: SUB locks right after LOW.
  BuffyClose();
  LEVELBUFFERSIZE = 0x400000;
  BuffyInit();
  base = bigbuffer->block_start;
  bigbuffer->world_top = base + 0x10000;
  BuffyDesc* low = Take(0x100000, BUFFY_LOW, 4);
  sub = Take(0x8000, (1048576 & ~0xFF) + BUFFY_SUBAT, 5);
  ASSERT_EQ(sub->lockstate, BUFFY_LOCKED);
  EXPECT_EQ(sub->start.get(), low->end.get());
}

TEST_F(Buffy, UnlockedSlotAsksItsOwnerAndHandsOverOnRelease) {
  BuffyDesc* d = Take(0x1000, BUFFY_LOW, 1);
  memset(d->start, 0x11, 0x1000);
  strcpy(d->username, "hometown");
  const int key = BuffyUnlock(d);
  EXPECT_EQ(key, 1);
  events.clear();
  BuffyDesc* again = Take(0x2000, BUFFY_LOW, 2);
  EXPECT_EQ(again, d) << "returned at once";
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].owner, 1) << "the owner is asked to give it up";
  EXPECT_EQ(events[0].event, 0);
  EXPECT_EQ(d->lockstate, BUFFY_UNLOCKED);
  char* oldStart = d->start;
  BuffyRelease(d);
  for (int i = 0; i < 0x1000; i++) ASSERT_EQ(uint8_t(oldStart[i]), 0xFE) << i;
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].owner, 2) << "the waiting request gets the slot";
  EXPECT_EQ(events[1].event, 1);
  EXPECT_EQ(d->lockstate, BUFFY_LOCKED);
  EXPECT_EQ(d->size, 0x2000u);
  EXPECT_EQ(d->username[0], 0) << "the user name goes with the release";
  EXPECT_EQ(d->lockcount, 2);
}

TEST_F(Buffy, RelockKeys) {
  BuffyDesc* d = Take(0x1000, BUFFY_HIGH, 1);
  const int key = BuffyUnlock(d);
  BuffyRelock(d, key);
  EXPECT_EQ(d->lockstate, BUFFY_LOCKED);
  {
    ConsoleCaptureScope console;
    BuffyRelock(d, key);  // not unlocked: a message only
    EXPECT_NE(console.text().find("BuffyRelock - Buffer is not unlocked"), std::string::npos);
  }
  // Released and locked again by someone else meanwhile: the old key is stale.
  BuffyUnlock(d);
  BuffyRelease(d);
  Take(0x1000, BUFFY_HIGH, 2);
  BuffyUnlock(d);
  EXPECT_HALT(BuffyRelock(d, key), "BuffyRelock - Buffer has been externally locked and cannot be relocked");
}

TEST_F(Buffy, ProtocolMisuseIsFatal) {
  BuffyDesc* d = Take(0x1000, BUFFY_LOW, 1);
  EXPECT_HALT(BuffyRelease(d), "BuffyRelease - Buffer is not unlocked");
  EXPECT_HALT(BuffyLock(d), "BuffyLock - buffer not free");
}

TEST_F(Buffy, SlotRules) {
  EXPECT_EQ(BuffyFindSlot(BUFFY_ANY), 0);
  Take(0x1000, BUFFY_LOW, 1);
  EXPECT_EQ(BuffyFindSlot(BUFFY_LOW), -1) << "locked";
  EXPECT_EQ(BuffyFindSlot(BUFFY_MAIN), -1);
  EXPECT_EQ(BuffyFindSlot(BUFFY_ANY), 1);
  EXPECT_EQ(BuffyFindSlot(BUFFY_SUBHIGH), 1);
  EXPECT_EQ(BuffyFindSlot(BUFFY_SUBLOW), 1);
  EXPECT_EQ(BuffyFindSlot(BUFFY_SUBAT | 0x100), 1);
  EXPECT_EQ(BuffyFindSlot(3), -1);
  EXPECT_EQ(BuffyFindSlot(9), -1);
  BuffyUnlock(&bigbuffer->desc[0]);
  EXPECT_EQ(BuffyFindSlot(BUFFY_MAIN), 0) << "unlocked";
  Take(0x1000, BUFFY_SUB, 2);
  Take(0x1000, BUFFY_HIGH, 3);
  EXPECT_EQ(BuffyFindSlot(BUFFY_ANY), 0) << "none free: the first unlocked";
  EXPECT_EQ(BuffyAllocate(16, 3, nullptr, nullptr), nullptr);
  // SUBHIGH and SUBLOW place at the top and the bottom.
  BuffyReset();
  bigbuffer->world_top = base + 0x10000;
  EXPECT_EQ(Take(0x1000, BUFFY_SUBLOW, 1)->start.get(), base + 0x10000);
  BuffyReset();
  bigbuffer->world_top = base + 0x10000;
  EXPECT_EQ(Take(0x1000, BUFFY_SUBHIGH, 1)->end.get(), bigbuffer->block_end.get());
}

// LOW asks for more than fits beside SUB; SUB's owner is asked, releases,
// and LOW gets its buffer. The steal is tried once per request.
TEST_F(Buffy, StealsTheSubSlotOnce) {
  BuffyDesc* sub = Take(0x80000, BUFFY_SUBLOW, 1);
  ASSERT_EQ(Off(sub->start), 0x10000u);
  BuffyUnlock(sub);
  events.clear();
  ConsoleCaptureScope console;
  BuffyDesc* low = Take(0x80000, BUFFY_LOW | BUFFY_STEAL, 2);
  EXPECT_EQ(low->lockstate, BUFFY_FREE) << "waits for the steal";
  EXPECT_EQ(low->flags & BUFFY_STEAL, 0u) << "the steal is used up";
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].owner, 1);
  EXPECT_EQ(events[0].event, 0);
  BuffyRelease(sub);
  EXPECT_EQ(sub->lockstate, BUFFY_FREE) << "the steal code gives SUB back at once";
  EXPECT_EQ(low->lockstate, BUFFY_LOCKED);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].owner, 2);
  EXPECT_EQ(events[1].event, 1);
  EXPECT_NE(console.text().find("attempting to steal sub buffer"), std::string::npos);
  EXPECT_NE(console.text().find("Successfully stolen sub buffer"), std::string::npos);

  // Without the flag nothing is stolen.
  BuffyReset();
  bigbuffer->world_top = base + 0x10000;
  sub = Take(0x80000, BUFFY_SUBLOW, 1);
  BuffyUnlock(sub);
  events.clear();
  low = Take(0x80000, BUFFY_LOW, 2);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(sub->lockstate, BUFFY_UNLOCKED);
}

// A request larger than the whole area above the world top would stay
// pending for ever: it stops with the slot and owner named.
TEST_F(Buffy, RequestThatCanNeverFitIsFatal) {
  EXPECT_HALT(Take(0x100000, BUFFY_LOW, 1), "can never fit");
  BuffyReset();
  bigbuffer->world_top = base + 0x10000;
  EXPECT_HALT(Take(0x7fffffff, BUFFY_HIGH, 1), "buffer HI");
  BuffyReset();
  bigbuffer->world_top = base + 0x10000;
  EXPECT_HALT(Take(0x1000, 0xF0000 + BUFFY_SUBAT, 1), "buffer SUB");
  // A size near the top of the range does not wrap when rounded.
  BuffyReset();
  bigbuffer->world_top = base + 0x10000;
  EXPECT_HALT(Take(-1, BUFFY_LOW, 1), "can never fit");
}

TEST_F(Buffy, ResetFreesEverythingAndKeepsIndices) {
  Take(0x1000, BUFFY_LOW, 1);
  Take(0x1000, BUFFY_HIGH, 2);
  BuffyReset();
  EXPECT_EQ(bigbuffer->permanent_top.get(), base);
  EXPECT_EQ(bigbuffer->world_top.get(), base);
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(bigbuffer->desc[i].lockstate, BUFFY_FREE);
    EXPECT_EQ(bigbuffer->desc[i].index, i);
  }
}
