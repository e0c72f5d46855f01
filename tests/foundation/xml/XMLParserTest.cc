#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "foundation/xml/XMLDocumentLimits.h"
#include "foundation/xml/XMLParser.h"
#include "tests/support/CapturingLogger.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/Utf16.h"

using wendtest::CapturingLogger;
using wendtest::readFile;
using wendtest::TemporaryFolder;
using wendtest::writeFile;

namespace {

using Map = std::map<std::string, std::string>;

constexpr const char* kPackages = R"(<application>
  <packageSets>
    <packageSet id="1" kind="core"><name>Tarn</name><version>2.0</version></packageSet>
    <packageSet id="2" kind="extra"><name>Orvel</name><version>1.5</version></packageSet>
  </packageSets>
  <empty/>
  <mixed>one <b>two</b> three</mixed>
</application>)";

class XMLParserTest : public testing::Test {
 protected:
  CapturingLogger logger;
  XMLParser parser{&logger};

  void load(const std::string& text) { ASSERT_TRUE(parser.initWithXMLString(text)) << text; }

  std::string text() {
    std::string out;
    EXPECT_TRUE(parser.getXMLString(out));
    return out;
  }

  XMLNode node(const std::string& query) {
    XMLNode found = parser.getNodeForXQuery(query);
    EXPECT_NE(found, nullptr) << query;
    return found;
  }

  XMLNode root() {
    XMLNode out = nullptr;
    EXPECT_TRUE(parser.getRootNode(out));
    return out;
  }

  std::string value(XMLParser& from, const std::string& query) {
    std::string out;
    EXPECT_TRUE(from.stringValueForXQuery(query, out)) << query;
    return out;
  }
};

TEST_F(XMLParserTest, EmptyOrMalformedTextFailsToLoadASeedLoadsAndASecondLoadFails) {
  EXPECT_FALSE(parser.initWithXMLString(""));
  EXPECT_FALSE(parser.initWithXMLString("<a><b></a>"));
  std::string attributes = "<r";  // the reader's bounds apply
  for (size_t i = 0; i <= XMLDocumentLimits::kMaxAttributes; ++i)
    attributes += " a" + std::to_string(i) + "=\"1\"";
  EXPECT_FALSE(parser.initWithXMLString(attributes + "/>"));
  EXPECT_FALSE(parser.isInitialized());
  ASSERT_EQ(logger.records().size(), 3u);
  EXPECT_EQ(logger.records()[1].level, pando::kLogDebug);
  EXPECT_TRUE(
      logger.records()[1].message.starts_with("Error in initWithXMLString, error description - "));
  EXPECT_GT(logger.records()[1].message.size(), 48u) << "the parser's reason follows";
  load("<msg/>");
  EXPECT_FALSE(parser.initWithXMLString("<second/>"));
  EXPECT_TRUE(logger.has(pando::kLogWarn,
                         "Error Description : XML is already initialized, tring to initilize "
                         "again."));
  TemporaryFolder folder;
  writeFile(folder / "other.xml", "<third/>");
  EXPECT_FALSE(parser.initWithXMLPath(folder / "other.xml"));
  EXPECT_TRUE(logger.has(pando::kLogWarn,
                         "Error Description : XML is already initialized, trying to initilize "
                         "again."));
  EXPECT_EQ(text(), "<msg/>\n") << "a second load keeps the first document";
}

TEST_F(XMLParserTest, AFileLoadsWithRepairsOrIsRefusedWithItsPathAndReason) {
  TemporaryFolder folder;
  const std::string missing = folder / "missing.xml", prose = folder / "prose.xml";
  EXPECT_FALSE(parser.initWithXMLPath(missing));
  EXPECT_TRUE(logger.has(pando::kLogWarn,
                         "ERROR invalid xml file path. Could not read data from path " + missing));
  EXPECT_TRUE(logger.has(pando::kLogWarn, "Error Description No such file or directory"));
  wendtest::HostileFiles hostile(128LL * 1024 * 1024 + 1);  // refused without waiting
  for (const std::string& path : hostile.all()) {
    EXPECT_FALSE(parser.initWithXMLPath(path)) << path;
    EXPECT_TRUE(logger.has(pando::kLogWarn,
                           "ERROR invalid xml file path. Could not read data from path " + path));
  }
  logger.clear();
  writeFile(prose, "just words");
  EXPECT_FALSE(parser.initWithXMLPath(prose));
  EXPECT_TRUE(logger.has(pando::kLogWarn, "Error in initWithXMLPath " + prose));
  ASSERT_EQ(logger.records().size(), 2u);
  EXPECT_TRUE(logger.records()[1].message.starts_with("Error Description "));
  EXPECT_FALSE(parser.isInitialized());
  writeFile(folder / "config.xml", "<config><server>example</server><open>");
  ASSERT_TRUE(parser.initWithXMLPath(folder / "config.xml"));
  EXPECT_EQ(value(parser, "/config/server"), "example");
}

TEST_F(XMLParserTest, StringValuesOfElementsAndAttributesAndLookupsThatMatchNothingSayWhich) {
  load(kPackages);
  EXPECT_EQ(value(parser, "/application/packageSets/packageSet/name"), "Tarn");
  EXPECT_EQ(value(parser, "//packageSet[@id='2']/version"), "1.5");
  EXPECT_EQ(value(parser, "//packageSet[@kind='extra']/@id"), "2");
  EXPECT_EQ(value(parser, "/application/mixed"), "one two three");
  EXPECT_EQ(value(parser, "/application/empty"), "");
  std::string out = "kept";
  EXPECT_FALSE(parser.stringValueForXQuery("/application/absent", out));
  EXPECT_EQ(out, "kept");
  EXPECT_TRUE(parser.nodeExistsXQuery("//packageSet"));
  EXPECT_FALSE(parser.nodeExistsXQuery("//package"));
  EXPECT_EQ(parser.getNodeForXQuery("//absent"), nullptr);
  for (const char* call :
       {"stringValueForXQuery for query - /application/absent",
        "nodeExistsXQuery for query - //package", "getNodeForXQuery for query - //absent"}) {
    EXPECT_TRUE(logger.has(pando::kLogDebug, std::string("Node count < 0 in ") + call)) << call;
  }
  EXPECT_FALSE(parser.nodeExistsXQuery("count(//packageSet)"));
  EXPECT_FALSE(parser.stringValueForXQuery("string(//name)", out));
  EXPECT_FALSE(parser.nodeExistsXQuery("//namespace::*")) << "namespace nodes never match";
}

TEST_F(XMLParserTest, StringListAppendsAndCountsOnlyWhatItAppended) {
  load(kPackages);
  std::vector<std::string> values{"earlier"};
  int count = -1;
  ASSERT_TRUE(parser.stringValueListForXQuery("//packageSet/name", values, &count));
  EXPECT_EQ(values, (std::vector<std::string>{"earlier", "Tarn", "Orvel"}));
  EXPECT_EQ(count, 2);
  ASSERT_TRUE(parser.stringValueListForXQuery("//nothing", values, &count));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(values.size(), 3u);
  EXPECT_TRUE(parser.stringValueListForXQuery("//packageSet/@id", values, nullptr));
  EXPECT_EQ(values.back(), "2");
  count = 7;
  EXPECT_FALSE(parser.stringValueListForXQuery("//[", values, &count));
  ASSERT_EQ(logger.records().size(), 1u);
  EXPECT_EQ(logger.records()[0].level, pando::kLogWarn);
  EXPECT_TRUE(logger.records()[0].message.starts_with(
      "Node count < 0 in getNodeForXQuery for query - //[. or got error "));
  EXPECT_EQ(count, 7);
}

TEST_F(XMLParserTest, NodeListHoldsMatchesInDocumentOrderRefusesOtherIndexesAndMayBeNull) {
  load(kPackages);
  int count = 0;
  XMLNodeList list = parser.getNodeListForXQuery("//packageSet", &count);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(parser.getAttributeMapFromNode(parser.getNodeAtIndexFromNodeList(list, 0)),
            (Map{{"id", "1"}, {"kind", "core"}}));
  EXPECT_EQ(parser.getAttributeMapFromNode(parser.getNodeAtIndexFromNodeList(list, 1)),
            (Map{{"id", "2"}, {"kind", "extra"}}));
  EXPECT_EQ(parser.getNodeAtIndexFromNodeList(list, 2), nullptr);
  EXPECT_EQ(parser.getNodeAtIndexFromNodeList(list, -1), nullptr);
  EXPECT_EQ(parser.getNodeAtIndexFromNodeList(nullptr, 0), nullptr);
  for (const char* why : {"invalid index - 2 ", "invalid index - -1 ", "OvNodeList is NULL"}) {
    EXPECT_TRUE(
        logger.has(pando::kLogDebug, std::string("Error in getNodeAtIndexFromNodeList, ") + why));
  }
  logger.clear();
  count = 5;
  EXPECT_EQ(parser.getNodeListForXQuery("//absent", &count), nullptr);
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(logger.records().empty()) << "no match is no error";
  count = 5;
  EXPECT_EQ(parser.getNodeListForXQuery("//packageSet[", &count), nullptr);
  EXPECT_EQ(count, 0);
  ASSERT_EQ(logger.records().size(), 1u);
  EXPECT_TRUE(logger.records()[0].message.starts_with(
      "Node Not found in getNodeListForXQuery for query - //packageSet[ - err( "));
  EXPECT_TRUE(logger.records()[0].message.ends_with(" )"));
}

TEST_F(XMLParserTest, EveryLookupWithoutADocumentSaysSo) {
  XMLNode root = nullptr;
  int count = 0;
  std::string out;
  std::vector<std::string> values;
  const std::vector<std::pair<std::function<void()>, std::string>> cases = {
      {[&] { parser.nodeExistsXQuery("/q"); }, "Error in nodeExistsXQuery for query - /q"},
      {[&] { parser.stringValueForXQuery("/q", out); },
       "Error in stringValueForXQuery for query - /q"},
      {[&] { parser.stringValueListForXQuery("/q", values, &count); },
       "Error in stringValueListForXQuery - /q"},
      {[&] { parser.getNodeForXQuery("/q"); }, "Error in getNodeForXQuery for query - /q"},
      {[&] { parser.getNodeListForXQuery("/q", &count); },
       "Error in getNodeListForXQuery for query - /q"},
      {[&] { parser.getNodeAtIndexFromNodeList(nullptr, 0); },
       "Error in getNodeAtIndexFromNodeList"},
      {[&] { parser.getNodeXMLString(nullptr, out); }, "Error in getNodeXMLString"},
      {[&] { parser.getNodeXMLStringOfNode(nullptr, out); },
       "Error invalid access in getNodeXMLStringOfNode"},
      {[&] { parser.getMapFromNode(nullptr); }, "Error in getMapFromNode"},
      {[&] { parser.getAttributeMapFromNode(nullptr); }, "Error in getMapFromNode"},
      {[&] { parser.getMapOfNode(nullptr); }, "Error in getMapOfNode"},
      {[&] { EXPECT_FALSE(parser.getRootNode(root)); }, "Error in getRootNode"},
      {[&] { EXPECT_FALSE(parser.getXMLString(out)); }, "Error in getXMLString"},
  };
  for (const auto& [call, last] : cases) {
    logger.clear();
    call();
    const auto records = logger.records();
    // The root and the whole text log only their own message.
    const bool ownOnly = last == "Error in getRootNode" || last == "Error in getXMLString";
    ASSERT_EQ(records.size(), ownOnly ? 1u : 2u) << last;
    EXPECT_EQ(records.front().message, records.size() == 2 ? "XML Not initialized" : last);
    EXPECT_EQ(records.back().message, last);
    EXPECT_EQ(records.back().level, pando::kLogDebug);
  }
}

TEST_F(XMLParserTest, NodeTextOfTheFirstChildThatIsNotAComment) {
  load("<a><!-- note --><b x=\"1\">t</b><c><!-- only --></c><e/></a>");
  std::string out;
  ASSERT_TRUE(parser.getNodeXMLString(root(), out));
  EXPECT_EQ(out, "<b x=\"1\">t</b>");
  EXPECT_FALSE(parser.getNodeXMLString(node("/a/c"), out));
  EXPECT_TRUE(logger.records().empty());
  EXPECT_FALSE(parser.getNodeXMLString(node("/a/e"), out));
  EXPECT_TRUE(logger.has(pando::kLogDebug, "Error in getNodeXMLString, current node is null"));
  EXPECT_FALSE(parser.getNodeXMLString(nullptr, out));
  EXPECT_TRUE(logger.has(pando::kLogDebug, "Error in getNodeXMLString, node is null"));
  EXPECT_EQ(out, "<b x=\"1\">t</b>");
  ASSERT_TRUE(parser.getNodeXMLStringOfNode(node("/a/b/@x"), out)) << "the node itself";
  EXPECT_EQ(out, "x=\"1\"");
}

TEST_F(XMLParserTest, ChildMapKeepsTheFirstOfRepeatedNamesAndANullNodeGivesNothing) {
  load("<a><k>1</k>text<k>2</k><j>3</j><!-- c --></a>");
  EXPECT_EQ(parser.getMapFromNode(root()), (Map{{"j", "3"}, {"k", "1"}}));
  EXPECT_TRUE(parser.getMapFromNode(nullptr).empty());
  EXPECT_TRUE(parser.getMapOfNode(nullptr).empty());
  EXPECT_TRUE(parser.getAttributeMapFromNode(nullptr).empty());
  EXPECT_EQ(logger.records().size(), 3u);
  EXPECT_TRUE(logger.has(pando::kLogDebug, "getMapFromNode ... node is null"));
  EXPECT_EQ(parser.getMapOfNode(node("/a/j")), (Map{{"j", "3"}}));
  EXPECT_EQ(parser.getMapOfNode(node("/a/text()")), Map{}) << "text and comments name nothing";
  EXPECT_EQ(parser.getMapOfNode(node("/a/comment()")), Map{});
  XMLParser qualified;
  ASSERT_TRUE(qualified.initWithXMLString("<p:a xmlns:p=\"urn:x\" p:attr=\"v\">t</p:a>"));
  XMLNode top = qualified.getNodeForXQuery("/*");
  EXPECT_EQ(qualified.getMapOfNode(top), (Map{{"p:a", "t"}})) << "maps use qualified names";
  EXPECT_EQ(qualified.getAttributeMapFromNode(top), (Map{{"p:attr", "v"}}));
}

TEST_F(XMLParserTest, BuiltDocumentIsPrettyPrinted) {
  load("<config/>");
  XMLNode server = nullptr;
  ASSERT_TRUE(parser.addChildToNode("server", "", root(), server));
  ASSERT_TRUE(parser.addAttributeToNode(server, "port", "443"));
  ASSERT_TRUE(parser.addChildToNode("name", "example", server));
  ASSERT_TRUE(parser.addChildToNode("mode", "fast", root()));
  ASSERT_TRUE(parser.addAttributeToNode(server, "port", "8443")) << "a repeated name replaces";
  EXPECT_EQ(text(),
            "<config>\n  <server port=\"8443\">\n    <name>example</name>\n  </server>\n"
            "  <mode>fast</mode>\n</config>\n");
  XMLNode item = nullptr;
  ASSERT_TRUE(parser.createNodeWithNameAndValue("item", "one", item));
  EXPECT_EQ(text().find("item"), std::string::npos) << "in no tree until it is added";
  ASSERT_TRUE(parser.addChildToNode(item, server));
  EXPECT_TRUE(parser.nodeExistsXQuery("/config/server/item"));
}

TEST_F(XMLParserTest, TextIsStoredLiterallyAndComesBackByteForByte) {
  const std::string data = "a&b<c>d\"e'f\n  g\r\n\th &amp; caf\xC3\xA9 \xF0\x9F\x98\x80 ]]>";
  load("<msg/>");
  ASSERT_TRUE(parser.addChildToNode("data", data, root()));
  ASSERT_TRUE(parser.addAttributeToNode(root(), "note", data));
  const std::string serialized = text();
  XMLParser reader;
  ASSERT_TRUE(reader.initWithXMLString(serialized)) << serialized;
  EXPECT_EQ(value(reader, "/msg/data"), data);
  EXPECT_EQ(value(reader, "/msg/@note"), data);
  EXPECT_EQ(reader.getMapFromNode(reader.getNodeForXQuery("/msg")).size(), 1u)
      << "no markup was injected";
}

TEST_F(XMLParserTest, NamesAndTextsXMLCannotCarryAndMissingNodesAreRefused) {
  load("<msg/>");
  XMLNode created = nullptr;
  EXPECT_FALSE(parser.createNodeWithNameAndValue("a><x/><b", "v", created));
  EXPECT_FALSE(parser.createNodeWithNameAndValue("ok", std::string("bell\x07"), created));
  EXPECT_FALSE(parser.addChildToNode("ok", "\xFF", root()));
  EXPECT_TRUE(
      logger.has(pando::kLogDebug, "createNodeWithNameAndValue fails inside addChildToNode!"));
  EXPECT_FALSE(parser.addAttributeToNode(root(), "a=\"1\" b", "v"));
  EXPECT_FALSE(parser.addAttributeToNode(root(), "ok", std::string("nul\0", 4)));
  EXPECT_EQ(created, nullptr);
  EXPECT_EQ(text(), "<msg/>\n");
  EXPECT_FALSE(parser.addChildToNode("a", "b", nullptr));
  EXPECT_TRUE(logger.has(pando::kLogDebug, "Error in createNodeWithNameAndValue, node is null!"));
  EXPECT_FALSE(parser.addChildToNode(nullptr, nullptr));
  EXPECT_TRUE(logger.has(pando::kLogDebug, "Error in addChildToNode, newNode or node is null!"));
  EXPECT_FALSE(parser.addAttributeToNode(nullptr, "a", "b"));
  EXPECT_TRUE(logger.has(pando::kLogDebug, "Error in addAttributeToNode, node is null!"));
}

TEST_F(XMLParserTest, MovedNodeLeavesItsOldParentAndMovedTextStaysItsOwnNode) {
  load("<a><from><x>1</x><y/></from><to>left</to><c>right</c></a>");
  ASSERT_TRUE(parser.addChildToNode(node("/a/from/x"), node("/a/to")));
  EXPECT_FALSE(parser.nodeExistsXQuery("/a/from/x"));
  XMLNode moved = node("/a/c/text()");
  ASSERT_TRUE(parser.addChildToNode(moved, node("/a/to")));
  std::string out;
  ASSERT_TRUE(parser.getNodeXMLStringOfNode(root(), out));
  EXPECT_EQ(out, "<a><from><y/></from><to>left<x>1</x>right</to><c/></a>");
  ASSERT_TRUE(parser.getNodeXMLStringOfNode(moved, out)) << "the handle is still a live node";
  EXPECT_EQ(out, "right");
}

TEST_F(XMLParserTest, OnlyContentNodesMoveAndOnlyUnderElementsOutsideThemselves) {
  load("<a k=\"v\"><b>t<c/></b><d/></a>");
  EXPECT_FALSE(parser.addChildToNode(node("/a/b"), node("/a/b/c")));
  EXPECT_FALSE(parser.addChildToNode(node("/a/b"), node("/a/b")));
  EXPECT_FALSE(parser.addChildToNode(node("/a/@k"), node("/a/d")));
  EXPECT_FALSE(parser.addChildToNode(node("/a/d"), node("/a/b/text()")));
  EXPECT_FALSE(parser.addChildToNode(node("/a/d"), node("/")));
  EXPECT_FALSE(parser.addChildToNode("n", "v", node("/a/@k")));
  EXPECT_EQ(text(), "<a k=\"v\">\n  <b>t<c/></b>\n  <d/>\n</a>\n");
}

// A node moved out of a loaded document, and an element created by one parser, both belong to
// the tree they are added to. Each order of destruction: AddressSanitizer reports a node freed
// twice or used after its tree.
TEST(XMLParserOwnershipTest, NodesAreFreedOnceWithTheTreeTheyAreAddedToOrElseTheirCreator) {
  XMLParser creator;  // needs no document; LeakSanitizer reports an element it does not free
  XMLNode outer = nullptr, inner = nullptr;
  ASSERT_TRUE(creator.createNodeWithNameAndValue("outer", "", outer));
  ASSERT_TRUE(creator.createNodeWithNameAndValue("inner", "x", inner));
  ASSERT_TRUE(creator.addChildToNode(inner, outer));
  EXPECT_TRUE(creator.addAttributeToNode(outer, "id", "7"));
  EXPECT_TRUE(creator.addChildToNode("sub", "w", outer));
  for (const bool moved : {true, false}) {
    for (const bool sourceDiesFirst : {true, false}) {
      auto source = std::make_unique<XMLParser>();
      auto target = std::make_unique<XMLParser>();
      ASSERT_TRUE(source->initWithXMLString("<s><item id=\"x\" xml:id=\"i1\">payload</item></s>"));
      ASSERT_TRUE(target->initWithXMLString("<t/>"));
      XMLNode node = source->getNodeForXQuery("/s/item");
      if (!moved) {
        ASSERT_TRUE(source->createNodeWithNameAndValue("item", "", node));
        ASSERT_TRUE(source->addAttributeToNode(node, "id", "x"));
        ASSERT_TRUE(source->addChildToNode("inner", "deep", node));
      }
      XMLNode targetRoot = nullptr;
      ASSERT_TRUE(target->getRootNode(targetRoot));
      ASSERT_TRUE(target->addChildToNode(node, targetRoot));
      EXPECT_NE(source->nodeExistsXQuery("//item"), moved);
      if (sourceDiesFirst) source.reset();
      std::string out;
      ASSERT_TRUE(target->stringValueForXQuery("/t/item/@id", out));
      EXPECT_EQ(out, "x");
      target.reset();
      source.reset();
    }
  }
}

TEST_F(XMLParserTest, WriteNeedsAPathAndADocumentAndReplacesTheFile) {
  TemporaryFolder folder;
  const std::string path = folder / "out.xml";
  writeFile(path, "previous content that is longer than the new one");
  EXPECT_FALSE(parser.writeXMLToPath(path));
  load("<a/>");
  EXPECT_FALSE(parser.writeXMLToPath(""));
  EXPECT_FALSE(parser.writeXMLToPath(folder / "no/such/folder/a.xml"));
  EXPECT_TRUE(logger.records().empty());
  ASSERT_TRUE(parser.addChildToNode("b", "caf\xC3\xA9", root()));
  ASSERT_TRUE(parser.writeXMLToPath(path));
  EXPECT_EQ(readFile(path), "<a>\n  <b>caf\xC3\xA9</b>\n</a>\n");
}

// Documents declared in another encoding came back from getXMLString in that encoding.
TEST(XMLParserEncodingTest, TextAndFileAreUTF8WhateverTheDocumentDeclared) {
  const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>caf\xE9</a>";
  const std::string utf16 =
      wendtest::utf16le("<?xml version=\"1.0\" encoding=\"UTF-16\"?><a>caf\xE9</a>");
  const std::string expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>caf\xC3\xA9</a>\n";
  TemporaryFolder folder;
  for (const std::string& document : {latin1, utf16}) {
    XMLParser parser;
    ASSERT_TRUE(parser.initWithXMLString(document));
    std::string text;
    ASSERT_TRUE(parser.getXMLString(text));
    EXPECT_EQ(text, expected);
    ASSERT_TRUE(parser.writeXMLToPath(folder / "out.xml"));
    EXPECT_EQ(readFile(folder / "out.xml"), expected);
  }
}

}  // namespace
