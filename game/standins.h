// Services of systems not built yet, called at their places in the start-up
// and the frame. Each system's stand-ins live in one file named for it
// (*_standin.cpp); they do nothing and answer "none". The work that builds a
// system deletes its file and moves its declarations to the system's header.
#pragma once

#include <array>
#include <cstdint>

#include "coblib.h"
#include "gamelib.h"
#include "globular.h"
#include "levcon.h"
#include "ze3d.h"

// ===================================================================
// Renderer services not in ze3d yet (renderer_standin.cpp). Weak, so that
// the renderer's own definitions win as they land.
// ===================================================================
void ZeRndrFPatchClose();

// ===================================================================
// Scene and character model (scene_standin.cpp)
// ===================================================================
extern char texanimfilename[256];  // set by the universe (levcon)
extern int texanimbuffsize;
extern ZEGSCENE* pickup_gscene;
void InitialisePersistantVehicleCobs();
void InitialisePersistantVehicleCobs2();

// ===================================================================
// Sound (sound_standin.cpp): the game's effect table
// ===================================================================
void InitSFXTab();
extern void* sfx_fileinfo;

// ===================================================================
// Planet world (planet_standin.cpp): the entry points; the core is globular
// ===================================================================
extern float gb_lev_time;
extern int eval_fog_repeat, tex_info;  // fogshade_enable: the light unit's (ze3d)
int GBSetInitLevel(int level, char** buffer, char** end, char* fractal_start, char* fractal_end);
void GBLevUpdateFrame(const ZEVEC* position);
void Wfx3Load(const char* path, const char* name);  // a world's effects data
void InitWorldFx(void* worldbits);
void GBProcess(int paused);
void GBSpecialRender();
void GBRender2d(int n);
void InitWorldFxBlobs();
void CloseWorldFxBlobs();
void DrawClouds();
void DrawSpaceblobs();
void Wfx3SetFogType2(float blend, int a, int b);
void FrSurfaceInfo();

// ===================================================================
// Universe, level controller, loader and level drawing (levcon_standin.cpp)
// ===================================================================
extern void* editor_remap_mtx;
void PlacementSysInit();
void PlacementSysClose();
int LevConCurrentOutdoor();  // 1 when no level is current or the current level has sky
void LoadTelepads();
void ProcessTeleport();
void RenderTeleport();

// ===================================================================
// Level effects and conflicts (levelfx_standin.cpp)
// ===================================================================
void InitLevelFx();
void LevelFxReset();
void LevelFxPlatMove(int editor);
void LevelFxProcess(int editor, int drawn);
void LevelFxRender(int editor);
void ConCoreInit();
void ConCoreClose();
void ConCoreProcess(int drawn);
void ConCoreRender3D();
void ConCoreRender2D();
void ConCoreBGLoad(void* conflict, int background);
void LevelFxLifeLost();
extern int PLAYER_USING_POD;  // the escape pod holds the hero

// ===================================================================
// Cut scenes, triggers, scripts and dialogue (cutscene_standin.cpp)
// ===================================================================
void AppCutSceneSysInit();
void ZeTriggerSysInit();
void ZeTriggerSysUpdate(const ZEVEC* previous, int onground, float radius);
void ZeTriggerSysRender();
void ZeGCutSceneSysUpdate(int paused);
void ZeGCutSceneSysRender();
void InitDialog(ZEFNT* font, char** buffer, char* end);
void ProcessDialog();
void DrawDialog();
void instZeGCutSceneStop(void* instance);

// ===================================================================
// The simple game particles (gameparticles_standin.cpp)
// ===================================================================
void CloseParticles();

// ===================================================================
// The game camera (camera_standin.cpp): until the follow camera is
// built, kaelcam stands behind the hero and looks at his head.
// ===================================================================
extern ZECAMERA* kaelcam;
extern int cam_external_target;
constexpr float CAMERA_BEHIND = 3.0f, CAMERA_ABOVE = 1.5f, CAMERA_HEAD = 0.768f;
void InitCamera(int n);
void InitGameCamera(int angle);
void ProcessCamera();
float CameraYaw();  // the main game camera's yaw, radians
void SetActiveCamera(int n, int mode);
void SetNextCamera(int n, int mode);
// Pans, shake, the spot cameras and the rails.
extern int CameraPanActive, camsnap, camspot, oldcamspot, pointcam_end;
void SwapCameras(int n);
void SetShakeCam(float a, float b, float c, float d);
void CameraRailReset();

// ===================================================================
// Player, creatures and world objects (player_standin.cpp)
// ===================================================================
extern int checked_num_pickups[5];
extern int oasislev_nightstart, laying_spline_data, panel_flags;
void InitPanel(char** buffer);
void ResetPanel();
void DrawPanel(int editor);
void QuickMsg(const char* text);
void DrawQuickMsg();
void PanelPauseMenu();
extern int arena_island_draw_enabled;
void InitSplines();
void CheckRails();
void InitGens();
void InitChain();
void DrawChain(int paused);
void InitCages();
void PlatCages();
void DrawCages(int paused);
void InitTassle();
void ProcessTassle(int paused);
void FlockInit(void* scene);
void TrailInit(void* scene);
void TrailDraw(int paused);
void DrawBeams();
void ProcExtraWeapons(int editor, int drawn);
void FennHackNewHillBridge();
void InitCheckpoints();
void UpdateCheckpoints();
void InitCreats();
void ProcCreats(int frozen, int drawn);
void InitPickups();
void ProcPickups(int drawn);
void InitPots();
void ProcPots(int drawn);
void InitDeb3();
void ProcDeb3(int drawn);
void InitWeapons();
void MoveWeapons();
void DrawWeapons(int drawn);
void InitEffects();
void InitSpecular();
void CloseSpecular();
void InitEnviro();
void CloseEnviro();
void InitGlass();
void CloseGlass();
void ProcessGlass();
void DoGlass(int editor);
void GlassGivenMaterial(ZEMTL* mtl);
void SpecularGivenMaterial(ZEMTL* mtl);
void SetEnviroMtx();
void DrawShadows();
void PlayMusic(int id);
int SearchForMusicId(int n);
void FlockProcess();
void FlockDraw();
void saveloadInit(const char* dir, const char* icon, const char* title, int n);
int saveloadLoadIcon(const char* name, char* buffer);

// The hero's calls into the pots, pickups, weapons, HUD, tassel, widget,
// cannons, flocks, creatures and splines.
struct Pot {
  ZEVEC pos;
  int32_t yaw;        // ZEANG in the low 16 bits
  uint16_t flags;     // bit 0 present
  int16_t timer;
  int16_t type;       // row of the pot types, -1 free
  int16_t units;
  int16_t wobble;
  int16_t maskbit;
  int32_t range;
  int32_t helpspline;
  int16_t key;
  int16_t counter;    // per type: a launch pot's counter
  float lift;
  float param;
  uint8_t light[48];  // the light record: three directions, four colours of three bytes
};
static_assert(sizeof(Pot) == 96 && offsetof(Pot, flags) == 16 && offsetof(Pot, counter) == 38 &&
              offsetof(Pot, param) == 44);
constexpr int POT_TYPES = 64;
// What the pot types give the hero: the player action (0 glass, 1 reveal, 2
// launch, 4 cannon, 5 beam, -1 none), a cannon's strength 0-2 and whether it
// fixes the direction. Every row -1 until the pot types land.
struct PotPlayerRow {
  int8_t action, strength, fixeddir, pad;
};
extern std::array<PotPlayerRow, POT_TYPES> PotPlayer;
extern Pot* InPot;       // the pot the hero stands in
extern Pot* LastPot;     // the pot last touched
extern Pot* NearPot;     // the nearest pot within 5, or null
extern float potlock;    // 1.0 when the hero enters a pot
extern ZEMTX InPotMtx;   // InPot's drawing matrix this frame
extern int smokeon;
void PotEffect(Pot* pot, int effect);  // the pot's character effect
void RevealPots(const ZEVEC* position, float radius);
void ResetPots(int all);
void ResetPickups();
extern int num_pickups[8];  // entry 2 the antidote timer
extern const ZEVEC* NearChead;  // the nearest creature head, or null
void ResetCreats();
void ResetWeapons();
void Weapons(LOCATORINFO* info);
void Weapons2(LOCATORINFO* info);
void DrawMBall(LOCATORINFO* info);
extern ZEMTX MagMtx;  // the magic ball; its translation the ball
extern float maglen, magvel;
extern int magtilt, magturn;
extern ZEVEC lastmagpos[8];
extern int lastmagpt;
extern int lasertype, lasertimer, lasercharge;
void AddJLaser(int kind, const ZEVEC* start, const ZEVEC* end, uint32_t colour, float a, float b, float c);
void AddKaboom(const ZEVEC* position, int kind);
extern int glass_enabled;
extern int panel_antidote;  // the HUD's antidote display
extern int show_pickups_required_msg, num_pickups_required, pickups_required_timer;
void InitTassleHood();
void WidgetDeActivate();
extern int PLAYER_USING_WIDGET;
extern void* players_cannon;
void FlockFishPlayer(const ZEVEC* position, int on);
extern int fogpt;  // the fog point a checkpoint stores
// The loaded splines: one list per kind (2 lines the hero crawls along, 3
// camera splines, 4 energy lines). A point holds its position, the yaw to
// the next point (ZEANG as a float) and its distance from the first point.
struct SplinePoint {
  ZEVEC pos;
  float angle;
  float dist;
};
static_assert(sizeof(SplinePoint) == 20);
struct SplineHeader {
  int16_t kind;
  int16_t subtype;
  int16_t first;   // first point in splpts
  int16_t count;
  float f0, f1;
  EePtr<SplineHeader> next;
  int16_t key;
  int16_t pad;
};
static_assert(sizeof(SplineHeader) == 24);
enum : int { SPLINE_KINDS = 8, SPLINE_LINE = 2, SPLINE_CAMERA = 3, SPLINE_ENERGY = 4 };
extern EePtr<SplineHeader> splinfo[SPLINE_KINDS];
extern SplinePoint* splpts;
extern int splinekey;

// ===================================================================
// Vehicles, races and challenges (vehicles_standin.cpp)
// ===================================================================
extern int BoatRaceLaps, QuadRaceLaps, WhichWasp, NoCheckPointTimeOut, StartQuadRace, VehicleDebugEnabled,
    VehicleDebug_CameraAt, VehicleDebug_SingleStepAt, VehicleDebug_ResetAt, VehOverideMaxSpeed, VehOverideGravity,
    AiCam, UlmeInTheHouse, PellInTheHouse;
extern void* PlayerCraft;
extern void* PlayerBoat;
extern void* VehicleInControl;  // the vehicle that holds the hero
extern int PlayerJetPack;
void ReloadVehicles();
void LoadVehicles(void* level, char** buffer, char* end);
void UnLoadAllVehicles();
void InitVehicles();
void TakeControlVehicles(int paused);
void CollideVehicles(int paused);
void ProcessVehicles(int paused);
void CollideVehiclesPostPlayer();
void ProcessVehiclesPostPlayer(int paused);
void PreDrawVehicles();
void RenderVehicles();
void DisplayVehicles();
void DebugVehicles();
void ProcessVehicleDebug();
void VehCraftInitSys();
void PlayerCraftDraw2D();
void CraftWepProcess();
void CraftWepRender2D();
void InitVehDebDraw(int paused);
void DrawVehDebDraw();
void WidgetFlightProcess(int paused);
void CraftWepRender3D();
void InitCannonSys();
void UpdateCannonSys(int drawn);
void RenderCannonSys();
void Render2DCannonSys();
void ClearCannonTargetList();

// ===================================================================
// In-game editors (editors_standin.cpp)
// ===================================================================
struct EdDesc {
  const char* name;
  void (*init)();
  void (*close)();
  void (*enter)();
  void (*exit)();
  void (*hook1)();
  void (*hook2)();
  void (*loadblock)();
  const char* tag;
  int (*process)();  // 1 leaves the editor
  void (*render)();
};
void edbitsRegisterEditMode(int flag);
void edbitsRegisterLevel(const char* path, int n);
void edmainRegister(const EdDesc* desc);
void edmainInit(ZEFNT* font, int n);
int edmainProcess(ZEPAD* pad, float dt);
void edmainRender();
void edbitsRegisterSaveFormat(const char* kind, int n, const char* ext, const char* path);
void edbitsRegisterBaseScene(void* scene);
void edmainClose();
const EdDesc* edmainRegistered(int index);  // the registration list (null past its end)

// ===================================================================
// Streaming's calls into systems not built yet: the planet world's levels
// and switches (planet_standin.cpp; PlanetLev* keep worlds by exact planet
// name and levels by plate without geometry, where the real GBLev* need a
// loaded planet system and resident plates), vehicles (vehicles_standin.cpp), cut
// scenes and triggers (cutscene_standin.cpp), level effects
// (levelfx_standin.cpp), scenes (scene_standin.cpp), teleports
// (levcon_standin.cpp).
// ===================================================================
extern void* planet_lev;  // the planet world's current plate level (an island)
void PlanetLevRegisterWorld(const char* planet, const char* path, void* world);
int PlanetLevSetCurrentWorld(const char* planet);  // 1 when registered
void PlanetLevRegisterLevel(int plate, const ZEVEC* position, int align, void* island, float range);
void PlanetLevReleaseLevel(int plate);
void PlanetLevSetCurrentLevel(int plate);
void* PlanetLevGetCurrentWorld();
void* PlanetLevGetCurrentLevel();
ZEMTX* PlanetLevGetRemapMtx();  // null: no remap
void GBSetFarRender(int value);
void GBSetPlateRender(int value);
void GBProcessEnable(int value);
void GBSetPlanetRender(int value);
void GBSetTileRender(int on, int nearclip);
void GBHiResTexturesEnabled(int on);
void GBSetPlanetMeshRender(int on);
void GBReset();
void WorldFXSetSkyVisibility(int on);
void WorldFXSetSeaVisibility(int on);
void CloseWorldFx();
extern void *PlayerTrike, *PlayerQuad, *PlayerGlider;
extern float atmos_deccel_alt_max, atmos_deccel_alt_min, levelling_alt_min, levelling_alt_max;
void AddVehicleLevelInit(void* level);
void UnLoadVehicles(void* level);
void PlayerCraftRemap(void* mtx);
void ZeGCutSceneSysPostBackgroundLoad();
void ZeTriggerSysPostBackgroundLoad();
void ZeGCutSceneSysBackgroundFlush();
void ZeTriggerSysBackgroundFlush();
void* GetScriptLevel();
void LevelFxInit(void* level);
void LevelFxCloseLevel(void* level);
void* GetTeleportWorld();
void* GetTeleportIsland();
void* GetTeleportLevel();
// Level drawing's calls: the planet world's render and its hooks
// (planet_standin.cpp).
void DrawStars();
void DrawSky();
void DrawAtmos();
void ProcWorldFx();
void GBRender();
int GBGetPlanetRender();
using GBRenderFn = void (*)();
using GBPlateRenderFn = void (*)(int plate, void* island);
void GBSetPreSpaceRenderFunc(GBRenderFn fn);
void GBSetPrePlanetRenderFunc(GBRenderFn fn);
void GBSetPlateRenderFunc(GBPlateRenderFn fn);
void GBSetPostPlanetRenderFunc(GBRenderFn fn);
void GBSetPostSpaceRenderFunc(GBRenderFn fn);

// ===================================================================
// The per-level loaders and removers of systems not built yet, called by
// the background loader and the level controller: creatures, pots,
// pickups, splines, level generators, debris pieces and visibility tables
// (player_standin.cpp), cut-scene lists, trigger volumes and level scripts
// (cutscene_standin.cpp), the level module's load (levelfx_standin.cpp),
// level help (help_standin.cpp). Keys are -1 and pointers null: none.
// ===================================================================
int InsertCreatureSet(const char* name, void* terrain, char** buffer, char* end);
void RemoveCreatureSet(int key, void* level);
void EnableCreatureSet(int key, int mode, int flags);  // mode 1 enable, 2 disable
int InsertPotSet(const char* name, void* level);
void RemovePotSet(int key);
void EnablePotSet(int key);
void DisablePotSet(int key);
int InsertPickupSet(const char* name, void* level);
void RemovePickupSet(int key);
void EnablePickupSet(int key);
void DisablePickupSet(int key);
int InsertSplineSet(const char* name);
void RemoveSplineSet(int key);
void InitLevelGens(ZEGSCENE* scene);
void CloseLevelGens(ZEGSCENE* scene);
void ResetDeb3();
void* GetVisiTable(ZEGSCENE* scene);  // the scene's visibility table, null none
void BuildVisiTable(ZEGSCENE* scene, char** buffer, char* end);
void ApplyVisiTable(ZEGSCENE* scene, const ZEVEC* camera);
int WorldFXSeaVisibility();  // planet_standin.cpp: 1 when the world's sea is seen
void* ZeTriggerSysLoad(const char* name, char** buffer, char* end);
void* LoadLevelCutScenes(const char* path, const char* name, ZEGSCENE* scene, void* triggerinst, char** buffer,
                         char* end, int background, int page);
void DestroyLevelCutScenes(void* list);
void* ZeScriptSetLoadBuff(const char* name, char** buffer, char* end);
void* instZeTriggerSysCreate(void* triggers, ZEGSCENE* scene, void* script, char** buffer, char* end, int background);
void instZeTriggerSysDestroy(void* instance);
void instZeGCutSceneServiceLoad();  // feeds a cut scene streamed from the disc
void LevelFxBGInit(void* level, char** buffer, char* end);
int LoadLevelHelp(const char* name, char** buffer, char* end, int potset);
void RemoveLevelHelp(int key);
void SetLevelHelp(int key);
