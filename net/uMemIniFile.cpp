#include "net/uMemIniFile.h"

#include <windows.h>

#include "net/uFunction.h"

namespace {

std::string Trim(const std::string& S) {
  size_t First = 0, Last = S.size();
  while (First < Last && static_cast<unsigned char>(S[First]) <= ' ') ++First;
  while (Last > First && static_cast<unsigned char>(S[Last - 1]) <= ' ') --Last;
  return S.substr(First, Last - First);
}

bool SameText(const std::string& A, const std::string& B) {
  return lstrcmpiA(A.c_str(), B.c_str()) == 0;
}

}  // namespace

bool TMemIniFile::LoadFromFile(const std::string& FileName) {
  Clear();
  DWORD Attr = GetFileAttributesA(FileName.c_str());
  if (Attr == INVALID_FILE_ATTRIBUTES) return true;
  if (Attr & FILE_ATTRIBUTE_DIRECTORY) return false;
  HANDLE File = CreateFileA(FileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (File == INVALID_HANDLE_VALUE) return false;
  CloseHandle(File);
  LoadFromText(ReadFileText(FileName));
  return true;
}

void TMemIniFile::LoadFromText(const std::string& Text) {
  Clear();
  TSection* Current = nullptr;
  size_t Start = 0;
  while (Start < Text.size()) {
    size_t End = Text.find_first_of("\r\n", Start);
    if (End == std::string::npos) End = Text.size();
    std::string Line = Trim(Text.substr(Start, End - Start));
    Start = End + (Text.compare(End, 2, "\r\n") == 0 ? 2 : 1);
    if (Line.empty() || Line[0] == ';') continue;
    if (Line.front() == '[' && Line.back() == ']') {
      std::string Name = Line.substr(1, Line.size() - 2);
      Current = FindSection(Name);
      if (!Current) {
        FSections.push_back({Name, {}});
        Current = &FSections.back();
      }
      continue;
    }
    size_t Equal = Line.find('=');
    if (!Current || Equal == std::string::npos) continue;
    Current->Keys.emplace_back(Trim(Line.substr(0, Equal)), Trim(Line.substr(Equal + 1)));
  }
}

std::string TMemIniFile::Text() const {
  std::string Result;
  for (const TSection& Section : FSections) {
    Result += "[" + Section.Name + "]\r\n";
    for (const auto& Key : Section.Keys) Result += Key.first + "=" + Key.second + "\r\n";
    Result += "\r\n";
  }
  return Result;
}

bool TMemIniFile::SaveToFile(const std::string& FileName) const {
  return SaveFileSafely(FileName, Text());
}

std::string TMemIniFile::ReadString(const std::string& Section, const std::string& Key,
                                    const std::string& Default) const {
  if (const TSection* Found = FindSection(Section))
    for (const auto& Item : Found->Keys)
      if (SameText(Item.first, Key)) return Item.second;
  return Default;
}

void TMemIniFile::WriteString(const std::string& Section, const std::string& Key,
                              const std::string& Value) {
  TSection* Found = FindSection(Section);
  if (!Found) {
    FSections.push_back({Section, {}});
    Found = &FSections.back();
  }
  for (auto& Item : Found->Keys)
    if (SameText(Item.first, Key)) {
      Item.second = Value;
      return;
    }
  Found->Keys.emplace_back(Key, Value);
}

TMemIniFile::TSection* TMemIniFile::FindSection(const std::string& Name) {
  for (TSection& Section : FSections)
    if (SameText(Section.Name, Name)) return &Section;
  return nullptr;
}

const TMemIniFile::TSection* TMemIniFile::FindSection(const std::string& Name) const {
  return const_cast<TMemIniFile*>(this)->FindSection(Name);
}
