#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

namespace tinctora::ui {

// Every event a control can raise. The number each event carries in the
// layout's bindings is EventNumber(); names are those handlers are bound by.
enum class EventId {
  // main window
  Created,
  Destroying,
  Activated,
  FirstActivation,  // unbound in this program
  Deactivated,      // unbound
  CloseQuery,       // unbound; the window always allows closing
  Moved,            // unbound
  Resized,          // unbound
  // all controls
  LeftButtonDown,
  LeftButtonUp,
  RightButtonDown,
  RightButtonUp,  // unbound
  MouseMove,
  FocusGained,  // unbound
  // the control lost the mouse capture it held
  CaptureLost,
  // kinds
  ContentChanged,   // EditBox
  PositionChanged,  // SliderBar
  ColourChanged,    // ColorPicker
  Feedback,         // Label
  Clicked,          // menu item
};
inline constexpr std::size_t EventCount = static_cast<std::size_t>(EventId::Clicked) + 1;

int EventNumber(EventId id);
std::string_view EventName(EventId id);

// Mouse events carry x, y (client coordinates, each as an unsigned 16-bit
// number) and the modifier keys; Feedback carries its two integers, a hot
// key's id and 0.
struct EventArgs {
  int x = 0;
  int y = 0;
  int keys = 0;
  int feedbackA = 0;
  int feedbackB = 0;
};

using Handler = std::function<void(const EventArgs&)>;

}  // namespace tinctora::ui
