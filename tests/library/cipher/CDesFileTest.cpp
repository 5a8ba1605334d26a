// Enciphered files: writing, reading by chunk and by line, padding and the committed
// sample that pins the byte format.
#include "cipher/CDes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "CipherTestSupport.h"
#include "support/TempProgramDir.h"

using namespace ciphertest;
using zpftest::TempProgramDir;

namespace {

struct LineResult {
    int status;
    std::string text;
    bool operator==(const LineResult&) const = default;
};

std::ostream& operator<<(std::ostream& os, const LineResult& r) { return os << r.status << ":\"" << r.text << '"'; }

// Every ReadLine result up to and including end of file (bounded, in case it never comes).
std::vector<LineResult> readLines(CDes& des, int size)
{
    std::vector<LineResult> out;
    std::vector<char> buf(static_cast<size_t>(size) + 1);
    for (int i = 0; i < 100000; ++i) {
        const int status = des.ReadLine(buf.data(), size);
        out.push_back({status, status == 0 ? std::string(buf.data()) : std::string()});
        if (status == 1)
            break;
    }
    return out;
}

std::vector<LineResult> readSystemLines(const std::string& path, int size)
{
    CDes des;
    EXPECT_EQ(des.SettingSystem(0), 0);
    EXPECT_EQ(des.OpenReadFile(path.c_str()), 0);
    return readLines(des, size);
}

std::string readTestData(const std::string& name)
{
    std::string bytes;
    (void)platform::ReadFileBytes(std::string(ZPF_TEST_DATA_DIR) + "/cipher/" + name, bytes);
    return bytes;
}

} // namespace

TEST(CDesFileTest, SettingRejectsWidthsItCannotRun)
{
    struct Row {
        int mode;
        int unit;
        int shift;
        int expected;
    };
    const Row rows[] = {
        {4, 7, 59, 0}, {4, 8, 59, 1}, {4, 8, 64, 0}, {4, 1, 8, 0}, {4, 1, 7, 1},  {4, 7, 65, 1}, {3, 7, 1, 0},
        {3, 7, 0, 1},  {3, 9, 64, 1}, {3, 0, 64, 1}, {1, 3, 0, 0}, {2, 0, -5, 0}, {0, 8, 64, 1}, {5, 8, 64, 1},
    };
    for (const Row& r : rows) {
        CDes des;
        EXPECT_EQ(des.Setting(0, r.mode, CDes::kKey, CDes::kIV, r.unit, r.shift), r.expected)
            << r.mode << "/" << r.unit << "/" << r.shift;
    }
}

TEST(CDesFileTest, EveryModeRoundTripsThroughFilesPiecesAndRun)
{
    TempProgramDir dir;
    std::string text;
    for (int i = 0; i < 40000; ++i)
        text += static_cast<char>(i * 7 + i / 13);
    dir.writeBytes("plain", text);
    for (const Params& p : {Params{1, 8, 0}, Params{2, 8, 0}, Params{3, 3, 20}, Params{4, 7, 59}, Params{4, 1, 8}}) {
        SCOPED_TRACE(testing::Message() << p.mode << "/" << p.unit << "/" << p.shift);
        const size_t unit = static_cast<size_t>(p.mode <= 2 ? 8 : p.unit);
        const std::string padded = text + std::string((unit - text.size() % unit) % unit, '\0');
        const auto open = [&](CDes& des, int direction, const char* in, const char* out) {
            EXPECT_EQ(des.Setting(direction, p.mode, p.key, p.iv, p.unit, p.shift), 0);
            EXPECT_EQ(in ? des.OpenReadFile(dir.file(in).c_str()) : 0, 0);
            EXPECT_EQ(out ? des.OpenWriteFile(dir.file(out).c_str()) : 0, 0);
        };
        {
            CDes run;
            open(run, 1, "plain", "run");
            run.Run();
        }
        // Pieces that end inside a unit: the rest waits for the next call.
        for (size_t piece : {13u, 16381u, 40000u}) {
            CDes out;
            open(out, 1, nullptr, "written");
            int written = 0;
            for (size_t at = 0; at < text.size(); at += piece)
                written += out.WriteData(text.data() + at, static_cast<int>(std::min(piece, text.size() - at)));
            EXPECT_EQ(written, static_cast<int>(text.size() / unit * unit)) << piece;
            out.CloseWriteFile(1);
            EXPECT_EQ(dir.readBytes("written"), dir.readBytes("run")) << piece;
        }

        CDes in;
        open(in, 0, "written", nullptr);
        std::string back;
        std::vector<char> buf(unit * 100);
        for (int n; (n = in.ReadData(buf.data(), static_cast<int>(buf.size()))) > 0;)
            back.append(buf.data(), static_cast<size_t>(n));
        EXPECT_EQ(back, padded); // deciphering with Run is the command-line tool's decode
    }
}

TEST(CDesFileTest, PendingBytesArePaddedDroppedOrWrittenByTheDestructor)
{
    TempProgramDir dir;
    const auto write = [&](const char* name, const char* text, int pad) {
        CDes des;
        des.SettingSystem(1);
        ASSERT_EQ(des.OpenWriteFile(dir.file(name).c_str()), 0);
        const int n = static_cast<int>(std::strlen(text));
        EXPECT_EQ(des.WriteData(text, n), n / 7 * 7);
        if (pad >= 0)
            des.CloseWriteFile(pad);
    };
    write("three", "abc", 1);
    write("dropped", "abcdefghij", 0);
    write("destructed", "abc", -1);
    write("seven", "abcdefg", 1);
    EXPECT_EQ(dir.readBytes("three").size(), 7u);
    EXPECT_EQ(dir.readBytes("dropped"), dir.readBytes("seven"));
    EXPECT_EQ(dir.readBytes("destructed"), dir.readBytes("three"));
}

TEST(CDesFileTest, NoOpenFileIsReportedNotCrashed)
{
    CDes des;
    des.SettingSystem(1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(des.WriteData("abc", 3), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error : File has not opened\n");
    char buf[16];
    EXPECT_EQ(des.ReadData(buf, 14), 0);
    EXPECT_EQ(des.ReadLine(buf, 15), 1);
    EXPECT_EQ(des.Seek(11, SEEK_SET), -1);
    EXPECT_EQ(des.OpenReadFile("/nonexistent/dir/file"), 1);
    EXPECT_EQ(des.OpenWriteFile("/nonexistent/dir/file"), 1);
    des.Run();
    des.CloseWriteFile(1);
    des.CloseReadFile();
}

TEST(CDesFileTest, ReadDataNeverPadsPastTheBuffer)
{
    TempProgramDir dir;
    dir.writeEnciphered("f", std::string(9, 'x'));
    CDes des;
    des.SettingSystem(0);
    ASSERT_EQ(des.OpenReadFile(dir.file("f").c_str()), 0);
    std::vector<char> buf(40, '#');
    // 10 is not a whole number of units: only 7 bytes are read and transformed.
    EXPECT_EQ(des.ReadData(buf.data(), 10), 7);
    EXPECT_EQ(buf[7], '#');
    EXPECT_EQ(des.ReadData(buf.data(), 3), 0); // less than one unit fits
    EXPECT_EQ(des.ReadData(buf.data(), 10), 7);
    EXPECT_EQ(std::string(buf.data(), 8), std::string("xx\0\0\0\0\0#", 8));
}

TEST(CDesFileTest, ReadLineSplitsStripsAndEnds)
{
    TempProgramDir dir;
    struct Row {
        std::string text;
        int size;
        std::vector<LineResult> expected;
    };
    const std::string longLine(600, 'L');
    const std::vector<Row> rows = {
        // 14 bytes, a whole number of units: no zero bytes, no extra empty line.
        {"first\nseconds\n", 512, {{0, "first"}, {0, "seconds"}, {1, ""}}},
        // The zero padding shows up as one empty last line.
        {"a\r\nb\n", 512, {{0, "a"}, {0, "b"}, {0, ""}, {1, ""}}},
        // A last line without a line feed ends at the padding.
        {"a\nlast", 512, {{0, "a"}, {0, "last"}, {1, ""}}},
        {longLine + "\nnext\n", 512, {{0, longLine.substr(0, 512)}, {0, "next"}, {0, ""}, {1, ""}}},
        // At the end a line longer than size - 1 comes in pieces; size 1 still moves on.
        {"\nabcdef", 3, {{0, ""}, {0, "ab"}, {0, "cd"}, {0, "ef"}, {1, ""}}},
        {"xyz", 1, {{0, "x"}, {0, "y"}, {0, "z"}, {0, ""}, {0, ""}, {0, ""}, {0, ""}, {1, ""}}},
        {"", 512, {{1, ""}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text.substr(0, 20));
        dir.writeEnciphered("f", row.text);
        EXPECT_EQ(readSystemLines(dir.file("f"), row.size), row.expected);
    }
}

TEST(CDesFileTest, ReadLineReportsLinesTheBufferCannotHoldAndGoesOn)
{
    TempProgramDir dir;
    const std::string longest(32768 - 16380, 'x'); // always fits, wherever it starts
    const std::string tooLong(40000, 'y');
    std::string text = "a\n" + longest + "\n" + tooLong + "\nafter\n" + longest + "\n";
    text += std::string(7 - text.size() % 7, '\n'); // no padding, so only empty lines follow
    dir.writeEnciphered("f", text);
    const auto lines = readSystemLines(dir.file("f"), 20000);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], (LineResult{0, "a"}));
    EXPECT_EQ(lines[1], (LineResult{0, longest}));
    EXPECT_EQ(lines[2].status, -1);
    EXPECT_EQ(lines[3], (LineResult{0, "after"}));
    EXPECT_EQ(lines[4], (LineResult{0, longest}));
    EXPECT_EQ(lines.back().status, 1);

    char buf[8];
    CDes des;
    EXPECT_EQ(des.ReadLine(buf, 0), -1);
    EXPECT_EQ(des.ReadLine(nullptr, 7), -1);
}

TEST(CDesFileTest, SampleFileKeepsItsByteFormat)
{
    TempProgramDir dir;
    const std::string plain = readTestData("sample.txt");
    const std::string enciphered = readTestData("sample.enc");
    ASSERT_FALSE(plain.empty());
    dir.writeEnciphered("again.enc", plain);
    EXPECT_EQ(dir.readBytes("again.enc"), enciphered);

    const auto lines = readSystemLines(std::string(ZPF_TEST_DATA_DIR) + "/cipher/sample.enc", 512);
    std::string joined;
    for (const auto& line : lines) {
        if (line.status == 0)
            joined += line.text + "\n";
    }
    ASSERT_GE(joined.size(), plain.size());
    EXPECT_EQ(joined.substr(0, plain.size()), plain);
    EXPECT_EQ(joined.find_first_not_of('\n', plain.size()), std::string::npos); // padding: empty lines only
}
