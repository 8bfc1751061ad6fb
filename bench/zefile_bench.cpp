// Packed files and archive members, in MB/s of output: the engine's
// unpacker and member loads side by side with a plain memcpy of the same
// bytes and with zlib inflating an equivalent gzip stream.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "zecore.h"
#include "zetools.h"

namespace {

constexpr size_t SIZE = 1 << 20;

// Game-like data: words and numbers of a text format, binary records and
// some noise.
std::vector<uint8_t> MakeData() {
  std::vector<uint8_t> v;
  static const char* const words[] = {"model ", "texture ", "0.25 ", "spline ", "-12 ", "trigger ", "\r\n", "level "};
  uint32_t s = 12345;
  while (v.size() < SIZE) {
    s = s * 1664525u + 1013904223u;
    int kind = int(s >> 28);
    if (kind < 9) {
      for (const char* w = words[(s >> 8) % 8]; *w; w++) v.push_back(uint8_t(*w));
    } else if (kind < 14) {
      for (int k = 0; k < 16; k++) v.push_back(uint8_t(k < 8 ? (s >> (k * 3)) & 7 : 0));  // small ints
    } else {
      for (int k = 0; k < 8; k++) v.push_back(uint8_t(s >> (k * 4)));
    }
  }
  v.resize(SIZE);
  return v;
}

std::vector<uint8_t> Gzip(const std::vector<uint8_t>& in) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(deflateBound(&z, in.size()) + 64);
  z.next_in = const_cast<uint8_t*>(in.data());
  z.avail_in = uInt(in.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

void Inflate(const uint8_t* in, size_t n, uint8_t* out, size_t outSize) {
  z_stream z{};
  inflateInit2(&z, 31);
  z.next_in = const_cast<uint8_t*>(in);
  z.avail_in = uInt(n);
  z.next_out = out;
  z.avail_out = uInt(outSize);
  if (inflate(&z, Z_FINISH) != Z_STREAM_END) abort();
  inflateEnd(&z);
}

struct Fixture {
  std::vector<uint8_t> data = MakeData();
  std::vector<uint8_t> packed = RncPack(data.data(), data.size());
  std::vector<uint8_t> gz = Gzip(data);
  uint8_t* eePacked;
  uint8_t* eeSource;
  uint8_t* out;  // room for in-place loads
  std::string dir;
  ZEDAT* packedArc;
  ZEDAT* plainArc;
  ZEDAT* discArc;

  Fixture() {
    errmsg_disabled = 1;
    eePacked = static_cast<uint8_t*>(EeMalloc(packed.size()));
    memcpy(eePacked, packed.data(), packed.size());
    eeSource = static_cast<uint8_t*>(EeMalloc(SIZE));
    memcpy(eeSource, data.data(), SIZE);
    out = static_cast<uint8_t*>(EeMalloc(SIZE + 4 * 2048));
    char tmpl[] = "/tmp/zefile_bench.XXXXXX";
    dir = mkdtemp(tmpl);
    std::filesystem::create_directories(dir + "/tree");
    std::filesystem::create_directories(dir + "/disc");
    WriteHostFile(dir + "/tree/member.bin", data.data(), data.size());
    WriteHostFile(dir + "/disc/member.gz", gz.data(), gz.size());
    std::string error;
    ArcBuildOptions pack;
    pack.pack = true;
    if (!ArcBuild(dir + "/tree", dir + "/PACKED.DAT", pack, &error) ||
        !ArcBuild(dir + "/tree", dir + "/PLAIN.DAT", ArcBuildOptions(), &error) ||
        !ArcBuild(dir + "/tree", dir + "/disc/WORLD.DAT", pack, &error))
      abort();
    PlatSetHostRoot(dir.c_str());
    PlatSetDiscRoot((dir + "/disc").c_str());
    packedArc = ZeDatOpen("packed.dat", nullptr, nullptr);
    plainArc = ZeDatOpen("plain.dat", nullptr, nullptr);
    ZeFileInitEx(ZEFILE_MEDIA_CD, 0, 0);
    discArc = ZeDatOpen("world.dat", nullptr, nullptr);
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    if (!packedArc || !plainArc || !discArc || !(discArc->files[0].flags & 1)) abort();
  }
};

Fixture& F() {
  static Fixture f;
  return f;
}

void Report(benchmark::State& state) {
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(SIZE));
  state.counters["ratio"] = double(F().packed.size()) / double(SIZE);
}

// ---- unpacking --------------------------------------------------------------

void BM_Unpack_Engine(benchmark::State& state) {
  Fixture& f = F();
  for (auto _ : state) {
    ZePPUnpack(f.eePacked, f.out);
    benchmark::DoNotOptimize(f.out[SIZE - 1]);
  }
  if (memcmp(f.out, f.data.data(), SIZE) != 0) state.SkipWithError("unpacked bytes differ");
  Report(state);
}
BENCHMARK(BM_Unpack_Engine);

void BM_Unpack_Memcpy(benchmark::State& state) {
  Fixture& f = F();
  for (auto _ : state) {
    memcpy(f.out, f.eeSource, SIZE);
    benchmark::DoNotOptimize(f.out[SIZE - 1]);
  }
  Report(state);
}
BENCHMARK(BM_Unpack_Memcpy);

void BM_Unpack_ZlibInflate(benchmark::State& state) {
  Fixture& f = F();
  for (auto _ : state) {
    Inflate(f.gz.data(), f.gz.size(), f.out, SIZE);
    benchmark::DoNotOptimize(f.out[SIZE - 1]);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(SIZE));
  state.counters["ratio"] = double(f.gz.size()) / double(SIZE);
}
BENCHMARK(BM_Unpack_ZlibInflate);

// ---- loading an archive member ---------------------------------------------------

void Load(benchmark::State& state, ZEDAT* dat, int medium) {
  Fixture& f = F();
  ZeFileInitEx(medium, 0, 0);
  for (auto _ : state) {
    if (ZeDatFileLoadBuffer(dat, "member.bin", f.out, int(SIZE) + 4 * 2048) != int(SIZE)) {
      state.SkipWithError("load failed");
      break;
    }
  }
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(SIZE));
}

void BM_Load_PackedMember(benchmark::State& state) { Load(state, F().packedArc, ZEFILE_MEDIA_HOST); }
BENCHMARK(BM_Load_PackedMember);
void BM_Load_PackedMemberBySectors(benchmark::State& state) { Load(state, F().discArc, ZEFILE_MEDIA_CD); }
BENCHMARK(BM_Load_PackedMemberBySectors);
void BM_Load_PlainMember(benchmark::State& state) { Load(state, F().plainArc, ZEFILE_MEDIA_HOST); }
BENCHMARK(BM_Load_PlainMember);

void BM_Load_Memcpy(benchmark::State& state) {
  BM_Unpack_Memcpy(state);
}
BENCHMARK(BM_Load_Memcpy);

// The gzip file read whole from the disc root through the file layer, then inflated.
void BM_Load_GzipFileInflate(benchmark::State& state) {
  Fixture& f = F();
  ZeFileInitEx(ZEFILE_MEDIA_CD, 0, 0);
  zefile_try_packed = 0;
  uint8_t* gz = f.out + SIZE / 2;  // scratch for the compressed file
  std::vector<uint8_t> out(SIZE);
  for (auto _ : state) {
    int n = ZeFileLoadBuffer("member.gz", gz, int(SIZE / 2));
    Inflate(gz, size_t(n), out.data(), SIZE);
    benchmark::DoNotOptimize(out[SIZE - 1]);
  }
  zefile_try_packed = 1;
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(SIZE));
}
BENCHMARK(BM_Load_GzipFileInflate);

}  // namespace
