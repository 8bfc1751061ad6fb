// zerandtab: writes the random table's file ("data\rand.dat"): size bytes
// (default 2048) from the engine's minimal-standard generator, a byte from
// the middle bits of each step so that the bytes are evenly spread.
//   zerandtab <out> [size] [seed]
#include "zetools.h"
#include "zemath.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4 || argv[1][0] == '-') {
    fprintf(stderr, "usage: zerandtab <out> [size] [seed]\n");
    return 2;
  }
  int size = argc > 2 ? atoi(argv[2]) : 2048;
  int state = argc > 3 ? atoi(argv[3]) : 1;
  if (size <= 0) {
    fprintf(stderr, "zerandtab: the size must be above 0\n");
    return 2;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  for (uint8_t& b : bytes) b = uint8_t(ZeRand(&state) >> 12);
  if (!WriteHostFile(argv[1], bytes.data(), bytes.size())) {
    fprintf(stderr, "zerandtab: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
