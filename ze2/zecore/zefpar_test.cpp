#include "zefile_testutil.h"

#include <cstring>

namespace {

using Parser = FileTest;

std::vector<std::string> Lines(ZEFPAR* p, std::vector<int>* numbers = nullptr) {
  std::vector<std::string> out;
  while (ZeFParGetLine(p)) {
    out.push_back(p->line);
    if (numbers) numbers->push_back(p->lineno);
  }
  return out;
}

// A parser over text in a memory file.
struct TextParser {
  EeBuf buf;
  ZEFILE h;
  ZEFPAR* p;
  explicit TextParser(const std::string& text) : buf(text.size()) {
    memcpy(buf.p, text.data(), text.size());
    h = ZeMemFileOpen(buf.p, int(text.size()), 0);
    p = ZeFParOpen(h);
  }
  ~TextParser() {
    ZeFParClose(p);
    ZeFileClose(h);
  }
};

std::string g_calls;
void OnMove(ZEFPAR* p) { g_calls += "move(" + std::to_string(ZeFParGetInt(p)) + ")"; }
void OnSection(ZEFPAR* p);
void OnEnd(ZEFPAR* p) {
  g_calls += "end";
  ZeFParPopCom(p);
}
void OnError(ZEFPAR* p) { g_calls += std::string("?") + p->word; }
const ZEFPCMD g_inner[] = {{"end", OnEnd}, {"move", OnMove}, {nullptr, nullptr}};
const ZEFPCMD g_top[] = {{"move", OnMove}, {"section", OnSection}, {nullptr, nullptr}};
const ZEFPCMD g_empty[] = {{nullptr, nullptr}};
void OnSection(ZEFPAR* p) {
  g_calls += "section";
  ZeFParPushCom(p, g_inner);
}

}  // namespace

TEST_F(Parser, LinesEndInLfOrCrLfAndSkipEmptyAndCommentLines) {
  for (const char* text : {"one\n\n; comment\n  two;x\nthree", "one\r\n\r\n; comment\r\n  two;x\r\nthree",
                           "one\n\n;comment\r\n  two;x\r\nthree\n"}) {
    TextParser t(text);
    std::vector<int> numbers;
    EXPECT_EQ(Lines(t.p, &numbers), (std::vector<std::string>{"one", "  two;x", "three"})) << text;
    EXPECT_EQ(numbers, (std::vector<int>{0, 3, 4})) << "skipped lines are counted";
    EXPECT_EQ(ZeFParGetLine(t.p), 0);
  }
  TextParser empty(";only a comment");
  EXPECT_EQ(ZeFParGetLine(empty.p), 0);
  TextParser zero(std::string("ab\0cd\n", 6));
  EXPECT_EQ(ZeFParGetLine(zero.p), 2) << "a zero byte reads as the end of the file";
  EXPECT_STREQ(zero.p->line, "ab");
}

TEST_F(Parser, WordsSplitOnBlanksAndCommasOutsideQuotes) {
  TextParser t("load \"my file\",3\n  12abc\t-4.5e1 ,, next\n");
  ASSERT_GT(ZeFParGetLine(t.p), 0);
  std::vector<std::string> words;
  while (ZeFParGetWord(t.p)) words.push_back(t.p->word);
  EXPECT_EQ(words, (std::vector<std::string>{"load", "my file", "3"}));
  EXPECT_EQ(ZeFParGetInt(t.p), 0) << "no more words";
  EXPECT_EQ(ZeFParGetFloat(t.p), 0.0f);
  ASSERT_GT(ZeFParGetLine(t.p), 0);
  EXPECT_EQ(ZeFParGetInt(t.p), 12);
  ZeFParUnGetWord(t.p);
  EXPECT_EQ(ZeFParGetWord(t.p), 5);
  EXPECT_STREQ(t.p->word, "12abc");
  EXPECT_EQ(ZeFParGetFloat(t.p), -45.0f);
  EXPECT_STREQ(t.p->word, "12abc") << "numbers do not disturb the word buffer";
  EXPECT_EQ(ZeFParGetWord(t.p), 4);
  EXPECT_STREQ(t.p->word, "next");
}

TEST_F(Parser, LongLinesAndWordsAreCut) {
  std::string longWord(600, 'w');
  TextParser t(longWord + " tail\nnext line\n");
  EXPECT_EQ(ZeFParGetLine(t.p), 255);
  EXPECT_EQ(std::string(t.p->line), std::string(255, 'w'));
  EXPECT_EQ(ZeFParGetWord(t.p), 255);
  EXPECT_EQ(ZeFParGetLine(t.p), 9);
  EXPECT_STREQ(t.p->line, "next line");
  TextParser q("\"" + std::string(300, 'q') + "\"");
  ZeFParGetLine(q.p);
  EXPECT_EQ(ZeFParGetWord(q.p), 254) << "the line holds 255 characters, one a quote";
}

TEST_F(Parser, WordsDispatchThroughStackedTablesWithoutRegardToCase) {
  g_calls.clear();
  ZEFPARFN old = ZeFParSetInterpreterErrorHandler(OnError);
  TextParser t("MOVE 1\nmove 2\nSection\nMove 3\njump\nEND\n;x\nmove 4\n");
  while (ZeFParGetLine(t.p)) {
    ZeFParGetWord(t.p);
    ZeFParInterpretWord(t.p);  // an empty stack calls the error handler
    if (t.p->top < 0) ZeFParPushCom(t.p, g_top);
  }
  EXPECT_EQ(g_calls, "?MOVEmove(2)sectionmove(3)?jumpendmove(4)");
  g_calls.clear();
  ZeFParPushCom(t.p, g_empty);
  strcpy(t.p->word, "move");
  EXPECT_EQ(ZeFParInterpretWord(t.p), 0);
  strcpy(t.p->word, ";move");
  EXPECT_EQ(ZeFParInterpretWord(t.p), 0);
  t.p->word[0] = 0;
  EXPECT_EQ(ZeFParInterpretWord(t.p), 0);
  EXPECT_EQ(g_calls, "?move");
  EXPECT_EQ(ZeFParSetInterpreterErrorHandler(old), OnError);

  TextParser s("x");
  for (int i = 0; i < ZEFPAR_STACK; i++) EXPECT_EQ(ZeFParPushCom(s.p, g_top), i);
  EXPECT_EQ(ZeFParPushCom(s.p, g_inner), -1);
  EXPECT_EQ(s.p->stack[7].get(), g_top);
  EXPECT_EQ(ZeFParPopCom(s.p), 6);
  while (s.p->top >= 0) ZeFParPopCom(s.p);
  EXPECT_EQ(ZeFParPopCom(s.p), -2);
  EXPECT_EQ(s.p->top, -1);
}

TEST_F(Parser, ParsersOnFilesSuspendResumeAndRepositionAcrossBlocks) {
  std::string text;
  for (int i = 0; i < 600; i++) text += "line " + std::to_string(i) + " of the file\n";  // ~12 KB
  Make("script.txt", text);
  ZEFPAR* p = ZeFParCreate("script.txt");
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p->name, "script.txt");
  EXPECT_EQ(p->filesize, int(text.size()));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p->buffer.get()) % 64, 0u);
  EXPECT_LE(p->buffer.get() + ZEFPAR_READSIZE, reinterpret_cast<char*>(p) + ZEFPAR_SIZE);
  for (int i = 0; i < 10; i++) ZeFParGetLine(p);
  EXPECT_STREQ(p->line, "line 9 of the file");
  ZEFPARPOS pos;
  ZeFParGetPos(p, &pos);
  ZeFParSuspend(p);
  EXPECT_EQ(p->file, 0);
  ZEFILE other = ZeFileOpen("script.txt", 0);  // another file read meanwhile
  ZeFileClose(other);
  ZeFParResume(p);
  ZeFParGetLine(p);
  EXPECT_STREQ(p->line, "line 10 of the file");
  for (int i = 0; i < 400; i++) ZeFParGetLine(p);  // well past the first 4 KB block
  EXPECT_STREQ(p->line, "line 410 of the file");
  ZeFParSetPos(p, &pos);
  ZeFParGetLine(p);
  EXPECT_STREQ(p->line, "line 10 of the file") << "the position is really restored";
  std::vector<std::string> rest = Lines(p);
  ASSERT_EQ(rest.size(), 589u);
  EXPECT_EQ(rest.back(), "line 599 of the file");
  ZeFParDestroy(p);
  EXPECT_EQ(ZeFParCreate("missing.txt"), nullptr);

  TextParser t("a\nb\n");
  EXPECT_HALT(ZeFParSuspend(t.p), "cannot suspend it");
  EXPECT_HALT(ZeFParResume(t.p), "Cannot resume a fileparser that was not created with ZeFParCreate");
  Make("gone.txt", "x\n");
  ZEFPAR* g = ZeFParCreate("gone.txt");
  ZeFParSuspend(g);
  std::filesystem::remove(dir + "/gone.txt");
  EXPECT_HALT(ZeFParResume(g), "ZeFParResume - failed to reopen file!");
  ZeFParClose(g);
}
