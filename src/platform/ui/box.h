// Box<T>: an immutable T held behind a pointer, so that a value type can contain
// values of its own type (a view's background is itself a view).
//
// A Box behaves as a value: its content cannot change after construction, so copies
// that share one content are indistinguishable from deep copies. Copying is cheap and
// safe from any thread.
#pragma once

#include <memory>
#include <utility>

namespace ui {

template <typename T>
class Box {
 public:
  // A default T (defined below, so that T may be incomplete where Box<T> is named).
  Box();
  // Implicit: a Box stands wherever its T would.
  Box(T value) : value_(std::make_shared<const T>(std::move(value))) {}

  const T& get() const { return *value_; }
  const T& operator*() const { return *value_; }
  const T* operator->() const { return value_.get(); }

 private:
  std::shared_ptr<const T> value_;
};

template <typename T>
Box<T>::Box() : Box(T{}) {}

}  // namespace ui
