// The settings file as a hostile or careless environment leaves it: special
// files, huge files, read-only files, and another program writing at once.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSettings>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "platform/qsettings_store.h"
#include "platform/settings_file_update.h"

namespace zorvan {
namespace {

namespace fs = std::filesystem;

class SettingsFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/zorvan-settings-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        path_ = (dir_ / "Zorvan.conf").string();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // Replaces the file the way a careful tool does: a new file, renamed over.
    void replaceFile(const std::string& text, fs::perms perms = fs::perms(0644)) const {
        const fs::path temp = dir_ / "Zorvan.conf.new";
        std::ofstream(temp) << text;
        fs::permissions(temp, perms);
        fs::rename(temp, path_);
    }

    static struct stat statOf(const std::string& path) {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return st;
    }

    fs::path dir_;
    std::string path_;
};

// Runs `body` in a child process as an ordinary user (nobody, when the test
// runs as root, since root may write any file); `body` answers 0 for success
// or a number that says which check failed. `dir` is handed to that user.
int asOrdinaryUser(const fs::path& dir, const std::function<int()>& body) {
    const passwd* nobody = ::getpwnam("nobody");
    const bool root = ::geteuid() == 0;
    if (root && nobody == nullptr) {
        return 100;
    }
    if (root && ::chown(dir.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
        return 101;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 ||
                     ::setuid(nobody->pw_uid) != 0)) {
            ::_exit(102);
        }
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200 + WTERMSIG(status);
}

TEST_F(SettingsFile, FilesThatAreNoSettingsReadAsEmptyWithoutBlockingOrReading) {
    const std::string big = "[General]\nDotCount=2\nPad=" + std::string(2 << 20, 'x') + "\n";
    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
        const char* problem;  // how the reason ends
    };
    const Case cases[] = {
        {"a FIFO", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
         " is not a regular file"},
        {"a directory", [](const std::string& p) { fs::create_directory(p); },
         " is not a regular file"},
        {"a file over 1 MB", [&big](const std::string& p) { std::ofstream(p) << big; },
         " is larger than 1 MB"},
        {"a symlink loop", [](const std::string& p) { fs::create_symlink(p, p); },
         ": Too many levels of symbolic links"},
        {"garbage", [](const std::string& p) { std::ofstream(p) << "\x01\x02garbage\n[[[\n="; },
         " does not parse as a settings file"},
        {"no file", [](const std::string&) {}, nullptr},  // created by the publish
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::error_code ignored;
        fs::remove_all(path_, ignored);
        c.make(path_);
        const auto typeBefore = fs::symlink_status(path_).type();

        QSettingsStore store(QString::fromStdString(path_));
        // What a load does: publish the pid, synchronize, read. A load that
        // blocks in open() is ended by the alarm, and the test with it.
        ::alarm(10);
        store.setIntegerForKey(4321, "ZorvanPid");
        store.synchronize();
        EXPECT_EQ(store.integerForKey("DotCount"), 0);
        ::alarm(0);
        const std::string problem = store.readProblem();
        if (c.problem == nullptr) {
            EXPECT_EQ(problem, "");
            EXPECT_EQ(store.writeProblem(), "");
            EXPECT_EQ(QSettings(QString::fromStdString(path_), QSettings::IniFormat)
                          .value("ZorvanPid")
                          .toInt(),
                      4321);
            continue;
        }
        EXPECT_EQ(problem.find(path_), problem.starts_with("cannot read ") ? 12u : 0u) << problem;
        EXPECT_TRUE(problem.ends_with(c.problem)) << problem;
        // Nothing is written over a file that was not read.
        EXPECT_EQ(fs::symlink_status(path_).type(), typeBefore) << "the file was replaced";
        EXPECT_EQ(store.writeProblem(), "cannot publish ZorvanPid: " + problem);
    }
}

// The write itself, on whatever stands at the path when it runs (the store
// checked the file when it read it, but anything may be there by the write).
TEST_F(SettingsFile, AnUpdateWritesOnlyOverARegularFileItMayWriteAndNeverBlocks) {
    using Status = SettingsFileUpdate::Status;
    const std::string other = (dir_ / "elsewhere.conf").string();
    struct Case {
        const char* name;
        std::function<void()> make;
        Status status;
        std::string kept;  // text the path must still lead to afterwards
    };
    const Case cases[] = {
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0); }, Status::NotRead, ""},
        {"a directory", [&] { fs::create_directory(path_); }, Status::NotRead, ""},
        {"a file with other keys", [&] { replaceFile("[General]\nDotCount=2\nZorvanPid=1\n"); },
         Status::Done, "DotCount=2"},
        {"no file, no folder", [&] { fs::remove_all(dir_); }, Status::Done, ""},
        {"a link to the file",
         [&] {
             std::ofstream(other) << "[General]\nDotCount=3\n";
             fs::create_symlink(other, path_);
         },
         Status::Done, "DotCount=3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
        fs::create_directory(dir_);
        c.make();
        const auto typeBefore = fs::symlink_status(path_).type();
        ::alarm(10);  // a write that blocks in open() ends the test
        const SettingsFileUpdate update = updateSettingsFile(
            QString::fromStdString(path_), [](QSettings& file) { file.setValue("ZorvanPid", 42); });
        ::alarm(0);
        EXPECT_EQ(update.status, c.status) << update.reason;
        if (c.status != Status::Done) {
            EXPECT_EQ(fs::symlink_status(path_).type(), typeBefore) << "the path was replaced";
            continue;
        }
        EXPECT_EQ(fs::symlink_status(path_).type(),
                  typeBefore == fs::file_type::not_found ? fs::file_type::regular : typeBefore);
        std::ifstream in(path_);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        EXPECT_NE(text.find("ZorvanPid=42"), std::string::npos) << text;
        EXPECT_NE(text.find(c.kept), std::string::npos) << text;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), c.kept == "DotCount=3" ? 2 : 1)
            << "a temporary or lock file was left behind";
    }
    // A file made read-only on purpose stays as it is, even for root.
    replaceFile("[General]\nDotCount=2\n", fs::perms(0444));
    const int result = asOrdinaryUser(dir_, [this] {
        const auto update = updateSettingsFile(QString::fromStdString(path_),
                                               [](QSettings& file) { file.setValue("A", 1); });
        return update.status == Status::WriteFailed && update.reason == "Permission denied" ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
}

TEST_F(SettingsFile, APidAlreadyThereIsNotWrittenAgain) {
    replaceFile("[General]\nDotCount=2\nZorvanPid=4321\n");
    const struct stat before = statOf(path_);
    QSettingsStore store(QString::fromStdString(path_));
    for (int load = 0; load < 3; ++load) {
        store.setIntegerForKey(4321, "ZorvanPid");
        store.synchronize();
    }
    const struct stat after = statOf(path_);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(store.integerForKey("DotCount"), 2);

    // A new pid is written, by a rename over the old file, keeping the rest.
    store.setIntegerForKey(99, "ZorvanPid");
    store.synchronize();
    EXPECT_NE(statOf(path_).st_ino, before.st_ino);
    QSettings file(QString::fromStdString(path_), QSettings::IniFormat);
    EXPECT_EQ(file.value("ZorvanPid").toInt(), 99);
    EXPECT_EQ(file.value("DotCount").toInt(), 2);
}

TEST_F(SettingsFile, AToolWritingDuringLoadsKeepsEveryLine) {
    replaceFile("[General]\nZorvanPid=" + std::to_string(::getpid()) + "\n");
    constexpr int kKeys = 40;
    const pid_t tool = ::fork();
    if (tool == 0) {
        // A tool saving its soft keys one by one: it reads the file, adds a
        // line and renames the new file over the old one (without a lock).
        for (int k = 0; k < kKeys; ++k) {
            std::ifstream in(path_);
            std::string text((std::istreambuf_iterator<char>(in)), {});
            text += "TKey" + std::to_string(k) + ".x=" + std::to_string(k + 1) + "\n";
            replaceFile(text);
            ::usleep(1000);
        }
        ::_exit(0);
    }
    ASSERT_GT(tool, 0);
    QSettingsStore store(QString::fromStdString(path_));
    int status = 0;
    while (::waitpid(tool, &status, WNOHANG) == 0) {
        store.setIntegerForKey(::getpid(), "ZorvanPid");
        store.synchronize();
    }
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QSettings file(QString::fromStdString(path_), QSettings::IniFormat);
    for (int k = 0; k < kKeys; ++k) {
        EXPECT_EQ(file.value(QStringLiteral("TKey%1.x").arg(k)).toInt(), k + 1) << k;
    }
}

TEST_F(SettingsFile, AReadOnlyFileIsStillReloadedAndTheFailedPublishIsTold) {
    const int result = asOrdinaryUser(dir_, [this] {
        replaceFile("[General]\nDotCount=2\n", fs::perms(0444));
        QSettingsStore store(QString::fromStdString(path_));
        store.setIntegerForKey(4321, "ZorvanPid");
        store.synchronize();
        if (store.integerForKey("DotCount") != 2) {
            return 1;
        }
        // The tool saves a new calibration (and leaves the file read-only).
        replaceFile("[General]\nDotCount=3\n", fs::perms(0444));
        store.setIntegerForKey(4321, "ZorvanPid");
        store.synchronize();
        if (store.integerForKey("DotCount") != 3) {
            return 2;
        }
        if (store.writeProblem() !=
            "cannot publish ZorvanPid in " + path_ + ": Permission denied") {
            return 3;
        }
        return 0;
    });
    EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace zorvan
