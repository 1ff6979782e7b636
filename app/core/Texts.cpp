#include "app/core/Texts.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace App {

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string out;
    if (n > 0) {
        std::vector<char> buffer(std::size_t(n) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        out.assign(buffer.data(), std::size_t(n));
    }
    va_end(again);
    return out;
}

std::string SizeText(std::uint64_t n) {
    if (n < 1024)
        return Format("%d bytes", int(n));
    if (n < 1048576)
        return Format("%1.2f KB", double(n) / 1024.0);
    if (n < 1073741824)
        return Format("%1.2f MB", double(n) / 1048576.0);
    return Format("%1.2f GB", double(n) / 1073741824.0);
}

std::string TimeText(std::uint32_t ms) {
    const std::uint32_t h = ms / 3600000;
    const std::uint32_t m = ms / 60000;
    const std::uint32_t s = (ms / 1000) % 60;
    if (h > 0)
        return Format("%d hrs %d min %d sec", int(h), int(m % 60), int(s));
    if (m > 0)
        return Format("%d min %d sec", int(m), int(s));
    return Format("%.2f sec", double(ms) / 1000.0);
}

std::string SpeedText(std::uint64_t bytes, std::uint32_t ms) {
    if (ms == 0)
        return std::string();
    return Format(" (%.2f MB/sec)", double(bytes) * 1000.0 / (double(ms) * 1048576.0));
}

std::string CompactPath(const std::string& path, std::size_t max) {
    static const std::string kDots = "...";
    if (path.size() <= max)
        return path;
    if (max <= kDots.size())
        return kDots.substr(0, max);
    const std::size_t room = max - kDots.size();
    // The start: up to the first separator after the root, unless that takes over half the
    // room; the end matters more (it names the file).
    const std::size_t first = path.find_first_of("/\\", 1);
    std::size_t head = room / 2;
    if (first != std::string::npos && first + 1 <= room / 2)
        head = first + 1;
    std::string tail = path.substr(path.size() - (room - head));
    const std::size_t sep = tail.find_first_of("/\\");
    if (sep != std::string::npos && sep > 0)
        tail.erase(0, sep);
    return path.substr(0, head) + kDots + tail;
}

std::size_t Utf8Sequence(const std::string& text, std::size_t at, std::uint32_t* codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    std::uint32_t cp = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() - at < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (byte(at + i) & 0x3F);
    }
    static const std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    if (codePoint)
        *codePoint = cp;
    return length;
}

namespace {

std::string Escaped(const std::string& text, bool keepLines) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    const auto hex = [&](const char* prefix, unsigned v, int digits) {
        out += prefix;
        for (int d = digits - 1; d >= 0; --d)
            out += kHex[(v >> (4 * d)) & 0xF];
    };
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if ((c < 0x20 && !(keepLines && (c == '\n' || c == '\t'))) || c == 0x7F)
                hex("\\x", c, 2);
            else
                out += char(c);
            ++i;
            continue;
        }
        // A whole UTF-8 sequence, or each byte of a broken one escaped on its own.
        std::uint32_t cp = 0;
        const std::size_t len = Utf8Sequence(text, i, &cp);
        if (len == 0) {
            hex("\\x", c, 2);
            ++i;
            continue;
        }
        if (cp >= 0x80 && cp <= 0x9F)
            hex("\\u", cp, 4);
        else
            out.append(text, i, len);
        i += len;
    }
    return out;
}

}  // namespace

std::string EscapeControls(const std::string& text) {
    return Escaped(text, false);
}

std::string EscapeText(const std::string& text) {
    return Escaped(text, true);
}

}  // namespace App
