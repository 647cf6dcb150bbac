#include "assets/file_stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support.h"

using testing_support::scratchPath;
using testing_support::writeFile;

namespace {

std::string makeFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::string path = scratchPath(name);
    EXPECT_TRUE(writeFile(path, bytes));
    return path;
}

TEST(FileStream, NewAndUnopenedStreamsAreClosedAndHarmless) {
    FileStream stream;
    EXPECT_EQ(stream.file, nullptr);
    EXPECT_TRUE(stream.atEnd);
    std::uint8_t byte = 0;
    EXPECT_FALSE(stream.read(&byte, 1));
    EXPECT_TRUE(stream.atEnd);
    EXPECT_EQ(stream.fileSize(), -1);
    EXPECT_FALSE(stream.seek(0));
    EXPECT_FALSE(stream.skip(1));
    stream.close();
    stream.close();
    EXPECT_EQ(stream.file, nullptr);
    EXPECT_TRUE(stream.atEnd);
}

TEST(FileStream, OpenFailureLeavesTheStreamClosed) {
    FileStream stream;
    EXPECT_FALSE(stream.open(scratchPath("missing.bin").c_str(), "rb"));
    EXPECT_EQ(stream.file, nullptr);
    EXPECT_TRUE(stream.atEnd);
}

TEST(FileStream, SecondOpenClosesTheFirstEvenWhenItFails) {
    const std::string first = makeFile("first.bin", {1, 2, 3});
    const std::string second = makeFile("second.bin", {9});
    FileStream stream;
    ASSERT_TRUE(stream.open(first.c_str(), "rb"));
    EXPECT_FALSE(stream.atEnd);
    ASSERT_TRUE(stream.open(second.c_str(), "rb"));
    std::uint8_t byte = 0;
    ASSERT_TRUE(stream.read(&byte, 1));
    EXPECT_EQ(byte, 9);

    EXPECT_FALSE(stream.open(scratchPath("missing.bin").c_str(), "rb"));
    EXPECT_EQ(stream.file, nullptr);
    EXPECT_TRUE(stream.atEnd);
}

TEST(FileStream, ReadingExactlyTheRestSucceedsAndTheNextReadHitsTheEnd) {
    const std::string path = makeFile("exact.bin", {10, 20, 30, 40, 50});
    FileStream stream;
    ASSERT_TRUE(stream.open(path.c_str(), "rb"));
    std::uint8_t head[2] = {};
    ASSERT_TRUE(stream.read(head, 2));
    EXPECT_EQ(head[1], 20);
    std::uint8_t rest[3] = {};
    ASSERT_TRUE(stream.read(rest, 3));
    EXPECT_EQ(rest[0], 30);
    EXPECT_EQ(rest[2], 50);
    EXPECT_FALSE(stream.atEnd);
    std::uint8_t more = 0;
    EXPECT_FALSE(stream.read(&more, 1));
    EXPECT_TRUE(stream.atEnd);
}

TEST(FileStream, ShortBlockReadFailsAtTheEnd) {
    const std::string path = makeFile("short.bin", {1, 2, 3});
    FileStream stream;
    ASSERT_TRUE(stream.open(path.c_str(), "rb"));
    std::uint8_t block[4] = {};
    EXPECT_FALSE(stream.read(block, 4));
    EXPECT_TRUE(stream.atEnd);
}

TEST(FileStream, ZeroByteReadReportsFailure) {
    const std::string path = makeFile("zero.bin", {1, 2, 3});
    FileStream stream;
    ASSERT_TRUE(stream.open(path.c_str(), "rb"));
    std::uint8_t byte = 0;
    EXPECT_FALSE(stream.read(&byte, 0));
    EXPECT_FALSE(stream.atEnd);
    EXPECT_TRUE(stream.read(&byte, 1));
    EXPECT_EQ(byte, 1);
}

TEST(FileStream, SeekSkipAndTellMoveThroughTheFile) {
    const std::string path = makeFile("seek.bin", {0, 1, 2, 3, 4, 5, 6, 7});
    FileStream stream;
    ASSERT_TRUE(stream.open(path.c_str(), "rb"));
    ASSERT_TRUE(stream.seek(5));
    EXPECT_EQ(stream.tell(), 5);
    std::uint8_t byte = 0;
    ASSERT_TRUE(stream.read(&byte, 1));
    EXPECT_EQ(byte, 5);
    ASSERT_TRUE(stream.skip(-4));
    EXPECT_EQ(stream.tell(), 2);
    ASSERT_TRUE(stream.skip(3));
    ASSERT_TRUE(stream.read(&byte, 1));
    EXPECT_EQ(byte, 5);
}

TEST(FileStream, FileSizeKeepsThePosition) {
    const std::string path = makeFile("size.bin", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    FileStream stream;
    ASSERT_TRUE(stream.open(path.c_str(), "rb"));
    ASSERT_TRUE(stream.seek(3));
    EXPECT_EQ(stream.fileSize(), 10);
    EXPECT_EQ(stream.tell(), 3);
    std::uint8_t byte = 0;
    ASSERT_TRUE(stream.read(&byte, 1));
    EXPECT_EQ(byte, 3);

    const std::string empty = makeFile("empty.bin", {});
    ASSERT_TRUE(stream.open(empty.c_str(), "rb"));
    EXPECT_EQ(stream.fileSize(), 0);
    stream.close();
    EXPECT_EQ(stream.fileSize(), -1);
}

}  // namespace
