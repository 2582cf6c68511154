#include "core/feedbackrequest.h"

#include "core/formpost.h"
#include "core/identity.h"
#include "core/maker.h"
#include "core/textlines.h"

#include <exception>
#include <memory>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

namespace feedback {
namespace {

struct CodeFree {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchDataFree {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
using CodePtr = std::unique_ptr<pcre2_code, CodeFree>;
using MatchDataPtr = std::unique_ptr<pcre2_match_data, MatchDataFree>;

constexpr const char* emailPattern =
    R"(^[a-zA-Z0-9_.+-]+@[a-zA-Z0-9-]+\.[a-zA-Z0-9-.]*[a-zA-Z0-9]+$)";

// Compiled once; a compiled pattern may be matched from several threads.
const pcre2_code* emailCode() {
    static const CodePtr code = [] {
        int error = 0;
        PCRE2_SIZE offset = 0;
        return CodePtr(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(emailPattern),
                                     PCRE2_ZERO_TERMINATED, PCRE2_UTF, &error, &offset, nullptr));
    }();
    return code.get();
}

} // namespace

QString choiceText(const QString& english, const QString& shownCaption) {
    if (shownCaption == english)
        return english;
    return english + QStringLiteral(" (") + shownCaption + u')';
}

QString memoText(const QString& plainText) {
    return trimSpacesAndControls(splitLines(plainText).join(QStringLiteral("\r\n")));
}

QString feedbackText(const QString& choice, const QString& memo) {
    if (choice.isEmpty())
        return memo;
    return choice + u'\r' + memo;
}

bool isValidEmail(const QString& email) {
    const pcre2_code* code = emailCode();
    if (!code)
        return false;
    const QByteArray subject = email.toUtf8();
    const MatchDataPtr match(pcre2_match_data_create_from_pattern(code, nullptr));
    if (!match)
        return false;
    const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject.constData()),
                               PCRE2_SIZE(subject.size()), 0, PCRE2_NOTEMPTY, match.get(), nullptr);
    if (rc < 0)
        return false;
    // "$" also matches before a final newline: only a match of the whole text counts.
    const PCRE2_SIZE* range = pcre2_get_ovector_pointer(match.get());
    return range[0] == 0 && range[1] == PCRE2_SIZE(subject.size());
}

QStringList requestFields(const ProductIdentity& product, const QString& feedbackText,
                          const QString& email) {
    QStringList fields = {QStringLiteral("cmd=feedback"),
                          QStringLiteral("appname=") + product.fullTitle,
                          QStringLiteral("version=") + product.versionText,
                          QStringLiteral("feedback=") + feedbackText};
    if (!email.isEmpty())
        fields << QStringLiteral("email=") + email;
    return fields;
}

bool isDelivered(const QString& reply) {
    return trimSpacesAndControls(splitLines(reply).join(QStringLiteral("\r\n"))) == u"OK";
}

QString post(const QStringList& fields) {
    try {
        return postToMakerService(QString::fromLatin1(maker::feedbackPath), fields, postTimeoutMs);
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace feedback
