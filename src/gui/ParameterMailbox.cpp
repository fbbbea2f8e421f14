#include "gui/ParameterMailbox.h"

ParameterMailbox::ParameterMailbox(int32_t size)
    : count(size > 0 ? size : 0), slots(std::make_unique<Slot[]>(static_cast<size_t>(count))) {}

void ParameterMailbox::post(int32_t index, float value) {
    if (index < 0 || index >= count) return;
    Slot& slot = slots[index];
    slot.value.store(value, std::memory_order_relaxed);
    slot.flags.fetch_or(kPending | (value != 0.0f ? kNonZero : 0u), std::memory_order_release);
    anyPending.store(true, std::memory_order_release);
}
