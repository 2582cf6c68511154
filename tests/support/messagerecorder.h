#pragma once

#include "gui/messagebox.h"

#include <vector>

// Records every message box shown while it lives, in place of the real boxes.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    const std::vector<ShownMessage>& messages() const { return m_messages; }
    void clear() { m_messages.clear(); }

private:
    std::vector<ShownMessage> m_messages;
};

// Readable failures: gtest prints recorded messages with their caption and flags.
void PrintTo(const ShownMessage& message, std::ostream* out);
bool operator==(const ShownMessage& a, const ShownMessage& b);
