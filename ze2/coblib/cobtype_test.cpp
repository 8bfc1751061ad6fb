// Shared instance pools and character types: sharing by path within one
// buffer, the pool limits and positions, relocation and its room check,
// owners, adoption and release.
#include "coblib_test.h"

namespace {

using Inst = Chars;

constexpr const char* kRest = "chars\\torva\\rest.ghg";

TEST_F(Inst, SameBufferSharesAnyCaseOtherBufferGetsItsOwnCopy) {
  char *endA, *endB;
  char* a = OwnerBuffer(&endA);
  char* b = OwnerBuffer(&endB);
  char *posA = a, *posB = b;
  ZEHGOBJ* first = InstHgoLoad(kRest, &posA, endA);
  ASSERT_NE(first, nullptr);
  char* after = posA;
  ZEHGOBJ* again = InstHgoLoad("CHARS\\Torva\\REST.GHG", &posA, endA);
  EXPECT_EQ(again, first);
  EXPECT_EQ(posA, after) << "a shared load reads nothing";
  // Another owner's buffer: sharing A's copy would dangle once A goes.
  ZEHGOBJ* other = InstHgoLoad(kRest, &posB, endB);
  ASSERT_NE(other, nullptr);
  EXPECT_NE(other, first);
  EXPECT_GE(reinterpret_cast<char*>(other), b);
  EXPECT_LT(reinterpret_cast<char*>(other), endB);
  EXPECT_EQ(insthgo_pool->used, 2);
  // Destroy: count 2 leaves it; the last use prints and frees.
  InstHgoDestroy(first);
  EXPECT_EQ(insthgo_pool->used, 2);
  ConsoleCaptureScope console;
  errmsg_disabled = 0;
  InstHgoDestroy(first);
  EXPECT_NE(console.text().find("InstHgoDestroy: Removing chars\\torva\\rest.ghg"), std::string::npos);
  EXPECT_EQ(insthgo_pool->used, 1);
  InstHgoDestroy(first);  // in no entry: ignored
  EXPECT_EQ(insthgo_pool->used, 1);
}

TEST_F(Inst, The33rdModelIsRefusedWithoutMovingThePosition) {
  const std::vector<uint8_t> bytes = Get("CHARS/TORVA/REST.GHG");
  char* end;
  char* buf = OwnerBuffer(&end, 33 * 20000 + 4096);
  char* pos = buf;
  for (int i = 0; i < 32; i++) {
    const std::string name = "M" + std::to_string(i) + ".GHG";
    Put(name.c_str(), bytes);
    ASSERT_NE(InstHgoLoad(name.c_str(), &pos, end), nullptr) << i;
  }
  Put("M32.GHG", bytes);
  char* before = pos;
  EXPECT_EQ(InstHgoLoad("M32.GHG", &pos, end), nullptr);
  EXPECT_EQ(pos, before);
  // An unreadable file gives its entry back.
  InstHgoDestroy(InstHgoLoad("M0.GHG", &pos, end));
  EXPECT_EQ(insthgo_pool->used, 32);
  InstHgoDestroy(InstHgoLoad("M0.GHG", &pos, end));
  InstHgoDestroy(InstHgoLoad("M0.GHG", &pos, end));
  char* m1 = pos;
  ZEHGOBJ* one = InstHgoLoad("M1.GHG", &pos, end);
  EXPECT_EQ(pos, m1);
  InstHgoDestroy(one);
  InstHgoDestroy(one);
  EXPECT_EQ(insthgo_pool->used, 31);
  EXPECT_EQ(InstHgoLoad("NONE.GHG", &pos, end), nullptr);
  EXPECT_EQ(insthgo_pool->used, 31);
}

TEST_F(Inst, AnimationsStartAt64BytesAndRelocationKeepsCountAndPath) {
  Animation("IDLE.ANI", 30);
  char *endA, *endB;
  char* a = OwnerBuffer(&endA);
  char* b = OwnerBuffer(&endB);
  char* pos = a + 16;  // 16-aligned, not 64
  ZEANIMDATA2* anim = InstAnimData2Load("chars\\torva\\idle.ani", &pos, endA);
  ASSERT_NE(anim, nullptr);
  const auto* e = static_cast<INSTANIM*>(ZeLstGetNext(instanim_pool, nullptr));
  char* at64 = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(a + 16) + 63) & ~uintptr_t(63));
  EXPECT_EQ(e->image.get(), at64);
  EXPECT_EQ(InstAnimData2Load("chars\\torva\\IDLE.ANI", &pos, endA), anim);
  EXPECT_EQ(e->count, 2);
  // Shared in A: moving it for one user leaves A's copy to the other.
  char* posB = b;
  ZEANIMDATA2* moved = InstAnimData2Relocate(anim, &posB, endB);
  EXPECT_GT(posB, b);
  EXPECT_EQ(instanim_pool->used, 2);
  int counts = 0;
  for (auto* x = static_cast<INSTANIM*>(ZeLstGetNext(instanim_pool, nullptr)); x;
       x = static_cast<INSTANIM*>(ZeLstGetNext(instanim_pool, x))) {
    EXPECT_STREQ(x->name, "chars\\torva\\idle.ani");
    counts += x->count;
  }
  EXPECT_EQ(counts, 2);
  EXPECT_EQ(moved->end, anim->end);
  // Sole user: the entry itself moves; the old pointer names nothing then.
  InstAnimData2Destroy(anim);
  char* posA2 = pos;
  ZEANIMDATA2* back = InstAnimData2Relocate(moved, &posA2, endA);
  EXPECT_EQ(instanim_pool->used, 1);
  InstAnimData2Destroy(moved);
  EXPECT_EQ(instanim_pool->used, 1);
  InstAnimData2Destroy(back);
  EXPECT_EQ(instanim_pool->used, 0);
}

TEST_F(Inst, RelocationWithoutRoomStopsBeforeCopying) {
  Animation("IDLE.ANI", 30);
  char *end, *smallEnd;
  char* buf = OwnerBuffer(&end);
  char* small = OwnerBuffer(&smallEnd, 4096);
  char* pos = buf;
  ZEHGOBJ* model = InstHgoLoad(kRest, &pos, end);
  ZEANIMDATA2* anim = InstAnimData2Load("chars\\torva\\idle.ani", &pos, end);
  ASSERT_TRUE(model && anim);
  char* to = small + 4096 - 64;
  EXPECT_HALT(InstHgoRelocate(model, &to, smallEnd), "Insufficient buffer space to relocate hgobj chars\\torva\\rest.ghg");
  char* to2 = small + 4096 - 64;
  EXPECT_HALT(InstAnimData2Relocate(anim, &to2, smallEnd), "Insufficient buffer space to relocate animdata");
  for (int i = 0; i < 4096; i++) ASSERT_EQ(small[i], 0) << "nothing copied, byte " << i;
  EXPECT_HALT(InstAnimData2Relocate(reinterpret_cast<ZEANIMDATA2*>(buf), &to2, smallEnd),
              "could not find animdata instance");
}

TEST_F(Inst, CloseReleasesUsedModelsAndASecondCloseDoesNothing) {
  char* end;
  char* pos = OwnerBuffer(&end);
  ASSERT_NE(InstHgoLoad(kRest, &pos, end), nullptr);
  InstClose();
  EXPECT_EQ(insthgo_pool, nullptr);
  EXPECT_EQ(instanim_pool, nullptr);
  InstClose();
  InstInit();
}

// ---- character types --------------------------------------------------------------------------

const char* const kOneAnim[] = {"torva\\rest.ghg", "torva\\idle.ani", nullptr, nullptr};
const char* const kTwoAnims[] = {"torva\\rest.ghg", "torva\\idle.ani", "torva\\idle2.ani", "torva\\walk.ani", nullptr,
                                 nullptr};
const char* const kModelOnly[] = {"torva\\rest.ghg", nullptr};
const char* const kNoModel[] = {"torva\\none.ghg", nullptr};

// The game's rows and name lists, in EE memory as the game's tables are.
struct Rows {
  EePtr<const char> lists[5][140];
  int used[5];
  COBANIMPARAM tab[70];
  COBINFO info[5];
  void Push(int n, const char* name) { lists[n][used[n]++] = name; }
  void List(int n, const char* const* names, int count) {
    for (int i = 0; i < count; i++) Push(n, names[i]);
  }
};

struct Types : Chars {
  Rows* rows = nullptr;
  static int ownerA, ownerB;  // owner handles: their addresses
  static char *posA, *posB;
  static char *endA, *endB;
  static int refuse;

  static int Adopt(void* owner, EePtr<char>** position, char** end) {
    if (refuse) return 0;
    static EePtr<char> cursor;
    cursor = posB;
    *position = &cursor;
    *end = endB;
    return 1;
  }

  void SetUp() override {
    Chars::SetUp();
    Animation("IDLE.ANI", 30);
    Animation("IDLE2.ANI", 30);
    Animation("WALK.ANI", 30);
    rows = static_cast<Rows*>(ZeMemAlloc(sizeof(Rows)));
    memset(rows, 0, sizeof(Rows));
    rows->List(0, kOneAnim, 4);
    rows->List(1, kTwoAnims, 6);
    rows->List(2, kModelOnly, 2);
    rows->List(3, kNoModel, 2);
    for (int i = 0; i < 4; i++) {
      rows->info[i].anm = rows->lists[i];
      rows->info[i].tab = rows->tab;
    }
    rows->info[0].scale = 2.0f;
    rows->info[0].centreheight = 1.5f;
    rows->info[0].radius = 0.8f;
    char* a = OwnerBuffer(&endA);
    char* b = OwnerBuffer(&endB);
    posA = a, posB = b;
    refuse = 0;
    InitCobs(rows->info);
  }
  void TearDown() override {
    CloseCobs();
    ZeMemFree(rows);
    Chars::TearDown();
  }
  void ContextA() { AddCobTypeSetMemoryPointers(&posA, endA, &ownerA, Adopt, "level A"); }
  void ContextB() { AddCobTypeSetMemoryPointers(&posB, endB, &ownerB, Adopt, "level B"); }
};
char *Types::posA, *Types::posB, *Types::endA, *Types::endB;
int Types::ownerA, Types::ownerB;
int Types::refuse;

TEST_F(Types, LoadsTheRowIntoTheContextBuffer) {
  ContextA();
  char* start = posA;
  AddCobType(0);
  const COBTYPE& t = cobtypes[0];
  EXPECT_EQ(t.usecount, 1);
  EXPECT_EQ(active_cobtypes, 1);
  EXPECT_EQ(t.animcount, 1);
  EXPECT_NE(t.anims[0].get(), nullptr);
  EXPECT_EQ(t.anims2[0].get(), nullptr) << "a null second path loads nothing";
  EXPECT_EQ(t.scale.x, 2.0f);
  EXPECT_EQ(t.centre.y, 1.5f);
  EXPECT_EQ(t.owners[0].get(), &ownerA);
  EXPECT_STREQ(t.labels[0], "level A");
  EXPECT_GT(reinterpret_cast<char*>(t.hgobj.get()), start);
  EXPECT_LE(reinterpret_cast<char*>(t.anims[0].get()), posA);
  AddCobType(1);
  EXPECT_EQ(cobtypes[1].animcount, 2);
  EXPECT_NE(cobtypes[1].anims2[0].get(), nullptr);
  EXPECT_EQ(cobtypes[1].hgobj.get(), t.hgobj.get()) << "same path, same buffer: shared";
  AddCobType(2);
  EXPECT_EQ(cobtypes[2].animcount, 0);
  EXPECT_HALT(AddCobType(3), "unable to load creattype shape - chars\\torva\\none.ghg");
}

TEST_F(Types, OwnersAndAdoption) {
  // A then B: A's release hands the data to B.
  ContextA();
  AddCobType(0);
  AddCobType(0);
  EXPECT_EQ(cobtypes[0].usecount, 2);
  EXPECT_EQ(cobtypes[0].counts[0], 2);
  RemoveCobTypeEx(0, &ownerA);
  const EePtr<ZEHGOBJ> inA = cobtypes[0].hgobj;
  EXPECT_EQ(cobtypes[0].hgobj.addr, inA.addr);
  ContextB();
  char* bStart = posB;
  AddCobType(0);
  EXPECT_EQ(cobtypes[0].owners[1].get(), &ownerB);
  RemoveCobTypeEx(0, &ownerA);
  const COBTYPE& t = cobtypes[0];
  EXPECT_EQ(t.usecount, 1);
  EXPECT_EQ(t.owners[0].get(), &ownerB);
  EXPECT_EQ(t.counts[0], 1);
  EXPECT_EQ(t.owners[1].get(), nullptr);
  EXPECT_GE(reinterpret_cast<char*>(t.hgobj.get()), bStart);
  EXPECT_LT(reinterpret_cast<char*>(t.hgobj.get()), endB);
  EXPECT_GE(reinterpret_cast<char*>(t.anims[0].get()), bStart);
  RemoveCobTypeEx(0, &ownerB);
  EXPECT_EQ(cobtypes[0].usecount, 0);
  EXPECT_EQ(active_cobtypes, 0);
  EXPECT_EQ(insthgo_pool->used, 0);
  EXPECT_EQ(instanim_pool->used, 0);
}

TEST_F(Types, GlobalHolderAndOwnersWithoutAContext) {
  char* end;
  static char* global;
  global = OwnerBuffer(&end);
  AddCobTypeSetMemoryPointers(&global, end, nullptr, nullptr, "main");
  AddCobType(0);
  ContextA();
  AddCobType(0);
  RemoveCobTypeEx(0, &ownerA);  // the level's release only clears its slot
  EXPECT_EQ(cobtypes[0].owners[1].get(), nullptr);
  EXPECT_EQ(cobtypes[0].usecount, 1);
  AddCobType(0);
  EXPECT_HALT(RemoveCobTypeEx(0, nullptr), "cannot put a global cob (type 0) up for adoption");
  // No context buffer: only the use count moves, and the owner's release
  // finds no slot.
  CloseCobs();
  AddCobTypeSetMemoryPointers(&global, end, nullptr, nullptr, "main");
  AddCobType(0);
  AddCobTypeSetMemoryPointers(nullptr, nullptr, &ownerB, nullptr, "none");
  AddCobType(0);
  EXPECT_EQ(cobtypes[0].usecount, 2);
  EXPECT_EQ(cobtypes[0].counts[1], 0);
  RemoveCobTypeEx(0, &ownerB);
  EXPECT_EQ(cobtypes[0].usecount, 1);
  EXPECT_EQ(cobtypes[0].counts[0], 1);
}

TEST_F(Types, FaultsAndLimits) {
  ContextA();
  AddCobType(0);
  // Nobody willing.
  ContextB();
  AddCobType(0);
  refuse = 1;
  EXPECT_HALT(RemoveCobTypeEx(0, &ownerA), "unable to find willing adoptee for cob type 0");
  refuse = 0;
  CloseCobs();
  // The ninth owner.
  static int owners[8];
  ContextA();
  AddCobType(0);
  for (int i = 0; i < 7; i++) {
    AddCobTypeSetMemoryPointers(&posA, endA, &owners[i], nullptr, "o");
    AddCobType(0);
  }
  AddCobTypeSetMemoryPointers(&posA, endA, &owners[7], nullptr, "o");
  EXPECT_HALT(AddCobType(0), "Warning - cobtype owner array is full!");
  // CloseCobs releases a type of any use count at once.
  CloseCobs();
  ContextA();
  for (int i = 0; i < 5; i++) AddCobType(2);
  CloseCobs();
  EXPECT_EQ(cobtypes[2].usecount, 0);
  EXPECT_EQ(active_cobtypes, 0);
  ConsoleCaptureScope console;
  errmsg_disabled = 0;
  RemoveCobType(2);
  EXPECT_NE(console.text().find("Attempted to remove already released cobtype 2"), std::string::npos);
  // A row the table leaves empty loads nothing.
  rows->info[2].anm = nullptr;
  AddCobType(2);
  EXPECT_EQ(cobtypes[2].usecount, 0);
  EXPECT_EQ(active_cobtypes, 0);
  // Indices outside the table, and more than 64 animations.
  EXPECT_HALT(AddCobType(128), "out of range");
  EXPECT_HALT(AddCobType(-1), "out of range");
  rows->Push(4, "torva\\rest.ghg");
  for (int i = 0; i < 65; i++) {
    rows->Push(4, "torva\\idle.ani");
    rows->Push(4, nullptr);
  }
  rows->Push(4, nullptr);
  rows->info[4].anm = rows->lists[4];
  rows->info[4].tab = rows->tab;
  EXPECT_HALT(AddCobType(4), "cob type 4 (torva\\rest.ghg) has more than 64 animations");
}

}  // namespace
