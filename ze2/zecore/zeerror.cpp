// Fatal errors, warnings, debug messages and the debug link's text
// channels. A prolog records the call site and returns the printer.
#include "zecore.h"
#include "zeps2.h"

#include <cstdio>
#include <cstring>

int errmsg_to_file = 0;
int errmsg_to_console = 1;
int errmsg_disabled = 0;
int errmsg_trap = 0;
ZETTYCHANNEL opt[ZETTY_CHANNELS];

namespace {

const char* g_path = "";
const char* g_name = "";
int g_line = 0;
int g_channelsReady = 0;
int g_guardMsg = 0, g_guardTty = 0;  // set while that kind writes the log file
int g_countMsg = 0, g_countTty = 0;

const char* const ERRLOG = "ze2.err";

void Prolog(const char* file, int line) {
  g_line = line;
  g_path = file ? file : "";
  // The name after the last separator; host paths use '/', the console's '\'.
  g_name = g_path;
  for (const char* p = g_path; *p; p++)
    if (*p == '\\' || *p == '/') g_name = p + 1;
}

void StartChannels() {
  if (g_channelsReady) return;
  g_channelsReady = 1;
  // The file layer reports with debug messages of its own: the call site
  // being reported is kept across them.
  const char* path = g_path;
  const char* name = g_name;
  int line = g_line;
  ZEFILE f = ZeFileOpen(ERRLOG, 1);  // each run starts with an empty log
  if (f) ZeFileClose(f);
  g_path = path;
  g_name = name;
  g_line = line;
  for (int n = 0; n < ZETTY_CHANNELS; n++) {
    scePrintf("\n");
    opt[n].socket = sceDeci2Open(uint16_t(ZETTY_PROTOCOL + n), &opt[n], EventHandler);
  }
}

// Fatal errors and warnings: print, then stop this thread for good.
[[noreturn]] void Stop(const char* kind, int msgSize, const char* format, va_list ap) {
  StartChannels();
  char header[256];
  char message[4096];
  snprintf(header, sizeof header, "%s - %s(%d) : ", kind, g_name, g_line);
  vsnprintf(message, size_t(msgSize), format, ap);
  if (errmsg_to_console) {
    char text[sizeof header + sizeof message + 1];
    snprintf(text, sizeof text, "%s%s\n", header, message);
    PlatConsoleError(text);
  }
  KernelHalt();
}

void ErrorFn(const char* format, ...) {
  errmsg_trap |= 2;
  va_list ap;
  va_start(ap, format);
  Stop("ZeError", 4096, format, ap);
}

void WarningFn(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  Stop("ZeWarning", 1024, format, ap);
}

// Appends a finished line to the log file.
void AppendToLog(const char* line) {
  ZEFILE f = ZeFileOpen(ERRLOG, 2);
  if (!f) f = ZeFileOpen(ERRLOG, 1);
  else ZeFileSeek(f, 0, 2);
  if (f) {
    ZeFileWrite(f, line, int(strlen(line)));
    ZeFileClose(f);
  }
}

// Builds "%05d <kind> - file(line) : message\r\n", cut to fit 1023 characters.
void BuildLine(char* line, const char* kind, int count, const char* format, va_list ap) {
  char message[ZETTY_BUFSIZE];
  int n = snprintf(line, ZETTY_BUFSIZE, "%05d %s - %s(%d) : ", count, kind, g_name, g_line);
  if (n >= ZETTY_BUFSIZE - 2) n = ZETTY_BUFSIZE - 3;
  vsnprintf(message, sizeof message, format, ap);
  size_t room = size_t(ZETTY_BUFSIZE - 3 - n);  // keep space for "\r\n" and the terminator
  size_t len = strnlen(message, room);
  memcpy(line + n, message, len);
  memcpy(line + n + len, "\r\n", 3);
}

// Both debug-message kinds: counted, held against the vertical-blank end,
// written to the log file or, for channel -1, the console, else that channel.
struct DebugKind {
  const char* name;
  int* guard;
  int* count;
};
const DebugKind MSG = {"ZeDebugMsg", &g_guardMsg, &g_countMsg};
const DebugKind TTY = {"ZeDebugMsgTTY", &g_guardTty, &g_countTty};

void DebugMsgV(const DebugKind& kind, int channel, const char* format, va_list ap) {
  if (errmsg_disabled || *kind.guard) return;
  ZeDisableVBlankE();
  StartChannels();
  char line[ZETTY_BUFSIZE];
  BuildLine(line, kind.name, ++*kind.count, format, ap);
  if (errmsg_to_file) {
    *kind.guard = 1;
    AppendToLog(line);
    *kind.guard = 0;
  } else if (errmsg_to_console) {
    if (channel < 0) scePrintf("%s", line);
    else ttyPrintf(channel, "%s", line);
  }
  ZeEnableVBlankE();
}

void DebugMsgFn(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  DebugMsgV(MSG, -1, format, ap);
  va_end(ap);
}

void DebugMsgTtyFn(int channel, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  DebugMsgV(TTY, channel, format, ap);
  va_end(ap);
}

}  // namespace

ZEMSGFN ZeErrorProlog(const char* file, int line) {
  Prolog(file, line);
  return ErrorFn;
}

ZEMSGFN ZeWarningProlog(const char* file, int line) {
  Prolog(file, line);
  return WarningFn;
}

ZEMSGFN ZeDebugMsgProlog(const char* file, int line) {
  Prolog(file, line);
  return DebugMsgFn;
}

ZEMSGTTYFN ZeDebugMsgPrologTTY(const char* file, int line) {
  Prolog(file, line);
  return DebugMsgTtyFn;
}

void ZeAssertMsg(const char* file, int line, const char* expression) {
  char text[1024];
  snprintf(text, sizeof text, "ZeAssert - %s(%d) : assert(%s) failed!\n", file, line, expression);
  PlatConsoleError(text);
  errmsg_trap |= 1;
  KernelHalt();
}

void ZeErrorCheck(const char* text) {
  if (errmsg_trap & 2) ZeErrorProlog(__FILE__, __LINE__)("ZeError trapped - %s", text);
  else if (errmsg_trap & 1) ZeErrorProlog(__FILE__, __LINE__)("ASSERT trapped - %s", text);
}

void ttyInit() {
  for (int n = 0; n < ZETTY_CHANNELS; n++)
    opt[n].socket = sceDeci2Open(uint16_t(ZETTY_PROTOCOL + n), &opt[n], EventHandler);
}

void ttyPrintf(int channel, const char* format, ...) {
  if (unsigned(channel) >= unsigned(ZETTY_CHANNELS)) channel = 0;
  ZETTYCHANNEL& ch = opt[channel];
  // The link reads the packet through the uncached alias, as written.
  char* packet = EeUncached(ch.packet);
  char* text = packet + ZETTY_HEADER;
  va_list ap;
  va_start(ap, format);
  vsnprintf(text, ZETTY_MAXTEXT + 1, format, ap);
  va_end(ap);
  int len = int(strlen(text));
  int total = len + ZETTY_HEADER + 1;
  ch.sendptr = packet;
  ch.bytes = total;
  uint16_t proto = uint16_t(ZETTY_PROTOCOL + channel);
  uint8_t* h = reinterpret_cast<uint8_t*>(packet);
  h[0] = uint8_t(total);
  h[1] = uint8_t(total >> 8);
  h[2] = h[3] = 0;
  h[4] = uint8_t(proto);
  h[5] = uint8_t(proto >> 8);
  h[6] = 'E';
  h[7] = 'H';
  h[8] = h[9] = h[10] = h[11] = 0;
  if (ch.socket < 0) {
    if (channel == 0) scePrintf("%s", text);
    return;
  }
  if (sceDeci2ReqSend(ch.socket, 'H') >= 0) {
    while (ch.bytes >= 0) KernelYield();
  }
}

void EventHandler(int event, int size, void* record) {
  ZETTYCHANNEL* ch = static_cast<ZETTYCHANNEL*>(record);
  switch (event) {
    case 1:
      sceDeci2ExRecv(ch->socket, ch->recv, uint16_t(size < ZETTY_BUFSIZE ? size : ZETTY_BUFSIZE));
      break;
    case 2:
      break;
    case 3: {
      int sent = sceDeci2ExSend(ch->socket, ch->sendptr, uint16_t(ch->bytes));
      if (sent > 0) {
        ch->sendptr = ch->sendptr + sent;
        ch->bytes -= sent;
      } else {
        ch->bytes = -1;
      }
      break;
    }
    default:
      ch->bytes = -1;
      break;
  }
}
