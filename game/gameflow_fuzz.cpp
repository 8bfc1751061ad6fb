// Fuzz target: a game-flow program of up to three files (the input split at
// zero bytes: the program, "flow\labels.flo" and "a.flo"), compiled with the
// game's command types and run for a number of slices with interrupts.
#include "gamefile_fuzz.h"
#include "gameflow.h"

#include <cstdio>
#include <cstdlib>

namespace {

char* g_buffer;
constexpr int BUFFER = sizeof(GfcProgram) + 64;

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  if (gamefuzz::Begin()) g_buffer = static_cast<char*>(EeMalloc(BUFFER));
  const char* names[] = {"torva.flo", "flow/labels.flo", "a.flo"};
  size_t start = 0;
  for (int k = 0; k < 3; k++) {
    size_t end = start;
    while (end < size && data[end] != 0) end++;
    FuzzWriteFile(names[k], data + start, end - start);
    start = end < size ? end + 1 : size;
  }
  gfcInit();
  gfcAddSem("edit_mode", 0, 1);
  InitGameFlowCommands();
  char* cursor = g_buffer;
  GfcProgram* prog = gfcLoadProgram("torva.flo", &cursor, g_buffer + BUFFER);
  for (int slice = 0; slice < 40; slice++) {
    if (prog->nlabels) gfcGoSubLabelById(prog, slice % prog->nlabels);
    if (gfc_nsems) gfcSignalSemById(slice % gfc_nsems);
    gfcRunProgram(prog);
  }
}

void FuzzReset() { gamefuzz::Reset(); }
