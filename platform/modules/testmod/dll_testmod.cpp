// A module for the loader's tests: it calls a function of the program and
// changes one of its globals, keeps a count of its own, and exports two
// entry points.
extern "C" void DllTestNote(int value);  // the program's
extern int dll_test_global;              // the program's

namespace {
int g_calls = 0;  // starts at 0 with every load
}

extern "C" __attribute__((visibility("default"))) int DllTestStep(int value) {
  DllTestNote(value);
  dll_test_global += value;
  return ++g_calls;
}

extern "C" __attribute__((visibility("default"))) int DllTestAnswer() { return 42; }
