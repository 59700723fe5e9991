// The parts of the platform layer that every backend shares.
#include <string>

#include "platform/platform.h"

namespace lantrel {

void PrintAt(Console& console, int row, int column, std::string_view text) {
    console.MoveTo(row, column);
    console.Print(text);
}

std::string IpText(IpAddress ip) {
    return std::to_string(ip & 0xFF) + "." + std::to_string((ip >> 8) & 0xFF) + "." +
           std::to_string((ip >> 16) & 0xFF) + "." + std::to_string((ip >> 24) & 0xFF);
}

IpAddress ParseIp(std::string_view text) {
    // Exactly four decimal parts of 0 to 255, none with a leading zero; the
    // text ends at a NUL, as a C string would.
    text = text.substr(0, text.find('\0'));
    IpAddress ip = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text.empty() || text.front() != '.') return 0;
            text.remove_prefix(1);
        }
        std::size_t digits = 0;
        unsigned value = 0;
        while (digits < text.size() && digits < 4 && text[digits] >= '0' && text[digits] <= '9')
            value = value * 10 + static_cast<unsigned>(text[digits++] - '0');
        if (digits == 0 || value > 255 || (digits > 1 && text.front() == '0')) return 0;
        ip |= static_cast<IpAddress>(value) << (8 * part);
        text.remove_prefix(digits);
    }
    return text.empty() ? ip : 0;
}

}  // namespace lantrel
