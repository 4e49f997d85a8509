// The solar clock on a real context: the day carry of setHour and advance, and the sun
// matrix composed on GL's modelview stack.

#include "World.h"
#include "WorldGlSupport.h"

#include <GL/glu.h>
#include <memory>

namespace {

// The sun direction: the second column of the sun matrix.
QString column(const TWorld& world)
{
    return QString("(%1, %2, %3)")
        .arg(double(world.sunMatrix[4]), 0, 'f', 5)
        .arg(double(world.sunMatrix[5]), 0, 'f', 5)
        .arg(double(world.sunMatrix[6]), 0, 'f', 5);
}

} // namespace

class SolarClockGLTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void firstUseDefaults();
    void setHourCarriesWholeDays();
    void advanceAcrossMidnight();
    void yearWraps();
    void negativeHour();
    void sunDirection_data();
    void sunDirection();
    void sunMatrixIsRotation();
    void callerMatrixKept();
    void designedSunHeightIsTheMatrixHeight();

private:
    std::unique_ptr<GlTestPanel> panel_;
};

void SolarClockGLTest::initTestCase()
{
    panel_ = std::make_unique<GlTestPanel>();
    setUpViewerState(*panel_);
    VERIFY_NO_GL_ERROR();
}

void SolarClockGLTest::init()
{
    panel_->makeCurrent();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void SolarClockGLTest::cleanupTestCase()
{
    panel_.reset();
}

void SolarClockGLTest::firstUseDefaults()
{
    TWorld world;
    world.setHour(5.0f);
    QCOMPARE(world.daysPerYear, 365u);
    QCOMPARE(world.hoursPerDay, 24.0f);
    QCOMPARE(world.day, 0u);
    QCOMPARE(world.hour, 5.0f);
    // The matrix is written: hour 5 puts the sun below the horizon.
    QVERIFY(world.sunMatrix[15] == 1.0f);
    QVERIFY(world.sunMatrix[5] < 0.0f);

    TWorld advanced;
    advanced.advance(0.005f);
    QCOMPARE(advanced.daysPerYear, 365u);
    QCOMPARE(advanced.hoursPerDay, 24.0f);
    QCOMPARE(advanced.hour, 0.005f);
    QVERIFY(advanced.sunMatrix[15] == 1.0f);

    // Counts set before are kept.
    TWorld custom;
    custom.daysPerYear = 100;
    custom.hoursPerDay = 10.0f;
    custom.setHour(25.0f);
    QCOMPARE(custom.daysPerYear, 100u);
    QCOMPARE(custom.hoursPerDay, 10.0f);
    QCOMPARE(custom.day, 2u);
    QCOMPARE(custom.hour, 5.0f);
    VERIFY_NO_GL_ERROR();
}

void SolarClockGLTest::setHourCarriesWholeDays()
{
    TWorld world;
    world.setHour(24.0f);
    QCOMPARE(world.day, 1u);
    QCOMPARE(world.hour, 0.0f);

    TWorld other;
    other.setHour(50.0f);
    QCOMPARE(other.day, 2u);
    QCOMPARE(other.hour, 2.0f);
    // The previous hour is discarded, whole days are added to the current day.
    other.setHour(30.0f);
    QCOMPARE(other.day, 3u);
    QCOMPARE(other.hour, 6.0f);
    other.setHour(1.5f);
    QCOMPARE(other.day, 3u);
    QCOMPARE(other.hour, 1.5f);
    VERIFY_NO_GL_ERROR();
}

void SolarClockGLTest::advanceAcrossMidnight()
{
    TWorld world;
    world.setHour(23.999f);
    world.advance(0.005f);
    QCOMPARE(world.day, 1u);
    QVERIFY2(std::fabs(world.hour - 0.004f) < 1e-4f, qPrintable(QString::number(double(world.hour), 'g', 9)));
    // The sum is formed in single precision before the carry.
    QCOMPARE(world.hour, (23.999f + 0.005f) - 24.0f);

    // Many small steps add up: 1000 steps of 0.05 h make 50 hours.
    TWorld stepped;
    stepped.setHour(0.0f);
    for (int i = 0; i < 1000; ++i)
        stepped.advance(0.05f);
    QCOMPARE(stepped.day, 2u);
    QVERIFY(std::fabs(stepped.hour - 2.0f) < 0.01f);
    VERIFY_NO_GL_ERROR();
}

void SolarClockGLTest::yearWraps()
{
    TWorld world;
    world.setHour(23.5f);
    world.day = 364;
    world.advance(1.0f);
    QCOMPARE(world.day, 0u);
    QCOMPARE(world.hour, 0.5f);

    TWorld viaSetHour;
    viaSetHour.setHour(0.0f);
    viaSetHour.day = 364;
    viaSetHour.setHour(48.0f);
    QCOMPARE(viaSetHour.day, 1u);
    QCOMPARE(viaSetHour.hour, 0.0f);
    VERIFY_NO_GL_ERROR();
}

void SolarClockGLTest::negativeHour()
{
    TWorld world;
    world.setHour(0.0f);
    world.day = 5;
    world.setHour(-3.0f);
    QCOMPARE(world.day, 5u);
    QCOMPARE(world.hour, -3.0f);
    // The hour angle is -225 degrees, the same turn as +135: hour 21 of the same day.
    float negative[16];
    std::copy(world.sunMatrix, world.sunMatrix + 16, negative);
    world.setHour(21.0f);
    for (int i = 0; i < 16; ++i)
        QVERIFY2(std::fabs(negative[i] - world.sunMatrix[i]) < 1e-5f, qPrintable(QString("element %1").arg(i)));

    // advance keeps a negative sum as it is, too.
    world.setHour(0.5f);
    world.advance(-1.0f);
    QCOMPARE(world.day, 5u);
    QCOMPARE(world.hour, -0.5f);
    VERIFY_NO_GL_ERROR();
}

void SolarClockGLTest::sunDirection_data()
{
    QTest::addColumn<unsigned>("day");
    QTest::addColumn<float>("hour");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<double>("z");
    QTest::addRow("day 0, hour 12") << 0u << 12.0f << -0.8931 << 0.4498 << 0.0;
    QTest::addRow("day 0, hour 0") << 0u << 0.0f << -0.2879 << -0.9577 << 0.0;
    QTest::addRow("day 0, hour 6") << 0u << 6.0f << -0.5905 << -0.2539 << 0.7660;
    QTest::addRow("day 0, hour 18") << 0u << 18.0f << -0.5905 << -0.2539 << -0.7660;
    QTest::addRow("day 91, hour 12") << 91u << 12.0f << -0.8931 << 0.0019 << 0.4498;
    QTest::addRow("day 182, hour 12") << 182u << 12.0f << -0.8931 << -0.4498 << 0.0039;
}

void SolarClockGLTest::sunDirection()
{
    QFETCH(unsigned, day);
    QFETCH(float, hour);
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(double, z);
    TWorld world;
    world.setHour(0.0f);
    world.day = day;
    world.setHour(hour);
    QCOMPARE(world.day, day);
    // Four decimals: half a unit of the last digit, plus single-precision rounding.
    const double tolerance = 0.00006;
    QVERIFY2(std::fabs(world.sunMatrix[4] - x) <= tolerance && std::fabs(world.sunMatrix[5] - y) <= tolerance &&
                 std::fabs(world.sunMatrix[6] - z) <= tolerance,
             qPrintable(column(world)));
    VERIFY_NO_GL_ERROR();
}

void SolarClockGLTest::sunMatrixIsRotation()
{
    TWorld world;
    for (float hour : {0.0f, 5.0f, 9.25f, 12.0f, 17.5f}) {
        world.setHour(hour);
        const float* m = world.sunMatrix;
        for (int i : {3, 7, 11, 12, 13, 14})
            QCOMPARE(m[i], 0.0f);
        QCOMPARE(m[15], 1.0f);
    }
    // Noon is the highest sun of the day.
    world.setHour(12.0f);
    const float noon = world.sunMatrix[5];
    for (float hour : {6.0f, 11.0f, 13.0f, 18.0f}) {
        world.setHour(hour);
        QVERIFY(world.sunMatrix[5] < noon);
    }
    VERIFY_NO_GL_ERROR();
}

void SolarClockGLTest::callerMatrixKept()
{
    // A non-identity view with a translation, and a projection that must not be touched.
    glLoadIdentity();
    gluLookAt(3.0, 4.0, 5.0, 10.0, 2.0, -1.0, 0.0, 1.0, 0.0);
    glTranslatef(1.5f, -2.0f, 0.25f);
    const std::array<GLfloat, 16> before = modelviewMatrix();
    GLfloat projectionBefore[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projectionBefore);
    const GLint depthBefore = integerState(GL_MODELVIEW_STACK_DEPTH);

    TWorld world;
    world.setHour(7.0f);
    world.advance(30.0f);
    world.updateSunMatrix();

    QCOMPARE(integerState(GL_MATRIX_MODE), GLint(GL_MODELVIEW));
    QCOMPARE(integerState(GL_MODELVIEW_STACK_DEPTH), depthBefore);
    const std::array<GLfloat, 16> after = modelviewMatrix();
    for (int i = 0; i < 16; ++i)
        QCOMPARE(after[std::size_t(i)], before[std::size_t(i)]);
    GLfloat projectionAfter[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projectionAfter);
    for (int i = 0; i < 16; ++i)
        QCOMPARE(projectionAfter[i], projectionBefore[i]);
    // The sun matrix does not depend on the caller's matrix.
    TWorld fresh;
    glLoadIdentity();
    fresh.setHour(7.0f);
    fresh.advance(30.0f);
    for (int i = 0; i < 16; ++i)
        QCOMPARE(fresh.sunMatrix[i], world.sunMatrix[i]);
    VERIFY_NO_GL_ERROR();
}

QTEST_MAIN(SolarClockGLTest)
#include "SolarClockGLTest.moc"

void SolarClockGLTest::designedSunHeightIsTheMatrixHeight()
{
    // The double-precision height --describe finds sunrise with is the height of the matrix
    // the clock composes on the GL stack (single precision: 1e-5).
    TWorld world;
    for (const std::uint32_t day : {0u, 91u, 182u, 300u})
        for (const float latitude : {40.0f, -30.0f, 66.0f})
            for (const float hour : {0.0f, 5.0f, 9.5f, 12.0f, 17.25f, 23.0f}) {
                world.day = day;
                world.latitude = latitude;
                world.axialTilt = 23.27f;
                world.setHour(hour);
                const double expected = designedSunHeight(day, double(hour), 23.27, double(latitude));
                QVERIFY2(std::fabs(double(world.sunMatrix[5]) - expected) < 1e-5,
                         qPrintable(QString("day %1 latitude %2 hour %3: %4 against %5")
                                        .arg(day)
                                        .arg(double(latitude))
                                        .arg(double(hour))
                                        .arg(double(world.sunMatrix[5]))
                                        .arg(expected)));
            }
}
