#pragma once

#include "platform/pictures.h"

namespace kelmora::platform {

// Loads pictures with Qt's image readers, deciding the format by the file's content. The size is
// the picture's own, from its resolution; a file that states none counts as 96 dots per inch.
class QtPictureLoader final : public PictureLoader {
public:
    paper::Picture load(const QString& path) override;
    // A logo larger than this is no logo: it is refused unread.
    static constexpr qint64 kMaxBytes = qint64{16} * 1024 * 1024;
};

}  // namespace kelmora::platform
