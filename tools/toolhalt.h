// What the tools built on the engine share: a fatal error of the engine
// printed as "TOOL: message" and ending the run with status 1, the host
// root moved to a file's directory so that the engine names it by its base,
// and the reading of a description of one command a line.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform.h"

namespace toolhalt {
inline const char* g_tool = "tool";
inline std::string g_error;
inline bool g_inError = false;
inline void Console(const char* text) {
  if (strncmp(text, "ZeError - ", 10) == 0) g_inError = true;
  if (g_inError) g_error += text;
}
inline void Halt() {
  fprintf(stderr, "%s: %s\n", g_tool, g_error.c_str());
  _exit(1);
}
}  // namespace toolhalt

inline void ToolCatchFatal(const char* tool) {
  toolhalt::g_tool = tool;
  PlatSetConsoleCapture(toolhalt::Console);
  KernelSetHaltHook(toolhalt::Halt);
}

inline std::string ToolEngineName(const std::string& path) {
  std::filesystem::path a = std::filesystem::absolute(path);
  PlatSetHostRoot(a.parent_path().c_str());
  return a.filename().string();
}

// Where a description is being read, for its errors.
struct ToolDescLine {
  const std::string& path;
  int lineno;
  // Prints "PATH:LINE: what"; returns 1, the run's status.
  int Bad(const char* what) const {
    fprintf(stderr, "%s:%d: %s\n", path.c_str(), lineno, what);
    return 1;
  }
};

// Reads a description one command a line (';' starts a remark, blank lines
// pass), calling command(cmd, rest of the line, where) for each. Returns
// the first non-zero return of command, 0 at the end, or 1 with "TOOL:
// cannot read PATH" when the file cannot be opened.
template <class F>
int ToolReadCommands(const char* tool, const std::string& path, F command) {
  std::ifstream in(path);
  if (!in) {
    fprintf(stderr, "%s: cannot read %s\n", tool, path.c_str());
    return 1;
  }
  std::string line;
  ToolDescLine at{path, 0};
  while (std::getline(in, line)) {
    at.lineno++;
    if (size_t c = line.find(';'); c != std::string::npos) line.erase(c);
    std::istringstream ss(line);
    std::string cmd;
    if (!(ss >> cmd)) continue;
    if (int r = command(cmd, ss, at)) return r;
  }
  return 0;
}
