// The clipboard on QClipboard. The program's GBK text is converted to a Qt
// string when it is handed over; Qt then serves it to other clients.

#include <QClipboard>
#include <QGuiApplication>

#include <algorithm>
#include <new>

#include "platform/qt/qt_services.h"

namespace tinctora::qtb {

namespace {

class MemoryBlock final : public platform::Clipboard::Block {
 public:
  explicit MemoryBlock(std::size_t size) : bytes_(size, 0) {}
  std::span<std::uint8_t> Bytes() override { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace

platform::Clipboard::BlockHandle QtClipboard::Allocate(std::size_t size) {
  try {
    return std::make_unique<MemoryBlock>(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool QtClipboard::Open() {
  if (open_ || QGuiApplication::clipboard() == nullptr) return false;
  open_ = true;
  emptied_ = false;
  return true;
}

bool QtClipboard::Empty() {
  if (!open_) return false;
  QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
  emptied_ = true;
  return true;
}

bool QtClipboard::SetText(BlockHandle block) {
  if (!open_ || !emptied_ || block == nullptr) return false;
  const std::span<std::uint8_t> bytes = block->Bytes();
  // The text ends at its terminating zero.
  const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
  if (end == bytes.end()) return false;
  const Text gbk(bytes.begin(), end);
  QGuiApplication::clipboard()->setText(FromGbk(gbk), QClipboard::Clipboard);
  return true;
}

void QtClipboard::Close() {
  open_ = false;
  emptied_ = false;
}

}  // namespace tinctora::qtb
