#include "zefile_testutil.h"

#include <cstring>

namespace {

using Blocks = FileTest;

constexpr int ROOT = ZeBlkId('R', 'O', 'O', 'T');
constexpr int KIDA = ZeBlkId('K', 'I', 'D', 'A');
constexpr int KIDB = ZeBlkId('K', 'I', 'D', 'B');

// Hand-made block bytes: id, size, contents.
void Put(std::vector<uint8_t>* v, int x) {
  for (int k = 0; k < 4; k++) v->push_back(uint8_t(uint32_t(x) >> (8 * k)));
}
std::vector<uint8_t> Block(int id, int size, const std::vector<uint8_t>& contents) {
  std::vector<uint8_t> v;
  Put(&v, id);
  Put(&v, size);
  v.insert(v.end(), contents.begin(), contents.end());
  return v;
}

// The bytes as a memory file in EE memory.
struct MemFile {
  EeBuf buf;
  ZEFILE h;
  explicit MemFile(const std::vector<uint8_t>& bytes) : buf(bytes.size()) {
    memcpy(buf.p, bytes.data(), bytes.size());
    h = ZeMemFileOpen(buf.p, int(bytes.size()), 0);
  }
  ~MemFile() { ZeFileClose(h); }
};

// Reads a tree with the loop idiom; returns the ids met, nested in brackets.
std::string ReadTree(ZEFILE f, int depth = 0) {
  std::string s;
  while (int id = ZeFileBeginBlkRead(f, 0)) {
    s += std::string(reinterpret_cast<char*>(&id), 4);
    if (depth < 4 && id != KIDB) s += "[" + ReadTree(f, depth + 1) + "]";
    ZeFileEndBlkRead(f);
  }
  return s;
}

}  // namespace

TEST_F(Blocks, WrittenBlocksArePaddedToSixteenAndReadBack) {
  ZEFILE w = ZeFileOpen("tree.blk", 1);
  ZeFileBeginBlkWrite(w, ROOT, 0);
  ZeFileBeginBlkWrite(w, KIDA, 0);
  ZeFileWrite(w, "12345", 5);  // 8 + 5 + 3 padding
  ZeFileEndBlkWrite(w);
  ZeFileBeginBlkWrite(w, KIDB, 1);
  ZeFileWrite(w, "12345678", 8);  // exactly 16: no padding
  ZeFileEndBlkWrite(w);
  ZeFileBeginBlkWrite(w, KIDA, 0);
  ZeFileBeginBlkWrite(w, KIDB, 0);
  ZeFileEndBlkWrite(w);
  ZeFileEndBlkWrite(w);
  ZeFileEndBlkWrite(w);
  ZeFileClose(w);
  std::string bytes = HostFile("TREE.BLK");
  // ROOT: 8 + 16 + 16 + (8 + 16 = 24, padded to 32) = 72, padded to 80.
  ASSERT_EQ(bytes.size(), 80u);
  int sizes[4];
  memcpy(&sizes[0], bytes.data() + 4, 4);
  memcpy(&sizes[1], bytes.data() + 12, 4);
  memcpy(&sizes[2], bytes.data() + 28, 4);
  memcpy(&sizes[3], bytes.data() + 44, 4);
  EXPECT_EQ(sizes[0], 80);
  EXPECT_EQ(sizes[1], 16);
  EXPECT_EQ(sizes[2], -16) << "the negative flag";
  EXPECT_EQ(sizes[3], 32);

  // The root and the last KIDA hold only blocks: their last 8 bytes are
  // padding, which the loop takes as the end.
  ZEFILE r = ZeFileOpen("tree.blk", 0);
  ASSERT_EQ(ZeFileBeginBlkRead(r, ROOT), ROOT);
  EXPECT_EQ(ZeFileGetBlkSize(), 80);
  EXPECT_EQ(ReadTree(r), "KIDA[]KIDBKIDA[KIDB]");
  ZeFileEndBlkRead(r);
  EXPECT_EQ(ZeFilePos(r), 80);
  ZeFileClose(r);
}

TEST_F(Blocks, EndBlkReadSkipsWhatWasNotReadAndMovesBackWhatWasOverRead) {
  std::vector<uint8_t> inner(56, 'x');
  std::vector<uint8_t> kid = Block(KIDA, 64, inner);
  std::vector<uint8_t> after = Block(KIDB, 16, std::vector<uint8_t>(8, 'y'));
  kid.insert(kid.end(), after.begin(), after.end());
  MemFile m(Block(ROOT, 8 + 80, kid));
  errmsg_disabled = 0;
  ConsoleCaptureScope capture;
  ASSERT_EQ(ZeFileBeginBlkRead(m.h, ROOT), ROOT);
  ASSERT_EQ(ZeFileBeginBlkRead(m.h, KIDA), KIDA);
  EeBuf out(80);
  ZeFileRead(m.h, out.p, 4);
  ZeFileEndBlkRead(m.h);
  EXPECT_EQ(ZeFilePos(m.h), 72);
  EXPECT_EQ(capture.text().find("read past end"), std::string::npos);
  ZeFileSeek(m.h, 8, 0);
  ASSERT_EQ(ZeFileBeginBlkRead(m.h, KIDA), KIDA);
  ZeFileRead(m.h, out.p, 70);
  ZeFileEndBlkRead(m.h);
  EXPECT_EQ(ZeFilePos(m.h), 72);
  EXPECT_NE(capture.text().find("ZeFileendBlockRead : read past end of block"), std::string::npos);
  EXPECT_EQ(ZeFileBeginBlkRead(m.h, 0), KIDB);
  ZeFileEndBlkRead(m.h);
  EXPECT_EQ(ZeFileBeginBlkRead(m.h, 0), 0);
  ZeFileEndBlkRead(m.h);
}

TEST_F(Blocks, AnEmptyEnclosingBlockIsExhaustedAtOnce) {
  MemFile m(Block(ROOT, -8, {}));
  ASSERT_EQ(ZeFileBeginBlkRead(m.h, ROOT), ROOT);
  EXPECT_EQ(ZeFileGetBlkSize(), 8);
  EXPECT_EQ(ZeFileBeginBlkRead(m.h, 0), 0);
  ZeFileEndBlkRead(m.h);
}

TEST_F(Blocks, AHeaderOnlyLastChildIsReturnedAndPaddingIsNot) {
  constexpr int EMPT = ZeBlkId('E', 'M', 'P', 'T');
  const std::vector<uint8_t> fields(16, 'f');
  auto tail = [&](int id, int size, size_t pad) {
    std::vector<uint8_t> v = fields;
    Put(&v, id);
    Put(&v, size);
    v.resize(v.size() + pad, 0);
    return v;
  };
  std::vector<uint8_t> seven = fields;
  seven.resize(fields.size() + 7, 'p');
  // ROOT: 8 header, 16 bytes of fields, then 8 to 15 bytes that are a
  // header-only block (size 8, either sign) or padding.
  struct Case { const char* what; std::vector<uint8_t> rest; const char* tree; } cases[] = {
      {"EMPT of size 8 ends the block", tail(EMPT, 8, 0), "EMPT[]"},
      {"EMPT of size -8", tail(EMPT, -8, 0), "EMPT[]"},
      {"EMPT then 4 bytes of padding", tail(EMPT, 8, 4), "EMPT[]"},
      {"8 zero bytes", tail(0, 0, 0), ""},
      {"no id", tail(0, 8, 0), ""},
      {"a size other than 8", tail(EMPT, 16, 0), ""},
      {"a size other than 8, padded", tail(EMPT, 32, 7), ""},
      {"fewer than 8 bytes", seven, ""},
  };
  for (const Case& c : cases) {
    MemFile m(Block(ROOT, int(8 + c.rest.size()), c.rest));
    ASSERT_EQ(ZeFileBeginBlkRead(m.h, ROOT), ROOT) << c.what;
    EeBuf out(16);
    ZeFileRead(m.h, out.p, 16);
    EXPECT_EQ(ReadTree(m.h), c.tree) << c.what;
    ZeFileEndBlkRead(m.h);
    EXPECT_EQ(ZeFilePos(m.h), int(8 + c.rest.size())) << c.what;
    ZeFileBlkReset();
  }
}

TEST_F(Blocks, DamagedBlocksAreFatal) {
  struct Case { const char* what; std::vector<uint8_t> bytes; int expect; const char* message; } cases[] = {
      {"wrong id", Block(KIDA, 16, std::vector<uint8_t>(8)), ROOT, "ZeFileBeginBlkRead : Block header mismatch!"},
      {"size 0", Block(ROOT, 0, std::vector<uint8_t>(8)), 0, "damaged block"},
      {"size 4", Block(ROOT, 4, std::vector<uint8_t>(8)), 0, "damaged block"},
      {"size INT_MIN", Block(ROOT, int(0x80000000), std::vector<uint8_t>(8)), 0, "damaged block"},
      {"id 0", Block(0, 16, std::vector<uint8_t>(8)), 0, "damaged block"},
      {"truncated header", {'R', 'O', 'O', 'T', 16}, 0, "truncated block header"},
  };
  for (const Case& c : cases) {
    MemFile m(c.bytes);
    EXPECT_HALT(ZeFileBeginBlkRead(m.h, c.expect), c.message);
    ZeFileBlkReset();
  }
  // Children: one running past its parent, one too small, a parent whose
  // declared size runs past the file.
  std::vector<uint8_t> big = Block(KIDA, 64, std::vector<uint8_t>(8));
  std::vector<uint8_t> small = Block(KIDA, 6, std::vector<uint8_t>(8));
  struct Kid { std::vector<uint8_t> bytes; const char* message; } kids[] = {
      {Block(ROOT, 32, big), "runs past its parent"},
      {Block(ROOT, 32, small), "damaged block"},
      {Block(ROOT, 64, std::vector<uint8_t>(8)), "damaged block"},
  };
  for (const Kid& k : kids) {
    std::vector<uint8_t> bytes = k.bytes;
    bytes.resize(std::max<size_t>(bytes.size(), 32), 0);
    MemFile m(bytes);
    ASSERT_EQ(ZeFileBeginBlkRead(m.h, ROOT), ROOT);
    EXPECT_HALT(ReadTree(m.h), k.message);
    ZeFileBlkReset();
  }
  EXPECT_HALT(ZeFileEndBlkRead(0), "no block open");
}

TEST_F(Blocks, AlignWritesFillerBytes) {
  ZEFILE w = ZeFileOpen("align.bin", 1);
  ZeFileWrite(w, std::string(0x23, 'a').data(), 0x23);
  EXPECT_EQ(ZeFileAlign(w, 15), 13);
  EXPECT_EQ(ZeFileAlign(w, 15), 0);
  ZeFileClose(w);
  std::string bytes = HostFile("ALIGN.BIN");
  ASSERT_EQ(bytes.size(), 0x30u);
  EXPECT_EQ(bytes.substr(0x23), std::string(13, char(0xFE)));
}

namespace {
struct Rec {
  int value;
  EePtr<Rec> next;
  EePtr<Rec> other;
};
static_assert(sizeof(Rec) == 12);
}  // namespace

TEST_F(Blocks, SavedPointersArePatchedAndFixedBackIntoAddresses) {
  // a -> b (written after a), b -> a (written before b), c -> never saved,
  // a.other -> c, which is set twice (the later position counts).
  EeBuf mem(sizeof(Rec) * 4, 0);
  Rec* a = reinterpret_cast<Rec*>(mem.p);
  Rec* b = a + 1;
  Rec* c = a + 2;
  Rec* lost = a + 3;
  *a = {1, b, c};
  *b = {2, a, lost};
  *c = {3, nullptr, nullptr};
  ZeFileInitAddress(16);
  ZEFILE w = ZeFileOpen("web.bin", 1);
  ZeFileSetAddress(w, c);
  ZeFileWriteInt(w, 999);  // a stale copy of c, superseded below
  ZeFileWriteInt(w, 0);
  ZeFileWriteInt(w, 0);
  for (Rec* r : {a, b, c}) {
    ZeFileSetAddress(w, r);
    ZeFileWriteInt(w, r->value);
    ZeFileWriteAddress(w, r->next);
    ZeFileWriteAddress(w, r->other);
  }
  ZeFilePatchAddress(w);
  EXPECT_EQ(ZeFilePos(w), 48);
  ZeFileClose(w);
  ZeFileTidyAddress();

  EeBuf loaded(48);
  ASSERT_EQ(ZeFileLoadBuffer("web.bin", loaded.p, 48), 48);
  Rec* la = reinterpret_cast<Rec*>(loaded.p + 12);
  Rec* lb = la + 1;
  Rec* lc = la + 2;
  for (Rec* r : {la, lb, lc}) {
    ZeFileFixAddress(&r->next);
    ZeFileFixAddress(&r->other);
  }
  EXPECT_EQ(la->next.get(), lb);
  EXPECT_EQ(la->other.get(), lc);
  EXPECT_EQ(lb->next.get(), la);
  EXPECT_EQ(lb->other.get(), nullptr) << "a target never written stays null";
  EXPECT_EQ(lc->next.get(), nullptr);
  EXPECT_EQ(lc->value, 3);

  ZeFileInitAddress(1);
  ZEFILE w2 = ZeFileOpen("full.bin", 1);
  ZeFileWriteAddress(w2, a);
  EXPECT_HALT(ZeFileWriteAddress(w2, b), "ZeFileWriteAddress:- Need to expand MAX_FILE_ADDRESS");
  ZeFileSetAddress(w2, a);
  ZeFileSetAddress(w2, a);  // the same pointer again replaces its entry
  EXPECT_HALT(ZeFileSetAddress(w2, b), "ZeFileSetAddress:- Need to expand MAX_FILE_ADDRESS");
  ZeFileClose(w2);
  ZeFileTidyAddress();
}
