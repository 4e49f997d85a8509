// The scene presented through its own native GL window: what the X server shows (panels over
// the scene, the frame itself), the mouse over the scene reaching the drawing panel, and the
// screenshot of the window against the frame as drawn.

#include "AppTestSupport.h"
#include "GlTestPanel.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QSlider>
#include <QWheelEvent>
#include <QWindow>

namespace {

// Counts the mouse events a watched object receives, by type.
class MouseCounter : public QObject {
public:
    int presses = 0, moves = 0, releases = 0, wheels = 0;
    QPoint lastPos;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            ++presses;
            lastPos = static_cast<QMouseEvent*>(event)->pos();
            break;
        case QEvent::MouseMove:
            ++moves;
            lastPos = static_cast<QMouseEvent*>(event)->pos();
            break;
        case QEvent::MouseButtonRelease:
            ++releases;
            break;
        case QEvent::Wheel:
            ++wheels;
            break;
        default:
            break;
        }
        return false;
    }
};

// What the X server shows of a widget's rectangle (not what Qt would paint).
QImage onScreen(QWidget* widget)
{
    QCoreApplication::processEvents();
    QScreen* screen = QGuiApplication::primaryScreen();
    const QPoint topLeft = widget->mapToGlobal(QPoint());
    return screen->grabWindow(0, topLeft.x(), topLeft.y(), widget->width(), widget->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

int differingPixels(const QImage& a, const QImage& b)
{
    int differing = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            differing += a.pixel(x, y) != b.pixel(x, y);
    return differing;
}

} // namespace

class PresentationTest : public QObject {
    Q_OBJECT
private slots:
    void sceneIsANativeWindowBelowThePanels();
    void mouseOverTheSceneReachesThePanel();
    void screenShowsTheFrameAndThePanels();
};

void PresentationTest::sceneIsANativeWindowBelowThePanels()
{
    StartedForm started;
    TForm1& form = *started.form;
    QCOMPARE(form.Panel1->presentation(), Presentation::Window);
    QWindow* surface = form.Panel1->nativeSurface();
    QVERIFY(surface);
    QVERIFY(!form.Panel1->composedSurface());
    QVERIFY(surface->isExposed());
    QCOMPARE(surface->size(), form.Panel1->size());
    // The surface takes neither the focus nor the mouse, and the panels are windows of their
    // own, so the X server can stack them above it.
    QVERIFY(surface->flags() & Qt::WindowDoesNotAcceptFocus);
    QVERIFY(surface->flags() & Qt::WindowTransparentForInput);
    for (QWidget* panel : {static_cast<QWidget*>(form.Panel2), static_cast<QWidget*>(form.Panel3),
                           static_cast<QWidget*>(form.Panel4), static_cast<QWidget*>(form.Panel5)})
        QVERIFY2(panel->internalWinId() != 0, qPrintable(panel->objectName()));
    // The depth buffer the terrain's equal-depth passes need (see GlPanel::createSurface).
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    QCOMPARE(depthBits, 24);

    // A resize reaches the surface and the projection's viewport.
    form.resize(700, 500);
    QVERIFY(QTest::qWaitFor([&] { return surface->size() == QSize(700, 500); }));
    form.Panel1->makeCurrent();
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    QCOMPARE(viewport[2], 700);
    QCOMPARE(viewport[3], 500);
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
}

void PresentationTest::mouseOverTheSceneReachesThePanel()
{
    StartedForm started;
    TForm1& form = *started.form;
    MouseCounter counter;
    form.Panel1->installEventFilter(&counter);
    const QPoint scenePoint(500, 400); // right of and below the panels
    QVERIFY(!form.Panel4->geometry().contains(scenePoint));

    // Through the top-level window, as the X server delivers it when the GL window lets the
    // pointer through: Qt hands it to the widget under the pointer, which is the panel.
    QTest::mouseMove(started.window(), scenePoint);
    QTest::mousePress(started.window(), Qt::LeftButton, Qt::NoModifier, scenePoint);
    QTest::mouseMove(started.window(), scenePoint + QPoint(20, 10));
    QTest::mouseRelease(started.window(), Qt::LeftButton, Qt::NoModifier, scenePoint + QPoint(20, 10));
    QCOMPARE(counter.presses, 1);
    QVERIFY(counter.moves >= 1);
    QCOMPARE(counter.releases, 1);
    QCOMPARE(counter.lastPos, scenePoint + QPoint(20, 10));
    {
        QWheelEvent wheel(QPointF(scenePoint), QPointF(form.mapToGlobal(scenePoint)), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(started.window(), &wheel);
    }
    QCOMPARE(counter.wheels, 1);

    // Straight at the GL window (a window system that cannot make it transparent for input):
    // it hands the events on to the panel, at the same point.
    const QPoint surfacePoint = scenePoint - form.Panel1->pos();
    QTest::mousePress(form.Panel1->nativeSurface(), Qt::RightButton, Qt::NoModifier, surfacePoint);
    QTest::mouseRelease(form.Panel1->nativeSurface(), Qt::RightButton, Qt::NoModifier, surfacePoint);
    QCOMPARE(counter.presses, 2);
    QCOMPARE(counter.releases, 2);
    QCOMPARE(counter.lastPos, surfacePoint);
    {
        QWheelEvent wheel(QPointF(surfacePoint), QPointF(form.mapToGlobal(scenePoint)), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(form.Panel1->nativeSurface(), &wheel);
    }
    QCOMPARE(counter.wheels, 2);

    // The panels over the scene keep their own mouse: a click on a slider does not reach the
    // drawing panel.
    const QPoint onSlider = form.TrackBar2->rect().center();
    QTest::mouseClick(form.TrackBar2, Qt::LeftButton, Qt::NoModifier, onSlider);
    QCOMPARE(counter.presses, 2);
    form.Panel1->removeEventFilter(&counter);
}

void PresentationTest::screenShowsTheFrameAndThePanels()
{
    StartedForm started;
    TForm1& form = *started.form;
    form.Panel1->makeCurrent();
    form.world.setHour(10.0f);
    form.TimerForDrawingTimer();
    QVERIFY(QTest::qWaitFor([&] { return form.Panel1->nativeSurface()->isExposed(); }));
    form.TimerForDrawingTimer();
    const QImage frame = readFrame(form);
    QTest::qWait(50);
    const QImage window = form.grabWindowImage().convertToFormat(QImage::Format_RGB32);
    const QImage screen = onScreen(&form);
    QCOMPARE(screen.size(), window.size());

    // Right of the panels' column the screen shows the frame exactly as it was drawn, and so
    // does the screenshot of the window.
    const QRect scene(100, 0, frame.width() - 100, frame.height());
    const int sceneDifferences = differingPixels(screen.copy(scene), frame.copy(scene));
    if (sceneDifferences != 0) {
        screen.save(testOutputFolder() + QStringLiteral("/presentation-screen.png"));
        frame.save(testOutputFolder() + QStringLiteral("/presentation-frame.png"));
    }
    QCOMPARE(sceneDifferences, 0);
    QCOMPARE(differingPixels(window.copy(scene), frame.copy(scene)), 0);

    // Over the panels the screen shows the panels, as Qt paints them, not the scene below; so
    // does the screenshot.
    for (QWidget* panel :
         {static_cast<QWidget*>(form.Panel2), static_cast<QWidget*>(form.Panel4), static_cast<QWidget*>(form.Panel5)}) {
        const QRect area(panel->mapTo(&form, QPoint()), panel->size());
        const QImage painted = panel->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(differingPixels(screen.copy(area), painted), 0);
        QVERIFY(differingPixels(screen.copy(area), frame.copy(area)) > area.width() * area.height() / 2);
        QVERIFY(differingPixels(window.copy(area), frame.copy(area)) > area.width() * area.height() / 2);
    }
}

QTEST_MAIN(PresentationTest)
#include "PresentationTest.moc"
