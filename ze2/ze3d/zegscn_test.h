// Scene tests' fixture: the renderer as the program starts it, a host
// directory for the files, scenes described with the scene tool's writer,
// converted and loaded; and scene images built byte by byte.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "scenewrite.h"
#include "textool.h"
#include "zecore_local.h"
#include "zerndrobj_test.h"

// Bytes of a block file.
struct Bytes {
  std::vector<uint8_t> b;
  Bytes& I32(int32_t v) { return Raw(&v, 4); }
  Bytes& F32(float v) { return Raw(&v, 4); }
  Bytes& I16(int16_t v) { return Raw(&v, 2); }
  Bytes& Raw(const void* p, size_t n) {
    b.insert(b.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
    return *this;
  }
  Bytes& Zeros(size_t n) {
    b.insert(b.end(), n, 0);
    return *this;
  }
  Bytes& Pad(size_t to) { return Zeros((to - b.size() % to) % to); }
  // A block: id, size from the header, body, padding to 16.
  Bytes& Block(const char* id, const Bytes& body, bool negative = false) {
    const size_t start = b.size();
    Raw(id, 4).I32(0).Raw(body.b.data(), body.b.size());
    Pad(16);
    const int32_t size = int32_t(b.size() - start) * (negative ? -1 : 1);
    memcpy(&b[start + 4], &size, 4);
    return *this;
  }
};

// A scene file of these inner blocks (already framed) at a version.
inline std::vector<uint8_t> GscImage(const Bytes& inner, int version = ZEGSCN_VERSION) {
  Bytes body;
  body.I32(version).I32(0).Raw(inner.b.data(), inner.b.size());
  Bytes out;
  out.Block("ZE20", body, true);
  return out.b;
}

// A fatal error inside a load leaves the block reader's stack and the
// open files as they were: both are reset after it.
#define EXPECT_SCENE_HALT(stmt, expected) \
  do {                                    \
    EXPECT_HALT(stmt, expected);          \
    ZeFileBlkReset();                     \
    ZeFileReset();                        \
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0); \
  } while (0)

struct Scene : ObjDraw {
  std::string dir = TestTempDir();
  std::vector<void*> buffers;
  std::vector<ZEGSCENE*> loaded;
  void SetUp() override {
    ObjDraw::SetUp();
    PlatSetHostRoot(dir.c_str());
    ZeFileBlkReset();
    ZeFileReset();
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    errmsg_disabled = 1;
    ZeGobjInit();
    GenerateGammaTable(1.0f, 1.0f);
    zegscn_generate_colourref = 0;
    zegscn_mtlupdate_enabled = 1;
    ZeGScnSetCfg(nullptr);
    ZeGScnSetTmpWkspc(nullptr, nullptr);
    ZeTexAnimProgSysInit();
  }
  void TearDown() override {
    for (ZEGSCENE* s : loaded) ZeGScnRemove(s);
    zegscn_generate_colourref = 0;
    ZeGobjClose();
    ZeFileReset();
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    PlatSetHostRoot(nullptr);
    errmsg_disabled = 0;
    ObjDraw::TearDown();
    for (void* b : buffers) EeFree(b);
  }
  void Put(const char* name, const std::vector<uint8_t>& bytes) const {
    std::ofstream(dir + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  std::vector<uint8_t> Get(const char* name) const {
    std::ifstream in(dir + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  // The description written as NAME.GS0 and converted to NAME.GSC.
  std::vector<uint8_t> Make(const SceneDesc& d, const std::string& name = "T") {
    std::string error;
    const std::string gs0 = name + ".GS0", gsc = name + ".GSC";
    EXPECT_TRUE(SceneWriteGsc0(d, gs0.c_str(), &error)) << error;
    ZeGScnConvertScene(gsc.c_str(), gs0.c_str());
    return Get(gsc.c_str());
  }
  char* Buffer(size_t bytes, char** end) {
    auto* b = static_cast<char*>(EeMalloc(bytes));
    memset(b, 0xaa, bytes);
    buffers.push_back(b);
    *end = b + bytes;
    return b;
  }
  // Reads a scene file into a fresh buffer; removed at the end.
  ZEGSCENE* Load(const std::vector<uint8_t>& bytes, const char* name = "L.GSC") {
    Put(name, bytes);
    char* end;
    char* pos = Buffer(bytes.size() * 2 + 65536, &end);
    ZEGSCENE* s = ZeGScnRead(&pos, end, name);
    if (s) loaded.push_back(s);
    return s;
  }
};

// A picture made into an image (palettes R, G, B, A) for a scene.
inline ZETEX* SceneTexture(int w, int h, int type = ZETEX_RGBA32) {
  std::string error;
  return TexFromRgba(TestPattern(w, h), type, 1, &error);
}

inline ZEMTX Translation(float x, float y, float z) {
  ZEMTX m;
  ZeMtxSetIdentity(&m);
  m.m[3][0] = x, m.m[3][1] = y, m.m[3][2] = z;
  return m;
}

// A square of two triangles, side s, facing -z at z = 0, coloured c.
inline SceneGeom Square(int material, float s, uint32_t c) {
  SceneGeom g;
  g.material = material;
  const float h = s / 2;
  const float p[4][2] = {{-h, -h}, {-h, h}, {h, h}, {h, -h}};
  for (int i = 0; i < 4; i++) {
    ZEVTX v = {};
    v.pos = {p[i][0], p[i][1], 0};
    v.normal = {0, 0, -1};
    v.colour = c;
    v.u = p[i][0] < 0 ? 0.0f : 1.0f;
    v.v = p[i][1] < 0 ? 1.0f : 0.0f;
    g.vtx.push_back(v);
  }
  g.idx = {0, 1, 2, 0, 2, 3};
  return g;
}
