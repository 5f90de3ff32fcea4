#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tinctora::text::detail {

// Reads a decimal number already reduced to the form std::from_chars accepts
// in general format: an optional "-", digits with an optional "." and
// fraction (at least one digit in all), then an optional "e" with optional
// sign and digits. The result is correctly rounded; a magnitude beyond the
// largest real gives a signed infinity and one below the smallest gives a
// signed zero.
[[nodiscard]] double ReadCleanDecimal(std::string_view chars);

// A whole number of at most 15 digits with an optional "-" and nothing
// else, as the program writes channels and colour values, is exact in a
// double: its value needs no correctly rounded reading. "-0" gives -0.0, as
// ReadCleanDecimal does. Any other text gives nothing.
[[nodiscard]] inline std::optional<double> ReadPlainWhole(std::string_view chars) {
  const bool negative = !chars.empty() && chars.front() == '-';
  const std::size_t digits = chars.size() - (negative ? 1 : 0);
  if (digits == 0 || digits > 15) return std::nullopt;
  std::uint64_t n = 0;
  for (std::size_t i = negative ? 1 : 0; i < chars.size(); ++i) {
    const auto d = static_cast<unsigned>(static_cast<unsigned char>(chars[i])) - unsigned{'0'};
    if (d > 9) return std::nullopt;
    n = n * 10 + d;
  }
  const auto value = static_cast<double>(n);
  return negative ? -value : value;
}

// A small append-only character buffer that lives on the stack for the
// usual short numbers and moves to the heap only for very long ones.
class NumberBuffer {
 public:
  void Push(char c) {
    if (size_ < kInline) {
      inline_[size_++] = c;
      return;
    }
    if (size_ == kInline) spill_.assign(inline_, kInline);
    spill_.push_back(c);
    ++size_;
  }
  [[nodiscard]] std::string_view View() const {
    return size_ <= kInline ? std::string_view(inline_, size_) : std::string_view(spill_);
  }

 private:
  static constexpr std::size_t kInline = 64;
  char inline_[kInline] = {};
  std::size_t size_ = 0;
  std::string spill_;
};

}  // namespace tinctora::text::detail
