#pragma once

#include <initializer_list>
#include <map>
#include <string>

// The members of a view message's flat JSON object, read as texts: a missing or null member is
// "", a number its decimal text, a boolean "true" or "false". Member names match without regard
// to case. Page data is untrusted: text that does not parse, whose top level is no object, or
// whose named member is an array or an object, is refused as a whole. One thread per object.
class ViewJson {
 public:
  bool read(const std::string& data, std::initializer_list<const char*> names);
  // The member's text after a successful read; "" for a name not read.
  const std::string& operator[](const std::string& name) const;

 private:
  std::map<std::string, std::string> members_;
};
