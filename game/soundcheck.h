// The start-up check's sound (soundcheck.cpp).
#pragma once

void SoundCheckStart(const char* name);  // a ".VAG" under the current directory; null: no sound
void SoundCheckFrame(int frame);
void SoundCheckEnd();
