// Flights that are kept: a path recorded with F9 through the real frame step and played back
// by the program (--camera-path with --record) gives the same frames, pixel for pixel; bad path
// files are refused with their line before anything is drawn.

#include "CameraPath.h"
#include "ImageCompare.h"
#include "KeyCodes.h"
#include "PicturesFolder.h"
#include "ProgramRun.h"
#include "StartedForm.h"

#include <QTemporaryDir>

namespace {

// The scene right of the panels, above the mode line: the part of a frame that the window's
// read-outs and overlays (which differ between recording and playback) leave alone.
const QRect kSceneArea(300, 0, 712, 580);

ProgramRun runViewer(const QStringList& arguments)
{
    return runProgram(QStringLiteral(TERRAIN_VIEWER_BINARY), arguments, assetsFolder());
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class CameraPathGLTest : public QObject {
    Q_OBJECT
private slots:
    void recordedFlightReplaysFrameByFrame();
    void badPathFilesAreRefused();
};

void CameraPathGLTest::recordedFlightReplaysFrameByFrame()
{
    const PicturesFolder picturesFolder;
    const QString pictures = picturesFolder.path();
    StartedForm started;
    TForm1& form = *started.form;
    QWindow* window = started.window();

    QTest::keyClick(window, Qt::Key_F9);
    QVERIFY(form.recordingPath());
    // Keys held and let go, time running, the hour stepped back by hand.
    const struct {
        int frame;
        Qt::Key key;
        bool down;
    } keys[] = {{0, Qt::Key_Up, true},  {8, Qt::Key_D, true},         {14, Qt::Key_D, false},
                {16, Qt::Key_W, true},  {20, Qt::Key_PageDown, true}, {20, Qt::Key_PageDown, false},
                {22, Qt::Key_W, false}, {22, Qt::Key_Space, true},    {26, Qt::Key_Up, false}};
    constexpr int kFrames = 30;
    std::vector<QImage> recorded;
    std::vector<PathPose> states;
    for (int frame = 0; frame < kFrames; ++frame) {
        for (const auto& k : keys)
            if (k.frame == frame) {
                if (k.down)
                    QTest::keyPress(window, k.key);
                else
                    QTest::keyRelease(window, k.key);
            }
        for (int tick = 0; tick < 7; ++tick)
            form.TimerBigBenTimer();
        form.TimerForDrawingTimer();
        states.push_back(poseOf(form, form.frameSteps - 1));
        recorded.push_back(grabWindowImage(form).copy(kSceneArea));
    }
    QTest::keyRelease(window, Qt::Key_Space);
    QVERIFY(form.overlays->modeLine.text().contains(QStringLiteral("Recording path (%1 frames)").arg(kFrames)));
    QTest::keyClick(window, Qt::Key_F9);
    QVERIFY(!form.recordingPath());
    const QStringList files = QDir(pictures).entryList({QStringLiteral("terrain-viewer-path-*.csv")}, QDir::Files);
    QCOMPARE(files.size(), 1);
    const QString path = QDir(pictures).filePath(files.first());
    QCOMPARE(form.overlays->messagePanel.text(), QStringLiteral("Saved path ") + QDir::toNativeSeparators(path));

    // The file holds each frame step's camera and clock exactly.
    const std::vector<PathPose> poses = readCameraPath(path);
    QCOMPARE(int(poses.size()), kFrames);
    for (int i = 0; i < kFrames; ++i) {
        const PathPose &a = poses[std::size_t(i)], &b = states[std::size_t(i)];
        QVERIFY2(a.frame == b.frame && a.position.x == b.position.x && a.position.y == b.position.y &&
                     a.position.z == b.position.z && a.yawDegrees == b.yawDegrees && a.pitchDegrees == b.pitchDegrees &&
                     a.rollDegrees == b.rollDegrees && a.day == b.day && a.hour == b.hour,
                 qPrintable(pathLine(a) + QStringLiteral(" vs ") + pathLine(b)));
    }
    QVERIFY(states.back().position.y > states.front().position.y); // it flew

    // Played back by a fresh program, frame for frame.
    QTemporaryDir out;
    const ProgramRun run = runViewer({QStringLiteral("--camera-path"), path, QStringLiteral("--record"), out.path()});
    QVERIFY2(run.status == 0, qPrintable(run.err));
    const QStringList frames = QDir(out.path()).entryList(QDir::Files, QDir::Name);
    QCOMPARE(frames.size(), kFrames);
    for (int i = 0; i < kFrames; ++i) {
        const QImage replayed = QImage(QDir(out.path()).filePath(frames[i])).copy(kSceneArea);
        COMPARE_IMAGES(replayed, recorded[std::size_t(i)], QStringLiteral("path-frame-%1").arg(i),
                       ImageTolerance::identical());
    }
}

// Each refused with status 2 and its file and line, and with --record not one frame written.
void CameraPathGLTest::badPathFilesAreRefused()
{
    QTemporaryDir folder;
    const QByteArray header = QByteArray(kCameraPathHeader) + '\n';
    const QByteArray good = "7,100,7,100,125,0,0,0,5\n";
    QByteArray tooMany = header;
    for (std::size_t i = 0; i <= kMaxPathPoses; ++i)
        tooMany += QByteArray::number(qulonglong(i)) + ",0,0,0,0,0,0,0,0\n";
    const struct {
        const char* name;
        QByteArray bytes;
        int line;
        const char* says;
    } cases[] = {
        {"empty", "", 1, "the file is empty"},
        {"header only", header, 2, "no pose follows the header"},
        {"bad header", "frame,x,y,z\n" + good, 1, "the first line must be the header"},
        {"short row", header + "7,100,7,100,125,0,0\n", 2, "7 values instead of the 9"},
        {"not a number", header + good + "8,100,seven,100,125,0,0,0,5\n", 3, "the y 'seven' is not a number"},
        {"yaw out of range", header + "7,100,7,100,400,0,0,0,5\n", 2, "the yaw 400 is not above -360"},
        {"hour 24", header + "7,100,7,100,125,0,0,0,24\n", 2, "the hour 24 is not from 0 up to"},
        {"hour rounding to 24", header + "7,100,7,100,125,0,0,0,23.99999999\n", 2,
         "the hour 23.99999999 is below 24 but becomes 24"},
        {"day 365", header + "7,100,7,100,125,0,0,365,5\n", 2, "the day 365 is not a whole number from 0 to 364"},
        {"frame skipped", header + good + "9,100,7,100,125,0,0,0,5\n", 3, "frame 9 follows frame 7"},
        {"too many rows", tooMany, int(kMaxPathPoses) + 2, "a path holds at most 360000 poses"},
    };
    for (const auto& c : cases) {
        const QString path = folder.filePath(QLatin1String(c.name) + QStringLiteral(".csv"));
        QVERIFY(writeFile(path, c.bytes));
        const QString frames = folder.filePath(QLatin1String(c.name));
        const ProgramRun run = runViewer({QStringLiteral("--camera-path"), path, QStringLiteral("--record"), frames});
        QCOMPARE(run.status, 2);
        const QString where =
            QStringLiteral("camera path %1, line %2: ").arg(QDir::toNativeSeparators(path)).arg(c.line);
        QVERIFY2(run.err.contains(where + QLatin1String(c.says)), qPrintable(c.name + QStringLiteral(": ") + run.err));
        QCOMPARE(QDir(frames).entryList(QDir::Files), QStringList());
    }
    const ProgramRun missing = runViewer(
        {QStringLiteral("--camera-path"), folder.filePath(QStringLiteral("none.csv"))});
    QCOMPARE(missing.status, 2);
    QVERIFY2(missing.err.contains(QStringLiteral("Cannot open file ")), qPrintable(missing.err));
}

QTEST_MAIN(CameraPathGLTest)
#include "CameraPathGLTest.moc"
