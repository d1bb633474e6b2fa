#include "settings/Cache.h"

#include "SettingsTestEnv.h"
#include "util/Util.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace trovalen;
using namespace trovalen::test;

namespace {
class CacheTest : public SettingsTest {};
} // namespace

TEST_F(CacheTest, EntriesComeBackAsWritten) {
    TCache cache;
    EXPECT_EQ(cache.ReadValue("Attr - User", "Joe.SALES.ACME"), "") << "never written";
    cache.WriteValue("Attr - User", "Joe.SALES.ACME", U_Quoted("  Joe \"JJ\" Miller  "));
    EXPECT_EQ(cache.ReadValue("Attr - User", "Joe.SALES.ACME"), "  Joe \"JJ\" Miller  ");
    EXPECT_EQ(cache.ReadValue("attr - user", "JOE.sales.acme"), "  Joe \"JJ\" Miller  ");
    cache.WriteValue("Attr - User", "Empty", U_Quoted(""));
    EXPECT_EQ(cache.ReadValue("Attr - User", "Empty"), "") << "an empty expansion is a miss";

    // Brackets leave the key: 'a[1]' and 'a1' are one entry.
    cache.WriteValue("Attr - [Group]", "a[1]", "first");
    EXPECT_EQ(cache.ReadValue("Attr - Group", "a1"), "first");
    EXPECT_EQ(cache.ReadValue("Attr - Group", "[a1]"), "first");
    cache.WriteValue("Attr - Group", "a1", "second");
    EXPECT_EQ(cache.ReadValue("Attr - Group", "a[1]"), "second");
    EXPECT_TRUE(messages.empty());

    // The same value again leaves the file alone.
    ino_t before = Inode(cache.FileName());
    cache.WriteValue("Attr - User", "Joe.SALES.ACME", U_Quoted("  Joe \"JJ\" Miller  "));
    EXPECT_EQ(Inode(cache.FileName()), before);
}

TEST_F(CacheTest, TheFileIsPrivateToThisInstanceAndGoesAtTheEnd) {
    std::string name1, name2;
    {
        TCache one;
        TCache two;
        name1 = one.FileName();
        name2 = two.FileName();
        ASSERT_FALSE(name1.empty());
        EXPECT_NE(name1, name2) << "every instance has a file of its own";
        EXPECT_TRUE(U_StartsWith(name1, Path("run") + "/trovalen-tmp/~"));
        one.WriteValue("S", "k", "from one");
        EXPECT_EQ(two.ReadValue("S", "k"), "");
        struct stat st {};
        ASSERT_EQ(stat(name1.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        ASSERT_EQ(stat((Path("run") + "/trovalen-tmp").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    EXPECT_FALSE(fs::exists(name1));
    EXPECT_FALSE(fs::exists(name2));
    EXPECT_EQ(HiddenFiles(Path("run") + "/trovalen-tmp"), 0);
}

TEST_F(CacheTest, AnUnsafeTemporaryFolderIsNotUsed) {
    // Another user's (or a world-writable) folder in the runtime place is refused; the cache
    // goes to a private folder in TMPDIR instead.
    fs::create_directories(Path("run") + "/trovalen-tmp");
    chmod((Path("run") + "/trovalen-tmp").c_str(), 0777);
    TCache cache;
    EXPECT_TRUE(U_StartsWith(cache.FileName(), Path("tmp") + "/trovalen-"));
    cache.WriteValue("S", "k", "v");
    EXPECT_EQ(cache.ReadValue("S", "k"), "v");

    // With no private folder at all the cache says so once and keeps nothing.
    setenv("XDG_RUNTIME_DIR", "", 1);
    setenv("TMPDIR", Path("missing/deeper").c_str(), 1);
    TCache none;
    EXPECT_EQ(none.FileName(), "");
    ASSERT_EQ(messages.size(), 1u);
    none.WriteValue("S", "k", "v");
    EXPECT_EQ(none.ReadValue("S", "k"), "");
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(CacheTest, AProgramEndedBySigtermOrSigintLeavesNoFileBehind) {
    for (int sig : {SIGTERM, SIGINT}) {
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // The child holds a cache, says where its file is, and waits for the signal.
            close(pipeFds[0]);
            TCache cache;
            cache.WriteValue("Attr - User", "Joe", "x");
            std::string name = cache.FileName() + "\n";
            if (write(pipeFds[1], name.data(), name.size()) < 0)
                _exit(3);
            for (;;)
                pause();
        }
        close(pipeFds[1]);
        std::string name;
        char c;
        while (read(pipeFds[0], &c, 1) == 1 && c != '\n')
            name += c;
        close(pipeFds[0]);
        ASSERT_FALSE(name.empty());
        EXPECT_EQ(access(name.c_str(), F_OK), 0) << "the file is there while the program runs";
        kill(child, sig);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig)
            << "the signal still ends the program";
        EXPECT_NE(access(name.c_str(), F_OK), 0) << name << " left behind by signal " << sig;
    }
}
