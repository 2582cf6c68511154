#include "platform/collation.h"

#include "platform/uilanguage.h"

#include <QString>
#include <windows.h>

namespace platform {
namespace {

// Without flags the comparison counts case and accents and treats canonically equivalent
// spellings as equal.
class LocaleCollator final : public Collator {
public:
    explicit LocaleCollator(std::wstring localeName) : m_localeName(std::move(localeName)) {}
    bool equal(QStringView first, QStringView second) const override {
        return ::CompareStringEx(
                   m_localeName.empty() ? LOCALE_NAME_INVARIANT : m_localeName.c_str(), 0,
                   reinterpret_cast<const wchar_t*>(first.utf16()), static_cast<int>(first.size()),
                   reinterpret_cast<const wchar_t*>(second.utf16()),
                   static_cast<int>(second.size()), nullptr, nullptr, 0) == CSTR_EQUAL;
    }

private:
    std::wstring m_localeName;
};

} // namespace

std::unique_ptr<Collator> openCollator() {
    return std::make_unique<LocaleCollator>(QString::fromLatin1(localeName()).toStdWString());
}

} // namespace platform
