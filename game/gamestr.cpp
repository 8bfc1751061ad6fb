// Game strings: every text shown to the player, by id, loaded from
// "strings.<language>" into the caller's buffer at each replay. "$0".."$9"
// are replaced by the variables' texts when a string is fetched.
#include "game.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

uint8_t* game_strings[MAX_GAME_STRINGS];
const char* game_string_vars[10];

namespace {

char g_format[GAMESTR_FORMAT + 1];

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

void InitGameStrings(char** cursor, char* end, const char* lang) {
  memset(game_strings, 0, sizeof game_strings);
  char name[64];
  snprintf(name, sizeof name, "strings.%s", lang);
  ZEFPAR* p = ZeFParCreate(name);
  if (!p) ZeError("InitGameStrings : Error opening %s", name);
  while (ZeFParGetLine(p)) {
    ZeFParGetWord(p);
    const int line = p->lineno;  // the parser counts the first line as 0
    const long id = strtol(p->word, nullptr, 10);
    if (id == 0)
      ZeError("InitGameStrings : Error parsing %s at line %d. Expected string id found %s", name, line, p->word);
    if (id < 0 || id >= MAX_GAME_STRINGS)
      ZeError("InitGameStrings : Error parsing %s at line %d. String id(%s) larger than MAX_GAME_STRINGS %d", name, line,
              p->word, MAX_GAME_STRINGS);
    if (game_strings[id])
      ZeError("InitGameStrings : Error parsing %s at line %d. Duplicate string id %d \"%s\" will overwrite \"%s\"", name,
              line, int(id), p->word, reinterpret_cast<char*>(game_strings[id] + 1));
    uint8_t* entry = reinterpret_cast<uint8_t*>(*cursor);
    if (*cursor + 2 > end) ZeError("InitGameStrings : Reached end of buffer while parsing %s", name);
    entry[0] = 1;
    char* text = reinterpret_cast<char*>(entry + 1);
    size_t len = 0;
    for (;;) {
      const size_t wlen = size_t(ZeFParGetWord(p));
      // Count byte, the text so far, this word and the terminator.
      if (uint64_t(reinterpret_cast<uintptr_t>(text)) + len + wlen + 1 > uint64_t(reinterpret_cast<uintptr_t>(end)))
        ZeError("InitGameStrings : Reached end of buffer while parsing %s", name);
      for (size_t i = 0; i < wlen; i++) {
        const char c = p->word[i];
        if (c == '$' && IsDigit(p->word[i + 1])) {
          if (entry[0] < 255) entry[0]++;  // the count stops at 255 rather than wrap to "no variables"
          text[len++] = c;
          text[len++] = p->word[++i];
        } else if (c == '\\' && (p->word[i + 1] == 'n' || p->word[i + 1] == 'r')) {
          text[len++] = p->word[++i] == 'n' ? '\n' : '\r';
        } else {
          text[len++] = c;
        }
      }
      if (ZeFParGetWord(p) && p->word[0] == '+' && ZeFParGetLine(p)) continue;
      break;
    }
    text[len] = 0;
    game_strings[id] = entry;
    *cursor = text + len + 1;
  }
  ZeFParDestroy(p);
}

const char* GetGameString(int id) {
  ZEASSERT(id >= 1 && id < MAX_GAME_STRINGS);
  const uint8_t* entry = game_strings[id];
  if (!entry) return "(null)";
  const char* text = reinterpret_cast<const char*>(entry + 1);
  if (entry[0] < 2) return text;
  size_t n = 0;
  for (const char* s = text; *s; s++) {
    if (s[0] == '$' && IsDigit(s[1])) {
      const char* v = game_string_vars[s[1] - '0'];
      if (!v) v = "(null)";
      const size_t vl = strlen(v);
      if (n + vl > GAMESTR_FORMAT) ZeError("GetGameString : string buffer overflow!");
      memcpy(g_format + n, v, vl);
      n += vl;
      s++;
    } else {
      if (n + 1 > GAMESTR_FORMAT) ZeError("GetGameString : string buffer overflow!");
      g_format[n++] = *s;
    }
  }
  g_format[n] = 0;
  return g_format;
}

void SetGameStringVariable(int index, const char* text) {
  ZEASSERT(index >= 0 && index < 10);
  game_string_vars[index] = text;
}
