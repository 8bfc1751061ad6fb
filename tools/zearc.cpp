// zearc: builds data archives from directory trees, lists and extracts
// them through the engine's own archive reader.
//   zearc build <dir> <archive> [--pack]
//   zearc list <archive>
//   zearc extract <archive> <dir>
#include "zetools.h"
#include "zecore.h"
#include "toolhalt.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

namespace fs = std::filesystem;

namespace {

int Usage() {
  fprintf(stderr,
          "usage: zearc build <dir> <archive> [--pack]\n"
          "       zearc list <archive>\n"
          "       zearc extract <archive> <dir>\n");
  return 2;
}

ZEDAT* Open(const std::string& archive) {
  std::error_code ec;
  if (!fs::is_regular_file(archive, ec)) {
    fprintf(stderr, "zearc: cannot open %s\n", archive.c_str());
    return nullptr;
  }
  std::string name = "@loc" + ToolEngineName(archive);
  ZEDAT* dat = ZeDatOpen(name.c_str(), nullptr, nullptr);
  if (!dat) fprintf(stderr, "zearc: cannot open %s\n", archive.c_str());
  return dat;
}

// Calls fn(path, file index) for every file of the archive, in tree order.
void Walk(ZEDAT* dat, int first, const std::string& prefix, const std::function<void(const std::string&, int)>& fn) {
  for (int k = first; k != 0; k = dat->nodes[k].sibling) {
    const ZEDATNODE& n = dat->nodes[k];
    std::string path = prefix.empty() ? std::string(n.name.get()) : prefix + "\\" + n.name.get();
    if (n.child > 0) Walk(dat, n.child, path, fn);
    else fn(path, -n.child);
  }
}

int List(const std::string& archive) {
  ZEDAT* dat = Open(archive);
  if (!dat) return 1;
  printf("%-40s %10s %10s %10s %s\n", "member", "offset", "stored", "size", "packed");
  if (dat->nodes[0].child > 0) {
    Walk(dat, dat->nodes[0].child, "", [&](const std::string& path, int i) {
      const ZEDATENTRY& e = dat->files[i];
      printf("%-40s %10d %10d %10d %s\n", path.c_str(), e.offset, e.stored, e.unpacked, e.flags & 1 ? "yes" : "no");
    });
  }
  ZeDatClose(dat);
  return 0;
}

int Extract(const std::string& archive, const std::string& dir) {
  ZEDAT* dat = Open(archive);
  if (!dat) return 1;
  std::error_code ec;
  if (!fs::exists(dir, ec)) ToolRemoveOnFailure(dir);
  int failures = 0;
  if (dat->nodes[0].child > 0) {
    Walk(dat, dat->nodes[0].child, "", [&](const std::string& path, int i) {
      const ZEDATENTRY& e = dat->files[i];
      size_t size = size_t(e.unpacked) + size_t(e.stored) + ZEPP_MARGIN;
      auto* buf = static_cast<uint8_t*>(EeMalloc(size));
      int got = e.stored ? ZeDatFileLoadBuffer(dat, path.c_str(), buf, int(size)) : 0;
      std::string host = dir + "/" + path;
      for (char& c : host)
        if (c == '\\') c = '/';
      fs::create_directories(fs::path(host).parent_path(), ec);
      if (got != e.unpacked || !WriteHostFile(host, buf, size_t(got))) {
        fprintf(stderr, "zearc: cannot extract %s\n", path.c_str());
        failures++;
      }
      EeFree(buf);
    });
  }
  ZeDatClose(dat);
  if (failures) toolhalt::CleanUp(true);
  return failures ? 1 : 0;
}

int Main(int argc, char** argv) {
  errmsg_disabled = 1;  // the engine's debug messages are not the tool's output
  if (argc >= 4 && strcmp(argv[1], "build") == 0) {
    ArcBuildOptions options;
    for (int i = 4; i < argc; i++) {
      if (strcmp(argv[i], "--pack") == 0) options.pack = true;
      else return Usage();
    }
    std::string error;
    if (!ArcBuild(argv[2], argv[3], options, &error) || !ArcVerify(argv[3], argv[2], &error)) {
      fprintf(stderr, "zearc: %s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  if (argc == 3 && strcmp(argv[1], "list") == 0) return List(argv[2]);
  if (argc == 4 && strcmp(argv[1], "extract") == 0) return Extract(argv[2], argv[3]);
  return Usage();
}

}  // namespace

int main(int argc, char** argv) { return ToolRun("zearc", Main, argc, argv); }
