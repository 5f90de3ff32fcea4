#include "platform/qt/x_events.h"

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

void UngrabInputDevice(xcb_connection_t* c, std::uint16_t device) {
  static xcb_extension_t input = {"XInputExtension", 0};
  constexpr std::uint8_t kUngrabDevice = 52;
  // The request: its header (major opcode, minor opcode, length, filled in
  // by XCB), the time, the device and two bytes of padding.
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
  iovec parts[4] = {};
  parts[2].iov_base = &request;
  parts[2].iov_len = sizeof request;
  xcb_protocol_request_t kind = {2, &input, kUngrabDevice, 1};
  xcb_send_request(c, 0, parts + 2, &kind);
}

}  // namespace tinctora::qtb
