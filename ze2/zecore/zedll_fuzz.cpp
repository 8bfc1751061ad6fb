// Fuzz target: relocatable module images, up to the point where the bytes
// would be handed to the host's dynamic loader: the name (from the input),
// the load into a caller's buffer of a size the input chooses, the image's
// ELF headers, dynamic symbols and needs against the export table.
#include "fuzz.h"
#include "zecore.h"
#include "zecore_local.h"

#include <cstring>
#include <string>

// What the test module (platform/modules/testmod) needs from the program,
// exported.
int dll_test_global = 0;
extern "C" void DllTestNote(int) {}

namespace {

const SnExport g_exports[] = {{"DllTestNote", reinterpret_cast<const void*>(&DllTestNote)},
                              {"dll_test_global", &dll_test_global}};

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  errmsg_disabled = 1;
  errmsg_to_console = 0;
  FuzzDir();
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  PlatDllCheckOnly(true);
  SnSetExports(g_exports, 2);
  ZeDllInit(nullptr);
  if (size < 1) return;
  // The name and the image, split at the first separator (no separator:
  // the name "M.DLL" and the whole input).
  const std::vector<FuzzPart> parts = FuzzSplit(data + 1, size - 1, 2);
  std::string name = "M.DLL";
  FuzzPart image = parts[0];
  if (parts.size() == 2) {
    name.assign(reinterpret_cast<const char*>(parts[0].data), strnlen(reinterpret_cast<const char*>(parts[0].data), parts[0].size));
    image = parts[1];
  }
  // The module is always the file "M.DLL"; other names find nothing.
  FuzzWriteFile("M.DLL", image.data, image.size);
  // A buffer from too small for the image to roomy.
  const int64_t want = int64_t(image.size) + 256 + int64_t(data[0] >> 2) * 256 - 8192;
  const size_t room = size_t(want > 0 ? want : 0);
  char* buffer = reinterpret_cast<char*>(FuzzEeCopy(nullptr, 0, room));
  char* cursor = buffer + (data[0] & 3);
  ZeDllLoad(name.c_str(), 0, &cursor, buffer + room);
}

void FuzzReset() {
  PlatDllCheckOnly(false);
  ZeFileReset();
  errmsg_trap = 0;
}
