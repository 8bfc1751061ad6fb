// glTF 2.0 scenes through tinygltf: each mesh becomes an object (one
// geometry a primitive of triangles, strips or fans, made a triangle list),
// base colours become material colours, base-colour textures (PNG or JPEG)
// become textures through the texture tool's converter, and every node with
// a mesh becomes an instance. glTF is right-handed with column vectors; the engine's
// matrices are row vectors and, as animations are, mirrored in z: points,
// normals and node matrices are mirrored and triangles turned back over.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
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
  if (!Load(path, &m, error)) return false;
  // Textures: each image of a base-colour texture, through the texture
  // tool's converter.
  std::vector<int> texOfImage(m.images.size(), -1);
  for (const tinygltf::Material& mat : m.materials) {
    const int t = mat.pbrMetallicRoughness.baseColorTexture.index;
    if (t < 0 || size_t(t) >= m.textures.size()) continue;
    const int img = m.textures[size_t(t)].source;
    if (img < 0 || size_t(img) >= m.images.size() || texOfImage[size_t(img)] >= 0) continue;
    const tinygltf::Image& im = m.images[size_t(img)];
    const std::string which = "texture image " + std::to_string(img) + (im.uri.empty() ? "" : " (" + im.uri + ")");
    const uint8_t* bytes;
    size_t size;
    if (!ImageBytes(m, im, &bytes, &size)) return Fail(error, which + ": its buffer view lies outside the buffer");
    if (!size) return Fail(error, which + ": cannot be read");
    RgbaImage pic;
    std::string why;
    ZETEX* tex = PictureDecode(bytes, size, &pic, &why) ? TexFromPicture(pic, &why) : nullptr;
    if (!tex) return Fail(error, which + ": " + why);
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
  // Meshes: triangles, strips and fans as triangle lists; points and lines
  // are passed over.
  size_t triangles = 0;
  for (const tinygltf::Mesh& mesh : m.meshes) {
    SceneObject o;
    o.name = mesh.name;
    const std::string what = "mesh " + (mesh.name.empty() ? std::to_string(&mesh - m.meshes.data()) : mesh.name);
    bool skipped = false;
    for (const tinygltf::Primitive& prim : mesh.primitives) {
      if (prim.mode >= TINYGLTF_MODE_POINTS && prim.mode <= TINYGLTF_MODE_LINE_STRIP) {
        skipped = true;
        continue;
      }
      if (prim.mode < TINYGLTF_MODE_TRIANGLES || prim.mode > TINYGLTF_MODE_TRIANGLE_FAN)
        return Fail(error, what + ": primitive mode " + std::to_string(prim.mode));
      View pos, nrm, uv, col, idx;
      auto at = [&](const char* name, View* v) {
        auto it = prim.attributes.find(name);
        return it != prim.attributes.end() && Access(m, it->second, v);
      };
      if (!at("POSITION", &pos) || pos.type != TINYGLTF_COMPONENT_TYPE_FLOAT || pos.comps != 3)
        return Fail(error, what + ": no float positions");
      if (pos.count > 32767) return Fail(error, what + ": more than 32767 vertices");
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
      std::vector<uint32_t> corner;
      if (prim.indices >= 0) {
        if (!Access(m, prim.indices, &idx)) return Fail(error, what + ": bad indices");
        for (size_t i = 0; i < idx.count; i++) corner.push_back(uint32_t(Component(idx, i, 0)));
      } else {
        for (size_t i = 0; i < pos.count; i++) corner.push_back(uint32_t(i));
      }
      for (uint32_t k : corner)
        if (k >= pos.count) return Fail(error, what + ": index out of range");
      // Triangles in glTF's winding: a strip's odd ones turned, a fan's
      // about its first corner.
      std::vector<std::array<uint32_t, 3>> tris;
      for (size_t i = 0; i + 2 < corner.size(); i += prim.mode == TINYGLTF_MODE_TRIANGLES ? 3 : 1) {
        if (prim.mode == TINYGLTF_MODE_TRIANGLES) tris.push_back({corner[i], corner[i + 1], corner[i + 2]});
        else if (prim.mode == TINYGLTF_MODE_TRIANGLE_FAN) tris.push_back({corner[0], corner[i + 1], corner[i + 2]});
        else if (i & 1) tris.push_back({corner[i + 1], corner[i], corner[i + 2]});
        else tris.push_back({corner[i], corner[i + 1], corner[i + 2]});
      }
      // Mirrored: each triangle turned back over.
      for (const auto& t : tris) g.idx.insert(g.idx.end(), {int16_t(t[0]), int16_t(t[2]), int16_t(t[1])});
      triangles += tris.size();
      o.geoms.push_back(std::move(g));
    }
    if (skipped) fprintf(stderr, "warning: %s: %s: points and lines passed over\n", path, what.c_str());
    d->objects.push_back(std::move(o));
  }
  if (!triangles) return Fail(error, "no triangles");
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
    if (node.mesh >= 0 && size_t(node.mesh) < m.meshes.size() && !d->objects[size_t(node.mesh)].geoms.empty()) {
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
