#include "simulator/simulated_text.h"

#include <stdio.h>

std::string Lower(const std::string& text) {
  std::string folded = text;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

std::string Upper(const std::string& text) {
  std::string raised = text;
  for (char& c : raised) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return raised;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (c == separator) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

std::string Printable(const std::string& bytes) {
  std::string shown;
  for (unsigned char c : bytes) {
    if (c == '\n') {
      shown += "\\n";
    } else if (c >= 0x20 && c < 0x7F) {
      shown += static_cast<char>(c);
    } else {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\x%02X", c);
      shown += escaped;
    }
  }
  return shown;
}

std::string Hex(uint32_t value) {
  char text[16];
  snprintf(text, sizeof text, "0x%X", value);
  return text;
}

std::string Dec(uint64_t value) { return std::to_string(value); }

std::string Flag(bool value) { return value ? "1" : "0"; }

std::string ShownText(const char* text) { return text == nullptr ? std::string("(null)") : text; }
