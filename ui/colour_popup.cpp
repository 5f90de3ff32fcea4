#include "ui/colour_popup.h"

#include <algorithm>

#include "ui/form.h"
#include "ui/scale.h"

namespace tinctora::ui {

namespace {

using colour::ColourValue;

constexpr ColourValue Rgb(std::uint32_t rrggbb) { return static_cast<ColourValue>(RgbHex(rrggbb)); }

// The presets, in order, with the names shown as tooltips.
constexpr ColourPopup::Preset kPresets[] = {
    {Rgb(0x000000), "\xBA\xDA\xC9\xAB"},  // 黑色
    {Rgb(0x000080), "\xB2\xD8\xC7\xE0"},  // 藏青
    {Rgb(0x008000), "\xC4\xAB\xC2\xCC"},  // 墨绿
    {Rgb(0x008080), "\xC9\xEE\xC7\xE0"},  // 深青
    {Rgb(0x800000), "\xBA\xEC\xBA\xD6"},  // 红褐
    {Rgb(0x800080), "\xD7\xCF\xBA\xEC"},  // 紫红
    {Rgb(0x808000), "\xBA\xD6\xC2\xCC"},  // 褐绿
    {Rgb(0xC0C0C0), "\xC7\xB3\xBB\xD2"},  // 浅灰
    {Rgb(0x808080), "\xBB\xD2\xC9\xAB"},  // 灰色
    {Rgb(0x0000FF), "\xC0\xB6\xC9\xAB"},  // 蓝色
    {Rgb(0x00FF00), "\xC2\xCC\xC9\xAB"},  // 绿色
    {Rgb(0x00FFFF), "\xD1\xDE\xC7\xE0"},  // 艳青
    {Rgb(0xFF0000), "\xBA\xEC\xC9\xAB"},  // 红色
    {Rgb(0xFF00FF), "\xC6\xB7\xBA\xEC"},  // 品红
    {Rgb(0xFFFF00), "\xBB\xC6\xC9\xAB"},  // 黄色
    {Rgb(0xFFFFFF), "\xB0\xD7\xC9\xAB"},  // 白色
    {Rgb(0x8080FF), "\xC0\xB6\xBB\xD2"},  // 蓝灰
    {Rgb(0x5830E0), "\xB2\xD8\xC0\xB6"},  // 藏蓝
    {Rgb(0x80E000), "\xC4\xDB\xC2\xCC"},  // 嫩绿
    {Rgb(0x00E080), "\xC7\xE0\xC2\xCC"},  // 青绿
    {Rgb(0xC06000), "\xBB\xC6\xBA\xD6"},  // 黄褐
    {Rgb(0xFFA8FF), "\xB7\xDB\xBA\xEC"},  // 粉红
    {Rgb(0xD8D800), "\xC4\xDB\xBB\xC6"},  // 嫩黄
    {Rgb(0xECECEC), "\xD2\xF8\xB0\xD7"},  // 银白
    {Rgb(0x9000FF), "\xD7\xCF\xC9\xAB"},  // 紫色
    {Rgb(0x0088FF), "\xCC\xEC\xC0\xB6"},  // 天蓝
    {Rgb(0x80A080), "\xBB\xD2\xC2\xCC"},  // 灰绿
    {Rgb(0x0060C0), "\xC7\xE0\xC0\xB6"},  // 青蓝
    {Rgb(0xFF8000), "\xB3\xC8\xBB\xC6"},  // 橙黄
    {Rgb(0xFF5080), "\xCC\xD2\xBA\xEC"},  // 桃红
    {Rgb(0xFF80C0), "\xDC\xBD\xBA\xEC"},  // 芙红
    {Rgb(0x606060), "\xC9\xEE\xBB\xD2"},  // 深灰
};

constexpr char kOtherColours[] = "\xC6\xE4\xCB\xFC\xD1\xD5\xC9\xAB...";  // 其它颜色...

constexpr Pixel kFrame = RgbHex(0x808080);
constexpr Pixel kHighlight = RgbHex(0x0078D7);
constexpr Pixel kText = RgbHex(0x000000);

Rect Grow(const Rect& r, int by) { return {r.left - by, r.top - by, r.right + by, r.bottom + by}; }

}  // namespace

std::span<const ColourPopup::Preset> ColourPopup::Presets() { return kPresets; }

TextView ColourPopup::OtherEntry() { return kOtherColours; }

Rect ColourPopup::SwatchRect(int index) {
  const int left = kMargin + (index % kColumns) * kPitch;
  const int top = kMargin + (index / kColumns) * kPitch;
  return {left, top, left + kSwatch, top + kSwatch};
}

Rect ColourPopup::OtherRect() {
  const int top = kMargin + kRows * kPitch;
  return {kMargin, top, kWidth - kMargin, top + kOtherHeight - 2};
}

ColourPopup::Hit ColourPopup::HitTest(Point client) {
  // A point between swatches belongs to the nearer one's cell.
  const int gridLeft = kMargin - (kPitch - kSwatch) / 2;
  const int gridTop = kMargin - (kPitch - kSwatch) / 2;
  const int column = client.x - gridLeft >= 0 ? (client.x - gridLeft) / kPitch : -1;
  const int row = client.y - gridTop >= 0 ? (client.y - gridTop) / kPitch : -1;
  if (column >= 0 && column < kColumns && row >= 0 && row < kRows) {
    return {Hit::Kind::Preset, row * kColumns + column};
  }
  if (OtherRect().Contains(client.x, client.y)) return {Hit::Kind::Other, 0};
  return {};
}

Rect ColourPopup::Placement(const Rect& anchor, std::span<const Rect> displays, double scale) {
  const int width = DeviceEdge(kWidth, scale);
  const int height = DeviceEdge(kHeight, scale);
  Rect display = displays.empty() ? Rect{} : displays.front();
  for (const Rect& d : displays) {
    if (d.Contains(anchor.left, anchor.top)) {
      display = d;
      break;
    }
  }
  int left = anchor.left;
  int top = anchor.bottom;
  if (!display.Empty()) {
    if (top + height > display.bottom && anchor.top - height >= display.top) top = anchor.top - height;
    left = std::clamp(left, display.left, std::max(display.left, display.right - width));
  }
  return {left, top, left + width, top + height};
}

ColourPopup::ColourPopup(Form& form, ColourValue current) : form_(form), current_(current) {}

ColourPopup::Choice ColourPopup::Run(const Rect& anchor) {
  const platform::Platform& system = form_.System();
  std::vector<Rect> displays;
  for (const platform::Display& display : system.screen->Displays()) displays.push_back(display.bounds);
  scale_ = form_.Scale();
  window_ = system.popups->CreatePopup(form_.Window().Handle(), Placement(anchor, displays, scale_));
  if (window_ == 0) return {};
  choice_.reset();
  form_.HostPopup(this);
  system.windows->Invalidate(window_);
  system.popups->RunPopup(window_);
  form_.HostPopup(nullptr);
  system.popups->DestroyPopup(window_);
  window_ = 0;
  return choice_.value_or(Choice{});
}

void ColourPopup::Finish(Choice choice) {
  if (choice_) return;
  choice_ = choice;
  form_.System().popups->ShowTooltip(window_, {}, {});
  form_.System().popups->ClosePopup(window_);
}

void ColourPopup::SetHover(Hit hit) {
  if (hit == hover_) return;
  hover_ = hit;
  const platform::Platform& system = form_.System();
  system.windows->Invalidate(window_);
  if (hit.kind == Hit::Kind::Preset) {
    system.popups->ShowTooltip(window_, DeviceRect(SwatchRect(hit.index), scale_), kPresets[hit.index].name);
  } else {
    system.popups->ShowTooltip(window_, {}, {});
  }
}

void ColourPopup::OnMouse(const platform::MouseMessage& message) {
  const int width = DeviceEdge(kWidth, scale_);
  const int height = DeviceEdge(kHeight, scale_);
  const Hit hit = HitTest({LayoutOffset(message.client.x, width, kWidth, scale_),
                           LayoutOffset(message.client.y, height, kHeight, scale_)});
  switch (message.action) {
    case platform::MouseAction::Move:
      SetHover(hit);
      return;
    case platform::MouseAction::LeftDown:
    case platform::MouseAction::RightDown:
      pressed_ = hit;
      SetHover(hit);
      return;
    case platform::MouseAction::LeftUp:
    case platform::MouseAction::RightUp:
      // A choice is made by releasing the button over what it was pressed on.
      if (hit.kind != Hit::Kind::Nothing && hit == pressed_) {
        Finish({hit.kind == Hit::Kind::Preset ? Choice::Kind::Preset : Choice::Kind::Other, hit.index});
      }
      pressed_ = {};
      return;
  }
}

void ColourPopup::OnKey(int virtualKey) {
  if (virtualKey == platform::KeyEscape) Finish({});
  if (virtualKey == platform::KeyReturn && hover_.kind != Hit::Kind::Nothing) {
    Finish({hover_.kind == Hit::Kind::Preset ? Choice::Kind::Preset : Choice::Kind::Other, hover_.index});
  }
}

void ColourPopup::OnDismissed() { Finish({}); }

void ColourPopup::Paint(Image& client) const {
  const double s = scale_;
  const int t = LineWidth(s);
  const auto frame = [&](const Rect& r, Pixel colour) { FrameRect(client, r, colour, t); };
  // The face and the text on it are the system's in high contrast; the
  // swatches are content and keep their colours.
  const Pixel face = form_.Resolve(colour::DefaultColour, Contrast::Face, Form::Part::Background);
  const Pixel text = form_.Resolve(static_cast<ColourValue>(kText), Contrast::Face, Form::Part::Ink);
  client.Fill(face);
  frame({0, 0, client.Width(), client.Height()}, kFrame);
  for (int i = 0; i < static_cast<int>(std::size(kPresets)); ++i) {
    const Rect r = DeviceRect(SwatchRect(i), s);
    const bool hovered = hover_.kind == Hit::Kind::Preset && hover_.index == i;
    const bool current = (kPresets[i].colour & 0xFFFFFF) == (current_ & 0xFFFFFF);
    if (hovered || current) frame(Grow(r, t), hovered ? kHighlight : text);
    frame(r, kFrame);
    FillRect(client, Grow(r, -t), form_.Resolve(kPresets[i].colour));
  }
  const Rect other = DeviceRect(OtherRect(), s);
  frame(other, hover_.kind == Hit::Kind::Other ? kHighlight : kFrame);
  const Font& font = form_.GuiFont();
  const int inside = other.Height() - 2 * t;
  const int lineTop = std::max(0, (inside - font.LineHeight()) / 2);
  Image line(other.Width() - 2 * t, inside - lineTop, face);
  DrawCaption(line, kOtherColours, font, text, HAlign::Centre, Wrap::None);
  for (int y = 0; y < line.Height() && other.top + t + lineTop + y < client.Height(); ++y) {
    const int room = std::max(0, std::min(line.Width(), client.Width() - other.left - t));
    std::copy(line.Row(y), line.Row(y) + room, client.Row(other.top + t + lineTop + y) + other.left + t);
  }
}

}  // namespace tinctora::ui
