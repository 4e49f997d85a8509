#include "OverlayTextures.h"

#include <GL/gl.h>
#include <QImage>
#include <algorithm>
#include <cmath>

namespace {

int powerOfTwoAtLeast(int n)
{
    int p = 1;
    while (p < n)
        p *= 2;
    return p;
}

} // namespace

void drawInOverlayState(OverlayWay way, const std::function<void()>& drawPictures)
{
    // Saved whole rather than switched back one by one: the overlays come after the frame's own
    // drawing, whose contract says what it leaves, and must leave exactly that.
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT | GL_PIXEL_MODE_BIT | GL_TEXTURE_BIT |
                 GL_POLYGON_BIT | GL_TRANSFORM_BIT);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    // Pixels from the viewport's bottom-left corner: a quad's corners on whole pixels, each
    // pixel's centre on a texel's, and the raster position (0, 0) on the corner.
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    glOrtho(0.0, viewport[2], 0.0, viewport[3], -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    // The pixels are written as they are, blended by their premultiplied alpha: no lighting,
    // fog, depth or stencil test touches them, every face is filled, and texture coordinates
    // are the quads' own, not generated.
    for (GLenum cap : {GL_DEPTH_TEST, GL_STENCIL_TEST, GL_ALPHA_TEST, GL_TEXTURE_1D, GL_FOG, GL_LIGHTING, GL_CULL_FACE,
                       GL_SCISSOR_TEST, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T})
        glDisable(cap);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    if (way == OverlayWay::Texture) {
        glEnable(GL_TEXTURE_2D);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    } else {
        glDisable(GL_TEXTURE_2D);
    }
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    // RGBA8888 rows are whole 32-bit words: tightly packed at an alignment of 4.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelZoom(1.0f, 1.0f);

    drawPictures();

    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopClientAttrib();
    glPopAttrib();
}

OverlayTextures::~OverlayTextures()
{
    for (Slot& slot : slots_)
        slot.used = false;
    releaseUnused();
}

OverlayTextures::Slot& OverlayTextures::slotFor(const QImage& image)
{
    const qint64 identity = image.cacheKey() >> 32;
    auto slot = std::find_if(slots_.begin(), slots_.end(), [&](const Slot& s) { return s.image == identity; });
    if (slot == slots_.end()) {
        GLuint name = 0;
        glGenTextures(1, &name);
        slots_.push_back(Slot{identity, 0, name, QSize(), false});
        slot = slots_.end() - 1;
    }
    glBindTexture(GL_TEXTURE_2D, slot->name);
    const QSize wanted(powerOfTwoAtLeast(image.width()), powerOfTwoAtLeast(image.height()));
    if (slot->textureSize.width() < image.width() || slot->textureSize.height() < image.height()) {
        // Nearest texels: each pixel takes exactly its image pixel (never one past the edge).
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, wanted.width(), wanted.height(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     nullptr);
        slot->textureSize = wanted;
        slot->uploaded = 0;
    }
    if (slot->uploaded != image.cacheKey()) {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, image.width(), image.height(), GL_RGBA, GL_UNSIGNED_BYTE,
                        image.constBits());
        slot->uploaded = image.cacheKey();
    }
    slot->used = true;
    return *slot;
}

void OverlayTextures::releaseUnused()
{
    for (const Slot& slot : slots_)
        if (!slot.used) {
            const GLuint name = slot.name;
            glDeleteTextures(1, &name);
        }
    slots_.erase(std::remove_if(slots_.begin(), slots_.end(), [](const Slot& s) { return !s.used; }), slots_.end());
}

void OverlayTextures::draw(const std::vector<OverlayPicture>& pictures, QSize viewportPixels, double ratio)
{
    for (Slot& slot : slots_)
        slot.used = false;
    if (!pictures.empty()) {
        drawInOverlayState(OverlayWay::Texture, [&] {
            for (const OverlayPicture& picture : pictures)
                drawQuad(picture, slotFor(*picture.image), viewportPixels, ratio);
        });
    }
    releaseUnused();
}

void OverlayTextures::drawQuad(const OverlayPicture& picture, const Slot& slot, QSize viewportPixels, double ratio)
{
    const QImage& image = *picture.image;
    const auto left = GLint(std::lround(picture.topLeft.x() * ratio));
    const auto bottom = GLint(viewportPixels.height() - std::lround(picture.topLeft.y() * ratio) - image.height());
    const auto s = GLfloat(image.width()) / GLfloat(slot.textureSize.width());
    const auto t = GLfloat(image.height()) / GLfloat(slot.textureSize.height());
    // Clipped by the view like any quad: a picture reaching past it shows its visible part.
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2i(left, bottom);
    glTexCoord2f(s, 0.0f);
    glVertex2i(left + image.width(), bottom);
    glTexCoord2f(s, t);
    glVertex2i(left + image.width(), bottom + image.height());
    glTexCoord2f(0.0f, t);
    glVertex2i(left, bottom + image.height());
    glEnd();
}
