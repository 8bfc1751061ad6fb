// The SDL2 pad source: port 0 is the keyboard together with game controller
// 0, port 1 is game controller 1. SDL is read through a table of functions,
// so the window's event pump keeps the state current and tests can feed
// their own. Key map (docs/platform.md): arrows the d-pad, W A S D the left
// stick, T F G H the right stick, I L K J triangle, circle, cross, square,
// Q E L1 R1, 1 3 L2 R2, Z M L3 R3, Return start, Backspace select, F12 the
// analog-mode button.
#include "platform.h"

#include <SDL.h>

#include <memory>
#include <vector>

namespace {

struct Key {
  SDL_Scancode key;
  uint32_t bit;
  int pressure;
};
const Key KEYS[] = {
    {SDL_SCANCODE_UP, SCE_PADLup, PAD_PRESS_UP},       {SDL_SCANCODE_DOWN, SCE_PADLdown, PAD_PRESS_DOWN},
    {SDL_SCANCODE_LEFT, SCE_PADLleft, PAD_PRESS_LEFT}, {SDL_SCANCODE_RIGHT, SCE_PADLright, PAD_PRESS_RIGHT},
    {SDL_SCANCODE_I, SCE_PADRup, PAD_PRESS_TRIANGLE},  {SDL_SCANCODE_L, SCE_PADRright, PAD_PRESS_CIRCLE},
    {SDL_SCANCODE_K, SCE_PADRdown, PAD_PRESS_CROSS},   {SDL_SCANCODE_J, SCE_PADRleft, PAD_PRESS_SQUARE},
    {SDL_SCANCODE_Q, SCE_PADL1, PAD_PRESS_L1},         {SDL_SCANCODE_E, SCE_PADR1, PAD_PRESS_R1},
    {SDL_SCANCODE_1, SCE_PADL2, PAD_PRESS_L2},         {SDL_SCANCODE_3, SCE_PADR2, PAD_PRESS_R2},
    {SDL_SCANCODE_Z, SCE_PADi, -1},                    {SDL_SCANCODE_M, SCE_PADj, -1},
    {SDL_SCANCODE_RETURN, SCE_PADstart, -1},           {SDL_SCANCODE_BACKSPACE, SCE_PADselect, -1},
};
// Stick keys: right x, right y, left x, left y; each pair pulls to 0 and to 255.
const SDL_Scancode STICK_KEYS[4][2] = {
    {SDL_SCANCODE_F, SDL_SCANCODE_H}, {SDL_SCANCODE_T, SDL_SCANCODE_G},
    {SDL_SCANCODE_A, SDL_SCANCODE_D}, {SDL_SCANCODE_W, SDL_SCANCODE_S},
};
constexpr SDL_Scancode MODE_KEY = SDL_SCANCODE_F12;

struct Pad {
  SDL_GameControllerButton button;
  uint32_t bit;
  int pressure;
};
const Pad PAD_BUTTONS[] = {
    {SDL_CONTROLLER_BUTTON_DPAD_UP, SCE_PADLup, PAD_PRESS_UP},
    {SDL_CONTROLLER_BUTTON_DPAD_DOWN, SCE_PADLdown, PAD_PRESS_DOWN},
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, SCE_PADLleft, PAD_PRESS_LEFT},
    {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, SCE_PADLright, PAD_PRESS_RIGHT},
    {SDL_CONTROLLER_BUTTON_Y, SCE_PADRup, PAD_PRESS_TRIANGLE},
    {SDL_CONTROLLER_BUTTON_B, SCE_PADRright, PAD_PRESS_CIRCLE},
    {SDL_CONTROLLER_BUTTON_A, SCE_PADRdown, PAD_PRESS_CROSS},
    {SDL_CONTROLLER_BUTTON_X, SCE_PADRleft, PAD_PRESS_SQUARE},
    {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, SCE_PADL1, PAD_PRESS_L1},
    {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, SCE_PADR1, PAD_PRESS_R1},
    {SDL_CONTROLLER_BUTTON_LEFTSTICK, SCE_PADi, -1},
    {SDL_CONTROLLER_BUTTON_RIGHTSTICK, SCE_PADj, -1},
    {SDL_CONTROLLER_BUTTON_START, SCE_PADstart, -1},
    {SDL_CONTROLLER_BUTTON_BACK, SCE_PADselect, -1},
};
const SDL_GameControllerAxis STICK_AXES[4] = {SDL_CONTROLLER_AXIS_RIGHTX, SDL_CONTROLLER_AXIS_RIGHTY,
                                              SDL_CONTROLLER_AXIS_LEFTX, SDL_CONTROLLER_AXIS_LEFTY};
constexpr int TRIGGER_HELD = 8000;  // of 32767

// ---- the real SDL functions ------------------------------------------

constexpr int MAX_CONTROLLERS = 2;
SDL_GameController* g_controller[MAX_CONTROLLERS];

const uint8_t* SdlKeyboard(int* numKeys) { return SDL_GetKeyboardState(numKeys); }

// Opens the game controllers SDL knows of (the window initialises SDL's
// controller subsystem); forgets those that went away.
int SdlControllerCount() {
  if (!SDL_WasInit(SDL_INIT_GAMECONTROLLER)) return 0;
  SDL_GameControllerUpdate();
  int n = 0;
  for (int i = 0; i < MAX_CONTROLLERS; i++) {
    if (g_controller[i] && !SDL_GameControllerGetAttached(g_controller[i])) {
      SDL_GameControllerClose(g_controller[i]);
      g_controller[i] = nullptr;
    }
  }
  int joysticks = SDL_NumJoysticks();
  for (int j = 0; j < joysticks && n < MAX_CONTROLLERS; j++) {
    if (!SDL_IsGameController(j)) continue;
    if (!g_controller[n]) g_controller[n] = SDL_GameControllerOpen(j);
    if (g_controller[n]) n++;
  }
  return n;
}

int SdlButton(int index, int button) {
  if (index < 0 || index >= MAX_CONTROLLERS || !g_controller[index]) return 0;
  return SDL_GameControllerGetButton(g_controller[index], SDL_GameControllerButton(button));
}

int SdlAxis(int index, int axis) {
  if (index < 0 || index >= MAX_CONTROLLERS || !g_controller[index]) return 0;
  return SDL_GameControllerGetAxis(g_controller[index], SDL_GameControllerAxis(axis));
}

struct Source {
  PadSdlApi api;
  bool modeWasDown[2];  // per port: the mode button is an edge
};
std::vector<std::unique_ptr<Source>> g_sources;  // sources live as long as the program

bool KeyDown(const uint8_t* keys, int numKeys, SDL_Scancode k) { return keys && int(k) < numKeys && keys[k]; }

void Hold(PadFrame* out, uint32_t bit, int pressure, int value) {
  out->buttons |= bit;
  if (pressure >= 0 && value > out->pressure[pressure]) out->pressure[pressure] = uint8_t(value);
}

void SdlFrame(void* context, int port, PadFrame* out) {
  Source* s = static_cast<Source*>(context);
  int controllers = s->api.controllerCount();
  bool mode = false;
  int pad = port;  // controller n drives port n
  if (port == 0) {
    out->kind = PAD_DUALSHOCK2;  // the keyboard is always there
    int numKeys = 0;
    const uint8_t* keys = s->api.keyboardState(&numKeys);
    for (const Key& k : KEYS)
      if (KeyDown(keys, numKeys, k.key)) Hold(out, k.bit, k.pressure, 255);
    for (int i = 0; i < 4; i++) {
      bool lo = KeyDown(keys, numKeys, STICK_KEYS[i][0]), hi = KeyDown(keys, numKeys, STICK_KEYS[i][1]);
      if (lo != hi) out->stick[i] = lo ? 0 : 255;
    }
    mode = KeyDown(keys, numKeys, MODE_KEY);
  } else {
    out->kind = controllers > pad ? PAD_DUALSHOCK2 : PAD_NONE;
  }
  if (controllers > pad) {
    for (const Pad& b : PAD_BUTTONS)
      if (s->api.controllerButton(pad, b.button)) Hold(out, b.bit, b.pressure, 255);
    int l2 = s->api.controllerAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERLEFT);
    int r2 = s->api.controllerAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT);
    if (l2 > TRIGGER_HELD) Hold(out, SCE_PADL2, PAD_PRESS_L2, l2 * 255 / 32767);
    if (r2 > TRIGGER_HELD) Hold(out, SCE_PADR2, PAD_PRESS_R2, r2 * 255 / 32767);
    for (int i = 0; i < 4; i++) {
      int v = s->api.controllerAxis(pad, STICK_AXES[i]);
      if (out->stick[i] == 128) out->stick[i] = uint8_t((v + 32768) >> 8);
    }
    mode = mode || s->api.controllerButton(pad, SDL_CONTROLLER_BUTTON_GUIDE);
  }
  out->modeButton = mode && !s->modeWasDown[port & 1];
  s->modeWasDown[port & 1] = mode;
}

}  // namespace

PadSource PadSourceSdl(const PadSdlApi* api) {
  PadSdlApi a = api ? *api : PadSdlApi{};
  if (!a.keyboardState) a.keyboardState = SdlKeyboard;
  if (!a.controllerCount) a.controllerCount = SdlControllerCount;
  if (!a.controllerButton) a.controllerButton = SdlButton;
  if (!a.controllerAxis) a.controllerAxis = SdlAxis;
  // The real table is shared by every port; a test's table gets its own.
  static Source shared{{SdlKeyboard, SdlControllerCount, SdlButton, SdlAxis}, {false, false}};
  Source* s = &shared;
  if (api) {
    g_sources.push_back(std::make_unique<Source>(Source{a, {false, false}}));
    s = g_sources.back().get();
  }
  return PadSource{SdlFrame, s};
}
