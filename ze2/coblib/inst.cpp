// Shared instance pools: one use-counted entry per loaded model or
// animation. The objects lie in their loaders' buffers; the pools never
// free that memory, only a model's other resources.
#include <cstring>

#include "coblib.h"

ZELST* insthgo_pool;
ZELST* instanim_pool;

namespace {

// An entry is shared only with a load into the same buffer: sharing a copy
// that lies in another owner's buffer would leave this owner pointing into
// memory released with that buffer.
template <class Entry>
bool SameBuffer(const Entry* e, char** position, char* end) {
  return e->position == position && e->end == end;
}

template <class Entry>
Entry* FindByPath(ZELST* pool, const char* path, char** position, char* end) {
  for (auto* e = static_cast<Entry*>(ZeLstGetNext(pool, nullptr)); e; e = static_cast<Entry*>(ZeLstGetNext(pool, e)))
    if (SameBuffer(e, position, end) && ZeStrICmp(e->name, path) == 0) return e;
  return nullptr;
}

INSTHGO* FindHgo(const ZEHGOBJ* hgobj) {
  if (!insthgo_pool || !hgobj) return nullptr;
  for (auto* e = static_cast<INSTHGO*>(ZeLstGetNext(insthgo_pool, nullptr)); e;
       e = static_cast<INSTHGO*>(ZeLstGetNext(insthgo_pool, e)))
    if (e->hgobj.get() == hgobj) return e;
  return nullptr;
}

INSTANIM* FindAnim(const ZEANIMDATA2* anim) {
  if (!instanim_pool || !anim) return nullptr;
  for (auto* e = static_cast<INSTANIM*>(ZeLstGetNext(instanim_pool, nullptr)); e;
       e = static_cast<INSTANIM*>(ZeLstGetNext(instanim_pool, e)))
    if (e->animdata.get() == anim) return e;
  return nullptr;
}

// Copies a path into a name field; a longer path is cut (callers keep to
// the limits; a cut name only stops later sharing).
void SetName(char* dst, int size, const char* path) {
  strncpy(dst, path, size_t(size - 1));
  dst[size - 1] = 0;
}

char* Up(char* p, uintptr_t align) {
  return reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(p) + align - 1) & ~(align - 1));
}

// A relocation of an entry that others still use leaves the old copy to
// them and makes a new entry for the moved copy.
template <class Entry>
Entry* SplitForMove(ZELST* pool, Entry* e, const char* what) {
  if (e->count <= 1) return e;
  auto* moved = static_cast<Entry*>(ZeLstAlloc(pool));
  if (!moved) ZeError("No free instance entry to relocate %s %s", what, e->name);
  *moved = *e;
  moved->count = 1;
  e->count--;
  return moved;
}

}  // namespace

void InstInit() {
  insthgo_pool = ZeLstCreate(INSTHGO_POOLSIZE, int(sizeof(INSTHGO)));
  if (!insthgo_pool) ZeError("Failed to alloc space for HGO instance pool");
  instanim_pool = ZeLstCreate(INSTANIM_POOLSIZE, int(sizeof(INSTANIM)));
  if (!instanim_pool) ZeError("Failed to alloc space for animdata instance pool");
}

void InstClose() {
  if (insthgo_pool) {
    for (auto* e = static_cast<INSTHGO*>(ZeLstGetNext(insthgo_pool, nullptr)); e;
         e = static_cast<INSTHGO*>(ZeLstGetNext(insthgo_pool, e)))
      ZeHGobjDestroy(e->hgobj);
    ZeLstDestroy(insthgo_pool);
    insthgo_pool = nullptr;
  }
  if (instanim_pool) {
    ZeLstDestroy(instanim_pool);
    instanim_pool = nullptr;
  }
}

ZEHGOBJ* InstHgoLoad(const char* path, char** position, char* end) {
  if (INSTHGO* e = FindByPath<INSTHGO>(insthgo_pool, path, position, end)) {
    e->count++;
    return e->hgobj;
  }
  auto* e = static_cast<INSTHGO*>(ZeLstAlloc(insthgo_pool));
  if (!e) return nullptr;
  ZeDebugMsg("InstHgoLoad: Adding %s", path);
  ZEHGOBJ* hgobj = ZeGHGRead(path, position, end);
  if (!hgobj) {
    ZeLstFree(e);
    return nullptr;
  }
  e->hgobj = hgobj;
  SetName(e->name, INSTHGO_NAMELEN, path);
  e->count = 1;
  e->position = position;
  e->end = end;
  return hgobj;
}

ZEHGOBJ* InstHgoRelocate(ZEHGOBJ* hgobj, char** position, char* end) {
  INSTHGO* e = FindHgo(hgobj);
  if (!e) ZeError("could not find hgobj instance - should not happen");
  // Room first: a copy that overruns the new buffer would already have
  // written past its end.
  const int64_t bytes = hgobj->imageend.get() - hgobj->imagestart.get();
  if (Up(*position, 16) + bytes > end) ZeError("Insufficient buffer space to relocate hgobj %s", e->name);
  const bool shared = e->count > 1;
  e = SplitForMove(insthgo_pool, e, "hgobj");
  ZEHGOBJ* moved = ZeGHGRelocate(hgobj, position);
  e->hgobj = moved;
  e->position = position;
  e->end = end;
  // The old copy's materials and textures stay while others draw it.
  if (!shared) ZeHGobjDestroy(hgobj);
  return moved;
}

void InstHgoDestroy(ZEHGOBJ* hgobj) {
  INSTHGO* e = FindHgo(hgobj);
  if (!e) return;
  if (--e->count > 0) return;
  ZeDebugMsg("InstHgoDestroy: Removing %s", e->name);
  ZeHGobjDestroy(hgobj);
  ZeLstFree(e);
}

ZEANIMDATA2* InstAnimData2Load(const char* path, char** position, char* end) {
  if (INSTANIM* e = FindByPath<INSTANIM>(instanim_pool, path, position, end)) {
    e->count++;
    return e->animdata;
  }
  auto* e = static_cast<INSTANIM*>(ZeLstAlloc(instanim_pool));
  if (!e) return nullptr;
  *position = Up(*position, 64);
  char* image = nullptr;
  ZEANIMDATA2* anim = ZeAnimData2LoadBuffEx(path, position, end, &image);
  if (!anim) {
    ZeLstFree(e);
    return nullptr;
  }
  e->image = image;
  e->animdata = anim;
  SetName(e->name, INSTANIM_NAMELEN, path);
  e->count = 1;
  e->position = position;
  e->end = end;
  return anim;
}

ZEANIMDATA2* InstAnimData2Relocate(ZEANIMDATA2* anim, char** position, char* end) {
  INSTANIM* e = FindAnim(anim);
  if (!e) ZeError("could not find animdata instance - should not happpen");
  const int32_t bytes = *reinterpret_cast<const int32_t*>(e->image.get());
  if (Up(*position, 16) + bytes > end) ZeError("Insufficient buffer space to relocate animdata %s", e->name);
  e = SplitForMove(instanim_pool, e, "animdata");
  char* image = e->image;
  e->animdata = ZeAnimData2Relocate(&image, position);
  e->image = image;
  e->position = position;
  e->end = end;
  return e->animdata;
}

void InstAnimData2Destroy(ZEANIMDATA2* anim) {
  INSTANIM* e = FindAnim(anim);
  if (!e) return;
  if (--e->count > 0) return;
  ZeLstFree(e);
}
