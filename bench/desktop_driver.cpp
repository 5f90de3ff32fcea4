// desktop_driver: measures a colour picker program on an X server, for
// bench/desktop_compare.sh.
//
//   desktop_driver start [--idle MS] -- PROGRAM [ARG...]
//     Starts PROGRAM and times it from exec to its first top-level window
//     being viewable, waits MS milliseconds (1000) and reads its peak and
//     current memory, then closes it.
//
//   desktop_driver pick [--server-pid PID] [--rate N] [--seconds S] [--scale P] -- PROGRAM [ARG...]
//     Starts tinctora, presses on its picker pad and sends N pointer
//     movements a second (1000) for S seconds (10) through XTest, along a
//     path across two windows of known colours and the rest of the screen,
//     then times how long the preview box and the zoom view take to show the
//     last position's colour, releases the button and closes the program.
//     Reports the CPU time of the program and of the X server (PID) per
//     movement sent. When TINCTORA_STATS names a file, the counts the program
//     writes there at exit are reported beside the movements sent. P is the
//     display's scale in per cent (100): the window's points lie that much
//     further from its client origin.
//
// Every figure is printed as one "key value" line on standard output.

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>
#include <xcb/xproto.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Client-area points of the main window's controls (app/layout.cpp).
constexpr int kPadX = 11 + 38 / 2;       // 图片框1, the picker pad
constexpr int kPadY = 10 + 38 / 2;
constexpr int kPreviewX = 28 + 100 / 2;  // 当前颜色, the preview box
constexpr int kPreviewY = 295 + 100 / 2;
constexpr int kZoomX = 8 + 40;           // 画板1, the zoom view, off its cross lines
constexpr int kZoomY = 62 + 40;

// The two windows of known colours the path crosses; the last movement
// goes from the first to the second.
constexpr uint32_t kColourA = 0x3366CC;
constexpr uint32_t kColourB = 0xCC9933;
constexpr int kStripeWidth = 300;

double Now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

void SleepSeconds(double seconds) {
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(seconds);
  ts.tv_nsec = static_cast<long>((seconds - ts.tv_sec) * 1e9);
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> Own(T* reply) {
  return Reply<T>(reply, &std::free);
}

struct Display {
  xcb_connection_t* connection = nullptr;
  xcb_screen_t* screen = nullptr;
  xcb_atom_t netWmPid = XCB_NONE;
  xcb_atom_t wmProtocols = XCB_NONE;
  xcb_atom_t wmDeleteWindow = XCB_NONE;

  Display() {
    connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
      std::fprintf(stderr, "desktop_driver: cannot open the display\n");
      std::exit(2);
    }
    screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    netWmPid = Atom("_NET_WM_PID");
    wmProtocols = Atom("WM_PROTOCOLS");
    wmDeleteWindow = Atom("WM_DELETE_WINDOW");
  }
  ~Display() { xcb_disconnect(connection); }
  Display(const Display&) = delete;
  Display& operator=(const Display&) = delete;

  xcb_window_t Root() const { return screen->root; }

  xcb_atom_t Atom(const char* name) {
    auto reply = Own(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : XCB_NONE;
  }

  std::optional<uint32_t> WindowPid(xcb_window_t window) {
    auto reply = Own(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, netWmPid, XCB_ATOM_CARDINAL, 0, 1), nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4) return std::nullopt;
    return *static_cast<uint32_t*>(xcb_get_property_value(reply.get()));
  }

  bool Viewable(xcb_window_t window) {
    auto reply = Own(xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window),
                                                     nullptr));
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE && !reply->override_redirect;
  }

  // The viewable window of process PID at or under WINDOW (a window
  // manager's frame holds the program's window a level or two down).
  std::optional<xcb_window_t> FindViewable(xcb_window_t window, uint32_t pid, int depth) {
    if (WindowPid(window) == pid && Viewable(window)) return window;
    if (depth == 0) return std::nullopt;
    auto tree = Own(xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr));
    if (!tree) return std::nullopt;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
      if (auto found = FindViewable(children[i], pid, depth - 1)) return found;
    }
    return std::nullopt;
  }

  std::optional<xcb_window_t> FindViewableUnderRoot(uint32_t pid) {
    auto tree = Own(xcb_query_tree_reply(connection, xcb_query_tree(connection, Root()), nullptr));
    if (!tree) return std::nullopt;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
      if (auto found = FindViewable(children[i], pid, 3)) return found;
    }
    return std::nullopt;
  }

  void Sync() { std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr)); }

  std::optional<uint32_t> PixelAt(int x, int y) {
    auto reply = Own(xcb_get_image_reply(
        connection, xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, Root(), static_cast<int16_t>(x),
                                  static_cast<int16_t>(y), 1, 1, ~0u),
        nullptr));
    if (!reply || xcb_get_image_data_length(reply.get()) < 4) return std::nullopt;
    uint32_t pixel = 0;
    std::memcpy(&pixel, xcb_get_image_data(reply.get()), 4);
    return pixel & 0xFFFFFF;
  }

  void Motion(int x, int y) {
    xcb_test_fake_input(connection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, Root(), static_cast<int16_t>(x),
                        static_cast<int16_t>(y), 0);
    xcb_flush(connection);
  }

  void Button(uint8_t type) {
    xcb_test_fake_input(connection, type, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(connection);
  }

  xcb_window_t ColourWindow(int x, int y, int width, int height, uint32_t colour) {
    const xcb_window_t window = xcb_generate_id(connection);
    const uint32_t values[] = {colour, 1};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, Root(), static_cast<int16_t>(x),
                      static_cast<int16_t>(y), static_cast<uint16_t>(width), static_cast<uint16_t>(height), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(connection, window);
    return window;
  }

  void Close(xcb_window_t window) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = wmProtocols;
    event.data.data32[0] = wmDeleteWindow;
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    xcb_flush(connection);
  }
};

struct Child {
  pid_t pid = -1;
  double started = 0;  // just before the fork
};

Child Spawn(char** argv) {
  Child child;
  child.started = Now();
  child.pid = fork();
  if (child.pid == 0) {
    execvp(argv[0], argv);
    std::fprintf(stderr, "desktop_driver: cannot run %s: %s\n", argv[0], std::strerror(errno));
    _exit(127);
  }
  if (child.pid < 0) {
    std::perror("desktop_driver: fork");
    std::exit(2);
  }
  return child;
}

// Waits for the first top-level window of CHILD to be viewable: every map
// of a child of the root (a program's window, or a window manager's frame
// around it, mapped after the program's window) is checked.
std::optional<std::pair<xcb_window_t, double>> WaitForWindow(Display& display, const Child& child, double timeout) {
  const int fd = xcb_get_file_descriptor(display.connection);
  const double deadline = child.started + timeout;
  while (Now() < deadline) {
    while (xcb_generic_event_t* raw = xcb_poll_for_event(display.connection)) {
      const double at = Now();
      std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event(raw, &std::free);
      if ((event->response_type & 0x7F) != XCB_MAP_NOTIFY) continue;
      const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event.get());
      if (map->event != display.Root() || map->override_redirect) continue;
      if (auto window = display.FindViewable(map->window, static_cast<uint32_t>(child.pid), 3)) {
        return std::make_pair(*window, at);
      }
    }
    if (xcb_connection_has_error(display.connection)) return std::nullopt;
    int status = 0;
    if (waitpid(child.pid, &status, WNOHANG) == child.pid) return std::nullopt;
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, 100);
  }
  return std::nullopt;
}

std::string StatusField(pid_t pid, const std::string& key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key + ":", 0) == 0) {
      std::istringstream fields(line.substr(key.size() + 1));
      std::string value;
      fields >> value;
      return value;
    }
  }
  return "unavailable";
}

// utime + stime of every thread of PID, in seconds (clock ticks).
double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::vector<std::string> values;
  std::string value;
  while (fields >> value) values.push_back(value);
  // Fields 14 and 15 of the file; the list starts at field 3.
  if (values.size() < 13) return -1;
  return (std::stod(values[11]) + std::stod(values[12])) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Time on a CPU of every thread of PID, in seconds, from the scheduler's
// nanosecond counters (finer than the clock ticks of CpuSeconds).
double RunSeconds(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = opendir(tasks.c_str());
  if (!dir) return -1;
  double total = 0;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream in(tasks + "/" + entry->d_name + "/schedstat");
    double ns = 0;
    if (in >> ns) total += ns * 1e-9;
  }
  closedir(dir);
  return total;
}

void Finish(Display& display, xcb_window_t window, const Child& child) {
  display.Close(window);
  for (int i = 0; i < 300; ++i) {
    int status = 0;
    if (waitpid(child.pid, &status, WNOHANG) == child.pid) {
      std::printf("exit_status %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
      return;
    }
    SleepSeconds(0.01);
  }
  kill(child.pid, SIGTERM);
  waitpid(child.pid, nullptr, 0);
  std::printf("exit_status killed\n");
}

void SelectRootMaps(Display& display) {
  const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(display.connection, display.Root(), XCB_CW_EVENT_MASK, &mask);
  display.Sync();
}

int Start(char** program, double idleSeconds) {
  Display display;
  SelectRootMaps(display);
  const Child child = Spawn(program);
  const auto found = WaitForWindow(display, child, 30);
  if (!found) {
    std::fprintf(stderr, "desktop_driver: %s showed no window\n", program[0]);
    kill(child.pid, SIGTERM);
    waitpid(child.pid, nullptr, 0);
    return 1;
  }
  std::printf("map_ms %.2f\n", (found->second - child.started) * 1e3);
  SleepSeconds(idleSeconds);
  std::printf("hwm_kb %s\n", StatusField(child.pid, "VmHWM").c_str());
  std::printf("rss_kb %s\n", StatusField(child.pid, "VmRSS").c_str());
  std::printf("threads %s\n", StatusField(child.pid, "Threads").c_str());
  std::fflush(stdout);
  Finish(display, found->first, child);
  return 0;
}

// The pointer's path: a triangle wave across the whole screen width, three
// pixels a step, drifting down and up a band of rows, so that every
// movement changes the position. The last two points are in the two
// known-colour windows.
std::pair<int, int> PathPoint(int i, int count, int width, int height) {
  if (i == count - 2) return {kStripeWidth / 2, height / 2};
  if (i == count - 1) return {width - kStripeWidth / 2, height / 2};
  const int span = (width - 1) / 3;
  const int step = i % (2 * span);
  const int x = 3 * (step < span ? step : 2 * span - step);
  const int band = height / 2;
  const int row = (i / 7) % (2 * band);
  const int y = height / 4 + (row < band ? row : 2 * band - row - 1);
  return {x, y};
}

int Pick(char** program, pid_t serverPid, int rate, double seconds, double scale) {
  // A point of the layout at the window's scale.
  const auto at = [scale](int layout) { return static_cast<int>(layout * scale + 0.5); };
  Display display;
  const int width = display.screen->width_in_pixels;
  const int height = display.screen->height_in_pixels;
  display.ColourWindow(0, 0, kStripeWidth, height, kColourA);
  display.ColourWindow(width - kStripeWidth, 0, kStripeWidth, height, kColourB);
  SelectRootMaps(display);
  // Counts are read from the file only when this run wrote it.
  const char* statsFile = std::getenv("TINCTORA_STATS");
  if (statsFile != nullptr) unlink(statsFile);
  const Child child = Spawn(program);
  const auto found = WaitForWindow(display, child, 30);
  if (!found) {
    std::fprintf(stderr, "desktop_driver: %s showed no window\n", program[0]);
    kill(child.pid, SIGTERM);
    waitpid(child.pid, nullptr, 0);
    return 1;
  }
  const xcb_window_t window = found->first;
  SleepSeconds(1.0);
  auto origin = Own(xcb_translate_coordinates_reply(
      display.connection, xcb_translate_coordinates(display.connection, window, display.Root(), 0, 0), nullptr));
  if (!origin) return 1;
  const int ox = origin->dst_x;
  const int oy = origin->dst_y;
  std::printf("client_origin %d,%d\n", ox, oy);

  display.Motion(ox + at(kPadX), oy + at(kPadY));
  SleepSeconds(0.1);
  display.Button(XCB_BUTTON_PRESS);
  SleepSeconds(0.5);

  const int count = static_cast<int>(rate * seconds);
  const double programCpu0 = CpuSeconds(child.pid);
  const double programRun0 = RunSeconds(child.pid);
  const double serverCpu0 = serverPid > 0 ? CpuSeconds(serverPid) : -1;
  const double serverRun0 = serverPid > 0 ? RunSeconds(serverPid) : -1;
  const double begin = Now();
  int late = 0;
  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  const long interval = 1000000000L / rate;
  for (int i = 0; i < count; ++i) {
    next.tv_nsec += interval;
    while (next.tv_nsec >= 1000000000L) {
      next.tv_nsec -= 1000000000L;
      ++next.tv_sec;
    }
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (now.tv_sec > next.tv_sec || (now.tv_sec == next.tv_sec && now.tv_nsec > next.tv_nsec)) {
      ++late;
    } else {
      while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR) {
      }
    }
    const auto [x, y] = PathPoint(i, count, width, height);
    display.Motion(x, y);
  }
  const double last = Now();

  // How long the window takes to show the last position's colour.
  auto waitFor = [&](int x, int y) -> double {
    while (Now() - last < 5.0) {
      if (display.PixelAt(x, y) == kColourB) return (Now() - last) * 1e3;
    }
    return -1;
  };
  const double previewMs = waitFor(ox + at(kPreviewX), oy + at(kPreviewY));
  const double zoomMs = waitFor(ox + at(kZoomX), oy + at(kZoomY));
  SleepSeconds(0.3);  // work the program does after the last movement counts too
  const double programCpu = CpuSeconds(child.pid) - programCpu0;
  const double programRun = RunSeconds(child.pid) - programRun0;
  const double serverCpu = serverPid > 0 ? CpuSeconds(serverPid) - serverCpu0 : -1;
  const double serverRun = serverPid > 0 ? RunSeconds(serverPid) - serverRun0 : -1;

  std::printf("movements %d\n", count);
  std::printf("send_seconds %.3f\n", last - begin);
  std::printf("late_sends %d\n", late);
  std::printf("program_cpu_us_per_move %.1f\n", programCpu * 1e6 / count);
  std::printf("program_run_us_per_move %.1f\n", programRun * 1e6 / count);
  if (serverPid > 0) {
    std::printf("server_cpu_us_per_move %.1f\n", serverCpu * 1e6 / count);
    std::printf("server_run_us_per_move %.1f\n", serverRun * 1e6 / count);
  }
  if (previewMs >= 0) {
    std::printf("preview_ms %.2f\n", previewMs);
  } else {
    std::printf("preview_ms never\n");
  }
  if (zoomMs >= 0) {
    std::printf("zoom_ms %.2f\n", zoomMs);
  } else {
    std::printf("zoom_ms never\n");
  }
  std::printf("hwm_kb %s\n", StatusField(child.pid, "VmHWM").c_str());

  display.Button(XCB_BUTTON_RELEASE);
  SleepSeconds(0.3);
  std::fflush(stdout);
  Finish(display, window, child);

  std::ifstream stats(statsFile ? statsFile : "");
  bool any = false;
  std::string key;
  long value = 0;
  while (stats >> key >> value) {
    if (key == "motion_received" || key == "motion_handled" || key == "screen_reads" || key == "server_reads") {
      std::printf("%s %ld\n", key.c_str(), value);
      any = true;
    }
  }
  if (!any) std::printf("motion_counts unavailable\n");
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: desktop_driver start [--idle MS] -- PROGRAM [ARG...]\n"
               "       desktop_driver pick [--server-pid PID] [--rate N] [--seconds S] [--scale P] -- PROGRAM [ARG...]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string mode = argv[1];
  double idle = 1.0;
  pid_t serverPid = -1;
  int rate = 1000;
  double seconds = 10;
  double scale = 1.0;
  int i = 2;
  for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return Usage();
    const char* value = argv[++i];
    if (option == "--idle") {
      idle = std::atof(value) / 1e3;
    } else if (option == "--server-pid") {
      serverPid = std::atoi(value);
    } else if (option == "--rate") {
      rate = std::max(1, std::atoi(value));
    } else if (option == "--seconds") {
      seconds = std::atof(value);
    } else if (option == "--scale") {
      scale = std::max(1.0, std::atof(value) / 100.0);
    } else {
      return Usage();
    }
  }
  if (i + 1 >= argc) return Usage();
  char** program = argv + i + 1;
  signal(SIGPIPE, SIG_IGN);
  if (mode == "start") return Start(program, idle);
  if (mode == "pick") return Pick(program, serverPid, rate, seconds, scale);
  return Usage();
}
