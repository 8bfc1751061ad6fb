// Animation tests' fixture: a temporary host directory, descriptions made
// into images by the animation writer, and loads into an EE buffer.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "aniwrite.h"
#include "platform_test.h"
#include "ze3d.h"

struct AnimFiles : testing::Test {
  static constexpr int BUFFER = 256 * 1024;
  std::string dir = TestTempDir();
  char* buffer = nullptr;
  char* cursor = nullptr;

  void SetUp() override {
    PlatSetHostRoot(dir.c_str());
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    ZeTrigInit();
    errmsg_disabled = 1;
    buffer = static_cast<char*>(EeMalloc(BUFFER));
    cursor = buffer;
  }
  void TearDown() override {
    EeFree(buffer);
    PlatSetHostRoot(nullptr);
    errmsg_disabled = 0;
  }

  void Save(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::ofstream(dir + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }

  AniDesc Describe(const std::string& text) const {
    std::ofstream(dir + "/DESC.TXT") << text;
    AniDesc d;
    std::string error;
    EXPECT_TRUE(AniParse("DESC.TXT", &d, &error)) << error;
    return d;
  }

  static std::vector<uint8_t> Build(const AniDesc& d, int version) {
    std::string error;
    std::vector<uint8_t> image = version == 1 ? AniBuildV1(d, &error) : AniBuildV2(d, &error);
    EXPECT_FALSE(image.empty()) << error;
    return image;
  }

  // Loads at the cursor, which moves on.
  ZEANIMDATA2* LoadV2(const AniDesc& d, const char* name) {
    Save(name, Build(d, 2));
    return ZeAnimData2LoadBuff(name, &cursor, buffer + BUFFER);
  }
  ZEANIMDATA* LoadV1(const AniDesc& d, const char* name) {
    Save(name, Build(d, 1));
    return ZeAnimDataLoadBuff(name, &cursor, buffer + BUFFER);
  }

  // A slot's value as the evaluation reads it.
  static float Value(const ZEANIMDATA2* a, int node, int slot, const ZEANIMTIME& t) {
    const int i = node * a->ncurves + slot;
    if (a->keytypes[i] == ZEANIMKEYTYPE_NONE) {
      float v;
      memcpy(&v, &a->words[i], 4);
      return v;
    }
    return ZeAnimCurve2CalcValEx(&a->words[i], &t, a->keytypes[i]);
  }

  // Every slot of every node at every quarter frame.
  static std::vector<float> AllValues(const ZEANIMDATA2* a) {
    std::vector<float> v;
    for (float f = 0; f <= a->end + 1; f += 0.25f) {
      ZEANIMTIME t;
      ZeAnimData2CalcTime(a, &t, f);
      for (int n = 0; n < a->nnodes; n++)
        for (int k = 0; k < a->ncurves; k++) v.push_back(Value(a, n, k, t));
    }
    return v;
  }
};
