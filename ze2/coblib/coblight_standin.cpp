// Stand-in for the light sets until their module lands: no light is chosen,
// the renderer keeps its lights, and the default record holds no shadow.
#include "coblib.h"
#include "coblib_local.h"

// The light memory record as the light sets keep it; only its shadow
// fields are read by the cob drawing.
struct COBLIGHTS {
  float slotscore[3];
  float shadowscore;
  float ambscore;
  float shadowmem;
  int8_t slotfade[3];
  int8_t shadowfade;
  int8_t ambfade;
  uint8_t shadowbright;
  int16_t slot[3];
  int16_t shadowlight;
  int16_t amblight;
  ZEVEC slotdirmem[3];
  ZEVEC shadowdirmem;
  ZEVEC slotcolmem[3];
  ZEVEC shadowdir;
  ZEVEC ambcolmem;
};

COBLIGHTS coblights = {{}, 0, 0, 0, {}, 0, 0, 12, {-1, -1, -1}, -1, -1, {}, {}, {}, {0.0f, -1.0f, 0.0f}, {}};

void SearchLights(const ZEMTX*, const ZEVEC*, COBLIGHTS*, int) {}
void SearchLightsBasic(const ZEMTX*, const ZEVEC*, LIGHTSAMPLE*) {}
void SetDefaultLights(int) {}

int CobLightsShadow(const COBLIGHTS* lights, ZEVEC* dir) {
  *dir = lights->shadowdir;
  return lights->shadowbright;
}

void CobLightsSetShadowBright(COBLIGHTS* lights, int brightness) { lights->shadowbright = uint8_t(brightness); }
