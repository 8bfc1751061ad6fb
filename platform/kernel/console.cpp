// The console, the host debug link's ten text channels and the platform's
// own fatal error.
#include "platform.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

ConsoleCapture g_capture = nullptr;
std::string g_ttyDir;
bool g_ttyToFiles = false;
FILE* g_ttyFile[10];
// A program's log: its default directory, --verbose, and the console's file
// while the terminal is kept for errors.
std::string g_logDir;
bool g_verbose = false;
FILE* g_consoleLog = nullptr;

struct Deci2Socket {
  bool open;
  int channel;
  void* opt;
  Deci2Handler handler;
};
Deci2Socket g_sock[10];

constexpr uint16_t DECI2_PROTO_TTY0 = 0x210;
constexpr int DECI2_HEADER = 12;

// Writes a channel's text: channel 0 is the console.
void ChannelWrite(int channel, const char* text) {
  if (channel == 0) {
    PlatConsoleWrite(text);
    return;
  }
  if (g_ttyToFiles) {
    if (!g_ttyFile[channel]) {
      std::string path = g_ttyDir + "/tty" + std::to_string(channel) + ".txt";
      g_ttyFile[channel] = fopen(path.c_str(), "w");
    }
    if (g_ttyFile[channel]) {
      fputs(text, g_ttyFile[channel]);
      return;
    }
  }
  char prefix[16];
  snprintf(prefix, sizeof prefix, "tty%d: ", channel);
  std::string line = prefix;
  line += text;
  PlatConsoleWrite(line.c_str());
}

}  // namespace

void PlatConsoleWrite(const char* text) {
  if (g_capture) {
    g_capture(text);
    return;
  }
  fputs(text, g_consoleLog ? g_consoleLog : stdout);
}

void PlatConsoleError(const char* text) {
  if (g_capture) {
    g_capture(text);
    return;
  }
  if (g_consoleLog) {
    fputs(text, g_consoleLog);
    fputs(text, stderr);
  } else {
    fputs(text, stdout);
  }
}

void PlatSetProgramLog(const char* dir) { g_logDir = dir ? dir : ""; }
void PlatSetVerbose(bool on) { g_verbose = on; }

void PlatStartProgramLog(const char* program) {
  if (g_logDir.empty() || g_verbose || g_consoleLog) return;
  const std::string dir = g_ttyToFiles ? g_ttyDir : g_logDir;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const std::string path = dir + "/console.txt";
  g_consoleLog = fopen(path.c_str(), "w");
  const char* name = strrchr(program, '/') ? strrchr(program, '/') + 1 : program;
  if (!g_consoleLog) {
    fprintf(stderr, "%s: cannot write %s; messages follow here\n", name, path.c_str());
    return;
  }
  setvbuf(g_consoleLog, nullptr, _IOLBF, 0);  // a crash keeps what came before it
  if (!g_ttyToFiles) PlatSetTtyDirectory(dir.c_str());
  printf("%s: messages in %s (--verbose shows them here)\n", name, dir.c_str());
  fflush(stdout);
}

void PlatReportEnd() {
  if (g_logDir.empty()) return;
  char line[160];
  snprintf(line, sizeof line, "EE memory: peak %zu KB held (thread stacks left out); the console has %u KB\n",
           EeArenaPeakBytes() >> 10, 32768u);
  PlatConsoleWrite(line);
}

int scePrintf(const char* fmt, ...) {
  char buf[4096];
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  PlatConsoleWrite(buf);
  return n;
}

void PlatSetConsoleCapture(ConsoleCapture capture) { g_capture = capture; }

void PlatFlushLogs() {
  fflush(stdout);
  fflush(stderr);
  if (g_consoleLog) fflush(g_consoleLog);
  for (FILE* f : g_ttyFile)
    if (f) fflush(f);
}

void PlatFatal(const char* fmt, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  std::string line = "platform: ";
  line += buf;
  line += "\n";
  PlatConsoleError(line.c_str());
  KernelHalt();
}

void PlatSetTtyDirectory(const char* dir) {
  for (FILE*& f : g_ttyFile) {
    if (f) fclose(f);
    f = nullptr;
  }
  g_ttyToFiles = dir != nullptr;
  g_ttyDir = dir ? dir : "";
}

// The debug link is always present on the host: a socket per channel.
int sceDeci2Open(uint16_t protocol, void* opt, Deci2Handler handler) {
  int ch = protocol - DECI2_PROTO_TTY0;
  if (ch < 0 || ch > 9 || !handler) return -1;
  g_sock[ch] = Deci2Socket{true, ch, opt, handler};
  return ch;
}

int sceDeci2Close(int s) {
  if (s < 0 || s > 9 || !g_sock[s].open) return -1;
  g_sock[s].open = false;
  return 0;
}

// A send request is served at once: the owner is told it may write, then
// that the write is done.
int sceDeci2ReqSend(int s, char dest) {
  if (s < 0 || s > 9 || !g_sock[s].open) return -1;
  Deci2Socket sock = g_sock[s];
  sock.handler(3, 0, sock.opt);
  sock.handler(4, 0, sock.opt);
  return 0;
}

// Takes a whole packet: the 12-byte header (length, protocol, 'E' 'H')
// and the zero-terminated text; the text goes to the channel's sink.
int sceDeci2ExSend(int s, void* buf, uint16_t len) {
  if (s < 0 || s > 9 || !g_sock[s].open || len < DECI2_HEADER + 1) return -1;
  const uint8_t* p = static_cast<const uint8_t*>(buf);
  uint16_t total = uint16_t(p[0] | p[1] << 8);
  uint16_t proto = uint16_t(p[4] | p[5] << 8);
  if (total != len || proto != DECI2_PROTO_TTY0 + s || p[6] != 'E' || p[7] != 'H') return -1;
  std::string text(reinterpret_cast<const char*>(p + DECI2_HEADER), strnlen(reinterpret_cast<const char*>(p + DECI2_HEADER), len - DECI2_HEADER));
  ChannelWrite(s, text.c_str());
  return len;
}

int sceDeci2ExRecv(int s, void* buf, uint16_t len) { return 0; }
