// Bridge pages: placements read from bridge page files through the editor
// file layer (host medium), turned into live bridges when a page starts.
#include <cstring>
#include <initializer_list>

#include "edtools.h"
#include "gamelib.h"
#include "zecore.h"

EdBridge edBridges[EDBRI_PLACEMENTS];
int edbri_page_used[EDBRI_PAGES];
ZEGSCENE* edbri_page_scene[EDBRI_PAGES];
int edbri_bridges_used;
int edbri_nearest = -1;

namespace {

// Placements start free (page -1): set once before the first use.
void Ready() {
  static bool ready;
  if (!ready) ready = true, edbriReset();
}

int Lookup(const char* field, ZEGSCENE* scene) {
  // Names fill their field and may lack the terminator.
  char name[EDBRI_NAME + 1];
  memcpy(name, field, EDBRI_NAME);
  name[EDBRI_NAME] = 0;
  return edbitsLookupInstance(name, scene);
}

ZEGSCNINST* Instance(ZEGSCENE* scene, int index) {
  if (!scene || !scene->insts || index < 0 || index >= scene->ninst) return nullptr;
  return scene->insts.get() + index;
}

void ReadRec(EdBridgeFileRec* r) {
  r->start.x = EdFileReadFloat(), r->start.y = EdFileReadFloat(), r->start.z = EdFileReadFloat();
  r->length = EdFileReadFloat();
  r->postoff = EdFileReadFloat();
  r->tilt = int16_t(EdFileReadShort());
  r->yaw = int16_t(EdFileReadShort());
  r->nplanks = int8_t(EdFileReadChar());
  r->postint = int8_t(EdFileReadChar());
  EdFileRead(r->plank, EDBRI_NAME);
  EdFileRead(r->post, EDBRI_NAME);
  float* f[6] = {&r->tension, &r->damp, &r->gravity, &r->weight, &r->ropeheight, &r->stability};
  for (float* p : f) *p = EdFileReadFloat();
  EdFileRead(r->rgba, 4);
}

}  // namespace

void edbriReset() {
  for (EdBridge& e : edBridges) {
    e = {};
    e.bridge = -1, e.page = -1, e.plankobj = -1, e.postobj = -1;
  }
  for (int p = 0; p < EDBRI_PAGES; p++) edbri_page_used[p] = 0, edbri_page_scene[p] = nullptr;
  edbri_bridges_used = 0;
  edbri_nearest = -1;
}

int edbriLoadPage(const char* name, ZEGSCENE* scene) {
  Ready();
  int page = -1, any = 0;
  for (int p = 0; p < EDBRI_PAGES; p++) any |= edbri_page_used[p];
  for (int p = any ? 1 : 0; p < EDBRI_PAGES && page < 0; p++)
    if (!edbri_page_used[p]) page = p;
  if (page < 0) return -1;
  EdFileSetMedia(EDFILE_MEDIA_HOST);
  if (!EdFileOpen(name, 0)) return -1;
  int version = EdFileReadInt();
  // A page of a later format is refused outright: a page number here would
  // let a clear of it take another level's page.
  if (version < 0 || version > 1) {
    ZeDebugMsg("Bridge page %s: version %d is not read", name, version);
    EdFileClose();
    return -1;
  }
  int count = EdFileReadInt();
  if (count > EDBRI_PLACEMENTS - edbri_bridges_used) count = EDBRI_PLACEMENTS - edbri_bridges_used;
  int slot = 0;
  for (int k = 0; k < count; k++) {
    while (slot < EDBRI_PLACEMENTS && edBridges[slot].page >= 0) slot++;
    if (slot >= EDBRI_PLACEMENTS) break;
    EdBridgeFileRec r;
    ReadRec(&r);
    EdBridge& e = edBridges[slot];
    e.bridge = -1;
    e.start = r.start, e.length = r.length, e.postoff = r.postoff, e.tilt = r.tilt, e.yaw = r.yaw;
    e.page = int8_t(page), e.nplanks = r.nplanks, e.postint = r.postint;
    e.plankobj = Lookup(r.plank, scene);
    e.postobj = Lookup(r.post, scene);
    e.tension = r.tension, e.damp = r.damp, e.gravity = r.gravity, e.weight = r.weight;
    e.ropeheight = r.ropeheight, e.stability = r.stability;
    e.red = r.rgba[0], e.green = r.rgba[1], e.blue = r.rgba[2], e.fourth = r.rgba[3];
    edbri_bridges_used++;
  }
  EdFileClose();
  edbriDetermineNearest(1.0e10f);
  edbri_page_scene[page] = scene;
  edbri_page_used[page] = 1;
  return page;
}

void edbriBridgeUpdate(int i, ZEGSCENE* scene) {
  Ready();
  if (i < 0 || i >= EDBRI_PLACEMENTS) return;
  EdBridge& e = edBridges[i];
  if (e.bridge >= 0) ZeBridgeRemove(e.bridge);
  e.bridge = -1;
  ZEGSCNINST* planks[BRIDGE_PLANKS];
  ZEGSCNINST* plank = Instance(scene, e.plankobj);
  for (ZEGSCNINST*& p : planks) p = plank;
  ZEVEC along = {e.length, 0, 0}, end;
  ZeVecRotateZ(&along, &along, e.tilt);
  ZeVecRotateY(&along, &along, e.yaw);
  ZeVecAdd(&end, &e.start, &along);
  uint32_t colour = 0x80000000u | uint32_t(e.blue) << 16 | uint32_t(e.green) << 8 | e.red;
  e.bridge = ZeBridgeCreate(e.stability, e.tension, e.damp, e.gravity, e.weight, e.postoff, e.ropeheight, scene,
                            planks, Instance(scene, e.postobj), &e.start, &end, e.yaw, e.nplanks, e.postint,
                            colour);
}

void edbriStartPage(int page) {
  Ready();
  if (page < 0 || page >= EDBRI_PAGES || !edbri_page_used[page] || !edbri_page_scene[page]) return;
  for (int i = 0; i < EDBRI_PLACEMENTS; i++)
    if (edBridges[i].page == page) edbriBridgeUpdate(i, edbri_page_scene[page]);
}

void edbriClearPage(int page) {
  Ready();
  if (page < 0 || page >= EDBRI_PAGES) return;
  for (EdBridge& e : edBridges) {
    if (e.page != page) continue;
    if (e.bridge >= 0) ZeBridgeRemove(e.bridge);
    e.bridge = -1;
    e.page = -1;
    edbri_bridges_used--;
  }
  edbri_page_used[page] = 0;
  edbri_page_scene[page] = nullptr;
  edbri_nearest = -1;
}

void edbriDetermineNearest(float limit) {
  Ready();
  ZEVEC cam;
  edcamGetPosAng(&cam, nullptr, nullptr);
  edbri_nearest = -1;
  float best = limit;
  for (int i = 0; i < EDBRI_PLACEMENTS; i++) {
    const EdBridge& e = edBridges[i];
    if (e.page < 0 || e.bridge < 0 || !Bridges || !Bridges[e.bridge].inuse) continue;
    float d = ZeVecDistSqr(&cam, &Bridges[e.bridge].centre, nullptr);
    if (d < best) best = d, edbri_nearest = i;
  }
}

int edbriWritePage(const char* name, int version, const EdBridgeFileRec* recs, int count) {
  EdFileSetMedia(EDFILE_MEDIA_HOST);
  if (!EdFileOpen(name, 1)) return 0;
  EdFileWriteInt(version);
  EdFileWriteInt(count);
  for (int k = 0; k < count; k++) {
    const EdBridgeFileRec& r = recs[k];
    for (float f : {r.start.x, r.start.y, r.start.z, r.length, r.postoff}) EdFileWriteFloat(f);
    EdFileWriteShort(r.tilt);
    EdFileWriteShort(r.yaw);
    EdFileWriteChar(r.nplanks);
    EdFileWriteChar(r.postint);
    EdFileWrite(r.plank, EDBRI_NAME);
    EdFileWrite(r.post, EDBRI_NAME);
    for (float f : {r.tension, r.damp, r.gravity, r.weight, r.ropeheight, r.stability}) EdFileWriteFloat(f);
    EdFileWrite(r.rgba, 4);
  }
  return EdFileClose();
}
