#pragma once

#include <QString>

// Opens an address or file with the desktop's default handler; failures are ignored.
void shellOpen(const QString& address);
