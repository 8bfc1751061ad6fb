// The pad library: one pad per port (slot 0), fed a frame at a time by the
// port's pad source. A DualShock 2 starts in digital mode as the real one
// does; requests (main mode, actuator alignment, pressure mode) complete at
// the next frame, or fail when a test asks. Sources are sampled at the
// frame's scePadGetState, so a program that reads each pad once a frame
// sees one source frame per read.
#include "platform.h"

#include <cstring>

namespace {

constexpr int PORTS = 2;
constexpr int SLOTS = 4;

enum Request { REQ_NONE, REQ_MAIN_MODE, REQ_ALIGN, REQ_PRESS_ON, REQ_PRESS_OFF };

struct Pad {
  PadSource source;
  bool open[SLOTS];
  PadFrame in;          // this frame's input
  PadKind kind;         // what is plugged in
  int foundFrames;      // frames since it was plugged in: 1 finding, 2 identified, then stable
  bool analog, pressure, aligned;
  unsigned char act[6];
  Request req;
  int reqArg;
  int reqState;
  bool failNext;
};

Pad g_pad[PORTS];
bool g_started = false;

void Start() {
  if (g_started) return;
  g_started = true;
  for (int p = 0; p < PORTS; p++) {
    g_pad[p] = Pad{};
    g_pad[p].source = PadSourceSdl(nullptr);
  }
}

// The pad on (port, slot) once the library has identified it, else null.
Pad* Ready(int port, int slot) {
  if (port < 0 || port >= PORTS || slot != 0) return nullptr;
  Pad& p = g_pad[port];
  if (!p.open[0] || p.kind == PAD_NONE || p.foundFrames < 2) return nullptr;
  return &p;
}

void Unplug(Pad& p) {
  p.analog = p.pressure = p.aligned = false;
  p.req = REQ_NONE;
  p.reqState = scePadReqStateComplete;
  p.foundFrames = 0;
}

// Starts a request: 1, or 0 when one still runs.
int Begin(Pad& p, Request req, int arg) {
  if (p.req != REQ_NONE) return 0;
  p.req = req;
  p.reqArg = arg;
  p.reqState = scePadReqStateBusy;
  return 1;
}

void Complete(Pad& p) {
  if (p.failNext) {
    p.failNext = false;
    p.reqState = scePadReqStateFaild;
    p.req = REQ_NONE;
    return;
  }
  switch (p.req) {
    case REQ_MAIN_MODE:
      p.analog = p.reqArg == 1;
      if (!p.analog) p.pressure = false;
      break;
    case REQ_ALIGN: p.aligned = true; break;
    case REQ_PRESS_ON: p.pressure = p.analog; break;
    case REQ_PRESS_OFF: p.pressure = false; break;
    case REQ_NONE: break;
  }
  p.reqState = scePadReqStateComplete;
  p.req = REQ_NONE;
}

}  // namespace

int scePadInit(int mode) {
  Start();
  return 1;
}

int scePadPortOpen(int port, int slot, void* dmaBuffer) {
  Start();
  if (port < 0 || port >= PORTS || slot < 0 || slot >= SLOTS) return 0;
  if (!dmaBuffer || (reinterpret_cast<uintptr_t>(dmaBuffer) & 63) != 0) return 0;
  if (g_pad[port].open[slot]) return 0;
  g_pad[port].open[slot] = true;
  return 1;
}

int scePadPortClose(int port, int slot) {
  if (port < 0 || port >= PORTS || slot < 0 || slot >= SLOTS || !g_pad[port].open[slot]) return 0;
  g_pad[port].open[slot] = false;
  return 1;
}

int scePadGetState(int port, int slot) {
  Start();
  if (port < 0 || port >= PORTS || slot != 0 || !g_pad[port].open[0]) return scePadStateDiscon;
  Pad& p = g_pad[port];
  PadFrame in{};
  in.stick[0] = in.stick[1] = in.stick[2] = in.stick[3] = 128;
  p.source.frame(p.source.context, port, &in);
  p.in = in;
  if (in.kind != p.kind) {
    // Unplugged, plugged in, or another pad: a pad starts in digital mode.
    p.kind = in.kind;
    Unplug(p);
  }
  if (p.kind == PAD_NONE) return scePadStateDiscon;
  if (p.foundFrames < 3) p.foundFrames++;
  if (p.foundFrames == 1) return scePadStateFindPad;
  if (p.req != REQ_NONE) Complete(p);
  // The mode button switches the mode even when the program locked it: the
  // stand-in lets scripts exercise a mode change.
  if (in.modeButton && p.kind == PAD_DUALSHOCK2) {
    p.analog = !p.analog;
    p.pressure = false;
  }
  return p.foundFrames == 2 ? scePadStateFindCTP1 : scePadStateStable;
}

int scePadGetReqState(int port, int slot) {
  if (port < 0 || port >= PORTS || slot != 0) return scePadReqStateFaild;
  return g_pad[port].reqState;
}

int scePadInfoMode(int port, int slot, int term, int offs) {
  Pad* p = Ready(port, slot);
  if (!p) return 0;
  bool ds2 = p->kind == PAD_DUALSHOCK2;
  switch (term) {
    case InfoModeCurID: return p->analog ? PAD_ID_ANALOG : PAD_ID_DIGITAL;
    case InfoModeCurExID: return p->analog ? PAD_ID_ANALOG : 0;
    case InfoModeCurExOffs: return p->analog ? 1 : 0;
    case InfoModeIdTable:
      if (!ds2) return 0;
      if (offs == -1) return 2;
      if (offs == 0) return PAD_ID_DIGITAL;
      if (offs == 1) return PAD_ID_ANALOG;
      return -1;
    default: return 0;
  }
}

int scePadSetMainMode(int port, int slot, int offs, int lock) {
  Pad* p = Ready(port, slot);
  if (!p || p->kind != PAD_DUALSHOCK2 || offs < 0 || offs > 1) return 0;
  return Begin(*p, REQ_MAIN_MODE, offs);
}

int scePadInfoAct(int port, int slot, int actno, int term) {
  Pad* p = Ready(port, slot);
  if (!p || p->kind != PAD_DUALSHOCK2) return 0;
  // Two motors: 0 the small one (on or off), 1 the big one (speed 0-255).
  if (actno == -1) return 2;
  if (actno < 0 || actno > 1) return -1;
  switch (term) {
    case InfoActFunc: return 1;
    case InfoActSub: return actno;
    case InfoActSize: return actno;
    case InfoActCurr: return actno == 0 ? 10 : 50;
    default: return -1;
  }
}

int scePadSetActAlign(int port, int slot, const unsigned char* data) {
  Pad* p = Ready(port, slot);
  if (!p || p->kind != PAD_DUALSHOCK2 || !data) return 0;
  return Begin(*p, REQ_ALIGN, 0);
}

// Motors do nothing; the values are kept for tests.
int scePadSetActDirect(int port, int slot, const unsigned char* data) {
  Pad* p = Ready(port, slot);
  if (!p || !data) return 0;
  memcpy(p->act, data, 6);
  return 1;
}

int scePadInfoPressMode(int port, int slot) {
  Pad* p = Ready(port, slot);
  return p && p->kind == PAD_DUALSHOCK2 ? 1 : 0;
}

int scePadEnterPressMode(int port, int slot) {
  Pad* p = Ready(port, slot);
  if (!p || p->kind != PAD_DUALSHOCK2 || !p->analog) return 0;
  return Begin(*p, REQ_PRESS_ON, 0);
}

int scePadExitPressMode(int port, int slot) {
  Pad* p = Ready(port, slot);
  if (!p || p->kind != PAD_DUALSHOCK2) return 0;
  return Begin(*p, REQ_PRESS_OFF, 0);
}

int scePadRead(int port, int slot, unsigned char* data) {
  Pad* p = Ready(port, slot);
  if (!p || !data || p->in.noData) return 0;
  unsigned char r[PAD_REPORT_BYTES] = {};
  // The type byte stays the same for as long as the mode does.
  int halfwords = !p->analog ? 1 : p->pressure ? 9 : 3;
  r[1] = uint8_t(((p->analog ? PAD_ID_ANALOG : PAD_ID_DIGITAL) << 4) | halfwords);
  uint32_t held = p->in.buttons & 0xffff;
  r[2] = uint8_t(~(held >> 8));
  r[3] = uint8_t(~held);
  if (p->analog) memcpy(r + 4, p->in.stick, 4);
  if (p->pressure) memcpy(r + 8, p->in.pressure, PAD_PRESSURES);
  int bytes = 2 + 2 * halfwords;
  memcpy(data, r, PAD_REPORT_BYTES);
  return bytes;
}

void PlatPadSetSource(int port, const PadSource& source) {
  Start();
  if (port < 0 || port >= PORTS || !source.frame) return;
  g_pad[port].source = source;
}

void PlatPadFailNextRequest(int port) {
  if (port >= 0 && port < PORTS) g_pad[port].failNext = true;
}

void PlatPadMotors(int port, unsigned char out[6]) {
  if (port >= 0 && port < PORTS) memcpy(out, g_pad[port].act, 6);
}

void PlatPadReset() {
  g_started = true;
  for (int p = 0; p < PORTS; p++) {
    g_pad[p] = Pad{};
    g_pad[p].source = PadSourceNone();
  }
}
