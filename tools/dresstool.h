// Shared by bridgetool and grasstool: the description reader's word
// splitting, the scene of named instances the pages are listed against, and
// the command line of both.
#pragma once

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gamelib.h"
#include "toolhalt.h"
#include "zecore.h"
#include "zeps2.h"

namespace dresstool {

// The lines of a description, split into words; ';' starts a comment.
// False, with "TOOL: PATH: cannot be read", when it cannot be opened.
inline bool ReadLines(const char* tool, const char* path, std::vector<std::vector<std::string>>* lines) {
  std::ifstream in(path);
  if (!in) {
    fprintf(stderr, "%s: %s: cannot be read\n", tool, path);
    return false;
  }
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

// The name of a loaded object index; "-" for none or one not named.
inline std::string Name(int k) { return k >= 0 && size_t(k) < g_names.size() ? g_names[size_t(k)] : "-"; }

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

// Copies a name into a fixed field (filled with zeros; a name as long as the
// field keeps no terminator).
inline void Field(char* field, int size, const std::string& name) {
  memset(field, 0, size_t(size));
  memcpy(field, name.data(), name.size() < size_t(size) ? name.size() : size_t(size));
}

// The command line: "TOOL make <description> <out>" or "TOOL info <file>",
// run on the engine's main thread with host files.
struct Commands {
  const char* tool;
  int (*make)(const char* desc, const char* out);
  int (*info)(const char* path);
};
inline Commands g_commands;

inline int Main(int argc, char** argv) {
  errmsg_disabled = 1;
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  ZeTrigInit();
  const Commands& c = g_commands;
  if (argc == 4 && !strcmp(argv[1], "make")) return c.make(argv[2], argv[3]);
  if (argc == 3 && !strcmp(argv[1], "info")) return c.info(argv[2]);
  fprintf(stderr, "usage: %s make <description> <out>\n       %s info <file>\n", c.tool, c.tool);
  return 2;
}

inline int Run(const Commands& commands, int argc, char** argv) {
  g_commands = commands;
  return ToolRun(commands.tool, Main, argc, argv);
}

}  // namespace dresstool
