// Scope guards for state an operation changes for its own duration: the change is undone when
// the scope ends, normally or by an exception. Each guard belongs to the scope that made it.
#pragma once

#include <utility>

namespace varnel {

// Runs action once when the scope ends.
template <typename F>
class TScopeExit {
 public:
  explicit TScopeExit(F action) : action_(std::move(action)) {}
  ~TScopeExit() { action_(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  F action_;
};

// Gives variable a value for the scope and puts its earlier value back at the end.
// REQUIRES: variable outlives the guard.
template <typename T>
class TRestore {
 public:
  TRestore(T& variable, T value) : variable_(variable), saved_(std::move(variable)) {
    variable_ = std::move(value);
  }
  ~TRestore() { variable_ = std::move(saved_); }
  TRestore(const TRestore&) = delete;
  TRestore& operator=(const TRestore&) = delete;

 private:
  T& variable_;
  T saved_;
};

}  // namespace varnel
