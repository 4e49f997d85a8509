// Feeds arbitrary bytes to decodeBitmap, the code loadTexture reads and checks a BMP file
// with. A refusal (ViewerError) is a normal outcome; anything else that leaves the decoder, a
// sanitizer report, a decoded image that breaks BitmapImage's contract, or two decodes of the
// same bytes that differ is a finding.
//
// The two decodes run with the heap poisoned differently: every block operator new hands out
// is first filled with a byte that changes between them, and glibc's malloc perturbation (when
// the allocator is glibc's) does the same for malloc. A pixel taken from memory nobody wrote
// then shows up as a difference, which the sanitizers alone do not report.
//
// Needs no display: the decoder uses no GUI class.

#include "BitmapDecoder.h"
#include "ViewerError.h"

#include <QByteArray>
#include <QtGlobal>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// GL_MAX_TEXTURE_SIZE of llvmpipe and of most desktop drivers: the side limit loadTexture
// passes in practice.
constexpr int kMaxSide = 16384;

// The byte every new block is filled with; 0 during libFuzzer's own work.
unsigned char g_poison = 0;

void setPoison(unsigned char byte)
{
    g_poison = byte;
#if defined(__GLIBC__)
    mallopt(M_PERTURB, byte);
#endif
}

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

// Decodes under one poison byte; a refusal gives an image of width 0.
BitmapImage decodeWith(unsigned char poison, const QByteArray& bytes)
{
    setPoison(poison);
    BitmapImage image;
    try {
        image = decodeBitmap(bytes, kMaxSide);
    } catch (const ViewerError&) {
        image = BitmapImage();
    }
    setPoison(0);
    return image;
}

void* poisonedBlock(std::size_t size)
{
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr)
        throw std::bad_alloc();
    if (g_poison != 0)
        std::memset(block, g_poison, size);
    return block;
}

} // namespace

void* operator new(std::size_t size)
{
    return poisonedBlock(size);
}

void* operator new[](std::size_t size)
{
    return poisonedBlock(size);
}

// libFuzzer itself allocates with the nothrow forms; every form must pair with the free below.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return poisonedBlock(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return poisonedBlock(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void operator delete(void* block, const std::nothrow_t&) noexcept
{
    std::free(block);
}

void operator delete[](void* block, const std::nothrow_t&) noexcept
{
    std::free(block);
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete[](void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    std::free(block);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > std::size_t(INT_MAX))
        return 0;
    // No copy: a read past the input is a read past libFuzzer's exactly sized buffer, which
    // AddressSanitizer reports.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    const BitmapImage first = decodeWith(0x5A, bytes);
    const BitmapImage second = decodeWith(0xA5, bytes);
    if (first.width != second.width || first.height != second.height || first.was32Bit != second.was32Bit ||
        first.words != second.words)
        std::abort(); // not the same picture twice: pixels from memory nobody wrote
    if (first.width != 0 && !keepsContract(first))
        std::abort();
    return 0;
}
