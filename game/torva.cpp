// The program: the host's options, then the game on the engine's main thread.
#include "game.h"

int main(int argc, char** argv) {
  PlatParseHostOptions(&argc, argv);
  return PlatformRun(GameMain, argc, argv);
}
