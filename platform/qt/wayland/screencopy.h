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
};

// Takes one picture of every output, without the pointer, waiting at most
// `timeoutMs` for the compositor.
OutputPictures CaptureOutputs(int timeoutMs = 2000);

}  // namespace tinctora::qtb
