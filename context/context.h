#pragma once

#include <array>
#include <span>
#include <utility>
#include <string_view>
#include <cstdint>
#include <vector>

#include "colour/colour_value.h"
#include "text/text.h"
#include "platform/platform.h"
#include "ui/form.h"

namespace tinctora::context {

// Layout names the handlers use besides the controls'.
inline constexpr std::string_view kWindowName = "main";
inline constexpr std::string_view kCopyMenu = "图片框鼠标右键";

// Program-wide state. Lives for the whole run; nothing is saved.
struct State {
  int PickActive = 0;  // 1 while a drag from the picker pad is in progress
  int ZoomImage = 0;   // the picture last drawn into the zoom view; 0 none
  // Hot-key ids of the arrow keys during a pick: up, down, left, right; 0 none.
  std::array<int, 4> NudgeKeyIds{0, 0, 0, 0};
  int StripHoldFlag = 0;
  int SliderEchoGuard = 0;
  colour::ColourValue MenuColour = 0;
  // 13 entries once the window exists. Entries are counted from 1: entry k
  // belongs to the swatch 图片框k, and entries 1, 7 and 13 are never used.
  std::vector<std::int32_t> HistoryColours;
  std::vector<Text> NotationTable;           // 13 entries once the window exists

  std::int32_t& HistoryEntry(int k) { return HistoryColours[static_cast<std::size_t>(k - 1)]; }
  std::int32_t HistoryEntry(int k) const { return HistoryColours[static_cast<std::size_t>(k - 1)]; }

  // Set while the picker's button-down handler lets waiting messages run: a
  // press dispatched then must not start a second pick inside the first.
  bool PickStarting = false;
  // Set once a pick's movement has read a colour: a pick that loses its
  // capture before that (a screen capture refused, cancelled) records
  // nothing in the history.
  bool PickRead = false;
};

// The controls the handlers read and write, looked up once by layout name.
struct Widgets {
  ui::PicBox& pad;             // 图片框1, the picker pad
  ui::EditBox& coordinates;    // 鼠标位置编辑框
  ui::EditBox& red;            // R编辑框
  ui::EditBox& green;          // G编辑框
  ui::EditBox& blue;           // B编辑框
  ui::EditBox& colourValue;    // 颜色值编辑框, hidden
  ui::PicBox& current;         // 当前颜色
  ui::DrawPanel& zoom;         // 画板1
  ui::PicBox& palette;         // 图片框7
  ui::Label& strip;            // 标签14
  ui::Label& marker;           // 标签15
  ui::Label& nudgeReceiver;    // 标签1, receives the arrow-key hot keys
  ui::SliderBar& redSlider;    // 滑块条1
  ui::SliderBar& greenSlider;  // 滑块条2
  ui::SliderBar& blueSlider;   // 滑块条3
  ui::ColorPicker& chooser;    // 颜色选择器1
  // Notation boxes.
  ui::EditBox& html;     // HTML编辑框
  ui::EditBox& cCpp;     // C编辑框
  ui::EditBox& hsv;      // 编辑框7
  ui::EditBox& cmyk;     // 编辑框6
  ui::EditBox& vb;       // 编辑框1
  ui::EditBox& delphi;   // 编辑框2
  ui::EditBox& decimal;  // 编辑框4
  ui::EditBox& rgb;      // 编辑框5
  ui::EditBox& hex;      // 编辑框3
  // The history row, newest first, with each swatch's HistoryColours entry.
  std::array<ui::PicBox*, 10> swatches;
  std::array<int, 10> swatchEntries;

  static Widgets Find(const ui::Form& form);
};

// The swatches of the history row, newest first, each with the number of
// its HistoryColours entry.
std::span<const std::pair<const char*, int>> Swatches();

// What every handler works with: the window's controls, the program-wide
// state and the services of the seam. Handlers reach the system only through
// these.
struct Context {
  ui::Form& form;
  State& state;
  ui::HotKeyService& hotKeys;
  const platform::Platform& system;
  // The reticle cursor file the picker pad shows and the pointer wears
  // during a pick, embedded in the program.
  std::span<const std::uint8_t> reticle;
  const Widgets* widgets = nullptr;  // set once the window's controls exist

  const Widgets& W() const { return *widgets; }
};

}  // namespace tinctora::context
