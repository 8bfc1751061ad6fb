// The hero's record and state globals: creation, placement, the restart
// after a lost life, pad input and the small entry points that throw,
// bounce or launch the hero.
#include "player.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "game.h"
#include "levcon.h"
#include "support.h"

PlayerRecord Player;
COBLIGHTS PlayerLights;
TerrShapeRec PlrShape;

int gdir, algx, algy, algxr, algyr, jpad, jpadold, jpaddb, anamode, anamode2, olddir, helddir, dirvalid, smalldir,
    padoff;
float gpower;
int movemode, climb, energyon, grindon, zerogravity;
SplineHeader *lineon, *lineold, *energyline;
float zerogravitytop = NO_POS;
int kneeslide, attack, attacktype, slam, slamtype, spinning, spintype, fired, flipup, flipdir, jumpdouble, jumptype,
    jumphold, launch, cannontrail, duckcount, aimcount, walkstop, blown, dirfix, blendrot = 1, jog;
float jumprate = 0.5f;
int shieldpower = 300, powershield, shieldstatus, shieldtype, atlason;
float shieldscale, shieldtimer;
float waterlevel = TERR_NO_HEIGHT, oldwaterlevel = TERR_NO_HEIGHT;
int underwater, watersurface, inwater, underbeam, findrail;
float plrslow, lastslow;
int plrtilt, plrtilt2, plrdtilt, plrdtilt2;
int plrflash, falling, idletimer, idlecount, idleanim, moveidle, potidle, hooddown, animflag, plrhitdir;
float hoodupfactor, dying = NO_POS;
int stealth, status, groundinfo = -1, stopplayer, lookon, energycheck, player_ext_control, nomball;
ZEVEC playercolpos, sfxpos, sfxpos2, pushpos = {NO_POS, NO_POS, NO_POS}, jumpstart;
float highestpoint = -99999.0f, jumpdist;
int camang;
int (*LevelMoveFn)(PlayerRecord* record, PlrMoveParams* settings);
void (*MtmOverideFn)(PlayerRecord* record);
int start_player_lives = 9, start_player_hitpoints = 3, hitpoints_override, antidote_override, atlasshield_override;
float jumpheight = 0.07f, jumpspeed = 0.06f, jumpheight2 = 0.057f, jumpheight3 = 0.04f, jumpgrav = 0.003f;
int climbang, linept, linedir, linewait, energydir, energymid, energyswing, energypt;
float linepos, energypos, grindblend, lookblend;
ZEVEC climbpos, grindpos;
int headroty, lookat;
COB Squid;
ZEVEC squidtrail[SQUID_TRAIL];
int squiddist = 600, squidpt, swimfollow, squidon;

namespace {

// The stick's direction-pad bits by eighth of a turn from straight ahead.
constexpr int padtab[8] = {0x1000, 0x3000, 0x2000, 0x6000, 0x4000, 0xc000, 0x8000, 0x9000};

int RandomByte() { return randtab_ptr ? *randtab_ptr++ : 0; }

// The pickup counters and the antidote timer, as at creation and respawn.
void ResetPickupCounters() {
  for (int i = 0; i < 5; i++) num_pickups[i] = checked_num_pickups[i];
  num_pickups[ANTIDOTE] = ANTIDOTE_START;
  panel_antidote = 50;
}

int CameraYawAngle() { return int(CameraYaw() * 65536.0f / 6.2831853f) & 0xffff; }

}  // namespace

int PlayerFxType(const char* name) {
  for (const GenDebEntry* e = GenDeb; e->name; e++)
    if (strcmp(e->name.get(), name) == 0) return e->type;
  return -1;
}

void PlayerFx(const char* name, const ZEVEC* pos, int count) {
  const int type = PlayerFxType(name);
  if (type < 0) return;
  int key = -1;
  AddFiniteShotDebrisEffect(&key, type, pos, count);
}

bool PlayerOwned(int jetpack) {
  return VehicleInControl || players_cannon || PLAYER_USING_WIDGET || PLAYER_USING_POD || player_ext_control ||
         (Player.cob.flags & 4) || (jetpack && PlayerJetPack);
}

void InitPlayer(PlayerRecord* record) {
  memset(static_cast<void*>(record), 0, sizeof(*record));
  // Without the hero's model on the disc he moves unseen: a message, no type.
  char model[256];
  snprintf(model, sizeof model, "chars\\%s", cobinfo && cobinfo[0].anm ? cobinfo[0].anm.get()[0].get() : "");
  if (ZeFileSize(model) > 0) {
    AddCobType(0);
    InitCob(&record->cob, 0);
  } else {
    ZeDebugMsg("InitPlayer: no hero model %s, the hero is not drawn", model);
  }
  record->cob.lights = &PlayerLights;
  InitLight(&PlayerLights);
  record->cob.flags |= COB_DRAWN;
  SetPlayer(&playerstartpos, playerstartang);
  hooddown = 0;
  hoodupfactor = 0;
  record->lives = int16_t(start_player_lives);
  record->hitpoints = int16_t(start_player_hitpoints);
  record->checkpoint = nullptr;
  record->checkpointfog = 0;
  shieldpower = 300;
  sealevel = 0;
  squiddist = 600;
  squidpt = swimfollow = squidon = 0;
  camang = CameraYawAngle();
  ResetPickupCounters();
  NewShapeInit(&PlrShape);
}

void SetPlayer(const ZEVEC* position, int yaw) {
  PlayerRecord& p = Player;
  ZeMtxSetTranslation(&p.cob.mtx, position);
  p.cob.pos = *position;
  const ZEVEC probe = {position->x, position->y + 0.2f, position->z};
  const float floor = NewShadow(&probe, 0, 0.0f, 5.0f);
  if (floor < TERR_NO_HEIGHT && std::fabs(floor - position->y) <= 0.1f) p.cob.pos.y = floor;
  p.cob.flags &= ~2u;
  p.cob.rotx = p.cob.rotz = 0;
  p.prevpos = p.cob.pos;
  p.height = PLAYER_HEIGHT;
  p.groundheight = p.cob.pos.y;
  p.dispflags = 0;
  p.floortype = 0;
  p.jumpstate = p.slide = p.slopecontact = p.slopeyaw = p.slopesteep = 0;
  p.onground[0] = p.onground[1] = 0;
  p.grace = p.hurt = p.invuln = 0;
  // The reset values of the state globals.
  movemode = climb = energyon = grindon = zerogravity = 0;
  lineon = lineold = energyline = nullptr;
  zerogravitytop = NO_POS;
  InPot = nullptr;
  kneeslide = attack = attacktype = slam = spinning = spintype = fired = flipup = flipdir = 0;
  jumpdouble = jumptype = jumphold = launch = cannontrail = 0;
  jumprate = 0.5f;
  duckcount = aimcount = walkstop = blown = dirfix = 0;
  blendrot = 1;
  waterlevel = oldwaterlevel = TERR_NO_HEIGHT;
  plrtilt = plrtilt2 = plrdtilt = plrdtilt2 = 0;
  plrflash = falling = 0;
  dying = NO_POS;
  exitgame = 0;
  groundinfo = -1;
  pushpos = {NO_POS, NO_POS, NO_POS};
  stopplayer = 0;
  glass_enabled = 0;
  lasertype = lasertimer = 0;
  p.vel = {0, 0, 0};
  p.fspeed = p.sspeed = 0;
  p.spare[0] = p.spare[1] = p.spare[2] = 0;
  p.wantyaw = p.moveyaw = p.cob.roty = int16_t(yaw);
  shieldscale = lookblend = plrslow = shieldtimer = 0;
  maglen = magvel = 0;
  ResetWeapons();
}

void ClearMoves(int all) {
  lineold = lineon;
  Player.dispflags &= uint16_t(~PLRDISP_BIT1);
  zerogravitytop = NO_POS;
  lineon = nullptr;
  energyon = climb = walkstop = duckcount = aimcount = falling = grindon = slam = 0;
  plrdtilt = plrdtilt2 = zerogravity = jumpdouble = 0;
  pushpos = {NO_POS, NO_POS, NO_POS};
  if (attacktype == 0) attacktype = 1;
  if (!all) return;
  kneeslide = -10;
  flipdir = attack = flipup = shieldstatus = powershield = animflag = cannontrail = 0;
  magvel = maglen = 0;
  fired = blown = spinning = lookon = 0;
}

void GetPad() {
  const uint8_t* raw = pad0 ? pad0->raw : nullptr;
  olddir = gdir;
  algx = (raw ? raw[6] : 128) - 127;
  algy = (raw ? raw[7] : 128) - 127;
  algxr = (raw ? raw[4] : 128) - 127;
  algyr = (raw ? raw[5] : 128) - 127;
  gdir = (0x8000 - ZeAtani(algx, algy)) & 0xffff;
  if (flipdir) gdir = (0x17fff - gdir) & 0xffff;

  const float d = std::sqrt(float(algx * algx + algy * algy));
  float power = d <= JDEADZONE ? 0.0f : std::fmin((d - JDEADZONE) * 128.0f / (128 - JDEADZONE), 127.0f);
  int mode2;
  if (power == 0) {
    anamode = mode2 = 0;
  } else if (power < PLAYER_RUN_POWER || movemode == 1) {
    anamode = 2;
    mode2 = power >= PLAYER_RUN_POWER ? 3 : 2;
    power = 40;
  } else {
    anamode = mode2 = 3;
  }
  gpower = power / 128.0f;

  // A new direction is used once the stick has kept its mode for 4 frames.
  if (anamode2 == 0 && mode2 != 0) {
    helddir = gdir;
    dirvalid = 0;
  } else if (mode2 != 0 && mode2 == anamode2) {
    if (dirvalid < 4) dirvalid++;
    if (dirvalid == 4) helddir = gdir;
  } else {
    dirvalid = 0;
  }
  anamode2 = mode2;
  if (dirvalid != 4) gdir = helddir;

  jpadold = jpad;
  jpaddb = pad0 ? int(pad0->pressed & 0xffff) : 0;
  jpad = pad0 ? int(pad0->buttons & 0xffff) : 0;
  if (gpower > 0) jpad |= padtab[((gdir + 0x1000) >> 13) & 7];
  if (padoff) {
    jpad &= padoff;
    jpaddb &= padoff;
    gpower = 0;
    gdir = 0;
    anamode = 0;
  }
  if (std::abs(AngDiff(gdir, olddir)) < 6000 && anamode >= 2)
    smalldir = smalldir < 10 ? smalldir + 1 : 10;
  else
    smalldir = 0;
  if ((jpad & (PAD_L2 | PAD_R2)) && gpower > 0) {
    anamode = 1;
    blendrot = 12;
  }
}

void LifeLost() {
  PlayerRecord& p = Player;
  ZEVEC at = playerstartpos;
  float yaw = float(playerstartang);
  if (const PlayerCheckpoint* c = p.checkpoint.get()) {
    at = {c->x, c->y, c->z};
    yaw = c->yaw;
    fogpt = p.checkpointfog;
  } else {
    fogpt = 0;
  }
  SetPlayer(&at, int(yaw));
  shieldpower = 300;
  p.hitpoints = 3;
  squiddist = 600;
  oldcamspot = -1;
  hooddown = 0;
  hoodupfactor = 0;
  squidpt = swimfollow = squidon = camspot = 0;
  SwapCameras(1);
  pointcam_end = 0;
  LevConRestoreStartInfo();
  InitTassleHood();
  ResetPickupCounters();
  show_pickups_required_msg = -1;
  num_pickups_required = pickups_required_timer = 0;
  WidgetDeActivate();
  ResetPots(1);
  ResetPickups();
  ResetWeapons();
  ResetCreats();
  ReloadVehicles();
  LevelFxLifeLost();
  InitLight(&PlayerLights);
  QuickMsg("");
}

void KnockPlayer(int yaw) {
  if (attack <= 0 && kneeslide <= 0) return;
  PlayerRecord& p = Player;
  p.vel.y = 0;
  HitPlayer(yaw, 6, nullptr);
  const ZEVEC dust = {p.cob.pos.x, p.cob.pos.y + 0.4f, p.cob.pos.z};
  const ZEVEC ball = {MagMtx.m[3][0], MagMtx.m[3][1], MagMtx.m[3][2]};
  const int16_t turn = int16_t(p.cob.roty - 0x4000);
  for (const auto& [name, at] : {std::pair{"HitDust", &dust}, std::pair{"MBImpact2", &ball}}) {
    const int type = PlayerFxType(name);
    int key = -1;
    if (type >= 0 && AddFiniteShotDebrisEffect(&key, type, at, 1) >= 0) DebrisOrientation(key, 0, turn);
  }
  KaelSFX(RandomByte() & 1 ? SFX_MBALLHIT2 : SFX_MBALLHIT1, &p.cob.pos);
}

void BouncePlayer(float vspeed, int jumpstate) {
  jumptype = 0;
  Player.vel.y = vspeed;
  Player.jumpstate = int16_t(jumpstate);
  Player.onground[0] = Player.onground[1] = 0;
  Player.grace = 0;
}

void LaunchPlayer(float vspeed, int jumpstate) {
  BouncePlayer(vspeed, jumpstate);
  launch = 1;
  movemode = 0;
}

void ObrisResetPlayerWhileWaitingForKaelsFunction() {
  Player.vel.y = 0;
  slam = movemode = plrdtilt = 0;
}

void SpecialTerrainPlayer(PlayerRecord* record) {
  const ZEVEC centre = {record->cob.pos.x, record->cob.pos.y + PLAYER_RADIUS, record->cob.pos.z};
  ZEVEC normal;
  uint32_t value = 0;
  const int kind = SpecialTerrainCollideCheck(&centre, &normal, &value, PLAYER_RADIUS);
  if (kind < 1 || kind > 3) return;
  HitPlayer(value & 2 ? ZeAtan2D(normal.x, normal.z) : -1, int(value & 1), nullptr);
}

void PlayerAntidoteTimer(int held) {
  int& t = num_pickups[ANTIDOTE];
  if (held) {
    if (t < ANTIDOTE_HOLD) t = ANTIDOTE_HOLD;
    return;
  }
  t -= ANTIDOTE_STEP;
  if (t <= 0) {
    t = 0x10000;
    HitPlayer(-1, 1, nullptr);
  }
}
