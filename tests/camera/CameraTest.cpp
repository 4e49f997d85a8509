#include "Camera.h"
#include "ViewerError.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The camera works in double precision; 1e-12 leaves room for a few roundings of values of
// order 100 (the start-up position) without hiding a wrong formula.
constexpr double kTolerance = 1e-12;
constexpr double kRadToDeg = 57.29577951308232;

const double kPi = std::acos(-1.0);

double degToRad(double degrees)
{
    return degrees * kPi / 180.0;
}

bool near(const Vec3d& a, const Vec3d& b, double tolerance)
{
    return std::fabs(a.x - b.x) <= tolerance && std::fabs(a.y - b.y) <= tolerance && std::fabs(a.z - b.z) <= tolerance;
}

QByteArray text(const Vec3d& v)
{
    return QByteArray("(") + QByteArray::number(v.x, 'g', 17) + ", " + QByteArray::number(v.y, 'g', 17) + ", " +
           QByteArray::number(v.z, 'g', 17) + ")";
}

// Exact equality of every field: for operations that must change nothing.
bool sameState(const Camera& a, const Camera& b)
{
    auto same = [](const Vec3d& u, const Vec3d& v) { return u.x == v.x && u.y == v.y && u.z == v.z; };
    return same(a.position, b.position) && same(a.target, b.target) && same(a.forward, b.forward) && same(a.up, b.up) &&
           same(a.right, b.right) && a.yaw == b.yaw && a.pitch == b.pitch && a.roll == b.roll &&
           a.orbiting == b.orbiting && a.orbitDistance == b.orbitDistance && a.minOrbitDistance == b.minOrbitDistance;
}

// A 3x3 rotation, row-major, so the test can build the expected basis by composing the three
// elementary turns instead of repeating the closed form.
struct Mat3 {
    double m[3][3];
};

Mat3 multiply(const Mat3& a, const Mat3& b)
{
    Mat3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}

Vec3d apply(const Mat3& a, const Vec3d& v)
{
    return {a.m[0][0] * v.x + a.m[0][1] * v.y + a.m[0][2] * v.z, a.m[1][0] * v.x + a.m[1][1] * v.y + a.m[1][2] * v.z,
            a.m[2][0] * v.x + a.m[2][1] * v.y + a.m[2][2] * v.z};
}

// Yaw carries +x towards +z about the y axis.
Mat3 yawTurn(double degrees)
{
    const double c = std::cos(degToRad(degrees)), s = std::sin(degToRad(degrees));
    return {{{c, 0, -s}, {0, 1, 0}, {s, 0, c}}};
}

// Pitch lifts +x towards +y about the z axis.
Mat3 pitchTurn(double degrees)
{
    const double c = std::cos(degToRad(degrees)), s = std::sin(degToRad(degrees));
    return {{{c, -s, 0}, {s, c, 0}, {0, 0, 1}}};
}

// Roll carries +y towards +z about the x axis (the view direction of the unturned camera).
Mat3 rollTurn(double degrees)
{
    const double c = std::cos(degToRad(degrees)), s = std::sin(degToRad(degrees));
    return {{{1, 0, 0}, {0, c, -s}, {0, s, c}}};
}

// A camera in orbit mode around target, its eye at eye, with the given minimum distance.
Camera orbitingCamera(const Vec3d& eye, const Vec3d& target, double minDistance)
{
    Camera camera;
    camera.setPosition(eye);
    camera.setAngles(0, 0, 0);
    camera.enterOrbit(target, minDistance);
    return camera;
}

} // namespace

#define VERIFY_NEAR(actual, expected, tolerance)                                                                       \
    QVERIFY2(near((actual), (expected), (tolerance)),                                                                  \
             QByteArray(#actual " = " + text(actual) + ", expected " + text(expected)).constData())

// The invariant of the current mode and the orthonormal, right-handed basis.
#define VERIFY_INVARIANTS(camera)                                                                                      \
    do {                                                                                                               \
        const Camera& c_ = (camera);                                                                                   \
        QVERIFY(std::fabs(length(c_.forward) - 1.0) <= kTolerance);                                                    \
        QVERIFY(std::fabs(length(c_.up) - 1.0) <= kTolerance);                                                         \
        QVERIFY(std::fabs(length(c_.right) - 1.0) <= kTolerance);                                                      \
        VERIFY_NEAR(c_.right, cross(c_.forward, c_.up), kTolerance);                                                   \
        QVERIFY(std::fabs(dot(c_.forward, c_.up)) <= kTolerance);                                                      \
        if (c_.orbiting) {                                                                                             \
            VERIFY_NEAR(c_.position, c_.target - c_.forward * c_.orbitDistance, 1e-9);                                 \
            QVERIFY(c_.orbitDistance >= c_.minOrbitDistance);                                                          \
        } else {                                                                                                       \
            VERIFY_NEAR(c_.target, c_.position + c_.forward, 1e-9);                                                    \
        }                                                                                                              \
    } while (false)

class CameraTest : public QObject {
    Q_OBJECT

private slots:
    void wrapAngleReducesByWholeTurnsKeepingSign_data();
    void wrapAngleReducesByWholeTurnsKeepingSign();
    void zeroCameraIsAllZeroAndFree();
    void startUpPlacementLooksAlongYaw125();
    void basisMatchesComposedRotations_data();
    void basisMatchesComposedRotations();
    void pitchPastVerticalLooksBackOverTheTop();
    void rollNeverChangesForward();
    void anglesAreWrappedOnSetAndTurn();
    void freeTurnsAddDeltaAndReanchorTarget();
    void orbitTurnsInvertYawAndPitchButNotRoll();
    void orbitZoomClampsAtMinimum_data();
    void orbitZoomClampsAtMinimum();
    void orbitSidewaysAndVerticalAmountsAreArcs();
    void orbitArcUsesMeanOfOldAndNewRadius();
    void directionAnglesEdgeCases();
    void directionAnglesKeepsOutputsAndAcceptsNull();
    void directionAnglesRoundTripThroughBasis_data();
    void directionAnglesRoundTripThroughBasis();
    void freeSetPositionCarriesTarget();
    void orbitSetPositionLandsOnPointOrAtMinimum();
    void orbitSetPositionLevelOrAtTarget();
    void setPositionReadsOwnPositionBeforeWriting();
    void freeMovesKeepTargetOffset();
    void moveHorizontalStaysLevelAndIsIgnoredInOrbit();
    void enterOrbitFacesTargetAndFollowsMovingPoint();
    void enterOrbitRefusesNonPositiveMinimum_data();
    void enterOrbitRefusesNonPositiveMinimum();
    void leaveOrbitLeavesTargetOnLineOfSight();
    void invariantsHoldThroughASequence();
};

void CameraTest::wrapAngleReducesByWholeTurnsKeepingSign_data()
{
    QTest::addColumn<double>("angle");
    QTest::addColumn<double>("expected");
    QTest::newRow("370") << 370.0 << 10.0;
    QTest::newRow("-370") << -370.0 << -10.0;
    QTest::newRow("725") << 725.0 << 5.0;
    QTest::newRow("359.5") << 359.5 << 359.5;
    QTest::newRow("-90 is not 270") << -90.0 << -90.0;
    QTest::newRow("-359.5") << -359.5 << -359.5;
    QTest::newRow("-725") << -725.0 << -5.0;
    QTest::newRow("0") << 0.0 << 0.0;
}

void CameraTest::wrapAngleReducesByWholeTurnsKeepingSign()
{
    QFETCH(double, angle);
    QFETCH(double, expected);
    QCOMPARE(wrapAngle(angle), expected);
}

void CameraTest::zeroCameraIsAllZeroAndFree()
{
    const Camera camera;
    const Vec3d zero{};
    QVERIFY(near(camera.position, zero, 0) && near(camera.target, zero, 0));
    QVERIFY(near(camera.forward, zero, 0) && near(camera.up, zero, 0) && near(camera.right, zero, 0));
    QCOMPARE(camera.yaw, 0.0);
    QCOMPARE(camera.pitch, 0.0);
    QCOMPARE(camera.roll, 0.0);
    QVERIFY(!camera.orbiting);
    QCOMPARE(camera.orbitDistance, 0.0);
    QCOMPARE(camera.minOrbitDistance, 0.0);
}

void CameraTest::startUpPlacementLooksAlongYaw125()
{
    Camera camera;
    camera.setPosition(100, 7, 100);
    VERIFY_NEAR(camera.position, (Vec3d{100, 7, 100}), 0);
    VERIFY_NEAR(camera.target, (Vec3d{100, 7, 100}), 0);

    camera.setAngles(125, 0, 0);
    VERIFY_NEAR(camera.position, (Vec3d{100, 7, 100}), 0);
    const Vec3d heading{std::cos(degToRad(125)), 0, std::sin(degToRad(125))};
    VERIFY_NEAR(camera.target, camera.position + heading, kTolerance);
    VERIFY_NEAR(camera.up, (Vec3d{0, 1, 0}), kTolerance);
    VERIFY_INVARIANTS(camera);
}

void CameraTest::basisMatchesComposedRotations_data()
{
    QTest::addColumn<double>("yaw");
    QTest::addColumn<double>("pitch");
    QTest::addColumn<double>("roll");
    QTest::newRow("zero") << 0.0 << 0.0 << 0.0;
    QTest::newRow("yaw 90") << 90.0 << 0.0 << 0.0;
    QTest::newRow("pitch 90") << 0.0 << 90.0 << 0.0;
    QTest::newRow("roll 90") << 0.0 << 0.0 << 90.0;
    QTest::newRow("30 45 0") << 30.0 << 45.0 << 0.0;
    QTest::newRow("-60 30 20") << -60.0 << 30.0 << 20.0;
    QTest::newRow("200 -75 135") << 200.0 << -75.0 << 135.0;
    QTest::newRow("10 120 -40") << 10.0 << 120.0 << -40.0;
}

void CameraTest::basisMatchesComposedRotations()
{
    QFETCH(double, yaw);
    QFETCH(double, pitch);
    QFETCH(double, roll);

    Camera camera;
    camera.setAngles(yaw, pitch, roll);

    // Roll about the unturned view axis first, then pitch, then yaw: the images of +x, +y, +z.
    const Mat3 rotation = multiply(yawTurn(yaw), multiply(pitchTurn(pitch), rollTurn(roll)));
    VERIFY_NEAR(camera.forward, apply(rotation, Vec3d{1, 0, 0}), kTolerance);
    VERIFY_NEAR(camera.up, apply(rotation, Vec3d{0, 1, 0}), kTolerance);
    VERIFY_NEAR(camera.right, apply(rotation, Vec3d{0, 0, 1}), kTolerance);
    VERIFY_INVARIANTS(camera);
}

void CameraTest::pitchPastVerticalLooksBackOverTheTop()
{
    Camera camera;
    camera.setAngles(0, 120, 0);
    QCOMPARE(camera.pitch, 120.0);
    VERIFY_NEAR(camera.forward, (Vec3d{-0.5, std::sqrt(3.0) / 2.0, 0}), kTolerance);
    // Over the top the up vector points backwards and down, not clamped to the vertical.
    VERIFY_NEAR(camera.up, (Vec3d{-std::sqrt(3.0) / 2.0, -0.5, 0}), kTolerance);
    VERIFY_INVARIANTS(camera);
}

void CameraTest::rollNeverChangesForward()
{
    Camera camera;
    camera.setAngles(40, 25, 0);
    const Vec3d forward = camera.forward;
    const Vec3d up = camera.up;
    camera.setRoll(90);
    VERIFY_NEAR(camera.forward, forward, kTolerance);
    // A quarter roll carries up onto the old right, forward x up.
    VERIFY_NEAR(camera.up, cross(forward, up), kTolerance);
    camera.turnRoll(-90);
    VERIFY_NEAR(camera.forward, forward, kTolerance);
    VERIFY_NEAR(camera.up, up, kTolerance);
}

void CameraTest::anglesAreWrappedOnSetAndTurn()
{
    Camera camera;
    camera.setAngles(370, -370, 725);
    QCOMPARE(camera.yaw, 10.0);
    QCOMPARE(camera.pitch, -10.0);
    QCOMPARE(camera.roll, 5.0);

    camera.setYaw(359.5);
    camera.turnYaw(1);
    QCOMPARE(camera.yaw, 0.5);
    camera.setPitch(-359.5);
    camera.turnPitch(-1);
    QCOMPARE(camera.pitch, -0.5);
    camera.setRoll(-90);
    QCOMPARE(camera.roll, -90.0);
    QCOMPARE(camera.yaw, 0.5); // set operations touch one angle only
    QCOMPARE(camera.pitch, -0.5);
    VERIFY_INVARIANTS(camera);
}

void CameraTest::freeTurnsAddDeltaAndReanchorTarget()
{
    Camera camera;
    camera.setPosition(3, 4, 5);
    camera.setAngles(10, 20, 30);
    camera.turnYaw(1);
    camera.turnPitch(2);
    camera.turnRoll(3);
    QCOMPARE(camera.yaw, 11.0);
    QCOMPARE(camera.pitch, 22.0);
    QCOMPARE(camera.roll, 33.0);
    VERIFY_NEAR(camera.position, (Vec3d{3, 4, 5}), 0);
    VERIFY_INVARIANTS(camera);
}

void CameraTest::orbitTurnsInvertYawAndPitchButNotRoll()
{
    const Vec3d target{10, 2, 10};
    Camera camera = orbitingCamera(Vec3d{4, 2, 10}, target, 3);
    QCOMPARE(camera.yaw, 0.0);
    QCOMPARE(camera.orbitDistance, 6.0);

    camera.turnYaw(1);
    QCOMPARE(camera.yaw, -1.0);
    VERIFY_NEAR(camera.target, target, 0);
    VERIFY_INVARIANTS(camera);
    // The eye went round the target towards the viewer's right (+z at yaw 0).
    QVERIFY(camera.position.z > target.z);

    camera.turnPitch(1);
    QCOMPARE(camera.pitch, -1.0);
    QVERIFY(camera.position.y > target.y);
    VERIFY_INVARIANTS(camera);

    camera.turnRoll(1);
    QCOMPARE(camera.roll, 1.0);
    QCOMPARE(camera.orbitDistance, 6.0);
    VERIFY_NEAR(camera.target, target, 0);
    VERIFY_INVARIANTS(camera);
}

void CameraTest::orbitZoomClampsAtMinimum_data()
{
    QTest::addColumn<double>("forwardAmount");
    QTest::addColumn<double>("expected");
    QTest::newRow("in by 1") << 1.0 << 4.0;
    QTest::newRow("in by 3 clamps") << 3.0 << 3.0;
    QTest::newRow("in to exactly the minimum") << 2.0 << 3.0;
    QTest::newRow("out by 2") << -2.0 << 7.0;
}

void CameraTest::orbitZoomClampsAtMinimum()
{
    QFETCH(double, forwardAmount);
    QFETCH(double, expected);

    const Vec3d target{5, 0, 0};
    Camera camera = orbitingCamera(Vec3d{0, 0, 0}, target, 3);
    QCOMPARE(camera.orbitDistance, 5.0);
    QCOMPARE(camera.minOrbitDistance, 3.0);

    camera.move(forwardAmount, 0, 0);
    QCOMPARE(camera.orbitDistance, expected);
    QCOMPARE(camera.yaw, 0.0);
    VERIFY_NEAR(camera.position, (Vec3d{5 - expected, 0, 0}), kTolerance);
    VERIFY_NEAR(camera.target, target, 0);
    VERIFY_INVARIANTS(camera);
}

void CameraTest::orbitSidewaysAndVerticalAmountsAreArcs()
{
    const Vec3d target{0, 0, 4};
    Camera camera = orbitingCamera(Vec3d{0, 0, 0}, target, 3);
    QCOMPARE(camera.orbitDistance, 4.0);
    const double yawBefore = camera.yaw;
    QCOMPARE(yawBefore, 90.0);

    camera.move(0, 0, 0.3);
    QCOMPARE(camera.orbitDistance, 4.0);
    QVERIFY(std::fabs((yawBefore - camera.yaw) - kRadToDeg * 0.3 / 4) <= kTolerance);
    QVERIFY(std::fabs((yawBefore - camera.yaw) - 4.297) < 0.001);
    QCOMPARE(camera.pitch, 0.0);
    VERIFY_INVARIANTS(camera);

    camera.move(0, 0.5, 0);
    QVERIFY(std::fabs(camera.pitch - (-kRadToDeg * 0.5 / 4)) <= kTolerance);
    QVERIFY(camera.position.y > target.y);
    QCOMPARE(camera.orbitDistance, 4.0);
    VERIFY_INVARIANTS(camera);
}

void CameraTest::orbitArcUsesMeanOfOldAndNewRadius()
{
    Camera camera = orbitingCamera(Vec3d{0, 0, 0}, Vec3d{5, 0, 0}, 3);
    camera.move(1, 0.2, 0.3); // 5 -> 4, mean radius 4.5
    QCOMPARE(camera.orbitDistance, 4.0);
    QVERIFY(std::fabs(camera.yaw - (-kRadToDeg * 0.3 / 4.5)) <= kTolerance);
    QVERIFY(std::fabs(camera.pitch - (-kRadToDeg * 0.2 / 4.5)) <= kTolerance);
    VERIFY_INVARIANTS(camera);
    VERIFY_NEAR(camera.target, (Vec3d{5, 0, 0}), 0);
}

void CameraTest::directionAnglesEdgeCases()
{
    double yaw = 33, pitch = 44;
    directionAngles(0, 5, 0, &yaw, &pitch);
    QCOMPARE(yaw, 33.0);
    QCOMPARE(pitch, 90.0);

    yaw = 33, pitch = 44;
    directionAngles(1, 0, -1, &yaw, &pitch);
    QVERIFY(std::fabs(yaw - -45.0) <= kTolerance);
    QCOMPARE(pitch, 44.0);

    yaw = 33, pitch = 44;
    directionAngles(-1, 0, 0, &yaw, &pitch);
    QCOMPARE(yaw, 180.0);
    QCOMPARE(pitch, 44.0);

    directionAngles(0, -2, 0, &yaw, &pitch);
    QCOMPARE(yaw, 180.0);
    QCOMPARE(pitch, -90.0);

    // dz = 0 counts as positive: straight along +x is 0, not -0.
    directionAngles(2, 1, 0, &yaw, &pitch);
    QCOMPARE(yaw, 0.0);
    QVERIFY(!std::signbit(yaw));
    QVERIFY(std::fabs(pitch - std::atan2(1.0, 2.0) * 180.0 / kPi) <= kTolerance);
}

void CameraTest::directionAnglesKeepsOutputsAndAcceptsNull()
{
    double yaw = 12, pitch = 34;
    directionAngles(0, 0, 0, &yaw, &pitch);
    QCOMPARE(yaw, 12.0);
    QCOMPARE(pitch, 34.0);

    directionAngles(0, 1, 1, nullptr, &pitch);
    QVERIFY(std::fabs(pitch - 45.0) <= kTolerance);
    QCOMPARE(yaw, 12.0);

    directionAngles(0, 1, 1, &yaw, nullptr);
    QVERIFY(std::fabs(yaw - 90.0) <= kTolerance);
    QVERIFY(std::fabs(pitch - 45.0) <= kTolerance);

    directionAngles(1, 1, 1, nullptr, nullptr); // nothing to write and nothing to crash on
}

void CameraTest::directionAnglesRoundTripThroughBasis_data()
{
    QTest::addColumn<double>("dx");
    QTest::addColumn<double>("dy");
    QTest::addColumn<double>("dz");
    QTest::newRow("+x+y+z") << 1.0 << 2.0 << 3.0;
    QTest::newRow("-x-y+z") << -4.0 << -1.0 << 0.5;
    QTest::newRow("-x+y-z") << -0.2 << 7.0 << -0.1;
    QTest::newRow("+x-y-z") << 3.0 << -3.0 << -3.0;
}

void CameraTest::directionAnglesRoundTripThroughBasis()
{
    QFETCH(double, dx);
    QFETCH(double, dy);
    QFETCH(double, dz);

    double yaw = 0, pitch = 0;
    directionAngles(dx, dy, dz, &yaw, &pitch);
    QVERIFY(yaw >= -180 && yaw <= 180);
    QVERIFY(pitch >= -90 && pitch <= 90);

    Camera camera;
    camera.setAngles(yaw, pitch, 0);
    const Vec3d direction{dx, dy, dz};
    VERIFY_NEAR(camera.forward, direction * (1.0 / length(direction)), kTolerance);
}

void CameraTest::freeSetPositionCarriesTarget()
{
    Camera camera;
    camera.setAngles(30, 10, 0);
    // Break the one-unit offset on purpose: a free setPosition keeps whatever offset there is.
    camera.target = {2, 3, 4};
    camera.setPosition(Vec3d{10, 20, 30});
    VERIFY_NEAR(camera.position, (Vec3d{10, 20, 30}), 0);
    VERIFY_NEAR(camera.target, (Vec3d{12, 23, 34}), kTolerance);
    QCOMPARE(camera.yaw, 30.0);
    QCOMPARE(camera.pitch, 10.0);

    camera.setPosition(-1, -2, -3);
    VERIFY_NEAR(camera.position, (Vec3d{-1, -2, -3}), 0);
    VERIFY_NEAR(camera.target, (Vec3d{1, 1, 1}), kTolerance);
}

void CameraTest::orbitSetPositionLandsOnPointOrAtMinimum()
{
    const Vec3d target{10, 2, 10};
    Camera camera = orbitingCamera(Vec3d{0, 2, 0}, target, 3);

    // A unit offset, neither level with the target nor straight above it.
    const Vec3d offset{0.48, 0.6, 0.64};
    camera.setPosition(target + offset);
    QCOMPARE(camera.orbitDistance, 3.0);
    VERIFY_NEAR(camera.position, target + offset * 3, kTolerance);
    VERIFY_NEAR(camera.target, target, 0);
    VERIFY_INVARIANTS(camera);

    // Beyond the minimum the eye lands on the point itself.
    const Vec3d far{-1, 8, 3};
    camera.setPosition(far);
    VERIFY_NEAR(camera.position, far, kTolerance);
    QVERIFY(std::fabs(camera.orbitDistance - length(far - target)) <= kTolerance);
    VERIFY_INVARIANTS(camera);
}

void CameraTest::orbitSetPositionLevelOrAtTarget()
{
    const Vec3d target{0, 0, 0};
    Camera camera = orbitingCamera(Vec3d{-3, -4, 0}, target, 2);
    const double pitch = camera.pitch;
    QVERIFY(std::fabs(pitch - std::asin(0.8) * kRadToDeg) <= kTolerance);

    // Level with the target: new heading and distance, old pitch.
    camera.setPosition(0, 0, -10);
    QCOMPARE(camera.pitch, pitch);
    QVERIFY(std::fabs(camera.yaw - 90.0) <= kTolerance);
    QCOMPARE(camera.orbitDistance, 10.0);
    VERIFY_INVARIANTS(camera);

    // At the target: angles kept, eye set back the minimum along forward.
    const double yaw = camera.yaw;
    camera.setPosition(target);
    QCOMPARE(camera.yaw, yaw);
    QCOMPARE(camera.pitch, pitch);
    QCOMPARE(camera.orbitDistance, 2.0);
    VERIFY_NEAR(camera.position, camera.forward * -2.0, kTolerance);
    VERIFY_INVARIANTS(camera);
}

void CameraTest::setPositionReadsOwnPositionBeforeWriting()
{
    const Vec3d target{5, 0, 0};
    const Vec3d eye{2, 3, -1}; // sqrt(19) from the target
    const Vec3d towardsEye = eye - target;
    // Beyond the minimum the eye must stay put; inside a raised minimum it must move out along
    // the line. Either way passing the camera's own position must give what a copy gives.
    for (double minDistance : {1.0, 9.0}) {
        Camera camera = orbitingCamera(Vec3d{0, 0, 0}, target, 1);
        camera.minOrbitDistance = minDistance;
        camera.position = eye;
        Camera copied = camera;
        copied.setPosition(Vec3d(eye));
        camera.setPosition(camera.position);
        QVERIFY(sameState(camera, copied));
        const double expectedDistance = std::max(length(towardsEye), minDistance);
        QVERIFY(std::fabs(camera.orbitDistance - expectedDistance) <= kTolerance);
        VERIFY_NEAR(camera.position, target + towardsEye * (expectedDistance / length(towardsEye)), kTolerance);
        VERIFY_INVARIANTS(camera);
    }

    // The same in free mode: the point is where the eye already is, so nothing moves.
    Camera free;
    free.setPosition(1, 2, 3);
    free.setAngles(50, 20, 10);
    const Camera before = free;
    free.setPosition(free.position);
    QVERIFY(sameState(free, before));
}

void CameraTest::freeMovesKeepTargetOffset()
{
    Camera camera;
    camera.setPosition(1, 2, 3);
    camera.setAngles(-35, 50, 70);
    const Camera before = camera;

    camera.move(2, -0.5, 1.5);
    const Vec3d delta = before.forward * 2 + before.up * -0.5 + before.right * 1.5;
    VERIFY_NEAR(camera.position, before.position + delta, kTolerance);
    VERIFY_NEAR(camera.target, before.target + delta, kTolerance);
    QCOMPARE(camera.yaw, before.yaw);
    QCOMPARE(camera.pitch, before.pitch);
    QCOMPARE(camera.roll, before.roll);
    VERIFY_INVARIANTS(camera);
}

void CameraTest::moveHorizontalStaysLevelAndIsIgnoredInOrbit()
{
    Camera camera;
    camera.setPosition(1, 2, 3);
    camera.setAngles(60, 45, 30);
    const Camera before = camera;

    camera.moveHorizontal(2, 0.5);
    const double c = std::cos(degToRad(60)), s = std::sin(degToRad(60));
    const Vec3d delta{2 * c - 0.5 * s, 0, 2 * s + 0.5 * c};
    VERIFY_NEAR(camera.position, before.position + delta, kTolerance);
    VERIFY_NEAR(camera.target, before.target + delta, kTolerance);
    VERIFY_NEAR(camera.forward, before.forward, 0);
    VERIFY_NEAR(camera.up, before.up, 0);
    QCOMPARE(camera.pitch, 45.0);

    Camera orbit = orbitingCamera(Vec3d{0, 1, 0}, Vec3d{4, 3, 2}, 1);
    const Camera orbitBefore = orbit;
    orbit.moveHorizontal(2, 0.5);
    QVERIFY(sameState(orbit, orbitBefore));
}

void CameraTest::enterOrbitFacesTargetAndFollowsMovingPoint()
{
    Camera camera;
    camera.setPosition(0, 5, 0);
    camera.setAngles(200, -10, 15);

    const Vec3d eye{0, 5, 0};
    camera.enterOrbit(Vec3d{6, 2, 8}, 3);
    QVERIFY(camera.orbiting);
    QCOMPARE(camera.minOrbitDistance, 3.0);
    VERIFY_NEAR(camera.position, eye, kTolerance);
    VERIFY_NEAR(camera.target, (Vec3d{6, 2, 8}), 0);
    QVERIFY(std::fabs(camera.orbitDistance - length(Vec3d{6, -3, 8})) <= kTolerance);
    QCOMPARE(camera.roll, 15.0);
    VERIFY_NEAR(camera.forward, (Vec3d{6, -3, 8} * (1 / length(Vec3d{6, -3, 8}))), kTolerance);
    VERIFY_INVARIANTS(camera);

    // Re-targeting every frame: a point moving but staying away leaves the eye where it is.
    camera.enterOrbit(Vec3d{5, 2, 7}, 3);
    VERIFY_NEAR(camera.position, eye, kTolerance);
    VERIFY_INVARIANTS(camera);

    // A point coming within the minimum pushes the eye back along the line.
    const Vec3d close{1, 4, 1};
    camera.enterOrbit(close, 3);
    QCOMPARE(camera.orbitDistance, 3.0);
    const Vec3d away = eye - close;
    VERIFY_NEAR(camera.position, close + away * (3 / length(away)), kTolerance);
    VERIFY_INVARIANTS(camera);
}

void CameraTest::enterOrbitRefusesNonPositiveMinimum_data()
{
    QTest::addColumn<double>("minDistance");
    QTest::addColumn<QString>("shownValue");
    QTest::newRow("zero") << 0.0 << QString("0");
    QTest::newRow("negative") << -2.5 << QString("-2.5");
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << QString("nan");
}

void CameraTest::enterOrbitRefusesNonPositiveMinimum()
{
    QFETCH(double, minDistance);
    QFETCH(QString, shownValue);

    Camera free;
    free.setPosition(1, 2, 3);
    free.setAngles(20, 30, 40);
    Camera orbit = orbitingCamera(Vec3d{0, 0, 0}, Vec3d{3, 1, 2}, 2);

    for (Camera* camera : {&free, &orbit}) {
        const Camera before = *camera;
        bool thrown = false;
        try {
            camera->enterOrbit(Vec3d{7, 7, 7}, minDistance);
        } catch (const ViewerError& error) {
            thrown = true;
            const QString message = QString::fromStdString(error.what());
            QVERIFY2(message.contains("greater than 0"), qPrintable(message));
            QVERIFY2(message.contains(shownValue, Qt::CaseInsensitive), qPrintable(message));
        }
        QVERIFY(thrown);
        QVERIFY(sameState(*camera, before));
    }
}

void CameraTest::leaveOrbitLeavesTargetOnLineOfSight()
{
    Camera camera = orbitingCamera(Vec3d{0, 0, 0}, Vec3d{3, 4, 12}, 2);
    QCOMPARE(camera.orbitDistance, 13.0);
    const Camera before = camera;

    camera.leaveOrbit();
    QVERIFY(!camera.orbiting);
    QCOMPARE(camera.orbitDistance, 1.0);
    QCOMPARE(camera.minOrbitDistance, 1.0);
    VERIFY_NEAR(camera.position, before.position, 0);
    VERIFY_NEAR(camera.target, before.target, 0);
    VERIFY_NEAR(camera.target - camera.position, camera.forward * 13, 1e-9);

    // Free moves keep the stretched offset...
    camera.move(1, 0, 0);
    VERIFY_NEAR(camera.target - camera.position, camera.forward * 13, 1e-9);
    // ...until an angle operation re-anchors the target one unit ahead.
    camera.turnYaw(0);
    VERIFY_NEAR(camera.target, camera.position + camera.forward, kTolerance);
    VERIFY_INVARIANTS(camera);
}

void CameraTest::invariantsHoldThroughASequence()
{
    Camera camera;
    camera.setPosition(100, 7, 100);
    camera.setAngles(125, 0, 0);
    VERIFY_INVARIANTS(camera);

    // A few frames of flying, the way the frame step drives it.
    for (int frame = 0; frame < 40; ++frame) {
        const double amount = 0.05 * (frame % 3) - 0.05;
        if (frame % 4 == 0)
            camera.moveHorizontal(amount, -amount);
        else
            camera.move(amount, 0.5 * amount, -amount);
        camera.turnYaw(frame % 2 ? 1 : -1);
        camera.turnPitch(frame % 5 == 0 ? 1 : 0);
        camera.turnRoll(frame % 7 == 0 ? -1 : 0);
        VERIFY_INVARIANTS(camera);
    }

    camera.enterOrbit(Vec3d{110, 4, 95}, 3);
    VERIFY_INVARIANTS(camera);
    Vec3d apex{110, 4, 95};
    for (int frame = 0; frame < 40; ++frame) {
        apex.x += (frame % 3) - 1;
        apex.z += (frame % 2) ? 1 : -1;
        camera.enterOrbit(apex, 3);
        VERIFY_INVARIANTS(camera);
        camera.move(0.4, 0.1 * ((frame % 3) - 1), 0.2);
        VERIFY_INVARIANTS(camera);
        camera.turnYaw(1);
        camera.turnPitch(frame % 2 ? 1 : -1);
        camera.turnRoll(1);
        VERIFY_INVARIANTS(camera);
        VERIFY_NEAR(camera.target, apex, 0);
    }

    camera.leaveOrbit();
    camera.turnYaw(0);
    VERIFY_INVARIANTS(camera);
    camera.setYaw(0);
    camera.setPitch(0);
    camera.setRoll(0);
    VERIFY_NEAR(camera.forward, (Vec3d{1, 0, 0}), 0);
    VERIFY_NEAR(camera.up, (Vec3d{0, 1, 0}), 0);
    VERIFY_NEAR(camera.right, (Vec3d{0, 0, 1}), 0);
    VERIFY_INVARIANTS(camera);
}

QTEST_APPLESS_MAIN(CameraTest)

#include "CameraTest.moc"
