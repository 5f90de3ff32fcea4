// One pointer movement during a pick on the simulated desktop: the whole
// MouseMove path (pixel read, snapshot, stretch into the zoom view, three
// channel writes with their handlers, the notation refresh).
#include <benchmark/benchmark.h>

#include "bench/pick_session.h"

namespace {

using tinctora::bench::MaxResidentKb;
using tinctora::bench::PickSession;

// The argument is the display's scale in per cent: at 150 % the zoom view
// and every repaint cover 2.25 times the pixels.
void BM_PickMovement(benchmark::State& state) {
  PickSession session(static_cast<int>(state.range(0)));
  int i = 0;
  for (auto _ : state) {
    // Away from the window, as during most of a drag.
    session.Move({200 + (i & 255), 300 + ((i >> 8) & 63)});
    ++i;
  }
  state.counters["pictures_held"] = static_cast<double>(session.program.Form().PictureStore().Count());
}
BENCHMARK(BM_PickMovement)->Arg(100)->Arg(150);

// Memory over 100,000 movements: the peak resident size must not grow after
// the first ten thousand.
void BM_PickMemory(benchmark::State& state) {
  for (auto _ : state) {
    PickSession session(static_cast<int>(state.range(0)));
    for (int i = 0; i < 10000; ++i) session.Move({100 + (i % 500), 100 + (i / 500)});
    const long before = MaxResidentKb();
    for (int i = 0; i < 100000; ++i) session.Move({100 + (i % 900), 100 + (i / 900)});
    const long after = MaxResidentKb();
    state.counters["rss_growth_kb"] = static_cast<double>(after - before);
    state.counters["rss_kb"] = static_cast<double>(after);
  }
}
BENCHMARK(BM_PickMemory)->Arg(100)->Arg(150)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
