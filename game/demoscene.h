// The demo scene: read into the level buffer at start-up, updated and
// drawn every frame with the camera flying along its spline, removed at
// the exit.
#pragma once

void DemoSceneInit();
void DemoSceneFrame(int frame);
void DemoSceneEnd();
// The scene's "camera" spline, or null without a scene.
struct ZESPLINE;
struct ZEGSCENE;
const ZESPLINE* DemoScenePath();
// The demo scene, null when it is missing.
ZEGSCENE* DemoSceneGet();
