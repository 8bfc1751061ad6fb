// game: the program's start-up, built-in command line, replay and frame
// loops, menus, level buffer and game strings. The program `torva` and the
// tests link it; `GameMain` is the program's entry on the engine's main
// thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform.h"
#include "zecore.h"
#include "zeps2.h"
#include "ze3d.h"

#include "gameflow.h"
#include "levcon.h"

// ===================================================================
// Start-up and the built-in command line (main, mainargs)
// ===================================================================

constexpr int CDROM_ARGS = 55;
extern const char* const cdrom_args[CDROM_ARGS];

// Level menus: two menus of up to 16 entries. Flags: bits 8 and up the
// WhichWasp value current when the entry was parsed; bit 0 an edit-mode entry.
constexpr int LEVMENU_MENUS = 2;
constexpr int LEVMENU_ENTRIES = 16;
constexpr int LEVMENU_NAME = 33;  // up to 31 characters are kept
struct LevMenuEntry {
  char level[LEVMENU_NAME];
  char title[LEVMENU_NAME];
  int flags;
};
struct LevMenu {
  int count;
  LevMenuEntry entries[LEVMENU_ENTRIES];
};
extern LevMenu levmenu[LEVMENU_MENUS];
extern int levmenu_current;

// Level-progress overrides: the command line's (LEVELSTATE) and the game's.
constexpr int LEVELSTATE_ROWS = 6;
constexpr int INGAME_LEVELSTATE_ROWS = 5;
struct LevelStateOverride {
  const char* level;
  int progress;
};
extern LevelStateOverride levelstate_cmd[LEVELSTATE_ROWS];
extern int levelstate_cmd_count;
extern LevelStateOverride levelstate_ingame[INGAME_LEVELSTATE_ROWS];
extern int levelstate_ingame_count;

constexpr int CMDFILE_WORDS = 64;
constexpr int PADREC_FRAMES = 36000;
constexpr int PATHNAME = 256;

// Start-up settings.
extern int debug_options;
extern int videopos_x, videopos_y;
extern char main_current_dir[PATHNAME], main_sys_dir[PATHNAME], main_dll_dir[PATHNAME];
extern char level_name[PATHNAME];
extern char levcon_uni_name[PATHNAME];
extern char gameflow_name[PATHNAME];
extern char language[16];
extern int LEVELBUFFERSIZE;
extern int tex_sysmax;
extern int main_mtl_slots;
extern int rndr_buffer_size;
extern int fog_enabled;
extern int intro_skip_noscript;
extern int game_editmode;
extern int medium_cdrom, medium_dvdrom, medium_rebootiop, medium_eject;
extern int dfs_enabled, sound_enabled;
extern char padfile[32];
extern int pad_record, pad_play;
extern uint8_t* padrec;  // allocated when PADREC or PADPLAY asks
extern char avi_name[PATHNAME];
extern int avi_width, avi_height, avi_framerate, avi_framescale;
extern float avi_gamma;
extern int game_fnt_scale;
extern uint32_t clear_screen_colour;
extern int debris_enabled, creats_enabled, shadows_enabled, panel_enabled, game_triggers_enabled,
    checkpoints_enabled;

extern ZEPAD* pad0;
extern ZEPAD* pad1;
extern TBSET* app_tbset;
extern TBSET* gb_tbset;
extern ZEFNT* game_fnt;
extern ZEFNT* app_fnt;
extern ZEFNT* app_fnt2;
extern ZEMTL* general_fade_mtl;
extern ZEMTL* test_mtl;
extern ZEMTL* tbr_mtl[3];
extern ZETEXID tbr_tex;
extern int tbr_tex_addr, tbr_tex_size;
extern char* texanimbuff;

int GameMain(int argc, char** argv);  // never returns while the program runs
void MainStartUp();  // phase A: settings parsed, every service up once
void MainReplay();   // one replay: set-up, frames, restarts, close-down
void MainWriteStackMarker(int thread);
void MainParseArgs(int count, const char* const* words);
void MainResetSettings();  // the defaults of every setting (tests)
void OverrideLevelProgress();
void AddInGameLevelStateOverride(const char* level, int progress);
void InitTexAnimScripts();
void MiscInit(char** buffer, char* end);
void tbrInit();
int MainMtlReadHandler(ZEMTL* mtl);

// ===================================================================
// Replay loop and frame loop (main)
// ===================================================================

extern int exitgame;
extern int game_fade_mode;    // 0 fading in, 1 fading out, 3 none, 4 held black
extern int game_fade_status;  // 3 in done, 5 fading out, 6 fading in, 7 black
extern int game_fade_level;   // 0..255
extern int paused, menu_active, menu_subactive, editor_active, reset_level;
extern uint16_t quit_flags;
extern int16_t quit_delay;
extern int intro_flag, intro_hint_counter;
extern int frame_ontime, frame_misses, frame_catchup_time;
extern int frame_step_countdown, screen_dump_countdown;
extern float sealevel, CurFog, SeekFog, CurRain, SeekRain;
extern int RainTimer, raintog;
extern int16_t SoundTable[64];
extern int PauseCurMenu;
struct MainFrameOutInfo {
  int splash_frames;  // 600
  int fade_in;        // 60
  int fade_out;       // 60
};
extern MainFrameOutInfo frameout;
extern int main_tbr_debug_flags;
extern int main_pitch_changes;  // pause pitch changes made (sound channels 0 and 1)

void MainReplaySetUp();
void MainRestartPoint();
void MainFrame();  // one frame, steps 1-43
void MainCloseDown();
int MainAfterSwap(int ontime);  // the miss counter; the on-time flag for the next frame
int MainWorldFrozen();          // 1 while paused differs from editor_active
void MainFrameOut();
void MainDrawLevel();
void MainRain();
void DoInput();
void MainQuitSplash();
void MainLevelReset();
void GameSfx();
void CloseWorld();
void InactivityTimer();

// ===================================================================
// Level select, pause and debug menus (menus)
// ===================================================================

struct TextMenuRow {
  int string;         // game-string id; 0 ends the table
  void (*handler)();
};
extern const TextMenuRow main_debug_menu[];
extern const TextMenuRow* menu_current;
extern int menu;  // cursor row
extern int dbgfn_display, dbgfn_selected, dbgfn_name_timer;

struct DebugFunction {
  void (*fn)();
  const char* name;
};
extern const DebugFunction debug_functions[];

void LevelSelect();
void DoMenu();
void ModeSelect();
void DrawDebugInfo();
void MainRegisterEditors(ZEFNT* font);
void fnMainQuit();
void dbgfnAppTimingBars();
void dbgfnGBTimingBars();
void dbgfnGBTextureInfo();
void dbgfnTimeBasedRendering();
void dbgfnMonitorCalibration();
void dbgfnGameFlow();
void dbgfnBufferUsage();
void TextureCreate(const char* name, ZEMTL** mtl, ZETEX** image);
void TextureDestroy(ZEMTL* mtl, ZETEX* image);
void LoadLevelList();
void ReleaseLevelList();
void ReleaseLSImages();
extern char** level_list;  // heap names, ended by null
extern int tv_page, tv_mode;  // the texture viewer: page (from 0), mode 0..7
extern float tv_scale;

// ===================================================================
// Level buffer allocator (buffy)
// ===================================================================

struct BuffyDesc;
using BuffyCallback = void (*)(BuffyDesc* desc, int event, void* data);  // event 0 release, 1 locked

enum : int { BUFFY_FREE = 0, BUFFY_UNLOCKED = 1, BUFFY_LOCKED = 2 };
enum : int {
  BUFFY_LOW = 0, BUFFY_SUB = 1, BUFFY_HIGH = 2, BUFFY_ANY = 4, BUFFY_MAIN = 5,
  BUFFY_SUBHIGH = 6, BUFFY_SUBLOW = 7, BUFFY_SUBAT = 8,
  BUFFY_STEAL = 0x10,  // a LOW or HI request may take the SUB slot once
};

struct BuffyDesc {
  EePtr<char> start;
  EePtr<char> end;      // one past the last byte
  EePtr<char> current;  // the owner's bump pointer
  int32_t index;        // 0 LOW, 1 SUB, 2 HI
  int32_t lockstate;    // BUFFY_FREE, BUFFY_UNLOCKED, BUFFY_LOCKED
  EePtr<void(BuffyDesc*, int, void*)> callback;
  EePtr<void> data;
  EePtr<void(BuffyDesc*, int, void*)> pending_callback;
  EePtr<void> pending_data;
  uint32_t size;        // multiple of 128
  uint32_t placement;   // SUB: 0 automatic, 1 top, 2 bottom, 3 at (placement & ~0xFF) above the world top
  int32_t lockcount;    // the relock key
  uint32_t flags;       // bits 4-7 of the request type
  char username[32];
};
static_assert(sizeof(BuffyDesc) == 13 * 4 + 32);
static_assert(offsetof(BuffyDesc, size) == 36 && offsetof(BuffyDesc, username) == 52);

struct BuffyBuffer {
  EePtr<char> block_start, block_end;
  EePtr<char> permanent_top, system_top, world_top;
  BuffyDesc desc[3];
};
static_assert(sizeof(BuffyBuffer) == 20 + 3 * sizeof(BuffyDesc));

extern BuffyBuffer* bigbuffer;
extern int buffy_display_bits;  // bit 0 Used/Free column, bit 1 table

void BuffyInit();
void BuffyClose();  // gives the block back (tests)
void BuffyReset();
BuffyDesc* BuffyAllocate(int size, int type, BuffyCallback callback, void* data);
int BuffyLock(BuffyDesc* desc);
int BuffyUnlock(BuffyDesc* desc);
void BuffyRelock(BuffyDesc* desc, int key);
void BuffyRelease(BuffyDesc* desc);
int BuffyValidateRequest(BuffyDesc* desc, char** start, char** current, char** end, int* available, int ignoreSub);
int BuffyFindSlot(int type);
void BuffyStealCallback(BuffyDesc* desc, int event, void* waiting);
void BuffyDisplayUsage();
void BuffyDrawKeyItem(int x, int y, uint32_t colour, const char* label);

// ===================================================================
// Game strings (gamestr)
// ===================================================================

constexpr int MAX_GAME_STRINGS = 1024;
constexpr int GAMESTR_FORMAT = 512;
extern uint8_t* game_strings[MAX_GAME_STRINGS];  // count byte, text, terminator
extern const char* game_string_vars[10];

void InitGameStrings(char** cursor, char* end, const char* language);
const char* GetGameString(int id);
void SetGameStringVariable(int index, const char* text);

// ===================================================================
// Light sets (gamelights.cpp)
// ===================================================================
void GameLightsStart();  // the light table at each replay
// Once a frame: the light sets against the game camera.
void GameLightsFrame(int paused, int outdoors, int editor);

// ===================================================================
// Named particle effects (gendeb)
// ===================================================================
// Game code names an effect by its row of GenDeb (215 rows, then a row with
// a null name); the row holds the effect type, -1 none.
constexpr int GENDEB_ROWS = 215;
constexpr int GENDEB_RAINSPLASH = 128;  // "RainSplash": the rain's splash on the ground
struct GenDebEntry {
  int16_t type;   // effect type, -1 none
  int16_t found;  // 1: found in the general page (a level's page does not replace it)
  EePtr<const char> name;
};
static_assert(sizeof(GenDebEntry) == 8);
extern GenDebEntry GenDeb[GENDEB_ROWS + 1];
void InitGenDeb();  // every row from the general page (after it is loaded)
void InitLevelDeb(int page);  // the rows the general page lacks, from a level's page
