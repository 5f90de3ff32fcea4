#include "platform/headless/sim_hotkeys.h"

#include <algorithm>

namespace tinctora::headless {

bool SimHotKeys::Register(platform::WindowId owner, int nativeId, int modifiers, int virtualKey) {
  // Ids outside the documented range, or one the window already uses, are
  // refused as the real registry refuses them.
  const bool idInUse = std::any_of(keys_.begin(), keys_.end(), [&](const auto& entry) {
    return entry.second.owner == owner && entry.second.nativeId == nativeId;
  });
  if (nativeId < 1 || nativeId > platform::kMaxNativeHotKeyId || idInUse) {
    ++refusedIds_;
    return false;
  }
  const auto key = std::make_pair(modifiers, virtualKey);
  if (keys_.count(key) != 0) return false;
  keys_.emplace(key, Entry{owner, nativeId});
  return true;
}

bool SimHotKeys::Unregister(platform::WindowId owner, int nativeId) {
  for (auto it = keys_.begin(); it != keys_.end(); ++it) {
    if (owner != 0 && it->second.owner == owner && it->second.nativeId == nativeId) {
      keys_.erase(it);
      return true;
    }
  }
  return false;
}

void SimHotKeys::Hold(int modifiers, int virtualKey) { keys_.emplace(std::make_pair(modifiers, virtualKey), Entry{0, 0}); }

void SimHotKeys::Release(int modifiers, int virtualKey) {
  const auto it = keys_.find({modifiers, virtualKey});
  if (it != keys_.end() && it->second.owner == 0) keys_.erase(it);
}

std::optional<SimHotKeys::Entry> SimHotKeys::Find(int modifiers, int virtualKey) const {
  const auto it = keys_.find({modifiers, virtualKey});
  if (it == keys_.end()) return std::nullopt;
  return it->second;
}

int SimHotKeys::OwnCount() const {
  return static_cast<int>(std::count_if(keys_.begin(), keys_.end(), [](const auto& e) { return e.second.owner != 0; }));
}

void SimHotKeys::DropOwner(platform::WindowId owner) {
  std::erase_if(keys_, [owner](const auto& e) { return e.second.owner == owner; });
}

}  // namespace tinctora::headless
