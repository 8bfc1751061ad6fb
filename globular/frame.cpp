// Frames: the tree of rigid coordinate frames the planet world keeps its
// positions in, and the matrices that carry coordinates between any two.
#include "globular.h"

namespace {

ZEMEMBLK* frame_pool = nullptr;
FRAME* frame_root = nullptr;

// The chain from f up to the root, f first; more than the deepest allowed
// chain is a fatal error.
int Ancestors(FRAME* f, FRAME** list) {
  int n = 0;
  for (; f; f = f->parent) {
    ZEASSERT(n < FRAME_MAXDEPTH);
    list[n++] = f;
  }
  return n;
}

FRAME* Common(FRAME* a, FRAME* b) {
  FRAME* list[FRAME_MAXDEPTH];
  int n = Ancestors(a, list);
  for (FRAME* f = b; f; f = f->parent)
    for (int i = 0; i < n; i++)
      if (list[i] == f) return f;
  return nullptr;
}

// The matrix carrying f's coordinates into its ancestor a.
void ToAncestor(FRAME* f, FRAME* a, ZEMTX* out) {
  ZeMtxSetIdentity(out);
  for (; f != a; f = f->parent) {
    ZEASSERT(f->parent);
    ZeMtxMul(out, out, &f->mtx);
  }
}

bool Aligned(const void* p) { return (reinterpret_cast<uintptr_t>(p) & 15) == 0; }

}  // namespace

void FrameInit(char** position, char* end) {
  ZeDebugMsg("Initialising Frame...");
  ZEASSERT(!frame_pool);
  char* pos = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(*position) + 15) & ~uintptr_t(15));
  int size = ZeMemBlkSize(sizeof(FRAME), FRAME_POOL, 15);
  ZEASSERT(pos + size < end);
  frame_pool = ZeMemBlkCreateEx(sizeof(FRAME), FRAME_POOL, 15, pos);
  *position = pos + size;
  frame_root = static_cast<FRAME*>(ZeMemBlkAlloc(frame_pool));
  *frame_root = FRAME{};
  ZeMtxSetIdentity(&frame_root->mtx);
  ZeDebugMsg("Initialising Frame Done");
}

void FrameClose() {
  if (frame_root) FrameDestroy(frame_root);
  frame_root = nullptr;
  frame_pool = nullptr;
}

FRAME* FrameGetRoot() { return frame_root; }

FRAME* FrameCreate(FRAME* parent) {
  ZEASSERT(frame_pool);
  auto* f = static_cast<FRAME*>(ZeMemBlkAlloc(frame_pool));
  // Every node in use: a fatal error rather than a frame written at null.
  if (!f) ZeError("Frame pool full (%d frames)", FRAME_POOL);
  *f = FRAME{};
  ZeMtxSetIdentity(&f->mtx);
  FrameAttach(f, parent ? parent : frame_root);
  return f;
}

void FrameDestroy(FRAME* frame) {
  FrameDetach(frame);
  while (FRAME* c = frame->child) FrameDestroy(c);
  ZeMemBlkFree(frame_pool, frame);
}

void FrameAttach(FRAME* frame, FRAME* parent) {
  FrameDetach(frame);
  frame->parent = parent;
  frame->prev = nullptr;
  frame->next = parent->child;
  if (parent->child) parent->child->prev = frame;
  parent->child = frame;
}

void FrameDetach(FRAME* frame) {
  FRAME* parent = frame->parent;
  if (!parent) return;
  if (parent->child == frame) parent->child = frame->next;
  if (frame->prev) frame->prev->next = frame->next;
  if (frame->next) frame->next->prev = frame->prev;
  frame->parent = nullptr;
  frame->next = nullptr;
  frame->prev = nullptr;
}

FRAME* FrameFindCommonParent(FRAME* a, FRAME* b) {
  if (a->parent == b->parent) return a->parent;
  return Common(a, b);
}

void FrameXfm(FRAME* target, FRAME* source, ZEMTX* out) {
  ZEASSERT(Aligned(out) && Aligned(&target->mtx) && Aligned(&source->mtx));
  if (source->parent == target) {
    *out = source->mtx;
  } else if (target->parent == source) {
    ZeMtxInv(out, &target->mtx);
  } else if (target->parent == source->parent) {
    ZEMTX inv;
    ZeMtxInv(&inv, &target->mtx);
    ZeMtxMul(out, &source->mtx, &inv);
  } else {
    FRAME* a = Common(target, source);
    ZEASSERT(a);
    ZEMTX s, t, inv;
    ToAncestor(source, a, &s);
    ToAncestor(target, a, &t);
    ZeMtxInv(&inv, &t);
    ZeMtxMul(out, &s, &inv);
  }
}

void FrameRemapMtx(FRAME* target, ZEMTX* out, FRAME* source, const ZEMTX* in) {
  ZEASSERT(Aligned(out) && Aligned(in));
  ZEMTX x;
  FrameXfm(target, source, &x);
  ZeMtxMul(out, in, &x);
}

void FrameRemapPos(FRAME* target, ZEVEC* out, FRAME* source, const ZEVEC* in) {
  ZEMTX x;
  FrameXfm(target, source, &x);
  ZeVecMtxTransform(out, in, &x);
}

void FrameRemapDir(FRAME* target, ZEVEC* out, FRAME* source, const ZEVEC* in) {
  ZEMTX x;
  FrameXfm(target, source, &x);
  ZeVecMtxRotate(out, in, &x);
}
