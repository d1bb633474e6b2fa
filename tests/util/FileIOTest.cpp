#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

#include "util/FileIO.h"

namespace fs = std::filesystem;
using namespace trovalen;

namespace {

class FileIO : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("trovalen-fileio-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    static std::string Read(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    size_t FilesInDir() const {
        return static_cast<size_t>(
            std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }

    fs::path dir;
};

} // namespace

TEST_F(FileIO, WritesReplaceTheFileInOneStep) {
    fs::path file = dir / "report.txt";
    std::ofstream(file) << "old";
    struct stat before {};
    ASSERT_EQ(stat(file.c_str(), &before), 0);
    std::string error;
    ASSERT_TRUE(U_WriteFileAtomic(file.string(), "new content", error)) << error;
    struct stat after {};
    ASSERT_EQ(stat(file.c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino) << "a new file took the old one's place";
    EXPECT_EQ(Read(file), "new content");
    EXPECT_EQ(FilesInDir(), 1u);
}

// A pipe or a device cannot be renamed over: the content goes into it, and it stays what it is.
TEST_F(FileIO, PipesAndDevicesAreWrittenInPlace) {
    fs::path fifo = dir / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    std::string received;
    std::thread reader([&] {
        int fd = open(fifo.c_str(), O_RDONLY);
        char buf[256];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0)
            received.append(buf, static_cast<size_t>(n));
        close(fd);
    });
    std::string error;
    bool written = U_WriteFileAtomic(fifo.string(), "through the pipe\n", error);
    reader.join();
    EXPECT_TRUE(written) << error;
    EXPECT_EQ(received, "through the pipe\n");
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(FilesInDir(), 1u) << "no temporary file left beside it";

    // A full device: the failure is reported, and the device node stays a device node.
    fs::path full = dir / "full";
    if (mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        GTEST_SKIP() << "no device node can be made here: " << std::strerror(errno);
    EXPECT_FALSE(U_WriteFileAtomic(full.string(), "lost", error));
    EXPECT_EQ(error, std::strerror(ENOSPC));
    EXPECT_TRUE(fs::is_character_file(full));
    fs::path null = dir / "null";
    ASSERT_EQ(mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    EXPECT_TRUE(U_WriteFileAtomic(null.string(), "gone", error)) << error;
    EXPECT_TRUE(fs::is_character_file(null));
}
