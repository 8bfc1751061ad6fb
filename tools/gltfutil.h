// glTF helpers shared by the scene and model tools: node matrices, the
// engine's z-mirrored row-vector form of a glTF matrix, and accessors read
// with their bounds checked.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>

#include <tiny_gltf.h>

#include "ze3d.h"

namespace gltfutil {

using Mat = std::array<double, 16>;  // column-major, as glTF stores it

inline Mat Identity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

inline Mat Mul(const Mat& a, const Mat& b) {
  Mat r{};
  for (int c = 0; c < 4; c++)
    for (int row = 0; row < 4; row++) {
      double s = 0;
      for (int k = 0; k < 4; k++) s += a[size_t(k * 4 + row)] * b[size_t(c * 4 + k)];
      r[size_t(c * 4 + row)] = s;
    }
  return r;
}

// The inverse by Gauss-Jordan elimination (identity for a singular matrix).
inline Mat Inverse(const Mat& m) {
  double a[4][8];
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 8; c++) a[r][c] = c < 4 ? m[size_t(c * 4 + r)] : (c - 4 == r ? 1 : 0);
  for (int c = 0; c < 4; c++) {
    int best = c;
    for (int r = c + 1; r < 4; r++)
      if (std::fabs(a[r][c]) > std::fabs(a[best][c])) best = r;
    if (std::fabs(a[best][c]) < 1e-12) return Identity();
    for (int k = 0; k < 8; k++) std::swap(a[c][k], a[best][k]);
    const double d = a[c][c];
    for (int k = 0; k < 8; k++) a[c][k] /= d;
    for (int r = 0; r < 4; r++)
      if (r != c) {
        const double f = a[r][c];
        for (int k = 0; k < 8; k++) a[r][k] -= f * a[c][k];
      }
  }
  Mat out;
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) out[size_t(c * 4 + r)] = a[r][c + 4];
  return out;
}

inline Mat NodeMatrix(const tinygltf::Node& n) {
  if (n.matrix.size() == 16) {
    Mat m;
    for (size_t i = 0; i < 16; i++) m[i] = n.matrix[i];
    return m;
  }
  Mat t = Identity(), r = Identity(), s = Identity();
  if (n.translation.size() == 3) t[12] = n.translation[0], t[13] = n.translation[1], t[14] = n.translation[2];
  if (n.rotation.size() == 4) {
    const double x = n.rotation[0], y = n.rotation[1], z = n.rotation[2], w = n.rotation[3];
    r = {1 - 2 * (y * y + z * z), 2 * (x * y + z * w),     2 * (x * z - y * w),     0,
         2 * (x * y - z * w),     1 - 2 * (x * x + z * z), 2 * (y * z + x * w),     0,
         2 * (x * z + y * w),     2 * (y * z - x * w),     1 - 2 * (x * x + y * y), 0,
         0,                       0,                       0,                       1};
  }
  if (n.scale.size() == 3) s[0] = n.scale[0], s[5] = n.scale[1], s[10] = n.scale[2];
  return Mul(t, Mul(r, s));
}

// Column-major glTF M as an engine matrix: rows are M's columns, z mirrored
// (S M S with S = diag(1, 1, -1)).
inline ZEMTX EngineMatrix(const Mat& m) {
  ZEMTX out;
  for (int row = 0; row < 4; row++)
    for (int c = 0; c < 4; c++) {
      const double sign = ((row == 2) != (c == 2)) ? -1.0 : 1.0;
      out.m[row][c] = float(m[size_t(row * 4 + c)] * sign);
    }
  return out;
}

// Element i of an accessor as floats (n components) or an index.
struct View {
  const uint8_t* data = nullptr;
  size_t stride = 0, count = 0;
  int type = 0, comps = 0;
  bool normalized = false;
};

inline bool Access(const tinygltf::Model& m, int index, View* v) {
  if (index < 0 || size_t(index) >= m.accessors.size()) return false;
  const tinygltf::Accessor& a = m.accessors[size_t(index)];
  if (a.bufferView < 0 || size_t(a.bufferView) >= m.bufferViews.size()) return false;
  const tinygltf::BufferView& bv = m.bufferViews[size_t(a.bufferView)];
  if (bv.buffer < 0 || size_t(bv.buffer) >= m.buffers.size()) return false;
  const tinygltf::Buffer& b = m.buffers[size_t(bv.buffer)];
  v->comps = tinygltf::GetNumComponentsInType(uint32_t(a.type));
  const int csize = tinygltf::GetComponentSizeInBytes(uint32_t(a.componentType));
  if (v->comps <= 0 || csize <= 0) return false;
  v->stride = size_t(a.ByteStride(bv));
  v->count = a.count;
  v->type = a.componentType;
  v->normalized = a.normalized;
  const size_t start = bv.byteOffset + a.byteOffset;
  if (a.count && (start + v->stride * (a.count - 1) + size_t(v->comps * csize) > b.data.size())) return false;
  v->data = b.data.data() + start;
  return true;
}

inline double Component(const View& v, size_t i, int c) {
  const uint8_t* p = v.data + v.stride * i;
  switch (v.type) {
    case TINYGLTF_COMPONENT_TYPE_FLOAT: {
      float f;
      memcpy(&f, p + 4 * c, 4);
      return f;
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: return v.normalized ? p[c] / 255.0 : p[c];
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
      uint16_t s;
      memcpy(&s, p + 2 * c, 2);
      return v.normalized ? s / 65535.0 : s;
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT: {
      uint32_t s;
      memcpy(&s, p + 4 * c, 4);
      return s;
    }
    default: return 0;
  }
}

inline uint32_t Rgba(double r, double g, double b, double a) {
  auto ch = [](double x) { return uint32_t(std::lround(std::clamp(x, 0.0, 1.0) * 255.0)); };
  return ch(r) | ch(g) << 8 | ch(b) << 16 | ch(a) << 24;
}

// Images are kept as their file's bytes (as_is), decoded by the texture
// tool's converter where a texture is made of them. An image in a buffer
// view is left where it is: tinygltf hands its bytes over without checking
// the view against the buffer (ImageBytes does).
inline bool KeepImageBytes(tinygltf::Image* image, const int, std::string*, std::string*, int, int,
                           const unsigned char* bytes, int size, void*) {
  if (image->bufferView < 0) image->image.assign(bytes, bytes + size);
  image->as_is = true;
  return true;
}

// An image's bytes: its own, or its buffer view's inside the buffer; false
// when the view lies outside.
inline bool ImageBytes(const tinygltf::Model& m, const tinygltf::Image& im, const uint8_t** bytes, size_t* size) {
  if (im.bufferView < 0) return *bytes = im.image.data(), *size = im.image.size(), true;
  if (size_t(im.bufferView) >= m.bufferViews.size()) return false;
  const tinygltf::BufferView& bv = m.bufferViews[size_t(im.bufferView)];
  if (bv.buffer < 0 || size_t(bv.buffer) >= m.buffers.size()) return false;
  const std::vector<unsigned char>& b = m.buffers[size_t(bv.buffer)].data;
  if (bv.byteOffset > b.size() || bv.byteLength > b.size() - bv.byteOffset) return false;
  *bytes = b.data() + bv.byteOffset;
  *size = bv.byteLength;
  return true;
}

// A .gltf or .glb file; false with the reason.
inline bool Load(const std::string& path, tinygltf::Model* m, std::string* error) {
  tinygltf::TinyGLTF loader;
  loader.SetImageLoader(KeepImageBytes, nullptr);
  std::string err, warn;
  const bool binary = path.size() > 4 && path.compare(path.size() - 4, 4, ".glb") == 0;
  if (binary ? loader.LoadBinaryFromFile(m, &err, &warn, path) : loader.LoadASCIIFromFile(m, &err, &warn, path))
    return true;
  while (!err.empty() && err.back() == '\n') err.pop_back();
  *error = err.empty() ? "not a glTF file" : err;
  return false;
}

// Bytes as base64, for a buffer written inline as a data URI.
inline std::string Base64(const std::string& b) {
  static const char* k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < b.size(); i += 3) {
    const uint32_t v = uint32_t(uint8_t(b[i])) << 16 | uint32_t(i + 1 < b.size() ? uint8_t(b[i + 1]) : 0) << 8 |
                       uint32_t(i + 2 < b.size() ? uint8_t(b[i + 2]) : 0);
    out += k[v >> 18 & 63];
    out += k[v >> 12 & 63];
    out += i + 1 < b.size() ? k[v >> 6 & 63] : '=';
    out += i + 2 < b.size() ? k[v & 63] : '=';
  }
  return out;
}

}  // namespace gltfutil
