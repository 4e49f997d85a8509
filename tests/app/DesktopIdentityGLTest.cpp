// What the desktop is given by the real window: the icon, the committed pictures of the one
// design at each installed size, and the desktop file name (the app id on Wayland), which must
// be the menu entry's own file name for a dock to match the window to its launcher.

#include "DesktopIdentity.h"
#include "StartedForm.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QWindow>

class DesktopIdentityGLTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void windowIconHasTheInstalledSizes();
    void windowIconIsTheCommittedPicture_data();
    void windowIconIsTheCommittedPicture();
    void desktopFileNameIsTheMenuEntrys();

private:
    std::unique_ptr<StartedForm> started;
};

void DesktopIdentityGLTest::initTestCase()
{
    setDesktopIdentity();
    started = std::make_unique<StartedForm>();
}

void DesktopIdentityGLTest::windowIconHasTheInstalledSizes()
{
    const QIcon icon = started->window()->icon();
    QVERIFY(!icon.isNull());
    QList<QSize> sizes;
    for (const int side : kIconSidesPixels)
        sizes << QSize(side, side);
    QCOMPARE(icon.availableSizes(), sizes);
}

void DesktopIdentityGLTest::windowIconIsTheCommittedPicture_data()
{
    QTest::addColumn<int>("side");
    for (const int side : kIconSidesPixels)
        QTest::newRow(qPrintable(QString::number(side))) << side;
}

void DesktopIdentityGLTest::windowIconIsTheCommittedPicture()
{
    QFETCH(int, side);
    const QString path = qEnvironmentVariable("TERRAIN_SOURCE_DIR") +
                         QStringLiteral("/packaging/icons/terrain-viewer-%1.png").arg(side);
    const QImage committed = QImage(path).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(committed.size(), QSize(side, side));
    const QImage shown = started->window()
                             ->icon()
                             .pixmap(QSize(side, side))
                             .toImage()
                             .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QVERIFY2(shown == committed, qPrintable(path));
}

void DesktopIdentityGLTest::desktopFileNameIsTheMenuEntrys()
{
    const QFileInfo entry(QStringLiteral(TERRAIN_DESKTOP_ENTRY));
    QVERIFY2(entry.isFile(), qPrintable(entry.filePath()));
    QCOMPARE(QGuiApplication::desktopFileName() + QStringLiteral(".desktop"), entry.fileName());
}

QTEST_MAIN(DesktopIdentityGLTest)
#include "DesktopIdentityGLTest.moc"
