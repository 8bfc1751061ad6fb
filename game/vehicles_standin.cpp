// Stand-ins for vehicles, races and challenges: no vehicle exists.
#include "standins.h"

int BoatRaceLaps, QuadRaceLaps, WhichWasp, NoCheckPointTimeOut, StartQuadRace, VehicleDebugEnabled,
    VehicleDebug_CameraAt, VehicleDebug_SingleStepAt, VehicleDebug_ResetAt, VehOverideMaxSpeed, VehOverideGravity,
    AiCam, UlmeInTheHouse, PellInTheHouse;
void* PlayerCraft;
void* PlayerBoat;
void* VehicleInControl;
int PlayerJetPack;
void ReloadVehicles() {}

void LoadVehicles(void*, char**, char*) {}
void UnLoadAllVehicles() {}
void InitVehicles() {}
void TakeControlVehicles(int) {}
void CollideVehicles(int) {}
void ProcessVehicles(int) {}
void CollideVehiclesPostPlayer() {}
void ProcessVehiclesPostPlayer(int) {}
void PreDrawVehicles() {}
void RenderVehicles() {}
void DisplayVehicles() {}
void DebugVehicles() {}
void ProcessVehicleDebug() {}
void VehCraftInitSys() {}
void PlayerCraftDraw2D() {}
void CraftWepProcess() {}
void CraftWepRender2D() {}
void InitVehDebDraw(int) {}
void DrawVehDebDraw() {}
void WidgetFlightProcess(int) {}
void CraftWepRender3D() {}
void InitCannonSys() {}
void UpdateCannonSys(int) {}
void RenderCannonSys() {}
void Render2DCannonSys() {}
void ClearCannonTargetList() {}
void *PlayerTrike, *PlayerQuad, *PlayerGlider;
float atmos_deccel_alt_max, atmos_deccel_alt_min, levelling_alt_min, levelling_alt_max;
void AddVehicleLevelInit(void*) {}
void UnLoadVehicles(void*) {}
void PlayerCraftRemap(void*) {}
