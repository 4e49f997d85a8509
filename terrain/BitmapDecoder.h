#pragma once

#include <QByteArray>
#include <cstdint>
#include <vector>

// The bitmap facility's decoder: Windows and OS/2 BMP bytes to the words the terrain uploads.
//
// Accepted, and nothing else (anything else is refused: decodeBitmap):
//   info header  12 bytes (BITMAPCOREHEADER / OS/2 1.x: 16-bit sides, 3-byte palette entries),
//                40 (BITMAPINFOHEADER), 52 and 56 (with RGB / RGBA masks), 64 (OS/2 2.x),
//                108 (BITMAPV4HEADER), 124 (BITMAPV5HEADER)
//   1, 4, 8 bits  palettised, BI_RGB; 4 bits also BI_RLE4, 8 bits also BI_RLE8
//   16, 32 bits   BI_RGB (16: 5-5-5, 32: 8-8-8), or BI_BITFIELDS / BI_ALPHABITFIELDS with
//                 masks whose red, green and blue parts are each one non-empty run of bits
//                 inside the pixel and do not overlap (any width from 1 to 32 bits)
//   24 bits       BI_RGB
//   12-byte headers take 1, 4, 8 and 24 bits only; 64-byte headers no bitfields (their
//   compression 3 and 4 are OS/2's Huffman and RLE24, not decoded); run-length pictures are
//   stored bottom-up only.
// Refused among the valid variants: 2 and 64 bits per pixel, BI_JPEG, BI_PNG, OS/2 Huffman
// and RLE24, CMYK compressions, a Windows palette longer than 2^bits entries, colour masks
// that are empty, split or overlapping.
//
// Pixel values:
//   - A channel of n bits holding v becomes round(v * 255 / (2^n - 1)) (5 bits: 31 -> 255,
//     16 -> 132), for mask channels and the 5-5-5 default alike; 8-bit channels as they stand.
//   - A palette is as long as the header says (clrUsed, 0 meaning 2^bits); in a 12-byte header,
//     which has no count, as many entries as fit between the header and the pixel data, at most
//     2^bits. An index past the palette's end gives palette entry 0.
//   - Pixels a run-length picture leaves undefined (skipped by a delta, after an early end of
//     line or end of bitmap, or after the data stops) are palette entry 0. Damaged run-length
//     data is decoded under the same rule: pixels beyond a row's end are dropped, a move past
//     the last row ends the picture, an absolute run cut short by the end of the file ends it.
//   - The pixel data is read from the offset the file header gives.
// Every word is therefore a function of the file's bytes alone.

// A BMP file decoded into the words the terrain uploads: W * H 32-bit words, rows bottom-up
// (word row 0 is the bottom row of the picture), each word holding the bytes R, G, B, A in
// memory order. Alpha is 255 for a file that had fewer than 32 bits per pixel (it was
// converted) and 0 for a file that already had 32: the file's own alpha is never read.
struct BitmapImage {
    int width = 0;
    int height = 0;
    bool was32Bit = false;
    std::vector<std::uint32_t> words;
};

// Decodes the bytes of a BMP file. Throws ViewerError for anything outside the list above,
// and for a width or height of 0 or larger than maxSide, before any large allocation: its first
// line is "Bitmap image is not valid", its second says why (the file is empty, cut short, a
// picture of another kind such as a PNG, a format not read, the masks or palette it names). Memory: the W * H words and
// nothing that grows with the file; time: linear in the picture and the file.
BitmapImage decodeBitmap(const QByteArray& fileBytes, int maxSide);
