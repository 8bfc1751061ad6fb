// The line-based scene description, read through the engine's parser (the
// grammar is in docs/ze3d.md): textures from patterns or PNG/BMP pictures,
// materials, meshes (inline, generated or Wavefront OBJ), sprite sets,
// instances with wind and keyed animations, specials, splines, texture
// animations.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "scenewrite.h"
#include "textool.h"
#include "zecore.h"

namespace fs = std::filesystem;

namespace {

struct Reader {
  ZEFPAR* p;
  SceneDesc* d;
  fs::path dir;
  std::string error;
  std::map<std::string, int> textures, materials, objects, anims;

  std::string Word() { return ZeFParGetWord(p) ? std::string(p->word) : std::string(); }
  float F() { return ZeFParGetFloat(p); }
  int I() { return ZeFParGetInt(p); }
  bool Fail(const std::string& why) {
    if (error.empty()) error = "line " + std::to_string(p->lineno + 1) + ": " + why;
    return false;
  }
  int Lookup(std::map<std::string, int>& m, const std::string& name, const char* what) {
    auto it = m.find(name);
    if (it == m.end()) {
      Fail(std::string("unknown ") + what + " \"" + name + "\"");
      return -1;
    }
    return it->second;
  }
};

uint32_t Colour(const std::string& hex) { return uint32_t(strtoul(hex.c_str(), nullptr, 16)); }

// Axes from three angles in degrees (x, then y, then z), scaled, at a place.
ZEMTX Placement(const ZEVEC& at, const ZEVEC& deg, float scale) {
  ZEANGVEC a = {int(deg.x * 65536.0f / 360.0f), int(deg.y * 65536.0f / 360.0f), int(deg.z * 65536.0f / 360.0f)};
  ZEMTX m;
  ZeMtxSetRotateXYZ(&m, &a);
  for (int r = 0; r < 3; r++)
    for (int c = 0; c < 3; c++) m.m[r][c] *= scale;
  m.m[3][0] = at.x, m.m[3][1] = at.y, m.m[3][2] = at.z, m.m[3][3] = 1.0f;
  return m;
}

ZEVTX Vtx(float x, float y, float z, float nx, float ny, float nz, uint32_t c, float u, float v) {
  ZEVTX t = {};
  t.pos = {x, y, z};
  t.normal = {nx, ny, nz};
  t.colour = c;
  t.u = u, t.v = v;
  return t;
}

void Quad(SceneGeom& g, const ZEVTX& a, const ZEVTX& b, const ZEVTX& c, const ZEVTX& d) {
  const int16_t base = int16_t(g.vtx.size());
  for (const ZEVTX& v : {a, b, c, d}) g.vtx.push_back(v);
  for (int k : {0, 1, 2, 0, 2, 3}) g.idx.push_back(int16_t(base + k));
}

// A ground of n x n quads, w by depth, at y = 0, texture repeated once a quad.
void Grid(SceneGeom& g, float w, float depth, int n, uint32_t c) {
  for (int i = 0; i < n; i++)
    for (int j = 0; j < n; j++) {
      const float x0 = -w / 2 + w * i / n, x1 = -w / 2 + w * (i + 1) / n;
      const float z0 = -depth / 2 + depth * j / n, z1 = -depth / 2 + depth * (j + 1) / n;
      Quad(g, Vtx(x0, 0, z0, 0, 1, 0, c, 0, 0), Vtx(x0, 0, z1, 0, 1, 0, c, 0, 1), Vtx(x1, 0, z1, 0, 1, 0, c, 1, 1),
           Vtx(x1, 0, z0, 0, 1, 0, c, 1, 0));
    }
}

// A box standing on y = 0.
void Box(SceneGeom& g, float w, float h, float depth, uint32_t c) {
  const float x = w / 2, z = depth / 2;
  const ZEVEC p[8] = {{-x, 0, -z}, {x, 0, -z}, {x, h, -z}, {-x, h, -z}, {-x, 0, z}, {x, 0, z}, {x, h, z}, {-x, h, z}};
  const int faces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 4, 7, 3}, {1, 2, 6, 5}, {3, 7, 6, 2}, {0, 1, 5, 4}};
  const ZEVEC n[6] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
  for (int f = 0; f < 6; f++) {
    ZEVTX v[4];
    const float uv[4][2] = {{0, 1}, {0, 0}, {1, 0}, {1, 1}};
    for (int k = 0; k < 4; k++) {
      const ZEVEC& q = p[faces[f][k]];
      v[k] = Vtx(q.x, q.y, q.z, n[f].x, n[f].y, n[f].z, c, uv[k][0], uv[k][1]);
    }
    Quad(g, v[0], v[1], v[2], v[3]);
  }
}

// An OBJ into the object; its materials' geometries go before the current
// one, which stays last for the lines after.
bool Obj(Reader& r, SceneObject& o, const std::string& name, uint32_t c) {
  std::string why;
  const size_t at = o.geoms.size() - 1;
  if (!SceneReadObj((r.dir / name).c_str(), r.d, &o, c, &why)) return r.Fail(name + ": " + why);
  std::rotate(o.geoms.begin() + long(at), o.geoms.begin() + long(at) + 1, o.geoms.end());
  return true;
}

bool Texture(Reader& r, const std::string& name) {
  const std::string how = r.Word();
  RgbaImage pic;
  std::string err;
  if (how == "pattern") {
    const int w = r.I(), h = r.I();
    if (w < 8 || h < 8 || w > 1024 || h > 1024) return r.Fail("pattern size");
    pic = TestPattern(w, h);
  } else if (how == "file") {
    const fs::path path = r.dir / r.Word();
    if (!PictureRead(path.string(), &pic, &err)) return r.Fail("picture " + path.string() + ": " + err);
    pic = PictureFit(pic);
  } else {
    return r.Fail("texture pattern or file");
  }
  int type = TEXTOOL_DEFAULT_TYPE;
  if (r.Word() == "type") type = r.I();
  ZETEX* img = TexFromRgba(pic, type, 1, &err);
  if (!img) return r.Fail(err);
  r.textures[name] = int(r.d->textures.size());
  r.d->textures.push_back(img);
  r.d->texnames.push_back(name);
  return true;
}

bool Material(Reader& r, const std::string& name) {
  SceneMaterial m;
  for (std::string w; !(w = r.Word()).empty();) {
    if (w == "texture") m.texture = r.Lookup(r.textures, r.Word(), "texture");
    else if (w == "lighting") m.lighting = r.I();
    else if (w == "vtxcol") m.vtxcol = 1;
    else if (w == "blend") m.blend = r.I();
    else if (w == "alpha") m.alpha = r.F();
    else if (w == "diffuse") m.diffuse[0] = r.F(), m.diffuse[1] = r.F(), m.diffuse[2] = r.F();
    else if (w == "clamp") m.uwrap = m.vwrap = 1;
    else if (w == "chain") m.chain = r.Lookup(r.materials, r.Word(), "material") + 1;
    else if (w == "effect") m.effect = r.I();
    else return r.Fail("material field " + w);
  }
  r.materials[name] = int(r.d->materials.size());
  r.d->materials.push_back(m);
  r.d->mtlnames.push_back(name);
  return r.error.empty();
}

bool Object(Reader& r, const std::string& name) {
  SceneObject o;
  o.name = name;
  const std::string kind = r.Word();
  o.kind = kind == "mesh" ? ZEGOBJ_MESH : kind == "sprites" ? ZEGOBJ_SPRITES : -1;
  if (o.kind < 0) return r.Fail("object mesh or sprites");
  float size = 0.0f;
  if (r.Word() == "size") size = r.F(), o.kind = ZEGOBJ_SIZEDSPRITES;
  while (ZeFParGetLine(r.p) > 0) {
    const std::string w = r.Word();
    if (w == "end") break;
    const bool mesh = o.kind == ZEGOBJ_MESH;
    if (mesh && w == "geom") {
      o.geoms.emplace_back();
      o.geoms.back().material = r.Lookup(r.materials, r.Word(), "material");
      continue;
    }
    if (!mesh && w == "set") {
      o.sets.emplace_back();
      o.sets.back().material = r.Lookup(r.materials, r.Word(), "material");
      o.sets.back().size = size;
      if (r.Word() == "style") o.sets.back().style = r.I();
      continue;
    }
    if (mesh ? o.geoms.empty() : o.sets.empty()) return r.Fail(mesh ? "geom first" : "set first");
    if (mesh) {
      SceneGeom& g = o.geoms.back();
      if (w == "v") {
        float f[6];
        for (float& x : f) x = r.F();
        const uint32_t c = Colour(r.Word());
        const float u = r.F(), v = r.F();
        g.vtx.push_back(Vtx(f[0], f[1], f[2], f[3], f[4], f[5], c, u, v));
      } else if (w == "tri" || w == "strip") {
        std::vector<int16_t> idx;
        for (std::string x; !(x = r.Word()).empty();) idx.push_back(int16_t(atoi(x.c_str())));
        if (w == "strip") {
          if (g.primtype == ZEPRIM_IDXLIST && !g.idx.empty()) return r.Fail("lists and strips in one geom");
          g.primtype = ZEPRIM_IDXSTRIP;
          g.idx.push_back(int16_t(idx.size()));
        }
        g.idx.insert(g.idx.end(), idx.begin(), idx.end());
      } else if (w == "grid") {
        const float a = r.F(), b = r.F();
        const int n = r.I();
        Grid(g, a, b, n < 1 ? 1 : n > 40 ? 40 : n, Colour(r.Word().empty() ? "ffffffff" : r.p->word));
      } else if (w == "box") {
        const float a = r.F(), b = r.F(), c = r.F();
        Box(g, a, b, c, Colour(r.Word().empty() ? "ffffffff" : r.p->word));
      } else if (w == "obj") {
        const std::string file = r.Word();
        if (!Obj(r, o, file, Colour(r.Word().empty() ? "ffffffff" : r.p->word))) return false;
      } else {
        return r.Fail("mesh line " + w);
      }
    } else {
      if (w != "sprite") return r.Fail("sprite line " + w);
      ZEFACEON s = {};
      s.pos.x = r.F(), s.pos.y = r.F(), s.pos.z = r.F();
      s.width = r.F(), s.height = r.F();
      s.colour = Colour(r.Word());
      o.sets.back().sprites.push_back(s);
    }
  }
  for (const SceneGeom& g : o.geoms)
    for (int16_t i : g.idx)
      if (g.primtype == ZEPRIM_IDXLIST && (i < 0 || i >= int(g.vtx.size()))) return r.Fail("index out of range");
  r.objects[name] = int(r.d->objects.size());
  r.d->objects.push_back(std::move(o));
  return r.error.empty();
}

bool Instance(Reader& r, const std::string& objname) {
  SceneInstance in;
  in.object = r.Lookup(r.objects, objname, "object");
  ZEVEC at = {r.F(), r.F(), r.F()}, deg = {0, 0, 0};
  float scale = 1.0f;
  for (std::string w; !(w = r.Word()).empty();) {
    if (w == "rotate") deg = {r.F(), r.F(), r.F()};
    else if (w == "scale") scale = r.F();
    else if (w == "wind") in.wind_amplitude = int16_t(r.I()), in.wind_speed = int16_t(r.I());
    else if (w == "hidden") in.flags &= ~ZEGSCNINST_SHOWN;
    else if (w == "nocull") in.flags |= ZEGSCNINST_NOCULL;
    else if (w == "id") r.d->ids.push_back(int16_t(r.I()));
    else return r.Fail("instance field " + w);
  }
  in.mtx = Placement(at, deg, scale);
  r.d->instances.push_back(in);
  return r.error.empty();
}

bool Animate(Reader& r, const std::string& anim) {
  if (r.d->instances.empty()) return r.Fail("animate before any instance");
  SceneInstance& in = r.d->instances.back();
  in.animated = true;
  in.anim = {};
  in.anim.anim = uint8_t(r.Lookup(r.anims, anim, "animation"));
  in.anim.rate = 1.0f;
  in.anim.time = 1.0f;
  in.anim.flags = ZEGSCNANIM_PLAYING;
  for (std::string w; !(w = r.Word()).empty();) {
    if (w == "rate") in.anim.rate = r.F();
    else if (w == "delay") in.anim.delay = r.F(), in.anim.flags |= ZEGSCNANIM_WAITING, in.anim.time = 0.0f;
    else if (w == "extra") in.anim.extra = r.F();
    else if (w == "loop") in.anim.flags |= ZEGSCNANIM_LOOP;
    else if (w == "reverse") in.anim.flags |= ZEGSCNANIM_REVERSE;
    else if (w == "stopped") in.anim.flags &= ~ZEGSCNANIM_PLAYING;
    else return r.Fail("animate field " + w);
  }
  return r.error.empty();
}

bool Spline(Reader& r, const std::string& name) {
  SceneSpline s;
  s.name = name;
  while (ZeFParGetLine(r.p) > 0) {
    const std::string w = r.Word();
    if (w == "end") break;
    if (w != "point") return r.Fail("spline line " + w);
    s.points.push_back({r.F(), r.F(), r.F()});
  }
  r.d->splines.push_back(std::move(s));
  return true;
}

bool TexAnim(Reader& r, const std::string& name) {
  SceneTexAnim t;
  t.name = name;
  t.material = r.Lookup(r.materials, r.Word(), "material");
  t.program = r.Word();
  for (std::string w; !(w = r.Word()).empty();) t.frames.push_back(r.Lookup(r.textures, w, "texture"));
  if (t.program.empty() || t.frames.empty()) return r.Fail("texanim NAME MATERIAL PROGRAM TEXTURE...");
  r.d->texanims.push_back(std::move(t));
  return r.error.empty();
}

}  // namespace

namespace {

struct ObjMaterial {
  float kd[3] = {1, 1, 1};
  std::string map;  // map_Kd, the picture's path
  int material = -1;  // made on first use
};

// A material library: newmtl, Kd and map_Kd (options before the file name
// are passed over).
bool ReadMtl(const fs::path& path, std::map<std::string, ObjMaterial>* out, std::string* error) {
  std::ifstream in(path);
  if (!in) return *error = "material library " + path.string() + ": cannot read", false;
  ObjMaterial* m = nullptr;
  for (std::string line; std::getline(in, line);) {
    std::istringstream s(line);
    std::string kind;
    s >> kind;
    if (kind == "newmtl") {
      std::string name;
      s >> name;
      m = &(*out)[name];
    } else if (m && kind == "Kd") {
      s >> m->kd[0] >> m->kd[1] >> m->kd[2];
    } else if (m && kind == "map_Kd") {
      std::string w;
      while (s >> w) m->map = w;
      std::replace(m->map.begin(), m->map.end(), '\\', '/');
      m->map = (path.parent_path() / m->map).string();
    }
  }
  return true;
}

uint32_t Tint(uint32_t c, const float kd[3]) {
  uint32_t out = c & 0xff000000u;
  for (int k = 0; k < 3; k++)
    out |= uint32_t(std::lround(std::clamp(kd[k], 0.0f, 1.0f) * float(c >> (8 * k) & 0xff))) << (8 * k);
  return out;
}

}  // namespace

// Wavefront OBJ: v, vt, vn and f lines (polygons fanned into triangles);
// mtllib and usemtl give a material's faces a geometry and material of
// their own.
bool SceneReadObj(const char* path, SceneDesc* desc, SceneObject* obj, uint32_t c, std::string* error) {
  auto fail = [&](const std::string& why) { return *error = why, false; };
  std::ifstream in(path);
  if (!in) return fail("cannot read");
  if (obj->geoms.empty()) obj->geoms.emplace_back();
  const size_t plain = obj->geoms.size() - 1;
  size_t at = plain;  // the geometry faces go to
  std::vector<ZEVEC> pos, nrm;
  std::vector<std::pair<float, float>> uv;
  std::map<std::pair<size_t, std::string>, int16_t> made;  // (geometry, corner) -> vertex
  std::map<std::string, ObjMaterial> mtls;
  std::map<std::string, size_t> geomOf;
  size_t triangles = 0;
  for (std::string line; std::getline(in, line);) {
    std::istringstream s(line);
    std::string kind;
    s >> kind;
    if (kind == "v") {
      ZEVEC v{};
      s >> v.x >> v.y >> v.z;
      pos.push_back(v);
    } else if (kind == "vn") {
      ZEVEC v{};
      s >> v.x >> v.y >> v.z;
      nrm.push_back(v);
    } else if (kind == "vt") {
      float u = 0, v = 0;
      s >> u >> v;
      uv.push_back({u, 1.0f - v});
    } else if (kind == "mtllib") {
      std::string lib;
      std::getline(s >> std::ws, lib);
      while (!lib.empty() && isspace(uint8_t(lib.back()))) lib.pop_back();
      if (!ReadMtl(fs::path(path).parent_path() / lib, &mtls, error)) return false;
    } else if (kind == "usemtl") {
      std::string name;
      s >> name;
      auto it = mtls.find(name);
      if (it == mtls.end()) {
        at = plain;  // a material the libraries do not hold: the plain geometry
        continue;
      }
      if (!geomOf.count(name)) {
        ObjMaterial& m = it->second;
        SceneMaterial sm;
        sm.vtxcol = 1;
        sm.lighting = 2;  // Kd in the vertex colours, unlit, as glTF's base colour
        if (!m.map.empty()) {
          RgbaImage pic;
          std::string why;
          ZETEX* tex = PictureRead(m.map, &pic, &why) ? TexFromPicture(pic, &why) : nullptr;
          if (!tex) return fail("material " + name + ": " + m.map + ": " + why);
          sm.texture = int(desc->textures.size());
          desc->textures.push_back(tex);
          desc->texnames.push_back(name);
        }
        m.material = int(desc->materials.size());
        desc->materials.push_back(sm);
        desc->mtlnames.push_back(name);
        geomOf[name] = obj->geoms.size();
        obj->geoms.emplace_back();
        obj->geoms.back().material = m.material;
      }
      at = geomOf[name];
    } else if (kind == "f") {
      SceneGeom& g = obj->geoms[at];
      const float* kd = nullptr;
      for (const auto& [name, index] : geomOf)
        if (index == at) kd = mtls[name].kd;
      std::vector<int16_t> poly;
      for (std::string corner; s >> corner;) {
        auto it = made.find({at, corner});
        if (it == made.end()) {
          int vi = 0, ti = 0, ni = 0;
          if (sscanf(corner.c_str(), "%d/%d/%d", &vi, &ti, &ni) < 1 && sscanf(corner.c_str(), "%d//%d", &vi, &ni) < 1)
            return fail("bad face corner " + corner);
          if (vi < 1 || vi > int(pos.size()) || ti > int(uv.size()) || ni > int(nrm.size()))
            return fail("face corner out of range " + corner);
          if (g.vtx.size() >= 32767) return fail("more than 32767 vertices");
          ZEVTX v = {};
          v.pos = pos[size_t(vi - 1)];
          if (ni > 0) v.normal = nrm[size_t(ni - 1)];
          if (ti > 0) v.u = uv[size_t(ti - 1)].first, v.v = uv[size_t(ti - 1)].second;
          v.colour = kd ? Tint(c, kd) : c;
          it = made.emplace(std::make_pair(at, corner), int16_t(g.vtx.size())).first;
          g.vtx.push_back(v);
        }
        poly.push_back(it->second);
      }
      for (size_t k = 2; k < poly.size(); k++) g.idx.insert(g.idx.end(), {poly[0], poly[k - 1], poly[k]});
      triangles += poly.size() > 2 ? poly.size() - 2 : 0;
    }
  }
  if (!triangles) return fail("no triangles");
  return true;
}

bool SceneReadTextureOrMaterial(ZEFPAR* parser, const std::string& what, const std::string& name,
                                const std::string& dir, SceneDesc* desc, SceneNames* names, std::string* error) {
  Reader r;
  r.p = parser;
  r.d = desc;
  r.dir = dir;
  r.textures = names->textures;
  r.materials = names->materials;
  const bool ok = what == "texture" ? Texture(r, name) : what == "material" ? Material(r, name) : TexAnim(r, name);
  names->textures = r.textures;
  names->materials = r.materials;
  if (!ok || !r.error.empty()) return *error = r.error, false;
  return true;
}

bool SceneReadDescription(const char* path, SceneDesc* desc, std::string* error) {
  Reader r;
  r.d = desc;
  r.dir = fs::absolute(path).parent_path();
  PlatSetHostRoot(r.dir.c_str());
  const std::string eng = "@loc" + fs::path(path).filename().string();
  r.p = ZeFParCreate(eng.c_str());
  if (!r.p) return *error = std::string("cannot read ") + path, false;
  bool ok = true;
  while (ok && ZeFParGetLine(r.p) > 0) {
    const std::string w = r.Word(), name = r.Word();
    if (name.empty()) ok = r.Fail(w + " needs a name");
    else if (w == "texture") ok = Texture(r, name);
    else if (w == "material") ok = Material(r, name);
    else if (w == "object") ok = Object(r, name);
    else if (w == "instance") ok = Instance(r, name);
    else if (w == "animate") ok = Animate(r, name);
    else if (w == "anim") ok = SceneReadAnim(r.p, name, desc, &r.error), r.anims[name] = int(desc->anims.size()) - 1;
    else if (w == "special") {
      desc->specials.push_back({name, int(desc->instances.size()) - 1});
      if (desc->instances.empty()) ok = r.Fail("special before any instance");
    } else if (w == "spline") ok = Spline(r, name);
    else if (w == "texanim") ok = TexAnim(r, name);
    else ok = r.Fail("unknown line " + w);
  }
  ZeFParDestroy(r.p);
  if (!ok || !r.error.empty()) return *error = r.error, false;
  return true;
}
