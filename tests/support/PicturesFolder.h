#pragma once

// The user's pictures folder, where F12 and F9 save, made one of the test's own: while the
// fixture lives, HOME names a temporary folder and QStandardPaths runs in its test mode, so
// the pictures folder lies inside it (HOME/.qttest/Pictures). Tests running side by side
// never see, or clear, each other's files.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <stdexcept>

class PicturesFolder {
public:
    enum Presence { Made, Missing };

    // Missing leaves the folder uncreated: the program then saves into the working folder.
    explicit PicturesFolder(Presence presence = Made) : previousHome_(qgetenv("HOME"))
    {
        if (!home_.isValid())
            throw std::runtime_error("no temporary folder for HOME");
        qputenv("HOME", QFile::encodeName(home_.path()));
        QStandardPaths::setTestModeEnabled(true);
        path_ = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        if (!path_.startsWith(home_.path() + QLatin1Char('/')))
            throw std::runtime_error("the pictures folder does not follow HOME");
        if (presence == Made && !QDir().mkpath(path_))
            throw std::runtime_error("the pictures folder cannot be made");
    }
    ~PicturesFolder() { qputenv("HOME", previousHome_); }
    PicturesFolder(const PicturesFolder&) = delete;
    PicturesFolder& operator=(const PicturesFolder&) = delete;

    QString path() const { return path_; }

private:
    QByteArray previousHome_;
    QTemporaryDir home_;
    QString path_;
};
