#include "app/layout.h"

#include <vector>

#include "app/assets/assets.h"

namespace tinctora::app {

namespace {

using K = ui::ControlKind;
using ui::HAlign;

constexpr const char* kCredit = "\xC8\xA1\xC9\xAB\xBD\xBB\xC1\xF7\xC9\xE7\xC7\xF8\r\nforum.example";  // 取色交流社区

// Shared settings of the rows that the table marks "as" another row.
constexpr ControlRow Swatch(std::string_view name, int left) {
  return {.name = name, .kind = K::PicBox, .in = "分组框1", .left = left, .top = 13, .width = 38, .height = 38,
          .border = true, .background = kFace};
}
constexpr ControlRow ChannelBox(std::string_view name, std::string_view in) {
  return {.name = name, .kind = K::EditBox, .in = in, .left = 2, .top = 2, .width = 34, .height = 20,
          .tabStop = true, .text = "0", .background = kFace, .foreground = 0x000000,
          .align = HAlign::Centre, .maxLength = 3, .input = Input::DigitsOnly, .contrast = ui::Contrast::Face};
}
constexpr ControlRow Frame(std::string_view name, int top, std::int64_t line) {
  return {.name = name, .kind = K::ShapeBox, .left = 413, .top = top, .width = 38, .height = 24,
          .background = kFace, .foreground = line, .contrast = ui::Contrast::Face};
}
constexpr ControlRow NotationBox(std::string_view name, int left, int top, int width, int maxLength = 0) {
  return {.name = name, .kind = K::EditBox, .left = left, .top = top, .width = width, .height = 20,
          .tabStop = true, .border = true, .background = 0xFFFFFF, .foreground = 0x000000,
          .align = HAlign::Centre, .maxLength = maxLength, .contrast = ui::Contrast::Window};
}
constexpr ControlRow Caption(std::string_view name, int left, int top, const char* text,
                             HAlign align = HAlign::Right, int width = 49) {
  return {.name = name, .kind = K::Label, .left = left, .top = top, .width = width, .height = 24,
          .text = text, .background = kFace, .foreground = 0x000000, .align = align,
          .contrast = ui::Contrast::Face};
}
constexpr ControlRow Slider(std::string_view name, int top) {
  return {.name = name, .kind = K::SliderBar, .left = 455, .top = top, .width = 143, .height = 36,
          .tabStop = true, .border = true};
}
constexpr ControlRow Line(std::string_view name, std::string_view in, int left, int top, int width, int height) {
  return {.name = name, .kind = K::Label, .in = in, .left = left, .top = top, .width = width, .height = height,
          .background = 0xFF0000};
}

// The controls in creation order.
const ControlRow kControls[] = {
    {.name = "标签20", .kind = K::Label, .left = 248, .top = 360, .width = 88, .height = 32, .text = kCredit,
     .background = kFace, .foreground = 0xFF5080, .contrast = ui::Contrast::Face},
    Swatch("图片框8", 254),
    Swatch("图片框9", 303),
    Swatch("图片框10", 352),
    Swatch("图片框11", 401),
    Swatch("图片框12", 451),
    Swatch("图片框2", 9),
    Swatch("图片框3", 58),
    Swatch("图片框4", 107),
    Swatch("图片框5", 156),
    Swatch("图片框6", 205),
    {.name = "分组框1", .kind = K::GroupBox, .left = 72, .top = 0, .width = 500, .height = 59, .background = kFace},
    {.name = "颜色选择器1", .kind = K::ColorPicker, .left = 152, .top = 364, .width = 50, .height = 30,
     .tabStop = true, .foreground = 0xC0C0C0, .contrast = ui::Contrast::Face},
    ChannelBox("G编辑框", "外形框2"),
    ChannelBox("B编辑框", "外形框3"),
    Frame("外形框3", 248, 0x0088FF),
    Frame("外形框2", 210, 0x80E000),
    ChannelBox("R编辑框", "外形框1"),
    Frame("外形框1", 172, 0xFF5080),
    NotationBox("编辑框6", 432, 124, 167),
    Caption("标签1", 385, 124, "CMYK\xA3\xBA"),  // CMYK：
    NotationBox("编辑框7", 432, 97, 167),
    Caption("标签19", 385, 97, "HSV\xA3\xBA"),  // HSV：
    NotationBox("编辑框5", 303, 152, 74),
    Caption("标签18", 256, 152, "RGB\xA3\xBA"),  // RGB：
    NotationBox("编辑框3", 303, 123, 74),
    Caption("标签16", 256, 123, "16\xBD\xF8\xD6\xC6\xA3\xBA"),  // 16进制：
    NotationBox("编辑框4", 303, 96, 74),
    Caption("标签17", 256, 96, "10\xBD\xF8\xD6\xC6\xA3\xBA"),  // 10进制：
    NotationBox("编辑框2", 303, 256, 74),
    Caption("标签9", 256, 256, "Delphi\xA3\xBA"),  // Delphi：
    NotationBox("编辑框1", 303, 229, 74),
    Caption("标签3", 256, 229, "VB\xA3\xBA"),  // VB：
    {.name = "图片框7", .kind = K::PicBox, .left = 384, .top = 288, .width = 213, .height = 110, .border = true,
     .background = kFace, .pictureMode = ui::PictureMode::Stretch},
    {.name = "标签15", .kind = K::Label, .left = 240, .top = 321, .width = 11, .height = 9, .text = "\xA1\xF8",  // ▲
     .background = kFace, .foreground = 0x000000, .contrast = ui::Contrast::Face},
    {.name = "标签14", .kind = K::Label, .left = 154, .top = 294, .width = 184, .height = 25, .border = true,
     .background = kFace, .gradient = true},
    Slider("滑块条3", 243),
    Slider("滑块条2", 204),
    Slider("滑块条1", 165),
    Line("标签11", "", 119, 63, 1, 216),
    Line("标签12", "", 9, 171, 219, 1),
    Line("标签13", "画板1", 110, 0, 1, 216),
    Line("标签10", "画板1", 0, 108, 219, 1),
    {.name = "颜色值编辑框", .kind = K::EditBox, .in = "当前颜色", .left = 0, .top = 0, .width = 99, .height = 20,
     .shown = false, .tabStop = true, .background = 0xC0C0C0, .foreground = 0x000000, .align = HAlign::Centre,
     .input = Input::ReadOnly},
    {.name = "当前颜色", .kind = K::PicBox, .left = 28, .top = 295, .width = 100, .height = 100, .border = true,
     .background = kFace},
    {.name = "画板1", .kind = K::DrawPanel, .left = 8, .top = 62, .width = 221, .height = 217, .border = true,
     .background = kFace},
    NotationBox("C编辑框", 303, 203, 74),
    Caption("标签8", 256, 201, "C/C++\xA3\xBA"),  // C/C++：
    NotationBox("HTML编辑框", 303, 179, 74, 6),
    Caption("标签7", 256, 177, "HTML\xA3\xBA"),  // HTML：
    Caption("标签6", 398, 249, "B\xA3\xBA", HAlign::Left, 13),  // B：
    Caption("标签5", 398, 211, "G\xA3\xBA", HAlign::Left, 13),  // G：
    Caption("标签4", 398, 170, "R\xA3\xBA", HAlign::Left, 13),  // R：
    NotationBox("鼠标位置编辑框", 303, 65, 74),
    Caption("标签2", 245, 63, "\xC8\xA1\xC9\xAB\xD7\xF8\xB1\xEA\xA3\xBA", HAlign::Left, 53),  // 取色坐标：
    {.name = "图片框1", .kind = K::PicBox, .left = 11, .top = 10, .width = 38, .height = 38, .border = true,
     .background = 0xFFFFFF, .pictureMode = ui::PictureMode::CentreScaleDown},
};

colour::ColourValue ColourOf(std::int64_t rrggbb) {
  if (rrggbb == kFace) return colour::DefaultColour;
  return static_cast<colour::ColourValue>(ui::RgbHex(static_cast<std::uint32_t>(rrggbb)));
}

platform::TextAlign ToTextAlign(HAlign align) {
  switch (align) {
    case HAlign::Left: return platform::TextAlign::Left;
    case HAlign::Centre: return platform::TextAlign::Centre;
    case HAlign::Right: return platform::TextAlign::Right;
  }
  return platform::TextAlign::Left;
}

ui::Control& AddControl(ui::Form& form, const ControlRow& row) {
  const std::string name(row.name);
  switch (row.kind) {
    case K::Label: {
      auto& label = form.Add<ui::Label>(name);
      ui::Label::Look look;
      look.background = ColourOf(row.background);
      look.textColour = ColourOf(row.foreground);
      look.align = row.align;
      look.wordWrap = true;
      if (row.gradient) {
        look.gradientLeftToRight = true;
        look.gradient = {ColourOf(0xFFFFFF), ColourOf(0xC0C0C0), ColourOf(0x000000)};
      }
      label.SetLook(look);
      label.SetCaption(row.text);
      return label;
    }
    case K::EditBox: {
      platform::EditSettings settings;
      settings.textColour = static_cast<ui::Pixel>(ColourOf(row.foreground));
      settings.align = ToTextAlign(row.align);
      settings.readOnly = row.input == Input::ReadOnly;
      ui::EditRules rules;
      rules.maxLength = static_cast<std::size_t>(row.maxLength);
      rules.digitsOnly = row.input == Input::DigitsOnly;
      return form.Add<ui::EditBox>(name, Text(row.text), settings, rules, ColourOf(row.background));
    }
    case K::PicBox: {
      auto& box = form.Add<ui::PicBox>(name, row.pictureMode);
      box.SetBackColour(ColourOf(row.background));
      return box;
    }
    case K::ShapeBox:
      return form.Add<ui::ShapeBox>(name, ColourOf(row.foreground), ColourOf(row.background));
    case K::DrawPanel:
      return form.Add<ui::DrawPanel>(name, ColourOf(row.background));
    case K::GroupBox:
      return form.Add<ui::GroupBox>(name, Text(row.text));
    case K::SliderBar: {
      platform::SliderSettings settings;
      settings.minimum = 0;
      settings.maximum = 255;
      settings.position = 1;
      settings.tickFrequency = 15;
      settings.lineStep = 1;
      settings.pageStep = 5;
      return form.Add<ui::SliderBar>(name, settings);
    }
    case K::ColorPicker:
      return form.Add<ui::ColorPicker>(name, ColourOf(row.foreground));
    case K::Window:
      break;
  }
  throw std::logic_error("a window in the control table");
}

}  // namespace

std::span<const ControlRow> ControlTable() { return kControls; }

platform::TopLevelSpec WindowSettings() {
  platform::TopLevelSpec params;
  params.caption = "Tinctora V1.0";
  // The client area the layout is drawn for, in its units: a 613 x 430
  // window less a fixed single frame of 3-pixel borders under a 23-pixel
  // title bar. The frame is the system's own, at the window's scale.
  params.clientWidth = 607;
  params.clientHeight = 401;
  params.alwaysOnTop = true;
  params.minimiseBox = true;
  params.maximiseBox = false;
  params.resizable = false;
  return params;
}

ui::PopupMenu CopyMenu() {
  ui::PopupMenu menu;
  menu.name = std::string(kCopyMenu);
  menu.items = {
      {"\xB8\xB4\xD6\xC6(10\xBD\xF8\xD6\xC6)"},  // 复制(10进制)
      {"\xB8\xB4\xD6\xC6(16\xBD\xF8\xD6\xC6)"},  // 复制(16进制)
      {"\xB8\xB4\xD6\xC6(RGB)"},                 // 复制(RGB)
      {"\xB8\xB4\xD6\xC6(HTML)"},                // 复制(HTML)
      {"\xB8\xB4\xD6\xC6(C/C++)"},               // 复制(C/C++)
      {"\xB8\xB4\xD6\xC6(VB)"},                  // 复制(VB)
      {"\xB8\xB4\xD6\xC6(Delphi)"},              // 复制(Delphi)
      {"\xB8\xB4\xD6\xC6(HSV)"},                 // 复制(HSV)
      {"\xB8\xB4\xD6\xC6(CMYK)"},                // 复制(CMYK)
  };
  return menu;
}

void AddLayout(ui::Form& form) {
  form.AddWindow(std::string(kWindowName), WindowSettings());
  std::vector<ui::Control*> made;
  for (const ControlRow& row : kControls) made.push_back(&AddControl(form, row));
  // Containers are named by rows that may come later in the table.
  for (std::size_t i = 0; i < std::size(kControls); ++i) {
    const ControlRow& row = kControls[i];
    ui::Control::Setup setup;
    setup.container = row.in.empty() ? nullptr : form.Find(row.in);
    setup.bounds = {row.left, row.top, row.left + row.width, row.top + row.height};
    setup.shown = row.shown;
    setup.border = row.border;
    setup.tabStop = row.tabStop;
    setup.contrast = row.contrast;
    made[i]->Configure(setup);
  }
  const auto png = PalettePng();
  form.Get<ui::PicBox>("图片框7").SetPicture(ui::Bytes(png.begin(), png.end()));
  form.AddMenu(CopyMenu());
}

}  // namespace tinctora::app
