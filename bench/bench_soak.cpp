// A long pick: one press on the picker pad, a million pointer movements over
// a desktop whose every pixel differs, one release. The peak resident size
// after the first ten thousand movements and after the last must be the
// same: nothing a movement makes may stay behind.
#include <benchmark/benchmark.h>

#include "bench/pick_session.h"

namespace {

using namespace tinctora;
using tinctora::bench::MaxResidentKb;

void BM_MillionMovementPick(benchmark::State& state) {
  for (auto _ : state) {
    tinctora::bench::PickSession session;
    headless::Desktop& desktop = session.desktop;
    app::Program& program = session.program;
    const auto move = [&](int i) { session.Move({(i * 7) % 1900, (i / 1900 * 13 + i) % 1070}); };
    for (int i = 0; i < 10000; ++i) move(i);
    const long early = MaxResidentKb();
    for (int i = 10000; i < 1000000; ++i) move(i);
    const long late = MaxResidentKb();
    desktop.Release(headless::Button::Left);
    state.counters["rss_after_10k_kb"] = static_cast<double>(early);
    state.counters["rss_after_1m_kb"] = static_cast<double>(late);
    state.counters["rss_growth_kb"] = static_cast<double>(late - early);
    state.counters["pictures_held"] = static_cast<double>(program.Form().PictureStore().Count());
    state.counters["live_cursors"] = static_cast<double>(desktop.LiveCursors());
    state.counters["pick_active"] = program.GetState().PickActive;
  }
}
BENCHMARK(BM_MillionMovementPick)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
