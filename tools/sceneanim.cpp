// Keyed animations for scenes: animation descriptions made into old-format
// images by the animation writer, fixed up in EE memory, and streamed into
// the scene's ALIB block.
#include <cstring>

#include "aniwrite.h"
#include "scenewrite.h"

namespace {
std::vector<void*> g_images;  // the EE blocks the animations live in
}

bool SceneReadAnim(ZEFPAR* p, const std::string& name, SceneDesc* d, std::string* error) {
  if (!ZeFParGetWord(p)) return *error = "anim " + name + " needs a file", false;
  const std::string file = std::string("@loc") + p->word;
  AniDesc desc;
  if (!AniParse(file.c_str(), &desc, error)) return *error = std::string(p->word) + ": " + *error, false;
  const std::vector<uint8_t> image = AniBuildV1(desc, error);
  if (image.empty()) return false;
  auto* buf = static_cast<uint8_t*>(EeMalloc(image.size() + 16));
  auto* at = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(buf) + 15) & ~uintptr_t(15));
  memcpy(at, image.data(), image.size());
  g_images.push_back(buf);
  ZEANIMFILEHDR h;
  memcpy(&h, at, sizeof h);
  const int delta = int(EeAddrOf(at) - uint32_t(h.base));
  d->anims.push_back(ZeAnimDataFixPtrs(uint32_t(h.record), delta));
  if (d->anims.size() > 255) return *error = "more than 255 animations", false;
  return true;
}

void SceneWriteAnimLib(ZEFILE f, const SceneDesc& d) {
  if (d.anims.empty()) return;
  ZeFileBeginBlkWrite(f, ZeBlkId('A', 'L', 'I', 'B'), 0);
  ZeFileWriteChar(f, int8_t(d.anims.size()));
  for (const ZEANIMDATA* a : d.anims) {
    ZeFileWriteChar(f, a ? 1 : 0);
    if (a) ZeAnimDataWrite(f, a);
  }
  ZeFileEndBlkWrite(f);
}

void SceneFreeAnims(SceneDesc* d) {
  for (void* p : g_images) EeFree(p);
  g_images.clear();
  d->anims.clear();
}
