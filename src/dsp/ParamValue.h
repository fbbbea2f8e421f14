// A parameter's live normalized value (0..1) as modules read it. Written whole by any
// thread, read by the audio thread without a lock.
#pragma once

#include <atomic>

using ParamValue = std::atomic<float>;

inline float readParam(const ParamValue* value) { return value->load(std::memory_order_relaxed); }
