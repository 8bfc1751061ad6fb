// Fuzz targets: libFuzzer drives one input at a time on the engine's main
// thread. A fatal error ends the input (the halt hook unwinds back to the
// driver) and is not counted as a crash; a read or write outside a buffer,
// undefined behaviour or a hang is.
#pragma once

#include <cstddef>
#include <cstdint>

// Defined by each target: runs one input (a copy in EE memory) ...
void FuzzOne(const uint8_t* data, size_t size);
// ... and clears what an input abandoned by a fatal error left behind.
void FuzzReset();
