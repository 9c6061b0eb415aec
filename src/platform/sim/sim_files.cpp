// The simulated file system: a tree per drive letter behind Win32-like operations.
#include "platform/sim/sim_files.h"

#include <algorithm>
#include <utility>

#include "platform/text.h"

namespace sim {

using platform::FindEntry;
using platform::Status;

struct SimFileSystem::Node {
  std::string name;
  std::uint32_t attributes = 0;
  SimSecurity security;
  std::string content;
  bool unflushed = false;  // copied by the program and not flushed since
  std::uint32_t links = 1;  // names the file has (a hard link adds one)
  std::map<std::string, std::unique_ptr<Node>> children;  // by upper-cased name: NTFS order
  std::map<std::string, std::pair<std::string, std::string>> streams;  // upper-cased -> (name, data)

  bool IsDirectory() const { return (attributes & platform::kAttrDirectory) != 0; }
};

struct SimFileSystem::Parsed {
  char drive = 0;
  std::vector<std::string> parts;
  std::string stream;  // after "name:" in the last part
  bool hasStream = false;
  bool wildcard = false;  // the last part holds '*' or '?'
  std::string full;      // "C:\a\b", the normalised form
};

namespace {

// Bits SetFileAttributes can change; the rest (directory, ...) belong to the file system.
constexpr std::uint32_t kSettable = platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem |
                                    platform::kAttrArchive | 0x100u /*temporary*/ | 0x1000u /*offline*/ |
                                    0x2000u /*not content indexed*/;

// CreateDirectoryA's own limit for the ANSI path: room must stay for an 8.3 name.
constexpr std::size_t kMaxDirectoryPath = platform::kMaxPath - 12;

std::uint32_t Reported(std::uint32_t stored) { return stored == 0 ? platform::kAttrNormal : stored; }

// What a new entry gets from the folder it is created in, owned by `owner`.
SimSecurity NewSecurity(const SimFileSystem::Node& folder, bool directory, const std::string& owner);

// Recomputes what the entries below a folder inherit, as SetNamedSecurityInfo does; an entry with a
// protected list of its own keeps it, and so does everything under it.
void PropagateInheritance(SimFileSystem::Node& folder);

// What TreeResetNamedSecurityInfo does below a folder: every entry gets `owner`, loses its own
// entries and its protection, and inherits from its folder alone. A reparse point is reset itself
// but not walked through: what lies behind it is somewhere else.
void ResetBelow(SimFileSystem::Node& folder, const std::string& owner);

std::size_t CharLen(const std::string& s, std::size_t i) {
  return (text::IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? std::size_t{2} : std::size_t{1};
}

std::vector<std::string> Chars(const std::string& s) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t len = CharLen(s, i);
    out.push_back(s.substr(i, len));
    i += len;
  }
  return out;
}

// Wildcard match with '*' and '?' over whole characters, without regard to case. As on
// Windows, "*.*" matches every name and a trailing ".*" also matches a name without a dot.
bool Matches(const std::string& pattern, const std::string& name) {
  if (pattern == "*.*" || pattern == "*") return true;
  const std::vector<std::string> p = Chars(text::ToUpper(pattern));
  const std::vector<std::string> n = Chars(text::ToUpper(name));
  std::size_t pi = 0, ni = 0, starP = std::string::npos, starN = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == "?" || p[pi] == n[ni])) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == "*") {
      starP = pi++;
      starN = ni;
    } else if (starP != std::string::npos) {
      pi = starP + 1;
      ni = ++starN;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == "*") ++pi;
  if (pi == p.size()) return true;
  // "name.*" against "name": the rest of the pattern is exactly ".*".
  return p.size() - pi == 2 && p[pi] == "." && p[pi + 1] == "*" && name.find('.') == std::string::npos;
}

class SimListing final : public platform::Listing {
 public:
  SimListing(std::vector<FindEntry> entries, std::shared_ptr<std::size_t> counter)
      : entries_(std::move(entries)), counter_(std::move(counter)) {
    ++*counter_;
  }
  ~SimListing() override { --*counter_; }
  SimListing(const SimListing&) = delete;
  SimListing& operator=(const SimListing&) = delete;

  bool Next(FindEntry& entry) override {
    if (next_ >= entries_.size()) return false;
    entry = entries_[next_++];
    return true;
  }

 private:
  std::vector<FindEntry> entries_;
  std::size_t next_ = 1;  // entry 0 was handed out by FindFirst
  std::shared_ptr<std::size_t> counter_;
};

}  // namespace

SimFileSystem::SimFileSystem() : currentDirectory_("C:\\"), openListings_(std::make_shared<std::size_t>(0)) {}
SimFileSystem::~SimFileSystem() = default;

void SimFileSystem::AddDrive(char letter) {
  const char drive = static_cast<char>(text::ToUpper(std::string(1, letter))[0]);
  auto& root = drives_[drive];
  if (!root) {
    root = std::make_unique<Node>();
    root->name = std::string(1, drive) + ":";
    root->attributes = platform::kAttrDirectory;
    root->security = SimSecurity{platform::kSidSystem, UsualRootEntries(), {}, true};
  }
}

Status SimFileSystem::Parse(const std::string& pathIn, bool lastMayHaveWildcards, Parsed& out) const {
  out = Parsed{};
  if (pathIn.empty()) return platform::kPathNotFound;
  // '/' (0x2F) is never a trail byte, so it can be turned into '\' without looking at characters.
  std::string path = pathIn;
  std::replace(path.begin(), path.end(), '/', '\\');

  std::vector<std::string> base;
  std::string rest;
  const bool hasDrive = path.size() >= 2 && path[1] == ':' &&
                        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  const char cwdDrive = currentDirectory_[0];
  if (hasDrive) {
    out.drive = static_cast<char>(path[0] & ~0x20);
    rest = path.substr(2);
    if (rest.empty() || rest[0] != '\\') {
      // Drive-relative: the current directory when it is on that drive, else its root.
      if (out.drive == cwdDrive) {
        Parsed cwd;
        if (Parse(currentDirectory_, false, cwd) == platform::kSuccess) base = cwd.parts;
      }
    }
  } else if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    return platform::kPathNotFound;  // UNC: no network on this machine
  } else {
    out.drive = cwdDrive;
    rest = path;
    if (rest[0] != '\\') {
      Parsed cwd;
      if (Parse(currentDirectory_, false, cwd) == platform::kSuccess) base = cwd.parts;
    }
  }

  std::vector<std::string> raw;
  for (std::size_t start = 0; start <= rest.size();) {
    std::size_t end = text::Find(rest, '\\', start);
    if (end == std::string::npos) end = rest.size();
    raw.push_back(rest.substr(start, end - start));
    start = end + 1;
  }
  out.parts = std::move(base);
  for (std::size_t i = 0; i < raw.size(); ++i) {
    std::string part = raw[i];
    const bool last = i + 1 == raw.size();
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!out.parts.empty()) out.parts.pop_back();
      continue;
    }
    if (last) {
      const std::size_t colon = text::Find(part, ':');
      if (colon != std::string::npos) {
        out.hasStream = true;
        out.stream = part.substr(colon + 1);
        part.resize(colon);
        // "name:stream:$DATA" is the long form of "name:stream".
        const std::size_t type = out.stream.find(':');
        if (type != std::string::npos) {
          if (!text::EqualsNoCase(out.stream.substr(type), ":$DATA")) return platform::kInvalidName;
          out.stream.resize(type);
        }
        if (out.stream.empty()) return platform::kInvalidName;
      }
      // Win32 drops trailing dots and spaces from the final name.
      while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
      if (part.empty()) return platform::kInvalidName;
    }
    for (std::size_t k = 0; k < part.size(); k += CharLen(part, k)) {
      if (CharLen(part, k) == 2) continue;
      const auto c = static_cast<unsigned char>(part[k]);
      const bool wild = c == '*' || c == '?';
      if (c < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == ':' ||
          (wild && !(last && lastMayHaveWildcards))) {
        return platform::kInvalidName;
      }
      if (wild) out.wildcard = true;
    }
    out.parts.push_back(std::move(part));
  }

  out.full = std::string(1, out.drive) + ":\\";
  for (std::size_t i = 0; i < out.parts.size(); ++i) out.full += (i == 0 ? "" : "\\") + out.parts[i];
  if (out.full.size() >= platform::kMaxPath) return platform::kFilenameTooLong;
  return platform::kSuccess;
}

SimFileSystem::Node* SimFileSystem::Parent(const Parsed& parsed, Status& status) const {
  const auto drive = drives_.find(parsed.drive);
  if (drive == drives_.end() || parsed.parts.empty()) {
    status = platform::kPathNotFound;
    return nullptr;
  }
  Node* node = drive->second.get();
  for (std::size_t i = 0; i + 1 < parsed.parts.size(); ++i) {
    const auto it = node->children.find(text::ToUpper(parsed.parts[i]));
    if (it == node->children.end() || !it->second->IsDirectory()) {
      status = platform::kPathNotFound;
      return nullptr;
    }
    node = it->second.get();
  }
  status = platform::kSuccess;
  return node;
}

SimFileSystem::Node* SimFileSystem::Lookup(const Parsed& parsed, Status& status) const {
  if (parsed.parts.empty()) {
    const auto drive = drives_.find(parsed.drive);
    status = drive == drives_.end() ? platform::kPathNotFound : platform::kSuccess;
    return drive == drives_.end() ? nullptr : drive->second.get();
  }
  Node* parent = Parent(parsed, status);
  if (parent == nullptr) return nullptr;
  const auto it = parent->children.find(text::ToUpper(parsed.parts.back()));
  if (it == parent->children.end()) {
    status = platform::kFileNotFound;
    return nullptr;
  }
  return it->second.get();
}

SimFileSystem::Node* SimFileSystem::LookupPath(const std::string& path) const {
  Parsed parsed;
  if (Parse(path, false, parsed) != platform::kSuccess || parsed.hasStream) return nullptr;
  Status status = platform::kSuccess;
  return Lookup(parsed, status);
}

SimFileSystem::Node* SimFileSystem::Target(const std::string& path, FileOp op, Parsed& parsed, Status& status) {
  if (status = Parse(path, false, parsed); status != platform::kSuccess) return nullptr;
  if (parsed.hasStream) {
    status = platform::kInvalidName;
    return nullptr;
  }
  if (Injected(op, parsed, status)) return nullptr;
  return Lookup(parsed, status);
}

bool SimFileSystem::Injected(FileOp op, const Parsed& parsed, Status& status) {
  const std::string folded = text::ToUpper(parsed.full);
  for (Failure& f : failures_) {
    if (f.op != op || f.path != folded || f.times == 0) continue;
    if (f.times > 0) --f.times;
    ++injectedServed_;
    status = f.status;
    return true;
  }
  return false;
}

Status SimFileSystem::FindFirst(const std::string& pattern, FindEntry& first,
                                std::unique_ptr<platform::Listing>& listing) {
  listing.reset();
  first = FindEntry{};
  // A path ending in a separator names no entry (FindFirstFileA refuses it).
  if (!pattern.empty() && (pattern.back() == '/' || text::ReverseFind(pattern, '\\') == pattern.size() - 1)) {
    return platform::kFileNotFound;
  }
  Parsed parsed;
  if (const Status st = Parse(pattern, true, parsed); st != platform::kSuccess) return st;
  if (parsed.hasStream) return platform::kInvalidName;
  if (parsed.parts.empty()) return platform::kFileNotFound;
  if (Status injected = platform::kSuccess; Injected(FileOp::Find, parsed, injected)) return injected;

  std::vector<FindEntry> entries;
  Status status = platform::kSuccess;
  if (parsed.wildcard) {
    const Node* dir = Parent(parsed, status);
    if (dir == nullptr) return status;
    const std::string& mask = parsed.parts.back();
    // NTFS lists "." and ".." first in every folder but a drive's root.
    if (parsed.parts.size() > 1) {
      for (const char* dots : {".", ".."}) {
        if (Matches(mask, dots)) entries.push_back(FindEntry{dots, Reported(dir->attributes)});
      }
    }
    for (const auto& [folded, child] : dir->children) {
      if (Matches(mask, child->name)) entries.push_back(FindEntry{child->name, Reported(child->attributes), child->IsDirectory() ? 0 : child->content.size()});
    }
  } else {
    const Node* node = Lookup(parsed, status);
    if (node == nullptr) return status;
    entries.push_back(FindEntry{node->name, Reported(node->attributes), node->IsDirectory() ? 0 : node->content.size()});
  }
  if (entries.empty()) return platform::kFileNotFound;
  first = entries.front();
  listing = std::make_unique<SimListing>(std::move(entries), openListings_);
  return platform::kSuccess;
}

Status SimFileSystem::CreateDirectory(const std::string& path) {
  Parsed parsed;
  if (const Status st = Parse(path, false, parsed); st != platform::kSuccess) return st;
  if (parsed.hasStream) return platform::kInvalidName;
  if (parsed.full.size() >= kMaxDirectoryPath) return platform::kFilenameTooLong;
  Status status = platform::kSuccess;
  if (Injected(FileOp::CreateDirectory, parsed, status)) return status;
  if (parsed.parts.empty()) {
    return drives_.count(parsed.drive) != 0 ? platform::kAlreadyExists : platform::kPathNotFound;
  }
  Node* parent = Parent(parsed, status);
  if (parent == nullptr) return status;
  const std::string folded = text::ToUpper(parsed.parts.back());
  if (parent->children.count(folded) != 0) return platform::kAlreadyExists;
  auto dir = std::make_unique<Node>();
  dir->name = parsed.parts.back();
  dir->attributes = platform::kAttrDirectory;
  dir->security = NewSecurity(*parent, true, creatorOwner_);
  parent->children.emplace(folded, std::move(dir));
  return platform::kSuccess;
}

Status SimFileSystem::CopyFile(const std::string& source, const std::string& destination, bool failIfExists) {
  Parsed from;
  Parsed to;
  if (const Status st = Parse(source, false, from); st != platform::kSuccess) return st;
  if (const Status st = Parse(destination, false, to); st != platform::kSuccess) return st;
  if (from.hasStream || to.hasStream) return platform::kInvalidName;
  Status status = platform::kSuccess;
  if (Injected(FileOp::Copy, from, status) || Injected(FileOp::Copy, to, status)) return status;

  const Node* src = Lookup(from, status);
  if (src == nullptr) return status;
  if (src->IsDirectory()) return platform::kAccessDenied;
  Node* dstDir = Parent(to, status);
  if (dstDir == nullptr) return status;
  const std::string folded = text::ToUpper(to.parts.back());
  const auto existing = dstDir->children.find(folded);
  if (existing != dstDir->children.end()) {
    const Node& dst = *existing->second;
    if (&dst == src) return platform::kAccessDenied;  // Windows: a sharing violation on itself
    if (failIfExists) return platform::kFileExists;
    if (dst.IsDirectory() || (dst.attributes & platform::kAttrReadOnly) != 0) return platform::kAccessDenied;
    // Replacing a hidden or system file with a copy that lacks the bit is refused.
    const std::uint32_t guarded = dst.attributes & (platform::kAttrHidden | platform::kAttrSystem);
    if ((src->attributes & guarded) != guarded) return platform::kAccessDenied;
  }
  auto copy = std::make_unique<Node>();
  // A replaced file keeps the name (and letter case) under which it was listed.
  copy->name = existing != dstDir->children.end() ? existing->second->name : to.parts.back();
  copy->attributes = src->attributes;
  // Overwriting keeps the replaced file's security; a new file inherits from its folder.
  copy->security = existing != dstDir->children.end() ? existing->second->security
                                                      : NewSecurity(*dstDir, false, creatorOwner_);
  copy->content = src->content;
  copy->unflushed = true;
  copy->streams = src->streams;
  dstDir->children[folded] = std::move(copy);
  return platform::kSuccess;
}

Status SimFileSystem::GetAttributes(const std::string& path, std::uint32_t& attributes) {
  attributes = 0;
  Parsed parsed;
  if (const Status st = Parse(path, false, parsed); st != platform::kSuccess) return st;
  if (parsed.hasStream) return platform::kInvalidName;
  Status status = platform::kSuccess;
  const Node* node = Lookup(parsed, status);
  if (node == nullptr) return status;
  attributes = Reported(node->attributes);
  return platform::kSuccess;
}

Status SimFileSystem::SetAttributes(const std::string& path, std::uint32_t attributes) {
  Parsed parsed;
  Status status = platform::kSuccess;
  Node* node = Target(path, FileOp::SetAttributes, parsed, status);
  if (node == nullptr) return status;
  constexpr std::uint32_t kKept = platform::kAttrDirectory | platform::kAttrReparsePoint;
  node->attributes = (attributes & kSettable) | (node->attributes & kKept);
  return platform::kSuccess;
}

Status SimFileSystem::DeleteFile(const std::string& path) {
  Parsed parsed;
  if (const Status st = Parse(path, false, parsed); st != platform::kSuccess) return st;
  Status status = platform::kSuccess;
  if (Injected(FileOp::DeleteFile, parsed, status)) return status;
  Node* node = Lookup(parsed, status);
  if (node == nullptr) return status;
  if (node->IsDirectory() || parsed.parts.empty()) return platform::kAccessDenied;
  if ((node->attributes & platform::kAttrReadOnly) != 0) return platform::kAccessDenied;
  if (parsed.hasStream) {
    return node->streams.erase(text::ToUpper(parsed.stream)) != 0 ? platform::kSuccess : platform::kFileNotFound;
  }
  Node* parent = Parent(parsed, status);
  parent->children.erase(text::ToUpper(parsed.parts.back()));
  return platform::kSuccess;
}

Status SimFileSystem::MoveFile(const std::string& source, const std::string& destination) {
  Parsed from;
  Parsed to;
  if (const Status st = Parse(source, false, from); st != platform::kSuccess) return st;
  if (const Status st = Parse(destination, false, to); st != platform::kSuccess) return st;
  if (from.hasStream || to.hasStream || from.parts.empty() || to.parts.empty()) return platform::kInvalidName;
  Status status = platform::kSuccess;
  if (Injected(FileOp::Move, from, status) || Injected(FileOp::Move, to, status)) return status;
  if (Lookup(from, status) == nullptr) return status;
  Node* fromDir = Parent(from, status);
  Node* toDir = Parent(to, status);
  if (toDir == nullptr) return status;
  const std::string folded = text::ToUpper(to.parts.back());
  if (toDir->children.count(folded) != 0) {
    // The file's own name in another letter case is no other file: it is renamed in place.
    if (toDir != fromDir || folded != text::ToUpper(from.parts.back())) return platform::kAlreadyExists;
    toDir->children[folded]->name = to.parts.back();
    return platform::kSuccess;
  }
  auto node = std::move(fromDir->children[text::ToUpper(from.parts.back())]);
  fromDir->children.erase(text::ToUpper(from.parts.back()));
  // A renamed file keeps its security and attributes; only its name changes.
  node->name = to.parts.back();
  toDir->children[folded] = std::move(node);
  return platform::kSuccess;
}

Status SimFileSystem::RemoveDirectory(const std::string& path) {
  Parsed parsed;
  Status status = platform::kSuccess;
  Node* node = Target(path, FileOp::RemoveDirectory, parsed, status);
  if (node == nullptr) return status;
  if (parsed.parts.empty()) return platform::kAccessDenied;
  if (!node->IsDirectory()) return platform::kDirectory;
  if (!node->children.empty()) return platform::kDirNotEmpty;
  if ((node->attributes & platform::kAttrReadOnly) != 0) return platform::kAccessDenied;
  Parent(parsed, status)->children.erase(text::ToUpper(parsed.parts.back()));
  return platform::kSuccess;
}

Status SimFileSystem::DeleteLater(const std::string& path) {
  Parsed parsed;
  if (const Status st = Parse(path, false, parsed); st != platform::kSuccess) return st;
  if (parsed.hasStream || parsed.parts.empty()) return platform::kInvalidName;
  Status status = platform::kSuccess;
  if (Injected(FileOp::DeleteLater, parsed, status)) return status;
  if (Lookup(parsed, status) == nullptr) return status;
  pendingDeletions_.push_back(parsed.full);
  return platform::kSuccess;
}

void SimFileSystem::Restart() {
  for (const std::string& path : pendingDeletions_) {
    const Node* node = LookupPath(path);
    if (node != nullptr && (!node->IsDirectory() || node->children.empty())) Remove(path);
  }
  pendingDeletions_.clear();
}

Status SimFileSystem::ProtectFolder(const std::string& path) {
  Parsed parsed;
  Status status = platform::kSuccess;
  Node* node = Target(path, FileOp::ProtectFolder, parsed, status);
  if (node == nullptr) return status;
  node->security = SimSecurity{platform::kSidAdministrators, ProtectedEntries(), {}, true};
  ResetBelow(*node, platform::kSidAdministrators);
  return platform::kSuccess;
}

Status SimFileSystem::FlushFile(const std::string& path) {
  Parsed parsed;
  Status status = platform::kSuccess;
  Node* node = Target(path, FileOp::Flush, parsed, status);
  if (node == nullptr) return status;
  // Opened for writing: refused for a folder and for a read-only file.
  if (node->IsDirectory() || (node->attributes & platform::kAttrReadOnly) != 0) return platform::kAccessDenied;
  node->unflushed = false;
  return platform::kSuccess;
}

void SimFileSystem::PowerCut() {
  std::vector<Node*> folders;
  for (auto& [letter, root] : drives_) folders.push_back(root.get());
  while (!folders.empty()) {
    Node* folder = folders.back();
    folders.pop_back();
    for (auto& [folded, child] : folder->children) {
      if (child->IsDirectory()) folders.push_back(child.get());
      if (child->unflushed) child->content.clear();
      child->unflushed = false;
    }
  }
}

Status SimFileSystem::CancelDeleteLater(const std::string& path) {
  Parsed parsed;
  if (const Status st = Parse(path, false, parsed); st != platform::kSuccess) return st;
  const std::string folder = text::ToUpper(parsed.full) + "\\";
  std::erase_if(pendingDeletions_, [&](const std::string& pending) {
    return text::EqualsNoCase(pending, parsed.full) || text::ToUpper(pending).starts_with(folder);
  });
  return platform::kSuccess;
}

Status SimFileSystem::ProtectPrivateFolder(const std::string& path) {
  Parsed parsed;
  Status status = platform::kSuccess;
  Node* node = Target(path, FileOp::ProtectFolder, parsed, status);
  if (node == nullptr) return status;
  node->security = SimSecurity{platform::kSidAdministrators, PrivateEntries(), {}, true};
  ResetBelow(*node, platform::kSidAdministrators);
  return platform::kSuccess;
}

Status SimFileSystem::SetOwner(const std::string& path, const std::string& sid) {
  Parsed parsed;
  Status status = platform::kSuccess;
  Node* node = Target(path, FileOp::SetOwner, parsed, status);
  if (node == nullptr) return status;
  node->security.owner = sid;
  return platform::kSuccess;
}

Status SimFileSystem::ReadSecurity(const std::string& path, platform::FileSecurity& security) {
  security = platform::FileSecurity{};
  Parsed parsed;
  Status status = platform::kSuccess;
  const Node* node = Target(path, FileOp::ReadSecurity, parsed, status);
  if (node == nullptr) return status;
  security.owner = node->security.owner;
  for (const auto* list : {&node->security.explicitEntries, &node->security.inherited}) {
    for (const SimAce& ace : *list) {
      security.entries.push_back(platform::AccessEntry{ace.sid, ace.allow, platform::MapGenericFileRights(ace.mask),
                                                       (ace.flags & kInheritOnly) != 0});
    }
  }
  return platform::kSuccess;
}

bool SimFileSystem::SetCurrentDirectory(const std::string& path) {
  Parsed parsed;
  if (Parse(path, false, parsed) != platform::kSuccess || parsed.hasStream) return false;
  Status status = platform::kSuccess;
  const Node* node = Lookup(parsed, status);
  if (node == nullptr || !node->IsDirectory()) return false;
  currentDirectory_ = parsed.full;
  return true;
}

void SimFileSystem::FailOn(FileOp op, const std::string& path, Status status, int times) {
  Parsed parsed;
  const std::string key = Parse(path, op == FileOp::Find, parsed) == platform::kSuccess ? parsed.full : path;
  failures_.push_back(Failure{op, text::ToUpper(key), status, times});
}

void SimFileSystem::ClearFailures() { failures_.clear(); }

bool SimFileSystem::MakeDirectories(const std::string& path) {
  Parsed parsed;
  if (Parse(path, false, parsed) != platform::kSuccess || parsed.hasStream) return false;
  const auto drive = drives_.find(parsed.drive);
  if (drive == drives_.end()) return false;
  Node* node = drive->second.get();
  for (const std::string& part : parsed.parts) {
    auto& slot = node->children[text::ToUpper(part)];
    if (!slot) {
      slot = std::make_unique<Node>();
      slot->name = part;
      slot->attributes = platform::kAttrDirectory;
      slot->security = NewSecurity(*node, true, creatorOwner_);
    }
    if (!slot->IsDirectory()) return false;
    node = slot.get();
  }
  return true;
}

bool SimFileSystem::WriteFile(const std::string& path, const std::string& content, std::uint32_t attributes) {
  Parsed parsed;
  if (Parse(path, false, parsed) != platform::kSuccess || parsed.hasStream || parsed.parts.empty()) return false;
  const std::size_t cut = parsed.full.rfind('\\');
  if (!MakeDirectories(parsed.full.substr(0, cut + 1))) return false;
  Status status = platform::kSuccess;
  Node* parent = Parent(parsed, status);
  if (parent == nullptr) return false;
  auto& slot = parent->children[text::ToUpper(parsed.parts.back())];
  if (slot && slot->IsDirectory()) return false;
  if (!slot) {
    slot = std::make_unique<Node>();
    slot->name = parsed.parts.back();
    slot->security = NewSecurity(*parent, false, creatorOwner_);
  }
  slot->content = content;
  slot->attributes = attributes & ~platform::kAttrDirectory & ~platform::kAttrNormal;
  return true;
}

std::optional<std::string> SimFileSystem::ReadFile(const std::string& path) const {
  const Node* node = LookupPath(path);
  if (node == nullptr || node->IsDirectory()) return std::nullopt;
  return node->content;
}

bool SimFileSystem::Exists(const std::string& path) const { return LookupPath(path) != nullptr; }

bool SimFileSystem::IsDirectory(const std::string& path) const {
  const Node* node = LookupPath(path);
  return node != nullptr && node->IsDirectory();
}

std::optional<std::uint32_t> SimFileSystem::Attributes(const std::string& path) const {
  const Node* node = LookupPath(path);
  if (node == nullptr) return std::nullopt;
  return node->attributes;
}

std::optional<Acl> SimFileSystem::AclOf(const std::string& path) const {
  const Node* node = LookupPath(path);
  if (node == nullptr) return std::nullopt;
  const SimSecurity& security = node->security;
  const std::vector<SimAce> wanted = ProtectedEntries();
  if (security.isProtected) {
    return security.explicitEntries == wanted && security.inherited.empty() ? Acl::kProtected : Acl::kOther;
  }
  // Inherited, the entries keep their rights; their flags depend on whether a file or a folder took them.
  const auto sameRights = [](const SimAce& a, const SimAce& b) {
    return a.sid == b.sid && a.allow == b.allow && a.mask == b.mask && (a.flags & kInheritOnly) == 0;
  };
  const bool inherits = security.explicitEntries.empty() && security.inherited.size() == wanted.size() &&
                        std::equal(wanted.begin(), wanted.end(), security.inherited.begin(), sameRights);
  return inherits ? Acl::kInheritsProtected : Acl::kOrdinary;
}

std::optional<SimSecurity> SimFileSystem::SecurityOf(const std::string& path) const {
  const Node* node = LookupPath(path);
  if (node == nullptr) return std::nullopt;
  return node->security;
}

bool SimFileSystem::SetSecurity(const std::string& path, const std::string& owner, std::vector<SimAce> explicitEntries,
                                bool isProtected) {
  Parsed parsed;
  if (Parse(path, false, parsed) != platform::kSuccess || parsed.hasStream) return false;
  Status status = platform::kSuccess;
  Node* node = Lookup(parsed, status);
  if (node == nullptr) return false;
  SimSecurity& security = node->security;
  security.owner = owner;
  security.explicitEntries = std::move(explicitEntries);
  security.isProtected = isProtected;
  if (isProtected) {
    security.inherited.clear();
  } else if (!parsed.parts.empty()) {
    const Node* parent = Parent(parsed, status);
    security.inherited = NewSecurity(*parent, node->IsDirectory(), owner).inherited;
  }
  if (node->IsDirectory()) PropagateInheritance(*node);
  return true;
}

bool SimFileSystem::MakeFolderAs(const std::string& path, const std::string& owner,
                                 std::vector<SimAce> explicitEntries) {
  return MakeDirectories(path) && SetSecurity(path, owner, std::move(explicitEntries));
}

bool SimFileSystem::MakeFileLink(const std::string& path) {
  if (!WriteFile(path, "")) return false;
  LookupPath(path)->attributes |= platform::kAttrReparsePoint;
  return true;
}

bool SimFileSystem::MakeHardLink(const std::string& existing, const std::string& path) {
  Node* original = LookupPath(existing);
  if (original == nullptr || original->IsDirectory() || Exists(path) || !WriteFile(path, original->content)) {
    return false;
  }
  Node* second = LookupPath(path);
  second->security = original->security;
  second->links = ++original->links;
  return true;
}

std::uint32_t SimFileSystem::LinkCount(const std::string& path) const {
  const Node* node = LookupPath(path);
  return node == nullptr ? 0 : node->links;
}

bool SimFileSystem::MakeJunction(const std::string& path) {
  if (!MakeDirectories(path)) return false;
  LookupPath(path)->attributes |= platform::kAttrReparsePoint;
  return true;
}

std::optional<std::string> SimFileSystem::StoredName(const std::string& path) const {
  const Node* node = LookupPath(path);
  if (node == nullptr) return std::nullopt;
  return node->name;
}

bool SimFileSystem::AddStream(const std::string& path, const std::string& stream, const std::string& content) {
  Node* node = LookupPath(path);
  if (node == nullptr || node->IsDirectory() || stream.empty()) return false;
  node->streams[text::ToUpper(stream)] = {stream, content};
  return true;
}

bool SimFileSystem::HasStream(const std::string& path, const std::string& stream) const {
  const Node* node = LookupPath(path);
  return node != nullptr && node->streams.count(text::ToUpper(stream)) != 0;
}

std::optional<std::string> SimFileSystem::ReadStream(const std::string& path, const std::string& stream) const {
  const Node* node = LookupPath(path);
  if (node == nullptr) return std::nullopt;
  const auto it = node->streams.find(text::ToUpper(stream));
  if (it == node->streams.end()) return std::nullopt;
  return it->second.second;
}

bool SimFileSystem::Remove(const std::string& path) {
  Parsed parsed;
  if (Parse(path, false, parsed) != platform::kSuccess || parsed.hasStream || parsed.parts.empty()) return false;
  Status status = platform::kSuccess;
  Node* parent = Parent(parsed, status);
  return parent != nullptr && parent->children.erase(text::ToUpper(parsed.parts.back())) != 0;
}

namespace {
void Collect(const SimFileSystem::Node& node, const std::string& prefix, std::vector<std::string>& out);
}

std::vector<std::string> SimFileSystem::Tree(const std::string& path) const {
  std::vector<std::string> out;
  if (path.empty()) {
    for (const auto& [letter, root] : drives_) Collect(*root, std::string(1, letter) + ":\\", out);
    return out;
  }
  const Node* node = LookupPath(path);
  if (node == nullptr) return out;
  Parsed parsed;
  Parse(path, false, parsed);
  if (!node->IsDirectory()) {
    out.push_back(parsed.full);
    return out;
  }
  Collect(*node, parsed.parts.empty() ? parsed.full : parsed.full + "\\", out);
  return out;
}

std::vector<SimAce> UsualRootEntries() {
  using platform::kSidAuthenticatedUsers;
  // Modify, written as the system writes it on the root: delete and the generic rights.
  constexpr std::uint32_t kModifyGeneric =
      platform::kRightDelete | platform::kGenericExecute | platform::kGenericWrite | platform::kGenericRead;
  constexpr std::uint32_t kAddSubdirectory = 0x4;  // FILE_ADD_SUBDIRECTORY
  std::vector<SimAce> entries = ProtectedEntries();
  entries.push_back({kSidAuthenticatedUsers, true, kModifyGeneric, kObjectInherit | kContainerInherit | kInheritOnly});
  entries.push_back({kSidAuthenticatedUsers, true, kAddSubdirectory, 0});
  return entries;
}

std::vector<SimAce> PrivateEntries() {
  std::vector<SimAce> entries = ProtectedEntries();
  entries.pop_back();  // Users
  return entries;
}

std::vector<SimAce> ProtectedEntries() {
  constexpr std::uint8_t kBoth = kObjectInherit | kContainerInherit;
  return {{platform::kSidAdministrators, true, platform::kFileAllAccess, kBoth},
          {platform::kSidSystem, true, platform::kFileAllAccess, kBoth},
          {platform::kSidUsers, true, platform::kFileGenericRead | platform::kFileGenericExecute, kBoth}};
}

namespace {
SimSecurity NewSecurity(const SimFileSystem::Node& folder, bool directory, const std::string& owner) {
  SimSecurity security;
  security.owner = owner;
  for (const auto* list : {&folder.security.explicitEntries, &folder.security.inherited}) {
    for (const SimAce& ace : *list) {
      const bool toFiles = (ace.flags & kObjectInherit) != 0;
      const bool toFolders = (ace.flags & kContainerInherit) != 0;
      SimAce taken = ace;
      if (!directory) {
        if (!toFiles) continue;
        taken.flags = 0;
      } else if (toFolders) {
        taken.flags = ace.flags & (kObjectInherit | kContainerInherit);
      } else if (toFiles) {
        // Not for the folder itself, but carried on to the files in it.
        taken.flags = kObjectInherit | kInheritOnly;
      } else {
        continue;
      }
      // An entry that applies holds file rights, as the system maps them when it passes the entry on.
      if ((taken.flags & kInheritOnly) == 0) taken.mask = platform::MapGenericFileRights(taken.mask);
      security.inherited.push_back(std::move(taken));
    }
  }
  return security;
}

void PropagateInheritance(SimFileSystem::Node& folder) {
  for (auto& [folded, child] : folder.children) {
    if (child->security.isProtected) continue;
    child->security.inherited = NewSecurity(folder, child->IsDirectory(), child->security.owner).inherited;
    PropagateInheritance(*child);
  }
}

void ResetBelow(SimFileSystem::Node& folder, const std::string& owner) {
  for (auto& [folded, child] : folder.children) {
    child->security = NewSecurity(folder, child->IsDirectory(), owner);
    if ((child->attributes & platform::kAttrReparsePoint) == 0) ResetBelow(*child, owner);
  }
}

void Collect(const SimFileSystem::Node& node, const std::string& prefix, std::vector<std::string>& out) {
  for (const auto& [folded, child] : node.children) {
    if (child->IsDirectory()) {
      out.push_back(prefix + child->name + "\\");
      Collect(*child, prefix + child->name + "\\", out);
    } else {
      out.push_back(prefix + child->name);
    }
  }
}
}  // namespace

}  // namespace sim
