#pragma once

#include <QString>
#include <QStringList>

struct ProductIdentity;

// The feedback sent to the maker's service: its text, the e-mail check, the fields and
// the reading of the reply. The window gathers the inputs; everything decided about them
// lives here.
namespace feedback {

inline constexpr int postTimeoutMs = 3000;

// The English choice, followed by " (", the caption the user saw and ")" when a language
// file changed it, so the maker always receives the English wording.
QString choiceText(const QString& english, const QString& shownCaption);

// The memo's lines joined with CR LF, spaces and control characters trimmed at both ends.
QString memoText(const QString& plainText);

// The chosen choice text and one CR (none when nothing is chosen), then the memo text.
QString feedbackText(const QString& choice, const QString& memo);

// True when the whole address matches the accepted pattern: a local part of letters,
// digits and "_.+-", "@", and a domain with at least one dot that ends in a letter or digit.
bool isValidEmail(const QString& email);

// The fields of the request, in order; "email=" only when an address is given.
QStringList requestFields(const ProductIdentity& product, const QString& feedbackText,
                          const QString& email);

// True when the reply, its lines joined with CR LF and trimmed, reads exactly "OK".
bool isDelivered(const QString& reply);

// Posts the fields to the maker's feedback endpoint, over HTTPS and, if that fails, over
// HTTP. An empty reply when both fail.
QString post(const QStringList& fields);

} // namespace feedback
