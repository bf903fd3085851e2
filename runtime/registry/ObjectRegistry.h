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
// An object whose platform call runs outside the lock is entered in two
// steps: Obtain without a fill reserves the number, Put fills it. A close-all
// in between cancels the reservation, and the Put is refused, so an open that
// races a close-all never lands in the table after it. Of two reservations of
// one number, the first Put lands and the later one is refused. A refused Put
// leaves the number as it is, so its caller does not Release it; a caller that
// gives up before its Put does. Obtain is refused while a close-all is under
// way.
//
// Return rules: With gives the function's result (std::optional of it, or
// true for a function without one), and nullopt / false when the number names
// nothing. Obtain gives the object's number, and nullopt when the number is
// refused or memory runs out; a refused or failed Obtain leaves nothing behind.
// Put gives false when the number's reservation was cancelled; the record it
// was given is then destroyed after the lock is dropped. Take gives nullopt
// when the number names nothing. Nothing here throws.
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
    return Enter(number, fill, false);
  }

  // Reserves `number` for a Put, with a zeroed record that is not live.
  std::optional<std::int64_t> Obtain(std::int64_t number) {
    auto leaveEmpty = [](Record&, std::int64_t) {};
    return Enter(number, leaveEmpty, true);
  }

  // Puts `record` under a number Obtain reserved, unless the reservation was
  // cancelled meanwhile. A refused record goes with the parameter, after the
  // lock is dropped.
  bool Put(std::int64_t number, Record record) {
    auto guard = Lock();
    Entry* entry = StoredEntry(number);
    if (!entry || !entry->reserved) return false;
    entry->record = std::move(record);
    entry->reserved = false;
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
    CancelReservations(+1);
    for (std::optional<std::int64_t> number = NextLive(std::nullopt); number; number = NextLive(number))
      close_(*number);
    CancelReservations(-1);
  }

  std::size_t SlotCount() const {
    auto guard = Lock();
    return slots_.size();
  }

 private:
  // A stored record and whether Obtain reserved it for a Put.
  struct Entry {
    Record record{};
    bool reserved = false;
  };

  [[nodiscard]] std::unique_lock<CriticalSection> Lock() const {
    return std::unique_lock<CriticalSection>(lock_);
  }

  static bool IsSlotNumber(std::int64_t number) { return number >= 0 && number < kSlotLimit; }
  static bool IsLive(const Record& record) { return static_cast<bool>(record.handle); }

  // Obtain's work under one hold of the lock. A fill that throws, like memory
  // running out, leaves the number as a close would: no record, no
  // reservation.
  template <class Fill>
  std::optional<std::int64_t> Enter(std::int64_t number, Fill& fill, bool reserve) {
    std::optional<Record> dropped;  // destroyed after the lock is dropped
    auto guard = Lock();
    if (closingAll_ > 0) return std::nullopt;
    std::int64_t obtained = number == kAny ? nextIdentifier_ : number;
    try {
      Entry* entry = Prepare(number);
      if (!entry) return std::nullopt;
      if (number == kAny) ++nextIdentifier_;
      fill(entry->record, obtained);
      entry->reserved = reserve;
      return obtained;
    } catch (const std::bad_alloc&) {
      dropped = Remove(obtained);
      return std::nullopt;
    }
  }

  // The entry stored under `number`, live or not; null when none is stored.
  Entry* StoredEntry(std::int64_t number) {
    if (number >= kFirstIdentifier) {
      auto it = identified_.find(number);
      return it == identified_.end() ? nullptr : it->second.get();
    }
    if (number < 0 || static_cast<std::uint64_t>(number) >= slots_.size()) return nullptr;
    return slots_[static_cast<std::size_t>(number)].get();
  }

  Record* Live(std::int64_t number) {
    Entry* entry = StoredEntry(number);
    return entry && IsLive(entry->record) ? &entry->record : nullptr;
  }

  // The zeroed entry `number` is to hold (closing its live object first), or
  // null when the number is refused. Lock held; may throw std::bad_alloc.
  Entry* Prepare(std::int64_t number) {
    if (number == kAny) return Store(nextIdentifier_);
    bool live = Live(number) != nullptr;
    if (live) close_(number);  // may release the number, so look again below
    if (number >= kFirstIdentifier) return live ? Store(number) : nullptr;
    if (!IsSlotNumber(number)) return nullptr;
    auto index = static_cast<std::size_t>(number);
    if (index >= slots_.size()) slots_.resize(index + growth_);
    if (!slots_[index]) slots_[index] = std::make_unique<Entry>();
    *slots_[index] = Entry{};
    return slots_[index].get();
  }

  // A fresh entry under the identifier `id`.
  Entry* Store(std::int64_t id) {
    auto fresh = std::make_unique<Entry>();
    Entry* entry = fresh.get();
    identified_[id] = std::move(fresh);
    return entry;
  }

  // Moves the record stored under `number` out and releases the number, with
  // any reservation of it.
  std::optional<Record> Remove(std::int64_t number) {
    if (number >= kFirstIdentifier) {
      auto it = identified_.find(number);
      if (it == identified_.end()) return std::nullopt;
      std::optional<Record> removed(std::move(it->second->record));
      identified_.erase(it);
      return removed;
    }
    Entry* entry = StoredEntry(number);
    if (!entry) return std::nullopt;
    std::optional<Record> removed(std::move(entry->record));
    *entry = Entry{};
    return removed;
  }

  // Marks a close-all as begun (+1) or ended (-1), and cancels every
  // reservation: reserved slots stay empty, reserved identifiers are
  // forgotten. Erasing them frees what held no object; it takes no memory.
  void CancelReservations(int closeAllStep) {
    auto guard = Lock();
    closingAll_ += closeAllStep;
    for (auto& slot : slots_)
      if (slot) slot->reserved = false;
    std::erase_if(identified_, [](const auto& item) { return item.second->reserved; });
  }

  // The first live number after `after` in closing order (slots ascending,
  // then identifiers descending); from the start when `after` is empty.
  std::optional<std::int64_t> NextLive(std::optional<std::int64_t> after) {
    auto guard = Lock();
    if (!after || *after < kFirstIdentifier) {
      for (std::size_t i = after ? static_cast<std::size_t>(*after) + 1 : 0; i < slots_.size(); ++i)
        if (slots_[i] && IsLive(slots_[i]->record)) return static_cast<std::int64_t>(i);
      after.reset();
    }
    auto it = after ? identified_.lower_bound(*after) : identified_.end();
    while (it != identified_.begin())
      if (--it; IsLive(it->second->record)) return it->first;
    return std::nullopt;
  }

  mutable CriticalSection lock_;
  std::size_t growth_;
  CloseProcedure close_;
  std::vector<std::unique_ptr<Entry>> slots_;
  std::map<std::int64_t, std::unique_ptr<Entry>> identified_;
  std::int64_t nextIdentifier_ = kFirstIdentifier;
  int closingAll_ = 0;
};
