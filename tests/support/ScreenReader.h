#pragma once

#include <QAccessible>
#include <QString>

#include <vector>

// A screen reader listening to the program, as Qt's own accessibility tests listen: the
// platform's accessibility is switched on (offscreen too) and every update is recorded
// instead of being sent to an assistive technology. One at a time.
class ScreenReader {
public:
    struct Heard {
        QObject* object = nullptr;
        QAccessible::Event type = QAccessible::InvalidEvent;
        // Text inserted: where, and what.
        int position = -1;
        QString text;
        // Rows inserted into a table: the last of them.
        int lastRow = -1;
    };

    ScreenReader();
    ~ScreenReader();
    ScreenReader(const ScreenReader&) = delete;
    ScreenReader& operator=(const ScreenReader&) = delete;

    // Whether this platform has accessibility to switch on.
    static bool available();
    std::vector<Heard> heardFrom(const QObject* object, QAccessible::Event type) const;
};
