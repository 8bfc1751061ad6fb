// The background loader's planet-data slot and busy flag, which the planet
// world writes and reads: the game's loader (game/bgload.cpp) takes one
// request a turn from the slot. BGLoadServeGbData serves the slot at once,
// for the planet world's own tests, which run without the game's loader.
#include "globular.h"

int bgload_pending = 0;
EePtr<ASYNCFILEREQ> bgload_next_gb_data;

void BGLoadServeGbData() {
  ASYNCFILEREQ* r = bgload_next_gb_data;
  if (!r) return;
  bgload_next_gb_data = nullptr;
  bgload_pending = 1;
  AsyncFileServe(r);
  bgload_pending = 0;
}
