// The game's character table. Type 0 is the hero, "torva": its model and
// its idle and walk under "chars\\torva", a footstep at the left foot
// halfway through each stride. Rows the table leaves empty name no files.
#include "gamecobs.h"

EePtr<const char> player_anm[] = {"torva\\rest.ghg", "torva\\idle.ani", nullptr, "torva\\walk.ani", nullptr, nullptr};
// rate, limit, blend in, blend out, priority, end action, game flags
COBANIMPARAM player_tab[] = {
    {1.0f, 0.0f, 0.4f, 0.4f, 0, 1 << 24, 0},
    {-1.0f, 2.0f, 0.3f, 0.3f, 1, 1 << 24, 0},  // follows the walking speed
};

int player_footsteps;
ZEVEC player_footstep;

namespace {

void Footstep(LOCATORINFO* info) {
  player_footsteps++;
  player_footstep = {info->mtx.m[3][0], info->mtx.m[3][1], info->mtx.m[3][2]};
}

}  // namespace

COBANIMEVENT player_fx[] = {
    {Footstep, 0, 0, PLAYER_WALK, 16.0f, 0.0f, PLAYER_FOOT_L},
    {nullptr, 0, 0, 0, 0.0f, 0.0f, 0},
};

COBINFO game_cobinfo[GAME_COBTYPES] = {
    // The distant image's quad (1.72 x radius tall round the centre) holds
    // the whole figure, 2.4 tall from its feet.
    {player_anm, player_tab, 1.0f, player_fx, 1.6f, 1.25f, 0, 6.0f, 0},
};
