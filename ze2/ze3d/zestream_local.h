// Shared by the render-stream modules only.
#pragma once

#include "ze3d.h"

// Fatal, before anything is written, when bytes at p would run past the end
// of the current stream buffer.
void ZeRndrStreamCheckSpace(const void* p, int bytes);

// Copies whole quadwords into a stream at p; returns the position after.
uint32_t* ZeRndrStreamCopyQwords(uint32_t* p, const uint32_t* src, int qwords);
