// The relocatable-module loader. A module is a shared object (ELF, x86-64,
// position independent) whose bytes the program has read into EE memory.
// Binding hands the bytes to an anonymous file and opens that with the
// dynamic loader; the module's needs are checked against the program's
// export table first (anything the program defines must be listed there;
// the C and C++ run-times are the host's), then each symbol the module
// exports is written into every slot registered under its name. Unbinding
// zeroes those slots and closes the object, so a later load starts afresh.
#include "platform.h"

#include <dlfcn.h>
#include <elf.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Module {
  bool used;
  void* image;
  void* handle;
  std::vector<void**> slots;  // the slots this module filled
  std::vector<void*> values;  // what it wrote into each
};

Module g_module[SN_DLL_MAX];
bool g_started = false;
const SnExport* g_exports = nullptr;
int g_exportCount = 0;
const SnSlot* g_slots = nullptr;
int g_slotCount = 0;
bool g_checkOnly = false;

struct Symbols {
  std::vector<std::string> needed;    // undefined, strong
  std::vector<std::string> exported;  // defined, global, default visibility
};

// Reads the dynamic symbol table of the image, refusing anything that is not
// a well-formed x86-64 shared object.
int ReadSymbols(const uint8_t* b, size_t size, Symbols* out) {
  if (size < sizeof(Elf64_Ehdr) || memcmp(b, ELFMAG, SELFMAG) != 0) return SN_DLL_NOT_DLL;
  Elf64_Ehdr eh;
  memcpy(&eh, b, sizeof eh);
  if (eh.e_ident[EI_CLASS] != ELFCLASS64 || eh.e_ident[EI_DATA] != ELFDATA2LSB || eh.e_machine != EM_X86_64 ||
      eh.e_type != ET_DYN)
    return SN_DLL_BAD_VERSION;
  // No sections: no dynamic symbols, not a module.
  if (eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shnum == 0 || eh.e_shoff > size ||
      (size - eh.e_shoff) / sizeof(Elf64_Shdr) < eh.e_shnum)
    return SN_DLL_INVALID;
  std::vector<Elf64_Shdr> sh(eh.e_shnum);
  memcpy(sh.data(), b + eh.e_shoff, eh.e_shnum * sizeof(Elf64_Shdr));
  for (const Elf64_Shdr& s : sh) {
    if (s.sh_type != SHT_DYNSYM) continue;
    if (s.sh_link >= eh.e_shnum || s.sh_offset > size || s.sh_size > size - s.sh_offset) return SN_DLL_INVALID;
    const Elf64_Shdr& str = sh[s.sh_link];
    if (str.sh_offset > size || str.sh_size > size - str.sh_offset || str.sh_size == 0) return SN_DLL_INVALID;
    const char* strings = reinterpret_cast<const char*>(b + str.sh_offset);
    if (strings[str.sh_size - 1] != 0) return SN_DLL_INVALID;
    size_t count = s.sh_size / sizeof(Elf64_Sym);
    for (size_t i = 1; i < count; i++) {
      Elf64_Sym sym;
      memcpy(&sym, b + s.sh_offset + i * sizeof(Elf64_Sym), sizeof sym);
      if (sym.st_name == 0 || sym.st_name >= str.sh_size) continue;
      const char* name = strings + sym.st_name;
      int bind = ELF64_ST_BIND(sym.st_info);
      if (sym.st_shndx == SHN_UNDEF) {
        if (bind == STB_GLOBAL) out->needed.push_back(name);
      } else if ((bind == STB_GLOBAL || bind == STB_WEAK) && ELF64_ST_VISIBILITY(sym.st_other) == STV_DEFAULT) {
        out->exported.push_back(name);
      }
    }
    return 0;
  }
  return SN_DLL_INVALID;  // no dynamic symbols: not a module
}

const void* ProgramBase() {
  Dl_info info;
  return dladdr(reinterpret_cast<const void*>(&snDllLoaded), &info) ? info.dli_fbase : nullptr;
}

// A need the program itself provides must be in its export table.
bool NeedAllowed(const std::string& name) {
  void* addr = dlsym(RTLD_DEFAULT, name.c_str());
  if (!addr) {
    scePrintf("module loader: the module needs \"%s\", which nothing provides\n", name.c_str());
    return false;
  }
  Dl_info info;
  if (!dladdr(addr, &info) || info.dli_fbase != ProgramBase()) return true;
  for (int i = 0; i < g_exportCount; i++)
    if (g_exports[i].address == addr) return true;
  scePrintf("module loader: the module needs \"%s\", which the program does not export\n", name.c_str());
  return false;
}

Module* Find(void* image) {
  for (Module& m : g_module)
    if (m.used && m.image == image) return &m;
  return nullptr;
}

}  // namespace

void snInitDllSystem(void*) {
  if (g_started) return;
  g_started = true;
  for (Module& m : g_module) m = Module{};
}

void SnSetExports(const SnExport* table, int count) {
  g_exports = table;
  g_exportCount = table ? count : 0;
}

void PlatDllCheckOnly(bool on) { g_checkOnly = on; }

void SnSetSlots(const SnSlot* table, int count) {
  g_slots = table;
  g_slotCount = table ? count : 0;
}

int snDllLoaded(void* image, void* record) {
  if (!g_started || !image || !record) return SN_DLL_INVALID;
  if (reinterpret_cast<uintptr_t>(image) & 127) return SN_DLL_BAD_ALIGN;
  SnDllHeader* header = static_cast<SnDllHeader*>(record);
  if (header->size <= 0) return SN_DLL_NOT_DLL;
  if (Find(image)) return SN_DLL_INVALID;
  Module* m = nullptr;
  for (Module& c : g_module)
    if (!m && !c.used) m = &c;
  if (!m) return SN_DLL_TOO_MANY;

  Symbols syms;
  const uint8_t* bytes = static_cast<const uint8_t*>(image);
  if (int r = ReadSymbols(bytes, size_t(header->size), &syms)) return r;
  for (const std::string& need : syms.needed)
    if (!NeedAllowed(need)) return SN_DLL_INVALID;
  if (g_checkOnly) return 0;

  int fd = memfd_create("ze2-module", MFD_CLOEXEC);
  if (fd < 0) return SN_DLL_INVALID;
  size_t done = 0;
  while (done < size_t(header->size)) {
    ssize_t n = write(fd, bytes + done, size_t(header->size) - done);
    if (n <= 0) break;
    done += size_t(n);
  }
  void* handle = nullptr;
  if (done == size_t(header->size)) {
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) scePrintf("module loader: %s\n", dlerror());
  }
  close(fd);  // the mapping keeps the file
  if (!handle) return SN_DLL_INVALID;

  *m = Module{true, image, handle, {}, {}};
  for (const std::string& name : syms.exported) {
    void* addr = dlsym(handle, name.c_str());
    if (!addr) continue;
    for (int i = 0; i < g_slotCount; i++) {
      if (strcmp(g_slots[i].name, name.c_str()) != 0) continue;
      *g_slots[i].slot = addr;
      m->slots.push_back(g_slots[i].slot);
      m->values.push_back(addr);
    }
  }
  header->loader = uint32_t(m - g_module) + 1;
  return 0;
}

int snDllUnload(void* image) {
  Module* m = Find(image);
  if (!m) return SN_DLL_NOT_LOADED;
  // A slot another module has filled since keeps that module's value.
  for (size_t i = 0; i < m->slots.size(); i++)
    if (*m->slots[i] == m->values[i]) *m->slots[i] = nullptr;
  int r = dlclose(m->handle) == 0 ? 0 : SN_DLL_INVALID;
  *m = Module{};
  return r;
}
