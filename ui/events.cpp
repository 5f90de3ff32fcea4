#include "ui/events.h"

namespace tinctora::ui {

int EventNumber(EventId id) {
  switch (id) {
    case EventId::Created: return 0;
    case EventId::Destroying: return 2;
    case EventId::Activated: return 5;
    case EventId::FirstActivation: return 4;
    case EventId::Deactivated: return 6;
    case EventId::CloseQuery: return 1;
    case EventId::Moved: return 7;
    case EventId::Resized: return 8;
    case EventId::LeftButtonDown: return -1;
    case EventId::LeftButtonUp: return -2;
    case EventId::RightButtonDown: return -4;
    case EventId::RightButtonUp: return -5;
    case EventId::MouseMove: return -6;
    case EventId::FocusGained: return -7;
    case EventId::CaptureLost: return -12;
    case EventId::ContentChanged:
    case EventId::PositionChanged:
    case EventId::ColourChanged:
    case EventId::Feedback:
    case EventId::Clicked: return 0;
  }
  return 0;
}

std::string_view EventName(EventId id) {
  switch (id) {
    case EventId::Created: return "Created";
    case EventId::Destroying: return "Destroying";
    case EventId::Activated: return "Activated";
    case EventId::FirstActivation: return "FirstActivation";
    case EventId::Deactivated: return "Deactivated";
    case EventId::CloseQuery: return "CloseQuery";
    case EventId::Moved: return "Moved";
    case EventId::Resized: return "Resized";
    case EventId::LeftButtonDown: return "LeftButtonDown";
    case EventId::LeftButtonUp: return "LeftButtonUp";
    case EventId::RightButtonDown: return "RightButtonDown";
    case EventId::RightButtonUp: return "RightButtonUp";
    case EventId::MouseMove: return "MouseMove";
    case EventId::FocusGained: return "FocusGained";
    case EventId::CaptureLost: return "CaptureLost";
    case EventId::ContentChanged: return "ContentChanged";
    case EventId::PositionChanged: return "PositionChanged";
    case EventId::ColourChanged: return "ColourChanged";
    case EventId::Feedback: return "Feedback";
    case EventId::Clicked: return "Clicked";
  }
  return "?";
}

}  // namespace tinctora::ui
