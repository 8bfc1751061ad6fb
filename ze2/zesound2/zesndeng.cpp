// The engine's sound layer: start-up from the game's sound-file table,
// effects by round robin, 3-D volumes and panning from the camera, stereo
// music pairs, looping 3-D effects that fade unless refreshed, and the
// once-a-frame update that sends the packet.
#include "zesound2.h"
#include "zecore.h"
#include "zemath.h"
#include "zeps2.h"

#include <cstring>

int zesound_enabled = 0;
ZESOUNDENTRY* zesound_filenames = nullptr;
float zesound_fade_start = 2.0f, zesound_fade_end = 15.0f;
int zesound_dpl_enabled = 1;
ZEVEC* ZeSoundListenPos = nullptr;
int SChan = ZESOUND_FIRST_SFX_VOICE;
int Attack = 0, Release = 16;
int16_t* SFX_ReqTable = nullptr;
int SFX_ReqTableSize = 0;
ZESNDLOOPINFO ZeSndLoopInfo[ZESOUND_LOOP_SLOTS];
int zesound_thread = -1;

namespace {

constexpr int SFX_VOICES = ZESOUND_LAST_SFX_VOICE - ZESOUND_FIRST_SFX_VOICE + 1;
constexpr int LOOP_FRAMES = 12;     // a loop lives this long after its last refresh
constexpr int LOOP_FADE = 8;        // and fades in eighths over the last frames
constexpr int INIT_POLLS = 10;
constexpr int TRANSFER_FIELDS = 600;  // ten seconds for one effect: the module is not answering
constexpr int WAIT_FRAME_SPIN = 50000;

int g_rows = 0;  // rows of the table before its -1

// The default camera, until the renderer provides one.
ZEVEC g_defaultCameraPos = {0, 0, 0};
ZEMTX g_identity = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
ZEVEC* DefaultCameraPos() { return &g_defaultCameraPos; }
const ZEMTX* DefaultVpc() { return &g_identity; }
void NoQuad(const ZESOUNDQUADVTX*) {}

bool On() { return zesound_enabled && zesound_irx_loaded; }

int Clamp(int v) {
  if (v > 0x3FFF) return 0x3FFF;
  if (v <= -0x4000) return -0x3FFF;
  return v;
}

// The row of an index; null (with a debug message) for one outside the table.
const ZESOUNDENTRY* Row(int index) {
  if (!zesound_filenames || index < 0 || index >= g_rows) {
    ZeDebugMsg("ZeSound - sound index %d outside the sound table (%d rows)", index, g_rows);
    return nullptr;
  }
  return &zesound_filenames[index];
}

void EngineStatus() { SOUND_GetStatus(SOUND_IOP_REQUEST_LOAD, 0); }

void PlayRow(const ZESOUNDENTRY* row, int left, int right, int pitch) {
  if (row->id >= ZESOUND_EFFECT_ID) {
    int voice = ZeSoundFindFree(SChan);
    SOUND_PlaySFX(row->id, uint32_t(voice), left, right, pitch, Attack, Release);
    SChan = voice == ZESOUND_LAST_SFX_VOICE ? ZESOUND_FIRST_SFX_VOICE : voice + 1;
  } else {
    SOUND_PlayStream(row->id, SOUND_ANY_STREAM, 0, left, right, pitch, STREAM_NO_VOICE, Attack, Release);
  }
}

void PlayStereo(int first, int leftIndex, int rightIndex, int leftVolume, int rightVolume, int pitch,
                const char* message) {
  if (!zesound_enabled) return;
  const ZESOUNDENTRY* l = Row(leftIndex);
  const ZESOUNDENTRY* r = Row(rightIndex);
  if (!l || !r || l->id >= ZESOUND_EFFECT_ID || r->id >= ZESOUND_EFFECT_ID) return;
  scePrintf("%s", message);
  leftVolume = Clamp(leftVolume);
  rightVolume = Clamp(rightVolume);
  SOUND_PlayStream(l->id, first, uint32_t(first), leftVolume, 0, 0, l->mode, Attack, Release);
  SOUND_PlayStream(r->id, first + 1, uint32_t(first + 1), 0, rightVolume, 0, r->mode, Attack, Release);
  SOUND_CheckAndStartStereo(first, first + 1, pitch);
}

}  // namespace

ZESOUNDRNDR zesound_rndr = {DefaultCameraPos, DefaultVpc, NoQuad};

// ---- start-up ------------------------------------------------------------------

void ZeSoundInitEx(ZESOUNDENTRY* table, int count) {
  if (!zesound_irx_loaded) {
    ZeDebugMsg("Sound services not available - could not load IRX module");
    return;
  }
  zesound_enabled = 1;
  zesound_filenames = table;
  g_rows = 0;
  while (table && table[g_rows].id != -1) g_rows++;
  ZeSoundInitLoopInfo();
  init_adpcm(count);
  FlushIOPCommand(0);
  for (int i = 0; i < INIT_POLLS; i++) {
    KernelWaitVSync();
    EngineStatus();
    FlushIOPCommand(1);
    SOUND_HandleCDErrors();
  }
}

void ZeSoundInit(ZESOUNDENTRY* table) { ZeSoundInitEx(table, 300); }

int init_adpcm(int count) {
  SOUND_InitIOP();
  SOUND_InitSPU();
  SOUND_InitCD(ZeFileGetMediaMode() == 3 ? 2 : 1);
  SOUND_InitStreamData(0, 0, 0);
  SOUND_AllocateFileMemory(count);
  SOUND_AllocateSpotFXMemory(count);
  for (int i = 0; i < ZESOUND_STREAM_BUFFERS; i++)
    SOUND_AllocateStreamBuffer(i, ZESOUND_STREAM_BUFFER + uint32_t(i) * ZESOUND_STREAM_BUFFER_SIZE,
                               ZESOUND_STREAM_BUFFER_SIZE);
  SOUND_SetSPUWriteAddress(ZESOUND_SFX_MEMORY);
  SOUND_SetMaxStreamLimit(ZESOUND_STREAM_BUFFERS);
  FlushIOPCommand(0);
  CreateFiles();
  return 0;
}

void CreateFiles() {
  char path[256];
  ZeFileGetCurrentPath(path);
  path[sizeof path - 1] = 0;
  char* colon = strchr(path, ':');
  for (char* c = colon ? colon : path + strlen(path); *c; c++)
    if (*c >= 'a' && *c <= 'z') *c -= 'a' - 'A';
  size_t base = strlen(path);
  for (int i = 0; zesound_filenames && zesound_filenames[i].id != -1; i++) {
    const char* name = zesound_filenames[i].name;
    // The path and the name share the 256 bytes; a longer name is cut, not written past.
    size_t j = 0;
    for (; name && name[j] && base + j < sizeof path - 1; j++) {
      char c = name[j];
      path[base + j] = c >= 'a' && c <= 'z' ? char(c - ('a' - 'A')) : c;
    }
    path[base + j] = 0;
    SOUND_CreateFileInfo(zesound_filenames[i].id, path, 48);
    FlushIOPCommand(0);
  }
  path[base] = 0;
}

// ---- playing ------------------------------------------------------------------

int ZeSoundFindFree(int start) {
  for (int k = 0; k < SFX_VOICES; k++) {
    int v = ((start - ZESOUND_FIRST_SFX_VOICE + k) % SFX_VOICES + SFX_VOICES) % SFX_VOICES + ZESOUND_FIRST_SFX_VOICE;
    if (SOUND_SPUKeyStatus[v] == SOUND_KEY_FREE) return v;
  }
  return start;  // all busy: the oldest effect is cut off
}

void ZeSoundPlay(int index, int left, int right, int pitch) {
  if (!On()) return;
  const ZESOUNDENTRY* row = Row(index);
  if (row) PlayRow(row, Clamp(left), Clamp(right), pitch);
}

void ZeSoundPlay3d(ZEVEC* position, int index, int left, int right, int pitch) {
  if (!On() || !ZeSoundCalc3dVolume(position, &left, &right)) return;
  const ZESOUNDENTRY* row = Row(index);
  if (row) PlayRow(row, left, right, pitch);
}

void ZeSoundPlayChan(int index, int left, int right, int pitch, int voice) {
  if (!On()) return;
  const ZESOUNDENTRY* row = Row(index);
  if (!row) return;
  left = Clamp(left);
  right = Clamp(right);
  if (row->id >= ZESOUND_EFFECT_ID) SOUND_PlaySFX(row->id, uint32_t(voice), left, right, pitch, Attack, Release);
  else SOUND_PlayStream(row->id, voice, uint32_t(voice), left, right, pitch, STREAM_NO_VOICE, Attack, Release);
}

void ZeSoundPlayStereo(int leftIndex, int rightIndex, int leftVolume, int rightVolume, int pitch) {
  PlayStereo(0, leftIndex, rightIndex, leftVolume, rightVolume, pitch, "****** Playing Stereo ******\n");
}

void ZeSoundPlayStereo2(int leftIndex, int rightIndex, int leftVolume, int rightVolume, int pitch) {
  PlayStereo(2, leftIndex, rightIndex, leftVolume, rightVolume, pitch, "****** Playing Stereo 2 ******\n");
}

int ZeSoundCalc3dVolume(const ZEVEC* position, int* left, int* right) {
  if (!ZeSoundListenPos) ZeSoundListenPos = zesound_rndr.camerapos();
  ZEVEC d;
  ZeVecSub(&d, position, ZeSoundListenPos);
  float dist = ZeVecMag(&d);
  if (dist > zesound_fade_end) return 0;
  float gain = 1.0f;
  if (dist > zesound_fade_start) gain = (zesound_fade_end - dist) / (zesound_fade_end - zesound_fade_start);
  ZEVEC4 p = {position->x, position->y, position->z, 1.0f}, clip;
  ZeVec4MtxTransformH(&clip, &p, zesound_rndr.vpcmtx());
  float x = clip.x;
  if (clip.w != 0) x /= clip.w;
  int r = *right;
  if (clip.w < 0) {  // behind the camera
    x = -x;
    if (zesound_dpl_enabled) r = -r;
  }
  float t = x < -1.0f ? -1.0f : x > 1.0f ? 1.0f : x;
  float l = float(*left) * (1.0f - t) * 0.5f * gain;
  float rr = float(r) * (1.0f + t) * 0.5f * gain;
  auto clamp = [](float v) { return v > 16383.0f ? 16383.0f : v < -16383.0f ? -16383.0f : v; };
  *left = EeFtoi(clamp(l));
  *right = EeFtoi(clamp(rr));
  return 1;
}

// ---- looping 3-D effects ------------------------------------------------------

void ZeSoundInitLoopInfo() {
  for (int i = 0; i < ZESOUND_LOOP_SLOTS; i++) {
    ZeSndLoopInfo[i] = {};
    ZeSndLoopInfo[i].voice = int16_t(ZESOUND_FIRST_LOOP_VOICE + i);
  }
}

ZESNDLOOPINFO* ZeSoundFindLoopInfo(const ZEVEC* key) {
  uint32_t k = EeAddrOf(key);
  for (ZESNDLOOPINFO& s : ZeSndLoopInfo)
    if (s.key == k) return &s;
  ZESNDLOOPINFO* free = nullptr;
  for (ZESNDLOOPINFO& s : ZeSndLoopInfo)
    if (s.countdown == 0) free = &s;
  if (free) {
    free->key = k;
    free->playing = 0;
  }
  return free;
}

void ZeSoundPlay3dLoopSfx(ZEVEC* key, int index, int left, int right, int pitch) {
  if (!On() || !key) return;
  int l = left, r = right;
  if (!ZeSoundCalc3dVolume(key, &l, &r)) return;  // a running loop fades out by itself
  const ZESOUNDENTRY* row = Row(index);
  if (!row || row->id < ZESOUND_EFFECT_ID) return;
  ZESNDLOOPINFO* slot = ZeSoundFindLoopInfo(key);
  if (!slot) return;
  if (slot->playing && SOUND_SPUKeyStatus[slot->voice] != SOUND_KEY_FREE) {
    SOUND_SetChannelVolume(uint32_t(slot->voice), l, r);
    SOUND_SetChannelPitch(slot->voice, pitch);
  } else {
    slot->playing = 1;
    SOUND_PlaySFX(row->id, uint32_t(slot->voice), l, r, pitch, Attack, Release);
  }
  slot->countdown = LOOP_FRAMES;
  slot->left = int16_t(left);
  slot->right = int16_t(right);
}

void ZeSoundFlushLoops() {
  if (!On()) return;
  for (ZESNDLOOPINFO& s : ZeSndLoopInfo) {
    s.playing = 0;
    SOUND_SetChannelVolume(uint32_t(s.voice), 0, 0);
  }
  EngineStatus();
  FlushIOPCommand(1);
}

// ---- the frame update ---------------------------------------------------------

void ZeSoundUpdate() {
  if (!On()) return;
  for (ZESNDLOOPINFO& s : ZeSndLoopInfo) {
    if (s.countdown == 0) continue;
    s.countdown--;
    if (s.countdown == 0 && s.playing) {
      SOUND_StopSound(s.voice);
      s.playing = 0;
    }
    if (s.countdown < LOOP_FADE) {
      int l = s.left * s.countdown / LOOP_FADE, r = s.right * s.countdown / LOOP_FADE;
      if (!ZeSoundCalc3dVolume(static_cast<ZEVEC*>(EeAddrToPtr(s.key)), &l, &r)) l = r = 0;
      SOUND_SetChannelVolume(uint32_t(s.voice), l, r);
    }
  }
  if (SFX_ReqTable && SFX_ReqTableSize >= 1 && SFX_ReqTableSize <= 127 && IOP_Cnt < 128)
    SOUND_SFXRequest_Table(SFX_ReqTableSize, SFX_ReqTable);
  EngineStatus();
  FlushIOPCommand(1);
  SOUND_HandleCDErrors();
}

// ---- other operations ---------------------------------------------------------

int ZeSoundStopSound(int voice) {
  if (!On()) return 0;
  return SOUND_StopSound(voice);
}

int ZeSoundStopStream(int stream) {
  if (!On() || stream < 0) return -1;
  return SOUND_StopStream(stream);
}

void ZeSoundKillAllAudio() {
  if (!On()) return;
  for (int s = 0; s < ZESOUND_STREAM_BUFFERS; s++) SOUND_StopStream(s);
  for (int v = 5; v < SOUND_VOICES; v++) SOUND_StopSound(v);
  scePrintf("****** Stopped Sounds ******\n");
}

int ZeSoundSetChannelVolume(int voice, int left, int right) {
  if (!On()) return 0;
  return SOUND_SetChannelVolume(uint32_t(voice), left, right);
}

int ZeSoundSetChannelPitch(int voice, int pitch, int stereo) {
  if (!On() || stereo) return 0;
  if (uint32_t(voice) > 47) return -1;
  SOUND_SetChannelPitch(voice, pitch);
  return 0;
}

int ZeSoundKeyStatus(int voice) {
  if (!On() || uint32_t(voice) > 47) return 0;
  return SOUND_SPUKeyStatus[voice];
}

void ZeSoundListener(ZEVEC* position) { ZeSoundListenPos = position; }

void ZeSoundSetRequestTable(int16_t* table, int count) {
  SFX_ReqTable = table;
  SFX_ReqTableSize = count;
}

void ZeSoundSetThread(int id) { zesound_thread = id; }
void ZeSoundSetGlobalDat(void*) {}
void ZeSoundSetLocalDat(void*) {}
void ZeSoundTestBed() {}

volatile int zesound_spin_sink;

void WaitFrame() {
  for (int i = 0; i < WAIT_FRAME_SPIN; i++) zesound_spin_sink = i;
  KernelYield();
}

void TransferSFXToSPU(int id, int stream) {
  if (!On()) return;
  SOUND_PlayStream(id, stream, 0, 0, 0, 0, SOUND_LOAD_SPU, 0, 0);
  FlushIOPCommand(0);
  SOUND_STREAM_INFO info;
  for (int fields = 0;; fields++) {
    if (SOUND_GetStreamInfo(stream, &info) < 0 || !info.busy) break;
    if (fields == TRANSFER_FIELDS) ZeError("TransferSFXToSPU - sound %d never arrived in sound memory", id);
    KernelWaitVSync();
    FlushIOPCommand(0);
    EngineStatus();
  }
  FlushIOPCommand(0);
}

void ZeSoundDrawMem() {
  if (SOUND_SFXMEMINDEX <= 0) return;
  int end = SOUND_SFXMEMINDEX;
  float total = 0;
  while (end < 511 && sbuff2[end]) {
    int32_t size = int32_t(sbuff2[end++]);
    total += float(size < 0 ? -int64_t(size) : size);
  }
  if (total <= 0) return;
  float at = 0;
  for (int i = SOUND_SFXMEMINDEX; i < end; i++) {
    int32_t size = int32_t(sbuff2[i]);
    float a = 0.05f + at * 0.75f / total;
    at += float(size < 0 ? -int64_t(size) : size);
    float b = 0.05f + at * 0.75f / total;
    uint32_t colour = size > 0 ? 0x8000FF00u : 0x80FF0000u;
    ZESOUNDQUADVTX q[4] = {{{0.9f, a, 0, 1.0f}, colour},
                           {{0.925f, a, 0, 1.0f}, colour},
                           {{0.9f, b, 0, 1.0f}, colour},
                           {{0.925f, b, 0, 1.0f}, colour}};
    zesound_rndr.quad2d(q);
  }
}
