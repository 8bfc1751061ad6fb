// The demo character: "torva" walking along the demo scene's spline.
#pragma once

void DemoCobInit();
void DemoCobFrame(int frame);
void DemoCobEnd();
