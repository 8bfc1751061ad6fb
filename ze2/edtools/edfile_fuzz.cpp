// Fuzz target: the editor file layer reading damaged and short files. The
// input holds a script of reads and a file, joined by a separator; the
// file is "ED.DAT" on the memory card (port 0, slot 0) and on the host.
// Each script byte is one step, as an editor loading a page would take
// them: numbers of each size, runs of bytes into a buffer of its own, a
// whole-file read from the card, a card pulled or a command failing, a
// backup copy on the host, the file reopened on the other medium.
#include "edtools.h"
#include "fuzz.h"
#include "zecore.h"
#include "zecore_local.h"

#include <cstring>

namespace {

constexpr int MAX_STEPS = 64;
constexpr int DEST = 3 * EDFILE_BUFSIZE;

void Open(int medium) {
  EdFileClose();
  EdFileSetMedia(medium);
  EdFileOpen("ED.DAT", 0);
}

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  errmsg_disabled = 1;
  errmsg_to_console = 0;
  FuzzDir();
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  const std::vector<FuzzPart> parts = FuzzSplit(data, size, 2);
  const FuzzPart script = parts[0];
  const FuzzPart file = parts.size() > 1 ? parts[1] : FuzzPart{data, 0};
  FuzzWriteFile("ED.DAT", file.data, file.size);
  FuzzWriteHostFile("memcard/mc0-0/ED.DAT", file.data, file.size);
  PlatMcReset();
  auto* dest = FuzzEeCopy(nullptr, 0, DEST);
  int medium = EDFILE_MEDIA_MEMCARD;
  Open(medium);
  for (size_t i = 0; i < script.size && i < MAX_STEPS; i++) {
    const int op = script.data[i] & 15, arg = script.data[i] >> 4;
    switch (op) {
      case 0: EdFileReadInt(); break;
      case 1: EdFileReadFloat(); break;
      case 2: EdFileReadShort(); break;
      case 3: EdFileReadChar(); break;
      case 4: EdFileReadUnsignedInt(); break;
      case 5: EdFileRead(dest, (arg + 1) * 761 % DEST); break;
      case 6: EdFileRead(dest, arg * (DEST / 16)); break;
      case 7:
        EdFileClose();
        EdFileReadMemCard("ED.DAT", (arg + 1) * 701 % DEST, dest);
        break;
      case 8: PlatMcPullCard(0, 0); break;
      case 9: PlatMcInsertCard(0, 0); break;
      case 10: PlatMcFailNext(-arg); break;
      case 11:
        EdFileClose();
        EdFileBackup("ED.DAT", "COPY.DAT");
        break;
      case 12:
        medium = medium == EDFILE_MEDIA_HOST ? EDFILE_MEDIA_MEMCARD : EDFILE_MEDIA_HOST;
        Open(medium);
        break;
      case 13: EdFileFillBuffer(); break;
      case 14: EdFileResetBuffers(); break;
      default: Open(medium); break;
    }
  }
  EdFileClose();
}

void FuzzReset() {
  EdFileClose();
  EdFileSetMedia(EDFILE_MEDIA_NONE);
  EdFileResetBuffers();
  PlatMcReset();
  ZeFileReset();
  errmsg_trap = 0;
}

// Seeds: a page of numbers and bytes written through the layer itself,
// with scripts that read it back whole, cut short and from a pulled card.
void FuzzSeeds(const char* dir) {
  FuzzDir();
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  EdFileSetMedia(EDFILE_MEDIA_HOST);
  EdFileOpen("PAGE.DAT", 1);
  for (int i = 0; i < 800; i++) {
    EdFileWriteInt(i * 1000);
    EdFileWriteFloat(float(i) * 0.25f);
    EdFileWriteShort(-i);
    EdFileWriteChar(i);
  }
  EdFileClose();
  FILE* f = fopen((FuzzDir() + "/PAGE.DAT").c_str(), "rb");
  if (!f) abort();
  std::vector<uint8_t> page;
  for (int c; (c = fgetc(f)) != EOF;) page.push_back(uint8_t(c));
  fclose(f);
  const std::vector<uint8_t> whole{0, 1, 2, 3, 0, 1, 2, 3, 0x35, 0x66, 0, 0x07, 0x0b, 0x0c, 0, 1};
  const std::vector<uint8_t> pulled{0, 1, 0x56, 8, 0x36, 0, 9, 0x0f, 0x35, 0x5a, 0x27};
  FuzzWriteSeed(dir, "whole", {whole, page});
  FuzzWriteSeed(dir, "short", {whole, std::vector<uint8_t>(page.begin(), page.begin() + 4101)});
  FuzzWriteSeed(dir, "pulled", {pulled, page});
}
