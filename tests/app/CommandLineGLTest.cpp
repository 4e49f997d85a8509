// The viewer binary as a user runs it: the options the README lists, their errors, and a run
// from a folder without textures, which finds the shipped ones.

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run runViewer(const QStringList& arguments, const QString& workingDirectory = QString())
{
    QProcess process;
    process.setProgram(QStringLiteral(TERRAIN_VIEWER_BINARY));
    process.setArguments(arguments);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start();
    Run run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

} // namespace

class CommandLineGLTest : public QObject {
    Q_OBJECT
private slots:
    void help();
    void version();
    void badOptions_data();
    void badOptions();
    void screenshot();
    void screenshotFromAnotherFolder();
    void unwritableScreenshot();
};

void CommandLineGLTest::help()
{
    const Run run = runViewer({QStringLiteral("--help")});
    QCOMPARE(run.status, 0);
    for (const char* expected : {"--screenshot", "--frames", "--hour", "--terrain", "Esc", "orbit"})
        QVERIFY2(run.out.contains(QLatin1String(expected)), expected);
}

void CommandLineGLTest::version()
{
    const Run run = runViewer({QStringLiteral("--version")});
    QCOMPARE(run.status, 0);
    QVERIFY(run.out.startsWith(QStringLiteral("terrain-viewer ")));
}

void CommandLineGLTest::badOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown") << QStringList{"--bogus"} << "bogus";
    QTest::newRow("frames") << QStringList{"--frames", "0"} << "--frames";
    QTest::newRow("terrain") << QStringList{"--terrain", "fast"} << "--terrain";
    QTest::newRow("hour") << QStringList{"--hour", "25"} << "--hour";
    QTest::newRow("argument") << QStringList{"extra"} << "extra";
}

void CommandLineGLTest::badOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const Run run = runViewer(arguments);
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
}

void CommandLineGLTest::screenshot()
{
    // The README's screenshot command, into a scratch folder.
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("shot.png"));
    const QString assets = qEnvironmentVariable("TERRAIN_SOURCE_DIR") + QStringLiteral("/assets");
    const Run run = runViewer({QStringLiteral("--screenshot"), path, QStringLiteral("--frames"), QStringLiteral("40"),
                               QStringLiteral("--hour"), QStringLiteral("10")},
                              assets);
    QVERIFY2(run.status == 0, qPrintable(run.err));
    const QImage image(path);
    QCOMPARE(image.size(), QSize(1012, 614));
    // The panels are in the top-left corner, the lit scene to their right.
    const QColor panel = image.pixelColor(29, 150);
    QVERIFY2(panel.red() == panel.green() && panel.green() == panel.blue() && panel.red() > 200, qPrintable(panel.name()));
    const QColor sky = image.pixelColor(400, 100);
    QVERIFY2(sky.blue() > sky.red(), qPrintable(sky.name()));
    const QColor ground = image.pixelColor(600, 590);
    QVERIFY2(ground.red() + ground.green() + ground.blue() > 30, qPrintable(ground.name()));
}

void CommandLineGLTest::screenshotFromAnotherFolder()
{
    // No textures in the working folder: the shipped ones are found, no error is printed.
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("shot.png"));
    const Run run = runViewer({QStringLiteral("--screenshot"), path, QStringLiteral("--frames"), QStringLiteral("5")},
                              folder.path());
    QCOMPARE(run.status, 0);
    QVERIFY2(!run.err.contains(QStringLiteral("Cannot open file")), qPrintable(run.err));
    QVERIFY(QFileInfo::exists(path));
}

void CommandLineGLTest::unwritableScreenshot()
{
    const Run run = runViewer({QStringLiteral("--screenshot"), QStringLiteral("/nonexistent-folder/shot.png")});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(QStringLiteral("cannot write the screenshot")), qPrintable(run.err));
}

QTEST_GUILESS_MAIN(CommandLineGLTest)
#include "CommandLineGLTest.moc"
