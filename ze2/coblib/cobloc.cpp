// Locators and joint overrides: the shared locator matrices and their
// chains, the frame's locator requests served after a cob is posed, and
// the two joint-override pools that switch at each logic step.
#include <cstring>

#include "coblib.h"
#include "coblib_local.h"

ZEMTX locmtx[COBLOC_MATRICES];
int freeloc;
int loclook[COBLOC_LOOKUP];
LOCATORREQ loclist[COBLOC_REQUESTS];
int locpt;
ZEJOINTANIM jointanim_pool[2][ZEJOINTANIM_POOLSIZE];
int jointanim_cnt[2];
EePtr<COB> cobjanimllist[2][ZEJOINTANIM_POOLSIZE];
int ncobjanims[2];
int jointanim_ix;

namespace {

constexpr int kNoFree = COBLOC_MATRICES + 1;  // the free chain's end

// Who made each request of the frame: a chain is trusted only as far as
// its entries are this frame's and the cob's own. A cob that was not
// queued keeps a stale head into the table, which the next frame reuses.
const COB* loclistcob[COBLOC_REQUESTS];
int loclookcount;  // the entries of loclook filled for the cob being served

float& Link(int index) { return locmtx[index - 1].m[0][3]; }

bool ValidIndex(int index) { return index >= 1 && index <= COBLOC_MATRICES; }

// The request's table entry when it is a live request of this cob, else -1.
int LiveEntry(const COB* cob, const LOCATORREQ* r) {
  if (!r) return -1;
  const int i = int(r - loclist);
  return i >= 0 && i < locpt && loclistcob[i] == cob ? i : -1;
}

// Takes the cob's request chain, leaving it empty.
LOCATORREQ* TakeRequests(COB* cob) {
  LOCATORREQ* r = cob->locreqs;
  cob->locreqs = nullptr;
  return LiveEntry(cob, r) >= 0 ? r : nullptr;
}

LOCATORREQ* NextRequest(const COB* cob, const LOCATORREQ* r) {
  LOCATORREQ* n = r->next;
  return LiveEntry(cob, n) >= 0 && n > r ? n : nullptr;  // entries only ever chain forwards
}

// Notes the cob's chain of matrices in loclook (at most the model's points).
void BuildLookup(const COB* cob, int npoint) {
  loclookcount = 0;
  int index = cob->loc;
  while (ValidIndex(index) && loclookcount < npoint && loclookcount < COBLOC_LOOKUP) {
    loclook[loclookcount++] = index;
    index = int(Link(index));
  }
}

void AddPosition(ZEMTX* m, const COB* cob, float sign) {
  for (int c = 0; c < 3; c++) m->m[3][c] += sign * cob->mtx.m[3][c];
}

// The stored matrix of a locator id with the cob's position added back;
// false when the id names no matrix of this cob.
bool StoredMatrix(const COB* cob, int id, ZEMTX* out) {
  const int ix = CobPointIndex(cob->type ? cob->type->hgobj.get() : nullptr, id);
  if (ix < 0 || ix >= loclookcount) return false;
  *out = locmtx[loclook[ix] - 1];
  out->m[0][3] = 0.0f;
  AddPosition(out, cob, 1.0f);
  return true;
}

void Serve(COB* cob, LOCATORREQ* r, const ZEMTX* m2, const ZEMTX* joints, int flags) {
  LOCATORINFO info;
  memset(&info, 0, sizeof info);
  info.flags = flags;
  if (r->locator == -1) {
    info.mtx = cob->mtx;
  } else if (!StoredMatrix(cob, r->locator, &info.mtx)) {
    // An id the model does not have: the cob's own matrix, never a read
    // outside the cob's chain.
    ZeDebugMsg("Locator %d not found on cob", r->locator);
    info.mtx = cob->mtx;
  } else if (m2) {
    ZeHGobjPOIMtxFromIX(cob->type->hgobj, CobPointIndex(cob->type->hgobj, r->locator), m2, joints, &info.mtx2);
    info.flags |= LOCINFO_MTX2;
  }
  if (!(info.flags & LOCINFO_MTX2)) info.mtx2 = info.mtx;
  info.cob = cob;
  info.data = r->data;
  info.locator = r->locator;
  if (r->callback) r->callback.get()(&info);
}

void ServeAll(COB* cob, const ZEMTX* m2, const ZEMTX* joints, int flags) {
  for (LOCATORREQ* r = TakeRequests(cob); r; r = NextRequest(cob, r)) Serve(cob, r, m2, joints, flags);
}

}  // namespace

int CobPointIndex(const ZEHGOBJ* h, int id) {
  if (!h || id < 0 || id >= h->pointmapsize || !h->pointmap) return -1;
  const int ix = h->pointmap[id];
  return ix < h->npoint ? ix : -1;
}

void CobLocReset() {
  for (int i = 0; i < COBLOC_MATRICES; i++) {
    ZeMtxSetIdentity(&locmtx[i]);
    locmtx[i].m[0][3] = -float(i + 2);  // the last links to 257: none
  }
  freeloc = 1;
  locpt = 0;
  loclookcount = 0;
  memset(loclistcob, 0, sizeof loclistcob);
  memset(jointanim_pool, 0, sizeof jointanim_pool);
  memset(jointanim_cnt, 0, sizeof jointanim_cnt);
  memset(cobjanimllist, 0, sizeof cobjanimllist);
  memset(ncobjanims, 0, sizeof ncobjanims);
  jointanim_ix = 0;
}

void CobLocTake(COB* cob) {
  const int n = cob->type->hgobj ? cob->type->hgobj->npoint : 0;
  cob->loc = 0;
  if (n == 0) return;
  // Count first: running short must leave the free chain as it was.
  int index = freeloc, have = 0;
  while (ValidIndex(index) && have < n) {
    have++;
    index = -int(Link(index));
  }
  if (have < n) {
    ZeDebugMsg("InitCob: out of locator matrices (%d needed, %d free)", n, have);
    return;
  }
  cob->loc = freeloc;
  index = freeloc;
  for (int k = 0; k < n; k++) {
    int next = -int(Link(index));
    if (!ValidIndex(next)) next = kNoFree;
    ZeMtxSetIdentity(&locmtx[index - 1]);
    Link(index) = k == n - 1 ? 0.0f : float(next);
    if (k == n - 1) freeloc = next;
    index = next;
  }
}

void FreeCobLocs(COB* cob) {
  cob->locreqs = nullptr;
  if (!ValidIndex(cob->loc)) {
    cob->loc = 0;
    return;
  }
  int index = cob->loc;
  for (int steps = 0; steps < COBLOC_MATRICES; steps++) {
    const int next = int(Link(index));
    if (!ValidIndex(next)) {
      Link(index) = -float(freeloc);
      break;
    }
    Link(index) = -float(next);
    index = next;
  }
  freeloc = cob->loc;
  // Cleared so that a second free cannot link the chain into itself.
  cob->loc = 0;
}

void RequestLocator(int locator, COB* cob, LOCATORFN* callback, void* data) {
  if (locpt >= COBLOC_REQUESTS) return;
  LOCATORREQ* r = &loclist[locpt];
  *r = {locator, nullptr, callback, data};
  loclistcob[locpt] = cob;
  locpt++;
  LOCATORREQ* last = LiveEntry(cob, cob->locreqs) >= 0 ? cob->locreqs.get() : nullptr;
  if (!last) {
    cob->locreqs = r;
    return;
  }
  while (LOCATORREQ* n = NextRequest(cob, last)) last = n;
  last->next = r;
}

void CheckLocators(COB* cob, const ZEMTX* m, const ZEMTX* m2, const ZEMTX* joints) {
  const ZEHGOBJ* h = cob->type ? cob->type->hgobj.get() : nullptr;
  loclookcount = 0;
  if (h && h->npoint > 0 && cob->loc) {
    BuildLookup(cob, h->npoint);
    for (int k = 0; k < loclookcount; k++) {
      ZEMTX& mtx = locmtx[loclook[k] - 1];
      const float link = mtx.m[0][3];
      ZeHGobjPOIMtxFromIX(h, k, m, joints, &mtx);
      mtx.m[0][3] = link;
      AddPosition(&mtx, cob, -1.0f);
    }
  }
  ServeAll(cob, m2, joints, 0);
}

void ManageLocators(COB* cob) {
  if (LiveEntry(cob, cob->locreqs) < 0) {
    cob->locreqs = nullptr;
    return;
  }
  const ZEHGOBJ* h = cob->type ? cob->type->hgobj.get() : nullptr;
  loclookcount = 0;
  if (h && cob->loc) BuildLookup(cob, h->npoint);
  ServeAll(cob, nullptr, nullptr, LOCINFO_LASTDRAW);
}

void GetCobMatrix(const COB* cob, int id, ZEMTX* out) {
  const ZEHGOBJ* h = cob->type ? cob->type->hgobj.get() : nullptr;
  loclookcount = 0;
  if (h && cob->loc) BuildLookup(cob, h->npoint);
  if (!StoredMatrix(cob, id, out)) *out = cob->mtx;
}

int CobAddJointAnims(COB* cob, int count, int persistent) { return CobAddJointAnimsEx(cob, count, persistent, 0); }

int CobAddJointAnimsEx(COB* cob, int count, int persistent, int next) {
  if (cob->jointanims) ZeError("Calling CobAddJointAnims twice for same cob.");
  const int p = next ? 1 - jointanim_ix : jointanim_ix;
  if (count < 0 || ZEJOINTANIM_POOLSIZE - jointanim_cnt[p] < count) {
    ZeDebugMsg("CobAddJointAnims:request failed, need to expand ZEJOINTANIM_POOLSIZE");
    return 0;
  }
  // The pool's cob list holds 64: a 65th cob (zero-record requests take an
  // entry too) would write past it.
  if (ncobjanims[p] >= ZEJOINTANIM_POOLSIZE) {
    ZeDebugMsg("CobAddJointAnims:request failed, too many cobs this step");
    return 0;
  }
  cob->njointanims = count;
  cob->jointanims = &jointanim_pool[p][jointanim_cnt[p]];
  jointanim_cnt[p] += count;
  cobjanimllist[p][ncobjanims[p]++] = cob;
  cob->flags = (cob->flags & ~uint32_t(COB_PERSIST)) | ((persistent & 1) ? uint32_t(COB_PERSIST) : 0u);
  return 1;
}

void CobJointAnimStartFrame() {
  const int p = jointanim_ix;
  for (int i = 0; i < ncobjanims[p]; i++) {
    COB* cob = cobjanimllist[p][i];
    if (!cob) continue;
    const ZEJOINTANIM* old = cob->jointanims;
    const int n = cob->njointanims;
    cob->jointanims = nullptr;
    cob->njointanims = 0;
    if ((cob->flags & COB_PERSIST) && CobAddJointAnimsEx(cob, n, 1, 1) && n > 0)
      memcpy(cob->jointanims.get(), old, sizeof(ZEJOINTANIM) * size_t(n));
  }
  ncobjanims[p] = 0;
  memset(cobjanimllist[p], 0, sizeof cobjanimllist[p]);
  if (jointanim_cnt[p] > 0) {
    memset(jointanim_pool[p], 0, sizeof jointanim_pool[p]);
    jointanim_cnt[p] = 0;
  }
  jointanim_ix = 1 - p;
}

void CobJointAnimForget(COB* cob) {
  for (int p = 0; p < 2; p++)
    for (int i = 0; i < ncobjanims[p]; i++)
      if (cobjanimllist[p][i].get() == cob) cobjanimllist[p][i] = nullptr;
  cob->jointanims = nullptr;
  cob->njointanims = 0;
}
