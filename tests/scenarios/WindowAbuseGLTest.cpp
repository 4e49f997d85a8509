// The window treated roughly: shrunk to nothing and back, minimised and restored, resized a
// thousand times in quick succession, and closed or destroyed at awkward moments (while it
// starts, while an error box is open). The projection must follow the panel's size, the
// frames must go on, and nothing may crash. (Destroying it under its own error box is
// WindowAbuseDestroyGLTest, a process of its own.)

#include "GlChecks.h"
#include "GlView.h"
#include "StartedForm.h"
#include "Texture.h"

#include <GL/gl.h>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWindow>
#include <cmath>
#include <random>

// WindowAbuseX11.cpp
bool pressCloseBox(QWidget* window);

namespace {

constexpr double kFieldOfViewDegrees = 45.0;
constexpr double kNear = double(0.1f); // as the view passes it: the single-precision 0.1
constexpr double kFar = 50.0;

// The perspective projection of a field of view fovy and the given aspect, written out:
// cot(fovy/2) on the diagonal (divided by the aspect for x) and the depth terms of near and far.
void expectedPerspective(double aspect, double m[16])
{
    const double f = 1.0 / std::tan(kFieldOfViewDegrees * 0.5 * 3.141592653589793 / 180.0);
    std::fill(m, m + 16, 0.0);
    m[0] = f / aspect;
    m[5] = f;
    m[10] = (kFar + kNear) / (kNear - kFar);
    m[11] = -1.0;
    m[14] = 2.0 * kFar * kNear / (kNear - kFar);
}

// Draws one frame and compares the projection and the viewport GL holds with the panel's size.
// Returns an empty string when they agree, else what differs.
QString projectionMismatch(TForm1& form)
{
    form.Panel1->makeCurrent();
    form.TimerForDrawingTimer();
    const qreal ratio = form.Panel1->devicePixelRatioF();
    const int width = int(std::lround(form.Panel1->width() * ratio));
    const int height = int(std::lround(form.Panel1->height() * ratio));
    if (width <= 0 || height <= 0)
        return QStringLiteral("the panel is %1 x %2").arg(width).arg(height);

    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (viewport[0] != 0 || viewport[1] != 0 || viewport[2] != width || viewport[3] != height)
        return QStringLiteral("viewport %1 %2 %3 %4 for a panel of %5 x %6")
            .arg(viewport[0])
            .arg(viewport[1])
            .arg(viewport[2])
            .arg(viewport[3])
            .arg(width)
            .arg(height);

    GLfloat actual[16];
    glGetFloatv(GL_PROJECTION_MATRIX, actual);
    double expected[16];
    // The view divides the sizes in single precision.
    expectedPerspective(double(float(width) / float(height)), expected);
    for (int i = 0; i < 16; ++i) {
        // Relative to the element's size; single-precision storage gives about 1e-7.
        const double tolerance = 1e-5 * std::max(1.0, std::fabs(expected[i]));
        if (!(std::fabs(double(actual[i]) - expected[i]) <= tolerance))
            return QStringLiteral("projection element %1 is %2, expected %3 for a panel of %4 x %5")
                .arg(i)
                .arg(double(actual[i]), 0, 'g', 9)
                .arg(expected[i], 0, 'g', 9)
                .arg(width)
                .arg(height);
    }
    const GLenum error = glGetError();
    if (error != GL_NO_ERROR)
        return QStringLiteral("GL error 0x%1").arg(error, 0, 16);
    return QString();
}

// Resizes the window and waits until the panel, which fills it, has the size.
bool resizeAndSettle(TForm1& form, int width, int height)
{
    form.resize(width, height);
    return QTest::qWaitFor([&form, width, height] { return form.Panel1->size() == QSize(width, height); }, 5000);
}

} // namespace

class WindowAbuseGLTest : public QObject {
    Q_OBJECT
private slots:
    void shrunkToNothingAndBack();
    void minimisedAndRestored();
    void thousandRapidResizes();
    void destroyedRightAfterShow_data();
    void destroyedRightAfterShow();
    void destroyedOnItsFirstFrame();
    void closedRightAfterShow();
    void destroyedUnshown();
    void closedWhileErrorBoxOpen();
    void closeBoxBlockedWhileErrorBoxOpen();
};

void WindowAbuseGLTest::shrunkToNothingAndBack()
{
    StartedForm started;
    TForm1& form = *started.form;
    QVERIFY(resizeAndSettle(form, 640, 480));
    QCOMPARE(projectionMismatch(form), QString());

    form.resize(0, 0);
    QTest::qWait(100);
    // Whatever the window system made of it, frames still draw without error.
    for (int i = 0; i < 3; ++i)
        form.TimerForDrawingTimer();
    form.Panel1->makeCurrent();
    VERIFY_NO_GL_ERROR();
    // A panel with no height or width: the aspect must not have become infinite or NaN.
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    for (GLfloat element : projection)
        QVERIFY(std::isfinite(element));

    QVERIFY(resizeAndSettle(form, 500, 300));
    QCOMPARE(projectionMismatch(form), QString());
    // One side zero at a time, then back.
    form.resize(400, 0);
    QTest::qWait(50);
    form.TimerForDrawingTimer();
    form.resize(0, 400);
    QTest::qWait(50);
    form.TimerForDrawingTimer();
    QVERIFY(resizeAndSettle(form, 300, 500));
    QCOMPARE(projectionMismatch(form), QString());
    QVERIFY2(started.errors.isEmpty(), qPrintable(started.errors.join('\n')));
}

void WindowAbuseGLTest::minimisedAndRestored()
{
    StartedForm started(StartedForm::TimersRunning);
    TForm1& form = *started.form;
    QVERIFY(resizeAndSettle(form, 600, 400));
    int framesStepped = 0;
    int framesDrawn = 0;
    connect(&form, &TForm1::frameStepped, this, [&framesStepped] { ++framesStepped; });
    connect(&form, &TForm1::frameDrawn, this, [&framesDrawn] { ++framesDrawn; });

    for (int round = 0; round < 3; ++round) {
        form.showMinimized();
        QTest::qWait(150);
        // The frame steps go on while the window is minimised (or, without a window manager to
        // iconify it, merely asked to be); whether they draw is SkyOrderGLTest's.
        const int stepped = framesStepped;
        QTRY_VERIFY(framesStepped > stepped);
        form.showNormal();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTRY_COMPARE(form.Panel1->size(), QSize(600, 400));
        const int restored = framesDrawn;
        QTRY_VERIFY(framesDrawn > restored + 2);
    }
    form.TimerForDrawing->stop();
    form.TimerBigBen->stop();
    form.TimerForFPS->stop();
    QCOMPARE(projectionMismatch(form), QString());
    QVERIFY2(started.errors.isEmpty(), qPrintable(started.errors.join('\n')));
}

void WindowAbuseGLTest::thousandRapidResizes()
{
    StartedForm started;
    TForm1& form = *started.form;
    std::mt19937 random(77u);
    // Zero now and then, otherwise anything up to a little more than the start-up size.
    std::uniform_int_distribution<int> side(-40, 1100);
    for (int i = 1; i <= 1000; ++i) {
        const int width = std::max(0, side(random));
        const int height = std::max(0, side(random) * 3 / 4);
        form.resize(width, height);
        if (i % 7 == 0)
            QCoreApplication::processEvents();
        if (i % 3 == 0) {
            form.Panel1->makeCurrent();
            form.TimerForDrawingTimer();
        }
        // Every hundredth size is waited for and checked.
        if (i % 100 == 0 && width > 0 && height > 0) {
            QVERIFY2(resizeAndSettle(form, width, height),
                     qPrintable(QStringLiteral("%1 x %2").arg(width).arg(height)));
            const QString mismatch = projectionMismatch(form);
            QVERIFY2(mismatch.isEmpty(), qPrintable(QStringLiteral("after resize %1: %2").arg(i).arg(mismatch)));
        }
    }
    QVERIFY(resizeAndSettle(form, 700, 500));
    QCOMPARE(projectionMismatch(form), QString());
    QVERIFY2(started.errors.isEmpty(), qPrintable(started.errors.join('\n')));
}

void WindowAbuseGLTest::destroyedRightAfterShow_data()
{
    QTest::addColumn<bool>("texturesThere");
    QTest::newRow("textures there") << true;
    // No texture: the start-up stops and its error waits to be shown once the show is over.
    QTest::newRow("textures missing") << false;
}

void WindowAbuseGLTest::destroyedRightAfterShow()
{
    QFETCH(bool, texturesThere);
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    QDir::setCurrent(texturesThere ? assetsFolder() : empty.path());
    int errors = 0;
    // The built-in folders come back whatever happens below.
    struct RestoreFolders {
        ~RestoreFolders() { resetTextureSearchFolders(); }
    } restoreFolders;
    if (!texturesThere)
        setTextureSearchFolders({});
    {
        auto form = std::make_unique<TForm1>();
        form->showError = [&errors](const QString&) { ++errors; };
        form->show();
        // The panel's first show runs the start-up inside show() (so a missing texture's report
        // is now queued); the window is gone before the window system has answered and before
        // any timer or queued report could fire.
        QVERIFY(form->started());
        QCOMPARE(form->landscapeBuilt, texturesThere);
    }
    QTest::qWait(200);
    // A report still pending from the start-up went with the window.
    QCOMPARE(errors, 0);
    // A new window starts as the first did.
    StartedForm again;
    QVERIFY2(again.errors.isEmpty(), qPrintable(again.errors.join('\n')));
    QCOMPARE(projectionMismatch(*again.form), QString());
}

void WindowAbuseGLTest::destroyedOnItsFirstFrame()
{
    QDir::setCurrent(assetsFolder());
    QPointer<TForm1> form = new TForm1;
    int frames = 0;
    connect(form, &TForm1::frameDrawn, this, [&frames, form] {
        ++frames;
        form->close();
        form->deleteLater();
    });
    form->show();
    QTRY_VERIFY(form.isNull());
    QVERIFY(frames >= 1);
    QTest::qWait(50);
}

void WindowAbuseGLTest::closedRightAfterShow()
{
    QDir::setCurrent(assetsFolder());
    QStringList errors;
    auto form = std::make_unique<TForm1>();
    form->showError = [&errors](const QString& message) { errors << message; };
    form->show();
    QVERIFY(form->close());
    QVERIFY(!form->isVisible());
    // Events of the start-up arrive for a closed window: nothing fails.
    QTest::qWait(300);
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
    form.reset();
    QTest::qWait(50);
}

void WindowAbuseGLTest::destroyedUnshown()
{
    QStringList errors;
    {
        TForm1 form;
        form.showError = [&errors](const QString& message) { errors << message; };
    }
    QTest::qWait(50);
    QVERIFY(errors.isEmpty());
}

void WindowAbuseGLTest::closedWhileErrorBoxOpen()
{
    StartedForm started(StartedForm::TimersRunning | StartedForm::MessageBoxes);
    std::unique_ptr<TForm1>& form = started.form;
    form->Edit1->setText(QStringLiteral("abc"));
    bool boxSeen = false;
    bool formHidden = false;
    QPointer<QMessageBox> openBox;
    QTimer watcher;
    watcher.setInterval(20);
    connect(&watcher, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || boxSeen)
            return;
        boxSeen = true;
        openBox = box;
        // The program asks its window to close while the box is up.
        form->close();
        formHidden = !form->isVisible();
        QTimer::singleShot(200, box, [box] { box->done(QMessageBox::Ok); });
    });
    watcher.start();
    form->Button1->click();
    watcher.stop();
    QVERIFY(boxSeen);
    QVERIFY(formHidden);
    QTRY_VERIFY(openBox.isNull() || !openBox->isVisible());
    // The hidden window's timers may still tick; destroying it now ends them cleanly.
    QTest::qWait(100);
    form.reset();
    QTest::qWait(50);
}

void WindowAbuseGLTest::closeBoxBlockedWhileErrorBoxOpen()
{
    StartedForm started(StartedForm::TimersRunning | StartedForm::MessageBoxes);
    std::unique_ptr<TForm1>& form = started.form;
    form->Edit1->setText(QStringLiteral("abc"));
    bool boxSeen = false;
    bool closeBoxSent = false;
    bool visibleUnderBox = false;
    int framesUnderBox = 0;
    int framesDrawn = 0;
    connect(form.get(), &TForm1::frameDrawn, this, [&framesDrawn] { ++framesDrawn; });
    QTimer watcher;
    watcher.setInterval(20);
    connect(&watcher, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || boxSeen)
            return;
        boxSeen = true;
        // The user presses the main window's close box while the error box is up: the modal
        // box blocks it, and the window goes on drawing underneath.
        closeBoxSent = pressCloseBox(form.get());
        const int drawn = framesDrawn;
        QTest::qWait(300);
        visibleUnderBox = form->isVisible();
        framesUnderBox = framesDrawn - drawn;
        box->done(QMessageBox::Ok);
    });
    watcher.start();
    form->Button1->click();
    watcher.stop();
    QVERIFY(boxSeen);
    QVERIFY(closeBoxSent);
    QVERIFY(visibleUnderBox);
    QVERIFY(framesUnderBox > 0);
    // With the box gone the close box works as ever.
    QVERIFY(pressCloseBox(form.get()));
    QTRY_VERIFY(!form->isVisible());
    form.reset();
    QTest::qWait(50);
}

QTEST_MAIN(WindowAbuseGLTest)
#include "WindowAbuseGLTest.moc"
