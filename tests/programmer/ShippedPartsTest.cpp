#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

namespace {

std::string ReadText(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// The README and the package descriptions name only parts the shipped
// catalogue has a record for ("AT89C51/52" names two).
TEST(ShippedParts, DocumentsNameOnlyPartsTheCatalogueHolds)
{
    const std::string root = TAMBERLINK_SOURCE_DIR;
    const std::string catalogue = ReadText(root + "/res/chiplist.tsv");
    const std::regex part(R"((AT89[A-Z]+)(\d+)((/\d+)*))"), number(R"(\d+)");
    for (const char* document : {"README.md", "cmake/Install.cmake", "res/tamberlink.desktop",
                                 "res/org.tamberlink.tamberlink.metainfo.xml"}) {
        const std::string text = ReadText(root + "/" + document);
        for (std::sregex_iterator it(text.begin(), text.end(), part), end; it != end; ++it) {
            const std::string numbers = (*it)[2].str() + (*it)[3].str();
            for (std::sregex_iterator n(numbers.begin(), numbers.end(), number); n != end; ++n) {
                const std::string name = (*it)[1].str() + n->str();
                EXPECT_TRUE(std::regex_search(catalogue, std::regex("\n" + name + "[\t-]")))
                    << document << " names " << name;
            }
        }
    }
}

}  // namespace
