// The X server's images and pointer events as the Qt backend decodes them:
// a root window's pixels in each pixel format a screen may have, and the
// X Input extension's pointer events byte by byte.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "platform/platform.h"
#include "platform/qt/qt_internal.h"
#include "platform/qt/x_events.h"
#include "platform/qt/x_pixels.h"

namespace tinctora::qtb {
namespace {

using gfx::Image;
using gfx::RgbPixel;

XPixelFormat Format(int bits, bool lsbFirst, std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  XPixelFormat f;
  f.bitsPerPixel = bits;
  f.lsbFirst = lsbFirst;
  f.scanlinePad = 32;
  f.redMask = red;
  f.greenMask = green;
  f.blueMask = blue;
  return f;
}

// Writes a pixel value of `bytes` bytes in the server's byte order.
void Put(std::vector<std::uint8_t>& data, std::size_t at, std::uint32_t value, int bytes, bool lsbFirst) {
  for (int b = 0; b < bytes; ++b) {
    const int shift = lsbFirst ? 8 * b : 8 * (bytes - 1 - b);
    data[at + static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(value >> shift);
  }
}

TEST(XImage, TheUsual32BitScreenGivesTheSamePixelsAsEveryOtherByteOrder) {
  // The common screen (blue, green, red, unused in memory) takes its own
  // path; the same values sent most significant byte first take the
  // general one. Both must give the same picture, the unused byte ignored.
  const int width = 7;
  const int height = 5;
  std::mt19937 random(11);
  std::vector<std::uint8_t> lsb(static_cast<std::size_t>(width * height * 4));
  std::vector<std::uint8_t> msb(lsb.size());
  std::vector<std::uint32_t> values;
  for (int i = 0; i < width * height; ++i) {
    const std::uint32_t v = random();
    values.push_back(v);
    Put(lsb, static_cast<std::size_t>(4 * i), v, 4, true);
    Put(msb, static_cast<std::size_t>(4 * i), v, 4, false);
  }
  Image fast;
  Image general;
  ASSERT_TRUE(ConvertXImage(lsb.data(), static_cast<int>(lsb.size()), width, height,
                            Format(32, true, 0xFF0000, 0xFF00, 0xFF), fast));
  ASSERT_TRUE(ConvertXImage(msb.data(), static_cast<int>(msb.size()), width, height,
                            Format(32, false, 0xFF0000, 0xFF00, 0xFF), general));
  ASSERT_EQ(fast.Width(), width);
  ASSERT_EQ(fast.Height(), height);
  EXPECT_EQ(fast.Pixels(), general.Pixels());
  for (int i = 0; i < width * height; ++i) {
    const std::uint32_t v = values[static_cast<std::size_t>(i)];
    EXPECT_EQ(fast.At(i % width, i / width), RgbPixel((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF)) << i;
  }
  // A screen with red in the low byte is read by its masks.
  Image swapped;
  ASSERT_TRUE(ConvertXImage(lsb.data(), static_cast<int>(lsb.size()), width, height,
                            Format(32, true, 0xFF, 0xFF00, 0xFF0000), swapped));
  const std::uint32_t v = values[0];
  EXPECT_EQ(swapped.At(0, 0), RgbPixel(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF));
}

TEST(XImage, RowsStartWhereTheScanlinePadPutsThem) {
  // 24 bits a pixel, 3 pixels a row: 9 bytes padded to 12.
  const XPixelFormat f = Format(24, true, 0xFF0000, 0xFF00, 0xFF);
  ASSERT_EQ(f.Stride(3), 12);
  std::vector<std::uint8_t> data(24, 0xEE);  // the padding holds anything
  Put(data, 0, 0x102030, 3, true);
  Put(data, 6, 0x405060, 3, true);
  Put(data, 12, 0x708090, 3, true);
  Put(data, 18, 0xA0B0C0, 3, true);
  Image out;
  ASSERT_TRUE(ConvertXImage(data.data(), static_cast<int>(data.size()), 3, 2, f, out));
  EXPECT_EQ(out.At(0, 0), gfx::RgbHex(0x102030));
  EXPECT_EQ(out.At(2, 0), gfx::RgbHex(0x405060));
  EXPECT_EQ(out.At(0, 1), gfx::RgbHex(0x708090));
  EXPECT_EQ(out.At(2, 1), gfx::RgbHex(0xA0B0C0));
  // The usual 32-bit screen pads too, with a pad wider than a pixel.
  XPixelFormat wide = Format(32, true, 0xFF0000, 0xFF00, 0xFF);
  wide.scanlinePad = 64;
  std::vector<std::uint8_t> padded(16, 0);
  Put(padded, 8, 0x00ABCDEF, 4, true);
  ASSERT_TRUE(ConvertXImage(padded.data(), static_cast<int>(padded.size()), 1, 2, wide, out));
  EXPECT_EQ(out.At(0, 1), gfx::RgbHex(0xABCDEF));
}

TEST(XImage, NarrowChannelsAreScaledToEightBits) {
  const XPixelFormat f = Format(16, true, 0xF800, 0x07E0, 0x001F);
  std::vector<std::uint8_t> data(4);
  Put(data, 0, 0xF800, 2, true);                         // full red
  Put(data, 2, (16u << 11) | (32u << 5) | 1u, 2, true);  // half red, half green, a little blue
  Image out;
  ASSERT_TRUE(ConvertXImage(data.data(), 4, 2, 1, f, out));
  EXPECT_EQ(out.At(0, 0), RgbPixel(255, 0, 0));
  EXPECT_EQ(out.At(1, 0), RgbPixel((16 * 255 + 15) / 31, (32 * 255 + 31) / 63, (255 + 15) / 31));
}

TEST(XImage, ShortDataAndUnknownFormatsAreRefused) {
  std::vector<std::uint8_t> data(4 * 4 * 2 - 1);
  Image out;
  EXPECT_FALSE(ConvertXImage(data.data(), static_cast<int>(data.size()), 4, 2, Format(32, true, 0xFF0000, 0xFF00, 0xFF), out));
  EXPECT_FALSE(ConvertXImage(data.data(), static_cast<int>(data.size()), 4, 1, Format(8, true, 0xE0, 0x1C, 0x03), out));
  EXPECT_TRUE(ConvertXImage(data.data(), static_cast<int>(data.size()), 4, 1, Format(32, true, 0xFF0000, 0xFF00, 0xFF), out));
}

// ---- pointer events

constexpr std::uint8_t kOpcode = 131;

// An event of the extension as XCB hands it over: 32 bytes, the full
// sequence number, then the rest of the event.
std::vector<std::uint8_t> InputEvent(std::uint16_t type, std::uint16_t device, std::uint16_t source,
                                     std::int32_t rootX, std::int32_t rootY, std::uint32_t time, std::uint32_t mods) {
  std::vector<std::uint8_t> bytes(96, 0);
  bytes[0] = XCB_GE_GENERIC;
  bytes[1] = kOpcode;
  const auto put = [&bytes](int at, auto value) { std::memcpy(bytes.data() + at, &value, sizeof value); };
  put(8, type);
  put(10, device);
  put(12, time);
  put(36, rootX);
  put(40, rootY);
  put(56, source);
  put(64, std::uint32_t{0x10});  // the base modifiers: Num Lock, not the effective ones
  put(76, mods);
  return bytes;
}

const xcb_generic_event_t& AsEvent(const std::vector<std::uint8_t>& bytes) {
  return *reinterpret_cast<const xcb_generic_event_t*>(bytes.data());
}

TEST(XInputEvents, APointerEventIsDecodedToWholePixelsOfTheMasterPointer) {
  // Root x -4.5 and y 300.75 in 16.16 fixed point: the pixels the pointer is on.
  const auto motion = InputEvent(6, 2, 4, -(4 << 16) - 0x8000, (300 << 16) + 0xC000, 123456,
                                 XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1);
  const std::optional<XInputPointer> decoded = DecodeInputPointer(AsEvent(motion), kOpcode);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->kind, XInputPointer::Kind::Motion);
  EXPECT_TRUE(decoded->master);
  EXPECT_EQ(decoded->time, 123456u);
  EXPECT_EQ(decoded->root, (gfx::Point{-5, 300}));
  EXPECT_EQ(ModifierBitsOfX(decoded->modifiers), platform::ModCtrl | platform::ModAlt);
  EXPECT_EQ(ModifierBitsOfX(XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_LOCK), platform::ModShift);

  // A physical device's own event is its own source.
  const auto slave = InputEvent(6, 4, 4, 0, 0, 1, 0);
  ASSERT_TRUE(DecodeInputPointer(AsEvent(slave), kOpcode));
  EXPECT_FALSE(DecodeInputPointer(AsEvent(slave), kOpcode)->master);
  // The device reported: the one whose implicit grab a press starts.
  EXPECT_EQ(DecodeInputPointer(AsEvent(InputEvent(4, 7, 7, 0, 0, 1, 0)), kOpcode)->device, 7);
  EXPECT_EQ(decoded->device, 2);

  EXPECT_EQ(DecodeInputPointer(AsEvent(InputEvent(4, 2, 4, 0, 0, 1, 0)), kOpcode)->kind, XInputPointer::Kind::Press);
  EXPECT_EQ(DecodeInputPointer(AsEvent(InputEvent(5, 2, 4, 0, 0, 1, 0)), kOpcode)->kind,
            XInputPointer::Kind::Release);
}

TEST(XInputEvents, OnlyTheExtensionsPointerAndCrossingEventsAreDecoded) {
  // Another extension's event of the same number is not the pointer's.
  auto other = InputEvent(6, 2, 4, 0, 0, 1, 0);
  other[1] = kOpcode + 1;
  EXPECT_FALSE(DecodeInputPointer(AsEvent(other), kOpcode));
  // A core event is no generic event at all.
  auto core = InputEvent(6, 2, 4, 0, 0, 1, 0);
  core[0] = XCB_MOTION_NOTIFY;
  EXPECT_FALSE(DecodeInputPointer(AsEvent(core), kOpcode));
  // Enter and leave carry a mode, and are no pointer events.
  auto leave = InputEvent(8, 2, 2, 0, 0, 1, 0);
  leave[18] = XCB_NOTIFY_MODE_UNGRAB;
  EXPECT_FALSE(DecodeInputPointer(AsEvent(leave), kOpcode));
  EXPECT_EQ(DecodeInputCrossingMode(AsEvent(leave), kOpcode), std::optional<std::uint8_t>(XCB_NOTIFY_MODE_UNGRAB));
  EXPECT_FALSE(DecodeInputCrossingMode(AsEvent(InputEvent(6, 2, 4, 0, 0, 1, 0)), kOpcode));
}


TEST(XInputEvents, ASelectionLosesOnlyItsMotionForEveryDevice) {
  // Two masks as they come on the wire: all devices (press, release,
  // motion, enter, leave in the first byte), one device of two units.
  InputSelection selection;
  selection.count = 2;
  selection.masks = {0, 0, 1, 0, 0x70 | 0x10 | 0x20, 0x01, 0, 0,  // device 0: bits 4, 5, 6, 8
                     7, 0, 2, 0, 0x40, 0, 0, 0,       0, 0, 0x02, 0};
  const InputSelection quiet = WithoutMotion(selection);
  ASSERT_EQ(quiet.count, 2);
  ASSERT_EQ(quiet.masks.size(), selection.masks.size());
  EXPECT_EQ(quiet.masks[4], 0x30);  // motion (bit 6) gone, press and release kept
  EXPECT_EQ(quiet.masks[5], 0x01);  // other bits as they were
  EXPECT_EQ(quiet.masks[12], 0x00);
  EXPECT_EQ(quiet.masks[18], 0x02);
  EXPECT_EQ(quiet.masks[0], 0);  // the devices and lengths untouched
  EXPECT_EQ(quiet.masks[8], 7);
  // A selection whose lengths overrun its bytes is not trusted.
  InputSelection broken = selection;
  broken.masks.resize(10);
  EXPECT_EQ(WithoutMotion(broken).count, 0);
  EXPECT_TRUE(WithoutMotion(broken).masks.empty());
}

TEST(KeptScreenArea, ServesOnlyWhatItHoldsUntilAChangeTouchesIt) {
  using gfx::Rect;
  // The area read for a request: the margin on every side, within bounds.
  const Rect bounds{0, 0, 100, 80};
  EXPECT_EQ(KeptScreenArea::AreaFor({40, 30, 61, 51}, bounds, 10), (Rect{30, 20, 71, 61}));
  EXPECT_EQ(KeptScreenArea::AreaFor({2, 70, 23, 80}, bounds, 10), (Rect{0, 60, 33, 80}));

  KeptScreenArea kept;
  Image out(1, 1, 0xABCDEF);
  EXPECT_FALSE(kept.Serve({0, 0, 1, 1}, out));
  const Rect area{30, 20, 71, 61};
  Image picture(area.Width(), area.Height());
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) picture.Set(x, y, static_cast<gfx::Pixel>((area.top + y) * 1000 + area.left + x));
  }
  kept.Keep(area, picture);
  // A part inside: its own pixels, at their places.
  ASSERT_TRUE(kept.Serve({40, 30, 43, 32}, out));
  ASSERT_EQ(out.Width(), 3);
  ASSERT_EQ(out.Height(), 2);
  EXPECT_EQ(out.At(0, 0), 30040u);
  EXPECT_EQ(out.At(2, 1), 31042u);
  // A part reaching outside, by a pixel on any side, is not served.
  out = Image(1, 1, 7);
  EXPECT_FALSE(kept.Serve({29, 30, 35, 35}, out));
  EXPECT_FALSE(kept.Serve({60, 55, 72, 60}, out));
  EXPECT_FALSE(kept.Serve({40, 19, 45, 25}, out));
  EXPECT_FALSE(kept.Serve({40, 58, 45, 62}, out));
  EXPECT_EQ(out.At(0, 0), 7u) << "a refused request left its image changed";
  // A change beside the area keeps it; one touching it, even a pixel of
  // its edge, drops it.
  kept.Changed({71, 20, 90, 61});
  kept.Changed({0, 0, 30, 20});
  kept.Changed({50, 50, 50, 60});  // empty
  EXPECT_TRUE(kept.Held());
  kept.Changed({70, 60, 75, 65});
  EXPECT_FALSE(kept.Held());
  EXPECT_FALSE(kept.Serve({40, 30, 43, 32}, out));
  // A picture of another size than its area is never served.
  kept.Keep(area, Image(3, 3));
  EXPECT_FALSE(kept.Held());
}

}  // namespace
}  // namespace tinctora::qtb
