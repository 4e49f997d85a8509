// The bump's pseudo-random source and its walk, without a GL context: the targets and steps,
// the heights and layers under the bump, the normals over its square, the apex and the orbit.

#include "WanderingBump.h"
#include "CameraChecks.h"
#include "WanderingBumpForms.h"

#include <QTest>
#include <cmath>
#include <cstring>
#include <vector>

using namespace bumptest;

class WanderingBumpTest : public QObject {
    Q_OBJECT

private slots:
    void firstFourDrawsAreTheDocumentedOnes();
    void matchesTheGeneratorWrittenOutInWideArithmetic();
    void randomBelowZeroDrawsNothing();
    void randomBelowOneIsAlwaysZeroButDraws();
    void randomBelowIsTheSignedRemainderOfADraw();
    void firstTargetOfTheDefaultLattice();

    void firstStepGoesToElevenEleven();
    void walkStepsOneCellTowardEachFrameTarget();
    void pinnedBumpNeverMoves();
    void reshapingPullsTowardTheRaisedCosine();
    void centreVertexApproachesFour();
    void normalsRecomputedOverTheSquareOnly();
    void apexIsTheCentreVertexAfterTheStep();
    void cameraUntouchedWhileNotOrbiting();
    void orbitingCameraFollowsTheApex();
    void walkDoesNothingBeforeTheTerrainIsBuilt();
    void bumpStartingOffTheLatticeWalksOnto();
};

void WanderingBumpTest::firstFourDrawsAreTheDocumentedOnes()
{
    RandomSource source;
    QCOMPARE(source.state(), std::uint64_t(1));
    QCOMPARE(source.next(), 346);
    QCOMPARE(source.next(), 13854878);
    QCOMPARE(source.next(), 1621890440);
    QCOMPARE(source.next(), 816282396);
}

// The same recurrence as a 128-bit product reduced by hand, over enough draws to pass through
// states with the top bit set (where a signed shift or a 32-bit product would go wrong).
void WanderingBumpTest::matchesTheGeneratorWrittenOutInWideArithmetic()
{
    using Wide = unsigned __int128;
    Wide state = 1;
    const Wide modulus = Wide(1) << 64;
    RandomSource source;
    bool sawTopBit = false;
    for (int n = 0; n < 5000; ++n) {
        state = (state * 0x15A00004E35u + 1u) % modulus;
        sawTopBit = sawTopBit || (state >> 63) != 0;
        const std::int32_t expected = std::int32_t((state >> 32) % (Wide(1) << 31));
        QCOMPARE(source.next(), expected);
        QCOMPARE(source.state(), std::uint64_t(state));
    }
    QVERIFY(sawTopBit);
}

void WanderingBumpTest::randomBelowZeroDrawsNothing()
{
    RandomSource source;
    QCOMPARE(randomBelow(source, 0), 0);
    QCOMPARE(source.state(), std::uint64_t(1));
    QCOMPARE(source.next(), 346);
}

void WanderingBumpTest::randomBelowOneIsAlwaysZeroButDraws()
{
    RandomSource source;
    for (int n = 0; n < 100; ++n)
        QCOMPARE(randomBelow(source, 1), 0);
    // A hundred draws were taken: the next is the 101st of a fresh source.
    RandomSource fresh;
    for (int n = 0; n < 100; ++n)
        fresh.next();
    QCOMPARE(source.next(), fresh.next());
}

void WanderingBumpTest::randomBelowIsTheSignedRemainderOfADraw()
{
    RandomSource mirror;
    RandomSource source;
    for (std::int32_t n : {7, 294, 1000, -5, 2147483647, -2147483647 - 1}) {
        const std::int32_t draw = mirror.next();
        const std::int32_t value = randomBelow(source, n);
        QCOMPARE(value, draw % n);
        QVERIFY(value >= 0); // a draw is never negative
    }
}

// 346 mod 294 = 52 and 13854878 mod 294 = 128: plus the radius 3, column 55 and row 131.
void WanderingBumpTest::firstTargetOfTheDefaultLattice()
{
    RandomSource source;
    QCOMPARE(randomBelow(source, 300 - 2 * 3) + 3, 55);
    QCOMPARE(randomBelow(source, 300 - 2 * 3) + 3, 131);
}

void WanderingBumpTest::firstStepGoesToElevenEleven()
{
    auto form = makeForm(300, 300);
    // The window's own starting values.
    QCOMPARE(form->bumpColumn, 10);
    QCOMPARE(form->bumpRow, 10);
    QCOMPARE(form->bumpRadius, 3);
    QCOMPARE(form->bumpRate, 0.05f);
    stepWanderingBump(*form);
    QCOMPARE(form->bumpColumn, 11);
    QCOMPARE(form->bumpRow, 11);
    // Exactly two draws were taken (target column 55, then row 131).
    RandomSource mirror;
    mirror.next();
    mirror.next();
    QCOMPARE(form->bumpRandom.state(), mirror.state());
    // Each window walks from a source of its own: a second one takes the same first step.
    auto second = makeForm(300, 300);
    stepWanderingBump(*second);
    QCOMPARE(second->bumpColumn, 11);
    QCOMPARE(second->bumpRow, 11);
}

// Each frame draws a fresh target in [r, W - r - 1] x [r, D - r - 1]; the centre moves one
// cell per axis toward it.
void WanderingBumpTest::walkStepsOneCellTowardEachFrameTarget()
{
    auto form = makeForm(40, 30);
    const std::int32_t r = form->bumpRadius;
    RandomSource mirror;
    for (int frame = 0; frame < 150; ++frame) {
        const std::int32_t col = form->bumpColumn, row = form->bumpRow;
        const std::int32_t targetCol = mirror.next() % (40 - 2 * r) + r;
        const std::int32_t targetRow = mirror.next() % (30 - 2 * r) + r;
        stepWanderingBump(*form);
        const auto toward = [](std::int32_t from, std::int32_t to) { return from + (to > from) - (to < from); };
        QCOMPARE(form->bumpColumn, toward(col, targetCol));
        QCOMPARE(form->bumpRow, toward(row, targetRow));
        QVERIFY(form->bumpColumn >= r && form->bumpColumn <= 40 - r - 1);
        QVERIFY(form->bumpRow >= r && form->bumpRow <= 30 - r - 1);
    }
}

void WanderingBumpTest::pinnedBumpNeverMoves()
{
    auto form = makePinnedForm();
    for (int frame = 0; frame < 40; ++frame) {
        stepWanderingBump(*form);
        QCOMPARE(form->bumpColumn, 3);
        QCOMPARE(form->bumpRow, 3);
    }
    RandomSource mirror;
    for (int n = 0; n < 80; ++n)
        mirror.next();
    QCOMPARE(form->bumpRandom.state(), mirror.state());
}

// The 29 vertices within distance 3 close 5 % of their gap to the raised-cosine height and
// take its layer; the rest of the square is not touched. Checked twice: from height 0 one
// step moves a vertex to 0.05 * target; standing at its target a vertex stays there.
void WanderingBumpTest::reshapingPullsTowardTheRaisedCosine()
{
    auto form = makePinnedForm();
    const double rate = double(form->bumpRate);
    stepWanderingBump(*form);
    int reshaped = 0;
    for (std::int32_t col = 0; col < 7; ++col)
        for (std::int32_t row = 0; row < 7; ++row) {
            const int d2 = (col - 3) * (col - 3) + (row - 3) * (row - 3);
            const auto entry = kRadiusThreeTable.find(d2);
            const std::uint32_t layer = form->landscape.layers[std::size_t(row) * 7 + std::size_t(col)];
            const double y = heightAt(*form, col, row);
            if (entry == kRadiusThreeTable.end()) {
                QCOMPARE(y, 0.0);
                QCOMPARE(layer, 0u);
                continue;
            }
            ++reshaped;
            QVERIFY2(std::abs(y / rate - entry->second.target) < 2e-6,
                     qPrintable(QString("(%1, %2): %3").arg(col).arg(row).arg(y / rate, 0, 'g', 9)));
            QCOMPARE(layer, entry->second.layer);
        }
    QCOMPARE(reshaped, 29);

    for (std::int32_t col = 0; col < 7; ++col)
        for (std::int32_t row = 0; row < 7; ++row) {
            const auto entry = kRadiusThreeTable.find((col - 3) * (col - 3) + (row - 3) * (row - 3));
            heightAt(*form, col, row) = entry == kRadiusThreeTable.end() ? 7.5f : float(entry->second.target);
        }
    stepWanderingBump(*form);
    for (std::int32_t col = 0; col < 7; ++col)
        for (std::int32_t row = 0; row < 7; ++row) {
            const auto entry = kRadiusThreeTable.find((col - 3) * (col - 3) + (row - 3) * (row - 3));
            const double expected = entry == kRadiusThreeTable.end() ? 7.5 : entry->second.target;
            QVERIFY(std::abs(heightAt(*form, col, row) - expected) < 1e-6);
        }
}

// (6 - 4) * 0.95^n left of the gap: 5.9 after one frame, 4 + 0.199 after 45.
void WanderingBumpTest::centreVertexApproachesFour()
{
    auto form = makePinnedForm();
    heightAt(*form, 3, 3) = 6.0f;
    stepWanderingBump(*form);
    QVERIFY(std::abs(heightAt(*form, 3, 3) - 5.9f) < 1e-6f);
    for (int frame = 1; frame < 45; ++frame)
        stepWanderingBump(*form);
    const float y = heightAt(*form, 3, 3);
    QVERIFY2(y > 4.0f && y - 4.0f < 0.2f, qPrintable(QString::number(y, 'g', 9)));
    QVERIFY(std::abs(y - (4.0 + 2.0 * std::pow(0.95, 45))) < 1e-4);
}

// Normals are recomputed over the bump's square (columns and rows centre +- r, border ring
// excepted) and nowhere else.
void WanderingBumpTest::normalsRecomputedOverTheSquareOnly()
{
    auto form = makeForm(30, 30);
    TLandscape& land = form->landscape;
    form->bumpColumn = 12;
    form->bumpRow = 12;
    const float3 sentinel{0.0f, -1.0f, 0.0f};
    for (std::uint32_t k = 0; k < land.vertexCount(); ++k)
        land.normals[k] = sentinel;
    stepWanderingBump(*form);
    const std::int32_t col = form->bumpColumn, row = form->bumpRow, r = form->bumpRadius;

    TLandscape check;
    check.create(30, 30, 2.0f, 1);
    std::memcpy(check.positions, land.positions, sizeof(float3) * land.vertexCount());
    check.computeNormals(0, 30, 0, 30);
    for (std::int32_t i = 0; i < 30; ++i)
        for (std::int32_t j = 0; j < 30; ++j) {
            const std::size_t k = std::size_t(j) * 30 + std::size_t(i);
            const bool inSquare = std::abs(i - col) <= r && std::abs(j - row) <= r;
            const float3& expected = inSquare ? check.normals[k] : sentinel;
            QCOMPARE(land.normals[k].x, expected.x);
            QCOMPARE(land.normals[k].y, expected.y);
            QCOMPARE(land.normals[k].z, expected.z);
        }
    // The bump did tilt the ground: the square's normals are not all upright.
    QVERIFY(land.normals[std::size_t(row) * 30 + std::size_t(col + 2)].x != 0.0f);
}

void WanderingBumpTest::apexIsTheCentreVertexAfterTheStep()
{
    auto form = makeForm(60, 60);
    for (int frame = 0; frame < 30; ++frame) {
        stepWanderingBump(*form);
        const float3& p = form->landscape.positions[std::size_t(form->bumpRow) * 60 + std::size_t(form->bumpColumn)];
        QCOMPARE(form->bumpApex.x, double(p.x));
        QCOMPARE(form->bumpApex.y, double(p.y));
        QCOMPARE(form->bumpApex.z, double(p.z));
        QVERIFY(p.y > 0.0f); // this frame's pull is already in it
    }
}

void WanderingBumpTest::cameraUntouchedWhileNotOrbiting()
{
    auto form = makeForm(40, 40);
    Camera& camera = form->camera;
    camera.position = Vec3d{21.0, 7.0, 33.0};
    camera.target = Vec3d{22.0, 6.5, 34.0};
    camera.forward = Vec3d{0.6, -0.1, 0.79};
    camera.up = Vec3d{0.0, 1.0, 0.0};
    camera.right = Vec3d{-0.79, 0.0, 0.6};
    camera.yaw = 52.0;
    camera.pitch = -6.0;
    camera.roll = 1.5;
    camera.orbitDistance = 1.0;
    camera.minOrbitDistance = 1.0;
    const Camera before = camera;
    for (int frame = 0; frame < 10; ++frame) {
        stepWanderingBump(*form);
        QVERIFY(sameCamera(camera, before));
    }
}

void WanderingBumpTest::orbitingCameraFollowsTheApex()
{
    auto form = makeForm(60, 60);
    form->camera.position = Vec3d{40.0, 10.0, 40.0};
    form->camera.enterOrbit(Vec3d{30.0, 0.0, 30.0}, 1.0);
    for (int frame = 0; frame < 20; ++frame) {
        stepWanderingBump(*form);
        QVERIFY(form->camera.orbiting);
        QCOMPARE(form->camera.target.x, form->bumpApex.x);
        QCOMPARE(form->camera.target.y, form->bumpApex.y);
        QCOMPARE(form->camera.target.z, form->bumpApex.z);
        QCOMPARE(form->camera.minOrbitDistance, 3.0);
    }
}

// Before the terrain is built the walk touches no array, draws no number and leaves the
// camera alone, also on a landscape that was never created.
void WanderingBumpTest::walkDoesNothingBeforeTheTerrainIsBuilt()
{
    auto form = makeForm(40, 40);
    form->landscapeBuilt = false;
    form->camera.orbiting = true;
    form->bumpApex = Vec3d{1.0, 2.0, 3.0};
    TLandscape& land = form->landscape;
    const std::size_t n = land.vertexCount();
    const std::vector<float3> positions(land.positions, land.positions + n);
    const std::vector<std::uint32_t> layers(land.layers, land.layers + n);
    const Camera camera = form->camera;
    for (int frame = 0; frame < 5; ++frame)
        stepWanderingBump(*form);
    QCOMPARE(form->bumpRandom.state(), std::uint64_t(1));
    QCOMPARE(form->bumpColumn, 10);
    QCOMPARE(form->bumpRow, 10);
    QCOMPARE(form->bumpApex.y, 2.0);
    QVERIFY(sameCamera(form->camera, camera));
    QCOMPARE(std::memcmp(positions.data(), land.positions, n * sizeof(float3)), 0);
    QCOMPARE(std::memcmp(layers.data(), land.layers, n * sizeof(std::uint32_t)), 0);

    const auto empty = std::make_unique<TForm1State>();
    stepWanderingBump(*empty);
    QCOMPARE(empty->bumpRandom.state(), std::uint64_t(1));
}

// A bump placed outside a small lattice reshapes only the vertices that exist and walks onto
// the lattice, then stays at the one target (r, r).
void WanderingBumpTest::bumpStartingOffTheLatticeWalksOnto()
{
    auto form = makeForm(7, 7); // the bump starts at the window's (10, 10)
    stepWanderingBump(*form);
    QCOMPARE(form->bumpColumn, 9);
    for (std::uint32_t k = 0; k < form->landscape.vertexCount(); ++k)
        QCOMPARE(form->landscape.positions[k].y, 0.0f); // nothing within reach yet
    for (int frame = 1; frame < 10; ++frame)
        stepWanderingBump(*form);
    QCOMPARE(form->bumpColumn, 3);
    QCOMPARE(form->bumpRow, 3);
    QCOMPARE(form->bumpApex.y, double(heightAt(*form, 3, 3)));
    QVERIFY(heightAt(*form, 3, 3) > 0.0f);
}

QTEST_APPLESS_MAIN(WanderingBumpTest)
#include "WanderingBumpTest.moc"
