// .reg text reader and writer for the simulated registry.
#include "platform/sim/reg_file.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/utf16.h"
#include "platform/text.h"

namespace sim {

using platform::RegValue;
using platform::RootKey;

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";

RegFileResult Fail(std::size_t line, std::string message) { return RegFileResult{false, line, std::move(message)}; }

// ---- encodings ----

std::string_view AsChars(std::u8string_view s) { return {reinterpret_cast<const char*>(s.data()), s.size()}; }
std::u8string_view AsU8(std::string_view s) { return {reinterpret_cast<const char8_t*>(s.data()), s.size()}; }

// UTF-16LE bytes to UTF-8; nullopt on an odd length or a broken surrogate pair.
std::optional<std::string> Utf16LeToUtf8(const std::uint8_t* data, std::size_t size) {
  if (size % 2 != 0) return std::nullopt;
  std::u16string units;
  units.reserve(size / 2);
  for (std::size_t i = 0; i < size; i += 2) units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  const std::optional<std::u8string> utf8 = Utf16ToUtf8(units);
  if (!utf8) return std::nullopt;
  return std::string(AsChars(*utf8));
}

bool IsValidUtf8(std::string_view s) { return Utf8ToUtf16(AsU8(s)).has_value(); }

std::u8string_view AsU8Data(const std::vector<std::uint8_t>& data) {
  return {reinterpret_cast<const char8_t*>(data.data()), data.size()};
}

// ---- reading ----

// UTF-16 files are real exports and may hold any Unicode text; hand-written UTF-8 fixtures show
// what the ANSI functions see, so their text must have a form in the ANSI code page.
enum class Encoding { Utf16, Utf8, Ansi };

class Reader {
 public:
  Reader(SimRegistry& registry, Encoding encoding) : registry_(registry), encoding_(encoding) {}

  RegFileResult Run(std::string_view text);

 private:
  RegFileResult KeyLine(std::string_view line);
  RegFileResult ValueLine(std::string_view line);
  // Parses a quoted string at `pos` (on the opening quote); leaves `pos` after the closing one.
  bool Quoted(std::string_view line, std::size_t& pos, std::string& out, std::string& error) const;
  // A key or value name as the registry stores it (Unicode); false when it may not be used.
  bool Name(std::string_view s, std::u8string& out) const;
  // String data as the registry stores it: ANSI bytes when the text has that form, Unicode
  // (`unicode` set) when only a UTF-16 file may hold it. `utf8` tells whether `s` is UTF-8 or
  // bytes in the file's own encoding.
  bool StringData(std::string_view s, bool utf8, std::vector<std::uint8_t>& data, bool& unicode) const;
  std::size_t LastOf(std::string_view s, char ch) const;

  SimRegistry& registry_;
  Encoding encoding_;
  bool version5_ = false;
  std::size_t lineNo_ = 0;
  enum class Section { None, Key, Deleted } section_ = Section::None;
  RegRoot root_ = RootKey::LocalMachine;
  std::u8string path_;
};

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}
std::string_view Trim(std::string_view s) {
  s = TrimLeft(s);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}
bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && text::EqualsNoCase(s.substr(0, prefix.size()), prefix);
}
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Reader::Name(std::string_view s, std::u8string& out) const {
  if (encoding_ == Encoding::Ansi) {
    out = text::AnsiToU8(s);
    return true;
  }
  std::string ansi;
  if (encoding_ == Encoding::Utf8 && !text::Utf8ToAnsi(s, ansi)) return false;
  out = AsU8(s);
  return true;
}

bool Reader::StringData(std::string_view s, bool utf8, std::vector<std::uint8_t>& data, bool& unicode) const {
  unicode = false;
  if (!utf8 && encoding_ == Encoding::Ansi) {
    data.assign(s.begin(), s.end());
    return true;
  }
  std::string ansi;
  if (text::Utf8ToAnsi(s, ansi)) {
    data.assign(ansi.begin(), ansi.end());
    return true;
  }
  if (encoding_ != Encoding::Utf16) return false;
  data.assign(s.begin(), s.end());
  unicode = true;
  return true;
}

std::size_t Reader::LastOf(std::string_view s, char ch) const {
  // In ANSI text a trail byte may equal the character; UTF-8 never reuses ASCII bytes.
  return encoding_ == Encoding::Ansi ? text::ReverseFind(s, ch) : s.rfind(ch);
}

RegFileResult Reader::Run(std::string_view textIn) {
  // Split into physical lines, then join continuations (a line ending in a backslash).
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start <= textIn.size();) {
    std::size_t end = textIn.find('\n', start);
    if (end == std::string_view::npos) end = textIn.size();
    std::string_view line = textIn.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }

  bool headerSeen = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    lineNo_ = i + 1;
    std::string_view line = Trim(lines[i]);
    if (!headerSeen) {
      if (line.empty()) continue;
      if (line == kHeader5) {
        version5_ = true;
      } else if (line != kHeader4) {
        return Fail(lineNo_, "not a registry file: the first line must be \"Windows Registry Editor Version 5.00\" "
                             "or \"REGEDIT4\"");
      }
      headerSeen = true;
      continue;
    }
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      if (RegFileResult r = KeyLine(line); !r) return r;
      continue;
    }
    if (line.front() == '"' || line.front() == '@') {
      std::string joined(line);
      while (!joined.empty() && LastOf(joined, '\\') == joined.size() - 1 && i + 1 < lines.size()) {
        joined.pop_back();
        joined.append(Trim(lines[++i]));
      }
      if (RegFileResult r = ValueLine(joined); !r) return r;
      continue;
    }
    return Fail(lineNo_, "unexpected text: " + std::string(line.substr(0, 40)));
  }
  if (!headerSeen) return Fail(1, "empty file: no registry header");
  return {};
}

RegFileResult Reader::KeyLine(std::string_view line) {
  const std::size_t close = LastOf(line, ']');
  if (close == std::string_view::npos) return Fail(lineNo_, "key line without ']'");
  const std::string_view rest = Trim(line.substr(close + 1));
  if (!rest.empty() && rest.front() != ';') return Fail(lineNo_, "text after the key name");
  std::string_view inner = line.substr(1, close - 1);
  const bool remove = !inner.empty() && inner.front() == '-';
  if (remove) inner.remove_prefix(1);

  const std::size_t slash = inner.find('\\');
  const std::string_view rootName = inner.substr(0, slash);
  std::string_view sub = slash == std::string_view::npos ? std::string_view{} : inner.substr(slash + 1);
  if (text::EqualsNoCase(rootName, "HKEY_LOCAL_MACHINE") || text::EqualsNoCase(rootName, "HKLM")) {
    root_ = RootKey::LocalMachine;
  } else if (text::EqualsNoCase(rootName, "HKEY_CURRENT_USER") || text::EqualsNoCase(rootName, "HKCU")) {
    root_ = RootKey::CurrentUser;
  } else if (text::EqualsNoCase(rootName, "HKEY_USERS") || text::EqualsNoCase(rootName, "HKU")) {
    root_ = kUsers;
  } else {
    return Fail(lineNo_, "unsupported root key \"" + std::string(rootName.substr(0, 40)) + "\"");
  }
  while (!sub.empty() && LastOf(sub, '\\') == sub.size() - 1) sub.remove_suffix(1);
  if (!Name(sub, path_)) return Fail(lineNo_, "key name has no form in the ANSI code page");

  if (remove) {
    if (!path_.empty()) registry_.DeleteTree(root_, path_);
    section_ = Section::Deleted;
    return {};
  }
  if (!registry_.CreatePath(root_, path_)) {
    return Fail(lineNo_, "key cannot be created (a name over 255 characters, an empty level or too deep)");
  }
  section_ = Section::Key;
  return {};
}

bool Reader::Quoted(std::string_view line, std::size_t& pos, std::string& out, std::string& error) const {
  out.clear();
  ++pos;  // the opening quote
  while (pos < line.size()) {
    const char c = line[pos];
    if (encoding_ == Encoding::Ansi && text::IsLeadByte(static_cast<unsigned char>(c)) && pos + 1 < line.size()) {
      out.append(line.substr(pos, 2));
      pos += 2;
      continue;
    }
    if (c == '"') {
      ++pos;
      return true;
    }
    if (c == '\\') {
      if (pos + 1 >= line.size() || (line[pos + 1] != '\\' && line[pos + 1] != '"')) {
        error = "unknown escape in a quoted string (only \\\\ and \\\" are allowed)";
        return false;
      }
      out.push_back(line[pos + 1]);
      pos += 2;
      continue;
    }
    out.push_back(c);
    ++pos;
  }
  error = "quoted string without its closing quote";
  return false;
}

RegFileResult Reader::ValueLine(std::string_view line) {
  if (section_ == Section::None) return Fail(lineNo_, "value outside a key section");
  std::size_t pos = 0;
  std::string rawName;
  std::string error;
  if (line[0] == '@') {
    pos = 1;
  } else if (!Quoted(line, pos, rawName, error)) {
    return Fail(lineNo_, error);
  }
  std::string_view rest = TrimLeft(line.substr(pos));
  if (rest.empty() || rest.front() != '=') return Fail(lineNo_, "'=' expected after the value name");
  rest = Trim(rest.substr(1));
  std::u8string name;
  if (!Name(rawName, name)) return Fail(lineNo_, "value name has no form in the ANSI code page");

  if (rest == "-") {
    if (section_ == Section::Key) registry_.DeleteValue(root_, path_, name);
    return {};
  }

  RegValue value;
  bool unicode = false;
  if (!rest.empty() && rest.front() == '"') {
    std::size_t p = 0;
    std::string raw;
    if (!Quoted(rest, p, raw, error)) return Fail(lineNo_, error);
    if (!Trim(rest.substr(p)).empty()) return Fail(lineNo_, "text after the string value");
    if (!StringData(raw, false, value.data, unicode)) return Fail(lineNo_, "string has no form in the ANSI code page");
    value.type = platform::kRegSz;
    value.data.push_back(0);
  } else if (StartsWithNoCase(rest, "dword:")) {
    const std::string_view digits = rest.substr(6);
    if (digits.empty() || digits.size() > 8) return Fail(lineNo_, "dword needs 1 to 8 hex digits");
    std::uint32_t number = 0;
    for (const char c : digits) {
      const int d = HexDigit(c);
      if (d < 0) return Fail(lineNo_, "bad hex digit in a dword");
      number = (number << 4) | static_cast<std::uint32_t>(d);
    }
    value.type = platform::kRegDword;
    value.data = platform::DwordData(number);
  } else if (StartsWithNoCase(rest, "hex")) {
    std::string_view hexForm = rest.substr(3);
    value.type = platform::kRegBinary;
    if (!hexForm.empty() && hexForm.front() == '(') {
      const std::size_t close = hexForm.find(')');
      if (close == std::string_view::npos || close == 1 || close > 9) return Fail(lineNo_, "bad hex(type)");
      std::uint32_t type = 0;
      for (const char c : hexForm.substr(1, close - 1)) {
        const int d = HexDigit(c);
        if (d < 0) return Fail(lineNo_, "bad hex digit in hex(type)");
        type = (type << 4) | static_cast<std::uint32_t>(d);
      }
      value.type = type;
      hexForm.remove_prefix(close + 1);
    }
    if (hexForm.empty() || hexForm.front() != ':') return Fail(lineNo_, "':' expected after hex");
    hexForm.remove_prefix(1);
    // Bytes as two hex digits each, separated by commas; a trailing comma is tolerated.
    while (!(hexForm = Trim(hexForm)).empty()) {
      if (hexForm.size() < 2 || HexDigit(hexForm[0]) < 0 || HexDigit(hexForm[1]) < 0) {
        return Fail(lineNo_, "bad byte in hex data");
      }
      value.data.push_back(static_cast<std::uint8_t>(HexDigit(hexForm[0]) * 16 + HexDigit(hexForm[1])));
      hexForm = Trim(hexForm.substr(2));
      if (hexForm.empty()) break;
      if (hexForm.front() != ',') return Fail(lineNo_, "',' expected between hex bytes");
      hexForm.remove_prefix(1);
    }
    const bool textType = value.type == platform::kRegSz || value.type == platform::kRegExpandSz ||
                          value.type == platform::kRegMultiSz;
    if (version5_ && textType) {
      // Unicode exports hold string data as UTF-16LE; the ANSI API hands it out converted.
      if (const auto utf8 = Utf16LeToUtf8(value.data.data(), value.data.size())) {
        if (!StringData(*utf8, true, value.data, unicode)) {
          return Fail(lineNo_, "string data has no form in the ANSI code page");
        }
      }
    }
  } else {
    return Fail(lineNo_, "unknown value data: " + std::string(rest.substr(0, 20)));
  }

  if (section_ == Section::Key) registry_.Set(root_, path_, name, std::move(value), unicode);
  return {};
}

// ---- writing ----

bool ToUtf8Exact(const std::string& ansi, std::string& utf8) {
  utf8 = text::AnsiToUtf8(ansi);
  std::string back;
  if (!text::Utf8ToAnsi(utf8, back) || back != ansi) return false;
  return ansi.find_first_of("\r\n") == std::string::npos;
}

// A name as REGEDIT4 text: it must have an ANSI form, as everything such a file holds, and no line break.
bool NameText(std::u8string_view name, std::string& utf8) {
  std::string ansi;
  if (!text::Utf8ToAnsi(AsChars(name), ansi) || name.find_first_of(u8"\r\n") != std::u8string_view::npos) return false;
  utf8.assign(AsChars(name));
  return true;
}

std::string Escape(const std::string& s) {
  std::string out;
  for (const char c : s) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

// Lower-case hex digits, zero-padded to `width`, as regedit writes numbers.
void AppendHexNumber(std::string& out, std::uint32_t value, std::size_t width) {
  char digits[8];  // any 32-bit value
  const char* const end = std::to_chars(std::begin(digits), std::end(digits), value, 16).ptr;
  const auto count = static_cast<std::size_t>(end - std::begin(digits));
  if (count < width) out.append(width - count, '0');
  out.append(std::begin(digits), count);
}

void AppendHex(std::string& out, std::size_t prefixLength, const std::vector<std::uint8_t>& data) {
  // Wrap like regedit so that long values exercise continuation lines when read back.
  std::size_t column = prefixLength;
  for (std::size_t i = 0; i < data.size(); ++i) {
    AppendHexNumber(out, data[i], 2);
    column += 2;
    if (i + 1 < data.size()) {
      out.push_back(',');
      ++column;
      if (column > 76) {
        out.append("\\\r\n  ");
        column = 2;
      }
    }
  }
}

class Writer {
 public:
  RegFileResult Key(const SimKey& key, const std::string& path, std::string& out) {
    // A .reg file has no form for a link; it is refused rather than saved as a plain key.
    if (key.link) return Fail(0, "link key " + path + " has no .reg form");
    const bool isRoot = key.parent == nullptr && key.depth == 0;
    if (!isRoot || !key.values.empty()) {
      out.append("[").append(path).append("]\r\n");
      for (const auto& [folded, entry] : key.values) {
        if (RegFileResult r = Value(entry, out); !r) return r;
      }
      out.append("\r\n");
    }
    for (const auto& [folded, sub] : key.subKeys) {
      std::string name;
      if (!NameText(sub->name, name)) return Fail(0, "key name without an ANSI form under " + path);
      std::string subPath = path;
      subPath.append("\\").append(name);
      if (RegFileResult r = Key(*sub, subPath, out); !r) return r;
    }
    return {};
  }

 private:
  static RegFileResult Value(const SimValue& entry, std::string& out) {
    std::string line;
    if (entry.name.empty()) {
      line = "@=";
    } else {
      std::string name;
      if (!NameText(entry.name, name)) return Fail(0, "value name without an ANSI form");
      line.assign(1, '"').append(Escape(name)).append("\"=");
    }
    RegValue v = entry.value;
    if (entry.unicode) {
      // Unicode string data is written as the ANSI bytes it reads as, which must say the same.
      std::string ansi;
      if (!text::Utf8ToAnsi(AsChars(AsU8Data(v.data)), ansi)) return Fail(0, "string data without an ANSI form");
      v.data.assign(ansi.begin(), ansi.end());
    }
    std::string asText;
    const bool plainText = v.type == platform::kRegSz && !v.data.empty() && v.data.back() == 0 &&
                           std::find(v.data.begin(), v.data.end() - 1, std::uint8_t{0}) == v.data.end() - 1 &&
                           ToUtf8Exact(std::string(v.data.begin(), v.data.end() - 1), asText);
    if (plainText) {
      line.append(1, '"').append(Escape(asText)).append(1, '"');
    } else if (v.type == platform::kRegDword && v.data.size() == 4) {
      const std::uint32_t n = static_cast<std::uint32_t>(v.data[0]) | (static_cast<std::uint32_t>(v.data[1]) << 8) |
                              (static_cast<std::uint32_t>(v.data[2]) << 16) |
                              (static_cast<std::uint32_t>(v.data[3]) << 24);
      line += "dword:";
      AppendHexNumber(line, n, 8);
    } else {
      if (v.type == platform::kRegBinary) {
        line += "hex:";
      } else {
        line += "hex(";
        AppendHexNumber(line, v.type, 1);
        line += "):";
      }
      AppendHex(line, line.size(), v.data);
    }
    out.append(line).append("\r\n");
    return {};
  }
};

}  // namespace

std::string RegFileResult::Describe() const {
  if (ok) return "ok";
  return line == 0 ? message : "line " + std::to_string(line) + ": " + message;
}

RegFileResult LoadReg(SimRegistry& registry, std::string_view textIn) {
  std::string decoded;
  Encoding encoding = Encoding::Utf8;
  if (textIn.size() >= 2 && static_cast<unsigned char>(textIn[0]) == 0xFF &&
      static_cast<unsigned char>(textIn[1]) == 0xFE) {
    const auto utf8 =
        Utf16LeToUtf8(reinterpret_cast<const std::uint8_t*>(textIn.data()) + 2, textIn.size() - 2);
    if (!utf8) return Fail(0, "broken UTF-16LE text");
    decoded = *utf8;
    encoding = Encoding::Utf16;
  } else if (textIn.size() >= 2 && static_cast<unsigned char>(textIn[0]) == 0xFE &&
             static_cast<unsigned char>(textIn[1]) == 0xFF) {
    return Fail(0, "UTF-16 big-endian is not a .reg encoding");
  } else if (textIn.size() >= 3 && textIn.substr(0, 3) == "\xEF\xBB\xBF") {
    decoded.assign(textIn.substr(3));
  } else {
    decoded.assign(textIn);
    // Without a byte-order mark, text that is not UTF-8 is taken as ANSI bytes, as an old
    // REGEDIT4 export written in the machine's code page would be.
    if (!IsValidUtf8(decoded)) encoding = Encoding::Ansi;
  }
  Reader reader(registry, encoding);
  return reader.Run(decoded);
}

RegFileResult LoadRegFile(SimRegistry& registry, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail(0, "cannot read " + path);
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  RegFileResult result = LoadReg(registry, content);
  if (!result) result.message = path + ": " + result.message;
  return result;
}

RegFileResult SaveReg(const SimRegistry& registry, std::string& textOut) {
  std::string out(kHeader4);
  out.append("\r\n\r\n");
  Writer writer;
  for (const RegRoot root : {RegRoot(RootKey::LocalMachine), RegRoot(RootKey::CurrentUser), kUsers}) {
    const SimKey& key = registry.Root(root);
    if (RegFileResult r = writer.Key(key, std::string(AsChars(key.name)), out); !r) return r;
  }
  textOut = std::move(out);
  return {};
}

RegFileResult SaveRegFile(const SimRegistry& registry, const std::string& path) {
  std::string content;
  if (RegFileResult r = SaveReg(registry, content); !r) return r;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out.flush()) return Fail(0, "cannot write " + path);
  return {};
}

}  // namespace sim
