// The terrain lattice without a GL context: creation, positions, fan tables and normals.

#include "Landscape.h"
#include "MathConstants.h"

#include <QtTest>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr float kSentinel = 9.0f;

// A bumpy surface with no symmetry, so that a neighbour taken in the wrong place or order
// changes the normal.
float bumpyHeight(float x, float z)
{
    return float(0.7 * std::sin(0.9 * x) + 0.4 * std::cos(1.3 * z) + 0.05 * x * z);
}

void setHeights(TLandscape& land, float (*height)(float, float))
{
    for (std::uint32_t k = 0; k < land.vertexCount(); ++k)
        land.positions[k].y = height(land.positions[k].x, land.positions[k].z);
}

void fillNormals(TLandscape& land, float value)
{
    for (std::uint32_t k = 0; k < land.vertexCount(); ++k)
        land.normals[k] = float3{value, value, value};
}

bool isSentinel(const float3& n)
{
    return n.x == kSentinel && n.y == kSentinel && n.z == kSentinel;
}

// The columns and rows whose normals differ from the sentinel, as a list of (i, j).
std::vector<std::pair<std::uint32_t, std::uint32_t>> computedVertices(const TLandscape& land)
{
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    for (std::uint32_t i = 0; i < land.width; ++i)
        for (std::uint32_t j = 0; j < land.depth; ++j)
            if (!isSentinel(land.normals[j * land.width + i]))
                out.emplace_back(i, j);
    return out;
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> rectangle(std::uint32_t i0, std::uint32_t i1, std::uint32_t j0,
                                                               std::uint32_t j1)
{
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    for (std::uint32_t i = i0; i <= i1; ++i)
        for (std::uint32_t j = j0; j <= j1; ++j)
            out.emplace_back(i, j);
    return out;
}

double horizontalAngleDegrees(const float3& from, const float3& to)
{
    return std::atan2(double(to.z) - from.z, double(to.x) - from.x) * 57.29577951308232;
}

double horizontalDistance(const float3& a, const float3& b)
{
    return std::hypot(double(b.x) - a.x, double(b.z) - a.z);
}

// The upward unit normal of the plane y = a x + b z + c through three points, found by solving
// for a and b (not by a cross product).
void planeNormal(const float3& p, const float3& q, const float3& r, double out[3])
{
    const double x1 = double(q.x) - p.x, z1 = double(q.z) - p.z, y1 = double(q.y) - p.y;
    const double x2 = double(r.x) - p.x, z2 = double(r.z) - p.z, y2 = double(r.y) - p.y;
    const double det = x1 * z2 - x2 * z1;
    const double a = (y1 * z2 - y2 * z1) / det;
    const double b = (x1 * y2 - x2 * y1) / det;
    const double len = std::sqrt(a * a + 1.0 + b * b);
    out[0] = -a / len;
    out[1] = 1.0 / len;
    out[2] = -b / len;
}

} // namespace

class LandscapeTest : public QObject {
    Q_OBJECT

private slots:
    void createClampsDegenerateArguments();
    void createZeroFillsEverything();
    void createReplacesEarlierLattice();
    void positionsOfOddAndEvenColumns();
    void fanTablesCircleEachInteriorVertex();
    void normalsSkipBorderRing();
    void reversedBoundsComputeSameRectangle();
    void boundsAtTheBorderAreMovedInside();
    void narrowLatticeComputesNothing();
    void flatLatticeNormalsPointUp();
    void tiltedPlaneGivesPlaneNormal();
    void normalsUseNeighboursAroundVertex();
    void vertexNormalSumsUnitFaceNormals();
    void vertexNormalWeighsFacesEqually();
    void groundFogTakesTheBandTowardEachPoint();
};

void LandscapeTest::createClampsDegenerateArguments()
{
    TLandscape land;
    land.create(0, 1, 0.0f, 0);
    QCOMPARE(land.width, 2u);
    QCOMPARE(land.depth, 2u);
    QCOMPARE(land.spacing, 1.0f);
    QCOMPARE(land.textureCount, 1u);
    QVERIFY(land.textures && land.positions && land.normals && land.colours && land.layers);

    land.create(3, 4, -2.0f, 5);
    QCOMPARE(land.spacing, 1.0f);
    land.create(3, 4, std::nanf(""), 5);
    QCOMPARE(land.spacing, 1.0f);
    land.create(3, 4, 0.25f, 5);
    QCOMPARE(land.spacing, 0.25f);
    QCOMPARE(land.width, 3u);
    QCOMPARE(land.depth, 4u);
    QCOMPARE(land.textureCount, 5u);
}

void LandscapeTest::createZeroFillsEverything()
{
    TLandscape land;
    land.create(5, 4, 1.5f, 7);
    for (std::uint32_t slot = 0; slot < land.textureCount; ++slot)
        QCOMPARE(land.textures[slot], GLuint(0));
    for (std::uint32_t k = 0; k < land.vertexCount(); ++k) {
        QCOMPARE(land.positions[k].y, 0.0f);
        QCOMPARE(land.normals[k].x, 0.0f);
        QCOMPARE(land.normals[k].y, 0.0f);
        QCOMPARE(land.normals[k].z, 0.0f);
        QCOMPARE(land.colours[k].r + land.colours[k].g + land.colours[k].b + land.colours[k].a, 0);
        QCOMPARE(land.layers[k], 0u);
    }
}

void LandscapeTest::createReplacesEarlierLattice()
{
    TLandscape land;
    land.create(4, 4, 1.0f, 2);
    land.positions[5].y = 3.0f;
    land.create(6, 3, 2.0f, 1);
    QCOMPARE(land.vertexCount(), 18u);
    QCOMPARE(land.positions[5].y, 0.0f);
    QCOMPARE(land.oddColumnFan[1], 6);
    QCOMPARE(land.evenColumnFan[1], -6);
}

void LandscapeTest::positionsOfOddAndEvenColumns()
{
    TLandscape land;
    land.create(4, 5, 2.0f, 1);
    const float3& origin = land.positions[0];
    QCOMPARE(origin.x, 0.0f);
    QCOMPARE(origin.z, 0.0f);
    const float3& odd = land.positions[0 * 4 + 1];
    QVERIFY(qAbs(odd.x - 1.7320508f) < 1e-6f);
    QCOMPARE(odd.z, -1.0f);
    const float3& even = land.positions[3 * 4 + 2];
    QVERIFY(qAbs(even.x - 3.4641016f) < 1e-6f);
    QCOMPARE(even.z, 6.0f);
}

void LandscapeTest::fanTablesCircleEachInteriorVertex()
{
    // Seven columns (an odd width, so w and its neighbours are all distinct) and two interior
    // columns of each parity.
    TLandscape land;
    land.create(7, 5, 2.0f, 1);
    const std::int32_t w = 7;
    for (std::int32_t i = 1; i <= w - 2; ++i) {
        for (std::int32_t j = 1; j <= 3; ++j) {
            const std::int32_t k = j * w + i;
            const std::int32_t* fan = (i & 1) ? land.oddColumnFan : land.evenColumnFan;
            QCOMPARE(fan[0], 0);
            QCOMPARE(fan[7], fan[1]);
            const float3& centre = land.positions[k];
            double previous = 0.0;
            for (int m = 1; m <= 6; ++m) {
                const std::int32_t n = k + fan[m];
                QVERIFY(n >= 0 && n < std::int32_t(land.vertexCount()));
                // Every neighbour is one row spacing away, horizontally.
                QVERIFY2(qAbs(horizontalDistance(centre, land.positions[n]) - 2.0) < 1e-5,
                         qPrintable(QStringLiteral("vertex %1,%2 entry %3").arg(i).arg(j).arg(m)));
                const double angle = horizontalAngleDegrees(centre, land.positions[n]);
                if (m > 1) {
                    // Each next neighbour lies 60 degrees further from +x towards +z.
                    const double step = std::fmod(angle - previous + 720.0, 360.0);
                    QVERIFY2(qAbs(step - 60.0) < 1e-3,
                             qPrintable(
                                 QStringLiteral("vertex %1,%2 entry %3: step %4").arg(i).arg(j).arg(m).arg(step)));
                }
                previous = angle;
            }
        }
    }
}

void LandscapeTest::normalsSkipBorderRing()
{
    TLandscape land;
    land.create(6, 5, 2.0f, 1);
    setHeights(land, bumpyHeight);
    fillNormals(land, kSentinel);
    land.computeNormals(0, 6, 0, 5);
    QVERIFY(computedVertices(land) == rectangle(1, 4, 1, 3));
    for (const auto& [i, j] : computedVertices(land)) {
        const float3& n = land.normals[j * land.width + i];
        QVERIFY(qAbs(std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z) - 1.0) < 1e-6);
        QVERIFY(n.y > 0.0f);
    }

    fillNormals(land, kSentinel);
    land.computeNormals(UINT32_MAX, 0, 1000, 0);
    QVERIFY(computedVertices(land) == rectangle(1, 4, 1, 3));
}

void LandscapeTest::reversedBoundsComputeSameRectangle()
{
    TLandscape forward, reversed;
    for (TLandscape* land : {&forward, &reversed}) {
        land->create(10, 10, 2.0f, 1);
        setHeights(*land, bumpyHeight);
        fillNormals(*land, kSentinel);
    }
    forward.computeNormals(2, 5, 3, 7);
    reversed.computeNormals(5, 2, 7, 3);
    QVERIFY(computedVertices(forward) == rectangle(2, 5, 3, 7));
    QVERIFY(computedVertices(reversed) == rectangle(2, 5, 3, 7));
    for (std::uint32_t k = 0; k < forward.vertexCount(); ++k) {
        QCOMPARE(reversed.normals[k].x, forward.normals[k].x);
        QCOMPARE(reversed.normals[k].y, forward.normals[k].y);
        QCOMPARE(reversed.normals[k].z, forward.normals[k].z);
    }
}

void LandscapeTest::boundsAtTheBorderAreMovedInside()
{
    TLandscape land;
    land.create(5, 5, 2.0f, 1);
    setHeights(land, bumpyHeight);
    fillNormals(land, kSentinel);
    land.computeNormals(0, 0, 0, 0); // moved to 1..0: empty
    QVERIFY(computedVertices(land).empty());
    land.computeNormals(4, 4, 2, 2); // moved to 4..3: empty
    QVERIFY(computedVertices(land).empty());
    land.computeNormals(0, 1, 2, 2);
    QVERIFY(computedVertices(land) == rectangle(1, 1, 2, 2));

    TLandscape small;
    small.create(3, 3, 2.0f, 1);
    setHeights(small, bumpyHeight);
    fillNormals(small, kSentinel);
    small.computeNormals(0, 2, 0, 2);
    QVERIFY(computedVertices(small) == rectangle(1, 1, 1, 1));
}

void LandscapeTest::narrowLatticeComputesNothing()
{
    const std::pair<std::uint32_t, std::uint32_t> shapes[] = {{2, 6}, {6, 2}, {2, 2}};
    for (const auto& [w, d] : shapes) {
        TLandscape land;
        land.create(w, d, 2.0f, 1);
        setHeights(land, bumpyHeight);
        fillNormals(land, kSentinel);
        land.computeNormals(0, w, 0, d);
        land.computeNormals(1, 1, 1, 1);
        QVERIFY2(computedVertices(land).empty(), qPrintable(QStringLiteral("%1 x %2").arg(w).arg(d)));
    }
}

void LandscapeTest::flatLatticeNormalsPointUp()
{
    TLandscape land;
    land.create(8, 7, 2.0f, 1);
    setHeights(land, [](float, float) { return 3.5f; });
    land.computeNormals(0, 8, 0, 7);
    for (std::uint32_t i = 1; i < 7; ++i) {
        for (std::uint32_t j = 1; j < 6; ++j) {
            const float3& n = land.normals[j * 8 + i];
            QCOMPARE(n.x, 0.0f);
            QCOMPARE(n.y, 1.0f);
            QCOMPARE(n.z, 0.0f);
        }
    }
}

void LandscapeTest::tiltedPlaneGivesPlaneNormal()
{
    // y = a x + b z; its upward unit normal is (-a, 1, -b) / |(-a, 1, -b)|. The heights are
    // rounded to float, hence the small tolerance.
    const float slopes[][2] = {{0.3f, -0.2f}, {-1.5f, 0.75f}, {0.0f, 2.0f}};
    for (const auto& ab : slopes) {
        TLandscape land;
        land.create(7, 6, 2.0f, 1);
        for (std::uint32_t k = 0; k < land.vertexCount(); ++k)
            land.positions[k].y = float(double(ab[0]) * land.positions[k].x + double(ab[1]) * land.positions[k].z);
        land.computeNormals(0, 7, 0, 6);
        const double len = std::sqrt(double(ab[0]) * ab[0] + 1.0 + double(ab[1]) * ab[1]);
        for (std::uint32_t i = 1; i < 6; ++i) {
            for (std::uint32_t j = 1; j < 5; ++j) {
                const float3& n = land.normals[j * 7 + i];
                QVERIFY(qAbs(n.x + ab[0] / len) < 2e-6);
                QVERIFY(qAbs(n.y - 1.0 / len) < 2e-6);
                QVERIFY(qAbs(n.z + ab[1] / len) < 2e-6);
            }
        }
    }
}

void LandscapeTest::normalsUseNeighboursAroundVertex()
{
    // For every interior vertex, find its six neighbours from the positions alone (the
    // vertices one spacing away), put them in order of angle from +x towards +z and hand them
    // to vertexNormal: the lattice's own result must be the same.
    TLandscape land;
    land.create(6, 6, 2.0f, 1);
    setHeights(land, bumpyHeight);
    land.computeNormals(0, 6, 0, 6);
    for (std::uint32_t k = 0; k < land.vertexCount(); ++k) {
        const std::uint32_t i = k % 6, j = k / 6;
        if (i == 0 || j == 0 || i == 5 || j == 5)
            continue;
        const float3& centre = land.positions[k];
        std::vector<std::pair<double, std::uint32_t>> around;
        for (std::uint32_t n = 0; n < land.vertexCount(); ++n)
            if (n != k && horizontalDistance(centre, land.positions[n]) < 2.0 + 1e-4)
                around.emplace_back(horizontalAngleDegrees(centre, land.positions[n]), n);
        QCOMPARE(around.size(), std::size_t(6));
        std::sort(around.begin(), around.end());
        const auto at = [&](int m) -> const float3& { return land.positions[around[m].second]; };
        float3 expected;
        vertexNormal(expected, centre, at(0), at(1), at(2), at(3), at(4), at(5));
        // The sum starts at a different neighbour, so the last bit may differ.
        QVERIFY(qAbs(land.normals[k].x - expected.x) < 1e-6f);
        QVERIFY(qAbs(land.normals[k].y - expected.y) < 1e-6f);
        QVERIFY(qAbs(land.normals[k].z - expected.z) < 1e-6f);
    }
}

void LandscapeTest::vertexNormalSumsUnitFaceNormals()
{
    // An uneven hexagon: each triangle's normal comes from fitting its plane, the six are
    // added at unit length and the sum normalised.
    const float3 centre{1.0f, 0.5f, 2.0f};
    float3 n[6];
    const float heights[6] = {0.9f, -0.4f, 1.7f, 0.2f, 0.0f, -1.1f};
    const float radii[6] = {1.0f, 2.5f, 0.7f, 1.3f, 3.0f, 1.8f};
    for (int m = 0; m < 6; ++m) {
        const double angle = m * 60.0 * 0.017453292519943295 + 0.2;
        n[m] = float3{float(centre.x + radii[m] * std::cos(angle)), heights[m],
                      float(centre.z + radii[m] * std::sin(angle))};
    }
    double sum[3] = {0.0, 0.0, 0.0};
    for (int m = 0; m < 6; ++m) {
        double f[3];
        planeNormal(centre, n[m], n[(m + 1) % 6], f);
        for (int c = 0; c < 3; ++c)
            sum[c] += f[c];
    }
    const double len = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);

    float3 normal{kSentinel, kSentinel, kSentinel};
    float3& result = vertexNormal(normal, centre, n[0], n[1], n[2], n[3], n[4], n[5]);
    QCOMPARE(&result, &normal);
    QVERIFY(qAbs(normal.x - sum[0] / len) < 1e-6);
    QVERIFY(qAbs(normal.y - sum[1] / len) < 1e-6);
    QVERIFY(qAbs(normal.z - sum[2] / len) < 1e-6);
}

void LandscapeTest::vertexNormalWeighsFacesEqually()
{
    // Pushing one neighbour three times as far out along its own direction enlarges two
    // triangles but turns none of them: with equal weights the normal does not move.
    const float3 centre{0.0f, 1.0f, 0.0f};
    float3 n[6];
    const float heights[6] = {1.4f, 0.3f, 2.2f, 0.8f, 1.9f, 0.1f};
    for (int m = 0; m < 6; ++m) {
        const double angle = m * 60.0 * 0.017453292519943295;
        n[m] = float3{float(std::cos(angle)), heights[m], float(std::sin(angle))};
    }
    float3 far = n[0];
    far.x = centre.x + 3.0f * (n[0].x - centre.x);
    far.y = centre.y + 3.0f * (n[0].y - centre.y);
    far.z = centre.z + 3.0f * (n[0].z - centre.z);
    float3 a, b;
    vertexNormal(a, centre, n[0], n[1], n[2], n[3], n[4], n[5]);
    vertexNormal(b, centre, far, n[1], n[2], n[3], n[4], n[5]);
    QVERIFY(qAbs(a.x - b.x) < 1e-6f);
    QVERIFY(qAbs(a.y - b.y) < 1e-6f);
    QVERIFY(qAbs(a.z - b.z) < 1e-6f);
    // ... while the sum of the raw cross products (area weights) does move, by far more than
    // the tolerance above: the configuration tells the two weightings apart.
    const auto areaWeighted = [&centre](const float3* p) {
        double s[3] = {0.0, 0.0, 0.0};
        for (int m = 0; m < 6; ++m) {
            const float3& u = p[(m + 1) % 6];
            const float3& v = p[m];
            const double du[3] = {double(u.x) - centre.x, double(u.y) - centre.y, double(u.z) - centre.z};
            const double dv[3] = {double(v.x) - centre.x, double(v.y) - centre.y, double(v.z) - centre.z};
            s[0] += du[1] * dv[2] - du[2] * dv[1];
            s[1] += du[2] * dv[0] - du[0] * dv[2];
            s[2] += du[0] * dv[1] - du[1] * dv[0];
        }
        const double len = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
        return std::array<double, 3>{s[0] / len, s[1] / len, s[2] / len};
    };
    float3 withFar[6] = {far, n[1], n[2], n[3], n[4], n[5]};
    const auto near3 = areaWeighted(n);
    const auto far3 = areaWeighted(withFar);
    QVERIFY(qAbs(near3[0] - far3[0]) + qAbs(near3[2] - far3[2]) > 1e-2);
}

// The fog's colour is the band's at the point's azimuth from the eye, whichever quadrant (its
// share against GL's fog factor: LandscapeRenderGLTest).
void LandscapeTest::groundFogTakesTheBandTowardEachPoint()
{
    // A band that spells out its azimuth: (0.5 + cos / 2, 0.5 + sin / 2, 0.25) every 5 degrees.
    constexpr int kSlices = 72;
    std::vector<float> band;
    for (int k = 0; k <= kSlices; ++k) {
        const double a = 2.0 * kPi * k / kSlices;
        band.insert(band.end(), {float(0.5 + 0.5 * std::cos(a)), float(0.5 + 0.5 * std::sin(a)), 0.25f});
    }
    // Only the modelview's third row matters: here z_eye = -100 everywhere, past the fog's end.
    float deep[16] = {};
    deep[14] = -100.0f;
    GroundFog fog;
    const float3 eye{10.0f, 3.0f, -20.0f};
    fog.set(eye, deep, 7.0f, 45.0f, band);
    for (const double degrees : {0.0, 1.0, 44.0, 90.0, 91.0, 135.0, 180.0, 181.0, 269.0, 270.0, 300.0, 359.5}) {
        const double a = degrees * kPi / 180.0;
        const float3 p{eye.x + float(30.0 * std::cos(a)), 0.0f, eye.z + float(30.0 * std::sin(a))};
        float rgb[3];
        fog.colourAt(p, rgb);
        // Linear between slices 5 degrees apart: within 1 - cos(2.5 degrees) of the curve.
        QVERIFY2(std::fabs(rgb[0] - (0.5 + 0.5 * std::cos(a))) < 2e-3 &&
                     std::fabs(rgb[1] - (0.5 + 0.5 * std::sin(a))) < 2e-3 && rgb[2] == 0.25f,
                 qPrintable(QString("%1 degrees: %2 %3 %4").arg(degrees).arg(rgb[0]).arg(rgb[1]).arg(rgb[2])));
    }
}

QTEST_APPLESS_MAIN(LandscapeTest)
#include "LandscapeTest.moc"
