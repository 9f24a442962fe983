#pragma once
// Pictures made at test time: a JPEG of any size through GDI+, and a PNG of up to 12000 pixels a side
// written directly (its rows repeat, so it compresses to a few megabytes without the whole picture
// ever being in memory). Both are four coloured quarters, so a picture shown turned or mirrored is
// told apart from the right one.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace lumvo::test {

// The quarters' colours, 0xRRGGBB: top left, top right, bottom left, bottom right.
inline constexpr std::array<std::uint32_t, 4> kQuarterColours = {0xE02020, 0x20C040, 0x2040E0, 0xF0D020};

namespace picture_detail {

inline std::uint32_t crc32(const std::string& bytes, std::size_t from) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = from; i < bytes.size(); ++i)
        c = table[(c ^ static_cast<unsigned char>(bytes[i])) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

inline void putBigEndian(std::string& out, std::uint32_t v) {
    for (int shift : {24, 16, 8, 0}) out.push_back(static_cast<char>(v >> shift & 0xFF));
}

inline void chunk(std::string& png, const char* type, const std::string& data) {
    putBigEndian(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = png.size();
    png += type;
    png += data;
    putBigEndian(png, crc32(png, start));
}

// A deflate stream in one block of the fixed Huffman codes, writing zero runs as copies of the
// byte before (distance 1).
class FixedDeflate {
public:
    void bytes(const std::uint8_t* data, std::size_t n) {
        for (std::size_t i = 0; i < n;) {
            if (data[i] != 0) {
                literal(data[i++]);
                continue;
            }
            std::size_t run = 1;
            while (i + run < n && data[i + run] == 0) ++run;
            literal(0);
            std::size_t left = run - 1;
            while (left >= 3) {
                const std::size_t length = left > 258 ? (left - 258 >= 3 ? 258 : left - 3) : left;
                copy(static_cast<int>(length));
                left -= length;
            }
            while (left-- > 0) literal(0);
            i += run;
        }
    }
    std::string finish() {
        code(0, 7);  // end of block (symbol 256)
        if (bitCount_ > 0) out_.push_back(static_cast<char>(bits_));
        bits_ = bitCount_ = 0;
        return std::move(out_);
    }
    FixedDeflate() { raw(0b011, 3); }  // final block, fixed codes

private:
    void raw(std::uint32_t value, int count) {  // least significant bit first
        for (int k = 0; k < count; ++k) push(value >> k & 1);
    }
    void code(std::uint32_t value, int count) {  // Huffman codes go most significant bit first
        for (int k = count - 1; k >= 0; --k) push(value >> k & 1);
    }
    void push(std::uint32_t bit) {
        bits_ |= bit << bitCount_;
        if (++bitCount_ == 8) {
            out_.push_back(static_cast<char>(bits_));
            bits_ = bitCount_ = 0;
        }
    }
    void literal(std::uint8_t b) {
        if (b < 144) code(0x30u + b, 8);
        else code(0x190u + (b - 144u), 9);
    }
    void copy(int length) {  // 3..258 bytes from distance 1
        static constexpr int kBase[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                        31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static constexpr int kExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                         2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        int index = 28;
        while (kBase[index] > length) --index;
        const int symbol = 257 + index;
        if (symbol < 280) code(static_cast<std::uint32_t>(symbol - 256), 7);
        else code(static_cast<std::uint32_t>(0xC0 + symbol - 280), 8);
        raw(static_cast<std::uint32_t>(length - kBase[index]), kExtra[index]);
        code(0, 5);  // distance 1
    }
    std::string out_;
    std::uint32_t bits_ = 0;
    int bitCount_ = 0;
};

}  // namespace picture_detail

// An RGB PNG of width x height in four coloured quarters.
inline std::string quartersPng(int width, int height) {
    using namespace picture_detail;
    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    putBigEndian(header, static_cast<std::uint32_t>(width));
    putBigEndian(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
    chunk(png, "IHDR", header);

    FixedDeflate deflate;
    std::uint32_t a = 1, b = 0;  // the zlib stream's Adler-32 of the rows
    std::vector<std::uint8_t> row(1 + 3 * static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        std::fill(row.begin(), row.end(), 0);
        if (y == 0 || y == height / 2) {
            // Filter "sub": the first pixel, then each byte as the difference to the pixel before.
            const std::uint32_t left = kQuarterColours[y == 0 ? 0 : 2], right = kQuarterColours[y == 0 ? 1 : 3];
            row[0] = 1;
            for (int c = 0; c < 3; ++c) {
                const int shift = 16 - 8 * c;
                row[1 + c] = static_cast<std::uint8_t>(left >> shift);
                row[1 + 3 * static_cast<std::size_t>(width / 2) + c] =
                    static_cast<std::uint8_t>((right >> shift) - (left >> shift));
            }
        } else {
            row[0] = 2;  // filter "up": the same as the row above
        }
        deflate.bytes(row.data(), row.size());
        for (std::uint8_t v : row) {
            a = (a + v) % 65521;
            b = (b + a) % 65521;
        }
    }
    std::string data("\x78\x01", 2);
    data += deflate.finish();
    putBigEndian(data, b << 16 | a);
    chunk(png, "IDAT", data);
    chunk(png, "IEND", "");
    return png;
}

// A JPEG of width x height in four coloured quarters, with a soft diagonal band across them (so the
// encoder has some detail to keep); GDI+ must be running.
inline std::string quartersJpeg(int width, int height) {
    constexpr CLSID kJpegEncoder = {0x557CF401, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
    std::string bytes;
    {
        Gdiplus::Bitmap image(width, height, PixelFormat24bppRGB);
        {
            Gdiplus::Graphics g(&image);
            const int halfW = width / 2, halfH = height / 2;
            const Gdiplus::Rect quarters[4] = {{0, 0, halfW, halfH},
                                               {halfW, 0, width - halfW, halfH},
                                               {0, halfH, halfW, height - halfH},
                                               {halfW, halfH, width - halfW, height - halfH}};
            for (int i = 0; i < 4; ++i) {
                Gdiplus::SolidBrush brush(Gdiplus::Color(0xFF000000u | kQuarterColours[i]));
                g.FillRectangle(&brush, quarters[i]);
            }
            Gdiplus::Pen band(Gdiplus::Color(120, 255, 255, 255), static_cast<float>(width) / 40);
            g.DrawLine(&band, 0, 0, width, height);
        }
        IStream* stream = nullptr;
        if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return bytes;
        if (image.Save(stream, &kJpegEncoder, nullptr) == Gdiplus::Ok) {
            STATSTG stat{};
            LARGE_INTEGER start{};
            if (SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME)) &&
                SUCCEEDED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) {
                bytes.resize(static_cast<std::size_t>(stat.cbSize.QuadPart));
                ULONG read = 0;
                if (FAILED(stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read)) || read != bytes.size())
                    bytes.clear();
            }
        }
        stream->Release();
    }
    return bytes;
}

}  // namespace lumvo::test
