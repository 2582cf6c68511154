#pragma once

#include "core/apperror.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <stop_token>

// Posts named text fields to a URL and returns the reply text.
// fields: lines "name=value", split at the first "=", sent in order.
// timeoutMs bounds the whole call, from resolving the name to the last byte of the reply,
// whatever the server does. Throws AppError with a message on any failure. Safe to call
// from several threads at once. A stop request ends the call at once with an error.
QString formPost(const QString& url, const QStringList& fields, int timeoutMs,
                 std::stop_token stop = {});

// The scheme rule of every call to the maker's service: post to https://host+path and,
// only if that throws, once more to http://host+path. Throws the second call's error.
// onSecureFailure, when given, learns the first error before the second call is made.
// After a stop request there is no second call: the first error is thrown.
QString postToMakerService(const QString& path, const QStringList& fields, int timeoutMs,
                           const std::function<void(const AppError&)>& onSecureFailure = {},
                           std::stop_token stop = {});
