// Random user sessions: seeded scripts over the whole action list of the
// scenario runner (displays of every size, depth and place, window frames,
// faults and other programs, every kind of user action), each ending with
// the checks every session must pass, whatever happened in it.
//
// Usage: random_sessions [FIRST_SEED] [COUNT] [ACTIONS]
// A failing session's script is printed with its seed, so it can be saved
// as a scenario and replayed.

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/headless/runner/runner.h"

namespace {

class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}

  std::string Script(int actions) {
    out_.str("");
    SetUp();
    out_ << "start\n";
    for (int i = 0; i < actions; ++i) Action();
    // Whatever was held is let go, then the session's state is checked.
    out_ << "busy off\nfault unreadable off\nfault clipboard-busy off\nfault alloc-fails off\n"
         << "modifiers none\nrelease left\nrelease right\nexpect invariants ok\n";
    return out_.str();
  }

 private:
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool Chance(int percent) { return Int(1, 100) <= percent; }
  template <class T>
  const T& Pick(const std::vector<T>& items) {
    return items[static_cast<std::size_t>(Int(0, static_cast<int>(items.size()) - 1))];
  }

  void SetUp() {
    static const std::vector<std::pair<int, int>> sizes{{1920, 1080}, {1280, 1024}, {800, 600}, {1024, 768}, {640, 480}};
    static const std::vector<int> depths{16, 24, 32};
    const auto [w, h] = Pick(sizes);
    out_ << "primary " << w << ' ' << h << " bpp " << Pick(depths) << '\n';
    width_ = w;
    height_ = h;
    const int extra = Int(0, 2);
    for (int i = 0; i < extra; ++i) {
      const auto [dw, dh] = Pick(sizes);
      switch (Int(0, 3)) {
        case 0: out_ << "display " << -dw << ' ' << Int(-200, 200) << ' ' << dw << ' ' << dh; break;
        case 1: out_ << "display " << w << ' ' << Int(-200, 200) << ' ' << dw << ' ' << dh; break;
        case 2: out_ << "display " << Int(-300, 300) << ' ' << -dh << ' ' << dw << ' ' << dh; break;
        default: out_ << "display " << Int(-300, 300) << ' ' << h + Int(0, 50) << ' ' << dw << ' ' << dh; break;
      }
      // Displays may overlap; the desktop takes the first that holds a point.
      out_ << " bpp " << Pick(depths) << '\n';
    }
    if (Chance(30)) out_ << "frame " << Int(0, 8) << ' ' << Int(0, 40) << ' ' << Int(0, 8) << ' ' << Int(0, 8) << '\n';
    out_ << "desktop pattern 0 0 " << w << ' ' << h << '\n';
    if (Chance(50)) {
      out_ << "desktop fill " << Int(0, w) << ' ' << Int(0, h) << ' ' << Int(1, 400) << ' ' << Int(1, 300) << ' '
           << Colour() << '\n';
    }
  }

  std::string Colour() {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%06X", static_cast<unsigned>(Int(0, 0xFFFFFF)));
    return buffer;
  }

  std::string Control() {
    static const std::vector<std::string> names{
        "图片框1", "图片框1", "图片框1", "画板1", "图片框7", "标签14", "当前颜色", "图片框2", "图片框12",
        "R编辑框", "G编辑框", "B编辑框", "滑块条1", "滑块条2",
        "滑块条3", "颜色选择器1", "标签11", "标签13", "分组框1", "外形框1", "标签20"};
    return Pick(names);
  }

  std::string Point() { return std::to_string(Int(-50, width_ + 50)) + ' ' + std::to_string(Int(-50, height_ + 50)); }

  std::string Text() {
    static const std::vector<std::string> texts{"0",   "12",  "255", "256", "-1",    "-",   "999", "abc",
                                                "1.5", "007", "\\t", " ",   "红色", "1-2", "",    "1e3"};
    return '"' + Pick(texts) + '"';
  }

  std::string Key() {
    static const std::vector<std::string> keys{"Up", "Down", "Left", "Right", "PageUp", "PageDown", "Home", "End", "Backspace"};
    return Pick(keys);
  }

  void Action() {
    // Modal choices only open when nothing holds the mouse (the program or
    // another window) and the program reads its messages: their answers are
    // checked on their own line.
    const bool calm = !pressed_ && !busy_ && !stolen_;
    switch (Int(0, 25)) {
      case 0: case 1: case 2: out_ << "move " << Point() << '\n'; break;
      case 3: out_ << "move-to " << Control() << '\n'; break;
      case 4: out_ << "move-to " << Control() << ' ' << Int(0, 40) << ' ' << Int(0, 40) << '\n'; break;
      case 5:
        out_ << "press\n";
        pressed_ = true;
        break;
      case 6:
        out_ << "release\n";
        pressed_ = false;
        stolen_ = false;
        break;
      case 7: out_ << (pressed_ ? "move " + Point() : "press-release") << '\n'; break;
      case 8:
        if (!pressed_) {
          out_ << "click " << Control() << (Chance(50) ? " 0 0" : "") << '\n';
          stolen_ = false;
        }
        break;
      case 9:
        if (calm) {
          static const std::vector<std::string> owners{"当前颜色", "图片框2", "图片框3", "图片框6", "图片框8", "图片框12"};
          out_ << "right-click " << Pick(owners) << (Chance(80) ? " choose " + std::to_string(Int(1, 9)) : " dismiss")
               << '\n';
        }
        break;
      case 10: {
        const std::string key = Key();
        if (key == "Backspace") out_ << "focus " << Pick(std::vector<std::string>{"R编辑框", "G编辑框", "B编辑框"}) << '\n';
        out_ << "key " << key << '\n';
        break;
      }
      case 11: out_ << "type " << Pick(std::vector<std::string>{"R编辑框", "G编辑框", "B编辑框"}) << ' ' << Text() << '\n'; break;
      case 12:
        // Pastes go into a channel box: a notation box the user edits by
        // hand rightly shows the user's text until the next colour.
        out_ << "focus " << Pick(std::vector<std::string>{"R编辑框", "G编辑框", "B编辑框"}) << '\n'
             << Pick(std::vector<std::string>{"select-all", "paste", "clear R编辑框", "clear G编辑框", "focus 滑块条1"})
             << '\n';
        break;
      case 13:
        if (!pressed_) out_ << "slider-drag 滑块条" << Int(1, 3) << ' ' << Int(-10, 300) << ' ' << Int(0, 255) << '\n';
        break;
      case 14:
        if (!pressed_) out_ << "slider-channel 滑块条" << Int(1, 3) << (Chance(50) ? " up" : " down") << '\n';
        break;
      case 15: out_ << (Chance(50) ? "activate" : "deactivate") << '\n'; break;
      case 16:
        if (calm) {
          switch (Int(0, 3)) {
            case 0: out_ << "choose-colour preset " << Int(1, 32) << '\n'; break;
            case 1: out_ << "choose-colour other " << Colour() << '\n'; break;
            case 2: out_ << "choose-colour other cancel\n"; break;
            default: out_ << "choose-colour cancel\n"; break;
          }
        }
        break;
      case 17:
        out_ << "busy " << (busy_ ? "off" : "on") << '\n';
        busy_ = !busy_;
        break;
      case 18:
        out_ << "fault unreadable " << (Chance(30) ? "off" : Point() + " " + std::to_string(Int(1, 600)) + " " +
                                                               std::to_string(Int(1, 600)))
             << '\n';
        break;
      case 19: out_ << "fault " << (Chance(50) ? "clipboard-busy " : "alloc-fails ") << (Chance(50) ? "on" : "off") << '\n'; break;
      case 20: out_ << "other " << (Chance(50) ? "hold-hotkey " : "release-hotkey ") << Pick(std::vector<std::string>{"Up", "Down", "Left", "Right"}) << '\n'; break;
      case 21:
        if (Chance(50)) {
          out_ << "other clipboard " << Text() << '\n';
        } else {
          out_ << "other steal-capture\n";
          stolen_ = true;
        }
        break;
      case 22: out_ << "modifiers " << Pick(std::vector<std::string>{"none", "ctrl", "shift", "alt", "ctrl shift"}) << '\n'; break;
      case 23:
        if (!pressed_) out_ << "double-click " << Control() << '\n';
        break;
      case 24: out_ << "repeat " << Int(1, 5) << " move " << Point() << '\n'; break;
      default: out_ << "desktop pixel " << Point() << ' ' << Colour() << '\n'; break;
    }
  }

  std::mt19937 rng_;
  std::ostringstream out_;
  int width_ = 1920;
  int height_ = 1080;
  bool pressed_ = false;
  bool busy_ = false;
  bool stolen_ = false;  // another window holds the capture until a release
};

}  // namespace

int main(int argc, char** argv) {
  const unsigned first = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 1;
  const int count = argc > 2 ? std::atoi(argv[2]) : 200;
  const int actions = argc > 3 ? std::atoi(argv[3]) : 60;
  int failed = 0;
  for (int i = 0; i < count; ++i) {
    const unsigned seed = first + static_cast<unsigned>(i);
    const std::string script = Generator(seed).Script(actions);
    std::ostringstream output;
    std::ostringstream diagnostics;
    tinctora::headless::runner::ScenarioRunner runner(output, diagnostics);
    tinctora::headless::runner::RunOptions options;
    options.scriptName = "session-" + std::to_string(seed);
    const int code = runner.Run(script, options);
    if (code != tinctora::headless::runner::kPassed) {
      ++failed;
      std::cerr << "session " << seed << " ended with " << code << ":\n"
                << diagnostics.str() << "---- script ----\n"
                << script << "----\n";
    }
  }
  std::cout << count - failed << " passed, " << failed << " failed\n";
  return failed == 0 ? 0 : 1;
}
