// The sound module's command set: each function checks its arguments,
// keeps the client's own books (key states, voice groups and volumes,
// stream states, write addresses) and stages exactly one command. Also the
// voice-group mixing, the free-voice and free-stream searches, the readers
// of the reply state and the header readers.
#include "zesound2.h"
#include "zecore.h"

#include <cstring>
#include <initializer_list>

int SOUND_LastStream = 0;
uint32_t SOUND_SPU_MasterVol[SOUND_VOICES];
int16_t SOUND_VolL[SOUND_VOICES], SOUND_VolR[SOUND_VOICES];
int16_t SOUND_MasterVolumeLeft[SOUND_GROUPS] = {0x1000, 0x1000, 0x1000, 0x1000};
int16_t SOUND_MasterVolumeRight[SOUND_GROUPS] = {0x1000, 0x1000, 0x1000, 0x1000};
int SOUND_MasterL = 0, SOUND_MasterR = 0;
int SOUND_TempStream = -1, SOUND_TempCounter = 0;
uint32_t SOUND_TempBuffer = 0, SOUND_TempSize = 0;

namespace {

// Voice and stream numbers index arrays of 48: negative numbers are out of
// range too, so the tests compare unsigned.
bool BadVoice(int voice) { return uint32_t(voice) >= uint32_t(SOUND_VOICES); }
bool InStreamRange(int stream) { return stream >= 0 && stream < SOUND_LastStream && stream < SOUND_STREAMS; }

// The group of a group word, 1-4; 0 for none, and for anything outside 1-4.
int GroupOf(uint32_t group) {
  uint32_t g = group >> 16;
  return g >= 1 && g <= uint32_t(SOUND_GROUPS) ? int(g) : 0;
}

int Envelope(int attack, int release) { return (attack & 0xFF) | (release & 0xFF) << 8; }

void Stage0(int id) {
  SOUND_StartCommand(id);
  SOUND_EndCommand();
}

void Stage1(int id, int a) {
  SOUND_StartCommand(id);
  SOUND_AddData(a);
  SOUND_EndCommand();
}

void Stage2(int id, int a, int b) {
  SOUND_StartCommand(id);
  SOUND_AddData(a);
  SOUND_AddData(b);
  SOUND_EndCommand();
}

void Stage3(int id, int a, int b, int c) {
  SOUND_StartCommand(id);
  SOUND_AddData(a);
  SOUND_AddData(b);
  SOUND_AddData(c);
  SOUND_EndCommand();
}

void StageLong(int id, uint32_t a) {
  SOUND_StartCommand(id);
  SOUND_AddLongData(int(a));
  SOUND_EndCommand();
}

void StreamLimitMessage(const char* function, int stream) {
  scePrintf(">>>>> Error: %s\n", function);
  scePrintf("Stream Channel (%d) out of range\n", stream);
  scePrintf("Call SOUND_SetMaxStreamLimit to allow more\n");
}

// Keys a voice on for the client: key state 3, its group word, the mix.
void KeyVoice(uint32_t channel, int left, int right) {
  int voice = int(channel & 0xFFFF);
  SOUND_SPUKeyStatus[voice] = SOUND_KEY_ON;
  SOUND_SetChannelMasterVolumeGroup(voice, channel & 0xFFFF0000u);
  SOUND_SetSPUChannelVolume(voice, left, right);
}

uint32_t Word(const void* header, int index) {
  uint32_t w;
  memcpy(&w, static_cast<const uint8_t*>(header) + 4 * index, 4);
  return w;
}

}  // namespace

// ---- commands ------------------------------------------------------------------

int SOUND_PlaySFX(int id, uint32_t channel, int left, int right, int pitch, int attack, int release) {
  int voice = int(channel & 0xFFFF);
  if (BadVoice(voice)) return -1;
  KeyVoice(channel, left & 0x7FFF, right & 0x7FFF);
  SOUND_StartCommand(0);
  SOUND_AddData(id);
  SOUND_AddData(voice);
  SOUND_AddData(SOUND_MasterL);
  SOUND_AddData(SOUND_MasterR);
  SOUND_AddData(pitch);
  SOUND_AddData(Envelope(attack, release));
  SOUND_EndCommand();
  return 0;
}

int SOUND_PlayStream(int id, int stream, uint32_t channel, int left, int right, int pitch, int mode, int attack,
                     int release) {
  if (stream == SOUND_ANY_STREAM) {
    stream = SOUND_FindFreeStream();
    if (stream < 0) {
      scePrintf("SOUND_PlayStream\n");
      scePrintf("No free stream channels\n");
      return -1;
    }
  }
  if (!InStreamRange(stream)) {
    scePrintf(">>>>>ERRROR: SOUND_PlayStream\n");
    scePrintf("Stream (%d) out of range\n", stream);
    scePrintf("Call SOUND_SetMaxStreamLimit to allow more\n");
    return -1;
  }
  int voice = int(channel & 0xFFFF);
  if (BadVoice(voice)) return -1;
  SOUND_STREAM_STATE[stream] = SOUND_STREAM_STARTING;
  SOUND_STREAM_ACTIVE[stream] = 0;
  if (mode == STREAM_LOOPING || mode == STREAM_ONCE_OFF) {
    KeyVoice(channel, int16_t(left), int16_t(right));
    left = SOUND_MasterL;
    right = SOUND_MasterR;
  }
  SOUND_SPU2StreamRef[voice] = uint8_t(stream);
  SOUND_StartCommand(1);
  SOUND_AddData(id);
  SOUND_AddData(voice + 256 * stream);
  SOUND_AddData(left);
  SOUND_AddData(right);
  SOUND_AddData(pitch);
  SOUND_AddData(mode);
  SOUND_AddData(Envelope(attack, release));
  SOUND_EndCommand();
  return stream;
}

int SOUND_SetChannelVolume(uint32_t voice, int left, int right) {
  int v = int(voice & 0xFFFF);
  if (BadVoice(v)) return -1;
  SOUND_SetSPUChannelVolume(v, left, right);
  Stage3(2, v, SOUND_MasterL, SOUND_MasterR);
  return 0;
}

int SOUND_SetChannelPitch(int voice, int pitch) {
  if (BadVoice(voice)) return -1;
  Stage2(3, voice, pitch);
  return 0;
}

int SOUND_StopSound(int voice) {
  if (BadVoice(voice)) return -1;
  Stage1(4, voice);
  return 0;
}

int SOUND_StopStream(int n) {
  if (n < 0) return -1;
  int stream;
  if (n < 64) {
    // The stream arrays hold 48: numbers 48-63 name no stream.
    if (n >= SOUND_STREAMS) return -1;
    stream = n;
  } else {
    int voice = n - 64;
    stream = SOUND_GetStreamChannel(voice);
    if (stream < 0) return -1;
    SOUND_SPU2StreamRef[voice] = SOUND_NOOWNER;
  }
  SOUND_STREAM_STATE[stream] = SOUND_STREAM_STOPPING;
  Stage1(5, stream);
  return 0;
}

void SOUND_InitSPU() { Stage0(7); }

void SOUND_GetStatus(int request, int value) {
  if (request != -1) {
    SOUND_CD_STATUS = 1;
    SOUND_IOP_REQUEST_LOAD = -1;
  }
  Stage2(9, request, value);
  SOUND_GETSTATUS_FLAG = 1;
}

void SOUND_Pause() { Stage0(10); }
void SOUND_Resume() { Stage0(11); }
void SOUND_InitStreamData(int a, int b, int c) { Stage3(12, a, b, c); }

void SOUND_AllocateStreamBuffer(int stream, uint32_t address, uint32_t size) {
  SOUND_StartCommand(13);
  SOUND_AddData(stream);
  SOUND_AddLongData(int(address));
  SOUND_AddLongData(int(size));
  SOUND_EndCommand();
}

void SOUND_SetSPUWriteAddress(uint32_t address) {
  SOUND_SPU_ADDR = address;
  SOUND_SPUAddrSet = 1;
  StageLong(14, address);
}

void SOUND_CloseStreamBuffer(int stream) { Stage1(15, stream); }

int SOUND_SetMaxStreamLimit(int limit) {
  if (uint32_t(limit) > 47) {
    scePrintf("ERROR: SOUND_SetMaxStreamLimit\n");
    scePrintf("Limit (0x%x) out of range (must be 0-47)\n", limit);
    return -1;
  }
  SOUND_LastStream = limit;
  Stage1(16, limit);
  return 0;
}

int SOUND_CheckAndStartStereo(int first, int second, int pitch) {
  if (BadVoice(first)) return -1;
  if (BadVoice(second)) return -2;
  Stage3(17, first, second, pitch);
  return 0;
}

void SOUND_CancelCheckStereo() { Stage0(18); }

void SOUND_EnableEffects(int a, int b, int c, int d, int e, int f) {
  SOUND_StartCommand(19);
  for (int v : {a, b, c, d, e, f}) SOUND_AddData(v);
  SOUND_EndCommand();
}

void SOUND_DisableEffects(int a) { Stage1(20, a); }
void SOUND_SetEffectMasterVolume(int a, int b, int c) { Stage3(21, a, b, c); }
void SOUND_AllChannelEffectsOn(int a) { Stage1(22, a); }
void SOUND_AllChannelEffectsOff(int a) { Stage1(23, a); }
void SOUND_SetChannelEffectOn(int channel) { Stage1(24, channel); }
void SOUND_SetChannelEffectOff(int channel) { Stage1(25, channel); }

int SOUND_ChainStreams(int stream, int count, const SOUND_CHAIN_ENTRY* entries) {
  if (!InStreamRange(stream)) {
    StreamLimitMessage("SOUND_ChainStreams", stream);
    return -1;
  }
  if (count < 1 || count > 8) {
    scePrintf(">>>>> Error: SOUND_ChainStreams\n");
    scePrintf("Count value (%d) out of range\n", count);
    scePrintf("Must range from 1-8\n");
    return -2;
  }
  SOUND_StartCommand(27);
  SOUND_AddData(stream);
  SOUND_AddData(count);
  for (int i = 0; i < count; i++) {
    SOUND_AddData(entries[i].id);
    SOUND_AddLongData(int(entries[i].second));
    SOUND_AddLongData(int(entries[i].first));
  }
  SOUND_EndCommand();
  return 0;
}

void SOUND_PatchSFX(int id, uint32_t address) {
  SOUND_StartCommand(28);
  SOUND_AddData(id);
  SOUND_AddLongData(int(address));
  SOUND_EndCommand();
}

void SOUND_GetFileInfo(int id, const char* name) {
  SOUND_StartCommand(29);
  SOUND_AddData(id);
  SOUND_AddString(name);
  SOUND_EndCommand();
}

int SOUND_SetFileInfo(int id, int sector, int end, int source, int start) {
  // A negative range would reach the module as a huge one.
  if (start < 0 || end < start) {
    scePrintf(">>>>> ERROR: SOUND_SetFileInfo\n");
    scePrintf("Range %d to %d refused\n", start, end);
    return -1;
  }
  SOUND_StartCommand(30);
  SOUND_AddData(id);
  SOUND_AddLongData(sector);
  SOUND_AddLongData(end);
  SOUND_AddData(source);
  SOUND_AddLongData(start);
  SOUND_EndCommand();
  return 0;
}

void SOUND_CreateFileInfo(int id, const char* name, int value) {
  SOUND_StartCommand(31);
  SOUND_AddData(id);
  SOUND_AddLongData(value);
  SOUND_AddString(name);
  SOUND_EndCommand();
}

void SOUND_FreeFileID(int id) { Stage1(32, id); }
void SOUND_FreeAllFileIDs() { Stage0(33); }

void SOUND_StoreHOST0FileName(int id, const char* name) {
  SOUND_StartCommand(34);
  SOUND_AddData(id);
  SOUND_AddString(name);
  SOUND_EndCommand();
}

void SOUND_AllocateFileMemory(int count) { Stage1(35, count); }
void SOUND_FreeFileMemory() { Stage0(36); }
void SOUND_AllocateSpotFXMemory(int count) { Stage1(37, count); }
void SOUND_FreeSpotFXMemory() { Stage0(38); }
void SOUND_FreeAllSpotFXIDs() { Stage0(39); }
void SOUND_FreeSpotFXID(int id) { Stage1(40, id); }

void SOUND_SetFileOffsetAndPlaySize(int id, int offset, int size) {
  SOUND_StartCommand(41);
  SOUND_AddData(id);
  SOUND_AddLongData(offset);
  SOUND_AddLongData(size);
  SOUND_EndCommand();
}

void SOUND_InitCD(int mode) { Stage1(42, mode); }

void SOUND_SetStreamParent_Int(int stream, int a, int b) {
  if (!InStreamRange(stream)) {
    scePrintf(">>>>>ERROR: SOUND_SetStreamParent_Int\n");
    scePrintf("StrmChan (%d) out of range (0-%d)\n", stream, SOUND_LastStream - 1);
    scePrintf("use SOUND_SetMaxStreamLimit to allow more streams\n");
    return;
  }
  SOUND_StartCommand(43);
  SOUND_AddData(stream);
  SOUND_AddData(a);
  SOUND_AddLongData(b);
  SOUND_EndCommand();
}

void SOUND_SetStreamChild_Int(int stream, int parent, uint32_t channel, int a, int left, int right, int b) {
  int voice = int(channel & 0xFFFF);
  if (!InStreamRange(stream)) {
    scePrintf(">>>>>ERROR: SOUND_SetStreamChild_Int\n");
    scePrintf("StrmChan (%d) out of range (0-%d)\n", stream, SOUND_LastStream - 1);
    scePrintf("use SOUND_SetMaxStreamLimit to allow more streams\n");
    return;
  }
  if (BadVoice(parent)) {
    scePrintf(">>>>>ERROR: SOUND_SetStreamChild_Int\n");
    scePrintf("Parent (%d) out of range (0-47)\n", parent);
    return;
  }
  if (BadVoice(voice)) {
    scePrintf(">>>>>ERROR: SOUND_SetStreamChild_Int\n");
    scePrintf("SPUChan (%d) out of range (0-47)\n", voice);
    return;
  }
  KeyVoice(channel, left, right);
  SOUND_StartCommand(44);
  SOUND_AddData(stream * 256 + parent);
  SOUND_AddData(voice);
  SOUND_AddData(a);
  SOUND_AddData(SOUND_MasterL);
  SOUND_AddData(SOUND_MasterR);
  SOUND_AddLongData(b);
  SOUND_EndCommand();
}

void SOUND_GetMaxIOPRAM() { Stage0(45); }

int SOUND_StreamAllowKeyOn(int stream) {
  if (!InStreamRange(stream)) return -1;
  Stage1(46, stream);
  return 0;
}

int SOUND_StreamDisableKeyOn(int stream) {
  if (!InStreamRange(stream)) return -1;
  Stage1(47, stream);
  return 0;
}

int SOUND_SetStreamTrack_Int(int stream, int track) {
  if (!InStreamRange(stream)) return -1;
  Stage2(48, stream, track);
  return 0;
}

void SOUND_SetEEWriteAddress(uint32_t address) {
  SOUND_EE_ADDR = address;
  SOUND_EEAddrSet = 1;
  StageLong(49, address);
}

void SOUND_SetIOPWriteAddress(uint32_t address) {
  SOUND_IOP_ADDR = address;
  SOUND_IOPAddrSet = 1;
  StageLong(50, address);
}

void SOUND_GetFileIDInfo(int id, int value) { Stage2(51, id, value); }

void SOUND_TransIOPToSPU(uint32_t source, uint32_t destination, uint32_t size) {
  SOUND_StartCommand(52);
  SOUND_AddLongData(int(source));
  SOUND_AddLongData(int(destination));
  SOUND_AddLongData(int(size));
  SOUND_EndCommand();
}

void SOUND_RestartFromCDError() { Stage0(53); }
void SOUND_EXTERNAL_CDErrorPause() { Stage0(54); }
void SOUND_CheckCDError() { Stage0(55); }
void SOUND_EXTERNAL_CDErrorRestart() { Stage0(56); }

int SOUND_PlaySFXLoop(int id, uint32_t channel, int left, int right, int pitch, int attack, int release, int loop) {
  int voice = int(channel & 0xFFFF);
  if (BadVoice(voice)) return -1;
  if (uint32_t(loop) > 0xFFFF) return -2;
  KeyVoice(channel, left & 0x7FFF, right & 0x7FFF);
  SOUND_StartCommand(57);
  SOUND_AddData(id);
  SOUND_AddData(voice);
  SOUND_AddData(SOUND_MasterL);
  SOUND_AddData(SOUND_MasterR);
  SOUND_AddData(pitch);
  SOUND_AddData(Envelope(attack, release));
  SOUND_AddData(loop);
  SOUND_EndCommand();
  return 0;
}

void SOUND_DisableCDCallback() { Stage0(58); }
void SOUND_DisableSPUCallback() { Stage0(59); }
void SOUND_EnableSPUCallback() { Stage0(60); }
void SOUND_SFXEnableKeyOn() { Stage1(62, 0); }
void SOUND_SFXDisableKeyOn() { Stage1(62, 1); }

int SOUND_KeyOnChannel(int voice) {
  if (BadVoice(voice)) return -1;
  Stage1(63, voice);
  return 0;
}

int SOUND_StreamAddSPUChannel(int stream, int voice, int a, int b) {
  if (BadVoice(voice)) return -1;
  if (!InStreamRange(stream)) return -2;
  SOUND_StartCommand(64);
  SOUND_AddData(stream);
  SOUND_AddData(voice);
  SOUND_AddData(a);
  SOUND_AddData(b);
  SOUND_EndCommand();
  return 0;
}

void SOUND_SetOutputPCM() { Stage1(65, 0); }
void SOUND_SetOutputBitStream() { Stage1(65, 1); }

int SOUND_ModifyEETransferAddress(int stream, uint32_t address) {
  if (!InStreamRange(stream)) return -1;
  SOUND_StartCommand(66);
  SOUND_AddData(stream);
  SOUND_AddLongData(int(address));
  SOUND_EndCommand();
  return 0;
}

int SOUND_AppendStream(int stream, int next) {
  if (!InStreamRange(stream)) return -1;
  Stage2(67, stream, next);
  return 0;
}

int SOUND_SetStreamLoadSource(int stream, int source) {
  if (!InStreamRange(stream)) return -1;
  if (uint32_t(source) > 1) return -2;
  Stage2(68, stream, source);
  return 0;
}

int SOUND_InitPCMPlayback(int a, int b, int c) {
  Stage3(69, a, b, c);
  return 0;
}

void SOUND_SetPCMType(int a, int b) { Stage2(70, a, b); }

void SOUND_ResizeStreamBuffer(int stream, uint32_t size) {
  SOUND_StartCommand(71);
  SOUND_AddData(stream);
  SOUND_AddLongData(int(size));
  SOUND_EndCommand();
}

void SOUND_SetPCMVolume(int left, int right) { Stage2(72, left, right); }

int SOUND_SetStreamStartPosition(int stream, uint32_t position) {
  if (!InStreamRange(stream)) {
    StreamLimitMessage("SOUND_SetStreamStartPosition", stream);
    return -1;
  }
  SOUND_StartCommand(74);
  SOUND_AddData(stream);
  SOUND_AddLongData(int(position));
  SOUND_EndCommand();
  return 0;
}

void SOUND_PlayPCM() { Stage0(75); }
void SOUND_StopPCM() { Stage0(76); }

int SOUND_InitPCMPlaybackNoStream(uint32_t size) {
  if (size < 2048) {
    scePrintf("SOUND_InitPCMPlayBackNoStream\n");
    scePrintf("Size 0x%x is too small. Must be 2048 or greater\n", size);
    return -1;
  }
  if (size % 2048) {
    scePrintf("SOUND_InitPCMPlayBackNoStream\n");
    scePrintf("Size 0x%x is not a multiple of 2048\n", size);
    return -1;
  }
  StageLong(77, size);
  return 0;
}

int SOUND_StreamIgnoreVAGPitch(int stream) {
  if (!InStreamRange(stream)) {
    StreamLimitMessage("SOUND_StreamIgnoreVAGPitch", stream);
    return -1;
  }
  Stage1(78, stream);
  return 0;
}

void SOUND_ClosePCMPlayback() { Stage0(79); }

void SOUND_SFXRequest_Table(int count, const int16_t* table) {
  SOUND_StartCommand(256);
  for (int i = 0; i < count; i++) SOUND_AddData(table[i]);
  SOUND_EndCommand();
}

// ---- voice groups --------------------------------------------------------------

void SOUND_SetChannelMasterVolumeGroup(int voice, uint32_t group) {
  if (!BadVoice(voice)) SOUND_SPU_MasterVol[voice] = group;
}

void SOUND_SetSPUChannelVolume(int voice, int left, int right) {
  int g = BadVoice(voice) ? 0 : GroupOf(SOUND_SPU_MasterVol[voice]);
  if (g == 0) {
    SOUND_MasterL = left;
    SOUND_MasterR = right;
    return;
  }
  SOUND_VolL[voice] = int16_t(left);
  SOUND_VolR[voice] = int16_t(right);
  SOUND_MasterL = SOUND_ScaleVol(SOUND_MasterVolumeLeft[g - 1], left);
  SOUND_MasterR = SOUND_ScaleVol(SOUND_MasterVolumeRight[g - 1], right);
}

int SOUND_ScaleVol(int master, int volume) {
  // Phase-inverted volumes scale toward 0x7FFF, their silence.
  if (volume < 0x4000) return master * volume / 4096;
  return 0x7FFF - master * (0x7FFF - volume) / 4096;
}

void SOUND_MixVol(uint32_t group, int voice) {
  int g = GroupOf(group);
  if (g == 0 || BadVoice(voice)) {
    SOUND_MasterL = BadVoice(voice) ? 0 : SOUND_VolL[voice];
    SOUND_MasterR = BadVoice(voice) ? 0 : SOUND_VolR[voice];
    return;
  }
  SOUND_MasterL = SOUND_ScaleVol(SOUND_MasterVolumeLeft[g - 1], SOUND_VolL[voice]);
  SOUND_MasterR = SOUND_ScaleVol(SOUND_MasterVolumeRight[g - 1], SOUND_VolR[voice]);
}

void SOUND_MixVolumes(uint32_t group) {
  for (int v = 0; v < SOUND_VOICES; v++) {
    if (SOUND_SPU_MasterVol[v] != group || SOUND_SPUKeyStatus[v] == SOUND_KEY_FREE) continue;
    SOUND_MixVol(group, v);
    Stage3(2, v, SOUND_MasterL, SOUND_MasterR);
  }
}

int SOUND_SetGroupMasterVolume(uint32_t group, int left, int right) {
  int g = GroupOf(group);
  if (g == 0) {
    scePrintf("SOUND_SetGroupMasterVolume\n");
    scePrintf("Group 0x%x out of range\n", group >> 16);
    return -1;
  }
  if (left > 0x1000) {
    scePrintf("SOUND_SetGroupMasterVolume\n");
    scePrintf("Left Volume (0x%x) out of range\n", left);
    return -2;
  }
  if (right > 0x1000) {
    scePrintf("SOUND_SetGroupMasterVolume\n");
    scePrintf("Right Volume (0x%x) out of range\n", right);
    return -3;
  }
  SOUND_MasterVolumeLeft[g - 1] = int16_t(left);
  SOUND_MasterVolumeRight[g - 1] = int16_t(right);
  SOUND_MixVolumes(group);
  return 0;
}

int SOUND_GetGroupMasterVolume(uint32_t group) {
  int g = GroupOf(group);
  if (g == 0) {
    scePrintf("Error: SOUND_GetGroupMasterVolume\n");
    scePrintf("Group value 0x%x not a master group number\n", group);
    return -1;
  }
  return SOUND_MasterVolumeLeft[g - 1] * 0x10000 + SOUND_MasterVolumeRight[g - 1];
}

// ---- searches and lookups ------------------------------------------------------

int SOUND_FindFreeSPUChannel(int first, int last) {
  if (BadVoice(first)) return -2;
  if (last < first || BadVoice(last)) return -3;
  for (int v = first; v <= last; v++)
    if (SOUND_SPUKeyStatus[v] == SOUND_KEY_FREE) {
      SOUND_SPUKeyStatus[v] = SOUND_KEY_ON;
      return v;
    }
  return -1;
}

int SOUND_FindFreeStream() {
  for (int s = 0; s < SOUND_LastStream && s < SOUND_STREAMS; s++)
    if (SOUND_STREAM_STATE[s] == SOUND_STREAM_FREE || SOUND_STREAM_STATE[s] == SOUND_STREAM_STOPPING) return s;
  scePrintf("SOUND_FindFreeStream\n");
  scePrintf("No Spare streams free\n");
  return -1;
}

int SOUND_GetStreamChannel(int voice) {
  if (BadVoice(voice)) return -2;
  if (SOUND_SPU2StreamRef[voice] == SOUND_NOOWNER) return -1;
  return SOUND_SPU2StreamRef[voice];
}

int SOUND_GetKeyStatus(int voice) {
  if (BadVoice(voice)) return -1;
  return SOUND_SPUKeyStatus[voice];
}

// ---- wrappers of command 1 -----------------------------------------------------

int SOUND_PlayStreamFromSFX(int id, int stream, uint32_t channel, int flag) {
  if (uint32_t(flag) >= 2) {
    scePrintf("SOUND_PlayStreamFromSFX\n");
    scePrintf("flag type is neither STREAM_LOOPING or STREAM_ONCE_OFF\n");
    scePrintf("aborting..\n");
    return -1;
  }
  // A play that failed is reported as failed.
  if (SOUND_PlayStream(id, stream, channel, 0, 0, 0, flag, 0, 128) < 0) return -1;
  return stream;
}

int SOUND_LoadFile(int destination, int stream, int id, uint32_t address) {
  if (destination < SOUND_LOAD_IOP || destination > SOUND_LOAD_SPU) {
    scePrintf("Error: SOUND_LoadFile\n");
    scePrintf("Destination flag not found\n");
    return -2;
  }
  if (address) {
    if (destination == SOUND_LOAD_EE) SOUND_SetEEWriteAddress(address);
    else if (destination == SOUND_LOAD_SPU) SOUND_SetSPUWriteAddress(address);
    else SOUND_SetIOPWriteAddress(address);
  }
  return SOUND_PlayStream(id, stream, 0, 0, 0, 0, destination, 0, 0);
}

// ---- readers of the reply state ------------------------------------------------

int SOUND_GetStreamInfo(int stream, SOUND_STREAM_INFO* info) {
  info->cderror = uint8_t(SOUND_CD_ERROR);
  info->cdstat = uint8_t(SOUND_CD_STAT);
  info->cdierror = uint8_t(SOUND_CD_IERROR);
  info->cdaccess = uint8_t(SOUND_STREAM_CD_ACCESS);
  info->cdstatus = uint8_t(SOUND_CD_STATUS & 0xFF);
  info->cdaccesschan = uint8_t(SOUND_STREAM_CD_ACCESS_CHAN);
  info->iopram = SOUND_MAX_IOP_RAM;
  info->lasteetransize = SOUND_LAST_EE_TRAN_SIZE;
  info->eetrancount = SOUND_EE_TRAN_COUNT;
  if (!InStreamRange(stream)) {
    scePrintf(">>>>>ERROR: SOUND_GetStreamInfo\n");
    scePrintf("Stream (%d) out of range\n", stream);
    scePrintf("Call SOUND_SetMaxStreamLimit to allow more\n");
    scePrintf("Only NON-STREAM related info is valid\n");
    scePrintf("(such as CD status etc..)\n");
    return -1;
  }
  int state = SOUND_STREAM_STATE[stream];
  info->waddr = SOUND_STREAM_WADDR[stream];
  info->type = SOUND_STREAM_TYPE[stream];
  info->busy = state == SOUND_STREAM_FREE || state == SOUND_STREAM_STOPPING ? 0 : 1;
  info->active = SOUND_STREAM_ACTIVE[stream];
  info->voice = SOUND_STREAM_SPU_CHAN[stream];
  info->playhalf = SOUND_STREAM_PLAY_HALF[stream];
  info->env = SOUND_STREAM_ENV[stream];
  info->fileid = SOUND_STREAM_ID[stream];
  info->spuaddr = info->spuaddr2 = SOUND_STREAM_SPU_ADDR[stream];
  info->poffset = SOUND_STREAM_POFFSET[stream];
  info->iopbufaddr = SOUND_STREAM_IOP_BUFFER_ADDR[stream];
  return 0;
}

void SOUND_GetEXTERNALInfo(SOUND_EXTERNAL_INFO* info) {
  info->address = SOUND_IOP_DATA_ADDRESS;
  info->loadtype = uint8_t(SOUND_IOP_LOAD_TYPE);
  info->size = SOUND_IOP_DATA_SIZE;
  info->offset = SOUND_IOP_DATA_OFFSET;
  info->chainpos = uint8_t(SOUND_IOP_DATA_CHAIN_POS);
  info->chaincount = uint8_t(SOUND_IOP_DATA_CHAIN_COUNT);
  info->remain = SOUND_IOP_DATA_REMAIN;
  for (int i = 0; i < 9; i++) {
    info->playsize[i] = SOUND_IOP_DATA_PLAYSIZE[i];
    info->lsn[i] = SOUND_IOP_DATA_LSN[i];
    info->id[i] = SOUND_IOP_DATA_ID[i];
    info->seek[i] = SOUND_IOP_DATA_SEEK[i];
  }
}

int SOUND_ReadyToLoad() {
  if (SOUND_IOP_REQUEST_LOAD == -1) {
    SOUND_TempStream = -1;
    return -1;
  }
  SOUND_EXTERNAL_INFO info;
  SOUND_GetEXTERNALInfo(&info);
  if (info.loadtype == 124) {
    SOUND_TempStream = SOUND_IOP_REQUEST_LOAD;
    SOUND_TempCounter = int(SOUND_IOP_DATA_CHECK);
    return 0;
  }
  if (int(SOUND_IOP_DATA_CHECK) == SOUND_TempCounter) return -1;
  SOUND_TempBuffer = info.address;
  SOUND_TempSize = info.size;
  SOUND_TempStream = SOUND_IOP_REQUEST_LOAD;
  SOUND_TempCounter = int(SOUND_IOP_DATA_CHECK);
  return 1;
}

int SOUND_LoadComplete(SOUND_EXTERNAL_INFO* info) {
  SOUND_GetEXTERNALInfo(info);
  if (SOUND_IOP_REQUEST_LOAD != SOUND_TempStream || int(SOUND_IOP_DATA_CHECK) != SOUND_TempCounter) return -1;
  info->request = uint32_t(SOUND_TempStream);
  info->check = uint32_t(SOUND_TempCounter);
  return 0;
}

void SOUND_ReturnFileInfo(SOUND_FILE_INFO* info) {
  info->lsn = SOUND_FILE_LSN;
  info->size = SOUND_FILE_SIZE;
  info->source = SOUND_FILE_SOURCE;
  info->counter = SOUND_FILE_COUNTER;
}

void SOUND_GetPCMInfo(SOUND_PCM_INFO* info) {
  info->status = SOUND_PCM_STATUS;
  if (SOUND_PCM_STATUS == 2) {
    info->addr = info->size = info->current = 0;
    return;
  }
  info->addr = SOUND_PCM_IOP_ADDR;
  info->size = SOUND_PCM_SIZE;
  info->current = SOUND_PCM_CURRENT_ADDR;
}

uint32_t SOUND_HzToSPU(uint32_t hz) { return uint32_t(uint64_t(hz) * 4096 / 48000); }

// ---- header readers ------------------------------------------------------------

int SOUND_GetMSHSampleCount(const void* header) { return int(Word(header, 2)); }

int SOUND_GetMSHInfo(const void* header, SOUND_MSH_INFO* info, int index) {
  uint32_t count = Word(header, 2);
  for (int i = 0; i < 3; i++) info->header[i] = Word(header, i);
  if (uint32_t(index) >= count) {
    scePrintf(">>>> Error: SOUND_GetMSHInfo\n");
    scePrintf("Header file contains %d sample data packets\n", int(count));
    return -1;
  }
  int e = 3 + 4 * index;
  info->entry[0] = Word(header, e + 1);
  info->entry[1] = Word(header, e + 0);
  info->entry[2] = Word(header, e + 2);
  info->entry[3] = Word(header, e + 3);
  return 0;
}

int SOUND_PatchMSH(int index, int id, const void* header, uint32_t base) {
  uint32_t count = Word(header, 2);
  if (uint32_t(index) >= count) {
    scePrintf(">>>> Error: SOUND_PatchMSH\n");
    scePrintf("Header file contains %d sample data packets\n", int(count));
    return -1;
  }
  SOUND_PatchSFX(id, base + Word(header, 3 + 4 * index + 2));
  return 0;
}

namespace {
void MihMessage(const char* function, uint32_t count, int index) {
  scePrintf(">>>> Error: %s\n", function);
  scePrintf("Header file contains %d files\n", int(count));
  scePrintf("You requested ID info for file %d\n", index);
}
}  // namespace

int SOUND_GetMIHInfo(const void* header, SOUND_MIH_INFO* info, int index) {
  uint32_t count = Word(header, 2);
  if (uint32_t(index) >= count) {
    MihMessage("SOUND_GetMIHInfo", count, index);
    return -1;
  }
  info->word0 = Word(header, 0);
  info->word1 = Word(header, 1);
  info->count = count;
  info->fileid = Word(header, 6 + index);
  info->word4 = Word(header, 4);
  info->word5 = Word(header, 5);
  info->word3 = Word(header, 3);
  return 0;
}

int SOUND_GetMIHFileID(int index, const void* header) {
  uint32_t count = Word(header, 2);
  if (uint32_t(index) >= count) {
    MihMessage("SOUND_GetMIHFileID", count, index);
    return -1;
  }
  return int(Word(header, 6 + index));
}

void SOUND_GetWAVHeaderInfo(const void* header, SOUND_WAV_INFO* info) {
  const uint8_t* h = static_cast<const uint8_t*>(header);
  info->size = Word(header, 10);
  info->offset = 44;
  int channels = h[22] | h[23] << 8;
  if (channels == 1) info->stereo = 0;
  else if (channels == 2) info->stereo = 1;
  else {
    scePrintf("SOUND_GetWAVHeaderinfo\n");
    scePrintf("Not sure if data is Stereo or Mono\n");
    scePrintf("May not be a valid WAV header?\n");
    info->stereo = 0x1234;
  }
}

// ---- DTS -----------------------------------------------------------------------

void SOUND_DisplayDTSMessage() {
  scePrintf("DTS output is not enabled in this build of the sound client\n");
  scePrintf("(build the client and the sound module with DTS support to enable it)\n");
  scePrintf("The DTS encoder is a third party's technology:\n");
  scePrintf("it is not part of this sound client,\n");
  scePrintf("and is licensed separately\n");
  scePrintf("by Digital Theater Systems (DTS).\n");
}

int SOUND_SetDTSMode(int) {
  scePrintf("ERROR: SOUND_SetDTSMode\n");
  SOUND_DisplayDTSMessage();
  return 0;
}

int SOUND_GetDTSStatus() {
  scePrintf("ERROR: SOUND_GetDTSStatus\n");
  SOUND_DisplayDTSMessage();
  return 0;
}

int SOUND_Init_EE_DTS() {
  scePrintf("ERROR: SOUND_Init_EE_DTS\n");
  SOUND_DisplayDTSMessage();
  return 0;
}

int SOUND_CreateDTS_RPCThread() {
  scePrintf("ERROR: SOUND_CreateDTS_RPCThread\n");
  SOUND_DisplayDTSMessage();
  return 0;
}

void SOUND_DTS_Thread(void*) {
  scePrintf("ERROR: SOUND_DTS_Thread\n");
  SOUND_DisplayDTSMessage();
}

int DTS_RPC() { return 0; }
int SOUND_SetChannelPitchStereo(int, int) { return 0; }
