// tertool on scenes: fixtures written here (Wavefront OBJ, the scene tool's
// description, glTF), made into collision files by the tool and listed back
// through the engine's loader by "tertool info".
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gltfutil.h"
#include "platform_test.h"

namespace {

struct Output {
  int status = -1;
  std::string out;  // standard output and error
};

Output Tool(const std::string& args) {
  Output r;
  FILE* p = popen((std::string(TERTOOL) + " " + args + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  r.status = pclose(p);
  return r;
}

void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

bool Has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

// A unit cube about the origin, its faces wound counter-clockwise seen from
// outside (the usual OBJ order).
const char* kCube =
    "v -0.5 -0.5 -0.5\nv 0.5 -0.5 -0.5\nv 0.5 0.5 -0.5\nv -0.5 0.5 -0.5\n"
    "v -0.5 -0.5 0.5\nv 0.5 -0.5 0.5\nv 0.5 0.5 0.5\nv -0.5 0.5 0.5\n"
    "f 1 4 3 2\nf 5 6 7 8\nf 1 5 8 4\nf 2 3 7 6\nf 4 8 7 3\nf 1 2 6 5\n";

// Squares of side `size` in an n x n grid at y = 0, from (x0, z0), facing up.
std::string GridObj(int n, float size, float x0 = 0, float z0 = 0) {
  std::ostringstream s;
  for (int i = 0; i <= n; i++)
    for (int j = 0; j <= n; j++) s << "v " << x0 + float(i) * size << " 0 " << z0 + float(j) * size << "\n";
  for (int i = 0; i < n; i++)
    for (int j = 0; j < n; j++) {
      int a = i * (n + 1) + j + 1, b = a + 1, c = a + n + 2, d = a + n + 1;
      s << "f " << a << " " << b << " " << c << " " << d << "\n";
    }
  return s.str();
}

class Tertool : public ::testing::Test {
 protected:
  std::string dir = TestTempDir();
  // Makes the description into a collision file and lists it (--polygons).
  Output MakeAndList(const std::string& desc, const std::string& extra = "") {
    Write(dir + "/lev.txt", desc);
    Output made = Tool("make " + dir + "/lev.txt " + dir + "/lev.ter");
    if (made.status != 0) return made;
    return Tool("info " + dir + "/lev.ter --instances=16 --polygons " + extra);
  }
};

// The scene tool's description with an OBJ mesh: a static instance placed,
// turned and scaled, a turning and a non-turning platform on one instance,
// crash shapes by a special's name.
TEST_F(Tertool, SceneDescriptionWithObjRoundTrip) {
  Write(dir + "/cube.obj", kCube);
  Write(dir + "/scene.txt",
        "material m vtxcol lighting 2\n"
        "object crate mesh\n  geom m\n  obj cube.obj\nend\n"
        "instance crate 10 0.5 5 rotate 0 90 0 scale 2\nspecial Crate\n"
        "instance crate 0 3 0 rotate 0 45 0\nspecial Lift\n"
        "instance crate -8 0.5 0\nspecial Crate\n");
  Output r = MakeAndList(
      "scene scene.txt\n"
      "surface 9\nstatic Crate\n"
      "surface 6\nplatform Lift turn mesh\nplatform 1 mesh\n"
      "crash Crate\nsphere 1  0 1 0  0.5\n");
  ASSERT_EQ(r.status, 0) << r.out;
  // Two crates of six quads each, scaled 2 about their places.
  EXPECT_TRUE(Has(r.out, "item 0: static at 10 -0.5 5, 6 polygons in 1 groups, bounds 9 -0.5 4 .. 11 1.5 6")) << r.out;
  EXPECT_TRUE(Has(r.out, "item 1: static at -8 0 0, 6 polygons in 1 groups, bounds -8.5 0 -0.5 .. -7.5 1 0.5"));
  // Turning: the instance's own frame; not turning: turned into the world.
  EXPECT_TRUE(Has(r.out, "instance 0, scene instance 1, turning, bounds -0.5 -0.5 -0.5 .. 0.5 0.5 0.5"));
  EXPECT_TRUE(Has(r.out, "instance 1, scene instance 1, bounds -0.7071"));
  EXPECT_EQ(Count(r.out, "quad, normal"), 24);
  EXPECT_EQ(Count(r.out, "tri, normal"), 0);
  // Unit normals facing out: up, down and the four sides of each.
  EXPECT_EQ(Count(r.out, "normal 0 1 0, surface 9"), 2);
  EXPECT_EQ(Count(r.out, "normal 0 -1 0, surface 9"), 2);
  EXPECT_EQ(Count(r.out, "normal 0 1 0, surface 6"), 2);
  EXPECT_TRUE(Has(r.out, "crash: scene instance 0, 1 shapes, radius 1.5"));
  EXPECT_TRUE(Has(r.out, "crash: scene instance 2, 1 shapes, radius 1.5"));
  EXPECT_TRUE(Has(r.out, "lev.ter: 4 items, 24 polygons, 2 platforms"));

  // An OBJ file alone is a scene of one instance at the origin.
  r = MakeAndList("scene cube.obj\nstatic 0\n");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(Has(r.out, "item 0: static at 0 -0.5 0, 6 polygons in 1 groups, bounds -0.5 -0.5 -0.5 .. 0.5 0.5 0.5"));
}

// glTF: z mirrored and triangles turned back over by the scene tool's
// reader; the ground still faces up. Instances are the nodes with meshes in
// order, named by their nodes.
TEST_F(Tertool, GltfRoundTrip) {
  // A square of two triangles in the xz plane, counter-clockwise from above.
  const float pos[12] = {-1, 0, 1, 1, 0, 1, 1, 0, -1, -1, 0, -1};
  const uint16_t idx[6] = {0, 1, 2, 0, 2, 3};
  std::string bytes(reinterpret_cast<const char*>(pos), 48);
  bytes.append(reinterpret_cast<const char*>(idx), 12);
  const std::string enc = gltfutil::Base64(bytes);
  Write(dir + "/level.gltf",
        std::string(R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0,1]}],)") +
            R"("nodes":[{"name":"Ground","mesh":0,"translation":[0,0,-6],"scale":[4,1,4]},)" +
            R"({"name":"Disc","mesh":0,"translation":[5,1,0],"children":[2]},{"name":"Pad","mesh":0,"translation":[0,2,0]}],)" +
            R"("meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1}]}],)" +
            R"("buffers":[{"byteLength":60,"uri":"data:application/octet-stream;base64,)" + enc + R"("}],)" +
            R"("bufferViews":[{"buffer":0,"byteLength":48},{"buffer":0,"byteOffset":48,"byteLength":12}],)" +
            R"("accessors":[{"bufferView":0,"componentType":5126,"count":4,"type":"VEC3","min":[-1,0,-1],"max":[1,0,1]},)" +
            R"({"bufferView":1,"componentType":5123,"count":6,"type":"SCALAR"}]})");
  Output r = MakeAndList(
      "scene level.gltf\n"
      "surface 2\nstatic Ground\n"
      "surface 3\nplatform Disc turn mesh\nplatform Pad mesh\n"
      "crash Pad\ncube 7  -1 0 -1  1 0.5 1\n");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(Has(r.out, "item 0: static at 0 0 6, 1 polygons in 1 groups, bounds -4 0 2 .. 4 0 10")) << r.out;
  EXPECT_TRUE(Has(r.out, "  polygon 0: quad, normal 0 1 0, surface 2, group 0"));
  EXPECT_TRUE(Has(r.out, "instance 0, scene instance 1, turning, bounds -1 0 -1 .. 1 0 1"));
  EXPECT_TRUE(Has(r.out, "instance 1, scene instance 2, bounds -1 0 -1 .. 1 0 1"));
  EXPECT_EQ(Count(r.out, "quad, normal 0 1 0, surface 3"), 2);
  EXPECT_TRUE(Has(r.out, "crash: scene instance 2, 1 shapes, radius 1.5"));
  EXPECT_TRUE(Has(r.out, "lev.ter: 3 items, 3 polygons, 2 platforms, 1 grid buckets, 0 wall splines, flags 0"));
}

// Each attribute as the loader leaves it on a scene mesh's polygons.
TEST_F(Tertool, AttributesOfSceneMeshesThroughTheLoader) {
  Write(dir + "/floor.obj", GridObj(1, 2));
  struct Case {
    const char* attrs;
    const char* want;
  } cases[] = {
      {"surface 12\n", "surface 12, group 0, flags 0x00, wall 0"},
      {"surface 5\ngroup 3\n", "surface 5, group 3, flags 0x00, wall 0"},
      {"surface 5\nwall 2\n", "surface 5, group 0, flags 0x00, wall 2"},
      {"surface 4\ncrush 1\n", "surface 4, group 0, flags 0x80, wall 0"},
      {"surface 7\nskip 1\n", "surface 7, group 0, flags 0x40, wall 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.attrs);
    Output r = MakeAndList(std::string("scene floor.obj\n") + c.attrs + "static 0\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Has(r.out, std::string("polygon 0: quad, normal 0 1 0, ") + c.want)) << r.out;
  }
}

// Coplanar triangles sharing an edge become one quad when their outline is
// convex and they face the same way; in a grid every square is one quad.
TEST_F(Tertool, CoplanarPairsBecomeQuads) {
  struct Case {
    const char* name;
    std::string obj;
    int polys, quads;
  } cases[] = {
      {"a square as one face", "v 0 0 0\nv 0 0 2\nv 2 0 2\nv 2 0 0\nf 1 2 3 4\n", 1, 1},
      {"a square as two faces", "v 0 0 0\nv 0 0 2\nv 2 0 2\nv 2 0 0\nf 1 2 3\nf 3 4 1\n", 1, 1},
      {"a folded square", "v 0 0 0\nv 0 0 2\nv 2 0 2\nv 2 1 0\nf 1 2 3\nf 3 4 1\n", 2, 0},
      {"a concave outline", "v 0 0 0\nv 1 0 1\nv 4 0 0\nv 0 0 4\nf 1 2 3\nf 1 4 2\n", 2, 0},
      {"faces turned apart", "v 0 0 0\nv 0 0 2\nv 2 0 2\nv 2 0 0\nf 1 2 3\nf 1 4 3\n", 2, 0},
      {"a 3 x 3 grid", GridObj(3, 1), 9, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Write(dir + "/pair.obj", c.obj);
    Output r = MakeAndList("scene pair.obj\nstatic 0\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Has(r.out, "lev.ter: 1 items, " + std::to_string(c.polys) + " polygons")) << r.out;
    EXPECT_EQ(Count(r.out, ": quad, "), c.quads) << r.out;
  }
}

// A static instance splits into 16-unit items and 4-unit groups, quartered
// while they hold more than 64 polygons.
TEST_F(Tertool, ItemsAndGroupsOfBoundedExtent) {
  // 32 x 32 units of unit squares: four items of 16 groups, each 4 x 4.
  Write(dir + "/grid.obj", GridObj(32, 1));
  Output r = MakeAndList("scene grid.obj\nstatic 0\n");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(Count(r.out, "static at 8 0 8, 256 polygons in 16 groups"), 1) << r.out;
  EXPECT_EQ(Count(r.out, "256 polygons in 16 groups, bounds"), 4);
  EXPECT_EQ(Count(r.out, "widest group 4 x 4"), 4);
  EXPECT_TRUE(Has(r.out, "lev.ter: 4 items, 1024 polygons, 0 platforms, 4 grid buckets"));
  // 8 x 8 units of quarter squares: one item; the 256 squares of each
  // 4-unit cell split into quarters of 64, 2 x 2 units each.
  Write(dir + "/grid.obj", GridObj(32, 0.25f));
  r = MakeAndList("scene grid.obj\nstatic 0\n");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(Has(r.out, "item 0: static at 4 0 4, 1024 polygons in 16 groups, bounds 0 0 0 .. 8 0 8, widest group 2 x 2"))
      << r.out;
}

// Past 2,048 items the cells grow until the level fits; instances that
// cannot share an item are refused.
TEST_F(Tertool, ItemSplitPast2048) {
  // 50 x 50 small triangles 16 units apart: one item each would be 2,500.
  std::ostringstream obj;
  int v = 1;
  for (int i = 0; i < 50; i++)
    for (int j = 0; j < 50; j++, v += 3)
      obj << "v " << i * 16 + 1 << " 0 " << j * 16 + 1 << "\nv " << i * 16 + 1 << " 0 " << j * 16 + 2 << "\nv "
          << i * 16 + 2 << " 0 " << j * 16 + 1 << "\nf " << v << " " << v + 1 << " " << v + 2 << "\n";
  Write(dir + "/spread.obj", obj.str());
  Output r = MakeAndList("scene spread.obj\nstatic 0\n");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(Has(r.out, "lev.ter: 625 items, 2500 polygons")) << r.out.substr(r.out.size() - 300);
  EXPECT_EQ(Count(r.out, "4 polygons in 4 groups"), 625);

  std::string many;
  for (int i = 0; i < 2049; i++) many += "static\ntri 0 0 0  0 0 1  1 0 0\n";
  r = MakeAndList(many);
  EXPECT_NE(r.status, 0);
  EXPECT_TRUE(Has(r.out, "too many items: 2049 (at most 2048)")) << r.out;
}

// What a scene-based description cannot use, and coordinates no level can
// hold, are refused with the reason.
TEST_F(Tertool, RefusesWhatTheSceneDoesNotHold) {
  Write(dir + "/cube.obj", kCube);
  Write(dir + "/scene.txt",
        "material m vtxcol lighting 2\n"
        "object crate mesh\n  geom m\n  obj cube.obj\nend\n"
        "object tree sprites\n  set m\n  sprite 0 3 0 2 3 ff40a040\nend\n"
        "instance crate 0 0 0\nspecial Crate\ninstance tree 4 0 0\nspecial Tree\n");
  struct Case {
    const char* desc;
    const char* error;
  } cases[] = {
      {"scene scene.txt\nstatic Barrel\n", "no scene instance named \"Barrel\""},
      {"scene scene.txt\nstatic 2\n", "no scene instance 2"},
      {"scene scene.txt\nstatic Tree\n", "scene instance 1 has no mesh"},
      {"scene scene.txt\nplatform 1 turn mesh\n", "scene instance 1 has no mesh"},
      {"scene scene.txt\nscene cube.obj\n", "one scene a description"},
      {"static Crate\n", "no scene instance named \"Crate\""},
      {"platform 1 mesh\n", "cannot read \"platform 1 mesh\""},
      {"scene missing.obj\n", "missing.obj: cannot read"},
      {"scene broken.gltf\n", "broken.gltf: "},
      {"scene scene.txt\ncrash Barrel\n", "no scene instance named \"Barrel\""},
      {"scene far.obj\nstatic 0\n", "scene instance 0: coordinate out of range"},
      {"static\ntri 0 0 0  0 0 1  nan 0 0\n", "coordinate out of range: nan"},
      {"static\nbox 0 0 0  1 1 1e9\n", "coordinate out of range: 1e+09"},
      {"crash 1\nsphere 4000000000  0 inf 0  1\n", "coordinate out of range: inf"},
  };
  Write(dir + "/far.obj", "v 0 0 0\nv 0 0 1\nv 2e6 0 0\nf 1 2 3\n");
  Write(dir + "/broken.gltf", "{\"asset\":");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.desc);
    Output r = MakeAndList(c.desc);
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(Has(r.out, c.error)) << r.out;
  }
}

// A crash entry's radius reaches every point of its shapes: a box's
// farthest corner takes the larger magnitude on each axis (neither of its
// two given corners need be it).
TEST_F(Tertool, CrashRadiusReachesEveryShape) {
  struct Case {
    const char* shape;
    const char* radius;
  } cases[] = {
      {"sphere 1  0 1 0  0.5", "radius 1.5"},
      {"cylinder 0  0 0 3  2 1", "radius 6"},
      {"cube 2  -1 0 -1  1 2 1", "radius 2.44949"},
      {"cube 2  -3 0 -1  1 0.5 3", "radius 4.272"},  // corner (-3, 0.5, 3)
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shape);
    Output r = MakeAndList(std::string("crash 4\n") + c.shape + "\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Has(r.out, std::string("crash: scene instance 4, 1 shapes, ") + c.radius + "\n")) << r.out;
  }
}

}  // namespace
