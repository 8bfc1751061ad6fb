// Fuzz target: bitmap fonts and font colour files. The input holds a font
// record, its picture (a BMP, or native texture data) and a colour file,
// joined by separators; its first byte chooses the loader: the files
// (".fnt" and ".bmp"), a caller's buffer (".fnt" and ".pnt"), or memory.
// A font that loads measures text of every character, escapes included,
// at a scale from the input.
#include "zetex_fuzz.h"

#include <cstring>

void FuzzOne(const uint8_t* data, size_t size) {
  no_default_font = 1;
  FuzzTexStart();
  ZeMtlInit();
  if (size < 2) return;
  const int mode = data[0] % 3, option = data[1];
  const std::vector<FuzzPart> parts = FuzzSplit(data + 2, size - 2, 3);
  const FuzzPart none{data, 0};
  const FuzzPart& fnt = parts[0];
  const FuzzPart& pic = parts.size() > 1 ? parts[1] : none;
  const FuzzPart& col = parts.size() > 2 ? parts[2] : none;
  FuzzWriteFile("F.COL", col.data, col.size);
  ZeFntLoadColours("@locF");
  ZEFNT* f = nullptr;
  if (mode == 0) {
    FuzzWriteFile("F.FNT", fnt.data, fnt.size);
    FuzzWriteFile("F.BMP", pic.data, pic.size);
    f = ZeFntLoad("@locF");
  } else if (mode == 1) {
    FuzzWriteFile("F.FNT", fnt.data, fnt.size);
    FuzzWriteFile("F.PNT", pic.data, pic.size);
    // A buffer of the input's size and a bit more or less.
    const int room = int(fnt.size + pic.size) + 256 + (option & 0x7f) * 8 - 512;
    char* buf = reinterpret_cast<char*>(FuzzEeCopy(nullptr, 0, size_t(room > 0 ? room : 0)));
    char* cursor = buf;
    f = ZeFntLoadPtr("@locF", &cursor, buf + (room > 0 ? room : 0));
  } else if (FuzzBmpInside(pic.data, pic.size)) {
    f = ZeFntLoadMem(FuzzEeCopy(fnt.data, fnt.size), int(fnt.size), FuzzEeCopy(pic.data, pic.size));
  }
  if (!f) return;
  ZeFntSet(f);
  ZeFntScale(1 + (option & 31), 1 + (option >> 3));
  char text[ZEFNT_TEXT];
  for (int i = 0; i < 255; i++) text[i] = char(i + 1);
  strcpy(text + 255, "#1#a#h2#b#d300#c#H#\n#99999999999#x");
  zefnt_upcase = option & 1;
  ZeFntPrintLen("%s", text);
  ZeFntMoveAbs(10, 20);
  ZeFntSet(nullptr);
  if (mode != 1) ZeFntDestroy(f);
}

void FuzzReset() {
  ZeFntSet(nullptr);
  ZeMtlClose();
  ZeTexClose();
  ZeFileReset();
  errmsg_trap = 0;
}
