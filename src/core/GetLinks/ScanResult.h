// The scan's result: its addresses in first-found order, none twice when
// compared without regard to ASCII letter case. Kept in a header of its own
// but inline, as the scan calls it for every value of a page.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ScanValue.h"

namespace scanresult {
// Unnamed: this header belongs to the scan's one source file, and the
// scan's hot loop is as fast only with these of internal linkage.
namespace {

// ASCII case folding through one 256-entry table: A-Z to a-z, every other
// byte to itself.
constexpr std::array<unsigned char, 256> MakeFoldTable() {
  std::array<unsigned char, 256> table{};
  for (int b = 0; b < 256; ++b)
    table[b] = static_cast<unsigned char>((b >= 'A' && b <= 'Z') ? b + 32 : b);
  return table;
}
constexpr auto kFold = MakeFoldTable();

inline unsigned char Fold(char c) {
  return kFold[static_cast<unsigned char>(c)];
}

// A hash set of the result's addresses, lower-cased: open addressing over
// indices into the result, so no address is held twice. Each slot holds the
// upper 32 bits of the key's hash and the entry's index plus one; 0 is free.
// (An index fits 32 bits: four thousand million addresses of at least 9
// bytes each would need a page far beyond any memory.)
class AddressSet {
 public:
  static std::uint64_t Hash(std::string_view key) { return std::hash<std::string_view>{}(key); }

  // The slot a key with this hash probes first (none before the first add).
  const std::uint64_t* FirstSlot(std::uint64_t hash) const {
    return slots_.empty() ? nullptr : &slots_[(hash >> 32) & (slots_.size() - 1)];
  }

  // True, and key recorded as the next entry of result, when result holds no
  // entry equal to key ignoring letter case; key is lower case.
  bool Add(std::string_view key, std::uint64_t hash, const std::vector<std::string>& result) {
    if ((count_ + 1) * 2 > slots_.size()) Grow();
    const std::uint64_t tag = hash >> 32;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = tag & mask;; i = (i + 1) & mask) {
      const std::uint64_t slot = slots_[i];
      if (slot == 0) {
        slots_[i] = (tag << 32) | (result.size() + 1);
        ++count_;
        return true;
      }
      if ((slot >> 32) == tag && EqualsKey(result[(slot & 0xFFFFFFFFu) - 1], key)) return false;
    }
  }

 private:
  static bool EqualsKey(const std::string& entry, std::string_view key) {
    if (entry.size() != key.size()) return false;
    for (std::size_t k = 0; k < key.size(); ++k)
      if (Fold(entry[k]) != static_cast<unsigned char>(key[k])) return false;
    return true;
  }

  void Grow() {
    std::vector<std::uint64_t> old(slots_.empty() ? 1024 : slots_.size() * 2, 0);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const std::uint64_t slot : old) {
      if (slot == 0) continue;
      std::size_t i = (slot >> 32) & mask;
      while (slots_[i] != 0) i = (i + 1) & mask;
      slots_[i] = slot;
    }
  }

  std::vector<std::uint64_t> slots_;
  std::size_t count_ = 0;
};

// The result in first-found order, without duplicates. Addresses wait in a
// short queue while the scan goes on, so that the hash slot each one probes
// is fetched from memory in the meantime; they are checked and added strictly
// in the order in which they were found.
class ResultBuilder {
 public:
  // One resolved address: prefix (the base, root or scheme as typed, or
  // none) and tail (the value's own bytes), with their lower-cased forms;
  // cleaned of its dot segments.
  void Offer(std::string_view prefix, std::string_view prefixKey, std::string_view tail,
             std::string_view tailKey) {
    Pending& pending = queue_[(head_ + count_) % kDepth];
    pending.address.assign(prefix).append(tail);
    // A dot segment needs a "/" before a "."; the page's own prefixes have
    // none left, so only the tail and the join are looked at.
    const bool dot = tail.find("/.") != std::string_view::npos ||
                     (tail.starts_with('.') && prefix.ends_with('/'));
    if (dot && scanvalue::RemoveDotSegments(pending.address)) {
      pending.key.resize(pending.address.size());
      for (std::size_t i = 0; i < pending.address.size(); ++i)
        pending.key[i] = static_cast<char>(Fold(pending.address[i]));
    } else {
      pending.key.assign(prefixKey).append(tailKey);
    }
    pending.hash = AddressSet::Hash(pending.key);
    // Written out here: a helper holding only the prefetch is taken for a
    // function without effect and dropped by the optimizer.
    if (const std::uint64_t* slot = seen_.FirstSlot(pending.hash)) __builtin_prefetch(slot);
    if (++count_ == kDepth) Commit();
  }

  std::vector<std::string> Finish() {
    while (count_ > 0) Commit();
    return std::move(result_);
  }

 private:
  static constexpr std::size_t kDepth = 16;

  struct Pending {
    std::string address;
    std::string key;  // the address lower-cased
    std::uint64_t hash = 0;
  };

  void Commit() {
    Pending& pending = queue_[head_];
    head_ = (head_ + 1) % kDepth;
    --count_;
    if (seen_.Add(pending.key, pending.hash, result_))
      result_.push_back(std::move(pending.address));
  }

  std::array<Pending, kDepth> queue_;
  std::size_t head_ = 0;
  std::size_t count_ = 0;
  AddressSet seen_;
  std::vector<std::string> result_;
};

}  // namespace
}  // namespace scanresult
