// The game camera until the follow camera is built: one camera, kaelcam,
// made once with the game's viewport, standing CAMERA_BEHIND units behind
// the hero along his facing and CAMERA_ABOVE units above his feet, looking
// at his head (CAMERA_HEAD above his feet). No modes, no blending, no
// shake; the camera registry's calls do nothing.
#include <cmath>

#include "player.h"
#include "standins.h"

ZECAMERA* kaelcam;
int cam_external_target;
int CameraPanActive, camsnap, camspot, oldcamspot = -1, pointcam_end;

namespace {

float g_yaw;  // radians, the camera's heading

// Where the hero stands and where he faces: the one place the camera reads him.
void HeroView(ZEVEC* feet, int* yaw) {
  *feet = Player.cob.pos;
  *yaw = Player.cob.roty;
}

}  // namespace

void InitCamera(int) {
  if (!kaelcam) kaelcam = ZeCameraCreate();
}

void InitGameCamera(int) { InitCamera(0); }

void ProcessCamera() {
  if (!kaelcam) return;
  ZEVEC feet;
  int yaw;
  HeroView(&feet, &yaw);
  g_yaw = float(int16_t(yaw)) * (6.2831853f / 65536.0f);
  const float sx = std::sin(g_yaw), cz = std::cos(g_yaw);
  const ZEVEC eye = {feet.x - CAMERA_BEHIND * sx, feet.y + CAMERA_ABOVE, feet.z - CAMERA_BEHIND * cz};
  const ZEVEC head = {feet.x, feet.y + CAMERA_HEAD, feet.z};
  // Rows: x right (up x forward), y up (forward x right), z forward, the eye.
  ZEVEC f = {head.x - eye.x, head.y - eye.y, head.z - eye.z};
  const float fl = std::sqrt(f.x * f.x + f.y * f.y + f.z * f.z);
  f = {f.x / fl, f.y / fl, f.z / fl};
  const float xl = std::sqrt(f.x * f.x + f.z * f.z);
  const ZEVEC x = {f.z / xl, 0.0f, -f.x / xl};
  const ZEVEC y = {f.y * x.z - f.z * x.y, f.z * x.x - f.x * x.z, f.x * x.y - f.y * x.x};
  kaelcam->mtx = {{{x.x, x.y, x.z, 0}, {y.x, y.y, y.z, 0}, {f.x, f.y, f.z, 0}, {eye.x, eye.y, eye.z, 1}}};
  ZeCameraSet(kaelcam);
}

float CameraYaw() { return g_yaw; }
void SetActiveCamera(int, int) {}
void SetNextCamera(int, int) {}
void SwapCameras(int) {}
void SetShakeCam(float, float, float, float) {}
void CameraRailReset() {}
