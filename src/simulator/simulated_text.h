// Small text helpers of the simulated machine: case folding as the target
// systems fold names, and bytes as its logs show them.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

std::string Lower(const std::string& text);  // ASCII letters only, as the systems fold names
std::string Upper(const std::string& text);
std::vector<std::string> Split(const std::string& text, char separator);
// Printable ASCII as is, a line feed as \n, other bytes as \xNN.
std::string Printable(const std::string& bytes);
std::string Hex(uint32_t value);  // 0x1F
std::string Dec(uint64_t value);
std::string Flag(bool value);             // "1" or "0", as a BOOL result shows
std::string ShownText(const char* text);  // the text, or "(null)"
