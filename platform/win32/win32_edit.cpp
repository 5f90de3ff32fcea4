// Edit boxes: the system's EDIT control. Every insertion of the user's (a
// typed character, an input method's characters, a paste) is offered to
// the program, which says how many of its bytes the box takes; exactly
// those go in. The box reports the user's changes of its text once it has
// handled the message that made them, and never the program's writes.
// Selections cross the seam as byte offsets of the GBK text and are UTF-16
// positions in the control.

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "platform/win32/win32_services.h"

#include <commctrl.h>

namespace tinctora::win32 {

namespace {

// The GBK byte offset of each UTF-16 position of a text that starts a
// character (a surrogate pair is one character), and of its end.
struct Offsets {
  std::vector<std::size_t> wide;  // UTF-16 positions
  std::vector<std::size_t> gbk;   // the byte offsets there
};

Offsets OffsetsOf(std::wstring_view text) {
  Offsets o;
  std::size_t bytes = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    o.wide.push_back(at);
    o.gbk.push_back(bytes);
    const std::size_t length = IS_HIGH_SURROGATE(text[at]) && at + 1 < text.size() && IS_LOW_SURROGATE(text[at + 1]) ? 2 : 1;
    bytes += Narrow(text.substr(at, length)).size();
    at += length;
  }
  o.wide.push_back(text.size());
  o.gbk.push_back(bytes);
  return o;
}

// The UTF-16 position of the character boundary at or before a byte offset.
std::size_t WideAt(const Offsets& o, std::size_t byte) {
  const auto it = std::upper_bound(o.gbk.begin(), o.gbk.end(), byte);
  return o.wide[static_cast<std::size_t>(it - o.gbk.begin()) - 1];
}

// The byte offset of a UTF-16 position (inside a pair: its character's start).
std::size_t GbkAt(const Offsets& o, std::size_t wide) {
  const auto it = std::upper_bound(o.wide.begin(), o.wide.end(), wide);
  return o.gbk[static_cast<std::size_t>(it - o.wide.begin()) - 1];
}

// The selection's ends in order, as UTF-16 positions within the text.
std::pair<std::size_t, std::size_t> NativeSelection(HWND box, std::size_t length) {
  DWORD start = 0;
  DWORD end = 0;
  SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  std::size_t s = std::min<std::size_t>(start, length);
  std::size_t e = std::min<std::size_t>(end, length);
  if (e < s) std::swap(s, e);
  return {s, e};
}

// Offers `gbk` in place of the box's selection; the bytes the program takes.
std::size_t Offer(NativeWindow& box, TextView gbk, platform::Insertion how) {
  EventSink* sink = box.registry->sink;
  if (sink == nullptr) return gbk.size();
  const std::wstring text = WideWindowText(box.hwnd);
  const auto [start, end] = NativeSelection(box.hwnd, text.size());
  const std::size_t kept =
      Narrow(std::wstring_view(text).substr(0, start)).size() + Narrow(std::wstring_view(text).substr(end)).size();
  return std::min(sink->AcceptedBytes(IdOf(box.hwnd), gbk, kept, how), gbk.size());
}

// Puts exactly `gbk` in place of the selection, as the user's edit.
void ReplaceSelection(NativeWindow& box, TextView gbk) {
  const std::wstring insert = Wide(gbk);
  SendMessageW(box.hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(insert.c_str()));
}

// The clipboard, open for reading for a scope.
class OpenedClipboard {
 public:
  explicit OpenedClipboard(HWND owner) : open_(OpenClipboard(owner) != 0) {}
  ~OpenedClipboard() {
    if (open_) CloseClipboard();
  }
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;
  bool Open() const { return open_; }

 private:
  bool open_;
};

std::optional<std::wstring> ClipboardUnicodeText(HWND owner) {
  const OpenedClipboard clipboard(owner);
  if (!clipboard.Open()) return std::nullopt;
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  if (data == nullptr) return std::nullopt;
  const auto* chars = static_cast<const wchar_t*>(GlobalLock(data));
  if (chars == nullptr) return std::nullopt;
  const std::size_t limit = GlobalSize(data) / sizeof(wchar_t);
  std::wstring text(chars, std::find(chars, chars + limit, L'\0'));
  GlobalUnlock(data);
  return text;
}

// Runs `handle` as the box's handling of a message of the user's: a change
// of the text it makes (EN_CHANGE at the parent) is reported once, after it.
template <typename Handle>
LRESULT AsUserEdit(NativeWindow& box, Handle handle) {
  Registry& registry = *box.registry;
  const HWND hwnd = box.hwnd;
  bool changed = false;
  bool* const outer = std::exchange(box.userEdit, &changed);
  const LRESULT result = handle();
  // A handler of the program may have destroyed the box meanwhile.
  if (registry.Find(hwnd) != &box) return result;
  box.userEdit = outer;
  if (changed && registry.sink != nullptr) registry.sink->OnEditChanged(IdOf(hwnd));
  return result;
}

// While the program writes a box's text or selection, nothing the box
// does is the user's.
class ProgramWrite {
 public:
  explicit ProgramWrite(NativeWindow& box) : box_(box), outer_(std::exchange(box.userEdit, nullptr)) {}
  ~ProgramWrite() { box_.userEdit = outer_; }
  ProgramWrite(const ProgramWrite&) = delete;
  ProgramWrite& operator=(const ProgramWrite&) = delete;

 private:
  NativeWindow& box_;
  bool* outer_;
};

}  // namespace

LRESULT HandleUserEdit(NativeWindow& box, UINT message, WPARAM wParam, LPARAM lParam) {
  return AsUserEdit(box, [&] { return DefSubclassProc(box.hwnd, message, wParam, lParam); });
}

LRESULT TypeIntoEdit(NativeWindow& box, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto unit = static_cast<wchar_t>(wParam);
  // Control characters (Backspace, the box's Ctrl shortcuts) are no
  // insertion; a read-only box inserts nothing.
  if (box.edit.readOnly || unit < 0x20 || unit == 0x7F) return HandleUserEdit(box, message, wParam, lParam);
  if (IS_HIGH_SURROGATE(unit)) {
    box.highSurrogate = unit;
    return 0;
  }
  std::wstring character(1, unit);
  const wchar_t high = std::exchange(box.highSurrogate, 0);
  if (IS_LOW_SURROGATE(unit) && high != 0) character.insert(character.begin(), high);
  const Text gbk = Narrow(character);
  if (gbk.empty()) return 0;
  const std::size_t taken = Offer(box, gbk, platform::Insertion::Typed);
  if (taken == 0) return 0;
  return AsUserEdit(box, [&]() -> LRESULT {
    if (taken < gbk.size()) {
      ReplaceSelection(box, TextView(gbk).substr(0, taken));
      return 0;
    }
    // The whole character: the box's own typing.
    if (character.size() == 2) DefSubclassProc(box.hwnd, message, character[0], lParam);
    return DefSubclassProc(box.hwnd, message, unit, lParam);
  });
}

LRESULT PasteIntoEdit(NativeWindow& box) {
  // Ctrl+V, Shift+Insert and the box's menu all paste through here.
  if (box.edit.readOnly) return 0;
  const std::optional<std::wstring> clip = ClipboardUnicodeText(box.hwnd);
  if (!clip) return 0;
  const Text gbk = Narrow(*clip);
  if (gbk.empty()) return 0;
  const std::size_t taken = Offer(box, gbk, platform::Insertion::Pasted);
  // Refused whole: nothing changes, the selection included.
  if (taken == 0) return 0;
  return AsUserEdit(box, [&]() -> LRESULT {
    ReplaceSelection(box, TextView(gbk).substr(0, taken));
    return 0;
  });
}

void SetUpEdit(NativeWindow& box, const platform::ChildSpec& params) {
  box.edit = params.edit;
  box.brush.reset(CreateSolidBrush(params.edit.background & 0xFFFFFF));
  // No native limit: what a box takes is the program's rule, and a limit
  // would also cut the program's own writes.
  SendMessageW(box.hwnd, EM_LIMITTEXT, 0, 0);
}

void Win32Windows::SetEditColours(WindowId id, Pixel background, Pixel text) {
  NativeWindow* box = registry_.Find(id);
  if (box == nullptr || box->kind != platform::NativeKind::EditBox) return;
  box->edit.background = background;
  box->edit.textColour = text;
  // WM_CTLCOLOREDIT hands the box the brush and colours from now on.
  box->brush.reset(CreateSolidBrush(background & 0xFFFFFF));
  InvalidateRect(box->hwnd, nullptr, TRUE);
}

void Win32Windows::SetEditText(WindowId id, TextView text) {
  NativeWindow* box = registry_.Find(id);
  if (box == nullptr || box->kind != platform::NativeKind::EditBox) return;
  const ProgramWrite write(*box);
  const std::wstring wide = Wide(text);
  registry_.drawn = true;
  SetWindowTextW(box->hwnd, wide.c_str());
  // Nothing selected, the caret at the end.
  const auto end = static_cast<WPARAM>(wide.size());
  SendMessageW(box->hwnd, EM_SETSEL, end, static_cast<LPARAM>(end));
  box->programSelection = {text.size(), text.size()};
}

Text Win32Windows::EditText(WindowId id) const {
  const NativeWindow* box = registry_.Find(id);
  return box == nullptr ? Text() : WindowText(box->hwnd);
}

void Win32Windows::SetEditSelection(WindowId id, platform::EditRange range) {
  NativeWindow* box = registry_.Find(id);
  if (box == nullptr || box->kind != platform::NativeKind::EditBox) return;
  const ProgramWrite write(*box);
  const Offsets offsets = OffsetsOf(WideWindowText(box->hwnd));
  const std::size_t anchor = WideAt(offsets, range.anchor);
  const std::size_t caret = WideAt(offsets, range.caret);
  // The control puts the caret at the second end, whichever is larger.
  SendMessageW(box->hwnd, EM_SETSEL, static_cast<WPARAM>(anchor), static_cast<LPARAM>(caret));
  box->programSelection = {GbkAt(offsets, anchor), GbkAt(offsets, caret)};
}

platform::EditRange Win32Windows::EditSelection(WindowId id) const {
  const NativeWindow* box = registry_.Find(id);
  if (box == nullptr || box->kind != platform::NativeKind::EditBox) return {};
  const std::wstring text = WideWindowText(box->hwnd);
  const Offsets offsets = OffsetsOf(text);
  const auto [start, end] = NativeSelection(box->hwnd, text.size());
  const platform::EditRange ordered{GbkAt(offsets, start), GbkAt(offsets, end)};
  if (ordered.anchor == ordered.caret) return ordered;
  // The system tells the ends in order only. Where the box has the caret,
  // the caret's place says which end it is at; otherwise only the program
  // can have set the selection.
  POINT caret{};
  if (GetFocus() == box->hwnd && GetCaretPos(&caret)) {
    const LRESULT at = SendMessageW(box->hwnd, EM_POSFROMCHAR, static_cast<WPARAM>(start), 0);
    if (at != -1 && std::abs(static_cast<short>(LOWORD(at)) - caret.x) <= 1) return {ordered.caret, ordered.anchor};
    return ordered;
  }
  if (box->programSelection.Start() == ordered.anchor && box->programSelection.End() == ordered.caret) {
    return box->programSelection;
  }
  return ordered;
}

}  // namespace tinctora::win32
