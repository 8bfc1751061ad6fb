// Host-side writers for the formats the engine only reads: the packer for
// packed files and the builder of data archives. Readers are the engine's
// own (zecore), which the tools use to list, extract and check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---- packed files (RNC method 2) ------------------------------------------

struct RncPackInfo {
  int leeway;    // bytes the output may run ahead of the input when unpacked in place
  bool inPlace;  // unpacks in place with the loader's 256-byte margin
};

// Packs n bytes into a whole packed file (header and stream).
std::vector<uint8_t> RncPack(const uint8_t* data, size_t n, RncPackInfo* info = nullptr);

// CRC-16 (polynomial 0xA001, reflected) as the header's check values use it.
uint16_t RncCrc16(const uint8_t* data, size_t n);

// ---- data archives -----------------------------------------------------------

constexpr int ARC_FORMAT_VERSION = 1;  // the directory's first word

struct ArcBuildOptions {
  bool pack = false;  // store a member packed when that is smaller and unpacks in place
};

// Builds an archive of every file under dir (names as found, members on
// 2048-byte boundaries). False, with the reason, on failure.
bool ArcBuild(const std::string& dir, const std::string& archive, const ArcBuildOptions& options,
              std::string* error);

// Loads every member through the engine and compares it with the file
// under dir (engine main thread only).
bool ArcVerify(const std::string& archive, const std::string& dir, std::string* error);

// Host path helpers shared by the tools.
bool ReadHostFile(const std::string& path, std::vector<uint8_t>* bytes);
// False when the file cannot be written (its folder must exist); nothing is
// left then.
bool WriteHostFile(const std::string& path, const uint8_t* data, size_t n);
