// Every output's picture through wlr-screencopy: bind the outputs, the
// shared-memory service and the screencopy manager; ask for one frame of
// each output; give each frame a shared-memory buffer of the size and format
// the compositor names; wait until every frame is ready or has failed.

#include "platform/qt/wayland/screencopy.h"

#include <QTransform>

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <wayland-client.h>

#include <chrono>
#include <cstring>
#include <memory>

#include "wlr-screencopy-unstable-v1-client-protocol.h"

namespace tinctora::qtb {

namespace {

struct Output {
  wl_output* output = nullptr;
  QString name;
  QPoint position;
  std::int32_t transform = WL_OUTPUT_TRANSFORM_NORMAL;
};

// One frame of one output, from the compositor's offer of a buffer to the
// copy's end.
struct Frame {
  Output* output = nullptr;
  zwlr_screencopy_frame_v1* frame = nullptr;
  wl_shm* shm = nullptr;
  std::uint32_t format = 0;
  std::uint32_t width = 0, height = 0, stride = 0;
  bool offered = false;
  bool copying = false;
  bool yInvert = false;
  bool done = false;
  bool failed = false;
  QString why;
  void* data = MAP_FAILED;
  std::size_t size = 0;
  wl_buffer* buffer = nullptr;

  ~Frame() {
    if (buffer != nullptr) wl_buffer_destroy(buffer);
    if (frame != nullptr) zwlr_screencopy_frame_v1_destroy(frame);
    if (data != MAP_FAILED) munmap(data, size);
  }
};

struct Globals {
  std::vector<std::unique_ptr<Output>> outputs;
  wl_shm* shm = nullptr;
  zwlr_screencopy_manager_v1* manager = nullptr;

  ~Globals() {
    for (const auto& o : outputs) {
      if (wl_output_get_version(o->output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
        wl_output_release(o->output);
      } else {
        wl_output_destroy(o->output);
      }
    }
    if (manager != nullptr) zwlr_screencopy_manager_v1_destroy(manager);
    if (shm != nullptr) wl_shm_destroy(shm);
  }
};

// ---- the outputs' descriptions

void OutputGeometry(void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t, std::int32_t,
                    const char*, const char*, std::int32_t transform) {
  auto* o = static_cast<Output*>(data);
  o->position = {x, y};
  o->transform = transform;
}
void OutputMode(void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {}
void OutputDone(void*, wl_output*) {}
void OutputScale(void*, wl_output*, std::int32_t) {}
void OutputName(void* data, wl_output*, const char* name) { static_cast<Output*>(data)->name = QString::fromUtf8(name); }
void OutputDescription(void*, wl_output*, const char*) {}
const wl_output_listener kOutputListener = {OutputGeometry, OutputMode,  OutputDone,
                                            OutputScale,    OutputName,  OutputDescription};

void Global(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
  auto* g = static_cast<Globals*>(data);
  if (std::strcmp(interface, wl_output_interface.name) == 0) {
    auto output = std::make_unique<Output>();
    output->output = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, std::min(version, 4u)));
    wl_output_add_listener(output->output, &kOutputListener, output.get());
    g->outputs.push_back(std::move(output));
  } else if (std::strcmp(interface, wl_shm_interface.name) == 0 && g->shm == nullptr) {
    g->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
  } else if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0 && g->manager == nullptr) {
    g->manager = static_cast<zwlr_screencopy_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_screencopy_manager_v1_interface, std::min(version, 3u)));
  }
}
void GlobalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistryListener = {Global, GlobalRemove};

// ---- a frame

// The formats a frame is taken in: 32 bits a pixel, in either byte order
// of the colours. The memory layout of each on a little-endian machine.
bool Readable(std::uint32_t format) {
  return format == WL_SHM_FORMAT_XRGB8888 || format == WL_SHM_FORMAT_ARGB8888 ||
         format == WL_SHM_FORMAT_XBGR8888 || format == WL_SHM_FORMAT_ABGR8888;
}

// Starts the copy into a new shared-memory buffer of the offered size.
void StartCopy(Frame& f) {
  if (f.copying || f.failed) return;
  f.copying = true;
  const std::uint64_t bytes = std::uint64_t{f.stride} * f.height;
  if (!f.offered || !Readable(f.format) || f.width == 0 || f.height == 0 || std::uint64_t{f.stride} < f.width * 4ull ||
      bytes > 0x7FFFFFFFu) {
    f.failed = true;
    f.why = QStringLiteral("the compositor offers no 32-bit shared-memory frame");
    return;
  }
  f.size = static_cast<std::size_t>(bytes);
  const int fd = memfd_create("tinctora-frame", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, static_cast<off_t>(f.size)) != 0) {
    if (fd >= 0) close(fd);
    f.failed = true;
    f.why = QStringLiteral("no shared memory for a frame");
    return;
  }
  f.data = mmap(nullptr, f.size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (f.data == MAP_FAILED) {
    close(fd);
    f.failed = true;
    f.why = QStringLiteral("no shared memory for a frame");
    return;
  }
  wl_shm_pool* pool = wl_shm_create_pool(f.shm, fd, static_cast<std::int32_t>(f.size));
  f.buffer = wl_shm_pool_create_buffer(pool, 0, static_cast<std::int32_t>(f.width), static_cast<std::int32_t>(f.height),
                                       static_cast<std::int32_t>(f.stride), f.format);
  wl_shm_pool_destroy(pool);
  close(fd);
  zwlr_screencopy_frame_v1_copy(f.frame, f.buffer);
}

void FrameBuffer(void* data, zwlr_screencopy_frame_v1* frame, std::uint32_t format, std::uint32_t width,
                 std::uint32_t height, std::uint32_t stride) {
  auto* f = static_cast<Frame*>(data);
  // The first readable offer is taken.
  if (!f->offered || (!Readable(f->format) && Readable(format))) {
    f->offered = true;
    f->format = format;
    f->width = width;
    f->height = height;
    f->stride = stride;
  }
  // Before version 3 the one offer is all there is.
  if (zwlr_screencopy_frame_v1_get_version(frame) < ZWLR_SCREENCOPY_FRAME_V1_BUFFER_DONE_SINCE_VERSION) StartCopy(*f);
}
void FrameFlags(void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) {
  static_cast<Frame*>(data)->yInvert = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
}
void FrameReady(void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {
  static_cast<Frame*>(data)->done = true;
}
void FrameFailed(void* data, zwlr_screencopy_frame_v1*) {
  auto* f = static_cast<Frame*>(data);
  f->failed = true;
  f->why = QStringLiteral("the compositor could not copy an output");
}
void FrameDamage(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void FrameDmabuf(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {}
void FrameBufferDone(void* data, zwlr_screencopy_frame_v1*) { StartCopy(*static_cast<Frame*>(data)); }
const zwlr_screencopy_frame_v1_listener kFrameListener = {FrameBuffer, FrameFlags,  FrameReady,     FrameFailed,
                                                          FrameDamage, FrameDmabuf, FrameBufferDone};

// The copied frame, in a picture of its own: the shared memory goes with
// the frame. (Converting to the format it has already would only share it.)
QImage CopyOfFrame(const Frame& f) {
  const bool rgbOrder = f.format == WL_SHM_FORMAT_XBGR8888 || f.format == WL_SHM_FORMAT_ABGR8888;
  const QImage shared(static_cast<const uchar*>(f.data), static_cast<int>(f.width), static_cast<int>(f.height),
                      static_cast<qsizetype>(f.stride), rgbOrder ? QImage::Format_RGBX8888 : QImage::Format_RGB32);
  return rgbOrder ? shared.convertToFormat(QImage::Format_RGB32) : shared.copy();
}

struct CloseDisplay {
  void operator()(wl_display* d) const { wl_display_disconnect(d); }
};

}  // namespace

QImage Upright(QImage picture, bool yInvert, int transform) {
  if (yInvert) picture = picture.mirrored(false, true);
  if (transform == WL_OUTPUT_TRANSFORM_NORMAL) return picture;
  // The output turns its buffer by 90 degrees a step counter-clockwise
  // (after mirroring it, for the flipped ones); shown, the picture is turned
  // back clockwise, then mirrored back. (Checked against grim's pictures of
  // every transform.)
  const int quarterTurns = transform % 4;
  if (quarterTurns != 0) picture = picture.transformed(QTransform().rotate(90.0 * quarterTurns));
  if (transform >= WL_OUTPUT_TRANSFORM_FLIPPED) picture = picture.mirrored(true, false);
  return picture;
}

OutputPictures CaptureOutputs(int timeoutMs) {
  OutputPictures result;
  std::unique_ptr<wl_display, CloseDisplay> display(wl_display_connect(nullptr));
  if (!display) {
    result.why = QStringLiteral("no Wayland display to connect to");
    return result;
  }
  Globals globals;
  wl_registry* registry = wl_display_get_registry(display.get());
  wl_registry_add_listener(registry, &kRegistryListener, &globals);
  // The globals, then the outputs' descriptions.
  const bool described = wl_display_roundtrip(display.get()) >= 0 && wl_display_roundtrip(display.get()) >= 0;
  wl_registry_destroy(registry);
  if (!described) {
    result.why = QStringLiteral("the Wayland connection failed");
    return result;
  }
  if (globals.manager == nullptr || globals.shm == nullptr) {
    result.why = QStringLiteral("the compositor offers no screencopy");
    result.unavailable = true;
    return result;
  }
  if (globals.outputs.empty()) {
    result.why = QStringLiteral("the compositor has no outputs");
    return result;
  }
  std::vector<std::unique_ptr<Frame>> frames;
  for (const auto& output : globals.outputs) {
    auto f = std::make_unique<Frame>();
    f->output = output.get();
    f->shm = globals.shm;
    f->frame = zwlr_screencopy_manager_v1_capture_output(globals.manager, 0, output->output);
    zwlr_screencopy_frame_v1_add_listener(f->frame, &kFrameListener, f.get());
    frames.push_back(std::move(f));
  }
  const auto finished = [&frames] {
    for (const auto& f : frames) {
      if (!f->done && !f->failed) return false;
    }
    return true;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  wl_display* d = display.get();
  while (!finished()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) {
      result.why = QStringLiteral("the compositor did not copy the outputs in time");
      return result;
    }
    while (wl_display_prepare_read(d) != 0) {
      if (wl_display_dispatch_pending(d) < 0) break;
    }
    wl_display_flush(d);
    pollfd p{wl_display_get_fd(d), POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) > 0) {
      if (wl_display_read_events(d) < 0) break;
    } else {
      wl_display_cancel_read(d);
    }
    if (wl_display_dispatch_pending(d) < 0) break;
  }
  if (!finished()) {
    result.why = QStringLiteral("the Wayland connection failed");
    return result;
  }
  for (const auto& f : frames) {
    if (f->failed) {
      result.why = f->why;
      result.outputs.clear();
      return result;
    }
    result.outputs.push_back({f->output->name, f->output->position, Upright(CopyOfFrame(*f), f->yInvert, f->output->transform)});
  }
  return result;
}

}  // namespace tinctora::qtb
