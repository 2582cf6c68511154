#include "support/messagerecorder.h"

#include <ostream>

MessageRecorder::MessageRecorder() {
    setMessageSink([this](const ShownMessage& message) { m_messages.push_back(message); });
}

MessageRecorder::~MessageRecorder() {
    setMessageSink({});
}

void PrintTo(const ShownMessage& message, std::ostream* out) {
    *out << '{' << message.text.toStdString() << " | " << message.caption.toStdString() << " | "
         << message.flags << '}';
}

bool operator==(const ShownMessage& a, const ShownMessage& b) {
    return a.text == b.text && a.caption == b.caption && a.flags == b.flags;
}
