// The archive builder: a directory tree in, an archive out. The directory
// (files, name nodes in breadth-first order so that each directory's
// children are consecutive, the name pool) follows the 8-byte header;
// members start on 2048-byte boundaries so the disc can read them by
// sectors. The check loads every member back through the engine.
#include "zetools.h"
#include "zecore.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

constexpr int SECTOR = 2048;

struct Node {
  std::string name;
  fs::path host;
  bool dir = false;
  std::vector<Node> kids;
};

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return s;
}

bool Scan(const fs::path& dir, Node* node, int depth, std::string* error) {
  if (depth >= ZEDAT_MAXDEPTH) {
    *error = "directory tree too deep at " + dir.string();
    return false;
  }
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    Node kid;
    kid.name = it->path().filename().string();
    kid.host = it->path();
    kid.dir = it->is_directory(ec);
    if (!kid.dir && !it->is_regular_file(ec)) continue;
    if (kid.name.find('\\') != std::string::npos) {
      *error = "name holds a backslash: " + kid.host.string();
      return false;
    }
    if (kid.dir && !Scan(kid.host, &kid, depth + 1, error)) return false;
    node->kids.push_back(std::move(kid));
  }
  if (ec) {
    *error = "cannot read " + dir.string() + ": " + ec.message();
    return false;
  }
  // Names match without regard to case: sort that way, and refuse two that differ only in case.
  std::sort(node->kids.begin(), node->kids.end(), [](const Node& a, const Node& b) {
    std::string ua = Upper(a.name), ub = Upper(b.name);
    return ua != ub ? ua < ub : a.name < b.name;
  });
  for (size_t i = 1; i < node->kids.size(); i++) {
    if (Upper(node->kids[i].name) == Upper(node->kids[i - 1].name)) {
      *error = "names differ only in case: " + node->kids[i].host.string();
      return false;
    }
  }
  return true;
}

void Put32(std::vector<uint8_t>* v, int32_t x) {
  for (int k = 0; k < 4; k++) v->push_back(uint8_t(uint32_t(x) >> (8 * k)));
}
void Put16(std::vector<uint8_t>* v, int16_t x) {
  v->push_back(uint8_t(uint16_t(x)));
  v->push_back(uint8_t(uint16_t(x) >> 8));
}

}  // namespace

bool ReadHostFile(const std::string& path, std::vector<uint8_t>* bytes) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  bytes->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  return !f.bad();
}

bool WriteHostFile(const std::string& path, const uint8_t* data, size_t n) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(data), std::streamsize(n));
  f.close();
  if (!f) {
    std::error_code ec;
    fs::remove(path, ec);
    return false;
  }
  return true;
}

bool ArcBuild(const std::string& dir, const std::string& archive, const ArcBuildOptions& options,
              std::string* error) {
  Node root;
  root.dir = true;
  if (!fs::is_directory(dir)) {
    *error = dir + " is not a directory";
    return false;
  }
  if (!Scan(dir, &root, 0, error)) return false;

  // Number the nodes breadth first: a directory's children are consecutive.
  std::vector<const Node*> nodes{&root};
  std::vector<int> firstKid{0};
  for (size_t i = 0; i < nodes.size(); i++) {
    firstKid.resize(nodes.size());
    firstKid[i] = nodes[i]->kids.empty() ? 0 : int(nodes.size());
    for (const Node& k : nodes[i]->kids) nodes.push_back(&k);
  }
  firstKid.resize(nodes.size());
  if (nodes.size() > 0x7fff) {
    *error = "too many names for an archive (" + std::to_string(nodes.size()) + ")";
    return false;
  }

  struct Member {
    std::vector<uint8_t> data;
    int unpacked;
    bool packed;
  };
  std::vector<Member> members;
  std::vector<int> fileIndex(nodes.size(), -1);
  for (size_t i = 1; i < nodes.size(); i++) {
    if (nodes[i]->dir) continue;
    Member m;
    if (!ReadHostFile(nodes[i]->host.string(), &m.data)) {
      *error = "cannot read " + nodes[i]->host.string();
      return false;
    }
    m.unpacked = int(m.data.size());
    m.packed = false;
    if (options.pack && !m.data.empty()) {
      RncPackInfo info;
      std::vector<uint8_t> packed = RncPack(m.data.data(), m.data.size(), &info);
      if (info.inPlace && packed.size() < m.data.size()) {
        m.data = std::move(packed);
        m.packed = true;
      }
    }
    fileIndex[i] = int(members.size());
    members.push_back(std::move(m));
  }

  std::vector<uint8_t> pool{0};  // the root's name
  std::vector<int> nameAt(nodes.size(), 0);
  for (size_t i = 1; i < nodes.size(); i++) {
    nameAt[i] = int(pool.size());
    pool.insert(pool.end(), nodes[i]->name.begin(), nodes[i]->name.end());
    pool.push_back(0);
  }

  size_t dirSize = 4 + 4 + members.size() * 16 + 4 + nodes.size() * 8 + 4 + pool.size();
  int64_t pos = (8 + int64_t(dirSize) + SECTOR - 1) / SECTOR * SECTOR;
  std::vector<int64_t> offsets;
  for (const Member& m : members) {
    offsets.push_back(pos);
    pos += (int64_t(m.data.size()) + SECTOR - 1) / SECTOR * SECTOR;
  }
  if (pos > 0x7fffffff) {
    *error = "archive larger than 2 GB";
    return false;
  }

  std::vector<uint8_t> head;
  Put32(&head, 8);
  Put32(&head, int32_t(dirSize));
  Put32(&head, ARC_FORMAT_VERSION);
  Put32(&head, int32_t(members.size()));
  for (size_t i = 0; i < members.size(); i++) {
    Put32(&head, int32_t(offsets[i]));
    Put32(&head, int32_t(members[i].data.size()));
    Put32(&head, members[i].unpacked);
    Put32(&head, members[i].packed ? 1 : 0);
  }
  // Siblings: the next child of the same directory (numbering made them consecutive).
  std::vector<int> nextSibling(nodes.size(), 0);
  for (size_t p = 0; p < nodes.size(); p++) {
    for (size_t k = 1; k < nodes[p]->kids.size(); k++) nextSibling[size_t(firstKid[p]) + k - 1] = firstKid[p] + int(k);
  }
  Put32(&head, int32_t(nodes.size()));
  for (size_t i = 0; i < nodes.size(); i++) {
    const Node* n = nodes[i];
    int16_t child = n->dir ? int16_t(firstKid[i]) : int16_t(-fileIndex[i]);
    int16_t sibling = int16_t(nextSibling[i]);
    Put16(&head, child);
    Put16(&head, sibling);
    Put32(&head, nameAt[i]);
  }
  Put32(&head, int32_t(pool.size()));
  head.insert(head.end(), pool.begin(), pool.end());

  std::ofstream out(archive, std::ios::binary | std::ios::trunc);
  if (!out) {
    *error = "cannot write " + archive;
    return false;
  }
  out.write(reinterpret_cast<const char*>(head.data()), std::streamsize(head.size()));
  int64_t at = int64_t(head.size());
  std::vector<char> zeros(SECTOR, 0);
  for (size_t i = 0; i < members.size(); i++) {
    out.write(zeros.data(), std::streamsize(offsets[i] - at));
    out.write(reinterpret_cast<const char*>(members[i].data.data()), std::streamsize(members[i].data.size()));
    at = offsets[i] + int64_t(members[i].data.size());
  }
  out.write(zeros.data(), std::streamsize(pos - at));  // the last sector is whole
  if (!out) {
    *error = "cannot write " + archive;
    return false;
  }
  return true;
}

bool ArcVerify(const std::string& archive, const std::string& dir, std::string* error) {
  fs::path a = fs::absolute(archive);
  std::string oldRoot = PlatGetHostRoot();
  PlatSetHostRoot(a.parent_path().c_str());
  std::string name = "@loc" + a.filename().string();
  ZEDAT* old = ZeDatSet(nullptr);
  ZEDAT* dat = ZeDatOpen(name.c_str(), nullptr, nullptr);
  bool ok = dat != nullptr;
  if (!ok) *error = "the engine cannot open " + archive;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(dir, ec), end; ok && !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    std::string rel = it->path().lexically_relative(dir).generic_string();
    std::replace(rel.begin(), rel.end(), '/', '\\');
    std::vector<uint8_t> want;
    ReadHostFile(it->path().string(), &want);
    int idx = ZeDatFind(dat, rel.c_str());
    if (idx < 0) {
      *error = rel + " is missing from the archive";
      ok = false;
      break;
    }
    int size = int(want.size()) + ZEPP_MARGIN + dat->files[idx].stored + SECTOR;
    auto* buf = static_cast<uint8_t*>(EeMalloc(size_t(size)));
    int got = want.empty() ? 0 : ZeDatFileLoadBuffer(dat, rel.c_str(), buf, size);
    if (got != int(want.size()) || (!want.empty() && memcmp(buf, want.data(), want.size()) != 0)) {
      *error = rel + " does not load back as it was";
      ok = false;
    }
    EeFree(buf);
  }
  if (dat) ZeDatClose(dat);
  ZeDatSet(old);
  PlatSetHostRoot(oldRoot.c_str());
  return ok;
}
