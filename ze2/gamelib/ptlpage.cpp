// Effect pages: loading an effect file's types (and a level's placed
// emitters) into one of eight pages, starting, stopping and clearing pages,
// and the editor's nearest emitter. Also the writer of effect files.
#include <cstring>

#include "debris_local.h"

int edpp_page_used[EDPP_PAGES];
const ZEGSCENE* edpp_page_scene[EDPP_PAGES];
PlacedEmitter edpp_ptls[EDPP_EMITTERS];
int edpp_instances_used = 0, edpp_num_orphans = 0, edpp_nearest = -1, edpp_create_type = -1;
ZEVEC edpp_cam_pos;

namespace {

int g_lastTypeSlot = 0, g_lastEmitterSlot = -1;

void EmitterIo(DebIo& io, PlacedEmitter* e, int v) {
  io.Vec(e->pos);
  if (v >= 7) {
    io.I16(e->orient_z), io.I16(e->orient_y);
    io.I16(e->emit_a), io.I16(e->emit_b);
  } else {
    int32_t a = e->emit_a, b = e->emit_b;
    io.I32(a), io.I32(b);
    e->emit_a = int16_t(a), e->emit_b = int16_t(b);
  }
  if (v >= 22) io.I16(e->emit_c);
  if (v >= 8) io.I32(e->start_offset);
  io.Bytes(e->name, 16);
  if (v >= 9) io.I32(e->trigger_kind), io.I32(e->switch_id), io.F(e->switch_value);
  if (v >= 12) io.I16(e->refl_a), io.I16(e->refl_b), io.F(e->plane_offset);
  if (v >= 13) io.F(e->bounce);
  if (v >= 15) io.I16(e->group);
}

float Dist2(const ZEVEC& a, const ZEVEC& b) {
  const float x = a.x - b.x, y = a.y - b.y, z = a.z - b.z;
  return x * x + y * y + z * z;
}

// The next empty type slot, searching on from the one last used.
int NextTypeSlot() {
  for (int n = 0; n < DEB_TYPES - 1; n++) {
    const int i = 1 + (g_lastTypeSlot + n) % (DEB_TYPES - 1);
    if (!debtab[i]) return g_lastTypeSlot = i;
  }
  return -1;
}

int NextEmitterSlot() {
  for (int n = 0; n < EDPP_EMITTERS; n++) {
    const int i = (g_lastEmitterSlot + 1 + n) % EDPP_EMITTERS;
    if (edpp_ptls[i].key == -1) return g_lastEmitterSlot = i;
  }
  return -1;
}

// Starts one placed emitter with the type found (or leaves it stopped).
void StartEmitter(PlacedEmitter* e, int type) {
  e->key = -1;
  e->type = type;
  AddDebrisEffect(&e->key, type, e->pos.x, e->pos.y, e->pos.z);
  if (e->key == -1) {
    e->key = EDPP_STOPPED;
    return;
  }
  DebrisOrientation(e->key, e->orient_z, e->orient_y);
  DebrisEmitterOrientation(e->key, e->emit_a, e->emit_b, e->emit_c);
  DebrisStartOffset(e->key, e->start_offset);
  DebrisSetTrigger(e->key, e->trigger_kind, e->switch_id, e->switch_value);
  DebrisReflectionOrientation(e->key, e->refl_a, e->refl_b, e->plane_offset, e->bounce);
  DebrisSetGroupID(e->key, e->group);
  DebrisSetRoomID(e->key, e->page >= 0 && e->page < EDPP_PAGES ? edpp_page_scene[e->page] : nullptr);
}

bool Running(const PlacedEmitter& e) { return e.key != -1 && e.key != EDPP_STOPPED; }

// Every running key of the type and its orphans stop drawing now.
void FreeTypeInstantly(int type) {
  for (int k = 0; k < DEB_KEYS; k++)
    if (debkeydata[k].type == type) {
      int key = k;
      DebFreeInstantly(&key);
    }
  DebFreeOrphansInstantly(type);
}

}  // namespace

void FileLoadSingleEmitter(PlacedEmitter* e, int version) {
  memset(e, 0, sizeof *e);
  e->switch_id = -1;
  e->bounce = 0.9f;
  DebIo io{false};
  EmitterIo(io, e, version);
}

void FileSaveSingleEmitter(const PlacedEmitter* e, int version) {
  PlacedEmitter copy = *e;
  DebIo io{true};
  EmitterIo(io, &copy, version);
}

int edppSaveFile(const char* name, int version, const DebrisEffectType* types, int ntypes,
                 const PlacedEmitter* emitters, int nemitters) {
  EdFileSetMedia(EDFILE_MEDIA_HOST);
  if (!EdFileOpen(name, 1)) return 0;
  EdFileWriteInt(version);
  EdFileWriteInt(ntypes);
  for (int i = 0; i < ntypes; i++) FileSaveSingleEffectType(&types[i], version);
  if (emitters) {
    EdFileWriteInt(nemitters);
    for (int i = 0; i < nemitters; i++) FileSaveSingleEmitter(&emitters[i], version);
  }
  return EdFileClose();
}

int edppLoadPage(const char* name, int kind, const ZEGSCENE* scene) {
  int page = kind == 0 ? 0 : -1;
  for (int p = 1; p < EDPP_PAGES && page < 0; p++)
    if (!edpp_page_used[p]) page = p;
  if (page < 0) return -1;
  // Effect files come from the medium itself, never from the current archive.
  EdFileSetMedia(EDFILE_MEDIA_HOST);
  ZEDAT* archive = ZeDatSet(nullptr);
  const int opened = EdFileOpen(name, 0);
  ZeDatSet(archive);
  if (!opened) return -1;
  const int version = EdFileReadInt();
  int count = EdFileReadInt();
  if (version < DEBRIS_FILE_OLDEST || version > DEBRIS_FILE_VERSION) {
    EdFileClose();
    return -1;
  }
  if (count < 0) count = 0;
  int surplus = 0;
  if (count > DEB_TYPES - edpp_types_used) {
    surplus = edpp_types_used + count - DEB_TYPES;
    count = DEB_TYPES - edpp_types_used;
  }
  // Each load searches from the first slot, then on after the one it took.
  g_lastTypeSlot = 0;
  g_lastEmitterSlot = -1;
  for (int i = 0; i < count; i++) {
    const int slot = NextTypeSlot();
    if (slot < 0) {
      surplus += count - i;
      break;
    }
    DebrisEffectType* t = &effecttypes[slot];
    FileLoadSingleEffectType(t, version, kind);
    DebrisCheckEffectType(t, name);
    t->page = int8_t(page);
    debtab[slot] = t;
    edppCalcEffectParticleCount(t);
    edpp_types_used += 1;
  }
  // Surplus types are read and dropped (a huge count stops at the file's end
  // rather than reading zeros for ever).
  DebrisEffectType scratch;
  for (int i = 0; i < surplus && i < DEB_TYPES; i++) FileLoadSingleEffectType(&scratch, version, kind);
  if (kind == 1 || kind == 2) {
    int n = EdFileReadInt();
    if (n > EDPP_EMITTERS - edpp_instances_used) n = EDPP_EMITTERS - edpp_instances_used;
    edpp_num_orphans = 0;
    for (int i = 0; i < n; i++) {
      const int slot = NextEmitterSlot();
      if (slot < 0) break;
      PlacedEmitter* e = &edpp_ptls[slot];
      FileLoadSingleEmitter(e, version);
      e->page = int8_t(page);
      e->key = EDPP_STOPPED;
      e->type = LookupDebrisEffect(e->name);
      if (e->type == -1) edpp_num_orphans++;
      edpp_instances_used += 1;
    }
  }
  EdFileClose();
  edppDetermineNearest(1.0f);
  edpp_page_scene[page] = scene;
  edpp_page_used[page] = 1;
  return page;
}

void edppStartPage(int page) {
  for (PlacedEmitter& e : edpp_ptls)
    if (e.page == page && e.key == EDPP_STOPPED) StartEmitter(&e, LookupDebrisEffectPage(e.name, page));
}

void edppRestartAllEffectsInLevel() {
  // A slot still running an effect frees it first: its key would otherwise
  // be lost, emitting for ever with no owner.
  for (PlacedEmitter& e : edpp_ptls)
    if (e.key != -1) {
      if (Running(e)) DebFreeInstantly(&e.key);
      StartEmitter(&e, LookupDebrisEffect(e.name));
    }
  edpp_create_type = -1;
  edppDetermineNearest(1.0f);
}

void edppStopPage(int page) {
  if (page < 0 || page >= EDPP_PAGES) return;
  for (PlacedEmitter& e : edpp_ptls)
    if (e.page == page && Running(e)) {
      DebFreeInstantly(&e.key);
      e.key = EDPP_STOPPED;
    }
  for (int i = 1; i < DEB_TYPES; i++)
    if (debtab[i] && debtab[i]->page == page) FreeTypeInstantly(i);
}

void edppClearPage(int page) {
  if (page < 0 || page >= EDPP_PAGES) return;
  for (PlacedEmitter& e : edpp_ptls)
    if (e.page == page && e.key != -1) {
      if (Running(e)) DebFreeInstantly(&e.key);
      e.key = -1;
      edpp_instances_used -= 1;
    }
  for (int i = 1; i < DEB_TYPES; i++)
    if (debtab[i] && debtab[i]->page == page) {
      FreeTypeInstantly(i);
      DebrisReleaseTypeInfo(debtab[i]);
      debtab[i] = nullptr;
      edpp_types_used -= 1;
    }
  edpp_page_used[page] = 0;
}

void ParticleReset() {
  // Running effects are freed too: forgetting their slots would leave them
  // emitting with no owner.
  for (PlacedEmitter& e : edpp_ptls) {
    if (Running(e)) DebFreeInstantly(&e.key);
    e.key = -1;
  }
  for (int& u : edpp_page_used) u = 0;
  edpp_instances_used = 0;
  g_lastEmitterSlot = -1;
}

void edppDestroyAllParticles() {
  for (PlacedEmitter& e : edpp_ptls)
    if (e.key != -1) {
      if (Running(e)) DebFreeInstantly(&e.key);
      e.key = -1;
      edpp_instances_used -= 1;
    }
}

int edppDetermineNearest(float limit) {
  if (edpp_nearest >= 0 && edpp_nearest < EDPP_EMITTERS && edpp_ptls[edpp_nearest].key != -1 &&
      Dist2(edpp_ptls[edpp_nearest].pos, edpp_cam_pos) == 0.0f)
    return 1;
  edpp_nearest = -1;
  float best = limit;
  for (int i = 0; i < EDPP_EMITTERS; i++) {
    if (!Running(edpp_ptls[i])) continue;
    const float d = Dist2(edpp_ptls[i].pos, edpp_cam_pos);
    if (d < best || best < 0.0f) {
      edpp_nearest = i;
      best = d;
    }
  }
  return edpp_nearest >= 0;
}

void edppRegisterPointerToGameCharLocation(const ZEVEC* p) { edmainRegisterLocVec(p); }
