#pragma once
// The owner of one handle of the system or of a library: it releases its handle once, on every
// path, and can be moved but not copied. Each kind of handle says how it is released and what
// means "no handle":
//
//   struct Kind {
//       using Handle = ...;
//       static Handle none();          // what an empty owner holds
//       static bool empty(Handle);     // true for none() and for every other "no handle"
//       static bool release(Handle);   // releases; false when that failed
//   };

#include <type_traits>
#include <utility>

namespace orv {

template <typename Kind> class UniqueHandle {
  public:
    using Handle = typename Kind::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, Kind::none())) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, Kind::none());
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    bool valid() const { return !Kind::empty(handle_); }
    Handle get() const { return handle_; }
    // Gives up ownership without releasing.
    Handle release() { return std::exchange(handle_, Kind::none()); }
    // Releases now; false when releasing failed (the system's error is left where the release
    // put it: errno, GetLastError). An empty owner has nothing to release and succeeds.
    bool reset() {
        const Handle handle = release();
        return Kind::empty(handle) || Kind::release(handle);
    }

  private:
    Handle handle_ = Kind::none();
};

// A pointer that a C library frees with Free; null is none. Free either returns nothing or 0 on
// success (closedir, zip_fclose).
template <typename T, auto Free> struct FreedPointer {
    using Handle = T*;
    static T* none() { return nullptr; }
    static bool empty(T* pointer) { return pointer == nullptr; }
    static bool release(T* pointer) {
        if constexpr (std::is_void_v<decltype(Free(pointer))>) {
            Free(pointer);
            return true;
        } else {
            return Free(pointer) == 0;
        }
    }
};

} // namespace orv
