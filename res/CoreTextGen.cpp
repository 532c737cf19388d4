// Build tool: turns the core's translation source into the table that
// CUiText looks texts up in.
//   core-text-gen CORE.ts OUT.cpp
// Every context of the file goes into one table keyed by the Chinese text.
// A message without a finished translation is left out (it shows in
// Chinese; the translation test counts it). A translation whose printf
// arguments differ from its source's, or one source with two different
// translations, stops the build: the first would read the wrong arguments.

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/FormatSpecs.h"

namespace {

struct Failure {
    std::string text;
};

// The XML entities lupdate and Linguist write, and numeric references.
std::string Unescape(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const std::size_t semi = text.find(';', i);
        if (semi == std::string_view::npos)
            throw Failure{"unterminated entity"};
        const std::string_view name = text.substr(i + 1, semi - i - 1);
        if (name == "amp")
            out += '&';
        else if (name == "lt")
            out += '<';
        else if (name == "gt")
            out += '>';
        else if (name == "quot")
            out += '"';
        else if (name == "apos")
            out += '\'';
        else if (!name.empty() && name[0] == '#') {
            const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
            const unsigned long code =
                std::stoul(std::string(name.substr(hex ? 2 : 1)), nullptr, hex ? 16 : 10);
            if (code == 0 || code > 0x10FFFF)
                throw Failure{"bad character reference &" + std::string(name) + ";"};
            // UTF-8
            if (code < 0x80) {
                out += char(code);
            } else if (code < 0x800) {
                out += char(0xC0 | (code >> 6));
                out += char(0x80 | (code & 0x3F));
            } else if (code < 0x10000) {
                out += char(0xE0 | (code >> 12));
                out += char(0x80 | ((code >> 6) & 0x3F));
                out += char(0x80 | (code & 0x3F));
            } else {
                out += char(0xF0 | (code >> 18));
                out += char(0x80 | ((code >> 12) & 0x3F));
                out += char(0x80 | ((code >> 6) & 0x3F));
                out += char(0x80 | (code & 0x3F));
            }
        } else {
            throw Failure{"unknown entity &" + std::string(name) + ";"};
        }
        i = semi;
    }
    return out;
}

// The text between <tag ...> and </tag> inside block; found is false when
// the element is missing. A self-closing <tag .../> is found and empty.
std::string Element(std::string_view block, std::string_view tag, bool& found,
                    std::string* attributes = nullptr)
{
    found = false;
    // Not "<" + std::string(tag): GCC 12 warns (-Wrestrict) about the
    // insert at the front that operator+ inlines for that.
    const std::string open = std::string("<").append(tag);
    std::size_t start = block.find(open);
    while (start != std::string_view::npos) {
        const char next = start + open.size() < block.size() ? block[start + open.size()] : '\0';
        if (next == '>' || next == ' ' || next == '/')
            break;
        start = block.find(open, start + 1);
    }
    if (start == std::string_view::npos)
        return {};
    const std::size_t headEnd = block.find('>', start);
    if (headEnd == std::string_view::npos)
        throw Failure{"unterminated <" + std::string(tag) + ">"};
    found = true;
    if (attributes)
        *attributes = std::string(block.substr(start + open.size(), headEnd - start - open.size()));
    if (block[headEnd - 1] == '/')
        return {};
    const std::string close = "</" + std::string(tag) + ">";
    const std::size_t end = block.find(close, headEnd);
    if (end == std::string_view::npos)
        throw Failure{"missing " + close};
    return Unescape(block.substr(headEnd + 1, end - headEnd - 1));
}

// A C++ string literal of text; octal escapes, so no digit that follows can
// be taken into one.
std::string Literal(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7F || c == '?') {
            // '?' too: no trigraph can form.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\%03o", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::map<std::string, std::string> ReadCatalogue(const std::string& text)
{
    std::map<std::string, std::string> catalogue;
    std::size_t position = 0;
    for (;;) {
        const std::size_t start = text.find("<message", position);
        if (start == std::string::npos)
            break;
        const std::size_t end = text.find("</message>", start);
        if (end == std::string::npos)
            throw Failure{"unterminated <message>"};
        const std::string_view block(text.data() + start, end - start);
        position = end;

        bool found = false;
        const std::string source = Element(block, "source", found);
        if (!found || source.empty())
            throw Failure{"a message without a source"};
        std::string attributes;
        const std::string translation = Element(block, "translation", found, &attributes);
        // Unfinished, vanished and obsolete texts are not shipped.
        if (!found || translation.empty() || attributes.find("type=") != std::string::npos)
            continue;
        if (PrintfArguments(source) != PrintfArguments(translation))
            throw Failure{"\"" + translation + "\" does not take the arguments of \"" + source
                          + "\""};
        const auto [it, inserted] = catalogue.emplace(source, translation);
        if (!inserted && it->second != translation)
            throw Failure{"\"" + source + "\" has two translations"};
    }
    return catalogue;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: core-text-gen CORE.ts OUT.cpp\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "core-text-gen: cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream content;
    content << in.rdbuf();

    std::map<std::string, std::string> catalogue;
    try {
        catalogue = ReadCatalogue(content.str());
    } catch (const Failure& failure) {
        std::fprintf(stderr, "%s: %s\n", argv[1], failure.text.c_str());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.what());
        return 1;
    }

    // std::map orders by bytes, as strcmp does: the lookup can halve.
    std::ostringstream out;
    out << "// Made by core-text-gen from " << std::string_view(argv[1]).substr(
               std::string_view(argv[1]).rfind('/') + 1)
        << "; do not edit.\n"
        << "#include \"platform/UiText.h\"\n\n"
        << "namespace {\n\nconst CUiText::Entry kEntries[] = {\n";
    for (const auto& [source, translation] : catalogue)
        out << "    {" << Literal(source) << ",\n     " << Literal(translation) << "},\n";
    out << "    {nullptr, nullptr},\n};\n\n} // namespace\n\n"
        << "std::span<const CUiText::Entry> CUiText::Catalogue()\n{\n"
        << "    return {kEntries, " << catalogue.size() << "};\n}\n";

    std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
    file << out.str();
    if (!file) {
        std::fprintf(stderr, "core-text-gen: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
