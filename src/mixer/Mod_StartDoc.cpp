#include "mixer/Mod_StartDoc.h"

#include "support/DataLocation.h"

#include <QDesktopServices>

#include <utility>

namespace spinx {

namespace {
DocumentOpener& Opener() {
    static DocumentOpener opener;
    return opener;
}

QUrl UrlFor(const std::string& document) {
    const QString text = QString::fromStdString(document);
    const QUrl url(text);
    // A bare path (or a drive-letter path, which QUrl would take for a scheme) is a local file.
    if (url.scheme().size() > 1) return url;
    return QUrl::fromLocalFile(text);
}
} // namespace

DocumentOpener SetDocumentOpener(DocumentOpener opener) {
    return std::exchange(Opener(), std::move(opener));
}

bool StartDoc(const std::string& document) {
    const QUrl url = UrlFor(document);
    if (Opener()) return Opener()(url);
    return QDesktopServices::openUrl(url);
}

std::string AboutPagePath() {
    return ShippedFile(kAboutPageName);
}

} // namespace spinx
