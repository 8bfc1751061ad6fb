// glTF 2.0 scenes through tinygltf: each mesh becomes an object (one
// geometry a triangle primitive), base colours become material colours,
// base-colour textures become textures, and every node with a mesh becomes
// an instance. glTF is right-handed with column vectors; the engine's
// matrices are row vectors and, as animations are, mirrored in z: points,
// normals and node matrices are mirrored and triangles turned back over.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include <tiny_gltf.h>

#include "gltfutil.h"
#include "scenewrite.h"
#include "textool.h"

using namespace gltfutil;

namespace {

bool Fail(std::string* error, const std::string& why) {
  *error = why;
  return false;
}

}  // namespace

bool SceneReadGltf(const char* path, SceneDesc* d, std::string* error) {
  tinygltf::Model m;
  tinygltf::TinyGLTF loader;
  std::string err, warn;
  const std::string p = path;
  const bool binary = p.size() > 4 && p.compare(p.size() - 4, 4, ".glb") == 0;
  if (!(binary ? loader.LoadBinaryFromFile(&m, &err, &warn, p) : loader.LoadASCIIFromFile(&m, &err, &warn, p)))
    return Fail(error, err.empty() ? "not a glTF file" : err);
  // Textures: each image of a base-colour texture.
  std::vector<int> texOfImage(m.images.size(), -1);
  for (const tinygltf::Material& mat : m.materials) {
    const int t = mat.pbrMetallicRoughness.baseColorTexture.index;
    if (t < 0 || size_t(t) >= m.textures.size()) continue;
    const int img = m.textures[size_t(t)].source;
    if (img < 0 || size_t(img) >= m.images.size() || texOfImage[size_t(img)] >= 0) continue;
    const tinygltf::Image& im = m.images[size_t(img)];
    auto pow2 = [](int x) { return x >= 8 && x <= 1024 && (x & (x - 1)) == 0; };
    if (!pow2(im.width) || !pow2(im.height) || im.component != 4 || im.bits != 8)
      return Fail(error, "texture image " + std::to_string(img) + ": 8-bit RGBA, sides powers of two from 8 to 1024");
    RgbaImage pic;
    pic.width = im.width, pic.height = im.height;
    pic.pixels.resize(size_t(im.width) * size_t(im.height));
    memcpy(pic.pixels.data(), im.image.data(), pic.pixels.size() * 4);
    std::string why;
    ZETEX* tex = TexFromRgba(pic, ZETEX_RGBA32, 1, &why);
    if (!tex) return Fail(error, why);
    texOfImage[size_t(img)] = int(d->textures.size());
    d->textures.push_back(tex);
    d->texnames.push_back(im.name.empty() ? "image" + std::to_string(img) : im.name);
  }
  // Materials; one more, plain white, for primitives without one.
  for (const tinygltf::Material& mat : m.materials) {
    SceneMaterial sm;
    sm.vtxcol = 1;
    sm.lighting = 2;  // the base colour in the vertex colours, unlit
    const auto& f = mat.pbrMetallicRoughness.baseColorFactor;
    for (int i = 0; i < 3; i++) sm.diffuse[i] = float(f.size() > size_t(i) ? f[size_t(i)] : 1.0);
    const int t = mat.pbrMetallicRoughness.baseColorTexture.index;
    if (t >= 0 && size_t(t) < m.textures.size() && m.textures[size_t(t)].source >= 0)
      sm.texture = texOfImage[size_t(m.textures[size_t(t)].source)];
    d->materials.push_back(sm);
    d->mtlnames.push_back(mat.name);
  }
  const int plain = int(d->materials.size());
  d->materials.push_back(SceneMaterial{.lighting = 2, .vtxcol = 1});
  d->mtlnames.push_back("plain");
  // Meshes.
  for (const tinygltf::Mesh& mesh : m.meshes) {
    SceneObject o;
    o.name = mesh.name;
    for (const tinygltf::Primitive& prim : mesh.primitives) {
      if (prim.mode != TINYGLTF_MODE_TRIANGLES) return Fail(error, "mesh " + mesh.name + ": triangles only");
      View pos, nrm, uv, col, idx;
      auto at = [&](const char* name, View* v) {
        auto it = prim.attributes.find(name);
        return it != prim.attributes.end() && Access(m, it->second, v);
      };
      if (!at("POSITION", &pos) || pos.type != TINYGLTF_COMPONENT_TYPE_FLOAT || pos.comps != 3)
        return Fail(error, "mesh " + mesh.name + ": no float positions");
      if (pos.count > 32767) return Fail(error, "mesh " + mesh.name + ": more than 32767 vertices");
      const bool hasN = at("NORMAL", &nrm), hasUV = at("TEXCOORD_0", &uv), hasC = at("COLOR_0", &col);
      SceneGeom g;
      g.material = prim.material >= 0 && prim.material < plain ? prim.material : plain;
      const SceneMaterial& sm = d->materials[size_t(g.material)];
      for (size_t i = 0; i < pos.count; i++) {
        ZEVTX v = {};
        v.pos = {float(Component(pos, i, 0)), float(Component(pos, i, 1)), -float(Component(pos, i, 2))};
        if (hasN && nrm.count > i)
          v.normal = {float(Component(nrm, i, 0)), float(Component(nrm, i, 1)), -float(Component(nrm, i, 2))};
        if (hasUV && uv.count > i) v.u = float(Component(uv, i, 0)), v.v = float(Component(uv, i, 1));
        double c[4] = {1, 1, 1, 1};
        if (hasC && col.count > i)
          for (int k = 0; k < col.comps && k < 4; k++) c[k] = Component(col, i, k);
        v.colour = Rgba(c[0] * sm.diffuse[0], c[1] * sm.diffuse[1], c[2] * sm.diffuse[2], c[3]);
        g.vtx.push_back(v);
      }
      std::vector<uint32_t> tri;
      if (prim.indices >= 0) {
        if (!Access(m, prim.indices, &idx)) return Fail(error, "mesh " + mesh.name + ": bad indices");
        for (size_t i = 0; i < idx.count; i++) tri.push_back(uint32_t(Component(idx, i, 0)));
      } else {
        for (size_t i = 0; i < pos.count; i++) tri.push_back(uint32_t(i));
      }
      // Mirrored: each triangle turned back over.
      for (size_t i = 0; i + 2 < tri.size(); i += 3) {
        if (tri[i] >= pos.count || tri[i + 1] >= pos.count || tri[i + 2] >= pos.count)
          return Fail(error, "mesh " + mesh.name + ": index out of range");
        g.idx.insert(g.idx.end(), {int16_t(tri[i]), int16_t(tri[i + 2]), int16_t(tri[i + 1])});
      }
      o.geoms.push_back(std::move(g));
    }
    d->objects.push_back(std::move(o));
  }
  for (SceneMaterial& sm : d->materials) sm.diffuse[0] = sm.diffuse[1] = sm.diffuse[2] = 1.0f;
  // Nodes with meshes, from the scene's roots down.
  std::vector<std::pair<int, Mat>> todo;
  const int scene = m.defaultScene >= 0 ? m.defaultScene : 0;
  if (size_t(scene) < m.scenes.size())
    for (int n : m.scenes[size_t(scene)].nodes) todo.push_back({n, Identity()});
  for (size_t k = 0; k < todo.size(); k++) {
    const auto [n, parent] = todo[k];
    if (n < 0 || size_t(n) >= m.nodes.size() || todo.size() > 65535) return Fail(error, "bad node list");
    const tinygltf::Node& node = m.nodes[size_t(n)];
    const Mat world = Mul(parent, NodeMatrix(node));
    if (node.mesh >= 0 && size_t(node.mesh) < m.meshes.size()) {
      SceneInstance in;
      in.object = node.mesh;
      in.mtx = EngineMatrix(world);
      d->instances.push_back(in);
      if (!node.name.empty()) d->specials.push_back({node.name, int(d->instances.size()) - 1});
    }
    for (int c : node.children) todo.push_back({c, world});
  }
  return true;
}
