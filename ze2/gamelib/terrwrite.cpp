// The collision file writer: sections with computed polygon and group
// bounds, each on a 4-byte boundary, then the section table.
#include <algorithm>
#include <cstring>

#include "gamelib.h"
#include "zecore.h"

namespace {

int Align4(int n) { return (n + 3) & ~3; }

int SectionBytes(const TerrWriteSection& s) {
  switch (s.kind) {
    case 0:
    case 1: {
      int n = 4;  // end header
      for (int g = 0; g < s.ngroups; g++) n += int(sizeof(TerrGroupHeader)) + s.groups[g].count * 100;
      return n;
    }
    case 2: return 8 + 12 * s.npoints;
    case 3: return Align4(s.datasize);
    default: return 0;
  }
}

}  // namespace

int TerrWriteImage(uint8_t* out, int cap, const TerrWriteSection* sec, int count, int flagsword) {
  if (count < 1 || count > 32767) return -1;
  int64_t total = 4;
  for (int i = 0; i < count; i++) {
    const TerrWriteSection& s = sec[i];
    if (s.kind < 0 || s.kind > 3) return -1;
    if ((s.kind == 0 || s.kind == 1) && s.ngroups < 0) return -1;
    for (int g = 0; (s.kind == 0 || s.kind == 1) && g < s.ngroups; g++)
      if (s.groups[g].count < 0 || s.groups[g].count > 32767) return -1;
    if (s.kind == 2 && (s.npoints < 1 || s.npoints > 65535)) return -1;
    if (s.kind == 3 && s.datasize < 0) return -1;
    total += SectionBytes(s);
  }
  total += int64_t(count) * sizeof(TerrSection);
  if (total > cap) return -1;
  memset(out, 0, size_t(total));
  int at = 4;
  auto* table = reinterpret_cast<TerrSection*>(out + total - int64_t(count) * sizeof(TerrSection));
  for (int i = 0; i < count; i++) {
    const TerrWriteSection& s = sec[i];
    TerrSection* t = table + i;
    int len = SectionBytes(s);
    t->length = uint32_t(len / 2);
    t->pos[0] = s.pos.x, t->pos[1] = s.pos.y, t->pos[2] = s.pos.z;
    t->kind = int16_t(s.kind);
    t->instance = uint16_t(s.instance);
    t->platword = s.platword;
    t->shapeid = uint16_t(s.shapeid);
    uint8_t* d = out + at;
    if (s.kind == 0 || s.kind == 1) {
      for (int g = 0; g < s.ngroups; g++) {
        auto* h = reinterpret_cast<TerrGroupHeader*>(d);
        auto* p = reinterpret_cast<TerrPolygon*>(d + sizeof(TerrGroupHeader));
        h->first = 0;
        h->count = int16_t(s.groups[g].count);
        h->minx = h->minz = 2e8f, h->maxx = h->maxz = -2e8f;
        for (int k = 0; k < s.groups[g].count; k++) {
          const TerrWritePoly& w = s.groups[g].polys[k];
          TerrPolygon& q = p[k];
          int nv = w.quad ? 4 : 3;
          for (int v = 0; v < 4; v++) q.v[v] = w.v[v < nv ? v : 2];
          q.na = w.na;
          q.nb = w.quad ? w.nb : ZEVEC{0, TERR_NO_TRIANGLE_B, 0};
          q.surface = w.surface, q.group = w.group, q.flags = w.flags, q.steep = w.steep;
          float b[6] = {2e8f, -2e8f, 2e8f, -2e8f, 2e8f, -2e8f};
          for (int v = 0; v < nv; v++) {
            b[0] = std::min(b[0], q.v[v].x), b[1] = std::max(b[1], q.v[v].x);
            b[2] = std::min(b[2], q.v[v].y), b[3] = std::max(b[3], q.v[v].y);
            b[4] = std::min(b[4], q.v[v].z), b[5] = std::max(b[5], q.v[v].z);
          }
          memcpy(q.bounds, b, sizeof b);
          h->minx = std::min(h->minx, b[0]), h->maxx = std::max(h->maxx, b[1]);
          h->minz = std::min(h->minz, b[4]), h->maxz = std::max(h->maxz, b[5]);
        }
        d += sizeof(TerrGroupHeader) + s.groups[g].count * sizeof(TerrPolygon);
      }
      int16_t end = -1;
      memcpy(d, &end, 2);
    } else if (s.kind == 2) {
      uint32_t marker = TERR_SPLINE_MARKER;
      uint16_t n = uint16_t(s.npoints);
      memcpy(d, &marker, 4);
      memcpy(d + 4, &n, 2);
      for (int k = 0; k < s.npoints; k++) {
        ZEVEC p = {s.points[k].x, 0, s.points[k].z};
        memcpy(d + 8 + 12 * k, &p, 12);
      }
    } else if (s.kind == 3 && s.datasize) {
      memcpy(d, s.data, size_t(s.datasize));
    }
    at += len;
  }
  table[0].count = int16_t(count);
  table[0].flagsword = uint16_t(flagsword);
  uint32_t T = uint32_t(at / 2);
  memcpy(out, &T, 4);
  return int(total);
}

int TerrWriteFile(const char* name, const TerrWriteSection* sec, int count, int flagsword) {
  int64_t cap = 4 + int64_t(count) * sizeof(TerrSection);
  for (int i = 0; i < count; i++) cap += sec[i].kind >= 0 && sec[i].kind <= 3 ? SectionBytes(sec[i]) : 0;
  if (count < 1 || cap > (1 << 30)) {
    ZeDebugMsg("TerrWriteFile: %s: bad description", name);
    return 0;
  }
  auto* buf = static_cast<uint8_t*>(EeMalloc(size_t(cap)));
  if (!buf) return 0;
  int n = TerrWriteImage(buf, int(cap), sec, count, flagsword);
  int ok = 0;
  if (n > 0) {
    ZEFILE f = ZeFileOpen(name, 1);
    if (f) {
      ok = ZeFileWrite(f, buf, n) == n;
      ZeFileClose(f);
    }
  }
  if (!ok) ZeDebugMsg("TerrWriteFile: cannot write %s", name);
  EeFree(buf);
  return ok;
}
