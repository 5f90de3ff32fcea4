// The whole program on the simulated desktop at the scales desktops offer,
// and dragged between displays of different scales: the window is laid out
// in its units and shown at the scale, while everything taken off the screen
// stays in physical pixels (the pointer's coordinates, one pixel per nudge,
// the 21 x 21 pixels of the zoom view, the pixel under a click).

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "programs/runner/runner.h"
#include "ui/scale.h"

namespace tinctora::headless::runner {
namespace {

// The scenario's printed values by label, and its exit code.
struct Outcome {
  int code = 0;
  std::map<std::string, std::string> printed;
  std::string diagnostics;
};

Outcome RunScript(const std::string& script) {
  std::ostringstream output;
  std::ostringstream diagnostics;
  ScenarioRunner runner(output, diagnostics);
  RunOptions options;
  options.scriptName = "scale";
  Outcome outcome;
  outcome.code = runner.Run(script, options);
  outcome.diagnostics = diagnostics.str();
  std::istringstream lines(output.str());
  for (std::string line; std::getline(lines, line);) {
    // scale:LINE: LABEL = VALUE
    const std::size_t colon = line.find(": ");
    const std::size_t equals = line.find(" = ");
    if (colon == std::string::npos || equals == std::string::npos) continue;
    outcome.printed[line.substr(colon + 2, equals - colon - 2)] = line.substr(equals + 3);
  }
  return outcome;
}

// The pattern on the desktop: pixel (x, y) is red x mod 256, green y mod 256,
// blue (7x + 3y) mod 256.
std::string PatternColour(int x, int y) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X%02X", x % 256, y % 256, (7 * x + 3 * y) % 256);
  return text;
}

class AtScale : public ::testing::TestWithParam<int> {
 protected:
  double Scale() const { return GetParam() / 100.0; }
  // The device size of a control's client area from its layout bounds (a
  // plain border of one device pixel).
  int DeviceClient(int left, int right, bool border = true) const {
    return ui::DeviceEdge(right, Scale()) - ui::DeviceEdge(left, Scale()) - (border ? 2 : 0);
  }
};

TEST_P(AtScale, PicksNudgesAndClicksTakePhysicalPixels) {
  const double s = Scale();
  std::ostringstream script;
  script << "primary 1920 1080 scale " << GetParam() << " panel 40\n"
         << "desktop pattern 0 0 1920 1080\n"
         << "start\n"
         << "expect invariants ok\n";
  // A drag from the picker pad: the coordinates are the screen's, a nudge
  // moves one physical pixel, and the zoom view shows 21 x 21 of them.
  // The point lies left of the window at every scale.
  script << "move-to 图片框1\npress\nmove 150 980\n"
         << "expect 鼠标位置编辑框.Content \"150,980\"\n"
         << "expect 当前颜色.BackColour " << PatternColour(150, 980) << "\n"
         << "expect pointer-cursor-size " << ui::DeviceEdge(32, s) << "\n"
         << "key Up\n"
         << "expect pointer 150 979\n"
         << "expect 鼠标位置编辑框.Content \"150,979\"\n"
         << "expect 当前颜色.BackColour " << PatternColour(150, 979) << "\n";
  // The zoom view (outer 8, 62, 221 x 217, client from 9, 63) draws the
  // square over 0, 0, 221 x 217 of its client area: cell (i, j) is the
  // pixel (150 - 10 + i, 979 - 10 + j). Row and column 10 lie under the
  // red crosshair.
  const int clientLeft = ui::DeviceEdge(8, s) + 1;
  const int clientTop = ui::DeviceEdge(62, s) + 1;
  const int drawLeft = ui::DeviceEdge(9, s) - clientLeft;
  const int drawTop = ui::DeviceEdge(63, s) - clientTop;
  const int drawWidth = ui::DeviceEdge(9 + 221, s) - ui::DeviceEdge(9, s);
  const int drawHeight = ui::DeviceEdge(63 + 217, s) - ui::DeviceEdge(63, s);
  for (const auto& [i, j] : {std::pair{0, 0}, std::pair{11, 9}, std::pair{20, 3}, std::pair{7, 20}}) {
    const int x = drawLeft + (2 * i + 1) * drawWidth / 42;
    const int y = drawTop + (2 * j + 1) * drawHeight / 42;
    script << "expect client-pixel 画板1 " << x << ' ' << y << ' ' << PatternColour(140 + i, 969 + j) << "\n";
  }
  script << "release\n"
         << "expect 图片框2.BackColour " << PatternColour(150, 979) << "\n"
         << "expect pointer-cursor arrow\n";

  // A click on the palette's pure red cell (row 8, column 1: source 1-25,
  // 176-200 of 627 x 377 over a client of 211 x 108 units).
  const int paletteWidth = DeviceClient(384, 384 + 213);
  const int paletteHeight = DeviceClient(288, 288 + 110);
  const int redX = (2 * 13 + 1) * paletteWidth / (2 * 627);
  const int redY = (2 * 188 + 1) * paletteHeight / (2 * 377);
  script << "click 图片框7 " << redX << ' ' << redY << "\n"
         << "expect 当前颜色.BackColour FF0000\n";
  // Any click takes the very pixel under the pointer: on the palette, on
  // the zoom view, on the strip; the strip's marker follows the click in
  // the layout's units.
  const int stripWidth = DeviceClient(154, 154 + 184);
  const int stripX = stripWidth * 2 / 3 + 1;
  script << "print client-pixel 图片框7 " << paletteWidth - 3 << " 5\n"
         << "click 图片框7 " << paletteWidth - 3 << " 5\n"
         << "print 当前颜色.BackColour\n"
         << "print client-pixel 画板1 " << drawLeft + drawWidth / 3 << ' ' << drawTop + drawHeight / 4 << "\n"
         << "click 画板1 " << drawLeft + drawWidth / 3 << ' ' << drawTop + drawHeight / 4 << "\n"
         << "print 当前颜色.BackColour\n"
         << "print client-pixel 标签14 " << stripX << " 5\n"
         << "click 标签14 " << stripX << " 5\n"
         << "print 当前颜色.BackColour\n"
         << "print 标签15.Left\n";
  // Typing and copying are the same at every scale.
  script << "clear R编辑框\ntype R编辑框 \"200\"\n"
         << "expect R编辑框.Content \"200\"\n"
         << "right-click 当前颜色 choose \"复制(RGB)\"\n"
         << "print clipboard\n"
         << "print 编辑框5.Content\n"
         << "expect invariants ok\n"
         << "save-screen scale-" << GetParam() << ".png 0 0 " << ui::DeviceEdge(760, s) << ' ' << ui::DeviceEdge(620, s)
         << "\n";
  const Outcome run = RunScript(script.str());
  EXPECT_EQ(run.code, 0) << run.diagnostics << "\n" << script.str();
  const auto& p = run.printed;
  const auto shown = [&](const std::string& control, int x, int y) {
    const auto it = p.find("client-pixel " + control + " " + std::to_string(x) + " " + std::to_string(y));
    return it == p.end() ? std::string("(none)") : it->second;
  };
  // The last click, on the strip, took what its pixel showed.
  ASSERT_TRUE(p.count("当前颜色.BackColour"));
  EXPECT_EQ(p.at("当前颜色.BackColour"), shown("标签14", stripX, 5));
  // The marker stands 4 units left of the clicked unit of the strip.
  const int unit = ui::LayoutOffset(stripX, stripWidth, 182, s);
  EXPECT_EQ(p.at("标签15.Left"), std::to_string(154 - 4 + unit));
  EXPECT_EQ(p.at("clipboard"), p.at("编辑框5.Content"));
}

// The print labels repeat for the three clicks; each click is checked on its
// own here, the colour printed right after it against the pixel printed
// right before it.
TEST_P(AtScale, EachClickTakesThePixelItLandsOn) {
  const double s = Scale();
  const int paletteWidth = DeviceClient(384, 384 + 213);
  const int paletteHeight = DeviceClient(288, 288 + 110);
  for (const auto& [x, y] : {std::pair{0, 0}, std::pair{paletteWidth - 1, paletteHeight - 1},
                             std::pair{paletteWidth / 2 + 1, paletteHeight / 3}, std::pair{7, paletteHeight - 2}}) {
    std::ostringstream script;
    script << "primary 1920 1080 scale " << GetParam() << "\nstart\n"
           << "print client-pixel 图片框7 " << x << ' ' << y << "\n"
           << "click 图片框7 " << x << ' ' << y << "\n"
           << "print 当前颜色.BackColour\n";
    const Outcome run = RunScript(script.str());
    ASSERT_EQ(run.code, 0) << run.diagnostics;
    EXPECT_EQ(run.printed.at("当前颜色.BackColour"),
              run.printed.at("client-pixel 图片框7 " + std::to_string(x) + " " + std::to_string(y)))
        << "at " << x << ", " << y << " of " << paletteWidth << " x " << paletteHeight << " at " << s;
  }
}

INSTANTIATE_TEST_SUITE_P(Scales, AtScale, ::testing::Values(100, 125, 150, 175, 200),
                         [](const ::testing::TestParamInfo<int>& info) { return std::to_string(info.param); });

TEST(BetweenDisplays, TheWindowFollowsTheScaleOfTheDisplayItIsDraggedTo) {
  // A display at 100 % and one at 200 % to its right.
  std::ostringstream script;
  script << "primary 1920 1080 scale 100\n"
         << "display 1920 0 2560 1440 scale 200\n"
         << "desktop pattern 0 0 1920 1080\n"
         << "start\n"
         << "expect invariants ok\n"
         << "click 标签14 120 5\n"
         << "expect 标签15.Left 270\n"
         << "drag-window 2000 100\n"
         << "expect invariants ok\n"
         // The strip's marker stays where it was in the layout.
         << "expect 标签15.Left 270\n"
         // A pick from the 200 % display over the 100 % one.
         << "move-to 图片框1\npress\nmove 300 200\n"
         << "expect 鼠标位置编辑框.Content \"300,200\"\n"
         << "expect 当前颜色.BackColour " << PatternColour(300, 200) << "\n"
         << "expect pointer-cursor-size 64\n"
         << "key Right\n"
         << "expect pointer 301 200\n"
         << "release\n"
         << "save-screen between-200.png 2000 100 1240 900\n"
         << "drag-window 100 100\n"
         << "expect invariants ok\n";
  const Outcome run = RunScript(script.str());
  EXPECT_EQ(run.code, 0) << run.diagnostics;
}

}  // namespace
}  // namespace tinctora::headless::runner
