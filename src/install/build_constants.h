// Build constants of the product, fixed at build time and never changed while the program runs.
#pragma once

// The product version, major * 10000 + minor * 100 + patch: 2025.04.28.
inline constexpr int g_nVersion = 20250428;
// The bitness of the AutoCAD edition this installer serves.
inline constexpr int g_nBitness = 64;
