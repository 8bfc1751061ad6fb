// What the test module (platform/modules/testmod) needs from a program that
// loads it, and the table of slots its entry points fill: for the one file
// of a test program that loads the module.
#pragma once

#include "platform.h"

int dll_test_global = 0;  // the module adds what it is given
extern "C" void DllTestNote(int value);
namespace {
int g_noted = 0;  // the sum of what the module noted
}
extern "C" void DllTestNote(int value) { g_noted += value; }

namespace {

// Two rows of a program table; one module symbol fills a slot in each.
struct Row {
  int (*step)(int);
  int (*answer)();
};
Row g_rows[2];

const SnExport EXPORTS[] = {{"DllTestNote", reinterpret_cast<const void*>(&DllTestNote)},
                            {"dll_test_global", &dll_test_global}};
const SnSlot SLOTS[] = {{"DllTestStep", reinterpret_cast<void**>(&g_rows[0].step)},
                        {"DllTestStep", reinterpret_cast<void**>(&g_rows[1].step)},
                        {"DllTestAnswer", reinterpret_cast<void**>(&g_rows[1].answer)}};

}  // namespace
