// Random user sessions: seeded scripts over the whole action list of the
// scenario runner (displays of every size, depth and place, window frames,
// faults and other programs, every kind of user action), each ending with
// the checks every session must pass, whatever happened in it. The notations
// the window shows and the copy menu's table are checked here too, against
// texts computed in this file from the notations' definitions, so a fault in
// the program's own notation routines cannot hide behind itself.
//
// Usage: random_sessions [FIRST_SEED] [COUNT] [ACTIONS]
// A failing session's script is printed with its seed, so it can be saved
// as a scenario and replayed.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "programs/runner/runner.h"

namespace {

// ---------------------------------------------------------------------------
// The notations of a colour value, written from their definitions.

// The script's four-decimal text (toFixed(4)): the integer n for which
// n / 10000 - x is closest to zero, the larger on a tie. Exact: x is
// M * 2^E with M below 2^53, so 10000 x = 625 M * 2^(E + 4) and 625 M fits
// in 64 bits.
std::string FixedFour(double x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x < 0 ? "-Infinity" : "Infinity";
  if (x < 0) return "-" + FixedFour(-x);
  int exponent = 0;
  const double fraction = std::frexp(x, &exponent);  // x = fraction * 2^exponent, fraction in [0.5, 1)
  const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
  const std::uint64_t scaled = 625 * mantissa;  // 10000 x = scaled * 2^(exponent - 53 + 4)
  const int shift = 53 - 4 - exponent;
  std::uint64_t n = 0;
  if (shift <= 0) {
    n = scaled << -shift;  // only for x of 2^49 or more, which no colour gives
  } else if (shift < 64) {
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    const std::uint64_t rest = scaled & ((half << 1) - 1);
    n = (scaled >> shift) + (rest >= half ? 1 : 0);
  }  // else 10000 x is below one half: n is 0
  std::string digits = std::to_string(n);
  if (digits.size() < 5) digits.insert(0, 5 - digits.size(), '0');
  digits.insert(digits.size() - 4, ".");
  return digits;
}

std::string JoinFixed(std::initializer_list<double> values) {
  std::string out;
  for (const double v : values) out += (out.empty() ? "" : ",") + FixedFour(v);
  return out;
}

// rgb2hsv: hue as a fraction of a turn, saturation and value as fractions.
std::string Hsv(double r, double g, double b) {
  const double red = r / 255, green = g / 255, blue = b / 255;
  const double max = std::max(red, std::max(green, blue));
  const double min = std::min(red, std::min(green, blue));
  const double d = max - min;
  const double s = max == 0 ? 0 : d / max;
  double h = 0;
  if (max != min) {
    if (max == red) {
      h = (green - blue) / d + (green < blue ? 6 : 0);
    } else if (max == green) {
      h = (blue - red) / d + 2;
    } else {
      h = (red - green) / d + 4;
    }
    h /= 6;
  }
  return JoinFixed({h, s, max});
}

// RgbToCmyk: four fractions; black is the list 0,0,0,1 without decimals.
std::string Cmyk(double r, double g, double b) {
  if (r == 0 && g == 0 && b == 0) return "0,0,0,1";
  const double cr = 1 - r / 255, cg = 1 - g / 255, cb = 1 - b / 255;
  const double k = std::min(cr, std::min(cg, cb));
  return JoinFixed({(cr - k) / (1 - k), (cg - k) / (1 - k), (cb - k) / (1 - k), k});
}

enum NotationIndex { kDecimal, kHex, kRgb, kHtml, kCCpp, kVb, kDelphi, kHsv, kCmyk, kNotations };

const char* const kNotationNames[kNotations] = {"decimal", "hex",    "RGB", "HTML", "C/C++",
                                                "VB",      "Delphi", "HSV", "CMYK"};

// The nine texts of a colour value (red in the low byte), its channels split
// from its bytes.
std::array<std::string, kNotations> Notations(std::uint32_t value) {
  const unsigned r = value & 0xFF, g = (value >> 8) & 0xFF, b = (value >> 16) & 0xFF;
  char buffer[32];
  std::array<std::string, kNotations> texts;
  texts[kDecimal] = std::to_string(static_cast<std::int32_t>(value));
  std::snprintf(buffer, sizeof buffer, "%02X%02X%02X", r, g, b);
  texts[kHex] = buffer;
  texts[kRgb] = std::to_string(r) + ',' + std::to_string(g) + ',' + std::to_string(b);
  texts[kHtml] = '#' + texts[kHex];
  // The value's own hexadecimal digits, unpadded, as each language writes a
  // number: blue first, so red 18, green 52, blue 86 is 0x563412.
  std::snprintf(buffer, sizeof buffer, "%X", static_cast<unsigned>(value));
  texts[kCCpp] = std::string("0x") + buffer;
  texts[kVb] = std::string("&H") + buffer + '&';
  texts[kDelphi] = std::string("$") + buffer;
  texts[kHsv] = Hsv(r, g, b);
  texts[kCmyk] = Cmyk(r, g, b);
  return texts;
}

// ---------------------------------------------------------------------------
// What the window shows at the end of a session, read with `print` lines.

const char* const kChannelBoxes[3] = {"R编辑框", "G编辑框", "B编辑框"};
const char* const kNotationBoxes[kNotations] = {"编辑框4", "编辑框3", "编辑框5", "HTML编辑框", "C编辑框",
                                                "编辑框1", "编辑框2", "编辑框7", "编辑框6"};

std::vector<std::string> ShownQueries() {
  std::vector<std::string> queries{"当前颜色.BackColour", "state MenuColour"};
  for (const char* box : kChannelBoxes) queries.push_back(std::string(box) + ".Content");
  for (const char* box : kNotationBoxes) queries.push_back(std::string(box) + ".Content");
  for (int k = 0; k < kNotations; ++k) queries.push_back("state NotationTable[" + std::to_string(k) + "]");
  return queries;
}

// A printed text without its quotes and escapes.
std::string Unquote(const std::string& shown) {
  if (shown.size() < 2 || shown.front() != '"' || shown.back() != '"') return shown;
  std::string out;
  for (std::size_t i = 1; i + 1 < shown.size(); ++i) {
    if (shown[i] != '\\') {
      out.push_back(shown[i]);
      continue;
    }
    switch (const char c = shown[++i]) {
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case 't': out.push_back('\t'); break;
      case 'x':
        out.push_back(static_cast<char>(std::stoi(shown.substr(i + 1, 2), nullptr, 16)));
        i += 2;
        break;
      default: out.push_back(c); break;
    }
  }
  return out;
}

// Query -> value, from lines "NAME:LINE: QUERY = VALUE".
std::map<std::string, std::string> ParsePrinted(const std::string& output) {
  std::map<std::string, std::string> values;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    const std::size_t start = line.find(": ");
    const std::size_t equals = line.find(" = ", start);
    if (start == std::string::npos || equals == std::string::npos) continue;
    values[line.substr(start + 2, equals - start - 2)] = line.substr(equals + 3);
  }
  return values;
}

// A colour value as printed: RRGGBB, or 0xXXXXXXXX when the top byte is set.
std::optional<std::uint32_t> ParseColour(const std::string& shown) {
  char* end = nullptr;
  if (shown.size() == 6) {
    const unsigned long rgb = std::strtoul(shown.c_str(), &end, 16);
    if (*end != '\0') return std::nullopt;
    return static_cast<std::uint32_t>(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
  }
  if (shown.rfind("0x", 0) == 0 && shown.size() == 10) {
    const unsigned long raw = std::strtoul(shown.c_str() + 2, &end, 16);
    if (*end != '\0') return std::nullopt;
    return static_cast<std::uint32_t>(raw);
  }
  return std::nullopt;
}

// How the script call reads a channel box text pasted into it: a whole
// number 0-255 written in digits is that number (with a leading zero only
// below 8, where a legacy octal reading gives the same); an empty text or a
// lone minus sign breaks the call, which then gives the empty text. Other
// texts ("1-2", "1.5", "012") are not judged here.
struct ScriptChannel {
  enum Kind { Number, Broken, Unjudged } kind = Unjudged;
  int value = 0;
};

ScriptChannel ReadScriptChannel(const std::string& text) {
  if (text.empty() || text == "-") return {ScriptChannel::Broken};
  if (text.size() > 3) return {};
  for (const char c : text) {
    if (c < '0' || c > '9') return {};
  }
  const int v = std::stoi(text);
  if (v > 255 || (text[0] == '0' && v >= 8)) return {};
  return {ScriptChannel::Number, v};
}

struct NotationCheck {
  std::vector<std::string> mismatches;
  bool boxesChecked = false;
  bool scriptChecked = false;  // HSV and CMYK of the channel boxes
  bool tableChecked = false;
};

NotationCheck CheckNotations(const std::map<std::string, std::string>& printed) {
  NotationCheck check;
  const auto get = [&](const std::string& query) -> std::string {
    const auto it = printed.find(query);
    if (it == printed.end()) {
      check.mismatches.push_back("nothing printed for " + query);
      return {};
    }
    return it->second;
  };
  const auto compare = [&](const std::string& where, const std::string& shown, const std::string& expected) {
    if (shown != expected) {
      check.mismatches.push_back(where + " shows \"" + shown + "\", expected \"" + expected + "\"");
    }
  };

  // Until the program first sets a colour the preview keeps its face colour
  // and the notation boxes their empty layout texts.
  const auto current = ParseColour(get("当前颜色.BackColour"));
  if (current && (*current >> 24) == 0) {
    check.boxesChecked = true;
    const auto expected = Notations(*current);
    // HSV and CMYK are computed from the channel boxes' texts, and so is the
    // RGB text when the boxes were read last: a pasted "1.5" shows as it is.
    std::array<ScriptChannel, 3> channels;
    for (int i = 0; i < 3; ++i) {
      channels[i] = ReadScriptChannel(Unquote(get(std::string(kChannelBoxes[i]) + ".Content")));
    }
    const auto count = [&](ScriptChannel::Kind kind) {
      return std::count_if(channels.begin(), channels.end(), [kind](const ScriptChannel& c) { return c.kind == kind; });
    };
    for (int k = 0; k < kNotations; ++k) {
      if (k == kHsv || k == kCmyk) continue;
      if (k == kRgb && count(ScriptChannel::Number) != 3) continue;
      compare(std::string(kNotationNames[k]) + " box", Unquote(get(std::string(kNotationBoxes[k]) + ".Content")),
              expected[k]);
    }
    std::optional<std::pair<std::string, std::string>> script;
    if (count(ScriptChannel::Broken) > 0) {
      script.emplace("", "");
    } else if (count(ScriptChannel::Number) == 3) {
      script.emplace(Hsv(channels[0].value, channels[1].value, channels[2].value),
                     Cmyk(channels[0].value, channels[1].value, channels[2].value));
    }
    if (script) {
      check.scriptChecked = true;
      compare("HSV box", Unquote(get(std::string(kNotationBoxes[kHsv]) + ".Content")), script->first);
      compare("CMYK box", Unquote(get(std::string(kNotationBoxes[kCmyk]) + ".Content")), script->second);
    }
  }

  // The copy menu's table holds the menu colour's nine texts once a menu
  // has been opened; before that every entry is empty.
  std::array<std::string, kNotations> table;
  bool filled = false;
  for (int k = 0; k < kNotations; ++k) {
    table[k] = Unquote(get("state NotationTable[" + std::to_string(k) + "]"));
    filled = filled || !table[k].empty();
  }
  const auto menu = ParseColour(get("state MenuColour"));
  if (filled && menu) {
    check.tableChecked = true;
    const auto expected = Notations(*menu);
    for (int k = 0; k < kNotations; ++k) {
      compare(std::string("NotationTable ") + kNotationNames[k], table[k], expected[k]);
    }
  }
  return check;
}

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
         << "modifiers none\nrelease left\nrelease right\n";
    for (const std::string& query : ShownQueries()) out_ << "print " << query << '\n';
    out_ << "expect invariants ok\n";
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
    const int panel = Chance(30) ? Int(1, 40) : 0;
    out_ << "primary " << w << ' ' << h << " bpp " << Pick(depths) << " scale " << FittingScale(w, h - panel);
    if (panel > 0) out_ << " panel " << panel;
    out_ << '\n';
    width_ = w;
    height_ = h;
    const int extra = Int(0, 2);
    for (int i = 0; i < extra; ++i) {
      const auto [dw, dh] = Pick(sizes);
      switch (Int(0, 3)) {
        case 0: {
          const int y = Int(-200, 200);
          out_ << "display " << -dw << ' ' << y << ' ' << dw << ' ' << dh;
          starts_.emplace_back(-dw, y);
          break;
        }
        case 1: {
          const int y = Int(-200, 200);
          out_ << "display " << w << ' ' << y << ' ' << dw << ' ' << dh;
          starts_.emplace_back(w, y);
          break;
        }
        case 2: out_ << "display " << Int(-300, 300) << ' ' << -dh << ' ' << dw << ' ' << dh; break;
        default: out_ << "display " << Int(-300, 300) << ' ' << h + Int(0, 50) << ' ' << dw << ' ' << dh; break;
      }
      // Displays may overlap; the desktop takes the first that holds a point.
      out_ << " bpp " << Pick(depths) << " scale " << FittingScale(dw, dh) << '\n';
    }
    if (Chance(30)) out_ << "frame " << Int(0, 8) << ' ' << Int(0, 40) << ' ' << Int(0, 8) << ' ' << Int(0, 8) << '\n';
    out_ << "desktop pattern 0 0 " << w << ' ' << h << '\n';
    if (Chance(50)) {
      out_ << "desktop fill " << Int(0, w) << ' ' << Int(0, h) << ' ' << Int(1, 400) << ' ' << Int(1, 300) << ' '
           << Colour() << '\n';
    }
  }

  // A scale a desktop would offer for a display of this size: one at which
  // the window (613 x 430 at 100 %) still fits on it.
  int FittingScale(int w, int h) {
    static const std::vector<int> scales{100, 100, 125, 150, 175, 200};
    std::vector<int> fitting;
    for (const int percent : scales) {
      if (613 * percent <= w * 100 && 430 * percent <= h * 100) fitting.push_back(percent);
    }
    return fitting.empty() ? 100 : Pick(fitting);
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
    switch (Int(0, 26)) {
      case 0: case 1: case 2: out_ << "move " << Point() << '\n'; break;
      case 26:
        // The user drags the window, maybe onto a display of another scale.
        // It lands whole on the primary display, near its top-left corner,
        // or where another display begins.
        if (calm) {
          if (Chance(50) || starts_.empty()) {
            out_ << "drag-window " << Int(0, 20) << ' ' << Int(0, 20) << '\n';
          } else {
            const auto [x, y] = Pick(starts_);
            out_ << "drag-window " << x << ' ' << y << '\n';
          }
        }
        break;
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
  // The top-left corners of the displays beside the primary one, where the
  // user may drag the window whole.
  std::vector<std::pair<int, int>> starts_;
};

}  // namespace

int main(int argc, char** argv) {
  const unsigned first = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 1;
  const int count = argc > 2 ? std::atoi(argv[2]) : 200;
  const int actions = argc > 3 ? std::atoi(argv[3]) : 60;
  int failed = 0;
  int boxesChecked = 0;
  int scriptChecked = 0;
  int tablesChecked = 0;
  for (int i = 0; i < count; ++i) {
    const unsigned seed = first + static_cast<unsigned>(i);
    const std::string script = Generator(seed).Script(actions);
    std::ostringstream output;
    std::ostringstream diagnostics;
    tinctora::headless::runner::ScenarioRunner runner(output, diagnostics);
    tinctora::headless::runner::RunOptions options;
    options.scriptName = "session-" + std::to_string(seed);
    const int code = runner.Run(script, options);
    const NotationCheck notations = CheckNotations(ParsePrinted(output.str()));
    boxesChecked += notations.boxesChecked;
    scriptChecked += notations.scriptChecked;
    tablesChecked += notations.tableChecked;
    if (code != tinctora::headless::runner::kPassed || !notations.mismatches.empty()) {
      ++failed;
      std::cerr << "session " << seed << " ended with " << code << ":\n" << diagnostics.str();
      for (const std::string& m : notations.mismatches) std::cerr << options.scriptName << ": " << m << '\n';
      std::cerr << "---- script ----\n" << script << "----\n";
    }
  }
  std::cout << count - failed << " passed, " << failed << " failed; notation boxes checked in " << boxesChecked
            << " (HSV and CMYK in " << scriptChecked << "), the copy table in " << tablesChecked << "\n";
  return failed == 0 ? 0 : 1;
}
