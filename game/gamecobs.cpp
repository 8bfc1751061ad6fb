// The game's character table. Type 0 is the hero, "torva": his model and
// his 59 animations under "chars\\torva", the hood's two weight animations
// beside the raise and the lowering, one settings row per animation, and a
// footstep at the left foot halfway through each walking stride. Rows the
// table leaves empty name no files.
#include "gamecobs.h"

EePtr<const char> player_anm[] = {
    "torva\\rest.ghg",
    "torva\\idle.ani", nullptr,  // 0
    "torva\\walk.ani", nullptr,  // 1
    "torva\\run.ani", nullptr,  // 2
    "torva\\cridle.ani", nullptr,  // 3
    "torva\\cwalk.ani", nullptr,  // 4
    "torva\\jumpu.ani", nullptr,  // 5
    "torva\\2idle.ani", nullptr,  // 6
    "torva\\fire.ani", nullptr,  // 7
    "torva\\jumpd.ani", nullptr,  // 8
    "torva\\bslam.ani", nullptr,  // 9
    "torva\\land.ani", nullptr,  // 10
    "torva\\slide.ani", nullptr,  // 11
    "torva\\hang.ani", nullptr,  // 12
    "torva\\firejuf.ani", nullptr,  // 13
    "torva\\swalk.ani", nullptr,  // 14
    "torva\\lgrab.ani", nullptr,  // 15
    "torva\\lidle.ani", nullptr,  // 16
    "torva\\lcrawll.ani", nullptr,  // 17
    "torva\\lcrawlr.ani", nullptr,  // 18
    "torva\\srun.ani", nullptr,  // 19
    "torva\\hoodd.ani", "torva\\hoodd.bsa",  // 20
    "torva\\hoodu.ani", "torva\\hoodu.bsa",  // 21
    "torva\\hit.ani", nullptr,  // 22
    "torva\\hit.ani", nullptr,  // 23
    "torva\\float.ani", nullptr,  // 24
    "torva\\swim.ani", nullptr,  // 25
    "torva\\idle.ani", nullptr,  // 26
    "torva\\die.ani", nullptr,  // 27
    "torva\\idle.ani", nullptr,  // 28
    "torva\\upfire.ani", nullptr,  // 29
    "torva\\scwalk.ani", nullptr,  // 30
    "torva\\crsidle.ani", nullptr,  // 31
    "torva\\ifire.ani", nullptr,  // 32
    "torva\\sslide.ani", nullptr,  // 33
    "torva\\sidle.ani", nullptr,  // 34
    "torva\\sdslam.ani", nullptr,  // 35
    "torva\\spin.ani", nullptr,  // 36
    "torva\\pidle.ani", nullptr,  // 37
    "torva\\gidle.ani", nullptr,  // 38
    "torva\\gjumpu.ani", nullptr,  // 39
    "torva\\gjumpd.ani", nullptr,  // 40
    "torva\\grun.ani", nullptr,  // 41
    "torva\\gwalk.ani", nullptr,  // 42
    "torva\\sland.ani", nullptr,  // 43
    "torva\\sit.ani", nullptr,  // 44
    "torva\\inpot.ani", nullptr,  // 45
    "torva\\flip.ani", nullptr,  // 46
    "torva\\pulli.ani", nullptr,  // 47
    "torva\\pulll.ani", nullptr,  // 48
    "torva\\pullr.ani", nullptr,  // 49
    "torva\\jumpu.ani", nullptr,  // 50
    "torva\\jumpd.ani", nullptr,  // 51
    "torva\\tswim.ani", nullptr,  // 52
    "torva\\atlas.ani", nullptr,  // 53
    "torva\\bwalk.ani", nullptr,  // 54
    "torva\\brun.ani", nullptr,  // 55
    "torva\\bidle.ani", nullptr,  // 56
    "torva\\djump.ani", nullptr,  // 57
    "torva\\wade.ani", nullptr,  // 58
    nullptr,
};
static_assert(sizeof player_anm / sizeof player_anm[0] == 2 + 2 * PLAYER_ANIMS);

// rate, second rate (the rate's cap), blend in, blend out, priority, end
// action (loop back to frame 1, or 0: hold the last frame), game flags.
COBANIMPARAM player_tab[PLAYER_ANIMS] = {
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 0 idle
    {2.0f, 2.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 1 walk
    {-28.5f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 2 run
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, PLAYERTAB_NOHEADTURN},  // 3 cridle
    {-60.0f, 1.4f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 4 cwalk
    {0.9f, 0.0f, 0.2f, 0.2f, 0, 0, 0},  // 5 jumpu
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 6 2idle
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 7 fire
    {0.9f, 0.0f, 0.2f, 0.2f, 0, 0, 0},  // 8 jumpd
    {1.5f, 0.0f, 0.2f, 0.2f, 0, 0, 0},  // 9 bslam
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 10 land
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 11 slide
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 12 hang
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 13 firejuf
    {2.0f, 2.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 14 swalk
    {1.4f, 0.0f, 0.05f, 0.1f, 0, 0, 0},  // 15 lgrab
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 16 lidle
    {-100.0f, 0.0f, 0.15f, 0.15f, 0, 1 << 24, 0},  // 17 lcrawll
    {-100.0f, 0.0f, 0.15f, 0.15f, 0, 1 << 24, 0},  // 18 lcrawlr
    {-28.5f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 19 srun
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 20 hoodd
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 21 hoodu
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 22 hit
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 23 hit
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 24 float
    {-40.0f, 1.2f, 0.3f, 0.3f, 0, 1 << 24, 0},  // 25 swim
    {1.0f, 0.0f, 0.01f, 0.3f, 0, 1 << 24, 0},  // 26 idle
    {1.0f, 0.0f, 0.01f, 0.3f, 0, 0, 0},  // 27 die
    {1.0f, 0.0f, 0.01f, 0.3f, 0, 1 << 24, 0},  // 28 idle
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 29 upfire
    {-60.0f, 1.4f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 30 scwalk
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 31 crsidle
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 32 ifire
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 33 sslide
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 34 sidle
    {1.5f, 0.0f, 0.2f, 0.2f, 0, 0, 0},  // 35 sdslam
    {5.0f, 0.0f, 0.2f, 0.3f, 0, 1 << 24, 0},  // 36 spin
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 37 pidle
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 38 gidle
    {0.9f, 0.0f, 0.2f, 0.2f, 0, 0, 0},  // 39 gjumpu
    {0.9f, 0.0f, 0.2f, 0.2f, 0, 0, 0},  // 40 gjumpd
    {-28.5f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 41 grun
    {2.0f, 2.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 42 gwalk
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 43 sland
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 44 sit
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 45 inpot
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 46 flip
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 47 pulli
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 48 pulll
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 49 pullr
    {0.9f, 0.0f, 0.2f, 0.2f, 0, 0, 0},  // 50 jumpu
    {0.9f, 0.0f, 0.2f, 0.2f, 0, 0, 0},  // 51 jumpd
    {-40.0f, 1.2f, 0.3f, 0.3f, 0, 1 << 24, 0},  // 52 tswim
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 53 atlas
    {2.0f, 2.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 54 bwalk
    {-28.5f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 55 brun
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, PLAYERTAB_NOHEADTURN},  // 56 bidle
    {0.9f, 0.0f, 0.2f, 0.2f, 0, 0, 0},  // 57 djump
    {1.0f, 0.0f, 0.2f, 0.2f, 0, 1 << 24, 0},  // 58 wade
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
    // the whole figure, 0.8 tall from its feet.
    {player_anm, player_tab, 1.0f, player_fx, 0.5333f, 0.4167f, 0, 6.0f, 0},
};
