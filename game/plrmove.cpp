// The hero's per-frame update: pad input to movement through the collision
// world, the jump code, steering and forces, the collision move, the ground
// below (water, hurting floors, crushes), the timers and the shield.
#include <algorithm>
#include <cmath>

#include "game.h"
#include "player.h"
#include "support.h"

int player_draw_enabled = 1, player_draw_enabled2 = 1;
int playershadow;  // the hero's blob shadow is wanted (on the ground, floor type 0)

const SlideRow SlideInfo[6] = {
    {1, 11585, 0, 0},     {0, 4096, 8192, 12768}, {1, 4096, 8192, 12768},
    {0, 4096, 8192, 12768}, {0, 4096, 8192, 12768}, {1, 4096, 8192, 12768},
};
const float CannonTab[3] = {0.12f, 0.16f, 0.2f};

namespace {

bool OnGround(const PlayerRecord& p) { return p.onground[0] || p.onground[1]; }
bool Moving(const PlayerRecord& p) { return anamode >= 2 || p.fspeed > 0.01f; }
bool PushingSlope(const PlayerRecord& p, int contact) { return p.slopecontact > contact && p.slopesteep > 0x1091; }

// The stick's x beyond a dead zone of 32.
int StickX() { return algx > 32 ? algx - 32 : algx < -32 ? algx + 32 : 0; }

void FreezeInput() {
  gdir = olddir;
  jpad = jpaddb = 0;
  gpower = 0;
  algx = algy = algxr = algyr = 0;
  anamode = 0;
}

// The culling box round the hero against the view.
void Visibility(PlayerRecord& p) {
  if (!player_draw_enabled) {
    p.cob.visible = 0;
    return;
  }
  const ZEVEC& c = p.cob.pos;
  const ZEVEC lo = {c.x - 1, c.y - 1, c.z - 1}, hi = {c.x + 1, c.y + 1, c.z + 1};
  p.cob.visible = ZeCameraClipTestExtents(&lo, &hi, nullptr);
}

// Queues the hero (unless looking from inside him) and the sea chaser; the
// locators of the hands and the ball; the water tint.
void DrawHero(PlayerRecord& p, int draw) {
  if (draw && player_draw_enabled2 && (p.dispflags & PLRDISP_DRAWN) && p.cob.type) {
    bool inside = false;
    if (lookon && kaelcam)
      inside = std::fabs(kaelcam->mtx.m[3][0] - p.cob.pos.x) < 0.5f && std::fabs(kaelcam->mtx.m[3][2] - p.cob.pos.z) < 0.5f;
    if (!inside) AddCob(&p.cob);
  }
  if (draw && squidon && Squid.type) AddCob(&Squid);
  playershadow = p.grace && (p.floortype & 0xff) == 0;
  if (p.cob.type) {
    RequestLocator(PLOC_HAND, &p.cob, Weapons, nullptr);
    RequestLocator(PLOC_WEAPON, &p.cob, Weapons2, nullptr);
    RequestLocator(PLOC_BALL, &p.cob, DrawMBall, nullptr);
  }
  if (movemode == 2)
    ZeRndrWaterLevelTint(waterlevel, 0x80c0a040);
  else if (flipdir)
    ZeRndrWaterLevelTint((kaelcam ? kaelcam->mtx.m[3][1] : p.cob.pos.y) + 100.0f, 0x8040c040);
  else
    ZeRndrWaterLevelTint(-10000.0f, 0x80c08040);
}

// Step 17 and the owned frames: antidote, hurt, blink, dying, invulnerability.
void Timers(PlayerRecord& p, PlrMoveParams* s, int held) {
  PlayerAntidoteTimer(held);
  if (p.hurt > 0) {
    p.hurt--;
    if (s) s->accel = 0, s->brake = s->sidefriction = 0.0005f;
  } else if (p.hurt < 0) {
    p.hurt++;
    if (s) s->brake = 0.0005f, s->sidefriction = 0.001f;
  }
  p.dispflags |= PLRDISP_DRAWN;
  if (plrflash > 0) {
    plrflash--;
    if (plrflash && (plrflash / 2) % 3 == 0) p.dispflags &= uint16_t(~PLRDISP_DRAWN);
  }
  if (exitgame > 1) p.hitpoints = -1;
  if (p.invuln > 0) p.invuln--;
}

// The hood comes down while something else holds the hero.
void LowerHood() {
  if (hooddown > 25 || hooddown < -25) hooddown = 25;
  if (hooddown < 0) hooddown = -hooddown;
  if (hooddown > 0) {
    hooddown--;
    if (hooddown < 26) hoodupfactor = float(hooddown) / 13.0f;
    if (hoodupfactor > 1) hoodupfactor = 1;
  }
  if (hooddown == 0) hoodupfactor = 0;
}

void Ease(int* tilt, int want) {
  const int d = (want - *tilt) / 8;
  *tilt = d ? *tilt + d : want;
}

}  // namespace

void MoveSettingsDefault(PlrMoveParams* s) { *s = {0.008f, 0.004f, 0.004f, jumpheight, 0.072f, 0.176f, 0x18000}; }

void MovePlayer(int paused, int draw) {
  PlayerRecord& p = Player;
  if (p.cob.pos.y > highestpoint) highestpoint = p.cob.pos.y;
  shieldstatus = atlason ? 2 : 0;
  if (paused) {
    if (PlayerOwned(1)) return;
    ApplyPlayerHeadRotation();
    Visibility(p);
    if (player_draw_enabled2 && (p.dispflags & PLRDISP_DRAWN) && p.cob.type) ProcessAnim(&p.cob);
    DrawHero(p, draw);
    return;
  }
  const int held = antidote_override || hitpoints_override || (p.cob.flags & 4);
  antidote_override = 0;
  GetPad();
  if (exitgame > 1 || CameraPanActive || stopplayer) {
    FreezeInput();
    stopplayer = 0;
  }
  if (lookon) gpower = 0, gdir = olddir, anamode = 0;
  if (PlayerOwned(0)) {
    Timers(p, nullptr, held);
    LowerHood();
    p.prevpos = {p.cob.mtx.m[3][0], p.cob.mtx.m[3][1], p.cob.mtx.m[3][2]};
    return;
  }
  ApplyPlayerHeadRotation();
  if (PlayerJetPack) {
    jpad = 0;
    movemode = 4;
  } else if (movemode == 4) {
    movemode = 0;
  }
  aimcount = anamode == 1 ? std::min(5, aimcount + 1) : 0;
  if (dirfix > 0) blendrot = 12, dirfix--;
  if (p.hurt > 0) FreezeInput(), blendrot = 12;
  if (debug_options && (jpad & 0x108) == 0x108) {  // SELECT with R1: fly up
    p.cob.pos.y += 0.1f;
    slam = plrdtilt = movemode = 0;
    p.vel.y = 0;
  }
  PlrMoveParams s;
  MoveSettingsDefault(&s);
  if (plrslow != 0 && anamode == 3) s.target = plrslow;
  lastslow = plrslow;
  plrslow = 0;

  // Spin on the action button while the ball is out.
  if ((jpaddb & PAD_ACTION) && spinning <= 0 && fired > 0 && shieldpower > 0) {
    spintype = 1, spinning = 30, magtilt = 0, attack = 0;
    shieldpower = std::max(0, shieldpower - 30);
  } else if ((jpad & PAD_ACTION) && spinning == 1 && spintype == 1 && shieldpower > 0) {
    spinning = 2;
    shieldpower--;
  }
  if (anamode == 3)
    jog = std::min(10, jog + 1);
  else if (anamode == 2 || p.fspeed <= 0.001f)
    jog = std::max(0, jog - 1);
  if (flipdir > 0) flipdir--;

  switch (movemode) {
    case 1:
      spinning = 0;
      s.turn = 0xc00;
      p.height = PLAYER_DUCK_HEIGHT;
      if (!(jpad & PAD_DUCK)) duckcount = 20, movemode = 0;
      break;
    case 2: {
      spinning = attack = slam = kneeslide = 0;
      s.turn = 0xc00;
      p.height = waterlevel < p.cob.pos.y + 0.64f && anamode < 2 ? PLAYER_FLOAT_HEIGHT : PLAYER_SWIM_HEIGHT;
      plrdtilt = int(-p.vel.y * 500000.0f);
      Clamp(&plrdtilt, 4096);
      jumphold = 2;
      s.target = 0.04f, s.brake = 0.0005f;
      falling = 0;
      break;
    }
    case 4:
      spinning = kneeslide = attack = slam = 0;
      p.height = PLAYER_SWIM_HEIGHT;
      break;
    default:
      if (duckcount > 0) duckcount--;
      p.height = PLAYER_HEIGHT;
      if (spinning) s.sidefriction = 0.004f;
      if ((jpad & PAD_DUCK) && p.grace && !InPot && !spinning) {
        if (anamode == 3 && kneeslide >= 0) {
          if (kneeslide == 0) {
            kneeslide = 200;
            if ((jpad & PAD_ACTION) && shieldpower >= 30 && powershield >= 0) {
              powershield = -30, blendrot = 12, shieldpower -= 30;
              KaelSFX(SFX_SHIELDON, &sfxpos);
            }
          }
        } else if (anamode != 3 && kneeslide <= 0 && !(jpad & PAD_JUMP) && duckcount == 0 && !slam) {
          movemode = 1;
          KaelSFX(SFX_DUCK, &sfxpos);
        }
      }
      break;
  }
  if (kneeslide > 0) {
    kneeslide--;
    if (p.vel.y > 0.02f) p.vel.y = 0.02f;
  }
  if (attack > 0) attack--;
  if (kneeslide <= 0) {
    if (powershield < 0 && !slam) {
      powershield = 0;
      KaelSFX(SFX_SHIELDOFF, &sfxpos);
    }
    if (kneeslide >= -9 && kneeslide <= -1)
      kneeslide++;
    else if (kneeslide == -10 && !(jpad & PAD_DUCK))
      kneeslide = -9;
  }
  // A walk stops short of a drop; a run goes over.
  if (anamode != 3 && kneeslide <= 0 && p.grace && p.hurt <= 0) {
    ZEVEC ahead = {0, p.cob.pos.y + 0.2f, 0};
    FastRotateX(p.moveyaw, &ahead, walkstop ? 0.6f : 0.3f);
    ahead.x += p.cob.pos.x, ahead.z += p.cob.pos.z;
    const float floor = NewShadow(&ahead, 0, 0.0f, 5.0f);
    if (floor < TERR_NO_HEIGHT && floor < p.cob.pos.y - 0.3f) {
      p.vel.x = p.vel.z = 0;
      walkstop = anamode <= 1 ? 2 : 1;
      if (walkstop == 1) gpower = 0, anamode = 0;
    } else {
      walkstop = 0;
    }
  } else {
    walkstop = 0;
  }
  status = (p.grace ? 1 : 0) | (climb ? 4 : 0) | (falling == 800 || falling < 0 ? 8 : 0);
  if (!p.grace) {
    s.brake = 0.004f, s.target = jumpspeed;
  } else {
    energycheck = flipup = 0;
  }
  Timers(p, &s, held);

  int bits = 0;
  if (spinning <= 0) bits = LineCrawl(&p) | EnergySlide(&p) | ClimbCode(&p) | GrindCode(&p);
  bits |= CheckInPot(&p);
  if (flipup) p.vel.x = p.vel.z = 0;
  if (slam > 0) {
    slam--;
    if (slam >= 80) {
      bits |= 7;
    } else if (OnGround(p)) {
      slam = -40;
    } else {
      slam = 60;
      p.vel = {0, -0.128f, 0};
      bits |= 6;
    }
  }
  if (slam < 0) {
    if (slam == -40) {
      SetShakeCam(0.1f, 32.0f, 0.0025f, 0.25f);
      if (slamtype == 1) {
        PlayerFx("Slam1", &p.cob.pos, 1);
        KaelSFX(SFX_SLAM, &p.cob.pos);
      } else {
        AddKaboom(&p.cob.pos, 2);
        KaelSFX(SFX_SHIELDLAND, &p.cob.pos);
      }
    }
    if (++slam == 0) blendrot = 12;
    bits |= 7;
  }
  if (LevelMoveFn) bits |= LevelMoveFn(&p, &s);
  if (bits & MOVE_ZEROVEL) p.vel = {0, 0, 0};
  if (PushingSlope(p, 4)) {
    if (!p.slide) {
      const float f = p.slopecontact <= 16 ? float(16 - p.slopecontact) / 16.0f : 0.0f;
      s.brake *= f, s.sidefriction *= f;
    } else {
      s.sidefriction *= 0.1f, s.brake *= 0.02f;
    }
  }
  if (!PlayerJetPack && !(bits & MOVE_NOJUMP)) JumpCode(s.jumpspeed, &p);
  if (kneeslide > 0) {
    s.target = 0.16f, s.brake = 0.003f, s.accel = 0.16f;
    p.height = PLAYER_SWIM_HEIGHT;
  } else if (attack > 0 && attacktype == 0 && p.grace) {
    s.brake = 0.006f;
    s.accel = s.target = s.limit = float(attack) * 0.16f / 40.0f;
  }
  if (!PlayerJetPack && !(bits & MOVE_NOSTEER)) {
    const int push = DirMove(&p, &s, kaelcam);
    ApplyForces(&p, &s, push);
    if (p.slide) {
      p.vel.x -= ZeTrigSin(p.slopeyaw) * 0.001f;
      p.vel.z -= ZeTrigCos(p.slopeyaw) * 0.001f;
    }
  }
  if (MtmOverideFn) MtmOverideFn(&p);

  p.prevpos = p.cob.pos;
  const float vy = p.vel.y;
  SpecialTerrainPlayer(&p);
  const bool wasground = OnGround(p);
  TerrainPlayer(&p);
  if (!wasground && OnGround(p) && vy < -0.05f) {
    PlayerFx("Dust1", &p.cob.pos, 1);
    KaelSFX(SFX_JUMPLAND, &p.cob.pos);
  }
  p.grace = OnGround(p) ? 8 : std::max(0, p.grace - 1);
  sfxpos = sfxpos2 = p.cob.pos;
  p.groundheight = NewShadowEx(&p.cob.pos, 0xff, 0.0f, 4.0f, 10.0f);
  p.floortype = ShadowInfo() & 0xff;
  CheckGround(&p);
  playercolpos = {p.cob.pos.x, p.cob.pos.y + p.height * 0.5f, p.cob.pos.z};

  // Falls: the capped speed counts as fast, so 80 frames at the cap are a
  // long fall and the next landing is hard.
  if (falling < 0) {
    falling++;
  } else if (climb || (status & 1)) {
    falling = 0;
  } else if (vy <= FALL_CAP && !OnGround(p)) {
    if (falling != 800 && ++falling > 80) {
      falling = 800;
      p.dispflags &= uint16_t(~PLRDISP_BIT1);
    }
  } else if (p.grace) {
    if (falling == 800) {
      falling = -70;
      p.vel = {0, 0, 0};
    } else {
      falling = 0;
    }
  } else if (falling != 800) {
    falling = 0;
  }
  Visibility(p);

  if (blendrot > 1) blendrot--;
  int target = p.moveyaw;
  if (blown > 0) {
    const ZEVEC cam = kaelcam ? ZEVEC{kaelcam->mtx.m[3][0], 0, kaelcam->mtx.m[3][2]} : p.cob.pos;
    target = (ZeAtan2D(p.cob.pos.x - cam.x, p.cob.pos.z - cam.z) + gdir) & 0xffff;
    if (--blown == 0) p.moveyaw = int16_t(target);
  }
  p.cob.roty = int16_t(p.cob.roty + AngDiff(target, p.cob.roty) / blendrot);

  // The shield.
  if (powershield || spinning > 1) KaelSFX(SFX_SHIELDLOOP, &sfxpos);
  if (powershield < 0) {
    if (powershield < -1) powershield++;
  } else {
    const bool can = movemode != 2 && fired <= 0 && kneeslide <= 0 && !slam && !climb &&
                     (p.jumpstate == 0 || p.jumpstate > 4) && shieldpower > 0 && !InPot && !lookon;
    if (can && (jpaddb & PAD_ACTION) && powershield == 0) {
      powershield = 30;
      KaelSFX(SFX_SHIELDON, &sfxpos);
    } else if (powershield > 0) {
      if (can && (jpad & PAD_ACTION)) {
        if (powershield > 1) powershield--;
      } else if (--powershield == 0) {
        KaelSFX(SFX_SHIELDOFF, &sfxpos);
      }
    }
  }
  shieldscale = powershield ? std::fmin(2.0f, shieldscale + 0.1f) : std::fmax(0.0f, shieldscale - 0.1f);
  shieldtimer = powershield ? std::fmin(1.0f, shieldtimer + 0.016f) : std::fmax(0.0f, shieldtimer - 0.016f);

  if (DebrisCollisionCheck(&playercolpos, PLAYER_RADIUS) >= 0)
    HitPlayer(ZeAtan2D(p.cob.pos.x - debris_collide_pt.x, p.cob.pos.z - debris_collide_pt.z), 1, nullptr);
  AnimPlayer();
  PlrExtras();

  Ease(&plrtilt, plrdtilt);
  Ease(&plrtilt2, plrdtilt2);
  if (plrtilt || plrtilt2) {
    ZEVEC a = {}, b = {};
    FastRotateX(-p.cob.roty, &a, float(plrtilt));
    FastRotateX(p.cob.roty, &b, float(plrtilt2));
    p.cob.rotx = int16_t(a.z + b.x);
    p.cob.rotz = int16_t(a.x + b.z);
  } else {
    RotateChar(&p);
  }
  if (spinning > 0) spinning--;
  DrawHero(p, draw);
  stealth = anamode == 3 ? 3 : 2;
  if (movemode == 2 || movemode == 1 || smokeon) stealth = 1;
  if (shieldtype == 1) stealth = 0;
  SwimTrap();
}

int JumpCode(float jumpspd, PlayerRecord* r) {
  PlayerRecord& p = *r;
  const bool ground = OnGround(p);
  if (watersurface > 0) watersurface--;
  if (zerogravity) {
    if (zerogravitytop == NO_POS) {
      if (ground)
        zerogravity = 0;
      else
        p.vel.y -= zerogravity == 1 ? 0.001f : 0.0005f;
    } else if (ground) {
      p.vel.y = 0.1f;
    } else if (p.cob.pos.y < zerogravitytop) {
      p.vel.y += (jpad & PAD_JUMP) ? 0.004f : 0.001f;
    } else {
      p.vel.y -= 0.001f;
    }
    if (zerogravity) {
      ClampF(&p.vel.y, 0.064f);
      p.jumpstate = 3;
      p.onground[0] = p.onground[1] = 0;
      p.grace = 0;
      return 0;
    }
  }
  if (movemode == 2) {
    const float top = waterlevel - p.height;  // the head at the surface
    const bool rise = (jpad & PAD_JUMP) || (sealevel != 0 && waterlevel == sealevel && p.hitpoints > 0);
    if (rise) {
      if (p.cob.pos.y < top) p.vel.y += 0.001f;
      if (p.cob.pos.y + p.vel.y > top) p.vel.y = top - p.cob.pos.y;
      watersurface = 60;
    } else if (!ground) {
      if (std::fabs(p.cob.pos.y - top) <= 0.001f) {
        if (anamode <= 1) watersurface = 60;
      } else if (!watersurface) {
        p.vel.y -= 0.001f;
      }
      if (watersurface) p.vel.y = 0;
    } else {
      p.vel.y = 0;
    }
    ClampF(&p.vel.y, 0.016f);
    p.jumpstate = 5;
    return 0;
  }
  if (jumphold == 2)
    jumphold = 1;
  else if (jumphold == 1 && !(jpad & PAD_JUMP))
    jumphold = 0;
  const bool held = (jpad & PAD_JUMP) || launch;
  int js = p.jumpstate;
  if (!held) {
    if (ground) {
      if (js) jumpdist = std::hypot(p.cob.pos.x - jumpstart.x, p.cob.pos.z - jumpstart.z);
      js = 0;
    } else if (js == 1) {
      js = 2;
    } else if (js == 5) {
      js = 6;
    }
  } else if (js == 1 || js > 3) {
    if (ground)
      js = 5;
    else if (js == 6)
      js = 3;
  } else if (!p.grace || falling == 800 || jumphold || kneeslide > 179) {
    if (js == 2) {
      if (jumpdouble == 0) {
        p.vel.y = p.vel.y > 0 ? jumpheight2 : jumpheight3;
        KaelSFX(SFX_JUMP, &sfxpos);
        jumpdouble = 2, jumptype = 0, js = 1;
        p.onground[0] = p.onground[1] = 0;
      } else {
        js = 3;
      }
    }
  } else {
    if (InPot) {
      p.vel.y = 0.09f;
      jumpdouble = 2, jumptype = 0, js = 3;
    } else if (kneeslide >= 1 && kneeslide <= 179) {
      p.vel.y = 0.08f;
      jumptype = 1, jumpdouble = 2, js = 1;
    } else if (movemode == 1) {
      p.vel.y = 0.09f;
      duckcount = 20, jumptype = 0, movemode = 0, jumpdouble = 2, js = 1;
    } else {
      p.vel.y = jumpspd;
      attack = 0;
      jumptype = anamode == 3;
      jumpdouble = 0;
      jumpstart = p.cob.pos;
      js = 1;
    }
    if (!InPot) KaelSFX(SFX_JUMP, &sfxpos);
    p.onground[0] = p.onground[1] = 0;
    p.grace = 0;
    if (kneeslide > 0) blendrot = 12;
    kneeslide = -10;
    slam = 0;
  }
  // The slam: the action button high enough above the ground.
  if ((js == 1 || js == 2 || flipup) && (jpaddb & PAD_ACTION) && !slam && std::fabs(p.vel.y) < 0.05f &&
      p.cob.pos.y - p.groundheight > 0.5f && spinning <= 0) {
    if (shieldpower < 30) {
      slamtype = 1;
    } else {
      slamtype = 2;
      shieldpower -= 30;
      powershield = -30;
      KaelSFX(SFX_SHIELDON, &sfxpos);
    }
    KaelSFX(SFX_SLAM, &sfxpos);
    slam = 100;
    js = 5;
    flipup = 0;
  }
  p.jumpstate = int16_t(js);
  if (!OnGround(p) && grindon > -6) p.vel.y -= jumpgrav;
  if (p.vel.y < FALL_CAP) p.vel.y = FALL_CAP;
  return 0;
}

int DirMove(PlayerRecord* r, PlrMoveParams* s, void* camera) {
  PlayerRecord& p = *r;
  if (launch == 1 || p.hurt > 0) return 0;
  s->turn = int(float(s->turn) * gpower);
  if (const ZECAMERA* cam = static_cast<const ZECAMERA*>(camera)) {
    const int want = ZeAtan2D(p.cob.pos.x - cam->mtx.m[3][0], p.cob.pos.z - cam->mtx.m[3][2]);
    int d = AngDiff(want, camang);
    Clamp(&d, 0x400);
    camang = (camang + d) & 0xffff;
  }
  float power = gpower;
  if (PushingSlope(p, 4)) {
    if (!p.slide)
      power *= p.slopecontact <= 16 ? float(16 - p.slopecontact) / 16.0f : 0.0f;
    else
      power *= 0.15f;
  }
  int push = 0;
  if (!p.slide && kneeslide <= 0) {
    if (anamode <= 1) {
      if (walkstop != 1) {
        if (anamode == 1) {
          int t = StickX();
          Clamp(&t, 255);
          p.moveyaw = int16_t(p.moveyaw + t);
        }
        p.wantyaw = p.moveyaw;
      }
    } else {
      p.wantyaw = int16_t(dirfix ? p.moveyaw : camang + gdir);
      if (powershield >= 0) s->target *= power;
      int d = AngDiff(p.wantyaw, p.moveyaw);
      if (movemode == 2) {
        d /= 16;
        Clamp(&d, 0x4000);
      } else if (movemode == 1) {
        blendrot = 12;
      } else if (std::abs(d) < 0x6000) {
        d /= 8;
      }
      p.moveyaw = int16_t(p.moveyaw + d);
      push = 1;
    }
  }
  if (smalldir == 0) blendrot = 12;
  if (p.slide || PushingSlope(p, 4)) {
    p.wantyaw = p.slopeyaw;
    if (!p.slide) {
      const int d1 = AngDiff(p.slopeyaw, p.moveyaw), d2 = AngDiff(p.slopeyaw + 0x8000, p.moveyaw);
      const int d = std::abs(d2) + 13000 <= std::abs(d1) ? d2 : d1;
      p.moveyaw = int16_t(p.moveyaw + d / 32);
    } else {
      p.moveyaw = int16_t(p.moveyaw + StickX());
      const int d = AngDiff(p.slopeyaw, p.moveyaw);
      p.moveyaw = int16_t(p.moveyaw + int(float(d) * (1.3f - float(p.slopesteep) / 16384.0f) / 32.0f));
    }
  } else if (kneeslide > 0) {
    pushpos = {NO_POS, NO_POS, NO_POS};
  }
  if (pushpos.x != NO_POS) {
    const int away = ZeAtan2D(p.cob.pos.x - pushpos.x, p.cob.pos.z - pushpos.z);
    const float dist = std::fmax(1.0f, std::hypot(p.cob.pos.x - pushpos.x, p.cob.pos.z - pushpos.z));
    p.moveyaw = int16_t(p.moveyaw + int(float(AngDiff(away, p.moveyaw)) / dist));
    blown = 2;
    push = 1;
    pushpos = {NO_POS, NO_POS, NO_POS};
  }
  if (kneeslide > 0) push = kneeslide > 197;
  if (climb >= 26) push = 1;
  return push;
}

void ApplyForces(PlayerRecord* r, const PlrMoveParams* s, int push) {
  PlayerRecord& p = *r;
  if (launch == 1) return;
  if (p.hurt <= -31) push = 0;
  const float sn = ZeTrigSin(p.moveyaw), cs = ZeTrigCos(p.moveyaw);
  float fwd = p.vel.x * sn + p.vel.z * cs;
  float side = p.vel.x * cs - p.vel.z * sn;
  side = side > 0 ? std::fmax(0.0f, side - s->sidefriction) : std::fmin(0.0f, side + s->sidefriction);
  if (push) {
    const float target = push > 0 ? s->target : -s->target;
    fwd = fwd > target ? std::fmax(target, fwd - s->brake) : std::fmin(target, fwd + s->accel);
  } else {
    fwd = fwd > 0 ? std::fmax(0.0f, fwd - s->brake) : std::fmin(0.0f, fwd + s->brake);
  }
  ClampF(&fwd, s->limit);
  ClampF(&side, s->limit);
  p.fspeed = fwd;
  p.sspeed = side;
  p.vel.x = fwd * sn + side * cs;
  p.vel.z = fwd * cs - side * sn;
}

void NewTerrainShape(float value, PlayerRecord* r, TerrHitInfo* onground, int flags) {
  const float yscale = movemode == 2 ? 0.6f : movemode == 1 ? 1.2f : 1.6f;
  NewTerrainScaleY(&r->cob.pos, &r->vel, onground, -1, 1, flags, value, PLAYER_RADIUS, yscale);
}

void TerrainPlayer(PlayerRecord* r) {
  PlayerRecord& p = *r;
  const ZEVEC before = p.vel;
  if (movemode == 2) {
    p.cob.pos.x -= PlrShape.offset.x, p.cob.pos.z -= PlrShape.offset.z;
    PlrShape.yaw = float(uint16_t(p.moveyaw));
    PlrShape.radius = PLAYER_RADIUS;
    NewTerrAxisFreedom(&PlrShape, &p.cob.pos);
    TerrShape = &PlrShape;
    NewTerrainShape(0.001f, r, p.onground, 0);
    TerrShape = nullptr;
    p.cob.pos.x += PlrShape.offset.x, p.cob.pos.z += PlrShape.offset.z;
  } else {
    PlrShape.offset = {0, 0, 0};
    NewTerrainShape(0.001f, r, p.onground, 0);
  }
  if ((terrhitflags & 0x11) == 0x11 && p.grace && TerrWallNorm.y > -0.8f) {
    const float h = std::hypot(TerrWallNorm.x, TerrWallNorm.z);
    if (h > 0 && (before.x * TerrWallNorm.x + before.z * TerrWallNorm.z) / h < -0.06f)
      KnockPlayer(p.cob.roty + 0x8000);
  }
  if (PlayerJetPack) terrhitflags = 0;
  if (terrhitflags) {
    launch = cannontrail = 0;
    if (grindon > 0) {
      magtilt = 0x3fff;
      maglen = 0.5f;
      grindon = 0;
      p.jumpstate = 3;
      p.vel.y = 0;
      magturn = 0;
      magvel = 0;
    }
  }
  if (p.onground[0] || p.onground[1]) {
    if (terrhitflags) groundinfo = TerrainInfo();
  } else {
    groundinfo = -1;
  }
  if (terrhitflags) {
    p.slopeyaw = int16_t(ZeAtan2D(-ShadNorm.x, -ShadNorm.z));
    p.slopesteep = int16_t(std::lround(ShadNorm.y * 16384.0f));
    if (movemode == 2) {
      TerrainWallAng(0.001f);
      p.slide = 0;
    } else {
      TerrainWallAng(0.0f);
      CheckSlide(r, groundinfo);
    }
  }
  if ((terrhitflags & 3) == 1 || p.slide) {
    if (p.slopecontact < 16) p.slopecontact = int16_t(p.slopecontact + 3);
    if (p.slide) p.slide--;
  } else {
    if (p.slopecontact > 0) p.slopecontact--;
    if (terrhitflags & 2) p.slopecontact = 0;
  }
}

void CheckSlide(PlayerRecord* r, int floortype) {
  const int t = floortype < 0 ? 0 : floortype & 0xff;
  const SlideRow& row = SlideInfo[t > 5 ? 0 : t];
  if (!row.slides)
    r->slide = 0;
  else if (r->slide && (r->slopesteep > row.highest || r->slopesteep < row.lowest))
    r->slide = 0;
}

void CheckGround(PlayerRecord* r) {
  PlayerRecord& p = *r;
  const ZEVEC& pos = p.cob.pos;
  int hit = -1;
  underbeam = inwater = 0;
  if (ShadRoofY < TERR_NO_HEIGHT && (ShadowRoofInfo() & 0xff) == 6 && ShadRoofY - pos.y >= 0 &&
      ShadRoofY - pos.y <= 3.0f) {
    if (!nomball && frames[2] == 0) PlayerFx("Beam3", &playercolpos, 1);
    underbeam = 1;
  }
  oldwaterlevel = waterlevel;
  if (EShadY < TERR_NO_HEIGHT)
    waterlevel = sealevel != 0 && sealevel > EShadY ? sealevel : EShadY;
  else if (sealevel != 0)
    waterlevel = sealevel;
  findrail = 0;
  if (groundinfo != -1) {
    switch (groundinfo & 0xff) {
      case 4: findrail = 2; break;
      case 5: findrail = 1; break;
      case 8: {
        const ZEVEC end = {pos.x, pos.y + 0.5f, pos.z};
        AddJLaser(0, &pos, &end, 0xf0c040, 0.05f, 0.2f, 0.02f);
        PlayerFx("Elec3", &pos, 1);
        shieldpower = 300;
        hit = 1;
        break;
      }
      case 9: hit = 1; break;
      case 12: hit = 3; break;
      default: break;
    }
  }
  if (EShadY < TERR_NO_HEIGHT || sealevel != 0) {
    const int kind = EShadY < TERR_NO_HEIGHT ? EShadowInfo() & 0xff : 1;
    const ZEVEC surface = {pos.x, waterlevel, pos.z};
    switch (kind) {
      case 1:
        if (pos.y < waterlevel) {
          inwater = 1;
          if (p.prevpos.y >= oldwaterlevel) {
            PlayerFx("TSplash1", &surface, 1);
            KaelSFX(SFX_SPLASH, &surface);
          }
          if (pos.y + p.height < waterlevel - 0.001f) {
            if (sealevel == 0 && (frames[4] == 0 || (Moving(p) && frames[4] != 3)))
              PlayerFx("Bubbles", &playercolpos, 1);
            movemode = 2;
            if (atlason) shieldpower = shieldtype = 0;
            if (underwater >= 601) hit = 1;
          } else {
            underwater = 0;
            if (frames[4] == 0) {
              ZEVEC ripple = surface;
              ZeRndrAddWaterRipple(&ripple, 32, 0x60706050, 0.2f, 0.2f);
            }
            if (Moving(p)) PlayerFx("TSplash2", &surface, 2);
            plrslow = 0.024f;
            if (OnGround(p) && movemode == 2) movemode = 0, plrdtilt = 0, watersurface = 0;
            if (movemode == 2 && (jpaddb & PAD_JUMP)) {
              p.vel.y = 0.09f;
              jumptype = 0;
              p.jumpstate = 3;
              plrdtilt = movemode = watersurface = 0;
              p.onground[0] = p.onground[1] = 0;
            }
          }
        } else {
          underwater = 0;
        }
        break;
      case 2:
      case 3:
        if (waterlevel > pos.y) hit = 1;
        break;
      case 4:
        if (waterlevel > pos.y) {
          hit = 3;
          if (p.vel.y < -0.01f) p.vel.y = -0.01f;
        }
        break;
      case 6:
        if (waterlevel > pos.y) {
          if (Moving(p) || frames[8] == 0) PlayerFx("SandDust", &pos, 1);
          if (frames[8] == 0) {
            ZEVEC ripple = surface;
            ZeRndrAddWaterRipple(&ripple, 120, 0x30408080, 0.3f, 0.3f);
          }
          plrslow = 0.024f;
        }
        break;
      default: break;
    }
  }
  if (waterlevel >= TERR_NO_HEIGHT && movemode == 2 && pos.y > oldwaterlevel - 3.0f) movemode = 0, plrdtilt = 0;
  if (PlatformCrush()) hit = 3;
  if (hit >= 0) HitPlayer(-1, hit, nullptr);
}
