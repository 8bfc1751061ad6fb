// The renderer's shadow store: hierarchical objects queue their shadow
// volumes here while they are drawn. The shadow code that draws and
// empties it each frame is not built yet: nothing reads the store.
#include "ze3d.h"

ZESHADSTOREENTRY shadstore[ZESHADSTORE_MAX];
int shadstorecnt = 0;
int shadplayer = 1;
int shadidcounter = 0;
ZEVEC curlight = {0, -1, 0};
uint32_t curlightcol = 0xffffffffu;
float curlightfade = 1.0f, curlightfadefar = 1.0f;
