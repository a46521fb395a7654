// The text conversions, the system-path probes and the full-path split.
#include <gtest/gtest.h>

#include "api/Container.h"
#include "platform/SystemPath.h"
#include "platform/Text.h"
#include "support/TempDir.h"

using namespace kivfs;
using kivfs_test::TempDir;

TEST(NormalizeSlashes, ReplacesEveryBackslashAndNothingElse) {
    std::string text = "a\\b\\\\c";
    NormalizeSlashes(text);
    EXPECT_EQ(text, "a/b//c");
    std::string plain = "x//y/";
    NormalizeSlashes(plain);
    EXPECT_EQ(plain, "x//y/");
}

TEST(ToUtf16, ConvertsBasicAndSupplementaryCharacters) {
    EXPECT_EQ(ToUtf16(""), u"");
    EXPECT_EQ(ToUtf16("\xC3\xA9"), u"\u00E9");
    EXPECT_EQ(ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(ToUtf16("\xF0\x9F\x98\x80").size(), 2u);
    EXPECT_EQ(ToUtf16("a/\xE6\x97\xA5"), u"a/\u65E5");
}

TEST(ToUtf16, ReplacesIllFormedInputWithoutLosingWhatFollows) {
    EXPECT_EQ(ToUtf16("\x80"), u"\uFFFD");            // stray continuation
    EXPECT_EQ(ToUtf16("a\xC3"), u"a\uFFFD");          // truncated at the end
    EXPECT_EQ(ToUtf16("\xE6\x97z"), u"\uFFFDz");      // truncated, one replacement
    EXPECT_EQ(ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong "/"
#if defined(_WIN32)
    // The system's conversion decides how many replacements a sequence that
    // starts well but cannot end well gets (Wine's count differs from
    // Windows'); only replacements come out.
    for (const char* bad : {"\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
        const std::u16string out = ToUtf16(bad);
        EXPECT_FALSE(out.empty());
        EXPECT_EQ(out.find_first_not_of(u'\uFFFD'), std::u16string::npos);
    }
#else
    EXPECT_EQ(ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");            // encoded surrogate
    EXPECT_EQ(ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // above U+10FFFF
#endif
    EXPECT_EQ(ToUtf16("\xFF"
                      "b"),
              u"\uFFFD"
              "b");
}

TEST(ToUtf8, ConvertsSurrogatePairsAndReplacesLoneOnes) {
    EXPECT_EQ(ToUtf8(u""), "");
    EXPECT_EQ(ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(ToUtf8(u"\u00E9x"), "\xC3\xA9x");
    const char16_t lone[] = {0xD800, u'a', 0xDC00, 0};
    EXPECT_EQ(ToUtf8(lone),
              "\xEF\xBF\xBD"
              "a"
              "\xEF\xBF\xBD");
}

TEST(ToUtf8, RoundTripsWellFormedText) {
    const std::string text = "saves/\xC3\xA9t\xC3\xA9/\xF0\x9F\x8E\xAE.bin";
    EXPECT_EQ(ToUtf8(ToUtf16(text.c_str()).c_str()), text);
}

TEST(SystemPath, ProbesTellFilesDirectoriesAndMissingPaths) {
    TempDir dir;
    kivfs_test::WriteBytes(dir / "file.txt", "x");
    EXPECT_TRUE(IsSystemDirectory(dir.path().c_str()));
    EXPECT_FALSE(IsSystemFile(dir.path().c_str()));
    EXPECT_TRUE(IsSystemFile((dir / "file.txt").c_str()));
    EXPECT_FALSE(IsSystemDirectory((dir / "file.txt").c_str()));
    EXPECT_FALSE(IsSystemFile((dir / "missing").c_str()));
    EXPECT_FALSE(IsSystemDirectory((dir / "missing").c_str()));
    EXPECT_FALSE(IsSystemFile(""));
    EXPECT_FALSE(IsSystemDirectory(nullptr));
}

TEST(SystemPath, CreatesOneLevelOnlyAndOnlyOnce) {
    TempDir dir;
    EXPECT_FALSE(CreateSystemDirectory((dir / "a/b").c_str()));
    EXPECT_FALSE(kivfs_test::PathExists(dir / "a"));
    EXPECT_TRUE(CreateSystemDirectory((dir / "a").c_str()));
    EXPECT_FALSE(CreateSystemDirectory((dir / "a").c_str()));
    EXPECT_TRUE(IsSystemDirectory((dir / "a").c_str()));
}

TEST(SplitPath, ExistingPathsSplitAtTheLastSlash) {
    TempDir dir;
    kivfs_test::WriteBytes(dir / "report.txt", "x");
    auto split = SplitPath((dir / "report.txt").c_str());
    ASSERT_TRUE(split);
    EXPECT_EQ(split->container, dir.path() + "/");
    EXPECT_EQ(split->inner, "report.txt");

    split = SplitPath((dir.path() + "\\").c_str());
    ASSERT_TRUE(split);
    EXPECT_EQ(split->container, dir.path() + "/");
    EXPECT_EQ(split->inner, "");
}

TEST(SplitPath, OtherPathsSplitAtTheLastColon) {
    auto split = SplitPath("/no/such/pack.zip:img\\logo.png");
    ASSERT_TRUE(split);
    EXPECT_EQ(split->container, "/no/such/pack.zip:");
    EXPECT_EQ(split->inner, "img/logo.png");

    split = SplitPath("a:b:c");
    ASSERT_TRUE(split);
    EXPECT_EQ(split->container, "a:b:");
    EXPECT_EQ(split->inner, "c");

    EXPECT_FALSE(SplitPath("/no/such/file.txt"));
}
