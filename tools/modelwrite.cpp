// The model description reader and the HGOF writer: name table, textures,
// materials, the hierarchy (joints, maps, one layer "body" with rigid parts
// on joints and the skin, points) and the collision spheres, in the order
// the engine's reader needs them.
#include "modelwrite.h"

#include <cmath>
#include <filesystem>
#include <map>
#include <set>

#include "zecore.h"

namespace fs = std::filesystem;

namespace {

constexpr int Id(const char (&s)[5]) { return ZeBlkId(s[0], s[1], s[2], s[3]); }

struct Reader {
  ZEFPAR* p;
  ModelDesc* d;
  std::string dir;
  std::string error;
  SceneNames names;
  std::map<std::string, int> joints;

  std::string Word() { return ZeFParGetWord(p) ? std::string(p->word) : std::string(); }
  float F() { return ZeFParGetFloat(p); }
  int I() { return ZeFParGetInt(p); }
  bool Fail(const std::string& why) {
    if (error.empty()) error = "line " + std::to_string(p->lineno + 1) + ": " + why;
    return false;
  }
  int Joint(const std::string& name) {
    auto it = joints.find(name);
    if (it == joints.end()) return Fail("unknown joint \"" + name + "\""), -1;
    return it->second;
  }
  int Material(const std::string& name) {
    auto it = names.materials.find(name);
    if (it == names.materials.end()) return Fail("unknown material \"" + name + "\""), -1;
    return it->second;
  }
};

uint32_t Colour(const std::string& hex, uint32_t def) {
  return hex.empty() ? def : uint32_t(strtoul(hex.c_str(), nullptr, 16));
}

ZEVTX Vtx(ZEVEC p, ZEVEC n, uint32_t c, float u, float v) {
  ZEVTX t = {};
  t.pos = p;
  t.normal = n;
  t.colour = c;
  t.u = u, t.v = v;
  return t;
}

void Quad(SceneGeom& g, const ZEVTX& a, const ZEVTX& b, const ZEVTX& c, const ZEVTX& d) {
  const int16_t base = int16_t(g.vtx.size());
  for (const ZEVTX& v : {a, b, c, d}) g.vtx.push_back(v);
  for (int k : {0, 1, 2, 0, 2, 3}) g.idx.push_back(int16_t(base + k));
}

// A box standing on y = 0 of the joint, w by h by depth.
void Box(SceneGeom& g, float w, float h, float depth, uint32_t c) {
  const float x = w / 2, z = depth / 2;
  auto V = [&](float px, float py, float pz, float nx, float ny, float nz, float u, float v) {
    return Vtx({px, py, pz}, {nx, ny, nz}, c, u, v);
  };
  Quad(g, V(-x, 0, -z, 0, 0, -1, 0, 1), V(-x, h, -z, 0, 0, -1, 0, 0), V(x, h, -z, 0, 0, -1, 1, 0), V(x, 0, -z, 0, 0, -1, 1, 1));
  Quad(g, V(x, 0, z, 0, 0, 1, 0, 1), V(x, h, z, 0, 0, 1, 0, 0), V(-x, h, z, 0, 0, 1, 1, 0), V(-x, 0, z, 0, 0, 1, 1, 1));
  Quad(g, V(-x, 0, z, -1, 0, 0, 0, 1), V(-x, h, z, -1, 0, 0, 0, 0), V(-x, h, -z, -1, 0, 0, 1, 0), V(-x, 0, -z, -1, 0, 0, 1, 1));
  Quad(g, V(x, 0, -z, 1, 0, 0, 0, 1), V(x, h, -z, 1, 0, 0, 0, 0), V(x, h, z, 1, 0, 0, 1, 0), V(x, 0, z, 1, 0, 0, 1, 1));
  Quad(g, V(-x, h, -z, 0, 1, 0, 0, 1), V(-x, h, z, 0, 1, 0, 0, 0), V(x, h, z, 0, 1, 0, 1, 0), V(x, h, -z, 0, 1, 0, 1, 1));
  Quad(g, V(-x, 0, z, 0, -1, 0, 0, 1), V(-x, 0, -z, 0, -1, 0, 0, 0), V(x, 0, -z, 0, -1, 0, 1, 0), V(x, 0, z, 0, -1, 0, 1, 1));
}

// A cylinder of n sides standing on y = 0 of the joint.
void Cylinder(SceneGeom& g, float r, float h, int n, uint32_t c) {
  for (int i = 0; i < n; i++) {
    const float a0 = 6.2831853f * float(i) / float(n), a1 = 6.2831853f * float(i + 1) / float(n);
    const ZEVEC n0 = {std::sin(a0), 0, -std::cos(a0)}, n1 = {std::sin(a1), 0, -std::cos(a1)};
    const ZEVEC p0 = {r * n0.x, 0, r * n0.z}, p1 = {r * n1.x, 0, r * n1.z};
    const float u0 = float(i) / float(n), u1 = float(i + 1) / float(n);
    Quad(g, Vtx(p0, n0, c, u0, 1), Vtx({p0.x, h, p0.z}, n0, c, u0, 0), Vtx({p1.x, h, p1.z}, n1, c, u1, 0),
         Vtx(p1, n1, c, u1, 1));
  }
}

bool Skin(Reader& r, const std::string& mtl) {
  ModelSkin s;
  s.material = r.Material(mtl);
  if (s.material < 0) return false;
  while (ZeFParGetLine(r.p) > 0) {
    const std::string w = r.Word();
    if (w == "end") {
      r.d->skins.push_back(s);
      return true;
    }
    if (w == "v") {
      ZEVEC p, n;
      p.x = r.F(), p.y = r.F(), p.z = r.F();
      n.x = r.F(), n.y = r.F(), n.z = r.F();
      const uint32_t c = Colour(r.Word(), 0xffffffffu);
      const float u = r.F(), v = r.F();
      s.vtx.push_back(Vtx(p, n, c, u, v));
      ModelSkinVertex sw;
      for (std::string j; !(j = r.Word()).empty();) {
        if (sw.n == 4) return r.Fail("more than 4 joints on a vertex");
        sw.joint[sw.n] = r.Joint(j);
        sw.weight[sw.n++] = r.F();
        if (sw.joint[sw.n - 1] < 0) return false;
      }
      if (sw.n == 0) return r.Fail("a skin vertex without joints");
      s.weights.push_back(sw);
    } else if (w == "tri") {
      for (std::string k; !(k = r.Word()).empty();) s.idx.push_back(int16_t(atoi(k.c_str())));
      if (s.idx.size() % 3) return r.Fail("tri needs whole triangles");
    } else if (w == "morph") {
      ModelMorph m;
      m.value = r.I();
      m.offsets.assign(s.vtx.size(), ZEVEC{0, 0, 0});
      for (std::string k; !(k = r.Word()).empty();) {
        const int i = atoi(k.c_str());
        if (i < 0 || i >= int(s.vtx.size())) return r.Fail("morph vertex " + k);
        m.offsets[size_t(i)].x = r.F(), m.offsets[size_t(i)].y = r.F(), m.offsets[size_t(i)].z = r.F();
      }
      s.morphs.push_back(m);
    } else {
      return r.Fail("unknown skin line " + w);
    }
  }
  return r.Fail("skin without end");
}

// Joint ids -1 become the index.
int IdOf(int id, size_t index) { return id < 0 ? int(index) : id; }

struct Writer {
  ZEFILE f;
  void I32(int v) { ZeFileWriteInt(f, v); }
  void F32(float v) { ZeFileWriteFloat(f, v); }
  void U8(int v) {
    const uint8_t b = uint8_t(v);
    ZeFileWrite(f, &b, 1);
  }
  void Bytes(const void* p, size_t n) {
    if (n) ZeFileWrite(f, p, int(n));
  }
  void Mtx(const ZEMTX& m) { Bytes(&m, 64); }
  void Begin(const char (&id)[5]) { ZeFileBeginBlkWrite(f, Id(id), 0); }
  void End() { ZeFileEndBlkWrite(f); }
};

uint32_t SwapRB(uint32_t c) { return (c & 0xff00ff00u) | (c >> 16 & 0xff) | (c & 0xff) << 16; }

ZEMTX Translate(ZEVEC t) {
  ZEMTX m;
  ZeMtxSetIdentity(&m);
  m.m[3][0] = t.x, m.m[3][1] = t.y, m.m[3][2] = t.z;
  return m;
}

void Geometry(Writer& w, int material, const std::vector<ZEVTX>& vtx, const std::vector<int16_t>& idx) {
  w.I32(material);
  w.I32(int(vtx.size()));
  for (ZEVTX v : vtx) {
    v.colour = SwapRB(v.colour);
    w.Bytes(&v, 36);
  }
  w.I32(0);  // prelight
  w.I32(1);  // one list
  w.I32(ZEPRIM_IDXLIST);
  w.I32(int(idx.size()));
  w.Bytes(idx.data(), idx.size() * 2);
}

void RigidObject(Writer& w, const std::vector<const ModelPart*>& parts) {
  w.I32(0);
  w.I32(ZEGOBJ_MESH);
  w.F32(0), w.F32(0), w.F32(0);
  w.I32(int(parts.size()));
  for (const ModelPart* p : parts) {
    Geometry(w, p->geom.material, p->geom.vtx, p->geom.idx);
    w.I32(0);  // skins
    w.I32(0);  // morph targets
  }
}

// A skin's vertex alpha reaches the vector unit as the file holds it, and
// there 0x80 is opaque (a rigid part's converter halves its byte instead);
// the description's alpha is a designer's, 0xff opaque.
uint32_t SkinAlpha(uint32_t c) { return (c & 0x00ffffffu) | ((c >> 24) * 128 + 127) / 255 << 24; }

void SkinObject(Writer& w, const ModelSkin& s) {
  w.I32(0);
  w.I32(ZEGOBJ_MESH);
  w.F32(0), w.F32(0), w.F32(0);
  w.I32(1);
  std::vector<ZEVTX> vtx = s.vtx;
  for (ZEVTX& v : vtx) v.colour = SkinAlpha(v.colour);
  Geometry(w, s.material, vtx, s.idx);
  // One skin record a vertex.
  w.I32(int(s.vtx.size()));
  w.U8(0);
  for (size_t i = 0; i < s.vtx.size(); i++) {
    const ModelSkinVertex& sw = s.weights[i];
    w.I32(int(i));
    w.I32(1);
    w.I32(sw.n);
    for (int k = 0; k < sw.n; k++) w.I32(sw.joint[k]);
    for (int k = 0; k < sw.n; k++) w.F32(sw.weight[k]);
  }
  w.I32(int(s.morphs.size()));
  if (s.morphs.empty()) return;
  for (const ModelMorph& m : s.morphs) w.I32(m.value);
  w.I32(int(s.morphs.size() * s.vtx.size() * 12));
  for (const ModelMorph& m : s.morphs) w.Bytes(m.offsets.data(), m.offsets.size() * 12);
  for (size_t i = 0; i < s.morphs.size(); i++) w.U8(1);
}

}  // namespace

bool ModelReadDescription(const char* path, ModelDesc* desc, std::string* error) {
  Reader r;
  r.d = desc;
  r.dir = fs::absolute(path).parent_path().string();
  PlatSetHostRoot(r.dir.c_str());
  const std::string eng = "@loc" + fs::path(path).filename().string();
  r.p = ZeFParCreate(eng.c_str());
  if (!r.p) return *error = std::string("cannot read ") + path, false;
  bool ok = true;
  while (ok && ZeFParGetLine(r.p) > 0) {
    const std::string w = r.Word();
    if (w == "texture" || w == "material" || w == "texanim") {
      const std::string name = r.Word();
      ok = SceneReadTextureOrMaterial(r.p, w, name, r.dir, &desc->scene, &r.names, &r.error);
    } else if (w == "joint") {
      ModelJoint j;
      j.name = r.Word();
      const std::string parent = r.Word();
      if (j.name.empty() || parent.empty()) ok = r.Fail("joint NAME PARENT X Y Z");
      else if (r.joints.count(j.name)) ok = r.Fail("joint \"" + j.name + "\" twice");
      else if (desc->joints.size() >= 255) ok = r.Fail("more than 255 joints");
      if (!ok) break;
      if (parent != "-") j.parent = r.Joint(parent);
      if (j.parent < 0) break;
      j.offset.x = r.F(), j.offset.y = r.F(), j.offset.z = r.F();
      if (r.Word() == "id") j.id = r.I();
      r.joints[j.name] = int(desc->joints.size());
      desc->joints.push_back(j);
    } else if (w == "box" || w == "cylinder") {
      ModelPart part;
      part.joint = r.Joint(r.Word());
      part.geom.material = r.Material(r.Word());
      if (part.joint < 0 || part.geom.material < 0) break;
      if (w == "box") {
        const float x = r.F(), y = r.F(), z = r.F();
        Box(part.geom, x, y, z, Colour(r.Word(), 0xffffffffu));
      } else {
        const float rad = r.F(), h = r.F();
        const int n = r.I();
        if (n < 3 || n > 64) ok = r.Fail("cylinder sides 3-64");
        Cylinder(part.geom, rad, h, n, Colour(r.Word(), 0xffffffffu));
      }
      desc->parts.push_back(part);
    } else if (w == "skin") {
      if (!desc->skins.empty()) ok = r.Fail("a second skin");
      else ok = Skin(r, r.Word());
    } else if (w == "point") {
      ModelPoint pt;
      pt.name = r.Word();
      pt.joint = r.Joint(r.Word());
      if (pt.joint < 0) break;
      pt.at.x = r.F(), pt.at.y = r.F(), pt.at.z = r.F();
      if (r.Word() == "id") pt.id = r.I();
      desc->points.push_back(pt);
    } else if (w == "sphere") {
      ModelSphere s;
      s.joint = r.Joint(r.Word());
      if (s.joint < 0) break;
      s.centre.x = r.F(), s.centre.y = r.F(), s.centre.z = r.F();
      s.radius = r.F();
      desc->spheres.push_back(s);
    } else if (w == "bounds") {
      desc->bound = r.F();
    } else {
      ok = r.Fail("unknown line " + w);
    }
  }
  ZeFParDestroy(r.p);
  if (!ok || !r.error.empty()) return *error = r.error, false;
  return true;
}

bool ModelCheck(const ModelDesc& d, std::string* error) {
  const int J = int(d.joints.size());
  for (size_t i = 0; i < d.joints.size(); i++)
    if (d.joints[i].parent != 255 && d.joints[i].parent >= int(i))
      return *error = "joint " + d.joints[i].name + ": its parent must come first", false;
  std::set<int> ids, pids;
  for (size_t i = 0; i < d.joints.size(); i++) {
    const int id = IdOf(d.joints[i].id, i);
    if (id < 0 || id > 254 || !ids.insert(id).second) return *error = "joint id " + std::to_string(id), false;
  }
  for (size_t i = 0; i < d.points.size(); i++) {
    const int id = IdOf(d.points[i].id, i);
    if (id < 0 || id > 254 || !pids.insert(id).second) return *error = "point id " + std::to_string(id), false;
  }
  if ((!d.parts.empty() || !d.skins.empty() || !d.points.empty()) && J == 0)
    return *error = "geometry without joints", false;
  for (const ModelSkin& s : d.skins) {
    if (s.idx.empty()) return *error = "a skin without triangles", false;
    for (size_t t = 0; t < s.idx.size(); t += 3) {
      std::set<int> used;
      for (size_t k = t; k < t + 3; k++) {
        if (s.idx[k] < 0 || s.idx[k] >= int16_t(s.vtx.size())) return *error = "skin index " + std::to_string(s.idx[k]), false;
        const ModelSkinVertex& w = s.weights[size_t(s.idx[k])];
        for (int j = 0; j < w.n; j++) used.insert(w.joint[j]);
      }
      // The skin converter puts a ninth matrix in slot 0: refused here.
      if (used.size() > 8)
        return *error = "skin triangle " + std::to_string(t / 3) + " uses " + std::to_string(used.size()) +
                        " joints (at most 8)", false;
    }
  }
  for (const ModelSphere& s : d.spheres)
    if (s.joint < 0 || s.joint >= J) return *error = "collision sphere joint", false;
  return true;
}

bool ModelWriteHgof(const ModelDesc& d, const char* path, std::string* error) {
  if (!ModelCheck(d, error)) return false;
  Writer w{ZeFileOpen(path, 1)};
  if (!w.f) return *error = std::string("cannot write ") + path, false;
  std::string names;
  auto name = [&](const std::string& n) {
    if (n.empty()) return 0;
    const int at = int(names.size());
    names += n;
    names += '\0';
    return at + 1;
  };
  std::vector<int> jn, pn;
  for (const ModelJoint& j : d.joints) jn.push_back(name(j.name));
  for (const ModelPoint& p : d.points) pn.push_back(name(p.name));
  const int layer = name("body");
  const int J = int(d.joints.size());
  // Texture-animation names: offsets from the table's start.
  std::map<std::string, int> animnames;
  for (const SceneTexAnim& t : d.scene.texanims)
    for (const std::string* n : {&t.name, &t.program})
      if (!animnames.count(*n)) animnames[*n] = name(*n) - 1;

  w.Begin("HGOF");
  w.Begin("NTBL");
  w.I32(int(names.size()));
  w.Bytes(names.data(), names.size());
  w.End();
  if (!d.scene.textures.empty()) SceneWriteTextureSet(w.f, d.scene);
  SceneWriteMaterialSet(w.f, d.scene);

  // World rest places of the joints (offsets only) for the skin offsets
  // and the bounds.
  std::vector<ZEMTX> world(static_cast<size_t>(J));
  for (int i = 0; i < J; i++) {
    const ModelJoint& j = d.joints[size_t(i)];
    const ZEMTX rest = j.matrices ? j.rest : Translate(j.offset);
    if (j.parent == 255) world[size_t(i)] = rest;
    else ZeMtxMulH(&world[size_t(i)], &rest, &world[size_t(j.parent)]);
  }
  w.Begin("HGO0");
  w.U8(J);
  if (J) {
    ZEMTX id;
    ZeMtxSetIdentity(&id);
    for (int i = 0; i < J; i++) {
      const ModelJoint& j = d.joints[size_t(i)];
      w.U8(0);
      w.Mtx(j.matrices ? j.rest : Translate(j.offset));
      if (j.matrices) {
        w.Mtx(j.skin);
      } else {
        const ZEVEC back = {-world[size_t(i)].m[3][0], -world[size_t(i)].m[3][1], -world[size_t(i)].m[3][2]};
        w.Mtx(Translate(back));
      }
      w.Mtx(id);
      w.F32(0), w.F32(0), w.F32(0);
      w.U8(j.parent);
      w.I32(jn[size_t(i)]);
    }
    for (int pass = 0; pass < 2; pass++) {
      std::vector<uint8_t> map;
      const size_t n = pass ? d.points.size() : d.joints.size();
      for (size_t i = 0; i < n; i++) {
        const int idv = IdOf(pass ? d.points[i].id : d.joints[i].id, i);
        if (map.size() <= size_t(idv)) map.resize(size_t(idv) + 1, 255);
        map[size_t(idv)] = uint8_t(i);
      }
      w.U8(int(map.size()));
      w.Bytes(map.data(), map.size());
    }
    w.U8(1);
    w.I32(layer);
    w.U8(d.parts.empty() ? 0 : 1);
    if (!d.parts.empty()) {
      for (int j = 0; j < J; j++) {
        std::vector<const ModelPart*> on;
        for (const ModelPart& p : d.parts)
          if (p.joint == j) on.push_back(&p);
        w.U8(on.empty() ? 0 : 1);
        if (!on.empty()) RigidObject(w, on);
      }
    }
    w.U8(d.skins.empty() ? 0 : 1);
    if (!d.skins.empty()) SkinObject(w, d.skins[0]);
    w.U8(0);  // objects2
    w.U8(0);  // skin2
    w.U8(int(d.points.size()));
    for (size_t i = 0; i < d.points.size(); i++) {
      w.U8(d.points[i].joint);
      w.Mtx(Translate(d.points[i].at));
      w.I32(pn[i]);
    }
    w.U8(0);  // no shadow volumes
  }
  // Bounds: the farthest point from the origin on every side, so that the
  // box holds every pose that turns the joints.
  float far = 0;
  auto reach = [&](const ZEVEC& p) { far = std::max(far, std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z)); };
  for (const ModelPart& p : d.parts)
    for (const ZEVTX& v : p.geom.vtx) {
      ZEVEC q;
      ZeVecMtxTransform(&q, &v.pos, &world[size_t(p.joint)]);
      reach(q);
    }
  for (const ModelSkin& s : d.skins)
    for (const ZEVTX& v : s.vtx) reach(v.pos);
  for (const ZEMTX& m : world) reach({m.m[3][0], m.m[3][1], m.m[3][2]});
  const float R = d.bound > 0 ? d.bound : (far > 0 ? far * 1.05f : 1.0f);
  const float bounds[11] = {R, 0, -R, -R, -R, R, R, R, -R, 2 * R, R};
  for (float f : bounds) w.F32(f);
  w.End();
  if (!d.spheres.empty()) {
    w.Begin("COLL");
    const int n = int(d.spheres.size());
    w.I32(n);
    w.I32(4);  // the entries follow the head
    for (int i = 0; i < n; i++) {
      w.I32(int(ZEHGOBJCOLL_SPHERE));
      // From this field to sphere i, after all entries.
      w.I32((n - i) * 8 - 4 + i * 20);
    }
    for (const ModelSphere& s : d.spheres) {
      w.Bytes(&s.centre, 12);
      w.F32(s.radius);
      w.U8(s.joint), w.U8(0), w.U8(0), w.U8(0);
    }
    w.End();
  }
  SceneWriteTexAnimSet(w.f, d.scene, [&](const std::string& n) { return animnames[n]; });
  w.End();
  ZeFileClose(w.f);
  return true;
}

void ModelDescFree(ModelDesc* d) { SceneDescFree(&d->scene); }
