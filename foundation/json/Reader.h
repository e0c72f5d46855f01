#pragma once

#include <cstddef>
#include <deque>
#include <string>

#include "foundation/json/Features.h"
#include "foundation/json/Value.h"

namespace Json {

// Reads JSON text into a value tree in one pass. Comments are kept on the values they belong to
// (when the features allow them and the caller collects them), and every value read records its
// start and limit offsets in the text.
//
// parse never throws: a syntax error, nesting deeper than 1000 levels and any exception of the
// value model while building the tree all end the parse with false and an entry in errors().
// On failure the root holds what was read up to the error. Text after the root value is ignored.
// A reader is used by one thread at a time; readers on different threads are independent.
class Reader {
 public:
  enum TokenType {
    tokenEndOfStream = 0,
    tokenObjectBegin,
    tokenObjectEnd,
    tokenArrayBegin,
    tokenArrayEnd,
    tokenString,
    tokenNumber,
    tokenTrue,
    tokenFalse,
    tokenNull,
    tokenArraySeparator,
    tokenMemberSeparator,
    tokenComment,
    tokenError,
  };

  // One problem of the last parse. Offsets count from the beginning of the text; extra is a
  // further position the message refers to, or -1.
  struct ErrorInfo {
    TokenType tokenType;
    std::ptrdiff_t tokenStart;
    std::ptrdiff_t tokenEnd;
    std::string message;
    std::ptrdiff_t extra;
  };

  static constexpr int kStackLimit = 1000;

  explicit Reader(const Features& features);

  // Parses a copy of the document kept by the reader until the next parse.
  bool parse(const std::string& document, Value& root, bool collectComments = true);
  // Parses [begin, end) in place; the text must outlive the use of the values' offsets.
  bool parse(const char* begin, const char* end, Value& root, bool collectComments = true);

  // The errors of the last parse, in the order they were found.
  const std::deque<ErrorInfo>& errors() const { return errors_; }

 private:
  struct Token {
    TokenType type = tokenError;
    const char* start = nullptr;
    const char* end = nullptr;
  };

  bool parseRoot(Value& root);
  bool readValue(Value& value);
  bool readObject(const Token& open, Value& object);
  bool readArray(const Token& open, Value& array);
  bool readMemberName(const Token& token, const char*& begin, const char*& end);

  void readToken(Token& token);
  void skipCommentTokens(Token& token);
  void skipSpaces();
  char getNextChar();
  bool match(const char* pattern, std::size_t length);
  bool readString();
  void readNumber();
  bool readComment();
  bool readBlockComment(bool& containsNewLine);
  void readLineComment();
  bool newLineSinceLastValue(const char* position);
  void addComment(const char* begin, const char* end, CommentPlacement placement);
  void markValueEnd(Value& value);

  bool decodeNumber(const Token& token, Value& value);
  bool decodeDouble(const Token& token, Value& value);
  bool decodeString(const Token& token, Value& value);
  bool storeDecoded(const Token& token, Value& decoded, Value& value);
  bool decodeStringText(const Token& token, const char*& begin, const char*& end);
  bool decodeUnicodeEscape(const Token& token, const char*& current, const char* last,
                           unsigned& codePoint);
  bool decodeSurrogatePair(const Token& token, const char*& current, const char* last,
                           unsigned& codePoint);

  bool addError(const std::string& message, const Token& token, const char* extra = nullptr);
  bool recoverFromError(TokenType skipUntil);
  bool addErrorAndRecover(const std::string& message, const Token& token, TokenType skipUntil);

  const Features features_;
  std::deque<ErrorInfo> errors_;
  std::string document_;
  std::string decoded_;  // unescaped text of the string token being decoded
  std::string commentsBefore_;
  const char* begin_ = nullptr;
  const char* end_ = nullptr;
  const char* current_ = nullptr;
  const char* lastValueEnd_ = nullptr;
  Value* lastValue_ = nullptr;
  // Where the search for a line break since the last value goes on, and whether it found one;
  // keeps the placement of many comments after one value linear.
  const char* newLineScanFrom_ = nullptr;
  bool newLineSeen_ = false;
  bool collectComments_ = false;
  int depth_ = 0;
};

}  // namespace Json
