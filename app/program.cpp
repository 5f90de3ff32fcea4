#include "app/program.h"

#include "app/assets/assets.h"
#include "app/layout.h"
#include "clipboard/copy_menu.h"
#include "editing/channels.h"
#include "editing/chooser.h"
#include "sampling/click_pick.h"
#include "sampling/picker.h"
#include "sampling/shade_strip.h"

namespace tinctora::app {

namespace {

constexpr int kListLength = 13;

}  // namespace

Program::Program(const platform::Platform& system)
    : system_(system),
      form_(system_),
      hotKeys_(form_),
      context_{.form = form_, .state = state_, .hotKeys = hotKeys_, .system = system_, .reticle = ReticleCursor()} {}

Program::~Program() {
  // The lists go at exit: every text of the notation table, then the table,
  // then the history.
  for (Text& text : state_.NotationTable) Text().swap(text);
  std::vector<Text>().swap(state_.NotationTable);
  std::vector<std::int32_t>().swap(state_.HistoryColours);
}

void Program::Start() {
  state_.HistoryColours.clear();
  state_.NotationTable.clear();
  AddLayout(form_);
  widgets_ = std::make_unique<Widgets>(Widgets::Find(form_));
  context_.widgets = widgets_.get();
  Bind();
  form_.Build();
}

int Program::Run() {
  system_.loop->Run();
  return ExitCode();
}

void Program::OnCreated() {
  form_.Get<ui::PicBox>("图片框1").SetPicture(ui::Bytes(context_.reticle.begin(), context_.reticle.end()));
  for (int i = 0; i < kListLength; ++i) {
    state_.HistoryColours.push_back(0);
    state_.NotationTable.emplace_back();
  }
  form_.Window().SetCaption(kFinalCaption);
}

void Program::OnActivated() {
  // Restores the magnified view after the window was covered or switched away from.
  auto& zoom = form_.Get<ui::DrawPanel>("画板1");
  const int width = zoom.Width();
  const int height = zoom.Height();
  if (const ui::Image* picture = form_.PictureStore().Find(state_.ZoomImage)) {
    zoom.DrawPicture(*picture, 0, 0, width, height);
  }
}

void Program::Bind() {
  using ui::EventId;
  Context& c = context_;
  const std::string window(kWindowName);
  form_.Bind(window, EventId::Created, [this](const ui::EventArgs&) { OnCreated(); });
  form_.Bind(window, EventId::Activated, [this](const ui::EventArgs&) { OnActivated(); });
  form_.Bind(window, EventId::Destroying, [](const ui::EventArgs&) {});

  form_.Bind("图片框1", EventId::LeftButtonDown, [&c](const ui::EventArgs& a) { sampling::PickerLeftButtonDown(c, a); });
  form_.Bind("图片框1", EventId::MouseMove, [&c](const ui::EventArgs& a) { sampling::PickerMouseMove(c, a); });
  form_.Bind("图片框1", EventId::LeftButtonUp, [&c](const ui::EventArgs& a) { sampling::PickerLeftButtonUp(c, a); });
  form_.Bind("图片框1", EventId::CaptureLost, [&c](const ui::EventArgs& a) { sampling::PickerCaptureLost(c, a); });
  form_.Bind("标签1", EventId::Feedback, [&c](const ui::EventArgs& a) { sampling::NudgeFeedback(c, a); });
  form_.Bind("画板1", EventId::LeftButtonDown, [&c](const ui::EventArgs& a) { sampling::ZoomViewLeftButtonDown(c, a); });
  form_.Bind("图片框7", EventId::LeftButtonDown, [&c](const ui::EventArgs& a) { sampling::PaletteLeftButtonDown(c, a); });
  form_.Bind("标签14", EventId::LeftButtonDown, [&c](const ui::EventArgs& a) { sampling::StripLeftButtonDown(c, a); });

  form_.Bind("当前颜色", EventId::RightButtonDown,
             [&c](const ui::EventArgs&) { clipboard::OpenCopyMenu(c, c.W().current.BackColour()); });
  for (const auto& [name, entry] : context::Swatches()) {
    const int k = entry;
    form_.Bind(name, EventId::RightButtonDown, [&c, k](const ui::EventArgs&) {
      clipboard::OpenCopyMenu(c, c.state.HistoryEntry(k));
    });
  }
  for (int item = 0; item < 9; ++item) {
    form_.BindMenuItem(kCopyMenu, item, [&c, item](const ui::EventArgs&) { clipboard::CopyNotation(c, item); });
  }

  for (const char* box : {"R编辑框", "G编辑框", "B编辑框"}) {
    auto& edit = form_.Get<ui::EditBox>(box);
    form_.Bind(box, EventId::ContentChanged, [&c, &edit](const ui::EventArgs&) { editing::CheckChannelBox(c, edit); });
  }
  const std::pair<const char*, const char*> sliders[] = {
      {"滑块条1", "R编辑框"}, {"滑块条2", "G编辑框"}, {"滑块条3", "B编辑框"}};
  for (const auto& [slider, box] : sliders) {
    auto& bar = form_.Get<ui::SliderBar>(slider);
    auto& edit = form_.Get<ui::EditBox>(box);
    form_.Bind(slider, EventId::PositionChanged,
               [&c, &bar, &edit](const ui::EventArgs&) { editing::SliderPositionChanged(c, bar, edit); });
  }
  form_.Bind("颜色选择器1", EventId::ColourChanged, [&c](const ui::EventArgs&) { editing::ChooserColourChanged(c); });
}

}  // namespace tinctora::app
