#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for beyond the default run. Without options the viewer runs as
// an ordinary interactive window.
struct ViewerOptions {
    QString screenshotPath;  // non-empty: draw `frames` frames, save the window as PNG, exit
    int frames = 60;         // frames drawn before the screenshot
    bool batchedTerrain = true; // --terrain batched (default) or literal
    float startHour = -1.0f; // >= 0: the simulated clock starts at this hour instead of 5
};

// Parses the arguments (argv[0] first). Prints --help / --version or an error itself and
// returns false with the exit status in *exitStatus when the program should stop there.
bool parseCommandLine(const QStringList& arguments, ViewerOptions* options, int* exitStatus);
