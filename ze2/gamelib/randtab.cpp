// The random table: random bytes from a file, taken one at a time by game
// code, rewound by the margin once a frame so the sequence continues.
#include "gamelib.h"
#include "zecore.h"

uint8_t* randtab_base = nullptr;
uint8_t* randtab_ptr = nullptr;
int randtab_size = 0;
int randtab_margin = 0;

void InitRandomTable(const char* name, int size, int margin) {
  CloseRandomTable();
  randtab_size = size;
  randtab_margin = margin;
  randtab_base = static_cast<uint8_t*>(ZeMemAllocFn(size, __FILE__, __LINE__));
  ZeFileLoadBuffer(name, randtab_base, size);
  randtab_ptr = randtab_base;
}

void CheckRandomTable() {
  if (reinterpret_cast<uintptr_t>(randtab_base) + uintptr_t(randtab_margin) < reinterpret_cast<uintptr_t>(randtab_ptr))
    randtab_ptr -= randtab_margin;
}

void CloseRandomTable() {
  if (randtab_base) ZeMemFreeFn(randtab_base, __FILE__, __LINE__);
  randtab_base = nullptr;
  // Nothing may take bytes from the freed table.
  randtab_ptr = nullptr;
}
