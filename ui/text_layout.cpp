#include <algorithm>
#include <iterator>
#include <string_view>

#include "text/gbk.h"
#include "ui/paint.h"

namespace tinctora::ui {
namespace {

using text::GbkCharLength;

bool IsBreak(char c) { return c == '\r' || c == '\n'; }

// Marks that close what they follow and never begin a line: full-width
// colon, comma, full stop, enumeration comma, semicolon, exclamation and
// question marks, closing brackets and quotes, ellipsis, percent; and
// their single-byte counterparts. Such a mark stays on the line of the
// character before it even where it reaches past the line's end, so
// "取色坐标：" in a label narrower than its text keeps its colon.
bool ClosesWhatItFollows(TextView text, std::size_t at) {
  static constexpr std::string_view kSingle = ")]},.:;!?%";
  if (GbkCharLength(text, at) == 1) return kSingle.find(text[at]) != std::string_view::npos;
  static constexpr const char* kDouble[] = {
      "\xA3\xBA", "\xA3\xAC", "\xA1\xA3", "\xA1\xA2", "\xA3\xBB", "\xA3\xA1", "\xA3\xBF", "\xA3\xA9",
      "\xA3\xDD", "\xA3\xFD", "\xA1\xBF", "\xA1\xB9", "\xA1\xBB", "\xA1\xB7", "\xA1\xB5", "\xA1\xB3",
      "\xA1\xBD", "\xA1\xB1", "\xA1\xAF", "\xA1\xAD", "\xA3\xA5"};
  const TextView ch = text.substr(at, 2);
  return std::any_of(std::begin(kDouble), std::end(kDouble), [ch](const char* mark) { return ch == mark; });
}

int CharWidthAt(TextView text, std::size_t at, const Font& font) {
  return font.CharWidth(text.substr(at, GbkCharLength(text, at)));
}

// Greedy line filling of one paragraph (no line breaks inside).
class ParagraphLayout {
 public:
  ParagraphLayout(TextView text, const Font& font, int width, std::vector<TextLine>& lines)
      : text_(text), font_(font), width_(width), lines_(lines) {}

  void Run(std::size_t begin, std::size_t end) {
    StartLine(begin);
    std::size_t i = begin;
    while (i < end) {
      if (text_[i] == ' ') {
        pendingWidth_ += CharWidthAt(text_, i, font_);
        ++i;
        continue;
      }
      // A unit is one double-byte character or a run of single-byte
      // characters up to a space or a double-byte character.
      std::size_t unitEnd = i + GbkCharLength(text_, i);
      if (unitEnd - i == 1) {
        while (unitEnd < end && text_[unitEnd] != ' ' && GbkCharLength(text_, unitEnd) == 1) ++unitEnd;
      }
      PlaceUnit(i, std::min(unitEnd, end));
      i = unitEnd;
    }
    Emit();
  }

 private:
  void StartLine(std::size_t at) {
    lineStart_ = at;
    contentEnd_ = at;
    contentWidth_ = 0;
    pendingWidth_ = 0;
  }
  void Emit() { lines_.push_back({lineStart_, contentEnd_ - lineStart_, contentWidth_}); }
  bool LineEmpty() const { return contentEnd_ == lineStart_; }

  void PlaceUnit(std::size_t begin, std::size_t end) {
    // Spaces opening a paragraph are part of its first line.
    if (LineEmpty() && pendingWidth_ > 0) {
      contentEnd_ = begin;
      contentWidth_ = pendingWidth_;
      pendingWidth_ = 0;
    }
    int unitWidth = 0;
    for (std::size_t i = begin; i < end; i += GbkCharLength(text_, i)) unitWidth += CharWidthAt(text_, i, font_);
    const bool glued = !LineEmpty() && pendingWidth_ == 0 && ClosesWhatItFollows(text_, begin);
    if (!LineEmpty() && !glued && contentWidth_ + pendingWidth_ + unitWidth > width_) {
      Emit();
      StartLine(begin);
    }
    if (!glued && LineEmpty() && unitWidth > width_) {
      // Too wide for any line: split between characters, at least one a line.
      std::size_t i = begin;
      while (i < end) {
        const std::size_t n = GbkCharLength(text_, i);
        const int w = CharWidthAt(text_, i, font_);
        if (!LineEmpty() && contentWidth_ + w > width_) {
          Emit();
          StartLine(i);
        }
        contentWidth_ += w;
        i += n;
        contentEnd_ = i;
      }
      return;
    }
    contentWidth_ += pendingWidth_ + unitWidth;
    pendingWidth_ = 0;
    contentEnd_ = end;
  }

  TextView text_;
  const Font& font_;
  int width_;
  std::vector<TextLine>& lines_;
  std::size_t lineStart_ = 0;
  std::size_t contentEnd_ = 0;
  int contentWidth_ = 0;
  int pendingWidth_ = 0;  // spaces after the content, kept only if more follows on the line
};

}  // namespace

std::vector<TextLine> LayoutText(TextView text, const Font& font, int width, Wrap wrap) {
  const bool wordWrap = wrap == Wrap::Words;
  std::vector<TextLine> lines;
  std::size_t begin = 0;
  while (true) {
    // Line-break bytes are below any GBK trail byte, so a plain scan is safe.
    std::size_t end = begin;
    while (end < text.size() && !IsBreak(text[end])) ++end;
    if (wordWrap) {
      ParagraphLayout(text, font, width, lines).Run(begin, end);
    } else {
      int w = 0;
      for (std::size_t i = begin; i < end; i += GbkCharLength(text, i)) w += CharWidthAt(text, i, font);
      lines.push_back({begin, end - begin, w});
    }
    if (end == text.size()) break;
    begin = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return lines;
}

void DrawCaption(Image& client, TextView text, const Font& font, Pixel colour, HAlign align, Wrap wrap) {
  if (text.empty() || client.Empty()) return;
  const int lineHeight = font.LineHeight();
  int y = 0;
  for (const TextLine& line : LayoutText(text, font, client.Width(), wrap)) {
    if (y >= client.Height()) break;
    int x = 0;
    if (align == HAlign::Centre) x = (client.Width() - line.width) / 2;
    if (align == HAlign::Right) x = client.Width() - line.width;
    const std::size_t end = line.begin + line.length;
    for (std::size_t i = line.begin; i < end && x < client.Width();) {
      const std::size_t n = GbkCharLength(text, i);
      const TextView ch = text.substr(i, n);
      font.DrawChar(client, x, y, ch, colour);
      x += font.CharWidth(ch);
      i += n;
    }
    y += lineHeight;
  }
}

}  // namespace tinctora::ui
