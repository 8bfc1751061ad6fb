// Distant characters in the start-up check: a row of far copies of
// "torva" shown as images by the time-based renderer.
#pragma once

// 0: no far copies (--no-far-copies).
extern int demo_tbr_shown;

void DemoTbrInit();
// Before the main scene: queues the copies and renders the images due.
void DemoTbrPass();
// In the main scene, after the characters: the images' sprites; every 50
// frames each shown image's quad on the screen is printed.
void DemoTbrSprites(int frame);
void DemoTbrEnd();
