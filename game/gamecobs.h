// The game's character table: one COBINFO row per character type, with
// each type's files, animation tuning and animation events.
#pragma once

#include "coblib.h"

constexpr int GAME_COBTYPES = 112;
enum : int { COBTYPE_PLAYER = 0 };
// The hero's animations (player_anm's slots), his points of interest and
// the game flag of an animation row that forbids the head turn.
enum : int {
  PLAYER_IDLE = 0, PLAYER_WALK = 1, PLAYER_RUN = 2, PLAYER_CRIDLE = 3, PLAYER_CWALK = 4, PLAYER_JUMPU = 5,
  PLAYER_2IDLE = 6, PLAYER_FIRE = 7, PLAYER_JUMPD = 8, PLAYER_BSLAM = 9, PLAYER_LAND = 10, PLAYER_SLIDE = 11,
  PLAYER_HANG = 12, PLAYER_FIREJUF = 13, PLAYER_SWALK = 14, PLAYER_LGRAB = 15, PLAYER_LIDLE = 16, PLAYER_LCRAWLL = 17,
  PLAYER_LCRAWLR = 18, PLAYER_SRUN = 19, PLAYER_HOODD = 20, PLAYER_HOODU = 21, PLAYER_HIT = 22, PLAYER_HITBACK = 23,
  PLAYER_FLOAT = 24, PLAYER_SWIM = 25, PLAYER_IDLE26 = 26, PLAYER_DIE = 27, PLAYER_IDLE28 = 28, PLAYER_UPFIRE = 29,
  PLAYER_SCWALK = 30, PLAYER_CRSIDLE = 31, PLAYER_IFIRE = 32, PLAYER_SSLIDE = 33, PLAYER_SIDLE = 34, PLAYER_SDSLAM = 35,
  PLAYER_SPIN = 36, PLAYER_PIDLE = 37, PLAYER_GIDLE = 38, PLAYER_GJUMPU = 39, PLAYER_GJUMPD = 40, PLAYER_GRUN = 41,
  PLAYER_GWALK = 42, PLAYER_SLAND = 43, PLAYER_SIT = 44, PLAYER_INPOT = 45, PLAYER_FLIP = 46, PLAYER_PULLI = 47,
  PLAYER_PULLL = 48, PLAYER_PULLR = 49, PLAYER_RJUMPU = 50, PLAYER_RJUMPD = 51, PLAYER_TSWIM = 52, PLAYER_ATLAS = 53,
  PLAYER_BWALK = 54, PLAYER_BRUN = 55, PLAYER_BIDLE = 56, PLAYER_DJUMP = 57, PLAYER_WADE = 58
};
constexpr int PLAYER_ANIMS = 59;
enum : int {
  PLAYER_HAND = 0, PLAYER_WEAPON_HAND = 1, PLAYER_BUBBLES = 2, PLAYER_FOOT_L = 3, PLAYER_FOOT_R = 4,
  PLAYER_HOOD_L = 6, PLAYER_HOOD_R = 7, PLAYER_HEAD = 8, PLAYER_BALL = 9
};
constexpr int PLAYER_HEAD_JOINT = 0;
constexpr int PLAYERTAB_NOHEADTURN = 8;

extern COBINFO game_cobinfo[GAME_COBTYPES];
extern EePtr<const char> player_anm[];
extern COBANIMPARAM player_tab[];
extern COBANIMEVENT player_fx[];
// Footsteps the hero's walk has fired, and where the last one fell.
extern int player_footsteps;
extern ZEVEC player_footstep;
