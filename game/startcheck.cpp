// The whole-system check (the program torva_check): the kernel, the video mode and its swaps, the
// renderer drawing real frames (a cleared screen, lit triangles clipped as
// they move through the near plane, immediate 2-D and 3-D primitives), a
// loader-style thread paced by the vertical blanks, the tagged heap, the
// timing sets and error reporting.
#include "platform.h"
#include "zecore.h"
#include "zeps2.h"
#include "soundcheck.h"
#include "checkframe.h"
#include "ze3d.h"
#include "demo.h"
#include "democob.h"
#include "demofx.h"
#include "demoworld.h"
#include "demotbr.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int g_frames = 120;
bool g_framesGiven = false;
bool g_failInLoader = false;
const char* g_sound = nullptr;  // --play=NAME: a sound to play with --sound
int g_loader, g_frameSema;
volatile int g_loaderActive;
int g_loaderTurns;

void VBlankEnd() {
  if (g_loaderActive) {
    g_loaderActive = 0;
    iSuspendThread(g_loader);
    iSignalSema(g_frameSema);
  }
}
ZEVBLANKHANDLER g_loaderSwitch = {nullptr, nullptr, VBlankEnd, 0};

// Takes and gives back heap memory a turn at a time, as the level loader does.
void Loader(void*) {
  for (;;) {
    void* block = ZeMemAllocFn(4096, __FILE__, __LINE__);
    memset(block, 0x5a, 4096);
    ZeMemFreeFn(block, __FILE__, __LINE__);
    g_loaderTurns++;
    if (g_failInLoader && g_loaderTurns == 10) ZeError("startup check: failure raised in the loader thread");
    KernelYield();
  }
}

int CheckMain(int argc, char** argv) {
  // The check ends its own run after --frames swaps, to give everything
  // back and list the heap.
  if (PlatFrameLimit()) {
    g_frames = PlatFrameLimit();
    g_framesGiven = true;
    PlatSetFrameLimit(0);
  }
  for (int i = 1; i < argc; i++) {
    if (strcmp(argv[i], "--fail-in-loader") == 0) g_failInLoader = true;
    else if (strncmp(argv[i], "--play=", 7) == 0) g_sound = argv[i] + 7;
    else if (strcmp(argv[i], "--terrain-debug") == 0) demo_terrain_debug = 1;
    else if (strcmp(argv[i], "--no-rain") == 0) demo_rain_period = 0;
    else if (strcmp(argv[i], "--untouched") == 0) demo_dress_untouched = 1;
    else if (strcmp(argv[i], "--world") == 0) demo_world_only = 1;
    else if (strcmp(argv[i], "--no-torva") == 0) demo_cob_shown = 0;
    else if (strcmp(argv[i], "--no-marker") == 0) demo_marker_shown = 0;
    else if (strcmp(argv[i], "--no-far-copies") == 0) demo_tbr_shown = 0;
  }
  scePrintf("ze2: start-up check (%s time)\n", KernelGetClock() == KCLOCK_VIRTUAL ? "virtual" : "real");
  CheckVideoStart();
  SoundCheckStart(g_sound);
  CheckSceneStart();

  SemaParam sp{};
  sp.initCount = 0;
  sp.maxCount = 1;
  g_frameSema = CreateSema(&sp);
  ThreadParam tp{};
  tp.func = Loader;
  tp.initPriority = 1;
  tp.stackSize = 64 * 1024;
  g_loader = CreateThread(&tp);
  StartThread(g_loader, nullptr);
  SuspendThread(g_loader);
  ZeIntAddVBlankE(&g_loaderSwitch);

  // Both pads, read once a frame: the keyboard and controllers of the window,
  // a script or nothing (--pad0=, --pad1=).
  ZEPAD* pads[2] = {ZePs2OpenPad(0, 0), ZePs2OpenPad(1, 0)};
  uint32_t held[2] = {0, 0};

  uint64_t startField = KernelFields();
  int frames = 0;
  for (int f = 0; f < g_frames; f++, frames++) {
    // With a window and no --frames, run until the window is closed.
    if (f == 1 && !g_framesGiven && strcmp(DisplayBackendName(), "sdl") == 0) g_frames = 0x7fffffff;
    ZeErrorCheck("Main Thread");
    for (int p = 0; p < 2; p++) {
      if (!pads[p] || !ZePs2ReadPad(pads[p]) || pads[p]->buttons == held[p]) continue;
      // Select (backspace in the window) on pad 0 shows or hides the collision.
      if (p == 0 && (pads[p]->buttons & ~held[p] & SCE_PADselect)) demo_terrain_debug ^= 1;
      held[p] = pads[p]->buttons;
      scePrintf("ze2: pad %d buttons %04x\n", p, unsigned(held[p]));
    }
    // The frame: the materials' animation, one scene, then the swap (which
    // kicks the frame's chain and starts the next frame in the other buffer).
    CheckFrameDraw(f);
    SoundCheckFrame(f);
    ZeRndrSwapScreen(-1);
    g_loaderActive = 1;
    ResumeThread(g_loader);
    WaitSema(g_frameSema);  // the loader runs until the vertical-blank end
  }
  ZeErrorCheck("Main Thread");
  for (ZEPAD* pad : pads)
    if (pad) ZePs2ClosePad(pad);
  ZeIntRemVBlankE(&g_loaderSwitch);
  ZeIntRemoveAllHandlers();

  SoundCheckEnd();
  CheckSceneEnd();
  scePrintf("ze2: %d frames in %d fields, last frame %d lines, loader turns %d\n", frames,
            int(KernelFields() - startField), tbslotLastValue(nullptr, 0), g_loaderTurns);
  tbsetDestroy(tb_default_set);
  ZeMemDumpFn(0);
  scePrintf("ze2: EE memory %u KB free of %u KB\n", unsigned(EeArenaBytesFree() >> 10), EE_ARENA_SIZE >> 10);
  scePrintf("ze2: start-up check done\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; i++) {
    if (strcmp(argv[i], "--help") == 0) {
      printf("usage: torva_check [options]: the whole-system check on the demo data (--host0=DIR)\n%s"
             "  --play=NAME.VAG        play that sound (under the host directory) once a second\n"
             "  --terrain-debug        the collision's debug drawing (Select, backspace, toggles it)\n"
             "  --no-rain              no passing showers\n"
             "  --world                the demo world alone under the scene's camera\n"
             "  --no-torva, --no-marker, --no-far-copies  hide the character, its marker, its far copies\n"
             "  --untouched            the dressing as if the character were not there\n"
             "  --fail-in-loader       a fatal error in the loader thread (status 3)\n",
             PlatHostOptionsHelp());
      return 0;
    }
  }
  // Messages to the build's log directory unless --tty or --verbose says otherwise.
  PlatSetProgramLog(ZE_LOG_DIR);
  // The build's data directory (the demo data) unless --host0= names another.
  PlatSetHostRoot(ZE_DATA_DIR);
  PlatParseHostOptions(&argc, argv);
  return PlatformRun(CheckMain, argc, argv);
}
