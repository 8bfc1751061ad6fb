// What the player sees: at each swap the displayed field is read out of the
// GS, its lines doubled and handed to the display back end chosen at run
// time; PNG snapshots of the field on request.
#include "platform.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern const DisplayBackend display_sdl;

namespace {

constexpr int DEFAULT_W = 640, DEFAULT_H = 224;
constexpr int MAX_PIXELS = 2560 * 1024;

bool NullOpen() { return true; }
void NullPresent(const uint32_t*, int, int) {}
bool NullReadBack(uint32_t*, int, int*, int*) { return false; }
void NullClose() {}

const DisplayBackend display_null = {"null", NullOpen, NullPresent, NullReadBack, NullClose};
const DisplayBackend* const BACKENDS[] = {&display_null, &display_sdl};

std::string g_wanted = "auto";
const DisplayBackend* g_backend = nullptr;  // open back end (null: none yet)
DisplayReadOut g_readOut = nullptr;
std::vector<uint32_t> g_field(DEFAULT_W * DEFAULT_H, 0), g_frame, g_read;
int g_w = DEFAULT_W, g_h = DEFAULT_H;
int g_presents = 0;
// Snapshots asked for, in the order given; each is written at its swap.
struct SnapRequest {
  int swap;
  std::string path;
};
std::vector<SnapRequest> g_snaps;

bool GsReadOut(uint32_t* out, int maxPixels, int* w, int* h) {
  // The system shows its buffers on read circuit 2; circuit 1 is the fallback.
  return GsReadDisplay(2, out, maxPixels, w, h) || GsReadDisplay(1, out, maxPixels, w, h);
}

const DisplayBackend* Find(const std::string& name) {
  for (const DisplayBackend* b : BACKENDS)
    if (name == b->name) return b;
  return nullptr;
}

void OpenBackend() {
  if (g_backend) return;
  if (g_wanted == "auto") {
    // A window when a display server is there; nothing otherwise.
    bool server = getenv("DISPLAY") || getenv("WAYLAND_DISPLAY");
    if (server && display_sdl.open()) g_backend = &display_sdl;
    else g_backend = &display_null;
    return;
  }
  const DisplayBackend* b = Find(g_wanted);
  if (!b->open()) PlatFatal("display: the \"%s\" display cannot be opened", b->name);
  g_backend = b;
}

}  // namespace

bool DisplaySetBackend(const char* name) {
  std::string n = name ? name : "";
  if (n != "auto" && !Find(n)) return false;
  DisplayClose();
  g_wanted = n;
  return true;
}

const char* DisplayBackendName() { return g_backend ? g_backend->name : ""; }

void DisplayClose() {
  if (g_backend) g_backend->close();
  g_backend = nullptr;
}

void DisplaySetReadOut(DisplayReadOut fn) { g_readOut = fn; }

void DisplayDoubleLines(const uint32_t* field, int width, int height, uint32_t* frame) {
  for (int y = 0; y < height; y++) {
    memcpy(frame + size_t(2 * y) * size_t(width), field + size_t(y) * size_t(width), size_t(width) * 4);
    memcpy(frame + size_t(2 * y + 1) * size_t(width), field + size_t(y) * size_t(width), size_t(width) * 4);
  }
}

void DisplayPresent() {
  g_read.resize(MAX_PIXELS);  // allocated once
  int w = 0, h = 0;
  bool shown = (g_readOut ? g_readOut : GsReadOut)(g_read.data(), MAX_PIXELS, &w, &h);
  if (!shown || w <= 0 || h <= 0 || int64_t(w) * h > MAX_PIXELS) {
    // Nothing is read out (the circuit is off): a black picture.
    w = g_w;
    h = g_h;
    g_field.assign(size_t(w) * size_t(h), 0u);
  } else {
    g_field.assign(g_read.begin(), g_read.begin() + long(w) * h);
  }
  g_w = w;
  g_h = h;
  g_presents++;
  OpenBackend();
  // A field of up to 256 lines is shown line-doubled; a taller picture
  // (the progressive modes) as it is.
  if (h <= 256) {
    g_frame.resize(size_t(w) * size_t(h) * 2);
    DisplayDoubleLines(g_field.data(), w, h, g_frame.data());
    g_backend->present(g_frame.data(), w, 2 * h);
  } else {
    g_backend->present(g_field.data(), w, h);
  }
  for (const SnapRequest& r : g_snaps)
    if (r.swap == g_presents && !DisplaySnapshot(r.path.c_str()))
      PlatFatal("display: cannot write the snapshot \"%s\"", r.path.c_str());
  PlatAfterSwap(g_presents);
}

int DisplayPresentCount() { return g_presents; }

const uint32_t* DisplayField(int* width, int* height) {
  *width = g_w;
  *height = g_h;
  return g_field.data();
}

bool DisplayReadBack(uint32_t* out, int maxPixels, int* width, int* height) {
  return g_backend && g_backend->readBack(out, maxPixels, width, height);
}

bool DisplaySnapshot(const char* path) { return PngWrite(path, g_field.data(), g_w, g_h); }

void DisplayRequestSnapshot(int swap, const char* path) {
  if (swap < 0 || !path) {
    g_snaps.clear();
    return;
  }
  g_snaps.push_back({swap, path});
}
