#include "streaming/Yuv420.h"

#include "platform/Log.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#define OLVEX_YUV_AVX2 1
#include <immintrin.h>
#endif

namespace streaming {

namespace {
// Capture layout byte offsets.
constexpr int kBlue = 0;
constexpr int kGreen = 1;
constexpr int kRed = 2;
// Full-range BT.601 coefficients scaled by 256.
constexpr int kYR = 77, kYG = 150, kYB = 29;
constexpr int kUR = -43, kUG = -85, kUB = 128;
constexpr int kVR = 128, kVG = -107, kVB = -21;
constexpr int kFixedShift = 8;
constexpr int kChromaOffset = 128;

inline std::uint8_t luma(int r, int g, int b) {
    return static_cast<std::uint8_t>((kYR * r + kYG * g + kYB * b) >> kFixedShift);
}

// >> on a negative int is an arithmetic (flooring) shift from C++20 on, as the formula needs.
inline std::uint8_t chroma(int r, int g, int b, int cr, int cg, int cb) {
    return static_cast<std::uint8_t>(((cr * r + cg * g + cb * b) >> kFixedShift) + kChromaOffset);
}

// Pixels [from, to) of one row, one at a time: the whole row where no wide path exists, and the
// few pixels a wide path leaves at the end of a row. `from` is even.
void convertRowScalar(const std::uint8_t* row, std::size_t from, std::size_t to, std::uint8_t* yRow,
                      std::uint8_t* uRow, std::uint8_t* vRow) {
    const std::uint8_t* pixel = row + from * kBytesPerPixel;
    for (std::size_t i = from; i < to; ++i, pixel += kBytesPerPixel) {
        const int r = pixel[kRed];
        const int g = pixel[kGreen];
        const int b = pixel[kBlue];
        yRow[i] = luma(r, g, b);
        if (uRow != nullptr && (i % 2) == 0) {
            uRow[i / 2] = chroma(r, g, b, kUR, kUG, kUB);
            vRow[i / 2] = chroma(r, g, b, kVR, kVG, kVB);
        }
    }
}

#if defined(__SSE2__)
// SSE2 is part of every x86-64 processor, so this path needs no run-time check; the compiler does
// not find it alone, because the four interleaved channels defeat its loop vectoriser. Each 32-bit
// lane holds one pixel (B, G, R, X from the low byte up). Masking keeps B and R as two 16-bit
// values, a 16-bit shift leaves G and X; one multiply-add of each against its coefficient pair
// gives the exact 32-bit sum of the formula, so the bytes equal the one-pixel path's.
constexpr std::size_t kWideStep = 16; // pixels per step: four 128-bit loads

inline __m128i pairOf(int low, int high) {
    return _mm_set1_epi32(static_cast<int>((static_cast<unsigned>(high) << 16) | (low & 0xFFFF)));
}

struct WideCoefficients {
    __m128i lowBytes = _mm_set1_epi16(0x00FF);
    __m128i yBR = pairOf(kYB, kYR), yG = pairOf(kYG, 0);
    __m128i uBR = pairOf(kUB, kUR), uG = pairOf(kUG, 0);
    __m128i vBR = pairOf(kVB, kVR), vG = pairOf(kVG, 0);
    __m128i offset = _mm_set1_epi16(kChromaOffset);
};

// The unshifted sums of four pixels for one row of the coefficient matrix.
inline __m128i weightedSums(__m128i pixels, __m128i br, __m128i g, const WideCoefficients& k) {
    const __m128i blueRed = _mm_and_si128(pixels, k.lowBytes);
    const __m128i greenX = _mm_srli_epi16(pixels, kFixedShift);
    return _mm_add_epi32(_mm_madd_epi16(blueRed, br), _mm_madd_epi16(greenX, g));
}

inline __m128i loadPixels(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Pixels 0, 2, 4 and 6 of the eight in a and b: the top-left pixels of their 2x2 blocks.
inline __m128i evenPixels(__m128i a, __m128i b) {
    return _mm_castps_si128(
        _mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
}

// Eight chroma values, offset, as 16-bit lanes (each 0 ... 255).
inline __m128i chromaOfEight(__m128i even0, __m128i even1, __m128i br, __m128i g, const WideCoefficients& k) {
    const __m128i low = _mm_srai_epi32(weightedSums(even0, br, g, k), kFixedShift);
    const __m128i high = _mm_srai_epi32(weightedSums(even1, br, g, k), kFixedShift);
    return _mm_add_epi16(_mm_packs_epi32(low, high), k.offset);
}

// Answers how many pixels it converted (a multiple of kWideStep); the caller does the rest.
std::size_t convertRowWide(const std::uint8_t* row, std::size_t width, std::uint8_t* yRow, std::uint8_t* uRow,
                           std::uint8_t* vRow) {
    const WideCoefficients k;
    std::size_t i = 0;
    for (; i + kWideStep <= width; i += kWideStep) {
        const std::uint8_t* p = row + i * kBytesPerPixel;
        const __m128i p0 = loadPixels(p);
        const __m128i p1 = loadPixels(p + 16);
        const __m128i p2 = loadPixels(p + 32);
        const __m128i p3 = loadPixels(p + 48);
        const __m128i y0 = _mm_srli_epi32(weightedSums(p0, k.yBR, k.yG, k), kFixedShift);
        const __m128i y1 = _mm_srli_epi32(weightedSums(p1, k.yBR, k.yG, k), kFixedShift);
        const __m128i y2 = _mm_srli_epi32(weightedSums(p2, k.yBR, k.yG, k), kFixedShift);
        const __m128i y3 = _mm_srli_epi32(weightedSums(p3, k.yBR, k.yG, k), kFixedShift);
        const __m128i y = _mm_packus_epi16(_mm_packs_epi32(y0, y1), _mm_packs_epi32(y2, y3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(yRow + i), y);
        if (uRow != nullptr) {
            const __m128i even0 = evenPixels(p0, p1);
            const __m128i even1 = evenPixels(p2, p3);
            const __m128i uv = _mm_packus_epi16(chromaOfEight(even0, even1, k.uBR, k.uG, k),
                                                chromaOfEight(even0, even1, k.vBR, k.vG, k));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(uRow + i / 2), uv);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(vRow + i / 2), _mm_unpackhi_epi64(uv, uv));
        }
    }
    return i;
}
#else
std::size_t convertRowWide(const std::uint8_t*, std::size_t, std::uint8_t*, std::uint8_t*, std::uint8_t*) {
    return 0;
}
#endif

#if defined(OLVEX_YUV_AVX2)
// The same arithmetic in 256-bit registers, 32 pixels a step, where the processor has AVX2 (the
// default x86-64 target does not assume it: compiled for it alone, chosen at run time). The
// packs work within 128-bit halves, so one cross-half permute puts each result back in order.
constexpr std::size_t kWiderStep = 32;

bool avx2Available() {
    static const bool available = __builtin_cpu_supports("avx2") != 0;
    return available;
}

__attribute__((target("avx2"))) inline __m256i pairOf256(int low, int high) {
    return _mm256_set1_epi32(static_cast<int>((static_cast<unsigned>(high) << 16) | (low & 0xFFFF)));
}

// The unshifted sums of eight pixels for one row of the coefficient matrix.
__attribute__((target("avx2"))) inline __m256i weightedSums8(__m256i pixels, __m256i br, __m256i g) {
    const __m256i blueRed = _mm256_and_si256(pixels, _mm256_set1_epi16(0x00FF));
    const __m256i greenX = _mm256_srli_epi16(pixels, kFixedShift);
    return _mm256_add_epi32(_mm256_madd_epi16(blueRed, br), _mm256_madd_epi16(greenX, g));
}

// Pixels 0, 2, ..., 14 of the sixteen in a and b, in order.
__attribute__((target("avx2"))) inline __m256i evenPixels8(__m256i a, __m256i b) {
    const __m256i mixed = _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
    return _mm256_permute4x64_epi64(mixed, _MM_SHUFFLE(3, 1, 2, 0));
}

__attribute__((target("avx2"))) std::size_t convertRowWider(const std::uint8_t* row, std::size_t width,
                                                            std::uint8_t* yRow, std::uint8_t* uRow,
                                                            std::uint8_t* vRow) {
    const __m256i yBR = pairOf256(kYB, kYR), yG = pairOf256(kYG, 0);
    const __m256i uBR = pairOf256(kUB, kUR), uG = pairOf256(kUG, 0);
    const __m256i vBR = pairOf256(kVB, kVR), vG = pairOf256(kVG, 0);
    const __m256i offset = _mm256_set1_epi16(kChromaOffset);
    const __m256i inOrder = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    std::size_t i = 0;
    for (; i + kWiderStep <= width; i += kWiderStep) {
        const auto* p = reinterpret_cast<const __m256i*>(row + i * kBytesPerPixel);
        const __m256i p0 = _mm256_loadu_si256(p);
        const __m256i p1 = _mm256_loadu_si256(p + 1);
        const __m256i p2 = _mm256_loadu_si256(p + 2);
        const __m256i p3 = _mm256_loadu_si256(p + 3);
        const __m256i y0 = _mm256_srli_epi32(weightedSums8(p0, yBR, yG), kFixedShift);
        const __m256i y1 = _mm256_srli_epi32(weightedSums8(p1, yBR, yG), kFixedShift);
        const __m256i y2 = _mm256_srli_epi32(weightedSums8(p2, yBR, yG), kFixedShift);
        const __m256i y3 = _mm256_srli_epi32(weightedSums8(p3, yBR, yG), kFixedShift);
        const __m256i y = _mm256_packus_epi16(_mm256_packs_epi32(y0, y1), _mm256_packs_epi32(y2, y3));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(yRow + i), _mm256_permutevar8x32_epi32(y, inOrder));
        if (uRow != nullptr) {
            const __m256i even0 = evenPixels8(p0, p1);
            const __m256i even1 = evenPixels8(p2, p3);
            const __m256i u = _mm256_add_epi16(
                _mm256_packs_epi32(_mm256_srai_epi32(weightedSums8(even0, uBR, uG), kFixedShift),
                                   _mm256_srai_epi32(weightedSums8(even1, uBR, uG), kFixedShift)),
                offset);
            const __m256i v = _mm256_add_epi16(
                _mm256_packs_epi32(_mm256_srai_epi32(weightedSums8(even0, vBR, vG), kFixedShift),
                                   _mm256_srai_epi32(weightedSums8(even1, vBR, vG), kFixedShift)),
                offset);
            const __m256i uv = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(u, v), inOrder);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(uRow + i / 2), _mm256_castsi256_si128(uv));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(vRow + i / 2), _mm256_extracti128_si256(uv, 1));
        }
    }
    return i;
}
#endif
} // namespace

std::size_t i420Size(int width, int height) {
    if (width <= 0 || height <= 0) {
        return 0;
    }
    const std::size_t luma = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    return luma + 2 * (luma / 4);
}

std::vector<std::uint8_t> yuv420DataFromImage(const ImageView& image) {
    return yuv420DataFromImage(image, ConversionKernels::Widest);
}

std::vector<std::uint8_t> yuv420DataFromImage(const ImageView& image, ConversionKernels kernels) {
    if (!image.isValid() || (image.width % 2) != 0 || (image.height % 2) != 0) {
        platform::logf("[ZQ]YUV conversion refused an image of %dx%d", image.width, image.height);
        return {};
    }
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    std::vector<std::uint8_t> out(i420Size(image.width, image.height));
    std::uint8_t* yPlane = out.data();
    std::uint8_t* uPlane = yPlane + width * height;
    std::uint8_t* vPlane = uPlane + width * height / 4;
    const std::size_t chromaWidth = width / 2;
    bool wider = false;
#if defined(OLVEX_YUV_AVX2)
    wider = kernels == ConversionKernels::Widest && avx2Available();
#endif
    for (std::size_t j = 0; j < height; ++j) {
        const std::uint8_t* row = image.row(static_cast<int>(j));
        std::uint8_t* yRow = yPlane + j * width;
        // Each 2x2 block takes its top-left pixel's chroma: only even rows write any.
        const bool chromaRow = (j % 2) == 0;
        std::uint8_t* uRow = chromaRow ? uPlane + (j / 2) * chromaWidth : nullptr;
        std::uint8_t* vRow = chromaRow ? vPlane + (j / 2) * chromaWidth : nullptr;
        std::size_t done = 0;
#if defined(OLVEX_YUV_AVX2)
        if (wider) {
            done = convertRowWider(row, width, yRow, uRow, vRow);
        }
#endif
        if (kernels != ConversionKernels::Portable) {
            done += convertRowWide(row + done * kBytesPerPixel, width - done, yRow + done,
                                   uRow != nullptr ? uRow + done / 2 : nullptr,
                                   vRow != nullptr ? vRow + done / 2 : nullptr);
        }
        convertRowScalar(row, done, width, yRow, uRow, vRow);
    }
    return out;
}

} // namespace streaming
