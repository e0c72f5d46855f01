#include "foundation/xml/XMLQuery.h"

#include <libxml/xpath.h>

#include <memory>

#include "foundation/xml/XMLLibrary.h"

namespace XMLQuery {
namespace {

struct ContextFree {
  void operator()(xmlXPathContext* context) const { xmlXPathFreeContext(context); }
};
struct ObjectFree {
  void operator()(xmlXPathObject* object) const { xmlXPathFreeObject(object); }
};

Matches failure(std::string error) {
  Matches matches;
  matches.failed = true;
  matches.error = std::move(error);
  return matches;
}

}  // namespace

Matches evaluate(xmlDoc* document, const std::string& query) {
  std::unique_ptr<xmlXPathContext, ContextFree> context(xmlXPathNewContext(document));
  if (!context) return failure("the query context could not be created");
  context->node = reinterpret_cast<xmlNode*>(document);
  context->error = XMLLibrary::ignoreError;
  std::unique_ptr<xmlXPathObject, ObjectFree> result(
      xmlXPathEvalExpression(XMLLibrary::xml(query), context.get()));
  if (!result) {
    return failure(XMLLibrary::describe(context->lastError, "the query could not be evaluated"));
  }
  if (result->type != XPATH_NODESET) return failure("the query does not select nodes");
  Matches matches;
  if (const xmlNodeSet* set = result->nodesetval) {
    for (int i = 0; i < set->nodeNr; ++i) {
      if (set->nodeTab[i]->type != XML_NAMESPACE_DECL) matches.nodes.push_back(set->nodeTab[i]);
    }
  }
  return matches;
}

}  // namespace XMLQuery
