// Loads arbitrary bytes as an XML text (strict) or file (lenient), then runs the system's kinds of
// queries over the result, reads nodes and maps, moves nodes inside the document and into a second
// one, and serialises. A document loaded from text must read back from its own serialisation.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/xml/XMLParser.h"

namespace {

const char* const kQueries[] = {
    "/",
    "/*",
    "//*",
    "//@*",
    "//text()",
    "//comment()",
    "//processing-instruction()",
    "/*/node()",
    "/msg/data",
    "/application/packageSets/packageSet",
    "//asset/asset_path",
    "//validationInfo/segments/segment",
    "//packageSet[@id='1']/name",
    "//segment/@md5",
    "//*[@id]",
    "//namespace::*",
    "count(//*)",
    "//*[",
};

// A memory-backed regular file, so the file path is exercised without touching the disk.
class MemoryFile {
 public:
  MemoryFile() : fd_(memfd_create("fuzz_xml", MFD_CLOEXEC)) {}
  std::string write(const uint8_t* data, size_t size) {
    if (fd_ < 0 || ftruncate(fd_, 0) != 0 ||
        pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size)) {
      abort();
    }
    return "/proc/self/fd/" + std::to_string(fd_);
  }

 private:
  int fd_;
};

void readEverything(XMLParser& parser) {
  std::string text;
  std::vector<std::string> values;
  int count = 0;
  for (const char* query : kQueries) {
    parser.nodeExistsXQuery(query);
    parser.stringValueForXQuery(query, text);
    parser.stringValueListForXQuery(query, values, &count);
    XMLNodeList list = parser.getNodeListForXQuery(query, &count);
    for (int i = 0; i <= count; ++i) {
      XMLNode node = parser.getNodeAtIndexFromNodeList(list, i);
      parser.getNodeXMLString(node, text);
      parser.getNodeXMLStringOfNode(node, text);
      parser.getMapFromNode(node);
      parser.getMapOfNode(node);
      parser.getAttributeMapFromNode(node);
    }
  }
}

// Moves nodes picked by the input's bytes within the document and into a second parser's
// document, whose root then moves back; whatever stays behind is freed with the second parser.
void moveThings(XMLParser& parser, const uint8_t* data, size_t size) {
  int count = 0;
  XMLNodeList all = parser.getNodeListForXQuery("//node()", &count);
  if (count == 0 || size < 2) return;
  XMLNode root = nullptr;
  parser.getRootNode(root);
  XMLParser other;
  other.initWithXMLString("<other/>");
  XMLNode otherRoot = nullptr;
  other.getRootNode(otherRoot);
  for (size_t i = 0; i + 1 < size && i < 16; i += 2) {
    XMLNode node = parser.getNodeAtIndexFromNodeList(all, data[i] % count);
    XMLNode parent = parser.getNodeAtIndexFromNodeList(all, data[i + 1] % count);
    if (data[i] & 0x80) parent = otherRoot;
    parser.addChildToNode(node, parent);
    parser.addAttributeToNode(parent, "moved", "a&b<\"c\">");
    parser.addChildToNode("added", "x", node);
  }
  std::string text;
  other.getXMLString(text);
  parser.addChildToNode(otherRoot, root);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MemoryFile file;
  if (size == 0) return 0;
  const bool asFile = data[0] & 1;
  XMLParser parser;
  const bool loaded = asFile ? parser.initWithXMLPath(file.write(data + 1, size - 1))
                             : parser.initWithXMLString(
                                   std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  if (!loaded) return 0;
  readEverything(parser);
  std::string text;
  if (!asFile && parser.getXMLString(text)) {
    XMLParser reread;
    if (!reread.initWithXMLString(text)) abort();
  }
  moveThings(parser, data, size);
  parser.getXMLString(text);
  return 0;
}
