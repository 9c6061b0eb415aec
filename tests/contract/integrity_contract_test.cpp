// The payload copy that hashes what it reads, checked the same way against the simulation and Windows:
// the copy and its digest are those of the whole file, whatever its length against the copy's pieces.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "contract/contract_env.h"
#include "platform/payload_integrity.h"

namespace {

struct LengthCase {
  const char* name;
  std::size_t length;
};

class HashedCopy : public ::testing::TestWithParam<LengthCase> {};

// Bytes that never repeat at a piece's period: a piece written twice, or one left out, changes the digest.
std::string Bytes(std::size_t length) {
  std::string bytes(length, '\0');
  std::uint32_t state = 0x9E3779B9u;
  for (char& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

// The length and digest of a file as HashFile reads it whole, the reference for the copies.
void Whole(platform::PayloadIntegrity& integrity, const std::string& path, std::uint64_t& length,
           platform::Sha256Digest& digest) {
  std::unique_ptr<platform::HeldFile> held;
  ASSERT_EQ(integrity.HashFile(path, length, digest, held), platform::kSuccess) << path;
}

TEST_P(HashedCopy, CopiesAndDigestsTheWholeFile) {
  const std::size_t length = GetParam().length;
  const std::unique_ptr<contract::Env> env = contract::MakeEnv();
  platform::PayloadIntegrity& integrity = env->Integrity();
  const std::string source = env->ScratchDir() + "\\module.arx";
  ASSERT_EQ(env->WriteBytes(source, Bytes(length)), platform::kSuccess);
  std::uint64_t wholeLength = 0;
  platform::Sha256Digest whole{};
  Whole(integrity, source, wholeLength, whole);
  ASSERT_EQ(wholeLength, length);

  std::uint64_t held = 0;
  std::unique_ptr<platform::HeldFile> file;
  ASSERT_EQ(integrity.HoldFile(source, held, file), platform::kSuccess);
  EXPECT_EQ(held, length);
  // Twice from one held file, as a copy tried again after a failure: each reads from the start.
  for (const char* name : {"\\first.arx", "\\again.arx"}) {
    const std::string destination = env->ScratchDir() + name;
    std::uint64_t copied = 0;
    platform::Sha256Digest digest{};
    ASSERT_EQ(file->CopyTo(destination, copied, digest), platform::kSuccess) << name;
    EXPECT_EQ(copied, length) << name;
    EXPECT_EQ(digest, whole) << name;
    // What landed is the file itself, not only what the hash saw.
    Whole(integrity, destination, copied, digest);
    EXPECT_EQ(copied, length) << name;
    EXPECT_EQ(digest, whole) << name;
  }
}

constexpr std::size_t kPiece = platform::kCopyChunkBytes;

INSTANTIATE_TEST_SUITE_P(
    Lengths, HashedCopy,
    ::testing::Values(LengthCase{"Empty", 0}, LengthCase{"ShortOfAPiece", kPiece - 1}, LengthCase{"OnePiece", kPiece},
                      LengthCase{"TwoPiecesAndSome", 2 * kPiece + 5}),
    [](const ::testing::TestParamInfo<LengthCase>& row) { return std::string(row.param.name); });

}  // namespace
