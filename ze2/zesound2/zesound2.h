// zesound2: the sound client. The main processor's end of the sound
// module's remote procedure call (staging, packets, replies, disc errors,
// direct transfers), the module's command set with its voice and stream
// bookkeeping, the engine's sound layer and the streamed file access.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform.h"
#include "zeps2.h"

// ===================================================================
// Sound-module link (zesndlink)
// ============================================================
// ===================================================================
// Each operation stages one command (an id and 16-bit parameters) and
// closes it into the 2048-byte packet; a flush sends the packet with a
// status request at its end and the reply is unpacked by the end callback.
//
// Packet (1024 little-endian 16-bit words): word 0 the command count, then
// per command: id, parameter count n, n parameter words. A 32-bit value
// takes two words, high half first; a string (length + 2) / 2 words: its
// bytes, the terminating zero and, for an even length, a pad byte.
//
// Reply (512 little-endian 32-bit words): word 0 N stream records of six
// words from word 1; with B = 6N, words B+1 ... as the fields below.

constexpr int SOUND_SERVER_ID = 0x12345;
constexpr int SOUND_PACKET_WORDS = 1024;   // 16-bit words sent
constexpr int SOUND_REPLY_WORDS = 512;     // 32-bit words received
constexpr int SOUND_VOICES = 48;
constexpr int SOUND_STREAMS = 48;
constexpr int SOUND_NOOWNER = 255;         // voice owned by no stream

// Stream states.
enum { SOUND_STREAM_FREE = 0, SOUND_STREAM_LISTED = 1, SOUND_STREAM_STARTING = 2,
       SOUND_STREAM_STOPPING = 3, SOUND_STREAM_UNPACKING = 4 };
// Voice key states: 1-3 as the module reports them (1 playing, 2 releasing,
// 3 keyed but held); 3 is also the client's own key-on, 4 that key-on
// answered once by a 0.
enum { SOUND_KEY_FREE = 0, SOUND_KEY_ON = 3, SOUND_KEY_ANSWERED = 4 };

// Staging.
extern uint16_t IOPCommandData[SOUND_PACKET_WORDS];
extern int SOUND_Command;       // id of the open command, -1 when none
extern int SOUND_DataCounter;   // parameter words staged

// Packet.
extern uint16_t senddata[SOUND_PACKET_WORDS];
extern int IOP_Cnt;             // words in use after word 0
extern int SOUND_COMMAND_COUNTER;
extern uint8_t SOUND_GETSTATUS_FLAG;  // a status request is staged already
extern int BGFLushIOPStop;      // a background flush is running
extern uint32_t sbuff2[SOUND_REPLY_WORDS];
extern sceSifClientData SOUND_ClientData;

// Reply state, per stream.
extern int8_t SOUND_STREAM_STATE[SOUND_STREAMS];
extern uint8_t SOUND_STREAM_TYPE[SOUND_STREAMS];
extern uint8_t SOUND_STREAM_SPU_CHAN[SOUND_STREAMS];     // its voice
extern uint8_t SOUND_STREAM_ACTIVE[SOUND_STREAMS];
extern uint8_t SOUND_STREAM_PLAY_HALF[SOUND_STREAMS];
extern uint16_t SOUND_STREAM_ENV[SOUND_STREAMS];
extern uint32_t SOUND_STREAM_ID[SOUND_STREAMS];
extern uint32_t SOUND_STREAM_SPU_ADDR[SOUND_STREAMS];
extern uint32_t SOUND_STREAM_WADDR[SOUND_STREAMS];
extern uint32_t SOUND_STREAM_POFFSET[SOUND_STREAMS];
extern uint32_t SOUND_STREAM_IOP_BUFFER_ADDR[SOUND_STREAMS];
extern int SOUND_STREAM_CD_ACCESS;       // disc-access bits of the last stream reading the disc
extern int SOUND_STREAM_CD_ACCESS_CHAN;  // that stream

// Per voice.
extern uint8_t SOUND_SPUKeyStatus[SOUND_VOICES];
extern uint8_t SOUND_SPU2StreamRef[SOUND_VOICES];  // owning stream, 255 for none

// Scalars of the reply.
extern uint32_t SOUND_IOP_COUNTER, SOUND_LastCounter;
extern int SOUND_IOP_REQUEST_LOAD;    // -1: none
extern int SOUND_CD_STATUS;
extern uint32_t SOUND_SPU_ADDR;        // next sound-memory write address
extern uint32_t SOUND_STEREO_READY_FLAG;
extern uint32_t SOUND_IOP_DATA_ADDRESS, SOUND_IOP_DATA_SIZE, SOUND_IOP_DATA_CHECK;
extern uint32_t SOUND_IOP_DATA_SEEK[9], SOUND_IOP_DATA_ID[9], SOUND_IOP_DATA_PLAYSIZE[9], SOUND_IOP_DATA_LSN[9];
extern uint32_t SOUND_IOP_DATA_CHAIN_COUNT, SOUND_IOP_DATA_CHAIN_POS;
extern uint32_t SOUND_MAX_IOP_RAM;
extern uint32_t SOUND_FILE_SOURCE, SOUND_FILE_COUNTER, SOUND_FILE_SIZE, SOUND_FILE_LSN;
extern uint32_t SOUND_IOP_DATA_REMAIN, SOUND_IOP_DATA_OFFSET;
extern uint32_t SOUND_EE_ADDR, SOUND_IOP_ADDR;
extern int SOUND_CD_ERROR, SOUND_CD_IERROR, SOUND_CD_STAT;  // bits 0, 1, 2 of the error word
extern uint32_t SOUND_IOP_LOAD_TYPE, SOUND_DTS_STATUS;
extern uint32_t SOUND_LAST_EE_TRAN_SIZE, SOUND_EE_TRAN_COUNT;
extern uint32_t SOUND_PCM_IOP_ADDR, SOUND_PCM_SIZE, SOUND_PCM_CURRENT_ADDR, SOUND_PCM_STATUS;
extern int SOUND_SFXMEMINDEX;          // reply word where the sound-memory map starts; 0: none
extern uint8_t SOUND_SPUAddrSet, SOUND_EEAddrSet, SOUND_IOPAddrSet;

// The update word the module changes on each of its cycles.
extern volatile uint32_t SOUND_MSUpdate;
extern uint32_t SOUND_CurrentMSUpdate;
// Direct transfers.
extern int SOUND_Previous;   // a transfer is in flight
extern unsigned SOUND_did;   // its DMA id

int SOUND_InitIOP();
void SOUND_StartCommand(int id);
void SOUND_AddData(int value);
void SOUND_AddLongData(int value);
void SOUND_AddString(const char* text);
void SOUND_EndCommand();
int FlushIOPCommand(int mode);    // 0 waits, 1 returns at once; words sent, or -1
int BGFlushIOPCommand(int mode);  // the same from the background loader thread
void SOUND_JP(void* param);
void SOUND_CopyIOPBuffer();
int SOUND_SIFTransfer(int function, void* buffer, int mode);
int SOUND_HandleCDErrors();       // -1 disc error, -2 data outstanding, 0
void SOUND_InitWaitUpdate();
void SOUND_CloseWaitUpdate();
void SOUND_SetWaitUpdate();
int SOUND_CheckForUpdate();
enum { SOUND_DMA_NO_WAIT = 0, SOUND_DMA_WAIT = 1 };
int SOUND_TransferDataToIOP(const void* source, uint32_t destination, int size, int wait);
int SOUND_CheckIOPTransfer();

// ===================================================================
// Sound command set (zesndcmd)
// ===================================================================
// Channel word: voice in the low 16 bits, group in the high 16 bits (group
// n, 1-4, is n x 0x10000; 0 no group). Envelope: attack in the low byte,
// release in the high byte. Volumes are 15-bit: 0-0x3FFF rising, 0x4000-
// 0x7FFF phase-inverted. Pitch 0x1000 is 48 kHz.

enum { STREAM_LOOPING = 0, STREAM_ONCE_OFF = 1, STREAM_NO_VOICE = 2 };
enum { SOUND_LOAD_IOP = 125, SOUND_LOAD_EE = 126, SOUND_LOAD_SPU = 127 };
constexpr int SOUND_ANY_STREAM = 128;
constexpr int SOUND_GROUPS = 4;

extern int SOUND_LastStream;              // stream limit
extern uint32_t SOUND_SPU_MasterVol[SOUND_VOICES];  // group word of each voice
extern int16_t SOUND_VolL[SOUND_VOICES], SOUND_VolR[SOUND_VOICES];
extern int16_t SOUND_MasterVolumeLeft[SOUND_GROUPS], SOUND_MasterVolumeRight[SOUND_GROUPS];
extern int SOUND_MasterL, SOUND_MasterR;  // the last mix
extern int SOUND_TempStream, SOUND_TempCounter;
extern uint32_t SOUND_TempBuffer, SOUND_TempSize;

struct SOUND_STREAM_INFO {
  uint32_t iopram;          // free I/O-processor memory
  uint8_t cderror;          // disc error
  uint8_t cdstat;           // disc not readable
  uint8_t cdierror;         // data requested during the error outstanding
  uint8_t cdaccess;         // stream disc access
  uint8_t cdstatus;         // disc status, low byte
  uint8_t cdaccesschan;     // stream that last read the disc
  uint32_t waddr;
  uint8_t type;
  uint8_t busy;             // 0 when the stream's state is 0 or 3
  uint8_t active;
  uint8_t voice;
  uint8_t playhalf;
  uint16_t env;
  uint32_t fileid, spuaddr, spuaddr2, lasteetransize, eetrancount, poffset, iopbufaddr;
};

struct SOUND_EXTERNAL_INFO {
  uint32_t address;
  uint8_t loadtype;
  uint32_t size, offset;
  uint8_t chainpos, chaincount;
  uint32_t remain;
  uint32_t playsize[9], lsn[9], id[9], seek[9];
  uint32_t request, check;  // written by SOUND_LoadComplete
};

struct SOUND_FILE_INFO {
  uint32_t lsn, size, source, counter;
};

struct SOUND_PCM_INFO {
  uint32_t addr, size, current, status;
};

struct SOUND_CHAIN_ENTRY {
  int16_t id;
  uint32_t first, second;
};

// Sample header: words 0-2, then the entry's words 1, 0, 2, 3.
struct SOUND_MSH_INFO {
  uint32_t header[3];
  uint32_t entry[4];
};
// File-index header: words 0, 1, 2, the file id, words 4, 5, 3.
struct SOUND_MIH_INFO {
  uint32_t word0, word1, count, fileid, word4, word5, word3;
};
struct SOUND_WAV_INFO {
  uint32_t size, offset, stereo;  // stereo 0x1234: unknown channel count
};

int SOUND_PlaySFX(int id, uint32_t channel, int left, int right, int pitch, int attack, int release);
int SOUND_PlayStream(int id, int stream, uint32_t channel, int left, int right, int pitch, int mode, int attack,
                     int release);
int SOUND_SetChannelVolume(uint32_t voice, int left, int right);
int SOUND_SetChannelPitch(int voice, int pitch);
int SOUND_StopSound(int voice);
int SOUND_StopStream(int n);  // n from 64: the stream playing voice n - 64
void SOUND_InitSPU();
void SOUND_GetStatus(int request, int value);
void SOUND_Pause();
void SOUND_Resume();
void SOUND_InitStreamData(int a, int b, int c);
void SOUND_AllocateStreamBuffer(int stream, uint32_t address, uint32_t size);
void SOUND_SetSPUWriteAddress(uint32_t address);
void SOUND_CloseStreamBuffer(int stream);
int SOUND_SetMaxStreamLimit(int limit);
int SOUND_CheckAndStartStereo(int first, int second, int pitch);
void SOUND_CancelCheckStereo();
void SOUND_EnableEffects(int a, int b, int c, int d, int e, int f);
void SOUND_DisableEffects(int a);
void SOUND_SetEffectMasterVolume(int a, int b, int c);
void SOUND_AllChannelEffectsOn(int a);
void SOUND_AllChannelEffectsOff(int a);
void SOUND_SetChannelEffectOn(int channel);
void SOUND_SetChannelEffectOff(int channel);
int SOUND_ChainStreams(int stream, int count, const SOUND_CHAIN_ENTRY* entries);
void SOUND_PatchSFX(int id, uint32_t address);
int SOUND_PatchMSH(int index, int id, const void* header, uint32_t base);
void SOUND_GetFileInfo(int id, const char* name);
int SOUND_SetFileInfo(int id, int sector, int end, int source, int start);  // -1: a negative range
void SOUND_CreateFileInfo(int id, const char* name, int value);
void SOUND_FreeFileID(int id);
void SOUND_FreeAllFileIDs();
void SOUND_StoreHOST0FileName(int id, const char* name);
void SOUND_AllocateFileMemory(int count);
void SOUND_FreeFileMemory();
void SOUND_AllocateSpotFXMemory(int count);
void SOUND_FreeSpotFXMemory();
void SOUND_FreeAllSpotFXIDs();
void SOUND_FreeSpotFXID(int id);
void SOUND_SetFileOffsetAndPlaySize(int id, int offset, int size);
void SOUND_InitCD(int mode);
void SOUND_SetStreamParent_Int(int stream, int a, int b);
void SOUND_SetStreamChild_Int(int stream, int parent, uint32_t channel, int a, int left, int right, int b);
void SOUND_GetMaxIOPRAM();
int SOUND_StreamAllowKeyOn(int stream);
int SOUND_StreamDisableKeyOn(int stream);
int SOUND_SetStreamTrack_Int(int stream, int track);
void SOUND_SetEEWriteAddress(uint32_t address);
void SOUND_SetIOPWriteAddress(uint32_t address);
void SOUND_GetFileIDInfo(int id, int value);
void SOUND_TransIOPToSPU(uint32_t source, uint32_t destination, uint32_t size);
void SOUND_RestartFromCDError();
void SOUND_EXTERNAL_CDErrorPause();
void SOUND_CheckCDError();
void SOUND_EXTERNAL_CDErrorRestart();
int SOUND_PlaySFXLoop(int id, uint32_t channel, int left, int right, int pitch, int attack, int release, int loop);
void SOUND_DisableCDCallback();
void SOUND_DisableSPUCallback();
void SOUND_EnableSPUCallback();
void SOUND_SFXEnableKeyOn();
void SOUND_SFXDisableKeyOn();
int SOUND_KeyOnChannel(int voice);
int SOUND_StreamAddSPUChannel(int stream, int voice, int a, int b);
void SOUND_SetOutputPCM();
void SOUND_SetOutputBitStream();
int SOUND_ModifyEETransferAddress(int stream, uint32_t address);
int SOUND_AppendStream(int stream, int next);
int SOUND_SetStreamLoadSource(int stream, int source);
int SOUND_InitPCMPlayback(int a, int b, int c);
void SOUND_SetPCMType(int a, int b);
void SOUND_ResizeStreamBuffer(int stream, uint32_t size);
void SOUND_SetPCMVolume(int left, int right);
int SOUND_SetStreamStartPosition(int stream, uint32_t position);
void SOUND_PlayPCM();
void SOUND_StopPCM();
int SOUND_InitPCMPlaybackNoStream(uint32_t size);
int SOUND_StreamIgnoreVAGPitch(int stream);
void SOUND_ClosePCMPlayback();
void SOUND_SFXRequest_Table(int count, const int16_t* table);

// Voice groups.
void SOUND_SetChannelMasterVolumeGroup(int voice, uint32_t group);
void SOUND_SetSPUChannelVolume(int voice, int left, int right);  // into SOUND_MasterL/R
int SOUND_ScaleVol(int master, int volume);
void SOUND_MixVol(uint32_t group, int voice);
void SOUND_MixVolumes(uint32_t group);
int SOUND_SetGroupMasterVolume(uint32_t group, int left, int right);
int SOUND_GetGroupMasterVolume(uint32_t group);

// Searches and lookups.
int SOUND_FindFreeSPUChannel(int first, int last);
int SOUND_FindFreeStream();
int SOUND_GetStreamChannel(int voice);
int SOUND_GetKeyStatus(int voice);

// Wrappers of command 1.
int SOUND_PlayStreamFromSFX(int id, int stream, uint32_t channel, int flag);
int SOUND_LoadFile(int destination, int stream, int id, uint32_t address);

// Readers of the reply state.
int SOUND_GetStreamInfo(int stream, SOUND_STREAM_INFO* info);
void SOUND_GetEXTERNALInfo(SOUND_EXTERNAL_INFO* info);
int SOUND_ReadyToLoad();
int SOUND_LoadComplete(SOUND_EXTERNAL_INFO* info);
void SOUND_ReturnFileInfo(SOUND_FILE_INFO* info);
void SOUND_GetPCMInfo(SOUND_PCM_INFO* info);

uint32_t SOUND_HzToSPU(uint32_t hz);

// Header readers (32-bit little-endian words).
int SOUND_GetMSHSampleCount(const void* header);
int SOUND_GetMSHInfo(const void* header, SOUND_MSH_INFO* info, int index);
int SOUND_GetMIHInfo(const void* header, SOUND_MIH_INFO* info, int index);
int SOUND_GetMIHFileID(int index, const void* header);
void SOUND_GetWAVHeaderInfo(const void* header, SOUND_WAV_INFO* info);

// DTS: not built in; each prints why.
int SOUND_SetDTSMode(int mode);
int SOUND_GetDTSStatus();
int SOUND_Init_EE_DTS();
int SOUND_CreateDTS_RPCThread();
void SOUND_DTS_Thread(void* param);
int DTS_RPC();
void SOUND_DisplayDTSMessage();
int SOUND_SetChannelPitchStereo(int voice, int pitch);

// ===================================================================
// Sound engine layer (zesndeng)
// ===================================================================
// The game plays rows of its sound-file table by index: in 2-D, at a 3-D
// position, on a given voice, as a stereo music pair on streams 0 and 1
// (or 2 and 3), or as a looping 3-D effect that fades out unless refreshed
// every frame. ZeSoundUpdate runs once a frame.
//
// Voices: 0-3 the stereo stream pairs, 6-23 effects taken round robin,
// 24-31 the eight loop slots. Sound memory: four stream buffers of 0x28500
// bytes from 0x5010, effects from 0xA6410.

struct ZEVEC;
struct ZEMTX;

struct ZESOUNDENTRY {
  EePtr<const char> name;  // path under the current directory, e.g. "SFX\\1_L.VAG"
  int rate;                // Hz (not read here)
  int mode;                // stream mode when played as half of a stereo pair
  int id;                  // 0x1000 and up: an effect in sound memory; below: a stream; -1 ends the table
};
static_assert(sizeof(ZESOUNDENTRY) == 16);

struct ZESNDLOOPINFO {
  uint32_t key;       // the caller's position pointer, as a value (0: free)
  int16_t playing;
  int16_t voice;      // slot i uses voice 24 + i
  int16_t countdown;  // frames left
  int16_t left, right;  // base volumes as last passed in
};

constexpr int ZESOUND_EFFECT_ID = 0x1000;  // ids from here on are effects
constexpr int ZESOUND_FIRST_SFX_VOICE = 6, ZESOUND_LAST_SFX_VOICE = 23;
constexpr int ZESOUND_LOOP_SLOTS = 8, ZESOUND_FIRST_LOOP_VOICE = 24;
constexpr int ZESOUND_STREAM_BUFFERS = 4;
constexpr uint32_t ZESOUND_STREAM_BUFFER = 0x5010, ZESOUND_STREAM_BUFFER_SIZE = 0x28500;
constexpr uint32_t ZESOUND_SFX_MEMORY = 0xA6410;

extern int zesound_enabled;     // 0 until ZeSoundInitEx succeeds
// zesound_irx_loaded (zeps2.h): set by the I/O-processor start-up when the module loaded.
extern ZESOUNDENTRY* zesound_filenames;
extern float zesound_fade_start, zesound_fade_end;  // 3-D fade distances (2.0, 15.0)
extern int zesound_dpl_enabled;  // surround: sounds behind get a phase-inverted right channel
extern ZEVEC* ZeSoundListenPos;  // null: the camera's position
extern int SChan;                // next effect voice of the round robin
extern int Attack, Release;      // the envelope of every play (0, 16)
extern int16_t* SFX_ReqTable;
extern int SFX_ReqTableSize;
extern ZESNDLOOPINFO ZeSndLoopInfo[ZESOUND_LOOP_SLOTS];
extern int zesound_thread;

// What this layer takes from the renderer: the current camera's position
// (the translation row of its matrix), its view x projection-clip matrix and
// a 2-D quad in the default 2-D material (four vertices of four floats and
// a colour word). The defaults stand for a camera at the origin with an
// identity matrix and draw nothing, until the renderer fills them.
struct ZESOUNDQUADVTX {
  float v[4];
  uint32_t colour;
};
struct ZESOUNDRNDR {
  ZEVEC* (*camerapos)();
  const ZEMTX* (*vpcmtx)();
  void (*quad2d)(const ZESOUNDQUADVTX* vertices);
};
extern ZESOUNDRNDR zesound_rndr;

void ZeSoundInitEx(ZESOUNDENTRY* table, int count);
void ZeSoundInit(ZESOUNDENTRY* table);
void ZeSoundUpdate();
void ZeSoundPlay(int index, int left, int right, int pitch);
void ZeSoundPlay3d(ZEVEC* position, int index, int left, int right, int pitch);
void ZeSoundPlayChan(int index, int left, int right, int pitch, int voice);
void ZeSoundPlayStereo(int leftIndex, int rightIndex, int leftVolume, int rightVolume, int pitch);
void ZeSoundPlayStereo2(int leftIndex, int rightIndex, int leftVolume, int rightVolume, int pitch);
void ZeSoundPlay3dLoopSfx(ZEVEC* key, int index, int left, int right, int pitch);
void ZeSoundFlushLoops();
int ZeSoundStopSound(int voice);
int ZeSoundStopStream(int stream);
void ZeSoundKillAllAudio();
int ZeSoundSetChannelVolume(int voice, int left, int right);
int ZeSoundSetChannelPitch(int voice, int pitch, int stereo);
int ZeSoundKeyStatus(int voice);
void ZeSoundListener(ZEVEC* position);
void ZeSoundSetRequestTable(int16_t* table, int count);
void ZeSoundSetThread(int id);
void ZeSoundSetGlobalDat(void* dat);
void ZeSoundSetLocalDat(void* dat);
void ZeSoundTestBed();
void ZeSoundDrawMem();
int ZeSoundCalc3dVolume(const ZEVEC* position, int* left, int* right);  // 0 beyond the fade end
int ZeSoundFindFree(int start);
ZESNDLOOPINFO* ZeSoundFindLoopInfo(const ZEVEC* key);
void ZeSoundInitLoopInfo();
int init_adpcm(int count);
void CreateFiles();
void TransferSFXToSPU(int id, int stream);
void WaitFrame();

// ===================================================================
// Streamed file access (zesndfile)
// ===================================================================
// While sound is on the file layer opens every medium file for reading
// here: the module reads the bytes and writes them into main memory. Small
// reads come from a 32 KB read-ahead cache. Descriptors are the record's
// slot + 17 (17-32); the file layer's handle is one more.

constexpr int ZESOUND_FILES = 16;     // file records
constexpr int ZESOUND_FD_FIRST = 17;  // descriptor of record 0
constexpr int ZESOUND_ALIGN = 64;     // destinations of reads
constexpr int ZESOUND_CACHE = 32768;  // read-ahead, plus 64 bytes of slack
constexpr int ZESOUND_FILE_STREAM = 2;  // the stream reads go through
constexpr int ZESOUND_FIRST_FILE_ID = 1024;

struct ZeSoundFile {
  int open;
  int lsn;        // sector number, as the module reported it
  int size;       // bytes
  int pos;
  char name[256]; // the full path given to the open
};
static_assert(sizeof(ZeSoundFile) == 272 && offsetof(ZeSoundFile, name) == 16);

extern ZeSoundFile zesound_files[ZESOUND_FILES];
extern uint8_t ZeSndCache[ZESOUND_CACHE + 64];
extern int ZeSndCacheHandel;     // descriptor whose bytes the cache holds, 0 for none
extern int ZeSndCacheStartPos, ZeSndCacheEndPos;
extern int zesound_file_id;      // the module file id used last; ids run 1024-1039

int ZeSoundFOpen(const char* path, int flags);  // 17-32, or -1 when the file is missing
int ZeSoundFRead(int fd, void* dest, int count);  // dest 64-byte aligned; bytes read
int ZeSoundFSeek(int fd, int offset, int whence);
int ZeSoundFOpenSize(int fd);
int ZeSoundFClose(int fd);  // 1
