// The start-up check's sound: with sound on, the engine's sound module is
// loaded, the sound layer started on a one-row table naming a ".VAG"
// effect, the effect loaded into sound memory and played once a second.
#include "soundcheck.h"

#include "platform.h"
#include "zecore.h"
#include "zeps2.h"
#include "zesound2.h"

namespace {

ZESOUNDENTRY g_table[2] = {
    {nullptr, 48000, 0, ZESOUND_EFFECT_ID},
    {nullptr, 0, 0, -1},
};
char g_name[256];  // the table keeps 4-byte pointers: the name lives in static data
int g_played = 0, g_heard = 0;
constexpr int PLAY_EVERY = 60;

}  // namespace

void SoundCheckStart(const char* name) {
  if (!name) return;
  ZePs2InitIOP();  // loads the sound module unless sound is left out
  ZeStrCpy(g_name, "");
  for (int i = 0; name[i] && i < int(sizeof g_name) - 1; i++) g_name[i] = name[i], g_name[i + 1] = 0;
  g_table[0].name = g_name;
  ZeSoundInitEx(g_table, 500);
  if (!zesound_enabled) return;
  TransferSFXToSPU(ZESOUND_EFFECT_ID, 0);
}

void SoundCheckFrame(int frame) {
  if (!zesound_enabled) return;
  if (frame % PLAY_EVERY == 0) {
    ZeSoundPlay(0, 0x3FFF, 0x3FFF, 0x1000);
    g_played++;
  }
  ZeSoundUpdate();
  for (int v = ZESOUND_FIRST_SFX_VOICE; v <= ZESOUND_LAST_SFX_VOICE; v++)
    if (ZeSoundKeyStatus(v) == 1) {
      g_heard++;
      break;
    }
}

void SoundCheckEnd() {
  if (!zesound_enabled) {
    if (g_table[0].name) scePrintf("ze2: sound off\n");
    return;
  }
  scePrintf("ze2: sound (%s): played %d times, heard on %d frames\n", SndBackendName(), g_played, g_heard);
}
