// Borrow state of an object: one exclusive accessor or any number of shared ones. Conflicts fail at
// once instead of waiting; they arise only when Python code re-enters an object during an access.
#pragma once

#include <optional>
#include <utility>

#include "runtime/python.h"

namespace orvane::py {

inline constexpr const char* kAlreadyBorrowed = "Already borrowed";
inline constexpr const char* kAlreadyMutablyBorrowed = "Already mutably borrowed";

class BorrowState {
 public:
  bool try_shared() {
    if (count_ < 0) return false;
    ++count_;
    return true;
  }
  bool try_exclusive() {
    if (count_ != 0) return false;
    count_ = -1;
    return true;
  }
  void release_shared() { --count_; }
  void release_exclusive() { count_ = 0; }

 private:
  Py_ssize_t count_ = 0;  // -1: exclusive; n > 0: n shared accessors
};

class SharedGuard {
 public:
  // Null when an exclusive access is held.
  static std::optional<SharedGuard> acquire(BorrowState& state) {
    if (!state.try_shared()) return std::nullopt;
    return SharedGuard(state);
  }
  SharedGuard(SharedGuard&& other) noexcept : state_(std::exchange(other.state_, nullptr)) {}
  SharedGuard(const SharedGuard&) = delete;
  SharedGuard& operator=(const SharedGuard&) = delete;
  SharedGuard& operator=(SharedGuard&&) = delete;
  ~SharedGuard() { release(); }
  void release() {
    if (state_) std::exchange(state_, nullptr)->release_shared();
  }

 private:
  explicit SharedGuard(BorrowState& state) : state_(&state) {}
  BorrowState* state_;
};

class ExclusiveGuard {
 public:
  // Null when any access is held.
  static std::optional<ExclusiveGuard> acquire(BorrowState& state) {
    if (!state.try_exclusive()) return std::nullopt;
    return ExclusiveGuard(state);
  }
  ExclusiveGuard(ExclusiveGuard&& other) noexcept : state_(std::exchange(other.state_, nullptr)) {}
  ExclusiveGuard(const ExclusiveGuard&) = delete;
  ExclusiveGuard& operator=(const ExclusiveGuard&) = delete;
  ExclusiveGuard& operator=(ExclusiveGuard&&) = delete;
  ~ExclusiveGuard() { release(); }
  void release() {
    if (state_) std::exchange(state_, nullptr)->release_exclusive();
  }

 private:
  explicit ExclusiveGuard(BorrowState& state) : state_(&state) {}
  BorrowState* state_;
};

}  // namespace orvane::py
