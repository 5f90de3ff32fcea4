#pragma once

// What the seam's contract tests need of a backend besides the seam itself:
// a way to act as the user and as other programs, and to let the system run.
// Each backend's contract test program links the one suite
// (contract_test.cpp) with its own harness, made by MakeHarness.

#include <functional>
#include <vector>
#include <memory>
#include <optional>
#include <string>

#include "text/text.h"
#include "platform/platform.h"

namespace tinctora::contract {

using gfx::Point;
using platform::WindowId;

// The scale this run of the suite is for, from TINCTORA_TEST_SCALE in per
// cent (100 when unset).
double TestScale();

class Harness {
 public:
  virtual ~Harness() = default;

  // Every service of the backend under test.
  virtual platform::Platform Services() = 0;

  // Lets the system deliver what is waiting (input, paints, timers) for at
  // least `ms` milliseconds, and at least once.
  virtual void Run(int ms) = 0;

  // ---- the user, on the program's windows. Each action is delivered as
  // the system delivers it (through the message loop) before it returns.
  // One character typed into the control that has the keyboard focus; the
  // character is GBK (one or two bytes).
  virtual void Type(TextView character) = 0;
  // A key pressed and released on the control with the keyboard focus.
  virtual void Key(int virtualKey) = 0;
  // The system's paste shortcut (Ctrl+V) on the focused control, with the
  // clipboard holding `text` (GBK) as another program put it there.
  virtual void Paste(TextView text) = 0;
  // A left click at a point of a window's client area.
  virtual void Click(WindowId window, Point client) = 0;

  // A mouse movement over a window, to a point of its client area, made
  // while the pointer is there; before the program handles it the pointer
  // goes on to `then` (client coordinates of the same window). Returns false
  // where the harness cannot hold the message back.
  virtual bool MoveThenMoveOn(WindowId window, Point client, Point then) = 0;
  // The left button pressed at `from` (client coordinates of `window`), the
  // pointer moved through `path` (the same coordinates, outside the window
  // too) and the button released at the last point. Returns false where the
  // harness cannot move the pointer itself.
  virtual bool Drag(WindowId /*window*/, Point /*from*/, const std::vector<Point>& /*path*/) { return false; }
  // As Drag, with `between(i)` called once the program has handled the
  // i-th movement, before the next one is made.
  virtual bool DragStepwise(WindowId /*window*/, Point /*from*/, const std::vector<Point>& /*path*/,
                            const std::function<void(std::size_t)>& /*between*/) {
    return false;
  }

  // ---- other programs
  // Another window takes the mouse capture (a grab) away from the program.
  virtual void StealCapture() = 0;
  // Another program holds a system-wide hot key (ModifierBits, virtual key);
  // false when the harness cannot do that here.
  virtual bool HoldHotKey(int modifiers, int virtualKey) = 0;
  virtual void ReleaseHotKey(int modifiers, int virtualKey) = 0;
  // The clipboard's plain text as another program reads it (GBK), or
  // nothing when it holds no text.
  virtual std::optional<Text> ClipboardText() = 0;

  // The user gives the system other colours while the program runs (the
  // face and the text on it differ from now): a high-contrast scheme, the
  // system's colour settings, the desktop's palette. False where the
  // harness cannot. RestoreColours puts back the ones before.
  virtual bool ChangeColours() { return false; }
  virtual void RestoreColours() {}

  // Another program holds the display system to itself (an X server grab)
  // from before `meanwhile` runs until about `ms` milliseconds after, so
  // that what the program hands the system meanwhile waits there. False,
  // `meanwhile` not run, where the harness cannot.
  virtual bool HoldDisplayWhile(int /*ms*/, const std::function<void()>& /*meanwhile*/) { return false; }
  // Another program shows a window of one colour (0x00BBGGRR) over a
  // rectangle of the screen, or paints the one it shows anew in another;
  // done once the system has drawn it. False where the harness cannot.
  virtual bool PaintOtherWindow(const gfx::Rect& /*screen*/, gfx::Pixel /*colour*/) { return false; }

  // Whether pixels shown on the screen can be read back here (a real
  // display, or the simulated one).
  virtual bool ScreenReadable() const { return true; }

  // The scale the harness set the desktop's primary display to: the one of
  // TestScale(), which each backend's run applies its own way (a display
  // option, the toolkit's scale factor, the system's pixels per inch).
  virtual double Scale() const { return TestScale(); }
};

// Made once for each test.
std::unique_ptr<Harness> MakeHarness();

}  // namespace tinctora::contract
