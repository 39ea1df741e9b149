#pragma once

#include "printing/document/document.h"

#include <QString>

namespace kelmora::platform {

// Loads a picture file by its content (BMP, GIF, JPEG, PNG, whatever its name).
class PictureLoader {
public:
    virtual ~PictureLoader() = default;
    // Raises RuntimeError when the file is missing or holds no picture.
    virtual paper::Picture load(const QString& path) = 0;
};

}  // namespace kelmora::platform
