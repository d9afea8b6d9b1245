// An owning byte string: paths, registry data, command and message texts.
//
// The setup runs on systems whose C++ runtime we cannot take code from, so this
// is our own small string built on the C library's allocator. It holds any
// length and is always NUL-terminated; nothing composed with it is ever cut.
#pragma once

#include <stddef.h>

class ByteString {
 public:
  ByteString();
  ByteString(const char* text);  // NOLINT(google-explicit-constructor): literals read naturally
  ByteString(const char* bytes, size_t size);
  ByteString(const ByteString& other);
  ByteString(ByteString&& other) noexcept;
  ByteString& operator=(const ByteString& other);
  ByteString& operator=(ByteString&& other) noexcept;
  ~ByteString();

  const char* c_str() const { return bytes_; }
  // Writable bytes, for a system call that may change them in place.
  char* data() { return bytes_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  unsigned char at(size_t index) const { return static_cast<unsigned char>(bytes_[index]); }
  bool Contains(char byte) const;

  ByteString& Append(const char* bytes, size_t size);
  ByteString& operator+=(const char* text);
  ByteString& operator+=(const ByteString& other);
  // Drops the last byte; the string must not be empty.
  void DropLast();
  // Makes the string size bytes long, new bytes NUL, for a system call to fill through data().
  void Resize(size_t size);

 private:
  void Reserve(size_t capacity);

  char* bytes_;
  size_t size_;
  size_t capacity_;  // 0 while bytes_ points at the shared empty text
};

ByteString operator+(const ByteString& left, const char* right);
ByteString operator+(const ByteString& left, const ByteString& right);
bool operator==(const ByteString& left, const char* right);
