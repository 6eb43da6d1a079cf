#include "streaming/FastAreaAverage.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define OLVEX_AREA_AVX2 1
#include <immintrin.h>
#endif

namespace streaming {

namespace {

// Weights are signed bytes that sum to 1 << shift for each target pixel. The wide kernels
// multiply two unsigned pixel bytes by two weights and add them into one signed 16-bit lane, so
// two neighbouring weights may sum to at most 128; all of one pixel's sum to at most 256, so
// 255 * 256 plus the rounding half still fits an unsigned 16-bit lane.
constexpr int kMaxWeight = 127;
constexpr int kMaxPairWeight = 128;
constexpr int kWeightShifts[] = {8, 7, 6}; // the finest that keeps every weight in range
constexpr int kTapGroup = 8;               // source pixels per horizontal wide step
constexpr int kWideBytes = 32;             // one 256-bit register: the horizontal step's width
constexpr int kWiderBytes = 64;            // one 512-bit register
// One target pixel spans at most ratio + 1 source pixels; rounded up to pairs.
constexpr int kMaxRowTaps = kMaxFastAreaRatio + 2;

// For one axis: the source pixels under each target pixel and their rounded weights.
struct AxisTaps {
    std::vector<int> first;
    std::vector<int> count;
    std::vector<std::int8_t> weights; // `stride` per target pixel, zero past its count
    int stride = 0;                   // the most taps of any target pixel, rounded up to `multiple`
    int shift = 0;
};

// Target pixel t spans [t * S, (t + 1) * S) in units of 1 / D of a source pixel. Each weight is
// the difference of two rounded running totals, so the weights always sum to exactly 1 << shift
// and the rounding moves each source pixel's boundary by less than half a unit of weight.
AxisTaps makeTaps(int sourceLength, int targetLength, int multiple) {
    AxisTaps axis;
    const auto s = static_cast<std::int64_t>(sourceLength);
    const auto d = static_cast<std::int64_t>(targetLength);
    int most = 0;
    for (std::int64_t t = 0; t < d; ++t) {
        const std::int64_t firstSource = t * s / d;
        const std::int64_t lastSource = ((t + 1) * s - 1) / d;
        axis.first.push_back(static_cast<int>(firstSource));
        axis.count.push_back(static_cast<int>(lastSource - firstSource + 1));
        most = std::max(most, axis.count.back());
    }
    axis.stride = (most + multiple - 1) / multiple * multiple;
    for (const int shift : kWeightShifts) {
        const std::int64_t one = std::int64_t{1} << shift;
        axis.weights.assign(static_cast<std::size_t>(d) * static_cast<std::size_t>(axis.stride), 0);
        bool fits = true;
        for (std::int64_t t = 0; t < d && fits; ++t) {
            std::int8_t* weight = axis.weights.data() + t * axis.stride;
            const std::int64_t begin = t * s;
            const std::int64_t end = begin + s;
            std::int64_t before = 0;
            for (int i = 0; i < axis.count[static_cast<std::size_t>(t)]; ++i) {
                const std::int64_t source = axis.first[static_cast<std::size_t>(t)] + i;
                const std::int64_t covered = std::min(end, (source + 1) * d) - begin;
                const std::int64_t total = (2 * one * covered + s) / (2 * s);
                fits = fits && total - before <= kMaxWeight;
                weight[i] = static_cast<std::int8_t>(std::min<std::int64_t>(total - before, kMaxWeight));
                before = total;
            }
            for (int i = 0; i + 1 < axis.stride; i += 2) {
                fits = fits && weight[i] + weight[i + 1] <= kMaxPairWeight;
            }
        }
        if (fits) {
            axis.shift = shift;
            return axis;
        }
    }
    return axis; // not reached: with 64 as the whole no weight or pair can pass the limits
}

// The taps of one pair of sizes (thumbnails are made again and again at one size).
struct Plan {
    ImageSize source;
    ImageSize target;
    AxisTaps rows;
    AxisTaps columns;
    std::vector<std::int8_t> wideWeights;   // empty where the wide kernels do not run
    std::vector<std::uint32_t> wideOffsets; // byte offset of each target column's first tap
};

// The weighted sum of `count` rows, byte by byte, into `out` (row-wise, so the loops are plain
// multiply-adds over contiguous bytes).
void verticalPortable(const std::uint8_t* const* rows, const std::int8_t* weights, int count,
                      std::size_t rowBytes, int shift, std::vector<std::uint16_t>& sums, std::uint8_t* out) {
    std::fill(sums.begin(), sums.begin() + static_cast<std::ptrdiff_t>(rowBytes),
              static_cast<std::uint16_t>(1u << (shift - 1)));
    for (int i = 0; i < count; ++i) {
        const auto weight = static_cast<std::uint16_t>(weights[i]);
        const std::uint8_t* row = rows[i];
        for (std::size_t k = 0; k < rowBytes; ++k) {
            sums[k] = static_cast<std::uint16_t>(sums[k] + weight * row[k]);
        }
    }
    for (std::size_t k = 0; k < rowBytes; ++k) {
        out[k] = static_cast<std::uint8_t>(sums[k] >> shift);
    }
}

void horizontalPortable(const std::uint8_t* between, const AxisTaps& columns, std::uint8_t* out) {
    const unsigned half = 1u << (columns.shift - 1);
    for (std::size_t x = 0; x < columns.first.size(); ++x) {
        const std::int8_t* weight = columns.weights.data() + x * static_cast<std::size_t>(columns.stride);
        const std::uint8_t* pixel = between + static_cast<std::size_t>(columns.first[x]) * kBytesPerPixel;
        for (int c = 0; c < kBytesPerPixel; ++c) {
            unsigned sum = half;
            for (int i = 0; i < columns.count[x]; ++i) {
                sum += static_cast<unsigned>(weight[i]) * pixel[i * kBytesPerPixel + c];
            }
            out[x * kBytesPerPixel + static_cast<std::size_t>(c)] =
                static_cast<std::uint8_t>(sum >> columns.shift);
        }
    }
}

#if defined(OLVEX_AREA_AVX2)
// The wide kernels need AVX2 (byte multiply-add and byte shuffles in 256-bit registers), and the
// widest vertical step AVX-512BW, which the default x86-64 target does not assume: each is compiled
// for its instruction set alone and chosen at run time. They compute exactly what the portable
// kernels compute (no lane can overflow, see above).
bool avx2Available() {
    static const bool available = __builtin_cpu_supports("avx2") != 0;
    return available;
}

bool avx512Available() {
    static const bool available = __builtin_cpu_supports("avx512bw") != 0;
    return available;
}

// Per target pixel and group of eight source pixels: 32 weight bytes laid out to meet the
// shuffled pixels (B0 B1 G0 G1 R0 R1 X0 X1 B2 B3 ...), each pair of weights repeated per channel.
std::vector<std::int8_t> wideColumnWeights(const AxisTaps& columns) {
    const std::size_t groups = static_cast<std::size_t>(columns.stride / kTapGroup);
    std::vector<std::int8_t> wide(columns.first.size() * groups * kWideBytes);
    for (std::size_t x = 0; x < columns.first.size(); ++x) {
        const std::int8_t* weight = columns.weights.data() + x * static_cast<std::size_t>(columns.stride);
        std::int8_t* out = wide.data() + x * groups * kWideBytes;
        for (std::size_t pixelPair = 0; pixelPair < groups * kTapGroup / 2; ++pixelPair) {
            for (int c = 0; c < kBytesPerPixel; ++c) {
                out[pixelPair * 8 + static_cast<std::size_t>(c) * 2] = weight[pixelPair * 2];
                out[pixelPair * 8 + static_cast<std::size_t>(c) * 2 + 1] = weight[pixelPair * 2 + 1];
            }
        }
    }
    return wide;
}

// The horizontal step of one target row, four target pixels at a time. The vertical step of the
// next row calls it between its chunks: memory keeps streaming the next rows while these pixels
// are computed, where a horizontal pass of its own would leave the memory idle. Groups is the
// number of tap groups per target pixel (one up to a ratio of seven).
template <int Groups>
class HorizontalStep {
public:
    static constexpr std::size_t kPixels = 4;

    __attribute__((target("avx2"))) HorizontalStep(const Plan& plan)
        : m_first(plan.wideOffsets.data()), m_targets(plan.wideOffsets.size()),
          m_half(_mm256_set1_epi16(static_cast<short>(1 << (plan.columns.shift - 1)))),
          m_shift(_mm_cvtsi32_si128(plan.columns.shift)), m_weights(plan.wideWeights.data()), m_x(m_targets) {
    }

    std::size_t stepsPerRow() const { return (m_targets + kPixels - 1) / kPixels; }

    // The next row: its vertical sums and where its target pixels go.
    void start(const std::uint8_t* between, std::uint8_t* out) {
        m_between = between;
        m_out = out;
        m_x = 0;
    }

    // The next four target pixels (fewer at the end of the row; nothing once it is done).
    __attribute__((target("avx2"), always_inline)) inline void four() {
        const std::size_t x = m_x;
        if (x + kPixels > m_targets) {
            last();
            return;
        }
        m_x = x + kPixels;
        // Copies: the stores into the row could otherwise be taken to change the members.
        const std::uint8_t* between = m_between;
        const std::uint32_t* first = m_first + x;
        const std::int8_t* weights = m_weights + x * kWeightBytes;
        const __m256i a = sums(between + first[0], weights);
        const __m256i b = sums(between + first[1], weights + kWeightBytes);
        const __m256i c = sums(between + first[2], weights + 2 * kWeightBytes);
        const __m256i d = sums(between + first[3], weights + 3 * kWeightBytes);
        // Each register holds four 16-bit sums per quarter: fold them into [A B | C D].
        const __m256i ac =
            _mm256_add_epi16(_mm256_permute2x128_si256(a, c, 0x20), _mm256_permute2x128_si256(a, c, 0x31));
        const __m256i bd =
            _mm256_add_epi16(_mm256_permute2x128_si256(b, d, 0x20), _mm256_permute2x128_si256(b, d, 0x31));
        __m256i abcd = _mm256_add_epi16(_mm256_unpacklo_epi64(ac, bd), _mm256_unpackhi_epi64(ac, bd));
        abcd = _mm256_srl_epi16(_mm256_add_epi16(abcd, m_half), m_shift);
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(abcd, abcd), 0x08);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(m_out + x * kBytesPerPixel),
                         _mm256_castsi256_si128(packed));
    }

    __attribute__((target("avx2"))) void rest() {
        while (m_x < m_targets) {
            four();
        }
    }

private:
    static constexpr std::size_t kWeightBytes = static_cast<std::size_t>(Groups) * kWideBytes;

    // The pixels past the last whole four, one at a time.
    __attribute__((target("avx2"))) void last() {
        for (; m_x < m_targets; ++m_x) {
            const __m256i sum = sums(m_between + m_first[m_x], m_weights + m_x * kWeightBytes);
            __m128i s = _mm_add_epi16(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
            s = _mm_add_epi16(s, _mm_unpackhi_epi64(s, s));
            s = _mm_srl_epi16(_mm_add_epi16(s, _mm256_castsi256_si128(m_half)), m_shift);
            const auto bytes = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(s, s)));
            std::memcpy(m_out + m_x * kBytesPerPixel, &bytes, sizeof bytes);
        }
    }

    // The weighted sums of one target pixel: four 16-bit sums in each quarter of the register.
    __attribute__((target("avx2"), always_inline)) static inline __m256i sums(const std::uint8_t* pixel,
                                                                              const std::int8_t* weight) {
        // Within each 128-bit lane: one channel of two neighbouring pixels side by side.
        const __m256i interleave = _mm256_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15, 0,
                                                    4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15);
        __m256i sum = _mm256_setzero_si256();
        for (int g = 0; g < Groups; ++g, pixel += kWideBytes, weight += kWideBytes) {
            const __m256i v =
                _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixel)), interleave);
            sum = _mm256_add_epi16(
                sum, _mm256_maddubs_epi16(v, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weight))));
        }
        return sum;
    }

    const std::uint32_t* m_first; // byte offset of each target pixel's first tap
    std::size_t m_targets;
    __m256i m_half;
    __m128i m_shift;
    const std::int8_t* m_weights;
    const std::uint8_t* m_between = nullptr;
    std::uint8_t* m_out = nullptr;
    std::size_t m_x;
};

// Both weights of a row pair in one 16-bit lane, as the byte multiply-add takes them.
using PairWeight = std::uint16_t;

// The vertical step in chunks of 32 bytes, with a step of the pending horizontal work after every
// `chunksPerStep` chunks. Pairs > 0 fixes the number of row pairs, so the loop unrolls and the row
// pointers and weights stay in registers across the row; 0 takes it from `pairs`. Rows of at
// least 32 bytes.
template <int Pairs, class Step>
__attribute__((target("avx2"))) void
verticalRows(const std::uint8_t* const* rowPointers, const PairWeight* weights, int pairs,
             std::size_t rowBytes, int shift, std::uint8_t* out, Step& pending, int chunksPerStep) {
    const int n = Pairs > 0 ? Pairs : pairs;
    // Local copies: the compiler can see that the stores below never touch them.
    const std::uint8_t* rows[kMaxRowTaps];
    __m256i pairWeights[kMaxRowTaps / 2];
    for (int p = 0; p < n; ++p) {
        rows[2 * p] = rowPointers[2 * p];
        rows[2 * p + 1] = rowPointers[2 * p + 1];
        pairWeights[p] = _mm256_set1_epi16(static_cast<short>(weights[p]));
    }
    const __m256i half = _mm256_set1_epi16(static_cast<short>(1 << (shift - 1)));
    const __m128i shiftCount = _mm_cvtsi32_si128(shift);
    int countdown = chunksPerStep;
    for (std::size_t offset = 0;;) {
        __m256i low = half;
        __m256i high = half;
#pragma GCC unroll 8
        for (int p = 0; p < n; ++p) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[2 * p] + offset));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[2 * p + 1] + offset));
            low = _mm256_add_epi16(low, _mm256_maddubs_epi16(_mm256_unpacklo_epi8(a, b), pairWeights[p]));
            high = _mm256_add_epi16(high, _mm256_maddubs_epi16(_mm256_unpackhi_epi8(a, b), pairWeights[p]));
        }
        // The in-lane unpacks and the in-lane pack undo each other: bytes come out in order.
        const __m256i packed =
            _mm256_packus_epi16(_mm256_srl_epi16(low, shiftCount), _mm256_srl_epi16(high, shiftCount));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + offset), packed);
        if (--countdown == 0) {
            countdown = chunksPerStep;
            pending.four();
        }
        if (offset + kWideBytes == rowBytes) {
            return;
        }
        // The last chunk of a row that is no whole number of chunks overlaps the one before.
        offset = std::min(offset + kWideBytes, rowBytes - kWideBytes);
    }
}

// The same step in 64-byte chunks of 512-bit registers (rows of at least 64 bytes). Most of the
// work is here, and the byte unpacks it needs have one execution port: twice the width halves
// their count. It repeats the 256-bit step line for line because each is compiled for its own
// instruction set, which one template cannot carry.
template <int Pairs, class Step>
__attribute__((target("avx512bw"))) void
verticalRows512(const std::uint8_t* const* rowPointers, const PairWeight* weights, int pairs,
                std::size_t rowBytes, int shift, std::uint8_t* out, Step& pending, int chunksPerStep) {
    const int n = Pairs > 0 ? Pairs : pairs;
    // Local copies: the compiler can see that the stores below never touch them.
    const std::uint8_t* rows[kMaxRowTaps];
    __m512i pairWeights[kMaxRowTaps / 2];
    for (int p = 0; p < n; ++p) {
        rows[2 * p] = rowPointers[2 * p];
        rows[2 * p + 1] = rowPointers[2 * p + 1];
        pairWeights[p] = _mm512_set1_epi16(static_cast<short>(weights[p]));
    }
    const __m512i half = _mm512_set1_epi16(static_cast<short>(1 << (shift - 1)));
    const __m128i shiftCount = _mm_cvtsi32_si128(shift);
    int countdown = chunksPerStep;
    for (std::size_t offset = 0;;) {
        __m512i low = half;
        __m512i high = half;
#pragma GCC unroll 8
        for (int p = 0; p < n; ++p) {
            const __m512i a = _mm512_loadu_si512(rows[2 * p] + offset);
            const __m512i b = _mm512_loadu_si512(rows[2 * p + 1] + offset);
            low = _mm512_add_epi16(low, _mm512_maddubs_epi16(_mm512_unpacklo_epi8(a, b), pairWeights[p]));
            high = _mm512_add_epi16(high, _mm512_maddubs_epi16(_mm512_unpackhi_epi8(a, b), pairWeights[p]));
        }
        // The in-lane unpacks and the in-lane pack undo each other: bytes come out in order.
        const __m512i packed =
            _mm512_packus_epi16(_mm512_srl_epi16(low, shiftCount), _mm512_srl_epi16(high, shiftCount));
        _mm512_storeu_si512(out + offset, packed);
        if (--countdown == 0) {
            countdown = chunksPerStep;
            pending.four();
        }
        if (offset + kWiderBytes == rowBytes) {
            return;
        }
        // The last chunk of a row that is no whole number of chunks overlaps the one before.
        offset = std::min(offset + kWiderBytes, rowBytes - kWiderBytes);
    }
}

template <class Step, bool Wider>
void verticalWide(const std::uint8_t* const* rows, const std::int8_t* weights, int count,
                  std::size_t rowBytes, int shift, std::uint8_t* out, Step& pending, int chunksPerStep) {
    PairWeight pairWeights[kMaxRowTaps / 2];
    const int pairs = (count + 1) / 2;
    for (int p = 0; p < pairs; ++p) {
        pairWeights[p] = static_cast<PairWeight>(static_cast<std::uint8_t>(weights[2 * p]) |
                                                 static_cast<std::uint8_t>(weights[2 * p + 1]) << 8);
    }
    switch (pairs) {
    case 1:
        return Wider ? verticalRows512<1, Step>(rows, pairWeights, pairs, rowBytes, shift, out, pending,
                                                chunksPerStep)
                     : verticalRows<1, Step>(rows, pairWeights, pairs, rowBytes, shift, out, pending,
                                             chunksPerStep);
    case 2:
        return Wider ? verticalRows512<2, Step>(rows, pairWeights, pairs, rowBytes, shift, out, pending,
                                                chunksPerStep)
                     : verticalRows<2, Step>(rows, pairWeights, pairs, rowBytes, shift, out, pending,
                                             chunksPerStep);
    case 3:
        return Wider ? verticalRows512<3, Step>(rows, pairWeights, pairs, rowBytes, shift, out, pending,
                                                chunksPerStep)
                     : verticalRows<3, Step>(rows, pairWeights, pairs, rowBytes, shift, out, pending,
                                             chunksPerStep);
    case 4:
        return Wider ? verticalRows512<4, Step>(rows, pairWeights, pairs, rowBytes, shift, out, pending,
                                                chunksPerStep)
                     : verticalRows<4, Step>(rows, pairWeights, pairs, rowBytes, shift, out, pending,
                                             chunksPerStep);
    case 5:
        return Wider ? verticalRows512<5, Step>(rows, pairWeights, pairs, rowBytes, shift, out, pending,
                                                chunksPerStep)
                     : verticalRows<5, Step>(rows, pairWeights, pairs, rowBytes, shift, out, pending,
                                             chunksPerStep);
    default:
        return Wider ? verticalRows512<0, Step>(rows, pairWeights, pairs, rowBytes, shift, out, pending,
                                                chunksPerStep)
                     : verticalRows<0, Step>(rows, pairWeights, pairs, rowBytes, shift, out, pending,
                                             chunksPerStep);
    }
}

// Every target row: its vertical sums into one of two rows of `between`, while the horizontal step
// of the row before works through the other.
template <int Groups, bool Wider>
__attribute__((target("avx2"))) void scaleWide(const ImageView& source, const Plan& plan,
                                               std::vector<std::uint8_t>& between, PlainImage& result) {
    const std::size_t rowBytes = static_cast<std::size_t>(source.width) * kBytesPerPixel;
    const std::size_t half = between.size() / 2;
    HorizontalStep<Groups> pending(plan);
    const std::size_t chunkBytes = Wider ? kWiderBytes : kWideBytes;
    const std::size_t chunks = (rowBytes + chunkBytes - 1) / chunkBytes;
    const int chunksPerStep = static_cast<int>(std::max<std::size_t>(1, chunks / pending.stepsPerRow()));
    std::array<const std::uint8_t*, kMaxRowTaps> rowPointers{};
    for (int y = 0; y < result.height(); ++y) {
        const auto t = static_cast<std::size_t>(y);
        const int count = plan.rows.count[t];
        // An odd count pairs its last row with itself at weight zero.
        for (int i = 0; i < plan.rows.stride; ++i) {
            rowPointers[static_cast<std::size_t>(i)] =
                source.row(plan.rows.first[t] + std::min(i, count - 1));
        }
        std::uint8_t* sums = between.data() + (t % 2) * half;
        verticalWide<HorizontalStep<Groups>, Wider>(
            rowPointers.data(), plan.rows.weights.data() + t * static_cast<std::size_t>(plan.rows.stride),
            count, rowBytes, plan.rows.shift, sums, pending, chunksPerStep);
        pending.rest();
        pending.start(sums, result.row(y));
    }
    pending.rest();
}

template <bool Wider>
void scaleWideAnyGroups(const ImageView& source, const Plan& plan, std::vector<std::uint8_t>& between,
                        PlainImage& result) {
    static_assert((kMaxRowTaps + kTapGroup - 1) / kTapGroup == 5, "one case per number of groups");
    switch (plan.columns.stride / kTapGroup) {
    case 1:
        return scaleWide<1, Wider>(source, plan, between, result);
    case 2:
        return scaleWide<2, Wider>(source, plan, between, result);
    case 3:
        return scaleWide<3, Wider>(source, plan, between, result);
    case 4:
        return scaleWide<4, Wider>(source, plan, between, result);
    default:
        return scaleWide<5, Wider>(source, plan, between, result);
    }
}
#endif

// Each thread keeps the last plan it made.
const Plan& planFor(ImageSize source, ImageSize target) {
    thread_local Plan plan;
    if (plan.source != source || plan.target != target || plan.rows.first.empty()) {
        plan.source = source;
        plan.target = target;
        plan.rows = makeTaps(source.height, target.height, 2);
        plan.columns = makeTaps(source.width, target.width, kTapGroup);
        plan.wideWeights.clear();
        plan.wideOffsets.clear();
#if defined(OLVEX_AREA_AVX2)
        if (avx2Available()) {
            plan.wideWeights = wideColumnWeights(plan.columns);
            plan.wideOffsets.assign(plan.columns.first.begin(), plan.columns.first.end());
            for (std::uint32_t& offset : plan.wideOffsets) {
                offset *= kBytesPerPixel;
            }
        }
#endif
    }
    return plan;
}

} // namespace

bool fitsFastAreaAverage(ImageSize source, ImageSize target) {
    if (!isValidImageSize(source) || !isValidImageSize(target)) {
        return false;
    }
    return target.width <= source.width && target.height <= source.height &&
           source.width <= kMaxFastAreaRatio * target.width &&
           source.height <= kMaxFastAreaRatio * target.height;
}

PlainImage scaleByFastAreaAverage(const ImageView& source, ImageSize target, AreaKernels kernels) {
    if (!source.isValid() || !fitsFastAreaAverage(source.size(), target)) {
        return {};
    }
    const Plan& plan = planFor(source.size(), target);
    const std::size_t rowBytes = static_cast<std::size_t>(source.width) * kBytesPerPixel;
    // The horizontal step reads whole groups of taps past the last pixel: zeros with zero weight.
    const std::size_t betweenBytes =
        rowBytes + static_cast<std::size_t>(plan.columns.stride) * kBytesPerPixel;
    PlainImage result(target.width, target.height);
#if defined(OLVEX_AREA_AVX2)
    if (kernels != AreaKernels::Portable && rowBytes >= kWideBytes && !plan.wideWeights.empty()) {
        std::vector<std::uint8_t> between(2 * betweenBytes);
        const bool wider = kernels == AreaKernels::Widest && rowBytes >= kWiderBytes && avx512Available();
        if (wider) {
            scaleWideAnyGroups<true>(source, plan, between, result);
        } else {
            scaleWideAnyGroups<false>(source, plan, between, result);
        }
        return result;
    }
#else
    (void)kernels;
#endif
    std::vector<std::uint8_t> between(betweenBytes);
    std::vector<std::uint16_t> sums(rowBytes);
    std::array<const std::uint8_t*, kMaxRowTaps> rowPointers{};
    for (int y = 0; y < target.height; ++y) {
        const auto t = static_cast<std::size_t>(y);
        const int count = plan.rows.count[t];
        for (int i = 0; i < count; ++i) {
            rowPointers[static_cast<std::size_t>(i)] = source.row(plan.rows.first[t] + i);
        }
        verticalPortable(rowPointers.data(),
                         plan.rows.weights.data() + t * static_cast<std::size_t>(plan.rows.stride), count,
                         rowBytes, plan.rows.shift, sums, between.data());
        horizontalPortable(between.data(), plan.columns, result.row(y));
    }
    return result;
}

} // namespace streaming
