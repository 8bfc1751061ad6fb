// zepack: packs a file into the packed-file format, or unpacks one with
// the engine's own decoder.
//   zepack pack <in> <out>
//   zepack unpack <in> <out>
#include "zetools.h"
#include "zecore.h"
#include "toolhalt.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Usage() {
  fprintf(stderr, "usage: zepack pack <in> <out>\n       zepack unpack <in> <out>\n");
  return 2;
}

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

int Main(int argc, char** argv) {
  errmsg_disabled = 1;
  if (argc != 4) return Usage();
  std::vector<uint8_t> in;
  if (!ReadHostFile(argv[2], &in)) {
    fprintf(stderr, "zepack: cannot read %s\n", argv[2]);
    return 1;
  }
  if (strcmp(argv[1], "pack") == 0) {
    RncPackInfo info;
    std::vector<uint8_t> out = RncPack(in.data(), in.size(), &info);
    if (!info.inPlace) {
      fprintf(stderr, "zepack: %s cannot be unpacked in place (leeway %d bytes)\n", argv[2], info.leeway);
      return 1;
    }
    if (!WriteHostFile(argv[3], out.data(), out.size())) {
      fprintf(stderr, "zepack: cannot write %s\n", argv[3]);
      return 1;
    }
    printf("%s: %zu -> %zu bytes\n", argv[2], in.size(), out.size());
    return 0;
  }
  if (strcmp(argv[1], "unpack") == 0) {
    if (in.size() < sizeof(ZEPPHEADER) || memcmp(in.data(), "RNC\2", 4) != 0 ||
        Be32(&in[8]) != in.size() - sizeof(ZEPPHEADER) || Be32(&in[4]) > 0x7fffffff) {
      fprintf(stderr, "zepack: %s is not a packed file\n", argv[2]);
      return 1;
    }
    // The engine's decoder works in EE memory.
    uint32_t size = Be32(&in[4]);
    auto* src = static_cast<uint8_t*>(EeMalloc(in.size()));
    auto* dst = static_cast<uint8_t*>(EeMalloc(size ? size : 1));
    memcpy(src, in.data(), in.size());
    ZePPUnpack(src, dst);
    bool ok = WriteHostFile(argv[3], dst, size);
    EeFree(src);
    EeFree(dst);
    if (!ok) fprintf(stderr, "zepack: cannot write %s\n", argv[3]);
    return ok ? 0 : 1;
  }
  return Usage();
}

}  // namespace

int main(int argc, char** argv) { return ToolRun("zepack", Main, argc, argv); }
