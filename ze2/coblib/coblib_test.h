// Character tests' fixture: the demo character "torva" (demo/torva.txt,
// made with the model tool's library and written as a memory image) and
// animations from the animation writer, under "chars\\torva" in a host
// directory; EE buffers standing for the owners' buffers.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "aniwrite.h"
#include "coblib.h"
#include "modelwrite.h"
#include "zehgobj_test.h"

struct Chars : Hgo {
  static constexpr int kBuffer = 1 << 20;
  static constexpr int kJoints = 13;

  void SetUp() override {
    Hgo::SetUp();
    std::filesystem::create_directories(dir + "/CHARS/TORVA");
    ModelDesc d;
    std::string error;
    ASSERT_TRUE(ModelReadDescription(ZE_DEMO_DIR "/torva.txt", &d, &error)) << error;
    PlatSetHostRoot(dir.c_str());  // the reader roots the host at the description's folder
    ASSERT_TRUE(ModelWriteHgof(d, "T.HGO", &error)) << error;
    ModelDescFree(&d);
    ZEHGOBJ* heap = ZeHGobjLoad("T.HGO");
    ASSERT_NE(heap, nullptr);
    ZeGHGWrite(heap, "CHARS\\TORVA\\REST.GHG", 8 << 20);
    ZeHGobjDestroy(heap);
    InstInit();
  }
  void TearDown() override {
    CloseCobs();
    InstClose();
    cob_debris = {};
    Hgo::TearDown();
  }

  // An EE buffer standing for an owner's; released with the fixture.
  char* OwnerBuffer(char** end, int bytes = kBuffer) {
    char* b = static_cast<char*>(EeMalloc(size_t(bytes)));
    buffers.push_back(b);
    memset(b, 0, size_t(bytes));
    *end = b + bytes;
    return b;
  }

  // An animation of torva's 13 joints held at their rest offsets (an
  // animated joint carries its bone offset) over end frames, written as
  // chars\torva\NAME.
  void Animation(const char* name, int end) {
    AniDesc d;
    d.end = float(end);
    static const float offsets[kJoints][3] = {
        {0, 0.33333f, 0}, {0, 0.1f, 0}, {0, 0.1f, 0}, {0, 0.13333f, 0}, {0, 0.03333f, 0},
        {0.1f, -0.01667f, 0}, {0, -0.11667f, 0}, {-0.1f, -0.01667f, 0}, {0, -0.11667f, 0},
        {0.04333f, -0.15f, 0}, {0, -0.16667f, 0}, {-0.04333f, -0.15f, 0}, {0, -0.16667f, 0}};
    for (int j = 0; j < kJoints; j++) {
      AniNode n;
      n.flags = ZEANIMNODE_ROT | ZEANIMNODE_TRANS;
      n.channels.resize(ZEANIM_SLOTS);
      for (int s = 0; s < 3; s++) n.channels[size_t(s)].constant = offsets[j][s];
      for (int s = 6; s < 9; s++) n.channels[size_t(s)].constant = 1;
      d.nodes.push_back(n);
    }
    std::string error;
    const std::vector<uint8_t> img = AniBuildV2(d, &error);
    ASSERT_FALSE(img.empty()) << error;
    std::ofstream(dir + "/CHARS/TORVA/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(img.data()), std::streamsize(img.size()));
  }
};
