#pragma once

#include <cstddef>
#include <string>

// Inflating gzip data (HTTP replies and downloaded files). Part of StringUtils; include
// foundation/text/StringUtils.h. Stateless, callable from any thread.
namespace StringUtils {

// No reply or download of this product inflates to more; beyond it the data is taken as hostile.
inline constexpr size_t kGunzipMaxOutput = size_t{256} << 20;

enum class GunzipResult { kInflated, kDamaged, kTooLarge };

// Inflates gzip data of one or more members, one after the other, into one text. kInflated only
// when the last member ends properly at the end of the input; a truncated or damaged member or
// bytes after the last member give kDamaged, output past `maxOutput` (itself at most
// kGunzipMaxOutput) kTooLarge as soon as inflation passes it. On failure `out` is unchanged. An
// empty input gives an empty output.
GunzipResult gunzipBounded(const std::string& compressed, size_t maxOutput, std::string& out);

// gunzipBounded up to kGunzipMaxOutput; true when inflated.
bool gunzipToString(const std::string& compressed, std::string& out);

}  // namespace StringUtils
