// A stand-in for the desktop portal's Screenshot interface, for
// portal_check.sh: it owns org.freedesktop.portal.Desktop on the session
// bus and answers as a portal does, through a Request object's Response
// signal.
//
//   portal_stand_in [--picture FILE | --grim] [--colour RRGGBB] [--refuse]
//                   [--delay MS] [--answer-first] [--legacy-handle] [--dir DIR]
//
//   --picture FILE   Screenshot answers with a PNG written from FILE
//   --grim           Screenshot answers with grim's capture of the outputs
//   --colour RRGGBB  PickColor answers with this colour
//   --refuse         both answer with code 1 (the user cancelled)
//   --delay MS       the Response comes MS milliseconds after the call
//   --answer-first   the Response is sent before the call's reply
//   --legacy-handle  the handle_token is ignored and the Request object
//                    named by a path of the stand-in's own, as portals
//                    before version 0.9 did
//   --dir DIR        where the pictures are written (default: the
//                    system's temporary folder)
//
// Each call is logged to standard error as "METHOD KEY=VALUE..." (its
// options); "ready" goes to standard output once the name is owned.

#include <QColor>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <cstdio>

namespace {

struct Settings {
  QString picture;
  bool grim = false;
  QColor colour;
  bool refuse = false;
  int delayMs = 0;
  bool answerFirst = false;
  bool legacyHandle = false;
  QString dir = QDir::tempPath();
};

void Log(const QString& line) {
  std::fprintf(stderr, "%s\n", line.toUtf8().constData());
  std::fflush(stderr);
}

class StandIn final : public QObject {
  Q_OBJECT

 public:
  explicit StandIn(Settings settings) : settings_(std::move(settings)) {}

 public Q_SLOTS:
  QDBusObjectPath Screenshot(const QString& parentWindow, const QVariantMap& options, const QDBusMessage& call) {
    LogCall(QStringLiteral("Screenshot"), options);
    const QString handle = Handle(call, options);
    Answer(handle, [this] { return TakePicture(); });
    return QDBusObjectPath(handle);
  }

  QDBusObjectPath PickColor(const QString& parentWindow, const QVariantMap& options, const QDBusMessage& call) {
    LogCall(QStringLiteral("PickColor"), options);
    const QString handle = Handle(call, options);
    Answer(handle, [this] {
      QVariantMap results;
      if (settings_.colour.isValid()) {
        QDBusArgument rgb;
        rgb.beginStructure();
        rgb << settings_.colour.redF() << settings_.colour.greenF() << settings_.colour.blueF();
        rgb.endStructure();
        results.insert(QStringLiteral("color"), QVariant::fromValue(rgb));
      }
      return results;
    });
    return QDBusObjectPath(handle);
  }

 private:
  static void LogCall(const QString& method, const QVariantMap& options) {
    QStringList words{method};
    for (auto it = options.begin(); it != options.end(); ++it) words << it.key() + u'=' + it.value().toString();
    Log(words.join(u' '));
  }

  QString Handle(const QDBusMessage& call, const QVariantMap& options) {
    if (settings_.legacyHandle) {
      return QStringLiteral("/org/freedesktop/portal/desktop/request/stand_in/%1").arg(++requests_);
    }
    QString sender = call.service().mid(1);
    sender.replace(u'.', u'_');
    return QStringLiteral("/org/freedesktop/portal/desktop/request/") + sender + u'/' +
           options.value(QStringLiteral("handle_token")).toString();
  }

  // Sends the Response on HANDLE with what RESULTS makes, or code 1 when
  // refusing.
  template <typename Results>
  void Answer(const QString& handle, Results results) {
    auto send = [this, handle, results] {
      QDBusMessage response = QDBusMessage::createSignal(handle, QStringLiteral("org.freedesktop.portal.Request"),
                                                         QStringLiteral("Response"));
      const QVariantMap answer = settings_.refuse ? QVariantMap() : results();
      response << uint(settings_.refuse ? 1 : answer.isEmpty() ? 2 : 0) << answer;
      QDBusConnection::sessionBus().send(response);
    };
    if (settings_.answerFirst) {
      send();
    } else {
      QTimer::singleShot(settings_.delayMs, this, send);
    }
  }

  QVariantMap TakePicture() {
    const QString file = QDir(settings_.dir).filePath(QStringLiteral("stand-in-%1.png").arg(++pictures_));
    if (settings_.grim) {
      if (QProcess::execute(QStringLiteral("grim"), {file}) != 0) {
        Log(QStringLiteral("grim failed"));
        return {};
      }
    } else if (!QImage(settings_.picture).save(file, "PNG")) {
      Log(QStringLiteral("cannot write %1 from %2").arg(file, settings_.picture));
      return {};
    }
    return {{QStringLiteral("uri"), QStringLiteral("file://") + file}};
  }

  Settings settings_;
  int requests_ = 0;
  int pictures_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  Settings settings;
  const QStringList args = app.arguments();
  for (int i = 1; i < args.size(); ++i) {
    const QString& a = args[i];
    const QString next = args.value(i + 1);
    if (a == QStringLiteral("--picture")) {
      settings.picture = next, ++i;
    } else if (a == QStringLiteral("--grim")) {
      settings.grim = true;
    } else if (a == QStringLiteral("--colour")) {
      settings.colour = QColor(u'#' + next), ++i;
    } else if (a == QStringLiteral("--refuse")) {
      settings.refuse = true;
    } else if (a == QStringLiteral("--delay")) {
      settings.delayMs = next.toInt(), ++i;
    } else if (a == QStringLiteral("--answer-first")) {
      settings.answerFirst = true;
    } else if (a == QStringLiteral("--legacy-handle")) {
      settings.legacyHandle = true;
    } else if (a == QStringLiteral("--dir")) {
      settings.dir = next, ++i;
    } else {
      Log(QStringLiteral("unknown argument ") + a);
      return 2;
    }
  }

  QDBusConnection bus = QDBusConnection::sessionBus();
  StandIn standIn(settings);
  if (!bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"),
                          QStringLiteral("org.freedesktop.portal.Screenshot"), &standIn,
                          QDBusConnection::ExportAllSlots)) {
    Log(QStringLiteral("cannot register the portal object: ") + bus.lastError().message());
    return 1;
  }
  if (!bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"))) {
    Log(QStringLiteral("cannot own org.freedesktop.portal.Desktop: ") + bus.lastError().message());
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  return app.exec();
}

#include "portal_stand_in.moc"
