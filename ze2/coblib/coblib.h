// coblib: characters. Shared pools of loaded models and animations,
// character types, the cobs the game objects embed, their locators and
// joint overrides, the light sets that light them, and the time-based
// rendering that draws distant cobs as images.
#pragma once

#include <cstdint>

#include "platform.h"
#include "zecore.h"
#include "zemath.h"
#include "ze3d.h"

// ===================================================================
// Shared instance pools (inst)
// ===================================================================


// ===================================================================
// Character types (cobtype)
// ===================================================================


// ===================================================================
// Characters (cob)
// ===================================================================


// ===================================================================
// Locators and joint overrides (cobloc)
// ===================================================================


// ===================================================================
// Light sets (coblight)
// ===================================================================


// ===================================================================
// Time-based rendering of distant characters (tbr)
// ===================================================================

