#pragma once
// Asks the desktop to open a document or an address, as a double click in the file manager
// would. The opener is replaceable so that tests can answer in its place. UI thread.
#include <QUrl>

#include <functional>
#include <string>

namespace spinx {

using DocumentOpener = std::function<bool(const QUrl& url)>;

// Replaces the opener and returns the previous one; an empty opener restores the desktop's.
DocumentOpener SetDocumentOpener(DocumentOpener opener);

// Opens `document`: a local path or a URL with a scheme. True when the desktop took it.
bool StartDoc(const std::string& document);

// The name of the about page that ships beside the program.
inline constexpr const char* kAboutPageName = "spinx-about.html";
// Full path of that page in the program folder.
std::string AboutPagePath();

} // namespace spinx
