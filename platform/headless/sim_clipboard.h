#pragma once

#include <cstddef>
#include <optional>

#include "platform/platform.h"

namespace tinctora::headless {

// The system clipboard, as strict as the real one: a text block is made
// before the clipboard is opened, handed over only while it is open and
// after it was emptied, and ends in its one 0 byte. A program that breaks
// the protocol gets a std::logic_error, so every scenario catches it.
class SimClipboard final : public platform::Clipboard {
 public:
  BlockHandle Allocate(std::size_t size) override;
  bool Open() override;
  bool Empty() override;
  bool SetText(BlockHandle block) override;
  void Close() override;

  // ---- other programs and faults
  void SetHeldOpen(bool held) { heldOpen_ = held; }
  // Another program holds the clipboard for the next `attempts` tries to
  // open it, then lets go.
  void HoldOpenFor(int attempts) { heldFor_ = attempts; }
  // Tries to open the clipboard, those that failed included.
  int OpenAttempts() const { return openAttempts_; }
  void SetAllocationFails(bool fails) { allocationFails_ = fails; }
  // Another program puts text on the clipboard, or empties it.
  void PutText(std::optional<Text> text) { text_ = std::move(text); }

  // ---- what another program reads
  const std::optional<Text>& Contents() const { return text_; }
  bool IsOpen() const { return open_; }
  // Blocks made and not yet handed over or freed.
  std::size_t LiveBlocks() const { return liveBlocks_; }

 private:
  class SimBlock;
  std::optional<Text> text_;
  bool open_ = false;
  bool emptied_ = false;
  bool heldOpen_ = false;
  int heldFor_ = 0;
  int openAttempts_ = 0;
  bool allocationFails_ = false;
  std::size_t liveBlocks_ = 0;
};

}  // namespace tinctora::headless
