#pragma once

#include <QPoint>
#include <QSize>
#include <QtGlobal>
#include <vector>

class QImage;

// A picture drawn over the frame: premultiplied RGBA at the device pixel ratio, bottom row
// first (row 0 is the picture's bottom), with its top-left corner in the panel's
// (device-independent) pixels.
struct OverlayPicture {
    const QImage* image;
    QPoint topLeft;
};

// Sets the pixel store to read an OverlayPicture's rows: no skips, swaps or row length of its
// own. Changes the unpack state only; the caller saves it (GL_CLIENT_PIXEL_STORE_BIT).
void unpackImageRows();

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
    // Expects the GL context current and GL_MODELVIEW selected; whatever else the frame left.
    // Leaves every state as it found it: the enables, the blend function, the texture binding
    // and environment, the polygon mode, the current colour and texture coordinates, the
    // pixel store and the three matrices are saved first and restored after; texture
    // coordinates are not generated while it draws. Makes no GL call for an empty list when
    // it holds no texture.
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
    void releaseUnused();

    std::vector<Slot> slots_;
};
