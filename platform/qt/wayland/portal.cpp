// The desktop portal's Screenshot and PickColor on Qt D-Bus.
//
// A portal call answers at once with the path of a Request object; the
// result comes later in that object's Response signal (code 0 with the
// results, 1 when the user cancelled, 2 otherwise). Since the portal's
// version 0.9 the path is known in advance, built from the caller's unique
// bus name and the handle_token option, so the signal is subscribed to
// before the call and a quick answer cannot be missed. An older portal may
// name another path in its reply; the subscription then moves there.
//
// The picture: the portal answers with a file:// URI. Its documentation
// says only that the screenshot is made accessible to the application; it
// hands no ownership to the caller, and the file may be the user's own
// (GNOME's portal saves into the user's pictures folder), so it is read
// and left where it is.

#include "platform/qt/wayland/portal.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QObject>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>

#include <algorithm>
#include <utility>

namespace tinctora::qtb {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kScreenshotInterface = QStringLiteral("org.freedesktop.portal.Screenshot");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString kResponse = QStringLiteral("Response");
// The reasons that say the desktop has no portal to ask at all.
const QString kNoBus = QStringLiteral("no session bus to reach the desktop portal on");
const QString kNoPortal = QStringLiteral("no desktop portal on the session bus");
const QString kNotOffered = QStringLiteral("the desktop portal offers no ");
// The first use on GNOME or KDE asks the user whether the program may take
// screenshots; the answer must have time to come.
constexpr int kAnswerTimeoutMs = 30000;

// The Request object path the portal will use for this connection and token.
QString ExpectedHandle(const QDBusConnection& bus, const QString& token) {
  QString sender = bus.baseService();
  if (sender.startsWith(u':')) sender.remove(0, 1);
  sender.replace(u'.', u'_');
  return kPath + QStringLiteral("/request/") + sender + u'/' + token;
}

// One call to the portal and the wait for its Response. It is a child of
// the caller's context object: destroyed with it, it never reports.
class PortalRequest final : public QObject {
  Q_OBJECT

 public:
  // Either `failure` is empty and `code` and `results` are the portal's
  // answer, or `failure` says why there is none.
  using Finish = std::function<void(uint code, const QVariantMap& results, const QString& failure)>;

  PortalRequest(QObject* context, const QString& method, const QString& offers, Finish finish)
      : QObject(context), bus_(QDBusConnection::sessionBus()), finish_(std::move(finish)) {
    if (!bus_.isConnected()) {
      // The answer comes from the event loop, never inside the caller's call.
      QTimer::singleShot(0, this,
                         [this] { Report(0, {}, kNoBus); });
      return;
    }
    const QString token = QStringLiteral("tinctora%1").arg(QRandomGenerator::global()->generate());
    Subscribe(ExpectedHandle(bus_, token));

    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kScreenshotInterface, method);
    QVariantMap options{{QStringLiteral("handle_token"), token}};
    // The whole screen at once, with no dialog to frame it.
    if (method == QStringLiteral("Screenshot")) options.insert(QStringLiteral("interactive"), false);
    call << QString() << options;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kAnswerTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, offers](QDBusPendingCallWatcher* w) {
      w->deleteLater();
      OnCallReply(*w, offers);
    });

    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] {
      CloseOnPortal();
      Report(0, {}, NoAnswer());
    });
    timer_.start(kAnswerTimeoutMs);
  }

  ~PortalRequest() override {
    // Abandoned with its context: the portal may end whatever it shows.
    if (!finished_) CloseOnPortal();
    Unsubscribe();
  }

 private Q_SLOTS:
  void OnResponse(uint code, const QVariantMap& results) {
    if (finished_) return;
    Report(code, results, QString());
  }

 private:
  void Subscribe(const QString& handle) {
    handle_ = handle;
    subscribed_ = bus_.connect(kService, handle_, kRequestInterface, kResponse, this,
                               SLOT(OnResponse(uint, QVariantMap)));
  }

  void Unsubscribe() {
    if (subscribed_) {
      bus_.disconnect(kService, handle_, kRequestInterface, kResponse, this, SLOT(OnResponse(uint, QVariantMap)));
    }
    subscribed_ = false;
  }

  void OnCallReply(const QDBusPendingCallWatcher& call, const QString& offers) {
    if (finished_) return;
    QDBusPendingReply<QDBusObjectPath> reply = call;
    if (reply.isError()) {
      Report(0, {}, CallFailure(reply.error(), offers));
      return;
    }
    const QString handle = reply.value().path();
    if (handle != handle_) {
      Unsubscribe();
      Subscribe(handle);
    }
    if (!subscribed_) Report(0, {}, QStringLiteral("cannot receive the desktop portal's answer"));
  }

  static QString CallFailure(const QDBusError& error, const QString& offers) {
    switch (error.type()) {
      case QDBusError::ServiceUnknown:
        return kNoPortal;
      case QDBusError::UnknownInterface:
      case QDBusError::UnknownMethod:
      case QDBusError::UnknownObject:
        return kNotOffered + offers;
      case QDBusError::NoReply:
      case QDBusError::Timeout:
      case QDBusError::TimedOut:
        return NoAnswer();
      default:
        return QStringLiteral("the desktop portal failed: %1").arg(error.message());
    }
  }

  void CloseOnPortal() {
    if (handle_.isEmpty() || !bus_.isConnected()) return;
    bus_.send(QDBusMessage::createMethodCall(kService, handle_, kRequestInterface, QStringLiteral("Close")));
  }

  static QString NoAnswer() {
    return QStringLiteral("the desktop portal did not answer within %1 s").arg(kAnswerTimeoutMs / 1000);
  }

  void Report(uint code, const QVariantMap& results, const QString& failure) {
    if (finished_) return;
    finished_ = true;
    timer_.stop();
    Unsubscribe();
    Finish finish = std::move(finish_);
    deleteLater();
    finish(code, results, failure);
  }

  QDBusConnection bus_;
  Finish finish_;
  QString handle_;
  QTimer timer_;
  bool subscribed_ = false;
  bool finished_ = false;
};

// The reason for a response other than success, in plain English.
QString RefusalReason(uint code, const QString& what) {
  switch (code) {
    case 1:
      return QStringLiteral("the user cancelled %1").arg(what);
    case 2:
      return QStringLiteral("the desktop portal refused or could not complete %1").arg(what);
    default:
      return QStringLiteral("the desktop portal ended %1 with the unknown code %2").arg(what).arg(code);
  }
}

// The portal's (ddd) colour: sRGB channels from 0 to 1.
std::optional<QColor> ColourFrom(const QVariant& value) {
  if (!value.canConvert<QDBusArgument>()) return std::nullopt;
  const auto argument = value.value<QDBusArgument>();
  if (argument.currentSignature() != QStringLiteral("(ddd)")) return std::nullopt;
  double channels[3] = {};
  argument.beginStructure();
  argument >> channels[0] >> channels[1] >> channels[2];
  argument.endStructure();
  for (double& c : channels) {
    if (!(c >= 0.0)) c = 0.0;  // NaN as well
    c = std::min(c, 1.0);
  }
  return QColor::fromRgbF(float(channels[0]), float(channels[1]), float(channels[2]));
}

}  // namespace

bool PortalUnavailable(const QString& why) {
  return why == kNoBus || why == kNoPortal || why.startsWith(kNotOffered);
}

void RequestPortalScreenshot(QObject* context, std::function<void(const QImage& picture, const QString& why)> done) {
  auto finish = [done = std::move(done)](uint code, const QVariantMap& results, const QString& failure) {
    if (!failure.isEmpty()) return done(QImage(), failure);
    if (code != 0) return done(QImage(), RefusalReason(code, QStringLiteral("the screenshot")));
    const QString uri = results.value(QStringLiteral("uri")).toString();
    if (uri.isEmpty()) return done(QImage(), QStringLiteral("the desktop portal returned no picture"));
    const QUrl url(uri);
    if (!url.isLocalFile()) {
      return done(QImage(), QStringLiteral("the desktop portal's picture is not a local file: %1").arg(uri));
    }
    const QImage picture(url.toLocalFile());
    if (picture.isNull()) {
      return done(QImage(), QStringLiteral("cannot read the desktop portal's picture %1").arg(url.toLocalFile()));
    }
    done(picture, QString());
  };
  new PortalRequest(context, QStringLiteral("Screenshot"), QStringLiteral("screenshots"), std::move(finish));
}

void RequestPortalColour(QObject* context, std::function<void(std::optional<QColor> colour, const QString& why)> done) {
  new PortalRequest(context, QStringLiteral("PickColor"), QStringLiteral("colour picking"),
                    [done = std::move(done)](uint code, const QVariantMap& results, const QString& failure) {
                      if (!failure.isEmpty()) return done(std::nullopt, failure);
                      if (code != 0) return done(std::nullopt, RefusalReason(code, QStringLiteral("the colour pick")));
                      const auto colour = ColourFrom(results.value(QStringLiteral("color")));
                      if (!colour) return done(std::nullopt, QStringLiteral("the desktop portal returned no colour"));
                      done(colour, QString());
                    });
}

}  // namespace tinctora::qtb

#include "portal.moc"
