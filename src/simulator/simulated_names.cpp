#include "simulator/simulated_names.h"

#include <string.h>

#include "simulator/simulated_text.h"

namespace {

bool IsShortName(const std::string& name) {
  if (name.find(' ') != std::string::npos) return false;
  size_t dot = name.find('.');
  if (dot == std::string::npos) return name.size() <= 8;
  return name.find('.', dot + 1) == std::string::npos && dot <= 8 && name.size() - dot - 1 <= 3;
}

}  // namespace

bool SimulatedNames::IsLeadByte(unsigned char byte) const {
  return codePage_ == 932 && ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
}

size_t SimulatedNames::NextName(const std::string& path, size_t from, std::string* name) const {
  if (codePage_ != 932) {  // every backslash is a separator: the name is one run of bytes
    size_t end = path.find('\\', from);
    if (name != nullptr) {
      size_t start = name->size();
      name->append(path, from, end == std::string::npos ? std::string::npos : end - from);
      for (size_t i = start; i < name->size(); ++i) {
        char c = (*name)[i];
        if (c >= 'A' && c <= 'Z') (*name)[i] = static_cast<char>(c - 'A' + 'a');
      }
    }
    return end == std::string::npos ? end : end + 1;
  }
  for (size_t i = from; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (IsLeadByte(c) && i + 1 < path.size()) {
      if (name != nullptr) name->append(path, i, 2);  // the second byte may be 0x5C or a capital
      ++i;
    } else if (c == '\\') {
      return i + 1;
    } else if (name != nullptr) {
      *name += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
  }
  return std::string::npos;
}

std::vector<std::string> SimulatedNames::FoldedNames(const std::string& path) const {
  std::vector<std::string> parts(1);
  for (size_t at = NextName(path, 0, &parts.back()); at != std::string::npos;) {
    parts.emplace_back();
    at = NextName(path, at, &parts.back());
  }
  return parts;
}

bool SimulatedNames::IsValidPath(const std::string& path) const {
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (IsLeadByte(c) && i + 1 < path.size()) {
      ++i;  // a second byte may be any of the bytes below
    } else if (c < 0x20 || c == '"' || c == '*' || c == '/' || c == '<' || c == '>' || c == '?' ||
               c == '|' || (c == ':' && i != 1)) {
      return false;
    }
  }
  return true;
}

size_t SimulatedNames::LastSeparator(const std::string& path) const {
  size_t separator = std::string::npos;
  for (size_t at = NextName(path, 0, nullptr); at != std::string::npos;
       at = NextName(path, at, nullptr)) {
    separator = at - 1;
  }
  return separator;
}

bool SimulatedNames::EndsWithSeparator(const std::string& path) const {
  size_t separator = LastSeparator(path);
  return separator != std::string::npos && separator + 1 == path.size();
}

std::string SimulatedNames::UpperCharacters(const std::string& text, size_t maxBytes) const {
  std::string upper;
  for (size_t i = 0; i < text.size();) {
    size_t width = IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
    if (upper.size() + width > maxBytes) break;
    upper += width == 2 ? text.substr(i, 2) : Upper(text.substr(i, 1));
    i += width;
  }
  return upper;
}

std::string SimulatedNames::AliasOf(const std::string& name) const {
  if (IsShortName(name)) return name;
  // Blanks and dots are single-byte characters, never a second byte.
  size_t dot = name.rfind('.');
  std::string kept;
  for (char c : name.substr(0, dot)) {
    if (c != ' ' && c != '.') kept += c;
  }
  std::string alias = UpperCharacters(kept, 6) + "~1";
  if (dot == std::string::npos || dot + 1 == name.size()) return alias;
  return alias + "." + UpperCharacters(name.substr(dot + 1), 3);
}

std::string SimulatedNames::Folded(const std::string& name) const {
  std::string folded;
  NextName(name, 0, &folded);
  return folded;
}
