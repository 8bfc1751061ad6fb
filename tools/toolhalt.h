// What the tools built on the engine share: a fatal error of the engine
// printed as "TOOL: message" and ending the run with status 1, and the host
// root moved to a file's directory so that the engine names it by its base.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
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
