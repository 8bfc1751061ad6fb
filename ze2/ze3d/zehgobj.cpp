// Hierarchical objects: the model-file reader (outer block "HGOF") and the
// cut-scene reader of one "HGO0" block, releasing objects, the joint and
// point-of-interest queries, the bounding-volume tests and the sphere
// collision against the joints' spheres. Counts and indices read from a
// file are checked against what the object holds: a damaged file is a
// fatal error naming what was wrong.
#include <cctype>
#include <cstdio>
#include <initializer_list>

#include "zegscn_local.h"

#define HGO_FATAL(...) GSCN_FATAL(__VA_ARGS__)

namespace {

void Take(ZEFILE f, void* dst, int64_t n, const char* what) {
  if (n < 0 || n > 0x7fffffff || ZeFileRead(f, dst, int(n)) != int(n)) HGO_FATAL("HGO file damaged: %s cut short", what);
}

int TakeU8(ZEFILE f, const char* what) {
  uint8_t v;
  Take(f, &v, 1, what);
  return v;
}

int TakeI32(ZEFILE f, const char* what) {
  int32_t v;
  Take(f, &v, 4, what);
  return v;
}

template <class T>
T* Cleared(int64_t n, const char* fail = "Allocation error") {
  const int64_t bytes = n * int64_t(sizeof(T));
  if (bytes > 0x40000000) HGO_FATAL("%s", fail);
  auto* p = static_cast<T*>(ZeMemAllocTagged(bytes > 0 ? int(bytes) : 4));
  if (!p) HGO_FATAL("%s", fail);
  memset(static_cast<void*>(p), 0, size_t(bytes > 0 ? bytes : 4));
  return p;
}

// A name field: 0 none, else 1 + the offset of the name in the name block.
char* TakeName(ZEFILE f, const ZEHGOBJ* obj, const char* what) {
  const int v = TakeI32(f, what);
  if (v == 0) return nullptr;
  if (v < 1 || v > obj->namesize) HGO_FATAL("HGO file damaged: %s names offset %d of %d", what, v - 1, obj->namesize);
  return obj->names + (v - 1);
}

EePtr<ZEGOBJ>* TakeJointObjects(ZEFILE f, const ZEHGOBJ* obj, int nmtl) {
  if (!TakeU8(f, "layer")) return nullptr;
  auto* objs = Cleared<EePtr<ZEGOBJ>>(obj->njoint);
  for (int j = 0; j < obj->njoint; j++)
    if (TakeU8(f, "layer")) objs[j] = ReadZeIFFGeom(f, obj->mtls, nmtl);
  return objs;
}

ZEGOBJ* TakeSkin(ZEFILE f, const ZEHGOBJ* obj) {
  return TakeU8(f, "layer") ? ReadZeIFFGeom(f, obj->mtls, obj->nmtl) : nullptr;
}

void TakeShadows(ZEFILE f, ZEHGOBJ* obj) {
  const int s = TakeU8(f, "shadows");
  if (s == 0) return;
  auto* recs = Cleared<ZEHGOBJSHADOW>(s + 1, "failed to alloc shadow data");
  obj->shadows = recs;
  recs[s].joint = ZEHGOBJ_NOJOINT;
  for (int i = 0; i < s; i++) {
    ZEHGOBJSHADOW& r = recs[i];
    // The end mark stays in place while a record is half read.
    r.joint = ZEHGOBJ_NOJOINT;
    r.nellipsoid = uint8_t(TakeU8(f, "shadow ellipsoids"));
    if (r.nellipsoid) {
      r.ellipsoids = Cleared<ZESHADELLIPSE>(r.nellipsoid, "failed to alloc shadow ellipsoids");
      Take(f, r.ellipsoids.get(), r.nellipsoid * ZEHGOBJ_ELLIPSOID, "shadow ellipsoids");
    }
    r.ncylinder = uint8_t(TakeU8(f, "shadow cylinders"));
    if (r.ncylinder) {
      r.cylinders = Cleared<ZESHADCYL>(r.ncylinder, "failed to alloc shadow cylinders");
      Take(f, r.cylinders.get(), r.ncylinder * ZEHGOBJ_CYLINDER, "shadow cylinders");
    }
    r.nmesh = uint8_t(TakeU8(f, "shadow meshes"));
    if (r.nmesh) {
      auto* meshes = Cleared<ZESHADMESH>(r.nmesh, "failed to alloc shadow_meshes");
      r.meshes = meshes;
      for (int m = 0; m < r.nmesh; m++) {
        for (int k = 0; k < 2; k++) {
          const int n = TakeI32(f, "shadow mesh");
          if (n < 0 || n > 0x100000) HGO_FATAL("HGO file damaged: shadow mesh of %d records", n);
          uint8_t* arr = n ? Cleared<uint8_t>(int64_t(n) * ZEHGOBJ_MESHREC, "failed to alloc shadow_meshes") : nullptr;
          Take(f, arr, int64_t(n) * ZEHGOBJ_MESHREC, "shadow mesh");
          if (k) meshes[m].vertices.addr = EeAddrOf(arr);
          else meshes[m].polygons.addr = EeAddrOf(arr);
        }
      }
    }
    const int joint = TakeU8(f, "shadow joint");
    if (joint >= obj->njoint) HGO_FATAL("HGO file damaged: shadow on joint %d of %d", joint, obj->njoint);
    r.joint = uint8_t(joint);
  }
}

void FreeIf(const void* p) {
  if (p) ZeMemFreeTagged(const_cast<void*>(p));
}

// Materials and textures of any object: chains detached first.
void ReleaseMaterials(ZEHGOBJ* obj) {
  if (obj->texanims) ZeTexAnimRemoveList(obj->texanims);
  for (int i = 0; i < obj->nmtl && obj->mtls; i++) {
    ZEMTL* m = obj->mtls[i];
    if (!m) continue;
    while (m->chain) ZeMtlDetachMtl(m);
    ZeMtlDestroy(m);
  }
  for (int i = 0; i < obj->ntex && obj->texids; i++)
    if (obj->texids[i]) ZeTexDestroy(obj->texids[i]);
}

void DestroyJointObjects(const ZEHGOBJ* obj, EePtr<ZEGOBJ>* objs) {
  if (!objs) return;
  for (int j = 0; j < obj->njoint; j++)
    if (objs[j]) ZeGobjDestroy(objs[j]);
  ZeMemFreeTagged(objs);
}

// The centre of the bounding sphere in world space.
ZEVEC SphereCentre(const ZEHGOBJ* obj, const ZEMTX* m) {
  return {m->m[3][0] + obj->sphere_height * m->m[1][0], m->m[3][1] + obj->sphere_height * m->m[1][1],
          m->m[3][2] + obj->sphere_height * m->m[1][2]};
}

float DistSqr(const ZEVEC& a, const ZEVEC& b) {
  const float x = a.x - b.x, y = a.y - b.y, z = a.z - b.z;
  return x * x + y * y + z * z;
}

int PointIndex(const ZEHGOBJ* obj, int id) {
  if (id < 0 || id >= obj->pointmapsize || !obj->pointmap) return -1;
  const int ix = obj->pointmap[id];
  return ix == ZEHGOBJ_NOJOINT || ix >= obj->npoint ? -1 : ix;
}

}  // namespace

// ---- reading -------------------------------------------------------------------

void ReadZeIFFHGobj(ZEFILE file, ZEHGOBJ* obj) {
  const int J = TakeU8(file, "joint count");
  obj->njoint = uint8_t(J);
  if (J) {
    auto* joints = Cleared<ZEJOINT>(J);
    auto* rest = Cleared<ZEMTX>(J);
    auto* skin = Cleared<ZEMTX>(J);
    obj->joints = joints;
    obj->restmtx = rest;
    obj->skinmtx = skin;
    for (int j = 0; j < J; j++) {
      joints[j].flags = uint8_t(TakeU8(file, "joint"));
      Take(file, &rest[j], 64, "joint");
      Take(file, &skin[j], 64, "joint");
      Take(file, &joints[j].orient, 64, "joint");
      Take(file, &joints[j].pivot, 12, "joint");
      const int parent = TakeU8(file, "joint");
      // Parents precede their children: the evaluation relies on it.
      if (parent != ZEHGOBJ_NOJOINT && parent >= j)
        HGO_FATAL("HGO file damaged: joint %d has parent %d", j, parent);
      joints[j].parent = uint8_t(parent);
      joints[j].name = TakeName(file, obj, "joint");
    }
    for (int pass = 0; pass < 2; pass++) {
      const int n = TakeU8(file, "map");
      auto* map = Cleared<uint8_t>(n);
      Take(file, map, n, "map");
      (pass ? obj->pointmap : obj->jointmap) = map;
      (pass ? obj->pointmapsize : obj->jointmapsize) = uint8_t(n);
    }
    const int L = TakeU8(file, "layer count");
    obj->nlayer = uint8_t(L);
    auto* layers = Cleared<ZEHGOBJLAYER>(L);
    obj->layers = layers;
    for (int l = 0; l < L; l++) {
      layers[l].name = TakeName(file, obj, "layer");
      layers[l].objects = TakeJointObjects(file, obj, obj->nmtl);
      layers[l].skin = TakeSkin(file, obj);
      layers[l].objects2 = TakeJointObjects(file, obj, obj->nmtl);
      layers[l].skin2 = TakeSkin(file, obj);
    }
    const int P = TakeU8(file, "point count");
    obj->npoint = uint8_t(P);
    auto* points = Cleared<ZEPOI>(P);
    obj->points = points;
    for (int p = 0; p < P; p++) {
      const int joint = TakeU8(file, "point");
      if (joint >= J) HGO_FATAL("HGO file damaged: point %d on joint %d of %d", p, joint, J);
      points[p].joint = uint8_t(joint);
      Take(file, &points[p].mtx, 64, "point");
      points[p].name = TakeName(file, obj, "point");
    }
    for (int i = 0; i < obj->jointmapsize; i++)
      if (obj->jointmap[i] != ZEHGOBJ_NOJOINT && obj->jointmap[i] >= J)
        HGO_FATAL("HGO file damaged: joint id %d maps to %d of %d", i, obj->jointmap[i], J);
    for (int i = 0; i < obj->pointmapsize; i++)
      if (obj->pointmap[i] != ZEHGOBJ_NOJOINT && obj->pointmap[i] >= P)
        HGO_FATAL("HGO file damaged: point id %d maps to %d of %d", i, obj->pointmap[i], P);
    TakeShadows(file, obj);
  }
  float v[11];
  Take(file, v, sizeof v, "bounds");
  obj->sphere_radius = v[0];
  obj->sphere_height = v[1];
  obj->boxmin = {v[2], v[3], v[4]};
  obj->boxmax = {v[5], v[6], v[7]};
  obj->cyl_base = v[8];
  obj->cyl_height = v[9];
  obj->cyl_radius = v[10];
  if (obj->boxmin.x == 0 && obj->boxmin.y == 0 && obj->boxmin.z == 0) obj->boxmin = {-1, -1, -1};
  if (obj->boxmax.x == 0 && obj->boxmax.y == 0 && obj->boxmax.z == 0) obj->boxmax = {1, 1, 1};
}

void ReadZeIFFCollision(ZEFILE file, ZEHGOBJ* obj) {
  const int size = ZeFileGetBlkSize() - 8;
  if (size < int(sizeof(ZEHGOBJCOLL))) HGO_FATAL("HGO file damaged: COLL block of %d bytes", size);
  auto* data = Cleared<uint8_t>(size);
  Take(file, data, size, "collision");
  auto* head = reinterpret_cast<ZEHGOBJCOLL*>(data);
  // Self-relative offsets: each target must lie inside the block, whole.
  auto within = [&](const void* field, int32_t off, int64_t bytes, const char* what) -> uint8_t* {
    const int64_t at = static_cast<const uint8_t*>(field) - data + off;
    if (at < 0 || at + bytes > size || (at & 3)) HGO_FATAL("HGO file damaged: collision %s outside the block", what);
    return data + at;
  };
  const int32_t eoff = int32_t(head->entries.addr);
  if (head->count > uint32_t(size / 8)) HGO_FATAL("HGO file damaged: %u collision entries", head->count);
  head->entries = nullptr;
  if (eoff) {
    auto* e = reinterpret_cast<ZEHGOBJCOLLENTRY*>(within(&head->entries, eoff, int64_t(head->count) * 8, "entries"));
    head->entries = e;
    for (uint32_t i = 0; i < head->count; i++) {
      const int32_t soff = int32_t(e[i].shape.addr);
      e[i].shape = nullptr;
      if (!soff) continue;
      auto* s = reinterpret_cast<ZEHGOBJCOLLSPHERE*>(within(&e[i].shape, soff, 20, "shape"));
      if (e[i].type == ZEHGOBJCOLL_SPHERE && s->joint >= obj->njoint)
        HGO_FATAL("HGO file damaged: collision sphere on joint %d of %d", s->joint, obj->njoint);
      e[i].shape = s;
    }
  } else if (head->count) {
    HGO_FATAL("HGO file damaged: %u collision entries without an array", head->count);
  }
  FreeIf(obj->collision);
  obj->collision = head;
}

namespace {

ZEHGOBJ* NewObject() {
  auto* obj = Cleared<ZEHGOBJ>(1);
  obj->imagetag = ZEHGOBJ_TAG_HEAP;
  obj->extra = 1.0f;
  return obj;
}

void TakeTexAnims(ZEFILE f, ZEHGOBJ* obj) {
  // The scene reader binds the records against a scene's tables.
  auto* scene = Cleared<ZEGSCENE>(1);
  scene->ntex = obj->ntex;
  scene->texids = obj->texids;
  scene->mtls = obj->mtls;
  scene->nmtl = obj->nmtl;
  scene->names = obj->names;
  scene->namesize = obj->namesize;
  int16_t ids[4096];
  for (int i = 0; i < obj->ntex && i < 4096; i++) ids[i] = int16_t(obj->texids[i]);
  ReadZeIFFTexAnimSet(f, scene, ids);
  obj->texanims = scene->texanims;
  obj->ntexanim = scene->ntexanim;
  obj->texanimframes = scene->frames.get();
  ZeMemFreeTagged(scene);
}

}  // namespace

ZEHGOBJ* ZeHGobjLoad(const char* name) {
  // The messages show the name lower-cased, in a copy: the caller's string
  // may be a literal.
  char lower[256];
  snprintf(lower, sizeof lower, "%s", name);
  for (char* c = lower; *c; c++) *c = char(tolower(uint8_t(*c)));
  const int size = ZeFileSize(name);
  if (size <= 0) {
    ZeDebugMsg("Failed to open HGO file %s!", lower);
    return nullptr;
  }
  void* block = ZeMemAllocTagged(size);
  if (!block) HGO_FATAL("Unable to allocate %d bytes", size);
  const ZEFILE f = ZeFileLoadBuffer(name, block, size) == size ? ZeMemFileOpen(block, size, 0) : 0;
  if (!f) {
    ZeDebugMsg("Failed to open HGO file %s!", lower);
    ZeMemFreeTagged(block);
    return nullptr;
  }
  ZeDebugMsg("Reading scene file %s...", lower);
  ZeFileBeginBlkRead(f, GscnBlkId("HGOF"));
  ZEHGOBJ* obj = NewObject();
  bool names = false, mtls = false, texs = false;
  for (int id; (id = ZeFileBeginBlkRead(f, 0)) != 0; ZeFileEndBlkRead(f)) {
    if (id == GscnBlkId("TST0")) {
      ZESCENE s = {};
      ReadZeIFFTextureSet(f, &s);
      if (s.ntex) {
        auto* ids = Cleared<ZETEXID>(s.ntex);
        for (int i = 0; i < s.ntex; i++) ids[i] = s.texids[i];
        obj->texids = ids;
        obj->ntex = s.ntex;
      }
      FreeIf(s.texids.get());
      texs = true;
    } else if (id == GscnBlkId("MS00")) {
      ZESCENE s = {};
      s.texids = nullptr;
      // Materials name textures by index: the reader resolves them
      // through a scene record that lists this object's ids.
      auto* ids = Cleared<int16_t>(obj->ntex);
      for (int i = 0; i < obj->ntex; i++) ids[i] = int16_t(obj->texids[i]);
      s.texids = ids;
      s.ntex = obj->ntex;
      ReadZeIFFMaterialSet(f, &s);
      ZeMemFreeTagged(ids);
      obj->mtls = s.mtls;
      obj->nmtl = s.nmtl;
      mtls = true;
    } else if (id == GscnBlkId("NTBL")) {
      FreeIf(obj->names.get());
      obj->names = ReadZeIFFNameTable(f, &obj->namesize);
      names = true;
    } else if (id == GscnBlkId("HGO0")) {
      if (!names || !mtls) HGO_FATAL("HGO file damaged: HGO0 before its names and materials");
      if (obj->joints) HGO_FATAL("HGO file damaged: a second HGO0 block");
      ReadZeIFFHGobj(f, obj);
    } else if (id == GscnBlkId("COLL")) {
      ReadZeIFFCollision(f, obj);
    } else if (id == GscnBlkId("TAS0")) {
      if (!names || !texs) HGO_FATAL("HGO file damaged: TAS0 before its names and textures");
      if (obj->texanims) HGO_FATAL("HGO file damaged: a second TAS0 block");
      TakeTexAnims(f, obj);
    } else {
      ReadZeIFFUnknown(f, id);
    }
  }
  ZeFileEndBlkRead(f);
  ZeFileClose(f);
  ZeMemFreeTagged(block);
  return obj;
}

ZEHGOBJ* ZeHGobjReadForCutScene(ZEFILE file, const ZEGSCENE* scene) {
  ZEHGOBJ* obj = NewObject();
  obj->texids = scene->texids;
  obj->ntex = scene->ntex;
  obj->mtls = scene->mtls;
  obj->nmtl = scene->nmtl;
  // Joint, layer and point names resolve against the scene's name table.
  obj->names = scene->names;
  obj->namesize = scene->namesize;
  obj->shared = 1;
  ZeFileBeginBlkRead(file, GscnBlkId("HGO0"));
  ReadZeIFFHGobj(file, obj);
  ZeFileEndBlkRead(file);
  return obj;
}

// ---- releasing ------------------------------------------------------------------

void ZeHGobjDestroyHeap(ZEHGOBJ* obj) {
  if (obj->texanims) ZeTexAnimRemoveList(obj->texanims);
  if (ZEHGOBJSHADOW* s = obj->shadows) {
    for (; s->joint != ZEHGOBJ_NOJOINT; s++) {
      FreeIf(s->ellipsoids.get());
      FreeIf(s->cylinders.get());
      for (int m = 0; m < s->nmesh && s->meshes; m++) {
        FreeIf(s->meshes[m].polygons.get());
        FreeIf(s->meshes[m].vertices.get());
      }
      FreeIf(s->meshes.get());
    }
    ZeMemFreeTagged(obj->shadows.get());
  }
  // A cut-scene object's textures, materials and names stay with its scene.
  if (obj->shared) obj->names = nullptr, obj->mtls = nullptr, obj->nmtl = 0, obj->texids = nullptr, obj->ntex = 0;
  for (const void* p : {static_cast<const void*>(obj->names.get()), static_cast<const void*>(obj->joints.get()),
                        static_cast<const void*>(obj->restmtx.get()), static_cast<const void*>(obj->skinmtx.get())})
    FreeIf(p);
  for (int l = 0; l < obj->nlayer && obj->layers; l++) {
    ZEHGOBJLAYER& layer = obj->layers[l];
    DestroyJointObjects(obj, layer.objects);
    DestroyJointObjects(obj, layer.objects2);
    if (layer.skin) ZeGobjDestroy(layer.skin);
    if (layer.skin2) ZeGobjDestroy(layer.skin2);
  }
  FreeIf(obj->layers.get());
  const ZETEXANIM* anims = obj->texanims;
  obj->texanims = nullptr;
  ReleaseMaterials(obj);
  FreeIf(obj->mtls.get());
  FreeIf(obj->texids.get());
  for (int i = 0; i < obj->ntexanim && anims; i++) ZeTexAnimDestroy(const_cast<ZETEXANIM*>(anims) + i);
  FreeIf(anims);
  FreeIf(obj->texanimframes.get());
  for (const void* p : {static_cast<const void*>(obj->pointmap.get()), static_cast<const void*>(obj->jointmap.get()),
                        static_cast<const void*>(obj->points.get()), static_cast<const void*>(obj->collision.get())})
    FreeIf(p);
  ZeMemFreeTagged(obj);
}

int ZeHGobjDestroy(ZEHGOBJ* obj) {
  if (!obj) return 0;
  if ((obj->imagetag & ZEHGOBJ_TAG_MASK) == ZEHGOBJ_TAG_IMAGE) {
    // The record and its data stay in the image's buffer.
    ReleaseMaterials(obj);
    obj->texanims = nullptr;
    obj->ntexanim = 0;
    obj->nmtl = 0;
    obj->ntex = 0;
    return 1;
  }
  ZeHGobjDestroyHeap(obj);
  return 1;
}

// ---- queries ---------------------------------------------------------------------

// The unchecked forms take ids the caller knows the model has: any other is
// a fatal error rather than a read outside the maps.
void ZeHGobjJointMtx(const ZEHGOBJ* obj, int id, const ZEMTX* objmtx, const ZEMTX* joints, ZEMTX* out) {
  if (id < 0 || id >= obj->jointmapsize || obj->jointmap[id] == ZEHGOBJ_NOJOINT)
    ZeError("ZeHGobjJointMtx - model has no joint %d", id);
  ZeMtxMul(out, &joints[obj->jointmap[id]], objmtx);
}

int ZeHGobjJointMtxWithCheck(const ZEHGOBJ* obj, int id, const ZEMTX* objmtx, const ZEMTX* joints, ZEMTX* out) {
  if (id < 0 || id >= obj->jointmapsize || obj->jointmap[id] == ZEHGOBJ_NOJOINT) return 0;
  ZeHGobjJointMtx(obj, id, objmtx, joints, out);
  return 1;
}

void ZeHGobjPOIMtxFromIX(const ZEHGOBJ* obj, int index, const ZEMTX* objmtx, const ZEMTX* joints, ZEMTX* out) {
  const ZEPOI& p = obj->points[index];
  ZEMTX m;
  ZeMtxMul(&m, &p.mtx, &joints[p.joint]);
  ZeMtxMul(out, &m, objmtx);
}

void ZeHGobjPOIMtx(const ZEHGOBJ* obj, int id, const ZEMTX* objmtx, const ZEMTX* joints, ZEMTX* out) {
  const int ix = PointIndex(obj, id);
  if (ix < 0) ZeError("ZeHGobjPOIMtx - model has no point %d", id);
  ZeHGobjPOIMtxFromIX(obj, ix, objmtx, joints, out);
}

int ZeHGobjPOIMtxWithCheck(const ZEHGOBJ* obj, int id, const ZEMTX* objmtx, const ZEMTX* joints, ZEMTX* out) {
  const int ix = PointIndex(obj, id);
  if (ix < 0) return 0;
  ZeHGobjPOIMtxFromIX(obj, ix, objmtx, joints, out);
  return 1;
}

ZEPOI* ZeHGobjGetPOI(const ZEHGOBJ* obj, int id) {
  const int ix = PointIndex(obj, id);
  return ix < 0 ? nullptr : &obj->points[ix];
}

// ---- bounding volumes --------------------------------------------------------------

int ZeHGobjBoundingSphereToSphere(const ZEHGOBJ* obj, const ZEMTX* objmtx, const ZEVEC* centre, float radius) {
  const float r = obj->sphere_radius + radius;
  return DistSqr(SphereCentre(obj, objmtx), *centre) <= r * r;
}

int ZeHGobjBoundingSphereToLine(const ZEHGOBJ* obj, const ZEMTX* objmtx, const ZEVEC* a, const ZEVEC* b, float radius) {
  const ZEVEC c = SphereCentre(obj, objmtx);
  const float r = obj->sphere_radius + radius;
  return ZeLineToPointDistSqr(a, b, &c) < r * r;
}

int ZeHGobjBoundingBoxToSphere(const ZEHGOBJ* obj, const ZEMTX* objmtx, const ZEVEC* centre, float r) {
  ZEVEC p;
  ZeVecInvMtxTransform(&p, centre, objmtx);
  const ZEVEC &lo = obj->boxmin, &hi = obj->boxmax;
  if (p.x - r > hi.x || p.x + r < lo.x) return 0;
  if (p.y - r > hi.y || p.y + r < lo.y) return 0;
  if (p.z - r > hi.z || p.z + r < lo.z) return 0;
  return 1;
}

int ZeHGobjBoundingCylinderToSphere(const ZEHGOBJ* obj, const ZEMTX* objmtx, const ZEVEC* centre, float r) {
  ZEVEC p;
  ZeVecInvMtxTransform(&p, centre, objmtx);
  const float rr = obj->cyl_radius + r;
  if (rr * rr < p.x * p.x + p.z * p.z) return 0;
  if (obj->cyl_base + obj->cyl_height < p.y - r) return 0;
  if (obj->cyl_base > p.y + r) return 0;
  return 1;
}

int ZeHGobjBoundingBoxToLine(const ZEHGOBJ* obj, const ZEMTX* objmtx, const ZEVEC* a, const ZEVEC* b, float g) {
  const ZEVEC lo = {obj->boxmin.x - g, obj->boxmin.y - g, obj->boxmin.z - g};
  const ZEVEC hi = {obj->boxmax.x + g, obj->boxmax.y + g, obj->boxmax.z + g};
  ZEVEC p, q;
  ZeVecInvMtxTransform(&p, a, objmtx);
  ZeVecInvMtxTransform(&q, b, objmtx);
  const int cp = ZePointRelToBoundingBox(&p, &hi, &lo), cq = ZePointRelToBoundingBox(&q, &hi, &lo);
  if (cp == 0 || cq == 0) return 1;
  if (cp & cq) return 0;
  ZEVEC d = {q.x - p.x, q.y - p.y, q.z - p.z};
  const float len = sqrtf(ZeVecDot(&d, &d));
  if (len > 0) d = {d.x / len, d.y / len, d.z / len};
  ZEVEC hit;
  auto between = [](float v, float l, float h) { return v > l && v < h; };
  if (cp & (1 | 8)) {
    ZeClipXPlane(&hit, &p, &d, (cp & 1) ? &hi.x : &lo.x);
    if (between(hit.y, lo.y, hi.y) && between(hit.z, lo.z, hi.z)) return 1;
  }
  if (cp & (2 | 16)) {
    ZeClipYPlane(&hit, &p, &d, (cp & 2) ? &hi.y : &lo.y);
    if (between(hit.x, lo.x, hi.x) && between(hit.z, lo.z, hi.z)) return 1;
  }
  if (cp & (4 | 32)) {
    ZeClipZPlane(&hit, &p, &d, (cp & 4) ? &hi.z : &lo.z);
    if (between(hit.x, lo.x, hi.x) && between(hit.y, lo.y, hi.y)) return 1;
  }
  return 0;
}

int ZeHGobjCollideSphere(const ZEHGOBJ* obj, const ZEMTX* objmtx, const ZEMTX* joints, const ZEVEC* centre,
                         ZEVEC* outcentre, float radius) {
  // The height is added straight up, not turned with the object.
  const ZEVEC c = {objmtx->m[3][0], objmtx->m[3][1] + obj->sphere_height, objmtx->m[3][2]};
  const float rr = obj->sphere_radius + radius;
  if (!(DistSqr(*centre, c) < rr * rr)) return 0;
  if (const ZEHGOBJCOLL* coll = obj->collision) {
    bool contact = false;
    for (uint32_t i = 0; i < coll->count && !contact; i++) {
      const ZEHGOBJCOLLENTRY& e = coll->entries[i];
      if (e.type != ZEHGOBJCOLL_SPHERE || !e.shape) continue;
      const ZEHGOBJCOLLSPHERE& s = *e.shape;
      ZEMTX m;
      ZeMtxMul(&m, &joints[s.joint], objmtx);
      ZEVEC q;
      ZeVecInvMtxTransform(&q, centre, &m);
      q = {q.x - s.centre.x, q.y - s.centre.y, q.z - s.centre.z};
      const float sr = radius + s.radius;
      contact = ZeVecDot(&q, &q) < sr * sr;
    }
    if (!contact) return 0;
  }
  if (outcentre) *outcentre = c;
  return 1;
}
