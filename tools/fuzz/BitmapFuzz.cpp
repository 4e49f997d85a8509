// Feeds arbitrary bytes to decodeBitmap, the code loadTexture reads and checks a BMP file
// with. A refusal (ViewerError) is a normal outcome; anything else that leaves the decoder, a
// sanitizer report, or a decoded image that breaks BitmapImage's contract is a finding.
//
// Needs no display: QImage decodes BMP without a QGuiApplication.

#include "Texture.h"
#include "ViewerError.h"

#include <QByteArray>
#include <QtGlobal>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// GL_MAX_TEXTURE_SIZE of llvmpipe and of most desktop drivers: the side limit loadTexture
// passes in practice.
constexpr int kMaxSide = 16384;

// Decoded words hold R, G, B, A in memory; alpha is 0 for a 32-bit file and 255 otherwise.
bool keepsContract(const BitmapImage& image)
{
    if (image.width < 1 || image.height < 1 || image.width > kMaxSide || image.height > kMaxSide)
        return false;
    if (image.words.size() != std::size_t(image.width) * std::size_t(image.height))
        return false;
    const unsigned char alpha = image.was32Bit ? 0 : 255;
    for (const std::uint32_t word : image.words) {
        unsigned char bytes[4];
        std::memcpy(bytes, &word, 4);
        if (bytes[3] != alpha)
            return false;
    }
    return true;
}

// QImage warns on stderr about damaged files (palette indices out of range and the like); at
// thousands of inputs a second that is noise which also slows the run down.
void dropQtMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler(dropQtMessage);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > std::size_t(INT_MAX))
        return 0;
    // No copy: a read past the input is a read past libFuzzer's exactly sized buffer, which
    // AddressSanitizer reports.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    try {
        if (!keepsContract(decodeBitmap(bytes, kMaxSide)))
            std::abort();
    } catch (const ViewerError&) {
    }
    return 0;
}
