// The journal's lines, its reader and its writer.
#include "records/journal.h"

#include <algorithm>
#include <limits>
#include <string>
#include <type_traits>
#include <utility>

#include "records/install_log.h"
#include "platform/utf8_text.h"

namespace install {
namespace {

constexpr std::u8string_view kByteOrderMark = u8"\uFEFF";
constexpr std::u8string_view kLineEnd = u8"\r\n";
constexpr char8_t kSeparator = u8'\t';
constexpr char8_t kEscape = u8'%';
// Ends a line that a power cut left without its line end: a lone escape character, which no
// reader accepts, so the torn line cannot be read as a whole record.
constexpr std::u8string_view kTornLineEnd = u8"%\r\n";
constexpr std::u8string_view kHeader =
    u8"# Vornex 安装记录：卸载程序据此撤销安装所做的更改，请勿修改。"
    u8"每行一项，字段以制表符分隔；字段中的“%XX”是以十六进制表示的一个字节。\r\n";

constexpr std::u8string_view kRun = u8"RUN";
constexpr std::u8string_view kFolder = u8"FOLDER";
constexpr std::u8string_view kFile = u8"FILE";
constexpr std::u8string_view kKey = u8"KEY";
constexpr std::u8string_view kValue = u8"VALUE";
constexpr std::u8string_view kTrusted = u8"TRUSTED";
constexpr std::u8string_view kSupport = u8"SUPPORT";
constexpr std::u8string_view kBackup = u8"BACKUP";
constexpr std::u8string_view kDone = u8"DONE";
// The keywords of ChangeKind, in its order, and how many fields each needs at least.
constexpr struct {
  std::u8string_view keyword;
  ChangeKind kind;
  std::size_t fields;
} kChangeKinds[] = {
    {u8"MADE", ChangeKind::kFileToMake, 1},   {u8"ASIDE", ChangeKind::kFileMovedAside, 2},
    {u8"DIR", ChangeKind::kFolderToMake, 1},  {u8"KEYNEW", ChangeKind::kKeyToMake, 2},
    {u8"WAS", ChangeKind::kValueBefore, 3},   {u8"END", ChangeKind::kRunEnded, 1},
};

constexpr std::u8string_view kLocalMachine = u8"HKEY_LOCAL_MACHINE";
constexpr std::u8string_view kCurrentUser = u8"HKEY_CURRENT_USER";
// The user field for whoever runs the installer: an SID always starts "S-", so it cannot be one.
constexpr std::u8string_view kRunningUser = u8"HKCU";
// A TRUSTED record's mark for a value the installation made.
constexpr std::u8string_view kNewValue = u8"NEW";
// A SUPPORT record's mark for a placement about to be made.
constexpr std::u8string_view kPlacing = u8"PLACING";

constexpr struct {
  std::uint32_t type;
  std::u8string_view name;
} kTypeNames[] = {
    {platform::kRegNone, u8"REG_NONE"},          {platform::kRegSz, u8"REG_SZ"},
    {platform::kRegExpandSz, u8"REG_EXPAND_SZ"}, {platform::kRegBinary, u8"REG_BINARY"},
    {platform::kRegDword, u8"REG_DWORD"},        {platform::kRegMultiSz, u8"REG_MULTI_SZ"},
    {platform::kRegQword, u8"REG_QWORD"},
};

bool ReadDecimal(std::u8string_view field, std::uint64_t maximum, std::uint64_t& value) {
  if (field.empty()) return false;
  value = 0;
  for (const char8_t c : field) {
    if (c < u8'0' || c > u8'9') return false;
    const auto digit = static_cast<std::uint64_t>(c - u8'0');
    if (value > (maximum - digit) / 10) return false;
    value = value * 10 + digit;
  }
  return true;
}

bool NeedsEscape(char8_t c) { return c < 0x20 || c == 0x7F || c == kEscape; }

void AppendField(std::u8string& line, std::u8string_view field) {
  static constexpr char8_t kHex[] = u8"0123456789ABCDEF";
  line += kSeparator;
  for (const char8_t c : field) {
    if (NeedsEscape(c)) {
      line += kEscape;
      line += kHex[c >> 4];
      line += kHex[c & 0xF];
    } else {
      line += c;
    }
  }
}

int HexDigit(char8_t c) {
  if (c >= u8'0' && c <= u8'9') return c - u8'0';
  if (c >= u8'A' && c <= u8'F') return c - u8'A' + 10;
  if (c >= u8'a' && c <= u8'f') return c - u8'a' + 10;
  return -1;
}

bool Unescape(std::u8string_view raw, std::u8string& field) {
  field.clear();
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const char8_t c = raw[i];
    if (c == kEscape) {
      if (raw.size() - i < 3) return false;
      const int high = HexDigit(raw[i + 1]);
      const int low = HexDigit(raw[i + 2]);
      if (high < 0 || low < 0) return false;
      field += static_cast<char8_t>(high * 16 + low);
      i += 2;
    } else if (NeedsEscape(c)) {
      return false;  // written escaped, so raw it is damage (a torn write leaves NULs)
    } else {
      field += c;
    }
  }
  return true;
}

std::u8string_view RootName(platform::RootKey root) {
  switch (root) {
    case platform::RootKey::LocalMachine:
      return kLocalMachine;
    case platform::RootKey::CurrentUser:
      return kCurrentUser;
  }
  return {};
}

bool ReadRoot(std::u8string_view field, platform::RootKey& root) {
  for (const platform::RootKey candidate : {platform::RootKey::LocalMachine, platform::RootKey::CurrentUser}) {
    if (field == RootName(candidate)) {
      root = candidate;
      return true;
    }
  }
  return false;
}

std::u8string TypeName(std::uint32_t type) {
  for (const auto& known : kTypeNames) {
    if (known.type == type) return std::u8string(known.name);
  }
  return text::Decimal(type);
}

bool ReadType(std::u8string_view field, std::uint32_t& type) {
  for (const auto& known : kTypeNames) {
    if (known.name == field) {
      type = known.type;
      return true;
    }
  }
  std::uint64_t number = 0;
  if (!ReadDecimal(field, std::numeric_limits<std::uint32_t>::max(), number)) return false;
  type = static_cast<std::uint32_t>(number);
  return true;
}

bool ReadSize(std::u8string_view field, std::uint64_t& size) {
  return ReadDecimal(field, std::numeric_limits<std::uint64_t>::max(), size);
}

// A record's kind and fields, in the order they are written.
struct Fields {
  std::u8string_view kind;
  std::vector<std::u8string> values;
};

Fields FieldsOf(const JournalRecord& record) {
  return std::visit(
      [](const auto& r) -> Fields {
        using R = std::decay_t<decltype(r)>;
        if constexpr (std::is_same_v<R, RunStarted>) {
          Fields fields{kRun, {r.time, r.version}};
          if (r.journalSizeBefore) fields.values.push_back(text::Decimal(*r.journalSizeBefore));
          return fields;
        } else if constexpr (std::is_same_v<R, FolderCreated>) {
          return {kFolder, {r.path}};
        } else if constexpr (std::is_same_v<R, FileCopied>) {
          return {kFile, {r.path, text::Decimal(r.size)}};
        } else if constexpr (std::is_same_v<R, KeyWritten>) {
          return {kKey, {std::u8string(RootName(r.root)), r.keyPath}};
        } else if constexpr (std::is_same_v<R, ValueWritten>) {
          Fields fields{kValue, {std::u8string(RootName(r.root)), r.keyPath, r.name, TypeName(r.type)}};
          if (r.data) fields.values.push_back(*r.data);
          return fields;
        } else if constexpr (std::is_same_v<R, TrustedPathAdded>) {
          Fields fields{kTrusted, {r.userSid.value_or(std::u8string(kRunningUser)), r.profileKey, r.entry}};
          if (r.created) fields.values.emplace_back(kNewValue);
          return fields;
        } else if constexpr (std::is_same_v<R, SupportFilePlaced>) {
          Fields fields{kSupport, {r.path, text::Decimal(r.size), r.digest}};
          if (r.placing) fields.values.emplace_back(kPlacing);
          return fields;
        } else if constexpr (std::is_same_v<R, OriginalBackedUp>) {
          return {kBackup, {r.original, r.backup}};
        } else if constexpr (std::is_same_v<R, ChangeRecord>) {
          return {kChangeKinds[static_cast<std::size_t>(r.kind)].keyword, r.fields};
        } else {
          static_assert(std::is_same_v<R, UnknownRecord>);
          return {r.kind, r.fields};
        }
      },
      record);
}

// The record a known kind makes of its fields (`f[0]` is the kind); none when they do not read.
std::optional<JournalRecord> KnownRecord(const std::vector<std::u8string>& f) {
  const std::u8string_view kind = f[0];
  const std::size_t n = f.size();
  std::uint64_t size = 0;
  platform::RootKey root{};
  if (kind == kRun) {
    if (n >= 3) {
      std::optional<std::uint64_t> before;
      if (n >= 4 && ReadSize(f[3], size)) before = size;
      return RunStarted{f[1], f[2], before};
    }
  } else if (kind == kFolder) {
    if (n >= 2) return FolderCreated{f[1]};
  } else if (kind == kFile) {
    if (n >= 3 && ReadSize(f[2], size)) return FileCopied{f[1], size};
  } else if (kind == kKey) {
    if (n >= 3 && ReadRoot(f[1], root)) return KeyWritten{root, f[2]};
  } else if (kind == kValue) {
    std::uint32_t type = 0;
    if (n >= 5 && ReadRoot(f[1], root) && ReadType(f[4], type)) {
      return ValueWritten{root, f[2], f[3], type, n >= 6 ? std::optional<std::u8string>(f[5]) : std::nullopt};
    }
  } else if (kind == kTrusted) {
    if (n >= 4) {
      std::optional<std::u8string> sid;
      if (f[1] != kRunningUser) sid = f[1];
      return TrustedPathAdded{sid, f[2], f[3], n >= 5 && f[4] == kNewValue};
    }
  } else if (kind == kSupport) {
    if (n >= 3 && ReadSize(f[2], size)) {
      return SupportFilePlaced{f[1], size, n >= 4 ? f[3] : std::u8string(), n >= 5 && f[4] == kPlacing};
    }
  } else if (kind == kBackup) {
    if (n >= 3) return OriginalBackedUp{f[1], f[2]};
  } else if (const auto change = std::find_if(std::begin(kChangeKinds), std::end(kChangeKinds),
                                             [kind](const auto& known) { return known.keyword == kind; });
             change != std::end(kChangeKinds)) {
    // A WAS holds the value's type and data, or neither (there was no such value); END says DONE.
    std::uint32_t type = 0;
    const bool valid = n > change->fields &&
                       (change->kind != ChangeKind::kValueBefore || n == 4 || (n >= 6 && ReadType(f[4], type))) &&
                       (change->kind != ChangeKind::kRunEnded || f[1] == kDone);
    if (valid) return ChangeRecord{change->kind, std::vector<std::u8string>(f.begin() + 1, f.end())};
  } else {
    return UnknownRecord{f[0], std::vector<std::u8string>(f.begin() + 1, f.end())};
  }
  return std::nullopt;
}

bool IsPlacementKind(const JournalRecord& record) {
  return std::holds_alternative<SupportFilePlaced>(record) || std::holds_alternative<OriginalBackedUp>(record);
}

}  // namespace

std::u8string ValueTypeName(std::uint32_t type) { return TypeName(type); }
bool ReadValueType(std::u8string_view field, std::uint32_t& type) { return ReadType(field, type); }

bool PlacedFileHistory::IsAddOns(std::u8string_view content) const {
  std::u8string digest;
  for (const SupportFilePlaced& placed : placements) {
    if (placed.size != content.size()) continue;
    if (placed.digest.empty()) return true;
    if (digest.empty()) digest = ContentDigest(content);
    if (digest == placed.digest) return true;
  }
  return false;
}

PlacedFileHistory HistoryOf(const std::vector<JournalRecord>& records, std::u8string_view path) {
  PlacedFileHistory history;
  for (const JournalRecord& record : records) {
    if (const auto* placed = std::get_if<SupportFilePlaced>(&record)) {
      if (!text::EqualsNoCaseUtf8(placed->path, path)) continue;
      history.placements.push_back(*placed);
      history.placing = placed->placing;
    } else if (const auto* backup = std::get_if<OriginalBackedUp>(&record)) {
      if (text::EqualsNoCaseUtf8(backup->original, path)) history.backups.push_back(backup->backup);
    }
  }
  return history;
}

std::u8string JournalPath(std::u8string_view installFolder) {
  std::u8string path(installFolder);
  if (!path.empty() && path.back() != u8'\\') path += u8'\\';
  return path + kJournalFileName;
}

std::u8string NewJournalPath(std::u8string_view installFolder) { return JournalPath(installFolder) + u8".new"; }

platform::Status RewriteJournal(platform::LogSupport& machine, std::u8string_view installFolder,
                                const std::vector<JournalRecord>& records) {
  const std::u8string path = NewJournalPath(installFolder);
  platform::Status status = machine.files.Truncate(path, 0);
  if (status != platform::kSuccess && status != platform::kFileNotFound) return status;
  std::u8string whole = std::u8string(kByteOrderMark) + std::u8string(kHeader);
  for (const JournalRecord& record : records) whole += FormatJournalLine(record);
  {
    std::unique_ptr<platform::AppendedFile> file;
    std::uint64_t sizeBefore = 0;
    status = machine.files.OpenForAppend(path, platform::Durability::kWriteThrough, file, sizeBefore);
    if (status == platform::kSuccess) status = sizeBefore == 0 ? file->Append(whole) : platform::kAccessDenied;
  }  // closed before it is renamed
  return status == platform::kSuccess ? machine.files.Replace(path, JournalPath(installFolder)) : status;
}

std::u8string ContentDigest(std::u8string_view content) {
  std::uint64_t hash = 0xCBF29CE484222325u;  // the FNV offset basis
  for (const char8_t byte : content) {
    hash ^= byte;
    hash *= 0x100000001B3u;  // the FNV prime
  }
  static constexpr char8_t kHex[] = u8"0123456789ABCDEF";
  std::u8string digits(16, u8'0');
  for (std::size_t i = digits.size(); i-- > 0; hash >>= 4) digits[i] = kHex[hash & 0xF];
  return digits;
}

std::u8string FormatJournalLine(const JournalRecord& record) {
  const Fields fields = FieldsOf(record);
  std::u8string line;
  AppendField(line, fields.kind);
  for (const std::u8string& value : fields.values) AppendField(line, value);
  line.erase(0, 1);  // the separator before the kind
  return line + std::u8string(kLineEnd);
}

std::optional<JournalRecord> ParseJournalLine(std::u8string_view line) {
  std::vector<std::u8string> fields;
  for (std::size_t start = 0;;) {
    const std::size_t end = std::min(line.find(kSeparator, start), line.size());
    if (!Unescape(line.substr(start, end - start), fields.emplace_back())) return std::nullopt;
    if (end == line.size()) break;
    start = end + 1;
  }
  if (fields[0].empty()) return std::nullopt;
  return KnownRecord(fields);
}

JournalContents ParseJournal(std::u8string_view text) {
  JournalContents contents;
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  while (!text.empty()) {
    const std::size_t end = text.find(u8'\n');
    if (end == std::u8string_view::npos) {  // cut short: its end never reached the disk
      ++contents.damagedLines;
      break;
    }
    std::u8string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (line.ends_with(u8'\r')) line.remove_suffix(1);
    if (line.empty() || line.starts_with(u8'#')) continue;
    if (std::optional<JournalRecord> record = ParseJournalLine(line)) {
      contents.records.push_back(std::move(*record));
    } else {
      ++contents.damagedLines;
    }
  }
  return contents;
}

platform::Status ReadJournal(platform::AppendFiles& files, std::u8string_view installFolder,
                             JournalContents& contents) {
  contents = {};
  std::u8string text;
  const platform::Status read = files.ReadWhole(JournalPath(installFolder), text);
  if (read == platform::kSuccess) contents = ParseJournal(text);
  return read;
}

platform::Status JournalWriter::Start(std::u8string_view installFolder, std::u8string_view version) {
  m_file.reset();
  m_arrPlaced.clear();
  m_nBackups = 0;
  m_strFolder = installFolder;
  const std::u8string path = JournalPath(installFolder);

  std::u8string earlier;
  const platform::Status read = m_machine.files.ReadWhole(path, earlier);
  if (read != platform::kSuccess && read != platform::kFileNotFound) return read;
  const JournalContents contents = ParseJournal(earlier);
  for (const JournalRecord& record : contents.records) {
    if (IsPlacementKind(record)) m_arrPlaced.push_back(record);
    if (std::holds_alternative<OriginalBackedUp>(record)) ++m_nBackups;
  }

  std::unique_ptr<platform::AppendedFile> file;
  std::uint64_t sizeBefore = 0;
  const platform::Status opened = m_machine.files.OpenForAppend(path, platform::Durability::kWriteThrough, file, sizeBefore);
  if (opened != platform::kSuccess) return opened;
  std::u8string opening;
  if (sizeBefore == 0) {
    opening = std::u8string(kByteOrderMark) + std::u8string(kHeader);
  } else if (!earlier.ends_with(u8'\n')) {
    opening = kTornLineEnd;
  }
  m_nSizeBefore = sizeBefore;
  opening += FormatJournalLine(RunStarted{FormatTimestamp(m_machine.clock.Now()), std::u8string(version), sizeBefore});
  const platform::Status written = file->Append(opening);
  if (written == platform::kSuccess) m_file = std::move(file);
  return written;
}

platform::Status JournalWriter::Record(const JournalRecord& record) {
  if (!m_file) return platform::kInvalidHandle;
  const platform::Status written = m_file->Append(FormatJournalLine(record));
  if (written == platform::kSuccess && IsPlacementKind(record)) {
    m_arrPlaced.push_back(record);
    if (std::holds_alternative<OriginalBackedUp>(record)) ++m_nBackups;
  }
  return written;
}

std::u8string JournalWriter::BackupPathFor(std::u8string_view originalPath, unsigned skip) const {
  const std::size_t slash = originalPath.find_last_of(u8"\\/");
  const std::u8string_view name = slash == std::u8string_view::npos ? originalPath : originalPath.substr(slash + 1);
  std::u8string path = m_strFolder;
  if (!path.empty() && path.back() != u8'\\') path += u8'\\';
  return path + kBackupFolderName + u8"\\" + text::Decimal(m_nBackups + 1 + skip) + u8"\\" + std::u8string(name);
}

}  // namespace install
