// F3's frame-time graph: the scale follows the slowest frame shown and the figures name it
// with the median and slowest times; the bars painted as frames come are the bars painted at
// once; shown over the real window it measures each drawn frame and covers only its own box.

#include "FrameTimeGraph.h"
#include "Screenshots.h"
#include "StartedForm.h"

#include <QFont>
#include <vector>

namespace {

// A frame of totalMs, all of it in the first phase (the sky), so a bar is one colour.
FrameTimeGraph::PhaseTimes frameOf(double totalMs)
{
    return {totalMs, 0.0, 0.0, 0.0, 0.0};
}

// Rows of the bars' image, from the foot (image row 0) up, that the newest bar reaches: up to
// its highest pixel that is neither the background nor the timer's white line.
int newestBarHeight(const QImage& bars)
{
    const int x = bars.width() - 1;
    const QRgb background = bars.pixel(0, bars.height() - 1);
    const QRgb timerLine = qRgba(255, 255, 255, 255);
    int height = 0;
    for (int row = 0; row < bars.height(); ++row)
        if (bars.pixel(x, row) != background && bars.pixel(x, row) != timerLine)
            height = row + 1;
    return height;
}

} // namespace

class FrameTimeGraphGLTest : public QObject {
    Q_OBJECT
private slots:
    void scaleAndFigures();
    void figuresAreWrittenAtTheirPace();
    void barsPaintedAsTheyComeArePaintedAtOnce();
    void leavesTheSceneAlone();
};

void FrameTimeGraphGLTest::scaleAndFigures()
{
    // The bars are 100 pixels high: a frame of t ms stands round(t * 100 / top) pixels, all
    // of them at the last top.
    const struct {
        const char* name;
        std::vector<double> framesMs;
        double topMs;
        const char* figures;
        int newestPixels;
    } cases[] = {
        {"none", {}, 20, "scale 20 ms  |  median 0.0 ms  |  slowest 0.0 ms", 0},
        {"steady", {8, 8, 8}, 20, "scale 20 ms  |  median 8.0 ms  |  slowest 8.0 ms", 40},
        {"a top exactly", {20, 12, 20}, 20, "scale 20 ms  |  median 20.0 ms  |  slowest 20.0 ms", 100},
        {"one slow frame", {5, 7, 35, 6}, 50, "scale 50 ms  |  median 6.5 ms  |  slowest 35.0 ms", 12},
        {"seconds", {250, 1200, 3}, 2000, "scale 2000 ms  |  median 250.0 ms  |  slowest 1200.0 ms", 0},
        {"past the last top", {9000, 2600}, 5000, "scale 5000 ms  |  median 5800.0 ms  |  slowest 9000.0 ms", 52},
    };
    for (const auto& c : cases) {
        FrameTimeGraph graph{QFont()};
        for (double ms : c.framesMs)
            graph.addFrame(frameOf(ms));
        const std::vector<OverlayPicture> pictures = graph.pictures(1.0);
        QCOMPARE(graph.scaleTopMs(), c.topMs);
        QCOMPARE(graph.figuresText(), QLatin1String(c.figures));
        QVERIFY2(newestBarHeight(*pictures.front().image) == c.newestPixels,
                 qPrintable(QStringLiteral("%1: %2 pixels").arg(c.name).arg(newestBarHeight(*pictures.front().image))));
    }
}

void FrameTimeGraphGLTest::figuresAreWrittenAtTheirPace()
{
    // Laying out the figures costs more than the bars: at one scale they are written again
    // once in kFiguresEveryFrames frames, however much the times change; a new scale at once.
    FrameTimeGraph graph{QFont()};
    graph.addFrame(frameOf(4));
    graph.pictures(1.0);
    const QString first = graph.figuresText();
    // Frames of 5, 7 and 9 ms, eight of each, then a ninth of 9 ms: 26 frames whose middle
    // two are 7 ms.
    for (int i = 1; i < FrameTimeGraph::kFiguresEveryFrames; ++i) {
        graph.addFrame(frameOf(5 + (i % 3) * 2));
        graph.pictures(1.0);
        QCOMPARE(graph.figuresText(), first);
    }
    graph.addFrame(frameOf(9));
    graph.pictures(1.0);
    QCOMPARE(graph.figuresText(), QStringLiteral("scale 20 ms  |  median 7.0 ms  |  slowest 9.0 ms"));
    graph.addFrame(frameOf(30));
    graph.pictures(1.0);
    QCOMPARE(graph.figuresText(), QStringLiteral("scale 50 ms  |  median 7.0 ms  |  slowest 30.0 ms"));
}

void FrameTimeGraphGLTest::barsPaintedAsTheyComeArePaintedAtOnce()
{
    // One graph painted as the frames come (a column a frame, a few after frames it missed
    // while hidden, all of them when a slow frame changes the scale and again when it has
    // scrolled out), the other once at the end: the same pixels.
    FrameTimeGraph asTheyCome{QFont()};
    FrameTimeGraph atOnce{QFont()};
    constexpr int kFrames = 2 * FrameTimeGraph::kFrames + 40;
    for (int i = 0; i < kFrames; ++i) {
        // Phases of 0 to 3 ms, so that neighbouring bars differ; one frame of 35 to 47 ms.
        FrameTimeGraph::PhaseTimes phases{};
        for (int p = 0; p < FrameTimeGraph::kStackedPhases; ++p)
            phases[std::size_t(p)] = double((i * 7 + p * 3) % 11) * 0.3;
        if (i == FrameTimeGraph::kFrames)
            phases[2] = 35.0;
        asTheyCome.addFrame(phases);
        atOnce.addFrame(phases);
        if (i % 50 < 45)
            asTheyCome.pictures(1.0);
        if (i == FrameTimeGraph::kFrames + 1)
            QCOMPARE(asTheyCome.scaleTopMs(), 50.0);
    }
    QCOMPARE(asTheyCome.scaleTopMs(), 20.0);
    const QImage scrolled = asTheyCome.pictures(1.0).front().image->copy();
    QCOMPARE(scrolled, atOnce.pictures(1.0).front().image->copy());
    asTheyCome.pictures(2.0); // another size: painted whole, and again at 1
    QCOMPARE(asTheyCome.pictures(1.0).front().image->copy(), scrolled);
}

void FrameTimeGraphGLTest::leavesTheSceneAlone()
{
    // Shown, the graph measures every drawn frame and covers only its own box; hidden, the
    // frame is measured by nobody and the picture is the scene's alone.
    StartedForm started;
    TForm1& form = *started.form;
    const QImage before = grabWindowImage(form);
    QTest::keyClick(started.window(), Qt::Key_F3);
    QVERIFY(form.frameGraph() && form.instruments == &form.frameGraph()->instruments());
    for (int i = 0; i < 4; ++i)
        form.TimerForDrawingTimer();
    QCOMPARE(form.frameGraph()->framesShown(), 4);
    QVERIFY(form.frameGraph()->slowestMs() > 0.0);
    const QRect box = form.frameGraph()->geometry();
    QVERIFY(form.Panel1->rect().contains(box));
    form.TimerForFPSTimer(); // the read-outs as they were
    const QImage shown = grabWindowImage(form);
    QTest::keyClick(started.window(), Qt::Key_F3);
    QVERIFY(!form.frameGraph() && !form.instruments);
    const QImage hidden = grabWindowImage(form);
    QVERIFY(shown.copy(box) != hidden.copy(box));
    QImage outside = shown, outsideHidden = hidden;
    for (QImage* image : {&outside, &outsideHidden})
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                image->setPixel(x, y, 0);
    // The read-out panels are left out: the frame-rate read-out changed with the frames.
    const QRect scene(100, 0, shown.width() - 100, shown.height());
    QCOMPARE(outside.copy(scene), outsideHidden.copy(scene));
    QVERIFY(before.size() == hidden.size());
}

QTEST_MAIN(FrameTimeGraphGLTest)
#include "FrameTimeGraphGLTest.moc"
