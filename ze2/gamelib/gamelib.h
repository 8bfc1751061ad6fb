// gamelib: helpers the game code shares. For now the random table.
#pragma once

#include <cstdint>

#include "platform.h"

// ===================================================================
// Random table (randtab)
// ===================================================================
// A file of random bytes loaded at start-up ("data\rand.dat", 2048 bytes,
// margin 1500). Callers take a byte with *randtab_ptr++; no more than
// size - margin bytes between two CheckRandomTable calls (the main loop makes
// one a frame), so that the pointer stays inside the table.

extern uint8_t* randtab_base;  // the table, null when there is none
extern uint8_t* randtab_ptr;   // the next byte to take
extern int randtab_size;
extern int randtab_margin;

// Loads the table (a missing file leaves it all zero bytes).
void InitRandomTable(const char* name, int size, int margin);
// Moves the pointer back by the margin once it is past base + margin.
void CheckRandomTable();
void CloseRandomTable();
