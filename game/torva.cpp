// The program: the host's options, then the game on the engine's main thread.
#include "game.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  for (int i = 1; i < argc; i++) {
    if (strcmp(argv[i], "--help") == 0) {
      printf("usage: torva [options]: the game on the disc (--cdrom0=DIR)\n%s", PlatHostOptionsHelp());
      return 0;
    }
  }
  // Messages to the build's log directory unless --tty or --verbose says otherwise.
  PlatSetProgramLog(ZE_LOG_DIR);
  PlatParseHostOptions(&argc, argv);
  return PlatformRun(GameMain, argc, argv);
}
