// The game's character table: one COBINFO row per character type, with
// each type's files, animation tuning and animation events.
#pragma once

#include "coblib.h"

constexpr int GAME_COBTYPES = 112;
enum : int { COBTYPE_PLAYER = 0 };
// The hero's animations and points of interest.
enum : int { PLAYER_IDLE = 0, PLAYER_WALK = 1 };
enum : int { PLAYER_HAND_L = 0, PLAYER_HAND_R = 1, PLAYER_FOOT_L = 2, PLAYER_FOOT_R = 3 };

extern COBINFO game_cobinfo[GAME_COBTYPES];
extern EePtr<const char> player_anm[];
extern COBANIMPARAM player_tab[];
extern COBANIMEVENT player_fx[];
// Footsteps the hero's walk has fired, and where the last one fell.
extern int player_footsteps;
extern ZEVEC player_footstep;
