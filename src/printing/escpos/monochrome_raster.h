#pragma once

#include <QByteArray>

namespace kelmora::paper::escpos {

// A picture in black and white at its size in dots, in the bit layout of GS v 0: rows of
// (width + 7) / 8 bytes, the leftmost dot in the most significant bit, 1 for black.
struct MonochromeRaster {
    int width = 0;
    int height = 0;
    QByteArray bits;

    int bytesPerRow() const { return (width + 7) / 8; }
    bool isBlack(int x, int y) const {
        const auto byte = static_cast<unsigned char>(bits.at(static_cast<qsizetype>(y) * bytesPerRow() + x / 8));
        return (byte & (0x80U >> (x % 8))) != 0;
    }
    void setBlack(int x, int y) {
        char& byte = bits[static_cast<qsizetype>(y) * bytesPerRow() + x / 8];
        byte = static_cast<char>(static_cast<unsigned char>(byte) | (0x80U >> (x % 8)));
    }
};

}  // namespace kelmora::paper::escpos
