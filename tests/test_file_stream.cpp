#include "assets/file_stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "assets/image.h"
#include "assets/scene_object.h"
#include "tests/support.h"

using testing_support::scratchPath;

namespace {

std::string makeFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::string path = scratchPath(name);
    EXPECT_TRUE(testing_support::writeFile(path, bytes));
    return path;
}

// Only regular files are opened, at once, and a refusal says why; a failed
// open still closes the file opened before, and the readers pass the reason on.
TEST(FileStream, OpensRegularFilesOnlyAndARefusalClosesTheFirstFile) {
    FileStream stream;
    EXPECT_TRUE(stream.atEnd);
    std::uint8_t byte = 0;
    EXPECT_FALSE(stream.read(&byte, 1) || stream.seek(0) || stream.skip(1));
    EXPECT_EQ(stream.fileSize(), -1);
    std::vector<std::pair<std::string, std::string>> cases = {
        {scratchPath("missing.bin"), "No such file or directory"},
        {testing_support::scratchDirectory(), "not a regular file"},
        {makeFile("write.bin", {1}), "Invalid argument"},  // opened for reading only
    };
#ifndef _WIN32
    // Opening a FIFO for reading waits for a writer: a blocking open never returns here.
    const std::string fifo = scratchPath("fifo.lwo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    cases.insert(cases.end(), {{fifo, "not a regular file"}, {"/dev/zero", "not a regular file"}});
#else
    cases.push_back({"NUL", "not a regular file"});
#endif
    for (const auto& [path, reason] : cases) {
        SCOPED_TRACE(path);
        ReadFailure why;
        ASSERT_TRUE(stream.open(makeFile("first.bin", {1, 2, 3}).c_str(), "rb"));
        EXPECT_FALSE(stream.atEnd);
        EXPECT_FALSE(stream.open(path.c_str(), reason[0] == 'I' ? "r+b" : "rb", &why));
        EXPECT_TRUE(stream.file == nullptr && stream.atEnd);
        EXPECT_STREQ(why.text, reason.c_str());
        SceneObject object;
        Image image;
        EXPECT_FALSE(reason[0] != 'I' &&
                     (object.loadLwo(path.c_str()) || readBmp(path.c_str(), &image)));
        EXPECT_TRUE(reason[0] == 'I' ||
                    (object.failure.text == reason && image.failure.text == reason));
    }
    ASSERT_TRUE(stream.open(makeFile("empty.bin", {}).c_str(), "rb"));
    EXPECT_EQ(stream.fileSize(), 0);
}
TEST(FileStream, SeeksKeepThePositionReadingExactlyTheRestSucceedsOneMoreHitsTheEnd) {
    FileStream stream;
    ASSERT_TRUE(stream.open(makeFile("exact.bin", {10, 20, 30, 40, 50}).c_str(), "rb"));
    std::uint8_t bytes[5] = {};
    EXPECT_FALSE(stream.read(bytes, 0));  // a zero-byte read reports failure, not the end
    EXPECT_FALSE(stream.atEnd);
    // Seeking, skipping back and asking the size keep the position.
    ASSERT_TRUE(stream.read(bytes, 2) && stream.seek(4) && stream.skip(-2));
    ASSERT_TRUE(stream.fileSize() == 5 && stream.tell() == 2 && stream.read(bytes + 2, 3));
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

}  // namespace
