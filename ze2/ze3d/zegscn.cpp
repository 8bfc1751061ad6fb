// Scene files: read whole or in steps into the caller's buffer at a
// 128-byte address, then fixed up in place block by block. Only the scene
// record, small tables and the spline copies are placed behind the image.
// Every index the file holds is checked before it is used.
#include <cmath>
#include <cstdio>

#include "zegscn_local.h"

int zegscn_mtlupdate_enabled = 1;

namespace {

// One load at a time.
struct GscnLoadState {
  char* bufstart;
  char* end;         // the caller's end
  char** pos;        // the caller's position variable
  char* allocend;    // the caller's end, or the workspace end
  char* tmpstart;    // temporary workspace, or null
  char* tmpend;
  char* image;
  int size;
  char name[256];
  ZEGSCENE* scene;
  int remaining;     // staggered load: bytes still to read
  ZEFILE file;
  int step;
  char* write;
};
GscnLoadState g_load;

char* AlignUp(char* p, int align) {
  const uintptr_t a = uintptr_t(align) - 1;
  return reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(p) + a) & ~a);
}

// Starts a load: the buffer start, the caller's variables and the image
// address at the next 128-byte boundary.
char* BeginLoad(char** position, char* end, const char* name) {
  *position = AlignUp(*position, 16);
  g_load.bufstart = *position;
  g_load.end = end;
  g_load.pos = position;
  g_load.allocend = g_load.tmpstart ? g_load.tmpend : end;
  snprintf(g_load.name, sizeof g_load.name, "%s", name);
  char* image = AlignUp(*position, ZEGSCN_ALIGN);
  if (image >= g_load.allocend) GSCN_FATAL("ZeGScnBufferAllocAligned failed, scene buffer overrun. ");
  *position = image;
  g_load.image = image;
  g_load.size = 0;
  return image;
}

const char* BlockName(int id) {
  static const struct {
    const char* id;
    const char* name;
  } names[] = {{"TST0", "TEXSET"},   {"TST2", "TEXSET2"},      {"MS00", "MTLSET"},   {"MS02", "MTLSET2"},
               {"OBJ0", "OBJSET"},   {"INST", "INSTSET"},      {"IABL", "INSTANIMBLOCK"},
               {"INID", "INSTIDS"},  {"NTBL", "NAMETABLE"},    {"SPEC", "SPECIALSET"},
               {"SST0", "SPLINESET"}, {"TAS0", "TEXANIMSET"}, {"ALIB", "ANIMLIB"}};
  for (const auto& n : names)
    if (memcmp(&id, n.id, 4) == 0) return n.name;
  return "unknown";
}

}  // namespace

// ---- buffer allocation -----------------------------------------------------

void* ZeGScnBufferAllocAligned(int64_t size, int align) {
  char* p = AlignUp(*g_load.pos, align);
  if (size < 0 || size >= g_load.allocend - p) GSCN_FATAL("ZeGScnBufferAllocAligned failed, scene buffer overrun. ");
  *g_load.pos = p + size;
  return p;
}

// Taken from the top; GscnTempRelease puts the end back.
void* GscnTempAlloc(int size, int align) {
  const char* low = g_load.tmpstart ? g_load.tmpstart : *g_load.pos;
  if (size < 0 || int64_t(size) + align >= g_load.allocend - low) GSCN_FATAL("Temp buffer underrun");
  char* p = g_load.allocend - size;
  p = reinterpret_cast<char*>(reinterpret_cast<uintptr_t>(p) & ~(uintptr_t(align) - 1));
  g_load.allocend = p;
  return p;
}

void GscnTempRelease(char* end) { g_load.allocend = end; }
char* GscnAllocEnd() { return g_load.allocend; }
char* GscnImage() { return g_load.image; }
int GscnImageSize() { return g_load.size; }

void ZeGScnSetTmpWkspc(char* start, char* end) {
  g_load.tmpstart = start;
  g_load.tmpend = start ? end : nullptr;
}

void DbgBlkType(int id) { ZeDebugMsg("Tod %d Block Type = %s", int(TimerGetCount(0)), BlockName(id)); }

// ---- loads -------------------------------------------------------------------

int ZeGScnLoad(char** position, char* end, const char* name) {
  char* image = BeginLoad(position, end, name);
  g_load.remaining = 0;
  g_load.size = ZeFileLoadBuffer(name, image, int(end - image));
  return g_load.size;
}

int ZeGScnStaggeredLoad(char** position, char* end, const char* name, int step) {
  if (g_load.remaining == 0) {
    char* image = BeginLoad(position, end, name);
    const int size = ZeFileSize(name);
    if (size <= 0) GSCN_FATAL("Unable to open staggered gsc file \"%s\" for file size", name);
    // The image must fit before the first byte is written.
    if (int64_t(size) >= g_load.allocend - image) GSCN_FATAL("GSC File too large, \"%s\" ", name);
    g_load.file = ZeFileOpen(name, 0);
    if (!g_load.file) GSCN_FATAL("Unable to open staggered gsc file \"%s\" for reading", name);
    if (step < 1) step = 1;
    g_load.step = int((int64_t(step) + ZEGSCN_STEP_ROUND - 1) / ZEGSCN_STEP_ROUND * ZEGSCN_STEP_ROUND);
    g_load.write = image;
    g_load.size = size;
    g_load.remaining = size;
  }
  const int n = g_load.remaining < g_load.step ? g_load.remaining : g_load.step;
  if (ZeFileRead(g_load.file, g_load.write, n) != n) GSCN_FATAL("failed to read entire gsc file for some reason");
  g_load.write += n;
  g_load.remaining -= n;
  if (g_load.remaining == 0) {
    ZeFileClose(g_load.file);
    g_load.file = 0;
  }
  return g_load.remaining;
}

ZEGSCENE* ZeGScnRead(char** position, char* end, const char* name) {
  if (ZeGScnLoad(position, end, name) == 0) return nullptr;
  return ZeGScnLoadFix();
}

// ---- fix-up ----------------------------------------------------------------

ZEGSCENE* ZeGScnLoadFix() {
  g_load.scene = nullptr;
  TimerSetCount(0, 0);
  if (g_load.size == 0) return nullptr;
  // Claim the image: it lands exactly where it was read.
  if (int64_t(g_load.size) >= g_load.allocend - g_load.image) GSCN_FATAL("GSC File too large, \"%s\" ", g_load.name);
  ZeGScnBufferAllocAligned(g_load.size, 16);
  auto* scene = static_cast<ZEGSCENE*>(ZeGScnBufferAllocAligned(sizeof(ZEGSCENE), 4));
  memset(static_cast<void*>(scene), 0, sizeof *scene);
  g_load.scene = scene;
  scene->portals.camroom = -1;

  const ZEFILE f = ZeMemFileOpen(g_load.image, g_load.size, 0);
  if (!f) GSCN_FATAL("GSC file \"%s\": no memory file free", g_load.name);
  ZeFileBeginBlkRead(f, GscnBlkId("ZE20"));
  // Inner blocks are checked against the outer one: it must fit the file.
  if (ZeFileGetBlkSize() > g_load.size)
    GSCN_FATAL("GSC file damaged: \"%s\" is %d bytes, its outer block %d", g_load.name, g_load.size, ZeFileGetBlkSize());
  int head[2] = {0, 0};
  if (ZeFileRead(f, head, 8) != 8) GSCN_FATAL("GSC file damaged: \"%s\" has no version", g_load.name);
  if (head[0] < ZEGSCN_VERSION) GSCN_FATAL("GSC File out of date - need newer \"%s\" file", g_load.name);
  if (head[0] > ZEGSCN_VERSION) GSCN_FATAL("Loader out of date - need newer 3D");
  uint32_t seen = 0;
  for (int id; (id = ZeFileBeginBlkRead(f, 0)) != 0;) {
    DbgBlkType(id);
    auto* body = static_cast<uint8_t*>(ZeMemFileAddr(f));
    GscnRd rd{body, body, body + (ZeFileGetBlkSize() - 8), nullptr};
    GscnFixBlock(id, rd, scene, &seen);
    ZeFileEndBlkRead(f);
  }
  ZeFileEndBlkRead(f);
  ZeMemFileClose(f);
  GscnCheckScene(scene);
  *g_load.pos = AlignUp(*g_load.pos, 16);
  return scene;
}

ZEGSCENE* ZeGScnDuplicate(const ZEGSCENE* scene, char** position) {
  auto place = [&](const void* src, size_t bytes) {
    char* p = AlignUp(*position, 16);
    if (bytes) memcpy(p, src, bytes);
    *position = p + bytes;
    return p;
  };
  auto* copy = reinterpret_cast<ZEGSCENE*>(place(scene, sizeof *scene));
  auto* insts = reinterpret_cast<ZEGSCNINST*>(place(scene->insts.get(), size_t(scene->ninst) * sizeof(ZEGSCNINST)));
  auto* specs =
      reinterpret_cast<ZESPECIALOBJ*>(place(scene->specs.get(), size_t(scene->nspec) * sizeof(ZESPECIALOBJ)));
  copy->insts = scene->ninst ? insts : nullptr;
  copy->specs = scene->nspec ? specs : nullptr;
  copy->portals.insts = copy->insts;
  copy->prelight.insts = copy->insts;
  for (int i = 0; i < scene->nspec; i++) {
    const ZESPECIALOBJ& s = scene->specs[i];
    if (s.inst) specs[i].inst = insts + (s.inst.get() - scene->insts.get());
  }
  return copy;
}
