#include "streaming/SyntheticCaptureSource.h"

namespace streaming {

class SyntheticCaptureSource::Frame : public CaptureFrame {
public:
    Frame(SyntheticCaptureSource& source, std::uint64_t pts, ImageSize size)
        : CaptureFrame(pts, size.width, size.height), m_source(source) {}

protected:
    ImageView fetchPixels() override {
        m_source.m_fetches.fetch_add(1);
        if (m_source.m_image.size() != ImageSize{width(), height()}) {
            m_source.m_image = PlainImage(width(), height());
        }
        if (m_source.m_painter && !m_source.m_image.isEmpty()) {
            m_source.m_painter(ptsValue(), m_source.m_image);
        }
        return m_source.m_image.view();
    }

private:
    SyntheticCaptureSource& m_source;
};

SyntheticCaptureSource::SyntheticCaptureSource(ImageSize size, Painter painter)
    : m_size(size), m_painter(std::move(painter)) {}

bool SyntheticCaptureSource::start(FrameHandler handler, ErrorHandler onError) {
    std::lock_guard guard(m_lock);
    if (m_running) {
        return false;
    }
    if (!m_failReason.empty()) {
        const std::string line = reportStartCaptureFailed(m_failReason);
        m_failReason.clear();
        if (onError) {
            onError(line);
        }
        return true;
    }
    m_handler = std::move(handler);
    m_running = true;
    return true;
}

void SyntheticCaptureSource::stop() {
    std::lock_guard guard(m_lock);
    m_running = false;
    m_handler = nullptr;
}

void SyntheticCaptureSource::deliverTicks(int count) {
    std::lock_guard guard(m_lock);
    for (int i = 0; i < count && m_running; ++i) {
        Frame frame(*this, m_nextTick.fetch_add(1), m_size);
        m_handler(frame);
    }
}

void SyntheticCaptureSource::failNextStart(std::string reason) {
    std::lock_guard guard(m_lock);
    m_failReason = std::move(reason);
}

void SyntheticCaptureSource::setSize(ImageSize size) {
    std::lock_guard guard(m_lock);
    m_size = size;
}

} // namespace streaming
