// Camera paths: recorded with F9 and replayed by the program frame for frame, pixel for pixel;
// the recorder on a full disk; path files read or refused with their line.

#include "CameraPath.h"
#include "FrameInstruments.h"
#include "ImageCompare.h"
#include "KeyCodes.h"
#include "StartedForm.h"
#include "ViewerError.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <csignal>
#include <sys/resource.h>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class CameraPathGLTest : public QObject {
    Q_OBJECT
private slots:
    // Keys, mouse and controls, in orbit and out: each frame as drawn (the back buffer before the
    // overlays) equals the program's replay. Recording starts some frames in, so the ground must be
    // stepped to it.
    void recordedFlightReplaysFrameByFrame()
    {
        QTemporaryDir folder;
        StartedForm started;
        TForm1& form = *started.form;
        QWindow* window = started.window();
        std::vector<QImage> drawn;
        FrameInstruments capture;
        capture.phaseEnded = [&](FramePhase phase) {
            if (phase == FramePhase::ColourPasses)
                drawn.push_back(form.Panel1->readFramebuffer());
        };
        form.instruments = &capture;
        for (int frame = 0; frame < 12; ++frame)
            form.TimerForDrawingTimer();
        drawn.clear();

        const QString path = folder.filePath(QStringLiteral("flight.csv"));
        const std::uint64_t firstFrame = form.frameSteps;
        form.startRecording(path);
        QVERIFY(form.recordingPath());
        enum Action { Press, Release, Click, Drag, Slider, Height };
        const struct {
            int frame;
            Action action;
            Qt::Key key;
        } steps[] = {{0, Press, Qt::Key_Up},        {2, Click, Qt::Key_F},         {3, Press, Qt::Key_D},
                     {6, Release, Qt::Key_D},       {7, Drag, Qt::Key_unknown},    {8, Press, Qt::Key_Space},
                     {9, Slider, Qt::Key_unknown},  {10, Press, Qt::Key_K},        {12, Release, Qt::Key_K},
                     {12, Click, Qt::Key_N},        {14, Release, Qt::Key_Space},  {15, Click, Qt::Key_F},
                     {15, Click, Qt::Key_L},        {16, Height, Qt::Key_unknown}, {17, Press, Qt::Key_Left},
                     {19, Release, Qt::Key_Left},   {20, Click, Qt::Key_L},        {20, Press, Qt::Key_W},
                     {22, Click, Qt::Key_PageDown}, {23, Release, Qt::Key_W},      {24, Release, Qt::Key_Up}};
        constexpr int kFrames = 26;
        bool orbited = false, skyHidden = false;
        for (int frame = 0; frame < kFrames; ++frame) {
            for (const auto& step : steps) {
                if (step.frame != frame)
                    continue;
                switch (step.action) {
                case Press: QTest::keyPress(window, step.key); break;
                case Release: QTest::keyRelease(window, step.key); break;
                case Click: QTest::keyClick(window, step.key); break;
                case Drag:
                    QTest::mousePress(window, Qt::LeftButton, {}, QPoint(500, 300));
                    QTest::mouseMove(window, QPoint(560, 270));
                    QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(560, 270));
                    break;
                case Slider: form.TrackBar2->setValue(form.TrackBar2->value() + 25); break;
                case Height:
                    form.Edit1->setText(QStringLiteral("40000"));
                    form.Button1->click();
                    break;
                }
            }
            for (int tick = 0; tick < 7; ++tick)
                form.TimerBigBenTimer();
            form.TimerForDrawingTimer();
            orbited = orbited || form.camera.orbiting;
            skyHidden = skyHidden || form.KeyState[vk::letter('K')];
        }
        QVERIFY(orbited && skyHidden && form.showNormals);
        form.updateModeLine();
        QVERIFY(form.overlays->modeLine.text().contains(QStringLiteral("Recording path (%1 frames)").arg(kFrames)));
        QTest::keyClick(window, Qt::Key_F9);
        QVERIFY(!form.recordingPath());
        QCOMPARE(form.overlays->messagePanel.text(), QStringLiteral("Saved path ") + QDir::toNativeSeparators(path));
        form.instruments = nullptr;
        QCOMPARE(int(drawn.size()), kFrames);

        const CameraPathFile file = readCameraPathFile(path);
        QCOMPARE(file.version, 2);
        QCOMPARE(int(file.poses.size()), kFrames);
        QCOMPARE(file.poses.front().frame, firstFrame);
        QCOMPARE(file.settings->viewPixels, form.Panel1->size());

        // Played back by a fresh program, frame for frame, the scene alone.
        QTemporaryDir out;
        const ProgramRun run = runViewer({QStringLiteral("--camera-path"), path, QStringLiteral("--record"), out.path(),
                                          QStringLiteral("--scene-only")});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        const QStringList frames = QDir(out.path()).entryList(QDir::Files, QDir::Name);
        QCOMPARE(frames.size(), kFrames);
        for (int i = 0; i < kFrames; ++i) {
            const QImage replayed(QDir(out.path()).filePath(frames[i]));
            QCOMPARE(replayed.size(), drawn[std::size_t(i)].size());
            COMPARE_IMAGES(replayed, drawn[std::size_t(i)], QStringLiteral("path-frame-%1").arg(i),
                           ImageTolerance::identical());
        }
    }

    // A path starting at frame 40: its first played frame leaves the bump (centre, heights) as recorded.
    void playbackStepsTheBumpToThePath()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("late.csv"));
        struct Bump {
            std::int32_t column = 0, row = 0;
            std::vector<float> heights;
        } recorded, played;
        const auto bumpOf = [](const TForm1& form) {
            Bump bump{form.bumpColumn, form.bumpRow, {}};
            const std::size_t vertices = std::size_t(form.landscape.width) * form.landscape.depth;
            for (std::size_t k = 0; k < vertices; ++k)
                bump.heights.push_back(form.landscape.positions[k].y);
            return bump;
        };
        {
            StartedForm started;
            for (int frame = 0; frame < 40; ++frame)
                started.form->TimerForDrawingTimer();
            started.form->startRecording(path);
            QVERIFY(started.form->frameSteps >= 40);
            started.form->TimerForDrawingTimer();
            recorded = bumpOf(*started.form);
            started.form->TimerForDrawingTimer();
            QTest::keyClick(started.window(), Qt::Key_F9);
        }
        StartedForm started;
        const std::vector<PathPose> poses = readCameraPath(path);
        QVERIFY(poses.front().frame >= 40);
        started.form->playPath(poses, PathPlayback::Mode::Once);
        started.form->TimerForDrawingTimer();
        played = bumpOf(*started.form);
        QCOMPARE(played.column, recorded.column);
        QCOMPARE(played.row, recorded.row);
        QVERIFY(played.heights == recorded.heights);
    }

    // A second recording counts its own frames; closing the window mid-recording keeps every frame.
    void secondRecordingAndClosing()
    {
        QTemporaryDir folder;
        const QString first = folder.filePath(QStringLiteral("first.csv"));
        const QString second = folder.filePath(QStringLiteral("second.csv"));
        const QString third = folder.filePath(QStringLiteral("third.csv"));
        StartedForm started;
        TForm1& form = *started.form;
        const struct {
            QString path;
            int frames;
        } recordings[] = {{first, 3}, {second, 2}};
        for (const auto& recording : recordings) {
            form.startRecording(recording.path);
            for (int i = 0; i < recording.frames; ++i)
                form.TimerForDrawingTimer();
            form.updateModeLine();
            QCOMPARE(form.overlays->modeLine.text(),
                     QStringLiteral("Recording path (%1 frames)").arg(recording.frames));
            QTest::keyClick(started.window(), Qt::Key_F9);
            QCOMPARE(int(readCameraPath(recording.path).size()), recording.frames);
        }
        QCOMPARE(readCameraPath(second).front().frame, readCameraPath(first).back().frame + 1);
        form.startRecording(third);
        form.TimerForDrawingTimer();
        form.TimerForDrawingTimer();
        form.close();
        QVERIFY(!form.recordingPath());
        QCOMPARE(int(readCameraPath(third).size()), 2);
        QVERIFY(started.errors.isEmpty());
    }

    // A file-size limit stands in for a full disk: the frame whose line does not fit stops the
    // recording and says so, the file keeps the whole lines before it; /dev/full fails the start.
    void recorderStopsAtOnceWhenTheDiskIsFull()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("full.csv"));
        StartedForm started;
        TForm1& form = *started.form;
        form.startRecording(path);
        const qint64 header = QFileInfo(path).size();
        QVERIFY(header > 0);
        form.TimerForDrawingTimer();
        const qint64 line = QFileInfo(path).size() - header;

        // Room for two more lines and half of a third.
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &limit), 0);
        const rlimit saved = limit;
        limit.rlim_cur = rlim_t(header + line * 3 + line / 2);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
        int stoppedAt = -1;
        for (int frame = 1; frame < 8 && stoppedAt < 0; ++frame) {
            form.runHandler([&form] { form.TimerForDrawingTimer(); });
            if (!form.recordingPath())
                stoppedAt = frame;
        }
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);

        QCOMPARE(stoppedAt, 3);
        QCOMPARE(started.errors.size(), 1);
        QVERIFY2(started.errors.first().startsWith(QStringLiteral("Recording stopped: cannot write the path %1: ")
                                                       .arg(QDir::toNativeSeparators(path))) &&
                     started.errors.first().endsWith(QStringLiteral("The file keeps the first 3 frames.")),
                 qPrintable(started.errors.first()));
        QVERIFY(!form.overlays->modeLine.isVisible());
        QCOMPARE(int(readCameraPath(path).size()), 3);

        try {
            form.startRecording(QStringLiteral("/dev/full"));
            QFAIL("a recording into /dev/full started");
        } catch (const ViewerError& error) {
            QVERIFY2(QString::fromUtf8(error.what()).contains(QStringLiteral("/dev/full")), error.what());
        }
        QVERIFY(!form.recordingPath());
    }

    // What an editor makes of a path (byte-order mark, CR LF, blank lines at the end) still reads;
    // the settings line keeps a flight's view distance and ground, and one written before either
    // was kept reads as the designed view over the built-in hills.
    void pathFilesAreRead()
    {
        QTemporaryDir folder;
        const QByteArray header = QByteArray(kCameraPathHeader);
        PathPose pose;
        pose.frame = 3;
        pose.position = {100.0, 7.0, 100.0};
        pose.hasScene = true;
        pose.target = {101.0, 7.0, 100.0};
        pose.up = {0.0, 1.0, 0.0};
        pose.atmosphereHeightMetres = 100000.0f;
        const QByteArray rows = QByteArray(kCameraPathHeaderV2) + '\n' + pathLine(pose).toUtf8() + '\n';
        const QByteArray older("# terrain-viewer camera path, version 2; latitude 40; tilt 23.27; view 1012x614\n");
        const struct {
            const char* name;
            QByteArray bytes;
            float viewDistance; // 0: a file of version 1
            const char* ground;
        } cases[] = {
            {"plain", header + "\n7,100,7,100,125,0,0,0,5\n8,101,7,100,125,0,0,0,5", 0.0f, ""},
            {"byte-order mark", "\xEF\xBB\xBF" + header + "\n7,100,7,100,125,0,0,0,5\n8,101,7,100,125,0,0,0,5\n", 0.0f,
             ""},
            {"CR LF", header + "\r\n7,100,7,100,125,0,0,0,5\r\n8,101,7,100,125,0,0,0,5\r\n", 0.0f, ""},
            {"blank lines after", header + "\n7,100,7,100,125,0,0,0,5\n8,101,7,100,125,0,0,0,5\n\n \r\n\n", 0.0f, ""},
            {"written",
             pathSettingsLine({-7.9f, 23.27f, QSize(800, 500), 2000.0f, QStringLiteral("olinda dem.tif")}).toUtf8() +
                 '\n' + rows,
             2000.0f, "olinda dem.tif"},
            {"built-in", pathSettingsLine({40.0f, 23.27f, QSize(800, 500), 50.0f, QString()}).toUtf8() + '\n' + rows,
             50.0f, ""},
            {"older", older + rows, 50.0f, ""},
        };
        for (const auto& c : cases) {
            const QString path = folder.filePath(QLatin1String(c.name) + QStringLiteral(".csv"));
            QVERIFY(writeFile(path, c.bytes));
            const CameraPathFile file = readCameraPathFile(path);
            if (c.viewDistance == 0.0f) {
                QCOMPARE(file.version, 1);
                QCOMPARE(int(file.poses.size()), 2);
                QCOMPARE(file.poses[1].position.x, 101.0);
                QVERIFY(!file.poses[1].hasScene);
            } else {
                QVERIFY2(file.settings, c.name);
                QCOMPARE(file.settings->viewDistance, c.viewDistance);
                QCOMPARE(file.settings->groundName, QString::fromUtf8(c.ground));
                QCOMPARE(int(file.poses.size()), 1);
            }
        }
    }

    // Each refused with status 2 and its file and line, and with --record not one frame written.
    void badPathFilesAreRefused()
    {
        QTemporaryDir folder;
        const QByteArray header = QByteArray(kCameraPathHeader) + '\n';
        const QByteArray good = "7,100,7,100,125,0,0,0,5\n";
        const QByteArray v2 =
            pathSettingsLine(PathSettings{40.0f, 23.27f, QSize(1012, 614), 50.0f, QString()}).toLatin1() + '\n' +
            kCameraPathHeaderV2 + '\n';
        const auto v2Pose = [](const char* target, const char* up = "0,1,0") {
            return QByteArray("7,100,7,100,125,0,0,0,5,") + target + ',' + up + ",100,100,1,0,0.1,0.2,0.3,100000\n";
        };
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
            {"far x", header + "7,1e300,7,100,125,0,0,0,5\n", 2, "the x 1e+300 lies beyond 1e+06, outside any ground"},
            {"far y", header + good + "8,100,-200000,100,125,0,0,0,5\n", 3, "the y -200000 lies beyond 100000"},
            {"blank line between", header + good + "\n8,100,7,100,125,0,0,0,5\n", 3, "a blank line between poses"},
            {"mark before other header", "\xEF\xBB\xBF" + QByteArray("frame,x\n") + good, 1,
             "the first line must be the header"},
            {"version 2 short row", v2 + good, 3, "9 values instead of the 23"},
            {"version 2 far target", v2 + v2Pose("1e7,7,100"), 3, "the target x 1e+07 lies beyond 1e+06"},
            {"version 2 zero up", v2 + v2Pose("101,7,100", "0,0,0"), 3, "the up vector's length 0 is not near 1"},
            {"version 2 tilt",
             QByteArray("# terrain-viewer camera path, version 2; latitude 40; tilt 91; view "
                        "1012x614\n") +
                 kCameraPathHeaderV2 + "\n",
             1, "the tilt '91' is not a number from -90 to 90"},
            {"view distance 9000",
             "# terrain-viewer camera path, version 2; latitude 40; tilt 23.27; view 1012x614; view distance 9000\n" +
                 QByteArray(kCameraPathHeaderV2) + '\n' + v2Pose("101,7,100"),
             1, "the view distance '9000' is not a number from 50 to 4000"},
        };
        for (const auto& c : cases) {
            const QString path = folder.filePath(QLatin1String(c.name) + QStringLiteral(".csv"));
            QVERIFY(writeFile(path, c.bytes));
            const QString frames = folder.filePath(QLatin1String(c.name));
            const ProgramRun run = runViewer(
                {QStringLiteral("--camera-path"), path, QStringLiteral("--record"), frames});
            QCOMPARE(run.status, 2);
            const QString where =
                QStringLiteral("camera path %1, line %2: ").arg(QDir::toNativeSeparators(path)).arg(c.line);
            QVERIFY2(run.err.contains(where + QLatin1String(c.says)),
                     qPrintable(c.name + QStringLiteral(": ") + run.err));
            // Refused before anything is made: not even the frames' folder.
            QVERIFY2(!QFileInfo::exists(frames), c.name);
        }
        const ProgramRun isFolder = runViewer({QStringLiteral("--camera-path"), folder.path()});
        QCOMPARE(isFolder.status, 2);
        QVERIFY2(isFolder.err.contains(
                     QStringLiteral("camera path %1: it is a folder").arg(QDir::toNativeSeparators(folder.path()))),
                 qPrintable(isFolder.err));
        const ProgramRun missing = runViewer(
            {QStringLiteral("--camera-path"), folder.filePath(QStringLiteral("none.csv"))});
        QCOMPARE(missing.status, 2);
        QVERIFY2(missing.err.contains(QStringLiteral("Cannot open file ")), qPrintable(missing.err));
    }
};

QTEST_MAIN(CameraPathGLTest)
#include "CameraPathGLTest.moc"
