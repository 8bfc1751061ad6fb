// The demo's animation: a texture animation flipping one material's
// textures, and a node of the demo's ".ani" image moving the test object.
#pragma once

#include "ze3d.h"

void DemoAnimInit();
// The node's position at the frame (the origin when the image is missing).
ZEVEC DemoAnimPosition(int frame);
// The panel drawn with the flipping material.
void DemoAnimDraw();
void DemoAnimEnd();
