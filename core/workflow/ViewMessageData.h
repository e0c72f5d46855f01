#pragma once

#include <map>
#include <string>

// The small key-value record many view messages carry as their data text: a flat object of
// string values ("values") and of values written verbatim ("rawValues"), each kept in byte-wise
// key order. The page reads it back with a JSON parser, so toString escapes what would break
// that; parse is the installer's own simple splitter, meant only for texts the installer wrote
// from values without ",", ":" or double quotes. Not thread-safe; a record is used by one thread.
class ViewMessageData {
 public:
  // True when the key was absent and has been added; the first value of a key stays.
  bool setValue(const std::string& key, const std::string& value);
  bool setRawValue(const std::string& key, const std::string& value);
  // The quoted value of the key, "" when absent.
  std::string getValue(const std::string& key) const;
  // "" when there are no quoted values (whatever the raw ones); otherwise
  // {"k":"v",...,"rawKey":raw...} with keys and quoted values JSON-escaped.
  std::string toString() const;
  // Adds the pairs of "key:value,key:value" text (braces and quotes allowed, they are dropped),
  // a later value of a key replacing an earlier one. Always true.
  bool parse(const std::string& text);

 private:
  static void splitPair(const std::string& piece, std::string& key, std::string& value);
  static std::string unquote(const std::string& text);

  std::map<std::string, std::string> values_;
  std::map<std::string, std::string> rawValues_;
};
