// The tools' viewer: options, the engine's video for the picture or the
// window, the framing camera, the frame loop.
#include "viewer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "scenewrite.h"
#include "zecore.h"

namespace {

constexpr float kDegree = 3.14159265f / 180.0f;

// The camera on the subject's bounds from yaw and pitch, at distance
// scale x the distance that frames the sphere.
void Aim(const ViewSubject& s, float yaw, float pitch, float scale, float aspect) {
  ZECAMERA* cam = ZeCameraCreate();
  cam->aspect = aspect;
  // The narrower half angle frames the sphere.
  const float half = std::min(cam->fov / 2, std::atan(std::tan(cam->fov / 2) / aspect));
  const float r = std::max(s.radius, 1e-3f);
  const float d = r / std::sin(half) * scale;
  const float cy = std::cos(yaw * kDegree), sy = std::sin(yaw * kDegree);
  const float cp = std::cos(pitch * kDegree), sp = std::sin(pitch * kDegree);
  const ZEVEC f = {sy * cp, -sp, cy * cp};
  ZEVEC x = {f.z, 0, -f.x};
  const float lx = std::sqrt(x.x * x.x + x.z * x.z);
  x = lx > 1e-6f ? ZEVEC{x.x / lx, 0, x.z / lx} : ZEVEC{1, 0, 0};
  const ZEVEC y = {f.y * x.z - f.z * x.y, f.z * x.x - f.x * x.z, f.x * x.y - f.y * x.x};
  const ZEVEC at = {s.centre.x - f.x * d, s.centre.y - f.y * d, s.centre.z - f.z * d};
  cam->mtx = {{{x.x, x.y, x.z, 0}, {y.x, y.y, y.z, 0}, {f.x, f.y, f.z, 0}, {at.x, at.y, at.z, 1}}};
  cam->nearclip = std::max(d - 2 * r, d * 0.02f);
  cam->farclip = d + 2 * r;
  ZeCameraSet(cam);
  ZeCameraDestroy(cam);
}

// A frame as the program draws one; the back buffer it drew into.
uint64_t Frame(const ViewSubject& s, int n) {
  uint64_t frame;
  ZePs2GetCurrentBackBuffer(&frame);
  ZeRndrBeginScene(-1);
  ZeRndrClear(0x700, 0x00302820, 1.0f);
  s.draw(n);
  ZeRndrEndScene();
  ZePs2ScreenSwap(1);
  ZeRndrVu1Draw();
  KernelYield();
  ZeRndrSwapStreamBuffers();
  return frame;
}

bool Number(const char* s, float* out) {
  char* end;
  *out = strtof(s, &end);
  return *s && !*end && std::isfinite(*out);
}

}  // namespace

bool ViewParse(int argc, char** argv, ViewOptions* o, std::string* error) {
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    if (a.size() < 2 || a.compare(0, 2, "--")) {
      o->files.push_back(a);
      continue;
    }
    if (a == "--window") {
      o->window = true;
      continue;
    }
    std::string value;
    const size_t eq = a.find('=');
    if (eq != std::string::npos) value = a.substr(eq + 1), a.resize(eq);
    else if (i + 1 < argc) value = argv[++i];
    else return *error = a + " needs a value", false;
    float v;
    if (a == "--yaw" || a == "--pitch" || a == "--frame") {
      if (!Number(value.c_str(), &v)) return *error = a + " takes a number", false;
      (a == "--yaw" ? o->yaw : a == "--pitch" ? o->pitch : o->frame) = v;
    } else if (a == "--size") {
      int w = 0, h = 0;
      char end = 0;
      if (sscanf(value.c_str(), "%dx%d%c", &w, &h, &end) != 2 || w < 32 || w > 640 || h < 32 || h > 512)
        return *error = "--size takes WxH, 32-640 by 32-512", false;
      o->width = w, o->height = h;
    } else if (a == "--anim") {
      o->anim = value;
    } else {
      return *error = "unknown option " + a, false;
    }
  }
  return true;
}

void ViewEngineInit(const ViewOptions& o) {
  if (o.window) {
    SceneEngineInit();
  } else {
    DisplaySetBackend("null");
    SceneEngineInit(o.width, o.height, 0);
  }
}

void ViewBounds(const ZEVEC& lo, const ZEVEC& hi, ViewSubject* s) {
  s->centre = {(lo.x + hi.x) / 2, (lo.y + hi.y) / 2, (lo.z + hi.z) / 2};
  const ZEVEC h = {(hi.x - lo.x) / 2, (hi.y - lo.y) / 2, (hi.z - lo.z) / 2};
  s->radius = std::sqrt(h.x * h.x + h.y * h.y + h.z * h.z);
}

bool ViewShow(const ViewOptions& o, const ViewSubject& s, std::string* error) {
  if (!o.window) {
    Aim(s, o.yaw, o.pitch, 1.0f, float(o.height) / float(o.width));
    const uint64_t f = Frame(s, 1);
    const uint32_t fbp = uint32_t(f & 0x1ff) * 32, fbw = uint32_t(f >> 16 & 0x3f);
    std::vector<uint32_t> px;
    for (int y = 0; y < o.height; y++)
      for (int x = 0; x < o.width; x++) px.push_back(GsMemReadPixel(PSMCT32, fbp, fbw, x, y) | 0xff000000u);
    if (!PngWrite(o.files.back().c_str(), px.data(), o.width, o.height))
      return *error = "cannot write " + o.files.back(), false;
    return true;
  }
  // The window: the game's field, shown at 4:3; the pad turns the view.
  ZEPAD* pad = ZePs2OpenPad(0, 0);
  float yaw = o.yaw, pitch = o.pitch, scale = 1.0f;
  for (int n = 1;; n++) {
    if (pad && ZePs2ReadPad(pad)) {
      const uint32_t b = pad->buttons;
      yaw += pad->flx * 3.0f + ((b & SCE_PADLright) ? 2.0f : 0.0f) - ((b & SCE_PADLleft) ? 2.0f : 0.0f);
      pitch += -pad->fly * 3.0f + ((b & SCE_PADLdown) ? 2.0f : 0.0f) - ((b & SCE_PADLup) ? 2.0f : 0.0f);
      pitch = std::clamp(pitch, -89.0f, 89.0f);
      const float zoom = pad->fry * 0.02f + ((b & SCE_PADR1) ? 0.02f : 0.0f) - ((b & SCE_PADL1) ? 0.02f : 0.0f);
      scale = std::clamp(scale * (1.0f + zoom), 0.2f, 5.0f);
    }
    Aim(s, yaw, pitch, scale, 0.75f);
    Frame(s, n);
  }
}
