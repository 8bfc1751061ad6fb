// The GS's drawing counters over a benchmark's frames: counters per frame
// (primitives and pixels, in all and on the reference path), and the lines
// of GsStatsText per frame on stderr, by reason.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>

#include "gs.h"

inline void GsBenchReport(benchmark::State& state, const char* name, const GsStats& before,
                          const GsStats& after, uint64_t frames) {
  if (frames == 0) return;
  auto per = [&](uint64_t a, uint64_t b) { return (a - b) / frames; };
  GsStats d{};
  d.prims = per(after.prims, before.prims);
  d.pixels = per(after.pixels, before.pixels);
  d.fastPrims = per(after.fastPrims, before.fastPrims);
  d.fastPixels = per(after.fastPixels, before.fastPixels);
  d.refPixels = per(after.refPixels, before.refPixels);
  for (int r = 0; r < GS_REF_COUNT; r++) {
    d.refPrims[r] = per(after.refPrims[r], before.refPrims[r]);
    d.refReasonPixels[r] = per(after.refReasonPixels[r], before.refReasonPixels[r]);
  }
  state.counters["prims"] = double(d.prims);
  state.counters["pixels"] = double(d.pixels);
  state.counters["reference"] = double(d.prims - d.fastPrims);
  state.counters["refPixels"] = double(d.refPixels);
  char text[2048];
  GsStatsText(d, text, sizeof text);
  fprintf(stderr, "%s, per frame:\n%s", name, text);
}
