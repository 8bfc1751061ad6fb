// Run control of the host: the words --args adds to the program's own
// command line, the swap after which --frames ends the run, and the hook a
// test installs to look at every swap.
#include "platform.h"

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_words;
std::vector<const char*> g_wordPtrs;
int g_frameLimit;
PlatSwapHook g_swapHook;

}  // namespace

void PlatSetArgs(const char* text) {
  g_words.clear();
  g_wordPtrs.clear();
  if (!text) return;
  std::string w;
  for (const char* p = text;; p++) {
    if (*p == 0 || *p == ' ' || *p == '\t') {
      if (!w.empty() && int(g_words.size()) < PLAT_ARG_WORDS) g_words.push_back(w);
      w.clear();
      if (*p == 0) break;
    } else {
      w += *p;
    }
  }
  for (const std::string& s : g_words) g_wordPtrs.push_back(s.c_str());
}

int PlatArgWords(const char* const** words) {
  *words = g_wordPtrs.empty() ? nullptr : g_wordPtrs.data();
  return int(g_wordPtrs.size());
}

void PlatSetFrameLimit(int swaps) { g_frameLimit = swaps > 0 ? swaps : 0; }
int PlatFrameLimit() { return g_frameLimit; }
void PlatSetSwapHook(PlatSwapHook hook) { g_swapHook = hook; }

void PlatAfterSwap(int swap) {
  if (g_swapHook && g_swapHook(swap)) Exit(0);
  if (g_frameLimit && swap >= g_frameLimit) Exit(0);
}
