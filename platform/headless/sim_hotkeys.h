#pragma once

#include <map>
#include <optional>
#include <utility>

#include "platform/platform.h"

namespace tinctora::headless {

// The system's hot-key registry: a key (modifiers and virtual key) belongs
// to one owner at a time, and a window knows its keys by native ids in
// 1 ... platform::kMaxNativeHotKeyId, as the real system documents them.
class SimHotKeys final : public platform::HotKeys {
 public:
  struct Entry {
    platform::WindowId owner = 0;  // 0: another program
    int nativeId = 0;
  };

  bool Register(platform::WindowId owner, int nativeId, int modifiers, int virtualKey) override;
  bool Unregister(platform::WindowId owner, int nativeId) override;

  // Another program registers a key, and releases it.
  void Hold(int modifiers, int virtualKey);
  void Release(int modifiers, int virtualKey);
  // The entry a key press goes to, if the key is registered.
  std::optional<Entry> Find(int modifiers, int virtualKey) const;
  bool IsRegistered(int modifiers, int virtualKey) const { return Find(modifiers, virtualKey).has_value(); }
  // Keys held by the program's windows.
  int OwnCount() const;
  // The system drops a window's keys when it is destroyed.
  void DropOwner(platform::WindowId owner);
  // Registrations the registry refused because of their id.
  int RefusedIds() const { return refusedIds_; }

 private:
  std::map<std::pair<int, int>, Entry> keys_;
  int refusedIds_ = 0;
};

}  // namespace tinctora::headless
