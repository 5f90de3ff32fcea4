// The simulated desktop's harness: the user's actions and the other
// programs are the desktop's own, and time passes on its clock.

#include "platform/headless/desktop.h"
#include "tests/contract/harness.h"

namespace tinctora::contract {
namespace {

class HeadlessHarness final : public Harness {
 public:
  HeadlessHarness() {
    std::vector<headless::Display> displays = desktop_.DisplayList();
    displays.front().scale = TestScale();
    desktop_.SetDisplays(std::move(displays));
  }

  platform::Platform Services() override { return desktop_.Services(); }

  void Run(int ms) override {
    desktop_.ProcessPending();
    desktop_.Advance(ms);
  }

  void Type(TextView character) override { desktop_.Type(character); }
  void Key(int virtualKey) override { desktop_.KeyDown(virtualKey); }
  void Paste(TextView text) override {
    desktop_.ClipboardService().PutText(Text(text));
    desktop_.Paste();
  }
  void Click(WindowId window, Point client) override {
    desktop_.MovePointer(OnScreen(window, client));
    desktop_.Press(headless::Button::Left);
    desktop_.Release(headless::Button::Left);
  }

  bool MoveThenMoveOn(WindowId window, Point client, Point then) override {
    // Busy, the program sees neither movement until both have happened.
    desktop_.SetBusy(true);
    desktop_.MovePointer(OnScreen(window, client));
    desktop_.MovePointer(OnScreen(window, then));
    desktop_.SetBusy(false);
    return true;
  }

  void StealCapture() override { desktop_.StealCapture(); }
  bool HoldHotKey(int modifiers, int virtualKey) override {
    desktop_.HotKeyRegistry().Hold(modifiers, virtualKey);
    return true;
  }
  void ReleaseHotKey(int modifiers, int virtualKey) override {
    desktop_.HotKeyRegistry().Release(modifiers, virtualKey);
  }
  std::optional<Text> ClipboardText() override { return desktop_.ClipboardService().Contents(); }
  bool ChangeColours() override {
    desktop_.SetHighContrast(true);
    return true;
  }
  void RestoreColours() override { desktop_.SetHighContrast(false); }

 private:
  Point OnScreen(WindowId window, Point client) const {
    const gfx::Rect r = desktop_.ClientRect(window);
    return {r.left + client.x, r.top + client.y};
  }
  headless::Desktop desktop_;
};

}  // namespace

std::unique_ptr<Harness> MakeHarness() { return std::make_unique<HeadlessHarness>(); }

}  // namespace tinctora::contract
