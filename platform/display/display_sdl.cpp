// The SDL2 window: the line-doubled field scaled into the largest 4:3
// rectangle of a resizable window, black bars around it. Closing the
// window ends the program.
#include "platform.h"

#include <SDL2/SDL.h>

namespace {

SDL_Window* g_window;
SDL_Renderer* g_renderer;
SDL_Texture* g_texture;
int g_texW, g_texH;

bool SdlOpen() {
  if (!SDL_WasInit(SDL_INIT_VIDEO) && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  // Controllers are read through the window's event pump (the pads' SDL source).
  if (!SDL_WasInit(SDL_INIT_GAMECONTROLLER)) SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER);
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
  g_window = SDL_CreateWindow("ze2", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 640, 480, SDL_WINDOW_RESIZABLE);
  if (g_window) g_renderer = SDL_CreateRenderer(g_window, -1, 0);
  if (!g_renderer) {
    if (g_window) SDL_DestroyWindow(g_window);
    g_window = nullptr;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
  }
  return true;
}

// The largest 4:3 rectangle centred in the window.
SDL_Rect Picture() {
  int ow = 0, oh = 0;
  SDL_GetRendererOutputSize(g_renderer, &ow, &oh);
  SDL_Rect r;
  if (ow * 3 >= oh * 4) {
    r.h = oh;
    r.w = oh * 4 / 3;
  } else {
    r.w = ow;
    r.h = ow * 3 / 4;
  }
  r.x = (ow - r.w) / 2;
  r.y = (oh - r.h) / 2;
  return r;
}

void Draw() {
  SDL_SetRenderDrawColor(g_renderer, 0, 0, 0, 255);
  SDL_RenderClear(g_renderer);
  if (g_texture) {
    SDL_Rect dst = Picture();
    SDL_RenderCopy(g_renderer, g_texture, nullptr, &dst);
  }
}

void PumpEvents() {
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    if (e.type == SDL_QUIT) {
      PlatFlushLogs();
      SDL_Quit();
      _Exit(0);
    }
  }
}

void SdlPresent(const uint32_t* frame, int width, int height) {
  if (!g_texture || g_texW != width || g_texH != height) {
    if (g_texture) SDL_DestroyTexture(g_texture);
    // 0xAABBGGRR words are R, G, B, A bytes: ABGR8888 on a little-endian host.
    g_texture = SDL_CreateTexture(g_renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!g_texture) PlatFatal("display: SDL cannot make a %dx%d texture: %s", width, height, SDL_GetError());
    SDL_SetTextureBlendMode(g_texture, SDL_BLENDMODE_NONE);  // alpha is not shown
    g_texW = width;
    g_texH = height;
  }
  SDL_UpdateTexture(g_texture, nullptr, frame, width * 4);
  Draw();
  SDL_RenderPresent(g_renderer);
  PumpEvents();
}

bool SdlReadBack(uint32_t* out, int maxPixels, int* width, int* height) {
  int ow = 0, oh = 0;
  SDL_GetRendererOutputSize(g_renderer, &ow, &oh);
  if (int64_t(ow) * oh > maxPixels) return false;
  // What was presented, drawn again and read before it is shown.
  Draw();
  bool ok = SDL_RenderReadPixels(g_renderer, nullptr, SDL_PIXELFORMAT_ABGR8888, out, ow * 4) == 0;
  SDL_RenderPresent(g_renderer);
  *width = ow;
  *height = oh;
  return ok;
}

void SdlClose() {
  if (g_texture) SDL_DestroyTexture(g_texture);
  if (g_renderer) SDL_DestroyRenderer(g_renderer);
  if (g_window) SDL_DestroyWindow(g_window);
  g_texture = nullptr;
  g_renderer = nullptr;
  g_window = nullptr;
  // The video subsystem stays up until the process ends: quitting it
  // unloads driver libraries whose allocations then cannot be told apart.
}

}  // namespace

extern const DisplayBackend display_sdl = {"sdl", SdlOpen, SdlPresent, SdlReadBack, SdlClose};
