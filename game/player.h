// The hero: the player record and its state globals, pad input, the
// per-frame movement with its special moves, animation, hits and the
// shield (player, plrmove, plranim, plrspecial).
#pragma once

#include <cstdint>

#include "coblib.h"
#include "gamelib.h"
#include "standins.h"
#include "zemath.h"

// ===================================================================
// Pad buttons the hero reads (the pad library's layout)
// ===================================================================
enum : int {
  PAD_L2 = 0x1, PAD_R2 = 0x2,  // either one with the stick deflected aims
  PAD_DUCK = 0x4,              // L1
  PAD_ACTION = 0x20,           // circle: shield, slam, spin, cannon
  PAD_JUMP = 0x40,             // cross
  PAD_FIRE = 0x80,             // square
  PAD_UP = 0x1000, PAD_RIGHT = 0x2000, PAD_DOWN = 0x4000, PAD_LEFT = 0x8000,
};

constexpr int JDEADZONE = 40;           // stick deflection that counts as none
constexpr float PLAYER_RUN_POWER = 90;  // mapped gpower (0..127) from which the hero runs
constexpr float NO_POS = 99999.0f;      // pushpos, zerogravitytop, dying: none
constexpr float PLAYER_HEIGHT = 0.768f, PLAYER_DUCK_HEIGHT = 0.576f, PLAYER_SWIM_HEIGHT = 0.384f,
                PLAYER_FLOAT_HEIGHT = 0.448f;
constexpr float PLAYER_RADIUS = 0.3f;
constexpr float FALL_CAP = -0.256f;

// Display flags of the record.
enum : uint16_t { PLRDISP_DRAWN = 1, PLRDISP_BIT1 = 2 };
// Move bits the special moves return.
enum : int { MOVE_ZEROVEL = 1, MOVE_NOJUMP = 2, MOVE_NOSTEER = 4 };

// The restart point a checkpoint records: x, y, z and the yaw as a float.
struct PlayerCheckpoint {
  float x, y, z, yaw;
};

struct PlayerRecord {
  ZEVEC prevpos;          // body position at the start of this frame's move
  ZEVEC vel;              // world units a frame; y vertical
  float fspeed;           // along the facing (ApplyForces); also the animation rate
  float sspeed;           // across the facing
  float height;           // 0.768 standing, 0.576 ducking, 0.448/0.384 swimming
  uint16_t dispflags;     // PLRDISP_*
  int16_t wantyaw;        // ZEANG the input asks for
  int16_t moveyaw;        // ZEANG of travel
  float groundheight;     // floor under the player, TERR_NO_HEIGHT none
  float spare[3];         // cleared on placement
  int32_t floortype;      // surface byte of the floor (low 8 bits)
  int16_t jumpstate;      // 0 ground, 1 rising held, 2 released, 3 falling/spent, 5 lock, 6 released from 5
  int16_t slide;          // counts down while sliding
  int16_t slopecontact;   // 0..16
  int16_t slopeyaw;       // ZEANG downhill
  int16_t slopesteep;     // normal y x 16384
  TerrHitInfo onground[2];  // the collision move's impact info: [0] on ground, [1] touched ground
  int16_t grace;          // 8 on the ground, counts down in the air
  int16_t hurt;           // > 0 knocked back, < 0 stunned
  int16_t hitpoints;      // -1 once dead
  int16_t invuln;         // frames every hit is kind 0
  int16_t lives;
  COB cob;                // the drawn character; its position is the body position
  EePtr<PlayerCheckpoint> checkpoint;  // null: the level start
  int32_t checkpointfog;
};
static_assert(offsetof(PlayerRecord, vel) == 12 && offsetof(PlayerRecord, height) == 32);
static_assert(offsetof(PlayerRecord, dispflags) == 36 && offsetof(PlayerRecord, moveyaw) == 40);
static_assert(offsetof(PlayerRecord, groundheight) == 44 && offsetof(PlayerRecord, floortype) == 60);
static_assert(offsetof(PlayerRecord, jumpstate) == 64 && offsetof(PlayerRecord, onground) == 74);
static_assert(offsetof(PlayerRecord, lives) == 84 && offsetof(PlayerRecord, cob) % 16 == 0);
static_assert(offsetof(PlayerRecord, checkpoint) == offsetof(PlayerRecord, cob) + sizeof(COB));

// Move settings, built each frame.
struct PlrMoveParams {
  float sidefriction;  // 0.008
  float brake;         // 0.004
  float accel;         // 0.004
  float jumpspeed;     // jumpheight
  float target;        // 0.072
  float limit;         // 0.176
  int32_t turn;        // 0x18000, 0xc00 ducking or swimming
};
static_assert(sizeof(PlrMoveParams) == 28);

// Slope rows: slides, lowest steepness, unused, highest steepness.
struct SlideRow {
  int16_t slides, lowest, unused, highest;
};
extern const SlideRow SlideInfo[6];
extern const float CannonTab[3];

// The animation slots of player_anm (by index).
enum : int {
  PA_IDLE = 0, PA_WALK = 1, PA_RUN = 2, PA_CRIDLE = 3, PA_CWALK = 4, PA_JUMPU = 5, PA_2IDLE = 6, PA_FIRE = 7,
  PA_JUMPD = 8, PA_BSLAM = 9, PA_LAND = 10, PA_SLIDE = 11, PA_HANG = 12, PA_FIREJUF = 13, PA_SWALK = 14,
  PA_LGRAB = 15, PA_LIDLE = 16, PA_LCRAWLL = 17, PA_LCRAWLR = 18, PA_SRUN = 19, PA_HOODD = 20, PA_HOODU = 21,
  PA_HIT = 22, PA_HITB = 23, PA_FLOAT = 24, PA_SWIM = 25, PA_DIE = 27, PA_UPFIRE = 29, PA_SCWALK = 30,
  PA_CRSIDLE = 31, PA_IFIRE = 32, PA_SSLIDE = 33, PA_SIDLE = 34, PA_SDSLAM = 35, PA_SPIN = 36, PA_PIDLE = 37,
  PA_GIDLE = 38, PA_GJUMPU = 39, PA_GJUMPD = 40, PA_GRUN = 41, PA_GWALK = 42, PA_SLAND = 43, PA_INPOT = 45,
  PA_FLIP = 46, PA_JUMPU2 = 50, PA_JUMPD2 = 51, PA_TSWIM = 52, PA_ATLAS = 53, PA_BWALK = 54, PA_BRUN = 55,
  PA_BIDLE = 56, PA_DJUMP = 57, PA_WADE = 58,
};

// The hero's points of interest.
enum : int { PLOC_HAND = 0, PLOC_WEAPON = 1, PLOC_BUBBLES = 2, PLOC_HEAD = 8, PLOC_BALL = 9 };

// ===================================================================
// The record and the state globals (player)
// ===================================================================
extern PlayerRecord Player;
extern COBLIGHTS PlayerLights;
extern TerrShapeRec PlrShape;

// Input.
extern int gdir, algx, algy, algxr, algyr, jpad, jpadold, jpaddb, anamode, anamode2, olddir, helddir, dirvalid,
    smalldir, padoff;
extern float gpower;
// Modes.
extern int movemode, climb, energyon, grindon, zerogravity;
extern SplineHeader *lineon, *lineold, *energyline;  // the line crawled, the one just left, the energy line
extern float zerogravitytop;
// Actions.
extern int kneeslide, attack, attacktype, slam, slamtype, spinning, spintype, fired, flipup, flipdir, jumpdouble,
    jumptype, jumphold, launch, cannontrail, duckcount, aimcount, walkstop, blown, dirfix, blendrot, jog;
extern float jumprate;
// Shield.
extern int shieldpower, powershield, shieldstatus, shieldtype, atlason;
extern float shieldscale, shieldtimer;
// Water.
extern float waterlevel, oldwaterlevel;
extern int underwater, watersurface, inwater, underbeam, findrail;
extern float plrslow, lastslow;
// Tilts.
extern int plrtilt, plrtilt2, plrdtilt, plrdtilt2;
// Timers.
extern int plrflash, falling, idletimer, idlecount, idleanim, moveidle, potidle, hooddown, animflag, plrhitdir;
extern float hoodupfactor, dying;
// Misc.
extern int stealth, status, groundinfo, stopplayer, lookon, energycheck, player_ext_control, nomball;
extern ZEVEC playercolpos, sfxpos, sfxpos2, pushpos, jumpstart;
extern float highestpoint, jumpdist;
extern int camang;
extern int player_draw_enabled, player_draw_enabled2, playershadow;  // the follow camera's yaw as the stick reads it
// Level hooks, null unless level code sets them.
extern int (*LevelMoveFn)(PlayerRecord* record, PlrMoveParams* settings);
extern void (*MtmOverideFn)(PlayerRecord* record);
// Start values and overrides.
extern int start_player_lives, start_player_hitpoints, hitpoints_override, antidote_override, atlasshield_override;
// Jump constants.
extern float jumpheight, jumpspeed, jumpheight2, jumpheight3, jumpgrav;
// The antidote timer: entry 2 of the pickup counters.
constexpr int ANTIDOTE = 2;
constexpr int ANTIDOTE_START = 0x320000, ANTIDOTE_STEP = 0x80, ANTIDOTE_HOLD = 0x1e00;

// Special-move state.
extern int climbang, linept, linedir, linewait, energydir, energymid, energyswing, energypt;
extern float linepos, energypos, grindblend, potlock, lookblend;
extern ZEVEC climbpos, grindpos;
extern int headroty, lookat;
// The sea chaser.
constexpr int SQUID_TRAIL = 60;
extern COB Squid;
extern ZEVEC squidtrail[SQUID_TRAIL];
extern int squiddist, squidpt, swimfollow, squidon;

void InitPlayer(PlayerRecord* record);
void SetPlayer(const ZEVEC* position, int yaw);
void ClearMoves(int all);
void GetPad();
void LifeLost();
void KnockPlayer(int yaw);
void BouncePlayer(float vspeed, int jumpstate);
void LaunchPlayer(float vspeed, int jumpstate);
void ObrisResetPlayerWhileWaitingForKaelsFunction();
void SpecialTerrainPlayer(PlayerRecord* record);
void PlayerAntidoteTimer(int held);  // one frame of the antidote timer
// True while something else (vehicle, cannon, widget, pod, cut scene,
// outside code; with jetpack 1 also the jet pack) owns the hero.
bool PlayerOwned(int jetpack);
// A named general effect (a row of GenDeb) at a position; nothing when the
// effect is not loaded.
void PlayerFx(const char* name, const ZEVEC* pos, int count);
int PlayerFxType(const char* name);

// ===================================================================
// Movement (plrmove)
// ===================================================================
void MovePlayer(int paused, int draw);
int JumpCode(float jumpspeed, PlayerRecord* record);
int DirMove(PlayerRecord* record, PlrMoveParams* settings, void* camera);
void ApplyForces(PlayerRecord* record, const PlrMoveParams* settings, int push);
void TerrainPlayer(PlayerRecord* record);
void NewTerrainShape(float value, PlayerRecord* record, TerrHitInfo* onground, int flags);
void CheckGround(PlayerRecord* record);
void CheckSlide(PlayerRecord* record, int floortype);
void MoveSettingsDefault(PlrMoveParams* settings);

// ===================================================================
// Animation, hits and shield (plranim)
// ===================================================================
void AnimPlayer();
extern int plranim, plranimmode;  // the slot and SetAnim mode chosen last (-1 none)
extern void** player_hood_weights;  // the hood's blend-shape weights for this frame
void PlayerHoodAnimation();
void HitPlayer(int yaw, int kind, const ZEVEC* position);
int CheckShield(int yaw);
void HitPlayerShield(int yaw, int kind);

// ===================================================================
// Special moves (plrspecial)
// ===================================================================
int ClimbCode(PlayerRecord* record);
int LineCrawl(PlayerRecord* record);
int EnergySlide(PlayerRecord* record);
int GrindCode(PlayerRecord* record);
int CheckInPot(PlayerRecord* record);
void SwimTrap();
void PlrExtras();
void ApplyPlayerHeadRotation();
void RotateChar(PlayerRecord* record);
