// The growable array that holds the export list.
//
// Its item operation grows the list: asking for entry i at or past the
// count raises the count to i + 1, obtaining storage when needed. Readers
// fill a cleared list simply by writing entries 0, 1, 2, ... Storage is one
// array obtained and released whole; slots past the count keep whatever
// they last held, so whoever creates an entry writes every field.
#pragma once

#include <cstdint>
#include <utility>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <utility>


constexpr std::int32_t S_OK_RESULT = 0;
constexpr std::int32_t E_INVALIDARG = static_cast<std::int32_t>(0x80070057u);
constexpr std::int32_t E_OUTOFMEMORY = static_cast<std::int32_t>(0x8007000Eu);

template <typename T>
class TTabBase {
 public:
  std::uint32_t Count = 0;
  T* Data = nullptr;

  virtual ~TTabBase() = default;  // releases nothing: the derived class owns Data
  virtual void Clear() { Count = 0; }
  virtual T& Item(std::uint32_t index) {
    // Outside the base contract; nothing in the program asks for it.
    if (index >= Count) throw std::out_of_range("list index past the end");
    return Data[index];
  }
};

template <typename T>
class TTableau : public TTabBase<T> {
 public:
  using TTabBase<T>::Count;
  using TTabBase<T>::Data;

  std::uint32_t Delta;
  void (*OnRelease)(T*) = nullptr;
  void (*OnInit)(T*) = nullptr;
  std::uint32_t Capacity = 0;

  explicit TTableau(std::uint32_t n = 0) : Delta(n / 3 < 10 ? 10 : n / 3) {
    if (n == 0) return;
    Data = Obtain(n);
    if (Data) Capacity = n;
  }
  ~TTableau() override { FreeStorage(); }
  TTableau(const TTableau&) = delete;
  TTableau& operator=(const TTableau&) = delete;

  void Clear() override {
    if (OnRelease)
      for (std::uint32_t i = 0; i < Count; ++i) OnRelease(&Data[i]);
    Count = 0;
  }

  T& Item(std::uint32_t index) override {
    if (index >= Capacity) {
      std::uint64_t target = NextCapacity();
      if (index >= target) target = std::uint64_t{index} + Delta;
      if (target > 0xFFFFFFFFu || Reserve(static_cast<std::uint32_t>(target)) != 0) OutOfMemory();
    }
    if (index >= Count) Count = index + 1;
    return Data[index];
  }

  std::uint32_t NextCapacity() const {
    if (Capacity != 0) return Capacity * 2;
    return Delta != 0 ? Delta : 10;
  }

  std::int32_t Reserve(std::uint32_t n) {
    if (Capacity >= n) return 0;
    T* storage = Obtain(n);
    if (!storage) return E_OUTOFMEMORY;
    for (std::uint32_t i = 0; i < Count; ++i) storage[i] = std::move(Data[i]);  // the old storage goes next
    delete[] Data;
    Data = storage;
    Capacity = n;
    if (OnInit)
      for (std::uint32_t i = Count; i < Capacity; ++i) OnInit(&Data[i]);
    return 0;
  }

  void FreeStorage() {
    Clear();
    if (Data) {
      delete[] Data;
      Data = nullptr;
      Capacity = 0;
    }
  }

  std::int32_t Reset(std::uint32_t n) {
    FreeStorage();
    if (n == 0) return E_INVALIDARG;
    if (n < Delta) n = Delta;
    Data = Obtain(n);
    if (!Data) {
      Capacity = 0;
      return E_OUTOFMEMORY;
    }
    Capacity = n;
    if (OnInit)
      for (std::uint32_t i = 0; i < Capacity; ++i) OnInit(&Data[i]);
    return 0;
  }

  std::int32_t Insert(std::uint32_t index, const T& entry) {
    if (Count > index) {
      T copy = entry;  // entry may live in this list's storage, which may move
      Item(Count);
      for (std::uint32_t i = Count - 1; i > index; --i) Data[i] = Data[i - 1];
      Item(index) = copy;
      return 0;
    }
    Item(index) = entry;
    return 0;
  }

  // Trades contents with another list: storage, count and growth rules go
  // together, so a list read elsewhere is taken whole without a copy.
  void Swap(TTableau& other) noexcept {
    std::swap(Count, other.Count);
    std::swap(Data, other.Data);
    std::swap(Capacity, other.Capacity);
    std::swap(Delta, other.Delta);
    std::swap(OnRelease, other.OnRelease);
    std::swap(OnInit, other.OnInit);
  }

  std::int32_t RemoveAt(std::uint32_t index) {
    if (index >= Count) return E_INVALIDARG;
    if (OnRelease) OnRelease(&Data[index]);
    for (std::uint32_t i = index; i + 1 < Count; ++i) Data[i] = Data[i + 1];
    --Count;
    return 0;
  }

 private:
  static T* Obtain(std::uint32_t n) { return new (std::nothrow) T[n]; }

  // A growth that finds no storage cannot answer a result code here: the
  // readers make room first (Reserve, whose result they look at), and for
  // any other caller it is the toolkit's general error display that says
  // it.
  [[noreturn]] static void OutOfMemory() { throw std::bad_alloc(); }
};
