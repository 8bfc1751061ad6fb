// The check program's far copies in virtual time: each shows as an image of
// its class cut out of its slot. Against the same frame without the copies,
// a quad differs where its figure stands and shows the scene round it, and
// nothing outside the quads changes.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform_test.h"
#include "snapshot_test.h"

namespace {

// The frame's picture in the world view without rain.
Png WorldSnapshot(int frame, const std::string& options, const std::string& name, std::string* log) {
  return Snapshot(frame, "--world --no-rain " + options, name, log);
}

struct Quad {
  int copy, cls, x0, y0, x1, y1;  // pixels, inclusive
  int area;                       // the quad's own, in pixels
  bool Holds(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

// The quads the program printed for the frame (the view's units: 16 a
// pixel, the screen's centre at 32768), rounded outward to whole pixels
// with two more round them (the field's half-pixel offset, edge pixels).
std::vector<Quad> Quads(const std::string& log, int frame) {
  std::vector<Quad> out;
  const std::string key = "demotbr: frame " + std::to_string(frame) + " copy ";
  for (size_t at = log.find(key); at != std::string::npos; at = log.find(key, at + 1)) {
    Quad q{};
    float x0, y0, x1, y1;
    if (std::sscanf(log.c_str() + at + key.size(), "%d class %d quad (%f, %f)-(%f, %f)", &q.copy, &q.cls, &x0, &y0, &x1,
                    &y1) != 6)
      continue;
    const auto px = [](float v, int centre) { return (v - 32768.0f) / 16.0f + float(centre); };
    q.x0 = int(px(x0, 320)) - 2, q.x1 = int(px(x1, 320)) + 2;
    q.y0 = int(px(y0, 112)) - 2, q.y1 = int(px(y1, 112)) + 2;
    q.area = int((x1 - x0) / 16.0f * (y1 - y0) / 16.0f);
    out.push_back(q);
  }
  return out;
}

TEST(DemoTbrPicture, FarCopiesAreFiguresCutOutOverTheScene) {
  for (const int frame : {300, 350}) {
    SCOPED_TRACE(frame);
    std::string log, bareLog;
    const Png far = WorldSnapshot(frame, "", "far", &log);
    const Png bare = WorldSnapshot(frame, "--no-far-copies", "nofar", &bareLog);
    ASSERT_EQ(far.w, 640);
    ASSERT_EQ(bare.w, far.w);
    ASSERT_EQ(bare.h, far.h);
    const std::vector<Quad> quads = Quads(log, frame);
    int perClass[3] = {};
    for (const Quad& q : quads) perClass[q.cls]++;
    EXPECT_EQ(perClass[0], 2) << log;
    EXPECT_EQ(perClass[1], 2);
    EXPECT_EQ(perClass[2], 2);
    EXPECT_EQ(Quads(bareLog, frame).size(), 0u);
    // Nothing changes outside the quads.
    int outside = 0;
    for (int y = 0; y < far.h; y++)
      for (int x = 0; x < far.w; x++)
        if (std::none_of(quads.begin(), quads.end(), [&](const Quad& q) { return q.Holds(x, y); }))
          outside += far.at(x, y) != bare.at(x, y);
    EXPECT_EQ(outside, 0);
    for (const Quad& q : quads) {
      SCOPED_TRACE(testing::Message() << "copy " << q.copy << " class " << q.cls);
      ASSERT_GE(q.x0, 0);
      ASSERT_LT(q.x1, far.w);
      ASSERT_GE(q.y0, 0);
      ASSERT_LT(q.y1, far.h);
      // The figure: a good part of the quad, not all of it.
      int figure = 0;
      for (int y = q.y0; y <= q.y1; y++)
        for (int x = q.x0; x <= q.x1; x++) figure += far.at(x, y) != bare.at(x, y);
      EXPECT_GT(figure, q.area / 8);
      EXPECT_LT(figure, q.area * 3 / 4);
      // The scene round it: the quad's corners (beside the head and between
      // or beside the feet) as without the copies, unless another quad
      // covers them.
      const int corners[4][2] = {{q.x0 + 3, q.y0 + 3}, {q.x1 - 3, q.y0 + 3}, {q.x0 + 3, q.y1 - 3}, {q.x1 - 3, q.y1 - 3}};
      for (const auto& c : corners) {
        const bool other = std::any_of(quads.begin(), quads.end(), [&](const Quad& o) {
          return o.copy != q.copy && o.Holds(c[0], c[1]);
        });
        if (!other) {
          EXPECT_EQ(far.at(c[0], c[1]), bare.at(c[0], c[1])) << c[0] << ", " << c[1];
        }
      }
    }
  }
}

}  // namespace
