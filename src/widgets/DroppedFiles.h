#pragma once
// The local files of a drop from the desktop, as the bytes of their names: a Linux file name
// need not be UTF-8, and one that is not still plays. UI thread.
#include <string>
#include <vector>

class QMimeData;

namespace spinx {

std::vector<std::string> DroppedFiles(const QMimeData& data);

} // namespace spinx
