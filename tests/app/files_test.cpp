#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "programmer/StatusCode.h"
#include "tests/app/SessionTestKit.h"

namespace {

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string LoadLine(const std::string& path, std::size_t bytes)
{
    return "读入文件 " + path + " 到缓冲1(" + std::to_string(bytes) + "字节).";
}

// The line after a load: the sum over the AT89S52's 8 KB, 0xFF past the image.
std::string ChecksumLine(const char* sum)
{
    return "校验和 " + std::string(sum) + " (缓冲1, 器件 AT89S52)";
}

TEST(LoadFile, BinaryFillsBuffer1AndReportsItsSize)
{
    CSessionHarness h;
    const std::string path = h.dir.File("ten.bin");
    WriteFile(path, std::string("\0\1\2\3\4\5\6\7\x08\x09", 10));
    std::fill_n(h.session.Programmer().Buffer1, 0x20000, 0x55);
    h.view.openAnswer = path;
    h.session.OnLoadFile();

    const std::uint8_t* buffer = h.session.Programmer().Buffer1;
    EXPECT_EQ(buffer[9], 9);
    EXPECT_EQ(std::count(buffer + 10, buffer + 0x20000, 0xFF), 0x20000 - 10);
    // 0 + 1 + ... + 9 + 8182 * 0xFF = 0x1FD637
    EXPECT_EQ(h.view.log, (Lines{LoadLine(path, 10), ChecksumLine("D637")}));
    EXPECT_EQ(h.view.buffer1Shown.back(), 0x20000);
    // A load on its own ends quietly.
    EXPECT_TRUE(h.session.LastSequenceSucceeded());
    EXPECT_TRUE(h.view.sounds.empty());
}

TEST(LoadFile, ExtensionDecidesHexAfterUpperCasing)
{
    CSessionHarness h;
    const std::string hex = ":0300100012AB34FC\r\n:00000001FF\r\n";
    const std::uint8_t* buffer = h.session.Programmer().Buffer1;
    h.view.openAnswer = h.dir.File("PROG.Hex");
    WriteFile(*h.view.openAnswer, hex);
    h.session.OnLoadFile();
    EXPECT_EQ(buffer[0x10], 0x12);
    EXPECT_EQ(buffer[0], 0xFF);
    EXPECT_EQ(h.view.log, (Lines{LoadLine(*h.view.openAnswer, hex.size()),  // the text's size
                                 ChecksumLine("DDF4")}));

    h.view.openAnswer = h.dir.File("prog.hx");
    WriteFile(*h.view.openAnswer, hex);
    h.session.OnLoadFile();
    EXPECT_EQ(buffer[0], ':');
}

TEST(LoadFile, EmptyMissingAndCancelled)
{
    CSessionHarness h;
    h.view.openAnswer = std::nullopt;
    h.session.OnLoadFile();
    EXPECT_EQ(h.session.SequenceEndCount(), 0);

    h.view.openAnswer = h.dir.File("empty.bin");
    WriteFile(*h.view.openAnswer, "");
    h.session.OnLoadFile();
    EXPECT_TRUE(h.session.LastSequenceSucceeded());

    h.view.openAnswer = h.dir.File("gone.bin");
    h.session.OnLoadFile();
    EXPECT_EQ(h.view.log, (Lines{LoadLine(h.dir.File("empty.bin"), 0), ChecksumLine("E000"),
                                 "打开文件失败."}));
    EXPECT_FALSE(h.session.LastSequenceSucceeded());
    EXPECT_EQ(h.view.flashes, 1);
}

TEST(LoadFile, ReloadStepRereadsTheChangedFile)
{
    SettingsRecord settings;
    settings.autoLoad = 1;
    settings.autoDetect = 0;
    CSessionHarness h(1, settings);
    h.backend->script["check"] = {kStatusReady};
    h.view.openAnswer = h.dir.File("image.bin");
    WriteFile(*h.view.openAnswer, "\x01");
    h.session.OnLoadFile();
    WriteFile(*h.view.openAnswer, "\x02\x03");
    h.session.OnAuto();
    h.Pump();
    EXPECT_EQ(h.session.Programmer().Buffer1[0], 2);
    EXPECT_EQ(h.view.log,
              (Lines{LoadLine(*h.view.openAnswer, 2), ChecksumLine("DE07"), "编程器:就绪."}));
}

// A HEX file that does not convert is not loaded: Buffer1 keeps the last
// good image and an Auto run stops before it erases anything.
TEST(LoadFile, FailedConversionFailsTheLoadAndStopsAuto)
{
    SettingsRecord settings;
    settings.autoLoad = settings.autoErase = settings.autoWrite = settings.autoVerify = 1;
    CSessionHarness h(1, settings);
    h.session.Programmer().Buffer1[0x10] = 0x42;
    // A good record, then one of a type the converter refuses.
    h.view.openAnswer = h.dir.File("image.hex");
    WriteFile(*h.view.openAnswer, ":01001000AA45\r\n:00000101FE\r\n:00000001FF\r\n");
    h.session.SetFilePath(*h.view.openAnswer);
    h.session.OnAuto();
    h.Pump();
    EXPECT_EQ(h.view.log, Lines{"读入文件 " + *h.view.openAnswer + " 失败."});
    EXPECT_EQ(h.messages.Texts().size(), 1u);  // the converter's own message
    EXPECT_EQ(h.session.Programmer().Buffer1[0x10], 0x42);
    EXPECT_EQ(h.session.Programmer().Buffer1[0], 0xFF);
    EXPECT_TRUE(h.backend->Ops().empty());
    EXPECT_FALSE(h.session.LastSequenceSucceeded());
    EXPECT_EQ(h.view.flashes, 1);
}

// Buffer1 still holds the file before a failed load: no write until a load
// succeeds; an Auto run's reload decides anew.
TEST(LoadFile, AfterAFailedLoadNoWriteStartsUntilALoadSucceeds)
{
    SettingsRecord settings;
    settings.autoErase = settings.autoWrite = 1;
    settings.autoDetect = 0;
    CSessionHarness h(1, settings);
    h.backend->script = {{"check", {kStatusReady}}, {"erase", {kStatusEraseDone}}};
    const std::string bad = h.dir.File("bad.hex");
    WriteFile(bad, ":0100000012\r\n");  // cut short
    h.session.SetFilePath(bad);
    h.session.LoadImageFile();
    for (auto run : {&CProgrammerSession::OnWrite, &CProgrammerSession::OnAuto}) {
        h.view.log.clear();
        (h.session.*run)();
        EXPECT_EQ(h.view.log, Lines{"文件 " + bad + " 没有装入, 缓冲1仍是以前的内容: 不写器件."});
        EXPECT_TRUE(h.backend->Ops().empty());
    }
    WriteFile(bad, ":01000000AA55\r\n:00000001FF\r\n");
    h.session.OnToggleMark(kCmdLoadFile);
    h.session.OnAuto();
    h.Pump();
    EXPECT_EQ(h.backend->Ops(), (Lines{"check", "erase", "write"}));
}

// An image longer than the chosen device: a line says what fits.
TEST(LoadFile, ImageLongerThanTheChosenDeviceSaysWhatFits)
{
    CSessionHarness h;
    h.session.SetDeviceSelection(1);  // AT89S51, 4 KB
    h.view.openAnswer = h.dir.File("image.bin");
    WriteFile(*h.view.openAnswer, std::string(4097, '\0') + "\xFF");
    h.session.OnLoadFile();
    EXPECT_EQ(h.view.log.back(), "映像长4097字节, 器件 AT89S51 只装得下前4096字节.");
}

TEST(SaveFile, SavesTheViewsDataUpToItsLastUsedByte)
{
    CSessionHarness h;
    const std::string path = h.dir.File("out.bin");
    WriteFile(path, "old contents");
    h.view.buffer2View.assign(0x20000, 0xFF);
    h.view.saveAnswer = path;
    EXPECT_TRUE(h.session.OnSaveFile());
    EXPECT_EQ(ReadFile(path), "");
    EXPECT_EQ(h.view.log, Lines{"缓冲2保存到文件 " + path + "(0字节)."});

    h.view.buffer2View[0] = 0x00;
    h.view.buffer2View[4] = 0x7E;
    EXPECT_TRUE(h.session.OnSaveFile());
    EXPECT_EQ(ReadFile(path), std::string("\x00\xFF\xFF\xFF\x7E", 5));
    // The saved length is what a following verify reads back.
    EXPECT_EQ(h.session.Programmer().m_nLength, 5);
    EXPECT_EQ(h.session.SequenceEndCount(), 0);
}

TEST(SaveFile, FailuresAreNeverLoggedAsSaved)
{
    // Said in the log, with the reason, as a failure.
    CSessionHarness h;
    h.view.saveAnswer = h.dir.File("no-such-folder/out.bin");
    EXPECT_FALSE(h.session.OnSaveFile());
    EXPECT_EQ(h.view.log, Lines{"保存文件 " + *h.view.saveAnswer + " 失败: 没有那个文件或目录."});
    EXPECT_EQ(h.view.flashes, 1);
    h.view.buffer2View.assign(16, 0x00);
    h.view.saveAnswer = "/dev/full";
    EXPECT_FALSE(h.session.OnSaveFile());
    EXPECT_EQ(h.view.log.back(), "保存文件 /dev/full 失败: " + std::string(std::strerror(ENOSPC)) + ".");
    EXPECT_TRUE(h.messages.Texts().empty());
    EXPECT_FALSE(h.session.LastSequenceSucceeded());
}

TEST(CompareBuffers, ReportsEachDifferenceAndTheCount)
{
    CSessionHarness h;
    CProgrammer& programmer = h.session.Programmer();
    programmer.Buffer1[0x0010] = 0x12;
    programmer.Buffer1[0x1A2B] = 0xab;
    programmer.Buffer2[0x1A2B] = 0x0c;
    EXPECT_EQ(h.session.CompareBuffers(), 0);
    EXPECT_EQ(h.view.log, (Lines{"---------------效验开始--------------",
                                 "    00001 - 地址:0010  写:12  读:FF",
                                 "    00002 - 地址:1A2B  写:AB  读:0C",
                                 "共发现    2个单元不对!",
                                 "---------效验结束，数据有误----------"}));
    // Only the difference lines are inserted without selecting.
    EXPECT_EQ(h.view.selected, (std::vector<bool>{true, false, false, true, true}));
    EXPECT_EQ(h.session.LogLines(), 5);
}

// The compare covers exactly 0x0000..0xFFFF: its last byte counts, the
// upper half of the buffers does not.
TEST(CompareBuffers, CoversTheFirst64KExactly)
{
    for (const int address : {0x0000, 0xFFFF, 0x10000, 0x1FFFF}) {
        CSessionHarness h;
        h.session.Programmer().Buffer1[address] = 0x00;
        const bool compared = address <= 0xFFFF;
        EXPECT_EQ(h.session.CompareBuffers(), compared ? 0 : 1) << address;
        EXPECT_EQ(h.view.log.size(), compared ? 4u : 2u) << address;
    }
    CSessionHarness h;
    h.session.Programmer().Buffer1[0xFFFF] = 0x00;
    h.session.CompareBuffers();
    EXPECT_EQ(h.view.log[1], "    00001 - 地址:FFFF  写:00  读:FF");
}

TEST(CompareBuffers, VerifyFailureEndsTheSequence)
{
    CSessionHarness h(1);
    h.backend->script["read"] = {kStatusReadDone};
    h.session.Programmer().Buffer1[0] = 0x00;  // the read leaves Buffer2 blank
    h.session.OnVerify();
    h.Pump();
    EXPECT_FALSE(h.session.LastSequenceSucceeded());
    EXPECT_FALSE(h.session.CompareAfterRead());
    EXPECT_EQ(h.view.flashes, 1);
}

}  // namespace
