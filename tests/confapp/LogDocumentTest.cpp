// The log document: which files read and where reading stops, the fields of a line
// with escaped commas and phrases, the row limit, following a file the proxy writes and
// cuts, and the copies, CSV file and emptying.
#include <gtest/gtest.h>

#include "core/LogDocument.h"
#include "platform/FileSystem.h"
#include "CoreFixture.h"
#include "support/TempDir.h"

using logview::Column;
using Status = LogDocument::ReadStatus;

namespace {

const std::string kBlock = "2004/05/10,04:49:09,192.168.0.5,http://a.example/a%2Cb,(URL Block),Kids,12,40\r\n";
const std::string kAccess = "2004/05/11,05:00:00,10.0.0.1,http://b.example/,(Access Log),\r\n";

std::string lines(size_t n)
{
    std::string text;
    for (size_t i = 0; i < n; ++i)
        text += "2004/05/10,01:02:03,1.2.3.4,u" + std::to_string(i) + ",(URL Block),,12\r\n";
    return text;
}

class LogDocumentTest : public ::testing::Test {
protected:
    std::string write(const std::string& bytes, const std::string& name = "zpf.log")
    {
        dir.writeBytes(name, bytes);
        return dir.file(name);
    }
    void append(const std::string& bytes, const std::string& name = "zpf.log")
    {
        dir.writeBytes(name, dir.readBytes(name) + bytes);
    }
    zpftest::TempDir dir;
    LogDocument doc{confapptest::CategoryNames};
};

TEST_F(LogDocumentTest, WhereReadingStops)
{
    const struct {
        const char* name;
        std::string bytes;
        Status status;
        size_t rows;
        size_t badLine;
    } cases[] = {
        {"CR LF lines", kBlock + kAccess, Status::Ok, 2, 0},
        {"LF lines", "2004/05/10,04:49:09,1.2.3.4,u,t,g\n2004/05/10,04:49:10,1.2.3.4,u,t,g\n", Status::Ok, 2, 0},
        {"empty file", "", Status::Ok, 0, 0},
        {"letter in the time", kBlock + "2004/05/10,04:4x:09,1.2.3.4,u,t,\r\n" + kAccess, Status::FormatError, 1, 2},
        {"letter in the date", "2004-05-10,04:49:09,1.2.3.4,u,t,\r\n", Status::FormatError, 0, 1},
        {"host name as address", "2004/05/10,04:49:09,localhost,u,t,\r\n", Status::FormatError, 0, 1},
        {"too few fields", kBlock + "2004/05/10,04:49:09,1.2.3.4\r\n", Status::FormatError, 1, 2},
        {"line cut mid-way, then more", kBlock + "2004/05/10,04:4" + kAccess, Status::FormatError, 1, 2},
        {"last line being written", kBlock + "2004/05/10,04:4", Status::Ok, 1, 0},
        {"last line complete without its end", kBlock + "2004/05/10,04:49:09,1.2.3.4,u,t,", Status::Ok, 2, 0},
        {"empty line", kBlock + "\r\n" + kAccess, Status::FormatError, 1, 2},
    };
    for (const auto& c : cases) {
        LogDocument fresh(confapptest::CategoryNames);
        const LogDocument::ReadResult r = fresh.Open(write(c.bytes));
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(fresh.rowCount(), c.rows) << c.name;
        EXPECT_EQ(r.badLine, c.badLine) << c.name;
        EXPECT_FALSE(r.tooManyRows) << c.name;
    }
    EXPECT_EQ(doc.Open(dir.file("missing.log")).status, Status::CannotOpen);
}

TEST_F(LogDocumentTest, FieldsColumnsAndCategory)
{
    const std::string phrase = "2004/05/12,06:00:00,10.0.0.2,http://c.example/,bad,5 word,Kids\r\n";
    const std::string digitsGroup = "2004/05/12,06:00:01,10.0.0.3,http://d.example/,(URL Block),2024\r\n";
    const std::string longUrl = "2004/05/12,06:00:02,10.0.0.4,http://e.example/" + std::string(200, 'x') +
                                ",\x83\x41\x83\x5f\x83\x8b\x83\x67\x83\x74\x83\x8c\x81\x5b\x83\x59,,40\r\n";
    ASSERT_EQ(doc.Open(write(kBlock + kAccess + phrase + digitsGroup + longUrl)).status, Status::Ok);
    ASSERT_EQ(doc.rowCount(), 5u);

    EXPECT_EQ(doc.Field(0, Column::Date), "2004/05/10");
    EXPECT_EQ(doc.Field(0, Column::Time), "04:49:09");
    EXPECT_EQ(doc.Field(0, Column::Client), "192.168.0.5");
    EXPECT_EQ(doc.Field(0, Column::Url), "http://a.example/a%2Cb");
    EXPECT_EQ(doc.Tag(0), "(URL Block)");
    EXPECT_EQ(doc.Group(0), "Kids");
    EXPECT_EQ(doc.Keys(0), (std::vector<unsigned>{12, 40}));
    EXPECT_EQ(doc.Cell(0, Column::ShiftJis), "(URL Block),Kids,12");
    EXPECT_EQ(doc.Cell(0, Column::Category), "\x83\x41\x83\x5f\x83\x8b\x83\x67");
    EXPECT_EQ(doc.DisplayText(0, Column::Category), "アダルト");
    EXPECT_TRUE(doc.IsBlock(0));
    EXPECT_FALSE(doc.IsBlock(1));
    EXPECT_EQ(doc.Cell(1, Column::Category), "");

    // A phrase with a comma and a digit, and a group of digits, name no category.
    EXPECT_EQ(doc.Tag(2), "bad,5 word");
    EXPECT_EQ(doc.Group(2), "Kids");
    EXPECT_EQ(doc.Cell(2, Column::Category), "");
    EXPECT_EQ(doc.Group(3), "2024");
    EXPECT_EQ(doc.Cell(3, Column::Category), "");

    // The table keeps 99 bytes of the address; the address itself stays whole.
    EXPECT_EQ(doc.Cell(4, Column::Url).size(), 99u);
    EXPECT_EQ(doc.Field(4, Column::Url).size(), 217u);
    EXPECT_EQ(doc.Cell(4, Column::ShiftJis), "\x83\x41\x83\x5f\x83\x8b\x83\x67\x83\x74\x83\x8c\x81\x5b\x83\x59,,4");
    EXPECT_EQ(doc.DisplayText(4, Column::ShiftJis), "アダルトフレーズ,,4");
}

TEST_F(LogDocumentTest, RowLimit)
{
    const struct {
        size_t lines;
        std::string tail;
        size_t rows;
        bool tooMany;
    } cases[] = {
        {3, "", 3, false},
        {4, "", 3, true},
        {3, "2004/05/10,01:02:03,1.2.3.4,u,t,", 3, true},
        {3, "2004/05/10,01:0", 3, false},
    };
    for (const auto& c : cases) {
        LogDocument small(confapptest::CategoryNames, 3);
        const LogDocument::ReadResult r = small.Open(write(lines(c.lines) + c.tail));
        EXPECT_EQ(small.rowCount(), c.rows) << c.lines << c.tail;
        EXPECT_EQ(r.tooManyRows, c.tooMany) << c.lines << c.tail;
        EXPECT_EQ(small.stopped(), c.tooMany);
    }
    // The real limit.
    const LogDocument::ReadResult r = doc.Open(write(lines(LogDocument::kMaxRows + 1)));
    EXPECT_EQ(doc.rowCount(), 160000u);
    EXPECT_TRUE(r.tooManyRows);
    EXPECT_EQ(doc.Field(159999, Column::Url), "u159999");
}

TEST_F(LogDocumentTest, FollowsTheFileTheProxyWrites)
{
    const std::string path = write(kBlock);
    ASSERT_EQ(doc.Open(path).status, Status::Ok);
    EXPECT_EQ(doc.Follow().added, 0u);

    append(kAccess);
    LogDocument::FollowResult f = doc.Follow();
    EXPECT_FALSE(f.reread);
    EXPECT_EQ(f.added, 1u);

    append("2004/05/12,07:00:00,10.0.0.9,http://half.exa"); // written in two steps
    EXPECT_EQ(doc.Follow().added, 0u);
    append("mple/,(URL Block),,12\r\n");
    f = doc.Follow();
    EXPECT_EQ(f.added, 1u);
    ASSERT_EQ(doc.rowCount(), 3u);
    EXPECT_EQ(doc.Field(2, Column::Url), "http://half.example/");

    // The proxy's cut replaces the file with its tail.
    ASSERT_TRUE(platform::ReplaceFileAtomically(path, [&](const std::string& temp) {
        dir.writeBytes(temp.substr(dir.path().size()), kAccess + kAccess);
        return true;
    }));
    f = doc.Follow();
    EXPECT_TRUE(f.reread);
    EXPECT_EQ(doc.rowCount(), 2u);

    // Shorter than what was read: read again.
    write(kBlock);
    f = doc.Follow();
    EXPECT_TRUE(f.reread);
    EXPECT_EQ(doc.rowCount(), 1u);

    // A last line that read as complete but goes on.
    write(kBlock + "2004/05/13,08:00:00,10.0.0.1,http://f.example/,(URL Block),Kid");
    ASSERT_EQ(doc.Follow().added, 1u);
    ASSERT_EQ(doc.rowCount(), 2u);
    EXPECT_EQ(doc.Group(1), "Kid");
    append("s,40\r\n");
    EXPECT_TRUE(doc.Follow().reread);
    EXPECT_EQ(doc.Group(1), "Kids");
    EXPECT_EQ(doc.Keys(1), std::vector<unsigned>{40});

    // A bad line stops following; nothing more is added.
    append("not a log line\r\n" + kAccess);
    f = doc.Follow();
    EXPECT_EQ(f.read.status, Status::FormatError);
    append(kAccess);
    EXPECT_EQ(doc.Follow().added, 0u);
    EXPECT_EQ(doc.rowCount(), 2u);
}

TEST_F(LogDocumentTest, CopiesEndEveryLineWithCrLf)
{
    const struct {
        const char* name;
        std::string in;
        std::string out;
    } cases[] = {
        {"CR LF kept", kBlock + kAccess, kBlock + kAccess},
        {"LF becomes CR LF", "a,b\nc,d\n", "a,b\r\nc,d\r\n"},
        {"last line ended", "a,b\r\nc,d", "a,b\r\nc,d\r\n"},
        {"CR at the very end", "a,b\r", "a,b\r\n"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        ASSERT_NE(doc.Open(write(c.in)).status, Status::CannotOpen) << c.name;
        EXPECT_EQ(doc.SaveCopy(dir.file("copy.log")), LogDocument::CopyStatus::Ok) << c.name;
        EXPECT_EQ(dir.readBytes("copy.log"), c.out) << c.name;
    }
    // Onto itself, the CSV copy beside it, and the failures.
    ASSERT_EQ(doc.Open(write("a,b\nc,d")).status, Status::FormatError); // copied all the same
    EXPECT_EQ(doc.SaveCopy(dir.file("zpf.log")), LogDocument::CopyStatus::Ok);
    EXPECT_EQ(dir.readBytes("zpf.log"), "a,b\r\nc,d\r\n");
    std::string csv;
    EXPECT_EQ(doc.WriteCsv(csv), LogDocument::CopyStatus::Ok);
    EXPECT_EQ(csv, dir.file("zpf.log.csv"));
    EXPECT_EQ(dir.readBytes("zpf.log.csv"), "a,b\r\nc,d\r\n");
    EXPECT_EQ(doc.SaveCopy(dir.file("no/such/dir/copy.log")), LogDocument::CopyStatus::CannotWrite);
    ASSERT_TRUE(platform::RemoveFile(dir.file("zpf.log")));
    EXPECT_EQ(doc.SaveCopy(dir.file("copy2.log")), LogDocument::CopyStatus::CannotRead);
    EXPECT_FALSE(platform::PathExists(dir.file("copy2.log")));
}

TEST_F(LogDocumentTest, EmptyCutsTheFileOnlyWhenItCan)
{
    const std::string path = write(kBlock + kAccess);
    ASSERT_EQ(doc.Open(path).status, Status::Ok);
    EXPECT_TRUE(doc.Empty());
    EXPECT_EQ(doc.rowCount(), 0u);
    EXPECT_EQ(platform::FileSize(path), 0);
    append(kAccess);
    EXPECT_EQ(doc.Follow().added, 1u);

    ASSERT_TRUE(platform::RemoveFile(path));
    EXPECT_FALSE(doc.Empty());
    EXPECT_EQ(doc.rowCount(), 1u);
    EXPECT_FALSE(platform::PathExists(path)) << "emptying never makes the file";
}

} // namespace
