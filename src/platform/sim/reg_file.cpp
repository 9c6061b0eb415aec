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

#include "platform/text.h"

namespace sim {

using platform::RegValue;
using platform::RootKey;

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";

RegFileResult Fail(std::size_t line, std::string message) { return RegFileResult{false, line, std::move(message)}; }

// ---- encodings ----

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// UTF-16LE bytes to UTF-8; nullopt on an odd length or a broken surrogate pair.
std::optional<std::string> Utf16LeToUtf8(const std::uint8_t* data, std::size_t size) {
  if (size % 2 != 0) return std::nullopt;
  std::string out;
  out.reserve(size);
  for (std::size_t i = 0; i < size; i += 2) {
    std::uint32_t unit = static_cast<std::uint32_t>(data[i] | (data[i + 1] << 8));
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 3 >= size) return std::nullopt;
      const std::uint32_t low = static_cast<std::uint32_t>(data[i + 2] | (data[i + 3] << 8));
      if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      return std::nullopt;
    }
    AppendUtf8(out, unit);
  }
  return out;
}

bool IsValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t len = 0;
    std::uint32_t min = 0;
    if (b < 0x80) {
      ++i;
      continue;
    }
    if ((b & 0xE0) == 0xC0) {
      len = 2;
      min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      len = 3;
      min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      len = 4;
      min = 0x10000;
    } else {
      return false;
    }
    if (i + len > s.size()) return false;
    std::uint32_t cp = b & (0x7Fu >> len);
    for (std::size_t k = 1; k < len; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

// ---- reading ----

enum class Encoding { Utf8, Ansi };

class Reader {
 public:
  Reader(SimRegistry& registry, Encoding encoding) : registry_(registry), encoding_(encoding) {}

  RegFileResult Run(std::string_view text);

 private:
  RegFileResult KeyLine(std::string_view line);
  RegFileResult ValueLine(std::string_view line);
  // Parses a quoted string at `pos` (on the opening quote); leaves `pos` after the closing one.
  bool Quoted(std::string_view line, std::size_t& pos, std::string& out, std::string& error) const;
  bool ToAnsi(std::string_view s, std::string& out) const;
  std::size_t LastOf(std::string_view s, char ch) const;

  SimRegistry& registry_;
  Encoding encoding_;
  bool version5_ = false;
  std::size_t lineNo_ = 0;
  enum class Section { None, Key, Deleted } section_ = Section::None;
  RootKey root_ = RootKey::LocalMachine;
  std::string path_;
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

bool Reader::ToAnsi(std::string_view s, std::string& out) const {
  if (encoding_ == Encoding::Ansi) {
    out.assign(s);
    return true;
  }
  return text::Utf8ToAnsi(s, out);
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
  } else {
    return Fail(lineNo_, "unsupported root key \"" + std::string(rootName.substr(0, 40)) + "\"");
  }
  while (!sub.empty() && LastOf(sub, '\\') == sub.size() - 1) sub.remove_suffix(1);
  if (!ToAnsi(sub, path_)) return Fail(lineNo_, "key name has no form in the ANSI code page");

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
  std::string name;
  if (!ToAnsi(rawName, name)) return Fail(lineNo_, "value name has no form in the ANSI code page");

  if (rest == "-") {
    if (section_ == Section::Key) registry_.DeleteValue(root_, path_, name);
    return {};
  }

  RegValue value;
  if (!rest.empty() && rest.front() == '"') {
    std::size_t p = 0;
    std::string raw;
    if (!Quoted(rest, p, raw, error)) return Fail(lineNo_, error);
    if (!Trim(rest.substr(p)).empty()) return Fail(lineNo_, "text after the string value");
    std::string ansi;
    if (!ToAnsi(raw, ansi)) return Fail(lineNo_, "string has no form in the ANSI code page");
    value.type = platform::kRegSz;
    value.data = platform::SzData(ansi);
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
        std::string ansi;
        if (!text::Utf8ToAnsi(*utf8, ansi)) return Fail(lineNo_, "string data has no form in the ANSI code page");
        value.data.assign(ansi.begin(), ansi.end());
      }
    }
  } else {
    return Fail(lineNo_, "unknown value data: " + std::string(rest.substr(0, 20)));
  }

  if (section_ == Section::Key) registry_.Set(root_, path_, name, std::move(value));
  return {};
}

// ---- writing ----

bool ToUtf8Exact(const std::string& ansi, std::string& utf8) {
  utf8 = text::AnsiToUtf8(ansi);
  std::string back;
  if (!text::Utf8ToAnsi(utf8, back) || back != ansi) return false;
  return ansi.find_first_of("\r\n") == std::string::npos;
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
      if (!ToUtf8Exact(sub->name, name)) return Fail(0, "key name without a UTF-8 form under " + path);
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
      if (!ToUtf8Exact(entry.name, name)) return Fail(0, "value name without a UTF-8 form");
      line.assign(1, '"').append(Escape(name)).append("\"=");
    }
    const RegValue& v = entry.value;
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
  for (const RootKey root : {RootKey::LocalMachine, RootKey::CurrentUser}) {
    const SimKey& key = registry.Root(root);
    if (RegFileResult r = writer.Key(key, key.name, out); !r) return r;
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
