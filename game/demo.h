// The frames the start-up check draws through the renderer.
#pragma once

void DemoInit();
void DemoFrame(int frame);
void DemoEnd();

// The demo world alone (--world): the scene under its camera with the
// character, far copies, balls, effects and rain, without the ring, the
// cross, the 2-D panels and the text over it.
extern int demo_world_only;
