#include "graphics/image.h"

#include <cstring>

namespace tinctora::gfx {

void SwapRedAndBlue(std::uint32_t* to, const std::uint32_t* from, int count, std::uint32_t top) {
  // Four pixels at a time where the compiler has vectors: a zoom view is
  // some 50,000 pixels a frame, a screen read some 10,000.
  const auto swap = [top](auto p) { return top | ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu); };
  int i = 0;
#if defined(__GNUC__)
  typedef std::uint32_t Four __attribute__((vector_size(16)));
  for (; i + 4 <= count; i += 4) {
    Four p;
    std::memcpy(&p, from + i, sizeof p);
    const Four q = swap(p);
    std::memcpy(to + i, &q, sizeof q);
  }
#endif
  for (; i < count; ++i) {
    std::uint32_t p;
    std::memcpy(&p, from + i, sizeof p);
    p = swap(p);
    std::memcpy(to + i, &p, sizeof p);
  }
}

}  // namespace tinctora::gfx
