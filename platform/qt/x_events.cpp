#include "platform/qt/x_events.h"

#include <cstdlib>
#include <cstring>

#include <sys/uio.h>
#include <xcb/xcbext.h>

namespace tinctora::qtb {

namespace {

// The extension's event types.
constexpr std::uint16_t kButtonPress = 4;
constexpr std::uint16_t kButtonRelease = 5;
constexpr std::uint16_t kMotion = 6;
constexpr std::uint16_t kEnter = 7;
constexpr std::uint16_t kLeave = 8;

template <class T>
T At(const xcb_generic_event_t& event, int offset) {
  T value{};
  std::memcpy(&value, reinterpret_cast<const std::uint8_t*>(&event) + offset, sizeof value);
  return value;
}

std::optional<std::uint16_t> GenericType(const xcb_generic_event_t& event, std::uint8_t inputOpcode) {
  if ((event.response_type & 0x7F) != XCB_GE_GENERIC || inputOpcode == 0) return std::nullopt;
  const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
  if (generic.extension != inputOpcode) return std::nullopt;
  return generic.event_type;
}

}  // namespace

std::optional<XInputPointer> DecodeInputPointer(const xcb_generic_event_t& event, std::uint8_t inputOpcode) {
  const std::optional<std::uint16_t> type = GenericType(event, inputOpcode);
  if (!type || (*type != kButtonPress && *type != kButtonRelease && *type != kMotion)) return std::nullopt;
  // The device event's layout: deviceid at 10, time at 12, root_x and
  // root_y (16.16 fixed point) at 36 and 40, sourceid at 56, the effective
  // modifiers at 76.
  XInputPointer pointer;
  pointer.kind = *type == kMotion        ? XInputPointer::Kind::Motion
                 : *type == kButtonPress ? XInputPointer::Kind::Press
                                         : XInputPointer::Kind::Release;
  pointer.device = At<std::uint16_t>(event, 10);
  pointer.master = pointer.device != At<std::uint16_t>(event, 56);
  pointer.time = At<std::uint32_t>(event, 12);
  // Whole pixels: the fraction a precise device may add is the server's
  // own, not the screen's.
  pointer.root = {At<std::int32_t>(event, 36) >> 16, At<std::int32_t>(event, 40) >> 16};
  pointer.modifiers = At<std::uint32_t>(event, 76);
  return pointer;
}

std::optional<std::uint8_t> DecodeInputCrossingMode(const xcb_generic_event_t& event, std::uint8_t inputOpcode) {
  const std::optional<std::uint16_t> type = GenericType(event, inputOpcode);
  if (!type || (*type != kEnter && *type != kLeave)) return std::nullopt;
  return At<std::uint8_t>(event, 18);
}

namespace {

xcb_extension_t inputExtension = {"XInputExtension", 0};
constexpr std::uint8_t kSelectEvents = 46;
constexpr std::uint8_t kUngrabDevice = 52;
constexpr std::uint8_t kGetSelectedEvents = 60;

// Sends a request of the extension, without its client library: `request`
// starts with the 4-byte header XCB fills in (major opcode, minor opcode,
// length); `tail` follows it. Returns the request's sequence number.
unsigned int SendInputRequest(xcb_connection_t* c, std::uint8_t minor, void* request, std::size_t size,
                              const void* tail, std::size_t tailSize, bool answered) {
  iovec parts[4] = {};
  parts[2].iov_base = request;
  parts[2].iov_len = size;
  parts[3].iov_base = const_cast<void*>(tail);
  parts[3].iov_len = tailSize;
  xcb_protocol_request_t kind = {2, &inputExtension, minor, static_cast<std::uint8_t>(answered ? 0 : 1)};
  return xcb_send_request(c, answered ? XCB_REQUEST_CHECKED : 0, parts + 2, &kind);
}

}  // namespace

void UngrabInputDevice(xcb_connection_t* c, std::uint16_t device) {
  // The header, the time, the device and two bytes of padding.
  struct {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    std::uint16_t length = 0;
    std::uint32_t time = XCB_CURRENT_TIME;
    std::uint16_t device = 0;
    std::uint8_t pad[2] = {};
  } request;
  static_assert(sizeof request == 12);
  request.device = device;
  SendInputRequest(c, kUngrabDevice, &request, sizeof request, nullptr, 0, false);
}

namespace {

// Each mask of a selection in turn (where its bytes start, how many);
// false when the selection is malformed.
template <class Visit>
bool EachMask(const InputSelection& selection, Visit visit) {
  std::size_t at = 0;
  for (std::uint16_t i = 0; i < selection.count; ++i) {
    if (at + 4 > selection.masks.size()) return false;
    std::uint16_t units = 0;
    std::memcpy(&units, selection.masks.data() + at + 2, 2);
    const std::size_t bytes = static_cast<std::size_t>(units) * 4;
    if (at + 4 + bytes > selection.masks.size()) return false;
    visit(at + 4, bytes);
    at += 4 + bytes;
  }
  return at == selection.masks.size();
}

}  // namespace

std::optional<InputSelection> SelectedInputEvents(xcb_connection_t* c, xcb_window_t window) {
  struct {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    std::uint16_t length = 0;
    std::uint32_t window = 0;
  } request;
  static_assert(sizeof request == 8);
  request.window = window;
  const unsigned int sequence = SendInputRequest(c, kGetSelectedEvents, &request, sizeof request, nullptr, 0, true);
  if (sequence == 0) return std::nullopt;
  xcb_generic_error_t* error = nullptr;
  void* reply = xcb_wait_for_reply(c, sequence, &error);
  std::free(error);
  if (reply == nullptr) return std::nullopt;
  // The reply: 32 bytes of header, the number of masks at byte 8, its
  // length in 4-byte units after the header at byte 4.
  const auto* bytes = static_cast<const std::uint8_t*>(reply);
  std::uint32_t units = 0;
  InputSelection selection;
  std::memcpy(&units, bytes + 4, 4);
  std::memcpy(&selection.count, bytes + 8, 2);
  selection.masks.assign(bytes + 32, bytes + 32 + static_cast<std::size_t>(units) * 4);
  std::free(reply);
  if (!EachMask(selection, [](std::size_t, std::size_t) {})) return std::nullopt;
  return selection;
}

void SelectInputEvents(xcb_connection_t* c, xcb_window_t window, const InputSelection& selection) {
  struct {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    std::uint16_t length = 0;
    std::uint32_t window = 0;
    std::uint16_t count = 0;
    std::uint8_t pad[2] = {};
  } request;
  static_assert(sizeof request == 12);
  request.window = window;
  request.count = selection.count;
  SendInputRequest(c, kSelectEvents, &request, sizeof request, selection.masks.data(), selection.masks.size(), false);
}

InputSelection WithoutMotion(const InputSelection& selection) {
  InputSelection out = selection;
  const bool wellFormed = EachMask(out, [&out](std::size_t at, std::size_t bytes) {
    if (bytes > 0) out.masks[at] &= static_cast<std::uint8_t>(~(1u << kMotion));
  });
  return wellFormed ? out : InputSelection{};
}

}  // namespace tinctora::qtb
