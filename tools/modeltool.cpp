// modeltool: model memory images (.ghg) from a line-based description (or
// a glTF 2.0 skin), written as a model file (HGOF) with the engine's block
// writer, loaded with the engine's ZeHGobjLoad and written with ZeGHGWrite;
// and a listing of an image through ZeGHGRead.
//   modeltool make <desc.txt|in.gltf|in.glb> <out.ghg> [--hgo=FILE] [--anim=PREFIX]
//   modeltool info <in.ghg>
//   modeltool show <in.ghg> [--anim=A.ani --frame=F] <out.png> [--yaw=D] [--pitch=D] [--size=WxH]
//   modeltool show <in.ghg> [--anim=A.ani --frame=F] --window
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "modelwrite.h"
#include "viewer.h"
#include "zecore.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWorkBuffer = 8 << 20;

bool WriteThroughEngine(const std::string& path, const std::function<void(const char*)>& write) {
  return ToolWriteThroughEngine(path, "MDLTOOL.TMP", write);
}

bool IsGltf(const std::string& path) {
  const std::string ext = fs::path(path).extension().string();
  return ext == ".gltf" || ext == ".glb";
}

int Make(const std::string& in, const std::string& out, const char* keep, const char* animprefix) {
  ModelDesc desc;
  std::string error;
  const bool ok = IsGltf(in) ? ModelReadGltf(in.c_str(), &desc, &error) : ModelReadDescription(in.c_str(), &desc, &error);
  if (!ok || !ModelCheck(desc, &error)) {
    fprintf(stderr, "modeltool: %s: %s\n", in.c_str(), error.c_str());
    ModelDescFree(&desc);
    return 1;
  }
  const std::string hgo = keep ? keep : out + ".hgo";
  bool written = false;
  if (!keep) ToolRemoveOnFailure(hgo);
  const bool made = WriteThroughEngine(hgo, [&](const char* name) { written = ModelWriteHgof(desc, name, &error); });
  if (!made || !written) {
    if (made) fprintf(stderr, "modeltool: %s: %s\n", hgo.c_str(), error.c_str());
    std::error_code ec;
    if (made) fs::remove(hgo, ec);
    ModelDescFree(&desc);
    return 1;
  }
  const std::string ehgo = "@loc" + ToolEngineName(hgo);
  ZEHGOBJ* obj = ZeHGobjLoad(ehgo.c_str());
  if (!keep) fs::remove(hgo);
  ToolSetFile(out);
  if (!obj) {
    fprintf(stderr, "modeltool: %s: the engine did not load the model file\n", in.c_str());
    ModelDescFree(&desc);
    return 1;
  }
  WriteThroughEngine(out, [&](const char* name) { ZeGHGWrite(obj, name, kWorkBuffer); });
  ZeHGobjDestroy(obj);
  for (size_t i = 0; i < desc.anims.size(); i++) {
    const std::string path = std::string(animprefix ? animprefix : (fs::path(out).replace_extension().string() + "_")) +
                             desc.animnames[i] + ".ani";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(desc.anims[i].data()), std::streamsize(desc.anims[i].size()));
    printf("%s: animation %s\n", path.c_str(), desc.animnames[i].c_str());
  }
  ModelDescFree(&desc);
  std::error_code ec;
  if (!fs::exists(out, ec)) {
    fprintf(stderr, "modeltool: %s: nothing written\n", out.c_str());
    return 1;
  }
  printf("%s: %ju bytes\n", out.c_str(), uintmax_t(fs::file_size(out)));
  return 0;
}

int Info(const std::string& in) {
  std::error_code ec;
  const auto size = fs::file_size(in, ec);
  if (ec) {
    fprintf(stderr, "modeltool: cannot read %s\n", in.c_str());
    return 1;
  }
  const size_t room = size_t(size) + 65536 + 16 * 1024;
  char* buffer = static_cast<char*>(EeMalloc(room));
  char* pos = buffer;
  const std::string name = "@loc" + ToolEngineName(in);
  ZEHGOBJ* o = ZeGHGRead(name.c_str(), &pos, buffer + room);
  if (!o) {
    fprintf(stderr, "modeltool: %s: nothing read\n", in.c_str());
    EeFree(buffer);
    return 1;
  }
  int rigid = 0, skins = 0;
  for (int l = 0; l < o->nlayer; l++) {
    for (int j = 0; o->layers[l].objects && j < o->njoint; j++) rigid += o->layers[l].objects[j] ? 1 : 0;
    skins += (o->layers[l].skin ? 1 : 0) + (o->layers[l].skin2 ? 1 : 0);
  }
  printf("%s: %ju bytes, %d textures, %d materials, %d joints, %d layers, %d points, %d rigid objects, %d skins, "
         "%d collision spheres, %d texture animations\n",
         in.c_str(), uintmax_t(size), o->ntex, o->nmtl, o->njoint, o->nlayer, o->npoint, rigid, skins,
         o->collision ? int(o->collision->count) : 0, o->ntexanim);
  for (int j = 0; j < o->njoint; j++) {
    const ZEMTX& r = o->restmtx[j];
    printf("joint %d: <%s> parent %d rest (%.3f, %.3f, %.3f)\n", j, o->joints[j].name ? o->joints[j].name.get() : "",
           o->joints[j].parent == 255 ? -1 : o->joints[j].parent, double(r.m[3][0]), double(r.m[3][1]),
           double(r.m[3][2]));
  }
  for (int p = 0; p < o->npoint; p++)
    printf("point %d: <%s> joint %d\n", p, o->points[p].name ? o->points[p].name.get() : "", o->points[p].joint);
  printf("bounds: sphere %.3f, box (%.3f, %.3f, %.3f)-(%.3f, %.3f, %.3f)\n", double(o->sphere_radius),
         double(o->boxmin.x), double(o->boxmin.y), double(o->boxmin.z), double(o->boxmax.x), double(o->boxmax.y),
         double(o->boxmax.z));
  ZeHGobjDestroy(o);
  EeFree(buffer);
  return 0;
}

// The model posed at rest, or by an animation at a frame (clamped to its
// frames), the camera framing its bounds.
int Show(int argc, char** argv) {
  ViewOptions o;
  std::string error;
  if (!ViewParse(argc, argv, &o, &error)) {
    fprintf(stderr, "modeltool: %s\n", error.c_str());
    return 2;
  }
  if (o.files.size() != (o.window ? 1u : 2u)) return -1;
  const std::string in = o.files[0];
  std::error_code ec;
  uintmax_t size = fs::file_size(in, ec);
  if (!ec && !o.anim.empty()) size += fs::file_size(o.anim, ec);
  if (ec) {
    fprintf(stderr, "modeltool: cannot read %s\n", ec && !o.anim.empty() && fs::exists(in) ? o.anim.c_str() : in.c_str());
    return 1;
  }
  ViewEngineInit(o);
  InitSkinning(4 << 20);
  ZeTexAnimProgSysInit();
  const size_t room = size_t(size) + 65536 + 16 * 1024;
  char* buffer = static_cast<char*>(EeMalloc(room));
  char* pos = buffer;
  auto engineName = [](const std::string& path) {
    PlatSetHostRoot(fs::absolute(path).parent_path().c_str());
    return "@loc" + fs::path(path).filename().string();
  };
  ZEHGOBJ* obj = ZeGHGRead(engineName(in).c_str(), &pos, buffer + room);
  ZEANIMDATA2* anim = obj && !o.anim.empty() ? ZeAnimData2LoadBuff(engineName(o.anim).c_str(), &pos, buffer + room) : nullptr;
  int r = 1;
  if (!obj) {
    fprintf(stderr, "modeltool: %s: nothing read\n", in.c_str());
  } else if (!o.anim.empty() && !anim) {
    fprintf(stderr, "modeltool: %s: not an animation\n", o.anim.c_str());
  } else {
    std::vector<ZEMTX> joints(size_t(std::max(1, int(obj->njoint))));
    const float frame = anim ? std::clamp(o.frame, 1.0f, std::max(1.0f, anim->end)) : 1.0f;
    ViewSubject subject;
    ViewBounds(obj->boxmin, obj->boxmax, &subject);
    // The box holds every turn of the joints (a cube about the origin): its
    // half side, not its half diagonal, frames the model.
    subject.radius = std::max({obj->boxmax.x - obj->boxmin.x, obj->boxmax.y - obj->boxmin.y,
                               obj->boxmax.z - obj->boxmin.z}) / 2;
    subject.draw = [&](int) {
      if (anim) ZeHGobjEvalAnim2(obj, anim, 0, nullptr, joints.data(), frame);
      else ZeHGobjEval(obj, 0, nullptr, joints.data());
      ZEMTX at;
      ZeMtxSetIdentity(&at);
      ZeHGobjRndrMtxDwa(obj, &at, 1, nullptr, joints.data(), nullptr);
    };
    if (ViewShow(o, subject, &error)) r = 0;
    else fprintf(stderr, "modeltool: %s\n", error.c_str());
  }
  if (obj) ZeHGobjDestroy(obj);
  EeFree(buffer);
  CloseSkinning();
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
          "usage: modeltool make DESC|GLTF OUT.ghg [--hgo=FILE] [--anim=PREFIX]\n"
          "       modeltool info IN.ghg\n"
          "       modeltool show IN.ghg [--anim=A.ani --frame=F] OUT.png [--yaw=D] [--pitch=D] [--size=WxH]\n"
          "       modeltool show IN.ghg [--anim=A.ani --frame=F] --window\n");
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
  InitSkinning(4 << 20);
  ZeTexAnimProgSysInit();
  int r = -1;
  if (argc == 3 && !strcmp(argv[1], "info")) r = Info(argv[2]);
  else if (argc >= 4 && !strcmp(argv[1], "make"))
    r = Make(argv[2], argv[3], Option(argc, argv, "--hgo="), Option(argc, argv, "--anim="));
  CloseSkinning();
  SceneEngineClose();
  return r < 0 ? Usage() : r;
}

}  // namespace

int main(int argc, char** argv) { return ToolRun("modeltool", Main, argc, argv); }
