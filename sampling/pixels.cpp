#include "sampling/pixels.h"

namespace tinctora::sampling {

colour::ColourValue PixelAtPoint(context::Context& c, const ui::Control& control, int x, int y) {
  // Every click carries its own position, (0, 0) included: the pointer may
  // have moved on before the click is handled. The pixel is the program's
  // own: what it wrote and has not shown yet (a strip re-based a moment
  // ago) is shown first.
  c.form.BringScreenUpToDate();
  return c.system.screen->PixelAt(c.form.ScreenPointOf(control, {x, y}));
}

colour::ColourValue PixelAtScreenPoint(context::Context& c, ui::Point screen) {
  return c.system.screen->PixelAt(screen);
}

std::optional<ui::Point> CursorPosition(context::Context& c) { return c.system.screen->CursorPos(); }

void MovePointerTo(context::Context& c, ui::Point screen) { c.system.screen->SetCursorPos(screen); }

}  // namespace tinctora::sampling
