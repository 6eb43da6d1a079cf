#include "streaming/CaptureSource.h"

#include <cstdio>

namespace streaming {

ImageView CaptureFrame::pixels() {
    if (!m_fetched) {
        m_fetched = true;
        m_view = fetchPixels();
    }
    return m_view;
}

std::string reportStartCaptureFailed(const std::string& reason) {
    std::string line = std::string(kStartCaptureFailed) + reason;
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
    return line;
}

} // namespace streaming
