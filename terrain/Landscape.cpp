#include "Landscape.h"

#include "HugePages.h"

#include <cmath>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// sqrt(3)/2: the column distance in units of the row spacing.
constexpr double kColumnFactor = 0.8660254037844386;

template <typename T>
T* allocateZeroed(std::size_t count)
{
    // A large block comes fresh from the kernel, already zero and not yet touched, so the
    // advice takes effect before the first write faults it in.
    T* data = static_cast<T*>(std::calloc(count, sizeof(T)));
    adviseHugePages(data, count * sizeof(T));
    return data;
}

} // namespace

TLandscape::~TLandscape()
{
    release();
}

void TLandscape::release()
{
    // Texture name 0 is ignored by glDeleteTextures, so unloaded slots are harmless. Without
    // any loaded texture there is nothing to delete and no GL call is made, so a landscape
    // built without a context (as the maths tests do) is released without one.
    bool anyTexture = false;
    for (std::uint32_t slot = 0; slot < textureCount && textures; ++slot)
        anyTexture = anyTexture || textures[slot] != 0;
    if (anyTexture)
        glDeleteTextures(static_cast<GLsizei>(textureCount), textures);
    std::free(textures);
    std::free(positions);
    std::free(normals);
    std::free(colours);
    std::free(layers);
    textures = nullptr;
    positions = nullptr;
    normals = nullptr;
    colours = nullptr;
    layers = nullptr;
    width = depth = textureCount = 0;
    spacing = 0.0f;
    batches_.clear();
    rings_.clear();
    meanTextures_.clear();
}

void TLandscape::create(std::uint32_t w, std::uint32_t d, float s, std::uint32_t count)
{
    release();
    width = w >= 2 ? w : 2;
    depth = d >= 2 ? d : 2;
    spacing = s > 0.0f ? s : 1.0f; // zero, negative and NaN all give 1
    textureCount = count >= 1 ? count : 1;

    const std::size_t n = std::size_t(width) * depth;
    textures = allocateZeroed<GLuint>(textureCount);
    positions = allocateZeroed<float3>(n);
    normals = allocateZeroed<float3>(n);
    colours = allocateZeroed<ubyte4>(n);
    layers = allocateZeroed<std::uint32_t>(n);

    // Row by row, in memory order: a wide lattice is walked without striding across it.
    for (std::uint32_t j = 0; j < depth; ++j) {
        for (std::uint32_t i = 0; i < width; ++i) {
            float3& p = positions[std::size_t(j) * width + i];
            p.x = float(double(i) * spacing * kColumnFactor);
            p.z = float((double(j) - 0.5 * double(i & 1u)) * spacing);
        }
    }

    const std::int32_t wi = std::int32_t(width);
    const std::int32_t odd[8] = {0, +wi, -1, -wi - 1, -wi, -wi + 1, +1, +wi};
    const std::int32_t even[8] = {0, -wi, +1, +wi + 1, +wi, +wi - 1, -1, -wi};
    for (int m = 0; m < 8; ++m) {
        oddColumnFan[m] = odd[m];
        evenColumnFan[m] = even[m];
    }
}

void TLandscape::computeNormals(std::uint32_t x0, std::uint32_t x1, std::uint32_t z0, std::uint32_t z1)
{
    if (width < 3 || depth < 3)
        return; // no interior vertex

    if (x0 >= width)
        x0 = width - 1;
    if (x1 >= width)
        x1 = width - 1;
    if (z0 >= depth)
        z0 = depth - 1;
    if (z1 >= depth)
        z1 = depth - 1;
    std::uint32_t xlo = x0 < x1 ? x0 : x1, xhi = x0 < x1 ? x1 : x0;
    std::uint32_t zlo = z0 < z1 ? z0 : z1, zhi = z0 < z1 ? z1 : z0;
    if (xlo == 0)
        xlo = 1;
    if (xhi == width - 1)
        xhi = width - 2;
    if (zlo == 0)
        zlo = 1;
    if (zhi == depth - 1)
        zhi = depth - 2;

    const auto at = [this](std::uint32_t i, std::uint32_t j) -> const float3& {
        return positions[std::size_t(j) * width + i];
    };
    // Each normal depends only on the positions, so the order is free: row by row, in memory
    // order, which keeps a wide lattice's three rows in the cache.
    for (std::uint32_t j = zlo; j <= zhi; ++j) {
        for (std::uint32_t i = xlo; i <= xhi; ++i) {
            const std::size_t k = std::size_t(j) * width + i;
            if (i & 1u)
                vertexNormal(normals[k], positions[k], at(i - 1, j - 1), at(i, j - 1), at(i + 1, j - 1), at(i + 1, j),
                             at(i, j + 1), at(i - 1, j));
            else
                vertexNormal(normals[k], positions[k], at(i, j - 1), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1),
                             at(i - 1, j + 1), at(i - 1, j));
        }
    }
}

float3& vertexNormal(float3& normal, const float3& centre, const float3& n1, const float3& n2, const float3& n3,
                     const float3& n4, const float3& n5, const float3& n6)
{
    const float3* around[6] = {&n1, &n2, &n3, &n4, &n5, &n6};
    // The edges to the neighbours by component; slot 6 repeats slot 0 so that face m reads
    // edges m and m + 1 side by side.
    alignas(16) double dx[7];
    alignas(16) double dy[7];
    alignas(16) double dz[7];
    for (int m = 0; m < 6; ++m) {
        dx[m] = double(around[m]->x) - centre.x;
        dy[m] = double(around[m]->y) - centre.y;
        dz[m] = double(around[m]->z) - centre.z;
    }
    dx[6] = dx[0];
    dy[6] = dy[0];
    dz[6] = dz[0];
    // Face m is spanned by b = d[m] and a = d[m+1]; a x b points up because the neighbours
    // turn from +x towards +z (clockwise seen from above). Each face, scaled to unit length:
    alignas(16) double ux[6];
    alignas(16) double uy[6];
    alignas(16) double uz[6];
#if defined(__SSE2__)
    // Two faces at a time. Packed IEEE products, differences, square roots and quotients round
    // exactly as their scalar forms, so the result is the same to the last bit.
    for (int m = 0; m < 6; m += 2) {
        const __m128d bx = _mm_load_pd(dx + m);
        const __m128d by = _mm_load_pd(dy + m);
        const __m128d bz = _mm_load_pd(dz + m);
        const __m128d ax = _mm_loadu_pd(dx + m + 1);
        const __m128d ay = _mm_loadu_pd(dy + m + 1);
        const __m128d az = _mm_loadu_pd(dz + m + 1);
        const __m128d fx = _mm_sub_pd(_mm_mul_pd(ay, bz), _mm_mul_pd(az, by));
        const __m128d fy = _mm_sub_pd(_mm_mul_pd(az, bx), _mm_mul_pd(ax, bz));
        const __m128d fz = _mm_sub_pd(_mm_mul_pd(ax, by), _mm_mul_pd(ay, bx));
        const __m128d len = _mm_sqrt_pd(
            _mm_add_pd(_mm_add_pd(_mm_mul_pd(fx, fx), _mm_mul_pd(fy, fy)), _mm_mul_pd(fz, fz)));
        _mm_store_pd(ux + m, _mm_div_pd(fx, len));
        _mm_store_pd(uy + m, _mm_div_pd(fy, len));
        _mm_store_pd(uz + m, _mm_div_pd(fz, len));
    }
#else
    for (int m = 0; m < 6; ++m) {
        const double fx = dy[m + 1] * dz[m] - dz[m + 1] * dy[m];
        const double fy = dz[m + 1] * dx[m] - dx[m + 1] * dz[m];
        const double fz = dx[m + 1] * dy[m] - dy[m + 1] * dx[m];
        const double len = std::sqrt(fx * fx + fy * fy + fz * fz);
        ux[m] = fx / len;
        uy[m] = fy / len;
        uz[m] = fz / len;
    }
#endif
    // Summed in turning order, as the order fixes the rounding.
    double s[3] = {0.0, 0.0, 0.0};
    for (int m = 0; m < 6; ++m) {
        s[0] += ux[m];
        s[1] += uy[m];
        s[2] += uz[m];
    }
    normal.x = float(s[0]);
    normal.y = float(s[1]);
    normal.z = float(s[2]);
    // The length is taken from the stored floats, as the stored vector is what gets normalised.
    const double len = std::sqrt(double(normal.x) * normal.x + double(normal.y) * normal.y +
                                 double(normal.z) * normal.z);
    normal.x = float(normal.x / len);
    normal.y = float(normal.y / len);
    normal.z = float(normal.z / len);
    return normal;
}
