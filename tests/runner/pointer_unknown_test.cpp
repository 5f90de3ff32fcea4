// A movement of a pick handled while the system tells no pointer position
// (another desktop, a secure prompt or the lock screen, has the pointer):
// it reads as an unreadable pixel, not as the pixel at (0, 0).

#include <gtest/gtest.h>

#include "app/program.h"
#include "colour/colour_value.h"
#include "platform/headless/desktop.h"

namespace tinctora::headless {
namespace {

TEST(PointerUnknown, AMovementReadsAsAnUnreadablePixelNotAsTheScreensCorner) {
  Desktop desktop;
  // The corner is black; the rest of the desktop is mid-grey.
  ui::Image picture(1920, 1080, ui::RgbHex(0x808080));
  picture.Set(0, 0, ui::RgbHex(0x000000));
  desktop.DrawOnDesktop({0, 0}, picture);
  app::Program program(desktop.Services());
  program.Start();
  context::Context& c = program.GetContext();
  ui::Control& pad = c.W().pad;
  const ui::Rect client = desktop.ClientRect(pad.Handle());
  desktop.MovePointer({client.left + 5, client.top + 5});
  desktop.Press(Button::Left);
  desktop.MovePointer({700, 300});
  desktop.Settle();
  ASSERT_EQ(c.state.PickActive, 1);
  EXPECT_EQ(c.W().coordinates.Content(), "700,300");
  EXPECT_EQ(c.W().current.BackColour(), static_cast<colour::ColourValue>(ui::RgbHex(0x808080)));

  desktop.SetPointerHidden(true);
  // The movement's handler runs outside any mouse message of the system's.
  program.Form().Raise(pad, ui::EventId::MouseMove);
  desktop.Settle();
  // The invalid colour reads as white, as any unreadable pixel does; the
  // coordinates stay the last known ones, and the zoom view shows only its
  // background.
  EXPECT_EQ(c.W().current.BackColour(), static_cast<colour::ColourValue>(ui::RgbHex(0xFFFFFF)));
  EXPECT_EQ(c.W().coordinates.Content(), "700,300");
  const ui::Rect zoom = desktop.ClientRect(c.W().zoom.Handle());
  const ui::Pixel background = program.Form().Resolve(c.W().zoom.BackColour());
  EXPECT_EQ(desktop.ShownPixel({zoom.left + zoom.Width() / 2, zoom.top + zoom.Height() / 2}), background);

  desktop.SetPointerHidden(false);
  desktop.Release(Button::Left);
  EXPECT_EQ(c.state.PickActive, 0);
}

}  // namespace
}  // namespace tinctora::headless
