#include "app/Texts.h"

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

std::string SizeText(std::int32_t n) {
    if (n < 1024)
        return Format("%d bytes", n);
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

std::string SpeedText(std::uint32_t bytes, std::uint32_t ms) {
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

}  // namespace App
