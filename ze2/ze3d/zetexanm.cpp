// Texture-animation programs: the script assembler (local labels resolved
// at the end, global xdef/xref ids shared since ZeTexAnimProgSysInit), the
// program record and its file form, and the list of loaded programs.
#include "ze3d.h"
#include "zetexanm_local.h"

#include <cstring>

ZETEXANIMPROG* ztap_current = nullptr;
ZETEXANIMPROG* ztap_first = nullptr;

char zta_labelnames[ZETEXANIM_LABELS][ZETEXANIM_LABELLEN + 1];
int zta_labels[ZETEXANIM_LABELS];
char zta_globalnames[ZETEXANIM_GLOBALS][ZETEXANIM_LABELLEN + 1];
int zta_globalcount = 0;

namespace {

int g_labelcount = 0;
bool g_defined[ZETEXANIM_LABELS];  // this script's labels that have a definition
int g_usedat[ZETEXANIM_LABELS];    // the line of a label's first use
ZEFPAR* g_parser = nullptr;        // the script being assembled
int g_capacity = 0;                // code words the program has room for

int Line() { return g_parser ? g_parser->lineno : 0; }

void Emit(int word) {
  ZETEXANIMPROG* p = ztap_current;
  // A script must not write code past its program's block.
  if (p->codelen >= g_capacity)
    ZeError("Tex Anim Assembler Fatal Error: more than %d code words at line %d", g_capacity, Line());
  ZeTexAnimCode(p)[p->codelen++] = int16_t(word);
}

int Operand() { return ZeFParGetInt(g_parser); }

// A name's index in a table of names (cut to 20 characters, compared
// without case), added when absent; a full table is the given error.
int FindOrAdd(char (*names)[ZETEXANIM_LABELLEN + 1], int* count, int capacity, const char* word, const char* full) {
  char name[ZETEXANIM_LABELLEN + 1];
  strncpy(name, word, ZETEXANIM_LABELLEN);
  name[ZETEXANIM_LABELLEN] = 0;
  for (int i = 0; i < *count; i++)
    if (ZeStrICmp(names[i], name) == 0) return i;
  if (*count >= capacity) ZeError("%s", full);
  strcpy(names[*count], name);
  return (*count)++;
}

int LocalLabel(const char* word) {
  const int before = g_labelcount;
  const int i = FindOrAdd(zta_labelnames, &g_labelcount, ZETEXANIM_LABELS, word,
                          "Tex Anim Assembler Fatal Error: too many labels");
  if (g_labelcount != before) {
    g_defined[i] = false;
    g_usedat[i] = -1;
  }
  return i;
}

void DefineLabel(const char* word) {
  const int i = LocalLabel(word);
  zta_labels[i] = ztap_current->codelen;
  g_defined[i] = true;
}

int UseLabel() {
  ZeFParGetWord(g_parser);
  const int i = LocalLabel(g_parser->word);
  if (g_usedat[i] < 0) g_usedat[i] = Line();
  return i;
}

int GlobalLabel(const char* word) {
  return FindOrAdd(zta_globalnames, &zta_globalcount, ZETEXANIM_GLOBALS, word,
                   "Tex Anim Assembler Fatal Error: too many global labels");
}

int Condition() {
  ZeFParGetWord(g_parser);
  const char* w = g_parser->word;
  if (w[0] == '<') return w[1] == '=' ? 3 : w[1] == '>' ? 5 : 1;
  if (w[0] == '>') return w[1] == '=' ? 4 : 2;
  if (w[0] == '=') return 0;
  if (w[0] == '!') return 5;
  ZeError("unknown condition '%s' at line %d", w, Line());
  return 0;
}

int Signal() {
  const int n = Operand();
  if (n < 0 || n >= ZETEXANIM_SIGNALS)
    ZeError("Tex Anim Assembler Fatal Error: signal %d out of range at line %d", n, Line());
  return n;
}

void Ops(int op, int n) {
  Emit(op);
  for (int i = 0; i < n; i++) Emit(Operand());
}

void OnTex(ZEFPAR*) { Ops(ZTA_TEX, 1); }
void OnTexAdj(ZEFPAR*) { Ops(ZTA_TEXADJ, 3); }
void OnWait(ZEFPAR*) { Ops(ZTA_WAIT, 2); }
void OnRate(ZEFPAR*) { Ops(ZTA_RATE, 2); }
void OnGoto(ZEFPAR*) {
  Emit(ZTA_GOTO);
  Emit(UseLabel());
}
void OnGosub(ZEFPAR*) {
  Emit(ZTA_GOSUB);
  Emit(UseLabel());
}
void OnBtex(ZEFPAR*) {
  Emit(ZTA_BTEX);
  Emit(Condition());
  Emit(Operand());
  Emit(UseLabel());
}
void OnRet(ZEFPAR*) { Emit(ZTA_RET); }
void OnRepeat(ZEFPAR*) {
  Emit(ZTA_REPEAT);
  const int count = Operand();
  Emit(count == 0 ? -1 : count);  // repeat 0: a loop that never ends
  Emit(Operand());
}
void OnRepend(ZEFPAR*) { Emit(ZTA_REPEND); }
void OnUntilTex(ZEFPAR*) {
  Emit(ZTA_UNTILTEX);
  Emit(Condition());
  Emit(Operand());
}
void OnEnd(ZEFPAR*) { Emit(ZTA_END); }
void OnXref(ZEFPAR*) {
  ZeFParGetWord(g_parser);
  Emit(ZTA_XREF);
  Emit(GlobalLabel(g_parser->word));
}
void OnOn(ZEFPAR*) {
  const int n = Signal();
  ztap_current->on[n] = ztap_current->codelen;
  ztap_current->onmask |= 1u << n;
}
void OnOff(ZEFPAR*) {
  const int n = Signal();
  ztap_current->off[n] = ztap_current->codelen;
  ztap_current->offmask |= 1u << n;
}
void OnLabel(ZEFPAR*) {
  ZeFParGetWord(g_parser);
  DefineLabel(g_parser->word);
}
void OnScriptName(ZEFPAR*) {
  ZeFParGetWord(g_parser);
  strncpy(ztap_current->name, g_parser->word, sizeof ztap_current->name - 1);  // cut to 31
  ztap_current->name[sizeof ztap_current->name - 1] = 0;
}
void OnXdef(ZEFPAR*) {
  ZeFParGetWord(g_parser);
  ZETEXANIMPROG* p = ztap_current;
  if (p->xdefcount >= ZETEXANIM_XDEFS)
    ZeError("Tex Anim Assembler Fatal Error: more than %d xdefs at line %d", ZETEXANIM_XDEFS, Line());
  p->xdefid[p->xdefcount] = int16_t(GlobalLabel(g_parser->word));
  p->xdefoff[p->xdefcount] = p->codelen;
  p->xdefcount++;
}

// A word that is no keyword: a label when it ends in ':', else ignored.
void OnOther(ZEFPAR* parser) {
  char* w = parser->word;
  const int n = int(strlen(w));
  if (n > 0 && w[n - 1] == ':') {
    w[n - 1] = 0;
    DefineLabel(w);
  }
}

const ZEFPCMD g_keywords[] = {
    {"tex", OnTex},       {"texadj", OnTexAdj}, {"wait", OnWait},         {"rate", OnRate},
    {"goto", OnGoto},     {"gosub", OnGosub},   {"btex", OnBtex},         {"ret", OnRet},
    {"repeat", OnRepeat}, {"repend", OnRepend}, {"untiltex", OnUntilTex}, {"end", OnEnd},
    {"xref", OnXref},     {"on", OnOn},         {"off", OnOff},           {"label", OnLabel},
    {"scriptname", OnScriptName}, {"xdef", OnXdef}, {nullptr, nullptr}};

void Link(ZETEXANIMPROG* p) {
  p->prev = nullptr;
  p->next = ztap_first;
  if (ztap_first) ztap_first->prev = p;
  ztap_first = p;
}

char* Align4(char* p) { return reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(p) + 3) & ~uintptr_t(3)); }

}  // namespace

void ZeTexAnimProgInit(ZETEXANIMPROG* p) {
  if (!p) return;
  for (int i = 0; i < ZETEXANIM_SIGNALS; i++) p->on[i] = p->off[i] = -1;
  p->onmask = p->offmask = 0;
  p->name[0] = 0;
  p->xdefcount = 0;
  p->codelen = 0;
  p->flags &= ~1;
}

ZETEXANIMPROG* ZeTexAnimProgCreate(char** cursor, int capacity, const char* name) {
  ZEASSERT(capacity >= 0);
  const int size = int(sizeof(ZETEXANIMPROG)) + capacity;
  ZETEXANIMPROG* p;
  if (cursor) {
    char* at = Align4(*cursor);
    *cursor = at + size;
    p = reinterpret_cast<ZETEXANIMPROG*>(at);
  } else {
    p = static_cast<ZETEXANIMPROG*>(ZeMemAllocTagged(size));
    if (!p) return nullptr;
  }
  memset(p, 0, size_t(size));
  ZeTexAnimProgInit(p);
  if (!cursor) p->flags |= 1;
  if (name) {
    strncpy(p->name, name, sizeof p->name - 1);
    p->name[sizeof p->name - 1] = 0;
  }
  return p;
}

ZETEXANIMPROG* ZeTexAnimProgReadScript(char** cursor, const char* name) {
  g_labelcount = 0;
  ZEFPAR* parser = ZeFParCreate(name);
  if (!parser) return nullptr;
  ZETEXANIMPROG* p;
  if (cursor) {
    p = reinterpret_cast<ZETEXANIMPROG*>(Align4(*cursor));
    p->flags = 0;
  } else {
    p = static_cast<ZETEXANIMPROG*>(ZeMemAllocTagged(ZETEXANIM_SCRIPTBLOCK));
    memset(p, 0, ZETEXANIM_SCRIPTBLOCK);
  }
  ZeFParPushCom(parser, g_keywords);
  ZeTexAnimProgInit(p);
  if (!cursor) p->flags |= 1;
  ztap_current = p;
  g_parser = parser;
  g_capacity = ZETEXANIM_MAXCODE;
  const ZEFPARFN previous = ZeFParSetInterpreterErrorHandler(OnOther);
  while (ZeFParGetLine(parser) > 0) {
    if (ZeFParGetWord(parser)) ZeFParInterpretWord(parser);
  }
  ZeFParSetInterpreterErrorHandler(previous);
  if (cursor) *cursor = reinterpret_cast<char*>(&ZeTexAnimCode(p)[p->codelen]);
  ZeFParDestroy(parser);
  ZeTexAnimProgAssembleEnd(p);
  g_parser = nullptr;
  Link(p);
  return p;
}

namespace {

// Words an instruction takes, opcode included; 0 for an unknown opcode.
int Length(int op) {
  switch (op) {
    case ZTA_RET: case ZTA_REPEND: case ZTA_END: return 1;
    case ZTA_TEX: case ZTA_XREF: case ZTA_GOTO: case ZTA_GOSUB: return 2;
    case ZTA_WAIT: case ZTA_RATE: case ZTA_REPEAT: case ZTA_UNTILTEX: return 3;
    case ZTA_TEXADJ: case ZTA_BTEX: return 4;
    default: return 0;
  }
}

// A label operand becomes the label's code offset; a label used but never
// defined in this script is an error with the line of its first use.
void Resolve(int16_t* operand) {
  const int i = *operand;
  if (i < 0 || i >= g_labelcount) ZeError("Tex Anim Assembler Fatal Error: bad label operand %d", i);
  if (!g_defined[i])
    ZeError("Tex Anim Assembler Fatal Error: undefined label '%s' at line %d", zta_labelnames[i], g_usedat[i]);
  *operand = int16_t(zta_labels[i]);
}

}  // namespace

void ZeTexAnimProgAssembleEnd(ZETEXANIMPROG* p) {
  for (int pc = 0; pc < p->codelen;) {
    const int op = ZeTexAnimCode(p)[pc];
    const int n = Length(op);
    if (n == 0 || pc + n > p->codelen) break;  // not code this assembler wrote
    if (op == ZTA_GOTO || op == ZTA_GOSUB) Resolve(&ZeTexAnimCode(p)[pc + 1]);
    if (op == ZTA_BTEX) Resolve(&ZeTexAnimCode(p)[pc + 3]);
    pc += n;
  }
}

int ZeTexAnimProgWrite(const char* name, const ZETEXANIMPROG* p) {
  if (p->codelen < 0) return 0;
  ZEFILE f = ZeFileOpen(name, 1);
  if (!f) return 0;
  const int bytes = ZETEXANIM_HEADER + 2 * p->codelen;
  // The 4 bytes after the code are zeros: the record may end with the code.
  static const uint8_t tail[4] = {0, 0, 0, 0};
  const bool ok = ZeFileWrite(f, p, bytes) == bytes && ZeFileWrite(f, tail, 4) == 4;
  ZeFileClose(f);
  return ok ? 1 : 0;
}

ZETEXANIMPROG* ZeTexAnimProgRead(char** cursor, const char* name) {
  ZEFILE f = ZeFileOpen(name, 0);
  if (!f) return nullptr;
  const int size = ZeFileOpenSize(f);
  if (size < ZETEXANIM_HEADER) {
    ZeFileClose(f);
    ZeDebugMsg("ZeTexAnimProgRead: <%s> is too short for a program", name);
    return nullptr;
  }
  char* at = cursor ? Align4(*cursor) : static_cast<char*>(ZeMemAllocTagged(size));
  const int got = ZeFileRead(f, at, size);
  ZeFileClose(f);
  auto* p = reinterpret_cast<ZETEXANIMPROG*>(at);
  // The whole code must be in the file, and the export table within its record.
  if (got != size || p->codelen < 0 || size < ZETEXANIM_HEADER + 2 * p->codelen || p->xdefcount < 0 ||
      p->xdefcount > ZETEXANIM_XDEFS) {
    if (!cursor) ZeMemFreeTagged(at);
    ZeDebugMsg("ZeTexAnimProgRead: <%s> is not a whole program", name);
    return nullptr;
  }
  p->name[sizeof p->name - 1] = 0;  // names are compared as strings
  if (cursor) {
    *cursor = at + size;
    p->flags &= ~1;
  } else {
    p->flags |= 1;
  }
  Link(p);
  return p;
}

ZETEXANIMPROG* ZeTexAnimProgFind(const char* name) {
  for (ZETEXANIMPROG* p = ztap_first; p; p = p->next)
    if (ZeStrICmp(p->name, name) == 0) return p;
  return nullptr;
}

void ZeTexAnimProgDestroy(ZETEXANIMPROG* p) {
  if (p->prev) p->prev->next = p->next;
  else if (ztap_first == p) ztap_first = p->next;
  if (p->next) p->next->prev = p->prev;
  p->next = p->prev = nullptr;
  if (p->flags & 1) ZeMemFreeTagged(p);
}

void ZeTexAnimProgRelease() { ztap_first = nullptr; }

void ZeTexAnimProgSysInit() {
  ztap_first = nullptr;
  ZeTexAnimListInit();
  zta_globalcount = 0;
  memset(zta_globalnames, 0, sizeof zta_globalnames);
  ztsig_state = ztsig_on = ztsig_off = 0;
}
