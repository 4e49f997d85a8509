// terrain-clockrate: runs the viewer's real window with its own timers at a given size and
// prints, as one JSON line per measurement, how many simulated hours pass per real second and
// how many frames a second are drawn meanwhile, first at the normal rate and then with P held.
//
//   terrain-clockrate [--size WxH] [--seconds S]
//
// The nominal rates are 0.5 hours a second (100 ticks of 0.005 hours) and 20.5 with P.

#include "AllocatorTuning.h"
#include "GlPanel.h"
#include "GlView.h"
#include "KeyCodes.h"
#include "MainForm.h"
#include "TerrainPath.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>

namespace {

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double simulatedHours(const TForm1& form)
{
    return double(form.world.day) * double(form.world.hoursPerDay) + double(form.world.hour);
}

void measure(TForm1& form, const char* label, int seconds)
{
    int frames = 0;
    const QMetaObject::Connection counter = QObject::connect(&form, &TForm1::frameDrawn, [&frames] { ++frames; });
    const double hoursBefore = simulatedHours(form);
    QElapsedTimer clock;
    clock.start();
    runFor(seconds * 1000);
    const double realSeconds = clock.nsecsElapsed() * 1e-9;
    const double hours = simulatedHours(form) - hoursBefore;
    QObject::disconnect(counter);
    std::printf("{\"size\":\"%dx%d\",\"keys\":\"%s\",\"seconds\":%.3f,\"fps\":%.1f,\"hoursPerSecond\":%.4f}\n",
                form.Panel1->width(), form.Panel1->height(), label, realSeconds, frames / realSeconds,
                hours / realSeconds);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    tuneAllocatorForDrawing();
    QSurfaceFormat::setDefaultFormat(viewSurfaceFormat());
    QApplication application(argc, argv);
    QSize size(1012, 614);
    int seconds = 10;
    const QStringList arguments = QApplication::arguments();
    for (int i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == QLatin1String("--size")) {
            const QStringList parts = arguments[i + 1].split(QLatin1Char('x'));
            if (parts.size() == 2)
                size = QSize(parts[0].toInt(), parts[1].toInt());
        } else if (arguments[i] == QLatin1String("--seconds")) {
            seconds = qMax(1, arguments[i + 1].toInt());
        }
    }
    TForm1 form;
    form.showError = [](const QString& message) {
        std::fprintf(stderr, "terrain-clockrate: %s\n", qPrintable(message));
    };
    form.resize(size);
    form.show();
    if (!form.started()) {
        std::fprintf(stderr, "terrain-clockrate: the window did not start\n");
        return 1;
    }
    runFor(2000); // warm-up: the first frames fault in the terrain's arrays
    measure(form, "none", seconds);
    form.KeyState[vk::letter('P')] = true;
    measure(form, "P", seconds);
    return 0;
}
