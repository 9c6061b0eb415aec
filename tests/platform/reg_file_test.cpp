// .reg text reading and writing: encodings, value forms, deletions, faults with line numbers.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/sim/reg_file.h"
#include "support/fixtures.h"

namespace {

using platform::RegValue;
using platform::RootKey;

constexpr const char* kV5 = "Windows Registry Editor Version 5.00\r\n\r\n";

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

// UTF-16LE with a byte-order mark, as regedit and `reg export` write.
std::string Utf16File(const std::u16string& text) {
  std::string out = "\xFF\xFE";
  for (const char16_t unit : text) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
  return out;
}

TEST(RegFile, AcceptsBothHeaders) {
  for (const char* header : {"Windows Registry Editor Version 5.00", "REGEDIT4", "\r\n  REGEDIT4  "}) {
    sim::SimRegistry reg;
    const sim::RegFileResult r = sim::LoadReg(reg, std::string(header) + "\n\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"x\"\n");
    ASSERT_TRUE(r) << header << ": " << r.Describe();
    EXPECT_EQ(reg.GetString(RootKey::CurrentUser, "A", "v"), "x") << header;
  }
}

TEST(RegFile, UnicodeTextLandsAsCodePage936Bytes) {
  const std::string expectedKey = "SOFTWARE\\\xD6\xD0\xCE\xC4";       // 中文
  const std::string expectedName = "AutoCAD 2010 - \xBC\xF2\xCC\xE5";  // 简体
  const std::string utf8Body = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\中文]\r\n\"ProductName\"=\"AutoCAD 2010 - 简体\"\r\n";
  struct Case {
    const char* label;
    std::string file;
  };
  const Case cases[] = {
      {"utf-16le", Utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n"
                             u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\中文]\r\n\"ProductName\"=\"AutoCAD 2010 - 简体\"\r\n")},
      {"utf-8 with bom", "\xEF\xBB\xBF" + std::string(kV5) + utf8Body},
      {"utf-8", std::string(kV5) + utf8Body},
      {"ansi regedit4", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\" + expectedKey + "]\r\n\"ProductName\"=\"" +
                            expectedName + "\"\r\n"},
  };
  for (const Case& c : cases) {
    sim::SimRegistry reg;
    const sim::RegFileResult r = sim::LoadReg(reg, c.file);
    ASSERT_TRUE(r) << c.label << ": " << r.Describe();
    EXPECT_EQ(reg.GetString(RootKey::LocalMachine, expectedKey, "ProductName"), expectedName) << c.label;
  }
}

TEST(RegFile, AnsiTextKeepsTrailBytesThatLookLikeSyntax) {
  // 誠 (D5 5C) and 運 (DF 5C) end in the backslash code; in ANSI text they are not escapes.
  sim::SimRegistry reg;
  const std::string file = "REGEDIT4\n[HKEY_CURRENT_USER\\\xD5\x5C]\n\"\xDF\x5C\"=\"\xD5\x5C\"\n";
  const sim::RegFileResult r = sim::LoadReg(reg, file);
  ASSERT_TRUE(r) << r.Describe();
  EXPECT_EQ(reg.GetString(RootKey::CurrentUser, "\xD5\x5C", "\xDF\x5C"), "\xD5\x5C");
}

TEST(RegFile, ValueForms) {
  struct Case {
    const char* line;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
  };
  const Case cases[] = {
      {"\"v\"=\"a\\\\b\\\"c\"", platform::kRegSz, Bytes(std::string("a\\b\"c\0", 6))},
      {"\"v\"=\"\"", platform::kRegSz, {0}},
      {"@=\"default\"", platform::kRegSz, platform::SzData("default")},
      {"\"v\"=dword:00000804", platform::kRegDword, platform::DwordData(0x804)},
      {"\"v\"=DWORD:2", platform::kRegDword, platform::DwordData(2)},
      {"\"v\"=hex:00,ff,5c", platform::kRegBinary, {0x00, 0xFF, 0x5C}},
      {"\"v\"=hex:", platform::kRegBinary, {}},
      {"\"v\"=hex(0):01", platform::kRegNone, {0x01}},
      {"\"v\"=hex(b):01,00,00,00,00,00,00,80", platform::kRegQword, {1, 0, 0, 0, 0, 0, 0, 0x80}},
      {"\"v\"=hex(1):61,62", platform::kRegSz, {0x61, 0x62}},  // REGEDIT4: raw bytes
      {"\"v\"=hex(2):25,41,25,00", platform::kRegExpandSz, Bytes(std::string("%A%\0", 4))},
      {"\"v\"=hex(7):61,00,62,00,00", platform::kRegMultiSz, Bytes(std::string("a\0b\0\0", 5))},
      {"\"v\"=hex:01,02,\\\n  03,\\\n  04", platform::kRegBinary, {1, 2, 3, 4}},
      {"\"odd name \\\"q\\\"\" = dword:1", platform::kRegDword, platform::DwordData(1)},
  };
  for (const Case& c : cases) {
    sim::SimRegistry reg;
    const sim::RegFileResult r = sim::LoadReg(reg, std::string("REGEDIT4\n[HKCU\\K]\n") + c.line + "\n");
    ASSERT_TRUE(r) << c.line << ": " << r.Describe();
    const sim::SimKey* key = reg.Find(RootKey::CurrentUser, "K");
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(key->values.size(), 1u) << c.line;
    const RegValue& value = key->values.begin()->second.value;
    EXPECT_EQ(value.type, c.type) << c.line;
    EXPECT_EQ(value.data, c.data) << c.line;
  }
}

TEST(RegFile, UnicodeExportsHoldStringDataAsUtf16) {
  sim::SimRegistry reg;
  const std::string file = std::string(kV5) +
                           "[HKEY_CURRENT_USER\\K]\n"
                           "\"expand\"=hex(2):25,00,41,00,25,00,2d,4e,00,00\n"  // "%A%中" and NUL
                           "\"multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
                           "\"odd\"=hex(2):41,00,42\n"                            // not UTF-16: kept raw
                           "\"bin\"=hex:41,00\n";
  const sim::RegFileResult r = sim::LoadReg(reg, file);
  ASSERT_TRUE(r) << r.Describe();
  EXPECT_EQ(reg.Get(RootKey::CurrentUser, "K", "expand")->data, Bytes(std::string("%A%\xD6\xD0\0", 6)));
  EXPECT_EQ(reg.Get(RootKey::CurrentUser, "K", "multi")->data, Bytes(std::string("a\0b\0\0", 5)));
  EXPECT_EQ(reg.Get(RootKey::CurrentUser, "K", "odd")->data, (std::vector<std::uint8_t>{0x41, 0x00, 0x42}));
  EXPECT_EQ(reg.Get(RootKey::CurrentUser, "K", "bin")->data, (std::vector<std::uint8_t>{0x41, 0x00}));
}

// A real export may hold any Unicode text; it loads as Unicode, and the ANSI functions see '?'
// for what code page 936 lacks. Such a registry has no REGEDIT4 form, so it is not saved.
TEST(RegFile, Utf16ExportsKeepTextOutsideTheCodePage) {
  sim::SimRegistry reg;
  const sim::RegFileResult r = sim::LoadReg(
      reg, Utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\프로필]\r\n"
                     u"\"TRUSTEDPATHS\"=\"D:\\\\Jörg;F:\\\\中\"\r\n"
                     u"\"expand\"=hex(2):25,00,41,00,25,00,5c,d5,00,00\r\n"));  // "%A%한" and NUL
  ASSERT_TRUE(r) << r.Describe();
  EXPECT_EQ(reg.GetString(RootKey::CurrentUser, u8"프로필", u8"TRUSTEDPATHS"), u8"D:\\Jörg;F:\\中");
  EXPECT_EQ(reg.GetString(RootKey::CurrentUser, u8"프로필", u8"expand"), u8"%A%한");
  EXPECT_EQ(reg.GetString(RootKey::CurrentUser, "???", "TRUSTEDPATHS"), std::nullopt);
  EXPECT_EQ(reg.SubKeyNames(RootKey::CurrentUser, ""), std::vector<std::string>{"???"});
  EXPECT_EQ(reg.Get(RootKey::CurrentUser, u8"프로필", u8"expand")->data, Bytes(std::string("%A%?\0", 5)));
  std::string text;
  EXPECT_FALSE(sim::SaveReg(reg, text));
}

TEST(RegFile, DeletionLines) {
  sim::SimRegistry reg;
  ASSERT_TRUE(reg.SetString(RootKey::LocalMachine, "SOFTWARE\\Old\\Deep\\Deeper", "x", "1"));
  ASSERT_TRUE(reg.SetString(RootKey::LocalMachine, "SOFTWARE\\Keep", "gone", "1"));
  ASSERT_TRUE(reg.SetString(RootKey::LocalMachine, "SOFTWARE\\Keep", "stays", "1"));
  const sim::RegFileResult r = sim::LoadReg(reg,
                                            "REGEDIT4\n"
                                            "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\old]\n"
                                            "\"ignored\"=\"values under a deleted key are dropped\"\n"
                                            "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\NeverWas]\n"
                                            "[HKLM\\SOFTWARE\\Keep]\n"
                                            "\"GONE\"=-\n"
                                            "\"absent\"=-\n");
  ASSERT_TRUE(r) << r.Describe();
  EXPECT_FALSE(reg.KeyExists(RootKey::LocalMachine, "SOFTWARE\\Old"));
  EXPECT_FALSE(reg.Get(RootKey::LocalMachine, "SOFTWARE\\Keep", "gone").has_value());
  EXPECT_TRUE(reg.Get(RootKey::LocalMachine, "SOFTWARE\\Keep", "stays").has_value());
  EXPECT_EQ(reg.SubKeyNames(RootKey::LocalMachine, "SOFTWARE"), std::vector<std::string>{"Keep"});
}

TEST(RegFile, MalformedInputIsReportedWithItsLine) {
  struct Case {
    const char* label;
    std::string text;
    std::size_t line;
  };
  const std::string head = "REGEDIT4\n[HKCU\\K]\n";  // faults below start on line 3
  const Case cases[] = {
      {"empty file", "", 1},
      {"no header", "[HKCU\\K]\n", 1},
      {"value before any key", "REGEDIT4\n\"v\"=\"x\"\n", 2},
      {"unknown root", "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\x]\n", 3},
      {"unclosed key", "REGEDIT4\n[HKCU\\K\n", 2},
      {"text after key", "REGEDIT4\n[HKCU\\K] x\n", 2},
      {"leading backslash key", "REGEDIT4\n[HKCU\\\\K]\n", 2},
      {"name too long", "REGEDIT4\n[HKCU\\" + std::string(256, 'n') + "]\n", 2},
      {"bad dword digit", head + "\"v\"=dword:xyz\n", 3},
      {"dword too long", head + "\"v\"=dword:123456789\n", 3},
      {"bad hex byte", head + "\"v\"=hex:0g\n", 3},
      {"empty hex byte", head + "\"v\"=hex:01,,02\n", 3},
      {"bad hex type", head + "\"v\"=hex(zz):00\n", 3},
      {"hex without colon", head + "\"v\"=hex 00\n", 3},
      {"unterminated string", head + "\"v\"=\"open\n", 3},
      {"unknown escape", head + "\"v\"=\"a\\nb\"\n", 3},
      {"text after string", head + "\"v\"=\"x\" y\n", 3},
      {"missing equals", head + "\"v\" \"x\"\n", 3},
      {"unknown data", head + "\"v\"=qword:1\n", 3},
      {"stray text", head + "hello\n", 3},
      {"fault in a continued value", head + "\"v\"=hex:01,\\\n  zz\n", 3},
      {"lines after a continuation", head + "\"v\"=hex:01,\\\n  02\nbad\n", 5},
      {"no ansi form", std::string(kV5) + "[HKCU\\K]\n\"v\"=\"\xF0\x9F\x98\x80\"\n", 4},
  };
  for (const Case& c : cases) {
    sim::SimRegistry reg;
    const sim::RegFileResult r = sim::LoadReg(reg, c.text);
    EXPECT_FALSE(r) << c.label;
    EXPECT_EQ(r.line, c.line) << c.label << ": " << r.Describe();
    EXPECT_FALSE(r.message.empty()) << c.label;
  }
}

TEST(RegFile, BrokenEncodingsAreRefused) {
  for (const std::string& text : {std::string("\xFF\xFE\x41"), std::string("\xFF\xFE\x00\xD8\x41\x00", 6),
                                  std::string("\xFE\xFF\x00\x41", 4)}) {
    sim::SimRegistry reg;
    const sim::RegFileResult r = sim::LoadReg(reg, text);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.line, 0u);
  }
}

// Two trees are the same: names with their case, order, values with type and bytes.
std::string Utf8(const std::u8string& name) { return {name.begin(), name.end()}; }

void ExpectSameKey(const sim::SimKey& a, const sim::SimKey& b, const std::string& path) {
  EXPECT_EQ(a.name, b.name) << path;
  ASSERT_EQ(a.values.size(), b.values.size()) << path;
  for (auto ia = a.values.begin(), ib = b.values.begin(); ia != a.values.end(); ++ia, ++ib) {
    const std::string name = Utf8(ia->second.name);
    EXPECT_EQ(ia->second.name, ib->second.name) << path;
    EXPECT_EQ(ia->second.value.type, ib->second.value.type) << path << " " << name;
    EXPECT_EQ(ia->second.value.data, ib->second.value.data) << path << " " << name;
    EXPECT_EQ(ia->second.unicode, ib->second.unicode) << path << " " << name;
  }
  ASSERT_EQ(a.subKeys.size(), b.subKeys.size()) << path;
  for (auto ia = a.subKeys.begin(), ib = b.subKeys.begin(); ia != a.subKeys.end(); ++ia, ++ib) {
    ExpectSameKey(*ia->second, *ib->second, path + "\\" + Utf8(ia->second->name));
  }
}

TEST(RegFile, SaveAndLoadRoundTrip) {
  sim::SimRegistry reg;
  const std::string profiles = "Software\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Profiles";
  const std::string unnamed = "<<\xCE\xB4\xC3\xFC\xC3\xFB\xC5\xE4\xD6\xC3>>";  // <<未命名配置>>
  ASSERT_TRUE(reg.SetString(RootKey::CurrentUser, profiles + "\\" + unnamed + "\\Variables", "TRUSTEDPATHS",
                            "C:\\Vornex\\V-ZurezUvad;D:\\\xD5\x5C\\..."));
  ASSERT_TRUE(reg.Set(RootKey::CurrentUser, "Software\\Odd", "no nul", RegValue{platform::kRegSz, Bytes("abc")}));
  ASSERT_TRUE(reg.Set(RootKey::CurrentUser, "Software\\Odd", "inner nul",
                      RegValue{platform::kRegSz, Bytes(std::string("a\0b\0", 4))}));
  ASSERT_TRUE(reg.Set(RootKey::CurrentUser, "Software\\Odd", "bad gbk", RegValue{platform::kRegSz, Bytes("\xFF\0")}));
  ASSERT_TRUE(reg.Set(RootKey::CurrentUser, "Software\\Odd", "line\nbreak", RegValue{platform::kRegSz, {0}}) );
  ASSERT_TRUE(reg.Set(RootKey::CurrentUser, "Software\\Odd", "multi",
                      RegValue{platform::kRegMultiSz, Bytes(std::string("x\0y\0\0", 5))}));
  ASSERT_TRUE(reg.Set(RootKey::CurrentUser, "Software\\Odd", "", RegValue{platform::kRegExpandSz, Bytes("%X%")}));
  ASSERT_TRUE(reg.Set(RootKey::LocalMachine, "", "on the root", RegValue{platform::kRegDword, platform::DwordData(9)}));
  std::vector<std::uint8_t> big(300);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i);
  ASSERT_TRUE(reg.Set(RootKey::LocalMachine, "SOFTWARE\\Bin", "big", RegValue{platform::kRegBinary, big}));
  ASSERT_TRUE(reg.Set(RootKey::LocalMachine, "SOFTWARE\\Bin", "short dword", RegValue{platform::kRegDword, {1, 2}}));
  ASSERT_TRUE(reg.CreatePath(RootKey::LocalMachine, "SOFTWARE\\Empty\\Leaf"));
  ASSERT_TRUE(reg.SetString(RootKey::LocalMachine, "SOFTWARE\\Quote\"Bracket]", "q\"\\", "v\"\\"));

  // A value name with a line break has no .reg form.
  std::string text;
  sim::RegFileResult saved = sim::SaveReg(reg, text);
  EXPECT_FALSE(saved);
  ASSERT_TRUE(reg.DeleteValue(RootKey::CurrentUser, "Software\\Odd", "line\nbreak"));

  saved = sim::SaveReg(reg, text);
  ASSERT_TRUE(saved) << saved.Describe();
  // Numbers as regedit writes them: a dword in eight digits, a type and bytes in lower-case hex.
  EXPECT_NE(text.find("\"on the root\"=dword:00000009\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"multi\"=hex(7):78,00,79,00,00\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"big\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,"), std::string::npos) << text;
  sim::SimRegistry back;
  const sim::RegFileResult loaded = sim::LoadReg(back, text);
  ASSERT_TRUE(loaded) << loaded.Describe() << "\n" << text;
  ExpectSameKey(reg.Root(RootKey::LocalMachine), back.Root(RootKey::LocalMachine), "HKLM");
  ExpectSameKey(reg.Root(RootKey::CurrentUser), back.Root(RootKey::CurrentUser), "HKCU");
  std::string again;
  ASSERT_TRUE(sim::SaveReg(back, again));
  EXPECT_EQ(again, text);
}

TEST(RegFile, KeyNameWithoutUtf8FormCannotBeSaved) {
  sim::SimRegistry reg;
  ASSERT_TRUE(reg.CreatePath(RootKey::CurrentUser, "bad\xFF"));
  std::string text = "untouched";
  EXPECT_FALSE(sim::SaveReg(reg, text));
  EXPECT_EQ(text, "untouched");
}

TEST(RegFile, EveryRegistryFixtureLoads) {
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(support::FixturePath("registry"))) {
    if (entry.path().extension() != ".reg") continue;
    sim::SimRegistry reg;
    const sim::RegFileResult r = sim::LoadRegFile(reg, entry.path().string());
    EXPECT_TRUE(r) << r.Describe();
    ++count;
  }
  EXPECT_GT(count, 0u);
  sim::SimRegistry reg;
  const sim::RegFileResult missing = sim::LoadRegFile(reg, support::FixturePath("registry/absent.reg"));
  EXPECT_FALSE(missing);
  EXPECT_NE(missing.Describe().find("absent.reg"), std::string::npos);
}

}  // namespace
