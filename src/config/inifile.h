#pragma once
// A small reader for Windows-style INI files and the writer of their layout.
//
// Reading follows the profile-string functions the configuration was made
// with: section and key names match without regard to (ASCII) case, names and
// values are trimmed of blanks, a value enclosed in a matching pair of single
// or double quotes loses the quotes, and the first occurrence of a key wins.
// A section that appears twice is read as one: its keys are looked up in file
// order, so a key of the first occurrence wins over the same key further down.
// Lines that are neither "[section]" nor "key=value", and keys before the first
// section, are ignored. Lines end with CR LF or LF; bytes are not decoded, so
// any 8-bit text is accepted. Parsing is one linear pass.
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class IniFile {
 public:
  static IniFile Parse(std::string_view text);
  // False when the file cannot be read (missing, a directory, no access);
  // `out` is then empty.
  static bool Load(const std::string& path, IniFile& out);

  // The value, or nullptr when the section or key is missing. An empty value
  // ("Key=") is present.
  const std::string* Find(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key,
                         const std::string& fallback) const;
  bool HasSection(std::string_view section) const;

 private:
  // Keys by lower-case name.
  using KeyMap = std::unordered_map<std::string, std::string>;
  std::unordered_map<std::string, KeyMap> m_sections;  // by lower-case name
};

struct IniKeyValue {
  std::string key, value;
};
struct IniSection {
  std::string name;
  std::vector<IniKeyValue> keys;
};

// The file text: "[name]" and "key=value" lines ended by CR LF, the sections in
// the given order, and one empty line after the last key of every section but
// the last one. A section without keys is left out. Line breaks inside a value
// are written as blanks so that no value can forge a line of its own.
std::string FormatIni(const std::vector<IniSection>& sections);
