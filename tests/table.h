#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <type_traits>

namespace tinctora::testing {

// One row of a conversion table: a name for failure messages, the input
// and the expected result.
template <typename In, typename Out>
struct Row {
  const char* name;
  In input;
  Out expected;
};

// Reals compare by value, with NaN equal to NaN and -0 different from +0.
inline bool SameReal(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// Runs convert over every row and names the failing rows.
template <typename In, typename Out, typename Convert>
void ExpectTable(std::initializer_list<Row<In, Out>> rows, Convert convert) {
  for (const auto& row : rows) {
    const auto actual = convert(row.input);
    if constexpr (std::is_floating_point_v<Out>) {
      EXPECT_TRUE(SameReal(actual, row.expected))
          << "row \"" << row.name << "\": got " << actual << ", expected " << row.expected;
    } else {
      EXPECT_EQ(actual, row.expected) << "row \"" << row.name << "\"";
    }
  }
}

}  // namespace tinctora::testing
