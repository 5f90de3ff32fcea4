#include "platform/headless/sim_clipboard.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace tinctora::headless {

class SimClipboard::SimBlock final : public platform::Clipboard::Block {
 public:
  SimBlock(SimClipboard& owner, std::size_t size) : owner_(owner), bytes_(size, 0) { ++owner_.liveBlocks_; }
  ~SimBlock() override { --owner_.liveBlocks_; }
  std::span<std::uint8_t> Bytes() override { return bytes_; }
  const std::vector<std::uint8_t>& Data() const { return bytes_; }
  const SimClipboard* Owner() const { return &owner_; }

 private:
  SimClipboard& owner_;
  std::vector<std::uint8_t> bytes_;
};

namespace {

[[noreturn]] void Violation(const char* what) { throw std::logic_error(std::string("clipboard: ") + what); }

}  // namespace

platform::Clipboard::BlockHandle SimClipboard::Allocate(std::size_t size) {
  if (allocationFails_ || size == 0) return nullptr;
  return std::make_unique<SimBlock>(*this, size);
}

bool SimClipboard::Open() {
  ++openAttempts_;
  if (heldFor_ > 0) {
    --heldFor_;
    return false;
  }
  if (heldOpen_ || open_) return false;
  open_ = true;
  emptied_ = false;
  return true;
}

bool SimClipboard::Empty() {
  if (!open_) Violation("emptied while not open");
  text_.reset();
  emptied_ = true;
  return true;
}

bool SimClipboard::SetText(BlockHandle block) {
  if (!open_) Violation("text handed over while not open");
  if (!emptied_) Violation("text handed over before the clipboard was emptied");
  const auto* mine = dynamic_cast<const SimBlock*>(block.get());
  if (mine == nullptr || mine->Owner() != this) Violation("a block this clipboard did not make");
  const std::vector<std::uint8_t>& data = mine->Data();
  const auto zero = std::find(data.begin(), data.end(), std::uint8_t{0});
  if (zero == data.end()) Violation("text without its terminating 0 byte");
  if (zero + 1 != data.end()) Violation("block larger than its text plus the 0 byte");
  text_ = Text(data.begin(), zero);
  return true;
}

void SimClipboard::Close() {
  if (!open_) Violation("closed while not open");
  open_ = false;
  emptied_ = false;
}

}  // namespace tinctora::headless
