// Distant characters in the start-up check: a row of far copies of
// "torva" shown as images by the time-based renderer.
#pragma once

void DemoTbrInit();
// Before the main scene: queues the copies and renders the images due.
void DemoTbrPass();
// In the main scene, after the characters: the images' sprites.
void DemoTbrSprites();
void DemoTbrEnd();
