// The particle system's tests: effect files written by the engine's writer
// into a fresh host directory, and tables reset between tests.
#pragma once

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "debris_local.h"
#include "gtest/gtest.h"
#include "platform_test.h"

inline bool ReadTestFile(const std::string& path, std::vector<uint8_t>* b) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  b->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  return true;
}
inline bool WriteTestFile(const std::string& path, const std::vector<uint8_t>& b) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
  return bool(f);
}

inline DebrisEffectType TestType(const char* name, float life = 1.0f, int rate = 1) {
  DebrisEffectType t;
  DebrisDefaultEffectType(&t);
  memset(t.name, 0, 16);
  memcpy(t.name, name, strnlen(name, 16));
  t.life = life;
  t.gen_rate = int16_t(rate);
  return t;
}

inline PlacedEmitter TestEmitter(const char* name, float x, float y, float z) {
  PlacedEmitter e;
  memset(&e, 0, sizeof e);
  memcpy(e.name, name, strnlen(name, 16));
  e.pos = {x, y, z};
  e.switch_id = -1;
  e.bounce = 0.9f;
  return e;
}

// Writes an effect file of the types (and emitters, when given) at a version.
inline void Write(const char* name, int version, const std::vector<DebrisEffectType>& types,
                  const std::vector<PlacedEmitter>* emitters = nullptr) {
  ASSERT_EQ(edppSaveFile(name, version, types.data(), int(types.size()), emitters ? emitters->data() : nullptr,
                         emitters ? int(emitters->size()) : 0),
            1);
}

struct DebrisFiles : testing::Test {
  std::string host;
  void SetUp() override {
    host = TestTempDir();
    PlatSetHostRoot(host.c_str());
    ZeTrigInit();
    ParticleReset();
    edppDestroyAllEffects();
    for (DebrisEffectType& t : effecttypes) t.info = nullptr;
    edpp_nearest = -1;
  }
  void TearDown() override {
    EdFileClose();
    EdFileSetMedia(EDFILE_MEDIA_NONE);
    PlatSetHostRoot(nullptr);
  }
};

// Puts a type into the next free slot as a load would; returns its index.
inline int InstallType(const DebrisEffectType& t, int page = 0) {
  for (int i = 1; i < DEB_TYPES; i++)
    if (!debtab[i]) {
      effecttypes[i] = t;
      effecttypes[i].page = int8_t(page);
      debtab[i] = &effecttypes[i];
      edppCalcEffectParticleCount(&effecttypes[i]);
      edpp_types_used++;
      return i;
    }
  return -1;
}
