// anitool: ".ani" animation images from line-based descriptions (the
// animation writer), and what the engine's own loader reads back from them.
//   anitool make DESC OUT [--v1]   write a version 2 (or 1) image
//   anitool info FILE              header, nodes and channels as loaded
//   anitool eval FILE FRAME        every node's slots and position at a frame
//   anitool tex-make SCRIPT OUT    a texture-animation script assembled and
//                                  written as a compiled program
//   anitool tex-info FILE          a compiled program as the engine reads it
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "aniwrite.h"
#include "toolhalt.h"

namespace fs = std::filesystem;

namespace {

const char* const kTypes[] = {"const", "hermite", "packed", "step", "boolean"};

// A host path as the engine's file layer names it: its directory becomes
// the host root.
std::string EngineName(const std::string& path) {
  const fs::path a = fs::absolute(path);
  ToolSetHostRoot(a.parent_path().c_str());
  return "@loc" + a.filename().string();
}

int Make(const std::string& in, const std::string& out, bool v1) {
  AniDesc desc;
  std::string error;
  if (!AniParse(EngineName(in).c_str(), &desc, &error)) {
    fprintf(stderr, "anitool: %s: %s\n", in.c_str(), error.c_str());
    return 1;
  }
  const std::vector<uint8_t> image = v1 ? AniBuildV1(desc, &error) : AniBuildV2(desc, &error);
  if (image.empty()) {
    fprintf(stderr, "anitool: %s: %s\n", in.c_str(), error.c_str());
    return 1;
  }
  std::ofstream f(out, std::ios::binary);
  f.write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
  if (!f) {
    fprintf(stderr, "anitool: cannot write %s\n", out.c_str());
    return 1;
  }
  printf("%s: version %d, %zu bytes, %zu nodes\n", out.c_str(), v1 ? 1 : 2, image.size(), desc.nodes.size());
  return 0;
}

// The buffer an image loads into: the file's size and the alignment.
struct Loaded {
  char* buffer = nullptr;
  int version = 0;
  ZEANIMDATA* v1 = nullptr;
  ZEANIMDATA2* v2 = nullptr;
  ~Loaded() { EeFree(buffer); }
};

bool Load(const std::string& path, Loaded* l) {
  const std::string name = EngineName(path);
  l->version = ZeAnimDataFindVersion(name.c_str());
  const int size = ZeFileSize(name.c_str());
  if (size <= 0 || (l->version != 1 && l->version != 2)) {
    fprintf(stderr, "anitool: %s: not an animation image (version %d)\n", path.c_str(), l->version);
    return false;
  }
  l->buffer = static_cast<char*>(EeMalloc(size_t(size) + 16));
  char* pos = l->buffer;
  if (l->version == 1) l->v1 = ZeAnimDataLoadBuff(name.c_str(), &pos, l->buffer + size + 16);
  else l->v2 = ZeAnimData2LoadBuff(name.c_str(), &pos, l->buffer + size + 16);
  return true;
}

int Info(const std::string& path) {
  Loaded l;
  if (!Load(path, &l)) return 1;
  if (l.v2) {
    const ZEANIMDATA2* a = l.v2;
    printf("version 2: end frame %g, %d nodes, %d curves a node, %d chunks\n", a->end, a->nnodes, a->ncurves, a->nchunks);
    for (int n = 0; n < a->nnodes; n++) {
      printf("node %d flags 0x%02x:", n, a->nodeflags[n]);
      for (int k = 0; k < a->ncurves; k++) {
        const int t = a->keytypes[n * a->ncurves + k];
        printf(" %s", t >= 0 && t <= 4 ? kTypes[t] : "?");
      }
      printf("\n");
    }
    return 0;
  }
  const ZEANIMDATA* a = l.v1;
  printf("version 1: end frame %g, %d chunks\n", a->end, a->nchunks);
  for (int c = 0; c < a->nchunks; c++) {
    const ZEANIMCHUNK* ck = a->chunks[c];
    for (int n = 0; n < ck->nnodes; n++) {
      const ZEANIMCURVESET* s = ck->sets[n];
      if (!s) continue;
      printf("chunk %d node %d flags 0x%02x:", c, n, s->flags);
      for (int k = 0; k < s->nslots; k++) {
        const ZEANIMCURVE* cv = s->curves[k];
        if (cv) printf(" %s(%d keys)", cv->flags & 1 ? "step" : "hermite", cv->nkeys);
        else printf(" %g", s->consts[k]);
      }
      printf("\n");
    }
  }
  return 0;
}

int Eval(const std::string& path, float frame) {
  Loaded l;
  if (!Load(path, &l)) return 1;
  ZEANIMTIME t;
  ZEMTX m;
  if (l.v2) {
    const ZEANIMDATA2* a = l.v2;
    ZeAnimData2CalcTime(a, &t, frame);
    printf("frame %g (chunk %d slot %d)\n", t.frame, t.chunk, t.slot);
    for (int n = 0; n < a->nnodes; n++) {
      const uint32_t* w = a->words + n * a->ncurves;
      const int8_t* k = a->keytypes + n * a->ncurves;
      printf("node %d:", n);
      for (int i = 0; i < a->ncurves; i++) {
        float v;
        if (k[i] == ZEANIMKEYTYPE_NONE) memcpy(&v, &w[i], 4);
        else v = ZeAnimCurve2CalcValEx(&w[i], &t, k[i]);
        printf(" %g", v);
      }
      if (a->ncurves == ZEANIM_SLOTS) {
        ZeAnimCurve2SetApplyToMatrix(w, k, a->nodeflags[n], &t, &m);
        printf(" | position %g %g %g", m.m[3][0] + 0.0f, m.m[3][1] + 0.0f, m.m[3][2] + 0.0f);  // no -0
      }
      printf("\n");
    }
    return 0;
  }
  const ZEANIMDATA* a = l.v1;
  ZeAnimDataCalcTime(a, &t, frame);
  printf("frame %g (chunk %d slot %d)\n", t.frame, t.chunk, t.slot);
  const ZEANIMCHUNK* ck = a->chunks[t.chunk];
  for (int n = 0; n < ck->nnodes; n++) {
    const ZEANIMCURVESET* s = ck->sets[n];
    if (!s) continue;
    printf("node %d:", n);
    for (int k = 0; k < s->nslots; k++) printf(" %g", s->curves[k] ? ZeAnimCurveCalcVal2(s->curves[k], &t) : s->consts[k]);
    if (s->nslots >= ZEANIM_SLOTS) {
      ZeAnimCurveSetApplyToMatrix(s, &t, &m);
      printf(" | position %g %g %g", m.m[3][0] + 0.0f, m.m[3][1] + 0.0f, m.m[3][2] + 0.0f);  // no -0
    }
    printf("\n");
  }
  return 0;
}

int TexMake(const std::string& in, const std::string& out) {
  ZeTexAnimProgSysInit();
  ZETEXANIMPROG* p = ZeTexAnimProgReadScript(nullptr, EngineName(in).c_str());
  if (!p) {
    fprintf(stderr, "anitool: cannot open %s\n", in.c_str());
    return 1;
  }
  // Written by the engine's writer, into the output's directory.
  const fs::path o = fs::absolute(out);
  ToolSetHostRoot(o.parent_path().c_str());
  if (!ZeTexAnimProgWrite(o.filename().string().c_str(), p)) {
    fprintf(stderr, "anitool: cannot write %s\n", out.c_str());
    return 1;
  }
  printf("%s: program \"%s\", %d code words\n", out.c_str(), p->name, p->codelen);
  return 0;
}

int TexInfo(const std::string& path) {
  ZeTexAnimProgSysInit();
  const ZETEXANIMPROG* p = ZeTexAnimProgRead(nullptr, EngineName(path).c_str());
  if (!p) {
    fprintf(stderr, "anitool: %s: not a texture-animation program\n", path.c_str());
    return 1;
  }
  printf("program \"%s\": %d code words, on 0x%08x, off 0x%08x, %d exports\n", p->name, p->codelen, p->onmask,
         p->offmask, p->xdefcount);
  for (int i = 0; i < ZETEXANIM_SIGNALS; i++) {
    if (p->onmask & (1u << i)) printf("on %d at %d\n", i, p->on[i]);
    if (p->offmask & (1u << i)) printf("off %d at %d\n", i, p->off[i]);
  }
  for (int i = 0; i < p->xdefcount; i++) printf("xdef id %d at %d\n", p->xdefid[i], p->xdefoff[i]);
  const int16_t* code = ZeTexAnimCode(p);
  printf("code:");
  for (int i = 0; i < p->codelen; i++) printf(" %d", code[i]);
  printf("\n");
  return 0;
}

int Usage() {
  fprintf(stderr,
          "usage: anitool make DESC OUT [--v1]\n"
          "       anitool info FILE\n"
          "       anitool eval FILE FRAME\n"
          "       anitool tex-make SCRIPT OUT\n"
          "       anitool tex-info FILE\n");
  return 2;
}

int Main(int argc, char** argv) {
  errmsg_disabled = 1;
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  ZeTrigInit();
  if ((argc == 4 || argc == 5) && !strcmp(argv[1], "make"))
    return Make(argv[2], argv[3], argc == 5 && !strcmp(argv[4], "--v1"));
  if (argc == 3 && !strcmp(argv[1], "info")) return Info(argv[2]);
  if (argc == 4 && !strcmp(argv[1], "eval")) return Eval(argv[2], float(atof(argv[3])));
  if (argc == 4 && !strcmp(argv[1], "tex-make")) return TexMake(argv[2], argv[3]);
  if (argc == 3 && !strcmp(argv[1], "tex-info")) return TexInfo(argv[2]);
  return Usage();
}

}  // namespace

int main(int argc, char** argv) { return ToolRun("anitool", Main, argc, argv); }
