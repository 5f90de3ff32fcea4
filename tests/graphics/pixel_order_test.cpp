#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "graphics/image.h"

namespace tinctora::gfx {
namespace {

// Every length around the four-word steps, from an unaligned start, in
// place too: red and blue change places, green stays, the top byte is the
// one asked for, and nothing past the count is written.
TEST(SwapRedAndBlue, SwapsEveryWordOfAnyLengthAndAlignment) {
  for (int count = 0; count <= 9; ++count) {
    std::vector<std::uint32_t> from(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) from[static_cast<std::size_t>(i)] = 0xA0000000u | RgbPixel(i, 0x40 + i, 0x80 + i);
    // The bytes one past a word boundary, as a row of a reply may lie.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count) * 4 + 1 + 4, 0xEE);
    if (!from.empty()) std::memcpy(bytes.data() + 1, from.data(), from.size() * 4);
    auto* unaligned = reinterpret_cast<std::uint32_t*>(bytes.data() + 1);

    std::vector<std::uint32_t> to(static_cast<std::size_t>(count) + 1, 0x12345678u);
    SwapRedAndBlue(to.data(), unaligned, count, 0xFF000000u);
    for (int i = 0; i < count; ++i) {
      EXPECT_EQ(to[static_cast<std::size_t>(i)],
                0xFF000000u | (std::uint32_t(i) << 16) | (std::uint32_t(0x40 + i) << 8) | std::uint32_t(0x80 + i))
          << "word " << i << " of " << count;
    }
    EXPECT_EQ(to.back(), 0x12345678u) << count;

    SwapRedAndBlue(unaligned, unaligned, count, 0);
    for (int i = 0; i < count; ++i) {
      std::uint32_t back;
      std::memcpy(&back, bytes.data() + 1 + 4 * i, 4);
      EXPECT_EQ(back, (std::uint32_t(i) << 16) | (std::uint32_t(0x40 + i) << 8) | std::uint32_t(0x80 + i));
    }
    EXPECT_EQ(bytes[0], 0xEE);
    EXPECT_EQ(bytes[static_cast<std::size_t>(count) * 4 + 1], 0xEE);
  }
}

}  // namespace
}  // namespace tinctora::gfx
