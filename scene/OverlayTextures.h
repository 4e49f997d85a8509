#pragma once

#include <QPoint>
#include <QSize>
#include <QtGlobal>
#include <functional>
#include <vector>

class QImage;

// A picture drawn over the frame: premultiplied RGBA at the device pixel ratio, bottom row
// first (row 0 is the picture's bottom), with its top-left corner in the panel's
// (device-independent) pixels.
struct OverlayPicture {
    const QImage* image;
    QPoint topLeft;
};

// The two ways a picture reaches the frame: glDrawPixels from the image, or a quad of a kept
// texture (OverlayTextures).
enum class OverlayWay { Pixels, Texture };

// Runs drawPictures with the GL set up for pictures over the frame, then puts every state back.
//
// Expects the GL context current and GL_MODELVIEW selected; whatever else the frame left.
// Sets, for drawPictures: the modelview and texture matrices the identity, the projection an
// orthographic one over the GL viewport's pixels (the origin at its bottom-left corner, each
// pixel's centre half a unit in); the depth, stencil and alpha tests, 1D texturing, fog,
// lighting, face culling, the scissor test and texture coordinate generation off; 2D texturing
// on with GL_REPLACE for Texture, off for Pixels; polygons filled; blending on with (GL_ONE,
// GL_ONE_MINUS_SRC_ALPHA), which puts premultiplied pixels over the frame; the unpack state
// reading an OverlayPicture's rows (tightly packed at an alignment of 4, no skips, swaps or
// row length of its own) and a pixel zoom of 1.
// Leaves every state as it found it: the enables, the blend function, the texture binding and
// environment, the polygon mode, the current colour, raster position and texture
// coordinates, the pixel store and zoom and the three matrices are saved first (pushed) and
// restored after (popped); GL_MODELVIEW is selected again.
void drawInOverlayState(OverlayWay way, const std::function<void()>& drawPictures);

// Pictures kept as textures from frame to frame, each drawn as a quad that maps texel to pixel
// one to one: the same pixels as drawOverlayPictures. A picture is uploaded when first drawn
// and again only when its image changed (Qt renews an image's cache key on every write to its
// pixels): the frame-time graph, drawn into every frame while shown, costs one upload of its
// bars and two quads. glDrawPixels makes and fills a texture inside Mesa on every call: about
// 0.35 ms a picture on llvmpipe, against 0.05 ms for an upload.
//
// Owns GL textures: destroy it, as the landscape, with the context it drew in current.
class OverlayTextures {
public:
    OverlayTextures() = default;
    OverlayTextures(const OverlayTextures&) = delete;
    OverlayTextures& operator=(const OverlayTextures&) = delete;
    ~OverlayTextures();

    // Draws each picture over the frame in the back buffer, in the order given (the last on
    // top), blended by its premultiplied alpha, and lets go of the textures of pictures not
    // among them. viewportPixels is the panel's size in device pixels (the pictures are placed
    // down from its top, up from the GL viewport's bottom), ratio the device pixel ratio.
    //
    // Draws in drawInOverlayState's Texture set-up and leaves every state as it found it.
    // Makes no GL call for an empty list when it holds no texture.
    void draw(const std::vector<OverlayPicture>& pictures, QSize viewportPixels, double ratio);

    // Textures held: one per picture of the last draw.
    int textureCount() const { return int(slots_.size()); }

private:
    struct Slot {
        qint64 image;      // the image's identity: the upper half of its cache key
        qint64 uploaded;   // the cache key of the pixels in the texture
        unsigned name;     // the GL texture
        QSize textureSize; // powers of two, as GL 1.1 asks, at least the image's size
        bool used;         // drawn by the current draw
    };

    Slot& slotFor(const QImage& image);
    static void drawQuad(const OverlayPicture& picture, const Slot& slot, QSize viewportPixels, double ratio);
    void releaseUnused();

    std::vector<Slot> slots_;
};
