#pragma once

// The desktop portal's Screenshot interface, for Wayland desktops whose
// compositor offers no screencopy of its own (GNOME, KDE): the frozen
// picture a pick samples from, or one colour from the desktop's own picker.
// Both calls are asynchronous and never block the event loop.

#include <QColor>
#include <QImage>
#include <QString>

#include <functional>
#include <optional>

class QObject;

namespace tinctora::qtb {

// A request to the desktop portal (org.freedesktop.portal.Desktop on the session bus).
// `done` runs once, on the Qt event loop: with the picture, or with a null picture and a short
// reason in plain English (no portal on the bus, the user refused, the portal's error, time out).
void RequestPortalScreenshot(QObject* context, std::function<void(const QImage& picture, const QString& why)> done);
// Whether a reason `done` gave says the desktop has no such portal at all
// (no session bus, no portal, or a portal without the interface), rather
// than a refusal, an error or no answer.
bool PortalUnavailable(const QString& why);
// The portal's PickColor: the user picks one colour with the desktop's own picker.
void RequestPortalColour(QObject* context, std::function<void(std::optional<QColor> colour, const QString& why)> done);

}  // namespace tinctora::qtb
