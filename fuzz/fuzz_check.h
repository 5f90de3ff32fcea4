#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace tinctora::fuzz {

// Prints a readable form of a byte string: printable ASCII as it stands,
// everything else as \xHH.
inline std::string Escaped(std::string_view bytes) {
  std::string out;
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
      out.push_back(ch);
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
      out += buffer;
    }
  }
  return out;
}

// A failed comparison: reports it and aborts, which libFuzzer records as a
// crash with the input that caused it.
[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

inline void Check(bool ok, const std::string& what) {
  if (!ok) Fail(what);
}

}  // namespace tinctora::fuzz
