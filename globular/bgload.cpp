// Stand-in for the background loader's planet-data slot until program
// flow's loader is built: the slot, its busy flag and one turn of its
// planet-data work, which tests and the start-up stand-in drive.
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
