// Shared by bridgetool and grasstool: the description reader's word
// splitting, the scene of named instances the pages are listed against, and
// the host directory of a file.
#pragma once

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gamelib.h"
#include "zecore.h"
#include "zeps2.h"

namespace dresstool {

// The lines of a description, split into words; ';' starts a comment.
inline bool ReadLines(const char* path, std::vector<std::vector<std::string>>* lines) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (size_t c = line.find(';'); c != std::string::npos) line.resize(c);
    std::istringstream ws(line);
    std::vector<std::string> w;
    for (std::string s; ws >> s;) w.push_back(s);
    if (!w.empty()) lines->push_back(w);
  }
  return true;
}

// Object names of the listing scene: each new name becomes the next
// instance. "-" names no object.
inline std::vector<std::string> g_names;
inline int Lookup(const char* name, const ZEGSCENE*) {
  if (!strcmp(name, "-") || !name[0]) return -1;
  for (size_t i = 0; i < g_names.size(); i++)
    if (!strncmp(g_names[i].c_str(), name, 19)) return int(i);
  g_names.push_back(name);
  return int(g_names.size() - 1);
}

// A scene of n identity instances in EE memory, named through Lookup.
inline ZEGSCENE* Scene(int n) {
  auto* insts = static_cast<ZEGSCNINST*>(EeMalloc(sizeof(ZEGSCNINST) * size_t(n)));
  memset(insts, 0, sizeof(ZEGSCNINST) * size_t(n));
  for (int i = 0; i < n; i++) ZeMtxSetIdentity(&insts[i].mtx), insts[i].flags = 1;
  auto* s = static_cast<ZEGSCENE*>(EeMalloc(sizeof(ZEGSCENE)));
  memset(s, 0, sizeof *s);
  s->ninst = n;
  s->insts = insts;
  edbits_lookup_hook = Lookup;
  return s;
}

// Sets the host root to the file's directory; returns its name there.
inline std::string HostFile(const char* path) {
  std::filesystem::path a = std::filesystem::absolute(path);
  PlatSetHostRoot(a.parent_path().c_str());
  return a.filename().string();
}

// Copies a name into a fixed field (filled with zeros; a name as long as the
// field keeps no terminator).
inline void Field(char* field, int size, const std::string& name) {
  memset(field, 0, size_t(size));
  memcpy(field, name.data(), name.size() < size_t(size) ? name.size() : size_t(size));
}

}  // namespace dresstool
