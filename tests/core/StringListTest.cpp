#include "core/StringList.h"
#include "core/Exceptions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using vcl::LoadLinesFromFile;
using vcl::SplitLines;
using Lines = std::vector<std::string>;

namespace {

struct SplitCase {
    const char* name;
    std::string bytes;
    Lines expected;
};

// Built with sizes so NUL bytes survive.
std::string B(const char* s, size_t n) {
    return std::string(s, n);
}

const SplitCase kSplitCases[] = {
    {"CrLf", "a\r\nb\r\n", {"a", "b"}},
    {"Lf", "a\nb\n", {"a", "b"}},
    {"Cr", "a\rb\r", {"a", "b"}},
    {"LfCrIsTwoBreaks", "a\n\rb", {"a", "", "b"}},
    {"CrCrIsTwoBreaks", "a\r\rb", {"a", "", "b"}},
    {"CrLfLfIsTwoBreaks", "a\r\n\nb", {"a", "", "b"}},
    {"NoFinalBreak", "a\r\nb", {"a", "b"}},
    {"EmptyLineInMiddle", "a\n\nb\n", {"a", "", "b"}},
    {"OnlyABreak", "\r\n", {""}},
    {"Empty", "", {}},
    {"BlanksAndTabsKept", " a \t\r\n\tb ", {" a \t", "\tb "}},
    {"NulEndsText", B("a\nb\0c\nd\n", 8), {"a", "b"}},
    {"NulFirst", B("\0a\n", 3), {}},
    {"Utf16Le",
     B("\xFF\xFE"
       "a\0b\0",
       6),
     {"\xFF\xFE"
      "a"}},
    {"BomKeptInFirstEntry",
     "\xEF\xBB\xBF"
     "db1\r\ndb2",
     {"\xEF\xBB\xBF"
      "db1",
      "db2"}},
    {"HighBytesUnchanged", "\xF0\xFD\xE7\n", {"\xF0\xFD\xE7"}},
};

class SplitLinesTable : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitLinesTable, GivesEntries) {
    EXPECT_EQ(SplitLines(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Bytes, SplitLinesTable, testing::ValuesIn(kSplitCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SplitLines, MillionLinesQuickly) {
    std::string text;
    for (int i = 0; i < 1'000'000; ++i)
        text += "line " + std::to_string(i) + (i % 2 ? "\r\n" : "\n");
    auto start = std::chrono::steady_clock::now();
    Lines lines = SplitLines(text);
    auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(lines.size(), 1'000'000u);
    EXPECT_EQ(lines.front(), "line 0");
    EXPECT_EQ(lines.back(), "line 999999");
    // Generous even for a sanitizer build; a quadratic split would take minutes.
    EXPECT_LT(took, std::chrono::seconds(5));
}

namespace fs = std::filesystem;

class ListFile : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tavolix_list_" + std::to_string(::getpid()) + "_" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_ / "database.txt", fs::perms::owner_all, ec);
        fs::remove_all(dir_, ec);
    }
    std::string Write(const std::string& bytes) {
        fs::path p = dir_ / "database.txt";
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }
    // The message must name the full path and end with the system's text, its full stop removed.
    static void ExpectOpenError(const std::string& path, const std::string& expectedPath,
                                const std::string& reason) {
        try {
            LoadLinesFromFile(path);
            ADD_FAILURE() << "no error for " << path;
        } catch (const vcl::EFOpenError& e) {
            EXPECT_EQ(e.Message(), "Cannot open file \"" + expectedPath + "\". " + reason);
        }
    }
    fs::path dir_;
};

TEST_F(ListFile, ReadsBytesAsWritten) {
    EXPECT_EQ(LoadLinesFromFile(Write(B("\xEF\xBB\xBF"
                                        "a \r\n\r\nb\0c",
                                        12))),
              (Lines{"\xEF\xBB\xBF"
                     "a ",
                     "", "b"}));
    EXPECT_EQ(LoadLinesFromFile(Write("")), Lines{});
}

TEST_F(ListFile, ReadsLargeFileWhole) {
    std::string text;
    for (int i = 0; i < 50'000; ++i)
        text += "127.0.0.1/3050:/data/db" + std::to_string(i) + ".fdb\r\n";
    Lines lines = LoadLinesFromFile(Write(text));
    ASSERT_EQ(lines.size(), 50'000u);
    EXPECT_EQ(lines[49'999], "127.0.0.1/3050:/data/db49999.fdb");
}

TEST_F(ListFile, MissingFileIsOpenError) {
    std::string path = (dir_ / "database.txt").string();
    ExpectOpenError(path, path, "No such file or directory");
}

TEST_F(ListFile, DirectoryIsOpenError) {
    fs::create_directory(dir_ / "database.txt");
    std::string path = (dir_ / "database.txt").string();
    ExpectOpenError(path, path, "Is a directory");
}

TEST_F(ListFile, RelativePathIsReportedInFull) {
    fs::path old = fs::current_path();
    fs::current_path(dir_);
    ExpectOpenError("./sub/../database.txt", (dir_ / "database.txt").string(),
                    "No such file or directory");
    fs::current_path(old);
}

// Root may read any file, so the check runs in a child that gives up root first.
TEST_F(ListFile, UnreadableFileIsOpenError) {
    std::string path = Write("a\n");
    fs::permissions(path, fs::perms::none);
    fs::permissions(dir_, fs::perms::all);
    EXPECT_EXIT(
        {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                std::_Exit(2);
            try {
                LoadLinesFromFile(path);
            } catch (const vcl::EFOpenError& e) {
                std::fputs(e.Message().c_str(), stderr);
                std::_Exit(0);
            }
            std::_Exit(1);
        },
        testing::ExitedWithCode(0), "Cannot open file \"" + path + "\"\\. Permission denied");
}

// Reading can fail after a successful open; /proc/self/mem refuses a read at address 0.
TEST(ListFileRead, ReadFailureIsStreamError) {
    try {
        LoadLinesFromFile("/proc/self/mem");
        ADD_FAILURE() << "no error";
    } catch (const vcl::EFOpenError& e) {
        ADD_FAILURE() << "open should succeed: " << e.Message();
    } catch (const vcl::EStreamError& e) {
        EXPECT_EQ(e.Message(), "Cannot read file \"/proc/self/mem\". Input/output error");
    }
}

} // namespace
