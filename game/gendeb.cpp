// The game's named particle effects: game code names an effect by its row
// of GenDeb. The rows are resolved to effect types once the general effect
// page is loaded, and the rows the general page lacks again from each
// level's own page when the level becomes current.
#include "game.h"
#include "gamelib.h"

GenDebEntry GenDeb[GENDEB_ROWS + 1] = {
    {-1, 0, "Impact1"}, {-1, 0, "Trail1"}, {-1, 0, "Pickup1"}, {-1, 0, "Pickup2"}, {-1, 0, "Trail3"},
    {-1, 0, "Impact2"}, {-1, 0, "Impact3"}, {-1, 0, "Trail4"}, {-1, 0, "ShotExplode1"}, {-1, 0, "Dust1"},
    {-1, 0, "Dust2"}, {-1, 0, "Steam1"}, {-1, 0, "Smoke3"}, {-1, 0, "Dust3"}, {-1, 0, "Dust4"}, {-1, 0, "CaveDust"},
    {-1, 0, "Explode1"}, {-1, 0, "ArcFX1"}, {-1, 0, "Trail5"}, {-1, 0, "Impact4"}, {-1, 0, "Impact5"},
    {-1, 0, "Trail6"}, {-1, 0, "PickTrail1"}, {-1, 0, "PotSmoke"}, {-1, 0, "Break1"}, {-1, 0, "Bubble"},
    {-1, 0, "TNTFX1"}, {-1, 0, "TNTFX2"}, {-1, 0, "PotSmoke2"}, {-1, 0, "CheckPot"}, {-1, 0, "ArcFX2"},
    {-1, 0, "Magnet"}, {-1, 0, "ShieldImpact1"}, {-1, 0, "Lights1"}, {-1, 0, "TNTSpit"}, {-1, 0, "Cannon"},
    {-1, 0, "Trail7"}, {-1, 0, "Feather"}, {-1, 0, "Trail8"}, {-1, 0, "Explode2"}, {-1, 0, "Dust5"}, {-1, 0, "Dust6"},
    {-1, 0, "Trail9"}, {-1, 0, "Splash1"}, {-1, 0, "Burn1"}, {-1, 0, "Energy1"}, {-1, 0, "BlowerBits"},
    {-1, 0, "MBall1"}, {-1, 0, "MBall2"}, {-1, 0, "DoomDust"}, {-1, 0, "MBall3"}, {-1, 0, "MBall4"},
    {-1, 0, "MBall5"}, {-1, 0, "KneeSlide"}, {-1, 0, "GlowOrb"}, {-1, 0, "FireBall"}, {-1, 0, "FireExplode1"},
    {-1, 0, "Kaboom1"}, {-1, 0, "Slam1"}, {-1, 0, "Slam2"}, {-1, 0, "MBImpact1"}, {-1, 0, "MBImpact2"},
    {-1, 0, "Bees1"}, {-1, 0, "Explode3"}, {-1, 0, "Splat1"}, {-1, 0, "CheckPot2"}, {-1, 0, "Bubbles"},
    {-1, 0, "CheckPot3"}, {-1, 0, "DoomDust1"}, {-1, 0, "ShieldHit1"}, {-1, 0, "Splat2"}, {-1, 0, "Explode4"},
    {-1, 0, "Trail2"}, {-1, 0, "BoatSpray1"}, {-1, 0, "BoatSpray2"}, {-1, 0, "Beam1"}, {-1, 0, "MBallSpark1"},
    {-1, 0, "Elec1"}, {-1, 0, "Elec2"}, {-1, 0, "Elec3"}, {-1, 0, "Elec4"}, {-1, 0, "FishSplash"},
    {-1, 0, "EnergyTrail"}, {-1, 0, "EnergyGot"}, {-1, 0, "GFlame1"}, {-1, 0, "PotShield"}, {-1, 0, "TheSun"},
    {-1, 0, "GoldGlow"}, {-1, 0, "SlideDust"}, {-1, 0, "TNTFX3"}, {-1, 0, "WeapPot"}, {-1, 0, "EnergyPickup"},
    {-1, 0, "AxeSpark"}, {-1, 0, "Dust7"}, {-1, 0, "Beam2"}, {-1, 0, "FireBall2"}, {-1, 0, "FireBHaze1"},
    {-1, 0, "FireImpact1"}, {-1, 0, "PlasmaBall"}, {-1, 0, "HoverSmoke"}, {-1, 0, "HoverFlame"},
    {-1, 0, "BigExplode1"}, {-1, 0, "BigExplode2"}, {-1, 0, "BigSmoke"}, {-1, 0, "Cannon1"}, {-1, 0, "PineTrail"},
    {-1, 0, "BigSmoke2"}, {-1, 0, "Torpedo"}, {-1, 0, "BoatJet"}, {-1, 0, "HitDust"}, {-1, 0, "PotFire"},
    {-1, 0, "Bubbles2"}, {-1, 0, "MineFlame"}, {-1, 0, "DragonGlow"}, {-1, 0, "Beam3"}, {-1, 0, "Explode5"},
    {-1, 0, "Splat4"}, {-1, 0, "BigRob1"}, {-1, 0, "BigRob2"}, {-1, 0, "BigRob3"}, {-1, 0, "BigRob4"},
    {-1, 0, "BoatSpray3"}, {-1, 0, "BoatSpray4"}, {-1, 0, "HoverHaze"}, {-1, 0, "HoverDust1"}, {-1, 0, "Trail10"},
    {-1, 0, "CNFlame1"}, {-1, 0, "CNSmoke1"}, {-1, 0, "RainSplash"}, {-1, 0, "Explode6"}, {-1, 0, "GoldCog"},
    {-1, 0, "TNTFX4"}, {-1, 0, "Antidote"}, {-1, 0, "WheelDust3"}, {-1, 0, "ExhaustFlame2"}, {-1, 0, "SpiderDust"},
    {-1, 0, "FireBall3"}, {-1, 0, "AlienSplat"}, {-1, 0, "AlienSmoke"}, {-1, 0, "Blob1"}, {-1, 0, "TBubbles"},
    {-1, 0, "FField2"}, {-1, 0, "WaterBits"}, {-1, 0, "ElecTrail"}, {-1, 0, "SandDust"}, {-1, 0, "ArcFX3"},
    {-1, 0, "PStream3"}, {-1, 0, "Beam4"}, {-1, 0, "Beam5"}, {-1, 0, "Beam6"}, {-1, 0, "Beam7"}, {-1, 0, "FireStorm"},
    {-1, 0, "FireStormH"}, {-1, 0, "Escape1"}, {-1, 0, "ElecTrail2"}, {-1, 0, "QuadShield"}, {-1, 0, "RocketFizz"},
    {-1, 0, "RocketSmoke"}, {-1, 0, "QuadDust"}, {-1, 0, "BugGlow"}, {-1, 0, "EyeHit"}, {-1, 0, "EyeTrail"},
    {-1, 0, "AtlasFire"}, {-1, 0, "VolDust"}, {-1, 0, "Trail11"}, {-1, 0, "TSplash1"}, {-1, 0, "TSplash2"},
    {-1, 0, "WaterFallC"}, {-1, 0, "Blob2"}, {-1, 0, "CShot1"}, {-1, 0, "rocketBlast"}, {-1, 0, "OasisDust"},
    {-1, 0, "Cannon2"}, {-1, 0, "ENGINE0"}, {-1, 0, "ENGINE1"}, {-1, 0, "ENGINE2"}, {-1, 0, "CONTRAIL0"},
    {-1, 0, "CONTRAIL1"}, {-1, 0, "HEAT"}, {-1, 0, "FIZZLE"}, {-1, 0, "LASER0"}, {-1, 0, "EXPLO0"},
    {-1, 0, "STARDRIVE"}, {-1, 0, "CLOUD0"}, {-1, 0, "Hoop1"}, {-1, 0, "Hoop2"}, {-1, 0, "Hoop3"},
    {-1, 0, "dmflame1"}, {-1, 0, "dmflame2"}, {-1, 0, "Exhaust_Flame"}, {-1, 0, "Wheel_Dust"}, {-1, 0, "Wheel_Dust2"},
    {-1, 0, "SPACEEXPLODE1"}, {-1, 0, "SPACE_TRAIL_B"}, {-1, 0, "SPACESPIRAL"}, {-1, 0, "PLASMA_EXPLO"},
    {-1, 0, "PLASMA_SWIRL"}, {-1, 0, "PLASMA_RING"}, {-1, 0, "SPACE_PUP"}, {-1, 0, "SPACE_TRAIL_G"},
    {-1, 0, "SPACE_PUP_C"}, {-1, 0, "SPACE_MINE"}, {-1, 0, "SPACE_SHIELD"}, {-1, 0, "SPACE_SHIELDPU"},
    {-1, 0, "SPACE_SHIELD2"}, {-1, 0, "SPACE_EXPLOB"}, {-1, 0, "QUEEN_PLASMA"}, {-1, 0, "QUEEN_DRIPS"},
    {-1, 0, "QUEEN_EXPLOG"}, {-1, 0, "QUEEN_SPURT"}, {-1, 0, "QUEEN_EGGSPLO"}, {-1, 0, "BUG_PLASMA"},
    {-1, 0, "QUEEN_PWRUP"}, {-1, 0, "SPACE_TRAIL_Y"}, {-1, 0, "GliderFX1"},
    {-1, 0, nullptr}};

void InitGenDeb() {
  for (GenDebEntry* e = GenDeb; e->name; e++) {
    e->type = int16_t(LookupDebrisEffect(e->name));
    e->found = e->type >= 0;
  }
}

void InitLevelDeb(int page) {
  for (GenDebEntry* e = GenDeb; e->name; e++)
    if (!e->found) e->type = int16_t(LookupDebrisEffectPage(e->name, page));
}
