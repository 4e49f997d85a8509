// Runs terrain-bench for a few frames on the test's display (llvmpipe under Xvfb) and checks
// what it prints: one JSON object per line, the start-up first and then the frames, with every
// field present and plausible. Nothing here depends on how fast the machine is.

#include "ProgramRun.h"

#include <QtTest>

#include <QJsonDocument>
#include <QJsonObject>

namespace {

ProgramRun runBench(const QStringList& arguments)
{
    return runProgram(QStringLiteral(TERRAIN_BENCH), arguments);
}

// Every non-empty line of the output as a JSON object; false with the line in *fault for a
// line that is not one.
bool parseLines(const QByteArray& out, QList<QJsonObject>* objects, QString* fault)
{
    for (const QByteArray& line : out.split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError || !document.isObject()) {
            *fault = QStringLiteral("not a JSON object (%1): %2").arg(error.errorString(), QString::fromUtf8(line));
            return false;
        }
        *objects << document.object();
    }
    return true;
}

// A member that must be a number >= 0.
bool checkMs(const QJsonObject& object, const QString& key, QString* fault)
{
    const QJsonValue value = object.value(key);
    if (!value.isDouble()) {
        *fault = QStringLiteral("%1 is not a number").arg(key);
        return false;
    }
    if (!(value.toDouble() >= 0.0)) {
        *fault = QStringLiteral("%1 is negative: %2").arg(key).arg(value.toDouble());
        return false;
    }
    return true;
}

// A member that must be {"p10", "median", "p90", "max"}, each >= 0 and in that order.
bool checkSpread(const QJsonObject& object, const QString& key, QString* fault)
{
    const QJsonValue value = object.value(key);
    if (!value.isObject()) {
        *fault = QStringLiteral("%1 is not an object").arg(key);
        return false;
    }
    const QJsonObject spread = value.toObject();
    for (const char* part : {"p10", "median", "p90", "max"}) {
        if (!checkMs(spread, QString::fromLatin1(part), fault)) {
            *fault = key + QLatin1Char('.') + *fault;
            return false;
        }
    }
    const double p10 = spread.value(QStringLiteral("p10")).toDouble();
    const double median = spread.value(QStringLiteral("median")).toDouble();
    const double p90 = spread.value(QStringLiteral("p90")).toDouble();
    const double max = spread.value(QStringLiteral("max")).toDouble();
    if (!(p10 <= median && median <= p90 && p90 <= max)) {
        *fault = QStringLiteral("%1 out of order: p10 %2, median %3, p90 %4, max %5")
                     .arg(key)
                     .arg(p10)
                     .arg(median)
                     .arg(p90)
                     .arg(max);
        return false;
    }
    return true;
}

#define CHECK_FIELD(check)                                                                                             \
    do {                                                                                                               \
        QString fault;                                                                                                 \
        QVERIFY2(check, qPrintable(fault));                                                                            \
    } while (false)

} // namespace

class BenchGLTest : public QObject {
    Q_OBJECT

private:
    void checkRun(const QStringList& arguments, const QString& terrain, int lattice, QJsonObject* startupOut,
                  QList<QJsonObject>* framesOut);
    void checkSingleRun(const QStringList& arguments, const QString& terrain, const QString& present, int lattice,
                        QJsonObject* frameOut);

private slots:
    void shortRunReportsStartupAndFrames();
    void insidePresentingDrawsOneFramePerComposition();
    void alternatePresentingReportsBothWays();
    void terrainOptionSelectsTheDrawingPath();
    void wholeTimingMarksNoPhase();
    void latticeOptionSetsTheTerrainSize();
    void listsItsTerrainPaths();
    void helpPrintsItsOptions();
    void rejectsBadOptions_data();
    void rejectsBadOptions();
};

// Runs the bench for 5 measured frames after 1 warm-up frame on a 320 x 240 panel, with the
// further arguments given, and checks its lines: the start-up first, then one frame line per
// presenting way, whose frames add up to 5.
void BenchGLTest::checkRun(const QStringList& arguments, const QString& terrain, int lattice, QJsonObject* startupOut,
                           QList<QJsonObject>* framesOut)
{
    const QString size = QStringLiteral("320x240");
    const ProgramRun run = runBench(QStringList{QStringLiteral("--frames"), QStringLiteral("5"),
                                                QStringLiteral("--warmup"), QStringLiteral("1"),
                                                QStringLiteral("--size"), size} +
                                    arguments);
    QVERIFY2(run.status == 0, qPrintable(run.err));
    QList<QJsonObject> lines;
    CHECK_FIELD(parseLines(run.out.toUtf8(), &lines, &fault));
    QVERIFY2(lines.size() >= 2, qPrintable(run.out));

    const QJsonObject startup = lines.takeFirst();
    QCOMPARE(startup.value(QStringLiteral("phase")).toString(), QStringLiteral("startup"));
    QVERIFY(!startup.value(QStringLiteral("renderer")).toString().isEmpty());
    QCOMPARE(startup.value(QStringLiteral("size")).toString(), size);
    QCOMPARE(startup.value(QStringLiteral("lattice")).toInt(), lattice);
    for (const char* key :
         {"formShowMs", "worldInitMs", "createMs", "heightsMs", "normalsMs", "layersMs", "buildLandscapeMs"})
        CHECK_FIELD(checkMs(startup, QString::fromLatin1(key), &fault));
    const QJsonObject textures = startup.value(QStringLiteral("loadTextureMs")).toObject();
    QCOMPARE(textures.size(), 4);
    for (int slot = 0; slot < 4; ++slot)
        CHECK_FIELD(checkMs(textures, QStringLiteral("LandTex%1.bmp").arg(slot), &fault));

    int frames = 0;
    for (const QJsonObject& frame : lines) {
        QCOMPARE(frame.value(QStringLiteral("phase")).toString(), QStringLiteral("frame"));
        QVERIFY(!frame.value(QStringLiteral("renderer")).toString().isEmpty());
        QCOMPARE(frame.value(QStringLiteral("renderer")).toString(),
                 startup.value(QStringLiteral("renderer")).toString());
        QVERIFY(!frame.value(QStringLiteral("glVersion")).toString().isEmpty());
        QCOMPARE(frame.value(QStringLiteral("size")).toString(), size);
        QCOMPARE(frame.value(QStringLiteral("terrain")).toString(), terrain);
        QCOMPARE(frame.value(QStringLiteral("lattice")).toInt(), lattice);
        QVERIFY(frame.value(QStringLiteral("fly")).isBool());
        QVERIFY(!frame.value(QStringLiteral("allocator")).toString().isEmpty());
        QCOMPARE(frame.value(QStringLiteral("timing")).toString(), QStringLiteral("phases"));
        QVERIFY(frame.value(QStringLiteral("frames")).toInt() >= 1);
        frames += frame.value(QStringLiteral("frames")).toInt();
        QCOMPARE(frame.value(QStringLiteral("warmup")).toInt(), 1);
        // Every phase of the frame is marked, the terrain's included: the start-up built it.
        for (const char* key : {"cameraMs", "skyMs", "bumpCpuMs", "depthPassMs", "colourPassesMs", "swapMs", "frameMs",
                                "presentMs", "composeMs", "cycleMs"})
            CHECK_FIELD(checkSpread(frame, QString::fromLatin1(key), &fault));
        for (const char* key : {"frameStddevMs", "cycleStddevMs", "textureBindsPerFrame", "pageFaultsPerFrame"})
            CHECK_FIELD(checkMs(frame, QString::fromLatin1(key), &fault));
        QVERIFY(frame.value(QStringLiteral("drawCallsPerFrame")).toDouble() > 0.0);
        QVERIFY(frame.value(QStringLiteral("cellsPerFrame")).toDouble() > 0.0);
        QVERIFY(frame.value(QStringLiteral("stripsPerFrame")).toDouble() > 0.0);
        // Each tick is presented once. Through the widget surface Qt paints the panel for it;
        // a native window is swapped and Qt paints nothing.
        QCOMPARE(frame.value(QStringLiteral("compositionsPerFrame")).toDouble(), 1.0);
        QCOMPARE(frame.value(QStringLiteral("sky")).toString(),
                 QLatin1String(arguments.contains(QStringLiteral("first")) ? "first" : "behind"));
        const QString surface = frame.value(QStringLiteral("surface")).toString();
        QVERIFY2(surface == QLatin1String(arguments.contains(QStringLiteral("widget")) ? "widget" : "window"),
                 qPrintable(surface));
        if (surface == QLatin1String("widget"))
            QVERIFY(frame.value(QStringLiteral("panelPaintsPerFrame")).toDouble() >= 1.0);
        else
            QCOMPARE(frame.value(QStringLiteral("panelPaintsPerFrame")).toDouble(), 0.0);
    }
    QCOMPARE(frames, 5);

    *startupOut = startup;
    *framesOut = lines;
}

// A run presented one way throughout: one frame line, of that way.
void BenchGLTest::checkSingleRun(const QStringList& arguments, const QString& terrain, const QString& present,
                                 int lattice, QJsonObject* frameOut)
{
    QJsonObject startup;
    QList<QJsonObject> frames;
    checkRun(arguments, terrain, lattice, &startup, &frames);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames[0].value(QStringLiteral("present")).toString(), present);
    *frameOut = frames[0];
}

void BenchGLTest::shortRunReportsStartupAndFrames()
{
    QJsonObject frame;
    checkSingleRun({}, QStringLiteral("batched"), QStringLiteral("outside"), 300, &frame);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(frame.value(QStringLiteral("fly")).toBool(), false);
#ifdef __SANITIZE_ADDRESS__
    // AddressSanitizer's heap takes no thresholds: the bench says it measured the defaults.
    QCOMPARE(frame.value(QStringLiteral("allocator")).toString(), QStringLiteral("default"));
#else
    QCOMPARE(frame.value(QStringLiteral("allocator")).toString(), QStringLiteral("tuned"));
#endif
}

void BenchGLTest::insidePresentingDrawsOneFramePerComposition()
{
    QJsonObject frame;
    checkSingleRun({QStringLiteral("--surface"), QStringLiteral("widget"), QStringLiteral("--present"),
                    QStringLiteral("inside"), QStringLiteral("--fly"), QStringLiteral("--allocator"),
                    QStringLiteral("default")},
                   QStringLiteral("batched"), QStringLiteral("inside"), 300, &frame);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(frame.value(QStringLiteral("fly")).toBool(), true);
    QCOMPARE(frame.value(QStringLiteral("allocator")).toString(), QStringLiteral("default"));
    // Drawn from the paint, the frame's own update() must not cause a second paint per tick.
    QCOMPARE(frame.value(QStringLiteral("panelPaintsPerFrame")).toDouble(), 1.0);
}

void BenchGLTest::alternatePresentingReportsBothWays()
{
    QJsonObject startup;
    QList<QJsonObject> frames;
    checkRun({QStringLiteral("--surface"), QStringLiteral("widget"), QStringLiteral("--present"),
              QStringLiteral("alternate")},
             QStringLiteral("batched"), 300, &startup, &frames);
    if (QTest::currentTestFailed())
        return;
    // Frames 0, 2, 4 outside and 1, 3 inside: one line for each way.
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames[0].value(QStringLiteral("present")).toString(), QStringLiteral("outside"));
    QCOMPARE(frames[0].value(QStringLiteral("frames")).toInt(), 3);
    QCOMPARE(frames[1].value(QStringLiteral("present")).toString(), QStringLiteral("inside"));
    QCOMPARE(frames[1].value(QStringLiteral("frames")).toInt(), 2);
    QCOMPARE(frames[1].value(QStringLiteral("panelPaintsPerFrame")).toDouble(), 1.0);
}

void BenchGLTest::terrainOptionSelectsTheDrawingPath()
{
    QJsonObject literal;
    QJsonObject batched;
    checkSingleRun({QStringLiteral("--terrain"), QStringLiteral("literal")}, QStringLiteral("literal"),
                   QStringLiteral("outside"), 300, &literal);
    if (QTest::currentTestFailed())
        return;
    checkSingleRun({QStringLiteral("--terrain"), QStringLiteral("batched")}, QStringLiteral("batched"),
                   QStringLiteral("outside"), 300, &batched);
    if (QTest::currentTestFailed())
        return;
    // The literal path binds a texture for every cell; the batched one draws the same cells
    // with a bind per layer, so fewer binds and calls show the path was really switched.
    const auto perFrame = [](const QJsonObject& frame, const char* key) {
        return frame.value(QString::fromLatin1(key)).toDouble();
    };
    QVERIFY(perFrame(batched, "textureBindsPerFrame") < perFrame(literal, "textureBindsPerFrame"));
    QVERIFY(perFrame(batched, "drawCallsPerFrame") < perFrame(literal, "drawCallsPerFrame"));
}

void BenchGLTest::wholeTimingMarksNoPhase()
{
    // Without phase marks the frame is timed whole: no phase is reported, the frame and its
    // cycle are, and each tick is still presented once. With the frame-time graph shown the
    // draws are counted by the graph's instruments.
    const struct {
        const char* surface;
        bool graph;
    } runs[] = {{"window", false}, {"widget", false}, {"window", true}};
    for (const auto& [surface, graph] : runs) {
        QStringList arguments{QStringLiteral("--frames"),  QStringLiteral("4"),          QStringLiteral("--warmup"),
                              QStringLiteral("1"),         QStringLiteral("--size"),     QStringLiteral("320x240"),
                              QStringLiteral("--surface"), QString::fromLatin1(surface), QStringLiteral("--timing"),
                              QStringLiteral("whole")};
        if (graph)
            arguments << QStringLiteral("--graph");
        const ProgramRun run = runBench(arguments);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QList<QJsonObject> lines;
        CHECK_FIELD(parseLines(run.out.toUtf8(), &lines, &fault));
        QCOMPARE(lines.size(), 2);
        const QJsonObject frame = lines[1];
        QCOMPARE(frame.value(QStringLiteral("timing")).toString(), QStringLiteral("whole"));
        QCOMPARE(frame.value(QStringLiteral("graph")).toBool(), graph);
        QCOMPARE(frame.value(QStringLiteral("frames")).toInt(), 4);
        for (const char* key : {"cameraMs", "skyMs", "bumpCpuMs", "depthPassMs", "colourPassesMs", "swapMs"})
            QVERIFY2(frame.value(QString::fromLatin1(key)).isNull(), key);
        for (const char* key : {"frameMs", "cycleMs"})
            CHECK_FIELD(checkSpread(frame, QString::fromLatin1(key), &fault));
        const double frameMs =
            frame.value(QStringLiteral("frameMs")).toObject().value(QStringLiteral("median")).toDouble();
        QVERIFY2(frameMs > 0.0, surface);
        QCOMPARE(frame.value(QStringLiteral("compositionsPerFrame")).toDouble(), 1.0);
        QVERIFY(frame.value(QStringLiteral("cellsPerFrame")).toDouble() > 0.0);
    }
}

void BenchGLTest::latticeOptionSetsTheTerrainSize()
{
    QJsonObject frame;
    checkSingleRun({QStringLiteral("--lattice"), QStringLiteral("32")}, QStringLiteral("batched"),
                   QStringLiteral("outside"), 32, &frame);
    if (QTest::currentTestFailed())
        return;
    // Only interior vertices draw a hexagon: at most 30 x 30 of a 32 x 32 lattice, where the
    // default 300 x 300 lattice gives the camera's full radius of cells (thousands).
    const double cells = frame.value(QStringLiteral("cellsPerFrame")).toDouble();
    QVERIFY2(cells <= 30.0 * 30.0, qPrintable(QStringLiteral("%1 cells per frame").arg(cells)));
}

void BenchGLTest::listsItsTerrainPaths()
{
    const ProgramRun run = runBench({QStringLiteral("--terrain-paths")});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QStringLiteral("literal\nbatched\n"));
}

void BenchGLTest::helpPrintsItsOptions()
{
    // Without a display, too: the help needs no window.
    for (const char* option : {"--help", "-h"}) {
        const ProgramRun run = runProgram(QStringLiteral(TERRAIN_BENCH), {QString::fromLatin1(option)}, QString(),
                                          {{"DISPLAY"}, {}});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.startsWith(QStringLiteral("Usage: ")), qPrintable(run.out));
        for (const char* listed :
             {"--size", "--frames", "--terrain", "--surface", "--sky", "--timing", "--present", "--allocator"})
            QVERIFY2(run.out.contains(QLatin1String(listed)), listed);
        QCOMPARE(run.err, QString());
    }
}

void BenchGLTest::rejectsBadOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("named");
    QTest::newRow("size without height") << QStringList{QStringLiteral("--size"), QStringLiteral("320x")}
                                         << QStringLiteral("--size");
    QTest::newRow("size too small") << QStringList{QStringLiteral("--size"), QStringLiteral("15x240")}
                                    << QStringLiteral("--size");
    QTest::newRow("no frames") << QStringList{QStringLiteral("--frames"), QStringLiteral("0")}
                               << QStringLiteral("--frames");
    QTest::newRow("negative warm-up") << QStringList{QStringLiteral("--warmup"), QStringLiteral("-1")}
                                      << QStringLiteral("--warmup");
    QTest::newRow("unknown terrain path")
        << QStringList{QStringLiteral("--terrain"), QStringLiteral("fast")} << QStringLiteral("--terrain");
    QTest::newRow("lattice too small") << QStringList{QStringLiteral("--lattice"), QStringLiteral("7")}
                                       << QStringLiteral("--lattice");
    QTest::newRow("unknown presenting") << QStringList{QStringLiteral("--present"), QStringLiteral("both")}
                                        << QStringLiteral("--present");
    QTest::newRow("unknown sky order") << QStringList{QStringLiteral("--sky"), QStringLiteral("last")}
                                       << QStringLiteral("--sky");
    QTest::newRow("unknown surface") << QStringList{QStringLiteral("--surface"), QStringLiteral("fbo")}
                                     << QStringLiteral("--surface");
    QTest::newRow("drawing in the paint of a native window")
        << QStringList{QStringLiteral("--present"), QStringLiteral("inside")} << QStringLiteral("--surface widget");
    QTest::newRow("unknown allocator") << QStringList{QStringLiteral("--allocator"), QStringLiteral("jemalloc")}
                                       << QStringLiteral("--allocator");
    QTest::newRow("alternating one frame")
        << QStringList{QStringLiteral("--surface"), QStringLiteral("widget"),   QStringLiteral("--present"),
                       QStringLiteral("alternate"), QStringLiteral("--frames"), QStringLiteral("1")}
        << QStringLiteral("alternate");
    QTest::newRow("unknown timing") << QStringList{QStringLiteral("--timing"), QStringLiteral("all")}
                                    << QStringLiteral("--timing");
    QTest::newRow("graph with phase marks")
        << QStringList{QStringLiteral("--graph")} << QStringLiteral("--graph needs --timing whole");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--bogus")} << QStringLiteral("bogus");
}

void BenchGLTest::rejectsBadOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, named);
    const ProgramRun run = runBench(arguments);
    QCOMPARE(run.status, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains(named), qPrintable(run.err));
}

QTEST_MAIN(BenchGLTest)
#include "BenchGLTest.moc"
