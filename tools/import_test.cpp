// Model files as users bring them, made here: glTF with palette, odd-sized
// and JPEG textures, strips, fans and points, a node hierarchy without a
// skin; OBJ with a material library. Each is made by scenetool or modeltool
// and drawn by their viewer in virtual time; crops of the pictures are
// checked. The pictures and the texture tool's fitting are checked too.
#include <png.h>
// libjpeg's header needs FILE and size_t first.
#include <cstdio>
#include <jpeglib.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "gltfutil.h"
#include "platform_test.h"
#include "textool.h"

namespace {

// Each test's own directory.
std::string g_dir;
const std::string& Dir() { return g_dir; }
struct Files : testing::Test {
  void SetUp() override { g_dir = TestTempDir(); }
};
using Import = Files;
using Pictures = Files;

// A run of a tool; its status, its output and errors in *out.
int Tool(const std::string& args, std::string* out = nullptr) {
  const std::string log = Dir() + "/run.log";
  const int r = std::system((args + " > " + log + " 2>&1").c_str());
  std::ifstream in(log);
  std::stringstream s;
  s << in.rdbuf();
  if (out) *out = s.str();
  return WIFEXITED(r) ? WEXITSTATUS(r) : -1;
}

// An 8-bit palette PNG of the picture (at most 256 colours).
void WritePalettePng(const std::string& path, const RgbaImage& pic) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  std::vector<uint32_t> colours;
  std::vector<uint8_t> index;
  for (uint32_t c : pic.pixels) {
    size_t i = std::find(colours.begin(), colours.end(), c) - colours.begin();
    if (i == colours.size()) colours.push_back(c);
    index.push_back(uint8_t(i));
  }
  std::vector<png_color> pal;
  for (uint32_t c : colours) pal.push_back({uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
  png_set_IHDR(png, info, png_uint_32(pic.width), png_uint_32(pic.height), 8, PNG_COLOR_TYPE_PALETTE,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_PLTE(png, info, pal.data(), int(pal.size()));
  png_write_info(png, info);
  for (int y = 0; y < pic.height; y++) png_write_row(png, &index[size_t(y) * size_t(pic.width)]);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  fclose(f);
}

std::string JpegBytes(const RgbaImage& pic) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = JDIMENSION(pic.width), c.image_height = JDIMENSION(pic.height);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 95, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> row(size_t(pic.width) * 3);
  for (int y = 0; y < pic.height; y++) {
    for (int x = 0; x < pic.width; x++)
      for (int k = 0; k < 3; k++) row[size_t(x) * 3 + size_t(k)] = uint8_t(pic.pixels[size_t(y * pic.width + x)] >> (8 * k));
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  std::string out(reinterpret_cast<char*>(mem), size);
  jpeg_destroy_compress(&c);
  free(mem);
  return out;
}

// A picture of two colours: the top rows one, the rest the other.
RgbaImage TwoBands(int w, int h, uint32_t top, uint32_t rest) {
  RgbaImage p{w, h, {}};
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) p.pixels.push_back(y < h / 2 ? top : rest);
  return p;
}

// A glTF file written by hand: one buffer, inline.
struct Gltf {
  std::string bin;
  std::vector<std::string> views, accessors, meshes, nodes, materials, textures, images;
  std::vector<int> roots;
  int View(const void* p, size_t n) {
    while (bin.size() % 4) bin += '\0';
    views.push_back(R"({"buffer":0,"byteOffset":)" + std::to_string(bin.size()) + R"(,"byteLength":)" +
                    std::to_string(n) + "}");
    bin.append(static_cast<const char*>(p), n);
    return int(views.size()) - 1;
  }
  int Positions(const std::vector<float>& v) {
    const int view = View(v.data(), v.size() * 4);
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
    for (size_t i = 0; i < v.size(); i++) lo[i % 3] = std::min(lo[i % 3], v[i]), hi[i % 3] = std::max(hi[i % 3], v[i]);
    std::ostringstream s;
    s << R"({"bufferView":)" << view << R"(,"componentType":5126,"count":)" << v.size() / 3 << R"(,"type":"VEC3","min":[)"
      << lo[0] << "," << lo[1] << "," << lo[2] << "],\"max\":[" << hi[0] << "," << hi[1] << "," << hi[2] << "]}";
    accessors.push_back(s.str());
    return int(accessors.size()) - 1;
  }
  int Uvs(const std::vector<float>& v) {
    const int view = View(v.data(), v.size() * 4);
    accessors.push_back(R"({"bufferView":)" + std::to_string(view) + R"(,"componentType":5126,"count":)" +
                        std::to_string(v.size() / 2) + R"(,"type":"VEC2"})");
    return int(accessors.size()) - 1;
  }
  int Indices(const std::vector<uint16_t>& v) {
    const int view = View(v.data(), v.size() * 2);
    accessors.push_back(R"({"bufferView":)" + std::to_string(view) + R"(,"componentType":5123,"count":)" +
                        std::to_string(v.size()) + R"(,"type":"SCALAR"})");
    return int(accessors.size()) - 1;
  }
  // A material of a colour, with the picture's bytes as its texture when
  // given: inline, or in a buffer view (as .glb files hold them).
  int Material(const std::string& rgba, const std::string& picture = "", const char* mime = "image/png",
               bool inView = false) {
    std::string m = R"({"pbrMetallicRoughness":{"baseColorFactor":[)" + rgba + "]";
    if (!picture.empty()) {
      if (inView)
        images.push_back(R"({"bufferView":)" + std::to_string(View(picture.data(), picture.size())) +
                         R"(,"mimeType":")" + mime + "\"}");
      else
        images.push_back(R"({"uri":"data:)" + std::string(mime) + ";base64," + gltfutil::Base64(picture) + "\"}");
      textures.push_back(R"({"source":)" + std::to_string(images.size() - 1) + "}");
      m += R"(,"baseColorTexture":{"index":)" + std::to_string(textures.size() - 1) + "}";
    }
    materials.push_back(m + "}}");
    return int(materials.size()) - 1;
  }
  // A mesh of primitives (JSON each).
  int Mesh(const std::string& name, const std::vector<std::string>& prims) {
    std::string m = R"({"name":")" + name + R"(","primitives":[)";
    for (size_t i = 0; i < prims.size(); i++) m += (i ? "," : "") + prims[i];
    meshes.push_back(m + "]}");
    return int(meshes.size()) - 1;
  }
  static std::string Prim(int mode, int pos, int idx, int material, int uv = -1) {
    std::string p = R"({"mode":)" + std::to_string(mode) + R"(,"attributes":{"POSITION":)" + std::to_string(pos);
    if (uv >= 0) p += R"(,"TEXCOORD_0":)" + std::to_string(uv);
    p += "}";
    if (idx >= 0) p += R"(,"indices":)" + std::to_string(idx);
    if (material >= 0) p += R"(,"material":)" + std::to_string(material);
    return p + "}";
  }
  int Node(const std::string& name, int mesh, float x, const std::vector<int>& children = {}, bool root = true) {
    std::string n = R"({"name":")" + name + R"(","translation":[)" + std::to_string(x) + ",0,0]";
    if (mesh >= 0) n += R"(,"mesh":)" + std::to_string(mesh);
    if (!children.empty()) {
      n += R"(,"children":[)";
      for (size_t i = 0; i < children.size(); i++) n += (i ? "," : "") + std::to_string(children[i]);
      n += "]";
    }
    nodes.push_back(n + "}");
    if (root) roots.push_back(int(nodes.size()) - 1);
    return int(nodes.size()) - 1;
  }
  void Write(const std::string& path) const {
    auto list = [](const std::vector<std::string>& v) {
      std::string s = "[";
      for (size_t i = 0; i < v.size(); i++) s += (i ? "," : "") + v[i];
      return s + "]";
    };
    std::vector<std::string> r;
    for (int n : roots) r.push_back(std::to_string(n));
    std::ofstream out(path);
    out << R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":)" << list(r) << "}],\"nodes\":" << list(nodes)
        << ",\"meshes\":" << list(meshes) << ",\"materials\":" << list(materials);
    if (!images.empty()) out << ",\"images\":" << list(images) << ",\"textures\":" << list(textures);
    out << R"(,"buffers":[{"byteLength":)" << bin.size() << R"(,"uri":"data:application/octet-stream;base64,)"
        << gltfutil::Base64(bin) << "\"}],\"bufferViews\":" << list(views) << ",\"accessors\":" << list(accessors)
        << "}";
  }
};

// A 2 x 2 square in the z = 0 plane about (x, 0), front face toward +z
// (glTF's), as four corners: bottom-left, bottom-right, top-right, top-left.
std::vector<float> Square(float x) { return {x - 1, -1, 0, x + 1, -1, 0, x + 1, 1, 0, x - 1, 1, 0}; }

// The viewer's picture: PNG pixels 0xAABBGGRR.
RgbaImage Show(const std::string& tool, const std::string& in, const std::string& png, const std::string& extra = "") {
  RgbaImage p;
  std::string log;
  EXPECT_EQ(Tool(tool + " show " + in + " " + png + " --yaw=0 --pitch=0 --size=256x128 " + extra, &log), 0) << log;
  std::string error;
  EXPECT_TRUE(PictureRead(png, &p, &error)) << error;
  return p;
}

// Pixels near a colour (each channel within 48) in a crop.
int Count(const RgbaImage& p, int x0, int y0, int x1, int y1, uint32_t colour) {
  int n = 0;
  for (int y = y0; y < y1; y++)
    for (int x = x0; x < x1; x++) {
      const uint32_t c = p.pixels[size_t(y * p.width + x)];
      bool near = true;
      for (int k = 0; k < 3; k++) near &= std::abs(int(c >> (8 * k) & 255) - int(colour >> (8 * k) & 255)) < 48;
      n += near;
    }
  return n;
}
// The mean row of the pixels near a colour in a crop (-1 none).
double MeanRow(const RgbaImage& p, int x0, int x1, uint32_t colour) {
  double sum = 0;
  int n = 0;
  for (int y = 0; y < p.height; y++) {
    const int k = Count(p, x0, y, x1, y + 1, colour);
    sum += double(k) * y, n += k;
  }
  return n ? sum / n : -1;
}

constexpr uint32_t RED = 0xff0000ffu, YELLOW = 0xff00ffffu, GREEN = 0xff00ff00u, BLUE = 0xffff0000u;

TEST_F(Import, PaletteOddSizedAndJpegTexturesConvertAndDraw) {
  // Left: a 211 x 211 palette PNG, red over yellow; right: a 100 x 60 JPEG, green.
  WritePalettePng(Dir() + "/pal.png", TwoBands(211, 211, RED, YELLOW));
  std::ifstream in(Dir() + "/pal.png", std::ios::binary);
  const std::string pal{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  Gltf g;
  const std::vector<float> uv = {0, 1, 1, 1, 1, 0, 0, 0};
  const std::vector<uint16_t> quad = {0, 1, 2, 0, 2, 3};
  const int a = g.Mesh("pal", {Gltf::Prim(4, g.Positions(Square(-1.2f)), g.Indices(quad), g.Material("1,1,1,1", pal),
                                          g.Uvs(uv))});
  const int b = g.Mesh("jpeg", {Gltf::Prim(4, g.Positions(Square(1.2f)), g.Indices(quad),
                                           g.Material("1,1,1,1", JpegBytes(TwoBands(100, 60, GREEN, GREEN)), "image/jpeg", true),
                                           g.Uvs(uv))});
  g.Node("a", a, 0);
  g.Node("b", b, 0);
  g.Write(Dir() + "/tex.gltf");
  std::string log;
  ASSERT_EQ(Tool(std::string(SCENETOOL) + " make " + Dir() + "/tex.gltf " + Dir() + "/tex.gsc", &log), 0) << log;
  const RgbaImage p = Show(SCENETOOL, Dir() + "/tex.gsc", Dir() + "/tex.png");
  ASSERT_EQ(p.width, 256);
  // The palette texture on the left half, red above yellow; the JPEG's green on the right.
  EXPECT_GT(Count(p, 0, 0, 128, 128, RED), 200);
  EXPECT_GT(Count(p, 0, 0, 128, 128, YELLOW), 200);
  EXPECT_LT(MeanRow(p, 0, 128, RED), MeanRow(p, 0, 128, YELLOW));
  EXPECT_GT(Count(p, 128, 0, 256, 128, GREEN), 400);
  EXPECT_EQ(Count(p, 128, 0, 256, 128, RED), 0);
  EXPECT_EQ(Count(p, 0, 0, 128, 128, GREEN), 0);
  // A texture that is no picture is refused, naming the file and the image.
  Gltf bad;
  bad.Mesh("m", {Gltf::Prim(4, bad.Positions(Square(0)), bad.Indices(quad), bad.Material("1,1,1,1", "not a picture"),
                            bad.Uvs(uv))});
  bad.Node("n", 0, 0);
  bad.Write(Dir() + "/badtex.gltf");
  EXPECT_EQ(Tool(std::string(SCENETOOL) + " make " + Dir() + "/badtex.gltf " + Dir() + "/badtex.gsc", &log), 1);
  EXPECT_NE(log.find("badtex.gltf"), std::string::npos) << log;
  EXPECT_NE(log.find("texture image 0: not a PNG or JPEG picture"), std::string::npos) << log;
  // An image whose buffer view runs past its buffer: refused, nothing read past it.
  Gltf past;
  past.Mesh("m", {Gltf::Prim(4, past.Positions(Square(0)), past.Indices(quad),
                             past.Material("1,1,1,1", pal, "image/png", true), past.Uvs(uv))});
  past.Node("n", 0, 0);
  const std::string length = "\"byteLength\":" + std::to_string(pal.size());
  for (std::string& view : past.views)
    if (view.find(length) != std::string::npos) view.replace(view.find(length), length.size(), "\"byteLength\":1000000");
  past.Write(Dir() + "/past.gltf");
  EXPECT_EQ(Tool(std::string(SCENETOOL) + " make " + Dir() + "/past.gltf " + Dir() + "/past.gsc", &log), 1);
  EXPECT_NE(log.find("past.gltf: texture image 0: its buffer view lies outside the buffer"), std::string::npos) << log;
}

TEST_F(Import, StripsAndFansDrawAsListsPointsArePassedOverAFileOfNoTrianglesIsRefused) {
  Gltf g;
  // Left a strip (red), right a fan (blue), both facing the viewer; a mesh of points.
  const std::vector<float> s = Square(-1.2f), f = Square(1.2f);
  const std::vector<float> strip = {s[0], s[1], s[2], s[3], s[4], s[5], s[9], s[10], s[11], s[6], s[7], s[8]};
  const int ms = g.Mesh("strip", {Gltf::Prim(5, g.Positions(strip), -1, g.Material("1,0,0,1"))});
  const int mf = g.Mesh("fan", {Gltf::Prim(6, g.Positions(f), -1, g.Material("0,0,1,1"))});
  const int mp = g.Mesh("dots", {Gltf::Prim(0, g.Positions(Square(0)), -1, -1)});
  g.Node("s", ms, 0);
  g.Node("f", mf, 0);
  g.Node("p", mp, 0);
  g.Write(Dir() + "/prims.gltf");
  std::string log;
  ASSERT_EQ(Tool(std::string(SCENETOOL) + " make " + Dir() + "/prims.gltf " + Dir() + "/prims.gsc", &log), 0) << log;
  EXPECT_NE(log.find("prims.gltf: mesh dots: points and lines passed over"), std::string::npos) << log;
  ASSERT_EQ(Tool(std::string(SCENETOOL) + " info " + Dir() + "/prims.gsc", &log), 0) << log;
  EXPECT_NE(log.find("object 0: kind 0, 1 geometries, 0 sprite sets, 2 triangles"), std::string::npos) << log;
  EXPECT_NE(log.find("object 1: kind 0, 1 geometries, 0 sprite sets, 2 triangles"), std::string::npos) << log;
  const RgbaImage p = Show(SCENETOOL, Dir() + "/prims.gsc", Dir() + "/prims.png");
  ASSERT_EQ(p.width, 256);
  EXPECT_GT(Count(p, 0, 0, 128, 128, RED), 800);
  EXPECT_GT(Count(p, 128, 0, 256, 128, BLUE), 800);
  // Each square whole: the middle of each half is covered.
  EXPECT_EQ(Count(p, 80, 45, 116, 81, RED), 36 * 36);
  EXPECT_EQ(Count(p, 140, 45, 176, 81, BLUE), 36 * 36);
  // Points alone: nothing to draw.
  Gltf d;
  d.Mesh("dots", {Gltf::Prim(0, d.Positions(Square(0)), -1, -1), Gltf::Prim(1, d.Positions(Square(1)), -1, -1)});
  d.Node("p", 0, 0);
  d.Write(Dir() + "/dots.gltf");
  EXPECT_EQ(Tool(std::string(SCENETOOL) + " make " + Dir() + "/dots.gltf " + Dir() + "/dots.gsc", &log), 1);
  EXPECT_NE(log.find("dots.gltf: no triangles"), std::string::npos) << log;
  EXPECT_EQ(Tool(std::string(MODELTOOL) + " make " + Dir() + "/dots.gltf " + Dir() + "/dots.ghg", &log), 1);
  EXPECT_NE(log.find("dots.gltf: no triangles"), std::string::npos) << log;
}

TEST_F(Import, ANodeHierarchyWithoutASkinIsAModelOfRigidParts) {
  // A red body with a green arm 2.4 along x, through the arm's node.
  Gltf g;
  const std::vector<uint16_t> quad = {0, 1, 2, 0, 2, 3};
  const int body = g.Mesh("body", {Gltf::Prim(4, g.Positions(Square(0)), g.Indices(quad), g.Material("1,0,0,1"))});
  const int arm = g.Mesh("arm", {Gltf::Prim(4, g.Positions(Square(0)), g.Indices(quad), g.Material("0,1,0,1"))});
  const int armNode = g.Node("arm", arm, 2.4f, {}, false);
  const int hand = g.Node("hand", -1, 1.0f, {}, false);
  g.Node("body", body, -1.2f, {armNode, hand});
  g.Write(Dir() + "/rigid.gltf");
  std::string log;
  ASSERT_EQ(Tool(std::string(MODELTOOL) + " make " + Dir() + "/rigid.gltf " + Dir() + "/rigid.ghg", &log), 0) << log;
  ASSERT_EQ(Tool(std::string(MODELTOOL) + " info " + Dir() + "/rigid.ghg", &log), 0) << log;
  EXPECT_NE(log.find("3 joints, 1 layers, 0 points, 2 rigid objects, 0 skins"), std::string::npos) << log;
  EXPECT_NE(log.find("joint 1: <arm> parent 0 rest (2.400, 0.000, -0.000)"), std::string::npos) << log;
  EXPECT_NE(log.find("joint 2: <hand> parent 0"), std::string::npos) << log;
  const RgbaImage p = Show(MODELTOOL, Dir() + "/rigid.ghg", Dir() + "/rigid.png");
  ASSERT_EQ(p.width, 256);
  EXPECT_GT(Count(p, 0, 0, 128, 128, RED), 300);
  EXPECT_EQ(Count(p, 128, 0, 256, 128, RED), 0);
  EXPECT_GT(Count(p, 128, 0, 256, 128, GREEN), 300);
  EXPECT_EQ(Count(p, 0, 0, 128, 128, GREEN), 0);
}

TEST_F(Import, ObjMaterialLibrariesGiveEachGeometryItsMaterialAndTexture) {
  WritePalettePng(Dir() + "/blue.png", TwoBands(24, 24, BLUE, BLUE));
  std::ofstream(Dir() + "/lib.mtl") << "newmtl red\nKd 1 0 0\nnewmtl tex\nKd 1 1 1\nmap_Kd -s 1 1 1 blue.png\n";
  std::ofstream(Dir() + "/two.obj") << "mtllib lib.mtl\nv -2.2 -1 0\nv -0.2 -1 0\nv -0.2 1 0\nv -2.2 1 0\n"
                                      "v 0.2 -1 0\nv 2.2 -1 0\nv 2.2 1 0\nv 0.2 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                                      "usemtl red\nf 4 3 2 1\nusemtl tex\nf 8/4 7/3 6/2 5/1\n";
  std::ofstream(Dir() + "/two.txt") << "material m vtxcol lighting 2\nobject o mesh\n  geom m\n  obj two.obj\nend\n"
                                      "instance o 0 0 0\n";
  std::string log;
  ASSERT_EQ(Tool(std::string(SCENETOOL) + " make " + Dir() + "/two.txt " + Dir() + "/two.gsc", &log), 0) << log;
  ASSERT_EQ(Tool(std::string(SCENETOOL) + " info " + Dir() + "/two.gsc", &log), 0) << log;
  EXPECT_NE(log.find("1 textures, 3 materials, 1 objects"), std::string::npos) << log;
  EXPECT_NE(log.find("object 0: kind 0, 3 geometries"), std::string::npos) << log;
  const RgbaImage p = Show(SCENETOOL, Dir() + "/two.gsc", Dir() + "/two.png");
  ASSERT_EQ(p.width, 256);
  EXPECT_GT(Count(p, 0, 0, 128, 128, RED), 300);
  EXPECT_EQ(Count(p, 0, 0, 128, 128, BLUE), 0);
  EXPECT_GT(Count(p, 128, 0, 256, 128, BLUE), 300);
  EXPECT_EQ(Count(p, 128, 0, 256, 128, RED), 0);
  // A texture the library names but nobody made: refused, named.
  std::ofstream(Dir() + "/lib.mtl") << "newmtl red\nKd 1 0 0\nmap_Kd gone.png\n";
  EXPECT_EQ(Tool(std::string(SCENETOOL) + " make " + Dir() + "/two.txt " + Dir() + "/gone.gsc", &log), 1);
  EXPECT_NE(log.find("two.txt"), std::string::npos) << log;
  EXPECT_NE(log.find("gone.png"), std::string::npos) << log;
}

TEST_F(Import, ModelViewerPosesByTheAnimationAtItsFrame) {
  // The turn of a skinned arm: its frames differ, and the rest pose is frame 1's.
  std::ofstream(Dir() + "/arm.txt") << "material m vtxcol lighting 2\njoint root - 0 0 0\njoint tip root 0 1 0\n"
                                      "box root m 0.4 1 0.4 ff0000ff\nbox tip m 0.4 1 0.4 ff00ff00\n";
  const std::string still = "channel tx const 0\nchannel tz const 0\nchannel sx const 1\nchannel sy const 1\n"
                            "channel sz const 1\n";
  std::ofstream(Dir() + "/turn.txt") << "end 31\nnode root 0x03\nchannel ty const 0\n" << still
                                    << "node tip 0x03\nchannel ty const 1\nchannel rz hermite\nkey 1 0\n"
                                       "key 31 1.5708\n" << still;
  std::string log;
  ASSERT_EQ(Tool(std::string(MODELTOOL) + " make " + Dir() + "/arm.txt " + Dir() + "/arm.ghg", &log), 0) << log;
  ASSERT_EQ(Tool(std::string(ANITOOL) + " make " + Dir() + "/turn.txt " + Dir() + "/turn.ani", &log), 0) << log;
  const RgbaImage rest = Show(MODELTOOL, Dir() + "/arm.ghg", Dir() + "/arm_rest.png");
  const RgbaImage first = Show(MODELTOOL, Dir() + "/arm.ghg", Dir() + "/arm_1.png", "--anim=" + Dir() + "/turn.ani --frame=1");
  const RgbaImage last = Show(MODELTOOL, Dir() + "/arm.ghg", Dir() + "/arm_30.png", "--anim " + Dir() + "/turn.ani --frame 30");
  EXPECT_GT(Count(rest, 0, 0, 256, 128, GREEN), 100);
  EXPECT_EQ(rest.pixels, first.pixels);
  EXPECT_NE(first.pixels, last.pixels);
  EXPECT_GT(Count(last, 0, 0, 256, 128, GREEN), 100);
  // The options checked.
  EXPECT_EQ(Tool(std::string(MODELTOOL) + " show " + Dir() + "/arm.ghg x.png --size=9x9", &log), 2);
  EXPECT_NE(log.find("--size takes WxH"), std::string::npos) << log;
  EXPECT_NE(Tool(std::string(MODELTOOL) + " show " + Dir() + "/arm.ghg --anim=" + Dir() + "/arm.txt x.png", &log), 0);
}

TEST_F(Pictures, SidesFitToTheNearestPowerOfTwoWithin8To1024) {
  const int cases[][2] = {{1, 8}, {8, 8}, {11, 8}, {12, 16}, {211, 256}, {192, 256}, {191, 128}, {1024, 1024},
                          {1600, 1024}, {4096, 1024}};
  for (const auto& c : cases) {
    RgbaImage p{c[0], 3, std::vector<uint32_t>(size_t(c[0]) * 3, 0xff336699u)};
    const RgbaImage f = PictureFit(p);
    EXPECT_EQ(f.width, c[1]) << c[0];
    EXPECT_EQ(f.height, 8);
    // One colour stays that colour, shrunk or enlarged.
    for (uint32_t px : f.pixels) ASSERT_EQ(px, 0xff336699u) << c[0];
  }
}

TEST_F(Pictures, ShrinkingAveragesAreasAndClearPixelsLendNoColour) {
  // 2048 x 8 of columns alternating black and white: every texel of 1024 x 8 is grey.
  RgbaImage p{2048, 8, {}};
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 2048; x++) p.pixels.push_back(x & 1 ? 0xffffffffu : 0xff000000u);
  const RgbaImage f = PictureFit(p);
  ASSERT_EQ(f.width, 1024);
  for (uint32_t px : f.pixels) ASSERT_EQ(px, 0xff808080u);
  // 24 x 8 to 32 x 8 (enlarged): halves of clear green and opaque red give red
  // of partial alpha at the seam, never green.
  RgbaImage q{24, 8, {}};
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 24; x++) q.pixels.push_back(x < 12 ? 0x0000ff00u : 0xff0000ffu);
  const RgbaImage g = PictureFit(q);
  ASSERT_EQ(g.width, 32);
  for (uint32_t px : g.pixels)
    if (px >> 24) {
      ASSERT_EQ(px & 0xffffff, 0x0000ffu) << std::hex << px;
    }
}

TEST_F(Pictures, JpegAndPaletteFilesDecodeToTheirColours) {
  const std::string jpeg = JpegBytes(TwoBands(40, 20, RED, BLUE));
  RgbaImage p;
  std::string error;
  ASSERT_TRUE(PictureDecode(reinterpret_cast<const uint8_t*>(jpeg.data()), jpeg.size(), &p, &error)) << error;
  ASSERT_EQ(p.width, 40);
  ASSERT_EQ(p.height, 20);
  EXPECT_EQ(Count(p, 0, 2, 40, 8, RED), 40 * 6);
  EXPECT_EQ(Count(p, 0, 12, 40, 18, BLUE), 40 * 6);
  // Cut short: libjpeg's reason, nothing else.
  EXPECT_FALSE(PictureDecode(reinterpret_cast<const uint8_t*>(jpeg.data()), 40, &p, &error));
  EXPECT_FALSE(error.empty());
  WritePalettePng(Dir() + "/p.png", TwoBands(211, 3, RED, YELLOW));
  ASSERT_TRUE(PictureRead(Dir() + "/p.png", &p, &error)) << error;
  EXPECT_EQ(p.pixels[0], RED);
  EXPECT_EQ(p.pixels.back(), YELLOW);
  ZETEX* t = TexFromPicture(p, &error);
  ASSERT_NE(t, nullptr) << error;
  EXPECT_EQ(t->width, 256);
  EXPECT_EQ(t->height, 8);
  EXPECT_EQ(t->type, TEXTOOL_DEFAULT_TYPE);
}

}  // namespace
