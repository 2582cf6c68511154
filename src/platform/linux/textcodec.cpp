#include "platform/textcodec.h"

#include <unicode/ucnv.h>

#include <memory>

namespace platform {
namespace {

struct ConverterClose {
    void operator()(UConverter* c) const { ucnv_close(c); }
};

} // namespace

std::optional<QString> decodeText(const QByteArray& bytes, const QByteArray& encoding) {
    // ICU opens its default converter for an empty name; that is not an encoding.
    if (encoding.trimmed().isEmpty())
        return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<UConverter, ConverterClose> converter(
        ucnv_open(encoding.constData(), &status));
    if (U_FAILURE(status) || !converter)
        return std::nullopt;
    const int32_t needed = ucnv_toUChars(converter.get(), nullptr, 0, bytes.constData(),
                                         int32_t(bytes.size()), &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
        return std::nullopt;
    QString text(needed, Qt::Uninitialized);
    status = U_ZERO_ERROR;
    ucnv_toUChars(converter.get(), reinterpret_cast<UChar*>(text.data()), needed, bytes.constData(),
                  int32_t(bytes.size()), &status);
    if (U_FAILURE(status))
        return std::nullopt;
    return text;
}

} // namespace platform
