#pragma once

#include "base/Exception.h"

#include <QImage>

#include <cstddef>

namespace ui {

// A picture that is not a JPEG libjpeg can read in full: empty, truncated or damaged data.
class EJpegError : public base::Exception {
public:
    using Exception::Exception;
};

// Decodes a baseline or progressive JPEG held in memory (grey or colour) into an RGB image.
// Any damage libjpeg reports, warnings included, raises EJpegError.
QImage DecodeJpeg(const unsigned char *data, std::size_t size);

} // namespace ui
