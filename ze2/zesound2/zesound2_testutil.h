// Shared by the sound client's tests: the module stand-in on the null back
// end in a temporary host directory, and readers of the staged packet.
#pragma once

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform_test.h"
#include "zesound2.h"

// The commands staged in the packet, each as {id, parameters...}.
inline std::vector<std::vector<uint16_t>> StagedCommands() {
  std::vector<std::vector<uint16_t>> out;
  int pos = 1;
  while (pos < 1 + IOP_Cnt) {
    std::vector<uint16_t> c{senddata[pos]};
    int n = senddata[pos + 1];
    for (int i = 0; i < n; i++) c.push_back(senddata[pos + 2 + i]);
    out.push_back(c);
    pos += 2 + n;
  }
  return out;
}

inline std::vector<uint16_t> LastStaged() {
  auto all = StagedCommands();
  return all.empty() ? std::vector<uint16_t>{} : all.back();
}

// Drops whatever is staged, as if it had been sent.
inline void ClearPacket() {
  IOP_Cnt = 0;
  SOUND_COMMAND_COUNTER = 0;
  SOUND_GETSTATUS_FLAG = 0;
}

struct SoundClient : testing::Test {
  std::string root;
  void SetUp() override {
    root = TestTempDir();
    PlatSetHostRoot(root.c_str());
    ASSERT_EQ(SndModuleLoad(PSOUND_NULL), 0);
    SOUND_InitIOP();
    SOUND_SetMaxStreamLimit(4);
    ASSERT_GE(FlushIOPCommand(0), 0);
  }
  void TearDown() override {
    ClearPacket();
    SndModuleUnload();
    PlatSetHostRoot(".");
  }
  void Write(const std::string& rel, const std::vector<uint8_t>& bytes) {
    std::filesystem::path p = root + "/" + rel;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  void Fields(int n) {
    for (int i = 0; i < n; i++) KernelWaitVSync();
  }
};
