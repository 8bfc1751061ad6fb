// zetexpage: the debug view that lays every live texture out on screen,
// page by page, each drawn with a material of a small cache.
#include "ze3d.h"
#include "zecore.h"

namespace {

constexpr int PAGE_BOXES = 64;
constexpr float START = 0.1f, LIMIT = 0.9f, GAP = 0.01f;

ZEMTL* g_cache[PAGE_BOXES];
bool g_cacheCleared = false;

}  // namespace

// Boxes run left to right from (0.1, 0.1) with 0.01 between them; a box
// reaching x 0.9 starts a row below the tallest of its row, one reaching
// y 0.9 (or a 65th box) a new page. Pages count down from `page`: the
// textures of the page where the count reaches 0 are drawn. The
// rectangles are drawn by ZeRndrRect, whose depth is its own: the
// materials neither test nor write depth, so `depth` changes nothing.
void ZeTexDisplayTexturePage(int page, int alphamode, float depth) {
  (void)depth;
  if (!g_cacheCleared) {
    for (ZEMTL*& m : g_cache) m = nullptr;
    g_cacheCleared = true;
  }
  float x = START, y = START, rowHeight = 0.0f;
  int boxes = 0, used = 0;
  for (int i = 0; i < zetex_slot_count && page >= 0; i++) {
    if (!(zetex_slots[i].flags & ZETEXSLOT_INUSE)) continue;
    const ZETEXID id = i + 1;
    const float w = ZeVpVirtualWidth(float(ZeTexWidth(id) * 16));
    const float h = ZeVpVirtualHeight(float(ZeTexHeight(id) * 8));
    if (x + w >= LIMIT) {
      x = START;
      y += rowHeight + GAP;
      rowHeight = 0.0f;
    }
    if (y + h >= LIMIT || boxes == PAGE_BOXES) {
      page--;
      x = y = START;
      rowHeight = 0.0f;
      boxes = 0;
      if (page < 0) break;
    }
    if (page == 0) {
      ZEMTL*& m = g_cache[used++];
      if (!m || !ZeMtlValid(m)) m = ZeMtlCreate(1);
      uint32_t a = m->attributes & ~(0xfu | 0x3u << 4);
      a |= uint32_t(ZeTexHasAlpha(id) ? alphamode & 15 : 0) | 2u << 4;  // blend, trilinear
      a |= 1u << 14 | 1u << 15 | 1u << 18;
      m->attributes = a;
      for (int c = 0; c < 3; c++) m->ambient[c] = m->diffuse[c] = 1.0f;
      m->texture = id;
      m->mip_l = 0;
      m->mip_k = int16_t(zetex_display_lod * 16);
      ZeMtlUpdate(m);
      ZERECT r{};
      r.x = x;
      r.y = y;
      r.width = w;
      r.height = h;
      r.qscale = 1.0f;
      r.ua = r.va = 0.0f;
      r.ub = r.vb = 1.0f;
      r.mtl = m;
      ZeRndrRect(&r);
    }
    x += w + GAP;
    if (h > rowHeight) rowHeight = h;
    boxes++;
  }
}
