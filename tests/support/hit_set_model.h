// A brute-force evaluation of the query operators over sets of (record,
// word) hits, for tests that check whole queries against it. Every operation
// is decided record by record, as the engine decides it.

#ifndef TARVIS_TESTS_SUPPORT_HIT_SET_MODEL_H_
#define TARVIS_TESTS_SUPPORT_HIT_SET_MODEL_H_

#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

using HitSet = std::set<std::pair<uint32_t, uint32_t>>;

class HitSetModelT {
 public:
  // positional: hits carry word positions (phrases and proximity look at
  // them); otherwise both are record-level ANDs.
  explicit HitSetModelT(bool positional) : Positional(positional) {}

  static HitSet Or(const std::vector<HitSet>& sets) {
    HitSet out;
    for (const HitSet& set : sets) out.insert(set.begin(), set.end());
    return out;
  }
  static std::set<uint32_t> Records(const HitSet& set) {
    std::set<uint32_t> records;
    for (const auto& hit : set) records.insert(hit.first);
    return records;
  }
  static HitSet InRecords(const HitSet& set, const std::set<uint32_t>& records) {
    HitSet out;
    for (const auto& hit : set) {
      if (records.count(hit.first)) out.insert(hit);
    }
    return out;
  }
  // The hits of the records held by at least n - tolerance of the n sets.
  static HitSet And(uint32_t tolerance, const std::vector<HitSet>& sets) {
    const uint32_t n = static_cast<uint32_t>(sets.size());
    const uint32_t required = tolerance >= n ? 1 : n - tolerance;
    std::map<uint32_t, uint32_t> holders;
    for (const HitSet& set : sets) {
      for (uint32_t record : Records(set)) ++holders[record];
    }
    std::set<uint32_t> records;
    for (const auto& holder : holders) {
      if (holder.second >= required) records.insert(holder.first);
    }
    return InRecords(Or(sets), records);
  }
  // The hits of a in records that none of the others hold.
  static HitSet Not(const HitSet& a, const std::vector<HitSet>& others) {
    const std::set<uint32_t> excluded = Records(Or(others));
    HitSet out;
    for (const auto& hit : a) {
      if (!excluded.count(hit.first)) out.insert(hit);
    }
    return out;
  }
  static HitSet Xor(uint32_t tolerance, const std::vector<HitSet>& sets) {
    return Not(Or(sets), std::vector<HitSet>{And(tolerance, sets)});
  }
  // A left fold: the hits of either side with a hit of the other side in
  // the same record at most distance words away.
  HitSet Near(uint32_t distance, const std::vector<HitSet>& sets) const {
    if (!Positional) return And(0, sets);
    HitSet folded = sets[0];
    for (size_t i = 1; i < sets.size(); ++i) {
      HitSet out;
      for (const auto& a : folded) {
        for (const auto& b : sets[i]) {
          if (a.first != b.first) continue;
          const uint32_t gap =
              a.second > b.second ? a.second - b.second : b.second - a.second;
          if (gap <= distance) {
            out.insert(a);
            out.insert(b);
          }
        }
      }
      folded = out;
    }
    return folded;
  }
  // The hits (r, t) .. (r, t + n - 1) of every t where member i has a hit at
  // (r, t + i) for all i.
  HitSet Phrase(const std::vector<HitSet>& members) const {
    if (!Positional) return And(0, members);
    HitSet out;
    for (const auto& start : members[0]) {
      bool match = true;
      for (uint32_t i = 1; i < members.size() && match; ++i) {
        match = members[i].count({start.first, start.second + i}) != 0;
      }
      for (uint32_t i = 0; match && i < members.size(); ++i) {
        out.insert({start.first, start.second + i});
      }
    }
    return out;
  }
  // The field's hits read in order: a hit starts a span, the next one in the
  // same record ends it (exclusive), else the span runs to the record's end.
  using SpanT = std::pair<std::pair<uint32_t, uint32_t>, uint64_t>;
  static std::vector<SpanT> Spans(const HitSet& field) {
    std::vector<SpanT> spans;
    for (auto it = field.begin(); it != field.end();) {
      auto start = *it++;
      uint64_t end = uint64_t{1} << 32;
      if (it != field.end() && it->first == start.first) end = (it++)->second;
      spans.push_back({start, end});
    }
    return spans;
  }
  // Inside one span of the field, the hits of the sets when at least
  // n - tolerance of the n sets have a hit there.
  static HitSet FieldAnd(uint32_t tolerance, const std::vector<HitSet>& sets,
                         const HitSet& field) {
    const uint32_t n = static_cast<uint32_t>(sets.size());
    const uint32_t required = tolerance >= n ? 1 : n - tolerance;
    HitSet out;
    for (const SpanT& span : Spans(field)) {
      HitSet inside;
      uint32_t holding = 0;
      for (const HitSet& set : sets) {
        bool holds = false;
        for (const auto& hit : set) {
          if (hit.first == span.first.first && hit.second >= span.first.second &&
              hit.second < span.second) {
            inside.insert(hit);
            holds = true;
          }
        }
        holding += holds;
      }
      if (holding >= required) out.insert(inside.begin(), inside.end());
    }
    return out;
  }
  static HitSet Member(const HitSet& content, const HitSet& field) {
    return FieldAnd(0, {content}, field);
  }

  bool Positional;
};

#endif  // TARVIS_TESTS_SUPPORT_HIT_SET_MODEL_H_
