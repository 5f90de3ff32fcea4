#pragma once

// The pointer events of the X Input extension's version 2 as XCB hands them
// over (its generic events, with the full sequence number inserted after
// the first 32 bytes), decoded in one place. Pure, no connection.

#include <cstdint>
#include <optional>
#include <vector>

#include <xcb/xcb.h>

#include "graphics/image.h"

namespace tinctora::qtb {

struct XInputPointer {
  enum class Kind : std::uint8_t { Press, Release, Motion };
  Kind kind = Kind::Motion;
  // The master pointer's own event; the physical devices' events (which
  // Qt also selects) come with their own device as the source.
  bool master = false;
  // The device the event is reported for (the master, or the physical one).
  std::uint16_t device = 0;
  std::uint32_t time = 0;
  gfx::Point root;            // whole physical pixels
  std::uint32_t modifiers = 0;  // the effective core modifier mask
};

// A pointer event (button press, release or motion) of the extension whose
// major opcode is `inputOpcode`; nothing for any other event.
std::optional<XInputPointer> DecodeInputPointer(const xcb_generic_event_t& event, std::uint8_t inputOpcode);

// The mode of a crossing event of the extension (enter, leave; its modes
// have the core values, Ungrab among them); nothing for any other event.
std::optional<std::uint8_t> DecodeInputCrossingMode(const xcb_generic_event_t& event, std::uint8_t inputOpcode);

// Sends the extension's XIUngrabDevice for `device` on `c` (a grab the
// connection's client holds on that device ends, an implicit one of a press
// among them), without its client library.
void UngrabInputDevice(xcb_connection_t* c, std::uint16_t device);

// What a client selected of the extension's events on a window: the masks
// as they come on the wire (per device: its id, its length in 4-byte
// units, the mask), and how many there are.
struct InputSelection {
  std::uint16_t count = 0;
  std::vector<std::uint8_t> masks;
};

// The selection `c`'s client made on `window` (XIGetSelectedEvents, a round
// trip); nothing when it cannot be read.
std::optional<InputSelection> SelectedInputEvents(xcb_connection_t* c, xcb_window_t window);
// Makes `selection` the client's selection on `window` (XISelectEvents).
void SelectInputEvents(xcb_connection_t* c, xcb_window_t window, const InputSelection& selection);
// The selection without pointer motion, for every device it names; a
// malformed selection comes back empty.
InputSelection WithoutMotion(const InputSelection& selection);

}  // namespace tinctora::qtb
