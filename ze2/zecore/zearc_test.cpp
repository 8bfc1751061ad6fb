#include "zefile_testutil.h"
#include "zetools.h"

#include <cstring>
#include <functional>

namespace {

struct Archives : FileTest {
  std::vector<uint8_t> level = TestBytes(10000, 21, 10);
  std::vector<uint8_t> noise = TestBytes(3000, 22, 100);
  std::vector<uint8_t> small = TestBytes(500, 23, 10);

  // A tree with packed, plain and empty members, built by the tool.
  void BuildTree(const std::string& where, const std::string& archive) {
    Make(where + "/Data/Levels/level1.txt", level);
    Make(where + "/sys/noise.bin", noise);
    Make(where + "/small.txt", small);
    Make(where + "/empty.dat", "");
    std::string error;
    ArcBuildOptions options;
    options.pack = true;
    ASSERT_TRUE(ArcBuild(dir + "/" + where, dir + "/" + archive, options, &error)) << error;
  }
};

// An archive assembled by hand: files at the root, in the given order.
struct HandArc {
  struct F {
    std::string name;
    std::vector<uint8_t> data;
    int unpacked;
    int flags;
  };
  std::vector<F> files;

  static void Put32(std::vector<uint8_t>* v, int x) {
    for (int k = 0; k < 4; k++) v->push_back(uint8_t(uint32_t(x) >> (8 * k)));
  }
  static void Put16(std::vector<uint8_t>* v, int x) {
    v->push_back(uint8_t(x));
    v->push_back(uint8_t(x >> 8));
  }
  // Field offsets in the bytes.
  int N() const { return int(files.size()); }
  int EntryAt(int i) const { return 16 + 16 * i; }
  int NodeAt(int j) const { return 20 + 16 * N() + 8 * j; }
  int PoolSizeAt() const { return NodeAt(N() + 1); }

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> pool{0};
    std::vector<int> names;
    for (const F& f : files) {
      names.push_back(int(pool.size()));
      pool.insert(pool.end(), f.name.begin(), f.name.end());
      pool.push_back(0);
    }
    int dirSize = 8 + 16 * N() + 4 + 8 * (N() + 1) + 4 + int(pool.size());
    std::vector<int> offsets;
    int pos = (8 + dirSize + 2047) / 2048 * 2048;
    for (const F& f : files) {
      offsets.push_back(pos);
      pos += (int(f.data.size()) + 2047) / 2048 * 2048;
    }
    std::vector<uint8_t> v;
    Put32(&v, 8);
    Put32(&v, dirSize);
    Put32(&v, 1);
    Put32(&v, N());
    for (int i = 0; i < N(); i++) {
      Put32(&v, offsets[size_t(i)]);
      Put32(&v, int(files[size_t(i)].data.size()));
      Put32(&v, files[size_t(i)].unpacked);
      Put32(&v, files[size_t(i)].flags);
    }
    Put32(&v, N() + 1);
    Put16(&v, N() ? 1 : 0);
    Put16(&v, 0);
    Put32(&v, 0);
    for (int i = 0; i < N(); i++) {
      Put16(&v, -i);
      Put16(&v, i + 1 < N() ? i + 2 : 0);
      Put32(&v, names[size_t(i)]);
    }
    Put32(&v, int(pool.size()));
    v.insert(v.end(), pool.begin(), pool.end());
    for (int i = 0; i < N(); i++) {
      v.resize(size_t(offsets[size_t(i)]), 0);
      v.insert(v.end(), files[size_t(i)].data.begin(), files[size_t(i)].data.end());
    }
    v.resize(size_t(pos), 0);
    return v;
  }
};

void Poke(std::vector<uint8_t>* v, int at, int x) { memcpy(v->data() + at, &x, 4); }
void Poke16(std::vector<uint8_t>* v, int at, int16_t x) { memcpy(v->data() + at, &x, 2); }

}  // namespace

TEST_F(Archives, PathsAreFoundWithoutRegardToCaseAndPrefix) {
  BuildTree("tree", "world.dat");
  ZEDAT* dat = ZeDatOpen("world.dat", nullptr, nullptr);
  ASSERT_NE(dat, nullptr);
  EXPECT_EQ(dat->first, ARC_FORMAT_VERSION);
  EXPECT_EQ(dat->heap, 1);
  EXPECT_EQ(dat->sector, 0);
  int level1 = ZeDatFind(dat, "Data\\Levels\\level1.txt");
  int smallIdx = ZeDatFind(dat, "small.txt");
  ASSERT_GE(level1, 0);
  ASSERT_GE(smallIdx, 0);
  struct Case { const char* path; int index; } cases[] = {
      {"DATA\\LEVELS\\LEVEL1.TXT", level1}, {"data\\levels\\Level1.Txt", level1},
      {"Data\\\\Levels\\level1.txt", level1}, {"\\small.txt", smallIdx}, {"@dll\\small.txt", smallIdx},
      {"@syssmall.txt", smallIdx}, {"@loc\\data\\levels\\level1.txt", level1},
      {"Data", -1}, {"Data\\Levels", -1}, {"small.txt\\x", -1}, {"Data\\missing.txt", -1}, {"missing", -1},
      {"", -1}, {"\\", -1}, {"@dll", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(ZeDatFind(dat, c.path), c.index) << c.path;
  EXPECT_EQ(ZeDatFind(dat, (std::string(300, 'a')).c_str()), -1);
  int start = 0, size = 0;
  EXPECT_EQ(ZeDatGetFileInfo(dat, "small.txt", &start, &size), smallIdx);
  EXPECT_EQ(start, dat->files[smallIdx].offset) << "a byte offset off the disc";
  EXPECT_EQ(start % 2048, 0);
  EXPECT_EQ(size, dat->files[smallIdx].stored);
  EXPECT_EQ(ZeDatGetFileInfo(nullptr, "small.txt", &start, &size), -1);
  EXPECT_EQ(dat->files[level1].flags & 1, 1) << "packed";
  EXPECT_EQ(dat->files[ZeDatFind(dat, "sys\\noise.bin")].flags & 1, 0) << "noise does not pack";
  ZeDatClose(dat);
}

TEST_F(Archives, TheCurrentArchiveServesReadsAndLoadsButNotWrites) {
  BuildTree("tree", "world.dat");
  ZEDAT* dat = ZeDatOpen("world.dat", nullptr, nullptr);
  EXPECT_EQ(ZeDatSet(dat), nullptr);
  ZEFILE h = ZeFileOpen("sys\\noise.bin", 0);
  ASSERT_EQ(h, ZEFILE_DATFILE_BASE);
  EXPECT_EQ(ZeFileOpen("small.txt", 0), 0) << "one member of an archive at a time";
  EXPECT_EQ(ZeFileOpenSize(h), 3000);
  EeBuf out(20000);
  EXPECT_EQ(ZeFileRead(h, out.p, 100), 100);
  EXPECT_EQ(memcmp(out.p, noise.data(), 100), 0);
  EXPECT_EQ(ZeFilePos(h), 100);
  EXPECT_EQ(ZeFileSeek(h, 10, 2), 2990);
  EXPECT_EQ(ZeFileRead(h, out.p, 10), 10);
  EXPECT_EQ(memcmp(out.p, noise.data() + 2990, 10), 0);
  EXPECT_EQ(ZeFileSeek(h, -20, 1), 2980);
  EXPECT_EQ(ZeFileReadUnsignedInt(h),
            noise[2980] | noise[2981] << 8 | noise[2982] << 16 | uint32_t(noise[2983]) << 24);
  ZeFileClose(h);
  EXPECT_EQ(dat->member, 0);
  EXPECT_EQ(ZeFileOpen("empty.dat", 0), 0) << "a member of size 0";
  EXPECT_EQ(ZeFileOpen("small.txt", 3), 0) << "members open in mode 0 only";

  EXPECT_EQ(ZeFileSize("data\\levels\\level1.txt"), 10000) << "the unpacked size";
  EXPECT_EQ(ZeFileSize("missing.txt"), -1);
  EXPECT_EQ(ZeFileLoadBuffer("data\\levels\\level1.txt", out.p, 10256), 10000);
  EXPECT_EQ(memcmp(out.p, level.data(), level.size()), 0);
  EXPECT_EQ(ZeDatFileLoadBuffer(dat, "data\\levels\\level1.txt", out.p, 10100), 0);
  EXPECT_EQ(ZeFileLoadBuffer("data\\levels\\level1.txt", out.p, 10100), 0);
  EXPECT_EQ(ZeFileLoadBuffer("sys\\noise.bin", out.p, 3000), 3000);
  EXPECT_EQ(memcmp(out.p, noise.data(), noise.size()), 0);
  EXPECT_EQ(ZeFileLoadBuffer("sys\\noise.bin", out.p, 2999), 0);

  ZEFILE w = ZeFileOpen("saved.txt", 1);
  ASSERT_GE(w, 1);
  ASSERT_LE(w, 16) << "writes bypass the archive";
  ZeFileWriteString(w, "saved");
  ZeFileClose(w);
  ZEFILE a = ZeFileOpen("saved.txt", 2);
  ASSERT_GE(a, 1);
  ZeFileClose(a);
  EXPECT_EQ(HostFile("SAVED.TXT"), "saved");
  ZeDatClose(dat);
  EXPECT_EQ(ZeDatSet(nullptr), nullptr) << "closing the current archive makes none current";
}

TEST_F(Archives, AnArchiveCanLiveInTheCallersBuffer) {
  BuildTree("tree", "world.dat");
  EeBuf mem(8192, 0);
  char* cursor = reinterpret_cast<char*>(mem.p) + 3;
  int used = 0;
  ZEDAT* dat = ZeDatOpen("WORLD.DAT", &cursor, &used);
  ASSERT_NE(dat, nullptr);
  EXPECT_EQ(dat->heap, 0);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(dat), mem.p + 16) << "aligned to 16";
  int dirSize;
  memcpy(&dirSize, HostFile("world.dat").data() + 4, 4);
  EXPECT_EQ(used, 13 + 44 + dirSize);
  EXPECT_EQ(cursor, reinterpret_cast<char*>(mem.p) + 3 + used);
  EXPECT_GE(ZeDatFind(dat, "small.txt"), 0);
  ZeDatClose(dat);
  EXPECT_EQ(ZeDatOpen("missing.dat", &cursor, &used), nullptr);
}

TEST_F(Archives, OnTheDiscMembersAreReadBySectors) {
  std::filesystem::create_directories(dir + "/disc");
  BuildTree("tree", "disc/WORLD.DAT");
  PlatSetDiscRoot((dir + "/disc").c_str());
  ZeFileInitEx(ZEFILE_MEDIA_CD, 0, 0);
  ZEDAT* dat = ZeDatOpen("world.dat", nullptr, nullptr);
  ASSERT_NE(dat, nullptr);
  ASSERT_GT(dat->sector, 0);
  int idx = ZeDatFind(dat, "small.txt"), start = 0;
  ZeDatGetFileInfo(dat, "small.txt", &start, nullptr);
  EXPECT_EQ(start, dat->sector + dat->files[idx].offset / 2048);

  EeBuf out(16384);
  uint64_t sectors = PlatCdSectorsRead();
  EXPECT_EQ(ZeDatFileLoadBuffer(dat, "data\\levels\\level1.txt", out.p, 16384), 10000);
  EXPECT_EQ(memcmp(out.p, level.data(), level.size()), 0);
  EXPECT_GT(PlatCdSectorsRead(), sectors);
  sectors = PlatCdSectorsRead();
  EXPECT_EQ(ZeDatFileLoadBuffer(dat, "sys\\noise.bin", out.p, 4096), 3000);
  EXPECT_EQ(PlatCdSectorsRead() - sectors, 2u);
  EXPECT_EQ(memcmp(out.p, noise.data(), noise.size()), 0);
  // Too small for whole sectors: the file path reads it instead.
  sectors = PlatCdSectorsRead();
  EXPECT_EQ(ZeDatFileLoadBuffer(dat, "sys\\noise.bin", out.p, 3500), 3000);
  EXPECT_EQ(PlatCdSectorsRead(), sectors);
  EXPECT_EQ(memcmp(out.p, noise.data(), noise.size()), 0);
  // Under a sector the sector path gives 0 and so does the archive; the
  // whole-file loader then opens the member and reads it.
  EXPECT_EQ(ZeDatFileLoadBuffer(dat, "small.txt", out.p, 1000), 0);
  ZeDatSet(dat);
  EXPECT_EQ(ZeFileLoadBuffer("small.txt", out.p, 1000), 500);
  EXPECT_EQ(memcmp(out.p, small.data(), small.size()), 0);
  ZeDatSet(nullptr);
  ZeDatClose(dat);
}

TEST_F(Archives, DamagedDirectoriesAreFatal) {
  HandArc arc;
  arc.files = {{"a.txt", {'a', 'a'}, 2, 0}, {"b.txt", {'b'}, 1, 0}};
  std::vector<uint8_t> good = arc.Bytes();
  Make("good.dat", good);
  ZEDAT* dat = ZeDatOpen("good.dat", nullptr, nullptr);
  ASSERT_NE(dat, nullptr);
  EXPECT_EQ(ZeDatFind(dat, "B.TXT"), 1);
  ZeDatClose(dat);

  struct Case { const char* what; std::function<void(std::vector<uint8_t>*)> damage; const char* message; } cases[] = {
      {"directory past the end", [](std::vector<uint8_t>* v) { Poke(v, 4, 1 << 20); }, "header"},
      {"directory offset in the header", [](std::vector<uint8_t>* v) { Poke(v, 0, 2); }, "header"},
      {"truncated", [](std::vector<uint8_t>* v) { v->resize(40); }, "header"},
      {"file count", [](std::vector<uint8_t>* v) { Poke(v, 12, 1000); }, "file count"},
      {"negative file count", [](std::vector<uint8_t>* v) { Poke(v, 12, -1); }, "file count"},
      {"node count", [&](std::vector<uint8_t>* v) { Poke(v, arc.NodeAt(0) - 4, 0); }, "node count"},
      {"pool size", [&](std::vector<uint8_t>* v) { Poke(v, arc.PoolSizeAt(), 5000); }, "name pool size"},
      {"pool unterminated", [&](std::vector<uint8_t>* v) { (*v)[size_t(arc.PoolSizeAt() + 4 + 12)] = 'x'; },
       "not terminated"},
      {"member past the end", [&](std::vector<uint8_t>* v) { Poke(v, arc.EntryAt(1), 1 << 24); }, "member entry"},
      {"negative size", [&](std::vector<uint8_t>* v) { Poke(v, arc.EntryAt(0) + 4, -1); }, "member entry"},
      {"name offset", [&](std::vector<uint8_t>* v) { Poke(v, arc.NodeAt(1) + 4, 99); }, "name node"},
      {"child index", [&](std::vector<uint8_t>* v) { Poke16(v, arc.NodeAt(0), 7); }, "name node"},
      {"file index", [&](std::vector<uint8_t>* v) { Poke16(v, arc.NodeAt(2), -5); }, "name node"},
      {"sibling index", [&](std::vector<uint8_t>* v) { Poke16(v, arc.NodeAt(2) + 2, 3); }, "name node"},
      {"sibling cycle", [&](std::vector<uint8_t>* v) { Poke16(v, arc.NodeAt(2) + 2, 1); }, "cycle"},
      {"sibling to itself", [&](std::vector<uint8_t>* v) { Poke16(v, arc.NodeAt(1) + 2, 1); }, "cycle"},
      {"directory under itself", [&](std::vector<uint8_t>* v) { Poke16(v, arc.NodeAt(1), 1); }, "cycle"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bad = good;
    c.damage(&bad);
    Make("bad.dat", bad);
    EXPECT_HALT(ZeDatOpen("bad.dat", nullptr, nullptr), c.message);
    ZeFileReset();
  }
}

TEST_F(Archives, PackedMembersAreCheckedAndNeverPlacedBeforeTheBuffer) {
  std::vector<uint8_t> text = TestBytes(2000, 25, 10);
  std::vector<uint8_t> packed = RncPack(text.data(), text.size());
  // A packed member larger than its output plus the margin (padded with
  // continue markers, as a damaged or odd packer might write).
  std::vector<uint8_t> odd = {'R', 'N', 'C', 2, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  std::vector<uint8_t> stream{0};  // three literals, 400 continue markers, the end
  {
    size_t reg = 0;
    int left = 6;
    auto bit = [&](int b) {
      if (left == 0) {
        reg = stream.size();
        stream.push_back(0);
        left = 8;
      }
      left--;
      if (b) stream[reg] = uint8_t(stream[reg] | 1u << left);
    };
    for (char c : std::string("xyz")) {
      bit(0);
      stream.push_back(uint8_t(c));
    }
    for (int k = 0; k <= 400; k++) {
      for (int b : {1, 1, 1, 1}) bit(b);
      stream.push_back(0);
      bit(k < 400);
    }
  }
  odd[11] = uint8_t(stream.size());
  odd[10] = uint8_t(stream.size() >> 8);
  odd.insert(odd.end(), stream.begin(), stream.end());
  ASSERT_GT(odd.size(), 3u + 256);
  std::vector<uint8_t> lying = packed;
  lying[7] ^= 1;  // the header's unpacked size disagrees with the directory
  HandArc arc;
  arc.files = {{"text.rnc", packed, 2000, 1}, {"odd.rnc", odd, 3, 1}, {"lying.rnc", lying, 2000, 1},
               {"short.rnc", {'R', 'N', 'C'}, 10, 1}};
  Make("packed.dat", arc.Bytes());
  EXPECT_HALT(ZeDatOpen("packed.dat", nullptr, nullptr), "member entry");  // packed, shorter than a header
  ZeFileReset();
  arc.files.pop_back();
  Make("packed.dat", arc.Bytes());
  ZEDAT* dat = ZeDatOpen("packed.dat", nullptr, nullptr);
  ASSERT_NE(dat, nullptr);
  EeBuf buf(4096 + 128, 0xab);
  EXPECT_EQ(ZeDatFileLoadBuffer(dat, "text.rnc", buf.p + 64, 2256), 2000);
  EXPECT_EQ(memcmp(buf.p + 64, text.data(), text.size()), 0);
  int oddSize = int(odd.size());
  EXPECT_EQ(ZeDatFileLoadBuffer(dat, "odd.rnc", buf.p + 64, oddSize - 1), 0);
  EXPECT_EQ(ZeDatFileLoadBuffer(dat, "odd.rnc", buf.p + 64, oddSize), 3);
  EXPECT_EQ(buf.str(67).substr(64), "xyz");
  for (int i = 0; i < 64; i++) ASSERT_EQ(buf.p[i], 0xab) << "written before the buffer";
  EXPECT_HALT(ZeDatFileLoadBuffer(dat, "lying.rnc", buf.p, 4096), "lying.rnc: damaged packed data (header)");
  ZeDatClose(dat);
}
