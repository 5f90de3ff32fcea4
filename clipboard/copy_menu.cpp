#include "clipboard/copy_menu.h"

#include <algorithm>

#include "colour/notations.h"

namespace tinctora::clipboard {

namespace {

// Holds the clipboard open for one copy; opening waits out another
// program's brief hold.
class OpenClipboard {
 public:
  OpenClipboard(platform::Clipboard& clipboard, platform::Loop& loop) : clipboard_(clipboard), open_(Open(loop)) {}
  ~OpenClipboard() {
    if (open_) clipboard_.Close();
  }
  OpenClipboard(const OpenClipboard&) = delete;
  OpenClipboard& operator=(const OpenClipboard&) = delete;
  bool IsOpen() const { return open_; }

 private:
  bool Open(platform::Loop& loop) {
    for (int attempt = 1;; ++attempt) {
      if (clipboard_.Open()) return true;
      if (attempt == kOpenAttempts) return false;
      loop.Pause(kOpenRetryMs);
    }
  }

  platform::Clipboard& clipboard_;
  bool open_;
};

}  // namespace

void OpenCopyMenu(context::Context& c, colour::ColourValue colour) {
  c.state.MenuColour = colour;
  const std::optional<ui::Point> pointer = c.system.screen->CursorPos();
  if (const ui::PopupMenu* menu = c.form.FindMenu(context::kCopyMenu)) {
    if (pointer) {
      c.form.ShowPopupMenu(*menu, pointer->x, pointer->y);
    } else {
      c.form.ShowPopupMenu(*menu);
    }
  }
  // Filled whether or not an item was chosen; a chosen item's copy runs
  // after this handler has returned and so sees these texts.
  FillNotationTable(c);
}

void FillNotationTable(context::Context& c) {
  auto texts = colour::NotationTexts(c.state.MenuColour);
  for (std::size_t i = 0; i < texts.size(); ++i) c.state.NotationTable[i] = std::move(texts[i]);
}

void CopyNotation(context::Context& c, int entry) {
  const Text text = c.state.NotationTable[static_cast<std::size_t>(entry)];
  (void)WriteClipboardText(*c.system.clipboard, *c.system.loop, text);
}

bool WriteClipboardText(platform::Clipboard& clipboard, platform::Loop& loop, TextView text) {
  // The text and its terminating 0 byte, in the system's memory, before the
  // clipboard is touched.
  platform::Clipboard::BlockHandle block = clipboard.Allocate(text.size() + 1);
  if (!block || block->Bytes().size() != text.size() + 1) return false;
  const std::span<std::uint8_t> bytes = block->Bytes();
  std::copy(text.begin(), text.end(), bytes.begin());
  bytes[text.size()] = 0;
  OpenClipboard open(clipboard, loop);
  if (!open.IsOpen() || !clipboard.Empty()) return false;
  return clipboard.SetText(std::move(block));
}

}  // namespace tinctora::clipboard
