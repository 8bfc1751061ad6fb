#include "game.h"
#include "platform_test.h"

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct GameStrings : testing::Test {
  std::string dir;
  std::vector<char> buffer = std::vector<char>(4096);
  char* cursor = nullptr;
  void SetUp() override {
    dir = TestTempDir();
    PlatSetHostRoot(dir.c_str());
    ZeFileInit(ZEFILE_MEDIA_HOST);
    ZeDatSet(nullptr);
    ZeFileSetCurrentDirectory("");
    for (auto& v : game_string_vars) v = nullptr;
  }
  void TearDown() override { PlatSetHostRoot(nullptr); }
  void Write(const std::string& text, const char* lang = "uk") {
    std::ofstream(dir + "/strings." + lang, std::ios::binary) << text;
  }
  void Load(const char* lang = "uk") {
    cursor = buffer.data();
    InitGameStrings(&cursor, buffer.data() + buffer.size(), lang);
  }
};

}  // namespace

TEST_F(GameStrings, LinesJoinEscapesAndCounts) {
  Write("; comment\n"
        "\n"
        "5 \"Three \" +\n"
        "\"line\" +\n"
        "\"s joined\"\n"
        "6 \"ab\\ncd\\re\\tf\" ignored words\n"
        "7, \"plain\"\n"
        "8 \"$1 and $2, $x\"\n");
  Load();
  EXPECT_STREQ(GetGameString(5), "Three lines joined");
  EXPECT_STREQ(GetGameString(6), "ab\ncd\re\\tf") << "only \\n and \\r are turned";
  EXPECT_STREQ(GetGameString(7), "plain");
  EXPECT_EQ(game_strings[7][0], 1) << "no variables";
  EXPECT_EQ(game_strings[8][0], 3) << "1 + two references";
  EXPECT_EQ(GetGameString(7), reinterpret_cast<const char*>(game_strings[7] + 1)) << "returned where stored";
  // The cursor moved past every stored string (count byte, text, terminator).
  size_t used = 0;
  for (int id : {5, 6, 7, 8}) used += 2 + strlen(reinterpret_cast<const char*>(game_strings[id] + 1));
  EXPECT_EQ(size_t(cursor - buffer.data()), used);
  EXPECT_STREQ(GetGameString(9), "(null)");
  EXPECT_HALT(GetGameString(1024), "assert");
  EXPECT_HALT(GetGameString(0), "assert");
}

TEST_F(GameStrings, VariablesAreFilledWhenFetched) {
  Write("8 \"$1 and $2, $x $\"\n");
  Load();
  SetGameStringVariable(1, "42");
  EXPECT_STREQ(GetGameString(8), "42 and (null), $x $");
  EXPECT_HALT(SetGameStringVariable(10, "x"), "assert");
  // 512 characters fit; one more is fatal.
  static std::string big(499, 'a');
  SetGameStringVariable(2, big.c_str());
  EXPECT_EQ(strlen(GetGameString(8)), 512u) << "42 and <499>, $x $";
  big.assign(500, 'a');
  SetGameStringVariable(2, big.c_str());
  EXPECT_HALT(GetGameString(8), "GetGameString : string buffer overflow!");
}

// The count byte stops at 255 rather than wrap to "no variables": a text of
// 300 references is still formatted (its first 512 characters) and reported.
TEST_F(GameStrings, CountByteStopsAt255) {
  std::string line = "9 \"";
  for (int i = 0; i < 60; i++) line += "$1";
  line += "\" +\n";
  std::string text = line;
  for (int l = 0; l < 4; l++) {
    std::string more = "\"";
    for (int i = 0; i < 60; i++) more += "$1";
    text += more + (l < 3 ? "\" +\n" : "\"\n");
  }
  Write(text);
  Load();
  EXPECT_EQ(game_strings[9][0], 255);
  SetGameStringVariable(1, "");
  EXPECT_STREQ(GetGameString(9), "") << "variables replaced, not shown as text";
  SetGameStringVariable(1, "ab");
  EXPECT_HALT(GetGameString(9), "string buffer overflow");
}

// Lines count from 0, as the parser counts them (skipped lines included).
TEST_F(GameStrings, LoadErrorsNameTheFileAndLine) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"abc \"b\"\n", "Error parsing strings.uk at line 0. Expected string id found abc"},
      {"5 \"a\"\nabc \"b\"\n", "Error parsing strings.uk at line 1. Expected string id found abc"},
      {"; remark\n\n5 \"a\"\nabc \"b\"\n", "Error parsing strings.uk at line 3. Expected string id found abc"},
      {"0 \"a\"\n", "Expected string id found 0"},
      {"1024 \"a\"\n", "String id(1024) larger than MAX_GAME_STRINGS 1024"},
      {"-3 \"a\"\n", "String id(-3) larger than MAX_GAME_STRINGS"},
      {"5 \"a\"\n5 \"b\"\n", "at line 1. Duplicate string id 5 \"5\" will overwrite \"a\""},
  };
  for (const Case& c : cases) {
    Write(c.text);
    EXPECT_HALT(Load(), c.message);
  }
  EXPECT_HALT(Load("fr"), "InitGameStrings : Error opening strings.fr");
  // A buffer too small for the text.
  Write("5 \"0123456789\"\n");
  cursor = buffer.data();
  EXPECT_HALT(InitGameStrings(&cursor, buffer.data() + 8, "uk"), "Reached end of buffer while parsing strings.uk");
}
