#pragma once

// The program's busy cursor, shown over every window from construction until restore()
// or the end of the object, whichever comes first.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

    void restore();

private:
    bool m_active = true;
};
