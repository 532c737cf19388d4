#include <gtest/gtest.h>

#include <fstream>

#include "isp/CableDescription.h"
#include "platform/TextCodec.h"
#include "tests/support/TempDir.h"

namespace {

// The twelve fields in their order, for whole-description comparisons.
std::vector<int> Fields(const CableDescription& c)
{
    return {c.m_nPinMosi, c.m_nPinMiso,  c.m_nPinSck,   c.m_nPinRst,   c.m_nPinLe,    c.m_nPinOe,
            c.m_nPinR1,   c.m_nPinR2,    c.m_nLeEnable, c.m_nLeDisable, c.m_nOeEnable, c.m_nOeDisable};
}

TEST(CableDescription, Type1WithoutIniUsesDefaults)
{
    CTempDir dir;
    EXPECT_EQ(Fields(CableDescription::ForType(1, dir.File("Quenby.ini"))),
              (std::vector<int>{14, 15, 1, 16, 17, 2, 3, 4, 1, 0, 0, 1}));
}

TEST(CableDescription, Type1ReadsGbkIniWithCrlf)
{
    CTempDir dir;
    const std::string text =
        "[引脚控制]\r\nMOSI=7\r\nMISO=11\r\nSCK=6\r\nRST=5\r\nLE=9\r\nOE=0\r\nR1=12\r\n"
        "[锁存控制(LE)]\r\nEnable=0\r\nDisable=1\r\n"
        "[输出控制(OE)]\r\nEnable=1\r\n";
    std::ofstream(dir.File("Quenby.ini"), std::ios::binary) << Utf8ToGbk(text);
    // R2 and the OE disable level are missing and keep their defaults.
    EXPECT_EQ(Fields(CableDescription::ForType(1, dir.File("Quenby.ini"))),
              (std::vector<int>{7, 11, 6, 5, 9, 0, 12, 4, 0, 1, 1, 1}));
}

TEST(CableDescription, FixedTypesIgnoreTheIni)
{
    CTempDir dir;
    std::ofstream(dir.File("Quenby.ini"), std::ios::binary)
        << Utf8ToGbk("[引脚控制]\r\nMOSI=9\r\nMISO=13\r\n");
    const std::string ini = dir.File("Quenby.ini");
    // OE is pin 0 on both, so their OE levels never reach a pin.
    EXPECT_EQ(Fields(CableDescription::ForType(2, ini)),
              (std::vector<int>{2, 10, 1, 17, 4, 0, 14, 16, 0, 0, 0, 1}));
    EXPECT_EQ(Fields(CableDescription::ForType(3, ini)),
              (std::vector<int>{8, 11, 2, 3, 14, 0, 0, 0, 0, 0, 0, 1}));
}

} // namespace
