#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrova {

inline constexpr std::size_t kDataKindCount = 54;
/// Index kinds occupy table positions 7..53 (codes "010".."470").
inline constexpr std::size_t kFirstIndexKind = 7;
inline constexpr std::size_t kIndexKindCount = 47;

/// The data-kind table: "000".."006", then "010".."470" in steps of ten.
extern const std::array<std::string_view, kDataKindCount> DataKindCodes;
extern const std::array<std::string_view, kDataKindCount> DataKindNames;

/// Comment kinds in the order of CommentKindFlags: system mark, strong-run mark, key-horse
/// mark, vital jockey, resting farm.
inline constexpr std::array<std::string_view, 5> kCommentKindCodes = {"001", "003", "004", "005",
                                                                      "006"};
/// The comment list holds one prediction (even) and one result (odd) entry per kind.
inline constexpr std::size_t kCommentEntryCount = 10;

/// First of the two record columns of an index kind: 2 * (code / 10) + 7, with code / 10
/// rounded to the nearest whole number; nothing when `code` is not a number.
std::optional<int> indexFirstColumn(std::string_view code);

/// Label of a data kind by its code, "" when unknown.
std::string_view dataKindName(std::string_view code);

/// The visible text of an lst_DataSel entry: label + "（KSTR" + code + "）".
std::string indexEntryText(std::size_t kindIndex);
/// The visible text of lst_YKcom entry `position` (0..9).
std::string commentEntryText(std::size_t position);

}  // namespace kestrova
