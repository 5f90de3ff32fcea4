#pragma once

#include <optional>
#include <span>

#include "colour/colour_value.h"
#include "text/text.h"
#include "platform/platform.h"
#include "ui/paint.h"

namespace tinctora::ui {

class Form;

// The colour chooser's drop-down: the 32 preset colours in a grid of 8
// columns and 4 rows, each with its name as a tooltip, and below them an
// entry that leads to the colour dialog. Its layout, painting and
// hit-testing are the program's own; a backend only hosts the window.
class ColourPopup {
 public:
  struct Preset {
    colour::ColourValue colour;
    const char* name;  // GBK
  };
  static std::span<const Preset> Presets();
  static TextView OtherEntry();  // "其它颜色..."

  // Geometry, in the popup's client coordinates, in the layout's units; the
  // popup is shown at its owner's scale.
  static constexpr int kColumns = 8;
  static constexpr int kRows = 4;
  static constexpr int kMargin = 4;
  static constexpr int kPitch = 20;   // from one swatch's left edge to the next
  static constexpr int kSwatch = 16;  // the swatch with its frame
  static constexpr int kOtherHeight = 22;
  static constexpr int kWidth = 2 * kMargin + kColumns * kPitch - (kPitch - kSwatch);
  static constexpr int kHeight = 2 * kMargin + kRows * kPitch + kOtherHeight;
  static Rect SwatchRect(int index);
  static Rect OtherRect();

  // What lies under a client point.
  struct Hit {
    enum class Kind { Nothing, Preset, Other } kind = Kind::Nothing;
    int index = 0;  // the preset, from 0
    friend bool operator==(const Hit&, const Hit&) = default;
  };
  static Hit HitTest(Point client);

  // Where the popup opens for a chooser at `anchor` (screen coordinates):
  // below it, or above it when the display holding it has no room below,
  // and moved sideways to stay on that display.
  // The popup's size in device pixels at the scale.
  static Rect Placement(const Rect& anchor, std::span<const Rect> displays, double scale = 1.0);

  // The user's choice.
  struct Choice {
    enum class Kind { Cancelled, Preset, Other } kind = Kind::Cancelled;
    int index = 0;
  };

  ColourPopup(Form& form, colour::ColourValue current);
  // Shows the popup below the anchor and returns when the user has chosen
  // or dismissed it.
  Choice Run(const Rect& anchor);

  // Messages of the popup window, from the control layer.
  void Paint(Image& client) const;
  void OnMouse(const platform::MouseMessage& message);
  void OnKey(int virtualKey);
  void OnDismissed();
  platform::WindowId Window() const { return window_; }

 private:
  void Finish(Choice choice);
  void SetHover(Hit hit);
  Form& form_;
  colour::ColourValue current_;
  platform::WindowId window_ = 0;
  Hit hover_;
  Hit pressed_;
  std::optional<Choice> choice_;
  double scale_ = 1.0;
};

}  // namespace tinctora::ui
