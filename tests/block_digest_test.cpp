#include "codec/block_digest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

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

}  // namespace
#endif

TEST(BlockDigestTest, IsItsDefinitionWhateverTheSizeAndHowEverLargeItsTerms) {
  DigestKey largest;  // every factor, sum and product as large as it can be
  for (std::uint32_t& word : largest.words) {
    word = 0xffffffff;
  }
  largest.point = (std::uint64_t{1} << 61) - 2;
  DigestKey drawn;
  DigestKey another;
  ASSERT_TRUE(drawDigestKey(drawn));
  ASSERT_TRUE(drawDigestKey(another));
  EXPECT_NE(std::memcmp(drawn.words, another.words, sizeof drawn.words), 0);
  EXPECT_NE(drawn.point, another.point);
  std::mt19937 random(3);
  std::string text(256 * 1024, '\0');
  for (char& c : text) {
    c = static_cast<char>(random());
  }
#ifdef __SIZEOF_INT128__
  for (const DigestKey* key : {&largest, &drawn}) {
    for (const std::size_t size : {1, 1023, 1024, 1025, 256 * 1024}) {
      for (const std::string& data : {text.substr(0, size), std::string(size, '\xff')}) {
        EXPECT_EQ(digestBlock(*key, data.data(), size), definedDigest(*key, data)) << size;
      }
    }
  }
#endif
}
