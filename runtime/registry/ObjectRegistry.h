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
// A record is live while its `handle` field holds a value. Every operation on a
// number that names no live record does nothing (Find gives null).
//
// Locking: one re-entrant lock is held for every slot operation. Callers take
// it with Lock() around Find/Obtain/Release and whatever they read or write in
// the record; the service's close procedure runs under it and may use the
// registry again. Platform calls belong outside it: Take() moves a record out
// so that its handles can be closed after the lock is dropped.
#pragma once

#include "runtime/base/CriticalSection.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
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

  struct Obtained {
    std::int64_t number = 0;
    Record* record = nullptr;
  };

  ObjectRegistry(std::size_t initialSlots, std::size_t growth, CloseProcedure close)
      : growth_(growth), close_(close), slots_(initialSlots) {}

  ObjectRegistry(const ObjectRegistry&) = delete;
  ObjectRegistry& operator=(const ObjectRegistry&) = delete;

  [[nodiscard]] std::unique_lock<CriticalSection> Lock() const {
    return std::unique_lock<CriticalSection>(lock_);
  }

  // The live record of `number`, or null. Hold the lock while using it.
  Record* Find(std::int64_t number) {
    auto guard = Lock();
    Record* record = Slot(number);
    return record && IsLive(*record) ? record : nullptr;
  }

  // The record for `number`, made when needed. A live object under the number
  // is closed first and its zeroed record reused. With kAny a new record and
  // identifier are made; a live identifier keeps its number. Refused (null
  // record) for other negative numbers, for slot numbers at or above
  // kSlotLimit and for identifiers that name nothing.
  Obtained Obtain(std::int64_t number) {
    auto guard = Lock();
    if (number == kAny) return {nextIdentifier_, Store(nextIdentifier_++)};
    Record* existing = Slot(number);
    bool live = existing && IsLive(*existing);
    if (live) close_(number);  // may release the number, so look again below
    if (number >= kFirstIdentifier) return live ? Obtained{number, Store(number)} : Obtained{};
    if (number < 0 || number >= kSlotLimit) return {};
    auto index = static_cast<std::size_t>(number);
    if (index >= slots_.size()) slots_.resize(index + growth_);
    if (!slots_[index]) slots_[index] = std::make_unique<Record>();
    *slots_[index] = Record{};
    return {number, slots_[index].get()};
  }

  // Forgets the object: a slot is zeroed and kept, an identifier's record is
  // removed and the identifier names nothing from then on.
  void Release(std::int64_t number) { Take(number); }

  // Moves the record of `number` (live or not) out and releases the number.
  std::optional<Record> Take(std::int64_t number) {
    auto guard = Lock();
    if (number >= kFirstIdentifier) {
      auto it = identified_.find(number);
      if (it == identified_.end()) return std::nullopt;
      std::optional<Record> taken(std::move(*it->second));
      identified_.erase(it);
      return taken;
    }
    Record* record = Slot(number);
    if (!record) return std::nullopt;
    std::optional<Record> taken(std::move(*record));
    *record = Record{};
    return taken;
  }

  // Runs the close procedure on every live object: numbered slots in
  // ascending order, then identified records, newest first.
  void CloseAll() {
    for (std::int64_t number : LiveNumbers()) close_(number);
  }

  std::vector<std::int64_t> LiveNumbers() {
    auto guard = Lock();
    std::vector<std::int64_t> numbers;
    for (std::size_t i = 0; i < slots_.size(); ++i)
      if (slots_[i] && IsLive(*slots_[i])) numbers.push_back(static_cast<std::int64_t>(i));
    for (auto it = identified_.rbegin(); it != identified_.rend(); ++it)
      if (IsLive(*it->second)) numbers.push_back(it->first);
    return numbers;
  }

  std::size_t SlotCount() const {
    auto guard = Lock();
    return slots_.size();
  }

 private:
  static bool IsLive(const Record& record) { return static_cast<bool>(record.handle); }

  // A fresh record under the identifier `id`.
  Record* Store(std::int64_t id) {
    auto& record = identified_[id];
    record = std::make_unique<Record>();
    return record.get();
  }

  // The record stored under `number`, live or not; null when none is stored.
  Record* Slot(std::int64_t number) {
    if (number >= kFirstIdentifier) {
      auto it = identified_.find(number);
      return it == identified_.end() ? nullptr : it->second.get();
    }
    if (number < 0 || static_cast<std::uint64_t>(number) >= slots_.size()) return nullptr;
    return slots_[static_cast<std::size_t>(number)].get();
  }

  mutable CriticalSection lock_;
  std::size_t growth_;
  CloseProcedure close_;
  std::vector<std::unique_ptr<Record>> slots_;
  std::map<std::int64_t, std::unique_ptr<Record>> identified_;
  std::int64_t nextIdentifier_ = kFirstIdentifier;
};
