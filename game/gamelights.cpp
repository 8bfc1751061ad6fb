// The game's light sets: the table set up at each replay and updated once a
// frame against the game camera. Each level's own set ("level.lgt" in its
// folder) is inserted by the level loader and removed when it is dumped.
#include "game.h"
#include "standins.h"

void GameLightsStart() { InitLights(); }

void GameLightsFrame(int paused, int outdoors, int editor) {
  // Before the player's camera exists the current camera stands in.
  const ZEMTX* ref = kaelcam ? &kaelcam->mtx : &global_camera.mtx;
  ProcessFlicker(ref, paused, outdoors, editor);
}
