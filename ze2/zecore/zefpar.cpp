// The text-file parser: lines and words read through a 4 KB block buffer,
// words dispatched through a stack of command tables. Lines and words are
// cut at 255 characters.
#include "zecore.h"

#include <climits>
#include <cstdlib>
#include <cstring>

ZEFPARFN fnInterpreterError = nullptr;

namespace {

int g_wordStart = 0;  // line position where the last word read began (any parser)

ZEFPAR* Build(ZEFILE file, const char* name) {
  auto* p = static_cast<ZEFPAR*>(ZeMemAllocFn(ZEFPAR_SIZE, __FILE__, __LINE__));
  if (!p) return nullptr;
  memset(p, 0, ZEFPAR_SIZE);
  uintptr_t area = reinterpret_cast<uintptr_t>(p + 1);
  p->buffer = reinterpret_cast<char*>((area + 63) & ~uintptr_t(63));
  p->file = file;
  if (name) {
    strncpy(p->name, name, sizeof p->name - 1);
  }
  p->lineno = -1;
  p->bufend = -1;
  p->top = -1;
  p->filesize = ZeFileOpenSize(file);
  return p;
}

// Takes the next word of the line into word (at most 255 characters, the
// rest of it skipped); its length.
int TakeWord(ZEFPAR* p, char* word) {
  g_wordStart = p->linepos;
  int i = 0;
  bool quoted = false;
  for (char c; (c = p->line[p->linepos]) != 0;) {
    if (!quoted && (c == ' ' || c == '\t' || c == ',')) {
      if (i) break;  // the position stays on the separator
      p->linepos++;
      continue;
    }
    p->linepos++;
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    if (i < ZEFPAR_LINE - 1) word[i++] = c;
  }
  word[i] = 0;
  return i;
}

}  // namespace

ZEFPAR* ZeFParCreate(const char* name) {
  ZEFILE f = ZeFileOpen(name, 0);
  if (!f) return nullptr;
  ZEFPAR* p = Build(f, name);
  if (!p) ZeFileClose(f);
  return p;
}

ZEFPAR* ZeFParOpen(ZEFILE handle) { return handle ? Build(handle, nullptr) : nullptr; }

void ZeFParDestroy(ZEFPAR* p) {
  ZeFileClose(p->file);
  ZeMemFreeFn(p, __FILE__, __LINE__);
}

void ZeFParClose(ZEFPAR* p) { ZeMemFreeFn(p, __FILE__, __LINE__); }

int ZeGetChar(ZEFPAR* p) {
  if (p->filepos > p->bufend) {
    int next = p->bufend + 1;
    if (next >= p->filesize) return 0;
    int want = p->filesize - next < ZEFPAR_READSIZE ? p->filesize - next : ZEFPAR_READSIZE;
    int n = ZeFileRead(p->file, p->buffer, want);
    if (n <= 0) return 0;
    p->bufstart = next;
    p->bufend = next + n - 1;
  }
  int at = p->filepos - p->bufstart;
  if (at < 0 || at > p->bufend - p->bufstart) return 0;  // a position the buffer cannot hold
  p->filepos++;
  return static_cast<signed char>(p->buffer[at]);
}

int ZeFParGetLine(ZEFPAR* p) {
  p->linepos = 0;
  for (;;) {
    p->lineno++;
    int i = 0;
    for (;;) {
      int c = ZeGetChar(p);
      if (c == 0) {
        p->line[i] = 0;
        return i;
      }
      if (c == '\n') break;
      if (c == '\r') {
        ZeGetChar(p);  // the '\n' of a CR LF pair
        break;
      }
      if (c == ';' && i == 0) {
        // A comment line: skipped up to its end.
        while ((c = ZeGetChar(p)) != 0 && c != '\n' && c != '\r') {
        }
        if (c == '\r') ZeGetChar(p);
        i = -1;
        break;
      }
      if (i < ZEFPAR_LINE - 1) p->line[i++] = char(c);  // longer lines are cut
    }
    if (i > 0) {
      p->line[i] = 0;
      return i;
    }
  }
}

int ZeFParGetWord(ZEFPAR* p) { return TakeWord(p, p->word); }

int ZeFParGetInt(ZEFPAR* p) {
  char word[ZEFPAR_LINE];
  if (!TakeWord(p, word)) return 0;
  // atoi's value, without its undefined behaviour on overflow.
  long v = strtol(word, nullptr, 10);
  return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : int(v);
}

float ZeFParGetFloat(ZEFPAR* p) {
  char word[ZEFPAR_LINE];
  if (!TakeWord(p, word)) return 0.0f;
  return float(atof(word));
}

void ZeFParUnGetWord(ZEFPAR* p) { p->linepos = g_wordStart; }

int ZeFParInterpretWord(ZEFPAR* p) {
  if (p->word[0] == 0 || p->word[0] == ';') return 0;
  const ZEFPCMD* table = p->top >= 0 ? p->stack[p->top].get() : nullptr;
  if (table) {
    for (const ZEFPCMD* row = table; row->word; row++) {
      if (ZeStrICmp(row->word, p->word) == 0) {
        row->handler(p);
        return 1;
      }
    }
  }
  if (fnInterpreterError) fnInterpreterError(p);
  return 0;
}

int ZeFParPushCom(ZEFPAR* p, const ZEFPCMD* table) {
  if (p->top >= ZEFPAR_STACK - 1) return -1;
  p->stack[++p->top] = table;
  return p->top;
}

int ZeFParPopCom(ZEFPAR* p) {
  int result = p->top - 1;
  if (p->top >= 0) p->top--;
  return result;
}

ZEFPARFN ZeFParSetInterpreterErrorHandler(ZEFPARFN handler) {
  ZEFPARFN old = fnInterpreterError;
  fnInterpreterError = handler;
  return old;
}

void ZeFParSuspend(ZEFPAR* p) {
  if (!p->name[0] || !p->file)
    ZeError("Cannot resume a fileparser that was not created with ZeFParCreate - therefore, cannot suspend it");
  ZeFileClose(p->file);
  p->file = 0;
}

void ZeFParResume(ZEFPAR* p) {
  if (!p->name[0]) ZeError("Cannot resume a fileparser that was not created with ZeFParCreate");
  ZeFileClose(p->file);  // a parser that was not suspended keeps one handle
  p->file = ZeFileOpen(p->name, 0);
  if (!p->file) ZeError("ZeFParResume - failed to reopen file!");
  ZeFileSeek(p->file, p->filepos, SCE_SEEK_SET);
  p->bufend = p->filepos - 1;  // the next character is read afresh
}

void ZeFParGetPos(ZEFPAR* p, ZEFPARPOS* pos) {
  *pos = {p->lineno, p->linepos, p->filepos, p->bufstart, p->bufend};
}

void ZeFParSetPos(ZEFPAR* p, const ZEFPARPOS* pos) {
  int lp = pos->linepos;
  p->linepos = lp < 0 ? 0 : lp > ZEFPAR_LINE - 1 ? ZEFPAR_LINE - 1 : lp;
  p->filepos = pos->filepos < 0 ? 0 : pos->filepos;
  if (p->filepos < p->bufstart || p->filepos > p->bufend) {
    // Outside the buffered block: read afresh from there.
    ZeFileSeek(p->file, p->filepos, SCE_SEEK_SET);
    p->bufend = p->filepos - 1;
  }
}
