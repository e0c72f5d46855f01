#pragma once

#include <string>

// Whether two file-system trees hold the same: entry names, types, file bytes and link targets
// (links are compared, never followed). Modes, owners and times do not count. Trees deeper than
// 64 levels count as different. Stateless; any thread.
bool contentsEqualAtPath(const std::string& first, const std::string& second);
