// The host's own command-line options.
#include "platform.h"
#include "gs.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {
bool g_gsStats;
}  // namespace

void PlatPrintGsStats() {
  if (!g_gsStats) return;
  g_gsStats = false;  // once, whichever way the program ends
  char text[2048];
  GsStatsText(GsGetStats(), text, sizeof text);
  fputs(text, stdout);
  fflush(stdout);
}

const char* PlatHostOptionsHelp() {
  return "  --clock=real|virtual   real time (default) or reproducible virtual time\n"
         "  --frames=N             end the run after swap N\n"
         "  --args=\"WORDS\"        words added to the game's built-in command line\n"
         "  --host0=DIR            the host data directory\n"
         "  --cdrom0=DIR           the disc's root directory\n"
         "  --memcard=DIR          the memory-card directory\n"
         "  --tty=DIR              where the messages go (console.txt, debug channels tty1-9.txt)\n"
         "  --verbose              every message on the terminal, debug channels as tty<n>: lines\n"
         "  --display=auto|sdl|null  the window (auto: a window when there is a display)\n"
         "  --snapshot=N:FILE      the picture shown at swap N (from 1) as a PNG; may be repeated\n"
         "  --pad0=, --pad1=sdl|none|script:FILE  the pads' source\n"
         "  --nosound              leave the sound module out\n"
         "  --sound[=null]         SDL2 audio when a device opens (default: silent)\n"
         "  --gs-threads=N         the GS draws on N threads, 1-8 (default: the cores less one)\n"
         "  --gs-stats             the GS's drawing counters printed at the end\n"
         "  --help                 this list\n";
}

void PlatParseHostOptions(int* argc, char** argv) {
  int out = 1;
  // The GS draws on the cores the CPU leaves (at most 8) unless
  // --gs-threads or ZE_GS_THREADS says otherwise.
  if (!getenv("ZE_GS_THREADS")) {
    const int cores = int(std::thread::hardware_concurrency());
    GsSetThreads(std::min(std::max(cores - 1, 1), 8));
  }
  for (int i = 1; i < *argc; i++) {
    const char* a = argv[i];
    if (strcmp(a, "--clock=virtual") == 0) KernelSetClock(KCLOCK_VIRTUAL);
    else if (strncmp(a, "--gs-threads=", 13) == 0) {
      char* end = nullptr;
      const long n = isdigit(uint8_t(a[13])) ? strtol(a + 13, &end, 10) : 0;
      if (n < 1 || n > 8 || *end != '\0') PlatFatal("--gs-threads takes a number from 1 to 8");
      GsSetThreads(int(n));
    }
    else if (strcmp(a, "--clock=real") == 0) KernelSetClock(KCLOCK_REAL);
    else if (strncmp(a, "--host0=", 8) == 0) PlatSetHostRoot(a + 8);
    else if (strncmp(a, "--cdrom0=", 9) == 0) PlatSetDiscRoot(a + 9);
    else if (strncmp(a, "--tty=", 6) == 0) PlatSetTtyDirectory(a + 6);
    else if (strcmp(a, "--verbose") == 0) PlatSetVerbose(true);
    else if (strncmp(a, "--memcard=", 10) == 0) PlatSetMemCardRoot(a + 10);
    else if (strcmp(a, "--nosound") == 0) PlatIopSetSoundEnabled(false);
    else if (strcmp(a, "--sound") == 0) PlatSetSound(PSOUND_AUTO);
    else if (strcmp(a, "--sound=null") == 0) PlatSetSound(PSOUND_NULL);
    else if (strcmp(a, "--gs-stats") == 0) g_gsStats = true;
    else if (strncmp(a, "--pad", 5) == 0 && (a[5] == '0' || a[5] == '1') && a[6] == '=') {
      if (!PlatPadSetSourceByName(a[5] - '0', a + 7)) PlatFatal("%s: expected none, sdl or script:FILE", a);
    } else if (strncmp(a, "--display=", 10) == 0) {
      if (!DisplaySetBackend(a + 10)) PlatFatal("unknown display \"%s\" (auto, sdl or null)", a + 10);
    } else if (strncmp(a, "--snapshot=", 11) == 0) {
      // --snapshot=N:FILE: a PNG of the field shown at swap N (from 1); each
      // one given is kept. A swap that is not such a number would never come.
      char* end = nullptr;
      const long swap = isdigit(uint8_t(a[11])) ? strtol(a + 11, &end, 10) : 0;
      if (swap < 1 || swap > INT_MAX || *end != ':' || end[1] == '\0')
        PlatFatal("--snapshot takes SWAP:FILE (SWAP a swap number from 1)");
      DisplayRequestSnapshot(int(swap), end + 1);
    } else if (strncmp(a, "--args=", 7) == 0) {
      PlatSetArgs(a + 7);
    } else if (strncmp(a, "--frames=", 9) == 0) {
      char* end = nullptr;
      const long n = isdigit(uint8_t(a[9])) ? strtol(a + 9, &end, 10) : -1;
      if (n < 0 || n > INT_MAX || *end != '\0') PlatFatal("--frames takes a number of swaps");
      PlatSetFrameLimit(int(n));
    } else {
      argv[out++] = argv[i];
    }
  }
  argv[out] = nullptr;
  *argc = out;
  PlatStartProgramLog(argv[0]);
}
