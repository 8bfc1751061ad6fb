// The hero's look: the animation chosen each frame by priority over the
// move state, the hood that goes up in the rain; hits with knockback,
// blinking, invulnerability, shield drains and deaths; the shield test.
#include <algorithm>
#include <cmath>

#include "game.h"
#include "player.h"
#include "support.h"

int plranim = -1, plranimmode;  // the slot and SetAnim mode chosen last frame (-1 none)
void** player_hood_weights;     // the hood's blend-shape weights for this frame's drawing

namespace {

int RandomByte() { return randtab_ptr ? *randtab_ptr++ : 0; }

enum { HOOD_NONE, HOOD_RAISE, HOOD_LOWER };

}  // namespace

void AnimPlayer() {
  PlayerRecord& p = Player;
  COB& c = p.cob;
  int a = -1, m = 0, hood = HOOD_NONE;
  const bool air = p.grace == 0;
  const bool moving = anamode >= 2 || p.fspeed > 0.01f;
  const bool shield = powershield || shieldscale >= 1.0f;
  const bool laser = lasertype != 0;
  bool groundrules = !air;
  if (air) {
    if (fired > 0) animflag |= 1;
    idletimer = idlecount = 0;
    if (p.jumpstate == 0 || p.jumpstate > 4) {
      groundrules = moving;
    } else {
      animflag |= 2;
      const bool rising = p.vel.y > 0;
      if (laser)
        a = rising ? PA_GJUMPU : PA_GJUMPD;
      else if (jumpdouble == 2 && jumptype == 0 && (rising || p.vel.y > -0.04f))
        a = PA_DJUMP;
      else if (jumptype == 1)
        a = rising ? PA_JUMPU2 : PA_JUMPD2;
      else
        a = rising ? PA_JUMPU : PA_JUMPD;
      if (fired > 0 && p.cob.pos.y - p.groundheight < 2.0f) a = -1;
      m = 1;
    }
  }
  if (groundrules) {
    if (!air) {
      if (animflag & 2) idleanim = PA_LAND;
      animflag &= ~3;
    }
    if (moving) {
      const bool run = jog > 0;
      a = laser ? (run ? PA_GRUN : PA_GWALK) : run ? PA_RUN : PA_WALK;
      if (shield) {
        a = run ? PA_SRUN : PA_SWALK;
        shieldstatus = 1;
      }
      m = idleanim == PA_2IDLE ? 1 : 2;
      idleanim = -1;
    } else {
      idletimer = std::min(10000, idletimer + 1);
      const bool ended = c.endresult == 4;
      if (ended) c.endresult = 0;
      if (idleanim == -1 || idleanim == PA_2IDLE || ended) {
        idlecount++;
        if (idlecount <= (RandomByte() & 3) + 2) {
          a = nomball ? PA_IDLE : PA_BIDLE;
        } else {
          a = PA_IDLE;
          if (RandomByte() & 1) idlecount = 0;
        }
        idleanim = a;
        if (CurRain > 0.1f && hoodupfactor == 0 && hooddown == 0) hood = HOOD_RAISE;
        if (CurRain < 0.1f && hoodupfactor >= 1 && hooddown == 0) hood = HOOD_LOWER;
      }
      if (aimcount >= 5 || movemode) idleanim = a = PA_2IDLE;
      if (laser) a = PA_GIDLE;
      if (shield) {
        a = PA_SIDLE;
        shieldstatus = 1;
      }
      m = 0;
    }
  }
  bool special = true;
  if (p.hurt > 0) {
    a = plrhitdir ? PA_HITB : PA_HIT, m = 1;
  } else {
    special = false;
  }
  if (kneeslide > 0) {
    special = true;
    a = PA_SLIDE;
    if ((jpaddb & PAD_ACTION) && shieldpower >= 30 && powershield >= 0) {
      powershield = -30, kneeslide = 200, shieldpower -= 30, blendrot = 12;
      KaelSFX(SFX_SHIELDON, &sfxpos);
    }
    if (powershield < 0) {
      a = PA_SSLIDE;
      shieldstatus = 1;
      shieldscale = std::max(1.0f, shieldscale);
    }
    m = 1;
    if (kneeslide <= 170 && p.fspeed <= 0.01f) {
      kneeslide = -10;
      if (!(jpad & PAD_DUCK)) duckcount = 10;
      blendrot = 12;
    }
  }
  if (slam) {
    special = true;
    a = slam > 0 ? (slamtype == 2 ? PA_SDSLAM : PA_BSLAM) : (slamtype == 2 ? PA_SLAND : PA_LAND);
    m = 1;
  }
  if (InPot) {
    special = true;
    if (c.endresult == 2 && --potidle < 0) potidle = 8 + (RandomByte() & 7);
    a = potidle > 0 ? PA_INPOT : PA_PIDLE;
    m = 0;
  }
  if (flipup > 1) {
    special = true;
    flipup--;
    a = PA_FLIP;
    m = flipup == 40 ? 5 : 1;
  }
  if (fired > 0) {
    special = true;
    if (air) {
      a = magtilt ? PA_UPFIRE : PA_FIREJUF;
    } else if (moving) {
      a = PA_FIRE;
    } else {
      a = idleanim = PA_IFIRE;
    }
    m = fired == 1 ? 5 : 2;
    if (fired == 1) fired = 2;
  }
  if (grindon > 0) {
    special = true;
    a = PA_HANG, m = 1;
  } else if (movemode == 2) {
    special = true;
    if (p.fspeed < 0.005f) p.fspeed = 0.005f;
    if (waterlevel - p.cob.pos.y > 0.64f) {
      a = PA_SWIM;
    } else {
      a = moving ? PA_TSWIM : PA_FLOAT;
      plrdtilt = 0;
    }
    m = 0;
  }
  if (movemode == 1) {
    special = true;
    a = moving ? (shield ? PA_SCWALK : PA_CWALK) : (shield ? PA_CRSIDLE : PA_CRIDLE);
    if (shield) shieldstatus = 2;
    m = 1;
  }
  if (climb > 0) {
    special = true;
    a = PA_LGRAB, m = 1;
  } else if (climb < 0) {
    special = true;
    a = (jpad & PAD_LEFT) ? PA_LCRAWLL : (jpad & PAD_RIGHT) ? PA_LCRAWLR : PA_LIDLE;
    m = 0;
  }
  if (energyon || spinning > 0 || zerogravity || exitgame > 1) {
    special = true;
    a = exitgame > 1 ? PA_DIE : zerogravity ? PA_ATLAS : spinning > 0 ? PA_SPIN : PA_HANG;
    m = 1;
  }
  if (!special && hood == HOOD_RAISE) a = PA_HOODU, hooddown = -84;
  if (!special && hood == HOOD_LOWER) a = PA_HOODD, hooddown = 80;
  if (--moveidle <= 0) moveidle = 500 + RandomByte();
  if (lastslow != 0 && (a == PA_WALK || a == PA_RUN)) a = PA_WADE;
  if (std::fabs(p.fspeed) < 0.025f && gpower > 0) {
    if (a == PA_SRUN) a = PA_SWALK;
    if (a == PA_RUN) a = PA_WALK;
    if (a == PA_GRUN) a = PA_GWALK;
  }
  if (moveidle < 180 && !nomball) {
    if (a == PA_WALK) a = PA_BWALK;
    if (a == PA_RUN) a = PA_BRUN;
  }
  plranim = a;
  plranimmode = m;
  if (c.type) {
    if (a != -1) SetAnim(&c, a, m);
    SetRate(&c, &p.fspeed);
    ProcessAnim(&c);
  }
  if (hooddown > 0) {
    if (--hooddown < 26) hoodupfactor = std::min(1.0f, float(hooddown) / 13.0f);
    if (hooddown == 0) hoodupfactor = 0;
  } else if (hooddown < 0) {
    if (++hooddown > -26) hoodupfactor = std::min(1.0f, float(hooddown) / 13.0f + 1.0f);
    if (hooddown == 0) hoodupfactor = 1;
  }
}

void PlayerHoodAnimation() {
  player_hood_weights = nullptr;
  const COBTYPE* t = Player.cob.type;
  if (!t || !(Player.cob.flags & COB_DRAWN)) return;
  if (const ZEANIMDATA2* hood = t->anims2[PA_HOODU])
    player_hood_weights = ZeHGobjEvalDwa2(2, Player.cob.layers, hood, hoodupfactor * 12.0f + 60.0f);
}

void HitPlayer(int yaw, int kind, const ZEVEC* position) {
  PlayerRecord& p = Player;
  if (kind < 0 || kind > 9) {
    ZeDebugMsg("HitPlayer: hit kind %d is not one of 0-9", kind);
    return;
  }
  plrhitdir = 0;
  const bool hasyaw = yaw != -1;
  if (hasyaw && p.hurt <= 0) {
    p.vel.x = ZeTrigSin(yaw) / 32.0f;
    p.vel.z = ZeTrigCos(yaw) / 32.0f;
    if (std::abs(AngDiff(yaw, p.moveyaw)) > 0x4000) {
      p.moveyaw = int16_t(yaw + 0x8000);
      plrhitdir = 1;
    } else {
      p.moveyaw = int16_t(yaw);
    }
    blendrot = 12;
    p.wantyaw = p.moveyaw;
  }
  if (!grindon && !energyon) ClearMoves(kind);
  if (p.invuln) kind = 0;
  const float camy = kaelcam ? kaelcam->mtx.m[3][1] : p.cob.pos.y;
  int result = 0;
  bool drain = false;
  auto hurt = [&](int deathcode) {
    if (p.hurt > 0 || plrflash > 0) return;
    if (hasyaw) p.vel.x *= 2, p.vel.z *= 2;
    spinning = 0;
    if (!hitpoints_override) p.hitpoints--;
    if (p.hitpoints < 0) {
      p.hitpoints = -1;
      if (exitgame <= 1) exitgame = deathcode, result = 2;
    } else {
      p.hurt = 30;
      plrflash = 60;
      result = 1;
    }
  };
  switch (kind) {
    case 0:
      if (p.hurt == 0) p.hurt = -30;
      break;
    case 1: hurt(70); break;
    case 2:
      if (p.hurt > 0 || plrflash > 0) break;
      if (!hitpoints_override) p.hitpoints--;
      if (p.hitpoints >= 0) {
        p.hurt = 0, plrflash = 120, result = 1;
      } else {
        p.hitpoints = -1;
        if (exitgame <= 1) exitgame = 70, result = 2;
      }
      break;
    case 3:
      if (exitgame <= 1) {
        p.hitpoints = -1;
        exitgame = 70;
        dying = camy;
        glass_enabled = 0;
        result = 2;
        hurt(190);
      }
      break;
    case 4: hurt(190); break;
    case 5:
      if (hasyaw) p.vel.x *= 2, p.vel.z *= 2;
      drain = true;
      break;
    case 6:
      if (p.hurt <= 0) p.hurt = 30, spinning = 0;
      break;
    case 7:
      p.vel.x = p.vel.z = 0;
      drain = true;
      break;
    case 8:
    case 9:
      if (exitgame <= 1) {
        p.hitpoints = -1;
        exitgame = kind == 8 ? 190 : -yaw;
        if (kind == 8) dying = camy;
        glass_enabled = 0;
        result = 2;
      }
      break;
    default: break;
  }
  if (drain && p.hurt >= -29 && p.hurt <= 0) {
    shieldpower = std::max(0, shieldpower - 30);
    p.hurt = -60;
    if (position) {
      ZEVEC d = {position->x - playercolpos.x, position->y - playercolpos.y, position->z - playercolpos.z};
      const float len = ZeVecMag(&d);
      const float half = len * 0.5f;
      ZEVEC at = playercolpos;
      if (len > 0) ZeVecScaleAccum(&at, &d, half / len);
      const int type = PlayerFxType("ShieldHit1");
      int key = -1;
      if (type >= 0 && AddFiniteShotDebrisEffect(&key, type, &at, 1) >= 0)
        DebrisOrientation(key, 0, int16_t(yaw - 0x4000));
    }
  }
  if (result == 1) KaelSFX(RandomByte() & 1 ? SFX_PLAYERHIT2 : SFX_PLAYERHIT1, &sfxpos);
  if (result == 2) {
    KaelSFX(SFX_PLAYERDIE, &sfxpos);
    if (p.lives == 0) {
      p.lives = 9;
      reset_level = 1;
    }
  }
}

int CheckShield(int yaw) {
  if (InPot) return 2;
  if (shieldstatus == 0) return 0;
  if (shieldstatus == 2) return 1;
  return std::abs(AngDiff(yaw, Player.cob.roty)) >= 0x4000;
}

void HitPlayerShield(int yaw, int kind) {
  if (!CheckShield(yaw))
    HitPlayer(yaw, kind, nullptr);
  else
    HitPlayer(yaw, 5, &playercolpos);
}
