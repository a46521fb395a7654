// FunctionRef: a callable borrowed for the length of one call.
//
// The store's row operations hand their rows to the caller through one, so
// that a statement stays on its row while the caller reads it, without the
// allocation a std::function of a capturing lambda may make on every read.
// It holds no copy: the callable must outlive the call it is passed to (a
// lambda written in the call's arguments does).
#pragma once

#include <type_traits>
#include <utility>

namespace kivfs {

template <typename Signature>
class FunctionRef;

template <typename Result, typename... Args>
class FunctionRef<Result(Args...)> {
  public:
    // Refers to `callable`; implicit, so that a lambda is passed as it is.
    template <typename Callable, typename = std::enable_if_t<!std::is_same_v<
                                     std::decay_t<Callable>, FunctionRef<Result(Args...)>>>>
    FunctionRef(Callable&& callable)  // NOLINT(google-explicit-constructor)
        : object_(const_cast<void*>(static_cast<const void*>(&callable))),
          call_([](void* object, Args... args) -> Result {
              return (*static_cast<std::remove_reference_t<Callable>*>(object))(
                  std::forward<Args>(args)...);
          }) {}

    // Calls the callable referred to.
    Result operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

  private:
    void* object_;                    // the callable; never null
    Result (*call_)(void*, Args...);  // calls object_ as its own type
};

}  // namespace kivfs
