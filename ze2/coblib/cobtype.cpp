// Character types: loading a COBINFO row's model and animations into the
// current memory context, owners and their use counts, and adoption of the
// data by another owner when the one whose buffer holds it leaves.
#include <cstdio>
#include <cstring>

#include "coblib.h"
#include "coblib_local.h"

COBTYPE cobtypes[COBTYPE_MAX];
const COBINFO* cobinfo;
int active_cobtypes;
COBMEMCONTEXT cobmemcontext;

namespace {

constexpr int kPathMax = INSTHGO_NAMELEN - 1;

COBTYPE* TypeOrFatal(int n, const char* caller) {
  if (n < 0 || n >= COBTYPE_MAX) ZeError("%s: cob type %d out of range", caller, n);
  return &cobtypes[n];
}

// "chars\\" + the row's path; a longer path than the pools hold is fatal
// (the game's paths are well below it).
void CharsPath(char* out, const char* path) {
  const int len = snprintf(out, kPathMax + 1, "chars\\%s", path);
  if (len < 0 || len > kPathMax) ZeError("cobtype path too long - %s", path);
}

void ClearOwners(COBTYPE* t) {
  for (int i = 0; i < COBTYPE_OWNERS; i++) {
    t->owners[i] = nullptr;
    t->labels[i] = nullptr;
    t->adopt[i] = nullptr;
    t->counts[i] = 0;
  }
}

void SetOwner(COBTYPE* t, int slot, int count) {
  t->owners[slot] = cobmemcontext.owner;
  t->labels[slot] = cobmemcontext.label;
  t->adopt[slot] = cobmemcontext.adopt;
  t->counts[slot] = count;
}

void AddOwnerUse(int n, COBTYPE* t) {
  t->usecount++;
  if (!cobmemcontext.position) return;
  void* owner = cobmemcontext.owner;
  for (int i = 0; i < COBTYPE_OWNERS; i++)
    if (t->counts[i] > 0 && t->owners[i].get() == owner) {
      t->counts[i]++;
      return;
    }
  for (int i = 1; i < COBTYPE_OWNERS; i++)
    if (t->counts[i] == 0) {
      SetOwner(t, i, 1);
      return;
    }
  ZeError("Warning - cobtype owner array is full! (type %d)", n);
}

void Load(int n, COBTYPE* t) {
  if (!cobinfo) ZeError("AddCobType: no character table (InitCobs)");
  const COBINFO* row = &cobinfo[n];
  const EePtr<const char>* list = row->anm;
  // A row the game's table leaves empty names no files: nothing to load.
  if (!list) {
    ZeDebugMsg("AddCobType: cob type %d has no files in the character table", n);
    return;
  }
  if (!list[0]) ZeError("AddCobType: cob type %d has no model", n);
  char** position = cobmemcontext.position;
  char* end = cobmemcontext.end;
  if (!position) ZeError("AddCobType: no memory context to load cob type %d into", n);
  active_cobtypes++;
  memset(t, 0, sizeof *t);
  t->tab = row->tab;
  t->fx = row->fx;
  t->info = const_cast<COBINFO*>(row);
  const float s = row->scale == 0.0f ? 1.0f : row->scale;
  t->scale = {s, s, s};
  t->radius = row->radius;
  t->centre = {0.0f, row->centreheight, 0.0f};
  t->orientation = row->orientation;

  char path[kPathMax + 1];
  CharsPath(path, list[0]);
  t->hgobj = InstHgoLoad(path, position, end);
  if (!t->hgobj) ZeError("unable to load creattype shape - %s", path);

  for (const EePtr<const char>* a = list + 1; *a; a += 2) {
    const int i = t->animcount;
    // The type's tables hold 64: a longer list is the table's fault, named.
    if (i >= COBTYPE_ANIMS) ZeError("cob type %d (%s) has more than %d animations", n, list[0].get(), COBTYPE_ANIMS);
    CharsPath(path, a[0]);
    t->anims[i] = InstAnimData2Load(path, position, end);
    if (t->anims[i] && t->anims[i]->nnodes != t->hgobj->njoint)
      ZeDebugMsg("Bad number of joints for animation <%s> on character <%s>", a[0].get(), list[0].get());
    if (a[1]) {
      CharsPath(path, a[1]);
      t->anims2[i] = InstAnimData2Load(path, position, end);
    }
    t->animcount++;
  }
  t->usecount = 1;
  ClearOwners(t);
  SetOwner(t, 0, 1);
  ZeDebugMsg("Added cobtype %d", n);
}

void Release(int n, COBTYPE* t) {
  ZeDebugMsg("Removing cobtype - %d", n);
  active_cobtypes--;
  for (int i = t->animcount - 1; i >= 0; i--) {
    InstAnimData2Destroy(t->anims[i]);
    InstAnimData2Destroy(t->anims2[i]);
  }
  InstHgoDestroy(t->hgobj);
  // A cob still bound to the released type finds no model and is skipped.
  memset(t, 0, sizeof *t);
}

// The holder has left while others still use the type: the first willing
// owner of slots 1-7 takes the data into its buffer.
void PutUpForAdoption(int n, COBTYPE* t) {
  if (!t->owners[0]) ZeError("cannot put a global cob (type %d) up for adoption", n);
  for (int i = 1; i < COBTYPE_OWNERS; i++) {
    if (t->counts[i] <= 0 || !t->adopt[i]) continue;
    EePtr<char>* cursor = nullptr;
    char* end = nullptr;
    void* owner = t->owners[i];
    if (!t->adopt[i].get()(owner, &cursor, &end)) continue;
    if (!cursor) ZeError("adoption of cob type %d gave no buffer", n);
    char* position = *cursor;
    CobRelocate(n, &position, end, owner);
    *cursor = position;
    ZeDebugMsg("Cob type %d relocated", n);
    return;
  }
  ZeError("unable to find willing adoptee for cob type %d", n);
}

}  // namespace

void InitCobs(const COBINFO* table) {
  cobinfo = table;
  memset(cobtypes, 0, sizeof cobtypes);
  active_cobtypes = 0;
  CobResetFrame();
  CobLocReset();
}

void CloseCobs() {
  for (int n = 0; n < COBTYPE_MAX; n++)
    if (cobtypes[n].usecount != 0) {
      cobtypes[n].usecount = 1;
      RemoveCobTypeEx(n, nullptr);
    }
}

void DestroyCobTypes() { CloseCobs(); }

void AddCobType(int n) {
  COBTYPE* t = TypeOrFatal(n, "AddCobType");
  if (t->usecount != 0)
    AddOwnerUse(n, t);
  else
    Load(n, t);
}

void RemoveCobType(int n) { RemoveCobTypeEx(n, nullptr); }

void RemoveCobTypeEx(int n, void* owner) {
  COBTYPE* t = TypeOrFatal(n, "RemoveCobTypeEx");
  if (t->usecount == 0) {
    ZeDebugMsg("Warning: Attempted to remove already released cobtype %d", n);
    return;
  }
  if (--t->usecount == 0) {
    Release(n, t);
    return;
  }
  int slot = -1;
  for (int i = 0; i < COBTYPE_OWNERS && slot < 0; i++)
    if (t->counts[i] > 0 && t->owners[i].get() == owner) slot = i;
  if (slot < 0 || --t->counts[slot] > 0) return;
  if (slot != 0) {
    t->owners[slot] = nullptr;
    t->labels[slot] = nullptr;
    t->adopt[slot] = nullptr;
    return;
  }
  PutUpForAdoption(n, t);
}

void CobRelocate(int n, char** position, char* end, void* owner) {
  COBTYPE* t = TypeOrFatal(n, "CobRelocate");
  if (!owner) {
    ZeDebugMsg("Warning - attempted to relocate cob type %d to global buffer (NULL)", n);
    return;
  }
  if (t->owners[0].get() == owner) {
    ZeDebugMsg("Warning - attempted to relocate cob type %d to its current buffer (%x)", n, EeAddrOf(owner));
    return;
  }
  ZeDebugMsg("Relocating Cob %d from %x to %x", n, t->owners[0].addr, EeAddrOf(owner));
  for (int i = 1; i < COBTYPE_OWNERS; i++)
    if (t->counts[i] > 0 && t->owners[i].get() == owner) {
      t->owners[0] = t->owners[i];
      t->labels[0] = t->labels[i];
      t->adopt[0] = t->adopt[i];
      t->counts[0] = t->counts[i];
      t->owners[i] = nullptr;
      t->labels[i] = nullptr;
      t->adopt[i] = nullptr;
      t->counts[i] = 0;
      break;
    }
  t->hgobj = InstHgoRelocate(t->hgobj, position, end);
  for (int i = 0; i < t->animcount; i++) {
    if (t->anims[i]) t->anims[i] = InstAnimData2Relocate(t->anims[i], position, end);
    if (t->anims2[i]) t->anims2[i] = InstAnimData2Relocate(t->anims2[i], position, end);
  }
}

void AddCobGetMemoryContext(COBMEMCONTEXT* context) { *context = cobmemcontext; }

void AddCobSetMemoryContext(const COBMEMCONTEXT* context) { cobmemcontext = *context; }

void AddCobTypeSetMemoryPointers(char** position, char* end, void* owner, COBADOPTFN* adopt, const char* label) {
  cobmemcontext.position = position;
  cobmemcontext.end = end;
  cobmemcontext.owner = owner;
  cobmemcontext.adopt = adopt;
  cobmemcontext.label = label;
}
