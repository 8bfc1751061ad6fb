// Fuzz target: pad recordings. The input (after two option bytes) is a
// "PAD.BIN" file, loaded by InitPadPlayRecord into a buffer of a size the
// options choose and played back on a pad read every frame until the
// play-back ends; a recording of the same length is then made and saved
// through the engine's writer and played back in turn.
#include "fuzz.h"
#include "zecore.h"
#include "zecore_local.h"
#include "zeps2.h"

namespace {

ZEPAD* g_pad;

void PlayBack(const char* name, int frames) {
  auto* buffer = FuzzEeCopy(nullptr, 0, size_t(frames) * ZEPADREC_FRAME);
  InitPadPlayRecord(name, 2, frames, buffer);
  // A play-back ends by itself within the frames loaded.
  for (int f = 0; f < frames + 4 && PadRecInfo->mode == 2; f++) ZePs2ReadPad(g_pad);
  if (PadRecInfo->mode == 2) abort();
  PadPlayOff();
}

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  errmsg_disabled = 1;
  errmsg_to_console = 0;
  if (!g_pad) {
    FuzzDir();
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    PadSource src;
    if (!PadSourceScript("DS2\nCROSS LX=0 x3\nL2=40 R1\n", &src)) abort();
    PlatPadSetSource(0, src);
    g_pad = ZePs2OpenPad(0, 0);
    if (!g_pad) abort();
  }
  FuzzFreeAbandoned();
  if (size < 2) return;
  const int frames = 2 + data[0] * 4;
  PadDemoEndButtons = data[1] & 1 ? 0xffff : 0;
  FuzzWriteFile("PAD.BIN", data + 2, size - 2);
  PlayBack("PAD.BIN", frames);
  // Recorded, saved and played back.
  auto* buffer = FuzzEeCopy(nullptr, 0, size_t(frames) * ZEPADREC_FRAME);
  InitPadPlayRecord(nullptr, 1, frames, buffer);
  for (int f = 0; f < frames; f++) ZePs2ReadPad(g_pad);
  SavePadRecord("REC.BIN");
  PadPlayOff();
  PlayBack("REC.BIN", frames);
}

void FuzzReset() {
  PadPlayOff();
  PadDemoEnd = 0;
  ZeFileReset();
  errmsg_trap = 0;
}

// Seeds: recordings of a few lengths made by the engine's own writer from
// a pad script.
void FuzzSeeds(const char* dir) {
  FuzzDir();
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  PadSource src;
  if (!PadSourceScript("DS2\nCROSS x2\nUP LX=0 RY=255\nMODE\nL2=40 R1 x3\nNODATA\nSTART\n", &src)) abort();
  PlatPadSetSource(0, src);
  ZEPAD* pad = ZePs2OpenPad(0, 0);
  for (int frames : {4, 12, 40}) {
    std::vector<uint8_t> buffer(size_t(frames) * ZEPADREC_FRAME);
    InitPadPlayRecord(nullptr, 1, frames, buffer.data());
    for (int f = 0; f < frames; f++) ZePs2ReadPad(pad);
    const std::string name = "REC" + std::to_string(frames) + ".BIN";
    SavePadRecord(name.c_str());
    PadPlayOff();
    FILE* f = fopen((FuzzDir() + "/" + name).c_str(), "rb");
    if (!f) abort();
    std::vector<uint8_t> file{uint8_t(frames / 4), 1};
    for (int c; (c = fgetc(f)) != EOF;) file.push_back(uint8_t(c));
    fclose(f);
    FuzzWriteSeed(dir, name.c_str(), {file});
  }
  ZePs2ClosePad(pad);
}
