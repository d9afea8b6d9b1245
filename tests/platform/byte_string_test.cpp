#include "platform/byte_string.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ByteString, HoldsAnyLengthWithItsTerminator) {
  ByteString text = "C:\\WINDOWS";
  for (int i = 0; i < 100; ++i) text += "\\temp";
  EXPECT_EQ(10u + 500u, text.size());
  EXPECT_EQ('\0', text.c_str()[text.size()]);
}

TEST(ByteString, KeepsEveryByteIncludingHighAndNul) {
  const char bytes[] = {'\x95', '\x5C', '\0', 'x'};
  ByteString text(bytes, 4);
  EXPECT_EQ(4u, text.size());
  EXPECT_EQ(0x95, text.at(0));
  EXPECT_EQ('x', text.at(3));
  EXPECT_TRUE(text.Contains('\0'));
  EXPECT_FALSE(text.Contains(' '));
}

TEST(ByteString, AppendingItselfDoublesIt) {
  ByteString text = "ab";
  for (int i = 0; i < 6; ++i) text += text;
  EXPECT_EQ(128u, text.size());
  EXPECT_EQ("abab", std::string(text.c_str(), 4));
}

// Appending a part of its own bytes while the buffer grows: the part must be
// read from where it is, not from the buffer the growth left behind.
TEST(ByteString, AppendingItsOwnBytesWhileGrowingKeepsThem) {
  struct Case {
    size_t offset;
    size_t length;
  } cases[] = {{0, 64}, {1, 8}, {8, 8}, {60, 4}, {63, 1}};
  const std::string original = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-_";
  for (const Case& c : cases) {
    ByteString text(original.c_str());  // exactly as long as its buffer
    ByteString neighbour("n");          // allocated next to it, so that growing moves it
    text.Append(text.c_str() + c.offset, c.length);
    EXPECT_EQ(original + original.substr(c.offset, c.length),
              std::string(text.c_str(), text.size()))
        << "offset " << c.offset << ", length " << c.length;
  }
}

TEST(ByteString, CopiesAndMovesAreIndependent) {
  ByteString original = "D:\\WIN98\\";
  ByteString copy = original;
  original.DropLast();
  EXPECT_TRUE(original == "D:\\WIN98");
  EXPECT_TRUE(copy == "D:\\WIN98\\");
  ByteString moved = static_cast<ByteString&&>(copy);
  EXPECT_TRUE(moved == "D:\\WIN98\\");
  EXPECT_TRUE(copy.empty());
  copy = moved;
  moved = ByteString();
  EXPECT_TRUE(copy == "D:\\WIN98\\");
  EXPECT_TRUE(moved == "");
}

}  // namespace
