#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "../src/front/arguments.h"
#include "../src/front/json.h"

static std::string Str(Text text) {
    return std::string(text.bytes, text.length);
}
static Text Txt(const std::string &s) {
    return Text{s.data(), s.size()};
}

TEST(TrimText, RemovesEveryByteUpToSpaceAtBothEndsOnly) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"   ", ""},
        {std::string("\x01\x1f \0", 4), ""},
        {"  temp  ", "temp"},
        {"\ttemp\r\n", "temp"},
        {"a b", "a b"},
        {"\x7f"
         "a\x7f",
         "\x7f"
         "a\x7f"},
        {"\x80x\xff", "\x80x\xff"},
        {std::string("\0x\0", 3), "x"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Str(TrimText(Txt(c.in))), c.out) << "input of " << c.in.size() << " bytes";
}

TEST(NormalizeArgument, TrimsThenDropsOnePrefixByte) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"/appdata", "appdata"},
        {"-AppData", "AppData"},
        {"+APPDATA", "APPDATA"},
        {"\\appdata", "appdata"},
        {"appdata", "appdata"},
        {"--appdata", "-appdata"},
        {"  temp  ", "temp"},
        {"- temp", " temp"},
        {"   ", ""},
        {"/", ""},
        {" /x ", "x"},
        {"*x", "*x"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Str(NormalizeArgument(Txt(c.in))), c.out) << c.in;
}

// An option names no folder; CREATE wins over NOVERIFY, and DEFAULT over
// both, in either order.
TEST(ReadOptionWord, TakesTheThreeOptionsInAnyCase) {
    const struct {
        std::string normal;
        FolderOption before;
        bool isOption;
        FolderOption after;
    } cases[] = {
        {"create", OPTION_NONE, true, OPTION_CREATE},
        {"NoVerify", OPTION_NONE, true, OPTION_NOVERIFY},
        {"noverify", OPTION_CREATE, true, OPTION_CREATE},
        {"CREATE", OPTION_NOVERIFY, true, OPTION_CREATE},
        {"creates", OPTION_NONE, false, OPTION_NONE},
        {"-create", OPTION_NONE, false, OPTION_NONE},
        {"no verify", OPTION_NONE, false, OPTION_NONE},
        {"appdata", OPTION_NOVERIFY, false, OPTION_NOVERIFY},
        {"", OPTION_CREATE, false, OPTION_CREATE},
        {"Default", OPTION_CREATE, true, OPTION_DEFAULT},
        {"create", OPTION_DEFAULT, true, OPTION_DEFAULT},
    };
    for (const auto &c : cases) {
        FolderOption option = c.before;
        EXPECT_EQ(ReadOptionWord(Txt(c.normal), &option), c.isOption) << c.normal;
        EXPECT_EQ(option, c.after) << c.normal;
    }
}

// Every word the rules give, word 0 included, up to the first empty one.
static std::vector<std::string> Words(const std::string &line, size_t capacity = 64) {
    std::vector<std::string> words;
    const char *cursor = line.c_str();
    for (;;) {
        std::string word(capacity, '?');
        size_t length = 99999;
        cursor = SplitWord(cursor, &word[0], capacity, &length);
        if (length == 0)
            return words;
        words.push_back(word.substr(0, length));
    }
}

TEST(SplitWord, FollowsTheProgramsOwnQuotingRules) {
    typedef std::vector<std::string> W;
    const struct {
        std::string line;
        W words;
    } cases[] = {
        {"", W{}},
        {"   \t\r\n", W{}},
        {"a b\tc", W{"a", "b", "c"}},
        {"\x01"
         "a\x20\x02"
         "b",
         W{"a", "b"}},
        {"\"\"", W{}},
        {"\"\" \"\"\"\"", W{}},
        {"\"", W{}},
        {"a \"", W{"a"}},
        {"a \"\"\"", W{"a"}},
        {"\"   \"", W{"   "}},
        {"\"a b\"c d", W{"a bc", "d"}},
        {"ab\"cd\"ef", W{"abcdef"}},
        {"\"\"ab", W{"ab"}},
        {"a\"\"b", W{"ab"}},
        {"x\"y appdata", W{"xy appdata"}},
        {"appdata\"", W{"appdata"}},
        {"\\\"temp", W{"\\temp"}},
        {"a\\\\\" b\"", W{"a\\\\ b"}},
        {"\xe9t\xe9 \x7f", W{"\xe9t\xe9", "\x7f"}},
        {"\"prog name.exe\" /appdata", W{"prog name.exe", "/appdata"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Words(c.line), c.words) << "line: " << c.line;
}

TEST(SplitWord, DropsBytesPastTheCapacityButWalksOn) {
    EXPECT_EQ(Words("abcdef gh", 4), (std::vector<std::string>{"abcd", "gh"}));
}

// One pass: each call starts where the last one stopped, so a long line of
// short words is walked once and the last word is still found whole.
TEST(SplitWord, WalksALongLineWordAfterWord) {
    std::string line;
    for (int i = 0; i < 16000; i++)
        line += i % 2 ? "b " : "\"a\" ";
    line += "appdata";
    std::vector<std::string> words = Words(line);
    ASSERT_EQ(words.size(), 16001u);
    EXPECT_EQ(words[0], "a");
    EXPECT_EQ(words[15999], "b");
    EXPECT_EQ(words[16000], "appdata");
}

TEST(EscapeJson, GivesAsciiThatAnyJsonReaderTurnsBackIntoThePath) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"C:\\Program Files\\", "C:\\\\Program Files\\\\"},
        {"say \"hi\"", "say \\\"hi\\\""},
        {"/ ~ '", "/ ~ '"},
        {std::string("\0\x01\t\n\r\x1f\x7f", 7),
         "\\u0000\\u0001\\u0009\\u000a\\u000d\\u001f\\u007f"},
        {"Müller", "M\\u00fcller"},
        {"C:\\Дмитрий\\", "C:\\\\\\u0414\\u043c\\u0438\\u0442\\u0440\\u0438\\u0439\\\\"},
        {"表 €\xEF\xBF\xBF", "\\u8868 \\u20ac\\uffff"},
        {"📁\xF4\x8F\xBF\xBF", "\\ud83d\\udcc1\\udbff\\udfff"},
        // Not UTF-8: each byte that starts no whole character.
        {"a\x80z", "a\\ufffdz"},
        {"\xC0\xAF", "\\ufffd\\ufffd"},
        {"\xED\xA0\x80", "\\ufffd\\ufffd\\ufffd"},
        {"\xF4\x90\x80\x80", "\\ufffd\\ufffd\\ufffd\\ufffd"},
        {"\xE6\x96", "\\ufffd\\ufffd"},
        {"\xFF", "\\ufffd"},
    };
    for (const auto &c : cases) {
        std::string out(JSON_BYTES_PER_BYTE * c.in.size(), '\0');
        out.resize(EscapeJson(Txt(c.in), &out[0]));
        EXPECT_EQ(out, c.out) << c.in;
    }
}
