// The frames the start-up check draws through the renderer.
#pragma once

void DemoInit();
void DemoFrame(int frame);
void DemoEnd();
