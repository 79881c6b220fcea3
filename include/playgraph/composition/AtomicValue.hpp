#pragma once

#include <memory>
#include <mutex>
#include <utility>

namespace playgraph::inline v1 {

/// A value of type `T`, or none, that threads read and replace atomically.
///
/// The value is held as an immutable `std::shared_ptr<const T>`: `load`
/// hands out a reference-counted snapshot that stays valid however often
/// other threads `store` meanwhile. The lock is held only to copy or swap
/// the pointer; a replaced value is released outside it. Never throws
/// except on allocation failure (in the caller's construction of `T`).
template <class T> class AtomicValue {
public:
    AtomicValue() = default;
    AtomicValue(const AtomicValue&) = delete;
    AtomicValue& operator=(const AtomicValue&) = delete;

    /// The current value (empty for none).
    std::shared_ptr<const T> load() const {
        std::lock_guard lock(mutex_);
        return value_;
    }
    /// Replaces the value (empty for none).
    void store(std::shared_ptr<const T> value) {
        {
            std::lock_guard lock(mutex_);
            value_.swap(value);
        }
        // `value` now holds the previous value, released here, unlocked.
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const T> value_;
};

} // namespace playgraph::inline v1
