#pragma once

#include <string>
#include <vector>

#include "applets/AppletHostSettings.h"
#include "applets/PackageDownload.h"
#include "applets/ProductFailure.h"
#include "applets/ProductsDocument.h"
#include "applets/WorkflowControl.h"
#include "core/config/ConfigStore.h"
#include "core/context/AppletRecords.h"
#include "download/engine/DownloadLibrary.h"

// One product installation, run on the applet host's workflow thread: fetches the products
// document for the configuration, then downloads, extracts and places each product in document
// order, reporting through the start record's callback: progress rising from 0 to 100, then type
// 3; or type 4 with the failure's code, after which it waits for the user's answer ("retry" runs
// the failed step again, "cancel" ends with code 205). Once the control is stopped it reports
// nothing more and returns. Every callback runs on the thread that calls run().
namespace applets {

class ProductInstallRun {
 public:
  // All references must outlive the run; the configuration is read, never replaced.
  ProductInstallRun(ProductProgressCallback callback, std::string tempLocation, ConfigStore& config,
                    WorkflowControl& control, gde::DLELibRef* library,
                    const AppletHostSettings& settings);

  void run();

 private:
  // The next step: the document until it is read, then the product `next_`.
  ProductFailure runSteps();
  ProductFailure fetchProducts();
  ProductFailure installProduct(const ProductEntry& product);
  bool freshFolder(const std::string& path) const;
  std::string productsUrl();

  void reportProgress(double percent);
  void reportError(const ProductFailure& failure);
  void report(AppsPanelProgress& record);

  ProductProgressCallback callback_;
  std::string workFolder_;
  ConfigStore& config_;
  WorkflowControl& control_;
  PackageDownload download_;
  bool haveDocument_ = false;
  std::vector<ProductEntry> products_;
  size_t next_ = 0;
  double lastReported_ = -1;
};

}  // namespace applets
