// The allocator setting for drawing, in a process of its own (it changes the C library's heap
// for the rest of the process): the literal terrain path on a full-size lattice and window,
// page faults per frame before and after tuneAllocatorForDrawing.

#include "AllocatorTuning.h"
#include "GlChecks.h"
#include "GlTestPanel.h"
#include "GlView.h"
#include "Landscape.h"
#include "TerrainBuild.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <sys/resource.h>
#include <vector>

namespace {

long minorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

GLuint makeLayerTexture(GLubyte red, GLubyte green, GLubyte blue)
{
    std::vector<GLubyte> texels(32 * 32 * 4);
    for (std::size_t t = 0; t < texels.size(); t += 4) {
        const int shade = int((t / 4) % 7) * 6;
        texels[t] = GLubyte(std::min(255, red + shade));
        texels[t + 1] = GLubyte(std::min(255, green + shade));
        texels[t + 2] = GLubyte(std::min(255, blue + shade));
        texels[t + 3] = 255;
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA, 32, 32, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    return name;
}

} // namespace

class LandscapeBatchedAllocatorGLTest : public QObject {
    Q_OBJECT

private slots:
    void literalFramesStopFaultingOnceTuned();

private:
    // Median page faults per frame over `frames` literal frames of the start-up view, the eye
    // drifting forward so the window moves as it does in flight.
    long medianFaultsPerFrame(TLandscape& land, int frames);
    int frame_ = 0;
};

long LandscapeBatchedAllocatorGLTest::medianFaultsPerFrame(TLandscape& land, int frames)
{
    const double yaw = 125.0 * 0.017453292519943295;
    std::vector<long> faults;
    for (int f = 0; f < frames; ++f, ++frame_) {
        const double x = 100.0 + 0.3 * frame_ * std::cos(yaw), z = 100.0 + 0.3 * frame_ * std::sin(yaw);
        beginFrame();
        gluLookAt(x, 7.0, z, x + std::cos(yaw), 7.0, z + std::sin(yaw), 0.0, 1.0, 0.0);
        glFinish();
        const long before = minorFaults();
        land.render(float(x), float(z), 60.0f);
        glFinish();
        faults.push_back(minorFaults() - before);
    }
    std::sort(faults.begin(), faults.end());
    return faults[faults.size() / 2];
}

// The software rasteriser allocates and frees some 35 MB in 64 KB blocks per literal frame;
// with the C library's default thresholds the freed top of the heap goes back to the kernel
// and comes back as thousands of page faults per frame. Tuned, the heap keeps it: a frame
// faults in almost nothing. The bound of 500 leaves room for the odd growth of the heap.
void LandscapeBatchedAllocatorGLTest::literalFramesStopFaultingOnceTuned()
{
    GlTestPanel panel(1012, 614);
    initRenderState(panel.panel());
    glView.setPerspective(45.0f, 50.0f);
    enableStartupFog();

    TLandscape land;
    land.create(300, 300, 2.0f, 100);
    land.textures[0] = makeLayerTexture(60, 140, 50);
    land.textures[1] = makeLayerTexture(140, 120, 60);
    land.textures[2] = makeLayerTexture(110, 80, 50);
    land.textures[3] = makeLayerTexture(200, 200, 200);
    for (std::uint32_t i = 0; i < 300; ++i)
        for (std::uint32_t j = 0; j < 300; ++j) {
            float3& p = land.positions[j * 300 + i];
            const double x = p.x, z = p.z;
            const double waves = std::sin(double(0.7f) * x) + std::sin(double(0.6f) * z) +
                                 std::sin(double(0.4f) * (x + z));
            p.y = float((waves / 3.0 + 2.0) * 2.0);
        }
    land.computeNormals(0, 300, 0, 300);
    for (std::uint32_t k = 0; k < land.vertexCount(); ++k) {
        land.colours[k] = ubyte4{255, 255, 255, 0};
        land.layers[k] = layerForSlope(land.normals[k].y);
    }

#ifdef __SANITIZE_ADDRESS__
    QSKIP("AddressSanitizer replaces the C library's heap, whose thresholds this test measures");
#endif
    medianFaultsPerFrame(land, 3);
    const long untuned = medianFaultsPerFrame(land, 8);
    QVERIFY(tuneAllocatorForDrawing());
    medianFaultsPerFrame(land, 3);
    const long tuned = medianFaultsPerFrame(land, 20);
    qInfo("median page faults per literal frame: %ld with the default heap, %ld tuned", untuned, tuned);
    if (untuned < 1000)
        qWarning("the default heap did not fault here either: the tuned figure shows little");
    QVERIFY2(tuned < 500, qPrintable(QString::number(tuned)));
    VERIFY_NO_GL_ERROR();
}

QTEST_MAIN(LandscapeBatchedAllocatorGLTest)
#include "LandscapeBatchedAllocatorGLTest.moc"
