// The clipboard: plain text (CF_TEXT) in movable global memory, handed to
// the system with SetClipboardData. The clipboard is opened for the
// program's top-level window, which Empty makes the owner.

#include "platform/win32/win32_services.h"

namespace tinctora::win32 {

namespace {

class GlobalBlock final : public platform::Clipboard::Block {
 public:
  GlobalBlock(HGLOBAL memory, std::uint8_t* bytes, std::size_t size) : memory_(memory), bytes_(bytes), size_(size) {}
  ~GlobalBlock() override {
    if (memory_ == nullptr) return;
    GlobalUnlock(memory_);
    GlobalFree(memory_);
  }
  GlobalBlock(const GlobalBlock&) = delete;
  GlobalBlock& operator=(const GlobalBlock&) = delete;
  std::span<std::uint8_t> Bytes() override { return {bytes_, size_}; }

  // Hands the memory to the clipboard; it is the system's when that succeeds.
  bool HandOver() {
    GlobalUnlock(memory_);
    bytes_ = nullptr;
    if (SetClipboardData(CF_TEXT, memory_) == nullptr) {
      GlobalFree(memory_);
      memory_ = nullptr;
      return false;
    }
    memory_ = nullptr;
    return true;
  }

 private:
  HGLOBAL memory_;
  std::uint8_t* bytes_;
  std::size_t size_;
};

}  // namespace

platform::Clipboard::BlockHandle Win32Clipboard::Allocate(std::size_t size) {
  if (size == 0) return nullptr;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  if (memory == nullptr) return nullptr;
  auto* bytes = static_cast<std::uint8_t*>(GlobalLock(memory));
  if (bytes == nullptr) {
    GlobalFree(memory);
    return nullptr;
  }
  return std::make_unique<GlobalBlock>(memory, bytes, size);
}

bool Win32Clipboard::Open() {
  if (open_) return false;
  if (!OpenClipboard(registry_.top)) return false;
  open_ = true;
  emptied_ = false;
  return true;
}

bool Win32Clipboard::Empty() {
  if (!open_ || !EmptyClipboard()) return false;
  emptied_ = true;
  return true;
}

bool Win32Clipboard::SetText(BlockHandle block) {
  if (!open_ || !emptied_ || block == nullptr) return false;
  auto* global = static_cast<GlobalBlock*>(block.get());
  const std::span<std::uint8_t> bytes = global->Bytes();
  // Plain text ends at its last byte, a zero.
  if (bytes.empty() || bytes.back() != 0) return false;
  return global->HandOver();
}

void Win32Clipboard::Close() {
  if (open_) CloseClipboard();
  open_ = false;
  emptied_ = false;
}

}  // namespace tinctora::win32
