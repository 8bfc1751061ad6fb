#include "gamelib.h"
#include "zecore.h"
#include "platform_test.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace {

struct RandomTable : testing::Test {
  std::string dir;
  void SetUp() override {
    dir = TestTempDir();
    PlatSetHostRoot(dir.c_str());
  }
  void TearDown() override {
    CloseRandomTable();
    PlatSetHostRoot(nullptr);
  }
  void Put(const char* name, int size) {
    std::ofstream f(dir + "/" + name, std::ios::binary);
    for (int i = 0; i < size; i++) f.put(char(i * 37 + 11));
  }
};

}  // namespace

TEST_F(RandomTable, LoadsTakesAndRewindsByTheMargin) {
  Put("RAND.DAT", 2048);
  InitRandomTable("RAND.DAT", 2048, 1500);
  ASSERT_NE(randtab_base, nullptr);
  EXPECT_EQ(randtab_ptr, randtab_base);
  EXPECT_EQ(randtab_base[5], uint8_t(5 * 37 + 11));
  EXPECT_EQ(randtab_base[2047], uint8_t(2047 * 37 + 11));
  randtab_ptr = randtab_base + 1500;
  CheckRandomTable();
  EXPECT_EQ(randtab_ptr, randtab_base + 1500) << "at the margin: left";
  randtab_ptr = randtab_base + 1501;
  CheckRandomTable();
  EXPECT_EQ(randtab_ptr, randtab_base + 1) << "past it: moved back by the margin";
  // A frame's worth of takes never leaves the table.
  for (int frame = 0; frame < 100; frame++) {
    for (int i = 0; i < 2048 - 1500; i++) {
      ASSERT_LT(randtab_ptr, randtab_base + 2048);
      (void)*randtab_ptr++;
    }
    CheckRandomTable();
  }
}

TEST_F(RandomTable, MissingFileReloadAndClose) {
  InitRandomTable("NONE.DAT", 64, 32);
  ASSERT_NE(randtab_base, nullptr);
  for (int i = 0; i < 64; i++) EXPECT_EQ(randtab_base[i], 0) << "a missing file leaves zeros";
  Put("RAND.DAT", 16);
  InitRandomTable("RAND.DAT", 16, 8);  // the old table is released
  EXPECT_EQ(randtab_size, 16);
  EXPECT_EQ(randtab_base[1], uint8_t(48));
  CloseRandomTable();
  EXPECT_EQ(randtab_base, nullptr);
  EXPECT_EQ(randtab_ptr, nullptr) << "no pointer into freed memory";
  CloseRandomTable();
}
