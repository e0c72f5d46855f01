#include "applets/ProductInstallRun.h"

#include <sys/stat.h>

#include "applets/ProductPlacement.h"
#include "core/config/ConfigValues.h"
#include "core/config/ServiceUrls.h"
#include "foundation/files/FileUtils.h"
#include "foundation/files/TreeRemoval.h"
#include "foundation/logging/LogCallback.h"

namespace applets {
namespace {

constexpr char kComponent[] = "LoomIMMessageManager";
constexpr char kDocumentName[] = "products.xml";
constexpr char kPackageName[] = "package.zip";
// Share of a product's progress that its download takes; extraction and placement the rest.
constexpr double kDownloadShare = 0.8;

}  // namespace

ProductInstallRun::ProductInstallRun(ProductProgressCallback callback, std::string tempLocation,
                                     ConfigStore& config, WorkflowControl& control,
                                     gde::DLELibRef* library, const AppletHostSettings& settings)
    : callback_(callback),
      workFolder_(std::move(tempLocation) + "/LoomIM"),
      config_(config),
      control_(control),
      download_(library, settings.download, settings.pollInterval, control) {}

void ProductInstallRun::run() {
  reportProgress(0);
  for (;;) {
    ProductFailure result = runSteps();
    if (control_.stopRequested()) break;
    if (!result.failed()) {
      reportProgress(100);
      AppsPanelProgress done;
      done.progress = 100;
      done.type = kAppsPanelDone;
      report(done);
      break;
    }
    if (result.code == kErrorCancelled) {
      reportError(result);
      break;
    }
    control_.expectAnswer();
    reportError(result);
    WorkflowControl::Answer answer = control_.awaitAnswer();
    if (answer == WorkflowControl::Answer::kCancel) reportError(failure(kErrorCancelled));
    if (answer != WorkflowControl::Answer::kRetry) break;
    LogCallback(pando::kLogInfo, kBootstrapperModule, kComponent, "", "",
                "Retrying the product installation");
  }
  int error = 0;
  files::removeItem(workFolder_, error);
}

ProductFailure ProductInstallRun::runSteps() {
  if (!haveDocument_) {
    ProductFailure result = fetchProducts();
    if (result.failed()) return result;
    haveDocument_ = true;
  }
  for (; next_ < products_.size(); ++next_) {
    ProductFailure result = installProduct(products_[next_]);
    if (result.failed()) return result;
  }
  return {};
}

std::string ProductInstallRun::productsUrl() {
  return GetProductServiceUrl(config_) +
         "&_type=xml&productType=Desktop&payload=true&sapCode=" + GetSapCode(config_);
}

bool ProductInstallRun::freshFolder(const std::string& path) const {
  int error = 0;
  files::removeItem(path, error);
  return mkdir(path.c_str(), 0700) == 0;
}

ProductFailure ProductInstallRun::fetchProducts() {
  if (!freshFolder(workFolder_)) return failure(kErrorExtraction);
  DownloadRequest request;
  request.url = productsUrl();
  request.folder = workFolder_;
  request.fileName = kDocumentName;
  request.headers = {{"x-orvel-app-id", "SkyloomInstaller"}, {"Accept", "application/xml"}};
  request.singleStream = true;
  ProductFailure result = download_.fetch(request, [](double) {});
  if (result.failed()) return result;
  const std::string path = workFolder_ + "/" + kDocumentName;
  int64_t size = 0;
  std::string xml;
  std::vector<ProductEntry> products;
  if (!FileUtils::getFileSize(path, size) || size > int64_t{kMaxProductsDocumentBytes} ||
      !FileUtils::readFileContents(path, xml) || !readProductsDocument(xml, products)) {
    LogCallback(pando::kLogError, kBootstrapperModule, kComponent, "", "",
                "The products document is not usable");
    return failure(kErrorBadDocument);
  }
  LogCallback(pando::kLogInfo, kBootstrapperModule, kComponent, "", "", "Products to install: %zu",
              products.size());
  products_ = std::move(products);
  next_ = 0;
  return {};
}

ProductFailure ProductInstallRun::installProduct(const ProductEntry& product) {
  const std::string folder = workFolder_ + "/" + product.id;
  if (!freshFolder(folder)) return failure(kErrorExtraction);
  const double count = static_cast<double>(products_.size());
  const double base = static_cast<double>(next_);
  DownloadRequest request;
  request.url = product.packageUrl;
  request.folder = folder;
  request.fileName = kPackageName;
  ProductFailure result = download_.fetch(request, [&](double fraction) {
    reportProgress((base + kDownloadShare * fraction) / count * 100);
  });
  if (!result.failed() && control_.interrupted()) result = failure(kErrorCancelled);
  if (!result.failed()) {
    result = ProductPlacement(config_).install(folder + "/" + kPackageName, folder, product.id);
  }
  int error = 0;
  files::removeItem(folder, error);
  if (!result.failed()) reportProgress((base + 1) / count * 100);
  return result;
}

void ProductInstallRun::reportProgress(double percent) {
  // Whole steps are enough for the panel and keep the callback from being flooded.
  if (percent < lastReported_ + 1 && !(percent >= 100 && lastReported_ < 100)) return;
  lastReported_ = percent;
  AppsPanelProgress record;
  record.progress = static_cast<float>(percent);
  record.type = kAppsPanelProgress;
  report(record);
}

void ProductInstallRun::reportError(const ProductFailure& failure) {
  LogCallback(pando::kLogWarn, kBootstrapperModule, kComponent, "", "",
              "Product installation failed with error %d", failure.code);
  const std::string params = failure.errorParamXml();
  AppsPanelProgress record;
  record.progress = static_cast<float>(lastReported_ < 0 ? 0 : lastReported_);
  record.type = kAppsPanelError;
  record.errorCode = failure.code;
  record.isErrorResumable = failure.resumable;
  record.errorParamXML = params.empty() ? nullptr : params.c_str();
  report(record);
}

void ProductInstallRun::report(AppsPanelProgress& record) {
  if (control_.stopRequested()) return;
  callback_(&record);
}

}  // namespace applets
