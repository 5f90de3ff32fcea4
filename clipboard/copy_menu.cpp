#include "clipboard/copy_menu.h"

#include <algorithm>

#include "app/layout.h"
#include "colour/notations.h"

namespace tinctora::clipboard {

namespace {

// Holds the clipboard open for one copy.
class OpenClipboard {
 public:
  explicit OpenClipboard(platform::Clipboard& clipboard) : clipboard_(clipboard), open_(clipboard.Open()) {}
  ~OpenClipboard() {
    if (open_) clipboard_.Close();
  }
  OpenClipboard(const OpenClipboard&) = delete;
  OpenClipboard& operator=(const OpenClipboard&) = delete;
  bool IsOpen() const { return open_; }

 private:
  platform::Clipboard& clipboard_;
  bool open_;
};

}  // namespace

void OpenCopyMenu(app::Context& c, colour::ColourValue colour) {
  c.state.MenuColour = colour;
  const ui::Point pointer = c.system.screen->CursorPos();
  if (const ui::PopupMenu* menu = c.form.FindMenu(app::kCopyMenu)) c.form.ShowPopupMenu(*menu, pointer.x, pointer.y);
  // Filled whether or not an item was chosen; a chosen item's copy runs
  // after this handler has returned and so sees these texts.
  FillNotationTable(c);
}

void FillNotationTable(app::Context& c) {
  auto texts = colour::NotationTexts(c.state.MenuColour);
  for (std::size_t i = 0; i < texts.size(); ++i) c.state.NotationTable[i] = std::move(texts[i]);
}

void CopyNotation(app::Context& c, int entry) {
  const Text text = c.state.NotationTable[static_cast<std::size_t>(entry)];
  (void)WriteClipboardText(*c.system.clipboard, text);
}

bool WriteClipboardText(platform::Clipboard& clipboard, TextView text) {
  std::optional<platform::Clipboard::Block> block = clipboard.Allocate(text.size() + 1);
  if (!block) return false;
  std::copy(text.begin(), text.end(), block->bytes.begin());
  OpenClipboard open(clipboard);
  if (!open.IsOpen()) return false;
  clipboard.Empty();
  clipboard.SetText(std::move(*block));
  return true;
}

}  // namespace tinctora::clipboard
