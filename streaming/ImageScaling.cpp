#include "streaming/ImageScaling.h"

#include "streaming/FastAreaAverage.h"

#include <algorithm>
#include <cstdint>
#include <libyuv/scale.h>
#include <libyuv/scale_argb.h>
#include <vector>

namespace streaming {

namespace {

constexpr int kBoxStepFour = 4;
constexpr int kBoxStepTwo = 2;
constexpr int kBoxStepMargin = 2;

// For one axis: which source pixels each target pixel covers and by how much. Target pixel t spans
// [t * S, (t + 1) * S) and source pixel s spans [s * D, (s + 1) * D) in units of 1 / D of a
// source pixel, so every overlap is an integer and each target pixel's weights sum to S.
struct AxisWeights {
    std::vector<int> first;          // first source index per target pixel
    std::vector<int> count;          // number of source pixels per target pixel
    std::vector<std::size_t> offset; // where its weights start in `weights`
    std::vector<std::uint32_t> weights;
    std::uint32_t total = 0; // S: the sum of each target pixel's weights
};

AxisWeights makeAxisWeights(int sourceLength, int targetLength) {
    AxisWeights axis;
    axis.total = static_cast<std::uint32_t>(sourceLength);
    const auto s = static_cast<std::int64_t>(sourceLength);
    const auto d = static_cast<std::int64_t>(targetLength);
    axis.first.reserve(static_cast<std::size_t>(targetLength));
    axis.count.reserve(static_cast<std::size_t>(targetLength));
    axis.offset.reserve(static_cast<std::size_t>(targetLength));
    for (std::int64_t t = 0; t < d; ++t) {
        const std::int64_t begin = t * s;
        const std::int64_t end = begin + s;
        const std::int64_t firstSource = begin / d;
        const std::int64_t lastSource = (end - 1) / d;
        axis.first.push_back(static_cast<int>(firstSource));
        axis.count.push_back(static_cast<int>(lastSource - firstSource + 1));
        axis.offset.push_back(axis.weights.size());
        for (std::int64_t i = firstSource; i <= lastSource; ++i) {
            const std::int64_t lo = std::max(begin, i * d);
            const std::int64_t hi = std::min(end, (i + 1) * d);
            axis.weights.push_back(static_cast<std::uint32_t>(hi - lo));
        }
    }
    return axis;
}

// Weighted sums of one source row per target column, four channels each (scale: columns.total).
void averageRow(const std::uint8_t* row, const AxisWeights& columns, std::vector<std::uint32_t>& out) {
    const std::size_t targetWidth = columns.first.size();
    for (std::size_t x = 0; x < targetWidth; ++x) {
        std::uint32_t sum[kBytesPerPixel] = {0, 0, 0, 0};
        const std::uint8_t* pixel = row + static_cast<std::ptrdiff_t>(columns.first[x]) * kBytesPerPixel;
        const std::uint32_t* weight = columns.weights.data() + columns.offset[x];
        for (int i = 0; i < columns.count[x]; ++i, pixel += kBytesPerPixel) {
            for (int c = 0; c < kBytesPerPixel; ++c) {
                sum[c] += weight[i] * pixel[c];
            }
        }
        for (int c = 0; c < kBytesPerPixel; ++c) {
            out[x * kBytesPerPixel + static_cast<std::size_t>(c)] = sum[c];
        }
    }
}

// One exact 2x or 4x box step through libyuv (sizes divisible by the factor only).
PlainImage boxStep(const ImageView& source, int factor) {
    PlainImage result(source.width / factor, source.height / factor);
    if (result.isEmpty()) {
        return result;
    }
    libyuv::ARGBScale(source.data, static_cast<int>(source.stride), source.width, source.height,
                      result.data(), static_cast<int>(result.stride()), result.width(), result.height(),
                      libyuv::kFilterBox);
    return result;
}

// An exact box step is taken only where the fast average cannot reach the target at once (a ratio
// past kMaxFastAreaRatio), when the sides divide evenly and it leaves at least twice the target.
bool canBoxStep(const ImageView& current, ImageSize target, int factor) {
    return current.width % factor == 0 && current.height % factor == 0 &&
           current.width >= kBoxStepMargin * factor * target.width &&
           current.height >= kBoxStepMargin * factor * target.height;
}

} // namespace

PlainImage scaleByAreaAverage(const ImageView& source, ImageSize target) {
    if (!source.isValid() || !isValidImageSize(target)) {
        return {};
    }
    const AxisWeights columns = makeAxisWeights(source.width, target.width);
    const AxisWeights rows = makeAxisWeights(source.height, target.height);
    const auto rowValues = static_cast<std::size_t>(target.width) * kBytesPerPixel;
    const std::uint64_t total = static_cast<std::uint64_t>(columns.total) * rows.total;

    PlainImage result(target.width, target.height);
    std::vector<std::uint32_t> horizontal(rowValues);
    std::vector<std::uint64_t> accumulator(rowValues);
    int cachedSourceRow = -1;
    for (int y = 0; y < target.height; ++y) {
        std::fill(accumulator.begin(), accumulator.end(), 0);
        const std::uint32_t* weight = rows.weights.data() + rows.offset[static_cast<std::size_t>(y)];
        for (int i = 0; i < rows.count[static_cast<std::size_t>(y)]; ++i) {
            const int sourceRow = rows.first[static_cast<std::size_t>(y)] + i;
            // Neighbouring target rows share at most their boundary source row.
            if (sourceRow != cachedSourceRow) {
                averageRow(source.row(sourceRow), columns, horizontal);
                cachedSourceRow = sourceRow;
            }
            for (std::size_t k = 0; k < rowValues; ++k) {
                accumulator[k] += static_cast<std::uint64_t>(weight[i]) * horizontal[k];
            }
        }
        std::uint8_t* out = result.row(y);
        for (std::size_t k = 0; k < rowValues; ++k) {
            out[k] = static_cast<std::uint8_t>((accumulator[k] + total / 2) / total);
        }
    }
    return result;
}

PlainImage scaleImage(const ImageView& source, ImageSize target) {
    if (!source.isValid() || !isValidImageSize(target)) {
        return {};
    }
    if (target.width > source.width || target.height > source.height) {
        PlainImage result(target.width, target.height);
        libyuv::ARGBScale(source.data, static_cast<int>(source.stride), source.width, source.height,
                          result.data(), static_cast<int>(result.stride()), target.width, target.height,
                          libyuv::kFilterBilinear);
        return result;
    }
    PlainImage stepped;
    ImageView current = source;
    while (!fitsFastAreaAverage(current.size(), target)) {
        int factor = 0;
        if (canBoxStep(current, target, kBoxStepFour)) {
            factor = kBoxStepFour;
        } else if (canBoxStep(current, target, kBoxStepTwo)) {
            factor = kBoxStepTwo;
        } else {
            return scaleByAreaAverage(current, target);
        }
        stepped = boxStep(current, factor);
        current = stepped.view();
    }
    return scaleByFastAreaAverage(current, target);
}

} // namespace streaming
