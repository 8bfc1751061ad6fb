// The start-up check's effects: the light unit's surfaces and the shadows
// set up in the start-up order, then each frame a glow, a laser, a flare,
// fog, a cylinder shadow and a water level crossing the camera, drawn by
// the effects pass.
#pragma once

void DemoFxInit();
void DemoFxFrame(int frame);
void DemoFxEnd();
