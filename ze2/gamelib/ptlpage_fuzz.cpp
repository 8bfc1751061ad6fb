// Fuzz target: an effect file. The first byte chooses the load's kind (0
// types only, 1 types and placed emitters, 5 a character list); the rest is
// the file. A loaded page is started, run for a few particle frames (its
// emitters emitting), stopped and cleared.
#include "fuzz.h"
#include "debris_host.h"
#include "edtools.h"
#include "zecore_local.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#include <string>

namespace {

std::string g_dir;
char* g_pool;

void StartOnce() {
  char tmpl[] = "/tmp/ptlpage_fuzz.XXXXXX";
  g_dir = mkdtemp(tmpl);
  errmsg_disabled = 1;
  errmsg_to_console = 0;
  g_pool = DebrisHostStart();
}

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  if (g_dir.empty()) StartOnce();
  if (size < 1) return;
  static const int kKinds[3] = {0, 1, 5};
  const int kind = kKinds[data[0] % 3];
  int fd = open((g_dir + "/FUZZ.DAT").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || write(fd, data + 1, size - 1) != ssize_t(size - 1)) abort();
  close(fd);
  PlatSetHostRoot(g_dir.c_str());
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  // Set-up takes the same materials each time: release them first.
  ZeMtlRelease();
  char* cursor = g_pool;
  DebrisSetup(&cursor, "gfx\\particle.pnt", 304);
  const ZEVEC camera = {0, 0, 0};
  DebrisRegisterCutoffCameraVec(&camera);
  const int page = edppLoadPage("FUZZ.DAT", kind, nullptr);
  if (page < 0) return;
  // Bound the work of one input: a type may ask for 32,767 particles a
  // frame from each of its emitters.
  for (int i = 1; i < DEB_TYPES; i++)
    if (debtab[i] && debtab[i]->gen_rate > 64) debtab[i]->gen_rate = 64;
  edppStartPage(page);
  for (int i = 1; i < DEB_TYPES; i++)
    if (debtab[i]) {
      const ZEVEC at = {1, 2, 3};
      AddVariableShotDebrisEffect(i, &at, 3, 100, 200);
    }
  for (int f = 0; f < 8; f++) Debris(0);
  edppDetermineNearest(-1.0f);
  edppStopPage(page);
  edppClearPage(page);
}

void FuzzReset() {
  EdFileClose();
  EdFileSetMedia(EDFILE_MEDIA_NONE);
  ParticleReset();
  edppDestroyAllEffects();
  ZeFileReset();
  errmsg_trap = 0;
}
