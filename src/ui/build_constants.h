// Build constants of this installer, fixed at compile time: the product version and the bitness
// of the AutoCAD edition it serves.
#pragma once

// major * 10000 + minor * 100 + patch: 2025.04.28.
inline constexpr int g_nVersion = 20250428;
// 64: the 64-bit AutoCAD edition. 32 would leave out the releases that have no 32-bit edition.
inline constexpr int g_nBitness = 64;
