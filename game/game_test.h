// Test support: the game started once per test program on the demo disc
// (the built-in command line plus the words given), one replay set up.
#pragma once

#include <cstdint>
#include <vector>

#include "game.h"

// Later calls set the frame state back: running, unpaused, faded in, the
// normal mode, level "hometown", nothing held on pad 0.
void GameTestStart();
// A picture: the field shown after the next frame of fn's drawing
// (0x00BBGGRR).
struct Picture {
  std::vector<uint32_t> px;
  int w = 0, h = 0;
  uint32_t at(int x, int y) const { return px[size_t(y) * size_t(w) + size_t(x)]; }
  int Bright(int x, int y) const {  // the largest channel
    const uint32_t c = at(x, y);
    int m = int(c & 0xff);
    if (int((c >> 8) & 0xff) > m) m = int((c >> 8) & 0xff);
    if (int((c >> 16) & 0xff) > m) m = int((c >> 16) & 0xff);
    return m;
  }
  int RowMax(int y) const {
    int m = 0;
    for (int x = 0; x < w; x++)
      if (Bright(x, y) > m) m = Bright(x, y);
    return m;
  }
};
Picture Shown();  // the field shown at the last swap
void SetPadScript(int port, const char* text);
