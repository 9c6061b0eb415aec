// The simulated machine's system facts, scripted message boxes and progress bar.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/prompts.h"
#include "platform/sim/sim_machine.h"
#include "support/fixtures.h"

namespace {

TEST(SimMachine, StartsWithADriveAnAppDataFolderAndTheProgramPath) {
  sim::SimMachine m;
  std::string appData;
  ASSERT_EQ(m.system().EnvironmentVariable("AppData", platform::kMaxPath, appData), platform::kSuccess);
  EXPECT_TRUE(m.files().IsDirectory(appData));
  std::string module;
  ASSERT_EQ(m.system().ModulePath(261, module), platform::kSuccess);
  EXPECT_EQ(module, sim::SimMachine::kDefaultModulePath);
  // The machine view hands out the same objects.
  EXPECT_EQ(&m.machine().registry, &m.registry());
  EXPECT_EQ(&m.machine().files, &m.files());
  EXPECT_EQ(&m.machine().prompts, &m.prompts());
}

TEST(SimMachine, CurrentDirectoryIsTheFileSystems) {
  sim::SimMachine m;
  ASSERT_TRUE(m.files().MakeDirectories("C:\\Work"));
  ASSERT_TRUE(m.files().SetCurrentDirectory("C:\\work"));
  std::string current;
  ASSERT_EQ(m.system().CurrentDirectory(current), platform::kSuccess);
  EXPECT_EQ(current, "C:\\work") << "kept as given, as Windows does";
}

TEST(SimMachine, ProcessSnapshotCanFail) {
  sim::SimMachine m;
  std::vector<std::string> names;
  ASSERT_TRUE(m.system().ProcessNames(names));
  m.system().SetProcesses({"System", "acad.exe"});
  ASSERT_TRUE(m.system().ProcessNames(names));
  EXPECT_EQ(names, (std::vector<std::string>{"System", "acad.exe"}));
  m.system().FailProcessSnapshot(true);
  EXPECT_FALSE(m.system().ProcessNames(names));
  EXPECT_TRUE(names.empty());
  m.system().FailProcessSnapshot(false);
  m.system().SetProcesses({});
  EXPECT_FALSE(m.system().ProcessNames(names)) << "no first entry to read";
}

TEST(SimMachine, EnvironmentCanBeUnset) {
  sim::SimMachine m;
  m.system().UnsetEnvironment("appdata");
  std::string value;
  EXPECT_EQ(m.system().EnvironmentVariable("APPDATA", 260, value), platform::kFileNotFound);
}

TEST(SimPrompts, ScriptedAnswersInOrderAndEveryBoxRecorded) {
  sim::SimPrompts prompts;
  prompts.Answer(platform::kIdRetry);
  prompts.Answer(platform::kIdIgnore);
  EXPECT_EQ(prompts.MessageBox(7, u8"拷贝文件 a 失败", u8"V-软件安装", platform::kMbAbortRetryIgnore), platform::kIdRetry);
  EXPECT_EQ(prompts.MessageBox(7, u8"拷贝文件 a 失败", u8"V-软件安装", platform::kMbAbortRetryIgnore), platform::kIdIgnore);
  ASSERT_EQ(prompts.Boxes().size(), 2u);
  EXPECT_EQ(prompts.Boxes()[0].owner, 7u);
  EXPECT_EQ(prompts.Boxes()[0].caption, u8"V-软件安装");
  EXPECT_EQ(prompts.Boxes()[1].flags, platform::kMbAbortRetryIgnore);
  EXPECT_EQ(prompts.UnscriptedCount(), 0u);
  EXPECT_EQ(prompts.PendingAnswers(), 0u);
}

TEST(SimPrompts, UnscriptedBoxEndsItsQuestionAndIsReported) {
  struct Case {
    std::uint32_t flags;
    int answer;
  };
  for (const Case c : {Case{platform::kMbOk, platform::kIdOk}, Case{platform::kMbAbortRetryIgnore, platform::kIdAbort},
                       Case{platform::kMbYesNo | platform::kMbIconQuestion, platform::kIdNo},
                       Case{platform::kMbOk | platform::kMbIconExclamation, platform::kIdOk}}) {
    sim::SimPrompts prompts;
    int reported = 0;
    prompts.OnUnscripted([&](const sim::SimPrompts::Box& box) { reported = box.answer; });
    EXPECT_EQ(prompts.MessageBox(0, u8"text", u8"caption", c.flags), c.answer) << c.flags;
    EXPECT_EQ(reported, c.answer);
    EXPECT_EQ(prompts.UnscriptedCount(), 1u);
  }
}

// The installer's bar runs from 0 to 50 by 1 and takes a step per payload entry, so that a large
// payload goes round it more than once; steps taken together must land where the same steps taken
// one at a time by the control would.
TEST(SteppedPosition, LandsWhereSingleStepsWould) {
  struct Case {
    const char* name;
    int position;
    unsigned steps;
    int step, minimum, maximum;
    int expected;
  };
  const Case cases[] = {
      {"a step below the minimum starts over from the top", 2, 1, -5, 0, 50, 47},
      {"an empty range keeps the minimum", 7, 3, 1, 5, 5, 5},
      {"no steps", 17, 0, 1, 0, 50, 17},
      {"up to the maximum, not past it", 0, 50, 1, 0, 50, 50},
      {"one past the maximum starts over, keeping the step", 50, 1, 1, 0, 50, 1},
      {"two rounds and a bit", 0, 103, 1, 0, 50, 3},
      {"a payload of 101 entries from the start", 0, 102, 1, 0, 50, 2},
      {"a larger step past the maximum keeps what it went past by", 45, 1, 10, 0, 50, 5},
      {"a range not starting at zero", 95, 3, 2, 90, 100, 91},
      {"a step larger than the range", 0, 1, 120, 0, 50, 20},
      {"the 16-bit extremes do not overflow", 65535, 2, 65535, 0, 65535, 65535},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::SteppedPosition(c.position, c.steps, c.step, c.minimum, c.maximum), c.expected) << c.name;
  }
}

TEST(SimProgressBar, StepItWrapsPastTheMaximumAndSetPosClamps) {
  sim::SimProgressBar bar;
  EXPECT_EQ(bar.Maximum(), 100);
  EXPECT_EQ(bar.Step(), 10);
  bar.SetRange(0, 50);
  bar.SetStep(1);
  for (int i = 0; i < 50; ++i) bar.StepIt();
  EXPECT_EQ(bar.Position(), 50);
  bar.StepIt();
  EXPECT_EQ(bar.Position(), 1) << "past the maximum it starts over from the minimum";
  bar.SetPos(80);
  EXPECT_EQ(bar.Position(), 50);
  bar.SetPos(-3);
  EXPECT_EQ(bar.Position(), 0);
  bar.SetRange(10, 20);
  EXPECT_EQ(bar.Position(), 10);
  EXPECT_EQ(bar.StepCount(), 51u);
  EXPECT_EQ(bar.Calls().front(), sim::SimProgressBar::Call::SetRange);
}

TEST(SimMachine, RegistryFixtureLoadsThroughTheMachine) {
  sim::SimMachine m;
  const sim::RegFileResult r = support::LoadRegistryFixture(m, "registry/two-releases.reg");
  ASSERT_TRUE(r) << r.Describe();
  EXPECT_TRUE(m.registry().KeyExists(platform::RootKey::LocalMachine, "SOFTWARE\\Autodesk\\AutoCAD\\R18.0"));
  EXPECT_FALSE(support::LoadRegistryFixture(m, "registry/none-such.reg"));
}

}  // namespace
