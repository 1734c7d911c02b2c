// An INI-layout file held in memory: loaded whole, saved whole, values kept
// exactly as stored, sections and keys in their first order.
#pragma once

#include <string>
#include <utility>
#include <vector>

class TMemIniFile {
 public:
  // Replaces the contents with the file's; false (and empty) when the file
  // cannot be read. A missing file is not an error.
  bool LoadFromFile(const std::string& FileName);
  // Writes a temporary file beside FileName and puts it in place, so an
  // interrupted save leaves the earlier file whole.
  bool SaveToFile(const std::string& FileName) const;
  void LoadFromText(const std::string& Text);
  std::string Text() const;  // CR LF after every line

  // Section and key names match without regard to case.
  std::string ReadString(const std::string& Section, const std::string& Key,
                         const std::string& Default) const;
  void WriteString(const std::string& Section, const std::string& Key, const std::string& Value);
  void Clear() { FSections.clear(); }

 private:
  using TKeys = std::vector<std::pair<std::string, std::string>>;
  struct TSection {
    std::string Name;
    TKeys Keys;
  };
  TSection* FindSection(const std::string& Name);
  const TSection* FindSection(const std::string& Name) const;

  std::vector<TSection> FSections;
};
