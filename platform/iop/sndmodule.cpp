// The sound module stand-in: the RPC server the client's packets reach.
// It runs a packet's commands in order and answers with its state: the
// streams it runs (each listed at least once, until it has ended), the
// voices' key states, the last file it was asked about, disc errors and
// its sound-memory map. Files come from the same host directories as the
// file I/O client; each file gets a sector number of its own. Loads into
// main, sound or I/O-processor memory arrive at a fixed rate on the kernel
// clock, so a load can be stopped part-way like a disc read.
#include "sndmodule.h"
#include "vag.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int PACKET_WORDS = SND_PACKET_BYTES / 2;
constexpr int REPLY_WORDS = SND_PACKET_BYTES / 4;
constexpr int DEST_IOP = 125, DEST_EE = 126, DEST_SPU = 127;
constexpr uint32_t STREAM_BUFFER_SIZE = 0x28500;  // a stream buffer, two halves
constexpr uint32_t IOP_STREAM_BUFFERS = 0x100000;  // where the module keeps its stream buffers
constexpr uint32_t IOP_FREE_MEMORY = 0x80000;
constexpr uint32_t FIRST_SECTOR = 0x100000;  // above any disc

enum StreamState { ST_FREE, ST_RUNNING, ST_ENDED };

struct FileId {
  std::string name;   // the path as the client gave it
  int source;         // 0 host, 1 disc
  uint32_t lsn;
  uint32_t start, end;
  bool ranged;        // start and end given (commands 30, 41); else the whole file
};

struct Sector {
  std::string host;
  uint32_t size;
};

struct Stream {
  int state;
  int mode;
  int fileId;
  int voice;
  uint16_t env;
  uint32_t dest;              // loads: where the bytes go
  std::vector<uint8_t> data;  // loads: the bytes to write; audio: the sample data
  uint32_t total;             // loads: bytes to write
  uint32_t done;              // bytes delivered by the disc so far
  bool reported;
  bool cut;                   // stopped before all its bytes arrived
};

struct Effect {
  uint32_t addr, size;         // where its blocks start, and their bytes
  uint32_t block, blockSize;   // the sound memory it takes, header included
};

PlatSoundMode g_soundMode = PSOUND_NULL;
bool g_loaded = false;

std::map<int, FileId> g_ids;
std::map<uint32_t, Sector> g_sectors;
std::map<std::string, uint32_t> g_sectorOf;
uint32_t g_nextLsn = FIRST_SECTOR;
std::map<int, Effect> g_effects;

Stream g_stream[SND_STREAMS];
uint32_t g_bufAddr[SND_STREAMS], g_bufSize[SND_STREAMS];
uint32_t g_startPos[SND_STREAMS];
int g_bufCount = 0;
int g_streamLimit = 0;

uint32_t g_spuWrite, g_eeWrite, g_iopWrite;
uint32_t g_counter;
uint32_t g_fileCounter, g_fileSize, g_fileLsn, g_fileSource;
uint32_t g_lastEeSize, g_eeCount;
uint32_t g_updateAddr, g_updateValue;
bool g_sfxKeyOnDisabled;
uint32_t g_stereoReady;
bool g_discError, g_discUnreadable, g_discOutstanding;
int g_loadRate = SND_LOAD_RATE;
uint64_t g_lastLines;

alignas(64) uint32_t g_reply[REPLY_WORDS];

// ---- files -------------------------------------------------------------------

// A directory or a device is no file: size 0, as a missing file (its
// "end" as a stream would be a size of gigabytes).
uint32_t HostSize(const std::string& host) {
  struct stat st;
  if (stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return 0;
  return st.st_size > 0xffffffff ? 0xffffffffu : uint32_t(st.st_size);
}

// Bytes [start, end) of a host file; bytes past its end read as zero.
std::vector<uint8_t> HostRead(const std::string& host, uint32_t start, uint32_t end) {
  std::vector<uint8_t> out(end > start ? end - start : 0);
  FILE* f = fopen(host.c_str(), "rb");
  if (f && !out.empty() && fseek(f, long(start), SEEK_SET) == 0) {
    size_t n = fread(out.data(), 1, out.size(), f);
    (void)n;
  }
  if (f) fclose(f);
  return out;
}

// The sector of a file: a disc file's own on the virtual disc; a host file
// one of its own above the disc, the same for every lookup.
uint32_t SectorOf(const std::string& name, const std::string& host, uint32_t size) {
  auto it = g_sectorOf.find(host);
  if (it != g_sectorOf.end()) return it->second;
  sceCdlFILE disc;
  uint32_t lsn;
  if (strncasecmp(name.c_str(), "cdrom0:", 7) == 0 && sceCdSearchFile(&disc, name.c_str() + 7)) {
    lsn = disc.lsn;
  } else {
    lsn = g_nextLsn;
    g_nextLsn += std::max<uint32_t>(1, (size + 2047) / 2048);
  }
  g_sectorOf[host] = lsn;
  g_sectors[lsn] = {host, size};
  return lsn;
}

// The host file an id names: by its host0 path, else by its sector.
bool HostFileOf(const FileId& f, std::string* host) {
  if (!f.name.empty() && SndResolvePath(f.name.c_str(), host)) return true;
  auto it = g_sectors.find(f.lsn);
  if (it == g_sectors.end()) return false;
  *host = it->second.host;
  return true;
}

void Register(int id, const std::string& name) {
  FileId f{};
  f.name = name;
  f.source = strncasecmp(name.c_str(), "host0:", 6) == 0 ? 0 : 1;
  std::string host;
  uint32_t size = SndResolvePath(name.c_str(), &host) ? HostSize(host) : 0;
  f.lsn = size ? SectorOf(name, host, size) : 0;
  g_ids[id] = f;
  g_fileCounter = uint32_t(id);
  g_fileSize = size;
  g_fileLsn = f.lsn;
  g_fileSource = uint32_t(f.source);
}

// ---- streams -----------------------------------------------------------------

bool IsLoad(const Stream& s) { return s.mode == DEST_IOP || s.mode == DEST_EE || s.mode == DEST_SPU; }

uint8_t* LoadTarget(const Stream& s) {
  if (s.mode == DEST_EE) return static_cast<uint8_t*>(EeAddrToPtr(EeStripAlias(s.dest)));
  if (s.mode == DEST_SPU) return SndSpuMemory() + s.dest;
  return SifIopMemory() + s.dest;
}

// Releases a stream's data; a voice still playing it stops at once.
void Release(Stream& s) {
  if (!IsLoad(s) && !s.data.empty() && SndVoiceSource(s.voice) == s.data.data()) SndVoiceKill(s.voice);
  s.data.clear();
  s.data.shrink_to_fit();
}

void End(Stream& s) {
  if (s.state != ST_RUNNING) return;
  if (IsLoad(s)) {
    s.cut = s.done < s.total;
    if (s.mode == DEST_EE) {
      g_lastEeSize = s.done;
      g_eeCount++;
    } else if (s.mode == DEST_SPU && !s.cut && s.total) {
      // An effect: its blocks follow the header when the file has one.
      VagHeader h;
      uint32_t skip = VagReadHeader(s.data.data(), int(s.data.size()), &h) ? VAG_HEADER_BYTES : 0;
      g_effects[s.fileId] = {s.dest + skip, s.total - skip, s.dest, s.total};
      g_spuWrite = (s.dest + s.total + 63) & ~63u;
    }
  }
  Release(s);
  // Listed once more when no reply has shown it yet.
  s.state = s.reported ? ST_FREE : ST_ENDED;
}

void Stop(int n) {
  Stream& s = g_stream[n];
  if (s.state != ST_RUNNING) return;
  if (!IsLoad(s) && SndVoiceSource(s.voice) == s.data.data() && SndVoiceKey(s.voice) != SND_KEY_OFF) {
    SndVoiceKeyOff(s.voice);  // ends with the voice's release
    s.done = uint32_t(s.data.size());  // stays running until the voice is off
    return;
  }
  End(s);
}

// Moves the disc on to now: loads write what has arrived; audio streams
// end with their voice.
void Advance() {
  SndBackendAdvance();
  uint64_t now = KernelLines();
  uint64_t lines = now - g_lastLines;
  g_lastLines = now;
  uint64_t bytes = g_discError ? 0 : lines * uint64_t(g_loadRate);
  bool pending = false;
  for (Stream& s : g_stream) {
    if (s.state != ST_RUNNING) continue;
    if (IsLoad(s)) {
      uint32_t n = uint32_t(std::min<uint64_t>(bytes, s.total - s.done));
      memcpy(LoadTarget(s) + s.done, s.data.data() + s.done, n);
      s.done += n;
      if (s.done == s.total) End(s);
      else pending = true;
    } else {
      s.done = uint32_t(std::min<uint64_t>(s.data.size(), s.done + bytes));
      if (SndVoiceKey(s.voice) == SND_KEY_OFF || SndVoiceSource(s.voice) != s.data.data()) End(s);
    }
  }
  if (!g_discError && !pending) g_discOutstanding = false;
}

void Play(int id, int stream, int voice, uint16_t left, uint16_t right, uint16_t pitch, int mode,
          uint16_t env) {
  if (stream >= SND_STREAMS) return;
  Stream& s = g_stream[stream];
  if (s.state == ST_RUNNING) End(s);
  Release(s);
  s = Stream{};
  s.state = ST_RUNNING;
  s.mode = mode;
  s.fileId = id;
  s.voice = voice;
  s.env = env;
  auto it = g_ids.find(id);
  std::string host;
  if (it == g_ids.end() || !HostFileOf(it->second, &host)) {
    End(s);  // no such file: over before it began
    return;
  }
  const FileId& f = it->second;
  uint32_t size = HostSize(host);
  uint32_t start = f.ranged ? f.start : 0, end = f.ranged ? std::min(f.end, size) : size;
  if (start > end) start = end;
  if (IsLoad(s)) {
    // Whole 64-byte units, as the transfers go; the client leaves room.
    s.total = (end - start + 63) & ~63u;
    s.dest = mode == DEST_EE ? g_eeWrite : mode == DEST_SPU ? g_spuWrite : g_iopWrite;
    bool fits = mode == DEST_EE ? IopEeVisible(s.dest, int(s.total))
                : mode == DEST_SPU ? uint64_t(s.dest) + s.total <= SND_SPU_MEMORY
                                   : uint64_t(s.dest) + s.total <= IOP_MEMORY_SIZE;
    if (!fits) {
      if (mode == DEST_EE) PlatFatal("sound module: load of %u bytes to 0x%x is outside EE memory", s.total, s.dest);
      End(s);
      return;
    }
    std::vector<uint8_t> bytes = HostRead(host, start, start + s.total);
    // Past the range the transfer carries whatever the sector held: the file's next bytes.
    s.data = std::move(bytes);
    if (s.total == 0) End(s);
    return;
  }
  s.data = HostRead(host, start, end);
  uint32_t first = 0;
  VagHeader h;
  if (start == 0 && VagReadHeader(s.data.data(), int(s.data.size()), &h)) first = VAG_HEADER_BYTES;
  first += g_startPos[stream];
  g_startPos[stream] = 0;
  SndVoiceSetVolume(voice, left, right);
  SndVoiceSetPitch(voice, pitch);
  SndVoiceKeyOn(voice, s.data.data(), uint32_t(s.data.size()), first,
                mode == 0 ? SND_LOOP_ALWAYS : SND_LOOP_NEVER, env, false);
  if (SndVoiceKey(voice) == SND_KEY_OFF) End(s);
}

void PlayEffect(int id, int voice, uint16_t left, uint16_t right, uint16_t pitch, uint16_t env, bool loop) {
  if (voice >= SND_VOICES) return;
  // A stream playing on the voice loses it.
  for (Stream& s : g_stream)
    if (s.state == ST_RUNNING && !IsLoad(s) && s.voice == voice) End(s);
  SndVoiceSetVolume(voice, left, right);
  SndVoiceSetPitch(voice, pitch);
  auto it = g_effects.find(id);
  if (it == g_effects.end()) {
    SndVoiceKill(voice);
    return;
  }
  SndVoiceKeyOn(voice, SndSpuMemory(), SND_SPU_MEMORY, it->second.addr,
                loop ? SND_LOOP_ALWAYS : SND_LOOP_FLAGS, env, g_sfxKeyOnDisabled);
}

// ---- commands ----------------------------------------------------------------

uint32_t L32(const uint16_t* p) { return uint32_t(p[0]) << 16 | p[1]; }

std::string Text(const uint16_t* p, int words) {
  const char* c = reinterpret_cast<const char*>(p);
  return std::string(c, strnlen(c, size_t(words) * 2));
}

using CmdFn = void (*)(const uint16_t* p, int n);

void CmdPlaySfx(const uint16_t* p, int) { PlayEffect(p[0], p[1], p[2], p[3], p[4], p[5], false); }
void CmdPlaySfxLoop(const uint16_t* p, int) { PlayEffect(p[0], p[1], p[2], p[3], p[4], p[5], p[6] != 0); }
void CmdPlayStream(const uint16_t* p, int) {
  Play(p[0], p[1] >> 8, p[1] & 0xFF, p[2], p[3], p[4], p[5], p[6]);
}
void CmdSetVolume(const uint16_t* p, int) { SndVoiceSetVolume(p[0], p[1], p[2]); }
void CmdSetPitch(const uint16_t* p, int) { SndVoiceSetPitch(p[0], p[1]); }
void CmdStopSound(const uint16_t* p, int) { SndVoiceKeyOff(p[0]); }
void CmdStopStream(const uint16_t* p, int) {
  if (p[0] < SND_STREAMS) Stop(p[0]);
}
void CmdInitSpu(const uint16_t*, int) { SndVoicesReset(); }
void CmdPause(const uint16_t*, int) { SndVoicesPause(true); }
void CmdResume(const uint16_t*, int) { SndVoicesPause(false); }
void CmdAllocBuffer(const uint16_t* p, int) {
  if (p[0] >= SND_STREAMS) return;
  g_bufAddr[p[0]] = L32(p + 1);
  g_bufSize[p[0]] = L32(p + 3);
  g_bufCount = std::max(g_bufCount, p[0] + 1);
}
void CmdCloseBuffer(const uint16_t* p, int) {
  if (p[0] < SND_STREAMS) g_bufAddr[p[0]] = g_bufSize[p[0]] = 0;
}
void CmdSpuWrite(const uint16_t* p, int) { g_spuWrite = L32(p); }
void CmdEeWrite(const uint16_t* p, int) { g_eeWrite = L32(p); }
void CmdIopWrite(const uint16_t* p, int) { g_iopWrite = L32(p); }
void CmdStreamLimit(const uint16_t* p, int) { g_streamLimit = std::min<int>(p[0], SND_STREAMS - 1); }
void CmdStartStereo(const uint16_t* p, int) {
  // Both streams' voices take the pitch together.
  for (int i = 0; i < 2; i++)
    if (p[i] < SND_STREAMS && g_stream[p[i]].state == ST_RUNNING) SndVoiceSetPitch(g_stream[p[i]].voice, p[2]);
  g_stereoReady = 1;
}
void CmdCancelStereo(const uint16_t*, int) { g_stereoReady = 0; }
void CmdPatchSfx(const uint16_t* p, int) {
  uint32_t a = L32(p + 1);
  if (a < SND_SPU_MEMORY) g_effects[p[0]] = {a, SND_SPU_MEMORY - a, a, SND_SPU_MEMORY - a};
}
void CmdCreateFile(const uint16_t* p, int n) { Register(p[0], Text(p + 3, n - 3)); }
void CmdGetFile(const uint16_t* p, int n) { Register(p[0], Text(p + 1, n - 1)); }
void CmdSetFileInfo(const uint16_t* p, int) {
  FileId& f = g_ids[p[0]];
  f.lsn = L32(p + 1);
  f.end = L32(p + 3);
  f.source = p[5];
  f.start = L32(p + 6);
  f.ranged = true;
  f.name.clear();  // a host name follows in command 34 when the file is on the host
}
void CmdFreeId(const uint16_t* p, int) { g_ids.erase(p[0]); }
void CmdFreeAllIds(const uint16_t*, int) { g_ids.clear(); }
void CmdHostName(const uint16_t* p, int n) { g_ids[p[0]].name = Text(p + 1, n - 1); }
void CmdOffsetAndSize(const uint16_t* p, int) {
  FileId& f = g_ids[p[0]];
  f.start = L32(p + 1);
  f.end = f.start + L32(p + 3);
  f.ranged = true;
}
void CmdFileIdInfo(const uint16_t* p, int) {
  auto it = g_ids.find(p[0]);
  g_fileCounter = p[0];
  g_fileSize = g_fileLsn = g_fileSource = 0;
  std::string host;
  if (it != g_ids.end() && HostFileOf(it->second, &host)) {
    g_fileSize = HostSize(host);
    g_fileLsn = it->second.lsn;
    g_fileSource = uint32_t(it->second.source);
  }
}
void CmdIopToSpu(const uint16_t* p, int) {
  uint32_t src = L32(p), dst = L32(p + 2), size = L32(p + 4);
  if (uint64_t(src) + size <= IOP_MEMORY_SIZE && uint64_t(dst) + size <= SND_SPU_MEMORY)
    memmove(SndSpuMemory() + dst, SifIopMemory() + src, size);
}
void CmdRestartFromError(const uint16_t*, int) {
  if (!g_discUnreadable) g_discError = false;
}
void CmdSfxKeyOn(const uint16_t* p, int) { g_sfxKeyOnDisabled = p[0] != 0; }
void CmdKeyOn(const uint16_t* p, int) { SndVoiceStart(p[0]); }
void CmdWaitUpdate(const uint16_t* p, int) { g_updateAddr = L32(p); }
void CmdStartPosition(const uint16_t* p, int) {
  if (p[0] < SND_STREAMS) g_startPos[p[0]] = L32(p + 1) & ~uint32_t(VAG_BLOCK_BYTES - 1);
}

struct Command {
  uint16_t id;
  uint8_t words;  // parameter words needed
  CmdFn fn;
};

// Commands not listed (effects, PCM, chains, memory set-up, disc modes,
// the effect request table, ...) change nothing here and are skipped by
// their word counts.
constexpr Command COMMANDS[] = {
    {0, 6, CmdPlaySfx},          {1, 7, CmdPlayStream},      {2, 3, CmdSetVolume},
    {3, 2, CmdSetPitch},         {4, 1, CmdStopSound},       {5, 1, CmdStopStream},
    {7, 0, CmdInitSpu},          {10, 0, CmdPause},          {11, 0, CmdResume},
    {13, 5, CmdAllocBuffer},     {14, 2, CmdSpuWrite},       {15, 1, CmdCloseBuffer},
    {16, 1, CmdStreamLimit},     {17, 3, CmdStartStereo},    {18, 0, CmdCancelStereo},
    {28, 3, CmdPatchSfx},        {29, 2, CmdGetFile},        {30, 8, CmdSetFileInfo},
    {31, 4, CmdCreateFile},      {32, 1, CmdFreeId},         {33, 0, CmdFreeAllIds},
    {34, 2, CmdHostName},        {41, 5, CmdOffsetAndSize},  {49, 2, CmdEeWrite},
    {50, 2, CmdIopWrite},        {51, 2, CmdFileIdInfo},     {52, 6, CmdIopToSpu},
    {53, 0, CmdRestartFromError}, {57, 7, CmdPlaySfxLoop},   {62, 1, CmdSfxKeyOn},
    {63, 1, CmdKeyOn},           {73, 2, CmdWaitUpdate},     {74, 3, CmdStartPosition},
};

void Execute(const uint16_t* w) {
  int count = w[0], pos = 1;
  for (int c = 0; c < count; c++) {
    if (pos + 2 > PACKET_WORDS) PlatFatal("sound module: command %d of %d starts past the packet", c, count);
    int id = w[pos], n = w[pos + 1];
    if (pos + 2 + n > PACKET_WORDS)
      PlatFatal("sound module: command %d (%d parameter words) runs past the packet", id, n);
    for (const Command& cmd : COMMANDS) {
      if (cmd.id != id) continue;
      if (n < cmd.words) PlatFatal("sound module: command %d has %d parameter words, needs %d", id, n, cmd.words);
      cmd.fn(w + pos + 2, n);
      break;
    }
    pos += 2 + n;
  }
}

// ---- the reply ---------------------------------------------------------------

// Sound memory as signed block sizes: stream buffers and effects used
// (positive), the gaps free (negative).
int MemoryMap(uint32_t* out, int room) {
  std::vector<std::pair<uint32_t, uint32_t>> used;
  for (int i = 0; i < g_bufCount; i++)
    if (g_bufSize[i]) used.push_back({g_bufAddr[i], g_bufSize[i]});
  for (auto& e : g_effects) used.push_back({e.second.block, e.second.blockSize});
  std::sort(used.begin(), used.end());
  int n = 0;
  uint32_t at = 0;
  for (auto& u : used) {
    if (n + 2 > room) break;
    uint32_t a = std::max(u.first, at), e = std::min<uint64_t>(uint64_t(u.first) + u.second, SND_SPU_MEMORY);
    if (e <= a) continue;
    if (a > at) out[n++] = uint32_t(-int32_t(a - at));
    out[n++] = e - a;
    at = e;
  }
  if (at < SND_SPU_MEMORY && n < room) out[n++] = uint32_t(-int32_t(SND_SPU_MEMORY - at));
  return n;
}

void BuildReply() {
  uint32_t* r = g_reply;
  memset(r, 0, sizeof g_reply);
  int n = 0;
  for (int i = 0; i < SND_STREAMS; i++) {
    Stream& s = g_stream[i];
    if (s.state == ST_FREE) continue;
    bool running = s.state == ST_RUNNING;
    uint32_t* rec = r + 1 + 6 * n++;
    bool load = IsLoad(s);
    uint32_t offset = load ? s.done : SndVoicePosition(s.voice);
    uint32_t disc = running && !g_discError && s.done < (load ? s.total : s.data.size()) ? 1 : 0;
    uint32_t half = (offset / (STREAM_BUFFER_SIZE / 2)) & 1;
    rec[0] = disc | half << 2 | uint32_t(i) << 4 | uint32_t(s.voice & 63) << 10 | uint32_t(s.env) << 16;
    rec[1] = g_bufAddr[i];
    rec[2] = uint32_t(s.fileId & 0xFFFF) | (running ? 0x80000000u : 0);
    rec[3] = uint32_t(s.mode & 0xFF);
    rec[4] = load ? s.dest + s.done : 0;
    rec[5] = offset;
    if (running) s.reported = true;
    else s = Stream{};
  }
  r[0] = uint32_t(n);
  uint32_t* b = r + 6 * n;  // b[k] is word B + k
  b[1] = ++g_counter;
  b[2] = 0xFFFFFFFFu;      // the module never asks for a load
  b[3] = 0;
  b[4] = g_spuWrite;
  b[5] = g_stereoReady;
  for (int v = 0; v < SND_VOICES; v++) b[6 + v / 16] |= uint32_t(SndVoiceKey(v) & 3) << (30 - 2 * (v % 16));
  b[50] = IOP_FREE_MEMORY;
  b[51] = (g_fileSource & 0xFF) | g_fileCounter << 8;
  b[52] = g_fileSize;
  b[53] = g_fileLsn;
  b[56] = g_eeWrite;
  b[57] = g_iopWrite;
  b[58] = (g_discError ? 1 : 0) | (g_discOutstanding ? 2 : 0) | (g_discUnreadable ? 4 : 0);
  b[61] = g_lastEeSize;
  b[62] = g_eeCount;
  int m = g_bufCount;
  b[67] = uint32_t(m);
  for (int i = 0; i < m; i++) b[68 + i] = IOP_STREAM_BUFFERS + uint32_t(i) * STREAM_BUFFER_SIZE;
  int mapAt = 6 * n + 69 + m;
  MemoryMap(r + mapAt, REPLY_WORDS - 1 - mapAt);  // the last word stays 0: the map's end
}

void UpdateWord() {
  g_updateValue++;
  if (g_updateAddr && IopEeVisible(g_updateAddr, 4))
    memcpy(EeAddrToPtr(EeStripAlias(g_updateAddr)), &g_updateValue, 4);
}

// Holds the sound lock; let go on the way out, a fatal error's unwinding
// in tests included.
struct LockScope {
  LockScope() { SndLock(); }
  ~LockScope() { SndUnlock(); }
};

const void* Serve(int fno, const void* data, int size, int* replySize) {
  LockScope lock;
  Advance();
  if (fno == 0) {
    if (size != SND_PACKET_BYTES) PlatFatal("sound module: a packet of %d bytes (needs %d)", size, SND_PACKET_BYTES);
    Execute(static_cast<const uint16_t*>(data));
  }
  UpdateWord();
  BuildReply();
  *replySize = SND_PACKET_BYTES;
  return g_reply;
}

void ResetState() {
  for (Stream& s : g_stream) {
    Release(s);
    s = Stream{};
  }
  g_ids.clear();
  g_sectors.clear();
  g_sectorOf.clear();
  g_nextLsn = FIRST_SECTOR;
  g_effects.clear();
  memset(g_bufAddr, 0, sizeof g_bufAddr);
  memset(g_bufSize, 0, sizeof g_bufSize);
  memset(g_startPos, 0, sizeof g_startPos);
  g_bufCount = g_streamLimit = 0;
  g_spuWrite = g_eeWrite = g_iopWrite = 0;
  g_counter = 0;
  g_fileCounter = g_fileSize = g_fileLsn = g_fileSource = 0;
  g_lastEeSize = g_eeCount = 0;
  g_updateAddr = g_updateValue = 0;
  g_sfxKeyOnDisabled = false;
  g_stereoReady = 0;
  g_discError = g_discUnreadable = g_discOutstanding = false;
  g_loadRate = SND_LOAD_RATE;
  SndVoicesReset();
}

}  // namespace

void PlatSetSound(PlatSoundMode mode) { g_soundMode = mode; }
PlatSoundMode PlatGetSound() { return g_soundMode; }

int SndModuleLoad(PlatSoundMode mode) {
  SndModuleUnload();
  if (mode == PSOUND_OFF) return -1;
  SndLock();
  ResetState();
  SndUnlock();
  if (!SndBackendOpen(mode)) return -1;
  SndLock();
  g_lastLines = KernelLines();
  SndUnlock();
  SifRegisterServer(SND_RPC_SERVER, Serve);
  g_loaded = true;
  return 0;
}

void SndModuleUnload() {
  if (!g_loaded) return;
  SifRemoveServer(SND_RPC_SERVER);
  SndBackendClose();
  SndLock();
  ResetState();
  SndUnlock();
  g_loaded = false;
}

void SndModuleSetDiscError(bool on) {
  SndLock();
  Advance();
  if (on) {
    if (!g_discError) {
      g_discOutstanding = false;
      for (const Stream& s : g_stream)
        if (s.state == ST_RUNNING && IsLoad(s)) g_discOutstanding = true;
    }
    g_discError = g_discUnreadable = true;
  } else {
    g_discUnreadable = false;
  }
  SndUnlock();
}

void SndModuleSetLoadRate(int bytesPerLine) {
  SndLock();
  Advance();
  g_loadRate = bytesPerLine > 0 ? bytesPerLine : 1;
  SndUnlock();
}
