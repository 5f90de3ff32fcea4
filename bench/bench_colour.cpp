#include <benchmark/benchmark.h>

#include <array>

#include "colour/colour_value.h"
#include "colour/notations.h"
#include "text/numbers.h"
#include "colour/script.h"

namespace {

using namespace tinctora::colour;
using namespace tinctora::text;

constexpr std::array<ColourValue, 6> kColours = {
    5649426, 0, 16777215, 255, 8421504, DefaultColour,
};

// The nine notation texts of one colour, cycling through a few colours.
void BM_NotationTexts(benchmark::State& state) {
  std::size_t i = 0;
  for (auto _ : state) {
    auto texts = NotationTexts(kColours[i]);
    benchmark::DoNotOptimize(texts);
    i = (i + 1) % kColours.size();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NotationTexts);

// The script texts from channel texts, as the channel-box paths call them.
void BM_ScriptHsvAndCmyk(benchmark::State& state) {
  for (auto _ : state) {
    auto hsv = ScriptHsv("18", "52", "86");
    auto cmyk = ScriptCmyk("18", "52", "86");
    benchmark::DoNotOptimize(hsv);
    benchmark::DoNotOptimize(cmyk);
  }
}
BENCHMARK(BM_ScriptHsvAndCmyk);

void BM_RealToText(benchmark::State& state) {
  constexpr std::array<double, 4> values = {255.0, 12.5, 1.0 / 3, 12345678901234.0};
  std::size_t i = 0;
  for (auto _ : state) {
    auto text = RealToText(values[i]);
    benchmark::DoNotOptimize(text);
    i = (i + 1) % values.size();
  }
}
BENCHMARK(BM_RealToText);

void BM_TextToReal(benchmark::State& state) {
  const std::array<tinctora::TextView, 4> texts = {"255", "  12.5abc", "1d2",
                                                   "\xA3\xB2\xA3\xB5\xA3\xB5"};  // ２５５
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(TextToReal(texts[i]));
    i = (i + 1) % texts.size();
  }
}
BENCHMARK(BM_TextToReal);

}  // namespace

BENCHMARK_MAIN();
