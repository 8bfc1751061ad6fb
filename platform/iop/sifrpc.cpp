// SIF: remote procedure calls to in-process servers and DMA into the I/O
// processor's memory. Both complete inside the call.
#include "platform.h"
#include "sndmodule.h"

#include <cstring>

namespace {

constexpr int MAX_SERVERS = 16;

struct Server {
  uint32_t id;
  SifRpcFunc func;
};
Server g_servers[MAX_SERVERS];
int g_serverCount = 0;

alignas(64) uint8_t g_iopMemory[IOP_MEMORY_SIZE];
unsigned g_dmaId = 0;

Server* FindServer(uint32_t id) {
  for (int i = 0; i < g_serverCount; i++)
    if (g_servers[i].id == id) return &g_servers[i];
  return nullptr;
}

}  // namespace

void SifRegisterServer(uint32_t id, SifRpcFunc func) {
  if (Server* s = FindServer(id)) {
    s->func = func;
    return;
  }
  if (g_serverCount == MAX_SERVERS) PlatFatal("sif: more than %d RPC servers", MAX_SERVERS);
  g_servers[g_serverCount++] = {id, func};
}

void SifRemoveServer(uint32_t id) {
  for (int i = 0; i < g_serverCount; i++)
    if (g_servers[i].id == id) {
      g_servers[i] = g_servers[--g_serverCount];
      return;
    }
}

// EE-visible memory: the arena, the scratchpad and the program's static
// data, which the non-PIE link places below the arena.
extern "C" char __executable_start[];
bool IopEeVisible(uint32_t addr, int size) {
  if (size < 0) return false;
  uint64_t a = EeStripAlias(addr), e = a + uint64_t(size);
  uint64_t image = reinterpret_cast<uintptr_t>(__executable_start);
  return (a >= EE_ARENA_BASE && e <= uint64_t(EE_ARENA_BASE) + EE_ARENA_SIZE) ||
         (a >= EE_SCRATCHPAD && e <= uint64_t(EE_SCRATCHPAD) + EE_SCRATCHPAD_SIZE) ||
         (a >= image && e <= EE_ARENA_BASE);
}

int sceSifBindRpc(sceSifClientData* cd, uint32_t id, int) {
  if (!cd) return -1;
  memset(cd, 0, sizeof *cd);
  cd->server = id;
  // The server record stands for the console's serve pointer.
  cd->serve = FindServer(id);
  return 0;
}

int sceSifCallRpc(sceSifClientData* cd, int fno, int, void* send, int ssize, void* recv, int rsize,
                  void (*end)(void*), void* param) {
  if (!cd || !cd->serve) return -1;
  Server* s = FindServer(cd->server);
  if (!s || s != cd->serve) return -1;
  if (ssize < 0 || rsize < 0 || (ssize && !send) || (rsize && !recv))
    PlatFatal("sif: call of server 0x%x with an unusable buffer", cd->server);
  cd->command = uint32_t(fno);
  cd->buff = recv;
  cd->end_function = end;
  cd->end_param = param;
  int replySize = 0;
  const void* reply = s->func(fno, send, ssize, &replySize);
  if (reply && rsize > 0) {
    int n = replySize < rsize ? replySize : rsize;
    memcpy(recv, reply, size_t(n));
  }
  if (end) end(param);
  return 0;
}

int sceSifCheckStatRpc(sceSifClientData*) { return 0; }

uint8_t* SifIopMemory() { return g_iopMemory; }

unsigned sceSifSetDma(sceSifDmaData* sdd, int len) {
  if (!sdd || len <= 0) return 0;
  for (int i = 0; i < len; i++) {
    const sceSifDmaData& d = sdd[i];
    if (d.size < 0 || uint64_t(d.addr) + uint64_t(d.size) > IOP_MEMORY_SIZE) return 0;
    if (d.size && !IopEeVisible(d.data, d.size)) return 0;
  }
  for (int i = 0; i < len; i++) {
    const sceSifDmaData& d = sdd[i];
    memcpy(g_iopMemory + d.addr, EeAddrToPtr(EeStripAlias(d.data)), size_t(d.size));
  }
  if (++g_dmaId == 0) g_dmaId = 1;
  return g_dmaId;
}

int sceSifDmaStat(unsigned) { return -1; }
