#pragma once

#include <functional>
#include <string>
#include <vector>

// The application menus as a tree of titles, localised before the toolkit builds them. Pure;
// callable from any thread.
namespace mediation {

struct MenuTitle {
  std::string title;
  bool separator = false;
  std::vector<MenuTitle> submenu;  // its title is the item's title
};

// Every item that is not a separator looks up "Menu" + its title; a non-empty text, with each
// "{0}" replaced by the product name, becomes its title. Items without a text keep theirs.
void localizeMenu(std::vector<MenuTitle>& menu,
                  const std::function<std::string(const std::string& key)>& localizedText,
                  const std::string& productName);

}  // namespace mediation
