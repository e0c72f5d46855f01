#include "mediation/ui/MenuTitles.h"

namespace mediation {

void localizeMenu(std::vector<MenuTitle>& menu,
                  const std::function<std::string(const std::string& key)>& localizedText,
                  const std::string& productName) {
  for (MenuTitle& item : menu) {
    if (item.separator) continue;
    std::string text = localizedText("Menu" + item.title);
    for (size_t at = text.find("{0}"); at != std::string::npos;
         at = text.find("{0}", at + productName.size())) {
      text.replace(at, 3, productName);
    }
    if (!text.empty()) item.title = text;
    localizeMenu(item.submenu, localizedText, productName);
  }
}

}  // namespace mediation
