// Fuzzes the simulated machine's .reg loader: any text loads or is refused without harm, and
// whatever was loaded survives a save and a second load unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "platform/sim/reg_file.h"
#include "platform/sim/sim_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 16384) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // Lines before a fault stay applied, so even a refused file leaves a registry worth saving.
  sim::SimRegistry first;
  const sim::RegFileResult loaded = sim::LoadReg(first, text);
  if (!loaded) FUZZ_CHECK(!loaded.message.empty());
  FUZZ_CHECK(first.OpenHandleCount() == 0);

  std::string saved;
  // Names without a UTF-8 form cannot be written; the writer says so instead of mangling them.
  if (!sim::SaveReg(first, saved)) return 0;

  sim::SimRegistry second;
  const sim::RegFileResult reloaded = sim::LoadReg(second, saved);
  if (!reloaded) {
    std::fprintf(stderr, "reload failed: %s\n", reloaded.Describe().c_str());
    FUZZ_CHECK(reloaded.ok);
  }
  std::string savedAgain;
  FUZZ_CHECK(sim::SaveReg(second, savedAgain).ok);
  FUZZ_CHECK(savedAgain == saved);
  return 0;
}
