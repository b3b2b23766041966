#pragma once

#include <functional>
#include <type_traits>
#include <utility>

// Sets one seam for the guard's life and puts back what it held before. A seam is a setter
// that takes the new value and returns the previous one (the message-box responder, the
// program end, the dialogs' answerers, the download, the pause clock, the spooler ...).
template <typename Value> class ScopedSeam {
public:
  template <typename Setter, typename New>
  ScopedSeam(Setter setter, New &&value) : set_(setter), previous_(set_(std::forward<New>(value))) {}
  ~ScopedSeam() { set_(std::move(previous_)); }
  ScopedSeam(const ScopedSeam &) = delete;
  ScopedSeam &operator=(const ScopedSeam &) = delete;

  const Value &Previous() const { return previous_; }

private:
  std::function<Value(Value)> set_;
  Value previous_;
};

template <typename Setter, typename New>
ScopedSeam(Setter, New &&) -> ScopedSeam<std::decay_t<std::invoke_result_t<Setter &, New>>>;
