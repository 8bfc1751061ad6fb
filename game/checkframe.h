// The check program's frame, shared by torva_check and the frame benchmark:
// the engine set up as the program sets it up, and one frame of the demo
// (world, characters, effects, 2-D) drawn.
#pragma once

// The video mode (640 x 224, PSMCT32 frames, PSMZ24 depth) and the VU.
void CheckVideoStart();
// Textures, renderer, lights, materials, font, the demo and its effects.
void CheckSceneStart();
// One frame before its swap: the materials' animation, the texture
// animations, the demo's scene, the effects pass (unless demo_world_only)
// and the glass pass.
void CheckFrameDraw(int frame);
// Gives back what CheckSceneStart took.
void CheckSceneEnd();
