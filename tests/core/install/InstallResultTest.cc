#include <gtest/gtest.h>

#include "core/install/InstallResult.h"

TEST(InstallResultTest, ParametersByNameFromTheEtsBlockOnly) {
  using Params = std::map<std::string, std::string>;
  const std::pair<std::string, Params> cases[] = {
      {"<install_result><ets_params><param name=\"a\">1</param><param name=\"b\"/>"
       "<param name=\"a\">2</param><param>x</param><param name=\"\">y</param></ets_params>"
       "<param name=\"outside\">z</param></install_result>",
       {{"a", "1"}, {"b", ""}}},
      {"<other><ets_params><param name=\"a\">1</param></ets_params></other>", {}},
      {"not xml", {}},
      {"", {}},
  };
  for (const auto& [xml, params] : cases) EXPECT_EQ(readInstallResultParams(xml), params) << xml;
}
