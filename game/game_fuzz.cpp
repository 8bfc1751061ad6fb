// Fuzz target: the game's text loaders. The input's first byte chooses
// which reads the rest: 0 the game-strings file (then every id is fetched
// with variables set), 1 a command file given by CMDFILE, 2 the texture
// animation list. Fatal errors are clean ends; a read or write outside a
// buffer, undefined behaviour or a hang is not.
#include "fuzz.h"
#include "game.h"
#include "standins.h"
#include "zecore_local.h"

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <string>

namespace {

std::string g_dir;
char* g_buffer;
constexpr int kBuffer = 8192;

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  if (g_dir.empty()) {
    g_dir = FuzzDir();
    g_buffer = static_cast<char*>(EeMalloc(kBuffer));
    errmsg_disabled = 1;
    errmsg_to_console = 0;
  }
  if (size < 1) return;
  PlatSetHostRoot(g_dir.c_str());
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  ZeFileSetCurrentDirectory("");
  switch (data[0] % 3) {
    case 0: {
      FuzzWriteFile("STRINGS.FZ", data + 1, size - 1);
      char* cursor = g_buffer;
      InitGameStrings(&cursor, g_buffer + kBuffer, "fz");
      SetGameStringVariable(1, "one");
      SetGameStringVariable(7, "seven");
      for (int id = 1; id < MAX_GAME_STRINGS; id++) GetGameString(id);
      break;
    }
    case 1: {
      FuzzWriteFile("CMD.TXT", data + 1, size - 1);
      MainResetSettings();
      const char* words[2] = {"CMDFILE", "CMD.TXT"};
      MainParseArgs(2, words);
      break;
    }
    default:
      FuzzWriteFile("LIST.CFG", data + 1, size - 1);
      strcpy(texanimfilename, "LIST.CFG");
      texanimbuffsize = 4096;
      ZeTexAnimProgSysInit();
      InitTexAnimScripts();
      break;
  }
}

void FuzzReset() {
  ZeFileReset();
  ZeMemFlushFn();  // records a fatal error abandoned
  // The flush gave back every tagged block: the level-state copies and the
  // texture-animation buffer with them.
  levelstate_cmd_count = 0;
  texanimbuff = nullptr;
  errmsg_trap = 0;
}
