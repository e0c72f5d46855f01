#pragma once

#include <string>

#include "applets/ProductFailure.h"
#include "core/config/ConfigStore.h"
#include "platform/UniqueFd.h"

// Puts one downloaded product package in place: extracts it into the run's work folder, writes its
// "productInfo.xml" beside the extracted files, and only then makes the whole folder the product's
// folder, special folder 19 + "Products/<id>" (the console user's), replacing an older copy in one
// step. A failure leaves any older copy as it was and removes what this attempt made there.
// Blocking file work on the caller's thread; the configuration's thread rules apply.
namespace applets {

class ProductPlacement {
 public:
  explicit ProductPlacement(ConfigStore& config) : config_(config) {}

  // `id` must be a valid product id (ProductsDocument.h) and `workFolder` an existing folder of
  // this run that holds nothing else of value. Failures: kErrorExtraction (a bad archive, a file
  // that cannot be written or moved) or kErrorDiskFull.
  ProductFailure install(const std::string& archive, const std::string& workFolder,
                         const std::string& id);

  // Special folder 19 + "/Products", created for the console user when missing; false when it
  // cannot be, or a link stands anywhere below the user's home on the way.
  static bool productsFolder(std::string& path);

 private:
  static platform::UniqueFd openProductsFolder(std::string& path);
  ProductFailure extract(const std::string& archive, const std::string& content);
  ProductFailure place(const std::string& content, const std::string& id);

  ConfigStore& config_;
};

}  // namespace applets
