// Formatted reading compared with the C library's scanf on the same text, read_int and comments.
#include "files_fixture.h"

#include "files/scramble.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <tuple>
#include <utility>
#include <vector>

namespace {
using text = std::array<char, 64>;

template <typename T> T* target(T& value) { return &value; }
char* target(text& value) { return value.data(); }

template <typename T> bool same(const T& a, const T& b) { return memcmp(&a, &b, sizeof a) == 0; }

struct ScanTest : FilesTest {
    // Scans input with format through a data_file and through fscanf, then compares the count,
    // every stored value, and the text each left unread.
    template <typename... T> void compare(const char* format, const std::string& input) {
        SCOPED_TRACE(std::string("format \"") + format + "\" on \"" + input + "\"");
        write(data / "scan.txt", input);
        data_file* f = data_file_open("@scan.txt", "rb");
        ASSERT_NE(f, nullptr);
        std::tuple<T...> ours{}, theirs{};
        int our_count =
            std::apply([&](auto&... v) { return data_file_scan(f, format, target(v)...); }, ours);
        std::string our_rest = drain(f);
        data_file_close(f);

        std::string copy = input;
        FILE* c = fmemopen(copy.data(), copy.size(), "r");
        if (copy.empty()) c = fopen("/dev/null", "r");
        ASSERT_NE(c, nullptr);
        int their_count =
            std::apply([&](auto&... v) { return fscanf(c, format, target(v)...); }, theirs);
        std::string their_rest;
        for (int ch; (ch = fgetc(c)) != EOF;) their_rest += static_cast<char>(ch);
        fclose(c);

        EXPECT_EQ(our_count, their_count);
        EXPECT_EQ(our_rest, their_rest);
        std::vector<bool> equal;
        [&]<size_t... I>(std::index_sequence<I...>) {
            (equal.push_back(same(std::get<I>(ours), std::get<I>(theirs))), ...);
        }
        (std::index_sequence_for<T...>{});
        for (size_t i = 0; i < equal.size(); i++) EXPECT_TRUE(equal[i]) << "value " << i;
    }
};
} // namespace

#pragma GCC diagnostic ignored "-Wformat-nonliteral"

TEST_F(ScanTest, Integers) {
    compare<int, int>("%d %d", "12 -7");
    compare<int>("%d", "  +42x");
    compare<int>("%d", "-");
    compare<int>("%d", "x1");
    compare<int>("%d", "");
    compare<int>("%d", "   \n ");
    compare<int, int>("%d%d", "1");
    compare<int, int>("%3d%d", "12345");
    compare<int, int, int, int>("%i %i %i %i", "0x1F 017 -9 08");
    compare<unsigned, unsigned, unsigned>("%o %x %X", "777 ff 0xAB");
    compare<unsigned, text>("%x%s", "0xg");
    compare<int>("%i", "0x");
    compare<int>("%d", "99999999999");
    compare<int>("%d", "-99999999999");
    compare<int>("%d", "4294967295");
    compare<unsigned>("%u", "-1");
    compare<int>("%x", "-0x10");
    compare<signed char, short, long, long long>("%hhd %hd %ld %lld", "300 70000 -5 123456789012");
    compare<int>("%2i", "0x1F");
}

TEST_F(ScanTest, Floats) {
    compare<float>("%f", "3.25");
    compare<double>("%lf", "-1.5e3");
    compare<float, text>("%f%s", "100ergs");
    compare<float, text>("%f%s", "1e+x");
    compare<float>("%f", ".e5");
    compare<float>("%f", "+");
    compare<float>("%f", "-.5");
    compare<float>("%f", "12.");
    compare<float>("%f", "1.5e");
    compare<float, text>("%f%s", "infx");
    compare<double>("%lf", "INFINITY");
    compare<float>("%f", "nan");
    compare<double>("%lf", "0x1p3");
    compare<float, float>("%4f%f", "1.23456");
    compare<float, float, float>("%f %f %f", "0.5 -2.25e-2 7");
    compare<double, double, double>("%lf,%lf,%lf", "1.0,2.5,-3e2");
}

// The C library also swallows the character that broke "inf"; we leave it for the next reader.
TEST_F(ScanTest, BrokenInfinityLeavesTheMismatchUnread) {
    write(data / "inx.txt", "inx");
    data_file* f = data_file_open("@inx.txt", "rb");
    float x = 0;
    EXPECT_EQ(data_file_scan(f, "%f", &x), 0);
    EXPECT_EQ(drain(f), "x");
    data_file_close(f);
}

TEST_F(ScanTest, TextCharactersAndSets) {
    compare<text, text>("%s %s", "hello   world!");
    compare<text, text>("%3s%s", "abcdef");
    compare<char, char>("%c%c", " a");
    compare<text>(" %c", "  x");
    compare<text, int>("%3c%n", "abcdef");
    compare<text>("%2c", "a");
    compare<char>("%c", "");
    compare<text, text>("%[a-c]%s", "abcabd!");
    compare<text, int>("%[^,],%d", "name with spaces,5");
    compare<text, int>("%[]x]%n", "]]x!");
    compare<text, int>("%[a-]%n", "a-b");
    compare<text>("%[a]", "");
    compare<text>("%[a]", "b");
    compare<text>("%5[0-9]", "1234567");
    compare<text>("%s", "   ");
}

TEST_F(ScanTest, LiteralsSuppressionAndCounts) {
    compare<int>("%*d %d", "1 2");
    compare<int>("%*d%d", "5");
    compare<int, int>("%d%%%d", "5% 6");
    compare<int>("%d %%", "5 %");
    compare<int>("%%%d", "  %5");
    compare<int>("x%d", "y5");
    compare<int, int>("%d,%d", "1;2");
    compare<int, int>("%d,%d", "1 ,2");
    compare<int>("a b%n", "a    b");
    compare<int>("a b%n", "ab");
    compare<int, int>("%d\n%d", "5\n\n\n   7");
    compare<int>("%n", "");
    compare<int>(" %n", "   x");
    compare<int>(" #%*[^\n]%n", "  # comment\nrest");
    compare<int>(" #%*[^\n]%n", "#\nrest");
    compare<int, int, text>("%d %d %s", "3 4");
    compare<int>("abc", "abd");
    compare<int>("abc", "");
}

TEST_F(ScanTest, ReadsFromGzipAndMembersAlike) {
    write(data / "v.txt.gz", make_gzip("  12 3.5 word\n"));
    data_file* f = data_file_open("@v.txt", "rb");
    ASSERT_NE(f, nullptr);
    int i = 0;
    float x = 0;
    char word[16];
    int n = 0;
    EXPECT_EQ(data_file_scan(f, "%d %f %15s%n", &i, &x, word, &n), 3);
    EXPECT_EQ(i, 12);
    EXPECT_EQ(x, 3.5f);
    EXPECT_STREQ(word, "word");
    EXPECT_EQ(n, 13);
    EXPECT_EQ(data_file_get_char(f), '\n');
    data_file_close(f);
}

TEST_F(ScanTest, ReadIntAndTheMissingValue) {
    write(data / "n.txt", " 12\n-5 x 7");
    data_file* f = data_file_open("@n.txt", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(data_file_read_int(f), 12);
    EXPECT_EQ(data_file_read_int(f), -5);
    EXPECT_EQ(data_file_read_int(f), k_no_int);
    EXPECT_EQ(static_cast<uint32_t>(k_no_int), 0x80000000u);
    EXPECT_EQ(data_file_get_char(f), 'x') << "the unmatched character stays unread";
    EXPECT_EQ(data_file_read_int(f), 7);
    EXPECT_EQ(data_file_read_int(f), k_no_int) << "at the end";
    data_file_close(f);
}

TEST_F(ScanTest, SkipComments) {
    write(data / "c.txt", "# a\n  # b\n#\n\n 5 # tail\n6\n  word # not reached");
    data_file* f = data_file_open("@c.txt", "rb");
    ASSERT_NE(f, nullptr);
    data_file_skip_comments(f);
    EXPECT_EQ(data_file_read_int(f), 5);
    data_file_skip_comments(f);
    EXPECT_EQ(data_file_read_int(f), 6);
    data_file_skip_comments(f);
    EXPECT_EQ(data_file_get_char(f), 'w');
    data_file_close(f);

    write(data / "e.txt", "  # only a comment");
    f = data_file_open("@e.txt", "rb");
    data_file_skip_comments(f);
    EXPECT_EQ(data_file_get_char(f), k_data_file_end);
    data_file_close(f);
}

TEST_F(ScanTest, NumbersAcrossDecodeWindowsMatchTheText) {
    // Many short numbers, so tokens straddle every refill of the decoded window.
    std::string text;
    std::vector<int> values;
    for (int i = 0; i < 20000; i++) {
        values.push_back((i * 7919) % 200003 - 100000);
        text += std::to_string(values.back()) + (i % 7 == 0 ? "\n" : " ");
    }
    write(data / "zzzz.saf", make_archive({{"n.txt.gz.scram", scramble_bytes(make_gzip(text))},
                                           {"after.txt", "99 99 99"}}));
    file_index();
    data_file* f = data_file_open("@n.txt", "rb");
    ASSERT_NE(f, nullptr);
    for (size_t i = 0; i < values.size(); i++) ASSERT_EQ(data_file_read_int(f), values[i]) << i;
    EXPECT_EQ(data_file_read_int(f), k_no_int) << "the next member is never reached";
    data_file_close(f);
}
