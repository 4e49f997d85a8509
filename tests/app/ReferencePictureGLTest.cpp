// A fixed scene compared with a committed reference picture: the whole start-up and 30
// frames at 10 in the morning, from the start-up camera, with the bump's walk from its start.
//
// Tolerance: a pixel counts as different when a channel differs by more than 6 steps of 255,
// and up to 0.5 % of the pixels may differ. llvmpipe builds of another LLVM or Mesa version
// round texture filtering, fog and blending a step or two differently and may move a few edge
// pixels; a real fault (a wrong layer, light, fog or sky colour, a missing pass, a shifted
// camera) changes far more of the picture than that.
//
// TERRAIN_UPDATE_REFERENCE=1 writes the picture drawn as the new reference instead.

#include "ImageCompare.h"
#include "StartedForm.h"
#include "WanderingBump.h"

#include <QDir>

class ReferencePictureGLTest : public QObject {
    Q_OBJECT
private slots:
    void morningScene();
};

void ReferencePictureGLTest::morningScene()
{
    StartedForm started;
    TForm1& form = *started.form;
    form.bumpRandom = RandomSource(); // the walk from its first draw, whatever ran before the timers stopped
    form.Panel1->makeCurrent();
    form.world.setHour(10.0f);
    for (int i = 0; i < 30; ++i)
        form.TimerForDrawingTimer();
    const QImage actual = form.Panel1->readFramebuffer();

    const QString referencePath = qEnvironmentVariable("TERRAIN_SOURCE_DIR") +
                                  QStringLiteral("/tests/app/reference/morning.png");
    if (qEnvironmentVariableIntValue("TERRAIN_UPDATE_REFERENCE") == 1) {
        QVERIFY(actual.save(referencePath));
        QSKIP("reference written");
    }
    const QImage reference = QImage(referencePath).convertToFormat(QImage::Format_RGB32);
    QVERIFY2(!reference.isNull(), qPrintable(referencePath));
    QCOMPARE(actual.size(), reference.size());
    COMPARE_IMAGES(actual, reference, QStringLiteral("morning"),
                   ImageTolerance::within(6, kAnyMeanStep).allowingOutliers(0.005));
}

QTEST_MAIN(ReferencePictureGLTest)
#include "ReferencePictureGLTest.moc"
