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
