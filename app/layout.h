#pragma once

#include <span>
#include <string_view>

#include "colour/colour_value.h"
#include "text/text.h"
#include "context/context.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace tinctora::app {

using context::kCopyMenu;
using context::kWindowName;
inline constexpr const char* kFinalCaption = "Tinctora V1.0    (2018-08-16)";

enum class Input { Normal, ReadOnly, DigitsOnly };

// One row of the control table. Colours are written red first, as RRGGBB;
// kFace stands for the system's button-face colour.
struct ControlRow {
  std::string_view name;
  ui::ControlKind kind;
  std::string_view in;  // the container's name; empty for the window
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool shown = true;
  bool tabStop = false;
  bool border = false;
  const char* text = "";         // caption or initial content, GBK
  std::int64_t background = -1;  // RRGGBB or kFace
  std::int64_t foreground = 0;   // text colour, shape line colour or chooser colour, RRGGBB
  ui::HAlign align = ui::HAlign::Left;
  int maxLength = 0;
  Input input = Input::Normal;
  ui::PictureMode pictureMode = ui::PictureMode::Natural;
  bool gradient = false;  // left-to-right FFFFFF, C0C0C0, 000000
  // The system's colours the control takes in high contrast; Keep for
  // content, which keeps its colours.
  ui::Contrast contrast = ui::Contrast::Keep;
};
inline constexpr std::int64_t kFace = -1;

std::span<const ControlRow> ControlTable();
platform::TopLevelSpec WindowSettings();
ui::PopupMenu CopyMenu();

// Adds the window, every control in creation order and the copy menu.
void AddLayout(ui::Form& form);

}  // namespace tinctora::app
