// The program's own menus: the level select before a replay, the text menu
// of the paused edit mode, the mode select for modules, the debug-function
// display, the editor registration with the texture viewer, and routines
// for level-select pictures and the level list.
#include "game.h"
#include "standins.h"

#include <cstring>

const TextMenuRow* menu_current;
int menu;
int dbgfn_display, dbgfn_selected, dbgfn_name_timer;
char** level_list;
int tv_page, tv_mode;
float tv_scale = 1.0f;

namespace {

constexpr uint32_t kPenCursor = 0x80FFFFFF, kPenOther = 0x80404040;

const TextMenuRow* g_menuShown;
int g_menuStartY;
bool g_menuLayout;

void Resume() { paused = menu_active = menu_subactive = 0; }
void CloseStayPaused() { menu_active = menu_subactive = 0; }
void FrameStep() {
  Resume();
  frame_step_countdown = 2;
}
void EnterEditor() {
  editor_active = 1;
  menu_active = menu_subactive = 0;
}
void RestartLevel() { MainLevelReset(); }

void QuitAndStart(const char* level) {
  fnMainQuit();
  strncpy(level_name, level, PATHNAME - 1);
}
void QuitDroom() { QuitAndStart("newdroom"); }
void QuitGlider() { QuitAndStart("newglidr"); }
void QuitStart() { QuitAndStart("newstart"); }
void QuitArena() { QuitAndStart("newarena"); }
void QuitVillage0() {
  QuitAndStart("village");
  AddInGameLevelStateOverride("village", 0);
}
void QuitVillage1() {
  QuitAndStart("village");
  AddInGameLevelStateOverride("village", 1);
}

const TextMenuRow kNewHillMenu[] = {{24, Resume},     {37, fnMainQuit}, {40, QuitDroom}, {41, QuitGlider},
                                    {42, QuitStart},  {43, QuitArena},  {0, nullptr}};
const TextMenuRow kVillageMenu[] = {{24, Resume}, {37, fnMainQuit}, {44, QuitVillage0}, {45, QuitVillage1}, {0, nullptr}};
const TextMenuRow kFlightMenu[] = {{24, Resume}, {37, fnMainQuit}, {0, nullptr}};

struct Mode {
  const char* level;
  const char* label;
  const TextMenuRow* menu;
};
const Mode kModes[3] = {{"newhill", "Hero Island", kNewHillMenu},
                        {"village", "exarco", kVillageMenu},
                        {"flight", "ferratilis", kFlightMenu}};

int Rows(const TextMenuRow* m) {
  int n = 0;
  while (m[n].string) n++;
  return n;
}

// Reads pad 0 and moves a cursor over n lines; true when cross chose.
bool MenuPad(int* cursor, int n) {
  if (!pad0) return false;
  if ((pad0->pressed & SCE_PADLup) && *cursor > 0) (*cursor)--;
  if ((pad0->pressed & SCE_PADLdown) && *cursor < n - 1) (*cursor)++;
  return (pad0->pressed & SCE_PADRdown) != 0;
}

void ClearedFrame() {
  if (ZeRndrBeginScene(-1)) {
    ZeRndrClear(0x700, 0x80000000u, 1.0f);
    ZeRndrEndScene();
  }
  ZeRndrSwapScreen(-1);
}

// Lines centred on the screen, the cursor's white and the others grey.
void DrawLines(int n, int cursor, int sx, int sy, const char* (*text)(int i, char* buf)) {
  if (!ZeRndrBeginScene(-1)) return;
  ZeRndrClear(0x700, 0x80000000u, 1.0f);
  ZeFntSet(game_fnt);
  ZeFntScale(sx, sy);
  int y = (PS2_REZ_H * 16 - ZeFntHeight * n + ZeFntBase) / 2;
  char buf[80];
  for (int i = 0; i < n; i++) {
    ZeFntSetPen(i == cursor ? kPenCursor : kPenOther);
    ZeFntPrintEx(PS2_REZ_W * 8, y, 2, "%s", text(i, buf));
    y += ZeFntHeight;
  }
  ZeRndrEndScene();
}

const char* LevelLine(int i, char* buf) {
  const LevMenuEntry& e = levmenu[levmenu_current].entries[i];
  strcpy(buf, e.title);
  if (e.flags & 1) strcat(buf, "(Edit)");
  return buf;
}
const char* ModeLine(int i, char*) { return kModes[i].label; }

// Texture viewer: an editor of a process and a render function.

int TvProcess() {
  if (!pad0) return 0;
  const uint32_t p = pad0->pressed, h = pad0->buttons;
  if (p & SCE_PADR1) tv_page++;
  if ((p & SCE_PADL1) && tv_page > 0) tv_page--;
  if (h & SCE_PADR2) tv_page++;
  if ((h & SCE_PADL2) && tv_page > 0) tv_page--;
  if (p & SCE_PADLup) tv_scale += 0.1f;
  if (p & SCE_PADLdown) tv_scale -= 0.1f;
  if (p & SCE_PADRright) tv_mode = (tv_mode + 1) & 7;
  return (p & SCE_PADstart) ? 1 : 0;
}
void TvRender() { ZeTexDisplayTexturePage(tv_page, tv_mode, tv_scale); }

// The descriptors of the editors the host offers; their own code is not
// part of this program yet, so they carry only their names.
const EdDesc kEditors[] = {
    {"Glider Editor", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "edtm", nullptr, nullptr},
    {"Challenge Editor", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "edch", nullptr, nullptr},
    {"Load Trigger Editor", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "edlt", nullptr, nullptr},
    {"Placement Editor", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "edpe", nullptr, nullptr},
    {"Game Trigger Editor", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "gtrg", nullptr, nullptr},
    {"Teleport Editor", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "tele", nullptr, nullptr},
    {"WFX3 Editor", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "wfx3", nullptr, nullptr},
    {"Prelight Editor", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "edpl", nullptr, nullptr},
    {"Bridge Editor", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "edbr", nullptr, nullptr},
    {"Grass Editor", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "edgr", nullptr, nullptr},
    {"Particle Positioner", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "edpp", nullptr, nullptr},
    {"Creature Editor", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "edcr", nullptr, nullptr},
    {"Kael's Editor", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "edpc", nullptr, nullptr},
    {"Light Editor", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "edlg", nullptr, nullptr},
    {"Spline Editor", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "edsp", nullptr, nullptr},
    {"Texture Viewer", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "tv01", TvProcess, TvRender},
};

// Pictures of the level select: one per listed level and two fixed ones.
constexpr int kLsImages = 64 + 2;
ZEMTL* g_lsMtl[kLsImages];
ZETEX* g_lsImage[kLsImages];
int g_levelListCount;

bool Chord(uint32_t held) { return pad0 && (pad0->buttons & held) == held; }

}  // namespace

const TextMenuRow main_debug_menu[] = {{30, Resume},      {31, CloseStayPaused}, {32, FrameStep}, {33, EnterEditor},
                                       {36, RestartLevel}, {37, fnMainQuit},      {0, nullptr}};

const DebugFunction debug_functions[] = {{dbgfnAppTimingBars, "APP Timing Bars"},
                                         {dbgfnGBTimingBars, "Fractal Timing Bars"},
                                         {dbgfnGBTextureInfo, "Fractal Texture Info"},
                                         {dbgfnTimeBasedRendering, "Time Based Rendering"},
                                         {dbgfnMonitorCalibration, "Monitor Calibration"},
                                         {dbgfnGameFlow, "GameFlow"},
                                         {dbgfnBufferUsage, "Buffer Usage"},
                                         {nullptr, nullptr}};

void fnMainQuit() {
  if (exitgame == 0) exitgame = 1;
  menu_active = menu_subactive = 0;
  paused = 0;
  level_name[0] = 0;
}

void LevelSelect() {
  if (level_name[0]) return;
  LevMenu& m = levmenu[levmenu_current];
  if (m.count == 0) ZeError("No Entries in levmenu and no level name defined");
  int cursor = 0;
  for (;;) {
    if (pad0) ZePs2ReadPad(pad0);
    if (MenuPad(&cursor, m.count)) {
      const LevMenuEntry& e = m.entries[cursor];
      strcpy(level_name, e.level);
      WhichWasp = e.flags >> 8;
      game_editmode = e.flags & 1;
      break;
    }
    DrawLines(m.count, cursor, game_fnt_scale, game_fnt_scale * 3 / 4, LevelLine);
    ZeRndrSwapScreen(-1);
  }
  ClearedFrame();
  ClearedFrame();
  // Later replays offer only the chosen kind.
  int n = 0;
  for (int i = 0; i < m.count; i++)
    if ((m.entries[i].flags & 1) == game_editmode) m.entries[n++] = m.entries[i];
  m.count = n;
}

void ModeSelect() {
  int cursor = 0;
  while (!level_name[0]) {
    if (pad0) ZePs2ReadPad(pad0);
    if (MenuPad(&cursor, 3)) {
      strcpy(level_name, kModes[cursor].level);
      menu_current = kModes[cursor].menu;
      break;
    }
    DrawLines(3, cursor, game_fnt_scale, game_fnt_scale, ModeLine);
    ZeRndrSwapScreen(-1);
  }
  ClearedFrame();
  ClearedFrame();
}

void DoMenu() {
  if (!menu_current) menu_current = main_debug_menu;
  if (menu_current != g_menuShown) {
    g_menuLayout = true;
    g_menuShown = menu_current;
  }
  if (!menu_active) return;
  if (menu_current == main_debug_menu && !menu_subactive && !game_editmode) {
    PanelPauseMenu();
    return;
  }
  ZeFntSet(game_fnt);
  ZeFntScale(game_fnt_scale, game_fnt_scale);
  const int rows = Rows(menu_current);
  if (pad0) {
    if ((pad0->pressed & SCE_PADLup) && menu > 0) menu--;
    if ((pad0->pressed & SCE_PADLdown) && menu_current[menu + 1].string) menu++;
    if (pad0->pressed & SCE_PADRdown) menu_current[menu].handler();
  }
  if (g_menuLayout) {
    // The rows appear from the next frame, centred for the new menu.
    g_menuStartY = (PS2_REZ_H * 16 - ZeFntHeight * rows) / 2 + ZeFntBase;
    g_menuLayout = false;
  } else {
    int y = g_menuStartY;
    for (int i = 0; i < rows; i++) {
      ZeFntSetPen(i == menu ? kPenCursor : kPenOther);
      ZeFntPrintEx(0x1400, y, 2, "%s", GetGameString(menu_current[i].string));
      y += ZeFntHeight;
    }
  }
  if (Chord(SCE_PADL1 | SCE_PADR1)) {
    ZeFntSet(nullptr);
    ZeFntScale(16, 16);
    ZeFntSetPen(0x80808080);
    ZeFntPrintEx(0x1400, g_menuStartY + ZeFntHeight * (rows + 1), 2, "torva - host build");
  }
}

void DrawDebugInfo() {
  constexpr uint32_t kChord = SCE_PADL1 | SCE_PADL2;
  if (Chord(kChord) && (pad0->pressed & SCE_PADselect)) dbgfn_display ^= 1;
  if (!dbgfn_display || !debug_options) return;
  int count = 0;
  while (debug_functions[count].fn) count++;
  if (Chord(SCE_PADR2)) {
    if (pad0->pressed & SCE_PADLup) {
      dbgfn_selected = dbgfn_selected > 0 ? dbgfn_selected - 1 : count - 1;
      dbgfn_name_timer = 50;
    }
    if (pad0->pressed & SCE_PADLdown) {
      dbgfn_selected = dbgfn_selected < count - 1 ? dbgfn_selected + 1 : 0;
      dbgfn_name_timer = 50;
    }
  }
  if (dbgfn_name_timer > 0) {
    dbgfn_name_timer--;
    ZeFntSet(nullptr);
    ZeFntScale(32, 32);
    ZeFntSetPen(0x80808080);
    ZeFntPrintEx(0x1400, 0x700, 2, "%s", debug_functions[dbgfn_selected].name);
    return;
  }
  debug_functions[dbgfn_selected].fn();
}

void dbgfnAppTimingBars() {
  ZeFntSet(app_fnt);
  ZeFntScale(32, 32);
  if (Chord(SCE_PADL1 | SCE_PADR1) && pad0 && (pad0->pressed & SCE_PADRup)) tb_peak_reset = 1;
  tbRender(tb_default_set);
}

void dbgfnGBTimingBars() {
  ZeFntSet(app_fnt);
  ZeFntScale(32, 32);
  if (Chord(SCE_PADL1 | SCE_PADR1) && pad0 && (pad0->pressed & SCE_PADRup)) tb_peak_reset = 1;
  tbRender(gb_tbset);
}

void dbgfnGBTextureInfo() {
  tex_info = 1;
  FrSurfaceInfo();
  tex_info = 0;
}

void dbgfnTimeBasedRendering() {
  if (pad0) {
    if (pad0->pressed & SCE_PADLup) main_tbr_debug_flags ^= 1;
    if (pad0->pressed & SCE_PADLdown) main_tbr_debug_flags ^= 2;
    if (pad0->pressed & SCE_PADLleft) main_tbr_debug_flags ^= 4;
    if (pad0->pressed & SCE_PADLright) main_tbr_debug_flags ^= 8;
  }
  TBRDebug(tbr_mtl[2], main_tbr_debug_flags);
}

void dbgfnMonitorCalibration() {
  static int colourBars;
  if (pad0 && (pad0->pressed & SCE_PADLright)) colourBars ^= 1;
  ZeRndrClear(0x700, 0x80000000u, 1.0f);
  // The screen less a 16-pixel border, in 1/16 pixel.
  const int x0 = 16 * 16, y0 = 16 * 16, w = (PS2_REZ_W - 32) * 16, h = (PS2_REZ_H - 32) * 16;
  const int bars = colourBars ? 8 : 16;
  for (int i = 0; i < bars; i++) {
    uint32_t c;
    if (colourBars) {
      c = 0x80000000u | ((i & 1) ? 0xFFu : 0) | ((i & 2) ? 0xFF00u : 0) | ((i & 4) ? 0xFF0000u : 0);
    } else {
      const uint32_t g = uint32_t(i) * 17;
      c = 0x80000000u | g | g << 8 | g << 16;
    }
    const int bx = x0 + w * i / bars, bw = x0 + w * (i + 1) / bars - bx;
    ZeRndrRect2di(bx, y0, bw, h, c, nullptr);
  }
}

void dbgfnGameFlow() {
  if (gameflow_prog) gfcDisasm(gameflow_prog, pad0);
}

void dbgfnBufferUsage() { BuffyDisplayUsage(); }

void MainRegisterEditors(ZEFNT* font) {
  edbitsRegisterEditMode(game_editmode);
  const int first = game_editmode ? 7 : 0, last = game_editmode ? 14 : 7;
  for (int i = first; i < last; i++) edmainRegister(&kEditors[i]);
  edmainRegister(&kEditors[14]);
  edmainRegister(&kEditors[15]);
  edmainInit(font, 0);
  editor_active = 0;
}

void TextureCreate(const char* name, ZEMTL** mtl, ZETEX** image) {
  *mtl = nullptr;
  *image = nullptr;
  if (ZeFileSize(name) <= 0) return;
  ZETEX* img = ZeTexReadBitmapMM(name, 0);
  if (!img) return;
  ZEMTL* m = ZeMtlCreate(1);
  uint32_t a = m->attributes | 0xC000u;
  a = (a & ~0x30u) | 0x10u;
  a = (a & ~0x30000u) | 0x20000u;
  a = (a & ~0x300u) | 0x100u;
  a = (a & ~0xC00u) | 0x400u;
  a |= 0x40000u;
  a &= ~0xFu;
  m->attributes = a;
  m->texture = ZeTexCreate(img);
  ZeMtlUpdate(m);
  ZeMemSetExternal(nullptr, nullptr);
  *mtl = m;
  *image = img;
}

void TextureDestroy(ZEMTL* mtl, ZETEX* image) {
  if (mtl) {
    if (mtl->texture) ZeTexDestroy(mtl->texture);
    ZeMtlDestroy(mtl);
  }
  if (image) {
    if (image->texels) ZeMemFreeFn(image->texels, __FILE__, __LINE__);
    ZeMemFreeFn(image, __FILE__, __LINE__);
  }
}

void LoadLevelList() {
  ReleaseLevelList();
  ZEFPAR* p = ZeFParCreate("levelsel\\levels.cfg");
  constexpr int kMax = kLsImages - 2;
  level_list = static_cast<char**>(ZeMemAllocFn(int(sizeof(char*)) * (kMax + 1), __FILE__, __LINE__));
  g_levelListCount = 0;
  while (p && g_levelListCount < kMax && ZeFParGetLine(p)) {
    if (!ZeFParGetWord(p) || ZeStrICmp(p->word, "LEVEL") != 0) continue;
    const int n = ZeFParGetWord(p);
    if (n == 0) continue;
    char* copy = static_cast<char*>(ZeMemAllocFn(n + 1, __FILE__, __LINE__));
    memcpy(copy, p->word, size_t(n) + 1);
    level_list[g_levelListCount++] = copy;
  }
  level_list[g_levelListCount] = nullptr;
  if (p) ZeFParDestroy(p);
}

void ReleaseLevelList() {
  if (!level_list) return;
  for (int i = 0; level_list[i]; i++) ZeMemFreeFn(level_list[i], __FILE__, __LINE__);
  ZeMemFreeFn(level_list, __FILE__, __LINE__);
  level_list = nullptr;
}

void ReleaseLSImages() {
  for (int i = g_levelListCount - 1; i >= 0; i--) {
    TextureDestroy(g_lsMtl[i], g_lsImage[i]);
    g_lsMtl[i] = nullptr;
    g_lsImage[i] = nullptr;
  }
  for (int i = kLsImages - 2; i < kLsImages; i++) {
    TextureDestroy(g_lsMtl[i], g_lsImage[i]);
    g_lsMtl[i] = nullptr;
    g_lsImage[i] = nullptr;
  }
}
