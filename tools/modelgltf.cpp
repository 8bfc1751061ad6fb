// A glTF 2.0 file as a model: the scene tool's reader gives the textures,
// materials and meshes. With a skin, the first skin's joints become the
// model's joints (parents from the node tree, rest matrices from the nodes,
// inverse bind matrices as skin offsets) and the first primitive of the
// skinned mesh its skin (JOINTS_0/WEIGHTS_0 as skin records); without one,
// every node of the scene is a joint with its mesh's geometries as rigid
// parts on it. Each animation becomes an ".ani" v2 image sampled at 30
// frames a second through the animation writer.
#include <cmath>
#include <map>

#include "aniwrite.h"
#include "gltfutil.h"
#include "modelwrite.h"

using namespace gltfutil;

namespace {

constexpr double kFps = 30.0;

bool Fail(std::string* error, const std::string& why) {
  *error = why;
  return false;
}

struct Trs {
  double t[3] = {0, 0, 0}, r[4] = {0, 0, 0, 1}, s[3] = {1, 1, 1};
};

Trs NodeTrs(const tinygltf::Node& n) {
  Trs x;
  for (size_t i = 0; i < 3 && n.translation.size() == 3; i++) x.t[i] = n.translation[i];
  for (size_t i = 0; i < 4 && n.rotation.size() == 4; i++) x.r[i] = n.rotation[i];
  for (size_t i = 0; i < 3 && n.scale.size() == 3; i++) x.s[i] = n.scale[i];
  return x;
}

Mat TrsMatrix(const Trs& x) {
  tinygltf::Node n;
  n.translation = {x.t[0], x.t[1], x.t[2]};
  n.rotation = {x.r[0], x.r[1], x.r[2], x.r[3]};
  n.scale = {x.s[0], x.s[1], x.s[2]};
  return NodeMatrix(n);
}

// The value of one sampler at time t (linear; step holds; cubic splines
// take their value parts linearly); comps values into out.
void Sample(const View& in, const View& out, const std::string& interp, int comps, double t, double* v) {
  const bool cubic = interp == "CUBICSPLINE";
  const size_t stride = cubic ? 3 : 1, at = cubic ? 1 : 0;
  size_t k = 0;
  while (k + 1 < in.count && Component(in, k + 1, 0) <= t) k++;
  const double t0 = Component(in, k, 0);
  double f = 0;
  if (k + 1 < in.count && interp != "STEP" && t > t0) f = (t - t0) / (Component(in, k + 1, 0) - t0);
  for (int c = 0; c < comps; c++) {
    const double a = Component(out, k * stride + at, c);
    const double b = k + 1 < in.count ? Component(out, (k + 1) * stride + at, c) : a;
    v[c] = a + (b - a) * f;
  }
  if (comps == 4) {
    const double l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2] + v[3] * v[3]);
    if (l > 0)
      for (int c = 0; c < 4; c++) v[c] /= l;
  }
}

// An engine-space local matrix as the animation writer's channels:
// translation, angles of the engine's x-then-y-then-z rotation, scale.
void Channels(const ZEMTX& m, float out[9]) {
  float s[3];
  ZEMTX r = m;
  for (int i = 0; i < 3; i++) {
    s[i] = std::sqrt(m.m[i][0] * m.m[i][0] + m.m[i][1] * m.m[i][1] + m.m[i][2] * m.m[i][2]);
    for (int c = 0; c < 3 && s[i] > 0; c++) r.m[i][c] /= s[i];
  }
  out[0] = m.m[3][0], out[1] = m.m[3][1], out[2] = m.m[3][2];
  const float sy = std::clamp(-r.m[0][2], -1.0f, 1.0f);
  out[4] = std::asin(sy);
  out[3] = std::atan2(r.m[1][2], r.m[2][2]);
  out[5] = std::atan2(r.m[0][1], r.m[0][0]);
  out[6] = s[0], out[7] = s[1], out[8] = s[2];
}

}  // namespace

namespace {

// The first skin: its joints, their skin offsets, and the skinned mesh's
// first primitive as the model's skin.
bool SkinJoints(const tinygltf::Model& m, const std::vector<int>& parentNode, ModelDesc* d, std::vector<int>* nodes,
                std::string* error) {
  const tinygltf::Skin& skin = m.skins[0];
  if (skin.joints.empty() || skin.joints.size() > 255) return Fail(error, "a skin of 1 to 255 joints");
  std::map<int, int> jointOf;  // node -> joint
  for (size_t j = 0; j < skin.joints.size(); j++) jointOf[skin.joints[j]] = int(j);
  View ibm;
  const bool hasIbm = skin.inverseBindMatrices >= 0 && Access(m, skin.inverseBindMatrices, &ibm) && ibm.comps == 16 &&
                      ibm.count >= skin.joints.size();
  for (size_t j = 0; j < skin.joints.size(); j++) {
    const int node = skin.joints[j];
    if (node < 0 || size_t(node) >= m.nodes.size()) return Fail(error, "a skin joint outside the nodes");
    ModelJoint mj;
    mj.name = m.nodes[size_t(node)].name;
    int up = parentNode[size_t(node)];
    while (up >= 0 && !jointOf.count(up)) up = parentNode[size_t(up)];
    mj.parent = up >= 0 ? jointOf[up] : 255;
    if (mj.parent != 255 && mj.parent >= int(j)) return Fail(error, "skin joints must list parents first");
    mj.matrices = true;
    mj.rest = EngineMatrix(NodeMatrix(m.nodes[size_t(node)]));
    Mat inv = Identity();
    if (hasIbm)
      for (int k = 0; k < 16; k++) inv[size_t(k)] = Component(ibm, j, k);
    mj.skin = EngineMatrix(inv);
    d->joints.push_back(mj);
  }
  *nodes = skin.joints;
  // The skinned mesh: the first node that names the skin with a mesh.
  int meshIndex = -1;
  for (const tinygltf::Node& n : m.nodes)
    if (n.skin == 0 && n.mesh >= 0) {
      meshIndex = n.mesh;
      break;
    }
  if (meshIndex < 0 || size_t(meshIndex) >= d->scene.objects.size() || d->scene.objects[size_t(meshIndex)].geoms.empty())
    return Fail(error, "no mesh uses the skin");
  const tinygltf::Primitive& prim = m.meshes[size_t(meshIndex)].primitives.at(0);
  View joints, weights;
  auto at = [&](const char* name, View* v) {
    auto it = prim.attributes.find(name);
    return it != prim.attributes.end() && Access(m, it->second, v);
  };
  if (!at("JOINTS_0", &joints) || !at("WEIGHTS_0", &weights) || joints.comps != 4 || weights.comps != 4)
    return Fail(error, "the skinned mesh has no JOINTS_0 and WEIGHTS_0");
  const SceneGeom& g = d->scene.objects[size_t(meshIndex)].geoms.at(0);
  ModelSkin s;
  s.material = g.material;
  s.vtx = g.vtx;
  s.idx = g.idx;
  if (joints.count < s.vtx.size() || weights.count < s.vtx.size()) return Fail(error, "short JOINTS_0 or WEIGHTS_0");
  for (size_t i = 0; i < s.vtx.size(); i++) {
    ModelSkinVertex w;
    for (int k = 0; k < 4; k++) {
      const double wt = Component(weights, i, k);
      const int j = int(Component(joints, i, k));
      if (wt <= 0) continue;
      if (j < 0 || size_t(j) >= skin.joints.size()) return Fail(error, "a vertex weighs a joint outside the skin");
      w.joint[w.n] = j;
      w.weight[w.n++] = float(wt);
    }
    if (w.n == 0) w.joint[0] = 0, w.weight[0] = 1, w.n = 1;
    s.weights.push_back(w);
  }
  d->skins.push_back(s);
  return true;
}

// Without a skin: the default scene's nodes from its roots down, each a
// joint (parents first), the geometries of its mesh rigid parts on it.
bool RigidJoints(const tinygltf::Model& m, ModelDesc* d, std::vector<int>* nodes, std::string* error) {
  std::vector<std::pair<int, int>> todo;  // node, parent joint
  std::vector<Mat> world;
  const int scene = m.defaultScene >= 0 ? m.defaultScene : 0;
  if (size_t(scene) < m.scenes.size())
    for (int n : m.scenes[size_t(scene)].nodes) todo.push_back({n, 255});
  for (size_t k = 0; k < todo.size(); k++) {
    const auto [n, parent] = todo[k];
    if (n < 0 || size_t(n) >= m.nodes.size()) return Fail(error, "bad node list");
    if (k >= 255) return Fail(error, "more than 255 nodes");
    const tinygltf::Node& node = m.nodes[size_t(n)];
    ModelJoint mj;
    mj.name = node.name;
    mj.parent = parent;
    mj.matrices = true;
    const Mat local = NodeMatrix(node);
    world.push_back(parent == 255 ? local : Mul(world[size_t(parent)], local));
    mj.rest = EngineMatrix(local);
    mj.skin = EngineMatrix(Inverse(world.back()));
    d->joints.push_back(mj);
    nodes->push_back(n);
    if (node.mesh >= 0 && size_t(node.mesh) < d->scene.objects.size())
      for (const SceneGeom& g : d->scene.objects[size_t(node.mesh)].geoms) d->parts.push_back({int(k), g});
    for (int c : node.children) todo.push_back({c, int(k)});
  }
  if (d->parts.empty()) return Fail(error, "no node of the scene has a mesh");
  return true;
}

}  // namespace

bool ModelReadGltf(const char* path, ModelDesc* d, std::string* error) {
  if (!SceneReadGltf(path, &d->scene, error)) return false;
  // The scene reader's instances are not part of a model.
  d->scene.instances.clear();
  d->scene.specials.clear();
  tinygltf::Model m;
  if (!Load(path, &m, error)) return false;
  std::vector<int> parentNode(m.nodes.size(), -1);
  for (size_t n = 0; n < m.nodes.size(); n++)
    for (int c : m.nodes[n].children)
      if (c >= 0 && size_t(c) < m.nodes.size()) parentNode[size_t(c)] = int(n);
  std::vector<int> nodes;  // the joints' nodes
  if (!(m.skins.empty() ? RigidJoints(m, d, &nodes, error) : SkinJoints(m, parentNode, d, &nodes, error))) return false;
  std::map<int, int> jointOf;
  for (size_t j = 0; j < nodes.size(); j++) jointOf[nodes[j]] = int(j);
  d->scene.objects.clear();
  // Animations, sampled per joint.
  for (size_t a = 0; a < m.animations.size(); a++) {
    const tinygltf::Animation& anim = m.animations[a];
    std::vector<Trs> base;
    for (int node : nodes) base.push_back(NodeTrs(m.nodes[size_t(node)]));
    double end = 0;
    struct Track {
      View in, out;
      std::string interp, path;
      int joint;
    };
    std::vector<Track> tracks;
    for (const tinygltf::AnimationChannel& ch : anim.channels) {
      if (!jointOf.count(ch.target_node) || ch.sampler < 0 || size_t(ch.sampler) >= anim.samplers.size()) continue;
      const tinygltf::AnimationSampler& sm = anim.samplers[size_t(ch.sampler)];
      Track t;
      if (!Access(m, sm.input, &t.in) || !Access(m, sm.output, &t.out) || t.in.count == 0) continue;
      t.interp = sm.interpolation;
      t.path = ch.target_path;
      t.joint = jointOf[ch.target_node];
      end = std::max(end, Component(t.in, t.in.count - 1, 0));
      tracks.push_back(t);
    }
    const int frames = std::max(1, int(std::lround(end * kFps)) + 1);
    AniDesc desc;
    desc.end = float(frames);
    desc.nodes.resize(nodes.size());
    for (auto& n : desc.nodes) {
      n.flags = ZEANIMNODE_ROT | ZEANIMNODE_TRANS | ZEANIMNODE_SCALE;
      n.channels.resize(ZEANIM_SLOTS);
      for (auto& c : n.channels) c.type = ZEANIMKEYTYPE_HERMITE;
    }
    for (int f = 1; f <= frames; f++) {
      std::vector<Trs> pose = base;
      for (const Track& t : tracks) {
        Trs& x = pose[size_t(t.joint)];
        double* v = t.path == "translation" ? x.t : t.path == "rotation" ? x.r : t.path == "scale" ? x.s : nullptr;
        if (v) Sample(t.in, t.out, t.interp, t.path == "rotation" ? 4 : 3, double(f - 1) / kFps, v);
      }
      for (size_t j = 0; j < pose.size(); j++) {
        float ch[9];
        Channels(EngineMatrix(TrsMatrix(pose[j])), ch);
        for (int c = 0; c < 9; c++) desc.nodes[j].channels[size_t(c)].keys.push_back({f, ch[c], 0, false});
      }
    }
    std::string why;
    std::vector<uint8_t> image = AniBuildV2(desc, &why);
    if (image.empty()) return Fail(error, "animation " + anim.name + ": " + why);
    d->anims.push_back(std::move(image));
    d->animnames.push_back(anim.name.empty() ? "anim" + std::to_string(a) : anim.name);
  }
  return true;
}
