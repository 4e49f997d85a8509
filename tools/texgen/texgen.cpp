// terrain-texgen: writes the four terrain layer textures LandTex0.bmp ... LandTex3.bmp.
//
//   terrain-texgen <output-folder>
//
// Layers, from the flattest ground to the steepest: 0 grass, 1 soil, 2 rock, 3 scree and snow.
// Each is 256 x 256, 24-bit uncompressed BMP, and tiles without seams: every noise field is
// sampled on a lattice that wraps at the image size, so pixel x = 256 is pixel x = 0. The
// output is deterministic (fixed seeds, an integer hash instead of library random engines,
// whose distributions differ between standard libraries).
//
// The terrain modulates the layers by light and fog, so the colours are kept mid-bright
// (channel means roughly 60-180, overall brightness about 100-175).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kSize = 256;
constexpr double kTwoPi = 6.283185307179586;

struct Rgb {
    double r;
    double g;
    double b;
};

Rgb mix(const Rgb& a, const Rgb& b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb scaled(const Rgb& c, double factor)
{
    return {c.r * factor, c.g * factor, c.b * factor};
}

double clamp01(double t)
{
    return std::min(1.0, std::max(0.0, t));
}

double smoothstep(double edge0, double edge1, double x)
{
    const double t = clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3.0 - 2.0 * t);
}

// 8-bit RGB pixels, top row first while generating; the writer flips to BMP's bottom-up order.
struct Image {
    std::vector<std::uint8_t> rgb = std::vector<std::uint8_t>(kSize * kSize * 3);

    void set(int x, int y, const Rgb& c)
    {
        auto channel = [](double v) {
            return static_cast<std::uint8_t>(std::lround(std::min(255.0, std::max(0.0, v))));
        };
        std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * kSize + x) * 3];
        p[0] = channel(c.r);
        p[1] = channel(c.g);
        p[2] = channel(c.b);
    }
};

// A 32-bit integer hash of a lattice point and a seed (a murmur3-style finaliser over a
// combination with large odd constants); the same inputs give the same bits on every platform.
std::uint32_t hash(std::int32_t x, std::int32_t y, std::uint32_t seed)
{
    std::uint32_t h = seed * 0x9E3779B1u;
    h ^= static_cast<std::uint32_t>(x) * 0x85EBCA77u;
    h = (h << 13) | (h >> 19);
    h ^= static_cast<std::uint32_t>(y) * 0xC2B2AE3Du;
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

// Uniform in [0, 1).
double hash01(std::int32_t x, std::int32_t y, std::uint32_t seed)
{
    return (hash(x, y, seed) >> 8) * (1.0 / 16777216.0);
}

int wrap(int i, int period)
{
    const int m = i % period;
    return m < 0 ? m + period : m;
}

// Gradient noise with period `period` lattice cells in x and y: the corner gradients are hashed
// from the wrapped lattice indices, so noise(x + period, y) = noise(x, y). Quintic fade keeps the
// second derivative continuous across cell borders. The result lies in about [-1, 1].
double periodicGradientNoise(double x, double y, int period, std::uint32_t seed)
{
    const double fx = std::floor(x), fy = std::floor(y);
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    const double tx = x - fx, ty = y - fy;

    auto corner = [&](int cx, int cy) {
        const double angle = kTwoPi * hash01(wrap(ix + cx, period), wrap(iy + cy, period), seed);
        return std::cos(angle) * (tx - cx) + std::sin(angle) * (ty - cy);
    };
    auto fade = [](double t) { return t * t * t * (t * (t * 6.0 - 15.0) + 10.0); };

    const double u = fade(tx), v = fade(ty);
    const double bottom = corner(0, 0) + (corner(1, 0) - corner(0, 0)) * u;
    const double top = corner(0, 1) + (corner(1, 1) - corner(0, 1)) * u;
    // A unit-gradient 2D noise peaks at sqrt(1/2); scale that to 1.
    return (bottom + (top - bottom) * v) * 1.4142135623730951;
}

// Fractal sum over `octaves` octaves, the first with `cells` lattice cells across the image,
// each next one with twice the cells and half the amplitude. Each octave's lattice period is its
// whole number of cells across the image, so one image width is one period of every octave.
// Each octave is shifted by a fraction of a cell so pixels do not sit on the lattice (where
// gradient noise is always 0); a shift does not change the period. Normalised to about [-1, 1].
double fractalNoise(int x, int y, int cells, int octaves, std::uint32_t seed)
{
    double sum = 0.0, amplitude = 1.0, total = 0.0;
    for (int octave = 0; octave < octaves; ++octave) {
        const double u = static_cast<double>(x) * cells / kSize + 0.37 + 0.11 * octave;
        const double v = static_cast<double>(y) * cells / kSize + 0.61 + 0.17 * octave;
        sum += amplitude * periodicGradientNoise(u, v, cells, seed + 101u * octave);
        total += amplitude;
        amplitude *= 0.5;
        cells *= 2;
    }
    return sum / total;
}

// Grass: patches of darker and lighter green, drier yellowish streaks, and per-pixel blade
// speckle for texture at close range.
Image makeGrass()
{
    const Rgb dark{78, 122, 50};
    const Rgb light{126, 168, 70};
    const Rgb dry{162, 158, 86};
    Image image;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const double patches = fractalNoise(x, y, 4, 5, 11);
            const double dryness = fractalNoise(x, y, 8, 3, 23);
            const double blade = hash01(x, y, 37);
            Rgb c = mix(dark, light, clamp01(0.5 + 0.9 * patches));
            c = mix(c, dry, 0.45 * smoothstep(0.15, 0.55, dryness));
            image.set(x, y, scaled(c, 0.86 + 0.28 * blade));
        }
    }
    return image;
}

// Soil: clumps of darker and lighter brown with scattered pale pebbles.
Image makeSoil()
{
    const Rgb dark{108, 78, 52};
    const Rgb light{168, 126, 88};
    const Rgb pebble{172, 156, 132};
    Image image;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const double clumps = fractalNoise(x, y, 4, 6, 41);
            const double pebbles = fractalNoise(x, y, 32, 2, 53);
            const double grain = hash01(x, y, 67);
            Rgb c = mix(dark, light, clamp01(0.5 + 0.8 * clumps));
            c = mix(c, pebble, 0.8 * smoothstep(0.42, 0.55, pebbles));
            image.set(x, y, scaled(c, 0.9 + 0.2 * grain));
        }
    }
    return image;
}

// Rock: warm grey with wavy darker strata (a whole number of bands over the height, bent by low
// noise, so they wrap) and dark cracks along the zero lines of a noise field (ridged noise).
Image makeRock()
{
    const Rgb grey{146, 143, 136};
    Image image;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const double body = fractalNoise(x, y, 4, 6, 71);
            const double bend = fractalNoise(x, y, 2, 3, 83);
            const double strataPhase = 7.0 * y / kSize + 0.9 * bend;
            const double strata = 0.5 + 0.5 * std::sin(kTwoPi * strataPhase);
            const double crackField = std::fabs(fractalNoise(x, y, 4, 4, 97));
            const double grain = hash01(x, y, 109);

            double shade = 0.92 + 0.25 * body;
            shade *= 1.0 - 0.22 * smoothstep(0.7, 0.95, strata);
            shade *= 1.0 - 0.45 * (1.0 - smoothstep(0.0, 0.045, crackField));
            shade *= 0.93 + 0.14 * grain;
            image.set(x, y, scaled(grey, shade));
        }
    }
    return image;
}

// Scree and snow: a light, slightly blue white with soft drifts and grey stones: small clumps
// where a fine noise field peaks plus single-pixel speckles.
Image makeSnow()
{
    const Rgb snow{182, 186, 194};
    const Rgb stone{118, 116, 112};
    Image image;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const double drifts = fractalNoise(x, y, 4, 5, 131);
            const double stones = fractalNoise(x, y, 32, 2, 137);
            const double speckle = hash01(x, y, 149);
            const double grain = hash01(x, y, 151);

            Rgb c = scaled(snow, 0.95 + 0.08 * drifts);
            double stoneAmount = 0.85 * smoothstep(0.45, 0.6, stones);
            if (speckle < 0.04)
                stoneAmount = std::max(stoneAmount, 0.6);
            c = mix(c, stone, stoneAmount);
            image.set(x, y, scaled(c, 0.96 + 0.08 * grain));
        }
    }
    return image;
}

void putLe16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void putLe32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>((v >> shift) & 0xFF));
}

// A 24-bit uncompressed BMP: 14-byte file header, 40-byte BITMAPINFOHEADER, then bottom-up
// rows of blue-green-red triples, each row padded to a multiple of 4 bytes.
bool writeBmp(const std::filesystem::path& path, const Image& image)
{
    const std::uint32_t rowBytes = (kSize * 3 + 3) & ~3u;
    const std::uint32_t pixelBytes = rowBytes * kSize;
    const std::uint32_t dataOffset = 14 + 40;

    std::vector<std::uint8_t> out;
    out.reserve(dataOffset + pixelBytes);
    out.push_back('B');
    out.push_back('M');
    putLe32(out, dataOffset + pixelBytes); // file size
    putLe32(out, 0);                       // two reserved words
    putLe32(out, dataOffset);

    putLe32(out, 40); // header size
    putLe32(out, kSize);
    putLe32(out, kSize); // positive height: bottom-up rows
    putLe16(out, 1);     // planes
    putLe16(out, 24);    // bits per pixel
    putLe32(out, 0);     // BI_RGB, uncompressed
    putLe32(out, pixelBytes);
    putLe32(out, 2835); // 72 dpi in pixels per metre
    putLe32(out, 2835);
    putLe32(out, 0); // colours used: none (no palette)
    putLe32(out, 0); // important colours: all

    for (int y = kSize - 1; y >= 0; --y) {
        const std::uint8_t* row = &image.rgb[static_cast<std::size_t>(y) * kSize * 3];
        for (int x = 0; x < kSize; ++x) {
            out.push_back(row[x * 3 + 2]);
            out.push_back(row[x * 3 + 1]);
            out.push_back(row[x * 3 + 0]);
        }
        for (std::uint32_t pad = kSize * 3; pad < rowBytes; ++pad)
            out.push_back(0);
    }

    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    file.close();
    return static_cast<bool>(file);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr,
                     "Usage: terrain-texgen <output-folder>\n"
                     "Writes the terrain layer textures LandTex0.bmp ... LandTex3.bmp there.\n");
        return 2;
    }

    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "terrain-texgen: cannot create the folder \"%s\": %s\n", folder.string().c_str(),
                     error.message().c_str());
        return 1;
    }

    Image (*const layers[])() = {makeGrass, makeSoil, makeRock, makeSnow};
    for (int layer = 0; layer < 4; ++layer) {
        const std::filesystem::path path = folder / ("LandTex" + std::to_string(layer) + ".bmp");
        if (!writeBmp(path, layers[layer]())) {
            std::fprintf(stderr, "terrain-texgen: cannot write \"%s\"\n", path.string().c_str());
            return 1;
        }
        std::printf("%s\n", path.string().c_str());
    }
    return 0;
}
