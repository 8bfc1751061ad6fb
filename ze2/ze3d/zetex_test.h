// Test support for the texture modules: a texture table per test and
// images in EE memory.
#pragma once

#include <cstring>

#include "gfx_test.h"
#include "platform_test.h"
#include "ze3d.h"
#include "zecore.h"
#include "zetex_local.h"

// An image of a type with `levels` levels (0: one, more may be generated)
// and a palette for the palettised types; texels and palette zeroed.
struct TestImage {
  ZETEX tex{};
  uint8_t* texels = nullptr;
  uint8_t* palette = nullptr;
  TestImage(int type, int w, int h, int levels = 1) {
    tex.type = type;
    tex.width = w;
    tex.height = h;
    tex.mipcount = levels;
    int bytes = 0;
    for (int i = 0; i < (levels > 1 ? levels : 1); i++)
      bytes += type <= ZETEX_PAL8_SWZ ? ZeTexLevelBytes(type, w >> i, h >> i) : 0;
    texels = static_cast<uint8_t*>(ZeMemAlloc(bytes + 16));
    memset(texels, 0, size_t(bytes) + 16);
    tex.texels = texels;
    if (type == ZETEX_PAL4 || type == ZETEX_PAL8 || type == ZETEX_PAL4_SWZ || type == ZETEX_PAL8_SWZ) {
      palette = static_cast<uint8_t*>(ZeMemAlloc(1024));
      memset(palette, 0, 1024);
      tex.palette = palette;
    }
  }
  ~TestImage() {
    ZeMemFree(texels);
    if (palette) ZeMemFree(palette);
  }
  TestImage(const TestImage&) = delete;
  TestImage& operator=(const TestImage&) = delete;
};

// A texture table of 64 slots for each test; every texture is destroyed
// and the switches are cleared afterwards.
struct TexTable : testing::Test {
  static constexpr int SLOTS = 64;
  char* buffer = nullptr;
  void SetUp() override {
    buffer = static_cast<char*>(ZeMemAlloc(ZeTexGetSysBuffSize(SLOTS) + 16));
    char* p = buffer;
    ZeTexInitEx(&p, SLOTS);
  }
  void TearDown() override {
    ZeTexClose();
    ZeMemFree(buffer);
    zemtl_force_mipmap = 0;
    zetex_force_quantisation = 0;
    txupload_on = 1;
  }
  static ZEPS2TEX* Rec(ZETEXID id) {
    ZEPS2TEX* r = nullptr;
    ZeTexGetPointers(id, nullptr, &r);
    return r;
  }
};
