#pragma once
// The client's one notion of "now", in Unix seconds. Tests move it forward to exercise the
// six-hour and one-day rules without waiting.

#include <QtGlobal>

namespace zq::clock {

// Current Unix time in seconds, plus the offset.
qint64 now();

// Seconds added to the system time by now(); 0 unless a test moved the clock.
void setOffset(qint64 seconds);
qint64 offset();

// Waits ms milliseconds while the event loop goes on (replies and timers are handled meanwhile).
void processEventsFor(int ms);

} // namespace zq::clock
