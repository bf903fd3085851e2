// The numbered objects of one runtime service.
//
// Numbers from 0 up name slots of a table that starts with `initialSlots`
// slots; asking for a slot at or beyond its end grows the table to that number
// plus `growth`, the new slots empty. The any number -1 makes a record outside
// the table and hands out an identifier for it, which from then on is the
// object's number. Identifiers start at kFirstIdentifier, above every slot
// number, and are never handed out twice, so a stale or made-up number can only
// miss: it is looked up as a key and never used as an address.
//
// A record is live while its `handle` field (a platform handle, or what owns
// one) holds a value. A number that names no live record names nothing.
//
// Return rules: With gives the function's result (std::optional of it, or
// true for a function without one), and nullopt / false when the number names
// nothing. Obtain gives the object's number, and nullopt when the number is
// refused or memory runs out. Put gives false when the number holds no record
// any more; Take gives nullopt when the number names nothing. Nothing here
// throws.
//
// Locking: one re-entrant lock is held for every slot operation, and a record
// can be reached only under it: With and Obtain run the caller's function on
// the record while the lock is held, and no pointer to a record leaves. The
// service's close procedure runs under the lock during Obtain and may use the
// registry again. Platform calls belong outside it: what a service needs for
// one (a handle, a shared object) is copied out inside the function, and Put
// and Take hand back what they replace or remove, so that its handles are
// closed after the lock is dropped.
#pragma once

#include "runtime/base/CriticalSection.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

template <class Record>
class ObjectRegistry {
 public:
  using CloseProcedure = void (*)(std::int64_t number);

  static constexpr std::int64_t kAny = -1;
  // Numbers at or above this are identifiers; below it, slot numbers.
  static constexpr std::int64_t kFirstIdentifier = std::int64_t{1} << 32;
  // Slot numbers this size or larger are refused rather than growing the table
  // without bound.
  static constexpr std::int64_t kSlotLimit = std::int64_t{1} << 20;

  ObjectRegistry(std::size_t initialSlots, std::size_t growth, CloseProcedure close)
      : growth_(growth), close_(close), slots_(initialSlots) {}

  ObjectRegistry(const ObjectRegistry&) = delete;
  ObjectRegistry& operator=(const ObjectRegistry&) = delete;

  // Whether Obtain would take `number` now: the any number, a slot number
  // below kSlotLimit, or a live identifier.
  bool Accepts(std::int64_t number) {
    if (number == kAny || IsSlotNumber(number)) return true;
    auto guard = Lock();
    return number >= kFirstIdentifier && Live(number);
  }

  // Runs `use(record)` on the live record of `number` under the lock.
  template <class Use>
  auto With(std::int64_t number, Use&& use) {
    using Result = std::invoke_result_t<Use&, Record&>;
    auto guard = Lock();
    Record* record = Live(number);
    if constexpr (std::is_void_v<Result>) {
      if (record) use(*record);
      return record != nullptr;
    } else {
      return record ? std::optional<Result>(use(*record)) : std::nullopt;
    }
  }

  // Makes `number` hold a zeroed record and runs `fill(record, number)` on it,
  // all under one hold of the lock. A live object under the number is closed
  // first. With kAny a new record and identifier are made; a live identifier
  // keeps its number. Refused for other negative numbers, for slot numbers at
  // or above kSlotLimit and for identifiers that name nothing.
  template <class Fill>
  std::optional<std::int64_t> Obtain(std::int64_t number, Fill&& fill) {
    auto guard = Lock();
    try {
      Record* record = Prepare(number);
      if (!record) return std::nullopt;
      std::int64_t obtained = number == kAny ? nextIdentifier_++ : number;
      fill(*record, obtained);
      return obtained;
    } catch (const std::bad_alloc&) {
      return std::nullopt;
    }
  }

  std::optional<std::int64_t> Obtain(std::int64_t number) {
    return Obtain(number, [](Record&, std::int64_t) {});
  }

  // Puts `record` under a number Obtain gave, when that number still holds a
  // record (live or not). The record it replaces is handed back.
  bool Put(std::int64_t number, Record record) {
    std::optional<Record> replaced;  // destroyed after the lock is dropped
    auto guard = Lock();
    Record* stored = Stored(number);
    if (!stored) return false;
    replaced.emplace(std::move(*stored));
    *stored = std::move(record);
    return true;
  }

  // Forgets whatever `number` holds, live or not: a slot is zeroed and kept,
  // an identifier's record is removed and the identifier names nothing from
  // then on.
  void Release(std::int64_t number) {
    std::optional<Record> released;  // destroyed after the lock is dropped
    auto guard = Lock();
    released = Remove(number);
  }

  // Moves the live record of `number` out and releases the number, when
  // `wanted(record)` holds.
  template <class Wanted>
  std::optional<Record> Take(std::int64_t number, Wanted&& wanted) {
    auto guard = Lock();
    Record* record = Live(number);
    if (!record || !wanted(std::as_const(*record))) return std::nullopt;
    return Remove(number);
  }

  std::optional<Record> Take(std::int64_t number) {
    return Take(number, [](const Record&) { return true; });
  }

  // Runs the close procedure on every live object: numbered slots in
  // ascending order, then identified records, newest first. Takes no memory,
  // so it works when none is left.
  void CloseAll() {
    for (std::optional<std::int64_t> number = NextLive(std::nullopt); number; number = NextLive(number))
      close_(*number);
  }

  std::size_t SlotCount() const {
    auto guard = Lock();
    return slots_.size();
  }

 private:
  [[nodiscard]] std::unique_lock<CriticalSection> Lock() const {
    return std::unique_lock<CriticalSection>(lock_);
  }

  static bool IsSlotNumber(std::int64_t number) { return number >= 0 && number < kSlotLimit; }
  static bool IsLive(const Record& record) { return static_cast<bool>(record.handle); }

  // The record stored under `number`, live or not; null when none is stored.
  Record* Stored(std::int64_t number) {
    if (number >= kFirstIdentifier) {
      auto it = identified_.find(number);
      return it == identified_.end() ? nullptr : it->second.get();
    }
    if (number < 0 || static_cast<std::uint64_t>(number) >= slots_.size()) return nullptr;
    return slots_[static_cast<std::size_t>(number)].get();
  }

  Record* Live(std::int64_t number) {
    Record* record = Stored(number);
    return record && IsLive(*record) ? record : nullptr;
  }

  // The zeroed record `number` is to hold (closing its live object first), or
  // null when the number is refused. Lock held; may throw std::bad_alloc.
  Record* Prepare(std::int64_t number) {
    if (number == kAny) return Store(nextIdentifier_);
    bool live = Live(number) != nullptr;
    if (live) close_(number);  // may release the number, so look again below
    if (number >= kFirstIdentifier) return live ? Store(number) : nullptr;
    if (!IsSlotNumber(number)) return nullptr;
    auto index = static_cast<std::size_t>(number);
    if (index >= slots_.size()) slots_.resize(index + growth_);
    if (!slots_[index]) slots_[index] = std::make_unique<Record>();
    *slots_[index] = Record{};
    return slots_[index].get();
  }

  // A fresh record under the identifier `id`.
  Record* Store(std::int64_t id) {
    auto fresh = std::make_unique<Record>();
    Record* record = fresh.get();
    identified_[id] = std::move(fresh);
    return record;
  }

  // Moves the record stored under `number` out and releases the number.
  std::optional<Record> Remove(std::int64_t number) {
    if (number >= kFirstIdentifier) {
      auto it = identified_.find(number);
      if (it == identified_.end()) return std::nullopt;
      std::optional<Record> removed(std::move(*it->second));
      identified_.erase(it);
      return removed;
    }
    Record* record = Stored(number);
    if (!record) return std::nullopt;
    std::optional<Record> removed(std::move(*record));
    *record = Record{};
    return removed;
  }

  // The first live number after `after` in closing order (slots ascending,
  // then identifiers descending); from the start when `after` is empty.
  std::optional<std::int64_t> NextLive(std::optional<std::int64_t> after) {
    auto guard = Lock();
    if (!after || *after < kFirstIdentifier) {
      for (std::size_t i = after ? static_cast<std::size_t>(*after) + 1 : 0; i < slots_.size(); ++i)
        if (slots_[i] && IsLive(*slots_[i])) return static_cast<std::int64_t>(i);
      after.reset();
    }
    auto it = after ? identified_.lower_bound(*after) : identified_.end();
    while (it != identified_.begin())
      if (--it; IsLive(*it->second)) return it->first;
    return std::nullopt;
  }

  mutable CriticalSection lock_;
  std::size_t growth_;
  CloseProcedure close_;
  std::vector<std::unique_ptr<Record>> slots_;
  std::map<std::int64_t, std::unique_ptr<Record>> identified_;
  std::int64_t nextIdentifier_ = kFirstIdentifier;
};
