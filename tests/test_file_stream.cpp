#include "assets/file_stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support.h"

using testing_support::scratchPath;

namespace {

std::string makeFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::string path = scratchPath(name);
    EXPECT_TRUE(testing_support::writeFile(path, bytes));
    return path;
}

TEST(FileStream, ClosedStreamIsAtEndAndAFailedReopenClosesTheFirstFile) {
    FileStream stream;
    EXPECT_TRUE(stream.atEnd);
    std::uint8_t byte = 0;
    EXPECT_FALSE(stream.read(&byte, 1) || stream.seek(0) || stream.skip(1));
    EXPECT_EQ(stream.fileSize(), -1);
    ASSERT_TRUE(stream.open(makeFile("first.bin", {1, 2, 3}).c_str(), "rb"));
    EXPECT_FALSE(stream.atEnd);
    ASSERT_TRUE(stream.open(makeFile("second.bin", {9}).c_str(), "rb"));
    ASSERT_TRUE(stream.read(&byte, 1));
    EXPECT_EQ(byte, 9);
    EXPECT_FALSE(stream.open(scratchPath("missing.bin").c_str(), "rb"));
    EXPECT_EQ(stream.file, nullptr);
    EXPECT_TRUE(stream.atEnd);
    ASSERT_TRUE(stream.open(makeFile("empty.bin", {}).c_str(), "rb"));
    EXPECT_EQ(stream.fileSize(), 0);
}

TEST(FileStream, ReadingExactlyTheRestSucceedsAndOneMoreHitsTheEnd) {
    FileStream stream;
    ASSERT_TRUE(stream.open(makeFile("exact.bin", {10, 20, 30, 40, 50}).c_str(), "rb"));
    std::uint8_t bytes[5] = {};
    EXPECT_FALSE(stream.read(bytes, 0));  // a zero-byte read reports failure, not the end
    EXPECT_FALSE(stream.atEnd);
    ASSERT_TRUE(stream.read(bytes, 2) && stream.read(bytes + 2, 3));
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 5),
              (std::vector<std::uint8_t>{10, 20, 30, 40, 50}));
    EXPECT_FALSE(stream.atEnd);
    EXPECT_FALSE(stream.read(bytes, 1));
    EXPECT_TRUE(stream.atEnd);
    // A block longer than the rest fails as a whole.
    ASSERT_TRUE(stream.open(makeFile("short.bin", {1, 2, 3}).c_str(), "rb"));
    EXPECT_FALSE(stream.read(bytes, 4));
    EXPECT_TRUE(stream.atEnd);
}

TEST(FileStream, SeekSkipTellAndFileSizeKeepThePosition) {
    FileStream stream;
    ASSERT_TRUE(stream.open(makeFile("seek.bin", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}).c_str(), "rb"));
    ASSERT_TRUE(stream.seek(5));
    EXPECT_EQ(stream.fileSize(), 10);
    EXPECT_EQ(stream.tell(), 5);
    std::uint8_t byte = 0;
    ASSERT_TRUE(stream.read(&byte, 1));
    EXPECT_EQ(byte, 5);
    ASSERT_TRUE(stream.skip(-4));
    EXPECT_EQ(stream.tell(), 2);
    ASSERT_TRUE(stream.skip(3) && stream.read(&byte, 1));
    EXPECT_EQ(byte, 5);
}

}  // namespace
