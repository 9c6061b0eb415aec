// The running-AutoCAD check over the simulated process list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/acad_catalog.h"
#include "discovery/acad_running.h"
#include "discovery/catalog_test_support.h"
#include "platform/machine.h"
#include "platform/sim/sim_machine.h"

namespace discovery_test {
namespace {

struct ProcessCase {
  const char* label;
  std::vector<std::string> processes;
  bool snapshotFails;
  bool running;
};

class AcadRunning : public ::testing::TestWithParam<ProcessCase> {};

TEST_P(AcadRunning, LooksForAcadExeInAnyCase) {
  sim::SimMachine machine;
  machine.system().SetProcesses(GetParam().processes);
  machine.system().FailProcessSnapshot(GetParam().snapshotFails);
  EXPECT_EQ(IsAcadRunning(machine.system()), GetParam().running);
}

const std::vector<std::string> kDesktop{"System", "smss.exe", "csrss.exe", "explorer.exe", "SetUp.exe"};

std::vector<std::string> DesktopWith(const std::string& name) {
  std::vector<std::string> list = kDesktop;
  list.insert(list.begin() + 3, name);
  return list;
}

INSTANTIATE_TEST_SUITE_P(
    Processes, AcadRunning,
    ::testing::Values(ProcessCase{"LowerCase", DesktopWith("acad.exe"), false, true},
                      ProcessCase{"UpperCase", DesktopWith("ACAD.EXE"), false, true},
                      ProcessCase{"MixedCase", DesktopWith("AcAd.ExE"), false, true},
                      ProcessCase{"LastInTheList", {"explorer.exe", "Acad.exe"}, false, true},
                      ProcessCase{"InsideALongerName", DesktopWith("MyACAD.EXE.bak"), false, true},
                      ProcessCase{"AfterChineseText", DesktopWith("\xB2\xE2\xCA\xD4" "ACAD.exe"), false, true},
                      // 0x81 0x41 is one double-byte character: no "acad.exe" starts inside it.
                      ProcessCase{"TrailByteIsNoLetter", DesktopWith("\x81" "ACAD.EXE"), false, false},
                      ProcessCase{"AutoCadLt", DesktopWith("acadlt.exe"), false, false},
                      ProcessCase{"NotQuiteTheName", DesktopWith("acad.ex"), false, false},
                      ProcessCase{"NoAutoCad", kDesktop, false, false},
                      ProcessCase{"NoProcesses", {}, false, false},
                      ProcessCase{"SnapshotRefused", DesktopWith("acad.exe"), true, false}),
    [](const ::testing::TestParamInfo<ProcessCase>& p) { return std::string(p.param.label); });

}  // namespace
}  // namespace discovery_test
