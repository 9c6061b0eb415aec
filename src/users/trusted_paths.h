// The merge of the install folder into AutoCAD's "TRUSTEDPATHS" profile variable (pure text work).
// The text is Unicode, read and written with the wide registry functions, so that an entry outside
// the ANSI code page survives; ';' and '\' are ASCII, so splitting UTF-8 at them is safe.
#pragma once
#include <string>
#include <string_view>

// True when one ";"-separated entry of `trustedPaths` names `folder` itself or `folder\...` (the
// folder with its sub-folders), compared without regard to letter case and ignoring one trailing
// backslash on either side. A longer path that merely begins with the folder's text does not count.
bool TrustedPathsContain(std::u8string_view trustedPaths, std::u8string_view folder);

// The new "TRUSTEDPATHS" text for an old one. Two bytes or fewer, counted as the ANSI functions
// would read the value, hold no usable entry and are replaced by `folder` in its own case;
// otherwise the old text is upper-cased and, when the folder is not yet trusted, ";" and the
// upper-cased folder are appended.
std::u8string MergeTrustedPaths(std::u8string_view oldText, std::u8string_view folder);

// "TRUSTEDPATHS" without the entries that name `folder` (as TrustedPathsContain reads an entry);
// every other entry, empty ones included, stays exactly as it is, in its order and its case.
std::u8string RemoveTrustedPath(std::u8string_view trustedPaths, std::u8string_view folder);
