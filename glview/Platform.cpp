#include "Platform.h"

#include <GL/gl.h>
#include <QApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QRegularExpression>
#include <QSurfaceFormat>
#include <cstdio>
#include <cstdlib>
#include <vector>

const char* const kNoScreenAdvice =
    "Start it in an X11 or Wayland desktop session with a working OpenGL driver (on Debian: libgl1-mesa-dri), "
    "or draw pictures without a screen under a private X server: "
    "xvfb-run -a terrain-viewer --screenshot out.png";

namespace {

// A message Qt logged while it was being watched, kept to be passed on or reported.
struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};

// The watch over Qt's messages: one at a time, from the start to the end of one step of
// start-up (opening the platform, probing the context). Qt's handler is a plain function,
// so its state is here.
struct MessageWatch {
    std::vector<HeldMessage> held;
    QtMessageHandler previous = nullptr;
    bool exitOnFatal = false;
};
MessageWatch watch;

// The messages held, one line each, categories named as Qt names them ("qt.qpa.xcb: ...").
QString heldText()
{
    QStringList lines;
    for (const HeldMessage& message : watch.held) {
        const bool named = !message.category.isEmpty() && message.category != "default";
        lines << (named ? QString::fromLatin1(message.category) + QStringLiteral(": ") : QString()) + message.text;
    }
    return lines.join(QStringLiteral("; "));
}

void holdMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg && watch.exitOnFatal) {
        // Qt would abort after this handler; the held messages name the platforms it tried.
        const QString reason = watch.held.empty() ? text.section(QLatin1Char('\n'), 0, 0) : heldText();
        std::fprintf(stderr, "terrain-viewer: cannot open a window: %s\nterrain-viewer: %s\n", qPrintable(reason),
                     kNoScreenAdvice);
        std::fflush(stderr);
        std::_Exit(1);
    }
    watch.held.push_back({type, QByteArray(context.category), text});
}

void startWatch(bool exitOnFatal)
{
    watch.held.clear();
    watch.exitOnFatal = exitOnFatal;
    watch.previous = qInstallMessageHandler(holdMessage);
}

// Ends the watch; with passOn, the held messages go to Qt's handler as they would have.
void endWatch(bool passOn)
{
    qInstallMessageHandler(watch.previous);
    if (passOn) {
        for (const HeldMessage& message : watch.held) {
            const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
            qt_message_output(message.type, context, message.text);
        }
    }
    watch.held.clear();
}

// "4.5 (Compatibility Profile) Mesa 22.3.6" -> 4 * 100 + 5; -1 when there is no version.
int versionNumber(const char* version)
{
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^(\\d+)\\.(\\d+)")).match(QString::fromLatin1(version ? version : ""));
    return match.hasMatch() ? match.captured(1).toInt() * 100 + match.captured(2).toInt() : -1;
}

} // namespace

std::optional<QString> missingDisplay()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return std::nullopt;
    return QStringLiteral(
               "no display to open the window on: neither X11 (DISPLAY) nor Wayland (WAYLAND_DISPLAY) "
               "is set, and QT_QPA_PLATFORM names no other platform.\nterrain-viewer: ") +
           QLatin1String(kNoScreenAdvice);
}

std::unique_ptr<QApplication> openApplication(int& argc, char** argv)
{
    startWatch(true);
    auto application = std::make_unique<QApplication>(argc, argv);
    endWatch(true);
    return application;
}

std::optional<QString> missingOpenGl(const QSurfaceFormat& format)
{
    // The platform says why a context failed in a warning of its own; it is held for the
    // message instead of being printed on its own.
    startWatch(false);
    QOffscreenSurface surface;
    surface.setFormat(format);
    surface.create();
    QOpenGLContext context;
    context.setFormat(format);
    QString failure;
    if (!context.create()) {
        failure = QStringLiteral("the platform '%1' could make no OpenGL context").arg(QGuiApplication::platformName());
    } else if (!surface.isValid() || !context.makeCurrent(&surface)) {
        failure = QStringLiteral("the OpenGL context of the platform '%1' could not be made current")
                      .arg(QGuiApplication::platformName());
    } else {
        const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        if (versionNumber(version) < 101)
            failure = QStringLiteral("the OpenGL context has version '%1'").arg(QString::fromLatin1(version));
        context.doneCurrent();
    }
    const QString platformSays = heldText();
    endWatch(failure.isEmpty());
    if (failure.isEmpty())
        return std::nullopt;
    return QStringLiteral("needs OpenGL 1.1 with GLU: ") + (platformSays.isEmpty() ? failure : platformSays) +
           QStringLiteral("\nterrain-viewer: ") + QLatin1String(kNoScreenAdvice);
}

bool waylandPlatform()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}
