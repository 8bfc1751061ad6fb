// Prelighting: the per-vertex light model, the live relighting of a loaded
// scene while one light is edited, the packing of lit colours into the
// geometry's vertex colours through the gamma table, and the "LIFE" block
// of edited light sets.
#include <cmath>

#include "ze3d.h"

namespace {

// The lights chosen for the current instance: taken once, kept for good.
const ZEPRELIGHTLIGHT** light_list;

ZECOLOUR3 Add(ZECOLOUR3 a, ZECOLOUR3 b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
ZECOLOUR3 Mul(ZECOLOUR3 a, ZECOLOUR3 b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
ZECOLOUR3 Scale(ZECOLOUR3 a, float s) { return {a.r * s, a.g * s, a.b * s}; }

// Octaves of gradient noise at q, q x 2, q x 4 ..., each weighted by its
// scale, normalised by the weights and times the amount. No octaves: 0.
float Fractal(const ZEVEC& q, int octaves, float amount) {
  float sum = 0.0f, weights = 0.0f, scale = 1.0f;
  for (int i = 0; i < octaves; i++) {
    const ZEVEC p = {q.x * scale, q.y * scale, q.z * scale};
    sum += FNoise(1, &p) / scale;
    weights += 1.0f / scale;
    scale *= 2.0f;
  }
  return weights > 0.0f ? sum / weights * amount : 0.0f;
}

ZECOLOUR3 NoisyBase(const ZEPRELIGHTSURFACE* s, const ZEVEC& p) {
  if (!(s->flags & ZEPRELIGHTSURF_NOISE)) return s->base;
  const float f = s->cnoise_freq;
  const ZEVEC q = {(p.x + 117.0f) * f, (p.y + 117.0f) * f, (117.0f - p.z) * f};
  const float n = Fractal(q, s->cnoise_octaves, s->cnoise_amount);
  if (n < 0.0f) return Add(Scale(s->base, 1.0f + n), Scale(s->low, -n));
  return Add(Scale(s->base, 1.0f - n), Scale(s->high, n));
}

const ZEPRELIGHTSURFACE* Surface(const ZEPRELIGHTDATA* scene, const ZEPRELIGHTVERTEX& v) {
  if (v.surface < 0 || v.surface >= scene->nsurfaces) ZeError("Prelight overflow.");
  return &scene->surfaces[v.surface];
}

const ZEPRELIGHTLIGHT* SetLights(const ZEPRELIGHTDATA* scene, int set, int* count) {
  if (set < 0 || set >= scene->nsets || set >= ZEPRELIGHT_MAX_SETS) ZeError("Prelight set %d out of range.", set);
  *count = scene->nlights[set];
  return scene->lights[set];
}

// Every light that is not a point light, and the point lights within
// range of the instance's bounding sphere; at most the list's room.
int ChooseLights(int count, const ZEPRELIGHTLIGHT* lights, const ZEVEC4& sphere) {
  if (!light_list)
    light_list = static_cast<const ZEPRELIGHTLIGHT**>(ZeMemAllocTagged(ZEPRELIGHT_MAX_LIGHTS * sizeof(void*)));
  int n = 0;
  const ZEVEC centre = {sphere.x, sphere.y, sphere.z};
  for (int i = 0; i < count; i++) {
    const ZEPRELIGHTLIGHT* l = &lights[i];
    if (l->type == ZEPRELIGHT_POINT && ZeVecDist(&l->position, &centre, nullptr) - sphere.w >= ZEPRELIGHT_RANGE)
      continue;
    if (n == ZEPRELIGHT_MAX_LIGHTS) {
      ZeDebugMsg("Prelight: more than %d lights reach an instance; the rest are left out.", ZEPRELIGHT_MAX_LIGHTS);
      break;
    }
    light_list[n++] = l;
  }
  return n;
}

void Relight(ZEPRELIGHTSCENE* state, ZECOLOUR3* buffer, int light) {
  const ZEPRELIGHTDATA* scene = state->scene;
  int count;
  const ZEPRELIGHTLIGHT* lights = SetLights(scene, state->set, &count);
  if (light < 0 || light >= count) ZeError("Prelight light %d out of range.", light);
  ZePrelightSceneToBuffer(scene, 1, &lights[light], scene->nverts, buffer, state->stride, state->set);
}

int Clamp255(float v) { return v < 0.0f ? 0 : v > 255.0f ? 255 : EeFtoi(v); }

}  // namespace

void prelight(ZECOLOUR3* out, const ZEPRELIGHTLIGHT* light, const ZEVEC* position, const ZEVEC* normal,
              const ZEMTX* matrix, const ZEPRELIGHTSURFACE* surface) {
  ZEVEC p;
  ZeVecMtxTransform(&p, position, matrix);
  const ZECOLOUR3 lc = Scale(light->colour, light->intensity);
  if (light->type == ZEPRELIGHT_AMBIENT) {
    *out = Mul(surface->ambient, lc);
    return;
  }
  if (light->type != ZEPRELIGHT_DIRECTIONAL && light->type != ZEPRELIGHT_POINT) {
    *out = {0.0f, 0.0f, 0.0f};
    return;
  }
  ZEVEC n;
  ZeVecMtxRotate(&n, normal, matrix);
  ZeVecNorm(&n, &n);
  float g;
  ZECOLOUR3 l = lc;
  if (light->type == ZEPRELIGHT_DIRECTIONAL) {
    g = ZeVecDot(&n, &light->direction);
  } else {
    ZEVEC v;
    ZeVecSub(&v, &light->position, &p);
    const float d = ZeVecMag(&v);
    // A light exactly at the vertex has no direction: it lights nothing
    // rather than making the colour NaN.
    g = 0.0f;
    if (d > 0.0f) {
      ZeVecScale(&v, &v, 1.0f / d);
      g = ZeVecDot(&n, &v);
    }
    // Closer than one unit lights as at one unit.
    const float D = d > 1.0f ? d : 1.0f;
    float f = 1.0f;
    if (light->falloff == 1) f = 1.0f / D;
    if (light->falloff == 2) f = 1.0f / (D * D);
    if (light->falloff == 3) f = 1.0f / (D * D * D);
    l = Scale(lc, f);
  }
  if (g < 0.0f) g = 0.0f;
  // The products in order: base x diffuse x L x g per channel.
  const ZECOLOUR3 b = NoisyBase(surface, p);
  *out = {b.r * surface->diffuse * l.r * g, b.g * surface->diffuse * l.g * g, b.b * surface->diffuse * l.b * g};
  if (surface->flags & ZEPRELIGHTSURF_SPECULAR) {
    const float s = float(std::pow(double(g), double(surface->specular_power * 10.0f)));
    *out = Add(*out, Scale(Mul(surface->specular, l), s));
  }
}

int lightVertex(int count, const ZEPRELIGHTLIGHT* const* lights, const ZEPRELIGHTVERTEX* vertex,
                const ZEMTX* matrix, const ZEPRELIGHTSURFACE* surface, ZECOLOUR3* out) {
  ZECOLOUR3 s = {0.0f, 0.0f, 0.0f};
  for (int i = 0; i < count; i++) {
    ZECOLOUR3 c;
    prelight(&c, lights[i], &vertex->position, &vertex->normal, matrix, surface);
    s = Add(s, c);
  }
  s = Add(s, surface->ambient_add);
  if (surface->flags & ZEPRELIGHTSURF_NOISE) {
    ZEVEC p;
    ZeVecMtxTransform(&p, &vertex->position, matrix);
    const float f = surface->bnoise_freq;
    const ZEVEC q = {(p.x + 17.0f) * f, (p.y + 13.0f) * f, (717.0f - p.z) * f};
    s = Scale(s, 1.0f + Fractal(q, surface->bnoise_octaves, surface->bnoise_amount));
  }
  // The authored colour byte: 0.5 keeps the channel, 0 darkens it to black,
  // 1 brightens it to 1.
  float* ch[3] = {&s.r, &s.g, &s.b};
  for (int i = 0; i < 3; i++) {
    const float t = float((vertex->colour >> (8 * i)) & 0xff) * 0.0039215686f;
    if (t < 0.5f) {
      *ch[i] = *ch[i] * (2.0f * t);
    } else {
      const float u = (t - 0.5f) * 2.0f;
      *ch[i] = *ch[i] * (1.0f - u) + u;
    }
    *ch[i] *= 255.0f;
  }
  *out = s;
  return int(vertex->colour & 0xff);
}

ZECOLOUR32 ZeColour3To32(const ZECOLOUR3* colour, int alpha, int shift) {
  const uint32_t r = uint32_t(Clamp255(colour->r)) >> shift, g = uint32_t(Clamp255(colour->g)) >> shift,
                 b = uint32_t(Clamp255(colour->b)) >> shift;
  uint32_t word = uint32_t(alpha) << 24 | b << 16 | g << 8 | r;
  GammaCorrect(reinterpret_cast<uint8_t*>(&word));
  return word;
}

void ZePrelightSceneToBuffer(const ZEPRELIGHTDATA* scene, int count, const ZEPRELIGHTLIGHT* lights, int capacity,
                             ZECOLOUR3* buffer, int stride, int set) {
  for (int i = 0; i < scene->ninst; i++) {
    const ZEGSCNINST& inst = scene->insts[i];
    const int obj = inst.object;
    if (obj < 0 || obj >= scene->nobjects) ZeError("Prelight overflow.");
    if (!scene->blocks[obj]) continue;  // no prelit colours
    const int n = ChooseLights(count, lights, scene->spheres[i]);
    for (int v = scene->starts[obj]; v < scene->starts[obj + 1]; v++) {
      // A damaged vertex range must not light outside the buffer.
      if (v < 0 || v >= capacity || v >= scene->nverts) ZeError("Prelight overflow.");
      const ZEPRELIGHTVERTEX& vx = scene->verts[v];
      lightVertex(n, light_list, &vx, &inst.mtx, Surface(scene, vx), &buffer[v]);
    }
  }
}

void ZePrelightSceneDoLighting(const ZEPRELIGHTSCENE* state, int withedit) {
  const ZEPRELIGHTDATA* scene = state->scene;
  const ZECOLOUR3* total = state->total;
  const ZECOLOUR3* edit = state->edit;
  const int stride = state->stride;
  if (stride < 1) ZeError("Prelight overflow.");
  for (int i = 0; i < scene->ninst; i++) {
    const int obj = scene->insts[i].object;
    if (obj < 0 || obj >= scene->nobjects) ZeError("Prelight overflow.");
    const ZEPRELIGHTCOLOURBLOCK* block = scene->blocks[obj];
    while (block && block->colours && block->count > 0) {
      const int32_t* entry = reinterpret_cast<const int32_t*>(block + 1);
      ZECOLOUR32* out = block->colours;
      for (int k = 0; k < block->count; k++, entry += stride) {
        // Indices read from the scene: checked against the buffers.
        const int v = entry[stride - 1];
        if (v < 0 || v >= scene->nverts) ZeError("Prelight overflow.");
        ZECOLOUR3 c = total[v];
        if (withedit) c = Add(c, edit[v]);
        const ZEPRELIGHTVERTEX& vx = scene->verts[v];
        const int shift = (Surface(scene, vx)->flags & ZEPRELIGHTSURF_HALVE) ? 1 : 0;
        const uint32_t r = uint32_t(Clamp255(c.r)) >> shift, g = uint32_t(Clamp255(c.g)) >> shift,
                       b = uint32_t(Clamp255(c.b)) >> shift;
        uint32_t word = (vx.colour >> 24) / 2 << 24 | b << 16 | g << 8 | r;
        GammaCorrect(reinterpret_cast<uint8_t*>(&word));
        out[k] = word;
      }
      block = reinterpret_cast<const ZEPRELIGHTCOLOURBLOCK*>(entry);
    }
  }
}

void ZePrelightSceneBegin(ZEPRELIGHTSCENE* state, ZEPRELIGHTDATA* scene, int stride, int set) {
  state->scene = scene;
  state->stride = stride;
  state->set = set;
  state->light = -1;
  state->gamma = scene->gamma;
  state->brightness = scene->brightness;
  state->ambient = scene->ambient;
  GenerateGammaTable(1.0f / state->gamma, state->brightness);
  const int bytes = scene->nverts * int(sizeof(ZECOLOUR3));
  state->total = static_cast<ZECOLOUR3*>(ZeMemAllocTagged(bytes));
  state->edit = static_cast<ZECOLOUR3*>(ZeMemAllocTagged(bytes));
  for (int i = 0; i < scene->nverts; i++) state->total[i] = state->edit[i] = {0.0f, 0.0f, 0.0f};
  FNoiseInit(1, 17);
  int count;
  const ZEPRELIGHTLIGHT* lights = SetLights(scene, set, &count);
  ZePrelightSceneToBuffer(scene, count, lights, scene->nverts, state->total, stride, set);
}

void ZePrelightSceneEnd(ZEPRELIGHTSCENE* state) {
  ZeMemFreeTagged(state->total.get());
  ZeMemFreeTagged(state->edit.get());
  state->total = nullptr;
  state->edit = nullptr;
}

int ZePrelightSceneNumLights(const ZEPRELIGHTDATA* scene, int set) {
  int count;
  SetLights(scene, set, &count);
  return count;
}

ZEPRELIGHTLIGHT* ZePrelightSceneGetLight(const ZEPRELIGHTDATA* scene, int light, int set) {
  int count;
  SetLights(scene, set, &count);
  return scene->lights[set] + light;
}

ZEPRELIGHTLIGHT* ZePrelightSceneBeginEditLight(ZEPRELIGHTSCENE* state, int light) {
  state->light = light;
  Relight(state, state->edit, light);
  const int n = state->scene->nverts;
  for (int i = 0; i < n; i++) {
    const ZECOLOUR3 e = state->edit[i];
    state->total[i] = {state->total[i].r - e.r, state->total[i].g - e.g, state->total[i].b - e.b};
  }
  return ZePrelightSceneGetLight(state->scene, light, state->set);
}

int ZePrelightSceneUpdateLight(ZEPRELIGHTSCENE* state) {
  if (state->light < 0) return -1;
  Relight(state, state->edit, state->light);
  ZePrelightSceneDoLighting(state, 1);
  return 0;
}

int ZePrelightSceneEndEditLight(ZEPRELIGHTSCENE* state) {
  if (state->light < 0) return -1;
  Relight(state, state->edit, state->light);
  const int n = state->scene->nverts;
  for (int i = 0; i < n; i++) state->total[i] = Add(state->total[i], state->edit[i]);
  return 0;
}

void ZePrelightSceneUpdate(ZEPRELIGHTSCENE* state) { ZePrelightSceneDoLighting(state, 0); }

void ZePrelightSceneSetGammaBrightAmbient(ZEPRELIGHTSCENE* state, float gamma, float brightness, float ambient) {
  if (gamma != state->gamma || brightness != state->brightness) {
    GenerateGammaTable(1.0f / gamma, brightness);
    state->gamma = gamma;
    state->brightness = brightness;
  }
  state->ambient = ambient;
  ambient_correction = EeFtoi(ambient * 255.0f);
}

void ZePrelightSceneGetGammaBrightAmbient(const ZEPRELIGHTSCENE* state, float* gamma, float* brightness,
                                          float* ambient) {
  *gamma = state->gamma;
  *brightness = state->brightness;
  *ambient = state->ambient;
}

void ZePrelightSceneSave(const ZEPRELIGHTSCENE* state, ZEFILE file) {
  const ZEPRELIGHTDATA* scene = state->scene;
  const uint32_t zeros[3] = {0, 0, 0};
  ZeFileBeginBlkWrite(file, ZeBlkId('L', 'I', 'F', 'E'), 0);
  ZeFileWriteUnsignedInt(file, unsigned(scene->nsets));
  ZeFileWrite(file, zeros, sizeof zeros);
  for (int s = 0; s < scene->nsets; s++) {
    int count;
    const ZEPRELIGHTLIGHT* lights = SetLights(scene, s, &count);
    ZeFileWriteUnsignedInt(file, unsigned(count));
    ZeFileWrite(file, zeros, sizeof zeros);
    if (count > 0) ZeFileWrite(file, lights, count * int(sizeof(ZEPRELIGHTLIGHT)));
  }
  ZeFileWriteFloat(file, state->gamma);
  ZeFileWriteFloat(file, state->brightness);
  ZeFileWriteFloat(file, state->ambient);
  ZeFileEndBlkWrite(file);
}
