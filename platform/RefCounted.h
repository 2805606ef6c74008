#pragma once
// Intrusive use counting for objects with several holders: the object is
// deleted at the last Release. The count never goes below zero; it is -1
// while the object is being destroyed, when AddRef and Release do nothing.
#include <atomic>
#include <cstdint>

class TRefCounted {
public:
  TRefCounted() = default;
  TRefCounted(const TRefCounted&) = delete;
  TRefCounted& operator=(const TRefCounted&) = delete;

  virtual ~TRefCounted() = default;

  void AddRef() noexcept {
    int32_t old = refCount_.load(std::memory_order_relaxed);
    while (old >= 0 && !refCount_.compare_exchange_weak(old, old + 1, std::memory_order_relaxed)) {
    }
  }

  // Drops one use; deletes the object when that was the last. Releasing an
  // object whose count is already zero deletes it (it had no holder left).
  void Release() noexcept {
    int32_t old = refCount_.load(std::memory_order_relaxed);
    while (old > 1 && !refCount_.compare_exchange_weak(old, old - 1, std::memory_order_acq_rel)) {
    }
    if (old == 0 || old == 1) {
      refCount_.store(-1, std::memory_order_release);
      delete this;
    }
  }

  int32_t RefCount() const noexcept { return refCount_.load(std::memory_order_relaxed); }
  bool Destroying() const noexcept { return RefCount() < 0; }

protected:
  // For a destructor that starts tearing down before the base destructor runs.
  void MarkDestroying() noexcept { refCount_.store(-1, std::memory_order_relaxed); }

private:
  std::atomic<int32_t> refCount_{0};
};

// Holds one use of a TRefCounted object for the lifetime of the holder.
template <class T>
class TRefPtr {
public:
  TRefPtr() = default;
  TRefPtr(T* p) : p_(p) { if (p_) p_->AddRef(); }
  TRefPtr(const TRefPtr& o) : TRefPtr(o.p_) {}
  TRefPtr(TRefPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  ~TRefPtr() { if (p_) p_->Release(); }
  TRefPtr& operator=(TRefPtr o) noexcept { std::swap(p_, o.p_); return *this; }
  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

private:
  T* p_ = nullptr;
};
