// The texture-animation processor: environments that run compiled programs
// one pass a frame and write texture ids into materials, texture-animation
// records and their chains, the active list of 64 nodes (changed with the
// vertical blank held, since the loader thread adds and removes chains),
// and the signal word.
#include "ze3d.h"
#include "zetexanm_local.h"

#include <bit>
#include <cstring>

ZETEXANIMLIST ztalsysbuff[ZETEXANIM_NODES];
ZETEXANIMLIST* ztal_free = nullptr;
ZETEXANIMLIST* ztal_first = nullptr;
uint32_t ztsig_state = 0, ztsig_on = 0, ztsig_off = 0;

void ZeTexAnimListInit() {
  ztal_first = nullptr;
  ztal_free = nullptr;
  for (int i = ZETEXANIM_NODES - 1; i >= 0; i--) {
    ztalsysbuff[i] = {};
    ztalsysbuff[i].next = ztal_free;
    ztal_free = &ztalsysbuff[i];
  }
}

namespace {

char* Align4(char* p) { return reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(p) + 3) & ~uintptr_t(3)); }

// A record at the cursor rounded up to 4 (advanced past it), or from the
// heap with *heap set.
void* Take(char** cursor, int size, bool* heap) {
  void* p;
  if (cursor) {
    char* at = Align4(*cursor);
    *cursor = at + size;
    p = at;
  } else {
    p = ZeMemAllocTagged(size);
    if (!p) return nullptr;
  }
  *heap = !cursor;
  memset(p, 0, size_t(size));
  return p;
}

int Random(int r) { return r ? ZeRand(nullptr) % r : 0; }

bool Compare(int curtex, int value, int condition) {
  switch (condition) {
    case 0: return curtex == value;
    case 1: return curtex < value;
    case 2: return curtex > value;
    case 3: return curtex <= value;
    case 4: return curtex >= value;
    case 5: return curtex != value;
    default: ZeError("unknown condition code %d", condition);
  }
  return false;
}

// Writes the current list entry into the material; a negative index, or
// one past a list of known length, leaves the texture as it was.
void SetTexture(ZETEXANIMENV* e) {
  if (e->curtex < 0 || (e->ntex >= 0 && e->curtex >= e->ntex)) {
    ZeDebugMsg("TexAnim: texture index %d outside a list of %d", e->curtex, e->ntex);
    return;
  }
  if (e->mtl) e->mtl->texture = ZETEXID(e->texids[e->curtex]);
}

void AfterTexture(ZETEXANIMENV* e) { e->wait = e->rate + Random(e->raterand); }

void Jump(ZETEXANIMENV* e, int pc) {
  e->pc = pc;
  e->wait = e->calldepth = e->repdepth = 0;
}

// Sends every other environment on the active list whose program exports
// global label g to that entry point.
void CrossReference(const ZETEXANIMENV* self, int g) {
  for (ZETEXANIMLIST* n = ztal_first; n; n = n->next)
    for (ZETEXANIM* a = n->chain; a; a = a->next) {
      ZETEXANIMENV* e = a->env;
      if (!e || e == self || !e->prog) continue;
      const ZETEXANIMPROG* p = e->prog;
      const int count = p->xdefcount < ZETEXANIM_XDEFS ? p->xdefcount : ZETEXANIM_XDEFS;
      for (int i = 0; i < count; i++)
        if (p->xdefid[i] == g) {
          Jump(e, p->xdefoff[i]);
          break;
        }
    }
}

uint32_t Lowest(uint32_t bits) { return uint32_t(std::countr_zero(bits)); }

}  // namespace

ZETEXANIMENV* ZeTexAnimEnvCreate(char** cursor, ZEMTL* mtl, int16_t* texids, ZETEXANIMPROG* prog, int ntex) {
  bool heap = false;
  auto* e = static_cast<ZETEXANIMENV*>(Take(cursor, sizeof(ZETEXANIMENV), &heap));
  if (!e) return nullptr;
  e->prog = prog;
  e->mtl = mtl;
  e->texids = texids;
  e->ntex = ntex;
  e->flags = heap ? 1 : 0;
  return e;
}

void ZeTexAnimEnvDestroy(ZETEXANIMENV* e) {
  if (e->flags & 1) ZeMemFreeTagged(e);
}

void ZeTexAnimEnvReset(ZETEXANIMENV* e) {
  if (!e) return;
  e->curtex = e->pc = e->repdepth = e->calldepth = e->rate = e->raterand = e->wait = 0;
}

void ZeTexAnimEnvProc(ZETEXANIMENV* e) {
  const ZETEXANIMPROG* p = e->prog;
  if (!p) return;
  // Off handlers first, then on handlers: an on handler wins.
  if (uint32_t bits = ztsig_off & p->offmask) Jump(e, p->off[Lowest(bits)]);
  if (uint32_t bits = ztsig_on & p->onmask) Jump(e, p->on[Lowest(bits)]);
  if (e->wait) {
    e->wait--;
    return;
  }
  const int16_t* code = ZeTexAnimCode(p);
  const int len = p->codelen;
  // Only tex, texadj, wait and end end a pass; anything else that would
  // loop for ever or run off the code ends it here with a message.
  for (int step = 0; step < ZETEXANIM_BUDGET; step++) {
    const int pc = e->pc;
    const int op = pc >= 0 && pc < len ? code[pc] : -1;
    const int need = op == ZTA_RET || op == ZTA_REPEND || op == ZTA_END ? 1
                     : op == ZTA_TEX || op == ZTA_GOTO || op == ZTA_GOSUB || op == ZTA_XREF ? 2
                     : op == ZTA_WAIT || op == ZTA_RATE || op == ZTA_REPEAT || op == ZTA_UNTILTEX ? 3
                     : op == ZTA_TEXADJ || op == ZTA_BTEX ? 4 : 0;
    if (op < 0 || pc + need > len) {
      ZeDebugMsg("TexAnim: pc %d outside the code (%d words)", pc, len);
      return;
    }
    const int16_t* w = code + pc;
    switch (op) {
      case ZTA_TEX:
        e->curtex = w[1];
        SetTexture(e);
        e->pc = pc + 2;
        AfterTexture(e);
        return;
      case ZTA_TEXADJ: {
        int t = e->curtex + w[1];
        if (t < w[2]) t = w[2];
        if (t > w[3]) t = w[3];
        e->curtex = t;
        SetTexture(e);
        e->pc = pc + 4;
        AfterTexture(e);
        return;
      }
      case ZTA_WAIT:
        e->wait = w[1] + Random(w[2]);
        e->pc = pc + 3;
        return;
      case ZTA_RATE:
        e->rate = w[1];
        e->raterand = w[2];
        e->pc = pc + 3;
        break;
      case ZTA_GOTO:
        e->pc = w[1];
        break;
      case ZTA_GOSUB:
        if (e->calldepth >= ZETEXANIM_DEPTH) ZeError("TexAnim Processor Alert: Call Stack Overflow at (%d)", pc);
        e->callstack[e->calldepth++] = pc + 2;
        e->pc = w[1];
        break;
      case ZTA_BTEX:
        e->pc = Compare(e->curtex, w[2], w[1]) ? w[3] : pc + 4;
        break;
      case ZTA_RET:
        if (e->calldepth <= 0) ZeError("TexAnim Processor Alert: Call Stack Underflow at (%d)", pc);
        e->pc = e->callstack[--e->calldepth];
        break;
      case ZTA_REPEAT:
        if (e->repdepth >= ZETEXANIM_DEPTH)
          ZeError("TexAnim Processor Alert: Too Many Nested Repeat Loops at (%d)", pc);
        e->repcount[e->repdepth] = w[1] + Random(w[2]);
        e->repstart[e->repdepth] = pc + 3;
        e->repdepth++;
        e->pc = pc + 3;
        break;
      case ZTA_REPEND: {
        if (e->repdepth <= 0) ZeError("TexAnim Processor Alert: REPEND without REPEAT at (%d)", pc);
        int32_t& count = e->repcount[e->repdepth - 1];
        if (count != 0) {
          count = int32_t(uint32_t(count) - 1);  // a count of -1 runs on (and wraps without overflow)
          e->pc = e->repstart[e->repdepth - 1];
        } else {
          e->repdepth--;
          e->pc = pc + 1;
        }
        break;
      }
      case ZTA_UNTILTEX: {
        if (e->repdepth <= 0) ZeError("TexAnim Processor Alert: UNTILTEX without REPEAT at (%d)", pc);
        int32_t& count = e->repcount[e->repdepth - 1];
        if (Compare(e->curtex, w[2], w[1]) || count == 0) {
          e->repdepth--;
          e->pc = pc + 3;
        } else {
          count = int32_t(uint32_t(count) - 1);
          e->pc = e->repstart[e->repdepth - 1];
        }
        break;
      }
      case ZTA_END:
        return;
      case ZTA_XREF:
        CrossReference(e, w[1]);
        e->pc = pc + 2;
        break;
      default:
        ZeDebugMsg("TexAnim: unknown opcode %d at (%d)", op, pc);
        return;
    }
  }
  ZeDebugMsg("TexAnim: no tex, texadj, wait or end in %d instructions at (%d)", ZETEXANIM_BUDGET, e->pc);
}

ZETEXANIM* ZeTexAnimCreate(char** cursor, ZETEXANIMPROG* prog, ZEMTL* mtl, const int16_t* texids, int count) {
  ZEASSERT(count >= 0 && count <= 0x7fff);
  bool heap = false;
  auto* a = static_cast<ZETEXANIM*>(Take(cursor, int(sizeof(ZETEXANIM)) + 2 * count, &heap));
  if (!a) return nullptr;
  // Marked when taken from the heap, so that ZeTexAnimDestroy frees it.
  a->flags = heap ? 1 : 0;
  auto* ids = reinterpret_cast<int16_t*>(a + 1);
  if (count) memcpy(ids, texids, 2 * size_t(count));
  a->texids = ids;
  a->ntex = int16_t(count);
  a->mtl = mtl;
  a->env = ZeTexAnimEnvCreate(cursor, mtl, ids, prog, count);
  return a;
}

void ZeTexAnimDestroy(ZETEXANIM* a) {
  if (a->env && (a->env->flags & 1)) ZeTexAnimEnvDestroy(a->env);
  if (a->flags & 1) ZeMemFreeTagged(a);
}

ZETEXANIM* ZeTexAnimFind(ZETEXANIM* chain, const char* name) {
  for (ZETEXANIM* a = chain; a; a = a->next)
    if (a->name && ZeStrICmp(a->name, name) == 0) return a;
  return nullptr;
}

void ZeTexAnimAddList(ZETEXANIM* chain) {
  ZeDisableVBlank();
  if (ZETEXANIMLIST* n = ztal_free) {
    ztal_free = n->next;
    n->chain = chain;
    n->prev = nullptr;
    n->next = ztal_first;
    if (ztal_first) ztal_first->prev = n;
    ztal_first = n;
  }
  ZeEnableVBlank();
}

void ZeTexAnimRemoveList(ZETEXANIM* chain) {
  ZeDisableVBlank();
  for (ZETEXANIMLIST* n = ztal_first; n; n = n->next) {
    if (n->chain != chain) continue;
    if (n->prev) n->prev->next = n->next;
    else ztal_first = n->next;
    if (n->next) n->next->prev = n->prev;
    n->chain = nullptr;
    n->prev = nullptr;
    n->next = ztal_free;
    ztal_free = n;
    break;
  }
  ZeEnableVBlank();
}

void ZeTexAnimProcessList(ZETEXANIM* chain) {
  for (ZETEXANIM* a = chain; a; a = a->next)
    if (a->env) ZeTexAnimEnvProc(a->env);
}

void ZeTexAnimProcess() {
  for (ZETEXANIMLIST* n = ztal_first; n; n = n->next) ZeTexAnimProcessList(n->chain);
}

void ZeTexAnimResetList(ZETEXANIM* chain) {
  for (ZETEXANIM* a = chain; a; a = a->next) ZeTexAnimEnvReset(a->env);
}

void ZeTexAnimRestart() {
  for (ZETEXANIMLIST* n = ztal_first; n; n = n->next) ZeTexAnimResetList(n->chain);
}

void ZeTexAnimSetSignals(uint32_t value) {
  ztsig_off = ztsig_state & ~value;
  ztsig_on = ~ztsig_state & value;
  ztsig_state = value;
}
