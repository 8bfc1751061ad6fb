// Model files (outer block "HGOF") written through the engine's block
// writer from a plain description: joints, rigid parts on joints, a skinned
// mesh with weights and morph targets, points of interest, collision
// spheres, materials and textures as in the scene tool. Shared by modeltool
// and the tests and demo that make their models with it.
#pragma once

#include <string>
#include <vector>

#include "scenewrite.h"

struct ModelJoint {
  std::string name;
  int parent = 255;           // 255: root
  ZEVEC offset = {0, 0, 0};   // rest offset from the parent
  int id = -1;                // joint id (-1: the index)
  bool matrices = false;      // rest and skin given (glTF); else from the offsets
  ZEMTX rest, skin;
};

struct ModelPart {            // rigid geometry on a joint, in joint space
  int joint = 0;
  SceneGeom geom;
};

struct ModelSkinVertex {
  int joint[4] = {0, 0, 0, 0};
  float weight[4] = {0, 0, 0, 0};
  int n = 0;
};

struct ModelMorph {
  int value = 0;
  std::vector<ZEVEC> offsets;  // one per skin vertex
};

struct ModelSkin {
  int material = 0;
  std::vector<ZEVTX> vtx;      // model space at the rest pose
  std::vector<ModelSkinVertex> weights;
  std::vector<int16_t> idx;    // a triangle list
  std::vector<ModelMorph> morphs;
};

struct ModelPoint {
  std::string name;
  int joint = 0;
  ZEVEC at = {0, 0, 0};
  int id = -1;
};

struct ModelSphere {
  int joint = 0;
  ZEVEC centre = {0, 0, 0};
  float radius = 1;
};

struct ModelDesc {
  SceneDesc scene;             // textures and materials
  std::vector<ModelJoint> joints;
  std::vector<ModelPart> parts;
  std::vector<ModelSkin> skins;  // at most one
  std::vector<ModelPoint> points;
  std::vector<ModelSphere> spheres;
  float bound = 0;             // 0: from the geometry
  std::vector<std::vector<uint8_t>> anims;  // ".ani" v2 images (glTF animations)
  std::vector<std::string> animnames;
};

// Reads a line-based description (docs/ze3d.md). False with the reason.
bool ModelReadDescription(const char* path, ModelDesc* desc, std::string* error);
// A glTF 2.0 file. With a skin: its nodes as joints, inverse bind matrices
// as skin offsets, JOINTS_0/WEIGHTS_0 as skin records; without one: the
// scene's nodes as joints, each with its mesh as rigid parts. Animations as
// ".ani" v2 images.
bool ModelReadGltf(const char* path, ModelDesc* desc, std::string* error);
// Checks the model against what the engine can build (at most 8 matrices a
// triangle, indices and joints in range). False with the reason.
bool ModelCheck(const ModelDesc& desc, std::string* error);
// Writes the HGOF file through the engine's block writer.
bool ModelWriteHgof(const ModelDesc& desc, const char* path, std::string* error);
void ModelDescFree(ModelDesc* desc);
