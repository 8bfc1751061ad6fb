// scenetool: scene files (.gsc) from a line-based description or a glTF 2.0
// file, written as the intermediate form (GSC0) with the engine's block
// writer and converted with the engine's converter; and a listing of a
// scene file through the engine's loader.
//   scenetool make <desc.txt|in.gltf|in.glb> <out.gsc> [--gsc0=FILE] [--crossfade]
//   scenetool gsc0 <desc.txt|in.gltf|in.glb> <out.gsc0>
//   scenetool convert <in.gsc0> <out.gsc> [--crossfade]
//   scenetool info <in.gsc>
//   scenetool show <in.gsc> <out.png> [--yaw=D] [--pitch=D] [--size=WxH]
//   scenetool show <in.gsc> --window
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "scenewrite.h"
#include "viewer.h"
#include "zecore.h"

namespace fs = std::filesystem;

namespace {

std::string EngineName(const std::string& path) { return "@loc" + ToolEngineName(path); }

bool WriteThroughEngine(const std::string& path, const std::function<void(const char*)>& write) {
  return ToolWriteThroughEngine(path, "SCNTOOL.TMP", write);
}

bool IsGltf(const std::string& path) {
  const std::string ext = fs::path(path).extension().string();
  return ext == ".gltf" || ext == ".glb";
}

int Gsc0(const std::string& in, const std::string& out) {
  SceneDesc desc;
  std::string error;
  const bool ok = IsGltf(in) ? SceneReadGltf(in.c_str(), &desc, &error) : SceneReadDescription(in.c_str(), &desc, &error);
  if (!ok) {
    fprintf(stderr, "scenetool: %s: %s\n", in.c_str(), error.c_str());
    SceneDescFree(&desc);
    return 1;
  }
  bool written = false;
  if (!WriteThroughEngine(out, [&](const char* name) { written = SceneWriteGsc0(desc, name, &error); })) {
    SceneDescFree(&desc);
    return 1;
  }
  SceneDescFree(&desc);
  if (!written) {
    fprintf(stderr, "scenetool: %s: %s\n", out.c_str(), error.c_str());
    std::error_code ec;
    fs::remove(out, ec);
    return 1;
  }
  return 0;
}

int Convert(const std::string& in, const std::string& out, bool crossfade) {
  zegscn_generate_colourref = crossfade;
  std::error_code ec;
  if (!fs::is_regular_file(in, ec)) {
    fprintf(stderr, "scenetool: cannot read %s\n", in.c_str());
    return 1;
  }
  // The input is read through its own directory, named from the output's;
  // its fatal errors name it.
  const fs::path rel = fs::absolute(in).lexically_relative(fs::absolute(out).parent_path());
  const std::string ein = "@loc" + rel.string();
  const bool ok = WriteThroughEngine(out, [&](const char* name) {
    ToolSetFile(in);
    ZeGScnConvertScene(name, ein.c_str());
  });
  if (!ok) return 1;
  if (fs::file_size(out, ec) <= 16 || ec) {
    fprintf(stderr, "scenetool: %s: nothing converted\n", in.c_str());
    fs::remove(out, ec);
    return 1;
  }
  printf("%s: %ju bytes\n", out.c_str(), uintmax_t(fs::file_size(out)));
  return 0;
}

// A scene file read through the engine into a buffer of its own (EeFree
// it after ZeGScnRemove).
ZEGSCENE* ReadScene(const std::string& in, uintmax_t size, char** buffer) {
  const size_t room = size_t(size) * 2 + 65536;
  *buffer = static_cast<char*>(EeMalloc(room));
  char* pos = *buffer;
  return ZeGScnRead(&pos, *buffer + room, EngineName(in).c_str());
}

int Info(const std::string& in) {
  std::error_code ec;
  const auto size = fs::file_size(in, ec);
  if (ec) {
    fprintf(stderr, "scenetool: cannot read %s\n", in.c_str());
    return 1;
  }
  char* buffer;
  ZEGSCENE* s = ReadScene(in, size, &buffer);
  if (!s) {
    fprintf(stderr, "scenetool: %s: nothing read\n", in.c_str());
    EeFree(buffer);
    return 1;
  }
  printf("%s: %ju bytes, %d textures, %d materials, %d objects, %d instances, %d specials, %d splines, "
         "%d texture animations, %d animations\n",
         in.c_str(), uintmax_t(size), s->ntex, s->nmtl, s->ngobj, s->ninst, s->nspec, s->nspline, s->ntexanim,
         s->nanimlib);
  for (int i = 0; i < s->ngobj; i++) {
    const ZEGOBJ* o = s->gobjs[i];
    int geoms = 0, sets = 0;
    for (const ZEGEOM* g = o->geometries; g; g = g->next) geoms++;
    for (const ZEFACEONGEOM* f = o->faceons; f; f = f->next) sets++;
    printf("object %d: kind %d, %d geometries, %d sprite sets, %d triangles, radius %.3f%s\n", i, o->kind, geoms, sets,
           o->tricount, double(o->radius), o->colourref ? ", cross-fade" : "");
  }
  for (int i = 0; i < s->ninst; i++) {
    const ZEGSCNINST& in = s->insts[i];
    printf("instance %d: object %d at (%.3f, %.3f, %.3f) flags %x%s%s\n", i, in.object, double(in.mtx.m[3][0]),
           double(in.mtx.m[3][1]), double(in.mtx.m[3][2]), in.flags, in.anim ? ", animated" : "",
           in.wind_amplitude ? ", swaying" : "");
  }
  for (int i = 0; i < s->nspec; i++)
    printf("special %d: <%s> instance %d\n", i, s->specs[i].name.get(), int(s->specs[i].inst.get() - s->insts.get()));
  for (int i = 0; i < s->nspline; i++)
    printf("spline %d: <%s> %d points\n", i, s->splines[i].name.get(), s->splines[i].count);
  for (int i = 0; i < s->ntexanim; i++)
    printf("texture animation %d: <%s> program <%s> %d frames\n", i, s->texanims[i].name.get(),
           s->texanims[i].progname.get(), s->texanims[i].ntex);
  ZeGScnRemove(s);
  EeFree(buffer);
  return 0;
}

// The scene drawn as it stands (instances updated a frame at a time), the
// camera framing the boxes of its shown instances.
int Show(int argc, char** argv) {
  ViewOptions o;
  std::string error;
  if (!ViewParse(argc, argv, &o, &error)) {
    fprintf(stderr, "scenetool: %s\n", error.c_str());
    return 2;
  }
  if (o.files.size() != (o.window ? 1u : 2u)) return -1;
  const std::string in = o.files[0];
  std::error_code ec;
  const auto size = fs::file_size(in, ec);
  if (ec) {
    fprintf(stderr, "scenetool: cannot read %s\n", in.c_str());
    return 1;
  }
  ViewEngineInit(o);
  char* buffer;
  ZEGSCENE* s = ReadScene(in, size, &buffer);
  int r = 1;
  if (!s) {
    fprintf(stderr, "scenetool: %s: nothing read\n", in.c_str());
  } else {
    ZEVEC lo = {1e30f, 1e30f, 1e30f}, hi = {-1e30f, -1e30f, -1e30f};
    for (int i = 0; i < s->ninst; i++) {
      const ZEGSCNINST& inst = s->insts[i];
      if (!(inst.flags & ZEGSCNINST_SHOWN) || inst.object < 0 || inst.object >= s->ngobj) continue;
      const ZEGOBJ* g = s->gobjs[inst.object];
      for (int c = 0; c < 8; c++) {
        const ZEVEC p = {c & 1 ? g->max.x : g->min.x, c & 2 ? g->max.y : g->min.y, c & 4 ? g->max.z : g->min.z};
        ZEVEC w;
        ZeVecMtxTransform(&w, &p, &inst.mtx);
        lo = {std::min(lo.x, w.x), std::min(lo.y, w.y), std::min(lo.z, w.z)};
        hi = {std::max(hi.x, w.x), std::max(hi.y, w.y), std::max(hi.z, w.z)};
      }
    }
    ViewSubject subject;
    if (lo.x <= hi.x) ViewBounds(lo, hi, &subject);
    subject.draw = [&](int) {
      ZeGScnUpdate(s, 1.0f);
      ZeGScnRndr3(s);
    };
    if (ViewShow(o, subject, &error)) r = 0;
    else fprintf(stderr, "scenetool: %s\n", error.c_str());
    ZeGScnRemove(s);
  }
  EeFree(buffer);
  SceneEngineClose();
  return r;
}

const char* Option(int argc, char** argv, const char* name) {
  const size_t n = strlen(name);
  for (int i = 1; i < argc; i++)
    if (!strncmp(argv[i], name, n)) return argv[i] + n;
  return nullptr;
}

int Usage() {
  fprintf(stderr,
          "usage: scenetool make DESC|GLTF OUT.gsc [--gsc0=FILE] [--crossfade]\n"
          "       scenetool gsc0 DESC|GLTF OUT.gsc0\n"
          "       scenetool convert IN.gsc0 OUT.gsc [--crossfade]\n"
          "       scenetool info IN.gsc\n"
          "       scenetool show IN.gsc OUT.png [--yaw=D] [--pitch=D] [--size=WxH]\n"
          "       scenetool show IN.gsc --window\n");
  return 2;
}

int Main(int argc, char** argv) {
  errmsg_disabled = 1;
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  if (argc >= 2 && !strcmp(argv[1], "show")) {
    const int r = Show(argc - 1, argv + 1);
    return r < 0 ? Usage() : r;
  }
  SceneEngineInit();
  const bool crossfade = Option(argc, argv, "--crossfade") != nullptr;
  int r = -1;
  if (argc >= 4 && !strcmp(argv[1], "gsc0")) r = Gsc0(argv[2], argv[3]);
  else if (argc >= 4 && !strcmp(argv[1], "convert")) r = Convert(argv[2], argv[3], crossfade);
  else if (argc == 3 && !strcmp(argv[1], "info")) r = Info(argv[2]);
  else if (argc >= 4 && !strcmp(argv[1], "make")) {
    const char* keep = Option(argc, argv, "--gsc0=");
    const std::string mid = keep ? keep : std::string(argv[3]) + "0";
    r = Gsc0(argv[2], mid);
    if (!keep) ToolRemoveOnFailure(mid);
    if (r == 0) r = Convert(mid, argv[3], crossfade);
    std::error_code ec;
    if (!keep) fs::remove(mid, ec);
  }
  SceneEngineClose();
  return r < 0 ? Usage() : r;
}

}  // namespace

int main(int argc, char** argv) { return ToolRun("scenetool", Main, argc, argv); }
