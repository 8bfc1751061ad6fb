// Intermediate scene files (block "GSC0") written through the engine's
// block writer from a plain description; shared by scenetool and by the
// tests that make their scenes with it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ze3d.h"
#include "toolhalt.h"
#include "zecore.h"

struct SceneMaterial {
  int texture = -1;          // index into the textures, -1 none
  int chain = 0;             // 1-based next material of a chain, 0 none
  int blend = 0, filter = 1, uwrap = 0, vwrap = 0, depth = 0, lighting = 0, vtxcol = 0;
  float diffuse[3] = {1, 1, 1};
  float alpha = 1.0f;
  int effect = 0;
};

struct SceneGeom {
  int material = 0;
  std::vector<ZEVTX> vtx;    // colours red in the low byte
  int primtype = ZEPRIM_IDXLIST;  // 5 list, 6 strips
  std::vector<int16_t> idx;
};

struct SceneSpriteSet {
  int material = 0;
  int style = 0;             // 0 camera-facing, 1 about the vertical axis
  float size = 0.0f;
  std::vector<ZEFACEON> sprites;  // colours red in the low byte
};

struct SceneObject {
  std::string name;
  int tag = 0;
  int kind = ZEGOBJ_MESH;    // 0 mesh, 1 sprites, 2 sized sprites
  ZEVEC base = {0, 0, 0};
  std::vector<SceneGeom> geoms;
  std::vector<SceneSpriteSet> sets;
};

struct SceneInstance {
  ZEMTX mtx;
  int object = 0;
  uint32_t flags = ZEGSCNINST_SHOWN;
  int16_t wind_amplitude = 0, wind_speed = 0;
  bool animated = false;
  ZEGSCNINSTANIM anim = {};  // rate, delay, extra, time, flags, library index
};

struct SceneSpecial {
  std::string name;
  int instance = 0;
};

struct SceneSpline {
  std::string name;
  std::vector<ZEVEC> points;
};

struct SceneTexAnim {
  std::string name, program;
  int material = 0;
  int flags = 0;
  std::vector<int> frames;   // texture indices
};

struct SceneDesc {
  std::vector<ZETEX*> textures;        // images in EE memory (palettes R, G, B, A)
  std::vector<std::string> texnames;
  std::vector<SceneMaterial> materials;
  std::vector<std::string> mtlnames;
  std::vector<SceneObject> objects;
  std::vector<SceneInstance> instances;
  std::vector<int16_t> ids;
  std::vector<SceneSpecial> specials;
  std::vector<SceneSpline> splines;
  std::vector<SceneTexAnim> texanims;
  std::vector<const ZEANIMDATA*> anims;  // the animation library; null slots allowed
};

// The 84-byte material record of scene and model files.
void SceneMaterialRecord(const SceneMaterial& m, uint8_t out[ZEMTL_FILE_RECORD]);
// Writes the GSC0 file; false with the reason.
bool SceneWriteGsc0(const SceneDesc& desc, const char* path, std::string* error);
// Reads a line-based description (see docs/ze3d.md) into desc; textures are
// made with the texture tool's conversion. False with the reason.
bool SceneReadDescription(const char* path, SceneDesc* desc, std::string* error);
// The TST0 and MS00 blocks of a description, for other block files.
void SceneWriteTextureSet(ZEFILE file, const SceneDesc& desc);
void SceneWriteMaterialSet(ZEFILE file, const SceneDesc& desc);
// The TAS0 block (nothing without texture animations); name gives a name's
// offset in the file's name table.
void SceneWriteTexAnimSet(ZEFILE file, const SceneDesc& desc, const std::function<int(const std::string&)>& name);
// One "texture", "material" or "texanim" statement (the parser after its name), for
// other tools' descriptions; names seen so far in names.
struct SceneNames {
  std::map<std::string, int> textures, materials;
};
bool SceneReadTextureOrMaterial(ZEFPAR* parser, const std::string& what, const std::string& name,
                                const std::string& dir, SceneDesc* desc, SceneNames* names, std::string* error);
// A glTF 2.0 file (meshes, base colours and textures, nodes as instances).
bool SceneReadGltf(const char* path, SceneDesc* desc, std::string* error);
// A Wavefront OBJ file (v, vt, vn and f lines; polygons fanned into
// triangles) into obj, in colour c: faces without a material into obj's
// last geometry (made when there is none); mtllib and usemtl give each
// material of the libraries a geometry of its own and a material of desc
// (Kd tints c, map_Kd its texture through TexFromPicture). A file without
// triangles is refused. False with the reason.
bool SceneReadObj(const char* path, SceneDesc* desc, SceneObject* obj, uint32_t c, std::string* error);
// Releases the images and animations a reader made.
void SceneDescFree(SceneDesc* desc);

// The animation library: "anim NAME FILE" reads an animation description
// (tools/aniwrite.h) next to the scene's; the library is written as the
// ALIB block of streamed animations.
bool SceneReadAnim(ZEFPAR* parser, const std::string& name, SceneDesc* desc, std::string* error);
void SceneWriteAnimLib(ZEFILE file, const SceneDesc& desc);
void SceneFreeAnims(SceneDesc* desc);
// The engine's parts the writer, the converter and the loader need (the
// GS, textures, materials, the renderer), started headless (the video at
// the size and ZePs2InitVideo mode given: the game's 640 x 224 field by
// default); and closed.
void SceneEngineInit(int width = 640, int height = 224, int mode = 2);
void SceneEngineClose();
