#include "json/jsontokenizer.h"

#include <algorithm>
#include <climits>
#include <limits>

namespace {

bool IsBlank(char16_t c) {
  return c == u'\b' || c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r' || c == u' ';
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

// Ends a name in a path; also what may not start an unquoted member name.
bool IsPathDelimiter(char16_t c) {
  switch (c) {
    case 0: case u'\b': case u'\t': case u'\n': case u'\f': case u'\r': case u' ':
    case u'"': case u'(': case u')': case u',': case u'.': case u':':
    case u'[': case u']': case u'{': case u'}':
      return true;
    default:
      return false;
  }
}

IJsonObjectPtr MemberOf(const IJsonObjectPtr& context, const std::u16string& name) {
  TJsonTableString* table = context ? context->ToMemberTable() : nullptr;
  return table ? table->FindMember(name) : nullptr;
}

double LenientDecimal(const char16_t* text, size_t length) {
  double value;
  ReadDecimal(text, length, value);
  return value;
}

}  // namespace

void TJsonTokenizer::Parse(const char16_t* text, bool strict, const IJsonObjectPtr& context, bool uniqueNames) {
  FText = text;
  FStrict = strict;
  FUniqueNames = uniqueNames;
  FStack[0].Context = context;
  for (;;) {
    char16_t c = text[FOffset];
    bool consumed = Step(c);
    if (FError != peNone) return;
    if (!consumed) {
      // Only a step that leaves the character can finish the top level.
      if (FDepth == 0 && FStack[0].State == tsDone) return;
      continue;
    }
    if (c == 0) {
      // A finished value inside an open container is no finished document.
      bool complete = FDepth == 0 && (Level().State == tsDone || Level().SavedState == tsDone);
      if (!complete) SetError(peEndOfText);
      return;
    }
    ++FOffset;
  }
}

// A run of characters that the state would only append, one by one, is
// taken in one step up to the first character for which stop holds (stop
// must hold for the terminating zero). The main loop consumes the last one.
template <class TStop>
bool TJsonTokenizer::AppendRun(TStop stop) {
  const char16_t* run = FText + FOffset;
  int length = 0;
  while (!stop(run[length])) ++length;
  if (length == 0) return false;
  FBuffer.WriteChars(run, length);
  FOffset += length - 1;
  return true;
}

bool TJsonTokenizer::Step(char16_t c) {
  switch (Level().State) {
    case tsBlanks: return StepBlanks(c);
    case tsValue: return StepValue(c);
    case tsDone: return StepDone();
    case tsNull: return StepLiteral(c, u"null");
    case tsTrueFalse: return StepLiteral(c, (FLiteralPos == 0 ? c : FBuffer.Data()[0]) == u't' ? u"true" : u"false");
    case tsCommentStart: return StepCommentStart(c);
    case tsBlockComment: return StepBlockComment(c);
    case tsLineComment: return StepLineComment(c);
    case tsBlockCommentStar: return StepBlockCommentStar(c);
    case tsString: return StepString(c);
    case tsEscape: return StepEscape(c);
    case tsBareWord: return StepBareWord(c);
    case tsEscapeU: return StepEscapeHex(c, 4);
    case tsEscapeX: return StepEscapeHex(c, 2);
    case tsNumber: return StepNumber(c);
    case tsArray: return StepArray(c);
    case tsArrayAppend: return StepArrayAppend();
    case tsArrayNext: return StepNext(c, tsArray, u']', peArraySeparator);
    case tsObjectName: return StepObjectName(c);
    case tsObjectQuotedName: return StepQuotedName(c);
    case tsObjectBareName: return StepBareName(c);
    case tsObjectColon: return StepObjectColon(c);
    case tsObjectValue: OpenLevel(tsObjectStore); return false;
    case tsObjectStore: return StepObjectStore();
    case tsObjectNext: return StepNext(c, tsObjectName, u'}', peObjectSeparator);
    case tsPathElement: return StepPathElement(c);
    case tsPathIndex: OpenLevel(tsPathIndexStore); return false;
    case tsPathIndexStore: return StepPathIndexStore(c);
  }
  return false;
}

// ---- levels ----

void TJsonTokenizer::Expect(TJsonTokenerState next) {
  Level().State = tsBlanks;
  Level().SavedState = next;
}

void TJsonTokenizer::ValueDone() { Expect(tsDone); }

void TJsonTokenizer::ValueDone(IJsonObjectPtr value) {
  Level().Current = std::move(value);
  ValueDone();
}

void TJsonTokenizer::OpenLevel(TJsonTokenerState returnTo) {
  if (FDepth > kMaxDepth - 2) {
    SetError(peDepth);
    return;
  }
  Level().State = returnTo;
  ++FDepth;
  MakeFresh(Level());
}

bool TJsonTokenizer::StepDone() {
  FHanded = std::move(Level().Current);
  MakeFresh(Level());
  --FDepth;
  return false;
}

// A level is made fresh once per value: only what may be set is cleared.
void TJsonTokenizer::MakeFresh(TJsonTokenerSrec& level) {
  level.State = tsBlanks;
  level.SavedState = tsValue;
  if (level.Current) level.Current = nullptr;
  level.Name.clear();
  if (level.Context) level.Context = nullptr;
}

// ---- blanks and comments ----

bool TJsonTokenizer::StepBlanks(char16_t c) {
  if (IsBlank(c)) {
    while (IsBlank(FText[FOffset + 1])) ++FOffset;
    return true;
  }
  if (c == u'/') {
    Level().State = tsCommentStart;
    return true;
  }
  Level().State = Level().SavedState;
  return false;
}

bool TJsonTokenizer::StepCommentStart(char16_t c) {
  if (c == u'*') Level().State = tsBlockComment;
  else if (c == u'/') Level().State = tsLineComment;
  else SetError(peComment);
  return true;
}

bool TJsonTokenizer::StepBlockComment(char16_t c) {
  if (c == u'*') Level().State = tsBlockCommentStar;
  return true;
}

bool TJsonTokenizer::StepBlockCommentStar(char16_t c) {
  if (c == u'/') Level().State = tsBlanks;
  else if (c != u'*') Level().State = tsBlockComment;
  return true;
}

bool TJsonTokenizer::StepLineComment(char16_t c) {
  if (c == u'\n') Level().State = tsBlanks;
  return true;
}

// ---- values ----

bool TJsonTokenizer::StepValue(char16_t c) {
  TJsonTokenerSrec& level = Level();
  FBuffer.Truncate();
  switch (c) {
    case u'"':
    case u'\'':
      FQuote = c;
      level.State = tsString;
      return true;
    case u'[':
      level.Current = TJsonObject::CreateKind(skArray);
      Expect(tsArray);
      return true;
    case u'{':
      level.Current = TJsonObject::CreateKind(skObject);
      Expect(tsObjectName);
      return true;
    case u'n': case u'N':
      FLiteralPos = 0;
      level.State = tsNull;
      return false;
    case u't': case u'T': case u'f': case u'F':
      FLiteralPos = 0;
      level.State = tsTrueFalse;
      return false;
    case u'-':
      StartNumber();
      return false;
    case u'(':
      // Method parameter lists are not supported; the parenthesis is ignored.
      return true;
    default:
      break;
  }
  bool memberPath = FDepth == 0 && level.Context && level.Context->IsType(skObject);
  if (IsDigit(c) && !memberPath) StartNumber();
  else level.State = tsBareWord;
  return false;
}

bool TJsonTokenizer::StepLiteral(char16_t c, const char16_t* literal) {
  TJsonTokenerSrec& level = Level();
  if (literal[FLiteralPos] != 0) {
    if (c != literal[FLiteralPos]) {
      // The letters so far start a bare word.
      level.State = tsBareWord;
      return false;
    }
    FBuffer.WriteChars(&c, 1);
    ++FLiteralPos;
    return true;
  }
  if (c >= 256 || c == u'.' || c == u'_' || IsAsciiLetter(c)) {
    level.State = tsBareWord;
    return false;
  }
  if (literal[0] == u'n') ValueDone(TJsonObject::CreateKind(skNull));
  else ValueDone(TJsonObject::CreateBoolean(literal[0] == u't'));
  return false;
}

bool TJsonTokenizer::StepString(char16_t c) {
  if (AppendRun([this](char16_t u) { return u == FQuote || u == u'\\' || u == 0; })) return true;
  if (c == FQuote) {
    ValueDone(TJsonObject::CreateString(FBuffer.Data(), FBuffer.Length()));
    return true;
  }
  if (c == u'\\') StartEscape(tsString);
  else if (c != 0) FBuffer.WriteChars(&c, 1);
  return true;
}

void TJsonTokenizer::StartEscape(TJsonTokenerState returnTo) {
  Level().SavedState = returnTo;
  Level().State = tsEscape;
}

bool TJsonTokenizer::StepEscape(char16_t c) {
  char16_t unit = c;
  switch (c) {
    case 0: return true;  // the end check reports the open token
    case u'b': unit = u'\b'; break;
    case u'f': unit = u'\f'; break;
    case u'n': unit = u'\n'; break;
    case u'r': unit = u'\r'; break;
    case u't': unit = u'\t'; break;
    case u'u':
    case u'x':
      FEscape = 0;
      FLiteralPos = 0;
      Level().State = c == u'u' ? tsEscapeU : tsEscapeX;
      return true;
    default: break;
  }
  FBuffer.WriteChars(&unit, 1);
  Level().State = Level().SavedState;
  return true;
}

bool TJsonTokenizer::StepEscapeHex(char16_t c, int digits) {
  int digit = HexDigitValue(c);
  if (digit < 0) {
    SetError(peEscape);
    return false;
  }
  FEscape = static_cast<char16_t>(FEscape * 16 + digit);
  if (++FLiteralPos == digits) {
    FBuffer.WriteChars(&FEscape, 1);
    Level().State = Level().SavedState;
  }
  return true;
}

// Where the word stands decides what ends it.
bool TJsonTokenizer::EndsBareWord(char16_t c) const {
  if (c == 0) return true;
  if (FDepth == 0) return false;
  switch (FStack[FDepth - 1].State) {
    case tsArrayAppend:
    case tsPathIndexStore: return c == u',' || c == u']';
    case tsObjectStore: return c == u',' || c == u'}';
    default: return false;
  }
}

bool TJsonTokenizer::StepBareWord(char16_t c) {
  if (Level().Context) return StepPathName(c);
  if (AppendRun([this](char16_t u) { return u == u'\\' || EndsBareWord(u); })) return true;
  if (EndsBareWord(c)) {
    if (FStrict) {
      SetError(peEscape);
      return false;
    }
    FBuffer.TrimRight();
    ValueDone(TJsonObject::CreateString(FBuffer.Data(), FBuffer.Length()));
    return false;
  }
  if (c == u'\\') StartEscape(tsBareWord);
  else FBuffer.WriteChars(&c, 1);
  return true;
}

// ---- numbers ----

void TJsonTokenizer::StartNumber() {
  FIsDecimal = false;
  FDecimalCount = 0;
  Level().State = tsNumber;
}

// The number's characters are taken as one run.
bool TJsonTokenizer::StepNumber(char16_t) {
  const char16_t* run = FText + FOffset;
  int length = 0;
  for (;; ++length) {
    char16_t c = run[length];
    if (IsDigit(c)) {
      if (FIsDecimal && FDecimalCount >= 0 && ++FDecimalCount > 4) FDecimalCount = -1;
    } else if (c == u'.') {
      FIsDecimal = true;
      if (FDecimalCount >= 0) FDecimalCount = 0;
    } else if (c == u'e' || c == u'E') {
      FIsDecimal = true;
      FDecimalCount = -1;
    } else if (c != u'+' && c != u'-') {
      break;
    }
  }
  if (length == 0) {
    FinishNumber();
    return false;
  }
  FBuffer.WriteChars(run, length);
  FOffset += length - 1;
  return true;
}

void TJsonTokenizer::FinishNumber() {
  TJsonTokenerSrec& level = Level();
  bool elementPath = FDepth == 0 && level.Context && level.Context->IsType(skArray) &&
                     !FIsDecimal && FBuffer.Data()[0] != u'-';
  if (!elementPath) {
    ValueDone(NumberValue());
    return;
  }
  int64_t index;
  TReadResult read = ReadInteger(FBuffer.Data(), FBuffer.Length(), index);
  bool inRange = read != rrOverflow && index <= INT_MAX;
  ValueDone(inRange ? level.Context->ToArray()->ItemAt(static_cast<int>(index)) : nullptr);
}

IJsonObjectPtr TJsonTokenizer::NumberValue() {
  const char16_t* text = FBuffer.Data();
  size_t length = FBuffer.Length();
  int64_t value;
  if (!FIsDecimal) {
    // A whole number too large for 64 bits keeps its magnitude as a double.
    if (ReadInteger(text, length, value) == rrOverflow) return TJsonObject::CreateDouble(LenientDecimal(text, length));
    return TJsonObject::CreateInteger(value);
  }
  if (FDecimalCount < 0) return TJsonObject::CreateDouble(LenientDecimal(text, length));
  // Up to four decimals: fixed point, read without the first ".".
  TScratchText<char16_t> digits(length - 1);
  size_t point = std::find(text, text + length, u'.') - text;
  char16_t* rest = std::copy(text, text + point, digits.Data());
  std::copy(text + point + 1, text + length, rest);
  static const int64_t kScale[] = {10000, 1000, 100, 10, 1};
  int64_t scale = kScale[FDecimalCount];
  bool fits = ReadInteger(digits.Data(), length - 1, value) != rrOverflow &&
              value <= std::numeric_limits<int64_t>::max() / scale &&
              value >= std::numeric_limits<int64_t>::min() / scale;
  // Beyond the currency range the value stays a double rather than wrapping.
  if (!fits) return TJsonObject::CreateDouble(LenientDecimal(text, length));
  return TJsonObject::CreateCurrency(value * scale);
}

// ---- arrays ----

bool TJsonTokenizer::StepArray(char16_t c) {
  if (c == u']') {
    ValueDone();
    return true;
  }
  OpenLevel(tsArrayAppend);
  return false;
}

bool TJsonTokenizer::StepArrayAppend() {
  Level().Current->ToArray()->AppendItem(std::move(FHanded));
  Expect(tsArrayNext);
  return false;
}

// After an element or a member: "," for the next one, or the closing bracket.
bool TJsonTokenizer::StepNext(char16_t c, TJsonTokenerState next, char16_t close, TParseError error) {
  if (c == u',') Expect(next);
  else if (c == close) ValueDone();
  else SetError(error);
  return true;
}

// ---- objects ----

bool TJsonTokenizer::StepObjectName(char16_t c) {
  if (c == u'}') {
    ValueDone();
    return true;
  }
  FBuffer.Truncate();
  if (c == u'"' || c == u'\'') {
    FQuote = c;
    Level().State = tsObjectQuotedName;
    return true;
  }
  if (c < 256 && (FStrict || IsPathDelimiter(c))) {
    SetError(peMemberName);
    return false;
  }
  Level().State = tsObjectBareName;
  return false;
}

bool TJsonTokenizer::StepQuotedName(char16_t c) {
  if (AppendRun([this](char16_t u) { return u == FQuote || u == u'\\' || u == 0; })) return true;
  if (c == FQuote) {
    Level().Name.assign(FBuffer.Data(), FBuffer.Length());
    Expect(tsObjectColon);
  } else if (c == u'\\') {
    StartEscape(tsObjectQuotedName);
  } else if (c != 0) {
    FBuffer.WriteChars(&c, 1);
  }
  return true;
}

bool TJsonTokenizer::StepBareName(char16_t c) {
  if (AppendRun([](char16_t u) { return u == u':' || u == u'\\' || u == 0; })) return true;
  if (c == u':' || c == 0) {
    Level().Name.assign(FBuffer.Data(), FBuffer.Length());
    Level().State = tsObjectColon;
    return false;
  }
  if (c == u'\\') StartEscape(tsObjectBareName);
  else FBuffer.WriteChars(&c, 1);
  return true;
}

bool TJsonTokenizer::StepObjectColon(char16_t c) {
  if (c != u':') {
    SetError(peColon);
    return false;
  }
  Expect(tsObjectValue);
  return true;
}

bool TJsonTokenizer::StepObjectStore() {
  TJsonTokenerSrec& level = Level();
  TJsonTableString* table = level.Current->ToMemberTable();
  int count = table->Count();
  table->PutMember(std::move(level.Name), std::move(FHanded));
  // A repeated name replaced the earlier value and left the count.
  if (FUniqueNames && table->Count() == count) SetError(peRepeatedName);
  level.Name.clear();
  FHanded = nullptr;
  Expect(tsObjectNext);
  return false;
}

// ---- paths ----

bool TJsonTokenizer::StepPathName(char16_t c) {
  TJsonTokenerSrec& level = Level();
  if (c >= 128 || !IsPathDelimiter(c)) {
    FBuffer.WriteChars(&c, 1);
    return true;
  }
  IJsonObjectPtr member = MemberOf(level.Context, FBuffer.Text());
  FBuffer.Truncate();
  if (c == u'.') {
    if (!member || !member->IsType(skObject)) SetError(pePathNotObject);
    level.Context = member;
    return true;
  }
  if (c == u'[') {
    if (!member || !member->IsType(skArray)) SetError(pePathNotArray);
    level.Context = member;
    level.State = tsPathIndex;
    return true;
  }
  ValueDone(member);
  return false;
}

bool TJsonTokenizer::StepPathIndexStore(char16_t c) {
  TJsonTokenerSrec& level = Level();
  IJsonObjectPtr index = std::move(FHanded);
  if (!index || !index->IsType(skInteger) || index->ToInteger() < 0) {
    SetError(pePathIndex);
    return false;
  }
  if (c != u']') {
    SetError(pePathNotArray);
    return false;
  }
  int64_t at = index->ToInteger();
  level.Context = at <= INT_MAX ? level.Context->ToArray()->ItemAt(static_cast<int>(at)) : nullptr;
  level.State = tsPathElement;
  return true;
}

bool TJsonTokenizer::StepPathElement(char16_t c) {
  TJsonTokenerSrec& level = Level();
  if (c == u'.') {
    if (!level.Context || !level.Context->IsType(skObject)) SetError(pePathNotObject);
    FBuffer.Truncate();
    level.State = tsBareWord;
    return true;
  }
  if (c == u'[') {
    if (!level.Context || !level.Context->IsType(skArray)) SetError(pePathNotArray);
    level.State = tsPathIndex;
    return true;
  }
  ValueDone(level.Context);
  return false;
}

IJsonObjectPtr ParseCore(const char16_t* text, bool strict, const IJsonObjectPtr& context, bool allowTrailing,
                         bool uniqueNames) {
  TJsonTokenizer tokenizer;
  tokenizer.Parse(text, strict, context, uniqueNames);
  if (tokenizer.Error() != peNone) return nullptr;
  if (!allowTrailing && text[tokenizer.Offset()] != 0) return nullptr;
  return tokenizer.Result();
}

IJsonObjectPtr ParseJsonText(const std::u16string& text) { return ParseCore(text.c_str(), false, nullptr, true); }

IJsonObjectPtr ParseJsonDocument(const std::u16string& text) {
  if (text.find(u'\0') != std::u16string::npos) return nullptr;
  return ParseCore(text.c_str(), false, nullptr, false, true);
}
