#pragma once

#include <cstddef>
#include <string>

// Inflating gzip data (HTTP replies and downloaded files). Part of StringUtils; include
// foundation/text/StringUtils.h. Stateless, callable from any thread.
namespace StringUtils {

// No reply or download of this product inflates to more; beyond it the data is taken as hostile.
inline constexpr size_t kGunzipMaxOutput = size_t{256} << 20;

// Inflates one gzip member. True only when the stream ends properly; a truncated or damaged
// stream, or one that would inflate past kGunzipMaxOutput, fails and leaves `out` unchanged.
// An empty input gives an empty output.
bool gunzipToString(const std::string& compressed, std::string& out);

}  // namespace StringUtils
