#include "context/context.h"

namespace tinctora::context {

namespace {

// The swatches of the history row, each with its list entry.
constexpr std::pair<const char*, int> kSwatches[] = {
    {"图片框2", 2}, {"图片框3", 3}, {"图片框4", 4},   {"图片框5", 5},   {"图片框6", 6},
    {"图片框8", 8}, {"图片框9", 9}, {"图片框10", 10}, {"图片框11", 11}, {"图片框12", 12},
};

}  // namespace

Widgets Widgets::Find(const ui::Form& form) {
  Widgets w{
      .pad = form.Get<ui::PicBox>("图片框1"),
      .coordinates = form.Get<ui::EditBox>("鼠标位置编辑框"),
      .red = form.Get<ui::EditBox>("R编辑框"),
      .green = form.Get<ui::EditBox>("G编辑框"),
      .blue = form.Get<ui::EditBox>("B编辑框"),
      .colourValue = form.Get<ui::EditBox>("颜色值编辑框"),
      .current = form.Get<ui::PicBox>("当前颜色"),
      .zoom = form.Get<ui::DrawPanel>("画板1"),
      .palette = form.Get<ui::PicBox>("图片框7"),
      .strip = form.Get<ui::Label>("标签14"),
      .marker = form.Get<ui::Label>("标签15"),
      .nudgeReceiver = form.Get<ui::Label>("标签1"),
      .redSlider = form.Get<ui::SliderBar>("滑块条1"),
      .greenSlider = form.Get<ui::SliderBar>("滑块条2"),
      .blueSlider = form.Get<ui::SliderBar>("滑块条3"),
      .chooser = form.Get<ui::ColorPicker>("颜色选择器1"),
      .html = form.Get<ui::EditBox>("HTML编辑框"),
      .cCpp = form.Get<ui::EditBox>("C编辑框"),
      .hsv = form.Get<ui::EditBox>("编辑框7"),
      .cmyk = form.Get<ui::EditBox>("编辑框6"),
      .vb = form.Get<ui::EditBox>("编辑框1"),
      .delphi = form.Get<ui::EditBox>("编辑框2"),
      .decimal = form.Get<ui::EditBox>("编辑框4"),
      .rgb = form.Get<ui::EditBox>("编辑框5"),
      .hex = form.Get<ui::EditBox>("编辑框3"),
      .swatches = {},
      .swatchEntries = {},
  };
  for (std::size_t i = 0; i < std::size(kSwatches); ++i) {
    w.swatches[i] = &form.Get<ui::PicBox>(kSwatches[i].first);
    w.swatchEntries[i] = kSwatches[i].second;
  }
  return w;
}

std::span<const std::pair<const char*, int>> Swatches() { return kSwatches; }

}  // namespace tinctora::context
