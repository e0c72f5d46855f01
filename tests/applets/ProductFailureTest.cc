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
  EXPECT_FALSE(failure(kErrorBadDocument).resumable);
  EXPECT_FALSE(failure(kErrorCancelled).resumable);
}

TEST(ProductFailureTest, AFullDiskNamesItsVolumeInTheErrorParameters) {
  ProductFailure full = diskFullAt("/proc/self");
  EXPECT_EQ(full.driveName, "/proc");
  XMLParser params;
  ASSERT_TRUE(params.initWithXMLString(full.errorParamXml()));
  std::string drive;
  EXPECT_TRUE(params.stringValueForXQuery("//driveName", drive));
  EXPECT_EQ(drive, "/proc");
  EXPECT_EQ(failure(kErrorHttp).errorParamXml(), "");
}

}  // namespace
}  // namespace applets
