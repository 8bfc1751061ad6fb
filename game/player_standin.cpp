// Stand-ins for creatures, pickups, pots, weapons, the HUD and
// saves: no objects exist.
#include "standins.h"

#include <array>
#include "zecore.h"

int checked_num_pickups[5];
int oasislev_nightstart = 1, laying_spline_data, panel_flags;

void InitPanel(char**) {}
void ResetPanel() {}
void DrawPanel(int) {}
void QuickMsg(const char*) {}
void DrawQuickMsg() {}
void InitCheckpoints() {}
void UpdateCheckpoints() {}
void InitCreats() {}
void ProcCreats(int, int) {}
void InitPickups() {}
void ProcPickups(int) {}
void InitPots() {}
void ProcPots(int) {}
void InitDeb3() {}
void ProcDeb3(int) {}
void InitWeapons() {}
void MoveWeapons() {}
void DrawWeapons(int) {}
void InitEffects() {}
void InitSpecular() {}
void CloseSpecular() {}
void InitEnviro() {}
void CloseEnviro() {}
void InitGlass() {}
void CloseGlass() {}
void ProcessGlass() {}
void DoGlass(int) {}
void GlassGivenMaterial(ZEMTL*) {}
void SpecularGivenMaterial(ZEMTL*) {}
void SetEnviroMtx() {}
void DrawShadows() {}
void PlayMusic(int) {}
int SearchForMusicId(int) { return -1; }
void FlockProcess() {}
void FlockDraw() {}
void saveloadInit(const char*, const char*, const char*, int) {}
// The icon loader answers the file's size as the file layer reports it: -1
// for a missing icon, and nothing is loaded.
int saveloadLoadIcon(const char* name, char*) { return ZeFileSize(name) < 0 ? -1 : 0; }
void PanelPauseMenu() {}
int arena_island_draw_enabled = 1;
void InitSplines() {}
void CheckRails() {}
void InitGens() {}
void InitChain() {}
void DrawChain(int) {}
void InitCages() {}
void PlatCages() {}
void DrawCages(int) {}
void InitTassle() {}
void ProcessTassle(int) {}
void FlockInit(void*) {}
void TrailInit(void*) {}
void TrailDraw(int) {}
void DrawBeams() {}
void ProcExtraWeapons(int, int) {}
void FennHackNewHillBridge() {}

// The per-level sets of creatures, pots, pickups and splines, the level's
// generators and debris pieces, and visibility tables: none are loaded.
int InsertCreatureSet(const char*, void*, char**, char*) { return -1; }
void RemoveCreatureSet(int, void*) {}
void EnableCreatureSet(int, int, int) {}
int InsertPotSet(const char*, void*) { return -1; }
void RemovePotSet(int) {}
void EnablePotSet(int) {}
void DisablePotSet(int) {}
int InsertPickupSet(const char*, void*) { return -1; }
void RemovePickupSet(int) {}
void EnablePickupSet(int) {}
void DisablePickupSet(int) {}
int InsertSplineSet(const char*) { return -1; }
void RemoveSplineSet(int) {}
void InitLevelGens(ZEGSCENE*) {}
void CloseLevelGens(ZEGSCENE*) {}
void ResetDeb3() {}
void* GetVisiTable(ZEGSCENE*) { return nullptr; }
void BuildVisiTable(ZEGSCENE*, char**, char*) {}
void ApplyVisiTable(ZEGSCENE*, const ZEVEC*) {}

// What the hero reaches of pots, pickups, weapons, the HUD, the tassel, the
// widget, cannons, flocks, creatures, checkpoints, splines.
std::array<PotPlayerRow, POT_TYPES> PotPlayer = [] {
  std::array<PotPlayerRow, POT_TYPES> rows{};
  for (PotPlayerRow& r : rows) r.action = -1;
  return rows;
}();
Pot* InPot;
Pot* LastPot;
Pot* NearPot;
float potlock;
ZEMTX InPotMtx;
int smokeon;
void PotEffect(Pot*, int) {}
void RevealPots(const ZEVEC*, float) {}
void ResetPots(int) {}
void ResetPickups() {}
int num_pickups[8];
const ZEVEC* NearChead;
void ResetCreats() {}
void ResetWeapons() {}
void Weapons(LOCATORINFO*) {}
void Weapons2(LOCATORINFO*) {}
void DrawMBall(LOCATORINFO*) {}
ZEMTX MagMtx;
float maglen, magvel;
int magtilt, magturn;
ZEVEC lastmagpos[8];
int lastmagpt;
int lasertype, lasertimer, lasercharge;
void AddJLaser(int, const ZEVEC*, const ZEVEC*, uint32_t, float, float, float) {}
void AddKaboom(const ZEVEC*, int) {}
int glass_enabled;
int panel_antidote;
int show_pickups_required_msg = -1, num_pickups_required, pickups_required_timer;
void InitTassleHood() {}
void WidgetDeActivate() {}
int PLAYER_USING_WIDGET;
void* players_cannon;
void FlockFishPlayer(const ZEVEC*, int) {}
int fogpt;
EePtr<SplineHeader> splinfo[SPLINE_KINDS];
SplinePoint* splpts;
int splinekey = -1;
