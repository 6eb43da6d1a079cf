#include "streaming/PlainImage.h"

#include <cstring>

namespace streaming {

bool isValidImageSize(ImageSize size) {
    return size.width > 0 && size.height > 0 && size.width <= kMaxImageSide && size.height <= kMaxImageSide;
}

bool ImageView::isValid() const {
    return data != nullptr && isValidImageSize(size()) &&
           stride >= static_cast<std::ptrdiff_t>(width) * kBytesPerPixel;
}

PlainImage::PlainImage(int width, int height) {
    if (!isValidImageSize({width, height})) {
        return;
    }
    m_width = width;
    m_height = height;
    m_pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * kBytesPerPixel, 0);
}

PlainImage PlainImage::copyOf(const ImageView& view) {
    if (!view.isValid()) {
        return {};
    }
    PlainImage image(view.width, view.height);
    const auto rowBytes = static_cast<std::size_t>(view.width) * kBytesPerPixel;
    for (int y = 0; y < view.height; ++y) {
        std::memcpy(image.row(y), view.row(y), rowBytes);
    }
    return image;
}

} // namespace streaming
