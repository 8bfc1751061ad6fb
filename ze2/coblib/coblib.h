// coblib: characters. Shared pools of loaded models and animations,
// character types, the cobs the game objects embed, their locators and
// joint overrides, the light sets that light them, and the time-based
// rendering that draws distant cobs as images.
#pragma once

#include <cstdint>

#include "platform.h"
#include "zecore.h"
#include "zemath.h"
#include "ze3d.h"

// ===================================================================
// Shared instance pools (inst)
// ===================================================================


// ===================================================================
// Character types (cobtype)
// ===================================================================


// ===================================================================
// Characters (cob)
// ===================================================================


// ===================================================================
// Locators and joint overrides (cobloc)
// ===================================================================


// ===================================================================
// Light sets (coblight)
// ===================================================================
// One shared table of 512 level lights: entry 0 the global ambient, entry
// 1 the global directional light (both rebuilt every frame from the sun
// and the current level's inside lights), entries 2-511 the lights of the
// loaded sets, each under its set's key. Once a frame ProcessFlicker lists
// the lights near the camera and animates the flickering ones; per object
// the searches score the listed lights and set the renderer's lights.
//
// Light-set file ("level.lgt"): exactly 256 LEVLIGHT records (10240 bytes,
// little-endian), no header; free records have type -1.

enum {
  LEVLIGHT_FREE = -1,
  LEVLIGHT_LOCAL_AMBIENT = 0,
  LEVLIGHT_GLOBAL_AMBIENT = 1,
  LEVLIGHT_DIRECTIONAL = 2,
  LEVLIGHT_POINT = 3,
  LEVLIGHT_NEGATIVE = 4,  // kept in the table, used by neither search
  LEVLIGHT_POINT_SHADOW = 5,
  LEVLIGHT_FLICKER = 6,
  LEVLIGHT_FLICKER_SHADOW = 7,
  LEVLIGHT_TYPES = 8,
};

struct LEVLIGHT {
  int8_t type;          // LEVLIGHT_*
  uint8_t col[3];       // current colour R, G, B (faded, flickered; the globals' blend)
  int32_t group;        // the light editor's group number; not used for lighting
  int32_t key;          // the set's key
  float radius;         // reaches objects closer than this
  ZEVEC pos;            // position; the global directional entry: the direction of travel
  uint8_t flickconst;   // phase length: constant part, frames
  uint8_t flickrand;    // phase length: random part (random byte x this / 256)
  uint8_t flickstep;    // level change per frame
  uint8_t basecol[3];   // base colour R, G, B
  uint8_t gradcol[3];   // the colour at full flicker level
  uint8_t flicklevel;   // 0-255
  int16_t flickcount;   // frames left in the phase; negative while the level rises
};
static_assert(sizeof(LEVLIGHT) == 40);
static_assert(offsetof(LEVLIGHT, col) == 1 && offsetof(LEVLIGHT, group) == 4 && offsetof(LEVLIGHT, key) == 8 &&
              offsetof(LEVLIGHT, radius) == 12 && offsetof(LEVLIGHT, pos) == 16 &&
              offsetof(LEVLIGHT, flickconst) == 28 && offsetof(LEVLIGHT, flickrand) == 29 &&
              offsetof(LEVLIGHT, flickstep) == 30 && offsetof(LEVLIGHT, basecol) == 31 &&
              offsetof(LEVLIGHT, gradcol) == 34 && offsetof(LEVLIGHT, flicklevel) == 37 &&
              offsetof(LEVLIGHT, flickcount) == 38);

constexpr int LIGHTS_MAX = 512;
constexpr int LIGHTSET_RECORDS = 256;
constexpr int LIGHTSET_BYTES = LIGHTSET_RECORDS * int(sizeof(LEVLIGHT));  // 10240
constexpr int ACTIVELIGHTS_MAX = 64;
constexpr float LIGHT_ACTIVE_RANGE = 20.0f;  // listed within this of the camera
constexpr float LIGHT_FADE_RANGE = 18.0f;    // faded out beyond this
constexpr float LIGHT_SEARCH_RANGE = 24.0f;  // farther objects get the default lights

// An object's light memory for SearchLights.
struct COBLIGHTS {
  float slotscore[3];   // score of each directional slot's light
  float shadowscore;    // the shadow light's strength (score / 6)
  float ambscore;       // the local ambient light's score
  float shadowmem;      // shadow strength at the start of the fade
  int8_t slotfade[3];   // 100 when the slot's light changed, -5 a draw
  int8_t shadowfade;    // 100 on change, -2 a draw
  int8_t ambfade;       // 100 on change, -2 a draw
  uint8_t shadowbright; // 12
  int16_t slot[3];      // table index of each slot's light, -1 none
  int16_t shadowlight;  // -1 none
  int16_t amblight;     // -1 none
  ZEVEC slotdirmem[3];
  ZEVEC shadowdirmem;
  ZEVEC slotcolmem[3];
  ZEVEC shadowdir;      // the resulting shadow direction; (0, -1, 0) when reset
  ZEVEC ambcolmem;
};

// What SearchLightsBasic writes when given a record: colours are the light
// values x 128, truncated.
struct LIGHTSAMPLE {
  ZEVEC dirs[3];
  uint8_t cols[3][3];
  uint8_t amb[3];
};
static_assert(sizeof(LIGHTSAMPLE) == 48);

extern LEVLIGHT Lights[LIGHTS_MAX];
extern LEVLIGHT templights[LIGHTSET_RECORDS];
extern EePtr<LEVLIGHT> ActiveLights[ACTIVELIGHTS_MAX];
extern int16_t ActiveLightsNum[ACTIVELIGHTS_MAX];
extern int alightcount;
extern int lightkey;   // the next set's key (15 bits); while a set is held back, its key
extern int lighttrap;  // -1, or the parked key counter while a set is held back
extern LEVLIGHT DirInside, AmbInside, DirBlend1, AmbBlend1, DirBlend2, AmbBlend2;
extern float dirblend, ambblend;  // 1 at the start of a fade, 0 when done
// The outside light, written every frame by the world effects while
// outlighton is set.
extern ZEVEC thesun;
extern int16_t thesuncolr, thesuncolg, thesuncolb;
extern int16_t thesunambr, thesunambg, thesunambb;
extern int outlighton;       // 1 while the camera is outdoors
extern float outlightblend;  // 0 outdoors to 1 indoors
extern int shadowwobx, shadowwoby;  // 16-bit angles
extern ZEVEC defamb;
extern ZEVEC defdirs[3];
extern ZEVEC4 defcols[3];
extern ZEVEC4 defblank;
extern COBLIGHTS coblights;  // shared by every cob without its own

void InitLights();
void InitLight(COBLIGHTS* lights);
// The set's key, or -1 while a set is held back or when the file gave no
// whole record. A set that does not fit the table goes in as far as it fits.
int InsertLightSet(const char* path);
int RemoveLightSet(int key);  // 0, or -1 while a set is held back
int DisableLightSet(int key);  // 0, or -1 while another set is held back
int EnableLightSet();          // 0, or -1 when no set is held back
void ProcessFlicker(const ZEMTX* ref, int paused, int outdoors, int editor);
// Lights for a cob at pos (its matrix's translation) with smoothing in its
// record (coblights for a cob without its own).
void SearchLights(const ZEMTX* ref, const ZEVEC* pos, COBLIGHTS* lights, int reset);
// Without memory: sets the renderer's lights, or fills sample when given.
void SearchLightsBasic(const ZEMTX* ref, const ZEVEC* pos, LIGHTSAMPLE* sample);
void SetDefaultLights(int withcolours);
void SetOutsideLights(int on);
// Writes records (LIGHTSET_RECORDS of them) as a light-set file; 1 on
// success, 0 when the file cannot be written whole.
int WriteLightSet(const char* path, const LEVLIGHT* records);
// What the cob drawing reads and sets of a light record: the shadow
// direction and brightness (0: no shadow), and the brightness alone.
int CobLightsShadow(const COBLIGHTS* lights, ZEVEC* dir);
void CobLightsSetShadowBright(COBLIGHTS* lights, int brightness);


// ===================================================================
// Time-based rendering of distant characters (tbr)
// ===================================================================

