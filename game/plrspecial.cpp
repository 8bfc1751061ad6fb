// The hero's special moves: ledge grab, pull-up and hang; crawling along
// lines; riding energy lines; grinding beams; standing in pots; the sea
// chaser; the sparks and dust of moves; the head turn and the floor tilt.
#include <algorithm>
#include <cmath>

#include "game.h"
#include "player.h"
#include "support.h"

namespace {

bool OnGround(const PlayerRecord& p) { return p.onground[0] || p.onground[1]; }
int RandomByte() { return randtab_ptr ? *randtab_ptr++ : 0; }
int StickX() { return algx > 32 ? algx - 32 : algx < -32 ? algx + 32 : 0; }
ZEVEC Dir(int yaw, float length) {
  ZEVEC v = {0, 0, 0};
  FastRotateX(yaw, &v, length);
  return v;
}
ZEVEC Add(const ZEVEC& a, const ZEVEC& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
ZEVEC Ball() { return {MagMtx.m[3][0], MagMtx.m[3][1], MagMtx.m[3][2]}; }

// The floor under a point, searched from reach above it downward.
float FloorAt(ZEVEC at, float above, float reach) {
  at.y += above;
  return NewShadow(&at, 0, 0.0f, reach);
}

// A horizontal ray of the given length; true with the hit point and wall
// angle (facing into the wall) when it hits.
bool WallRay(const ZEVEC& from, int yaw, float length, ZEVEC* hit, int* wallang) {
  ZEVEC vec = Dir(yaw, length);
  if (!NewRayCast(&from, &vec, 0, 0.0f)) return false;
  *hit = Add(from, vec);
  *wallang = (ZeAtan2D(ShadNorm.x, ShadNorm.z) + 0x8000) & 0xffff;
  return true;
}

// A spline's points and the height and segment at a distance along it.
struct Line {
  const SplinePoint* pts;
  int n;
  float length() const { return pts[n - 1].dist; }
  int Segment(float d) const {
    int k = 0;
    while (k < n - 2 && pts[k + 1].dist <= d) k++;
    return k;
  }
  ZEVEC At(float d) const {
    const int k = Segment(d);
    const float span = pts[k + 1].dist - pts[k].dist;
    const float t = span > 0 ? std::clamp((d - pts[k].dist) / span, 0.0f, 1.0f) : 0.0f;
    ZEVEC r;
    ZeVecLerp(&r, &pts[k + 1].pos, &pts[k].pos, t);
    return r;
  }
};
Line LineOf(const SplineHeader* h) { return {splpts + h->first, h->count}; }

void LeavePot() {
  anamode = 0;
  blendrot = 12;
  padoff = 0;
  InPot = nullptr;
}

// A short spark of the scripted laser at the body, as on an electric floor.
void Spark() {
  const ZEVEC end = {playercolpos.x + float(RandomByte() - 128) / 16384.0f,
                     playercolpos.y + float(RandomByte() - 128) / 16384.0f,
                     playercolpos.z + float(RandomByte() - 128) / 16384.0f};
  AddJLaser(0, &playercolpos, &end, 0xf0c040, 0.05f, 0.2f, 0.02f);
  if ((RandomByte() & 3) == 0) KaelSFX(SFX_SPARK, &sfxpos);
  PlayerFx("Elec3", &playercolpos, 1);
}

}  // namespace

int ClimbCode(PlayerRecord* r) {
  PlayerRecord& p = *r;
  ZEVEC& pos = p.cob.pos;
  if (climb == 0) {
    const float ground = p.groundheight >= TERR_NO_HEIGHT ? -10000.0f : p.groundheight;
    if (p.vel.y >= 0 || pos.y - ground <= 0.16f || kneeslide > 0 || slam || flipup) return 0;
    // The hands pass a ledge top this frame.
    const ZEVEC ahead = Add(pos, Dir(p.moveyaw, 0.5f));
    const float top = FloorAt({ahead.x, p.prevpos.y, ahead.z}, 0.65f, 1.0f);
    if (top >= TERR_NO_HEIGHT) return 0;
    const float ledge0 = top + 0.00625f;
    if (ledge0 <= pos.y + 0.64f || ledge0 > p.prevpos.y + 0.64f) return 0;
    ZEVEC wall;
    int ang;
    if (!WallRay({pos.x, pos.y + 0.576f, pos.z}, p.moveyaw, 0.5f, &wall, &ang)) return 0;
    const ZEVEC n = ShadNorm;
    const ZEVEC over = Add(pos, Dir(ang, 0.5f));
    const float ledge = FloorAt({over.x, ledge0, over.z}, 0.1f, 0.5f);
    if (ledge >= TERR_NO_HEIGHT) return 0;
    const int type = ShadowInfo() & 0xff;
    if (n.y > 0.5f) {  // a steep face: the way over the ledge must be free
      ZEVEC freeway = Dir(ang, 0.5f);
      const ZEVEC from = {pos.x, ledge + 0.1f, pos.z};
      if (NewRayCast(&from, &freeway, 0, 0.0f)) return 0;
    }
    climbang = ang;
    jumpdouble = cannontrail = launch = 0;
    KaelSFX(SFX_LEDGEGRAB, &sfxpos);
    climbpos = {pos.x, ledge - 0.64f, pos.z};
    if (type == 1) {
      const ZEVEC back = Add(wall, Dir(ang, -0.3f));
      climbpos.x = back.x, climbpos.z = back.z;
      climb = -1;
    } else {
      climb = 50;
      return 6;
    }
  }
  if (climb > 0) {
    climb--;
    if (climb > 38) {
      p.moveyaw = int16_t(p.moveyaw + AngDiff(climbang, p.moveyaw) / 8);
      p.vel = {0, (climbpos.y - pos.y) / 8.0f, 0};
      return 6;
    }
    if (climb == 38) {
      p.vel.y = 0.09f;
      jumptype = 0;
      p.jumpstate = 3;
      p.onground[0] = p.onground[1] = 0;
    }
    return 0;
  }
  // Hanging: shuffle along the ledge, let go on jump.
  if (jpaddb & PAD_JUMP) {
    climb = 0;
    blendrot = 12;
    return 0;
  }
  float step = 0;
  if (jpad & PAD_LEFT) step -= 0.015f * gpower;
  if (jpad & PAD_RIGHT) step += 0.015f * gpower;
  ZEVEC hang = Add(climbpos, Dir(climbang + 0x4000, step));
  p.fspeed = std::fabs(step);
  p.sspeed = 0;
  ZEVEC wall;
  int ang;
  if (!WallRay({hang.x, hang.y + 0.576f, hang.z}, climbang, 0.8f, &wall, &ang) ||
      std::abs(AngDiff(ang, climbang)) > 0x2000) {
    climb = 0;
    return 0;
  }
  const ZEVEC over = Add(wall, Dir(ang, 0.1f));
  const float ledge = FloorAt({over.x, climbpos.y + 0.64f, over.z}, 0.4f, 1.0f);
  if (ledge >= TERR_NO_HEIGHT) {
    climb = 0;
    return 0;
  }
  climbang = ang;
  hang = Add(wall, Dir(ang, -0.3f));
  climbpos = {hang.x, ledge - 0.64f, hang.z};
  pos.x += (climbpos.x - pos.x) / 4;
  pos.z += (climbpos.z - pos.z) / 4;
  pos.y = climbpos.y;
  p.moveyaw = int16_t(p.moveyaw + AngDiff(climbang, p.moveyaw) / 16);
  p.vel = {0, 0, 0};
  p.onground[0] = p.onground[1] = 0;
  return 7;
}

int LineCrawl(PlayerRecord* r) {
  PlayerRecord& p = *r;
  ZEVEC& pos = p.cob.pos;
  if (!lineon) {
    for (const SplineHeader* h = splinfo[SPLINE_LINE].get(); h; h = h->next.get()) {
      if (h->key == splinekey || h == lineold || h->count < 2 || !splpts) continue;
      const Line l = LineOf(h);
      const int a = int(l.pts[0].angle);
      const float dx = pos.x - l.pts[0].pos.x, dz = pos.z - l.pts[0].pos.z;
      const float along = dx * ZeTrigSin(a) + dz * ZeTrigCos(a);
      const float side = dx * ZeTrigCos(a) - dz * ZeTrigSin(a);
      if (std::fabs(side) > 0.1f) continue;
      const bool facing = std::abs(AngDiff(p.cob.roty, a)) < 0x4000;
      if (facing ? along < 0 || along > l.length() - 0.5f : along < 0.5f || along > l.length()) continue;
      const float y = l.At(along).y;
      if (y <= pos.y || y >= p.prevpos.y + 1.0f || y - pos.y < 1.0f) continue;
      p.vel.x = p.vel.z = 0;
      linepos = along;
      linewait = 60;
      linept = l.Segment(along);
      lineon = const_cast<SplineHeader*>(h);
      linedir = facing ? 0 : 0x8000;
      KaelSFX(SFX_GRAB, &sfxpos);
      cannontrail = launch = 0;
      break;
    }
    if (!lineon) {
      if (OnGround(p)) lineold = nullptr;
      return 0;
    }
  }
  if (jpaddb & PAD_JUMP) {
    plrdtilt = 0;
    lineold = lineon;
    lineon = nullptr;
    return 0;
  }
  const Line l = LineOf(lineon);
  float step = 0;
  if (linewait > 0) {
    linewait--;
  } else if (gpower > 0 && (std::abs(AngDiff(gdir, 0)) < 0x2000 || std::abs(AngDiff(gdir, 0x8000)) < 0x2000)) {
    step = -ZeTrigCos(gdir) * gpower / 75.0f * gpower;
    if (linedir) step = -step;
    linepos += step;
  }
  linepos = linedir == 0 ? std::clamp(linepos, 0.5f, l.length()) : std::clamp(linepos, 0.0f, l.length() - 0.5f);
  linept = l.Segment(linepos);
  p.fspeed = std::fabs(step);
  p.sspeed = 0;
  const ZEVEC at = l.At(linepos);
  pos = {at.x, at.y - 0.7f, at.z};
  const SplinePoint& a = l.pts[linept];
  const SplinePoint& b = l.pts[linept + 1];
  const int slope = AngDiff(ZeAtan2D(b.pos.y - a.pos.y, b.dist - a.dist), 0);
  plrdtilt = linedir ? -slope : slope;
  p.wantyaw = int16_t(int(a.angle) + linedir);
  if (step == 0 && gpower > 0) p.wantyaw = int16_t(p.wantyaw + int(ZeTrigSin(gdir) * gpower * 2048.0f));
  p.moveyaw = int16_t(p.moveyaw + AngDiff(p.wantyaw, p.moveyaw) / 8);
  p.vel = {0, 0, 0};
  p.onground[0] = p.onground[1] = 0;
  return 7;
}

int EnergySlide(PlayerRecord* r) {
  PlayerRecord& p = *r;
  ZEVEC& pos = p.cob.pos;
  if (!energyon) {
    if (!energycheck) return 0;
    if (!energyline) energyline = splinfo[SPLINE_ENERGY].get();
    if (!energyline || energyline->count < 2 || !splpts) return 0;
    const Line l = LineOf(energyline);
    int k = 0;
    float best = 1e30f;
    for (int i = 0; i < l.n; i++) {
      const float d = ZeVecDistSqr(&l.pts[i].pos, &pos, nullptr);
      if (d < best) best = d, k = i;
    }
    pos.x += (l.pts[k].pos.x - pos.x) / 16;
    pos.z += (l.pts[k].pos.z - pos.z) / 16;
    p.moveyaw = p.cob.roty = int16_t(int(l.pts[k].angle) + 0x8000);
    blendrot = 12;
    if (p.vel.y >= 0) return 4;
    energyswing = energymid = 0;
    energyon = 1;
    energycheck = 0;
    if (k == l.n - 1) {
      k--;
      energypos = l.pts[k + 1].dist - 0.001f;
    } else {
      energypos = l.pts[k].dist;
    }
    energypt = k;
    energydir = std::abs(AngDiff(p.cob.roty, int(l.pts[k].angle))) < 0x4000 ? 0 : 0x8000;
    KaelSFX(SFX_GRAB, &sfxpos);
    launch = fired = 0;
    maglen = 0;
  }
  const Line l = LineOf(energyline);
  energypos += energydir == 0 ? -0.1f : 0.1f;
  const bool end = energypos <= 0 || energypos >= l.length();
  energypos = std::clamp(energypos, 0.0f, l.length());
  const int seg = l.Segment(energypos);
  if (seg != energypt) {
    const int passed = seg > energypt ? seg : energypt;
    PlayerFx("MBallSpark1", &l.pts[passed].pos, 1);
    energymid = -AngDiff(int(l.pts[seg].angle), int(l.pts[energypt].angle));
    energypt = seg;
  }
  if (end || (jpaddb & PAD_JUMP)) {
    energyon = 0;
    p.vel = Dir(p.cob.roty, 0.1f);
    p.jumpstate = 3;
    blendrot = 12;
    plrdtilt2 = 0;
    const ZEVEC ball = Ball();
    PlayerFx("MBallSpark1", &ball, 1);
    fired = 1;
    for (ZEVEC& v : lastmagpos) v = ball;
    magvel = 0.1f, magturn = 0xa000, maglen = 0.4f, magtilt = 0x4000;
    return 6;
  }
  const ZEVEC on = l.At(energypos);
  const int target = StickX() * 64 + energymid;
  const int before = plrdtilt2 - target;
  energyswing += plrdtilt2 < target ? 20 : -20;
  plrdtilt2 += energyswing;
  if ((before < 0) != (plrdtilt2 - target < 0)) {
    energyswing = int(float(energyswing) * 0.6f);
    energymid = 0;
  }
  Clamp(&plrdtilt2, 32768);
  const int segang = int(l.pts[seg].angle);
  const ZEVEC across = Dir(segang + 0x4000, ZeTrigSin(plrdtilt2) * 1.3f);
  pos = {on.x + across.x, on.y - ZeTrigCos(plrdtilt2) * 1.3f, on.z + across.z};
  ZeMtxSetTranslation(&MagMtx, &on);
  CameraRailReset();
  anamode = 3;
  smalldir = 10;
  p.moveyaw = int16_t(p.moveyaw + AngDiff(segang + energydir, p.moveyaw) / 8);
  p.vel = {0, 0, 0};
  p.onground[0] = p.onground[1] = 0;
  return 7;
}

int GrindCode(PlayerRecord* r) {
  PlayerRecord& p = *r;
  if (grindon < 0) {
    grindon++;
    spinning = 0;
    return 0;
  }
  if (grindon == 0) return 0;
  grindpos = Add(grindpos, Dir(p.moveyaw, 0.1f));
  auto beam = [](const ZEVEC& at) {
    const ZEVEC under = {at.x, at.y - 2.0f, at.z};
    NewShadowEx(&under, 0, 0.0f, 0.0f, 2.0f);
    return ShadRoofY < TERR_NO_HEIGHT && (ShadowRoofInfo() & 0xff) == 6;
  };
  const bool left = beam(Add(grindpos, Dir(p.moveyaw - 0x4000, 0.1f)));
  const bool right = beam(Add(grindpos, Dir(p.moveyaw + 0x4000, 0.1f)));
  int want = p.wantyaw;
  if (left && !right) want -= 0x80;
  if (right && !left) want += 0x80;
  want += StickX() * 2;
  p.wantyaw = p.moveyaw = int16_t(want);
  grindblend = std::fmin(1.0f, grindblend + 0.02f);
  const ZEVEC& pos = p.cob.pos;
  p.vel = {(grindpos.x - pos.x) * grindblend, (grindpos.y - 1.2f - pos.y) * grindblend,
           (grindpos.z - pos.z) * grindblend};
  p.fspeed = 0.1f;
  anamode = 3;
  smalldir = 10;
  CameraRailReset();
  return 6;
}

int CheckInPot(PlayerRecord* r) {
  PlayerRecord& p = *r;
  Pot* pot = InPot;
  if (!pot) return 0;
  ZEVEC& pos = p.cob.pos;
  p.vel.x = p.vel.z = 0;
  potlock = std::fmax(0.0f, potlock - (launch ? 0.005f : 0.04f));
  pos.x += (pot->pos.x - pos.x) * potlock;
  pos.z += (pot->pos.z - pos.z) * potlock;
  if (!launch && pos.y > pot->pos.y + 0.3f) {
    LeavePot();
    return 0;
  }
  const bool ground = OnGround(p);
  const int action = pot->type >= 0 && pot->type < POT_TYPES ? PotPlayer[size_t(pot->type)].action : -1;
  switch (action) {
    case 0:
      if (!ground) return 0;
      PotEffect(pot, 0x11);
      glass_enabled = 1;
      shieldtype = 1;
      shieldpower = std::max(shieldpower, 60);
      LeavePot();
      return 0;
    case 1:
      if (!ground) return 0;
      RevealPots(&pot->pos, 48.0f);
      PotEffect(pot, 0x11);
      LeavePot();
      return 0;
    case 2:
      if (!ground) return 0;
      camsnap = 1;
      if (pot->counter <= 128) pot->counter = 256;
      if (jpaddb & PAD_JUMP) {
        p.vel = {InPotMtx.m[2][0] * 0.2f, InPotMtx.m[2][1] * 0.2f, InPotMtx.m[2][2] * 0.2f};
        p.jumpstate = 1;
        launch = 1;
        LastPot = pot;
        cannontrail = 1;
        p.moveyaw = p.cob.roty = int16_t(ZeAtan2D(p.vel.x, p.vel.z));
      }
      return 2;
    case 4: {
      if (!ground) return 0;
      Spark();
      if (PotPlayer[size_t(pot->type)].fixeddir) {
        camsnap = 1;
        p.moveyaw = p.cob.roty = int16_t(pot->yaw);
      }
      shieldpower = 300;
      if (jpaddb & PAD_ACTION) {
        KaelSFX(SFX_EXPLODE, &sfxpos);
        p.vel.x = p.vel.z = 0;
        launch = 2;
        LastPot = pot;
        cannontrail = 1;
        p.vel.y = CannonTab[std::clamp(int(PotPlayer[size_t(pot->type)].strength), 0, 2)];
        shieldpower = 0;
        p.jumpstate = 1;
      }
      return 0;
    }
    case 5:
      camsnap = 1;
      p.moveyaw = p.cob.roty = int16_t(pot->yaw);
      blendrot = 12;
      if ((jpaddb & PAD_JUMP) && ground) {
        fired = 1;
        p.vel.y = 0.07f;
        launch = 1;
        energycheck = 1;
        const ZEVEC ball = {pos.x, pos.y + 0.5f, pos.z};
        ZeMtxSetTranslation(&MagMtx, &ball);
        magvel = 0.25f, magturn = 0xa000, maglen = 0.000005f, magtilt = 0x4000;
      }
      return 2;
    default:
      anamode = 0;
      return 0;
  }
}

void SwimTrap() {
  PlayerRecord& p = Player;
  const ZEVEC& pos = p.cob.pos;
  if (movemode == 2 && sealevel != 0 && waterlevel == sealevel) {
    if (swimfollow == 0) {
      Squid.pos = {pos.x, sealevel - 4.0f, pos.z};
      for (ZEVEC& t : squidtrail) t = Squid.pos;
      squiddist = 600;
      Squid.roty = p.cob.roty;
      swimfollow = 1;
      squidon = 120;
    }
  } else if (swimfollow > 1) {
    swimfollow = p.groundheight == -99999.0f ? 2 : 3;
  }
  FlockFishPlayer(&Squid.pos, squidon);
  if (squidon) {
    const float dx = pos.x - Squid.pos.x, dz = pos.z - Squid.pos.z;
    if (swimfollow == 1 && dx * dx + dz * dz > 4.0f) {
      for (int i = 0; i < SQUID_TRAIL; i++) {
        const float t = float(i) / float(SQUID_TRAIL - 1);
        squidtrail[i] = {Squid.pos.x + dx * t, Squid.pos.y, Squid.pos.z + dz * t};
      }
      swimfollow = 2;
      squidpt = 0;
    }
    if (OnGround(p)) swimfollow = 0;
    ZEVEC target = squidtrail[squidpt % SQUID_TRAIL];
    if (swimfollow == 2 || swimfollow == 3) {
      // The trail wraps at a tenth of the distance left, at least one point.
      squidpt = (squidpt + 1) % std::max(1, squiddist / 10);
      target = squidtrail[squidpt];
      squidtrail[squidpt].x = pos.x;
      squidtrail[squidpt].z = pos.z;
      if (squiddist > 0) squiddist--;
    }
    Squid.pos.x += (target.x - Squid.pos.x) / 4;
    Squid.pos.z += (target.z - Squid.pos.z) / 4;
    Squid.roty = int16_t(Squid.roty +
                         AngDiff(ZeAtan2D(target.x - Squid.pos.x, target.z - Squid.pos.z), Squid.roty) / 32);
    const float depth = swimfollow == 2 ? sealevel : swimfollow == 3 ? sealevel - 2.0f : sealevel - 4.0f;
    Squid.pos.y += (depth - Squid.pos.y) / 32;
    if ((swimfollow == 2 || swimfollow == 3) && movemode == 2 &&
        (squiddist == 0 || ZeVecDistSqr(&Squid.pos, &pos, nullptr) < 0.25f))
      HitPlayer(-1, 3, nullptr);
  }
  if (swimfollow == 0 && squidon > 0) squidon--;
}

void PlrExtras() {
  PlayerRecord& p = Player;
  const ZEVEC& pos = p.cob.pos;
  if (cannontrail || (spinning > 0 && spintype == 1) || powershield < 0 || (slam >= 1 && slam <= 89 && slamtype == 2))
    Spark();
  if (zerogravity) PlayerFx("Beam7", &playercolpos, 1);
  if (p.grace) {
    if (kneeslide >= 1 && kneeslide <= 189) {
      KaelSFX(SFX_SLIDELOOP, &sfxpos);
      const ZEVEC at = Add(pos, Dir(p.cob.roty + 0x4000, frames[2] ? 0.1f : -0.1f));
      PlayerFx("KneeSlide", &at, 1);
    }
    if (attack > 0 && attacktype == 0 && p.fspeed > 0.01f) {
      KaelSFX(SFX_SLIDELOOP, &sfxpos);
      const ZEVEC at = Add(pos, Dir(p.cob.roty, 0.5f));
      PlayerFx("SlideDust", &at, 1);
    }
  }
  if (movemode == 2) {
    ZEVEC at = {pos.x, waterlevel - pos.y > 1.5f ? pos.y + 1.5f : waterlevel, pos.z};
    at.y -= float(RandomByte() & 3);
    PlayerFx("WaterBits", &at, 4);
  }
}

void ApplyPlayerHeadRotation() {
  PlayerRecord& p = Player;
  COB& c = p.cob;
  const ZEVEC* target = NearPot ? &NearPot->pos : NearChead;
  lookat = target ? ZeAtan2D(target->x - c.pos.x, target->z - c.pos.z) : c.roty & 0xffff;
  if (!paused) {
    const bool noturn = c.type && c.type->tab && c.anim >= 0 && c.anim < c.type->animcount &&
                        (c.type->tab.get()[c.anim].gameflags & 8);
    const bool look = target && std::abs(AngDiff(lookat, c.roty)) < 0x4000 && (status & 1) && idletimer > 120 &&
                      attack <= 0 && hooddown == 0 && hoodupfactor == 0 && !noturn;
    lookblend = look ? std::fmin(1.0f, lookblend + 0.1f) : std::fmax(0.0f, lookblend - 0.1f);
  }
  const int base = gpower > 0 && hoodupfactor == 0 ? camang + gdir : c.roty;
  const int want = base + int(float(AngDiff(lookat, base)) * lookblend);
  int d = (AngDiff(want, c.roty) - headroty) / 4;
  Clamp(&d, 0x400);
  headroty += d;
  Clamp(&headroty, 0x2000);
  if (!headroty || !c.type || c.jointanims) return;
  if (!CobAddJointAnims(&c, 1, 0)) return;
  ZEJOINTANIM& j = c.jointanims.get()[0];
  j = {};
  j.rot.y = float(headroty) * 6.2831853f / 65536.0f;
  j.max[0] = j.max[1] = j.max[2] = 0x2000;
  j.min[0] = j.min[1] = j.min[2] = int16_t(0xe000);
  j.joint = 0;
  j.flags = 0x11;
}

void RotateChar(PlayerRecord* r) {
  PlayerRecord& p = *r;
  int pitch = 0, roll = 0;
  if (p.groundheight < TERR_NO_HEIGHT && p.cob.pos.y - p.groundheight < 0.25f) {
    const ZEVEC n = ShadNorm;
    const float sn = ZeTrigSin(p.cob.roty), cs = ZeTrigCos(p.cob.roty);
    const float nf = n.x * sn + n.z * cs, ns = n.x * cs - n.z * sn;
    pitch = AngDiff(ZeAtan2D(-nf, n.y), 0);
    roll = AngDiff(ZeAtan2D(ns, std::sqrt(nf * nf + n.y * n.y)), 0);
  }
  auto ease = [](int16_t* cur, int want) {
    const int d = want - *cur;
    *cur = int16_t(*cur + (std::abs(want) > std::abs(*cur) ? d / 32 : d / 8));
  };
  ease(&p.cob.rotx, pitch);
  ease(&p.cob.rotz, roll);
}
