// The program folder taken from the configurator's module path: the path cut
// after its last backslash or forward slash. Portable text code, so that the
// host tests check it; called on the GUI thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Longest module path that discovery supports; a longer one fails discovery.
inline constexpr size_t MaxModulePathLength = 254;

// The path up to and including its last separator, or the empty string when it
// holds none. A leading double quote is skipped and the scan stops at the first
// "|" (neither occurs in a module path, but a copied command line may hold them).
std::wstring FolderOfPath(std::wstring_view path);
