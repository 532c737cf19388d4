#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

namespace {

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The README and the package descriptions name only parts the shipped
// catalogue holds: a part named there that no record covers is a promise
// the program cannot keep.
TEST(ShippedParts, DocumentsNameOnlyPartsTheCatalogueHolds)
{
    const std::string root = TAMBERLINK_SOURCE_DIR;
    std::set<std::string> shipped;
    std::ifstream tsv(root + "/res/chiplist.tsv");
    for (std::string line; std::getline(tsv, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::string name = line.substr(0, line.find('\t'));
        shipped.insert(name.substr(0, name.find('-')));  // AT89C51-5V is an AT89C51
    }
    ASSERT_GE(shipped.size(), 5u);

    // "AT89C51/52/55" names three parts.
    const std::regex part(R"((AT89[A-Z]+)(\d+)((?:/\d+)*))");
    const std::regex more(R"(/(\d+))");
    for (const char* document : {"README.md", "cmake/Install.cmake", "res/tamberlink.desktop",
                                 "res/org.tamberlink.tamberlink.metainfo.xml"}) {
        const std::string text = ReadText(root + "/" + document);
        ASSERT_FALSE(text.empty()) << document;
        for (std::sregex_iterator it(text.begin(), text.end(), part), end; it != end; ++it) {
            const std::string family = (*it)[1];
            std::vector<std::string> names{family + (*it)[2].str()};
            const std::string tail = (*it)[3];
            for (std::sregex_iterator n(tail.begin(), tail.end(), more); n != end; ++n)
                names.push_back(family + (*n)[1].str());
            for (const std::string& name : names)
                EXPECT_TRUE(shipped.count(name)) << document << " names " << name;
        }
    }
}

}  // namespace
