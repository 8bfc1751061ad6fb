// What the tools built on the engine share: a fatal error of the engine or
// of the host printed as "TOOL: FILE: message" and ending the run with
// status 1 and no leftovers, the host root moved to a file's directory so
// that the engine names it by its base, writes through the engine under the
// name given, and the reading of a description of one command a line.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <strings.h>

#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform.h"

namespace toolhalt {
inline const char* g_tool = "tool";
inline std::string g_file;  // the file being read or written, named in fatal errors
inline std::string g_error;
inline bool g_inError = false;
// Directories the engine's files were made in, whether an error log was
// there before, and outputs a failed run must not leave.
struct Dir {
  std::string path;
  bool hadLog;
};
inline std::vector<Dir> g_dirs;
inline std::vector<std::string> g_partial;

// The engine's error log ("ze2.err", made empty when its messages start) is
// removed again where this run made it and left it empty.
inline bool IsLogName(const std::string& n) {
  return n.size() == 7 && strncasecmp(n.c_str(), "ze2.err", 7) == 0;
}
inline bool HasLog(const std::string& dir) {
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec))
    if (IsLogName(e.path().filename().string())) return true;
  return false;
}
inline void CleanUp(bool failed) {
  std::error_code ec;
  if (failed)
    for (const std::string& p : g_partial) std::filesystem::remove_all(p, ec);
  for (const Dir& d : g_dirs) {
    if (d.hadLog) continue;
    for (const auto& e : std::filesystem::directory_iterator(d.path, ec))
      if (IsLogName(e.path().filename().string()) && std::filesystem::file_size(e.path(), ec) == 0 && !ec)
        std::filesystem::remove(e.path(), ec);
  }
}
inline void Console(const char* text) {
  if (strncmp(text, "ZeError - ", 10) == 0 || strncmp(text, "ZeWarning - ", 12) == 0 ||
      strncmp(text, "ZeAssert - ", 11) == 0 || strncmp(text, "platform: ", 10) == 0)
    g_inError = true;
  if (g_inError) g_error += text;
}
[[noreturn]] inline void Fail(const std::string& what) {
  std::string text = what;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (g_file.empty()) fprintf(stderr, "%s: %s\n", g_tool, text.c_str());
  else fprintf(stderr, "%s: %s: %s\n", g_tool, g_file.c_str(), text.c_str());
  CleanUp(true);
  _exit(1);
}
inline void Halt() { Fail(g_error); }
// A host error that escapes as an exception (a filesystem call, memory) ends
// the run as any other error does.
inline void Terminate() {
  std::string what = "host error";
  if (std::exception_ptr e = std::current_exception()) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& x) {
      what = x.what();
    } catch (...) {
    }
  }
  Fail(what);
}
}  // namespace toolhalt

inline void ToolCatchFatal(const char* tool) {
  toolhalt::g_tool = tool;
  PlatSetConsoleCapture(toolhalt::Console);
  KernelSetHaltHook(toolhalt::Halt);
  std::set_terminate(toolhalt::Terminate);
}

// Names the file the run is at, for its fatal errors.
inline void ToolSetFile(const std::string& path) { toolhalt::g_file = path; }

// Notes a directory the engine's files are made in (its error log is
// removed again when this run made it and left it empty).
inline void ToolNoteDir(const std::string& dir) {
  for (const toolhalt::Dir& d : toolhalt::g_dirs)
    if (d.path == dir) return;
  toolhalt::g_dirs.push_back({dir, toolhalt::HasLog(dir)});
}

// The host root moved to dir, noted as above.
inline void ToolSetHostRoot(const char* dir) {
  PlatSetHostRoot(dir);
  ToolNoteDir(dir);
}

// An output a failed run removes.
inline void ToolRemoveOnFailure(const std::string& path) { toolhalt::g_partial.push_back(path); }

// The host root moved to the file's directory; the name the engine opens
// it by (its base name). The file is the one named in fatal errors.
inline std::string ToolEngineName(const std::string& path) {
  std::filesystem::path a = std::filesystem::absolute(path);
  ToolSetHostRoot(a.parent_path().c_str());
  ToolSetFile(path);
  return a.filename().string();
}

// Writes through the engine under a temporary name in the output's
// directory (the engine upper-cases the names it makes), then renames it to
// the name given. False, with "TOOL: PATH: cannot be written" or the
// engine's message, when nothing was written; no temporary is left.
template <class W>
bool ToolWriteThroughEngine(const std::string& path, const char* tmpname, W write) {
  namespace fs = std::filesystem;
  const fs::path out = fs::absolute(path);
  std::error_code ec;
  if (!fs::is_directory(out.parent_path(), ec)) {
    fprintf(stderr, "%s: %s: cannot be written (no such folder)\n", toolhalt::g_tool, path.c_str());
    return false;
  }
  ToolSetHostRoot(out.parent_path().c_str());
  ToolSetFile(path);
  const fs::path tmp = out.parent_path() / tmpname;
  fs::remove(tmp, ec);
  ToolRemoveOnFailure(tmp.string());
  write(tmpname);
  if (!fs::exists(tmp, ec)) {
    fprintf(stderr, "%s: %s: cannot be written\n", toolhalt::g_tool, path.c_str());
    return false;
  }
  fs::rename(tmp, out, ec);
  if (ec) {
    fs::remove(tmp, ec);
    fprintf(stderr, "%s: %s: cannot be written\n", toolhalt::g_tool, path.c_str());
    return false;
  }
  return true;
}

// A tool's main: its fatal errors and host errors end the run with its
// message and status 1; the host's options, then main on the engine's
// main thread; an empty error log the run made is removed.
inline int ToolRun(const char* tool, int (*main)(int, char**), int argc, char** argv) {
  ToolCatchFatal(tool);
  PlatParseHostOptions(&argc, argv);
  const int r = PlatformRun(main, argc, argv);
  toolhalt::CleanUp(r != 0);
  return r;
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
