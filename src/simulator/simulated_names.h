// How Windows 98/Me read the bytes of a path in the system's code page: the
// names between real backslashes (in code page 932 a double-byte character's
// second byte may be 0x5C), ASCII letters folded to match without regard to
// case, the bytes no name may hold, and the 8.3 alias of a long name.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

class SimulatedNames {
 public:
  // 1252 (the default) or 932, whose double-byte characters may end in 0x5C.
  void SetCodePage(uint32_t codePage) { codePage_ = codePage; }
  uint32_t codePage() const { return codePage_; }
  bool IsLeadByte(unsigned char byte) const;

  // Reads the name that starts at from, up to the next real backslash, with
  // ASCII letters folded to lower case, onto the end of name (when given);
  // returns where the next name starts, or npos after the last.
  size_t NextName(const std::string& path, size_t from, std::string* name) const;
  // The path's names between real backslashes, ASCII letters folded to lower case.
  std::vector<std::string> FoldedNames(const std::string& path) const;
  size_t LastSeparator(const std::string& path) const;  // the last real backslash, or npos
  // Whether the path's last character is a real backslash, not the second
  // byte of a double-byte character.
  bool EndsWithSeparator(const std::string& path) const;
  // Whether every name in the path is one a file system accepts: no control
  // characters and none of  " * / : < > ? |  (the drive's colon aside).
  bool IsValidPath(const std::string& path) const;

  // The name itself when it is an 8.3 name, else the first alias Windows 9x
  // gives it: up to six bytes of whole characters, "~1", and the extension,
  // single-byte letters in upper case (a double-byte character stays as it is).
  std::string AliasOf(const std::string& name) const;
  // A single name with its single-byte ASCII letters folded, as NextName folds them.
  std::string Folded(const std::string& name) const;

 private:
  // The text's first whole characters that fit in maxBytes, single-byte letters in upper case.
  std::string UpperCharacters(const std::string& text, size_t maxBytes) const;

  uint32_t codePage_ = 1252;
};
