#include "sampling/pixels.h"

namespace tinctora::sampling {

colour::ColourValue PixelAtPoint(context::Context& c, platform::WindowId window, int x, int y) {
  // Every click carries its own position, (0, 0) included: the pointer may
  // have moved on before the click is handled.
  ui::Point at{x, y};
  if (window != 0) {
    // A click position is in the control's client coordinates; its own
    // border and frame are not part of it.
    const ui::Rect client = c.system.windows->ClientRect(window);
    at = {client.left + x, client.top + y};
    // The pixel is the program's own: what it wrote and has not shown yet
    // (a strip re-based a moment ago) is shown first.
    c.form.BringScreenUpToDate();
  }
  return c.system.screen->PixelAt(at);
}

ui::Point CursorPosition(context::Context& c) { return c.system.screen->CursorPos(); }


void MovePointerTo(context::Context& c, platform::WindowId window, int x, int y) {
  ui::Point origin{0, 0};
  if (window != 0) {
    const ui::Rect client = c.system.windows->ClientRect(window);
    origin = {client.left, client.top};
  }
  c.system.screen->SetCursorPos({origin.x + x, origin.y + y});
}

}  // namespace tinctora::sampling
