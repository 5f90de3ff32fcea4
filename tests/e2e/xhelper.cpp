// A small X client the end-to-end tests run beside the program:
//
//   xhelper grab-key KEYSYM      grabs the key on the root window (with the
//                                CapsLock and NumLock variants), prints
//                                "grabbed" and holds it until killed
//   xhelper grab-pointer         tries to grab the pointer actively; prints
//                                "grabbed" or "refused" and exits
//   xhelper moves N X Y [US]     moves the pointer N times by synthetic
//                                (XTEST) motion between (X, Y) and (X + 7, Y),
//                                one movement every US microseconds (default
//                                1000), then prints the seconds it took
//
// Key symbols are given in hexadecimal (0xff51 is Left).

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

int Fail(const char* what) {
  std::fprintf(stderr, "xhelper: %s\n", what);
  return 2;
}

int GrabKey(xcb_connection_t* c, xcb_window_t root, const char* name) {
  const auto symbol = static_cast<xcb_keysym_t>(std::strtoul(name, nullptr, 16));
  xcb_key_symbols_t* table = xcb_key_symbols_alloc(c);
  xcb_keycode_t* codes = xcb_key_symbols_get_keycode(table, symbol);
  if (codes == nullptr || codes[0] == XCB_NO_SYMBOL) return Fail("no keycode for the key");
  const std::uint16_t variants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
  for (xcb_keycode_t* k = codes; *k != XCB_NO_SYMBOL; ++k) {
    for (const std::uint16_t v : variants) {
      xcb_void_cookie_t cookie =
          xcb_grab_key_checked(c, 1, root, v, *k, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
      if (xcb_generic_error_t* error = xcb_request_check(c, cookie)) {
        std::free(error);
        return Fail("the key is already grabbed");
      }
    }
  }
  std::free(codes);
  std::printf("grabbed\n");
  std::fflush(stdout);
  // Holds the grab; key presses arrive here and are dropped.
  while (xcb_generic_event_t* event = xcb_wait_for_event(c)) std::free(event);
  xcb_key_symbols_free(table);
  return 0;
}

int GrabPointer(xcb_connection_t* c, xcb_window_t root) {
  xcb_grab_pointer_reply_t* reply = xcb_grab_pointer_reply(
      c,
      xcb_grab_pointer(c, 0, root, XCB_EVENT_MASK_POINTER_MOTION, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE,
                       XCB_NONE, XCB_CURRENT_TIME),
      nullptr);
  const bool grabbed = reply != nullptr && reply->status == XCB_GRAB_STATUS_SUCCESS;
  std::free(reply);
  std::printf("%s\n", grabbed ? "grabbed" : "refused");
  if (grabbed) xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
  xcb_flush(c);
  return 0;
}

int Moves(xcb_connection_t* c, xcb_window_t root, long count, int x, int y, long interval) {
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < count; ++i) {
    const int at = x + static_cast<int>(i % 8);
    xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, static_cast<std::int16_t>(at),
                        static_cast<std::int16_t>(y), 0);
    xcb_flush(c);
    std::this_thread::sleep_until(start + std::chrono::microseconds(interval * (i + 1)));
  }
  // Every request has reached the server.
  std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("%.3f\n", took.count());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Fail("usage: xhelper grab-key KEYSYM | grab-pointer | moves N X Y [US]");
  int screenNumber = 0;
  xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(c)) return Fail("cannot connect to the display");
  auto roots = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screenNumber && roots.rem > 1; ++i) xcb_screen_next(&roots);
  const xcb_window_t root = roots.data->root;
  const std::string command = argv[1];
  int code = 0;
  if (command == "grab-key" && argc == 3) {
    code = GrabKey(c, root, argv[2]);
  } else if (command == "grab-pointer") {
    code = GrabPointer(c, root);
  } else if (command == "moves" && argc >= 5) {
    code = Moves(c, root, std::atol(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), argc > 5 ? std::atol(argv[5]) : 1000);
  } else {
    code = Fail("unknown command");
  }
  xcb_disconnect(c);
  return code;
}
