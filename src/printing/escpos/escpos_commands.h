#pragma once

// The command bytes the encoder writes and the interpreter reads, in one place.
#include <QByteArray>

#include <algorithm>

namespace kelmora::paper::escpos {

// The printer's two fonts, in dots of an unmagnified character cell.
struct PrinterFontSize {
    int width;
    int height;
};
inline constexpr PrinterFontSize kFontA{12, 24};
inline constexpr PrinterFontSize kFontB{9, 17};

namespace command {

inline constexpr char kEsc = 0x1B;
inline constexpr char kGs = 0x1D;
inline constexpr char kFs = 0x1C;
inline constexpr char kLineFeed = 0x0A;
inline constexpr char kCarriageReturn = 0x0D;
inline constexpr char kInitialize[] = "\x1b@";

inline char byteOf(int value) { return static_cast<char>(static_cast<unsigned char>(std::clamp(value, 0, 255))); }

inline QByteArray threeBytes(char a, char b, int n) {
    QByteArray bytes(3, a);
    bytes[1] = b;
    bytes[2] = byteOf(n);
    return bytes;
}

inline QByteArray selectCodePage(int n) { return threeBytes(kEsc, 't', n); }
inline QByteArray characterSetUsa() { return threeBytes(kEsc, 'R', 0); }
inline QByteArray kanjiOff() { return QByteArray("\x1c.", 2); }
// GS P x y: motion units of 1/x inch across, 1/y inch down.
inline QByteArray motionUnits(int x, int y) {
    QByteArray bytes = threeBytes(kGs, 'P', x);
    bytes.append(byteOf(y));
    return bytes;
}
// ESC r n: black (0) or red (1) on a two-colour printer.
inline QByteArray printColour(bool red) { return threeBytes(kEsc, 'r', red ? 1 : 0); }
// ESC B n t: the kitchen printer's buzzer, n beeps of t × 50 ms.
inline QByteArray buzzer(int times, int fiftyMs) {
    QByteArray bytes = threeBytes(kEsc, 'B', times);
    bytes.append(byteOf(fiftyMs));
    return bytes;
}
// ESC p m t1 t2: a pulse on the drawer connector's pin 2 (m 0) or 5 (m 1), t1 × 2 ms on, t2 × 2 ms off.
inline QByteArray drawerPulse(int pin, int onMs, int offMs) {
    QByteArray bytes = threeBytes(kEsc, 'p', pin == 5 ? 1 : 0);
    bytes.append(byteOf(onMs / 2));
    bytes.append(byteOf(offMs / 2));
    return bytes;
}
// ESC ! with only the font bit: emphasis and double size off.
inline QByteArray printMode(bool fontB) { return threeBytes(kEsc, '!', fontB ? 1 : 0); }
inline QByteArray emphasis(bool on) { return threeBytes(kEsc, 'E', on ? 1 : 0); }
inline QByteArray rightSpacing(int n) { return threeBytes(kEsc, ' ', n); }
inline QByteArray lineSpacing(int dots) { return threeBytes(kEsc, '3', dots); }
// GS ! n: width times in the high nibble, height times in the low one, each 1..8 stored less one.
inline int magnification(int width, int height) {
    return ((std::clamp(width, 1, 8) - 1) << 4) | (std::clamp(height, 1, 8) - 1);
}
inline QByteArray characterSize(int n) { return threeBytes(kGs, '!', n); }
inline QByteArray absolutePosition(int dots) {
    QByteArray bytes = threeBytes(kEsc, '$', dots & 0xFF);
    bytes.append(byteOf((dots >> 8) & 0xFF));
    return bytes;
}
// GS V 66 n: feed to the cutter plus n dots, and cut leaving a tab.
inline QByteArray feedAndPartialCut(int dots) {
    QByteArray bytes = threeBytes(kGs, 'V', 66);
    bytes.append(byteOf(dots));
    return bytes;
}
// GS v 0 in normal density; the bits follow.
inline QByteArray rasterImage(int bytesPerRow, int height) {
    QByteArray bytes = threeBytes(kGs, 'v', '0');
    bytes.append('\0');
    bytes.append(byteOf(bytesPerRow & 0xFF));
    bytes.append(byteOf(bytesPerRow >> 8));
    bytes.append(byteOf(height & 0xFF));
    bytes.append(byteOf(height >> 8));
    return bytes;
}

}  // namespace command
}  // namespace kelmora::paper::escpos
