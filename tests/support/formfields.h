#pragma once

#include <QByteArray>
#include <QStringList>

// A form-encoded request body decoded back into its "name=value" lines, in order.
QStringList decodeFormLines(const QByteArray& body);
