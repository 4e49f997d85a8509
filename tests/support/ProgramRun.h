#pragma once

// One of the project's programs (the viewer, the bench, an installed copy) run to its end as a
// user runs it from a shell, with what it printed and the status it ended with. Header only:
// the test of the installed program uses it without the GL support library.

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The shipped textures and example ground.
inline QString assetsFolder()
{
    return qEnvironmentVariable("TERRAIN_SOURCE_DIR") + QStringLiteral("/assets");
}

// Changes to the test's own environment for one run: variables removed, and NAME=value
// settings.
struct EnvironmentChange {
    QStringList removed;
    QStringList set;
};

struct ProgramRun {
    int status = -1; // the exit status; -1 when the program crashed or did not end in time
    QString out;
    QString err; // with the reason when the program did not end in time
};

// Long enough for a run of the viewer built with the sanitizers on a machine whose cores are
// all busy; a program that hangs still fails the test well within CTest's 600 s.
constexpr int kProgramTimeoutMs = 300000;

inline ProgramRun runProgram(const QString& program, const QStringList& arguments,
                             const QString& workingDirectory = QString(), const EnvironmentChange& change = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : change.removed)
        environment.remove(name);
    for (const QString& setting : change.set)
        environment.insert(setting.section(QLatin1Char('='), 0, 0), setting.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(environment);
    process.setProgram(program);
    process.setArguments(arguments);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start();
    ProgramRun run;
    if (!process.waitForFinished(kProgramTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("%1 did not end within %2 s: %3")
                      .arg(program)
                      .arg(kProgramTimeoutMs / 1000)
                      .arg(process.errorString());
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

#ifdef TERRAIN_VIEWER_BINARY
// The viewer built beside the test (its target defines TERRAIN_VIEWER_BINARY), run from the
// shipped assets unless another folder is given.
inline ProgramRun runViewer(const QStringList& arguments, const QString& workingDirectory = assetsFolder(),
                            const EnvironmentChange& change = {})
{
    return runProgram(QStringLiteral(TERRAIN_VIEWER_BINARY), arguments, workingDirectory, change);
}
#endif
