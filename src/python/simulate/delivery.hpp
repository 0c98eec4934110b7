#pragma once
// One attempt to hand a finished life to its future, on the completion
// thread (completer.hpp), with the interpreter lock.
//
// Every step here may run host code (the future's cancelled(), the loop's
// call_soon_threadsafe and is_closed()), and any of them may raise. The
// rule: while the loop is open, or nobody can tell, a failed attempt is
// tried again later with the value it made, so the future resolves once the
// host's methods work again; only a closed loop drops the value. An error is
// shown as an uncaught one would be, but never acted on: a SystemExit raised
// there must not end the interpreter from this thread.

#include "python/simulate/completer.hpp"

namespace sablewick::py::simulate::delivery {

enum class Attempt {
    kSettled,  // scheduled, not wanted (cancelled) or dropped (closed loop)
    kRetry,    // keep the outcome and try again later
};

// With the interpreter lock. The outcome's value is made at the first
// attempt and kept in it until the outcome is released.
Attempt attempt(completer::Outcome& outcome);

// With the interpreter lock: 1 when the loop is closed, 0 when open, -1 when
// its is_closed() failed (the error is cleared). Runs host code.
int loop_closed(PyObject* loop);

}  // namespace sablewick::py::simulate::delivery
