// wend-install-products: the product installation of the applet host on its own, for the demo.
// Installs what the products document at PRODUCT_SERVICE_URL lists, with a progress line, using
// TEMP_FOLDER as the run's temporary folder. Exit 0 when every product is in place, 1 on an error
// (its code printed), 2 on bad usage.
//   wend-install-products PRODUCT_SERVICE_URL TEMP_FOLDER
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "applets/LoomIMMessageManager.h"
#include "applets/ProductPlacement.h"
#include "core/config/ConfigXml.h"

namespace {

std::mutex mutex;
std::condition_variable ended;
int endType = kAppsPanelProgress;  // guarded by mutex; done or error once ended
int endCode = 0;                   // guarded by mutex

int onProgress(AppsPanelProgress* record) {
  if (record->type != kAppsPanelDone && record->type != kAppsPanelError) {
    std::printf("\r   installing products %5.1f%%", record->progress);
    std::fflush(stdout);
    return 0;
  }
  std::lock_guard lock(mutex);
  endType = record->type;
  endCode = record->errorCode;
  ended.notify_all();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s PRODUCT_SERVICE_URL TEMP_FOLDER\n", argv[0]);
    return 2;
  }
  ConfigStore config;
  config.set("productServiceUrl", argv[1]);
  config.set("sapCode", "KVRQ");
  config.set("locale", "en_US");
  const std::string configXml = ConfigMapToXml(config);
  ProductInstallArgs args;
  args.progressCallback = &onProgress;
  args.configXml = configXml.c_str();
  args.tempLocation = argv[2];
  args.locale = "en_US";
  LoomIMMessageManager manager;
  if (manager.StartWorkflow(&args) != 0) {
    std::fprintf(stderr, "the product installation did not start\n");
    return 1;
  }
  int type = kAppsPanelProgress, code = 0;
  {
    std::unique_lock lock(mutex);
    ended.wait(lock, [] { return endType != kAppsPanelProgress; });
    type = endType;
    code = endCode;
  }
  manager.FinalizeCore();
  std::string products;
  applets::ProductPlacement::productsFolder(products);
  if (type != kAppsPanelDone) {
    std::printf("\n   the product installation failed with error %d\n", code);
    return 1;
  }
  std::printf("\n   installed below %s\n", products.c_str());
  return 0;
}
