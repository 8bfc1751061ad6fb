// Scenes and animation: the animation library (self-relative images in
// scene files, the stream form in intermediate files), instance posing,
// and texture animations (fixed in place or read onto the heap).
#include "zeanim_local.h"
#include "zegscn_local.h"

// ---- posing ------------------------------------------------------------------

const ZEANIMDATA* GscnAnim(const ZEGSCENE* scene, int index) {
  if (!scene->animlib || index < 0 || index >= scene->nanimlib) return nullptr;
  return scene->animlib[index];
}

float GscnAnimEnd(const ZEANIMDATA* anim) { return anim ? anim->end : 0.0f; }

// Node 0's curve set of the chunk that holds the frame.
void GscnPose(const ZEANIMDATA* anim, float frame, ZEMTX* out) {
  ZEANIMTIME t;
  ZeAnimDataCalcTime(anim, &t, frame);
  const ZEANIMCHUNK* c = t.chunk >= 0 && t.chunk < anim->nchunks ? anim->chunks[t.chunk].get() : nullptr;
  const ZEANIMCURVESET* set = c && c->nnodes > 0 ? c->sets[0].get() : nullptr;
  if (set) ZeAnimCurveSetApplyToMatrix(set, &t, out);
  else ZeMtxSetIdentity(out);
}

// ---- the library in a scene file ---------------------------------------------

namespace {

// A self-relative field made an address: it must name bytes of the block.
template <class T>
T* Rel(EePtr<T>* field, const GscnRd& rd, int64_t bytes, bool nullok) {
  if (!field->addr) {
    if (!nullok) GSCN_FATAL("GSC file damaged: ALIB has a null link");
    return nullptr;
  }
  const int64_t at = int64_t(reinterpret_cast<uint8_t*>(field) - rd.base) + int32_t(field->addr);
  if (at < 0 || bytes < 0 || at + bytes > rd.end - rd.base || (at & 3))
    GSCN_FATAL("GSC file damaged: ALIB link outside its block");
  *field = reinterpret_cast<T*>(rd.base + at);
  return field->get();
}

}  // namespace

void GscnFixAnimLib(GscnRd& rd, ZEGSCENE* scene) {
  const int n = rd.I32();
  rd.I32();
  EePtr<ZEANIMDATA>* slots = rd.Records<EePtr<ZEANIMDATA>>(n);
  if (!bitCountTableBuilt) buildBitCountTable();
  scene->animlib = slots;
  scene->nanimlib = n;
  for (int i = 0; i < n; i++) {
    ZEANIMDATA* a = Rel(&slots[i], rd, sizeof(ZEANIMDATA), true);
    if (!a) continue;
    a->names = nullptr;
    if (a->nchunks < 1 || a->nchunks > ZEANIM_MAXCOUNT || !((int64_t(EeFtoi(a->end - 0.01f)) - 1) / 32 < a->nchunks))
      GSCN_FATAL("GSC file damaged: animation %d has %d chunks for end frame %g", i, a->nchunks, double(a->end));
    EePtr<ZEANIMCHUNK>* chunks = Rel(&a->chunks, rd, 4 * int64_t(a->nchunks), false);
    for (int c = 0; c < a->nchunks; c++) {
      ZEANIMCHUNK* ch = Rel(&chunks[c], rd, sizeof(ZEANIMCHUNK), false);
      ch->keyblock = nullptr;
      ch->curveblock = nullptr;
      if (ch->nnodes < 0 || ch->nnodes > ZEANIM_MAXCOUNT) GSCN_FATAL("GSC file damaged: animation %d node count", i);
      EePtr<ZEANIMCURVESET>* sets = Rel(&ch->sets, rd, 4 * int64_t(ch->nnodes), ch->nnodes == 0);
      for (int k = 0; k < ch->nnodes; k++) {
        ZEANIMCURVESET* s = Rel(&sets[k], rd, sizeof(ZEANIMCURVESET), true);
        if (!s) continue;
        if (s->nslots < 0) GSCN_FATAL("GSC file damaged: animation %d slot count", i);
        Rel(&s->consts, rd, 4 * int64_t(s->nslots), s->nslots == 0);
        EePtr<ZEANIMCURVE>* curves = Rel(&s->curves, rd, 4 * int64_t(s->nslots), s->nslots == 0);
        for (int v = 0; v < s->nslots; v++) {
          ZEANIMCURVE* cv = Rel(&curves[v], rd, sizeof(ZEANIMCURVE), true);
          if (!cv) continue;
          // The mask's keys and the one after them must be in the block.
          if (!(cv->mask[0] & 1)) GSCN_FATAL("GSC file damaged: animation %d has a chunk without a first key", i);
          Rel(&cv->keys, rd, 16 * int64_t(ZeAnimMaskKeys(cv->mask) + 1), false);
        }
      }
    }
  }
}

// ---- the converter's library ------------------------------------------------

namespace {

void Filler(ZEFILE out) {
  static const uint8_t zeros[16] = {};
  const int pad = (16 - (ZeFilePos(out) & 15)) & 15;
  if (pad) ZeFileWrite(out, zeros, pad);
}

void WriteAnim(ZEFILE out, const ZEANIMDATA* a) {
  ZeFileSetAddress(out, a);
  ZeFileWriteFloat(out, a->end);
  ZeFileWriteInt(out, 0);
  ZeFileWriteInt(out, a->nchunks);
  ZeFileWriteAddress(out, a->chunks.get());
  Filler(out);
  ZeFileSetAddress(out, a->chunks.get());
  for (int c = 0; c < a->nchunks; c++) ZeFileWriteAddress(out, a->chunks[c].get());
  Filler(out);
  for (int c = 0; c < a->nchunks; c++) {
    const ZEANIMCHUNK* ch = a->chunks[c];
    ZeFileSetAddress(out, ch);
    ZeFileWriteInt(out, ch->nnodes);
    ZeFileWriteInt(out, ch->nlinked);
    ZeFileWriteAddress(out, ch->nnodes ? ch->sets.get() : nullptr);
    ZeFileWriteInt(out, 0);
    ZeFileWriteInt(out, 0);
    Filler(out);
    if (!ch->nnodes) continue;
    ZeFileSetAddress(out, ch->sets.get());
    for (int k = 0; k < ch->nnodes; k++) ZeFileWriteAddress(out, ch->sets[k].get());
    Filler(out);
    for (int k = 0; k < ch->nnodes; k++) {
      const ZEANIMCURVESET* s = ch->sets[k];
      if (!s) continue;
      ZeFileSetAddress(out, s);
      ZeFileWriteInt(out, s->flags);
      ZeFileWriteAddress(out, s->nslots ? s->consts.get() : nullptr);
      ZeFileWriteAddress(out, s->nslots ? s->curves.get() : nullptr);
      ZeFileWrite(out, &s->nslots, 4);
      Filler(out);
      if (!s->nslots) continue;
      ZeFileSetAddress(out, s->curves.get());
      for (int v = 0; v < s->nslots; v++) ZeFileWriteAddress(out, s->curves[v].get());
      Filler(out);
      for (int v = 0; v < s->nslots; v++) {
        const ZEANIMCURVE* cv = s->curves[v];
        if (!cv) continue;
        ZeFileSetAddress(out, cv);
        ZeFileWrite(out, cv->mask, 4);
        ZeFileWriteAddress(out, cv->keys.get());
        ZeFileWriteInt(out, cv->nkeys);
        ZeFileWriteInt(out, cv->flags);
        ZeFileSetAddress(out, cv->keys.get());
        ZeFileWrite(out, cv->keys.get(), cv->nkeys * 16);
        Filler(out);
      }
      ZeFileSetAddress(out, s->consts.get());
      ZeFileWrite(out, s->consts.get(), s->nslots * 4);
      Filler(out);
    }
  }
}

}  // namespace

void GscnConvertAnimLib(ZEFILE in, ZEFILE out) {
  uint8_t n = 0;
  if (ZeFileRead(in, &n, 1) != 1) GSCN_FATAL("Scene converter: input animation library cut short");
  ZEANIMDATA* anims[256] = {};
  for (int i = 0; i < n; i++) {
    uint8_t present = 0;
    if (ZeFileRead(in, &present, 1) != 1) GSCN_FATAL("Scene converter: input animation library cut short");
    if (present) anims[i] = ZeAnimDataRead(in);
  }
  ZeFileInitAddress(16384);
  ZeFileWriteInt(out, n);
  ZeFileWriteInt(out, 0);
  int present = 0;
  for (int i = 0; i < n; i++) {
    ZeFileWriteAddress(out, anims[i]);
    present += anims[i] != nullptr;
  }
  Filler(out);
  ZeFileWriteInt(out, present);
  Filler(out);
  for (int i = 0; i < n; i++)
    if (anims[i]) WriteAnim(out, anims[i]);
  ZeFilePatchAddress(out);
  ZeFileTidyAddress();
  for (int i = 0; i < n; i++)
    if (anims[i]) ZeAnimDataDestroy(anims[i]);
}

// ---- the library of an intermediate file -------------------------------------

void ZeSceneReadAnimLib(ZEFILE f, ZEGSCENE* scene) {
  uint8_t n = 0;
  if (ZeFileRead(f, &n, 1) != 1) GSCN_FATAL("Scene file damaged: animation library cut short");
  ZeSceneFreeAnimLib(scene);
  auto* slots = static_cast<EePtr<ZEANIMDATA>*>(ZeMemAllocTagged(n * 4 + 4));
  memset(slots, 0, size_t(n) * 4 + 4);
  scene->animlib = slots;
  scene->nanimlib = n;
  for (int i = 0; i < n; i++) {
    uint8_t present = 0;
    if (ZeFileRead(f, &present, 1) != 1) GSCN_FATAL("Scene file damaged: animation library cut short");
    if (present) slots[i] = ZeAnimDataRead(f);
  }
}

void ZeSceneFreeAnimLib(ZEGSCENE* scene) {
  if (!scene->animlib) return;
  for (int i = 0; i < scene->nanimlib; i++)
    if (scene->animlib[i]) ZeAnimDataDestroy(scene->animlib[i]);
  ZeMemFreeTagged(scene->animlib.get());
  scene->animlib = nullptr;
  scene->nanimlib = 0;
}

// ---- texture animations --------------------------------------------------------

namespace {

// Frame entries (texture-table indices) become texture ids once; then each
// record's links, names, material, program and environment are set and
// the records are chained in order and registered.
void BindTexAnims(ZEGSCENE* scene, ZETEXANIM* recs, int n, int16_t* frames, int c, const ZETEXID* ids,
                  bool inbuffer) {
  for (int i = 0; i < c; i++) {
    if (frames[i] < 0 || frames[i] >= scene->ntex)
      GSCN_FATAL("GSC file damaged: texture animation frame names texture %d of %d", frames[i], scene->ntex);
    frames[i] = int16_t(ids[frames[i]]);
  }
  for (int i = 0; i < n; i++) {
    ZETEXANIM& a = recs[i];
    const uint32_t first = a.texids.addr;
    if (a.ntex < 0 || first > uint32_t(c) || first + uint32_t(a.ntex) > uint32_t(c))
      GSCN_FATAL("GSC file damaged: texture animation %d's frames lie outside its list", i);
    a.next = a.prev = nullptr;
    a.texids = frames + first;
    a.flags &= ~1;
    a.name = GscnName(scene, a.name.addr, "texture animation", i);
    a.progname = GscnName(scene, a.progname.addr, "texture animation", i);
    const uint32_t m = a.mtl.addr;
    if (m >= uint32_t(scene->nmtl))
      GSCN_FATAL("GSC file damaged: texture animation %d names material %u of %d", i, m, scene->nmtl);
    a.mtl = scene->mtls[m];
    ZETEXANIMPROG* prog = ZeTexAnimProgFind(a.progname);
    char* at = inbuffer ? static_cast<char*>(ZeGScnBufferAllocAligned(sizeof(ZETEXANIMENV), 16)) : nullptr;
    a.env = ZeTexAnimEnvCreate(inbuffer ? &at : nullptr, a.mtl, a.texids, prog, a.ntex);
    if (!a.env) GSCN_FATAL("Allocation error");
  }
  for (int i = 0; i < n; i++) {
    recs[i].prev = i ? recs + i - 1 : nullptr;
    recs[i].next = i + 1 < n ? recs + i + 1 : nullptr;
  }
  scene->texanims = n ? recs : nullptr;
  scene->ntexanim = n;
  if (n) ZeTexAnimAddList(recs);
}

}  // namespace

void GscnFixTexAnims(GscnRd& rd, ZEGSCENE* scene) {
  ZeDebugMsg("Reading Animated texture set...");
  const int n = rd.I32();
  rd.I32();
  ZETEXANIM* recs = rd.Records<ZETEXANIM>(n);
  const int c = rd.I32();
  int16_t* frames = rd.Records<int16_t>(c);
  BindTexAnims(scene, recs, n, frames, c, scene->texids, true);
  scene->frames = frames;
  scene->nframes = c;
}

void ReadZeIFFTexAnimSet(ZEFILE file, ZEGSCENE* scene, const int16_t* texids) {
  ZeDebugMsg("Reading Animated texture set...");
  int32_t head[2];
  if (ZeFileRead(file, head, 8) != 8 || head[0] < 0 || head[0] > 4096) GSCN_FATAL("Scene file damaged: TAS0 block");
  const int n = head[0];
  auto* recs = static_cast<ZETEXANIM*>(ZeMemAllocTagged(n * 32 + 16));
  int32_t c = 0;
  if (ZeFileRead(file, recs, n * 32) != n * 32 || ZeFileRead(file, &c, 4) != 4 || c < 0 || c > 65536)
    GSCN_FATAL("Scene file damaged: TAS0 block");
  auto* frames = static_cast<int16_t*>(ZeMemAllocTagged(c * 2 + 4));
  if (ZeFileRead(file, frames, c * 2) != c * 2) GSCN_FATAL("Scene file damaged: TAS0 block");
  scene->frames = frames;
  scene->nframes = c;
  ZETEXID ids[4096];
  for (int i = 0; i < scene->ntex && i < 4096; i++) ids[i] = texids ? texids[i] : 0;
  BindTexAnims(scene, recs, n, frames, c, ids, false);
}

void GscnRemoveTexAnims(ZEGSCENE* scene) {
  if (!scene->texanims) return;
  ZeTexAnimRemoveList(scene->texanims);
  scene->texanims = nullptr;
}

// The intermediate reader's records and frame list are heap blocks.
void ZeSceneFreeTexAnims(ZEGSCENE* scene) {
  ZETEXANIM* recs = scene->texanims;
  const int n = scene->ntexanim;
  GscnRemoveTexAnims(scene);
  for (int i = 0; i < n && recs; i++) ZeTexAnimDestroy(recs + i);
  if (recs) ZeMemFreeTagged(recs);
  if (scene->frames) ZeMemFreeTagged(scene->frames.get());
  scene->frames = nullptr;
  scene->ntexanim = 0;
}

void ZeSceneReAssignTexAnims(ZETEXANIM* records, int n) {
  for (int i = 0; i < n; i++) {
    records[i].env->prog = ZeTexAnimProgFind(records[i].progname);
    ZeTexAnimEnvReset(records[i].env);
  }
}
