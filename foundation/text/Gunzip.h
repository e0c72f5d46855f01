#pragma once

#include <cstddef>
#include <string>

// Inflating gzip data (HTTP replies and downloaded files). Part of StringUtils; include
// foundation/text/StringUtils.h. Stateless, callable from any thread.
namespace StringUtils {

// No reply or download of this product inflates to more; beyond it the data is taken as hostile.
inline constexpr size_t kGunzipMaxOutput = size_t{256} << 20;

// Inflates gzip data of one or more members, one after the other, into one text. True only when
// the last member ends properly at the end of the input; a truncated or damaged member, bytes
// after the last member, or output past kGunzipMaxOutput fail and leave `out` unchanged. An empty
// input gives an empty output.
bool gunzipToString(const std::string& compressed, std::string& out);

}  // namespace StringUtils
