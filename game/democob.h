// The demo character: "torva" walking along the demo scene's spline.
#pragma once

void DemoCobInit();
void DemoCobFrame(int frame);
void DemoCobEnd();
// What is drawn (the check's --no-torva and --no-marker): the character
// with its marker, the marker alone.
extern int demo_cob_shown, demo_marker_shown;
