// The pads: one record per opened port and slot, read once a frame. The
// read call's state machine makes one pad-library request per frame to
// bring an analog pad into analog mode, align its motors and switch on
// pressures; the pad on port 0 is recorded into, or played back from, a
// caller's buffer.
#include "zeps2.h"
#include "zecore.h"

#include <cstring>

ZEPADREC* PadRecInfo = nullptr;
int PadDemoEnd = 0;
int PadDemoEndButtons = 0xffff;

namespace {

enum { PAD_PROBE, PAD_DIGITAL_MODES, PAD_SET_ANALOG, PAD_WAIT_ANALOG, PAD_ALIGN, PAD_WAIT_ALIGN,
       PAD_ASK_PRESSURE, PAD_SET_PRESSURE, PAD_WAIT_PRESSURE, PAD_READY };

constexpr uint32_t ZEPAD_SETUP = ZEPAD_ANALOG | ZEPAD_PRESSURE | ZEPAD_VALID;
constexpr uint8_t ACT_ALIGN[6] = {0, 1, 0xff, 0xff, 0xff, 0xff};

unsigned char* DmaBuffer(ZEPAD* pad) {
  uintptr_t a = (reinterpret_cast<uintptr_t>(pad->padarea) + 63) & ~uintptr_t(63);
  return reinterpret_cast<unsigned char*>(a);
}

uint8_t* Frame(int index) { return reinterpret_cast<uint8_t*>(PadRecInfo + 1) + ZEPADREC_FRAME * index; }

// One stick axis as a float: scaled so that with the defaults full
// deflection is 1.0, with the dead zone taken off toward the centre.
float StickFloat(int v, float scale, float dz) {
  float f = float(v) * (scale + dz) * 0.0078125f;
  if (f > 0.0f) {
    f -= dz;
    if (f < 0.0f) f = 0.0f;
  }
  if (f < 0.0f) {
    f += dz;
    if (f > 0.0f) f = 0.0f;
  }
  return f;
}

// The held-button word and its edges from the report's bytes 2 and 3.
void Buttons(ZEPAD* pad) {
  uint32_t now = ((uint32_t(pad->raw[2]) << 8) | pad->raw[3]) ^ 0xffff;
  uint32_t changed = now ^ pad->prevbuttons;
  pad->pressed = now & changed;
  pad->released = pad->prevbuttons & changed;
  pad->prevbuttons = now;
  pad->buttons = now;
}

void Sticks(ZEPAD* pad) {
  pad->lx = pad->raw[6] - 128;
  pad->ly = 128 - pad->raw[7];
  pad->rx = pad->raw[4] - 128;
  pad->ry = 128 - pad->raw[5];
  if (pad->flags & ZEPAD_STICKMAP) {
    pad->lx = DeadZoneValue(pad->lx);
    pad->ly = DeadZoneValue(pad->ly);
    pad->rx = DeadZoneValue(pad->rx);
    pad->ry = DeadZoneValue(pad->ry);
  }
  pad->flx = StickFloat(pad->lx, pad->lscalex, pad->ldzx);
  pad->fly = StickFloat(pad->ly, pad->lscaley, pad->ldzy);
  pad->frx = StickFloat(pad->rx, pad->rscalex, pad->rdzx);
  pad->fry = StickFloat(pad->ry, pad->rscaley, pad->rdzy);
}

// A record without data: no buttons or edges, centred sticks, no pressures.
void Clear(ZEPAD* pad) {
  memset(pad->raw + 4, 128, 4);
  memset(pad->raw + 8, 0, 12);
  pad->lx = pad->ly = pad->rx = pad->ry = 0;
  pad->flx = pad->fly = pad->frx = pad->fry = 0.0f;
  pad->buttons = pad->prevbuttons = pad->pressed = pad->released = 0;
}

// Reading in the ready state.
void Read(ZEPAD* pad) {
  uint8_t lastTerm = pad->raw[1];
  // A read that delivers nothing is a frame without data (the zeroed
  // active-low bytes would otherwise read as every button held).
  if (scePadRead(pad->port, pad->slot, pad->raw) <= 0) return;
  Buttons(pad);
  if (pad->flags & ZEPAD_ANALOG) {
    Sticks(pad);
  } else {
    memset(pad->raw + 4, 128, 4);
    pad->lx = pad->ly = pad->rx = pad->ry = 0;
    pad->flx = pad->fly = 0.0f;
  }
  pad->flags |= ZEPAD_VALID;
  // The user switched the pad's mode: set it up again.
  if (lastTerm != 0 && pad->raw[1] != lastTerm) {
    pad->state = PAD_PROBE;
    pad->buttons = 0;
    pad->flags &= ~ZEPAD_SETUP;
  }
}

void Step(ZEPAD* pad, int padState) {
  int port = pad->port, slot = pad->slot;
  switch (pad->state) {
    case PAD_PROBE: {
      pad->flags &= ~ZEPAD_SETUP;
      int id = scePadInfoMode(port, slot, InfoModeCurID, 0);
      if (id == 0) break;
      pad->termid = id;
      int ext = scePadInfoMode(port, slot, InfoModeCurExID, 0);
      if (ext > 0) pad->termid = ext;
      pad->state = pad->termid == PAD_ID_DIGITAL ? PAD_DIGITAL_MODES
                   : pad->termid == PAD_ID_ANALOG ? PAD_ALIGN
                                                  : PAD_READY;
      break;
    }
    case PAD_DIGITAL_MODES:
      pad->state = scePadInfoMode(port, slot, InfoModeIdTable, -1) != 0 ? PAD_SET_ANALOG : PAD_READY;
      break;
    case PAD_SET_ANALOG:
      if (scePadSetMainMode(port, slot, 1, 3) == 1) pad->state = PAD_WAIT_ANALOG;
      break;
    case PAD_WAIT_ANALOG: {
      int r = scePadGetReqState(port, slot);
      if (r == scePadReqStateFaild) pad->state = PAD_SET_ANALOG;
      else if (r == scePadReqStateComplete) pad->state = PAD_PROBE;
      break;
    }
    case PAD_ALIGN:
      if (scePadInfoAct(port, slot, -1, 0) == 0) pad->state = PAD_READY;
      else if (scePadSetActAlign(port, slot, pad->actalign) != 0) pad->state = PAD_WAIT_ALIGN;
      break;
    case PAD_WAIT_ALIGN: {
      int r = scePadGetReqState(port, slot);
      if (r == scePadReqStateFaild) pad->state = PAD_ALIGN;
      else if (r == scePadReqStateComplete) pad->state = PAD_ASK_PRESSURE;
      break;
    }
    case PAD_ASK_PRESSURE:
      pad->flags |= ZEPAD_ANALOG;
      pad->state = scePadInfoPressMode(port, slot) == 1 ? PAD_SET_PRESSURE : PAD_READY;
      break;
    case PAD_SET_PRESSURE:
      if (scePadEnterPressMode(port, slot) == 1) pad->state = PAD_WAIT_PRESSURE;
      break;
    case PAD_WAIT_PRESSURE: {
      int r = scePadGetReqState(port, slot);
      if (r == scePadReqStateFaild) {
        pad->state = PAD_SET_PRESSURE;
      } else if (r == scePadReqStateComplete) {
        pad->flags |= ZEPAD_PRESSURE;
        pad->state = PAD_READY;
      }
      break;
    }
    default:
      if (padState == scePadStateStable || padState == scePadStateFindCTP1) Read(pad);
      break;
  }
}

void Record(ZEPAD* pad) {
  ZEPADREC* rec = PadRecInfo;
  if (rec->frame >= rec->limit) return;
  if (!(pad->flags & ZEPAD_VALID)) pad->raw[2] = 0;  // the no-data mark
  memcpy(Frame(rec->frame), pad->raw, ZEPADREC_FRAME);
  rec->frame++;
}

void Play(ZEPAD* pad, uint32_t keptPrevious) {
  ZEPADREC* rec = PadRecInfo;
  pad->flags |= ZEPAD_VALID;
  pad->prevbuttons = keptPrevious;
  if (pad->buttons & uint32_t(PadDemoEndButtons)) PadDemoEnd = 1;
  memcpy(pad->raw, Frame(rec->frame), ZEPADREC_FRAME);
  if (rec->frame < rec->count - 2) rec->frame++;
  else PadDemoEnd = 1;
  if (pad->raw[2] != 0) {
    Buttons(pad);
    Sticks(pad);
  } else {
    // A recorded frame without data plays as one: a cleared record, as the
    // live read that recorded it had.
    pad->flags &= ~ZEPAD_VALID;
    Clear(pad);
  }
  if (PadDemoEnd == 1) rec->mode = 0;
}

// Loads a recording into the attached buffer of frames x 20 bytes. Only the
// frame count is kept from its header, cut down so that play-back (which
// reads frames 0 to count - 2) stays within the frames loaded. False when
// the file is missing, shorter than its header or larger than the buffer.
bool LoadRecording(const char* name, int frames) {
  int bytes = frames * ZEPADREC_FRAME;
  int size = ZeFileSize(name);
  if (size < int(sizeof(ZEPADREC))) return false;
  if (size > bytes) {
    ZeDebugMsg("InitPadPlayRecord - \"%s\" (%d bytes) is larger than the buffer (%d bytes)", name, size, bytes);
    return false;
  }
  int loaded = ZeFileLoadBuffer(name, PadRecInfo, bytes);
  if (loaded < int(sizeof(ZEPADREC))) {
    memset(PadRecInfo, 0, sizeof(ZEPADREC));
    return false;
  }
  int whole = (loaded - int(sizeof(ZEPADREC))) / ZEPADREC_FRAME;
  if (PadRecInfo->count > whole + 1) PadRecInfo->count = whole + 1;
  if (PadRecInfo->count < 0) PadRecInfo->count = 0;
  return true;
}

}  // namespace

ZEPAD* ZePs2OpenPad(int port, int slot) {
  ZePs2InitIOP();
  ZEPAD* pad = static_cast<ZEPAD*>(ZeMemAllocFn(int(sizeof(ZEPAD)), __FILE__, __LINE__));
  memset(pad, 0, sizeof *pad);
  pad->port = port;
  pad->slot = slot;
  pad->state = PAD_PROBE;
  pad->lscalex = pad->lscaley = pad->rscalex = pad->rscaley = 1.0f;
  pad->ldzx = pad->ldzy = pad->rdzx = pad->rdzy = 0.1f;
  memcpy(pad->actalign, ACT_ALIGN, sizeof ACT_ALIGN);
  if (scePadPortOpen(port, slot, DmaBuffer(pad)) == 0) {
    ZeMemFreeFn(pad, __FILE__, __LINE__);
    return nullptr;
  }
  return pad;
}

void ZePs2ClosePad(ZEPAD* pad) {
  scePadPortClose(pad->port, pad->slot);
  ZeMemFreeFn(pad, __FILE__, __LINE__);
}

int ZePs2ReadPad(ZEPAD* pad) {
  uint32_t keptPrevious = pad->prevbuttons;
  // Only a read in this frame makes the record valid: a ready pad that is
  // neither stable nor being found must not repeat its last buttons.
  pad->flags &= ~ZEPAD_VALID;
  int s = scePadGetState(pad->port, pad->slot);
  if (s == scePadStateDiscon) {
    pad->state = PAD_PROBE;
    pad->flags &= ~ZEPAD_SETUP;
  } else {
    Step(pad, s);
  }
  if (!(pad->flags & ZEPAD_VALID)) Clear(pad);
  if (PadRecInfo && pad->port == 0) {
    if (PadRecInfo->mode == 1) Record(pad);
    else if (PadRecInfo->mode == 2) Play(pad, keptPrevious);
  }
  return (pad->flags & ZEPAD_VALID) ? -1 : 0;
}

int ZePs2PadSetMotors(ZEPAD* pad, int small, int big) {
  if (!(pad->flags & ZEPAD_ANALOG)) return 0;
  pad->actdirect[0] = small > 0 ? 1 : 0;
  pad->actdirect[1] = uint8_t(big);
  return scePadSetActDirect(pad->port, pad->slot, pad->actdirect);
}

int ZePs2ApplyDeadZone(int raw, int dz) {
  int v = raw - 128;
  if (v > 0) return v < dz ? 0 : (v - dz) * 255 / (255 - dz);
  return v > -dz ? 0 : (v + dz) * 255 / (255 - dz);
}

int DeadZoneValue(int v) {
  if (v >= -32 && v <= 32) return 0;
  return v > 32 ? (v - 32) * 255 / 223 : (v + 32) * 255 / 223;
}

void InitPadPlayRecord(const char* name, int mode, int frames, void* buffer) {
  // A new buffer replaces an attached one (which its owner may have freed).
  PadRecInfo = static_cast<ZEPADREC*>(buffer);
  if (!buffer) return;
  // The header and frame 0, which a play-back always reads, must fit.
  if (frames < 2) ZeError("InitPadPlayRecord - a buffer of %d frames is too small", frames);
  memset(buffer, 0, size_t(frames) * ZEPADREC_FRAME);
  PadDemoEnd = 0;
  if (name && mode == 2 && !LoadRecording(name, frames)) PadDemoEnd = 1;
  PadRecInfo->mode = mode;
  PadRecInfo->limit = frames - 2;
  PadRecInfo->frame = 0;
}

void SavePadRecord(const char* name) {
  ZEPADREC* rec = PadRecInfo;
  if (!rec || !name || rec->mode != 1) return;
  rec->count = rec->frame - 2;
  rec->frame = rec->count;
  ZEFILE f = ZeFileOpen(name, 1);
  if (f > 0) {
    // The file holds (count + 2) x 20 bytes from the buffer's start: the
    // 16-byte header and count + 1 frames, the last of them cut short.
    ZeFileWrite(f, rec, (rec->count + 2) * ZEPADREC_FRAME);
    ZeFileClose(f);
  }
  rec->frame += 2;
}

int PadRecPtr() { return PadRecInfo ? PadRecInfo->frame : 0; }
void PadPlayOff() { PadRecInfo = nullptr; }
void ZeSetPadDemoEndButtons(int mask) { PadDemoEndButtons = mask; }
int ZePs2PadDemoEnd() { return PadDemoEnd; }
