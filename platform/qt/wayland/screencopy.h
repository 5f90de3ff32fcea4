#pragma once

// Pictures of every output of a Wayland compositor, taken once each through
// the wlr-screencopy protocol on a connection of their own (the toolkit's
// connection keeps its own event queue and threads out of it).

#include <QImage>
#include <QPoint>
#include <QString>

#include <vector>

namespace tinctora::qtb {

// One output as it was when the picture was taken: the compositor's name of
// it, its place in the compositor's logical layout, and its picture in
// physical pixels, upright as the output shows it.
struct OutputPicture {
  QString name;
  QPoint logicalPosition;
  QImage picture;  // Format_RGB32
};

struct OutputPictures {
  std::vector<OutputPicture> outputs;
  // Why there are none: no Wayland display, no screencopy, a failed copy.
  QString why;
  // The compositor offers no screencopy at all (a later try would fail too).
  bool unavailable = false;
};

// A frame's picture as its output shows it: rows in order (`yInvert`, the
// frame's flag) and the output's transform (wl_output's, 0 to 7) undone.
QImage Upright(QImage picture, bool yInvert, int transform);

// Takes one picture of every output, without the pointer, waiting at most
// `timeoutMs` for the compositor.
OutputPictures CaptureOutputs(int timeoutMs = 2000);

}  // namespace tinctora::qtb
