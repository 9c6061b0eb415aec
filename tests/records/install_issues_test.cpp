// The message that names what an installation left undone, and the list it is made from.
#include "records/install_issues.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/install_test_support.h"
#include "records/install_texts.h"
#include "platform/utf8_text.h"

namespace install_test {
namespace {

std::vector<std::u8string> Numbered(std::size_t count) {
  std::vector<std::u8string> items;
  for (std::size_t i = 1; i <= count; ++i) items.push_back(u8"C:\\AutoCAD\\VXCAD" + text::Decimal(i) + u8"P.dll");
  return items;
}

// At most ten items are listed; beyond that the count of all of them follows.
TEST(IncompleteInstallText, ListsTenItemsAndCountsTheRest) {
  const std::u8string lead = u8"安装已完成，但以下项目未能完成：\n\n";
  const std::u8string advice = u8"\n\n请关闭AutoCAD并以管理员身份重新运行安装程序。";
  const struct {
    std::size_t count;
    std::u8string middle;
  } cases[] = {
      {1, u8"C:\\AutoCAD\\VXCAD1P.dll"},
      {10, u8"C:\\AutoCAD\\VXCAD1P.dll\nC:\\AutoCAD\\VXCAD2P.dll\nC:\\AutoCAD\\VXCAD3P.dll\nC:\\AutoCAD\\VXCAD4P.dll\n"
           u8"C:\\AutoCAD\\VXCAD5P.dll\nC:\\AutoCAD\\VXCAD6P.dll\nC:\\AutoCAD\\VXCAD7P.dll\nC:\\AutoCAD\\VXCAD8P.dll\n"
           u8"C:\\AutoCAD\\VXCAD9P.dll\nC:\\AutoCAD\\VXCAD10P.dll"},
      {11, u8"C:\\AutoCAD\\VXCAD1P.dll\nC:\\AutoCAD\\VXCAD2P.dll\nC:\\AutoCAD\\VXCAD3P.dll\nC:\\AutoCAD\\VXCAD4P.dll\n"
           u8"C:\\AutoCAD\\VXCAD5P.dll\nC:\\AutoCAD\\VXCAD6P.dll\nC:\\AutoCAD\\VXCAD7P.dll\nC:\\AutoCAD\\VXCAD8P.dll\n"
           u8"C:\\AutoCAD\\VXCAD9P.dll\nC:\\AutoCAD\\VXCAD10P.dll\n……共 11 项"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    EXPECT_EQ(install::IncompleteInstallText(Numbered(c.count)), lead + c.middle + advice);
  }
  const std::u8string many = install::IncompleteInstallText(Numbered(125));
  EXPECT_EQ(many.find(u8"VXCAD11P.dll"), std::u8string::npos);
  EXPECT_NE(many.find(u8"VXCAD10P.dll\n……共 125 项\n\n"), std::u8string::npos);
}

TEST(InstallIssues, ConvertsPathsAndKeepsEachItemOnce) {
  install::InstallIssues issues;
  EXPECT_TRUE(issues.Empty());
  issues.Add(Ansi("C:\\软件\\誠\\Fonts\\Vornex_EN.shx"));
  issues.Add("C:\\A\\itextsharp.dll");
  issues.Add(Ansi("C:\\软件\\誠\\Fonts\\Vornex_EN.shx"));
  issues.Add("HKEY_CURRENT_USER\\X", u8"（无法读取）");
  issues.Add("HKEY_CURRENT_USER\\X");
  issues.Add("C:\\A\\itextsharp.dll");
  EXPECT_FALSE(issues.Empty());
  EXPECT_EQ(issues.Items(), (std::vector<std::u8string>{u8"C:\\软件\\誠\\Fonts\\Vornex_EN.shx", u8"C:\\A\\itextsharp.dll",
                                                        u8"HKEY_CURRENT_USER\\X（无法读取）", u8"HKEY_CURRENT_USER\\X"}));
}

}  // namespace
}  // namespace install_test
