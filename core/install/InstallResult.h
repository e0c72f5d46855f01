#pragma once

#include <map>
#include <string>

// The installer library's install-result document ("install_result"): the analytics parameters
// of its "//install_result/ets_params/param" elements, each named by its "name" attribute, valued
// by its text. The first of a repeated name wins; nameless ones are left out. Nothing for a text
// that is not such a document. Stateless; any thread.
std::map<std::string, std::string> readInstallResultParams(const std::string& xml);
