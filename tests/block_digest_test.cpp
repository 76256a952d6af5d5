#include "codec/block_digest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "codec/vector_loops.h"

// The definition needs 128-bit numbers, which 32-bit systems lack; the digest itself does not.
#ifdef __SIZEOF_INT128__
namespace {

__extension__ typedef unsigned __int128 Wide;

// The digest as its definition reads, with 128-bit products, on a little-endian machine.
std::uint64_t definedDigest(const DigestKey& key, std::string data) {
  const Wide prime = (Wide{1} << 61) - 1;
  data.resize((data.size() + 1023) / 1024 * 1024, '\0');
  Wide hash = 0;
  for (std::size_t chunk = 0; chunk < data.size(); chunk += 1024) {
    std::uint64_t nh = 0;
    for (std::size_t i = 0; i < 256; i += 2) {
      std::uint32_t m[2];
      std::memcpy(m, &data[chunk + 4 * i], sizeof m);
      nh += std::uint64_t{m[0] + key.words[i]} * std::uint32_t{m[1] + key.words[i + 1]};
    }
    hash = (hash * key.point + (nh >> 32)) % prime;
    hash = (hash * key.point + (nh & 0xffffffff)) % prime;
  }
  return static_cast<std::uint64_t>(hash);
}

constexpr bool kDefinitionBuilds = true;

}  // namespace
#else
constexpr bool kDefinitionBuilds = false;
#endif

namespace {

// The digest of random blocks of every size up to two 1 KiB chunks and of a whole 256 KiB block
// and one byte less, and of blocks of all ones, each as its definition gives it, with a key whose
// every factor, sum and product is as large as it can be and with a drawn one.
void expectEverySizeDigestedAsDefined() {
  DigestKey largest;
  for (std::uint32_t& word : largest.words) {
    word = 0xffffffff;
  }
  largest.point = (std::uint64_t{1} << 61) - 2;
  DigestKey drawn;
  ASSERT_TRUE(drawDigestKey(drawn));
  std::mt19937 random(3);
  std::string text(256 * 1024, '\0');
  for (char& c : text) {
    c = static_cast<char>(random());
  }
  std::vector<std::size_t> sizes(2 * 1024 + 1);
  std::iota(sizes.begin(), sizes.end(), 0);
  sizes.push_back(text.size() - 1);
  sizes.push_back(text.size());
#ifdef __SIZEOF_INT128__
  for (const DigestKey* key : {&largest, &drawn}) {
    for (const std::size_t size : sizes) {
      for (const std::string& data : {text.substr(0, size), std::string(size, '\xff')}) {
        ASSERT_EQ(digestBlock(*key, data.data(), size), definedDigest(*key, data)) << size;
      }
    }
  }
#endif
}

}  // namespace

TEST(BlockDigestTest, EachKeyDrawnIsNew) {
  DigestKey drawn;
  DigestKey another;
  ASSERT_TRUE(drawDigestKey(drawn));
  ASSERT_TRUE(drawDigestKey(another));
  EXPECT_NE(std::memcmp(drawn.words, another.words, sizeof drawn.words), 0);
  EXPECT_NE(drawn.point, another.point);
}

TEST(BlockDigestTest, ThePlainLoopIsTheDefinitionWhateverTheSizeAndHowEverLargeItsTerms) {
  if (!kDefinitionBuilds) {
    GTEST_SKIP() << "the definition needs 128-bit numbers, which this system lacks";
  }
  usePlainLoops(true);
  EXPECT_FALSE(vectorLoopsRun());
  expectEverySizeDigestedAsDefined();
  usePlainLoops(false);
}

TEST(BlockDigestTest, TheVectorLoopIsTheDefinitionWhateverTheSizeAndHowEverLargeItsTerms) {
  if (!vectorLoopsRun() || !kDefinitionBuilds) {
    GTEST_SKIP() << "no vector loop here: the build or the processor has no AVX2";
  }
  expectEverySizeDigestedAsDefined();
}
