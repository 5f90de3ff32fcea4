// Calls the Qt backend's portal requests on the session bus and prints
// what came back, for portal_check.sh.
//
//   portal_probe screenshot [--times N] [X,Y ...]
//       "picture WxH", then "pixel X,Y RRGGBB" for each point, then
//       "ms T" (request to picture); N times over with --times
//   portal_probe colour
//       "colour RRGGBB", "ms T"
//   portal_probe abandon MS
//       a screenshot whose context object is destroyed MS milliseconds
//       after the request; prints "no answer" when the callback never ran
//       in the second that follows, else what it was given
//
// A request that fails prints "failed: REASON" and exits 1.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <optional>

#include "platform/qt/wayland/portal.h"

namespace {

using tinctora::qtb::RequestPortalColour;
using tinctora::qtb::RequestPortalScreenshot;

void Print(const QString& line) {
  std::printf("%s\n", line.toUtf8().constData());
  std::fflush(stdout);
}

QString Hex(QRgb rgb) {
  return QStringLiteral("%1").arg(rgb & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
}

struct Screenshots {
  int left = 1;
  QStringList points;
  QObject context;
  QElapsedTimer clock;

  void Next() {
    clock.start();
    RequestPortalScreenshot(&context, [this](const QImage& picture, const QString& why) {
      const qint64 ms = clock.elapsed();
      if (picture.isNull()) {
        Print(QStringLiteral("failed: ") + why);
        QCoreApplication::exit(1);
        return;
      }
      Print(QStringLiteral("picture %1x%2").arg(picture.width()).arg(picture.height()));
      for (const QString& point : points) {
        const QStringList xy = point.split(u',');
        const int x = xy.value(0).toInt(), y = xy.value(1).toInt();
        const QString colour = picture.valid(x, y) ? Hex(picture.pixel(x, y)) : QStringLiteral("outside");
        Print(QStringLiteral("pixel %1,%2 %3").arg(x).arg(y).arg(colour));
      }
      Print(QStringLiteral("ms %1").arg(ms));
      if (--left > 0) {
        Next();
      } else {
        QCoreApplication::exit(0);
      }
    });
  }
};

int Usage() {
  std::fprintf(stderr, "usage: portal_probe screenshot [--times N] [X,Y ...] | colour | abandon MS\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);
  if (args.isEmpty()) return Usage();
  const QString mode = args.takeFirst();

  if (mode == QStringLiteral("screenshot")) {
    Screenshots shots;
    if (args.value(0) == QStringLiteral("--times")) {
      shots.left = args.value(1).toInt();
      args = args.mid(2);
      if (shots.left < 1) return Usage();
    }
    shots.points = args;
    shots.Next();
    return app.exec();
  }

  if (mode == QStringLiteral("colour")) {
    QObject context;
    QElapsedTimer clock;
    clock.start();
    RequestPortalColour(&context, [&clock](std::optional<QColor> colour, const QString& why) {
      if (!colour) {
        Print(QStringLiteral("failed: ") + why);
        QCoreApplication::exit(1);
        return;
      }
      Print(QStringLiteral("colour ") + Hex(colour->rgb()));
      Print(QStringLiteral("ms %1").arg(clock.elapsed()));
      QCoreApplication::exit(0);
    });
    return app.exec();
  }

  if (mode == QStringLiteral("abandon") && args.size() == 1) {
    auto context = std::make_unique<QObject>();
    QString answer;
    RequestPortalScreenshot(context.get(), [&answer](const QImage& picture, const QString& why) {
      answer = picture.isNull() ? QStringLiteral("failed: ") + why : QStringLiteral("a picture");
    });
    QTimer::singleShot(args[0].toInt(), [&context] { context.reset(); });
    QTimer::singleShot(args[0].toInt() + 1000, [&answer] {
      Print(answer.isEmpty() ? QStringLiteral("no answer") : answer);
      QCoreApplication::exit(0);
    });
    return app.exec();
  }
  return Usage();
}
