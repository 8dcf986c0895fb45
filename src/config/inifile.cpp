#include "config/inifile.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>
#include <filesystem>

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// ASCII only: names are plain English words, and the host locale must not
// change how a file reads.
std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  KeyMap* current = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    if (line.front() == '[') {
      size_t close = line.rfind(']');
      if (close == std::string_view::npos) continue;  // broken header: keep the section
      current = &ini.m_sections[Lower(Trim(line.substr(1, close - 1)))];
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string_view::npos || current == nullptr) continue;
    std::string_view key = Trim(line.substr(0, eq));
    if (key.empty()) continue;
    // try_emplace keeps the first occurrence.
    current->try_emplace(Lower(key), Unquote(Trim(line.substr(eq + 1))));
  }
  return ini;
}

bool IniFile::Load(const std::string& path, IniFile& out) {
  out = IniFile{};
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  out = Parse(text);
  return true;
}

const std::string* IniFile::Find(std::string_view section, std::string_view key) const {
  auto s = m_sections.find(Lower(section));
  if (s == m_sections.end()) return nullptr;
  auto k = s->second.find(Lower(key));
  return k == s->second.end() ? nullptr : &k->second;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                const std::string& fallback) const {
  const std::string* v = Find(section, key);
  return v ? *v : fallback;
}

bool IniFile::HasSection(std::string_view section) const {
  return m_sections.count(Lower(section)) != 0;
}

std::string FormatIni(const std::vector<IniSection>& sections) {
  size_t last = sections.size();
  for (size_t i = 0; i < sections.size(); ++i)
    if (!sections[i].keys.empty()) last = i;
  std::string out;
  for (size_t i = 0; i < sections.size(); ++i) {
    const IniSection& s = sections[i];
    if (s.keys.empty()) continue;
    out += '[';
    out += s.name;
    out += "]\r\n";
    for (const IniKeyValue& kv : s.keys) {
      out += kv.key;
      out += '=';
      for (char c : kv.value) out += (c == '\r' || c == '\n') ? ' ' : c;
      out += "\r\n";
    }
    if (i != last) out += "\r\n";
  }
  return out;
}
