// The sound-module link: stages commands into the 2048-byte packet, sends
// it to the module's server and unpacks the reply into the client's
// stream, voice, disc and file state. Also the disc-error recovery, the
// module's update word and direct transfers into I/O-processor memory.
#include "zesound2.h"
#include "zecore.h"
#include "zeps2.h"

#include <cstring>

uint16_t IOPCommandData[SOUND_PACKET_WORDS];
int SOUND_Command = -1;
int SOUND_DataCounter = 0;

alignas(64) uint16_t senddata[SOUND_PACKET_WORDS];
int IOP_Cnt = 0;
int SOUND_COMMAND_COUNTER = 0;
uint8_t SOUND_GETSTATUS_FLAG = 0;
int BGFLushIOPStop = 0;
alignas(64) uint32_t sbuff2[SOUND_REPLY_WORDS];
sceSifClientData SOUND_ClientData;

int8_t SOUND_STREAM_STATE[SOUND_STREAMS];
uint8_t SOUND_STREAM_TYPE[SOUND_STREAMS];
uint8_t SOUND_STREAM_SPU_CHAN[SOUND_STREAMS];
uint8_t SOUND_STREAM_ACTIVE[SOUND_STREAMS];
uint8_t SOUND_STREAM_PLAY_HALF[SOUND_STREAMS];
uint16_t SOUND_STREAM_ENV[SOUND_STREAMS];
uint32_t SOUND_STREAM_ID[SOUND_STREAMS];
uint32_t SOUND_STREAM_SPU_ADDR[SOUND_STREAMS];
uint32_t SOUND_STREAM_WADDR[SOUND_STREAMS];
uint32_t SOUND_STREAM_POFFSET[SOUND_STREAMS];
uint32_t SOUND_STREAM_IOP_BUFFER_ADDR[SOUND_STREAMS];
int SOUND_STREAM_CD_ACCESS = 0;
int SOUND_STREAM_CD_ACCESS_CHAN = 0;

uint8_t SOUND_SPUKeyStatus[SOUND_VOICES];
uint8_t SOUND_SPU2StreamRef[SOUND_VOICES];

uint32_t SOUND_IOP_COUNTER = 0, SOUND_LastCounter = 0xFFFFFFFFu;
int SOUND_IOP_REQUEST_LOAD = -1;
int SOUND_CD_STATUS = 0;
uint32_t SOUND_SPU_ADDR = 0;
uint32_t SOUND_STEREO_READY_FLAG = 0;
uint32_t SOUND_IOP_DATA_ADDRESS, SOUND_IOP_DATA_SIZE, SOUND_IOP_DATA_CHECK;
uint32_t SOUND_IOP_DATA_SEEK[9], SOUND_IOP_DATA_ID[9], SOUND_IOP_DATA_PLAYSIZE[9], SOUND_IOP_DATA_LSN[9];
uint32_t SOUND_IOP_DATA_CHAIN_COUNT, SOUND_IOP_DATA_CHAIN_POS;
uint32_t SOUND_MAX_IOP_RAM;
uint32_t SOUND_FILE_SOURCE, SOUND_FILE_COUNTER, SOUND_FILE_SIZE, SOUND_FILE_LSN;
uint32_t SOUND_IOP_DATA_REMAIN, SOUND_IOP_DATA_OFFSET;
uint32_t SOUND_EE_ADDR, SOUND_IOP_ADDR;
int SOUND_CD_ERROR, SOUND_CD_IERROR, SOUND_CD_STAT;
uint32_t SOUND_IOP_LOAD_TYPE, SOUND_DTS_STATUS;
uint32_t SOUND_LAST_EE_TRAN_SIZE, SOUND_EE_TRAN_COUNT;
uint32_t SOUND_PCM_IOP_ADDR, SOUND_PCM_SIZE, SOUND_PCM_CURRENT_ADDR, SOUND_PCM_STATUS;
int SOUND_SFXMEMINDEX = 0;
uint8_t SOUND_SPUAddrSet, SOUND_EEAddrSet, SOUND_IOPAddrSet;

volatile uint32_t SOUND_MSUpdate = 0;
uint32_t SOUND_CurrentMSUpdate = 0;
int SOUND_Previous = 0;
unsigned SOUND_did = 0;

namespace {

// A command whose parameters did not fit the staging area: its end drops it.
bool g_stagingFull = false;
// Disc-error state seen by the previous SOUND_HandleCDErrors.
int g_sawError = 0, g_sawIError = 0;

constexpr int BIND_TRIES = 1000;       // binds before the module counts as absent
constexpr int BIND_SPIN = 10000;
constexpr int CDERROR_FLUSH_TRIES = 8;  // a refused flush is the suspended loader's: try next frame
constexpr int DMA_WAIT_TRIES = 100000;

volatile int g_spinSink;
void Spin(int n) {
  for (int i = 0; i < n; i++) g_spinSink = i;
}

void StagingFull(const char* function, int words) {
  scePrintf(">>>>> ERROR: %s\n", function);
  scePrintf("Command parameters full (%d words)\n", words);
  g_stagingFull = true;
}

// Flush steps 2-5: the default status request, the count, the call.
int SendPacket(int mode) {
  if (!SOUND_GETSTATUS_FLAG) {
    SOUND_StartCommand(9);
    SOUND_AddData(0xFFFF);
    SOUND_AddData(0);
    SOUND_EndCommand();
  }
  SOUND_GETSTATUS_FLAG = 0;
  senddata[0] = uint16_t(SOUND_COMMAND_COUNTER);
  if (sceSifCallRpc(&SOUND_ClientData, 0, mode, senddata, sizeof senddata, sbuff2, sizeof sbuff2, SOUND_JP,
                    nullptr) < 0)
    return -1;  // not bound: the packet waits
  int words = IOP_Cnt;
  IOP_Cnt = 0;
  SOUND_COMMAND_COUNTER = 0;
  return words;
}

void WaitDma() {
  for (int i = 0; sceSifDmaStat(SOUND_did) >= 0; i++) {
    if (i == DMA_WAIT_TRIES) ZeError("SOUND_TransferDataToIOP - transfer to IOP never finished");
    KernelYield();
  }
}

}  // namespace

// ---- binding -----------------------------------------------------------------

int SOUND_InitIOP() {
  for (int i = 0; i < SOUND_STREAMS; i++) {
    SOUND_STREAM_STATE[i] = SOUND_STREAM_FREE;
    SOUND_STREAM_TYPE[i] = 0;
    SOUND_STREAM_ACTIVE[i] = 0;
  }
  for (int v = 0; v < SOUND_VOICES; v++) {
    SOUND_SPUKeyStatus[v] = SOUND_KEY_FREE;
    SOUND_SPU2StreamRef[v] = SOUND_NOOWNER;
    SOUND_VolL[v] = SOUND_VolR[v] = 0;
    SOUND_SPU_MasterVol[v] = 0;
  }
  for (int g = 0; g < SOUND_GROUPS; g++) SOUND_MasterVolumeLeft[g] = SOUND_MasterVolumeRight[g] = 0x1000;
  SOUND_MSUpdate = 0;
  SOUND_CurrentMSUpdate = 0;
  // Nothing half-staged or half-sent survives a restart of the link.
  SOUND_Command = -1;
  SOUND_DataCounter = 0;
  g_stagingFull = false;
  IOP_Cnt = 0;
  SOUND_COMMAND_COUNTER = 0;
  SOUND_GETSTATUS_FLAG = 0;
  BGFLushIOPStop = 0;
  SOUND_LastCounter = 0xFFFFFFFFu;
  SOUND_SPUAddrSet = SOUND_EEAddrSet = SOUND_IOPAddrSet = 0;
  g_sawError = g_sawIError = 0;

  sceSifInitRpc(0);
  // The module may still be starting: bind until its server answers, but
  // not for ever.
  for (int tries = 0;; tries++) {
    if (sceSifBindRpc(&SOUND_ClientData, SOUND_SERVER_ID, 0) < 0) {
      scePrintf("error: sceSifBindRpc \n");
      ZeError("SOUND_InitIOP - cannot bind the sound module's server");
    }
    if (SOUND_ClientData.serve) break;
    if (tries == BIND_TRIES) ZeError("SOUND_InitIOP - the sound module's server never answered");
    Spin(BIND_SPIN);
    KernelYield();
  }
  return 1;
}

// ---- staging -------------------------------------------------------------------

void SOUND_StartCommand(int id) {
  if (SOUND_Command != -1) {
    scePrintf(">>>>> ERROR: SOUND_StartCommand\n");
    scePrintf("Previous command (%d) not completed\n", SOUND_Command);
    scePrintf("To complete a command, it must end with SOUND_EndCommand\n");
    return;
  }
  SOUND_Command = int16_t(id);
  SOUND_DataCounter = 0;
  g_stagingFull = false;
}

void SOUND_AddData(int value) {
  // Refuse past the staging area: a long string must not write beyond it.
  if (SOUND_DataCounter >= SOUND_PACKET_WORDS) {
    StagingFull("SOUND_AddData", SOUND_DataCounter);
    return;
  }
  IOPCommandData[SOUND_DataCounter++] = uint16_t(value);
}

void SOUND_AddLongData(int value) {
  SOUND_AddData(int(uint32_t(value) >> 16));
  SOUND_AddData(value & 0xFFFF);
}

void SOUND_AddString(const char* text) {
  int len = int(strlen(text));
  int words = (len + 2) / 2;
  if (SOUND_DataCounter + words > SOUND_PACKET_WORDS) {
    StagingFull("SOUND_AddString", SOUND_DataCounter);
    return;
  }
  memcpy(reinterpret_cast<char*>(&IOPCommandData[SOUND_DataCounter]), text, size_t(len) + 1);
  SOUND_DataCounter += words;
}

void SOUND_EndCommand() {
  if (SOUND_Command == -1) {
    scePrintf(">>>>> ERROR: SOUND_EndCommand\n");
    scePrintf("This function is called before a SOUND_StartCommand has\n");
    scePrintf("been called. Exiting\n");
    return;
  }
  if (g_stagingFull || IOP_Cnt + SOUND_DataCounter + 3 >= SOUND_PACKET_WORDS) {
    scePrintf("*** Function:SOUND_AddIOPCommand - IOP Buffer full ***\n");
    SOUND_Command = -1;
    SOUND_DataCounter = 0;
    g_stagingFull = false;
    return;
  }
  senddata[IOP_Cnt + 1] = uint16_t(SOUND_Command);
  senddata[IOP_Cnt + 2] = uint16_t(SOUND_DataCounter);
  memcpy(&senddata[IOP_Cnt + 3], IOPCommandData, size_t(SOUND_DataCounter) * 2);
  IOP_Cnt += 2 + SOUND_DataCounter;
  SOUND_Command = -1;
  SOUND_COMMAND_COUNTER++;
}

// ---- flushing ------------------------------------------------------------------

int FlushIOPCommand(int mode) {
  if (BGFLushIOPStop || sceSifCheckStatRpc(&SOUND_ClientData)) return -1;
  return SendPacket(mode);
}

int BGFlushIOPCommand(int mode) {
  ZeDisableVBlank();
  BGFLushIOPStop = 1;
  ZeEnableVBlank();
  if (sceSifCheckStatRpc(&SOUND_ClientData)) {
    BGFLushIOPStop = 0;
    return -1;
  }
  int words = SendPacket(mode);
  BGFLushIOPStop = 0;
  return words;
}

int SOUND_SIFTransfer(int function, void* buffer, int mode) {
  sceSifCallRpc(&SOUND_ClientData, function, mode, buffer, SOUND_PACKET_WORDS * 2, sbuff2, sizeof sbuff2, SOUND_JP,
                nullptr);
  return 0;
}

void SOUND_JP(void*) { SOUND_CopyIOPBuffer(); }

// ---- the reply -----------------------------------------------------------------

void SOUND_CopyIOPBuffer() {
  const uint32_t* r = sbuff2;
  SOUND_STREAM_CD_ACCESS = 0;
  // The counts are checked before anything is read by them: every word read
  // must lie inside the 512-word reply.
  uint32_t n = r[0];
  if (n > uint32_t(SOUND_STREAMS)) {
    scePrintf(">>>>> ERROR: SOUND_CopyIOPBuffer\n");
    scePrintf("Reply lists %u streams (at most %d); reply ignored\n", n, SOUND_STREAMS);
    return;
  }
  const uint32_t* b = r + 6 * n;  // b[k] is word B + k
  SOUND_IOP_COUNTER = b[1];
  if (SOUND_IOP_COUNTER == SOUND_LastCounter) return;
  SOUND_LastCounter = SOUND_IOP_COUNTER;

  for (int s = 0; s < SOUND_STREAMS; s++)
    if (SOUND_STREAM_STATE[s] == SOUND_STREAM_LISTED) SOUND_STREAM_STATE[s] = SOUND_STREAM_FREE;
  for (int v = 0; v < SOUND_VOICES; v++) SOUND_SPU2StreamRef[v] = SOUND_NOOWNER;

  for (uint32_t i = 0; i < n; i++) {
    const uint32_t* rec = r + 1 + 6 * i;
    int s = int(rec[0] >> 4) & 63, v = int(rec[0] >> 10) & 63;
    if (s >= SOUND_STREAMS || v >= SOUND_VOICES) continue;
    SOUND_STREAM_STATE[s] = SOUND_STREAM_STATE[s] == SOUND_STREAM_STOPPING ? SOUND_STREAM_UNPACKING : SOUND_STREAM_LISTED;
    if (rec[0] & 3) {
      SOUND_STREAM_CD_ACCESS = int(rec[0] & 3);
      SOUND_STREAM_CD_ACCESS_CHAN = s;
    }
    SOUND_STREAM_PLAY_HALF[s] = uint8_t((rec[0] >> 2) & 3);
    SOUND_STREAM_SPU_CHAN[s] = uint8_t(v);
    SOUND_STREAM_ENV[s] = uint16_t(rec[0] >> 16);
    SOUND_STREAM_SPU_ADDR[s] = rec[1];
    SOUND_STREAM_ID[s] = rec[2] & 0xFFFF;
    SOUND_STREAM_ACTIVE[s] = uint8_t(rec[2] >> 31);
    SOUND_STREAM_TYPE[s] = uint8_t(rec[3] & 0xFF);
    SOUND_STREAM_WADDR[s] = rec[4];
    SOUND_STREAM_POFFSET[s] = rec[5];
    if (SOUND_STREAM_TYPE[s] == 0) SOUND_SPU2StreamRef[v] = uint8_t(s);
  }
  // A stop request ends when the stream is no longer listed.
  for (int s = 0; s < SOUND_STREAMS; s++) {
    if (SOUND_STREAM_STATE[s] == SOUND_STREAM_STOPPING) SOUND_STREAM_STATE[s] = SOUND_STREAM_FREE;
    else if (SOUND_STREAM_STATE[s] == SOUND_STREAM_UNPACKING) SOUND_STREAM_STATE[s] = SOUND_STREAM_STOPPING;
  }

  SOUND_IOP_REQUEST_LOAD = int(b[2]);
  SOUND_CD_STATUS = int(b[3]);
  if (SOUND_SPUAddrSet) SOUND_SPUAddrSet = 0;
  else SOUND_SPU_ADDR = b[4];
  SOUND_STEREO_READY_FLAG = b[5];

  // A key-on survives exactly one reply that does not show it yet.
  for (int v = 0; v < SOUND_VOICES; v++) {
    int k = int(b[6 + v / 16] >> (30 - 2 * (v % 16))) & 3;
    if (k) SOUND_SPUKeyStatus[v] = uint8_t(k);
    else SOUND_SPUKeyStatus[v] = SOUND_SPUKeyStatus[v] == SOUND_KEY_ON ? SOUND_KEY_ANSWERED : SOUND_KEY_FREE;
  }

  SOUND_IOP_DATA_ADDRESS = b[9];
  SOUND_IOP_DATA_SIZE = b[10];
  SOUND_IOP_DATA_CHECK = b[11];
  for (int i = 0; i < 9; i++) {
    SOUND_IOP_DATA_SEEK[i] = b[12 + i];
    SOUND_IOP_DATA_ID[i] = b[21 + i];
    SOUND_IOP_DATA_PLAYSIZE[i] = b[30 + i];
    SOUND_IOP_DATA_LSN[i] = b[39 + i];
  }
  SOUND_IOP_DATA_CHAIN_COUNT = b[48];
  SOUND_IOP_DATA_CHAIN_POS = b[49];
  SOUND_MAX_IOP_RAM = b[50];
  SOUND_FILE_SOURCE = b[51] & 0xFF;
  SOUND_FILE_COUNTER = b[51] >> 8;
  SOUND_FILE_SIZE = b[52];
  SOUND_FILE_LSN = b[53];
  SOUND_IOP_DATA_REMAIN = b[54];
  SOUND_IOP_DATA_OFFSET = b[55];
  if (SOUND_EEAddrSet) SOUND_EEAddrSet = 0;
  else SOUND_EE_ADDR = b[56];
  if (SOUND_IOPAddrSet) SOUND_IOPAddrSet = 0;
  else SOUND_IOP_ADDR = b[57];
  SOUND_CD_ERROR = int(b[58] & 1);
  SOUND_CD_IERROR = int(b[58] >> 1 & 1);
  SOUND_CD_STAT = int(b[58] >> 2 & 1);
  SOUND_IOP_LOAD_TYPE = b[59];
  SOUND_DTS_STATUS = b[60];
  SOUND_LAST_EE_TRAN_SIZE = b[61];
  SOUND_EE_TRAN_COUNT = b[62];
  SOUND_PCM_IOP_ADDR = b[63];
  SOUND_PCM_SIZE = b[64];
  SOUND_PCM_CURRENT_ADDR = b[65];
  SOUND_PCM_STATUS = b[66];
  uint32_t m = b[67];
  uint32_t stored = m < uint32_t(SOUND_STREAMS) ? m : uint32_t(SOUND_STREAMS);
  for (uint32_t i = 0; i < stored; i++) SOUND_STREAM_IOP_BUFFER_ADDR[i] = b[68 + i];
  // With at most 48 records and 48 addresses the map starts by word 405;
  // a larger count means there is no map to trust.
  SOUND_SFXMEMINDEX = m == stored ? int(6 * n + 69 + m) : 0;
  if (m != stored) {
    scePrintf(">>>>> ERROR: SOUND_CopyIOPBuffer\n");
    scePrintf("Reply lists %u stream buffers (at most %d)\n", m, SOUND_STREAMS);
  }
}

// ---- disc errors ---------------------------------------------------------------

int SOUND_HandleCDErrors() {
  if (SOUND_CD_ERROR == 1) {
    if (!g_sawError) scePrintf("\nWeftline CD Error detected. All audio streams are now paused\n");
    g_sawError = 1;
    SOUND_CheckCDError();
    SOUND_GetStatus(-1, 0);
    SOUND_GETSTATUS_FLAG = 1;
    // On one CPU a refused flush means the suspended loader is part-way
    // through its own: it cannot finish while this thread spins, so give it
    // the CPU a few times and otherwise try again next frame (the commands
    // stay in the packet).
    int sent = -1;
    for (int tries = 0; tries < CDERROR_FLUSH_TRIES; tries++) {
      sent = FlushIOPCommand(0);
      if (sent >= 0) break;
      KernelYield();
    }
    if (sent >= 0 && SOUND_CD_STAT == 0) {
      scePrintf("CD is valid. IOP will now request last stream again..\n");
      SOUND_RestartFromCDError();
      FlushIOPCommand(0);
    }
  } else {
    g_sawError = 0;
  }
  if (g_sawIError && !SOUND_CD_IERROR) {
    scePrintf("Data requested during CD error is loaded\n");
    scePrintf("Weftline fully functional again\n");
  }
  g_sawIError = SOUND_CD_IERROR;
  if (SOUND_CD_ERROR == 1) return -1;
  if (SOUND_CD_IERROR == 1) return -2;
  return 0;
}

// ---- update word ---------------------------------------------------------------

void SOUND_InitWaitUpdate() {
  SOUND_StartCommand(73);
  SOUND_AddLongData(int(EeAddrOf(const_cast<uint32_t*>(&SOUND_MSUpdate))));
  SOUND_EndCommand();
}

void SOUND_CloseWaitUpdate() {
  SOUND_StartCommand(73);
  SOUND_AddLongData(0);
  SOUND_EndCommand();
}

void SOUND_SetWaitUpdate() { SOUND_CurrentMSUpdate = *EeUncached(&SOUND_MSUpdate); }

int SOUND_CheckForUpdate() {
  uint32_t now = *EeUncached(&SOUND_MSUpdate);
  if (now == SOUND_CurrentMSUpdate) return 0;
  SOUND_CurrentMSUpdate = now;
  return 1;
}

// ---- direct transfers ----------------------------------------------------------

int SOUND_TransferDataToIOP(const void* source, uint32_t destination, int size, int wait) {
  if (uint32_t(wait) >= 2) {
    scePrintf("SOUND_TransferDataToIOP\n");
    scePrintf("Incorrect WAIT flag\n");
    scePrintf("Needs to be SOUND_DMA_WAIT or SOUND_DMA_NO_WAIT\n");
    return -1;
  }
  FlushCache(0);
  if (SOUND_Previous) WaitDma();
  SOUND_Previous = 1;
  FlushCache(0);
  sceSifDmaData d{EeAddrOf(source), destination, size, 0};
  SOUND_did = sceSifSetDma(&d, 1);
  if (SOUND_did == 0) {
    scePrintf("SOUND_TransferDataToIOP\n");
    scePrintf("Transfer to IOP Failed\n");
    SOUND_Previous = 0;
    return -1;
  }
  if (wait == SOUND_DMA_WAIT) WaitDma();
  return 0;
}

int SOUND_CheckIOPTransfer() {
  if (SOUND_Previous && sceSifDmaStat(SOUND_did) >= 0) return 1;
  SOUND_Previous = 0;
  return 0;
}
