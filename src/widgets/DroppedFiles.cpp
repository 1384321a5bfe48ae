#include "widgets/DroppedFiles.h"

#include <QMimeData>
#include <QUrl>

namespace spinx {

std::vector<std::string> DroppedFiles(const QMimeData& data) {
    std::vector<std::string> files;
    if (!data.hasUrls()) return files;
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile()) continue;
        // The encoded path keeps each byte of the name; decoding it as text would not.
        const QByteArray bytes =
            QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (!bytes.isEmpty())
            files.emplace_back(bytes.constData(), static_cast<size_t>(bytes.size()));
    }
    return files;
}

} // namespace spinx
