// Shared by the file I/O client and the virtual disc: host paths of
// console paths.
#pragma once

#include <string>

// Resolves a path relative to root ('\' or '/' separators) on the host,
// matching each component without regard to case. With create, a missing
// last component is named as given (its directory must exist). False when
// nothing matches.
bool IopResolvePath(const std::string& root, const std::string& rel, bool create, std::string* out);

// Upper-cases ASCII letters.
std::string IopUpper(std::string s);

// The disc root changed: the virtual disc's sector map is made again.
void IopDiscRootChanged();
