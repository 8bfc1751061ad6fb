// The built-in command line: the argument vector the program parses in
// place of the system's, the settings its words change, the level menus it
// builds and the level-progress overrides.
#include "game.h"
#include "player.h"
#include "standins.h"

#include <cstdlib>
#include <cstring>

const char* const cdrom_args[CDROM_ARGS] = {
    "dfs", "dvdrom", "rebootiop", "sound",
    "setlevmenu", "0", "whichwasp", "0",
    "levmenu", "hometown", "Home Town",
    "levmenu", "caves", "The Mines",
    "levmenu", "castle", "The Castle",
    "levmenu", "trakside", "Track Race",
    "levmenu", "testsite", "Research Site",
    "levmenu", "ferry", "A Ferry Trip",
    "levmenu", "newhill", "Hero Island",
    "levmenu", "volctop", "The Volcano",
    "levmenu", "sylex", "Sylex",
    "levmenu", "village", "Exarco",
    "levmenu", "oasis", "Oasis Defence",
    "levmenu", "aliennes", "The Alien Nest",
    "whichwasp", "1",
    "levmenu", "mountext", "The Mount Of Sighs",
    "whichwasp", "0",
    "levmenu", "volcspd", "The Refinery",
    "",
};

LevMenu levmenu[LEVMENU_MENUS];
int levmenu_current;
LevelStateOverride levelstate_cmd[LEVELSTATE_ROWS];
int levelstate_cmd_count;
LevelStateOverride levelstate_ingame[INGAME_LEVELSTATE_ROWS];
int levelstate_ingame_count;

int debug_options;
int videopos_x, videopos_y;
char main_current_dir[PATHNAME], main_sys_dir[PATHNAME], main_dll_dir[PATHNAME];
char level_name[PATHNAME];
char levcon_uni_name[PATHNAME];
char gameflow_name[PATHNAME];
char language[16];
int LEVELBUFFERSIZE;
int tex_sysmax;
int main_mtl_slots;
int rndr_buffer_size;
int fog_enabled;
int intro_skip_noscript;
int game_editmode;
int medium_cdrom, medium_dvdrom, medium_rebootiop, medium_eject;
int dfs_enabled, sound_enabled;
char padfile[32];
int pad_record, pad_play;
uint8_t* padrec;
char avi_name[PATHNAME];
int avi_width, avi_height, avi_framerate, avi_framescale;
float avi_gamma;
int game_fnt_scale;
uint32_t clear_screen_colour;
int debris_enabled, creats_enabled, shadows_enabled, panel_enabled, game_triggers_enabled, checkpoints_enabled;

namespace {

// The parse: a cursor on the word under test and the words left after it.
struct ArgCursor {
  const char* const* words;
  int at;
  int left;  // words from the cursor on
  const char* word() const { return words[at]; }
};

// Words read from a command file (heap copies, freed when parsing ends).
char* g_cmdWords[CMDFILE_WORDS];
int g_cmdCount;
bool g_inCmdFile;

void Copy(char* dst, size_t size, const char* src) {
  strncpy(dst, src, size - 1);
  dst[size - 1] = 0;
}

// Takes n arguments: the cursor moves onto the last; fatal when the vector
// ends first.
const char* Arg(ArgCursor& c, int i, const char* missing) {
  if (c.left <= i) ZeError("%s", missing);
  return c.words[c.at + i];
}
void Consume(ArgCursor& c, int n) {
  c.at += n;
  c.left -= n;
}

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

void AddLevMenu(const char* level, const char* title, int edit) {
  if (levmenu_current < 0 || levmenu_current >= LEVMENU_MENUS) return;
  LevMenu& m = levmenu[levmenu_current];
  if (m.count >= LEVMENU_ENTRIES) {
    ZeDebugMsg("Too many levmenu commands");
    return;
  }
  LevMenuEntry& e = m.entries[m.count++];
  memset(&e, 0, sizeof e);
  if (strlen(level) < 32) strcpy(e.level, level);
  else ZeDebugMsg("'%s' is too long for a level name", level);
  if (strlen(title) < 32) strcpy(e.title, title);
  else ZeDebugMsg("'%s' is too long for a level name", title);
  e.flags = (WhichWasp << 8) | edit;
}

void UlmeCommon(const char* level) {
  VehicleDebugEnabled = 1;
  Copy(level_name, sizeof level_name, level);
  Copy(levcon_uni_name, sizeof levcon_uni_name, "new.uni");
}
void UlmeTime() {
  gb_time = 0.375f;
  gb_time_step = 10000.0f;
}

// Reads a command file's words and moves the cursor onto the first; false
// when it cannot be opened or holds none.
bool ReadCmdFile(ArgCursor& c, const char* name) {
  ZEFPAR* p = ZeFParCreate(name);
  if (!p) return false;
  while (g_cmdCount < CMDFILE_WORDS && ZeFParGetLine(p)) {
    while (g_cmdCount < CMDFILE_WORDS) {
      const int n = ZeFParGetWord(p);
      if (!n) break;
      char* w = static_cast<char*>(ZeMemAllocFn(n + 1, __FILE__, __LINE__));
      memcpy(w, p->word, size_t(n) + 1);
      g_cmdWords[g_cmdCount++] = w;
    }
  }
  ZeFParDestroy(p);
  if (g_cmdCount == 0) return false;
  g_inCmdFile = true;
  // Parsing goes on with the file's words; its first word is tested against
  // the keywords after CMDFILE in this pass.
  c.words = g_cmdWords;
  c.at = 0;
  c.left = g_cmdCount;
  return true;
}

// One pass over the keyword table for the word under the cursor. Returns
// false when parsing must end.
bool ParseOne(ArgCursor& c) {
  auto is = [&](const char* kw) { return c.left > 0 && ZeStrICmp(c.word(), kw) == 0; };
  constexpr const char* kMissing = "missing arg";
  if (is("CMDFILE")) {
    const char* file = Arg(c, 1, kMissing);
    if (g_inCmdFile) {
      // A second file inside a command file would restart the scan of the
      // same words for ever: ignored.
      ZeDebugMsg("CMDFILE %s inside a command file ignored", file);
      Consume(c, 1);
    } else if (!ReadCmdFile(c, file)) {
      return false;
    }
  }
  if (is("PATH")) { Copy(main_current_dir, PATHNAME, Arg(c, 1, kMissing)); Consume(c, 1); }
  if (is("LCOPLOG")) lcoplog_enabled = 1;
  if (is("GAMEFLOWLOG")) gameflowlog_enabled = 1;
  if (is("SYSPATH")) { Copy(main_sys_dir, PATHNAME, Arg(c, 1, kMissing)); Consume(c, 1); }
  if (is("DLLPATH")) { Copy(main_dll_dir, PATHNAME, Arg(c, 1, kMissing)); Consume(c, 1); }
  if (is("NOFOG")) fog_enabled = 0;
  if (is("BOATLAPS")) { BoatRaceLaps = atoi(Arg(c, 1, kMissing)); Consume(c, 1); }
  if (is("WHICHWASP")) { WhichWasp = atoi(Arg(c, 1, kMissing)); Consume(c, 1); }
  if (is("QUADLAPS")) { QuadRaceLaps = atoi(Arg(c, 1, kMissing)); Consume(c, 1); }
  if (is("LEVELSTATE")) {
    const char* level = Arg(c, 1, kMissing);
    const int progress = atoi(Arg(c, 2, kMissing));
    if (levelstate_cmd_count < LEVELSTATE_ROWS) {
      const size_t n = strlen(level) + 1;
      char* copy = static_cast<char*>(ZeMemAllocFn(int(n), __FILE__, __LINE__));
      memcpy(copy, level, n);
      levelstate_cmd[levelstate_cmd_count++] = {copy, progress};
    } else {
      ZeDebugMsg("LEVELSTATE %s %d ignored: only %d level states", level, progress, LEVELSTATE_ROWS);
    }
    Consume(c, 2);
  }
  if (is("NOCHECKTIMEOUT")) NoCheckPointTimeOut = 1;
  if (is("ULMEBOAT") || is("ULMEBOATRACE") || is("ULMEQUADRACE")) {
    const char* level = is("ULMEBOAT") ? "lakeside" : is("ULMEBOATRACE") ? "newstart" : "trakside";
    PellInTheHouse = 1;
    rndr_buffer_size = 0xA0000;
    UlmeCommon(level);
    UlmeTime();
  }
  if (is("ULMESCUD") || is("ULMEMOUNTAIN")) {
    UlmeCommon(is("ULMESCUD") ? "testsite" : "mountain");
    UlmeTime();
  }
  if (is("ULMEJETPACK")) {
    rndr_buffer_size = 0xA0000;
    UlmeCommon("lakeside");
    UlmeTime();
  }
  if (is("ULMETRIKE")) UlmeCommon("island2lev");
  if (is("ULMEQUAD")) {
    StartQuadRace = 1;
    rndr_buffer_size = 0xA0000;
    UlmeCommon("lakeside");
    UlmeTime();
  }
  if (is("LEVEL")) { Copy(level_name, PATHNAME, Arg(c, 1, kMissing)); Consume(c, 1); }
  if (is("SETLEVMENU") && c.left > 1) {
    const int n = atoi(c.words[c.at + 1]);
    // Only menus 0 and 1 exist: another index would fill memory past them.
    if (n >= 0 && n < LEVMENU_MENUS) levmenu_current = n;
    else ZeDebugMsg("SETLEVMENU %d ignored: menus are 0 and 1", n);
    Consume(c, 1);
  }
  if (is("LEVMENU") || is("EDLEVMENU")) {
    const int edit = is("EDLEVMENU") ? 1 : 0;
    constexpr const char* kMsg = "missing arg - LEVMENU <levelname> <menuname>";
    AddLevMenu(Arg(c, 1, kMsg), Arg(c, 2, kMsg), edit);
    Consume(c, 2);
  }
  if (is("UNI")) { Copy(levcon_uni_name, PATHNAME, Arg(c, 1, kMissing)); Consume(c, 1); }
  if (is("FLO")) { Copy(gameflow_name, PATHNAME, Arg(c, 1, kMissing)); Consume(c, 1); }
  if (is("LEVELBUFFERSIZE")) { LEVELBUFFERSIZE = atoi(Arg(c, 1, "LEVELBUFFERSIZE - missing arg")); Consume(c, 1); }
  if (is("RNDRBUFFERSIZE")) { rndr_buffer_size = atoi(Arg(c, 1, "RNDRBUFFERSIZE - missing arg")); Consume(c, 1); }
  if (is("TOD")) {
    constexpr const char* kMsg = "TOD - missing arg <TOD time(24 hrs) duration of day (minutes)> ";
    gb_time = float(atoi(Arg(c, 1, kMsg))) / 24.0f;
    gb_time_step = float(atoi(Arg(c, 2, kMsg)));
    Consume(c, 2);
  }
  if (is("MIPMAP")) zemtl_force_mipmap = 1;
  if (is("NOBGLOAD")) multithreaded = 0;
  if (is("NOINTRO")) intro_skip_noscript = 1;
  if (is("EDIT")) {
    game_editmode = 1;
    LEVELBUFFERSIZE -= 1048576;
  }
  if (is("ULME")) UlmeInTheHouse = 1;
  if (is("PELL")) PellInTheHouse = 1;
  for (int twice = 0; twice < 2; twice++) {
    if (is("SPEED")) { VehOverideMaxSpeed = atoi(Arg(c, 1, kMissing)); Consume(c, 1); }
    if (is("GRAVITY")) { VehOverideGravity = -atoi(Arg(c, 1, kMissing)); Consume(c, 1); }
    if (twice) break;
    if (is("AICAM")) AiCam = 1;
    if (is("VBUG")) VehicleDebugEnabled = 1;
    if (is("OLDFOG")) fogshade_enable = 0;
    if (is("NOSHADOW")) zerndr_shadowson = 0;
    if (is("DFS")) dfs_enabled = 1;
    if (is("CDROM")) medium_cdrom = 1;
    if (is("DVDROM")) medium_dvdrom = 1;
    if (is("REBOOTIOP")) medium_rebootiop = 1;
    if (is("EJECT")) medium_eject = 1;
    if (is("SOUND")) sound_enabled = 1;
    if (is("NOHITPOINTS")) hitpoints_override = 1;
    if (is("PICKUPS")) {
      const int kind = atoi(Arg(c, 1, "missing arg for PICKUPS"));
      if (kind >= 0 && kind <= 4) {
        checked_num_pickups[kind] = Clamp(atoi(Arg(c, 2, "missing arg for PICKUPS")), 0, 999);
        Consume(c, 2);
      } else {
        Consume(c, 1);
      }
    }
    if (is("LIVES")) { start_player_lives = Clamp(atoi(Arg(c, 1, "missing arg for LIVES")), 1, 999); Consume(c, 1); }
    if (is("HITPOINTS")) {
      start_player_hitpoints = Clamp(atoi(Arg(c, 1, "missing arg for HITPOINTS")), 1, 999);
      Consume(c, 1);
    }
    if (is("NODAMAGE")) hitpoints_override = 1;
    if (is("ATLASSHIELD")) atlasshield_override = 1;
  }
  if (is("VCAM@")) { VehicleDebug_CameraAt = atoi(Arg(c, 1, kMissing)); VehicleDebugEnabled = 1; Consume(c, 1); }
  if (is("VSTEP@")) { VehicleDebug_SingleStepAt = atoi(Arg(c, 1, kMissing)); VehicleDebugEnabled = 1; Consume(c, 1); }
  if (is("VRESET@")) { VehicleDebug_ResetAt = atoi(Arg(c, 1, kMissing)); VehicleDebugEnabled = 1; Consume(c, 1); }
  if (is("QUANTISE") || is("QUANTIZE")) zetex_force_quantisation = 1;
  if (is("OASISDAY")) oasislev_nightstart = 0;
  if (is("RAILSPLINE")) laying_spline_data = 1;
  if (is("LANGUAGE")) {
    // The code must fit the setting; a longer one is a bad argument.
    const char* code = Arg(c, 1, kMissing);
    if (strlen(code) < sizeof language) Copy(language, sizeof language, code);
    else ZeDebugMsg("LANGUAGE %s - bad arg: at most %d characters", code, int(sizeof language) - 1);
    Consume(c, 1);
  }
  if (is("PADREC") || is("PADPLAY")) {
    const bool rec = is("PADREC");
    const char* file = Arg(c, 1, kMissing);
    if (strlen(file) < sizeof padfile) {
      Copy(padfile, sizeof padfile, file);
      (rec ? pad_record : pad_play) = 1;
    } else {
      ZeDebugMsg("%s %s - bad arg: at most %d characters", rec ? "PADREC" : "PADPLAY", file, int(sizeof padfile) - 1);
    }
    Consume(c, 1);
  }
  if (is("AVINAME")) { Copy(avi_name, PATHNAME, Arg(c, 1, kMissing)); Consume(c, 1); }
  if (is("AVICFG")) {
    constexpr const char* kMsg = "Missing arg - AVICFG <width> <height> <framerate> <framescale> <gamma>";
    avi_width = atoi(Arg(c, 1, kMsg));
    avi_height = atoi(Arg(c, 2, kMsg));
    avi_framerate = atoi(Arg(c, 3, kMsg));
    avi_framescale = atoi(Arg(c, 4, kMsg));
    avi_gamma = float(atof(Arg(c, 5, kMsg)));
    ZeDebugMsg("AVICFG w=%d h=%d fr=%d frscale=%d gamma=%f", avi_width, avi_height, avi_framerate, avi_framescale,
               double(avi_gamma));
    Consume(c, 5);
  }
  if (is("VIDEOPOS")) {
    constexpr const char* kMsg = "VIDEOPOS - missing arg <VIDEOPOS screen x and screen y> ";
    videopos_x = atoi(Arg(c, 1, kMsg));
    videopos_y = atoi(Arg(c, 2, kMsg));
    Consume(c, 2);
  }
  return true;
}

}  // namespace

void MainResetSettings() {
  debug_options = 1;
  videopos_x = videopos_y = 0;
  Copy(main_current_dir, PATHNAME, "data");
  main_sys_dir[0] = main_dll_dir[0] = 0;
  level_name[0] = 0;
  Copy(levcon_uni_name, PATHNAME, "new.uni");
  Copy(gameflow_name, PATHNAME, "torva.flo");
  Copy(language, sizeof language, "uk");
  LEVELBUFFERSIZE = 0x1499000;
  tex_sysmax = 3072;
  main_mtl_slots = 1024;
  rndr_buffer_size = 0xD4800;
  fog_enabled = 1;
  intro_skip_noscript = 0;
  game_editmode = 0;
  medium_cdrom = medium_dvdrom = medium_rebootiop = medium_eject = 0;
  dfs_enabled = sound_enabled = 0;
  Copy(padfile, sizeof padfile, "PAD.BIN");
  pad_record = pad_play = 0;
  Copy(avi_name, PATHNAME, "run");
  avi_width = 720;
  avi_height = 480;
  avi_framerate = 60;
  avi_framescale = 1;
  avi_gamma = 1.0f;
  game_fnt_scale = 20;
  clear_screen_colour = 0x80000000;
  debris_enabled = creats_enabled = shadows_enabled = panel_enabled = game_triggers_enabled = checkpoints_enabled = 1;
  for (int i = 0; i < levelstate_cmd_count; i++) ZeMemFreeFn(const_cast<char*>(levelstate_cmd[i].level), __FILE__, __LINE__);
  levelstate_cmd_count = 0;
  levelstate_ingame_count = 0;
  WhichWasp = 0;
}

void MainParseArgs(int count, const char* const* words) {
  levmenu_current = 0;
  levmenu[0].count = levmenu[1].count = 0;
  g_cmdCount = 0;
  g_inCmdFile = false;
  for (int i = 0; i < count; i++) ZeDebugMsg("Command Arg %d -> %s", i, words[i]);
  ArgCursor c{words, 0, count};
  while (c.left > 0) {
    if (!ParseOne(c)) break;
    Consume(c, 1);
  }
  for (int i = 0; i < g_cmdCount; i++) ZeMemFreeFn(g_cmdWords[i], __FILE__, __LINE__);
  g_cmdCount = 0;
  g_inCmdFile = false;
}

void OverrideLevelProgress() {
  auto apply = [](const LevelStateOverride& row) {
    LevConLevel* level = LevConFindLevelByName(row.level);
    if (!level) return;
    ZeDebugMsg("Overriding Level_progress for level %s", row.level);
    level->progress = row.progress;
  };
  for (int i = 0; i < levelstate_ingame_count; i++) apply(levelstate_ingame[i]);
  for (int i = 0; i < levelstate_cmd_count; i++) apply(levelstate_cmd[i]);
}

void AddInGameLevelStateOverride(const char* level, int progress) {
  if (levelstate_ingame_count < INGAME_LEVELSTATE_ROWS) levelstate_ingame[levelstate_ingame_count++] = {level, progress};
}
