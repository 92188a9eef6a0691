#include <gtest/gtest.h>
#include <string>
#include <thread>
#include "../src/console/console.h"
#include "channel.h"
#include "oracle.h"

TEST(MakeTextAttribute, AddsForegroundAndSixteenTimesBackground) {
    const struct {
        uint8_t foreground, background;
        TextAttribute attribute;
    } cases[] = {
        {10, 0, 0x0A},  {7, 0, 0x07},  {11, 0, 0x0B},      {1, 0, 0x01},
        {15, 15, 0xFF}, {31, 1, 0x2F}, {255, 255, 0x10EF},
    };
    for (const auto &c : cases)
        EXPECT_EQ(MakeTextAttribute(c.foreground, c.background), c.attribute)
            << int(c.foreground) << " on " << int(c.background);
}

TEST(FormatStreamReport, RightAlignsTheLowByteAndPrintsThePlaceInHex) {
    const struct {
        uint32_t number, place;
        std::string line;
    } cases[] = {
        {112, 0x0040ABCD, "Runtime error 112 at 0040ABCD\r\n"},
        {5, 0, "Runtime error   5 at 00000000\r\n"},
        {42, 0x1A2B, "Runtime error  42 at 00001A2B\r\n"},
        {0x170, 0xFFFFFFFF, "Runtime error 112 at FFFFFFFF\r\n"},
        {255, 0x12345678, "Runtime error 255 at 12345678\r\n"},
        {0x100, 1, "Runtime error   0 at 00000001\r\n"},
    };
    for (const auto &c : cases) {
        char report[REPORT_LENGTH];
        FormatStreamReport(c.number, c.place, report);
        EXPECT_EQ(std::string(report, REPORT_LENGTH), c.line);
    }
}

TEST(ExitStatusFor, IsTheLowByteButNeverZeroForAFailure) {
    const struct {
        uint32_t number, status;
    } cases[] = {{0, 0},     {104, 104},    {105, 105},  {112, 112},
                 {232, 232}, {0x170, 0x70}, {0x100, 255}};
    for (const auto &c : cases)
        EXPECT_EQ(ExitStatusFor(c.number), c.status) << c.number;
}

// The streams are program-wide records; each test opens them on a pipe of its
// own and leaves them closed.
class Streams : public ::testing::Test {
  protected:
    Channel channel;
    void SetUp() override {
        channel = OpenChannel();
        StandardOutput = OutputStream{};
        StandardInput = InputStream{};
        StreamErrorNumber = 0;
    }
    void TearDown() override {
        CloseChannel(&channel);
        StandardOutput = OutputStream{};
        StandardInput = InputStream{};
        StreamErrorNumber = 0;
    }
    void OpenOutputOn(StreamKind kind) {
        StandardOutput.handle = channel.writer;
        StandardOutput.kind = kind;
        StandardOutput.open = true;
    }
    // Feeds the input through the pipe and says what SkipInputLine left.
    std::string LeftAfterSkippingALine(const std::string &input) {
        StandardInput.handle = channel.reader;
        StandardInput.open = true;
        Put(channel, input);
        CloseWriter(&channel);
        SkipInputLine();
        std::string left(StandardInput.buffer + StandardInput.next,
                         StandardInput.count - StandardInput.next);
        return left + TakeWaiting(channel);
    }
};

TEST_F(Streams, FileOrPipeGetsWholeBlocksThenTheRestAtTheEnd) {
    OpenOutputOn(STREAM_OTHER);
    const struct {
        size_t written;
        size_t arrived; // in all, after this write and a FlushOutput
    } steps[] = {{100, 0}, {28, 128}, {0, 128}, {300, 384}, {83, 384}, {1, 512}, {5, 512}};
    std::string sent, arrived;
    for (const auto &step : steps) {
        std::string piece(step.written, char('a' + steps[0].written % 26 + sent.size() % 7));
        sent += piece;
        WriteToOutput(Text{piece.data(), piece.size()});
        FlushOutput();
        arrived += TakeWaiting(channel);
        EXPECT_EQ(arrived.size(), step.arrived) << "after " << sent.size() << " bytes";
    }
    WriteOutRemaining();
    arrived += TakeWaiting(channel);
    EXPECT_EQ(arrived, sent);
    EXPECT_EQ(StreamErrorNumber, 0u);
}

TEST_F(Streams, ADeviceGetsEveryPieceAtOnce) {
    OpenOutputOn(STREAM_DEVICE);
    const struct {
        std::string text;
        bool line;
        std::string arrives;
    } pieces[] = {
        {"", false, ""},
        {"korvane.exe ", false, "korvane.exe "},
        {" ", true, " \r\n"},
        {"", true, "\r\n"},
        {std::string(200, 'p'), false, std::string(200, 'p')},
        {std::string(127, 'q'), true, std::string(127, 'q') + "\r\n"},
    };
    for (const auto &piece : pieces) {
        Text text = {piece.text.data(), piece.text.size()};
        if (piece.line)
            WriteLineColored(text, 6, 0, channel.writer);
        else
            WriteColored(text, 10, 0, channel.writer);
        EXPECT_EQ(TakeWaiting(channel), piece.arrives);
        EXPECT_EQ(StandardOutput.held, 0u);
    }
}

TEST(WholeCharacters, NeverEndsInsideAUtf8Character) {
    const std::string cut = "ab\xD0\x96\xE6\x96\x87\xF0\x9F\x93\x81"; // ab Ж 文 📁
    const struct {
        std::string text;
        size_t limit, length;
    } cases[] = {
        {cut, 100, 11},
        {cut, 11, 11},
        {cut, 10, 7},
        {cut, 9, 7},
        {cut, 8, 7},
        {cut, 7, 7},
        {cut, 6, 4},
        {cut, 5, 4},
        {cut, 4, 4},
        {cut, 3, 2},
        {cut, 2, 2},
        {cut, 0, 0},
        // Not UTF-8: cut at the limit rather than never.
        {std::string(10, '\x80'), 5, 5},
        {"\xD0" + std::string(9, '\x96'), 5, 5},
    };
    for (const auto &c : cases)
        EXPECT_EQ(WholeCharacters(Text{c.text.data(), c.text.size()}, c.limit), c.length)
            << c.limit;
}

// Through a pipe that takes nothing while it is full, with a reader behind:
// pieces of many characters across the 128-byte blocks, and one longer than
// any conversion with a character across that limit too. Every byte arrives,
// each piece in the output encoding.
TEST_F(Streams, EveryPieceArrivesWholeHoweverTheWritesFall) {
    std::string longest(TEXT_CAPACITY - 1, 'l');
    longest += "表 and more";
    const std::string pieces[] = {
        std::string(126, 'a') + "Жü文",
        "Временные Müller 文件 表\\",
        longest,
        std::string(5000, 'z'),
    };
    for (StreamKind kind : {STREAM_OTHER, STREAM_DEVICE}) {
        TearDown();
        SetUp();
        OpenOutputOn(kind);
        MakeWriterNonBlocking(channel);
        std::string arrived, sent;
        std::thread reader([&] { arrived = TakeUntilClosed(channel); });
        for (int round = 0; round < 8; round++)
            for (const std::string &piece : pieces) {
                WriteToOutput(Text{piece.data(), piece.size()});
                FlushOutput();
                sent += Redirected(piece);
            }
        WriteOutRemaining();
        CloseWriter(&channel);
        reader.join();
        EXPECT_EQ(StreamErrorNumber, 0u) << kind;
        EXPECT_EQ(arrived.size(), sent.size()) << kind;
        EXPECT_TRUE(arrived == sent) << kind;
    }
}

// An event or a directory: no stream, but no closing it either.
TEST_F(Streams, AStandardOutputOfNoUseIsLeftOpen) {
    PlatformHandle was = SwapStandardOutput(OpenOddHandle());
    WriteToOutput(Text{"x", 1});
    bool open = IsOpenHandle(GetStandardOutput());
    SwapStandardOutput(was);
    EXPECT_EQ(StreamErrorNumber, ERROR_OUTPUT_NOT_OPEN);
    EXPECT_TRUE(open);
}

TEST_F(Streams, AFailedWriteIsRecordedAndItsBytesDropped) {
    OpenOutputOn(STREAM_OTHER);
    CloseReader(&channel);
    std::string block(STREAM_BUFFER_SIZE + 10, 'x');
    WriteToOutput(Text{block.data(), block.size()});
    uint32_t first = StreamErrorNumber;
    EXPECT_NE(first, 0u) << "a pipe without a reader must refuse the block";
    EXPECT_EQ(StandardOutput.held, 10u);
    WriteOutRemaining();
    EXPECT_EQ(StandardOutput.held, 0u);
    EXPECT_EQ(StreamErrorNumber, first) << "the first failure is the one kept";
}

TEST_F(Streams, SkipInputLineTakesOneLineAndNoMore) {
    const std::string longLine(300, 'x');
    const std::string edge(STREAM_BUFFER_SIZE - 1, 'y');
    const struct {
        std::string input, left;
    } cases[] = {
        {"", ""},
        {"\n", ""},
        {"\nnext\n", "next\n"},
        {"abc\r\nrest", "rest"},
        {"abc\rdef\nrest", "rest"},
        {"abc\r", ""},
        {"no line end", ""},
        {"ab\x1a\ncd", "\x1a\ncd"},
        {"\x1a", "\x1a"},
        {"\r\x1a\n", "\x1a\n"},
        {edge + "\r\nrest", "rest"},
        {longLine + "\nrest", "rest"},
        {longLine + "\x1a"
                    "after",
         "\x1a"
         "after"},
    };
    for (const auto &c : cases) {
        TearDown();
        SetUp();
        EXPECT_EQ(LeftAfterSkippingALine(c.input), c.left) << c.input.substr(0, 20);
        EXPECT_EQ(StreamErrorNumber, 0u);
    }
}
