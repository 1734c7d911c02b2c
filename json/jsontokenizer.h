// The relaxed JSON parser: a character-at-a-time state machine over an
// explicit stack of nesting levels. Given a context value it resolves paths.
#pragma once

#include <cstdint>
#include <string>

#include "json/jsonobject.h"
#include "json/jsonpool.h"
#include "json/jsonwriter.h"

enum TParseError : uint8_t {
  peNone = 0,
  peIncomplete = 1,  // only with a length limit, which nothing here sets
  peDepth = 2,
  peEndOfText = 3,
  peArraySeparator = 8,
  peMemberName = 9,
  peColon = 10,
  peObjectSeparator = 11,
  peEscape = 12,
  peComment = 13,
  pePathNotObject = 14,
  pePathNotArray = 15,
  pePathNotMethod = 16,
  pePathIndex = 17,
  peRepeatedName = 18,  // only when repeated member names are refused
};

enum TJsonTokenerState : uint8_t {
  tsBlanks = 0,
  tsValue = 1,
  tsDone = 2,
  tsNull = 3,
  tsCommentStart = 4,
  tsBlockComment = 5,
  tsLineComment = 6,
  tsBlockCommentStar = 7,
  tsString = 8,
  tsEscape = 9,
  tsBareWord = 10,
  tsEscapeU = 11,
  tsEscapeX = 12,
  tsTrueFalse = 13,
  tsNumber = 14,
  tsArray = 15,
  tsArrayAppend = 16,
  tsArrayNext = 17,
  tsObjectName = 18,
  tsObjectQuotedName = 19,
  tsObjectBareName = 20,
  tsObjectColon = 21,
  tsObjectValue = 22,
  tsObjectStore = 23,
  tsObjectNext = 24,
  // Path mode. 25, 27, 30 and 31 belong to the put and method-call modes,
  // which nothing here uses.
  tsPathElement = 26,
  tsPathIndex = 28,
  tsPathIndexStore = 29,
};

struct TJsonTokenerSrec {
  TJsonTokenerState State = tsBlanks;
  TJsonTokenerState SavedState = tsValue;
  IJsonObjectPtr Current;
  std::u16string Name;
  IJsonObjectPtr Context;  // path mode only
};

class TJsonTokenizer {
public:
  static constexpr int kMaxDepth = 32;

  // Runs the machine over a zero-terminated text.
  void Parse(const char16_t* text, bool strict, const IJsonObjectPtr& context, bool uniqueNames = false);

  TParseError Error() const { return FError; }
  size_t Offset() const { return FOffset; }
  const IJsonObjectPtr& Result() const { return FStack[0].Current; }

private:
  TJsonTokenerSrec& Level() { return FStack[FDepth]; }
  void SetError(TParseError error) { FError = error; }
  // Each step examines c and returns whether it was consumed.
  bool Step(char16_t c);
  bool StepBlanks(char16_t c);
  bool StepValue(char16_t c);
  bool StepDone();
  bool StepLiteral(char16_t c, const char16_t* literal);
  bool StepCommentStart(char16_t c);
  bool StepBlockComment(char16_t c);
  bool StepBlockCommentStar(char16_t c);
  bool StepLineComment(char16_t c);
  bool StepString(char16_t c);
  bool StepEscape(char16_t c);
  bool StepEscapeHex(char16_t c, int digits);
  bool StepBareWord(char16_t c);
  bool StepPathName(char16_t c);
  bool StepNumber(char16_t c);
  bool StepArray(char16_t c);
  bool StepObjectName(char16_t c);
  bool StepQuotedName(char16_t c);
  bool StepBareName(char16_t c);
  bool StepObjectColon(char16_t c);
  bool StepNext(char16_t c, TJsonTokenerState next, char16_t close, TParseError error);
  bool StepArrayAppend();
  bool StepObjectStore();
  bool StepPathElement(char16_t c);
  bool StepPathIndexStore(char16_t c);

  void ValueDone();
  void ValueDone(IJsonObjectPtr value);
  void Expect(TJsonTokenerState next);
  void OpenLevel(TJsonTokenerState returnTo);
  static void MakeFresh(TJsonTokenerSrec& level);
  void StartEscape(TJsonTokenerState returnTo);
  bool EndsBareWord(char16_t c) const;
  template <class TStop>
  bool AppendRun(TStop stop);
  void StartNumber();
  void FinishNumber();
  IJsonObjectPtr NumberValue();

  TJsonPoolScope FPool;  // the values of one parse fill slabs without a lock
  TJsonWriterString FBuffer;
  int FDepth = 0;
  bool FIsDecimal = false;
  int32_t FDecimalCount = 0;
  int FLiteralPos = 0;
  const char16_t* FText = nullptr;
  size_t FOffset = 0;
  TParseError FError = peNone;
  char16_t FEscape = 0;
  char16_t FQuote = 0;
  bool FStrict = false;
  bool FUniqueNames = false;
  IJsonObjectPtr FHanded;  // the value a finished level handed down
  TJsonTokenerSrec FStack[kMaxDepth];
};

// strict refuses bare words and unquoted names; context switches on path
// mode; allowTrailing accepts text after the first complete value;
// uniqueNames refuses an object that names a member twice.
IJsonObjectPtr ParseCore(const char16_t* text, bool strict, const IJsonObjectPtr& context, bool allowTrailing,
                         bool uniqueNames = false);
