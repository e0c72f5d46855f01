#include "foundation/json/Reader.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <locale>
#include <sstream>

#include "foundation/text/Utf8Encode.h"

namespace Json {
namespace {

bool isDigit(char byte) {
  return byte >= '0' && byte <= '9';
}

bool containsNewLine(const char* begin, const char* end) {
  return std::any_of(begin, end, [](char byte) { return byte == '\n' || byte == '\r'; });
}

const char* findByte(const char* begin, const char* end, char byte) {
  if (begin == end) return nullptr;
  return static_cast<const char*>(std::memchr(begin, byte, static_cast<std::size_t>(end - begin)));
}

// Four hexadecimal digits of either case.
bool decodeHex4(const char* digits, unsigned& value) {
  value = 0;
  for (int i = 0; i < 4; ++i) {
    const char byte = digits[i];
    unsigned digit;
    if (isDigit(byte)) {
      digit = static_cast<unsigned>(byte - '0');
    } else if (byte >= 'a' && byte <= 'f') {
      digit = static_cast<unsigned>(byte - 'a' + 10);
    } else if (byte >= 'A' && byte <= 'F') {
      digit = static_cast<unsigned>(byte - 'A' + 10);
    } else {
      return false;
    }
    value = value * 16 + digit;
  }
  return true;
}

// CR LF pairs and lone CRs become one LF each.
std::string normalizeLineEnds(const char* begin, const char* end) {
  std::string text;
  text.reserve(static_cast<std::size_t>(end - begin));
  for (const char* p = begin; p != end; ++p) {
    if (*p != '\r') {
      text += *p;
      continue;
    }
    text += '\n';
    if (p + 1 != end && p[1] == '\n') ++p;
  }
  return text;
}

// The slow, exact path for the few texts from_chars declines: stream extraction in the classic
// locale, which reads an underflowing real as zero and refuses one that overflows.
bool readRealFromStream(const char* begin, const char* end, double& value) {
  std::istringstream stream(std::string(begin, end));
  stream.imbue(std::locale::classic());
  stream >> value;
  return !stream.fail();
}

class DepthGuard {
 public:
  explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
  ~DepthGuard() { --depth_; }

 private:
  int& depth_;
};

}  // namespace

Reader::Reader(const Features& features) : features_(features) {}

bool Reader::parse(const std::string& document, Value& root, bool collectComments) {
  document_.assign(document);
  return parse(document_.data(), document_.data() + document_.size(), root, collectComments);
}

bool Reader::parse(const char* begin, const char* end, Value& root, bool collectComments) {
  collectComments_ = collectComments && features_.allowComments;
  begin_ = begin;
  end_ = end;
  current_ = begin;
  lastValueEnd_ = nullptr;
  lastValue_ = nullptr;
  newLineScanFrom_ = nullptr;
  newLineSeen_ = false;
  commentsBefore_.clear();
  errors_.clear();
  depth_ = 0;
  try {
    return parseRoot(root);
  } catch (const std::exception& exception) {
    // The value model's exceptions and exhausted memory end this parse, not the caller.
    addError(exception.what(), Token{tokenError, current_, current_});
    return false;
  }
}

bool Reader::parseRoot(Value& root) {
  const bool successful = readValue(root);
  // One more token, so that comments after the root are collected; the rest is ignored.
  Token token;
  skipCommentTokens(token);
  if (collectComments_ && !commentsBefore_.empty()) root.setComment(commentsBefore_, commentAfter);
  if (features_.strictRoot && !root.isArray() && !root.isObject()) {
    return addError("A valid JSON document must be either an array or an object value.",
                    Token{tokenError, begin_, end_});
  }
  return successful;
}

bool Reader::readValue(Value& value) {
  if (depth_ >= kStackLimit) {
    return addError("Exceeded stackLimit in readValue().", Token{tokenError, current_, current_});
  }
  const DepthGuard guard(depth_);
  Token token;
  skipCommentTokens(token);
  if (collectComments_ && !commentsBefore_.empty()) {
    value.setComment(commentsBefore_, commentBefore);
    commentsBefore_.clear();
  }
  bool successful = true;
  switch (token.type) {
    case tokenObjectBegin:
      successful = readObject(token, value);
      value.setOffsetLimit(current_ - begin_);
      break;
    case tokenArrayBegin:
      successful = readArray(token, value);
      value.setOffsetLimit(current_ - begin_);
      break;
    case tokenNumber:
      successful = decodeNumber(token, value);
      break;
    case tokenString:
      successful = decodeString(token, value);
      break;
    case tokenTrue:
    case tokenFalse:
    case tokenNull: {
      Value keyword = token.type == tokenNull ? Value() : Value(token.type == tokenTrue);
      storeDecoded(token, keyword, value);
      break;
    }
    case tokenArraySeparator:
    case tokenObjectEnd:
    case tokenArrayEnd:
      if (features_.allowDroppedNullPlaceholders) {
        --current_;  // the separator or bracket belongs to the container
        Value null;
        value.swapPayload(null);
        value.setOffsetStart(current_ - begin_ - 1);
        value.setOffsetLimit(current_ - begin_);
        break;
      }
      [[fallthrough]];
    case tokenEndOfStream:
    case tokenMemberSeparator:
    case tokenComment:
    case tokenError:
      value.setOffsetStart(token.start - begin_);
      value.setOffsetLimit(token.end - begin_);
      return addError("Syntax error: value, object or array expected.", token);
  }
  if (collectComments_) markValueEnd(value);
  return successful;
}

bool Reader::readObject(const Token& open, Value& object) {
  Value empty(objectValue);
  object.swapPayload(empty);
  object.setOffsetStart(open.start - begin_);
  bool first = true;
  for (;;) {
    Token name;
    skipCommentTokens(name);
    // "}" closes the object only in place of the first member: a comma always needs a member.
    if (first && name.type == tokenObjectEnd) return true;
    first = false;
    const char* nameBegin = nullptr;
    const char* nameEnd = nullptr;
    if (name.type != tokenString && !(name.type == tokenNumber && features_.allowNumericKeys)) {
      return addErrorAndRecover("Missing '}' or object member name", name, tokenObjectEnd);
    }
    if (!readMemberName(name, nameBegin, nameEnd)) return recoverFromError(tokenObjectEnd);
    Token colon;
    readToken(colon);
    if (colon.type != tokenMemberSeparator) {
      return addErrorAndRecover("Missing ':' after object member name", colon, tokenObjectEnd);
    }
    // A name repeated in any letter case fills the same member again: first case, last value.
    if (!readValue(object.resolveReference(nameBegin, nameEnd))) {
      return recoverFromError(tokenObjectEnd);
    }
    Token separator;
    skipCommentTokens(separator);
    if (separator.type == tokenObjectEnd) return true;
    if (separator.type != tokenArraySeparator) {
      return addErrorAndRecover("Missing ',' or '}' in object declaration", separator,
                                tokenObjectEnd);
    }
  }
}

bool Reader::readMemberName(const Token& token, const char*& begin, const char*& end) {
  if (token.type == tokenString) return decodeStringText(token, begin, end);
  Value number;
  if (!decodeNumber(token, number)) return false;
  decoded_ = number.asString();
  begin = decoded_.data();
  end = begin + decoded_.size();
  return true;
}

bool Reader::readArray(const Token& open, Value& array) {
  Value empty(arrayValue);
  array.swapPayload(empty);
  array.setOffsetStart(open.start - begin_);
  skipSpaces();
  if (current_ != end_ && *current_ == ']') {
    Token close;
    readToken(close);
    return true;
  }
  // The array is new and its indexes rise, so every element goes to the end of its map.
  Value::ObjectValues& elements = *array.value_.map_;
  for (ArrayIndex index = 0;; ++index) {
    Value& element = elements.emplace_hint(elements.end(), Value::CZString(index), Value())->second;
    if (!readValue(element)) return recoverFromError(tokenArrayEnd);
    Token separator;
    skipCommentTokens(separator);
    if (separator.type == tokenArrayEnd) return true;
    if (separator.type != tokenArraySeparator) {
      return addErrorAndRecover("Missing ',' or ']' in array declaration", separator,
                                tokenArrayEnd);
    }
  }
}

// ---- tokens ----

void Reader::skipCommentTokens(Token& token) {
  do {
    readToken(token);
  } while (features_.allowComments && token.type == tokenComment);
}

void Reader::skipSpaces() {
  while (current_ != end_ &&
         (*current_ == ' ' || *current_ == '\t' || *current_ == '\r' || *current_ == '\n')) {
    ++current_;
  }
}

char Reader::getNextChar() {
  return current_ == end_ ? '\0' : *current_++;
}

bool Reader::match(const char* pattern, std::size_t length) {
  if (static_cast<std::size_t>(end_ - current_) < length) return false;
  if (std::memcmp(current_, pattern, length) != 0) return false;
  current_ += length;
  return true;
}

void Reader::readToken(Token& token) {
  skipSpaces();
  token.start = current_;
  bool ok = true;
  switch (getNextChar()) {
    case '{':
      token.type = tokenObjectBegin;
      break;
    case '}':
      token.type = tokenObjectEnd;
      break;
    case '[':
      token.type = tokenArrayBegin;
      break;
    case ']':
      token.type = tokenArrayEnd;
      break;
    case ',':
      token.type = tokenArraySeparator;
      break;
    case ':':
      token.type = tokenMemberSeparator;
      break;
    case '"':
      token.type = tokenString;
      ok = readString();
      break;
    case '/':
      token.type = tokenComment;
      ok = readComment();
      break;
    case '-':
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9':
      token.type = tokenNumber;
      readNumber();
      break;
    case 't':
      token.type = tokenTrue;
      ok = match("rue", 3);
      break;
    case 'f':
      token.type = tokenFalse;
      ok = match("alse", 4);
      break;
    case 'n':
      token.type = tokenNull;
      ok = match("ull", 3);
      break;
    case '\0':
      token.type = tokenEndOfStream;
      break;
    default:
      ok = false;
      break;
  }
  if (!ok) token.type = tokenError;
  token.end = current_;
}

// Up to the next double quote that no backslash takes; a backslash always takes the next byte.
bool Reader::readString() {
  const char* position = current_;
  const char* quote = nullptr;
  for (;;) {
    if (quote == nullptr || quote < position) {
      quote = findByte(position, end_, '"');
      if (quote == nullptr) break;
    }
    const char* backslash = findByte(position, quote, '\\');
    if (backslash == nullptr) {
      current_ = quote + 1;
      return true;
    }
    position = backslash + 2;
  }
  current_ = end_;
  return false;
}

// Digits, then "." and digits, then an exponent; what this takes is checked when decoded.
void Reader::readNumber() {
  const auto skipDigits = [this] {
    while (current_ != end_ && isDigit(*current_)) ++current_;
  };
  skipDigits();
  if (current_ != end_ && *current_ == '.') {
    ++current_;
    skipDigits();
  }
  if (current_ != end_ && (*current_ == 'e' || *current_ == 'E')) {
    ++current_;
    if (current_ != end_ && (*current_ == '+' || *current_ == '-')) ++current_;
    skipDigits();
  }
}

// ---- comments ----

bool Reader::readComment() {
  const char* commentBegin = current_ - 1;
  const char kind = getNextChar();
  bool blockWithNewLine = false;
  if (kind == '*') {
    if (!readBlockComment(blockWithNewLine)) return false;
  } else if (kind == '/') {
    readLineComment();
  } else {
    return false;
  }
  if (collectComments_) {
    const bool sameLine =
        lastValueEnd_ != nullptr && !newLineSinceLastValue(commentBegin) && !blockWithNewLine;
    addComment(commentBegin, current_, sameLine ? commentAfterOnSameLine : commentBefore);
  }
  return true;
}

bool Reader::readBlockComment(bool& containsNewLineInside) {
  for (const char* star = findByte(current_, end_, '*'); star != nullptr;
       star = findByte(star + 1, end_, '*')) {
    if (star + 1 != end_ && star[1] == '/') {
      containsNewLineInside = containsNewLine(current_, star);
      current_ = star + 2;
      return true;
    }
  }
  current_ = end_;
  return false;
}

void Reader::readLineComment() {
  while (current_ != end_) {
    const char byte = *current_++;
    if (byte == '\n') return;
    if (byte == '\r') {
      if (current_ != end_ && *current_ == '\n') ++current_;
      return;
    }
  }
}

bool Reader::newLineSinceLastValue(const char* position) {
  if (!newLineSeen_) {
    newLineSeen_ = containsNewLine(newLineScanFrom_, position);
    newLineScanFrom_ = position;
  }
  return newLineSeen_;
}

void Reader::addComment(const char* begin, const char* end, CommentPlacement placement) {
  const std::string text = normalizeLineEnds(begin, end);
  if (placement == commentAfterOnSameLine) {
    lastValue_->setComment(text, commentAfterOnSameLine);
  } else {
    commentsBefore_ += text;
  }
}

void Reader::markValueEnd(Value& value) {
  lastValueEnd_ = current_;
  lastValue_ = &value;
  newLineScanFrom_ = current_;
  newLineSeen_ = false;
}

// ---- numbers ----

bool Reader::decodeNumber(const Token& token, Value& value) {
  const char* current = token.start;
  const bool negative = *current == '-';
  if (negative) ++current;
  // A lone "-" has no digits to stand for; let the real decoding refuse it.
  if (current == token.end) return decodeDouble(token, value);
  const LargestUInt maxMagnitude =
      negative ? LargestUInt{1} << 63 : std::numeric_limits<LargestUInt>::max();
  const LargestUInt threshold = maxMagnitude / 10;
  const LargestUInt lastDigitLimit = maxMagnitude % 10;
  LargestUInt magnitude = 0;
  for (; current != token.end; ++current) {
    if (!isDigit(*current)) return decodeDouble(token, value);
    const auto digit = static_cast<LargestUInt>(*current - '0');
    if (magnitude >= threshold &&
        (magnitude > threshold || current + 1 != token.end || digit > lastDigitLimit)) {
      return decodeDouble(token, value);
    }
    magnitude = magnitude * 10 + digit;
  }
  Value decoded;
  if (negative) {
    decoded = magnitude == maxMagnitude ? Value(std::numeric_limits<LargestInt>::min())
                                        : Value(-static_cast<LargestInt>(magnitude));
  } else if (magnitude <= static_cast<LargestUInt>(std::numeric_limits<std::int32_t>::max())) {
    decoded = Value(static_cast<LargestInt>(magnitude));
  } else {
    decoded = Value(magnitude);
  }
  return storeDecoded(token, decoded, value);
}

bool Reader::decodeDouble(const Token& token, Value& value) {
  double real = 0.0;
  const auto result = std::from_chars(token.start, token.end, real);
  const bool parsed = result.ec == std::errc() && result.ptr == token.end;
  if (!parsed && !readRealFromStream(token.start, token.end, real)) {
    std::string message = "'";
    message.append(token.start, token.end);
    message += "' is not a number.";
    return addError(message, token);
  }
  Value decoded(real);
  return storeDecoded(token, decoded, value);
}

// Gives the value the decoded payload and the token's place; its comments stay.
bool Reader::storeDecoded(const Token& token, Value& decoded, Value& value) {
  value.swapPayload(decoded);
  value.setOffsetStart(token.start - begin_);
  value.setOffsetLimit(token.end - begin_);
  return true;
}

// ---- strings ----

bool Reader::decodeString(const Token& token, Value& value) {
  const char* begin = nullptr;
  const char* end = nullptr;
  if (!decodeStringText(token, begin, end)) return false;
  Value decoded(begin, end);
  return storeDecoded(token, decoded, value);
}

// The text between the token's quotes: the document's own bytes when there is no escape,
// else the unescaped copy in decoded_.
bool Reader::decodeStringText(const Token& token, const char*& begin, const char*& end) {
  const char* current = token.start + 1;
  const char* last = token.end - 1;  // the closing quote
  const char* backslash = findByte(current, last, '\\');
  if (backslash == nullptr) {
    begin = current;
    end = last;
    return true;
  }
  decoded_.assign(current, backslash);
  current = backslash;
  while (current < last) {
    if (*current != '\\') {
      const char* next = findByte(current, last, '\\');
      if (next == nullptr) next = last;
      decoded_.append(current, next);
      current = next;
      continue;
    }
    // The tokenizer pairs every backslash with a following byte, so one always follows here.
    const char escape = current[1];
    current += 2;
    switch (escape) {
      case '"':
        decoded_ += '"';
        break;
      case '/':
        decoded_ += '/';
        break;
      case '\\':
        decoded_ += '\\';
        break;
      case 'b':
        decoded_ += '\b';
        break;
      case 'f':
        decoded_ += '\f';
        break;
      case 'n':
        decoded_ += '\n';
        break;
      case 'r':
        decoded_ += '\r';
        break;
      case 't':
        decoded_ += '\t';
        break;
      case 'u': {
        unsigned codePoint = 0;
        if (!decodeUnicodeEscape(token, current, last, codePoint)) return false;
        Utf8::appendCodePoint(codePoint, decoded_);
        break;
      }
      default:
        return addError("Bad escape sequence in string", token, current);
    }
  }
  begin = decoded_.data();
  end = begin + decoded_.size();
  return true;
}

bool Reader::decodeUnicodeEscape(const Token& token, const char*& current, const char* last,
                                 unsigned& codePoint) {
  if (last - current < 4) {
    return addError("Bad unicode escape sequence in string: four digits expected.", token, current);
  }
  if (!decodeHex4(current, codePoint)) {
    return addError("Bad unicode escape sequence in string: hexadecimal digit expected.", token,
                    current);
  }
  current += 4;
  if (codePoint >= 0xD800 && codePoint <= 0xDBFF) {
    return decodeSurrogatePair(token, current, last, codePoint);
  }
  // A low surrogate on its own stands for no character; written out it would not be UTF-8.
  if (codePoint >= 0xDC00 && codePoint <= 0xDFFF) {
    return addError("Bad escape sequence in string", token, current);
  }
  return true;
}

// The second half must be a low surrogate: taking the low bits of any value would swallow the
// character that follows an unpaired high surrogate.
bool Reader::decodeSurrogatePair(const Token& token, const char*& current, const char* last,
                                 unsigned& codePoint) {
  if (last - current < 6) {
    return addError("additional six characters expected to parse unicode surrogate pair.", token,
                    current);
  }
  if (current[0] != '\\' || current[1] != 'u') {
    return addError(
        "expecting another \\u token to begin the second half of a unicode surrogate pair", token,
        current);
  }
  unsigned second = 0;
  if (!decodeHex4(current + 2, second)) {
    return addError("Bad unicode escape sequence in string: hexadecimal digit expected.", token,
                    current + 2);
  }
  current += 6;
  if (second < 0xDC00 || second > 0xDFFF) {
    return addError("Bad escape sequence in string", token, current);
  }
  codePoint = 0x10000 + ((codePoint & 0x3FF) << 10) + (second & 0x3FF);
  return true;
}

// ---- errors ----

bool Reader::addError(const std::string& message, const Token& token, const char* extra) {
  errors_.push_back(ErrorInfo{token.type, token.start - begin_, token.end - begin_, message,
                              extra == nullptr ? -1 : extra - begin_});
  return false;
}

// Skips to the token that closes the failed construct, or to the end of the text.
bool Reader::recoverFromError(TokenType skipUntil) {
  Token token;
  do {
    readToken(token);
  } while (token.type != skipUntil && token.type != tokenEndOfStream);
  return false;
}

bool Reader::addErrorAndRecover(const std::string& message, const Token& token,
                                TokenType skipUntil) {
  addError(message, token);
  return recoverFromError(skipUntil);
}

}  // namespace Json
