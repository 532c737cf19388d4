#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class IMessageSink;

// The text after the last '.' of path, upper-cased ("" when there is none).
std::string UpperExtension(const std::string& path);

constexpr int kImageBufferSize = 0x20000;

// How an image file is read or written, chosen by its upper-cased extension.
enum class ImageFormat { Binary, IntelHex, SRecord };
// Loading: "HEX", "IHX" and "IHEX" are Intel HEX; "S19", "S28", "S37",
// "SREC" and "MOT" are Motorola S-records; anything else is a raw image.
ImageFormat LoadFormatFor(const std::string& upperExt);
// Saving: the Intel HEX extensions are written as Intel HEX, anything else
// as a raw image (there is no S-record writer).
ImageFormat SaveFormatFor(const std::string& upperExt);

// Turns a file's text (followed by a NUL) into an image of kImageBufferSize
// bytes; upperExt names the file in messages. Returns a count >= 0 on
// success; -1 on failure, after showing why through messages (or silently,
// as the format decides). It may leave image half-written on failure: the
// loader hands it a scratch copy.
using TextImageConverter = int (*)(std::string_view text, const std::string& upperExt,
                                   std::uint8_t* image, IMessageSink& messages);

// The converter for files with this upper-cased extension, or nullptr: the
// file is a raw binary image.
TextImageConverter TextConverterFor(const std::string& upperExt);

struct ImageLoad {
    enum class Outcome {
        Loaded,            // buffer holds the file's image
        Unreadable,        // not opened or not read; error holds errno
        ConversionFailed,  // the converter refused the text
    };
    Outcome outcome = Outcome::Unreadable;
    // The byte count the log reports: the text's size for a converted file,
    // the bytes loaded for a raw one.
    long count = 0;
    // The converter's result (0 for a raw image).
    int converted = 0;
    int error = 0;
    // SHA-256 (hex) of the bytes this load read: a converted file's whole
    // text, a raw image's bytes up to kImageBufferSize. Empty unless Loaded.
    std::string sha256;

    bool Loaded() const { return outcome == Outcome::Loaded; }
};

// Loads path into buffer (kImageBufferSize bytes) as the Load file command
// does. A file with a converter is converted into a copy of buffer that
// replaces it only on success, so converted formats keep the bytes they do
// not reach (Intel HEX: from 0x10000 up; S-records fill all of it). A raw
// image fills buffer with 0xFF, then reads at most kImageBufferSize bytes
// from address 0. Unless Loaded, buffer is left exactly as it was.
ImageLoad LoadImageToBuffer(const std::string& path, const std::string& upperExt,
                            std::uint8_t* buffer, IMessageSink& messages);

// What a save writes for the first length bytes of image in format: the
// bytes themselves, or their Intel HEX text.
std::string ImageFileContents(ImageFormat format, const std::uint8_t* image, std::size_t length);
