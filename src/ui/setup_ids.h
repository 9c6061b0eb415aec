// The setup dialog's ids, colours and texts as the C++ code uses them (ids from ui/res/resource.h).
#pragma once
#include <array>
#include <string_view>

#include "discovery/release_years.h"
#include "ui/dialog_view.h"
#include "ui/res/resource.h"

namespace setup {

// Release check boxes in year order, 2007 first: index = year - kFirstYear.
inline constexpr std::array<int, kYearCount> kReleaseBoxIds = {
    IDC_CHECK2007, IDC_CHECK2008, IDC_CHECK2009, IDC_CHECK2010, IDC_CHECK2011, IDC_CHECK2012, IDC_CHECK2013,
    IDC_CHECK2014, IDC_CHECK2015, IDC_CHECK2016, IDC_CHECK2017, IDC_CHECK2018, IDC_CHECK2019, IDC_CHECK2020,
    IDC_CHECK2021, IDC_CHECK2022, IDC_CHECK2023, IDC_CHECK2024, IDC_CHECK2025, IDC_CHECK2026,
};

constexpr int ReleaseBoxId(int year) { return kReleaseBoxIds[YearIndex(year)]; }

// A 32-bit AutoCAD edition is served up to 2016; later releases exist only in 64 bits.
inline constexpr int kLastYearFor32Bit = 2016;

// Colours.
inline constexpr ui::ColorRef kBackgroundColor = ui::Rgb(170, 210, 150);
inline constexpr ui::ColorRef kTextColor = ui::Rgb(0, 0, 0);
inline constexpr ui::ColorRef kHeadingColor = ui::Rgb(10, 70, 40);

// Heading fonts: the title (1013) and the bitness note (1024).
inline constexpr std::u8string_view kHeadingFace = u8"宋体";
inline constexpr int kTitleFontHeight = 14;
inline constexpr int kTitleFontWeight = 600;
inline constexpr int kBitnessFontHeight = 13;
inline constexpr int kBitnessFontWeight = 400;

// Texts.
inline constexpr std::u8string_view kTitlePrefix = u8"批打印软件 V";
inline constexpr std::u8string_view kBitnessFormat = u8"( %d位 AutoCAD版 )";

// The folder offered at start (ANSI; plain ASCII).
inline constexpr std::string_view kDefaultPath = "C:\\Vornex";

}  // namespace setup
