// The AutoCAD release years the installer serves; every per-release collection is indexed year - kFirstYear.
#pragma once
#include <cstddef>

inline constexpr int kFirstYear = 2007;
inline constexpr int kLastYear = 2026;
inline constexpr int kYearCount = kLastYear - kFirstYear + 1;
static_assert(kYearCount == 20, "the dialog has one check box per release, 20 in all");

// Index of a release year in the per-release collections; the year must be in range.
constexpr std::size_t YearIndex(int year) { return static_cast<std::size_t>(year - kFirstYear); }
constexpr bool IsServedYear(int year) { return year >= kFirstYear && year <= kLastYear; }
