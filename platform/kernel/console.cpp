// The console, the host debug link's ten text channels and the platform's
// own fatal error.
#include "platform.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

ConsoleCapture g_capture = nullptr;
std::string g_ttyDir;
bool g_ttyToFiles = false;
FILE* g_ttyFile[10];

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
  fputs(text, stdout);
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
  PlatConsoleWrite(line.c_str());
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
