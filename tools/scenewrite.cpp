// The GSC0 writer: blocks in dependency order (textures, materials,
// geometry, names, instances, ids, specials, splines, texture animations,
// the animation library), written with the engine's block writer.
#include "scenewrite.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

#include "zecore.h"

namespace {

constexpr int Id(const char (&s)[5]) { return ZeBlkId(s[0], s[1], s[2], s[3]); }

struct Writer {
  ZEFILE f;
  void I32(int v) { ZeFileWriteInt(f, v); }
  void F32(float v) { ZeFileWriteFloat(f, v); }
  void Bytes(const void* p, size_t n) {
    if (n) ZeFileWrite(f, p, int(n));
  }
  void Begin(const char (&id)[5]) { ZeFileBeginBlkWrite(f, Id(id), 0); }
  void End() { ZeFileEndBlkWrite(f); }
};

uint32_t SwapRB(uint32_t c) { return (c & 0xff00ff00u) | (c >> 16 & 0xff) | (c & 0xff) << 16; }

void WriteTextures(Writer& w, const SceneDesc& d) {
  w.Begin("TST0");
  w.Begin("TSH0");
  w.I32(int(d.textures.size()));
  w.End();
  for (const ZETEX* t : d.textures) {
    w.Begin("TXM0");
    w.I32(t->type);
    w.I32(t->width);
    w.I32(t->height);
    w.I32(t->mipcount);
    w.Bytes(t->texels, size_t(ZeTexImgSizeMM(t->type, t->width, t->height, t->mipcount)));
    if (const int pal = ZeTexPalSize(t->type)) {
      // Stored A, B, G, R with alpha in 0..255.
      for (int i = 0; i < pal / 4; i++) {
        const uint8_t* e = t->palette.get() + i * 4;
        const uint8_t out[4] = {uint8_t(std::min(255, e[3] * 2)), e[2], e[1], e[0]};
        w.Bytes(out, 4);
      }
    }
    w.End();
  }
  w.End();
}

void WriteMaterials(Writer& w, const SceneDesc& d) {
  w.Begin("MS00");
  w.I32(int(d.materials.size()));
  for (const SceneMaterial& m : d.materials) {
    uint8_t rec[ZEMTL_FILE_RECORD];
    SceneMaterialRecord(m, rec);
    w.Bytes(rec, sizeof rec);
  }
  w.End();
}

void WriteObjects(Writer& w, const SceneDesc& d) {
  w.Begin("GST0");
  w.I32(int(d.objects.size()));
  for (const SceneObject& o : d.objects) {
    w.I32(o.tag);
    w.I32(o.kind);
    if (o.kind == ZEGOBJ_MESH) {
      w.Bytes(&o.base, 12);
      w.I32(int(o.geoms.size()));
      for (const SceneGeom& g : o.geoms) {
        w.I32(g.material);
        w.I32(int(g.vtx.size()));
        for (ZEVTX v : g.vtx) {
          v.colour = SwapRB(v.colour);
          w.Bytes(&v, 36);
        }
        w.I32(0);  // prelight
        w.I32(1);  // one list
        w.I32(g.primtype);
        w.I32(int(g.idx.size()));
        w.Bytes(g.idx.data(), g.idx.size() * 2);
        w.I32(0);  // skins
        w.I32(0);  // morph targets
      }
    } else {
      w.I32(int(o.sets.size()));
      for (const SceneSpriteSet& s : o.sets) {
        w.I32(s.material);
        w.I32(int(s.sprites.size()));
        w.I32(s.style);
        if (o.kind == ZEGOBJ_SIZEDSPRITES) {
          w.F32(s.size);
          w.I32(0), w.I32(0), w.I32(0);
        }
        w.I32(0);  // prelight
        for (ZEFACEON sp : s.sprites) {
          sp.colour = SwapRB(sp.colour);
          w.Bytes(&sp, 24);
        }
      }
    }
  }
  w.End();
}

}  // namespace

// The alpha test a new material gets: GEQUAL against 0x7f; pixels below it
// still draw their colour but write no depth. It only acts once the material is
// blended (a blended material turns the test on), in the file or at run
// time; a record of zeros would test NEVER and keep nothing, so a blended
// material would draw no pixel at all.
constexpr uint32_t SCENE_MTL_ALPHA_TEST = 5u << 18 | 0x7fu << 21 | 3u << 29;

void SceneMaterialRecord(const SceneMaterial& m, uint8_t r[ZEMTL_FILE_RECORD]) {
  memset(r, 0, ZEMTL_FILE_RECORD);
  auto put32 = [&](int at, uint32_t v) { memcpy(r + at, &v, 4); };
  auto putf = [&](int at, float v) { memcpy(r + at, &v, 4); };
  put32(0, uint32_t(m.chain));
  const uint32_t pk = uint32_t(m.blend & 3) | uint32_t(m.filter & 3) << 2 | uint32_t(m.uwrap & 3) << 6 |
                      uint32_t(m.vwrap & 3) << 8 | uint32_t(m.depth & 3) << 12 | uint32_t(m.lighting & 3) << 14 |
                      uint32_t(m.vtxcol & 1) << 16 | SCENE_MTL_ALPHA_TEST;
  put32(4, pk);
  for (int i = 0; i < 3; i++) putf(8 + 4 * i, 1.0f), putf(20 + 4 * i, m.diffuse[i]);
  putf(52, m.alpha);
  put32(56, uint32_t(m.texture));
  // One below the highest: the reader raises a blended material's priority
  // by one, so that it follows the opaque ones.
  const int16_t sort = 0x7ffe;
  memcpy(r + 60, &sort, 2);
  r[62] = uint8_t(m.effect);
  const int16_t k = 90;  // mip K of 0
  memcpy(r + 64, &k, 2);
}

bool SceneWriteGsc0(const SceneDesc& d, const char* path, std::string* error) {
  Writer w{ZeFileOpen(path, 1)};
  if (!w.f) return *error = std::string("cannot write ") + path, false;
  // The name table, in order of use.
  std::string names;
  std::map<std::string, int> offsets;
  auto name = [&](const std::string& n) {
    auto it = offsets.find(n);
    if (it != offsets.end()) return it->second;
    const int at = int(names.size());
    names += n;
    names += '\0';
    offsets[n] = at;
    return at;
  };
  for (const SceneSpecial& s : d.specials) name(s.name);
  for (const SceneSpline& s : d.splines) name(s.name);
  for (const SceneTexAnim& t : d.texanims) name(t.name), name(t.program);

  w.Begin("GSC0");
  WriteTextures(w, d);
  WriteMaterials(w, d);
  WriteObjects(w, d);
  w.Begin("NTBL");
  w.I32(int(names.size()));
  w.Bytes(names.data(), names.size());
  w.End();
  w.Begin("INST");
  w.I32(int(d.instances.size()));
  int nanim = 0;
  for (const SceneInstance& i : d.instances) {
    ZEGSCNINST rec = {};
    rec.mtx = i.mtx;
    rec.object = i.object;
    rec.flags = i.flags;
    rec.anim.addr = i.animated ? 1 : 0;
    rec.wind_amplitude = i.wind_amplitude;
    rec.wind_speed = i.wind_speed;
    w.Bytes(&rec, sizeof rec);
    nanim += i.animated;
  }
  w.I32(nanim);
  for (const SceneInstance& i : d.instances)
    if (i.animated) w.Bytes(&i.anim, sizeof i.anim);
  w.End();
  if (!d.ids.empty()) {
    w.Begin("INID");
    w.I32(int(d.ids.size()));
    w.Bytes(d.ids.data(), d.ids.size() * 2);
    w.End();
  }
  if (!d.specials.empty()) {
    w.Begin("SPEC");
    w.I32(int(d.specials.size()));
    for (const SceneSpecial& s : d.specials) {
      ZESPECIALOBJ rec = {};
      rec.inst.addr = uint32_t(s.instance);
      rec.name.addr = uint32_t(name(s.name));
      w.Bytes(&rec, sizeof rec);
    }
    w.End();
  }
  if (!d.splines.empty()) {
    std::vector<uint8_t> data;
    for (const SceneSpline& s : d.splines) {
      const uint16_t k = uint16_t(s.points.size());
      const int32_t n = name(s.name);
      uint8_t head[8] = {};
      memcpy(head, &k, 2);
      memcpy(head + 4, &n, 4);
      data.insert(data.end(), head, head + 8);
      const auto* p = reinterpret_cast<const uint8_t*>(s.points.data());
      data.insert(data.end(), p, p + s.points.size() * 12);
    }
    w.Begin("SST0");
    w.I32(int(d.splines.size()));
    w.I32(int(data.size()));
    w.Bytes(data.data(), data.size());
    w.End();
  }
  SceneWriteTexAnimSet(w.f, d, name);
  SceneWriteAnimLib(w.f, d);
  w.End();
  ZeFileClose(w.f);
  return true;
}

void SceneWriteTextureSet(ZEFILE file, const SceneDesc& desc) {
  Writer w{file};
  WriteTextures(w, desc);
}

void SceneWriteMaterialSet(ZEFILE file, const SceneDesc& desc) {
  Writer w{file};
  WriteMaterials(w, desc);
}

void SceneWriteTexAnimSet(ZEFILE file, const SceneDesc& d, const std::function<int(const std::string&)>& name) {
  if (d.texanims.empty()) return;
  Writer w{file};
  std::vector<int16_t> frames;
  w.Begin("TAS0");
  w.I32(int(d.texanims.size()));
  w.I32(0);
  for (const SceneTexAnim& t : d.texanims) {
    int32_t rec[8] = {};
    rec[2] = int32_t(frames.size());
    const int16_t half[2] = {int16_t(t.frames.size()), int16_t(t.flags)};
    memcpy(&rec[3], half, 4);
    rec[4] = t.material;
    rec[6] = name(t.name);
    rec[7] = name(t.program);
    w.Bytes(rec, sizeof rec);
    for (int f : t.frames) frames.push_back(int16_t(f));
  }
  w.I32(int(frames.size()));
  w.Bytes(frames.data(), frames.size() * 2);
  w.End();
}

void SceneDescFree(SceneDesc* d) {
  for (ZETEX* t : d->textures) {
    // The palette lies in the texels' block.
    if (t->texels) ZeMemFree(t->texels.get());
    ZeMemFree(t);
  }
  d->textures.clear();
  SceneFreeAnims(d);
}

namespace {
char* g_texBuf = nullptr;
char* g_mtlBuf = nullptr;
}  // namespace

void SceneEngineInit(int width, int height, int mode) {
  ZePs2Init();
  ZePs2InitVideo(width, height, PSMCT32, PSMZ24, mode);
  ZePs2InitVU();
  ZeTrigInit();
  ZeVpInit();
  g_texBuf = static_cast<char*>(ZeMemAlloc(ZeTexGetSysBuffSize(512) + 16));
  char* p = g_texBuf;
  ZeTexInitEx(&p, 512);
  no_default_font = 1;
  ZeRndrInitEx(ZERNDRSTREAM_DEFAULT_BUFFER);
  no_default_font = 0;
  g_mtlBuf = static_cast<char*>(ZeMemAlloc(ZeMtlGetSysBuffSize(1024) + 16));
  p = g_mtlBuf;
  ZeMtlInitEx(&p, 1024);
  ZeGobjInit();
  GenerateGammaTable(1.0f, 1.0f);
}

void SceneEngineClose() {
  ZeGobjClose();
  ZeRndrOTClose();
  ZeMtlClose();
  ZeMemFree(g_mtlBuf);
  ZeTexClose();
  ZeMemFree(g_texBuf);
}
