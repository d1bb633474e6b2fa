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

// A new file takes 0666 less the umask, as a shell's redirection would make it, unless it is
// asked to be private; a file that is replaced keeps the mode it had, whatever the umask.
TEST_F(FileIO, NewFilesTakeTheUmaskReplacedFilesKeepTheirMode) {
    struct TCase {
        mode_t Umask;
        bool Private;
        mode_t Mode;
    } cases[] = {
        {022, false, 0644}, {077, false, 0600}, {002, false, 0664},
        {000, false, 0666}, {022, true, 0600},  {000, true, 0600},
    };
    mode_t saved = umask(022);
    std::string error;
    for (const TCase& c : cases) {
        umask(c.Umask);
        fs::path file = dir / "new.txt";
        fs::remove(file);
        TWriteOptions options;
        options.PrivateNewFile = c.Private;
        ASSERT_TRUE(U_WriteFileAtomic(file.string(), "x", error, options)) << error;
        struct stat st {};
        ASSERT_EQ(stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.Mode)
            << "umask " << std::oct << c.Umask << (c.Private ? ", private" : "");
    }
    for (mode_t kept : {0640, 0604, 0600}) {
        fs::path file = dir / "old.txt";
        std::ofstream(file) << "old";
        ASSERT_EQ(chmod(file.c_str(), kept), 0);
        umask(kept == 0600 ? 0 : 077);
        TWriteOptions options;
        options.PrivateNewFile = kept == 0604;
        ASSERT_TRUE(U_WriteFileAtomic(file.string(), "new", error, options)) << error;
        struct stat st {};
        ASSERT_EQ(stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, kept);
    }
    umask(saved);
}
