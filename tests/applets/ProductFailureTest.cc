#include <gtest/gtest.h>

#include "applets/ProductFailure.h"
#include "foundation/xml/XMLParser.h"

namespace applets {
namespace {

TEST(ProductFailureTest, MapsEngineErrorsToTheAlertsCodes) {
  const std::pair<int32_t, int> cases[] = {
      {gde::kDleErrorNotFound, kErrorHttp},
      {gde::kDleErrorHttp, kErrorHttp},
      {gde::kDleErrorFileChanged, kErrorHttp},
      {gde::kDleErrorConnection, kErrorNetworkUnavailable},
      {gde::kDleErrorServerUnreachable, kErrorNetworkUnavailable},
      {gde::kDleErrorProxyAuthRequired, kErrorProxyAuthentication},
      {gde::kDleErrorDiskFull, kErrorDiskFull},
  };
  for (auto [type, code] : cases) {
    SCOPED_TRACE(type);
    gde::DLEErrorInfo error;
    error.errorType = type;
    ProductFailure mapped = downloadFailure(error, "/tmp");
    EXPECT_EQ(mapped.code, code);
    EXPECT_TRUE(mapped.resumable);
  }
}

TEST(ProductFailureTest, AFullDiskNamesItsVolumeInTheErrorParameters) {
  XMLParser params;
  ASSERT_TRUE(params.initWithXMLString(diskFullAt("/proc/self").errorParamXml()));
  std::string drive;
  EXPECT_TRUE(params.stringValueForXQuery("//driveName", drive));
  EXPECT_EQ(drive, "/proc");
  EXPECT_EQ(failure(kErrorHttp).errorParamXml(), "");
}

}  // namespace
}  // namespace applets
