// Stand-in for the procedural blend textures until they are built: the
// particle material without its texture (no file is read).
#include "debris_local.h"

ZEMTL* CreateAlphaBlendTexture(char**, const char*, int uv, int blend, int priority, int zmode) {
  return DebMaterial(0, priority, uv, blend, -1, zmode, -1);
}
