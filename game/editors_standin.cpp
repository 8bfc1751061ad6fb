// Stand-in for the editor host: it keeps the registration list, so that
// the program's registrations can be checked, and never takes control.
#include "standins.h"

namespace {
constexpr int kEditors = 32;
const EdDesc* g_editors[kEditors];
int g_count;
}  // namespace

void edbitsRegisterEditMode(int flag) {
  edbits_editmode = flag;
  g_count = 0;
}
void edbitsRegisterLevel(const char*, int) {}
void edmainRegister(const EdDesc* desc) {
  if (g_count < kEditors) g_editors[g_count++] = desc;
}
void edmainInit(ZEFNT*, int) {}
int edmainProcess(ZEPAD*, float) { return 1; }
void edmainRender() {}
void edmainClose() {}
const EdDesc* edmainRegistered(int index) { return index >= 0 && index < g_count ? g_editors[index] : nullptr; }
void edbitsRegisterSaveFormat(const char*, int, const char*, const char*) {}
void edbitsRegisterBaseScene(void*) {}
