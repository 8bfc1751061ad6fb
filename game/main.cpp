// The program's start-up and its two loops: every engine service is brought
// up once, then each replay sets the game up afresh from the level buffer's
// start and runs the frame loop until a quit or a level restart.
#include "game.h"
#include "gamecobs.h"
#include "gamelib.h"
#include "levcon.h"
#include "player.h"
#include "standins.h"
#include "support.h"
#include "zemath.h"
#include "zesound2.h"

#include <cmath>
#include <cstring>

int exitgame;
int game_fade_mode = 3;
int game_fade_status;
int game_fade_level;
int paused, menu_active, menu_subactive, editor_active, reset_level;
uint16_t quit_flags;
int16_t quit_delay;
int intro_flag, intro_hint_counter;
int frame_ontime = 1, frame_misses, frame_catchup_time;
int frame_step_countdown, screen_dump_countdown;
float sealevel, CurFog, SeekFog, CurRain, SeekRain;
int RainTimer, raintog;
int16_t SoundTable[64];
int PauseCurMenu;
MainFrameOutInfo frameout = {600, 60, 60};
int main_tbr_debug_flags = 1;
int main_cobs_drawn;  // cobs drawn as models last frame: the next image budget
int main_pitch_changes;

int MainWorldFrozen() { return paused != editor_active; }

ZEPAD* pad0;
ZEPAD* pad1;
TBSET* app_tbset;
TBSET* gb_tbset;
ZEFNT* game_fnt;
ZEFNT* app_fnt;
ZEFNT* app_fnt2;
ZEMTL* general_fade_mtl;
ZEMTL* test_mtl;
ZEMTL* tbr_mtl[3];
ZETEXID tbr_tex;
int tbr_tex_addr, tbr_tex_size;
char* texanimbuff;

namespace {

char* g_texBuffer;
char* g_mtlBuffer;
bool g_drawLevelDone;  // MainDrawLevel runs once a frame
int g_tbrmtl_upd, g_tbrdbg_rndr = 1, g_tbrdbg_proc = 1;
constexpr int kPitchNormal = 0xEB3;

bool WorldFrozen() { return MainWorldFrozen(); }
int Frozen() { return paused ^ editor_active; }

void Slot(int slot, const char* label) { tbslotBeginExFn(tb_default_set, slot, label); }
void SlotEnd(int slot) { tbslotEndFn(tb_default_set, slot); }

}  // namespace

// ---------------------------------------------------------------------------
// Start-up

void MainWriteStackMarker(int thread) {
  static const char kMarker[] = "bottom of stack - do not pass";
  ThreadParam tp{};
  if (ReferThreadStatus(thread, &tp) < 0 || !tp.stack || tp.stackSize < int(sizeof kMarker)) return;
  // Inside the stack at its low end: the terminator is the stack's last
  // byte before the base, never the byte below it.
  memcpy(tp.stack, kMarker, sizeof kMarker);
}

void MiscInit(char**, char*) {
  general_fade_mtl = ZeMtlCreate(1);
  general_fade_mtl->attributes = (general_fade_mtl->attributes & 0xFFFCF0C0u) | 0x0006C513u;
  ZeMtlUpdate(general_fade_mtl);
  test_mtl = ZeMtlCreate(1);
  test_mtl->attributes = (test_mtl->attributes & 0xFFFC30C0u) | 0x00064510u;
  ZeMtlUpdate(test_mtl);
}

void tbrInit() {
  ZETEX image{ZETEX_RT_CT32, 256, 512, 1, nullptr, nullptr};
  tbr_tex = ZeTexCreate(&image);
  tbr_tex_size = tbr_tex ? ZeTexGetReqSize(tbr_tex, 0) : 0;
  tbr_tex_addr = tbr_tex_size > 0 ? ZeTexReserve(tbr_tex_size) : 0;
  if (tbr_tex && tbr_tex_addr) ZeTexAssignAddr(tbr_tex, tbr_tex_addr);
  static const uint32_t kAnd[3] = {0x807C0FC0u, 0xFFFCCFC0u, 0xFFFCCFC0u};
  static const uint32_t kOr[3] = {0x3F062011u, 0x0006E000u, 0x0006E000u};
  for (int i = 0; i < 3; i++) {
    ZEMTL* m = ZeMtlCreate(1);
    m->diffuse[0] = m->diffuse[1] = m->diffuse[2] = 1.0f;
    m->alpha = 0.999f;
    m->sort_priority = 128;
    m->attributes = (m->attributes & kAnd[i]) | kOr[i];
    m->texture = tbr_tex;
    if (i == 1) m->render_flags |= 4;  // the off-screen pass's stream flag
    ZeMtlUpdate(m);
    tbr_mtl[i] = m;
  }
  TimeBasedRenderInit();
}

int MainMtlReadHandler(ZEMTL* mtl) {
  const uint8_t effect = mtl->effect_id;
  if (effect == 0 || (effect & 0x80)) return 0;
  if (effect & 1) GlassGivenMaterial(mtl);
  if (effect & 2) SpecularGivenMaterial(mtl);
  return (effect & 1) ? 1 : 0;
}

void InitTexAnimScripts() {
  if (texanimbuffsize == 0) ZeError("Invalid TexAnimBuff size");
  if (!texanimbuff) {
    texanimbuff = static_cast<char*>(ZeMemAllocFn(texanimbuffsize, __FILE__, __LINE__));
    if (!texanimbuff) ZeError("Unable to allocate %d bytes for texanimbuff", texanimbuffsize);
  }
  const int size = ZeFileSize(texanimfilename);
  if (size <= 0) ZeError("could not load texanim cfg file \"%s\"", texanimfilename);
  ZEFPAR* p = ZeFParCreate(texanimfilename);
  if (!p) ZeError("could not load texanim cfg file \"%s\"", texanimfilename);
  // Every name ends with its terminator and the list with an empty name.
  // The names are at most the file's characters, but a last line without a
  // line end still needs its terminator: room for the file, one terminator
  // for it and the list's end.
  char* names = static_cast<char*>(ZeMemAllocFn(size + 2, __FILE__, __LINE__));
  char* at = names;
  while (ZeFParGetLine(p)) {
    const int n = ZeFParGetWord(p);
    if (n == 0) ZeError("texanim cfg file - errm at %d!", p->lineno);
    if (at + n + 2 > names + size + 2) break;  // cannot happen: a word is never longer than its line
    memcpy(at, p->word, size_t(n) + 1);
    at += n + 1;
  }
  *at = 0;
  ZeFParDestroy(p);
  char* buffer = texanimbuff;
  // A script's program takes at most one script block (and up to 3 bytes
  // to align it): a script is read only with that much room left.
  for (const char* name = names; *name; name += strlen(name) + 1) {
    if (texanimbuff + texanimbuffsize - buffer < ZETEXANIM_SCRIPTBLOCK + 3)
      ZeError("texanimbuff of %d bytes is full at script \"%s\"", texanimbuffsize, name);
    if (!ZeTexAnimProgReadScript(&buffer, name)) ZeDebugMsg("Unable to load animated texture script \"%s\"", name);
  }
  ZeMemFreeFn(names, __FILE__, __LINE__);
}

// ---------------------------------------------------------------------------
// The replay

void MainReplaySetUp() {
  sealevel = 0;
  quit_flags = 0;
  exitgame = 0;
  char* tex = g_texBuffer;
  ZeTexInitEx(&tex, tex_sysmax);
  ZeMtlRelease();
  ZeGlassInit(1);
  ZeWaterInit();
  ZeFntInit();
  ZeGobjInit();
  InstInit();
  BuffyReset();
  BuffyBuffer* b = bigbuffer;

  // Memory card: the icon goes first into the permanent area. Only a size
  // the loader reports is added: a missing icon must not move the top back.
  char dir[64] = {}, icon[64] = {}, title[68] = {};
  strcpy(dir, "BAQRTZ-71164");
  strcpy(icon, "torva.ico");
  strcpy(title, "Torva");
  const int iconSize = saveloadLoadIcon("gfx\\torva.ico", b->permanent_top);
  if (iconSize > 0) b->permanent_top = b->permanent_top.get() + iconSize;
  saveloadInit(dir, icon, title, 5);

  char* perm = b->permanent_top;
  char* end = b->block_end;
  InitGameStrings(&perm, end, language);
  GBSetInitLevel(2, &perm, &end, nullptr, nullptr);
  b->permanent_top = perm;

  char* sys = perm;
  DebrisSetup(&sys, "gfx\\particle.pnt", 304);
  DebrisRegisterCutoffCameraVec(&Player.cob.pos);
  InitPanel(&sys);
  MiscInit(&sys, end);
  // No effects material until the effects are loaded: lasers and flares draw nothing.
  ZeLgtSetArcMat(nullptr, 0.0f, 0.001953125f, 1.0f, 0.060546875f);
  game_fnt = ZeFntLoadPtr("fonts\\rod28", &sys, end);
  app_fnt = app_fnt2 = ZeFntLoad("fonts\\ariel32");
  ZeFntLoadColours("fonts\\game");
  if (app_fnt) ZeFntSet(app_fnt);
  b->system_top = sys;

  LevelSelect();
  MainRegisterEditors(app_fnt);
  ParticleReset();
  edgraClumpsReset();
  menu_active = 0;
  cam_external_target = 0;
  paused = 0;
  QuickMsg(nullptr);
  InitSpecular();
  InitEnviro();
  InitGlass();
  ZeNormalMapInit();
  InitWorldFxBlobs();
  ZeWindInit();
  ZeWindInit();
  ZeFadeObjInit();
  ZeTexAnimProgSysInit();
  ZeMtlReadEventSetHandler(MainMtlReadHandler);
  static const ZESPLINEPTSIZE kSplineSizes[] = {{nullptr, 0}};  // no spline-name point sizes
  ZeGScnSetCfg(kSplineSizes);

  PlacementSysInit();
  LevConSysInit();
  OverrideLevelProgress();
  ConCoreInit();
  LoadTrigInit();
  InitLevelFx();
  // The texture animations come with the universe's list file; without a
  // universe there is none to read.
  if (texanimfilename[0]) InitTexAnimScripts();
  edppDestroyAllParticles();
  edppDestroyAllEffects();
  edppRestartAllEffectsInLevel();

  sys = b->system_top;
  InitGameFlow(gameflow_name, &sys, end);
  pickup_gscene = ZeGScnRead(&sys, end, "generic\\pickups.gsc");
  {
    uint8_t* at = reinterpret_cast<uint8_t*>(sys);
    terrainpickupinit("generic\\pickups", &at, reinterpret_cast<uint8_t*>(end));
    sys = reinterpret_cast<char*>(at);
  }
  AddCobTypeSetMemoryPointers(&sys, end, nullptr, nullptr, "main");
  InitialisePersistantVehicleCobs();
  InitialisePersistantVehicleCobs2();
  InitGens();
  InitChain();
  InitCages();
  InitTassle();
  InitCobs(game_cobinfo);
  cob_debris.AddVariableShotDebrisEffect = AddVariableShotDebrisEffect;  // debris over characters
  InitPlayer(&Player);
  AddCobType(35);
  InitCheckpoints();
  LoadVehicles(nullptr, &sys, end);
  InitCreats();
  InitDeb3();
  InitPots();
  InitPickups();
  InitWeapons();
  InitCamera(0);
  edppRegisterPointerToGameCharLocation(&Player.cob.pos);
  InitEffects();
  InitSplines();
  FlockInit(pickup_gscene);
  TrailInit(pickup_gscene);
  InitDialog(game_fnt, &sys, end);
  InitCannonSys();
  b->system_top = sys;
  b->world_top = sys;
  // The start-up types are loaded; the context named this function's own
  // position variable, so leave none (levels set their own).
  AddCobTypeSetMemoryPointers(nullptr, nullptr, nullptr, nullptr, nullptr);

  if (ZeFileSize("Generic\\particle.dat") > 0) edppLoadPage("Generic\\particle.dat", 0, nullptr);
  InitGenDeb();
  GameLightsStart();
  CobDefaultShadowBrightness(32);
  VehCraftInitSys();
  LevConSetName(level_name, 0, game_editmode);
  BGLoadInhibit(1, 1);
  LevConSaveStartInfo();
  edbitsRegisterLevel(level_name, 1);
  edbitsRegisterSaveFormat("Generic", 0, "dat", level_name);
  LoadTelepads();
  zemtl_force_mtlsize = 0;
  ZeRndrShadowInit(randtab_base);
  ZeLightMatInit();
  tbrInit();
  InitGameCamera(Player.cob.roty);
  ProcessCamera();
  PlayMusic(SearchForMusicId(0));
  intro_flag = 0;
  SeekFog = CurFog = SeekRain = CurRain = 0;
}

void MainRestartPoint() {
  game_fade_mode = 0;
  eval_fog_repeat = 16;
  game_fade_level = 255;
  BGLoadInhibit(1, 0);
  BGLoadInhibit(0, 1);
  LevConProcess();
  QuickMsg("");
  for (int i = 0; i < 4; i++) SoundTable[i] = int16_t(0xFFFF);
  SoundTable[4] = 0x1FFF;
  PauseCurMenu = 0;
}

void MainLevelReset() {
  arena_island_draw_enabled = game_triggers_enabled = checkpoints_enabled = 1;
  menu_active = menu_subactive = paused = 0;
  SetActiveCamera(0, 0);
  SetNextCamera(0, -1);
  LifeLost();
  ProcessCamera();
  LevConReset();
  LevelFxReset();
  ResetPanel();
  reset_level = 0;
}

void DoInput() {
  if (pad0 && ZePs2ReadPad(pad0)) {
    // SELECT held with START is the screen-dump chord.
    if (!intro_flag && (pad0->pressed & SCE_PADstart) && !editor_active) {
      if (!(pad0->buttons & SCE_PADselect)) {
        if (!panel_flags) {
          menu_active ^= 1;
          if (!menu_active) menu_subactive = 0;
          menu = 0;
          paused = menu_active;
        }
      } else if (debug_options) {
        screen_dump_countdown = 3;
        paused = 1;
      }
    }
  }
  if (pad1) ZePs2ReadPad(pad1);
}

// The fade and the quit countdown, inside the main pass.
static void ExitAndFade() {
  if (exitgame != 0 && exitgame < 3 && game_fade_mode == 3) game_fade_mode = 1;
  if (exitgame >= 3 && !paused) exitgame--;
  if (game_fade_mode == 1) {
    if (game_fade_level < 255) {
      game_fade_level += 8;
      game_fade_status = 5;
    } else {
      game_fade_status = 7;
    }
  } else if (game_fade_mode == 0) {
    game_fade_level -= 8;
    if (game_fade_level <= 0) {
      game_fade_mode = 3;
      game_fade_status = 3;
    } else {
      game_fade_status = 6;
    }
  } else if (game_fade_mode == 4) {
    game_fade_status = 7;
    game_fade_level = 255;
  }
}

void MainRain() {
  sealevel = 0.0f;
  const ZEVEC& cam = Player.cob.pos;
  void* island3 = LevConIsCurrent("ferry") ? nullptr : LevConFindLevelByName("island3");
  if (island3) {
    if (LevConLevelShown(island3) && !PlayerCraft) {
      sealevel = 17.0f;
      if (--RainTimer <= 0) {
        raintog ^= 1;
        if (raintog == 0) {
          SeekFog = 0.25f;
          RainTimer = 1024 + ZeWindRand() / 64;
        } else {
          SeekFog = 0.0f;
          RainTimer = 2048 + ZeWindRand() / 32;
        }
      }
    } else {
      SeekFog = 0.0f;
    }
  }
  // Sheltered places.
  auto within = [&](float x, float z, float r) { return (cam.x - x) * (cam.x - x) + (cam.z - z) * (cam.z - z) < r * r; };
  if (within(-501.5f, 280.5f, 70.0f)) {
    SeekFog = 0.0f;
    if (island3 && within(-501.5f, 280.5f, 30.0f)) sealevel = 0.0f;
  }
  if (within(-404.5f, 36.0f, 30.0f) && cam.y > 36.0f) SeekFog = 0.0f;
  if (PlayerBoat) SeekFog = 0.0f;
  auto toward = [](float cur, float seek, float limit) {
    float step = (seek - cur) * 0.025f;
    step = step > limit ? limit : step < -limit ? -limit : step;
    return cur + step;
  };
  CurFog = toward(CurFog, SeekFog, 0.0005f);
  CurRain = toward(CurRain, SeekRain, 0.001f);
  SeekRain = CurFog >= 0.2f ? 0.2f : 0.0f;
  if (CurRain < 0.001f) {
    ZeRainSetFall(0.0f);
  } else {
    ZeRainSetFall(4 * CurRain);
    const int splashes = paused ? 0 : CurRain >= 0.125f ? 2 : CurRain >= 0.075f ? 1 : 0;
    for (int i = 0; i < splashes && randtab_ptr; i++) {
      const int r1 = *randtab_ptr++, r2 = *randtab_ptr++;
      const float yaw = CameraYaw();
      ZEVEC at = {Player.cob.pos.x + 2 * std::sin(yaw) + float(r1 - 128) * 6.0f / 256.0f, Player.cob.pos.y,
                  Player.cob.pos.z + 2 * std::cos(yaw) + float(r2 - 128) * 6.0f / 256.0f};
      // The ground under the splash, up to 5 above the hero's feet (ground
      // rising ahead of him still takes the splash).
      const float ground = NewShadow(&at, 0, 0.0f, 5.0f);
      at.y = ground >= TERR_NO_HEIGHT ? sealevel : ground;
      int key = -1;  // a key of its own: the splash frees itself after one on-period
      AddFiniteShotDebrisEffect(&key, GenDeb[GENDEB_RAINSPLASH].type, &at, 1);
    }
  }
  Wfx3SetFogType2(CurFog < 0.001f ? 0.0f : 4 * CurFog, 0, 1);
}

// The platforms' old phase, then bridges, wind and fade objects unless the
// world is frozen.
static void DressingUpdate() {
  TerrainPlatformOldUpdate();
  if (!WorldFrozen()) {
    ZeBridgeUpdate(&Player.cob.pos);
    ZeWindUpdate(&Player.cob.pos);
    ZeFadeObjUpdate(&Player.cob.pos);
  }
}

// The logic from the hero's move to the camera, shared by the frame
// (drawn 1) and the catch-up step (drawn 0).
static void PlayerAndWorldLogic(int drawn) {
  MovePlayer(paused, drawn);
  object_switches[0] = gb_lev_time < 0.25f || gb_lev_time > 0.75f ? 0 : 1;
  CollideVehiclesPostPlayer();
  ProcessVehiclesPostPlayer(paused);
  if (drawn) PreDrawVehicles();
  if (checkpoints_enabled) UpdateCheckpoints();
  LevelFxProcess(editor_active, drawn);
  ConCoreProcess(drawn);
  CraftWepProcess();
  UpdateCannonSys(drawn);
  if (creats_enabled) ProcCreats(Frozen(), drawn);
  MoveWeapons();
  if (drawn) ProcessTassle(paused);  // the catch-up step leaves the tassels out
  if (!paused) MainRain();
  if (game_triggers_enabled) ZeTriggerSysUpdate(&Player.cob.pos, 0, 0.3f);
  ProcessCamera();
}

void MainFrameOut() {
  ClearCannonTargetList();
  CobJointAnimStartFrame();
  DressingUpdate();
  ZeGCutSceneSysUpdate(paused);
  LevelFxPlatMove(editor_active);
  if (!paused) LevConUpdateScenes();
  if (!WorldFrozen()) {
    PlatCages();
    TerrainPlatformNewUpdate();
  }
  if (!paused) {
    FlockProcess();
    ZeMtlAnimate(1.0f / 60.0f, 0xFFFFFF);
    InitEffects();
  }
  CollideVehicles(paused);
  ProcessVehicles(paused);
  WidgetFlightProcess(paused);
  PlayerAndWorldLogic(0);
  if (debris_enabled) Debris(Frozen());
  ProcPickups(0);
  ProcPots(0);
  ProcDeb3(0);
  DrawWeapons(0);
  ProcExtraWeapons(editor_active, 0);
  ZeRainProcess(Frozen());
}

void MainDrawLevel() {
  if (g_drawLevelDone) return;
  g_drawLevelDone = true;
  SetDefaultLights(1);
  FlockDraw();
  TrailDraw(paused);
  CheckRails();
  Slot(3, "cre");
  ProcPickups(1);
  SlotEnd(3);
  ProcPots(1);
  ProcDeb3(1);
  LevelFxRender(editor_active);
  ConCoreRender3D();
  CraftWepRender3D();
  RenderCannonSys();
  SetDefaultLights(1);
  ZeGCutSceneSysRender();
  ZeTriggerSysRender();
  Slot(7, "cob");
  main_cobs_drawn = DrawCobs(kaelcam ? &kaelcam->mtx : &zemtx_identity);
  SlotEnd(7);
  Slot(9, "shd");
  DrawShadows();
  SlotEnd(9);
  Slot(8, "tbr");
  if (g_tbrmtl_upd) {
    ZeMtlUpdate(tbr_mtl[0]);
    g_tbrmtl_upd = 0;
  }
  if (g_tbrdbg_rndr) DrawTimeBasedObjects(tbr_mtl[0], main_tbr_debug_flags);
  SlotEnd(8);
  SetDefaultLights(1);
  RenderVehicles();
  DrawWeapons(1);
  ProcExtraWeapons(editor_active, 1);
  DrawCages(paused);
  DrawChain(paused);
  DrawBeams();
  TBRManage();
  ZeRndrLine3dDbgFlush();
  ZeBridgeDraw(nullptr);
  ZeWindDraw();
  ZeFadeObjDraw();
  if (debris_enabled) {
    ZeRainProcess(Frozen());
    DebrisDraw(Frozen(), 1);
  }
  if (!game_editmode) {
    DrawClouds();
    DrawSpaceblobs();
  }
  Slot(10, "pol");
  ZeRndrDrawShadedPols(paused);
  ZeRndrWaterRippleUpdate(paused ? 0 : 1);
  ZeRndrWaterRip(nullptr);
  SlotEnd(10);
}

static void IntroHint() {
  if (!intro_flag) return;
  if (intro_hint_counter > 35) {
    ZeFntSet(game_fnt);
    ZeFntScale(game_fnt_scale, game_fnt_scale);
    ZeFntSetPen(0x80FFFFFF);
    ZeFntPrintEx(0x1400, 0xC80, 2, "%s", GetGameString(2));
  }
  if (--intro_hint_counter < 0) intro_hint_counter = 60;
}

int MainAfterSwap(int ontime) {
  if (ontime) {
    frame_misses = 0;
    return ontime;
  }
  if (frame_misses < 6) frame_misses++;
  // From the sixth miss on, a frame whose drawing fits its field (less the
  // catch-up step itself) gets no further catch-up.
  if (frame_misses >= 6 && tbslotLastValue(tb_default_set, 1) < 245 &&
      tbslotLastValue(tb_default_set, 0) - frame_catchup_time < 245) {
    frame_misses = 0;
    return 1;
  }
  return 0;
}

void MainFrame() {
  ZePs2VideoSetPos(videopos_x, videopos_y);
  for (int s = 2; s < 16; s++) tbslotReset(tb_default_set, s);
  Slot(11, "loop");
  static const ZEVEC kZero = {0, 0, 0};
  GBLevUpdateFrame(editor_active ? &kZero : &Player.cob.pos);
  FennHackNewHillBridge();
  ProcessTeleport();
  LevConProcess();

  const int was = paused;
  editor_remap_mtx = levcon_remap_mtx;
  DoInput();
  if (paused != was) {
    const int pitch = paused ? 0 : kPitchNormal;
    ZeSoundSetChannelPitch(0, pitch, 0);
    ZeSoundSetChannelPitch(1, pitch, 0);
    main_pitch_changes++;
  }
  if (!frame_ontime) {
    tbslotReset(tb_default_set, 15);
    Slot(15, "frmtmr");
    MainFrameOut();
    frame_catchup_time = tbslotEndFn(tb_default_set, 15);
    levcon_remap_mtx = nullptr;
  }
  ClearCannonTargetList();
  CobJointAnimStartFrame();
  if (!paused) ZeTexAnimProcess();
  ProcessGlass();
  if (reset_level) MainLevelReset();
  if (intro_flag && pad0 && (pad0->flags & ZEPAD_VALID) && pad0->buttons) {
    // Without level scripts the player simply keeps the start position.
    instZeGCutSceneStop(nullptr);
    intro_flag = 0;
  }
  CheckRandomTable();
  IncFrames();
  GameLightsFrame(paused, LevConCurrentOutdoor() && !game_editmode, editor_active);
  ZeSoundUpdate();
  DressingUpdate();
  ZeGCutSceneSysUpdate(paused);
  LevelFxPlatMove(editor_active);
  Slot(2, "scn");
  if (!paused) LevConUpdateScenes();
  SlotEnd(2);
  if (!WorldFrozen()) {
    PlatCages();
    TerrainPlatformNewUpdate();
  }
  if (pad_record && pad1 && (pad1->pressed & SCE_PADstart)) SavePadRecord(padfile);
  if (!paused) FlockProcess();
  if (editor_active && edmainProcess(pad0, 1.0f / 60.0f) == 1) {
    editor_active = 0;
    menu_active = 1;
    paused = 1;
    if (pad0) pad0->buttons = pad0->pressed = 0;
  }
  ProcessVehicleDebug();
  InitVehDebDraw(paused);
  ProcessDialog();
  InitVehicles();
  if (!paused) {
    ZeMtlAnimate(1.0f / 60.0f, 0xFFFFFF);
    InitEffects();
  }
  TakeControlVehicles(paused);
  CollideVehicles(paused);
  Slot(12, "veh");
  ProcessVehicles(paused);
  SlotEnd(12);
  WidgetFlightProcess(paused);
  PlayerAndWorldLogic(1);

  // The off-screen pass of time-based rendering.
  Slot(4, "tbr");
  if (tbr_tex && ZeRndrBeginScene(tbr_tex)) {
    SetEnviroMtx();
    if (g_tbrdbg_proc) TBRDrawCobs(tbr_mtl[1], TBRBudget(main_cobs_drawn));
    ZeRndrEndSceneEx((1u << gb_renderplane_level) | 0x1000000u);
  }
  SlotEnd(4);
  GBSpecialRender();

  Slot(5, "rndr");
  if (ZeRndrBeginScene(-1)) {
    ZeRndrClear(0x700, clear_screen_colour, 1.0f);
    Slot(6, "lev");
    SetEnviroMtx();
    SetDefaultLights(1);
    GBProcess(paused);
    ZePortalInit();
    g_drawLevelDone = false;
    if (debris_enabled) Debris(Frozen());
    // The level controller keeps the camera's position past the call.
    static ZEVEC eye;
    eye = kaelcam ? ZEVEC{kaelcam->mtx.m[3][0], kaelcam->mtx.m[3][1], kaelcam->mtx.m[3][2]} : Player.cob.pos;
    LevConRender(&eye);
    MainDrawLevel();
    SlotEnd(6);
    ExitAndFade();
    ZeRndrEndScene();
  }
  SlotEnd(5);
  if (shadows_enabled) {
    if (!fog_enabled) ZeLightFog(1.0f, 0.0f, 0, 0, 0);
    ZeRndrFx(paused, &Player.cob.pos);
  }
  if (ZeRndrBeginScene(-1)) {
    if (debris_enabled) DebrisDraw(Frozen(), 0);
    ZeRndrEndScene();
  }
  LevConRenderWater();
  DoGlass(editor_active);
  DebugVehicles();
  if (ZeRndrBeginScene(-1)) {
    GBRender2d(0);
    PlayerCraftDraw2D();
    DisplayVehicles();
    DrawQuickMsg();
    ConCoreRender2D();
    CraftWepRender2D();
    if (panel_enabled && (!paused || menu_active)) DrawPanel(editor_active);
    Render2DCannonSys();
    DrawDialog();
    DoMenu();
    IntroHint();
    DrawVehDebDraw();
    DrawDebugInfo();
    if (game_fade_mode == 0 || game_fade_mode == 1 || game_fade_mode == 4) {
      const int level = game_fade_level < 0 ? 0 : game_fade_level > 255 ? 255 : game_fade_level;
      ZeRndrRect2di(0, 0, 0x2800, 0xE00, 0x80000000u + uint32_t(level) * 0x010101u, general_fade_mtl);
    }
    if (editor_active) {
      ZeFntScale(12, 12);
      edmainRender();
      if (kaelcam) kaelcam->mtx = global_camera.mtx;  // the game camera follows the editor's
    }
    RenderTeleport();
    ZeRndrEndSceneEx(0);
  }
  SlotEnd(11);

  frame_ontime = MainAfterSwap(ZeRndrSwapScreen(-1));
  BGSuspendMain();
  if (screen_dump_countdown) {
    if (screen_dump_countdown == 1) {
      ZePs2VideoScreenDump("scr", 1, -1, 0.5f, 0.0f);
      paused = 0;
    }
    screen_dump_countdown--;
  }
  ZeErrorCheck("Main Thread");
  if (frame_step_countdown && --frame_step_countdown == 0) paused = menu_active = 1;
  gfcRunProgram(gameflow_prog);
  if (quit_flags & 1) {
    if (quit_delay > 0) {
      quit_delay--;
    } else {
      quit_flags &= uint16_t(~1u);
      if (exitgame == 0) exitgame = 1;
      menu_active = paused = menu_subactive = 0;
      level_name[0] = 0;
    }
  }
}

void MainQuitSplash() {
  if (!(quit_flags & 4)) return;
  static const char* const kNames[2] = {"gfx\\qvxspl_l.pnt", "gfx\\qvxspl_r.pnt"};
  char* at = bigbuffer->world_top;
  char* end = bigbuffer->block_end;
  ZETEXID tex[2] = {0, 0};
  ZEMTL* mtl[2] = {nullptr, nullptr};
  bool ok = true;
  for (int i = 0; i < 2 && ok; i++) {
    at = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(at) + 15) & ~uintptr_t(15));
    const int size = ZeFileSize(kNames[i]);
    // A missing or unreadable picture skips the splash: a texture is never
    // made from a buffer nothing was read into.
    if (size <= 0 || size > end - at || !ZeFileLoadBuffer(kNames[i], at, int(end - at))) {
      ok = false;
      break;
    }
    tex[i] = ZeTexCreateNative(at);
    if (!tex[i]) {
      ok = false;
      break;
    }
    at += size;
    mtl[i] = ZeMtlCreate(1);
    mtl[i]->attributes = (mtl[i]->attributes & 0xFFFFFCFFu) | 0xC100u;
    mtl[i]->texture = tex[i];
    ZeMtlUpdate(mtl[i]);
  }
  if (ok) {
    for (int f = 0; f < frameout.splash_frames; f++) {
      if (!ZeRndrBeginScene(-1)) continue;
      ZeRndrRectUV2di(0, 0, 0x2000, 0x1000, 0x80808080u, mtl[0], 0, 0, 1, 1);
      ZeRndrRectUV2di(0x2000, 0, 0x800, 0x1000, 0x80808080u, mtl[1], 0, 0, 1, 1);
      int a = -1;
      if (f < frameout.fade_in) a = (frameout.fade_in - f) * 255 / frameout.fade_in;
      else if (f >= frameout.splash_frames - frameout.fade_out)
        a = (f - (frameout.splash_frames - frameout.fade_out)) * 255 / frameout.fade_out;
      if (a >= 0) ZeRndrRect2di(0, 0, 0x2800, 0xE00, 0x80000000u + uint32_t(a) * 0x010101u, general_fade_mtl);
      ZeRndrEndScene();
      ZeRndrSwapScreen(-1);
    }
  }
  for (int i = 0; i < 2; i++) {
    if (mtl[i]) ZeMtlDestroy(mtl[i]);
    if (tex[i]) ZeTexDestroy(tex[i]);
  }
}

void MainCloseDown() {
  for (int ch = 0; ch < 4; ch++) {
    ZeSoundStopStream(ch);
    ZeSoundSetChannelPitch(ch, 0, 0);
  }
  for (int i = 0; i < 16; i++) {
    KernelWaitVSync();
    ZeSoundUpdate();
  }
  if (ZeRndrBeginScene(-1)) {
    ZeRndrClear(0x700, 0x80000000u, 1.0f);
    ZeRndrEndScene();
  }
  ZeRndrSwapScreen(-1);
  if (game_editmode) {
    for (int i = 0; i < 2; i++) {
      if (ZeRndrBeginScene(-1)) {
        ZeRndrClear(0x700, 0x80000000u, 1.0f);
        ZeFntSet(game_fnt);
        ZeFntScale(game_fnt_scale * 3 / 4, game_fnt_scale);
        ZeFntSetPen(0x80FFFFFF);
        const int y = 0xE00 / 2 - ZeFntHeight;
        ZeFntPrintEx(0x1400, y, 2, "Restart is NOT supported in Edit Mode");
        ZeFntPrintEx(0x1400, y + ZeFntHeight, 2, "you must now reset your Playstation2");
        ZeRndrEndScene();
      }
      ZeRndrSwapScreen(-1);
    }
    ZeError("End");
  }
  LevConSysClose();
  PlacementSysClose();
  ConCoreClose();
  GBSetInitLevel(0, nullptr, nullptr, nullptr, nullptr);
  edmainClose();
  UnLoadAllVehicles();
  MainQuitSplash();
  CloseCobs();
  CloseParticles();
  InstClose();
  if (app_fnt) ZeFntDestroy(app_fnt);
  game_fnt = app_fnt = app_fnt2 = nullptr;
  ZeFntClose();
  CloseWorldFxBlobs();
  CloseGlass();
  CloseEnviro();
  CloseSpecular();
  DebrisGlassClose();
  ZeRndrFPatchClose();
  ZeNormalMapClose();
  ZeGlassClose();
  ZeDebugMsg("Reached end of replay loop");
}

void MainReplay() {
  MainReplaySetUp();
  for (;;) {
    MainRestartPoint();
    do MainFrame();
    while (exitgame == 0 || game_fade_level < 255);
    if (exitgame != 2) break;
    // The level stays loaded; the player starts again.
    exitgame = 0;
    LifeLost();
  }
  MainCloseDown();
}

void MainStartUp() {
  // Every converted packet colour passes through the gamma table, all zeros
  // until it is made: an identity table first.
  GenerateGammaTable(1.0f, 1.0f);
  MainWriteStackMarker(GetThreadId());
  level_name[0] = 0;
  ZeDebugMsg("CD/DVD Rom Build - uses current cdrom_args");
  // The built-in vector, then the words the host adds (--args).
  const char* words[CDROM_ARGS + PLAT_ARG_WORDS];
  int count = 0;
  for (const char* w : cdrom_args) words[count++] = w;
  const char* const* extra = nullptr;
  const int nextra = PlatArgWords(&extra);
  for (int i = 0; i < nextra && count < CDROM_ARGS + PLAT_ARG_WORDS; i++) words[count++] = extra[i];
  MainParseArgs(count, words);

  ZeFileSetCurrentDirectory(main_current_dir);
  ZeFileSetCurrentSysDirectory(main_sys_dir);
  ZeFileSetCurrentDllDirectory(main_dll_dir);
  no_default_font = 1;
  ZePs2Init();
  if (medium_cdrom) ZeFileInitEx(ZEFILE_MEDIA_CD, medium_rebootiop, medium_eject);
  else if (medium_dvdrom) ZeFileInitEx(ZEFILE_MEDIA_DVD, medium_rebootiop, medium_eject);
  else ZeFileInit(ZEFILE_MEDIA_HOST);
  ZePs2InitIOP();
  ZePs2InitVideo(640, 224, PSMCT32, PSMZ24, 2);
  if (sound_enabled) {
    InitSFXTab();
    ZeSoundInitEx(static_cast<ZESOUNDENTRY*>(sfx_fileinfo), 500);
  }
  ZEDAT* world = nullptr;
  ZEDAT* modules = nullptr;
  if (dfs_enabled) {
    world = ZeDatOpen("gblds.dat", nullptr, nullptr);
    modules = ZeDatOpen("@dlldll.dat", nullptr, nullptr);
  }
  ZeDatSet(world);
  ZeDllInit(modules);
  ZePs2ScreenSwap(1);
  g_texBuffer = static_cast<char*>(ZeMemAllocFn(ZeTexGetSysBuffSize(tex_sysmax), __FILE__, __LINE__));
  g_mtlBuffer = static_cast<char*>(ZeMemAllocFn(ZeMtlGetSysBuffSize(main_mtl_slots), __FILE__, __LINE__));
  ZePs2VideoSetPos(0, 0);
  ZePs2InitVU();
  ZeTrigInit();
  ZeVpInit();
  ZeRndrOTInit(0, 0);
  ZeRndrInitEx(rndr_buffer_size);
  no_default_font = 0;
  ZeLightInit();
  char* mtl = g_mtlBuffer;
  ZeMtlInitEx(&mtl, main_mtl_slots);
  BuffyInit();
  pad0 = ZePs2OpenPad(0, 0);
  pad1 = ZePs2OpenPad(1, 0);
  app_tbset = tbsetCreate(nullptr);
  gb_tbset = tbsetCreate(nullptr);
  InitRandomTable("data\\rand.dat", 2048, 1500);
  ZeSoundSetRequestTable(SoundTable, 64);
  AppCutSceneSysInit();
  ZeTriggerSysInit();
  if (pad_record || pad_play) {
    // The recording buffer: a header and 20 bytes a frame.
    padrec = static_cast<uint8_t*>(
        ZeMemAllocFn(int(sizeof(ZEPADREC)) + PADREC_FRAMES * ZEPADREC_FRAME, __FILE__, __LINE__));
    InitPadPlayRecord(padfile, pad_record ? 1 : 2, PADREC_FRAMES, padrec);
  }
}

int GameMain(int, char**) {
  MainResetSettings();
  MainStartUp();
  for (;;) MainReplay();
}

void GameSfx() {}
void CloseWorld() {}
void InactivityTimer() {}
