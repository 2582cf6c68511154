#include "platform/versiondata.h"

namespace platform {

std::optional<QString> VersionData::query(const QString& queryPath) const {
    // The first record of a path wins; field names compare without case, as the system's
    // own version queries do.
    for (const auto& [key, value] : m_values) {
        if (key.compare(queryPath, Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

} // namespace platform
