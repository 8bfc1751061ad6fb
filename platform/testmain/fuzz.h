// Fuzz targets: libFuzzer drives one input at a time on the engine's main
// thread. A fatal error ends the input (the halt hook unwinds back to the
// driver) and is not counted as a crash; a read or write outside a buffer,
// undefined behaviour or a hang is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Defined by each target: runs one input (a copy in EE memory, the bytes
// just past its end poisoned) ...
void FuzzOne(const uint8_t* data, size_t size);
// ... and clears what an input abandoned by a fatal error left behind.
void FuzzReset();
// Optional: writes seed inputs made by the engine's own writers into dir
// (the target run as `TARGET -seeds=DIR`; see scripts/fuzz.sh).
void FuzzSeeds(const char* dir);

// ---- helpers for targets ---------------------------------------------------

// Inputs of several files: the parts between separators (at most max; the
// last part takes the rest). Seeds join files with the same separator.
constexpr char FUZZ_SEPARATOR[] = "\n@@@@\n";
struct FuzzPart {
  const uint8_t* data;
  size_t size;
};
std::vector<FuzzPart> FuzzSplit(const uint8_t* data, size_t size, size_t max);

// A copy in EE memory aligned to `align` bytes (16 or more), with `room`
// writable zero bytes after it and everything past those poisoned, so that
// a read beyond the buffer is reported. Freed after the input.
uint8_t* FuzzEeCopy(const void* data, size_t size, size_t room = 0, size_t align = 16);

// Blocks of EE memory allocated from this call until the input ends and
// not freed then (what a fatal error abandoned) are freed after FuzzReset.
// Call it after a target's own long-lived allocations.
void FuzzFreeAbandoned();

// A host directory for the input's files, made once; "host0:" and
// "cdrom0:" name it and the memory-card root is inside it.
const std::string& FuzzDir();
// Makes a "host0:" file of the input's (name relative, '/' separated): a
// memory file (PlatHostMemFile), so no input touches the host's disk;
// while fuzzing, files the engine creates under "host0:" are memory files
// too. Readers that go around the file I/O client (the memory card, the
// virtual disc, the sound module) take FuzzWriteHostFile's files.
void FuzzWriteFile(const std::string& name, const void* data, size_t size);
// Writes a file under FuzzDir() on the host.
void FuzzWriteHostFile(const std::string& name, const void* data, size_t size);

// For FuzzSeeds: writes one seed file made of parts joined by separators.
void FuzzWriteSeed(const char* dir, const char* name, const std::vector<std::vector<uint8_t>>& parts);
