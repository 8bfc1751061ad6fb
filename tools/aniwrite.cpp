// The animation writer: descriptions read with the engine's text parser,
// keys completed to the invariants evaluation relies on (a key at every
// chunk's first frame, a key after every evaluable frame, a chunk count
// covering the end frame), and images laid out with offsets as pointers.
#include "aniwrite.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

// ---- the description --------------------------------------------------------

struct Parse {
  AniDesc* desc;
  std::string* error;
  ZEFPAR* parser;
  bool failed = false;

  void Fail(const std::string& what) {
    if (failed) return;
    failed = true;
    *error = "line " + std::to_string(parser->lineno + 1) + ": " + what;
  }
};

Parse* g_parse = nullptr;

std::string Word(ZEFPAR* p) {
  ZeFParGetWord(p);
  return p->word;
}

bool Number(const std::string& w, double* v) {
  if (w.empty()) return false;
  char* end = nullptr;
  *v = strtod(w.c_str(), &end);
  return *end == 0 && std::isfinite(*v);
}

int Slot(const std::string& w) {
  static const char* names[ZEANIM_SLOTS] = {"tx", "ty", "tz", "rx", "ry", "rz", "sx", "sy", "sz"};
  for (int i = 0; i < ZEANIM_SLOTS; i++)
    if (ZeStrICmp(w.c_str(), names[i]) == 0) return i;
  char* end = nullptr;
  long v = strtol(w.c_str(), &end, 10);
  return !w.empty() && *end == 0 && v >= 0 && v < 128 ? int(v) : -1;
}

AniChannel DefaultChannel(int curves, int slot) {
  AniChannel c;
  c.constant = curves == ZEANIM_SLOTS && slot >= 6 ? 1.0f : 0.0f;
  return c;
}

void OnEnd(ZEFPAR* p) {
  double v;
  if (!Number(Word(p), &v) || v < 1 || v > 65536) return g_parse->Fail("end: a frame from 1 to 65536");
  g_parse->desc->end = float(v);
}

void OnCurves(ZEFPAR* p) {
  double v;
  if (!g_parse->desc->nodes.empty()) return g_parse->Fail("curves: before the first node");
  if (!Number(Word(p), &v) || v < 1 || v > 127 || v != std::floor(v)) return g_parse->Fail("curves: 1 to 127");
  g_parse->desc->curves = int(v);
}

void OnNode(ZEFPAR* p) {
  AniNode n;
  n.name = Word(p);
  const std::string f = Word(p);
  char* end = nullptr;
  const long flags = strtol(f.c_str(), &end, 0);
  if (n.name.empty() || f.empty() || *end || flags < 0 || flags > 255) return g_parse->Fail("node NAME FLAGS");
  n.flags = int(flags);
  for (int k = 0; k < g_parse->desc->curves; k++) n.channels.push_back(DefaultChannel(g_parse->desc->curves, k));
  g_parse->desc->nodes.push_back(n);
}

AniChannel* g_channel = nullptr;

void OnChannel(ZEFPAR* p) {
  if (g_parse->desc->nodes.empty()) return g_parse->Fail("channel: no node yet");
  const int slot = Slot(Word(p));
  if (slot < 0 || slot >= g_parse->desc->curves) return g_parse->Fail("channel: no such slot");
  static const char* types[] = {"const", "hermite", "packed", "step", "boolean"};
  const std::string t = Word(p);
  int type = -1;
  for (int i = 0; i < 5; i++)
    if (ZeStrICmp(t.c_str(), types[i]) == 0) type = i;
  if (type < 0) return g_parse->Fail("channel: type const, hermite, packed, step or boolean");
  AniChannel c;
  c.type = type;
  if (type == ZEANIMKEYTYPE_NONE) {
    double v;
    if (!Number(Word(p), &v)) return g_parse->Fail("channel: const needs a value");
    c.constant = float(v);
  }
  g_channel = &(g_parse->desc->nodes.back().channels[size_t(slot)] = c);
}

void OnKey(ZEFPAR* p) {
  if (!g_channel || g_channel->type == ZEANIMKEYTYPE_NONE) return g_parse->Fail("key: no keyed channel");
  double f, v, t;
  if (!Number(Word(p), &f) || f < 1 || f > 65536 || f != std::floor(f)) return g_parse->Fail("key: a whole frame");
  if (!Number(Word(p), &v)) return g_parse->Fail("key: a value");
  AniKey k;
  k.frame = int(f);
  k.value = float(v);
  const std::string tw = Word(p);
  if (!tw.empty()) {
    if (!Number(tw, &t)) return g_parse->Fail("key: a tangent");
    k.tangent = float(t);
    k.tangentGiven = true;
  }
  if (!g_channel->keys.empty() && g_channel->keys.back().frame >= k.frame)
    return g_parse->Fail("key: frames must rise");
  g_channel->keys.push_back(k);
}

void OnUnknown(ZEFPAR* p) { g_parse->Fail(std::string("unknown statement '") + p->word + "'"); }

const ZEFPCMD g_statements[] = {{"end", OnEnd},         {"curves", OnCurves}, {"node", OnNode},
                                {"channel", OnChannel}, {"key", OnKey},       {nullptr, nullptr}};

// Tangents not given: from the two neighbouring keys; 0 at the first and
// last keys, where the channel goes on holding their values.
void CompleteTangents(AniChannel* c) {
  auto& k = c->keys;
  for (size_t i = 0; i < k.size(); i++) {
    if (k[i].tangentGiven) continue;
    k[i].tangent = i == 0 || i + 1 == k.size() ? 0.0f : (k[i + 1].value - k[i - 1].value) / float(k[i + 1].frame - k[i - 1].frame);
  }
}

// ---- values of the description ------------------------------------------------

bool Holds(int type) { return type == ZEANIMKEYTYPE_STEP || type == ZEANIMKEYTYPE_BOOLEAN; }

// Value and slope at a frame.
void Evaluate(const AniChannel& ch, float f, float* value, float* slope) {
  *slope = 0;
  const auto& k = ch.keys;
  if (ch.type == ZEANIMKEYTYPE_NONE || k.empty()) {
    *value = ch.constant;
    return;
  }
  if (f <= float(k.front().frame)) {
    *value = k.front().value;
    if (f == float(k.front().frame) && !Holds(ch.type)) *slope = k.front().tangent;
    return;
  }
  if (f >= float(k.back().frame)) {
    *value = k.back().value;
    if (f == float(k.back().frame) && !Holds(ch.type)) *slope = k.back().tangent;
    return;
  }
  size_t i = 0;
  while (float(k[i + 1].frame) <= f) i++;
  if (Holds(ch.type)) {
    *value = k[i].value;
    return;
  }
  const float d = float(k[i + 1].frame - k[i].frame), s = (f - float(k[i].frame)) / d;
  const float y0 = k[i].value, y1 = k[i + 1].value, m0 = k[i].tangent * d, m1 = k[i + 1].tangent * d;
  const float s2 = s * s, s3 = s2 * s;
  *value = (2 * s3 - 3 * s2 + 1) * y0 + (s3 - 2 * s2 + s) * m0 + (-2 * s3 + 3 * s2) * y1 + (s3 - s2) * m1;
  *slope = ((6 * s2 - 6 * s) * y0 + (3 * s2 - 4 * s + 1) * m0 + (-6 * s2 + 6 * s) * y1 + (3 * s2 - 2 * s) * m1) / d;
}

// A value with the mirror's sign (0 stays 0, not -0).
float Mirror(float v, float sign) { return v == 0 ? 0.0f : v * sign; }

// ---- completing the keys -------------------------------------------------------

int LastFrame(float end) { return std::max(1, int(std::floor(end - 0.01f))); }

int ChunkCount(float end) { return (EeFtoi(end - 0.01f) - 1) / 32 + 1; }

// The keys an image stores: the description's, one at every chunk's first
// frame, and one after the last evaluable frame. Mirrored when asked.
std::vector<AniKey> StoredKeys(const AniChannel& ch, float end, float sign) {
  const int tail = LastFrame(end) + 1;
  std::map<int, AniKey> keys;
  for (int c = 0; c < ChunkCount(end); c++) keys[32 * c + 1] = AniKey{32 * c + 1};
  bool following = false;
  for (const AniKey& k : ch.keys) {
    if (k.frame < tail) {
      keys[k.frame] = k;
    } else {
      keys[k.frame] = k;  // the first key at or past the tail follows the last frame
      following = true;
      break;
    }
  }
  if (!following) keys[tail] = AniKey{tail};
  std::vector<AniKey> out;
  for (auto& entry : keys) {
    const int frame = entry.first;
    AniKey s = entry.second;
    const bool given = std::any_of(ch.keys.begin(), ch.keys.end(), [&](const AniKey& u) { return u.frame == frame; });
    if (!given) Evaluate(ch, float(frame), &s.value, &s.tangent);
    s.frame = frame;
    s.value = Mirror(s.value, sign);
    s.tangent = Mirror(s.tangent, sign);
    out.push_back(s);
  }
  return out;
}

// Undoing the z mirror on transform nodes: tz, rx and ry change sign.
float Sign(const AniDesc& d, int slot, int type) {
  if (d.curves != ZEANIM_SLOTS || type == ZEANIMKEYTYPE_BOOLEAN) return 1.0f;
  return slot == 2 || slot == 3 || slot == 4 ? -1.0f : 1.0f;
}

// ---- image building --------------------------------------------------------------

struct Image {
  std::vector<uint8_t> b;
  uint32_t Take(size_t n, size_t align = 4) {
    while (b.size() % align) b.push_back(0);
    const uint32_t at = uint32_t(b.size());
    b.resize(b.size() + n, 0);
    return at;
  }
  template <class T>
  void Put(uint32_t at, const T& v) {
    memcpy(b.data() + at, &v, sizeof v);
  }
};

// A chunk's mask holds its keys up to the last evaluable frame; the key
// after that frame only follows.
uint32_t MaskOf(const std::vector<AniKey>& keys, int chunk, float end, int* first) {
  uint32_t m = 0;
  *first = -1;
  for (size_t i = 0; i < keys.size(); i++) {
    if (keys[i].frame > LastFrame(end)) break;
    const int slot = keys[i].frame - 1 - 32 * chunk;
    if (slot < 0 || slot > 31) continue;
    if (*first < 0) *first = int(i);
    m |= 1u << slot;
  }
  return m;
}

float InvInterval(const std::vector<AniKey>& k, size_t i) {
  return i + 1 < k.size() ? 1.0f / float(k[i + 1].frame - k[i].frame) : 0.0f;
}

// One new-format curve: record, masks, first keys, key data.
bool WriteCurve2(Image* img, uint32_t wordAt, const AniChannel& ch, float end, float sign, std::string* error) {
  const int nchunks = ChunkCount(end);
  const uint32_t rec = img->Take(sizeof(ZEANIMCURVE2));
  img->Put(wordAt, rec);
  const uint32_t masks = img->Take(4 * size_t(nchunks));
  const uint32_t firsts = img->Take(2 * size_t(nchunks));
  ZEANIMCURVE2 c{};
  c.masks.addr = masks;
  c.firstkeys.addr = firsts;
  if (ch.type == ZEANIMKEYTYPE_BOOLEAN) {
    for (int n = 0; n < nchunks; n++) {
      uint32_t m = 0;
      for (int s = 0; s < 32; s++) {
        float v, g;
        Evaluate(ch, float(32 * n + 1 + s), &v, &g);
        if (v != 0) m |= 1u << s;
      }
      img->Put(masks + 4 * uint32_t(n), m);
    }
    img->Put(rec, c);
    return true;
  }
  const std::vector<AniKey> keys = StoredKeys(ch, end, sign);
  if (keys.size() > 65535) return *error = "too many keys for one curve", false;
  for (int n = 0; n < nchunks; n++) {
    int first = 0;
    img->Put(masks + 4 * uint32_t(n), MaskOf(keys, n, end, &first));
    img->Put(firsts + 2 * uint32_t(n), uint16_t(first));
  }
  if (ch.type == ZEANIMKEYTYPE_HERMITE) {
    c.keydata.addr = img->Take(16 * keys.size());
    for (size_t i = 0; i < keys.size(); i++)
      img->Put(c.keydata.addr + 16 * uint32_t(i),
               ZEANIMKEY2{float(keys[i].frame), InvInterval(keys, i), keys[i].value, keys[i].tangent});
  } else if (ch.type == ZEANIMKEYTYPE_STEP) {
    c.keydata.addr = img->Take(8 * keys.size());
    for (size_t i = 0; i < keys.size(); i++) img->Put(c.keydata.addr + 8 * uint32_t(i), ZEANIMKEYSTEP{keys[i].value, 0});
  } else {
    float vmax = 0, tmax = 0;
    for (const AniKey& k : keys) {
      if (k.frame > 256) return *error = "packed keys hold frames 1 to 256", false;
      vmax = std::max(vmax, std::fabs(k.value));
      tmax = std::max(tmax, std::fabs(k.tangent));
    }
    const float vs = vmax > 0 ? vmax / 32767.0f : 1.0f, ts = tmax > 0 ? tmax / 127.0f : 1.0f;
    c.keydata.addr = img->Take(8 + 4 * keys.size());
    img->Put(c.keydata.addr, ts);
    img->Put(c.keydata.addr + 4, vs);
    for (size_t i = 0; i < keys.size(); i++) {
      const ZEANIMKEYPACKED p{int16_t(std::lround(keys[i].value / vs)), int8_t(std::lround(keys[i].tangent / ts)),
                              uint8_t(keys[i].frame - 1)};
      img->Put(c.keydata.addr + 8 + 4 * uint32_t(i), p);
    }
  }
  img->Put(rec, c);
  return true;
}

bool CheckDesc(const AniDesc& d, std::string* error) {
  if (d.nodes.empty()) return *error = "no nodes", false;
  if (d.nodes.size() > 0x7fff || d.nodes.size() * size_t(d.curves) > 0x7fffff) return *error = "too many nodes", false;
  return true;
}

}  // namespace

bool AniParse(const char* name, AniDesc* out, std::string* error) {
  *out = AniDesc{};
  ZEFPAR* p = ZeFParCreate(name);
  if (!p) {
    *error = std::string("cannot open ") + name;
    return false;
  }
  Parse parse{out, error, p};
  g_parse = &parse;
  g_channel = nullptr;
  ZeFParPushCom(p, g_statements);
  const ZEFPARFN previous = ZeFParSetInterpreterErrorHandler(OnUnknown);
  while (!parse.failed && ZeFParGetLine(p) > 0)
    if (ZeFParGetWord(p)) ZeFParInterpretWord(p);
  ZeFParSetInterpreterErrorHandler(previous);
  ZeFParDestroy(p);
  g_parse = nullptr;
  g_channel = nullptr;
  if (parse.failed) return false;
  for (AniNode& n : out->nodes)
    for (AniChannel& c : n.channels) {
      if (c.type != ZEANIMKEYTYPE_NONE && c.keys.empty()) {
        *error = "node " + n.name + ": a keyed channel without keys";
        return false;
      }
      CompleteTangents(&c);
    }
  return CheckDesc(*out, error);
}

float AniChannelValue(const AniChannel& ch, float frame) {
  float v, g;
  Evaluate(ch, frame, &v, &g);
  return v;
}

std::vector<uint8_t> AniBuildV2(const AniDesc& d, std::string* error) {
  if (!CheckDesc(d, error)) return {};
  Image img;
  const uint32_t hdr = img.Take(sizeof(ZEANIMFILEHDR));
  const uint32_t rec = img.Take(sizeof(ZEANIMDATA2));
  const size_t nwords = d.nodes.size() * size_t(d.curves);
  const uint32_t words = img.Take(4 * nwords), types = img.Take(nwords), flags = img.Take(d.nodes.size());
  img.Put(hdr, ZEANIMFILEHDR{2, 0, int(rec)});
  ZEANIMDATA2 a{};
  a.end = d.end;
  a.nnodes = int16_t(d.nodes.size());
  a.ncurves = int16_t(d.curves);
  a.nchunks = int16_t(ChunkCount(d.end));
  a.words.addr = words;
  a.keytypes.addr = types;
  a.nodeflags.addr = flags;
  img.Put(rec, a);
  for (size_t n = 0; n < d.nodes.size(); n++) {
    img.Put(flags + uint32_t(n), uint8_t(d.nodes[n].flags));
    for (int k = 0; k < d.curves; k++) {
      const AniChannel& ch = d.nodes[n].channels[size_t(k)];
      const size_t i = n * size_t(d.curves) + size_t(k);
      img.Put(types + uint32_t(i), int8_t(ch.type));
      const float sign = Sign(d, k, ch.type);
      if (ch.type == ZEANIMKEYTYPE_NONE) img.Put(words + 4 * uint32_t(i), Mirror(ch.constant, sign));
      else if (!WriteCurve2(&img, words + 4 * uint32_t(i), ch, d.end, sign, error)) return {};
    }
  }
  return img.b;
}

std::vector<uint8_t> AniBuildV1(const AniDesc& d, std::string* error) {
  if (!CheckDesc(d, error)) return {};
  for (const AniNode& n : d.nodes)
    for (const AniChannel& c : n.channels)
      if (c.type == ZEANIMKEYTYPE_PACKED || c.type == ZEANIMKEYTYPE_BOOLEAN)
        return *error = "version 1 holds constant, hermite and step channels only", std::vector<uint8_t>{};
  Image img;
  const int nchunks = ChunkCount(d.end);
  const uint32_t hdr = img.Take(sizeof(ZEANIMFILEHDR));
  const uint32_t rec = img.Take(sizeof(ZEANIMDATA));
  const uint32_t chunks = img.Take(4 * size_t(nchunks));
  img.Put(hdr, ZEANIMFILEHDR{1, 0, int(rec)});
  ZEANIMDATA a{};
  a.end = d.end;
  a.nchunks = nchunks;
  a.chunks.addr = chunks;
  img.Put(rec, a);
  // Every channel's stored keys, once.
  std::vector<std::vector<std::vector<AniKey>>> keys(d.nodes.size());
  for (size_t n = 0; n < d.nodes.size(); n++)
    for (int k = 0; k < d.curves; k++) {
      const AniChannel& ch = d.nodes[n].channels[size_t(k)];
      keys[n].push_back(ch.type ? StoredKeys(ch, d.end, Sign(d, k, ch.type)) : std::vector<AniKey>{});
    }
  for (int c = 0; c < nchunks; c++) {
    const uint32_t chunk = img.Take(sizeof(ZEANIMCHUNK));
    img.Put(chunks + 4 * uint32_t(c), chunk);
    const uint32_t sets = img.Take(4 * d.nodes.size());
    ZEANIMCHUNK ck{};
    ck.nnodes = int(d.nodes.size());
    ck.sets.addr = sets;
    img.Put(chunk, ck);
    for (size_t n = 0; n < d.nodes.size(); n++) {
      const uint32_t set = img.Take(sizeof(ZEANIMCURVESET));
      img.Put(sets + 4 * uint32_t(n), set);
      const uint32_t consts = img.Take(4 * size_t(d.curves)), curves = img.Take(4 * size_t(d.curves));
      ZEANIMCURVESET s{};
      s.flags = d.nodes[n].flags;
      s.consts.addr = consts;
      s.curves.addr = curves;
      s.nslots = int8_t(d.curves);
      img.Put(set, s);
      for (int k = 0; k < d.curves; k++) {
        const AniChannel& ch = d.nodes[n].channels[size_t(k)];
        if (ch.type == ZEANIMKEYTYPE_NONE) {
          img.Put(consts + 4 * uint32_t(k), Mirror(ch.constant, Sign(d, k, ch.type)));
          continue;
        }
        img.Put(consts + 4 * uint32_t(k), ZEANIM_FLTMAX);
        // The chunk's keys and the one after them.
        const auto& all = keys[n][size_t(k)];
        int first = 0;
        const uint32_t mask = MaskOf(all, c, d.end, &first);
        const int count = std::popcount(mask) + 1;
        const uint32_t curve = img.Take(sizeof(ZEANIMCURVE)), kd = img.Take(16 * size_t(count));
        img.Put(curves + 4 * uint32_t(k), curve);
        ZEANIMCURVE cv{};
        memcpy(cv.mask, &mask, 4);
        cv.keys.addr = kd;
        cv.nkeys = count;
        cv.flags = ch.type == ZEANIMKEYTYPE_STEP ? 1 : 0;
        img.Put(curve, cv);
        for (int i = 0; i < count; i++) {
          const AniKey& key = all[size_t(first + i)];
          img.Put(kd + 16 * uint32_t(i),
                  ZEANIMKEY{float(key.frame), InvInterval(all, size_t(first + i)), key.tangent, key.value});
        }
      }
    }
  }
  return img.b;
}
