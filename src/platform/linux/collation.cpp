#include "platform/collation.h"

#include "platform/localeid.h"

#include "platform/linux/icunames.h"
#include "platform/uilanguage.h"

#include <unicode/ucol.h>

namespace platform {
namespace {

struct CollatorCloser {
    void operator()(UCollator* collator) const { ucol_close(collator); }
};
using CollatorPtr = std::unique_ptr<UCollator, CollatorCloser>;

class IcuCollator final : public Collator {
public:
    explicit IcuCollator(CollatorPtr collator) : m_collator(std::move(collator)) {}
    bool equal(QStringView first, QStringView second) const override {
        return ucol_strcoll(m_collator.get(), reinterpret_cast<const UChar*>(first.utf16()),
                            int32_t(first.size()), reinterpret_cast<const UChar*>(second.utf16()),
                            int32_t(second.size())) == UCOL_EQUAL;
    }

private:
    CollatorPtr m_collator;
};

} // namespace

std::unique_ptr<Collator> openCollator() {
    const QByteArray name = localeName();
    // The root locale (empty) for C and POSIX.
    const QByteArray icuId = isCLocaleName(name) ? QByteArray() : icu::icuIdOfPosixName(name);
    UErrorCode status = U_ZERO_ERROR;
    CollatorPtr collator(ucol_open(icuId.constData(), &status));
    if (U_FAILURE(status))
        return nullptr;
    ucol_setStrength(collator.get(), UCOL_TERTIARY);
    ucol_setAttribute(collator.get(), UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    if (U_FAILURE(status))
        return nullptr;
    return std::make_unique<IcuCollator>(std::move(collator));
}

} // namespace platform
