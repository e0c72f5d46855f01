#include <gtest/gtest.h>
#include <libxml/tree.h>

#include <chrono>
#include <string>
#include <vector>

#include "foundation/xml/XMLDocumentLimits.h"
#include "foundation/xml/XMLDocumentReader.h"
#include "tests/support/LoopbackTrap.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/Utf16.h"

namespace {

using XMLDocumentReader::Mode;

constexpr Mode kBothModes[] = {Mode::kStrict, Mode::kLenient};

struct Loaded {
  XMLDocumentReader::Document document;
  std::string error;
};

Loaded parse(const std::string& bytes, Mode mode) {
  Loaded loaded;
  loaded.document = XMLDocumentReader::parse(bytes, mode, loaded.error);
  return loaded;
}

std::string contentOf(xmlDoc* document) {
  xmlChar* content = xmlNodeGetContent(xmlDocGetRootElement(document));
  std::string text = content ? reinterpret_cast<const char*>(content) : "";
  xmlFree(content);
  return text;
}

std::string serialized(xmlDoc* document) {
  xmlChar* bytes = nullptr;
  int size = 0;
  xmlDocDumpMemory(document, &bytes, &size);
  std::string text(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
  xmlFree(bytes);
  return text;
}

TEST(XMLDocumentReaderTest, NothingNamedByTheDocumentIsFetched) {
  wendtest::LoopbackTrap trap;
  ASSERT_NE(trap.port(), 0);
  const std::string documents[] = {
      "<!DOCTYPE a SYSTEM \"" + trap.url("external.dtd") + "\"><a/>",
      "<!DOCTYPE a [<!ENTITY e SYSTEM \"" + trap.url("entity") + "\">]><a>&e;</a>",
      "<!DOCTYPE a [<!ENTITY % p SYSTEM \"" + trap.url("parameter") + "\"> %p;]><a/>",
      "<a xmlns:xi=\"http://www.w3.org/2001/XInclude\"><xi:include href=\"" + trap.url("include") +
          "\"/></a>",
  };
  for (const std::string& text : documents) {
    for (Mode mode : kBothModes) {
      Loaded loaded = parse(text, mode);
      EXPECT_FALSE(trap.wasContacted()) << text;
    }
  }
}

// Entities are neither expanded nor kept, a file's content never enters the document, and what
// is left serializes to a document that reads back strictly.
TEST(XMLDocumentReaderTest, EntitiesLeaveNothingBehindButTheirSurroundings) {
  wendtest::TemporaryFolder folder;
  wendtest::writeFile(folder / "secret", "root-only secret");
  const struct {
    std::string text;
    std::vector<Mode> modes;
    const char* content;
  } cases[] = {
      {"<!DOCTYPE a [<!ENTITY x SYSTEM \"file://" + folder / "secret" +
           "\">]><a>before&x;after<b/></a>",
       {Mode::kStrict, Mode::kLenient},
       "beforeafter"},
      {"<!DOCTYPE a [<!ENTITY e \"expanded\">]><a>x&e;y<b c=\"1&e;2\">&e;</b></a>",
       {Mode::kStrict},
       "xy"},
      {"<a>one&undeclared;two<b/></a>", {Mode::kLenient}, "onetwo"},
  };
  for (const auto& c : cases) {
    for (Mode mode : c.modes) {
      Loaded loaded = parse(c.text, mode);
      ASSERT_TRUE(loaded.document) << loaded.error;
      EXPECT_EQ(contentOf(loaded.document.get()), c.content);
      const std::string text = serialized(loaded.document.get());
      for (const char* left : {"secret", "expanded", "DOCTYPE"}) {
        EXPECT_EQ(text.find(left), std::string::npos) << text;
      }
      EXPECT_TRUE(parse(text, Mode::kStrict).document) << "reads back: " << text;
    }
  }
}

TEST(XMLDocumentReaderTest, EntityExpansionBombsFinishQuicklyWithoutExpanding) {
  std::string laughs = "<!DOCTYPE l [<!ENTITY l0 \"lol\">";
  for (int level = 1; level <= 9; ++level) {
    laughs += "<!ENTITY l" + std::to_string(level) + " \"";
    for (int i = 0; i < 10; ++i) laughs += "&l" + std::to_string(level - 1) + ";";
    laughs += "\">";
  }
  laughs += "]><l>&l9;</l>";
  std::string quadratic = "<!DOCTYPE q [<!ENTITY big \"" + std::string(20000, 'x') + "\">]><q>";
  for (int i = 0; i < 20000; ++i) quadratic += "&big;";
  quadratic += "</q>";

  for (const std::string& bomb : {laughs, quadratic}) {
    for (Mode mode : kBothModes) {
      const auto start = std::chrono::steady_clock::now();
      Loaded loaded = parse(bomb, mode);
      if (loaded.document) {
        EXPECT_EQ(contentOf(loaded.document.get()), "");
      }
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    }
  }
}

TEST(XMLDocumentReaderTest, StrictModeRefusesDeepNestingAndInvalidUTF8) {
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<d>";
  for (const std::string& text : {deep, std::string("<a>caf\xE9 \xFF\xFE</a>")}) {
    Loaded loaded = parse(text, Mode::kStrict);
    EXPECT_FALSE(loaded.document);
    EXPECT_FALSE(loaded.error.empty());
  }
}

TEST(XMLDocumentReaderTest, FiftyMegabytesOfElementsAndOneHugeTextLoadIntact) {
  std::string big = "<items><huge>" + std::string(20u << 20, 't') + "</huge>";
  const std::string item = "<item id=\"1\">" + std::string(1000, 'v') + "</item>";
  while (big.size() < 50u << 20) big += item;
  big += "<last>end</last></items>";
  Loaded loaded = parse(big, Mode::kStrict);
  ASSERT_TRUE(loaded.document) << loaded.error;
  xmlNode* root = xmlDocGetRootElement(loaded.document.get());
  EXPECT_STREQ(reinterpret_cast<const char*>(xmlGetLastChild(root)->name), "last");
  xmlChar* huge = xmlNodeGetContent(xmlFirstElementChild(root));
  EXPECT_EQ(xmlStrlen(huge), 20 << 20);
  xmlFree(huge);
}

// The bound is counted on start tags only, in 8-bit and UTF-16 documents alike.
TEST(XMLDocumentReaderTest, RefusesAnElementWithMoreAttributesThanTheBound) {
  auto element = [](size_t attributes) {
    std::string tag = "<r";
    for (size_t i = 0; i < attributes; ++i) tag += " a" + std::to_string(i) + "='='";
    return tag + "/>";
  };
  const std::string atBound = element(XMLDocumentLimits::kMaxAttributes);
  const std::string pastBound = element(XMLDocumentLimits::kMaxAttributes + 1);
  const std::string hidden = "<!DOCTYPE r [<!-- ' --><!ATTLIST r x CDATA '>'>]><r><!--" +
                             pastBound + "--><![CDATA[" + pastBound + "]]><?p " + pastBound +
                             "?></r>";
  for (Mode mode : kBothModes) {
    for (const std::string& text : {atBound, wendtest::utf16le(atBound), hidden}) {
      EXPECT_TRUE(parse(text, mode).document) << text.substr(0, 40);
    }
    for (const std::string& text :
         {pastBound, wendtest::utf16le(pastBound), "<a>" + pastBound + "</a>",
          "<!DOCTYPE r [<!-- ' -->]>" + pastBound}) {
      Loaded loaded = parse(text, mode);
      EXPECT_FALSE(loaded.document) << text.substr(0, 40);
      EXPECT_FALSE(loaded.error.empty());
    }
  }
}

// libxml2 refused these past its own bound with no word of why (a 10 MB script in a CDATA section
// made the products document vanish). Unclosed ones run to the end.
TEST(XMLDocumentReaderTest, MarkupLongerThanTheBoundIsRefusedWithItsReason) {
  // Each `length` units between its delimiters.
  auto pieces = [](size_t length) {
    const std::string text(length, 'x');
    return std::vector<std::string>{"<!--" + text + "-->", "<![CDATA[" + text + "]]>",
                                    "<?p " + text.substr(2) + "?>",
                                    "<r a='" + text.substr(7) + "'/>"};
  };
  const std::string reason =
      "a comment, CDATA section, processing instruction or tag is longer than the bound";
  Loaded loaded;
  for (const std::string& piece : pieces(XMLDocumentLimits::kMaxMarkupLength)) {
    loaded = parse("<r>" + piece + "</r>", Mode::kStrict);
    EXPECT_TRUE(loaded.document) << loaded.error;
  }
  for (const std::string& piece : pieces(XMLDocumentLimits::kMaxMarkupLength + 1)) {
    for (Mode mode : kBothModes) {
      for (const std::string& text :
           {"<r>" + piece + "</r>", "<r>" + piece.substr(0, 9) + std::string(piece.size(), 'x')}) {
        loaded = parse(text, mode);
        EXPECT_FALSE(loaded.document) << text.substr(0, 12);
        EXPECT_EQ(loaded.error, reason) << text.substr(0, 12);
      }
    }
  }
}

}  // namespace
