// One pointer movement during a pick on the Windows backend (under Wine
// here, or on Windows): the real program in its real window, each movement
// a WM_MOUSEMOVE the picker pad handles in full (the pixel and the zoom
// view's square read from the screen's DC, the channel writes, the
// notations), and the display frame with its native writes and drawing
// about once every 16 ms, as on a desktop.
//
// Run it with the display the program may draw on (an X server for Wine);
// tools/bench-windows builds and runs it.

#include <windows.h>

#include <benchmark/benchmark.h>

#include <memory>

#include "app/program.h"
#include "platform/win32/win32_platform.h"

namespace {

using tinctora::app::Program;
using tinctora::win32::Win32System;

class PickSession {
 public:
  PickSession() : system_(Win32System::Create()) {
    if (!system_) return;
    // The program keeps a reference to the services it is given.
    services_ = system_->Services();
    program_ = std::make_unique<Program>(services_);
    program_->Start();
    if (program_->Finished()) return;
    services_.loop->ProcessPending();
    pad_ = reinterpret_cast<HWND>(program_->GetContext().W().pad.Handle());
    RECT r{};
    GetClientRect(pad_, &r);
    MapWindowPoints(pad_, nullptr, reinterpret_cast<POINT*>(&r), 2);
    SetCursorPos(r.left + 10, r.top + 10);
    // A click on a window in the background would only bring it forward.
    SetForegroundWindow(GetAncestor(pad_, GA_ROOT));
    services_.loop->ProcessPending();
    // The button really down: the pick asks the system whether it is.
    Button(MOUSEEVENTF_LEFTDOWN, 1);
  }
  ~PickSession() {
    if (!program_) return;
    Button(MOUSEEVENTF_LEFTUP, 0);
    program_->Form().Close();
  }
  PickSession(const PickSession&) = delete;
  PickSession& operator=(const PickSession&) = delete;

  bool Picking() const { return program_ && program_->GetContext().state.PickActive == 1; }

  void Move(int i) {
    SendMessageW(pad_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(i % 200, (i / 200) % 100));
    // What else waits (a frame that fell due) is handled as the loop would.
    if ((i & 15) == 0) services_.loop->ProcessPending();
  }

 private:
  void Button(DWORD flags, int picking) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof input);
    for (int i = 0; i < 100 && program_->GetContext().state.PickActive != picking; ++i) {
      Sleep(10);
      services_.loop->ProcessPending();
    }
  }

  std::unique_ptr<Win32System> system_;
  tinctora::platform::Platform services_;
  std::unique_ptr<Program> program_;
  HWND pad_ = nullptr;
};

void BM_PickMovement(benchmark::State& state) {
  // One program for every run: a program's end leaves the thread's loop
  // finished.
  static PickSession session;
  if (!session.Picking()) {
    state.SkipWithError("the program started no pick (no display?)");
    return;
  }
  int i = 0;
  for (auto _ : state) session.Move(i++);
}
BENCHMARK(BM_PickMovement)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
