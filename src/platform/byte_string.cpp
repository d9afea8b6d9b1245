#include "platform/byte_string.h"

#include <stdlib.h>
#include <string.h>

namespace {
char kEmpty[1] = {0};
}  // namespace

ByteString::ByteString() : bytes_(kEmpty), size_(0), capacity_(0) {}

ByteString::ByteString(const char* text) : ByteString() { Append(text, strlen(text)); }

ByteString::ByteString(const char* bytes, size_t size) : ByteString() { Append(bytes, size); }

ByteString::ByteString(const ByteString& other) : ByteString() {
  Append(other.bytes_, other.size_);
}

ByteString::ByteString(ByteString&& other) noexcept
    : bytes_(other.bytes_), size_(other.size_), capacity_(other.capacity_) {
  other.bytes_ = kEmpty;
  other.size_ = 0;
  other.capacity_ = 0;
}

ByteString& ByteString::operator=(const ByteString& other) {
  if (this != &other) {
    size_ = 0;
    if (capacity_ != 0) bytes_[0] = '\0';
    Append(other.bytes_, other.size_);
  }
  return *this;
}

ByteString& ByteString::operator=(ByteString&& other) noexcept {
  if (this != &other) {
    if (capacity_ != 0) free(bytes_);
    bytes_ = other.bytes_;
    size_ = other.size_;
    capacity_ = other.capacity_;
    other.bytes_ = kEmpty;
    other.size_ = 0;
    other.capacity_ = 0;
  }
  return *this;
}

ByteString::~ByteString() {
  if (capacity_ != 0) free(bytes_);
}

bool ByteString::Contains(char byte) const { return memchr(bytes_, byte, size_) != nullptr; }

void ByteString::Reserve(size_t capacity) {
  if (capacity <= capacity_) return;
  char* grown = static_cast<char*>(realloc(capacity_ != 0 ? bytes_ : nullptr, capacity));
  // A setup that cannot get a few hundred bytes cannot do anything sound;
  // stopping is better than cutting a path.
  if (grown == nullptr) abort();
  if (capacity_ == 0) grown[0] = '\0';
  bytes_ = grown;
  capacity_ = capacity;
}

ByteString& ByteString::Append(const char* bytes, size_t size) {
  if (size == 0) return *this;
  // The bytes may be our own, which growing would move.
  bool own = bytes >= bytes_ && bytes < bytes_ + size_;
  size_t offset = own ? static_cast<size_t>(bytes - bytes_) : 0;
  size_t needed = size_ + size + 1;
  if (needed > capacity_) Reserve(needed > 2 * capacity_ ? needed : 2 * capacity_);
  memmove(bytes_ + size_, own ? bytes_ + offset : bytes, size);
  size_ += size;
  bytes_[size_] = '\0';
  return *this;
}

ByteString& ByteString::operator+=(const char* text) { return Append(text, strlen(text)); }

ByteString& ByteString::operator+=(const ByteString& other) {
  return Append(other.bytes_, other.size_);
}

void ByteString::DropLast() {
  --size_;
  bytes_[size_] = '\0';
}

void ByteString::Resize(size_t size) {
  if (size + 1 > capacity_) Reserve(size + 1);
  if (size > size_) memset(bytes_ + size_, 0, size - size_);
  size_ = size;
  bytes_[size_] = '\0';
}

ByteString operator+(const ByteString& left, const char* right) {
  ByteString joined(left);
  joined += right;
  return joined;
}

ByteString operator+(const ByteString& left, const ByteString& right) {
  ByteString joined(left);
  joined += right;
  return joined;
}

bool operator==(const ByteString& left, const char* right) {
  size_t size = strlen(right);
  return left.size() == size && memcmp(left.c_str(), right, size) == 0;
}
