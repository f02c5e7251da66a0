#pragma once

// Scenarios of the benchmark kept in files of their own.

#include <QtGlobal>

// A pane holding size bytes of device log, followed to its end, made narrower: the longest
// gap of the event loop until its rows are wrapped again, and how long that took.
struct RewrapRun {
    double stallMs = 0;
    double seconds = 0;
};
RewrapRun rewrapLargePane(qint64 size);

// A pane holding size bytes of device log with one match at its very end, searched from its
// start (the find bar, on its helper thread): how fast, and the longest gap of the event loop
// meanwhile. A search that does not find the match gives 0 and -1.
struct SearchRun {
    double megabytesPerSecond = 0;
    double stallMs = 0;
};
SearchRun searchLargePane(qint64 size);

// Accessibility switched on, as on a desktop where a screen reader or an on-screen keyboard
// runs, for as long as it lives. Every update goes to a listener (as Qt's own accessibility
// tests listen) that takes what a screen reader would be given.
class AccessibilityOn {
public:
    AccessibilityOn();
    ~AccessibilityOn();
    AccessibilityOn(const AccessibilityOn&) = delete;
    AccessibilityOn& operator=(const AccessibilityOn&) = delete;

    // Whether the platform let it be switched on.
    bool active() const;
    // Updates heard, and characters of text inserted among them.
    qint64 updates() const;
    qint64 characters() const;
};
