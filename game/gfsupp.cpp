// The game's game-flow program: set up once per replay, with the semaphores
// that game code finds by name.
#include "gameflow.h"

GfcProgram* gameflow_prog;
int sem_edit_mode = -1;
int sem_gb_init_level = -1;
int sem_in_craft_biplane = -1;
int sem_in_craft_wasp = -1;
int sem_ferry_loading = -1;
const char* gameflow_enter_vehicle;
const char* gameflow_leave_vehicle;
int gameflow_pending_op;

void InitGameFlow(const char* name, char** cursor, char* end) {
  gfcInit();
  sem_edit_mode = gfcAddSem("edit_mode", game_editmode, 1);
  gameflow_enter_vehicle = nullptr;
  gameflow_leave_vehicle = nullptr;
  gameflow_pending_op = 0;
  InitGameFlowCommands();
  gameflow_prog = gfcLoadProgram(name, cursor, end);
  sem_gb_init_level = gfcFindSem("gb_init_level");
  sem_in_craft_biplane = gfcFindSem("in_craft_biplane");
  sem_in_craft_wasp = gfcFindSem("in_craft_wasp");
  sem_ferry_loading = gfcFindSem("ferry_loading");
}
